#include "support/dialog_driver.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_File_Input.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace zv::test {
namespace {

constexpr double kStepDelay = 0.05;
constexpr double kWatchdogDelay = 15.0;

Fl_Window* Front() { return Fl::modal(); }

// Calls `visit` on every widget inside `group`, depth first in child order.
void Walk(Fl_Group* group, const std::function<void(Fl_Widget*)>& visit) {
  for (int i = 0; i < group->children(); ++i) {
    Fl_Widget* child = group->child(i);
    visit(child);
    if (Fl_Group* inner = child->as_group()) {
      Walk(inner, visit);
    }
  }
}

template <typename Widget>
Widget* Find(const char* caption = nullptr) {
  Widget* found = nullptr;
  if (Fl_Window* window = Front()) {
    Walk(window, [&](Fl_Widget* w) {
      auto* typed = dynamic_cast<Widget*>(w);
      if (found == nullptr && typed != nullptr &&
          (caption == nullptr ||
           (w->label() != nullptr && std::strcmp(w->label(), caption) == 0))) {
        found = typed;
      }
    });
  }
  return found;
}

std::unique_ptr<Fl_Window>& MainWindow() {
  static std::unique_ptr<Fl_Window> window;
  return window;
}

}  // namespace

DialogScript::~DialogScript() {
  Fl::remove_timeout(RunNext, this);
  Fl::remove_timeout(Watchdog, this);
  Fl::remove_check(ScheduleNext, this);
}

DialogScript& DialogScript::Then(std::function<void()> step) {
  steps_.push_back(std::move(step));
  return *this;
}

void DialogScript::Start() { Fl::add_timeout(kStepDelay, RunNext, this); }

void DialogScript::RunNext(void* self) {
  auto* script = static_cast<DialogScript*>(self);
  if (script->next_ >= script->steps_.size()) {
    return;
  }
  script->steps_[script->next_++]();
  // The next step is timed from the check that runs once this wait's timers
  // are done, never from here: FLTK 1.3 shortens a timer added inside a
  // late timer by the lateness, which could run the next step before the
  // dialog saw this one.
  Fl::add_check(ScheduleNext, self);
}

void DialogScript::ScheduleNext(void* self) {
  Fl::remove_check(ScheduleNext, self);
  auto* script = static_cast<DialogScript*>(self);
  // Always one more timer soon: a click made from a timer is seen only once
  // the toolkit's wait returns, which needs another event or timer.
  Fl::add_timeout(kStepDelay, RunNext, self);
  if (script->Finished()) {
    Fl::add_timeout(kWatchdogDelay, Watchdog, self);
  }
}

void DialogScript::Watchdog(void* /*self*/) {
  if (Fl_Window* window = Front()) {
    ADD_FAILURE() << "a modal window was still open after the last step; closing it";
    Fl::handle(FL_CLOSE, window);
  }
}

bool DisplayAvailable() { return std::getenv("DISPLAY") != nullptr; }

DialogLook Look() {
  DialogLook look;
  Fl_Window* window = Front();
  if (window == nullptr) {
    return look;
  }
  look.open = true;
  look.caption = window->label() != nullptr ? window->label() : "";
  look.x = window->x(), look.y = window->y(), look.width = window->w(), look.height = window->h();
  look.client_width = window->w(), look.client_height = window->h();
  look.resizable = window->resizable() != nullptr;
  Fl::screen_work_area(look.screen_x, look.screen_y, look.screen_width, look.screen_height);
  if (auto* check = Find<Fl_Check_Button>()) {
    look.check_caption = check->label();
    look.checked = check->value() != 0;
    look.check_enabled = check->active_r() != 0;
  }
  Fl_Widget* before_edit = nullptr;
  Walk(window, [&](Fl_Widget* w) {
    if (auto* input = dynamic_cast<Fl_Input*>(w)) {
      look.edit_text = input->value();
      look.edit_enabled = input->active_r() != 0;
      if (before_edit != nullptr && before_edit->label() != nullptr) {
        look.edit_label = before_edit->label();
        look.edit_label_enabled = before_edit->active_r() != 0;
      }
    }
    if (auto* button = dynamic_cast<Fl_Button*>(w)) {
      if (button->label() != nullptr && std::strcmp(button->label(), "...") == 0) {
        look.browse_enabled = button->active_r() != 0;
      }
      if (button->shortcut() != 0 || dynamic_cast<Fl_Return_Button*>(w) != nullptr) {
        look.has_key_shortcuts = true;
      }
    }
    if (w->visible_focus() != 0 && (dynamic_cast<Fl_Input*>(w) || dynamic_cast<Fl_Button*>(w))) {
      look.focus_order.push_back(dynamic_cast<Fl_Input*>(w) ? "<edit>" : w->label());
    }
    before_edit = w;
  });
  return look;
}

void ClickCheckBox() {
  auto* check = Find<Fl_Check_Button>();
  ASSERT_NE(check, nullptr);
  check->value(check->value() == 0 ? 1 : 0);
  check->do_callback();
}

void TypePath(const std::string& text) {
  auto* input = Find<Fl_Input>();
  ASSERT_NE(input, nullptr);
  input->value(text.c_str());
}

void ClickButton(const std::string& caption) {
  auto* button = Find<Fl_Button>(caption.c_str());
  ASSERT_NE(button, nullptr) << caption;
  button->do_callback();
}

void ClickCloseBox() {
  ASSERT_NE(Front(), nullptr);
  Fl::handle(FL_CLOSE, Front());
}

void Focus(const std::string& caption) {
  Fl_Widget* widget = nullptr;
  if (caption == "<edit>") {
    widget = Find<Fl_Input>();
  } else {
    widget = Find<Fl_Button>(caption.c_str());
  }
  ASSERT_NE(widget, nullptr) << caption;
  ASSERT_NE(widget->take_focus(), 0) << caption;
}

namespace {

// A key press as the keyboard makes it: to the focused widget first.
void PressKey(int key, const char* text) {
  ASSERT_NE(Front(), nullptr);
  static std::string pressed;
  pressed = text;
  Fl::e_keysym = key;
  Fl::e_text = pressed.data();
  Fl::e_length = static_cast<int>(pressed.size());
  Fl::handle(FL_KEYBOARD, Front());
}

}  // namespace

void PressEscape() { PressKey(FL_Escape, "\x1b"); }

void PressEnter() { PressKey(FL_Enter, "\r"); }

void ChooseFile(const std::string& name) {
  auto* input = Find<Fl_File_Input>();
  auto* ok = Find<Fl_Return_Button>();
  ASSERT_TRUE(input != nullptr && ok != nullptr) << "no file chooser open";
  input->value(name.c_str());
  ok->do_callback();
}

void CancelChooser() {
  ASSERT_NE(Find<Fl_File_Input>(), nullptr) << "no file chooser open";
  ClickButton(fl_cancel);
}

void ShowMainWindow(int x, int y, int width, int height) {
  MainWindow() = std::make_unique<Fl_Window>(x, y, width, height, "host");
  MainWindow()->end();
  MainWindow()->show();
  Fl::flush();
}

void ClearMainWindow() { MainWindow().reset(); }

}  // namespace zv::test
