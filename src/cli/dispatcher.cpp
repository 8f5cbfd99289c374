#include "cli/dispatcher.h"

#include <cstdio>
#include <string>

#include "cli/name_list.h"
#include "ops/create.h"
#include "ops/extract.h"
#include "ops/list.h"
#include "types.h"

namespace qev {
namespace {

enum class Command { kNone, kList, kExtract, kTest, kCreate3, kCreate4, kCompress3, kCompress4 };

// The first matching word decides; no prefix or abbreviation is accepted.
Command ParseCommand(const char* word) {
  if (NameMatches(word, "l")) return Command::kList;
  if (NameMatches(word, "x")) return Command::kExtract;
  if (NameMatches(word, "c3")) return Command::kCreate3;
  if (NameMatches(word, "c4")) return Command::kCreate4;
  if (NameMatches(word, "z3")) return Command::kCompress3;
  if (NameMatches(word, "z4")) return Command::kCompress4;
  if (NameMatches(word, "t")) return Command::kTest;
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

void RunCommand(int argc, const char* const* argv) {
  if (argc < 3) {
    PrintUsage(argc, argv);
    return;
  }
  const Command command = ParseCommand(argv[1]);
  const bool compresses = command == Command::kCompress3 || command == Command::kCompress4;
  const bool creates = compresses || command == Command::kCreate3 || command == Command::kCreate4;
  if (command == Command::kNone || (creates && argc < 4)) {
    PrintUsage(argc, argv);
    return;
  }

  NameList names;
  if (creates) {
    ExpandWildcards(argv + 3, argc - 3, names);
    PrintEcho(argv);
    const bool format3 = command == Command::kCreate3 || command == Command::kCompress3;
    CreateArchive(format3 ? ArchiveFormat::kFormat3 : ArchiveFormat::kFormat4, std::string(argv[2]),
                  names, compresses);
    return;
  }

  // l, x and t do not know the archive's format: each format's variant checks
  // the magic itself and stays silent when it is not its own.
  PrintEcho(argv);
  const NameList* filter = nullptr;
  if (argc > 3) {
    CollectNames(argv + 3, argc - 3, names);
    filter = &names;
  }
  for (const ArchiveFormat format : {ArchiveFormat::kFormat3, ArchiveFormat::kFormat4}) {
    if (command == Command::kList) {
      ListArchive(format, std::string(argv[2]), filter);
    } else if (command == Command::kTest) {
      TestArchive(format, std::string(argv[2]), filter);
    } else {
      ExtractArchive(format, std::string(argv[2]), filter);
    }
  }
}

}  // namespace qev
