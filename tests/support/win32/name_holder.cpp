// Another program holding a named object, for the tests of what such a
// program can and cannot do to the readers of the monitor's memory:
//   name_holder KIND NAME
// KIND is mutex, event, semaphore or section: makes an object of that kind
// under NAME, or, when an object of the same kind stands there already,
// opens it with the least right there is (SYNCHRONIZE, or FILE_MAP_READ for a
// section). KIND locked-section makes a section that nobody may open (an
// empty access list), as another user's would be. It prints "holding KIND NAME" once it holds it,
// or the error and exits 1, then holds it for a minute at most; the tests end it sooner.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

HANDLE Hold(const char* kind, const char* name) {
  if (std::strcmp(kind, "mutex") == 0) {
    return CreateMutexExA(nullptr, name, 0, SYNCHRONIZE);
  }
  if (std::strcmp(kind, "event") == 0) {
    return CreateEventExA(nullptr, name, CREATE_EVENT_MANUAL_RESET, SYNCHRONIZE);
  }
  if (std::strcmp(kind, "semaphore") == 0) {
    return CreateSemaphoreExA(nullptr, 0, 1, name, 0, SYNCHRONIZE);
  }
  if (std::strcmp(kind, "section") == 0) {
    HANDLE section = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    return section != nullptr
               ? section
               : CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name);
  }
  if (std::strcmp(kind, "locked-section") == 0) {
    SECURITY_DESCRIPTOR nobody{};
    ACL empty{};
    InitializeSecurityDescriptor(&nobody, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&empty, sizeof empty, ACL_REVISION);
    SetSecurityDescriptorDacl(&nobody, TRUE, &empty, FALSE);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &nobody, FALSE};
    return CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, 4096, name);
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

}  // namespace

// A command-line program: its reports are printf-style.
// NOLINTBEGIN(cppcoreguidelines-pro-type-vararg)
int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: name_holder mutex|event|semaphore|section|locked-section NAME\n");
    return 2;
  }
  HANDLE held = Hold(argv[1], argv[2]);
  if (held == nullptr) {
    std::printf("cannot hold %s %s: error %lu\n", argv[1], argv[2], GetLastError());
    return 1;
  }
  std::printf("holding %s %s\n", argv[1], argv[2]);
  std::fflush(stdout);
  Sleep(60'000);
  CloseHandle(held);
  return 0;
}
// NOLINTEND(cppcoreguidelines-pro-type-vararg)
