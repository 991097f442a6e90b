#include "platform/dialog_window.h"

#include <windows.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui_display.h"
#include "platform/win32/dialog_ids.h"
#include "platform/win32/wide_text.h"

namespace zv::platform {
namespace {

constexpr const wchar_t* kClassName = L"ZvSettingsDialog";
constexpr DWORD kFrameStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFrameExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;

// The Win32 API carries handles, pointers and small numbers in its
// pointer-sized words (message parameters, window data, a child's ID in
// place of its menu); these two convert between them.
// NOLINTBEGIN(cppcoreguidelines-pro-type-reinterpret-cast,performance-no-int-to-ptr)
template <typename Pointer, typename Word>
Pointer FromWord(Word word) {
  return reinterpret_cast<Pointer>(word);
}
template <typename Word, typename Pointer>
Word ToWord(Pointer pointer) {
  return reinterpret_cast<Word>(pointer);
}
// NOLINTEND(cppcoreguidelines-pro-type-reinterpret-cast,performance-no-int-to-ptr)

// The module this code is linked into: the plugin's DLL, whose window class
// must go again when the DLL may be unloaded. With the flag the module's
// "name" is an address inside it.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      ToWord<LPCWSTR>(&ThisModule), &module);
  return module;
}

// The host's main window: the calling thread's active window, else the
// foreground window when it belongs to this process; as its top level.
HWND HostWindow() {
  HWND window = GetActiveWindow();
  if (window == nullptr) {
    HWND foreground = GetForegroundWindow();
    DWORD process = 0;
    if (foreground != nullptr && GetWindowThreadProcessId(foreground, &process) != 0 &&
        process == GetCurrentProcessId()) {
      window = foreground;
    }
  }
  return window != nullptr ? GetAncestor(window, GA_ROOT) : nullptr;
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

PixelRect PixelRectOf(const RECT& rect) {
  return {static_cast<int>(rect.left), static_cast<int>(rect.top),
          static_cast<int>(rect.right - rect.left), static_cast<int>(rect.bottom - rect.top)};
}

// One control's child window and the id its caller gave it. Frames have no
// window: the dialog draws them itself.
struct Native {
  int id = kNoControl;
  ControlKind kind = ControlKind::Frame;
  HWND window = nullptr;
};

class Win32DialogWindow final : public DialogWindow {
 public:
  Win32DialogWindow() = default;
  ~Win32DialogWindow() override;
  Win32DialogWindow(const Win32DialogWindow&) = delete;
  Win32DialogWindow& operator=(const Win32DialogWindow&) = delete;
  Win32DialogWindow(Win32DialogWindow&&) = delete;
  Win32DialogWindow& operator=(Win32DialogWindow&&) = delete;

  // Creates the hidden window; false when it cannot be created.
  bool Open(const std::string& caption, int client_width, int client_height);

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

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK FlatButtonProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  [[nodiscard]] const Native* Find(int id) const;
  [[nodiscard]] const Native* FindByWindow(HWND window) const;
  // The child window of control `id`, or nullptr (also once the dialog is gone).
  [[nodiscard]] HWND ChildOf(int id) const;
  void Report(const DialogEvent& event);

  HINSTANCE module_ = ThisModule();
  bool class_registered_ = false;
  HWND window_ = nullptr;
  HWND owner_ = nullptr;
  bool owner_disabled_ = false;
  HFONT font_ = nullptr;
  std::vector<Native> natives_;
  std::vector<RECT> frames_;  // drawn by the window itself
  WNDPROC button_proc_ = nullptr;
  HWND focus_before_flat_ = nullptr;  // where a flat button gives the focus back
  HWND saved_focus_ = nullptr;        // focus while the window is inactive
  std::deque<DialogEvent> events_;
  bool destroyed_ = false;
};

bool Win32DialogWindow::Open(const std::string& caption, int client_width, int client_height) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = module_;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  // The system colour index plus one stands for its brush.
  window_class.hbrBackground = FromWord<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  window_class.lpszClassName = kClassName;
  class_registered_ = RegisterClassExW(&window_class) != 0;
  if (!class_registered_ && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  // The form's font: "MS Sans Serif", 11 pixels high, default character set.
  font_ = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
  owner_ = HostWindow();
  RECT frame = {0, 0, client_width, client_height};
  AdjustWindowRectEx(&frame, kFrameStyle, FALSE, kFrameExStyle);
  window_ = CreateWindowExW(kFrameExStyle, kClassName, WideFromWindows1251(caption).c_str(),
                            kFrameStyle, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                            owner_, nullptr, module_, this);
  if (window_ == nullptr) return false;
  // A fixed dialog: its system menu offers only Move and Close.
  if (HMENU menu = GetSystemMenu(window_, FALSE)) {
    for (const UINT item : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE}) {
      DeleteMenu(menu, item, MF_BYCOMMAND);
    }
  }
  return true;
}

// Children are created in the order they are added, which is the order the
// keyboard focus visits them.
bool Win32DialogWindow::Add(int id, ControlKind kind, const PixelRect& place,
                            const std::string& text) {
  const wchar_t* window_class = L"BUTTON";
  DWORD style = 0;
  DWORD ex_style = 0;
  switch (kind) {
    case ControlKind::Frame:
      // Drawn on the window itself, beneath the controls (WM_PAINT).
      frames_.push_back(
          {place.left, place.top, place.left + place.width, place.top + place.height});
      natives_.push_back({id, kind, nullptr});
      return true;
    case ControlKind::Label:
      window_class = L"STATIC";
      style = SS_LEFT | SS_NOPREFIX;
      break;
    case ControlKind::CheckBox:
      style = BS_AUTOCHECKBOX | WS_TABSTOP;
      break;
    case ControlKind::Edit:
      window_class = L"EDIT";
      style = ES_AUTOHSCROLL | WS_TABSTOP;
      ex_style = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::Button:
      style = BS_PUSHBUTTON | WS_TABSTOP;
      break;
    case ControlKind::FlatButton:
      style = BS_PUSHBUTTON;
      break;
  }
  HWND child = CreateWindowExW(
      ex_style, window_class, WideFromWindows1251(text).c_str(), WS_CHILD | WS_VISIBLE | style,
      place.left, place.top, place.width, place.height, window_,
      FromWord<HMENU>(static_cast<INT_PTR>(kFirstControlId) + id), module_, nullptr);
  if (child == nullptr) return false;
  if (font_ != nullptr) {
    SendMessageW(child, WM_SETFONT, ToWord<WPARAM>(font_), FALSE);
  }
  if (kind == ControlKind::FlatButton) {
    button_proc_ = FromWord<WNDPROC>(
        SetWindowLongPtrW(child, GWLP_WNDPROC, ToWord<LONG_PTR>(&FlatButtonProc)));
  }
  natives_.push_back({id, kind, child});
  return true;
}

int Win32DialogWindow::TextWidth(const std::string& text) {
  int width = 0;
  if (HDC dc = GetDC(window_)) {
    const HGDIOBJ old = SelectObject(dc, font_);
    const std::wstring wide = WideFromWindows1251(text);
    SIZE size{};
    if (GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size)) {
      width = static_cast<int>(size.cx);
    }
    SelectObject(dc, old);
    ReleaseDC(window_, dc);
  }
  return width;
}

const Native* Win32DialogWindow::Find(int id) const {
  for (const Native& native : natives_) {
    if (native.id == id) return &native;
  }
  return nullptr;
}

const Native* Win32DialogWindow::FindByWindow(HWND window) const {
  for (const Native& native : natives_) {
    if (window != nullptr && native.window == window) return &native;
  }
  return nullptr;
}

HWND Win32DialogWindow::ChildOf(int id) const {
  const Native* native = Find(id);
  return native != nullptr && !destroyed_ ? native->window : nullptr;
}

void Win32DialogWindow::SetEnabled(int id, bool enabled) {
  HWND child = ChildOf(id);
  if (child == nullptr) return;
  // A control about to be disabled hands the focus on, or the keyboard
  // would be left with nowhere to go.
  if (!enabled && GetFocus() == child) {
    SetFocus(GetNextDlgTabItem(window_, child, FALSE));
  }
  EnableWindow(child, enabled ? TRUE : FALSE);
}

void Win32DialogWindow::SetChecked(int id, bool checked) {
  if (HWND child = ChildOf(id)) {
    SendMessageW(child, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

bool Win32DialogWindow::Checked(int id) const {
  HWND child = ChildOf(id);
  return child != nullptr && SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32DialogWindow::SetText(int id, const std::string& text) {
  if (HWND child = ChildOf(id)) SetWindowTextW(child, WideFromWindows1251(text).c_str());
}

std::optional<std::string> Win32DialogWindow::Text(int id) const {
  HWND child = ChildOf(id);
  if (child == nullptr) return std::string();
  return Windows1251FromWide(WindowText(child));
}

DialogSurroundings Win32DialogWindow::Surroundings() const {
  DialogSurroundings around;
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  around.work_area = PixelRectOf(area);
  if (owner_ != nullptr && IsWindowVisible(owner_) && !IsIconic(owner_)) {
    RECT over{};
    if (GetWindowRect(owner_, &over)) around.host = PixelRectOf(over);
  }
  RECT frame{};
  GetWindowRect(window_, &frame);
  around.width = static_cast<int>(frame.right - frame.left);
  around.height = static_cast<int>(frame.bottom - frame.top);
  return around;
}

void Win32DialogWindow::Move(int left, int top) {
  SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32DialogWindow::Show() {
  // Modal for the host: its window takes no input until this one is gone.
  if (owner_ != nullptr && IsWindowEnabled(owner_)) {
    EnableWindow(owner_, FALSE);
    owner_disabled_ = true;
  }
  ShowWindow(window_, SW_SHOWNORMAL);
  SetForegroundWindow(window_);
  if (HWND first = GetNextDlgTabItem(window_, nullptr, FALSE)) SetFocus(first);
  UpdateWindow(window_);
}

Win32DialogWindow::~Win32DialogWindow() {
  // The host's window is enabled before this one goes, so that it, and not
  // some other program's window, becomes active again.
  if (owner_disabled_) EnableWindow(owner_, TRUE);
  if (window_ != nullptr && !destroyed_) DestroyWindow(window_);
  if (font_ != nullptr) DeleteObject(font_);
  if (class_registered_) UnregisterClassW(kClassName, module_);
}

void Win32DialogWindow::Report(const DialogEvent& event) {
  events_.push_back(event);
  // An event raised from another thread's message arrives while GetMessage
  // waits; a posted message lets the loop see it.
  PostMessageW(window_, WM_NULL, 0, 0);
}

LRESULT CALLBACK Win32DialogWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = FromWord<const CREATESTRUCTW*>(lparam);
    auto* self = static_cast<Win32DialogWindow*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, ToWord<LONG_PTR>(self));
  }
  auto* self = FromWord<Win32DialogWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT Win32DialogWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      // Clicks of check boxes and buttons; the dialog manager's IDOK and
      // IDCANCEL (which come with no control) belong to none of them.
      const Native* native = FindByWindow(FromWord<HWND>(lparam));
      if (HIWORD(wparam) == BN_CLICKED && native != nullptr && native->kind != ControlKind::Edit &&
          native->kind != ControlKind::Label) {
        Report({DialogEvent::Kind::Click, native->id});
        if (native->kind == ControlKind::FlatButton && focus_before_flat_ != nullptr &&
            IsWindow(focus_before_flat_)) {
          SetFocus(focus_before_flat_);
        }
      }
      return 0;
    }
    case WM_ACTIVATE:
      // The focus comes back to where it was when the window is reactivated.
      if (LOWORD(wparam) == WA_INACTIVE) {
        saved_focus_ = GetFocus();
      } else if (saved_focus_ != nullptr && IsChild(window_, saved_focus_)) {
        SetFocus(saved_focus_);
        return 0;
      }
      break;
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(window_, &client);
      FillRect(FromWord<HDC>(wparam), &client, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      HDC dc = BeginPaint(window_, &paint);
      for (RECT frame : frames_) DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
      EndPaint(window_, &paint);
      return 0;
    }
    case WM_CLOSE:
      Report({DialogEvent::Kind::Close});
      return 0;
    case WM_DESTROY:
      destroyed_ = true;
      break;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

// The flat button never keeps the keyboard focus: a click gives it back
// to the control that had it.
LRESULT CALLBACK Win32DialogWindow::FlatButtonProc(HWND window, UINT message, WPARAM wparam,
                                                   LPARAM lparam) {
  auto* self = FromWord<Win32DialogWindow*>(GetWindowLongPtrW(GetParent(window), GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_SETFOCUS) {
    self->focus_before_flat_ = FromWord<HWND>(wparam);
  }
  const LRESULT result = CallWindowProcW(self->button_proc_, window, message, wparam, lparam);
  if (message == WM_LBUTTONUP && GetFocus() == window && self->focus_before_flat_ != nullptr &&
      IsWindow(self->focus_before_flat_)) {
    SetFocus(self->focus_before_flat_);
  }
  return result;
}

DialogEvent Win32DialogWindow::WaitForEvent() {
  while (events_.empty() && !destroyed_) {
    MSG message{};
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // WM_QUIT belongs to the host's own loop: hand it on and close.
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
      return {DialogEvent::Kind::Close};
    }
    // Enter and Escape are reported rather than left to the dialog manager,
    // which would turn them into commands of its own.
    const bool ours = message.hwnd == window_ || IsChild(window_, message.hwnd) != FALSE;
    if (ours && message.message == WM_KEYDOWN &&
        (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE)) {
      const Native* focus = FindByWindow(GetFocus());
      events_.push_back({DialogEvent::Kind::Key, focus != nullptr ? focus->id : kNoControl,
                         message.wParam == VK_RETURN ? DialogKey::Enter : DialogKey::Escape});
      continue;
    }
    if (!IsDialogMessageW(window_, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (destroyed_) return {DialogEvent::Kind::Close};
  const DialogEvent event = events_.front();
  events_.pop_front();
  return event;
}

}  // namespace

std::unique_ptr<DialogWindow> OpenDialogWindow(const std::string& caption, int client_width,
                                               int client_height) {
  if (!EnsureGuiDisplay()) return nullptr;
  auto window = std::make_unique<Win32DialogWindow>();
  if (!window->Open(caption, client_width, client_height)) return nullptr;
  return window;
}

}  // namespace zv::platform
