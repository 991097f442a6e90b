#include "settings/SettingsUnit.h"

#include <vector>

#include "platform/dialog_window.h"
#include "platform/exception.h"
#include "platform/file_exists.h"
#include "platform/open_file_dialog.h"

namespace zv::settings {
namespace {

using platform::ControlKind;
using platform::DialogControl;

// The window's controls, one per visible component in declaration order.
enum ControlIndex : int { kBevel1, kRunZV, kPathZV, kSpeedButton1, kButton1, kButton2 };

DialogControl Place(ControlKind kind, const TControl& c, std::string text) {
  DialogControl control;
  control.kind = kind;
  control.left = c.Left, control.top = c.Top, control.width = c.Width, control.height = c.Height;
  control.enabled = c.Enabled;
  control.text = std::move(text);
  return control;
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
  auto chosen = platform::RunOpenFileDialog({DefaultExt, Filter, FileName, InitialDir});
  if (chosen) {
    FileName = std::move(*chosen);
  }
  return chosen.has_value();
}

TModalResult TfrmZVSettings::ShowModal() {
  // The window shows a copy of the components; after every click the form
  // takes the user's changes back, runs the handler and shows the result.
  const auto controls = [this] {
    std::vector<DialogControl> list = {
        Place(ControlKind::Frame, Bevel1, {}),
        Place(ControlKind::CheckBox, cbRunZV, cbRunZV.Caption),
        Place(ControlKind::Edit, edPathZV, edPathZV.Text),
        Place(ControlKind::FlatButton, SpeedButton1, SpeedButton1.Caption),
        Place(ControlKind::Button, Button1, Button1.Caption),
        Place(ControlKind::Button, Button2, Button2.Caption),
    };
    list[kRunZV].checked = cbRunZV.Checked;
    DialogControl& edit = list[kPathZV];
    edit.text_fits = edPathZV.TextFits;
    const TBoundLabel& label = edPathZV.EditLabel;
    edit.label = label.Caption;
    edit.label_left = label.Left, edit.label_top = label.Top;
    edit.label_width = label.Width, edit.label_height = label.Height;
    return list;
  };
  std::vector<DialogControl> shown = controls();
  const auto window = platform::OpenDialogWindow({Caption, ClientWidth, ClientHeight, shown});
  if (!window) {
    throw Exception("Cannot show the settings dialog: no display is available");
  }
  TModalResult result = mrNone;
  while (result == mrNone) {
    const int clicked = window->WaitForClick(shown);
    cbRunZV.Checked = shown[kRunZV].checked;
    edPathZV.Text = shown[kPathZV].text;
    edPathZV.TextFits = shown[kPathZV].text_fits;
    switch (clicked) {
      case kRunZV:
        cbRunZVClick();
        break;
      case kSpeedButton1:
        SpeedButton1Click();
        break;
      case kButton1:
        result = Button1.ModalResult;
        break;
      case kButton2:
        result = Button2.ModalResult;
        break;
      case platform::kDialogClosed:
        result = mrCancel;
        break;
      default:
        break;
    }
    shown = controls();
    window->Update(shown);
  }
  return result;
}

}  // namespace zv::settings
