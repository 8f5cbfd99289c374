// Decoding the LZSS member stream (see lzss_stream.h): in pieces through
// LzssDecoder, or a whole stream at once into one buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "types.h"

namespace qev {

// Decodes a stream that arrives in pieces, giving its output in pieces.
// Piece boundaries may fall anywhere, inside a token or inside a
// reference's copy: the output and the checksum are those of the whole
// stream decoded at once. Never reads outside the pieces it is given, never
// loops without end: after the last piece the stream reads as zero bits,
// which form an end marker after at most one more token. Bytes after the
// end marker are never read. The stream yields at most
// lzss::MaxDecodedLength of its size.
class LzssDecoder {
 public:
  // The most one call of Decode gives out.
  static constexpr std::size_t kMaxOutput = 256 * 1024;
  // The room a fast step takes: while at least this many bytes of room are
  // left, the decoder goes up to three tokens at a time, writing up to this
  // far past its output (never past the room); nearer the end of the room,
  // one token at a time, exactly.
  static constexpr std::size_t kFastRoom = 64;

  LzssDecoder();
  // Starts a new stream, keeping the storage.
  void Reset();

  // Decodes from the size bytes at in, the stream's next bytes (`last`: no
  // more follow), until they are used up, the end marker is read, or
  // `room` bytes of output (at most kMaxOutput) have come; room 0 means
  // kMaxOutput. Returns how many of the bytes it took; the caller offers
  // the rest again in the next call. The output of this call is at
  // Output(), valid until the next call.
  std::size_t Decode(const std::uint8_t* in, std::size_t size, bool last, std::size_t room = 0);

  // Decodes the whole stream, the size bytes at in, with nothing after
  // them, into the caller's memory instead of the decoder's: out[0,
  // produced) holds the output so far, and the call writes only to
  // out[produced, limit), moving produced on. Returns true once the end
  // marker is read; false when the room ran out, after which the caller
  // gives more room (out may move, with its contents) and calls again with
  // the same stream, and the decoding goes on where it stopped. Takes a new
  // or Reset decoder, and no calls of Decode in between.
  bool DecodeWhole(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                   std::size_t& produced, std::size_t limit);

  const std::uint8_t* Output() const { return window_.data() + outputStart_; }
  std::size_t OutputSize() const { return n_ - outputStart_; }
  bool Ended() const { return ended_; }
  // Once Ended(): the sum (mod 2^32) of every stream byte from the first
  // through the one that holds the end marker's last bit.
  std::uint32_t Checksum() const { return checksum_; }
  // Once Ended(): the stream's length in bytes, through the one that holds
  // the end marker's last bit (zero bits read after the last piece count).
  std::uint64_t Length() const { return (bit_ + 7) / 8; }

 private:
  enum class Stop { kEnded, kRoom, kInput };
  Stop Run(const std::uint8_t* in, std::size_t size, std::uint64_t inStart, bool last,
           std::uint8_t* base, std::size_t& n, std::size_t limit);
  void SumThrough(const std::uint8_t* in, std::uint64_t inStart, std::uint64_t end);
  bool CopyPending(std::uint8_t* base, std::size_t& n, std::size_t limit);

  ByteBuffer window_;                // the latest output, at least a window once there is one
  std::size_t n_ = 0;                // bytes of window_ in use
  std::size_t outputStart_ = 0;      // where this call's output starts in window_
  std::uint64_t bit_ = 0;            // stream bits read
  std::uint64_t taken_ = 0;          // stream bytes taken from the caller
  std::uint64_t summed_ = 0;         // stream bytes in the checksum
  std::uint8_t carry_[64] = {};      // taken bytes not yet read through, a token cut short
  std::size_t carrySize_ = 0;        // ending at byte taken_ of the stream
  std::size_t pendingDistance_ = 0;  // a reference whose copy was cut short
  std::size_t pendingLength_ = 0;
  std::uint32_t checksum_ = 0;
  bool ended_ = false;
};

// Decodes the stream in input into output (emptied first; reserved capacity
// remains, and output reserved to the decoded size is not reallocated),
// as LzssDecoder does with input as the one last piece. Returns the
// checksum.
std::uint32_t LzssDecode(const ByteBuffer& input, ByteBuffer& output);

// The same, for the stream in the size bytes from input.
std::uint32_t LzssDecodeBytes(const std::uint8_t* input, std::size_t size, ByteBuffer& output);

}  // namespace qev
