// Drives the plugin's modal windows from inside their own event loop, for
// tests: steps run one after another from the toolkit's timers (FLTK's, or
// the thread timers of Windows) while a modal window is open, and look at
// or act on the frontmost one as a user would: through the toolkit's
// widgets on Linux, through window messages on Windows. Texts are UTF-8.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zv::test {

// What the frontmost modal window shows.
struct DialogLook {
  bool open = false;
  std::string caption;
  // The window as placed: its client area on Linux (the window manager adds
  // a frame around it), its frame on Windows.
  int x = 0, y = 0, width = 0, height = 0;
  int client_width = 0, client_height = 0;
  bool resizable = true;
  // The screen's work area.
  int screen_x = 0, screen_y = 0, screen_width = 0, screen_height = 0;
  std::string check_caption;
  bool checked = false;
  bool check_enabled = false;
  std::string edit_label;
  std::string edit_text;
  bool edit_enabled = false;
  bool edit_label_enabled = false;
  bool browse_enabled = false;
  // Captions of the controls the keyboard focus visits, in order ("<edit>"
  // for the edit).
  std::vector<std::string> focus_order;
  // Whether any button answers Enter or Escape on its own.
  bool has_key_shortcuts = false;
};

// Steps to run while the next modal window is open. Each step runs from the
// window's event loop once the previous one returned. The steps are
// dropped when the script is destroyed.
class DialogScript {
 public:
  DialogScript() = default;
  DialogScript(const DialogScript&) = delete;
  DialogScript& operator=(const DialogScript&) = delete;
  DialogScript(DialogScript&&) = delete;
  DialogScript& operator=(DialogScript&&) = delete;
  ~DialogScript();

  DialogScript& Then(std::function<void()> step);
  // Starts the steps; call it before the call that opens the window. A
  // watchdog closes a window still open long after the last step.
  void Start();
  // Whether every step ran.
  [[nodiscard]] bool Finished() const { return next_ == steps_.size(); }

  // Called from the toolkit's timers.
  static void RunNext(void* self);
  static void ScheduleNext(void* self);
  static void Watchdog(void* self);

 private:
  std::vector<std::function<void()>> steps_;
  std::size_t next_ = 0;
};

// Whether windows can be shown (a display is there).
bool DisplayAvailable();
// Looks at the frontmost modal window.
DialogLook Look();
// Ticks or clears the check box as a click does.
void ClickCheckBox();
// Replaces the edit's text, as typing does.
void TypePath(const std::string& text);
// Clicks the button with this caption.
void ClickButton(const std::string& caption);
// Clicks the window's close box.
void ClickCloseBox();
// Gives the keyboard focus to the control with this caption ("<edit>" for
// the edit).
void Focus(const std::string& caption);
// Presses Escape, or Enter, in the window.
void PressEscape();
void PressEnter();
// In an open file chooser: types `name` and confirms, or cancels.
void ChooseFile(const std::string& name);
void CancelChooser();
// Shows a plain application window at this place, as a host's main window;
// it stays until ClearMainWindow.
void ShowMainWindow(int x, int y, int width, int height);
void ClearMainWindow();

}  // namespace zv::test
