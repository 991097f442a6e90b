#include "support/process.h"

#include <windows.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <utility>

namespace zv::test {

struct BackgroundProcess::Native {
  HANDLE process;
  DWORD id;
  HANDLE out;  // read end of its standard output
};

namespace {

constexpr auto kSilenceLimit = std::chrono::seconds(30);
constexpr auto kPollPeriod = std::chrono::milliseconds(5);

std::wstring Wide(const std::string& utf8) {
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
  return wide;
}

// Quotes one argument so that the child's C runtime splits it back out
// unchanged: backslashes count only before a quote.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return arg;
  }
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(2 * backslashes, L'\\');
  return out + L'"';
}

// An inheritable copy of `handle` for the child, or null.
HANDLE Inheritable(HANDLE handle) {
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                  DUPLICATE_SAME_ACCESS);
  return copy;
}

// A pipe whose write end (only) the child inherits.
bool MakePipe(HANDLE& read, HANDLE& write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (CreatePipe(&read, &write, &inherit, 0) == 0) {
    return false;
  }
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  return true;
}

// Starts argv with standard output (and error, when `err` is given) on new
// pipes and standard input on NUL. A bare program name is found in the test
// program's folder, where the build puts every program. The child gets a
// process group of its own so that Ctrl-Break reaches it alone.
// Spawns happen on one thread, so no other child inherits these pipes.
bool Spawn(const std::vector<std::string>& argv, PROCESS_INFORMATION& started, HANDLE& out,
           HANDLE* err) {
  std::wstring command_line;
  for (const std::string& arg : argv) {
    command_line += (command_line.empty() ? L"" : L" ") + Quoted(Wide(arg));
  }
  HANDLE out_write = nullptr;
  HANDLE err_write = nullptr;
  if (!MakePipe(out, out_write)) {
    return false;
  }
  if (err != nullptr) {
    MakePipe(*err, err_write);
  } else {
    err_write = Inheritable(GetStdHandle(STD_ERROR_HANDLE));
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                          OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out_write;
  startup.hStdError = err_write;
  const BOOL ok = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE,
                                 CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &started);
  for (HANDLE handle : {in, out_write, err_write}) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
      CloseHandle(handle);
    }
  }
  if (ok == 0) {
    CloseHandle(out);
    if (err != nullptr) {
      CloseHandle(*err);
    }
    return false;
  }
  CloseHandle(started.hThread);
  return true;
}

// Appends what the pipe holds now. Returns false once the pipe is at its end
// (every writer closed it).
bool ReadAvailable(HANDLE pipe, std::string& sink) {
  DWORD available = 0;
  if (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) == 0) {
    return false;
  }
  if (available > 0) {
    std::string chunk(available, '\0');
    DWORD read = 0;
    if (ReadFile(pipe, chunk.data(), available, &read, nullptr) == 0) {
      return false;
    }
    sink.append(chunk.data(), read);
  }
  return true;
}

// The C runtime writes text-mode output with CRLF line ends; the tests
// compare LF texts, as a text-mode reader would see them.
std::string TextMode(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) {
      text += bytes[i];
    }
  }
  return text;
}

// Waits for the process to end; returns its exit code, or -1 for the status
// of an unhandled exception (0xC0000005 and the like).
int ExitCode(HANDLE process) {
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  if (GetExitCodeProcess(process, &code) == 0 || code >= 0xC0000000U) {
    return -1;
  }
  return static_cast<int>(code);
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv) {
  ProcessResult result;
  PROCESS_INFORMATION started{};
  HANDLE out = nullptr;
  HANDLE err = nullptr;
  if (!Spawn(argv, started, out, &err)) {
    return result;
  }
  // Drain both pipes together so that neither fills up and stalls the child.
  // Once the child has ended, what it wrote is all in the pipes: a process it
  // started may hold them open much longer (Wine starts its desktop process,
  // which inherits them, when a program first needs it).
  std::string out_bytes;
  std::string err_bytes;
  std::array<std::pair<HANDLE, std::string*>, 2> pipes{{{out, &out_bytes}, {err, &err_bytes}}};
  auto last_output = std::chrono::steady_clock::now();
  for (int open_pipes = 2; open_pipes > 0;) {
    const bool ended = WaitForSingleObject(started.hProcess, 0) == WAIT_OBJECT_0;
    const std::size_t before = out_bytes.size() + err_bytes.size();
    for (auto& [pipe, sink] : pipes) {
      if (pipe != nullptr && !ReadAvailable(pipe, *sink)) {
        CloseHandle(pipe);
        pipe = nullptr;
        --open_pipes;
      }
    }
    if (ended) {
      break;
    }
    if (out_bytes.size() + err_bytes.size() != before) {
      last_output = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - last_output > kSilenceLimit) {
      TerminateProcess(started.hProcess, 1);
      break;
    } else {
      std::this_thread::sleep_for(kPollPeriod);
    }
  }
  for (const auto& [pipe, sink] : pipes) {
    if (pipe != nullptr) {
      CloseHandle(pipe);
    }
  }
  result.exit_code = ExitCode(started.hProcess);
  CloseHandle(started.hProcess);
  result.out = TextMode(out_bytes);
  result.err = TextMode(err_bytes);
  return result;
}

std::unique_ptr<BackgroundProcess> BackgroundProcess::Start(const std::vector<std::string>& argv) {
  PROCESS_INFORMATION started{};
  HANDLE out = nullptr;
  if (!Spawn(argv, started, out, nullptr)) {
    return nullptr;
  }
  return std::unique_ptr<BackgroundProcess>(new BackgroundProcess(
      std::make_unique<Native>(Native{started.hProcess, started.dwProcessId, out})));
}

BackgroundProcess::BackgroundProcess(std::unique_ptr<Native> native) : native_(std::move(native)) {}

BackgroundProcess::~BackgroundProcess() {
  if (native_->process != nullptr) {
    TerminateProcess(native_->process, 1);
    ExitCode(native_->process);
    CloseHandle(native_->process);
  }
  CloseHandle(native_->out);
}

std::string BackgroundProcess::ReadLine(std::chrono::milliseconds silence) {
  auto last_output = std::chrono::steady_clock::now();
  for (;;) {
    const auto newline = buffered_.find('\n');
    if (newline != std::string::npos) {
      std::string line = buffered_.substr(0, newline);
      buffered_.erase(0, newline + 1);
      if (!line.empty() && line.back() == '\r') {
        line.pop_back();
      }
      return line;
    }
    const std::size_t before = buffered_.size();
    if (!ReadAvailable(native_->out, buffered_)) {
      return "";
    }
    if (buffered_.size() != before) {
      last_output = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - last_output > silence) {
      return "";
    } else {
      std::this_thread::sleep_for(kPollPeriod);
    }
  }
}

// Windows has no termination signal for console programs: the stand-ins
// listen for a stop event named after their process id instead (see
// shared/common/win32/stop_signal.cpp). The interrupt is Ctrl-Break, which,
// unlike Ctrl-C, reaches a process group of its own; it needs a console
// shared with the child. Under Wine it fails even then (the caller gets -1
// and the child is ended), so the tests skip it there.
int BackgroundProcess::Stop(bool interrupt) {
  if (native_->process == nullptr) {
    return -1;
  }
  bool asked = false;
  if (interrupt) {
    asked = GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, native_->id) != 0;
  } else {
    const std::string name = "zv_tools_stop_" + std::to_string(native_->id);
    if (HANDLE stop = OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str())) {
      asked = SetEvent(stop) != 0;
      CloseHandle(stop);
    }
  }
  if (!asked) {
    TerminateProcess(native_->process, 1);
    Wait();
    return -1;
  }
  return Wait();
}

void BackgroundProcess::Kill() {
  if (native_->process != nullptr) {
    TerminateProcess(native_->process, 1);
    Wait();
  }
}

namespace {

// NtSuspendProcess or NtResumeProcess of ntdll, which every Windows (and
// Wine) has without an import library for it.
void CallNtProcessFunction(const char* name, HANDLE process) {
  using Function = LONG(WINAPI*)(HANDLE);
  // A looked-up export, through void* so that GCC takes the cast.
  const FARPROC found = GetProcAddress(GetModuleHandleA("ntdll.dll"), name);
  void* address = reinterpret_cast<void*>(found);             // NOLINT(*-reinterpret-cast)
  const auto function = reinterpret_cast<Function>(address);  // NOLINT(*-reinterpret-cast)
  if (function != nullptr && process != nullptr) {
    function(process);
  }
}

}  // namespace

void BackgroundProcess::Pause() { CallNtProcessFunction("NtSuspendProcess", native_->process); }

void BackgroundProcess::Resume() { CallNtProcessFunction("NtResumeProcess", native_->process); }

int BackgroundProcess::Wait() {
  if (native_->process == nullptr) {
    return -1;
  }
  const int code = ExitCode(native_->process);
  CloseHandle(native_->process);
  native_->process = nullptr;
  return code;
}

}  // namespace zv::test
