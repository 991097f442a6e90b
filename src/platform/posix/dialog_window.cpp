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
#include <vector>

#include "common/cp1251.h"
#include "platform/gui_display.h"

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

  void Report(DialogEvent::Kind kind, const Fl_Widget* widget) {
    const auto found = std::find(widgets.begin(), widgets.end(), widget);
    const int id = found == widgets.end() ? kNoControl : static_cast<int>(found - widgets.begin());
    events.push_back({kind, id});
  }
};

// The top-level window. It takes Enter and Escape before FLTK's own uses
// of them (Enter moving the focus on, Escape calling the close callback)
// and reports them with the control that has the focus.
class KeyReportingWindow final : public Fl_Double_Window {
 public:
  KeyReportingWindow(int left, int top, int width, int height, Widgets& owner)
      : Fl_Double_Window(left, top, width, height), owner_(owner) {}
  int handle(int event) override {
    const int key = Fl::event_key();
    if ((event != FL_KEYBOARD && event != FL_SHORTCUT) ||
        (key != FL_Enter && key != FL_KP_Enter && key != FL_Escape)) {
      return Fl_Double_Window::handle(event);
    }
    owner_.Report(key == FL_Escape ? DialogEvent::Kind::Escape : DialogEvent::Kind::Enter,
                  Fl::focus());
    return 1;
  }

 private:
  Widgets& owner_;
};

void OnClick(Fl_Widget* widget, void* owner) {
  static_cast<Widgets*>(owner)->Report(DialogEvent::Kind::Click, widget);
}

// FLTK calls a window's callback for its close box, and for an Escape that
// no widget took (the window takes it first, so this is a safeguard).
void OnClose(Fl_Widget* /*window*/, void* owner) {
  const bool escape = Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape;
  static_cast<Widgets*>(owner)->Report(
      escape ? DialogEvent::Kind::Escape : DialogEvent::Kind::Close, Fl::focus());
}

// Creates a control's widget in the current group; FLTK's keyboard
// navigation follows the order of creation.
Fl_Widget* Create(const DialogControl& control, Widgets& owner) {
  const auto [x, y, w, h] = control.place;
  const Kind kind = control.kind;
  Fl_Widget* widget = kind == Kind::Frame   ? new Fl_Box(FL_ENGRAVED_FRAME, x, y, w, h, nullptr)
                      : kind == Kind::Label ? new Fl_Box(x, y, w, h)
                      : kind == Kind::Edit  ? new Fl_Input(x, y, w, h)
                      : kind == Kind::CheckBox
                          ? static_cast<Fl_Widget*>(new Fl_Check_Button(x, y, w, h))
                          : new Fl_Button(x, y, w, h);
  widget->labelsize(kFontSize);
  if (auto* input = dynamic_cast<Fl_Input*>(widget)) input->textsize(kFontSize);
  if (kind == Kind::Frame || kind == Kind::Edit) return widget;
  if (kind == Kind::Label) widget->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT);
  widget->copy_label(common::Cp1251ToUtf8(control.text).c_str());
  widget->visible_focus(kind == Kind::FlatButton ? 0 : 1);
  if (kind != Kind::Label) widget->callback(OnClick, &owner);
  return widget;
}

// Takes the user's ticks and texts into the form (`take`), or shows the
// form's state. An edit's text is put back only when it differs from what
// the edit shows, so that the caret stays where it was.
void Sync(DialogForm& form, const Widgets& owner, bool take) {
  for (std::size_t id = 0; id < form.controls.size(); ++id) {
    DialogControl& control = form.controls[id];
    Fl_Widget* widget = owner.widgets[id];
    if (auto* check = dynamic_cast<Fl_Check_Button*>(widget); check != nullptr && take) {
      control.checked = check->value() != 0;
    } else if (check != nullptr) {
      check->value(control.checked ? 1 : 0);
    }
    auto* input = dynamic_cast<Fl_Input*>(widget);
    const std::optional<std::string> text =
        input != nullptr ? common::Utf8ToCp1251(input->value()) : std::nullopt;
    if (input != nullptr && take) {
      control.text_fits = text.has_value();
      control.text = text.value_or(control.text);
    } else if (input != nullptr && control.text_fits && text != control.text) {
      input->value(common::Cp1251ToUtf8(control.text).c_str());
    }
    if (!take && control.enabled) widget->activate();
    if (!take && !control.enabled) widget->deactivate();
  }
}

}  // namespace

bool RunDialog(DialogForm& form, const DialogHandler& handle) {
  if (!EnsureGuiDisplay()) return false;
  fl_font(FL_HELVETICA, kFontSize);
  for (DialogControl& control : form.controls) {
    // Whole pixels, rounded up.
    control.text_width = static_cast<int>(fl_width(common::Cp1251ToUtf8(control.text).c_str())) + 1;
  }
  // The host's main window is the application's first shown window, when
  // the host uses FLTK. FLTK knows no window frame before the window is
  // mapped.
  DialogEvent open{DialogEvent::Kind::Open};
  open.width = form.client_width, open.height = form.client_height;
  if (const Fl_Window* main = Fl::first_window()) {
    open.host = PixelRect{main->x(), main->y(), main->w(), main->h()};
  }
  PixelRect& area = open.work_area;
  Fl::screen_work_area(area.left, area.top, area.width, area.height);
  bool done = handle(open, form);
  Widgets owner;
  KeyReportingWindow window(form.left, form.top, form.client_width, form.client_height, owner);
  for (const DialogControl& control : form.controls)
    owner.widgets.push_back(Create(control, owner));
  window.end();
  window.copy_label(common::Cp1251ToUtf8(form.caption).c_str());
  // Without a resizable child the window keeps its size, and the window
  // manager offers no maximise.
  window.callback(OnClose, &owner);
  window.set_modal();
  Sync(form, owner, false);
  if (!done) window.show();
  while (!done) {
    if (owner.events.empty() && window.shown()) {
      Fl::wait();
      continue;
    }
    DialogEvent event{DialogEvent::Kind::Close};  // the window went away
    if (!owner.events.empty()) event = owner.events.front(), owner.events.pop_front();
    Sync(form, owner, true);
    done = handle(event, form);
    if (!done) Sync(form, owner, false);
  }
  window.hide();
  Fl::flush();
  return true;
}

}  // namespace zv::platform

// NOLINTEND(cppcoreguidelines-owning-memory)
