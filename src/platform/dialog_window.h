// A small fixed-layout modal dialog window: native controls placed in
// pixels. The window only creates the controls, draws them, measures text,
// moves itself and reports what the user did; its caller decides what the
// controls show and what an event means, and addresses each control by an
// id of its own choosing.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace zv::platform {

enum class ControlKind {
  Frame,       // an engraved frame, no input
  Label,       // a line of static text
  CheckBox,    // text beside a box that the user ticks and clears
  Edit,        // one-line text input
  Button,      // push button
  FlatButton,  // push button that never takes the keyboard focus
};

// A rectangle in pixels: of the client area for a control, of the screen
// for a window.
struct PixelRect {
  int left = 0, top = 0, width = 0, height = 0;
};

// What the window knows of the screen around it, for placing it.
struct DialogSurroundings {
  std::optional<PixelRect> host;  // the application's main window, when one is shown
  PixelRect work_area;            // the screen less its task bars
  int width = 0, height = 0;      // the window's own size, frame included where known
};

enum class DialogKey { Enter, Escape };

// The id of no control: the focus is nowhere.
inline constexpr int kNoControl = -1;

// Something the user did.
struct DialogEvent {
  enum class Kind {
    Click,  // a check box or a button was clicked (by mouse or space bar)
    Key,    // Enter or Escape was pressed
    Close,  // the close box was clicked, or the window went away
  };
  Kind kind = Kind::Close;
  // Click: the control clicked. Key: the control with the keyboard focus,
  // or kNoControl.
  int control = kNoControl;
  DialogKey key = DialogKey::Enter;  // Key only
};

// An open dialog window, modal for the application. Destroying it removes
// it. Texts are Windows-1251.
class DialogWindow {
 public:
  DialogWindow() = default;
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;
  DialogWindow(DialogWindow&&) = delete;
  DialogWindow& operator=(DialogWindow&&) = delete;
  virtual ~DialogWindow() = default;

  // Creates control `id` at `place`, showing `text` (a caption, or an
  // edit's contents). The keyboard focus visits the controls in the order
  // they are added, skipping frames, labels and flat buttons. False when
  // the control cannot be created.
  virtual bool Add(int id, ControlKind kind, const PixelRect& place, const std::string& text) = 0;
  // The width in pixels of `text` in the dialog's font; 0 when unknown.
  virtual int TextWidth(const std::string& text) = 0;

  virtual void SetEnabled(int id, bool enabled) = 0;
  virtual void SetChecked(int id, bool checked) = 0;
  [[nodiscard]] virtual bool Checked(int id) const = 0;
  // Replaces an edit's text (which moves its caret).
  virtual void SetText(int id, const std::string& text) = 0;
  // An edit's text, or nullopt while it holds characters that Windows-1251
  // cannot represent.
  [[nodiscard]] virtual std::optional<std::string> Text(int id) const = 0;

  [[nodiscard]] virtual DialogSurroundings Surroundings() const = 0;
  // Moves the window's top-left corner to this point of the screen.
  virtual void Move(int left, int top) = 0;
  // Shows the window, with the keyboard focus on the first control that
  // takes it; the application's other windows take no input meanwhile.
  virtual void Show() = 0;
  // Blocks until the user does something the window reports.
  virtual DialogEvent WaitForEvent() = 0;
};

// Opens a hidden window with this caption and client area. Returns nullptr
// when no window can be shown (no display); never ends the process.
std::unique_ptr<DialogWindow> OpenDialogWindow(const std::string& caption, int client_width,
                                               int client_height);

}  // namespace zv::platform
