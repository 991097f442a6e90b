#include "zelvane-lcd/terminal.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace zv::host {
namespace {

// The console's state before PrepareTerminal, put back at exit: both belong
// to the console, which outlives this program.
UINT previous_code_page = 0;
DWORD previous_mode = 0;

void RestoreConsole() {
  SetConsoleOutputCP(previous_code_page);
  SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), previous_mode);
}

}  // namespace

// A console shows the host's UTF-8 once its output code page is UTF-8; a
// pipe or file gets the bytes as they are. ANSI cursor controls work where
// the console takes virtual-terminal sequences (Windows 10 and later);
// elsewhere the frames follow one another.
bool PrepareTerminal() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode) == 0) {
    return false;
  }
  previous_code_page = GetConsoleOutputCP();
  previous_mode = mode;
  std::atexit(RestoreConsole);
  SetConsoleOutputCP(CP_UTF8);
  // The C runtime writes an unbuffered console byte by byte, which splits
  // multi-byte characters; a full buffer hands the console whole lines
  // (the host flushes after each screen).
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  return SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

}  // namespace zv::host
