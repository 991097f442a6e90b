// Modal message boxes.
#pragma once

#include <string>

namespace zv::platform {

// The answer to a Yes/No question. kUnavailable: the box could not be shown
// (no display), which is not an answer of the user.
enum class Answer { kYes, kNo, kUnavailable };

// Shows a modal box with no owner window, the error icon, `caption`, `text`
// and the buttons Yes and No, and waits for the answer. Both texts are
// Windows-1251 bytes.
Answer AskYesNoError(const std::string& caption, const std::string& text);

}  // namespace zv::platform
