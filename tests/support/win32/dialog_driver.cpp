#include "support/dialog_driver.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/dialog_window.h"

namespace zv::test {
namespace {

constexpr UINT kStepDelayMs = 50;
constexpr UINT kWatchdogDelayMs = 15000;
constexpr int kNotReadyLimit = 200;  // 10 seconds of looking for a window

// Thrown by a step whose window is not (yet) in front; the step runs again.
struct NotReady {};

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
  return out;
}

std::wstring Text(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ClassOf(HWND window) {
  std::wstring name(64, L'\0');
  const int length = GetClassNameW(window, name.data(), static_cast<int>(name.size()));
  name.resize(static_cast<std::size_t>(std::max(length, 0)));
  return name;
}

// EnumThreadWindows's callback for Front(): stops at the first window that
// qualifies. (A named function: on 32-bit x86 a lambda does not convert to
// the callback's stdcall pointer type.)
BOOL CALLBACK TakeFrontWindow(HWND window, LPARAM result) {
  const std::wstring name = ClassOf(window);
  if (IsWindowVisible(window) && IsWindowEnabled(window) && name == L"#32770") {
    // NOLINTNEXTLINE(*-reinterpret-cast,*-no-int-to-ptr): the callback's word is our pointer
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
  }
  return TRUE;
}

// The modal window the user would work with: a visible, enabled top-level
// dialog of this thread (the settings dialog, the file picker, a message
// box). A window that has a modal child is disabled.
HWND Front() {
  HWND found = nullptr;
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the callback's word
  EnumThreadWindows(GetCurrentThreadId(), TakeFrontWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

// The settings dialog is the one with the check box's ID.
HWND SettingsDialog() {
  HWND front = Front();
  return front != nullptr && GetDlgItem(front, zv::platform::kFirstControlId + 1) != nullptr
             ? front
             : nullptr;
}

std::vector<HWND> Children(HWND window) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

bool IsButtonOfType(HWND window, LONG type) {
  return ClassOf(window) == L"Button" &&
         (GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK) == static_cast<LONG>(type);
}

HWND FindChild(HWND parent, bool (*match)(HWND)) {
  for (HWND child : Children(parent)) {
    if (match(child)) return child;
  }
  return nullptr;
}

HWND CheckBox(HWND dialog) {
  return FindChild(dialog, [](HWND w) { return IsButtonOfType(w, BS_AUTOCHECKBOX); });
}

HWND Edit(HWND dialog) {
  return FindChild(dialog, [](HWND w) { return ClassOf(w) == L"Edit"; });
}

HWND ButtonWithCaption(HWND dialog, const std::wstring& caption) {
  for (HWND child : Children(dialog)) {
    if (ClassOf(child) == L"Button" && Text(child) == caption) return child;
  }
  return nullptr;
}

// The running script: thread timers carry no pointer of their own.
DialogScript* Running = nullptr;
UINT_PTR StepTimer = 0;
UINT_PTR WatchdogTimer = 0;
int NotReadyCount = 0;
std::unique_ptr<HWND> MainWindowHandle;

void CALLBACK OnStepTimer(HWND /*window*/, UINT /*message*/, UINT_PTR timer, DWORD /*time*/) {
  KillTimer(nullptr, timer);
  StepTimer = 0;
  if (Running != nullptr) DialogScript::ScheduleNext(Running);
}

void CALLBACK OnWatchdogTimer(HWND /*window*/, UINT /*message*/, UINT_PTR timer, DWORD /*time*/) {
  KillTimer(nullptr, timer);
  WatchdogTimer = 0;
  if (Running != nullptr) DialogScript::Watchdog(Running);
}

}  // namespace

DialogScript::~DialogScript() {
  if (StepTimer != 0) KillTimer(nullptr, StepTimer);
  if (WatchdogTimer != 0) KillTimer(nullptr, WatchdogTimer);
  StepTimer = WatchdogTimer = 0;
  if (Running == this) Running = nullptr;
}

DialogScript& DialogScript::Then(std::function<void()> step) {
  steps_.push_back(std::move(step));
  return *this;
}

void DialogScript::Start() {
  Running = this;
  NotReadyCount = 0;
  StepTimer = SetTimer(nullptr, 0, kStepDelayMs, OnStepTimer);
}

// Runs the next step once a modal window is in front; a step whose window
// is not there yet runs again a little later.
void DialogScript::ScheduleNext(void* self) {
  auto* script = static_cast<DialogScript*>(self);
  if (script->Finished()) return;
  if (Front() != nullptr) {
    RunNext(self);
  }
  if (script->Finished()) {
    WatchdogTimer = SetTimer(nullptr, 0, kWatchdogDelayMs, OnWatchdogTimer);
  } else {
    StepTimer = SetTimer(nullptr, 0, kStepDelayMs, OnStepTimer);
  }
}

void DialogScript::RunNext(void* self) {
  auto* script = static_cast<DialogScript*>(self);
  try {
    script->steps_[script->next_]();
    ++script->next_;
    NotReadyCount = 0;
  } catch (const NotReady&) {
    if (++NotReadyCount > kNotReadyLimit) {
      ADD_FAILURE() << "the window of step " << script->next_ << " never came to the front";
      ++script->next_;
    }
  }
}

void DialogScript::Watchdog(void* /*self*/) {
  if (HWND window = Front()) {
    ADD_FAILURE() << "a modal window was still open after the last step; closing it";
    SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
}

bool DisplayAvailable() {
  // Wine without an X display has no desktop to show windows on: creating
  // one fails.
  HWND probe = CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               nullptr, nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

DialogLook Look() {
  DialogLook look;
  HWND window = SettingsDialog();
  if (window == nullptr) return look;
  look.open = true;
  look.caption = Utf8(Text(window));
  RECT frame{};
  GetWindowRect(window, &frame);
  look.x = frame.left, look.y = frame.top;
  look.width = frame.right - frame.left, look.height = frame.bottom - frame.top;
  RECT client{};
  GetClientRect(window, &client);
  look.client_width = client.right, look.client_height = client.bottom;
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  look.resizable = (style & (WS_THICKFRAME | WS_MAXIMIZEBOX)) != 0;
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  look.screen_x = area.left, look.screen_y = area.top;
  look.screen_width = area.right - area.left, look.screen_height = area.bottom - area.top;
  if (HWND check = CheckBox(window)) {
    look.check_caption = Utf8(Text(check));
    look.checked = SendMessageW(check, BM_GETCHECK, 0, 0) == BST_CHECKED;
    look.check_enabled = IsWindowEnabled(check) != FALSE;
  }
  if (HWND edit = Edit(window)) {
    look.edit_text = Utf8(Text(edit));
    look.edit_enabled = IsWindowEnabled(edit) != FALSE;
    // The label is the window created just before its edit.
    if (HWND label = GetWindow(edit, GW_HWNDPREV)) {
      look.edit_label = Utf8(Text(label));
      look.edit_label_enabled = IsWindowEnabled(label) != FALSE;
    }
  }
  if (HWND browse = ButtonWithCaption(window, L"...")) {
    look.browse_enabled = IsWindowEnabled(browse) != FALSE;
  }
  for (HWND child : Children(window)) {
    const LONG child_style = GetWindowLongW(child, GWL_STYLE);
    if ((child_style & WS_TABSTOP) != 0) {
      look.focus_order.push_back(ClassOf(child) == L"Edit" ? "<edit>" : Utf8(Text(child)));
    }
    if (IsButtonOfType(child, BS_DEFPUSHBUTTON)) look.has_key_shortcuts = true;
  }
  return look;
}

void ClickCheckBox() {
  HWND dialog = SettingsDialog();
  ASSERT_NE(dialog, nullptr);
  HWND check = CheckBox(dialog);
  ASSERT_NE(check, nullptr);
  ASSERT_EQ(GetDlgCtrlID(check), zv::platform::kFirstControlId + 1);
  SendMessageW(check, BM_CLICK, 0, 0);
}

void TypePath(const std::string& text) {
  HWND dialog = SettingsDialog();
  ASSERT_NE(dialog, nullptr);
  HWND edit = Edit(dialog);
  ASSERT_NE(edit, nullptr);
  SetWindowTextW(edit, Wide(text).c_str());
}

void ClickButton(const std::string& caption) {
  HWND dialog = SettingsDialog();
  ASSERT_NE(dialog, nullptr);
  HWND button = ButtonWithCaption(dialog, Wide(caption));
  ASSERT_NE(button, nullptr) << caption;
  // Posted, as a mouse click is: the click's handler may open a modal
  // window of its own (the file picker), and this step has to return for
  // the next one to work in it.
  PostMessageW(button, BM_CLICK, 0, 0);
}

void ClickCloseBox() {
  HWND dialog = SettingsDialog();
  ASSERT_NE(dialog, nullptr);
  SendMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void Focus(const std::string& caption) {
  HWND dialog = SettingsDialog();
  ASSERT_NE(dialog, nullptr);
  // Check boxes are buttons too.
  HWND control = caption == "<edit>" ? Edit(dialog) : ButtonWithCaption(dialog, Wide(caption));
  ASSERT_NE(control, nullptr) << caption;
  SetFocus(control);
  ASSERT_EQ(GetFocus(), control) << caption;
}

namespace {

// A key press as the keyboard makes it: queued for the window with the
// focus, and seen by the dialog's loop before the next step runs.
void PressKey(WPARAM key, LPARAM scan_code) {
  ASSERT_NE(SettingsDialog(), nullptr);
  HWND focus = GetFocus();
  ASSERT_NE(focus, nullptr);
  PostMessageW(focus, WM_KEYDOWN, key, 0x00000001 | scan_code << 16);
  PostMessageW(focus, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001 | scan_code << 16));
}

}  // namespace

void PressEscape() { PressKey(VK_ESCAPE, 0x01); }

void PressEnter() { PressKey(VK_RETURN, 0x1C); }

namespace {

// The open file picker in front, or NotReady.
HWND Chooser() {
  HWND front = Front();
  if (front == nullptr || front == SettingsDialog()) throw NotReady{};
  return front;
}

}  // namespace

void ChooseFile(const std::string& name) {
  HWND chooser = Chooser();
  // The name field: an edit (edt1) or a combo box (cmb13), by dialog style.
  HWND field = GetDlgItem(chooser, 0x480);
  if (field == nullptr) field = GetDlgItem(chooser, 0x47c);
  ASSERT_NE(field, nullptr) << "no file name field in the picker";
  SetWindowTextW(field, Wide(name).c_str());
  SendMessageW(GetDlgItem(chooser, IDOK), BM_CLICK, 0, 0);
}

void CancelChooser() { SendMessageW(GetDlgItem(Chooser(), IDCANCEL), BM_CLICK, 0, 0); }

void ShowMainWindow(int x, int y, int width, int height) {
  HWND window = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                                width, height, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER);
  SetActiveWindow(window);
  SetForegroundWindow(window);
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  MainWindowHandle = std::make_unique<HWND>(window);
}

void ClearMainWindow() {
  if (MainWindowHandle) DestroyWindow(*MainWindowHandle);
  MainWindowHandle.reset();
}

}  // namespace zv::test
