// The LZSS member stream: literals (flag 1, 8 bits) and references (flag 0,
// 13-bit absolute window position 1..8191, 4-bit length L for L+3 bytes)
// over an 8192-byte window that starts all zero with the write position at
// 1, closed by an end marker (flag 0, position 0).
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
// end marker are never read. The stream yields at most 8 bytes per stream
// byte plus 18 (one last token completed by zero bits).
class LzssDecoder {
 public:
  // The most one call gives out.
  static constexpr std::size_t kMaxOutput = 256 * 1024;

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

  const std::uint8_t* Output() const { return window_.data() + outputStart_; }
  std::size_t OutputSize() const { return n_ - outputStart_; }
  bool Ended() const { return ended_; }
  // Once Ended(): the sum (mod 2^32) of every stream byte from the first
  // through the one that holds the end marker's last bit.
  std::uint32_t Checksum() const { return checksum_; }

 private:
  friend std::uint32_t LzssDecodeBytes(const std::uint8_t*, std::size_t, ByteBuffer&);
  enum class Stop { kEnded, kRoom, kInput };
  Stop Run(const std::uint8_t* in, std::size_t size, std::uint64_t inStart, bool last,
           std::uint8_t* base, std::size_t& n, std::size_t limit);
  void SumThrough(const std::uint8_t* in, std::uint64_t inStart, std::uint64_t end);
  bool CopyPending(std::uint8_t* base, std::size_t& n, std::size_t limit);

  ByteBuffer window_;                // the latest output, at least 8192 bytes once there are
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

// Encodes input that arrives in pieces as literals only, then the end
// marker. Its bytes and checksum are those of LzssStore for all the
// pieces together, wherever they fall.
class LzssStoreEncoder {
 public:
  // Appends to out (not emptied) the stream bytes that `size` more input
  // bytes complete; up to 7 input bytes wait for the next call.
  void Put(const std::uint8_t* data, std::size_t size, ByteBuffer& out);
  // Appends the waiting literals, the end marker and the zero-filled last
  // byte. Returns the sum (mod 2^32) of every stream byte appended.
  std::uint32_t Finish(ByteBuffer& out);

 private:
  std::uint8_t held_[8] = {};
  std::size_t heldSize_ = 0;
  std::uint32_t checksum_ = 0;
};

// Encodes input as literals only, then the end marker, into output
// (emptied first): ceil((9n + 14) / 8) bytes. Returns the sum (mod 2^32) of
// the output bytes.
std::uint32_t LzssStore(const ByteBuffer& input, ByteBuffer& output);

}  // namespace qev
