// Writing one member to the current directory, by the rules that
// extraction and recovery share.
#pragma once

#include <cstdint>
#include <string>

#include "formats/archive.h"
#include "io/byte_source.h"
#include "ops/member_decode.h"
#include "types.h"

namespace qev {

struct WrittenMember {
  DecodedMember stream;       // the decoder's checksum and the stored bytes it took
  std::uint64_t decoded = 0;  // the bytes the stream decoded to
  bool tooLarge = false;      // memory ran out: nothing is written
  bool written = false;       // the file is whole and has its name
};

// Decodes the stream in extent and, with write, writes what it decodes to
// as the file name: only a bare name that stays in the current directory
// (IsSafeMemberName), under a temporary name that takes name once the file
// is whole, replacing a file of that name; stamped with *time unless time
// is null. A member that cannot be written is still decoded, for its
// checksum and length.
WrittenMember WriteMember(ByteSource& archive, MemberExtent extent, const std::string& name,
                          bool write, const FILETIME* time, MemberDecoding& decoding);

}  // namespace qev
