#include "platform/message_box.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace zv::platform {

// The wide-character box shows the Russian texts right whatever the
// system's ANSI code page; no owner window, MB_YESNO | MB_ICONERROR (0x14).
Answer AskYesNoError(const std::string& caption, const std::string& text) {
  const std::wstring wide_caption = WideFromWindows1251(caption);
  const std::wstring wide_text = WideFromWindows1251(text);
  switch (MessageBoxW(nullptr, wide_text.c_str(), wide_caption.c_str(), MB_YESNO | MB_ICONERROR)) {
    case IDYES:
      return Answer::kYes;
    case IDNO:
      return Answer::kNo;
    default:  // 0 (failed) or anything a box without a display answers
      return Answer::kUnavailable;
  }
}

}  // namespace zv::platform
