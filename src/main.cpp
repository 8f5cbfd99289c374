#include "cli/dispatcher.h"

int main(int argc, char** argv) { return qev::RunCommand(argc, argv); }
