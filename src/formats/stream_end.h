// Where a member stream ends, found from its bits alone. Streams carry no
// length: a stream ends with the byte that holds its end marker's last
// bit, and the next one starts at the byte after. Recovery walks an
// archive stream by stream with this, where no table says where members
// lie.
#pragma once

#include <cstdint>

#include "io/byte_source.h"
#include "types.h"

namespace qev {

// The piece of the source read last, reused from one stream to the next:
// streams lie back to back, so one read serves every small stream in it.
struct StreamScanner {
  static constexpr std::uint32_t kPiece = 256 * 1024;
  ByteBuffer buffer;        // the piece and zero bytes after it
  std::uint32_t start = 0;  // the piece's position in the source
  std::uint32_t size = 0;
};

struct StreamEnd {
  // Stored bytes from the stream's start: through the end marker's byte,
  // or to the limit when the stream is cut.
  std::uint32_t length = 0;
  // What the stream decodes to, counted from its tokens' lengths; for a cut
  // stream, with the last token completed by zero bits as the decoder
  // completes it.
  std::uint64_t decoded = 0;
  // The limit came before the end marker's last bit: the decoder would read
  // zero bits past the stored ones to end the stream.
  bool cut = false;
};

// Follows the tokens of the stream at start, reading no byte at or past
// limit (nor past the end of the source or a failed read, which end the
// stored bytes there). Past the stored bytes every bit reads as zero, so an
// end marker comes at most one token later: the scan always ends.
StreamEnd FindStreamEnd(ByteSource& source, std::uint32_t start, std::uint32_t limit,
                        StreamScanner& scanner);

}  // namespace qev
