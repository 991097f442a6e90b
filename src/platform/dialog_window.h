// A small fixed-layout modal dialog window: frames, a check box, a labelled
// edit and push buttons, placed in pixels. The dialog's behaviour lives with
// its caller; the window only shows the controls and reports clicks.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace zv::platform {

enum class ControlKind {
  Frame,       // an engraved frame, no input
  CheckBox,    // text beside a box that the user ticks and clears
  Edit,        // one-line text input with its label above it
  Button,      // push button
  FlatButton,  // push button that never takes the keyboard focus
};

// One control. Geometry is in pixels of the client area; texts are
// Windows-1251.
struct DialogControl {
  ControlKind kind = ControlKind::Frame;
  int left = 0, top = 0, width = 0, height = 0;
  std::string text;  // caption, or the edit's contents
  bool enabled = true;
  bool checked = false;  // CheckBox only
  // Edit only: the label's text and place.
  std::string label;
  int label_left = 0, label_top = 0, label_width = 0, label_height = 0;
  // Edit only: false while the edit holds characters that Windows-1251
  // cannot represent; `text` then keeps the last text that could.
  bool text_fits = true;
};

// The whole dialog. The keyboard focus moves through the controls in their
// order here, skipping frames and flat buttons.
struct DialogTemplate {
  std::string caption;
  int client_width = 0, client_height = 0;
  std::vector<DialogControl> controls;
};

// WaitForClick's answer when the user closed the window with its close box.
inline constexpr int kDialogClosed = -1;

// An open dialog window, modal for the application. Destroying it removes it.
class DialogWindow {
 public:
  DialogWindow() = default;
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;
  DialogWindow(DialogWindow&&) = delete;
  DialogWindow& operator=(DialogWindow&&) = delete;
  virtual ~DialogWindow() = default;

  // Blocks until the user clicks a check box or a button (returns its index)
  // or the close box (kDialogClosed). Before returning, copies what the user
  // changed (ticks, edit texts) into `controls`.
  virtual int WaitForClick(std::vector<DialogControl>& controls) = 0;

  // Shows `controls`' texts, ticks and enabled states.
  virtual void Update(const std::vector<DialogControl>& controls) = 0;
};

// Opens `dialog` centred over the application's main window, or over the
// screen when there is none. Returns nullptr when no window can be shown
// (no display); never ends the process.
std::unique_ptr<DialogWindow> OpenDialogWindow(const DialogTemplate& dialog);

}  // namespace zv::platform
