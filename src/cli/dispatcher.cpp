#include "cli/dispatcher.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/console_report.h"
#include "cli/name_list.h"
#include "formats/archive.h"
#include "ops/create.h"
#include "ops/extract.h"
#include "ops/list.h"
#include "ops/modify.h"
#include "ops/recover.h"
#include "ops/select.h"

namespace qev {
namespace {

enum class Command { kNone, kList, kExtract, kTest, kRecover, kCreate, kCompress, kAdd, kDelete };

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
  if (NameMatches(word, "a")) return Command::kAdd;
  if (NameMatches(word, "d")) return Command::kDelete;
  return Command::kNone;
}

void PrintUsage(int argc, const char* const* argv) {
  // An empty argument vector is possible when another program starts qev.
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "";
  std::printf("Usage: %s <command> <archive> <file1> <file2> ...\n", program);
}

// qev --help: the usage line and what each command does.
void PrintHelp(int argc, const char* const* argv) {
  PrintUsage(argc, argv);
  std::fputs(
      "commands:\n"
      "  l        list the archive; names after it select members\n"
      "  x        extract the archive here; names after it select members\n"
      "  t        test the archive, writing nothing; names after it select members\n"
      "  r        recover what a cut or damaged archive still holds, into this directory\n"
      "  c3, c4   create a format-3 or format-4 archive of the files (patterns allowed)\n"
      "  z3, z4   the same, compressed\n"
      "  a        add the files to the archive, replacing members of their names\n"
      "  d        delete the named members from the archive\n"
      "l, x, t and r read the archive - from standard input. c3, c4, z3 and z4 with\n"
      "the archive - write it to standard output (c3 and c4 as they go, once every\n"
      "file opens; z3 and z4 made whole first in a scratch file in TMPDIR) and their\n"
      "lines to standard error. a and d refuse -; a file named - is ./-.\n"
      "QEV_PROGRESS=0 or 1 turns the progress line on standard error off or on (by\n"
      "default it shows on a terminal).\n",
      stdout);
}

void PrintEcho(std::FILE* lines, const char* const* argv) {
  std::fprintf(lines, "command: %s , file: %s\n", argv[1], argv[2]);
}

// "-" as the archive is standard output for creation (and standard input
// for reading); a file of that name is reached as "./-".
bool IsStandardStream(const char* archive) { return std::strcmp(archive, "-") == 0; }

}  // namespace

int RunCommand(int argc, const char* const* argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    PrintHelp(argc, argv);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("qev %s\n", QEV_VERSION);
    return 0;
  }
  if (argc < 3) {
    PrintUsage(argc, argv);
    return 0;
  }
  const ArchiveFormat* format = nullptr;
  const Command command = ParseCommand(argv[1], &format);
  const bool creates = command == Command::kCreate || command == Command::kCompress;
  const bool modifies = command == Command::kAdd || command == Command::kDelete;
  if (command == Command::kNone || ((creates || modifies) && argc < 4)) {
    PrintUsage(argc, argv);
    return 0;
  }

  // While standard output carries the archive, the lines go to standard
  // error.
  const bool toOutput = creates && IsStandardStream(argv[2]);
  ConsoleReport report(toOutput ? stderr : stdout, ProgressLine::ModeFromEnvironment());
  const std::string archivePath(argv[2]);
  NameList names;
  if (creates) {
    ExpandWildcards(argv + 3, argc - 3, names);
    PrintEcho(toOutput ? stderr : stdout, argv);
    if (toOutput) {
      CreateArchiveToOutput(*format, names, command == Command::kCompress, report);
      return report.Failed() ? 1 : 0;
    }
    CreateArchive(*format, archivePath, names, command == Command::kCompress, report);
    // c3 and c4 into a file always succeed as far as the exit status goes.
    return command == Command::kCompress && report.Failed() ? 1 : 0;
  }

  if (modifies) {
    // a takes the patterns of creation; d the names of selection.
    if (command == Command::kAdd) {
      ExpandWildcards(argv + 3, argc - 3, names);
    } else {
      CollectNames(argv + 3, argc - 3, names);
    }
    PrintEcho(stdout, argv);
    if (IsStandardStream(argv[2])) {
      report.Line("an archive changed in place must be a file, not - (a file named - is ./-)",
                  true);
      return 1;
    }
    if (command == Command::kAdd) {
      AddToArchive(archivePath, names, report);
    } else {
      DeleteFromArchive(archivePath, names, report);
    }
    return report.Failed() ? 1 : 0;
  }

  PrintEcho(stdout, argv);
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
