#include "settings/SettingsUnit.h"

#include <algorithm>
#include <cstddef>
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

// Puts the components' state into the described form. A text the settings
// cannot hold is not put back, so the edit keeps it as the user typed it.
void Present(const TfrmZVSettings& f, DialogForm& form) {
  // The label greys with its edit, as a labelled edit's does.
  const TControl* const components[] = {&f.Bevel1,       &f.cbRunZV, &f.edPathZV, &f.edPathZV,
                                        &f.SpeedButton1, &f.Button1, &f.Button2};
  for (std::size_t id = 0; id < form.controls.size(); ++id) {
    form.controls[id].enabled = components[id]->Enabled;
  }
  form.controls[kRunZV].checked = f.cbRunZV.Checked;
  form.controls[kPathZV].text_fits = f.edPathZV.TextFits;
  if (f.edPathZV.TextFits) form.controls[kPathZV].text = f.edPathZV.Text;
}

DialogForm Describe(const TfrmZVSettings& f) {
  const auto control = [](Kind kind, const TControl& c, const std::string& text) {
    return platform::DialogControl{kind, {c.Left, c.Top, c.Width, c.Height}, text};
  };
  const TBoundLabel& label = f.edPathZV.EditLabel;
  DialogForm form{f.Caption, f.ClientWidth, f.ClientHeight};
  form.controls = {control(Kind::Frame, f.Bevel1, {}),
                   control(Kind::CheckBox, f.cbRunZV, f.cbRunZV.Caption),
                   control(Kind::Label, label, label.Caption),
                   control(Kind::Edit, f.edPathZV, f.edPathZV.Text),
                   control(Kind::FlatButton, f.SpeedButton1, f.SpeedButton1.Caption),
                   control(Kind::Button, f.Button1, f.Button1.Caption),
                   control(Kind::Button, f.Button2, f.Button2.Caption)};
  Present(f, form);
  return form;
}

// Sizes the label and places the window before it is shown.
void Open(TfrmZVSettings& f, const DialogEvent& event, DialogForm& form) {
  // The label sizes itself to its text, as a Windows label does: the design
  // width fits the Windows dialog font, which may be narrower than the
  // window's.
  TBoundLabel& label = f.edPathZV.EditLabel;
  label.Width = std::max(label.Width, form.controls[kPathLabel].text_width);
  form.controls[kPathLabel].place.width = label.Width;
  const platform::PixelRect place =
      PlaceDialog(event.host, event.work_area, event.width, event.height);
  form.left = place.left;
  form.top = place.top;
}

}  // namespace

TfrmZVSettings::TfrmZVSettings()
    : Caption("Zelvane settings..."), ClientWidth(329), ClientHeight(129) {
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

TModalResult TfrmZVSettings::ShowModal() {
  return ShowModal(platform::RunDialog);
}

TModalResult TfrmZVSettings::ShowModal(const platform::DialogRunner& run) {
  DialogForm form = Describe(*this);
  TModalResult result = mrNone;
  const auto handle = [&](const DialogEvent& event, DialogForm& shown) {
    if (event.kind == DialogEvent::Kind::Open) {
      Open(*this, event, shown);
      return false;
    }
    // The user's ticks and text first, then what the event means.
    cbRunZV.Checked = shown.controls[kRunZV].checked;
    edPathZV.TextFits = shown.controls[kPathZV].text_fits;
    if (edPathZV.TextFits) edPathZV.Text = shown.controls[kPathZV].text;
    int clicked = event.kind == DialogEvent::Kind::Click ? event.control : platform::kNoControl;
    // Enter clicks the push button that has the focus; otherwise neither
    // Enter nor Escape does anything, as neither button is the default or
    // the cancel button.
    if (event.kind == DialogEvent::Kind::Key && event.key == platform::DialogKey::Enter &&
        (event.control == kButton1 || event.control == kButton2)) {
      clicked = event.control;
    }
    if (event.kind == DialogEvent::Kind::Close) result = mrCancel;
    if (clicked == kRunZV) cbRunZVClick();
    if (clicked == kSpeedButton1) SpeedButton1Click();
    if (clicked == kButton1) result = Button1.ModalResult;
    if (clicked == kButton2) result = Button2.ModalResult;
    Present(*this, shown);
    return result != mrNone;
  };
  if (!run(form, handle)) throw Exception(kNoWindow);
  return result == mrNone ? mrCancel : result;
}

}  // namespace zv::settings
