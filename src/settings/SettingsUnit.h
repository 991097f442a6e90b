// SettingsUnit: the settings dialog's form TfrmZVSettings, its components
// and its event handlers. The form holds the components' state and decides
// everything the dialog does: the enabling rules, the label's size, the
// keys, the window's place. The toolkit (platform/dialog_window.h) only
// shows the form as described and reports what the user did.
#pragma once

#include <optional>
#include <string>

#include "platform/dialog_window.h"

namespace zv::settings {

// What a modal form answers.
enum TModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

// A component's place in the form's client area, in pixels at 96 dots per
// inch, and whether it takes input.
struct TControl {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool Enabled = true;
};

struct TBevel : TControl {};

struct TCheckBox : TControl {
  std::string Caption;
  bool Checked = false;
};

// The label that a labelled edit keeps above itself.
struct TBoundLabel : TControl {
  std::string Caption;
};

struct TLabeledEdit : TControl {
  std::string Text;
  TBoundLabel EditLabel;
  // False while the user's text holds characters that Windows-1251 cannot
  // represent; Text then keeps the last text that could.
  bool TextFits = true;
};

// A button that never takes the keyboard focus.
struct TSpeedButton : TControl {
  std::string Caption;
};

struct TButton : TControl {
  std::string Caption;
  TModalResult ModalResult = mrNone;
};

// The file picker. Texts are Windows-1251.
struct TOpenDialog {
  // The filter: description|pattern pairs.
  std::string DefaultExt, Filter, FileName;

  // Runs the picker; on confirmation FileName holds the chosen name and the
  // answer is true.
  bool Execute();
};

// The settings dialog. All texts are Windows-1251. Components are declared
// in tab order (the bevel and the speed button take no focus).
class TfrmZVSettings {
 public:
  // Creates the form with its design-time layout and texts; shows nothing.
  TfrmZVSettings();

  std::string Caption;
  int Left, Top;  // the window's place on the screen, set when it is shown
  int ClientWidth, ClientHeight;

  TBevel Bevel1;
  TCheckBox cbRunZV;
  TLabeledEdit edPathZV;
  TSpeedButton SpeedButton1;
  TButton Button1;
  TButton Button2;
  TOpenDialog OpenDialog1;

  // The path's edit and browse button are usable only while launching is on.
  void cbRunZVClick();
  // Browses for the executable; an existing file picked goes into the edit.
  void SpeedButton1Click();

  // Shows the form modally until a button with a modal result or the close
  // box is clicked, and returns mrOk or mrCancel. Raises Exception when no
  // window can be shown.
  TModalResult ShowModal();
  // The same, shown by `run` (platform::RunDialog, or a stand-in).
  TModalResult ShowModal(const platform::DialogRunner& run);
};

// Where a window of `width` x `height` goes: centred over `host` (else over
// `work_area`), then moved into `work_area` so that its caption can always
// be reached; a window larger than the work area keeps its top-left corner
// there.
platform::PixelRect PlaceDialog(const std::optional<platform::PixelRect>& host,
                                const platform::PixelRect& work_area, int width, int height);

}  // namespace zv::settings
