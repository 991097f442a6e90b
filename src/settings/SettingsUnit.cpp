#include "settings/SettingsUnit.h"

#include <algorithm>
#include <utility>

#include "platform/exception.h"
#include "platform/file_exists.h"
#include "platform/open_file_dialog.h"

namespace zv::settings {
namespace {

using platform::DialogEvent;
using platform::DialogForm;
using Kind = platform::DialogControl::Kind;

// The ids of the form's controls in the described form: tab order, with
// the label just before its edit.
enum ControlId : int { kBevel1, kRunZV, kPathLabel, kPathZV, kSpeedButton1, kButton1, kButton2 };

const char* const kNoWindow = "Cannot show the settings dialog: no display is available";

// The form as the toolkit is to show it. A text the settings cannot hold is
// not put back: the edit keeps it as the user typed it.
DialogForm Describe(const TfrmZVSettings& f) {
  const auto control = [](Kind kind, const TControl& c, const std::string& text, bool enabled) {
    return platform::DialogControl{kind, {c.Left, c.Top, c.Width, c.Height}, text, enabled};
  };
  const TBoundLabel& label = f.edPathZV.EditLabel;
  DialogForm form{f.Caption, f.ClientWidth, f.ClientHeight};
  form.controls = {
      control(Kind::Frame, f.Bevel1, {}, f.Bevel1.Enabled),
      control(Kind::CheckBox, f.cbRunZV, f.cbRunZV.Caption, f.cbRunZV.Enabled),
      // The label greys with its edit, as a labelled edit's does.
      control(Kind::Label, label, label.Caption, f.edPathZV.Enabled),
      control(Kind::Edit, f.edPathZV, f.edPathZV.Text, f.edPathZV.Enabled),
      control(Kind::FlatButton, f.SpeedButton1, f.SpeedButton1.Caption, f.SpeedButton1.Enabled),
      control(Kind::Button, f.Button1, f.Button1.Caption, f.Button1.Enabled),
      control(Kind::Button, f.Button2, f.Button2.Caption, f.Button2.Enabled)};
  form.left = f.Left, form.top = f.Top;
  form.controls[kRunZV].checked = f.cbRunZV.Checked;
  form.controls[kPathZV].text_fits = f.edPathZV.TextFits;
  return form;
}

}  // namespace

TfrmZVSettings::TfrmZVSettings()
    : Caption("Zelvane settings..."), Left(402), Top(203), ClientWidth(329), ClientHeight(129) {
  Bevel1 = {{8, 8, 313, 113}};
  // "Пробовать запустить Zelvane"
  cbRunZV = {{16, 16, 297, 17},
             "\xCF\xF0\xEE\xE1\xEE\xE2\xE0\xF2\xFC \xE7\xE0\xEF\xF3\xF1\xF2\xE8\xF2\xFC Zelvane"};
  edPathZV.Left = 16, edPathZV.Top = 56, edPathZV.Width = 265, edPathZV.Height = 21;
  // "Путь к файлу zelvane.exe", 3 pixels above the edit.
  edPathZV.EditLabel = {{16, 40, 134, 13},
                        "\xCF\xF3\xF2\xFC \xEA \xF4\xE0\xE9\xEB\xF3 zelvane.exe"};
  SpeedButton1 = {{288, 56, 23, 22}, "..."};
  Button1 = {{152, 88, 75, 25}, "\xCE\xEA", mrOk};                          // "Ок"
  Button2 = {{236, 88, 75, 25}, "\xC7\xE0\xEA\xF0\xFB\xF2\xFC", mrCancel};  // "Закрыть"
  OpenDialog1.DefaultExt = ".exe";
  OpenDialog1.Filter = "\xD4\xE0\xE9\xEB\xFB *.exe|*.exe";  // "Файлы *.exe"
}

void TfrmZVSettings::cbRunZVClick() {
  edPathZV.Enabled = cbRunZV.Checked;
  SpeedButton1.Enabled = cbRunZV.Checked;
}

void TfrmZVSettings::SpeedButton1Click() {
  if (OpenDialog1.Execute() && platform::FileExists(OpenDialog1.FileName)) {
    edPathZV.Text = OpenDialog1.FileName;
    edPathZV.TextFits = true;
  }
}

bool TOpenDialog::Execute() {
  auto chosen = platform::RunOpenFileDialog({DefaultExt, Filter, FileName});
  if (chosen) {
    FileName = std::move(*chosen);
  }
  return chosen.has_value();
}

platform::PixelRect PlaceDialog(const std::optional<platform::PixelRect>& host,
                                const platform::PixelRect& work_area, int width, int height) {
  const platform::PixelRect& over = host ? *host : work_area;
  int left = over.left + (over.width - width) / 2;
  int top = over.top + (over.height - height) / 2;
  // Right and bottom edges first, so that a window too large for the work
  // area ends up with its top-left corner (and its caption) on it.
  left = std::max(work_area.left, std::min(left, work_area.left + work_area.width - width));
  top = std::max(work_area.top, std::min(top, work_area.top + work_area.height - height));
  return {left, top, width, height};
}

TModalResult TfrmZVSettings::ShowModal() { return ShowModal(platform::RunDialog); }

TModalResult TfrmZVSettings::ShowModal(const platform::DialogRunner& run) {
  TModalResult result = mrNone;
  const auto handle = [&](const DialogEvent& event, DialogForm& shown) {
    if (event.kind == DialogEvent::Kind::Open) {
      // The label sizes itself to its text, as a Windows label does: the
      // design width fits the Windows dialog font, which may be narrower
      // than the window's.
      TBoundLabel& label = edPathZV.EditLabel;
      label.Width = std::max(label.Width, shown.controls[kPathLabel].text_width);
      const auto place = PlaceDialog(event.host, event.work_area, event.width, event.height);
      Left = place.left, Top = place.top;
    }
    // The user's ticks and text first, then what the event means.
    cbRunZV.Checked = shown.controls[kRunZV].checked;
    edPathZV.TextFits = shown.controls[kPathZV].text_fits;
    if (edPathZV.TextFits) edPathZV.Text = shown.controls[kPathZV].text;
    int clicked = event.kind == DialogEvent::Kind::Click ? event.control : platform::kNoControl;
    // Enter clicks the push button that has the focus; otherwise neither
    // Enter nor Escape does anything, as neither button is the default or
    // the cancel button.
    if (event.kind == DialogEvent::Kind::Enter &&
        (event.control == kButton1 || event.control == kButton2)) {
      clicked = event.control;
    }
    if (event.kind == DialogEvent::Kind::Close) result = mrCancel;
    if (clicked == kRunZV) cbRunZVClick();
    if (clicked == kSpeedButton1) SpeedButton1Click();
    if (clicked == kButton1) result = Button1.ModalResult;
    if (clicked == kButton2) result = Button2.ModalResult;
    shown = Describe(*this);
    return result != mrNone;
  };
  DialogForm form = Describe(*this);
  if (!run(form, handle)) throw Exception(kNoWindow);
  return result == mrNone ? mrCancel : result;
}

}  // namespace zv::settings
