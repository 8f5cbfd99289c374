#include "cli/dispatcher.h"

int main(int argc, char** argv) {
  qev::RunCommand(argc, argv);
  return 0;
}
