#include "platform/dialog_window.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui_display.h"
#include "platform/win32/dialog_ids.h"
#include "platform/win32/wide_text.h"

namespace zv::platform {
namespace {

constexpr wchar_t kClassName[] = L"ZvSettingsDialog";
constexpr int kNoClick = -2;
constexpr DWORD kFrameStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFrameExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;

// The module this code is linked into: the plugin's DLL, whose window class
// must go again when the DLL may be unloaded.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(
          &ThisModule),  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
      &module);
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

// The windows showing one control; `label` only for an edit.
struct Shown {
  ControlKind kind = ControlKind::Frame;
  HWND window = nullptr;
  HWND label = nullptr;
};

class Win32DialogWindow final : public DialogWindow {
 public:
  Win32DialogWindow() = default;
  ~Win32DialogWindow() override;
  Win32DialogWindow(const Win32DialogWindow&) = delete;
  Win32DialogWindow& operator=(const Win32DialogWindow&) = delete;
  Win32DialogWindow(Win32DialogWindow&&) = delete;
  Win32DialogWindow& operator=(Win32DialogWindow&&) = delete;

  // Creates and shows the window; false when it cannot be created.
  bool Open(const DialogTemplate& dialog);
  int WaitForClick(std::vector<DialogControl>& controls) override;
  void Update(const std::vector<DialogControl>& controls) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK FlatButtonProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  HWND CreateChild(const wchar_t* window_class, const std::string& text, DWORD style,
                   DWORD ex_style, int left, int top, int width, int height, int id);
  void Place(int width, int height);
  [[nodiscard]] int IndexOf(HWND control) const;

  HINSTANCE module_ = ThisModule();
  bool class_registered_ = false;
  HWND window_ = nullptr;
  HWND owner_ = nullptr;
  bool owner_disabled_ = false;
  HFONT font_ = nullptr;
  std::vector<Shown> shown_;  // one per control, in the template's order
  std::vector<RECT> frames_;  // frames, drawn by the window itself
  WNDPROC button_proc_ = nullptr;
  HWND focus_before_flat_ = nullptr;  // where a flat button gives the focus back
  HWND saved_focus_ = nullptr;        // focus while the window is inactive
  int clicked_ = kNoClick;
  bool destroyed_ = false;
};

bool Win32DialogWindow::Open(const DialogTemplate& dialog) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = module_;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  // The system colour index plus one stands for its brush.
  window_class.hbrBackground =
      reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);  // NOLINT(*-no-int-to-ptr,*-reinterpret-cast)
  window_class.lpszClassName = kClassName;
  class_registered_ = RegisterClassExW(&window_class) != 0;
  if (!class_registered_ && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  // The form's font: "MS Sans Serif", 11 pixels high, default character set.
  font_ = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
  owner_ = HostWindow();
  RECT frame = {0, 0, dialog.client_width, dialog.client_height};
  AdjustWindowRectEx(&frame, kFrameStyle, FALSE, kFrameExStyle);
  window_ = CreateWindowExW(kFrameExStyle, kClassName, WideFromWindows1251(dialog.caption).c_str(),
                            kFrameStyle, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                            owner_, nullptr, module_, this);
  if (window_ == nullptr) return false;
  // A fixed dialog: its system menu offers only Move and Close.
  if (HMENU menu = GetSystemMenu(window_, FALSE)) {
    for (const UINT item : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE}) {
      DeleteMenu(menu, item, MF_BYCOMMAND);
    }
  }

  // Children are created in the template's order, which is the order the
  // keyboard focus visits them.
  shown_.resize(dialog.controls.size());
  {
    for (std::size_t i = 0; i < dialog.controls.size(); ++i) {
      const DialogControl& c = dialog.controls[i];
      Shown& shown = shown_[i];
      shown.kind = c.kind;
      const int id = kFirstControlId + static_cast<int>(i);
      switch (c.kind) {
        case ControlKind::Frame:
          // Drawn on the window itself, beneath the controls (WM_PAINT).
          frames_.push_back({c.left, c.top, c.left + c.width, c.top + c.height});
          continue;
        case ControlKind::CheckBox:
          shown.window = CreateChild(L"BUTTON", c.text, BS_AUTOCHECKBOX | WS_TABSTOP, 0, c.left,
                                     c.top, c.width, c.height, id);
          break;
        case ControlKind::Edit: {
          // The label sizes itself to its text, as a Windows label does.
          int width = c.label_width;
          if (HDC dc = GetDC(window_)) {
            const HGDIOBJ old = SelectObject(dc, font_);
            const std::wstring label = WideFromWindows1251(c.label);
            SIZE size{};
            if (GetTextExtentPoint32W(dc, label.c_str(), static_cast<int>(label.size()), &size)) {
              width = std::max(width, static_cast<int>(size.cx));
            }
            SelectObject(dc, old);
            ReleaseDC(window_, dc);
          }
          shown.label = CreateChild(L"STATIC", c.label, SS_LEFT | SS_NOPREFIX, 0, c.label_left,
                                    c.label_top, width, c.label_height, -1);
          shown.window = CreateChild(L"EDIT", c.text, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                                     c.left, c.top, c.width, c.height, id);
          break;
        }
        case ControlKind::Button:
          shown.window = CreateChild(L"BUTTON", c.text, BS_PUSHBUTTON | WS_TABSTOP, 0, c.left,
                                     c.top, c.width, c.height, id);
          break;
        case ControlKind::FlatButton:
          shown.window = CreateChild(L"BUTTON", c.text, BS_PUSHBUTTON, 0, c.left, c.top, c.width,
                                     c.height, id);
          if (shown.window != nullptr) {
            // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
            button_proc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
                shown.window, GWLP_WNDPROC,
                reinterpret_cast<LONG_PTR>(FlatButtonProc)));  // NOLINT(*-reinterpret-cast)
          }
          break;
      }
      if (shown.window == nullptr) return false;
    }
  }
  Update(dialog.controls);
  Place(frame.right - frame.left, frame.bottom - frame.top);

  // Modal for the host: its window takes no input until this one is gone.
  if (owner_ != nullptr && IsWindowEnabled(owner_)) {
    EnableWindow(owner_, FALSE);
    owner_disabled_ = true;
  }
  ShowWindow(window_, SW_SHOWNORMAL);
  SetForegroundWindow(window_);
  if (HWND first = GetNextDlgTabItem(window_, nullptr, FALSE)) SetFocus(first);
  UpdateWindow(window_);
  return true;
}

HWND Win32DialogWindow::CreateChild(const wchar_t* window_class, const std::string& text,
                                    DWORD style, DWORD ex_style, int left, int top, int width,
                                    int height, int id) {
  HWND child = CreateWindowExW(ex_style, window_class, WideFromWindows1251(text).c_str(),
                               WS_CHILD | WS_VISIBLE | style, left, top, width, height, window_,
                               // A child window's "menu" is its ID.
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(
                                   id)),  // NOLINT(*-reinterpret-cast,*-no-int-to-ptr)
                               module_, nullptr);
  if (child != nullptr && font_ != nullptr) {
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_),
                 FALSE);  // NOLINT(*-reinterpret-cast)
  }
  return child;
}

// Centred over the host's window, else over the screen's work area; kept
// within the work area so that the caption can always be reached.
void Win32DialogWindow::Place(int width, int height) {
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  RECT over = area;
  if (owner_ != nullptr && IsWindowVisible(owner_) && !IsIconic(owner_)) {
    GetWindowRect(owner_, &over);
  }
  int x = over.left + (over.right - over.left - width) / 2;
  int y = over.top + (over.bottom - over.top - height) / 2;
  x = std::max(static_cast<int>(area.left), std::min(x, static_cast<int>(area.right) - width));
  y = std::max(static_cast<int>(area.top), std::min(y, static_cast<int>(area.bottom) - height));
  SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Win32DialogWindow::~Win32DialogWindow() {
  // The host's window is enabled before this one goes, so that it, and not
  // some other program's window, becomes active again.
  if (owner_disabled_) EnableWindow(owner_, TRUE);
  if (window_ != nullptr && !destroyed_) DestroyWindow(window_);
  if (font_ != nullptr) DeleteObject(font_);
  if (class_registered_) UnregisterClassW(kClassName, module_);
}

int Win32DialogWindow::IndexOf(HWND control) const {
  for (std::size_t i = 0; i < shown_.size(); ++i) {
    if (shown_[i].window == control) return static_cast<int>(i);
  }
  return -1;
}

LRESULT CALLBACK Win32DialogWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                               LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create =
        reinterpret_cast<const CREATESTRUCTW*>(lparam);  // NOLINT(*-reinterpret-cast)
    auto* self = static_cast<Win32DialogWindow*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(self));  // NOLINT(*-reinterpret-cast)
  }
  // NOLINTNEXTLINE(*-reinterpret-cast,*-no-int-to-ptr)
  auto* self = reinterpret_cast<Win32DialogWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT Win32DialogWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      // Enter and Escape reach here as IDOK and IDCANCEL (the dialog
      // manager's keys), which no control has: neither button answers them.
      const int index = LOWORD(wparam) - kFirstControlId;
      if (HIWORD(wparam) == BN_CLICKED && lparam != 0 && index >= 0 &&
          index < static_cast<int>(shown_.size()) &&
          shown_[static_cast<std::size_t>(index)].kind != ControlKind::Edit) {
        clicked_ = index;
        // A click sent from another thread arrives while GetMessage waits;
        // a posted message lets the loop see it.
        PostMessageW(window_, WM_NULL, 0, 0);
        if (shown_[static_cast<std::size_t>(index)].kind == ControlKind::FlatButton &&
            focus_before_flat_ != nullptr && IsWindow(focus_before_flat_)) {
          SetFocus(focus_before_flat_);
        }
      }
      return 0;
    }
    case DM_GETDEFID: {
      // A push button with the focus answers Enter, as in any dialog.
      const int index = IndexOf(GetFocus());
      if (index >= 0 && shown_[static_cast<std::size_t>(index)].kind == ControlKind::Button) {
        return MAKELRESULT(kFirstControlId + index, DC_HASDEFID);
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
      FillRect(reinterpret_cast<HDC>(wparam), &client,
               GetSysColorBrush(COLOR_BTNFACE));  // NOLINT(*-reinterpret-cast,*-no-int-to-ptr)
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
      clicked_ = kDialogClosed;
      PostMessageW(window_, WM_NULL, 0, 0);
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
  // NOLINTNEXTLINE(*-reinterpret-cast,*-no-int-to-ptr)
  auto* self =
      reinterpret_cast<Win32DialogWindow*>(GetWindowLongPtrW(GetParent(window), GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_SETFOCUS) {
    self->focus_before_flat_ =
        reinterpret_cast<HWND>(wparam);  // NOLINT(*-reinterpret-cast,*-no-int-to-ptr)
  }
  const LRESULT result = CallWindowProcW(self->button_proc_, window, message, wparam, lparam);
  if (message == WM_LBUTTONUP && GetFocus() == window && self->focus_before_flat_ != nullptr &&
      IsWindow(self->focus_before_flat_)) {
    SetFocus(self->focus_before_flat_);
  }
  return result;
}

int Win32DialogWindow::WaitForClick(std::vector<DialogControl>& controls) {
  clicked_ = kNoClick;
  while (clicked_ == kNoClick && !destroyed_) {
    MSG message{};
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // WM_QUIT belongs to the host's own loop: hand it on and close.
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
      clicked_ = kDialogClosed;
      break;
    }
    if (!IsDialogMessageW(window_, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (destroyed_) clicked_ = kDialogClosed;
  for (std::size_t i = 0; i < controls.size() && i < shown_.size() && !destroyed_; ++i) {
    const Shown& shown = shown_[i];
    if (shown.kind == ControlKind::CheckBox) {
      controls[i].checked = SendMessageW(shown.window, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    if (shown.kind == ControlKind::Edit) {
      auto text = Windows1251FromWide(WindowText(shown.window));
      controls[i].text_fits = text.has_value();
      if (text) controls[i].text = std::move(*text);
    }
  }
  return clicked_;
}

void Win32DialogWindow::Update(const std::vector<DialogControl>& controls) {
  for (std::size_t i = 0; i < controls.size() && i < shown_.size() && !destroyed_; ++i) {
    const DialogControl& control = controls[i];
    const Shown& shown = shown_[i];
    if (shown.kind == ControlKind::Frame) continue;
    // A control about to be disabled hands the focus on, or the keyboard
    // would be left with nowhere to go.
    if (!control.enabled && GetFocus() == shown.window) {
      SetFocus(GetNextDlgTabItem(window_, shown.window, FALSE));
    }
    EnableWindow(shown.window, control.enabled ? TRUE : FALSE);
    // The label greys with its edit, as a labelled edit's does.
    if (shown.label != nullptr) EnableWindow(shown.label, control.enabled ? TRUE : FALSE);
    if (shown.kind == ControlKind::CheckBox) {
      SendMessageW(shown.window, BM_SETCHECK, control.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    if (shown.kind == ControlKind::Edit && control.text_fits) {
      // Only a changed text is put back, so the caret stays where it was.
      const std::wstring text = WideFromWindows1251(control.text);
      if (WindowText(shown.window) != text) SetWindowTextW(shown.window, text.c_str());
    }
  }
}

}  // namespace

std::unique_ptr<DialogWindow> OpenDialogWindow(const DialogTemplate& dialog) {
  if (!EnsureGuiDisplay()) return nullptr;
  auto window = std::make_unique<Win32DialogWindow>();
  if (!window->Open(dialog)) return nullptr;
  return window;
}

}  // namespace zv::platform
