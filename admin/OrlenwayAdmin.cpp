#include "admin/UfnAdminTool.h"
#include "platform/UfnChildProcess.h"

#include <clocale>
#include <iostream>

int main(int argc, char** argv) {
  // Archive entry names and the terminal speak UTF-8.
  std::setlocale(LC_CTYPE, "C.UTF-8");
  platform::UseUtf8Console();
  platform::WriteLimitFailsWrites();
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const bool terminal = platform::StdoutIsTerminal();
  return AdminMain(args, std::cout, std::cerr, terminal,
                   terminal ? platform::TerminalColumns() : 80);
}
