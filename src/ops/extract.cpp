#include "ops/extract.h"

#include <cstdint>
#include <new>

#include "io/output_file.h"
#include "io/path.h"
#include "ops/member_decode.h"
#include "ops/open_archive.h"
#include "ops/select.h"

namespace qev {
namespace {

// Extracts the selected members, or with `test` only decodes them, writing
// nothing.
void ExtractEntries(const std::string& archivePath, const NameList* filter, bool test,
                    Report& report) {
  OpenArchive archive;
  if (OpenArchiveAt(archivePath, archive) != OpenStatus::kOpened) return;
  const ArchiveFormat& format = *archive.format;
  const ArchiveIndex& index = archive.index;
  report.Opened(archivePath, format.name, static_cast<std::uint32_t>(index.entries.size()));

  MemberDecoding decoding;
  std::uint32_t extracted = 0;
  std::uint32_t total = 0;  // wraps modulo 2^32
  for (std::size_t i = 0; i < index.entries.size(); ++i) {
    const Entry& entry = index.entries[i];
    const std::string name(index.Name(entry));
    if (!IsSelected(name, filter)) continue;
    report.Member(name);

    // Stored names are bare file names; anything else would reach outside
    // the current directory, and a member replaces a file of its name. A
    // member that cannot be written is still decoded, for its checksum.
    OutputFile file;
    const bool writable = !test && IsSafeMemberName(name) && file.Open(name);
    std::uint64_t decoded = 0;
    DecodedMember member;
    try {
      member = DecodeMember(archive.file, FindMemberExtent(index, i), decoding,
                            [&](const std::uint8_t* data, std::size_t size) {
                              decoded += size;
                              if (writable) file.Write(data, size);
                            });
    } catch (const std::bad_alloc&) {
      report.Said(Verdict::kTooLarge);
      continue;
    }
    const bool checksumBad = format.hasChecksums && member.checksum != entry.checksum;

    if (test) {
      // One verdict per member, the first that applies.
      if (checksumBad) {
        report.Said(Verdict::kChecksumError);
      } else if (decoded != entry.size) {
        report.Said(Verdict::kSizeError);
      } else {
        total += entry.size;
        ++extracted;
        report.Said(Verdict::kOk);
      }
      continue;
    }
    if (checksumBad) report.Said(Verdict::kChecksumNote);
    if (writable && file.Commit(format.hasTimes ? &entry.writeTime : nullptr)) {
      total += entry.size;
      ++extracted;
      report.Said(Verdict::kOk);
    } else {
      report.Said(Verdict::kWriteError);
    }
  }
  report.Total(extracted, total);
}

}  // namespace

void ExtractArchive(const std::string& archivePath, const NameList* filter, Report& report) {
  ExtractEntries(archivePath, filter, false, report);
}

void TestArchive(const std::string& archivePath, const NameList* filter, Report& report) {
  ExtractEntries(archivePath, filter, true, report);
}

}  // namespace qev
