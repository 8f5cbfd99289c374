#include "cli/dispatcher.h"

#include <cstdio>
#include <string>

#include "cli/console_report.h"
#include "cli/name_list.h"
#include "formats/archive.h"
#include "ops/create.h"
#include "ops/extract.h"
#include "ops/list.h"
#include "ops/recover.h"
#include "ops/select.h"

namespace qev {
namespace {

enum class Command { kNone, kList, kExtract, kTest, kRecover, kCreate, kCompress };

// The first matching word decides; no prefix or abbreviation is accepted.
// c<digit> and z<digit> create the format of that digit.
Command ParseCommand(const char* word, const ArchiveFormat** format) {
  if (NameMatches(word, "l")) return Command::kList;
  if (NameMatches(word, "x")) return Command::kExtract;
  for (const ArchiveFormat* candidate : ArchiveFormats()) {
    const char create[] = {'c', candidate->digit, '\0'};
    const char compress[] = {'z', candidate->digit, '\0'};
    *format = candidate;
    if (NameMatches(word, create)) return Command::kCreate;
    if (NameMatches(word, compress)) return Command::kCompress;
  }
  if (NameMatches(word, "t")) return Command::kTest;
  if (NameMatches(word, "r")) return Command::kRecover;
  return Command::kNone;
}

void PrintUsage(int argc, const char* const* argv) {
  // An empty argument vector is possible when another program starts qev.
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "";
  std::printf("Usage: %s <command> <archive> <file1> <file2> ...\n", program);
}

void PrintEcho(const char* const* argv) {
  std::printf("command: %s , file: %s\n", argv[1], argv[2]);
}

}  // namespace

int RunCommand(int argc, const char* const* argv) {
  if (argc < 3) {
    PrintUsage(argc, argv);
    return 0;
  }
  const ArchiveFormat* format = nullptr;
  const Command command = ParseCommand(argv[1], &format);
  const bool creates = command == Command::kCreate || command == Command::kCompress;
  if (command == Command::kNone || (creates && argc < 4)) {
    PrintUsage(argc, argv);
    return 0;
  }

  ConsoleReport report;
  const std::string archivePath(argv[2]);
  NameList names;
  if (creates) {
    ExpandWildcards(argv + 3, argc - 3, names);
    PrintEcho(argv);
    CreateArchive(*format, archivePath, names, command == Command::kCompress, report);
    // c3 and c4 always succeed as far as the exit status goes.
    return command == Command::kCompress && report.Failed() ? 1 : 0;
  }

  PrintEcho(argv);
  const NameList* filter = nullptr;
  if (argc > 3) {
    CollectNames(argv + 3, argc - 3, names);
    filter = &names;
  }
  switch (command) {
    case Command::kList:
      ListArchive(archivePath, filter, report);
      return 0;
    case Command::kTest:
      TestArchive(archivePath, filter, report);
      return report.Failed() || !report.ArchiveRead() ? 1 : 0;
    case Command::kRecover:
      RecoverArchive(archivePath, filter, report);
      return report.Failed() ? 1 : 0;
    default:
      ExtractArchive(archivePath, filter, report);
      return 0;
  }
}

}  // namespace qev
