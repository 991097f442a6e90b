#include "platform/dialog_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/fl_draw.H>

#include <deque>
#include <vector>

#include "platform/gui_display.h"
#include "platform/posix/codepage.h"

// FLTK widgets are created with new and owned by the group they are created
// in; deleting the window deletes them all.
// NOLINTBEGIN(cppcoreguidelines-owning-memory)

namespace zv::platform {
namespace {

// Windows draws dialog texts in an 11-pixel font at 96 dots per inch.
constexpr int kFontSize = 11;

// One control's widget and the id its caller gave it.
struct Native {
  int id = kNoControl;
  Fl_Widget* widget = nullptr;
};

class FltkDialogWindow;

// The top-level window. It takes Enter and Escape before FLTK's own uses
// of them (Enter moving the focus on, Escape calling the close callback)
// and reports them.
class KeyReportingWindow final : public Fl_Double_Window {
 public:
  KeyReportingWindow(int width, int height, FltkDialogWindow& owner)
      : Fl_Double_Window(width, height), owner_(owner) {}
  int handle(int event) override;

 private:
  FltkDialogWindow& owner_;
};

class FltkDialogWindow final : public DialogWindow {
 public:
  FltkDialogWindow(const std::string& caption, int client_width, int client_height);
  ~FltkDialogWindow() override;
  FltkDialogWindow(const FltkDialogWindow&) = delete;
  FltkDialogWindow& operator=(const FltkDialogWindow&) = delete;
  FltkDialogWindow(FltkDialogWindow&&) = delete;
  FltkDialogWindow& operator=(FltkDialogWindow&&) = delete;

  bool Add(int id, ControlKind kind, const PixelRect& place, const std::string& text) override;
  int TextWidth(const std::string& text) override;
  void SetEnabled(int id, bool enabled) override;
  void SetChecked(int id, bool checked) override;
  [[nodiscard]] bool Checked(int id) const override;
  void SetText(int id, const std::string& text) override;
  [[nodiscard]] std::optional<std::string> Text(int id) const override;
  [[nodiscard]] DialogSurroundings Surroundings() const override;
  void Move(int left, int top) override;
  void Show() override;
  DialogEvent WaitForEvent() override;

  // Queues a key press for WaitForEvent.
  void ReportKey(DialogKey key);

 private:
  static void OnClick(Fl_Widget* widget, void* self);
  static void OnClose(Fl_Widget* window, void* self);
  [[nodiscard]] Fl_Widget* Find(int id) const;
  [[nodiscard]] int IdOf(const Fl_Widget* widget) const;

  KeyReportingWindow* window_;
  std::vector<Native> natives_;
  std::deque<DialogEvent> events_;
};

int KeyReportingWindow::handle(int event) {
  if (event == FL_KEYBOARD || event == FL_SHORTCUT) {
    const int key = Fl::event_key();
    if (key == FL_Enter || key == FL_KP_Enter) {
      owner_.ReportKey(DialogKey::Enter);
      return 1;
    }
    if (key == FL_Escape) {
      owner_.ReportKey(DialogKey::Escape);
      return 1;
    }
  }
  return Fl_Double_Window::handle(event);
}

FltkDialogWindow::FltkDialogWindow(const std::string& caption, int client_width, int client_height)
    : window_(new KeyReportingWindow(client_width, client_height, *this)) {
  window_->end();
  window_->copy_label(Windows1251ToUtf8(caption).c_str());
  // Without a resizable child the window keeps its size, and the window
  // manager offers no maximise.
  window_->callback(OnClose, this);
  window_->set_modal();
}

FltkDialogWindow::~FltkDialogWindow() {
  window_->hide();
  delete window_;
  Fl::flush();
}

bool FltkDialogWindow::Add(int id, ControlKind kind, const PixelRect& place,
                           const std::string& text) {
  const auto [x, y, w, h] = place;
  // FLTK adds children to the current group; its keyboard navigation then
  // follows the order of creation.
  window_->begin();
  Fl_Widget* widget = nullptr;
  switch (kind) {
    case ControlKind::Frame:
      widget = new Fl_Box(FL_ENGRAVED_FRAME, x, y, w, h, nullptr);
      break;
    case ControlKind::Label:
      widget = new Fl_Box(x, y, w, h);
      widget->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT);
      break;
    case ControlKind::CheckBox:
      widget = new Fl_Check_Button(x, y, w, h);
      break;
    case ControlKind::Edit: {
      auto* input = new Fl_Input(x, y, w, h);
      input->textsize(kFontSize);
      input->value(Windows1251ToUtf8(text).c_str());
      widget = input;
      break;
    }
    case ControlKind::Button:
    case ControlKind::FlatButton:
      widget = new Fl_Button(x, y, w, h);
      widget->visible_focus(kind == ControlKind::Button ? 1 : 0);
      break;
  }
  window_->end();
  if (kind != ControlKind::Edit && kind != ControlKind::Frame) {
    widget->copy_label(Windows1251ToUtf8(text).c_str());
  }
  if (kind == ControlKind::CheckBox || kind == ControlKind::Button ||
      kind == ControlKind::FlatButton) {
    widget->callback(OnClick, this);
  }
  widget->labelsize(kFontSize);
  natives_.push_back({id, widget});
  return true;
}

int FltkDialogWindow::TextWidth(const std::string& text) {
  fl_font(FL_HELVETICA, kFontSize);
  // Whole pixels, rounded up.
  return static_cast<int>(fl_width(Windows1251ToUtf8(text).c_str())) + 1;
}

Fl_Widget* FltkDialogWindow::Find(int id) const {
  for (const Native& native : natives_) {
    if (native.id == id) return native.widget;
  }
  return nullptr;
}

int FltkDialogWindow::IdOf(const Fl_Widget* widget) const {
  for (const Native& native : natives_) {
    if (widget != nullptr && native.widget == widget) return native.id;
  }
  return kNoControl;
}

void FltkDialogWindow::SetEnabled(int id, bool enabled) {
  if (Fl_Widget* widget = Find(id)) {
    if (enabled) {
      widget->activate();
    } else {
      widget->deactivate();
    }
  }
}

void FltkDialogWindow::SetChecked(int id, bool checked) {
  if (auto* check = dynamic_cast<Fl_Check_Button*>(Find(id))) {
    check->value(checked ? 1 : 0);
  }
}

bool FltkDialogWindow::Checked(int id) const {
  const auto* check = dynamic_cast<const Fl_Check_Button*>(Find(id));
  return check != nullptr && check->value() != 0;
}

void FltkDialogWindow::SetText(int id, const std::string& text) {
  if (auto* input = dynamic_cast<Fl_Input*>(Find(id))) {
    input->value(Windows1251ToUtf8(text).c_str());
  }
}

std::optional<std::string> FltkDialogWindow::Text(int id) const {
  const auto* input = dynamic_cast<const Fl_Input*>(Find(id));
  if (input == nullptr) return std::string();
  return Utf8ToWindows1251(input->value());
}

// The host's main window is the application's first window, when the host
// uses FLTK. FLTK knows no window frame before the window is mapped.
DialogSurroundings FltkDialogWindow::Surroundings() const {
  DialogSurroundings around;
  if (const Fl_Window* main = Fl::first_window(); main != nullptr && main != window_) {
    around.host = PixelRect{main->x(), main->y(), main->w(), main->h()};
  }
  PixelRect& area = around.work_area;
  Fl::screen_work_area(area.left, area.top, area.width, area.height);
  around.width = window_->w();
  around.height = window_->h();
  return around;
}

void FltkDialogWindow::Move(int left, int top) { window_->position(left, top); }

void FltkDialogWindow::Show() { window_->show(); }

void FltkDialogWindow::ReportKey(DialogKey key) {
  events_.push_back({DialogEvent::Kind::Key, IdOf(Fl::focus()), key});
}

void FltkDialogWindow::OnClick(Fl_Widget* widget, void* self) {
  auto* dialog = static_cast<FltkDialogWindow*>(self);
  dialog->events_.push_back({DialogEvent::Kind::Click, dialog->IdOf(widget)});
}

// FLTK calls a window's callback for its close box, and for an Escape that
// no widget took (the window takes it first, so this is a safeguard).
void FltkDialogWindow::OnClose(Fl_Widget* /*window*/, void* self) {
  auto* dialog = static_cast<FltkDialogWindow*>(self);
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) {
    dialog->ReportKey(DialogKey::Escape);
  } else {
    dialog->events_.push_back({DialogEvent::Kind::Close});
  }
}

DialogEvent FltkDialogWindow::WaitForEvent() {
  while (events_.empty()) {
    if (!window_->shown()) {
      return {DialogEvent::Kind::Close};
    }
    Fl::wait();
  }
  const DialogEvent event = events_.front();
  events_.pop_front();
  return event;
}

}  // namespace

std::unique_ptr<DialogWindow> OpenDialogWindow(const std::string& caption, int client_width,
                                               int client_height) {
  if (!EnsureGuiDisplay()) {
    return nullptr;
  }
  return std::make_unique<FltkDialogWindow>(caption, client_width, client_height);
}

}  // namespace zv::platform

// NOLINTEND(cppcoreguidelines-owning-memory)
