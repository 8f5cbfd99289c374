// Decodes arbitrary bytes as an LZSS stream with the streaming decoder, in
// pieces and output rooms of sizes that the input chooses, and with the
// bit-at-a-time decoder whole: both give the same bytes, checksum and
// ending (where the end marker ended, whether it was stored, its fill, the
// reads of the initial zeros).
// Input: a byte whose low four bits give a count k, then k schedule bytes,
// then the stream. Schedule byte b, taken in turn and over again, offers
// the next b stream bytes (at least 1 in every other call, so that the
// stream goes on) with an output room of b / 3 + 1 bytes when b is a
// multiple of 3, else the most a call gives.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "check.h"
#include "coding/lzss.h"
#include "support/lzss_reference.h"

using qev::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t count = std::min<std::size_t>(data[0] & 15, size - 1);
  const std::uint8_t* const schedule = data + 1;
  const qev::ByteBuffer stream(data + 1 + count, data + size);
  qev::ByteBuffer simple;
  qev::EndingReference ending;
  const std::uint32_t simpleSum = qev::LzssDecodeEndingReference(stream, simple, ending);

  qev::LzssDecoder decoder;
  qev::ByteBuffer pieces;
  std::size_t at = 0;
  // A call that is offered a byte takes it or gives output, and the output
  // is bounded: the bound only turns a decoder that stalls into a finding.
  const std::size_t maxCalls = 4 * (stream.size() + simple.size()) + 64;
  for (std::size_t call = 0; !decoder.Ended(); ++call) {
    Check(call < maxCalls, "the decoder does not come to an end");
    const std::uint8_t b = count == 0 ? 255 : schedule[call % count];
    const std::size_t piece =
        std::min<std::size_t>(std::max<std::size_t>(b, call % 2), stream.size() - at);
    const std::size_t room = b % 3 == 0 ? b / 3 + 1 : 0;
    const bool last = at + piece == stream.size();
    const std::size_t used = decoder.Decode(stream.data() + at, piece, last, room);
    Check(used <= piece, "the decoder took more than it was offered");
    Check(decoder.OutputSize() <= (room == 0 ? qev::LzssDecoder::kMaxOutput : room),
          "the decoder gave more than the room");
    at += used;
    pieces.insert(pieces.end(), decoder.Output(), decoder.Output() + decoder.OutputSize());
  }
  Check(decoder.Checksum() == simpleSum, "decoders disagree on the checksum");
  Check(pieces == simple, "decoders disagree on the output");
  const qev::StreamEnding& got = decoder.Ending();
  Check(qev::EndingReference{got.bits, got.stored, got.zeroFill, got.zeroReads} == ending,
        "decoders disagree on the ending");
  return 0;
}
