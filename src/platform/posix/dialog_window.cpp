#include "platform/dialog_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstring>

#include "platform/gui_display.h"
#include "platform/posix/codepage.h"

// FLTK widgets are created with new and owned by the group they are created
// in; deleting the window deletes them all.
// NOLINTBEGIN(cppcoreguidelines-owning-memory)

namespace zv::platform {
namespace {

// Windows draws dialog texts in an 11-pixel font at 96 dots per inch.
constexpr int kFontSize = 11;
constexpr int kNoClick = -2;

// The widgets showing one control: `widget` always, and the typed views of
// the kinds that have state.
struct Shown {
  Fl_Widget* widget = nullptr;
  Fl_Check_Button* check = nullptr;
  Fl_Input* input = nullptr;
  Fl_Box* label = nullptr;  // an edit's label
};

class FltkDialogWindow final : public DialogWindow {
 public:
  explicit FltkDialogWindow(const DialogTemplate& dialog);
  ~FltkDialogWindow() override;
  FltkDialogWindow(const FltkDialogWindow&) = delete;
  FltkDialogWindow& operator=(const FltkDialogWindow&) = delete;
  FltkDialogWindow(FltkDialogWindow&&) = delete;
  FltkDialogWindow& operator=(FltkDialogWindow&&) = delete;

  int WaitForClick(std::vector<DialogControl>& controls) override;
  void Update(const std::vector<DialogControl>& controls) override;

 private:
  static void OnClick(Fl_Widget* widget, void* self);
  static void OnClose(Fl_Widget* window, void* self);
  Shown Create(const DialogControl& control);

  Fl_Double_Window* window_;
  std::vector<Shown> shown_;  // one per control, in the template's order
  int clicked_ = kNoClick;
};

// Places the window over the application's first window (the host's main
// window, when the host uses FLTK), else in the middle of the screen.
void Centre(Fl_Window& window) {
  int x = 0, y = 0, w = 0, h = 0;
  if (const Fl_Window* main = Fl::first_window(); main != nullptr && main != &window) {
    x = main->x(), y = main->y(), w = main->w(), h = main->h();
  } else {
    Fl::screen_work_area(x, y, w, h);
  }
  window.position(x + (w - window.w()) / 2, y + (h - window.h()) / 2);
}

void SetActive(Fl_Widget* widget, bool active) {
  if (active) {
    widget->activate();
  } else {
    widget->deactivate();
  }
}

FltkDialogWindow::FltkDialogWindow(const DialogTemplate& dialog)
    : window_(new Fl_Double_Window(dialog.client_width, dialog.client_height)) {
  window_->copy_label(Windows1251ToUtf8(dialog.caption).c_str());
  // FLTK adds children to the current group; its keyboard navigation then
  // follows the order of creation, which is the template's order.
  for (const DialogControl& control : dialog.controls) {
    shown_.push_back(Create(control));
  }
  window_->end();
  // Without a resizable child the window keeps its size, and the window
  // manager offers no maximise.
  window_->callback(OnClose, this);
  window_->set_modal();
  Centre(*window_);
  Update(dialog.controls);
  window_->show();
}

Shown FltkDialogWindow::Create(const DialogControl& c) {
  Shown shown;
  switch (c.kind) {
    case ControlKind::Frame:
      shown.widget = new Fl_Box(FL_ENGRAVED_FRAME, c.left, c.top, c.width, c.height, nullptr);
      break;
    case ControlKind::CheckBox:
      shown.widget = shown.check = new Fl_Check_Button(c.left, c.top, c.width, c.height);
      break;
    case ControlKind::Edit: {
      // The label sizes itself to its text, as Windows labels do: the width
      // given fits the Windows dialog font, narrower than Linux fonts.
      const std::string text = Windows1251ToUtf8(c.label);
      fl_font(FL_HELVETICA, kFontSize);
      const int width = std::max(c.label_width, static_cast<int>(fl_width(text.c_str())) + 1);
      shown.label = new Fl_Box(c.label_left, c.label_top, width, c.label_height);
      shown.label->copy_label(text.c_str());
      shown.label->labelsize(kFontSize);
      shown.label->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT);
      shown.widget = shown.input = new Fl_Input(c.left, c.top, c.width, c.height);
      shown.input->textsize(kFontSize);
      break;
    }
    case ControlKind::Button:
    case ControlKind::FlatButton:
      shown.widget = new Fl_Button(c.left, c.top, c.width, c.height);
      shown.widget->visible_focus(c.kind == ControlKind::Button ? 1 : 0);
      break;
  }
  if (c.kind != ControlKind::Edit && c.kind != ControlKind::Frame) {
    shown.widget->copy_label(Windows1251ToUtf8(c.text).c_str());
    shown.widget->callback(OnClick, this);
  }
  shown.widget->labelsize(kFontSize);
  return shown;
}

FltkDialogWindow::~FltkDialogWindow() {
  window_->hide();
  delete window_;
  Fl::flush();
}

void FltkDialogWindow::OnClick(Fl_Widget* widget, void* self) {
  auto* dialog = static_cast<FltkDialogWindow*>(self);
  const auto found = std::find_if(dialog->shown_.begin(), dialog->shown_.end(),
                                  [widget](const Shown& s) { return s.widget == widget; });
  dialog->clicked_ = static_cast<int>(found - dialog->shown_.begin());
}

// FLTK calls a window's callback for its close box and for the Escape key.
// Escape means nothing in this dialog (it has no cancel button), so only
// the close box counts.
void FltkDialogWindow::OnClose(Fl_Widget* /*window*/, void* self) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) {
    return;
  }
  static_cast<FltkDialogWindow*>(self)->clicked_ = kDialogClosed;
}

int FltkDialogWindow::WaitForClick(std::vector<DialogControl>& controls) {
  clicked_ = kNoClick;
  while (clicked_ == kNoClick) {
    if (!window_->shown()) {
      clicked_ = kDialogClosed;
      break;
    }
    Fl::wait();
  }
  for (std::size_t i = 0; i < controls.size() && i < shown_.size(); ++i) {
    if (shown_[i].check != nullptr) {
      controls[i].checked = shown_[i].check->value() != 0;
    }
    if (shown_[i].input != nullptr) {
      auto text = Utf8ToWindows1251(shown_[i].input->value());
      controls[i].text_fits = text.has_value();
      if (text) {
        controls[i].text = std::move(*text);
      }
    }
  }
  return clicked_;
}

void FltkDialogWindow::Update(const std::vector<DialogControl>& controls) {
  for (std::size_t i = 0; i < controls.size() && i < shown_.size(); ++i) {
    const DialogControl& control = controls[i];
    const Shown& shown = shown_[i];
    SetActive(shown.widget, control.enabled);
    if (shown.label != nullptr) {
      // The label greys with its edit, as a labelled edit's does on Windows.
      SetActive(shown.label, control.enabled);
    }
    if (shown.check != nullptr) {
      shown.check->value(control.checked ? 1 : 0);
    }
    if (shown.input != nullptr && control.text_fits) {
      // Only a changed text is put back, so the caret stays where it was.
      const std::string text = Windows1251ToUtf8(control.text);
      if (std::strcmp(shown.input->value(), text.c_str()) != 0) {
        shown.input->value(text.c_str());
      }
    }
  }
}

}  // namespace

std::unique_ptr<DialogWindow> OpenDialogWindow(const DialogTemplate& dialog) {
  if (!EnsureGuiDisplay()) {
    return nullptr;
  }
  return std::make_unique<FltkDialogWindow>(dialog);
}

}  // namespace zv::platform

// NOLINTEND(cppcoreguidelines-owning-memory)
