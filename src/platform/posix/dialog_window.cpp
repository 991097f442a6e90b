#include "platform/dialog_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

#include "platform/gui_display.h"
#include "platform/posix/codepage.h"

// FLTK widgets are created with new and owned by the group they are created
// in; deleting the window deletes them all.
// NOLINTBEGIN(cppcoreguidelines-owning-memory)

namespace zv::platform {
namespace {

using Kind = DialogControl::Kind;

// Windows draws dialog texts in an 11-pixel font at 96 dots per inch.
constexpr int kFontSize = 11;

// The window's widgets, one per control in id order, and what the user did.
struct Widgets {
  std::vector<Fl_Widget*> widgets;
  std::deque<DialogEvent> events;

  [[nodiscard]] int IdOf(const Fl_Widget* widget) const {
    const auto found = std::find(widgets.begin(), widgets.end(), widget);
    return widget == nullptr || found == widgets.end()
               ? kNoControl
               : static_cast<int>(found - widgets.begin());
  }
  void ReportKey(DialogKey key) {
    events.push_back({DialogEvent::Kind::Key, IdOf(Fl::focus()), key});
  }
};

// The top-level window. It takes Enter and Escape before FLTK's own uses
// of them (Enter moving the focus on, Escape calling the close callback)
// and reports them.
class KeyReportingWindow final : public Fl_Double_Window {
 public:
  KeyReportingWindow(int width, int height, Widgets& owner)
      : Fl_Double_Window(width, height), owner_(owner) {}
  int handle(int event) override {
    const int key = Fl::event_key();
    if ((event == FL_KEYBOARD || event == FL_SHORTCUT) &&
        (key == FL_Enter || key == FL_KP_Enter || key == FL_Escape)) {
      owner_.ReportKey(key == FL_Escape ? DialogKey::Escape : DialogKey::Enter);
      return 1;
    }
    return Fl_Double_Window::handle(event);
  }

 private:
  Widgets& owner_;
};

void OnClick(Fl_Widget* widget, void* owner) {
  auto* widgets = static_cast<Widgets*>(owner);
  widgets->events.push_back({DialogEvent::Kind::Click, widgets->IdOf(widget)});
}

// FLTK calls a window's callback for its close box, and for an Escape that
// no widget took (the window takes it first, so this is a safeguard).
void OnClose(Fl_Widget* /*window*/, void* owner) {
  auto* widgets = static_cast<Widgets*>(owner);
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) {
    widgets->ReportKey(DialogKey::Escape);
  } else {
    widgets->events.push_back({DialogEvent::Kind::Close});
  }
}

// Creates a control's widget in the current group; FLTK's keyboard
// navigation follows the order of creation.
Fl_Widget* Create(const DialogControl& control, Widgets& owner) {
  const auto [x, y, w, h] = control.place;
  Fl_Widget* widget = nullptr;
  switch (control.kind) {
    case Kind::Frame:
      return new Fl_Box(FL_ENGRAVED_FRAME, x, y, w, h, nullptr);
    case Kind::Label:
      widget = new Fl_Box(x, y, w, h);
      widget->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT);
      break;
    case Kind::Edit: {
      auto* input = new Fl_Input(x, y, w, h);
      input->textsize(kFontSize);
      return input;
    }
    case Kind::CheckBox:
      widget = new Fl_Check_Button(x, y, w, h);
      widget->callback(OnClick, &owner);
      break;
    case Kind::Button:
    case Kind::FlatButton:
      widget = new Fl_Button(x, y, w, h);
      widget->visible_focus(control.kind == Kind::Button ? 1 : 0);
      widget->callback(OnClick, &owner);
      break;
  }
  widget->copy_label(Windows1251ToUtf8(control.text).c_str());
  widget->labelsize(kFontSize);
  return widget;
}

// Shows the form's state. An edit's text is put back only when it differs
// from what the edit shows, so that the caret stays where it was.
void Show(const DialogForm& form, const Widgets& owner) {
  for (std::size_t id = 0; id < form.controls.size(); ++id) {
    const DialogControl& control = form.controls[id];
    Fl_Widget* widget = owner.widgets[id];
    if (control.enabled) {
      widget->activate();
    } else {
      widget->deactivate();
    }
    if (auto* check = dynamic_cast<Fl_Check_Button*>(widget)) check->value(control.checked ? 1 : 0);
    auto* input = dynamic_cast<Fl_Input*>(widget);
    const std::string text = Windows1251ToUtf8(control.text);
    if (input != nullptr && control.text_fits && text != input->value()) input->value(text.c_str());
  }
}

// Takes the user's ticks and texts into the form.
void Take(const Widgets& owner, DialogForm& form) {
  for (std::size_t id = 0; id < form.controls.size(); ++id) {
    DialogControl& control = form.controls[id];
    if (const auto* check = dynamic_cast<const Fl_Check_Button*>(owner.widgets[id])) {
      control.checked = check->value() != 0;
    }
    if (const auto* input = dynamic_cast<const Fl_Input*>(owner.widgets[id])) {
      const std::optional<std::string> text = Utf8ToWindows1251(input->value());
      control.text_fits = text.has_value();
      if (text) control.text = *text;
    }
  }
}

// What the window's handler needs to know to place it. The host's main
// window is the application's first shown window, when the host uses FLTK.
// FLTK knows no window frame before the window is mapped.
DialogEvent Opening(const Fl_Window& window) {
  DialogEvent open{DialogEvent::Kind::Open};
  open.width = window.w();
  open.height = window.h();
  if (const Fl_Window* main = Fl::first_window(); main != nullptr && main != &window) {
    open.host = PixelRect{main->x(), main->y(), main->w(), main->h()};
  }
  PixelRect& area = open.work_area;
  Fl::screen_work_area(area.left, area.top, area.width, area.height);
  return open;
}

}  // namespace

bool RunDialog(DialogForm& form, const DialogHandler& handle) {
  if (!EnsureGuiDisplay()) return false;
  Widgets owner;
  auto window = std::make_unique<KeyReportingWindow>(form.client_width, form.client_height, owner);
  fl_font(FL_HELVETICA, kFontSize);
  for (DialogControl& control : form.controls) {
    owner.widgets.push_back(Create(control, owner));
    // Whole pixels, rounded up.
    control.text_width = static_cast<int>(fl_width(Windows1251ToUtf8(control.text).c_str())) + 1;
  }
  window->end();
  window->copy_label(Windows1251ToUtf8(form.caption).c_str());
  // Without a resizable child the window keeps its size, and the window
  // manager offers no maximise.
  window->callback(OnClose, &owner);
  window->set_modal();
  bool done = handle(Opening(*window), form);
  for (std::size_t id = 0; id < form.controls.size(); ++id) {
    const auto [x, y, w, h] = form.controls[id].place;
    owner.widgets[id]->resize(x, y, w, h);
  }
  window->position(form.left, form.top);
  Show(form, owner);
  window->show();
  while (!done) {
    if (owner.events.empty() && window->shown()) {
      Fl::wait();
      continue;
    }
    const DialogEvent event =
        owner.events.empty() ? DialogEvent{DialogEvent::Kind::Close} : owner.events.front();
    if (!owner.events.empty()) owner.events.pop_front();
    Take(owner, form);
    done = handle(event, form);
    if (!done) Show(form, owner);
  }
  window->hide();
  window.reset();
  Fl::flush();
  return true;
}

}  // namespace zv::platform

// NOLINTEND(cppcoreguidelines-owning-memory)
