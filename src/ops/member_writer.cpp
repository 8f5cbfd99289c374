#include "ops/member_writer.h"

#include <new>

#include "io/output_file.h"
#include "io/path.h"

namespace qev {

WrittenMember WriteMember(ByteSource& archive, MemberExtent extent, const std::string& name,
                          bool write, const FILETIME* time, MemberDecoding& decoding) {
  WrittenMember member;
  OutputFile file;
  const bool writable = write && IsSafeMemberName(name) && file.Open(name);
  try {
    member.stream =
        DecodeMember(archive, extent, decoding, [&](const std::uint8_t* data, std::size_t size) {
          member.decoded += size;
          if (writable) file.Write(data, size);
        });
  } catch (const std::bad_alloc&) {
    member.tooLarge = true;
    return member;
  }
  member.written = writable && file.Commit(time);
  return member;
}

}  // namespace qev
