#include "platform/dialog_window.h"

#include <windows.h>

#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

#include "platform/gui_display.h"
#include "platform/win32/wide_text.h"

// The module this code is linked into (the plugin's DLL), as the linker
// names its image.
extern "C" IMAGE_DOS_HEADER __ImageBase;  // NOLINT(bugprone-reserved-identifier)

namespace zv::platform {
namespace {

using Kind = DialogControl::Kind;

// The Win32 API carries handles, pointers and small numbers in its
// pointer-sized words (message parameters, window data).
template <typename To, typename From>
To Cast(From from) {
  return reinterpret_cast<To>(from);  // NOLINT(*-reinterpret-cast,performance-no-int-to-ptr)
}

// The host's main window: the calling thread's active window, else the
// foreground window when it belongs to this process; as its top level.
HWND HostWindow() {
  HWND window = GetActiveWindow();
  DWORD process = 0;
  if (window == nullptr && GetWindowThreadProcessId(GetForegroundWindow(), &process) != 0 &&
      process == GetCurrentProcessId()) {
    window = GetForegroundWindow();
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

// Each kind's item in the template, in the order of the kinds: its class's
// atom (0x80 button, 0x81 edit, 0x82 static) and styles. The check box and
// push buttons tell when they take the focus (BS_NOTIFY); the flat button
// is no tab stop.
struct Item {
  WORD atom;
  DWORD style, ex_style;
};
constexpr Item kItems[] = {{0x82, SS_ETCHEDFRAME, 0},
                           {0x82, SS_LEFT | SS_NOPREFIX, 0},
                           {0x80, BS_AUTOCHECKBOX | BS_NOTIFY | WS_TABSTOP, 0},
                           {0x81, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE},
                           {0x80, BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP, 0},
                           {0x80, BS_PUSHBUTTON, 0}};
static_assert(std::size(kItems) == static_cast<std::size_t>(Kind::FlatButton) + 1);

// The form as an in-memory DLGTEMPLATEEX, in the form's font ("MS Sans
// Serif" of 8 points: 11 pixels high at 96 dots per inch) and tab order.
// Dialog units cannot say the form's pixels, so every item starts with no
// size and WM_INITDIALOG puts it in place. Items start on a DWORD.
std::vector<WORD> TemplateOf(const DialogForm& form) {
  std::vector<WORD> words;
  const auto word = [&](auto value) { words.push_back(static_cast<WORD>(value)); };
  const auto dword = [&](DWORD value) { word(LOWORD(value)), word(HIWORD(value)); };
  const auto text = [&](const std::string& value) {
    const std::wstring wide = WideFromWindows1251(value);
    words.insert(words.end(), wide.begin(), wide.end());
    word(0);
  };
  word(1), word(0xFFFF), dword(0), dword(0);
  dword(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU);
  word(form.controls.size()), dword(0), dword(0), word(0), word(0);  // place, menu, class
  text(form.caption);
  word(8), word(FW_NORMAL), word(MAKEWORD(FALSE, DEFAULT_CHARSET)), text("MS Sans Serif");
  for (std::size_t id = 0; id < form.controls.size(); ++id) {
    if (words.size() % 2 != 0) word(0);
    const Item& item = kItems[static_cast<std::size_t>(form.controls[id].kind)];
    dword(0), dword(item.ex_style), dword(WS_CHILD | WS_VISIBLE | item.style);
    dword(0), dword(0), dword(kFirstControlId + id), word(0xFFFF), word(item.atom);
    text(form.controls[id].text), word(0);
  }
  return words;
}

// The running dialog.
struct Dialog {
  DialogForm& form;
  const DialogHandler& handle;
  HWND owner = HostWindow();
  HWND window = nullptr;
  HWND focus = nullptr;  // where the flat button gives the keyboard focus back
  bool done = false;
};

// Takes the user's ticks and texts into the form (`take`), or shows the
// form's state. An edit's text is put back only when it differs from what
// the edit shows, so that the caret stays where it was.
void Sync(Dialog& dialog, bool take) {
  for (std::size_t id = 0; id < dialog.form.controls.size(); ++id) {
    DialogControl& control = dialog.form.controls[id];
    HWND child = GetDlgItem(dialog.window, static_cast<int>(kFirstControlId + id));
    const std::optional<std::string> text = Windows1251FromWide(WindowText(child));
    if (take && control.kind == Kind::CheckBox) {
      control.checked = SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
    } else if (take && control.kind == Kind::Edit) {
      control.text_fits = text.has_value();
      control.text = text.value_or(control.text);
    }
    if (take) continue;
    // A control about to be disabled hands the focus on, or the keyboard
    // would be left with nowhere to go.
    if (!control.enabled && GetFocus() == child) SendMessageW(dialog.window, WM_NEXTDLGCTL, 0, 0);
    EnableWindow(child, control.enabled ? TRUE : FALSE);
    if (control.kind == Kind::CheckBox) {
      SendMessageW(child, BM_SETCHECK, control.checked ? BST_CHECKED : BST_UNCHECKED, 0);
    } else if (control.kind == Kind::Edit && control.text_fits && text != control.text) {
      SetWindowTextW(child, WideFromWindows1251(control.text).c_str());
    }
  }
}

// Shows the form's state in front, also when the host has no active window
// of its own, or ends the dialog when the handler said so.
void Show(Dialog& dialog) {
  Sync(dialog, false);
  SetForegroundWindow(dialog.window);
  if (dialog.done) EndDialog(dialog.window, IDOK);
}

// Hands the event to the handler with the user's ticks and texts, and
// shows, or ends, what it answers.
void Report(Dialog& dialog, const DialogEvent& event) {
  Sync(dialog, true);
  dialog.done = dialog.handle(event, dialog.form);
  Show(dialog);
}

// Measures the texts, lets the handler place the form, and puts the window
// and its controls in their pixel places.
void Open(Dialog& dialog) {
  DialogForm& form = dialog.form;
  HDC dc = GetDC(dialog.window);
  const HGDIOBJ font =
      SelectObject(dc, Cast<HGDIOBJ>(SendMessageW(dialog.window, WM_GETFONT, 0, 0)));
  for (DialogControl& control : form.controls) {
    const std::wstring wide = WideFromWindows1251(control.text);
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    control.text_width = static_cast<int>(size.cx);
  }
  SelectObject(dc, font);
  ReleaseDC(dialog.window, dc);
  DialogEvent open{DialogEvent::Kind::Open};
  RECT frame{0, 0, form.client_width, form.client_height};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(dialog.window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(dialog.window, GWL_EXSTYLE)));
  open.width = static_cast<int>(frame.right - frame.left);
  open.height = static_cast<int>(frame.bottom - frame.top);
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  open.work_area = PixelRectOf(area);
  if (dialog.owner != nullptr && IsWindowVisible(dialog.owner) && !IsIconic(dialog.owner) &&
      GetWindowRect(dialog.owner, &area)) {
    open.host = PixelRectOf(area);
  }
  dialog.done = dialog.handle(open, form);
  SetWindowPos(dialog.window, nullptr, form.left, form.top, open.width, open.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  for (std::size_t id = 0; id < form.controls.size(); ++id) {
    const auto [x, y, w, h] = form.controls[id].place;
    SetWindowPos(GetDlgItem(dialog.window, static_cast<int>(kFirstControlId + id)), nullptr, x, y,
                 w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // A fixed dialog: its system menu offers only Move and Close.
  HMENU menu = GetSystemMenu(dialog.window, FALSE);
  for (const UINT item : {SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE}) {
    DeleteMenu(menu, item, MF_BYCOMMAND);
  }
  Show(dialog);
}

// The dialog manager runs the modal loop, the tab order and the keyboard
// interface; Enter and Escape come as its IDOK and IDCANCEL, which belong
// to no control, and are reported as keys with the control that has the
// focus.
INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lparam);
    Cast<Dialog*>(lparam)->window = window;
    Open(*Cast<Dialog*>(lparam));
    return TRUE;  // the focus on the first tab stop
  }
  auto* dialog = Cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (dialog == nullptr || dialog->done || (message != WM_COMMAND && message != WM_CLOSE)) {
    return FALSE;
  }
  const auto count = static_cast<int>(dialog->form.controls.size());
  const int id = LOWORD(wparam) - kFirstControlId;
  const int focused = GetDlgCtrlID(GetFocus()) - kFirstControlId;
  const Kind kind = id >= 0 && id < count ? dialog->form.controls[static_cast<std::size_t>(id)].kind
                                          : Kind::Frame;
  if (message == WM_CLOSE) {
    Report(*dialog, {DialogEvent::Kind::Close});
  } else if (lparam == 0 && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    const bool ours = IsChild(window, GetFocus()) && focused >= 0 && focused < count;
    Report(*dialog, {LOWORD(wparam) == IDOK ? DialogEvent::Kind::Enter : DialogEvent::Kind::Escape,
                     ours ? focused : kNoControl});
  } else if (HIWORD(wparam) == BN_SETFOCUS || HIWORD(wparam) == EN_SETFOCUS) {
    if (kind != Kind::FlatButton) dialog->focus = Cast<HWND>(lparam);
  } else if (HIWORD(wparam) == BN_CLICKED && kind != Kind::Frame && kind != Kind::Label) {
    // The flat button never keeps the keyboard focus that a click gave it.
    if (kind == Kind::FlatButton && IsWindow(dialog->focus)) SetFocus(dialog->focus);
    Report(*dialog, {DialogEvent::Kind::Click, id});
  }
  return TRUE;
}

}  // namespace

bool RunDialog(DialogForm& form, const DialogHandler& handle) {
  if (!EnsureGuiDisplay()) return false;
  const std::vector<WORD> words = TemplateOf(form);
  Dialog dialog{form, handle};
  DialogBoxIndirectParamW(Cast<HINSTANCE>(&__ImageBase), Cast<const DLGTEMPLATE*>(words.data()),
                          dialog.owner, DialogProc, Cast<LPARAM>(&dialog));
  if (dialog.window == nullptr) return false;
  // The window went away without an answer (WM_QUIT, which the dialog
  // manager hands on to the host's own loop).
  if (!dialog.done) dialog.handle({DialogEvent::Kind::Close}, form);
  return true;
}

}  // namespace zv::platform
