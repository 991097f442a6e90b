#include "platform/sleep.h"

#include <windows.h>

namespace zv::platform {

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace zv::platform
