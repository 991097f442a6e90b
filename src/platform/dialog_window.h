// A small fixed-layout modal dialog: a described form of native controls
// placed in pixels, shown by one function per toolkit. The toolkit only
// shows the form as described, measures texts and reports what the user
// did; its caller decides what the controls show and what an event means.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zv::platform {

// A rectangle in pixels: of the client area for a control, of the screen
// for a window.
struct PixelRect {
  int left = 0, top = 0, width = 0, height = 0;
};

// A control of the form. Its kind: an engraved frame (no input), a line of
// static text, text beside a box that the user ticks and clears, one-line
// text input, a push button, or a push button that never takes the
// keyboard focus.
struct DialogControl {
  enum class Kind { Frame, Label, CheckBox, Edit, Button, FlatButton };
  Kind kind = Kind::Frame;
  PixelRect place{};
  std::string text{};  // a caption, or an edit's contents (Windows-1251)
  bool enabled = true;
  bool checked = false;
  // An edit's: false while it holds characters that Windows-1251 cannot
  // represent; `text` is then not the edit's, and is not shown over it.
  bool text_fits = true;
  // Set by the toolkit before the form is shown: the width in pixels of
  // `text` in the dialog's font, 0 when unknown.
  int text_width = 0;
};

// The form. A control's id is its index; the keyboard focus visits the
// controls in this order, skipping frames, labels and flat buttons. The
// caption and the places are taken once, when the form is shown.
struct DialogForm {
  std::string caption;  // Windows-1251
  int client_width = 0, client_height = 0;
  std::vector<DialogControl> controls{};
  // The window's place on the screen: its frame's corner, where the
  // toolkit knows the frame.
  int left = 0, top = 0;
};

// The id of no control: the focus is nowhere.
inline constexpr int kNoControl = -1;
// On Windows, control i's child window has the ID kFirstControlId + i, so
// that programs that drive the dialog (tests) find controls without
// relying on their texts.
inline constexpr int kFirstControlId = 100;

// Something that happened to the dialog: it is about to be shown (Open:
// the texts are measured, the surroundings known); a check box or a button
// was clicked (by mouse or space bar); Enter or Escape was pressed; the
// close box was clicked, or the window went away (Close).
struct DialogEvent {
  enum class Kind { Open, Click, Enter, Escape, Close };
  Kind kind = Kind::Close;
  // Click: the control clicked. Enter, Escape: the control with the
  // keyboard focus, or kNoControl.
  int control = kNoControl;
  // Open only: the window's size, frame included where known; the
  // application's main window, when one is shown; the screen less its task
  // bars.
  int width = 0, height = 0;
  std::optional<PixelRect> host{};
  PixelRect work_area{};
};

// Handles an event. The form holds the user's ticks and texts of the
// moment; what the handler leaves in it is shown. True ends the dialog.
using DialogHandler = std::function<bool(const DialogEvent&, DialogForm&)>;

// Shows `form` modally for the application and passes every event to
// `handle` until it answers true. False when no window can be shown (no
// display); never ends the process.
bool RunDialog(DialogForm& form, const DialogHandler& handle);
using DialogRunner = std::function<bool(DialogForm&, const DialogHandler&)>;

}  // namespace zv::platform
