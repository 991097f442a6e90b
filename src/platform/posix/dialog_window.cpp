#include "platform/dialog_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/gui_display.h"
#include "platform/posix/codepage.h"

namespace zv::platform {
namespace {

// Windows draws dialog texts in an 11-pixel font at 96 dots per inch.
constexpr int kFontSize = 11;
constexpr int kNoClick = -2;

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
  Fl_Widget* Create(const DialogControl& control);

  Fl_Double_Window* window_;
  std::vector<Fl_Widget*> widgets_;  // one per control, in the template's order
  std::vector<Fl_Box*> labels_;      // an edit's label, else nullptr
  int clicked_ = kNoClick;
};

// Places the window over the application's first window (FLTK's main
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

FltkDialogWindow::FltkDialogWindow(const DialogTemplate& dialog)
    : window_(new Fl_Double_Window(dialog.client_width, dialog.client_height)) {
  window_->copy_label(Windows1251ToUtf8(dialog.caption).c_str());
  // FLTK adds children to the current group; its keyboard navigation then
  // follows the order of creation, which is the template's order.
  for (const DialogControl& control : dialog.controls) {
    widgets_.push_back(Create(control));
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

Fl_Widget* FltkDialogWindow::Create(const DialogControl& c) {
  Fl_Box* label = nullptr;
  Fl_Widget* widget = nullptr;
  switch (c.kind) {
    case ControlKind::Frame:
      widget = new Fl_Box(FL_ENGRAVED_FRAME, c.left, c.top, c.width, c.height, nullptr);
      break;
    case ControlKind::CheckBox:
      widget = new Fl_Check_Button(c.left, c.top, c.width, c.height);
      break;
    case ControlKind::Edit: {
      label = new Fl_Box(c.label_left, c.label_top, c.label_width, c.label_height);
      label->copy_label(Windows1251ToUtf8(c.label).c_str());
      label->labelsize(kFontSize);
      label->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_CLIP);
      auto* input = new Fl_Input(c.left, c.top, c.width, c.height);
      input->textsize(kFontSize);
      widget = input;
      break;
    }
    case ControlKind::Button:
    case ControlKind::FlatButton:
      widget = new Fl_Button(c.left, c.top, c.width, c.height);
      widget->visible_focus(c.kind == ControlKind::Button ? 1 : 0);
      break;
  }
  labels_.push_back(label);
  if (c.kind != ControlKind::Edit && c.kind != ControlKind::Frame) {
    widget->copy_label(Windows1251ToUtf8(c.text).c_str());
    widget->callback(OnClick, this);
  }
  widget->labelsize(kFontSize);
  return widget;
}

FltkDialogWindow::~FltkDialogWindow() {
  window_->hide();
  delete window_;  // NOLINT(cppcoreguidelines-owning-memory): FLTK owns widgets through raw pointers
  Fl::flush();
}

void FltkDialogWindow::OnClick(Fl_Widget* widget, void* self) {
  auto* dialog = static_cast<FltkDialogWindow*>(self);
  const auto found = std::find(dialog->widgets_.begin(), dialog->widgets_.end(), widget);
  dialog->clicked_ = static_cast<int>(std::distance(dialog->widgets_.begin(), found));
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
  for (std::size_t i = 0; i < controls.size() && i < widgets_.size(); ++i) {
    DialogControl& control = controls[i];
    if (control.kind == ControlKind::CheckBox) {
      control.checked = static_cast<Fl_Check_Button*>(widgets_[i])->value() != 0;
    } else if (control.kind == ControlKind::Edit) {
      auto text = Utf8ToWindows1251(static_cast<Fl_Input*>(widgets_[i])->value());
      control.text_fits = text.has_value();
      if (text) {
        control.text = std::move(*text);
      }
    }
  }
  return clicked_;
}

void FltkDialogWindow::Update(const std::vector<DialogControl>& controls) {
  for (std::size_t i = 0; i < controls.size() && i < widgets_.size(); ++i) {
    const DialogControl& control = controls[i];
    Fl_Widget* widget = widgets_[i];
    if (control.enabled) {
      widget->activate();
    } else {
      widget->deactivate();
    }
    if (labels_[i] != nullptr) {
      // The label greys with its edit, as a labelled edit's does on Windows.
      if (control.enabled) {
        labels_[i]->activate();
      } else {
        labels_[i]->deactivate();
      }
    }
    if (control.kind == ControlKind::CheckBox) {
      static_cast<Fl_Check_Button*>(widget)->value(control.checked ? 1 : 0);
    } else if (control.kind == ControlKind::Edit && control.text_fits) {
      // Only a changed text is put back, so the caret stays where it was.
      auto* input = static_cast<Fl_Input*>(widget);
      const std::string shown = Windows1251ToUtf8(control.text);
      if (std::strcmp(input->value(), shown.c_str()) != 0) {
        input->value(shown.c_str());
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
