#include "platform/message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <string>

#include "common/cp1251.h"
#include "platform/gui_display.h"

namespace zv::platform {
namespace {

// Windows-1251 text as UTF-8 for FLTK, with Windows line breaks ("\r\n",
// or "\r" alone, which a Windows message box also breaks on) as "\n".
std::string Utf8FromWindows1251(const std::string& text) {
  std::string lines = common::Cp1251ToUtf8(text);
  for (std::size_t at = 0; (at = lines.find("\r\n", at)) != std::string::npos;) lines.erase(at, 1);
  std::replace(lines.begin(), lines.end(), '\r', '\n');
  return lines;
}

}  // namespace

// A small modal window of our own: fl_choice would reset the icon to "?".
// Closing the window or Escape answers No, Enter answers Yes.
Answer AskYesNoError(const std::string& caption, const std::string& text) {
  if (!EnsureGuiDisplay()) return Answer::kUnavailable;
  const std::string title = Utf8FromWindows1251(caption);
  const std::string message = Utf8FromWindows1251(text);

  fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
  int text_w = 0;  // no wrapping: the lines are the text's own
  int text_h = 0;
  fl_measure(message.c_str(), text_w, text_h);
  const int w = std::max(10 + 50 + 10 + text_w + 20, 300);
  const int h = 10 + std::max(text_h, 50) + 10 + 25 + 10;

  Fl_Double_Window window(w, h, title.c_str());
  Fl_Box icon(10, 10, 50, 50, "X");
  icon.box(FL_THIN_UP_BOX);
  icon.color(FL_RED);
  icon.labelcolor(FL_WHITE);
  icon.labelfont(FL_BOLD);
  icon.labelsize(34);
  Fl_Box label(70, 10, w - 80, std::max(text_h, 50));
  label.copy_label(message.c_str());
  label.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  Answer answer = Answer::kNo;
  Fl_Return_Button yes(w - 190, h - 35, 85, 25, "Yes");
  Fl_Button no(w - 95, h - 35, 85, 25, "No");
  no.shortcut(FL_Escape);
  yes.callback(
      [](Fl_Widget* button, void* chosen) {
        *static_cast<Answer*>(chosen) = Answer::kYes;
        button->window()->hide();
      },
      &answer);
  no.callback([](Fl_Widget* button, void* /*chosen*/) { button->window()->hide(); });
  window.callback([](Fl_Widget* box, void* /*chosen*/) { box->hide(); });
  window.end();
  window.set_modal();
  window.show();
  while (window.shown()) Fl::wait();
  return answer;
}

}  // namespace zv::platform
