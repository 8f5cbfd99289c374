#include "ops/extract.h"

#include <cstdint>

#include "ops/member_writer.h"
#include "ops/open_archive.h"
#include "ops/passing_streams.h"
#include "ops/select.h"

namespace qev {
namespace {

// Extracts the selected members, or with `test` only decodes them, writing
// nothing.
void ExtractEntries(const std::string& archivePath, const NameList* filter, bool test,
                    Report& report) {
  OpenArchive archive;
  PassingStreams walk(!test);
  ProgressCount passed{&report, 0, 0};
  archive.stream.progress = &passed;
  if (OpenArchiveToRead(archivePath, archive, &walk) != OpenStatus::kOpened) return;
  const ArchiveFormat& format = *archive.format;
  const ArchiveIndex& index = archive.index;
  // From a pipe, members come from the streams decoded as they passed,
  // where that gives what the file would give; else from the streams kept.
  const bool walked = archive.streamed && walk.Serves(index, filter);
  if (archive.streamed && !walked && !archive.stream.Whole()) return;
  report.Opened(archivePath, format.name, static_cast<std::uint32_t>(index.entries.size()));

  MemberDecoding decoding;
  ProgressCount progress{&report, 0, index.archiveSize};
  decoding.progress = &progress;
  std::uint32_t extracted = 0;
  std::uint32_t total = 0;  // wraps modulo 2^32
  for (std::size_t i = 0; i < index.entries.size(); ++i) {
    const Entry& entry = index.entries[i];
    const std::string name(index.Name(entry));
    if (!IsSelected(name, filter)) continue;
    report.Member(name);
    decoding.member = name;

    // Stored names are bare file names; anything else would reach outside
    // the current directory, and a member replaces a file of its name. A
    // member that cannot be written is still decoded, for its checksum.
    const FILETIME* time = format.hasTimes ? &entry.writeTime : nullptr;
    const WrittenMember member = walked ? walk.Member(entry.offset, name, !test, time)
                                        : WriteMember(archive.Source(), FindMemberExtent(index, i),
                                                      name, !test, time, decoding);
    if (member.tooLarge) {
      report.Said(Verdict::kTooLarge);
      continue;
    }
    const std::uint64_t decoded = member.decoded;
    const bool checksumBad = format.hasChecksums && member.stream.checksum != entry.checksum;

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
    if (member.written) {
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
