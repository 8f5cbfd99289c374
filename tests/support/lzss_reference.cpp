#include "support/lzss_reference.h"

#include <array>
#include <string>

#include "support/archive_bytes.h"

namespace qev {

std::uint32_t LzssDecodeReference(const std::vector<std::uint8_t>& input,
                                  std::vector<std::uint8_t>& output) {
  EndingReference ending;
  return LzssDecodeEndingReference(input, output, ending);
}

std::uint32_t LzssDecodeEndingReference(const std::vector<std::uint8_t>& input,
                                        std::vector<std::uint8_t>& output,
                                        EndingReference& ending) {
  test::BitReader in{{reinterpret_cast<const char*>(input.data()), input.size()}};
  std::array<std::uint8_t, 8192> window{};
  std::array<bool, 8192> written{};
  EndingReference end;
  std::uint32_t w = 1;
  const auto put = [&](std::uint8_t b) {
    output.push_back(window[w] = b);
    written[w] = true;
    w = (w + 1) & 0x1FFF;
  };
  output.clear();
  while (true) {
    if (in.Get(1)) {
      put(static_cast<std::uint8_t>(in.Get(8)));
    } else if (const std::uint32_t p = in.Get(13); p != 0) {
      end.zeroReads += !written[p];
      // Byte by byte, so that a source may reach this reference's output.
      for (std::uint32_t i = 0, length = in.Get(4) + 3; i < length; ++i)
        put(window[(p + i) & 0x1FFF]);
    } else {
      break;
    }
  }
  end.bits = in.bit;
  end.stored = in.bit <= 8 * input.size();
  end.zeroFill = end.stored && in.Get(static_cast<int>((8 - in.bit % 8) % 8)) == 0;
  ending = end;
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < input.size() && i < (end.bits + 7) / 8; ++i) sum += input[i];
  return sum;
}

std::uint32_t LzssStoreReference(const std::vector<std::uint8_t>& input,
                                 std::vector<std::uint8_t>& output) {
  const std::string stream = test::LiteralStream(std::string(input.begin(), input.end()));
  output.assign(stream.begin(), stream.end());
  std::uint32_t sum = 0;
  for (const std::uint8_t b : output) sum += b;
  return sum;
}

}  // namespace qev
