#include "settings/SettingsUnit.h"

#include <algorithm>
#include <utility>

#include "platform/exception.h"
#include "platform/file_exists.h"
#include "platform/open_file_dialog.h"

namespace zv::settings {
namespace {

using platform::ControlKind;
using platform::DialogEvent;
using platform::DialogWindow;

// The ids by which the form addresses its controls in the window.
enum ControlId : int { kBevel1, kRunZV, kPathZV, kSpeedButton1, kButton1, kButton2, kPathLabel };

const char* const kNoWindow = "Cannot show the settings dialog: no display is available";

platform::PixelRect PlaceOf(const TControl& c) { return {c.Left, c.Top, c.Width, c.Height}; }

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
  const auto window = platform::OpenDialogWindow(Caption, ClientWidth, ClientHeight);
  if (!window) {
    throw Exception(kNoWindow);
  }
  return ShowModal(*window);
}

TModalResult TfrmZVSettings::ShowModal(DialogWindow& window) {
  // The label sizes itself to its text, as a Windows label does: the design
  // width fits the Windows dialog font, which may be narrower than the
  // window's.
  TBoundLabel& label = edPathZV.EditLabel;
  label.Width = std::max(label.Width, window.TextWidth(label.Caption));
  // Declaration order is tab order; the label goes just before its edit.
  const bool created =
      window.Add(kBevel1, ControlKind::Frame, PlaceOf(Bevel1), {}) &&
      window.Add(kRunZV, ControlKind::CheckBox, PlaceOf(cbRunZV), cbRunZV.Caption) &&
      window.Add(kPathLabel, ControlKind::Label, PlaceOf(label), label.Caption) &&
      window.Add(kPathZV, ControlKind::Edit, PlaceOf(edPathZV), edPathZV.Text) &&
      window.Add(kSpeedButton1, ControlKind::FlatButton, PlaceOf(SpeedButton1),
                 SpeedButton1.Caption) &&
      window.Add(kButton1, ControlKind::Button, PlaceOf(Button1), Button1.Caption) &&
      window.Add(kButton2, ControlKind::Button, PlaceOf(Button2), Button2.Caption);
  if (!created) {
    throw Exception(kNoWindow);
  }

  // Shows the components' state. The edit's text is put back only when it
  // differs from what the edit shows, so that the caret stays where it was;
  // a text the settings cannot hold stays as the user typed it.
  const auto present = [&] {
    window.SetEnabled(kBevel1, Bevel1.Enabled);
    window.SetEnabled(kRunZV, cbRunZV.Enabled);
    window.SetChecked(kRunZV, cbRunZV.Checked);
    // The label greys with its edit, as a labelled edit's does.
    window.SetEnabled(kPathLabel, edPathZV.Enabled);
    window.SetEnabled(kPathZV, edPathZV.Enabled);
    if (edPathZV.TextFits && window.Text(kPathZV) != edPathZV.Text) {
      window.SetText(kPathZV, edPathZV.Text);
    }
    window.SetEnabled(kSpeedButton1, SpeedButton1.Enabled);
    window.SetEnabled(kButton1, Button1.Enabled);
    window.SetEnabled(kButton2, Button2.Enabled);
  };
  present();
  const platform::DialogSurroundings around = window.Surroundings();
  const platform::PixelRect place =
      PlaceDialog(around.host, around.work_area, around.width, around.height);
  window.Move(place.left, place.top);
  window.Show();

  TModalResult result = mrNone;
  while (result == mrNone) {
    const DialogEvent event = window.WaitForEvent();
    int clicked = event.kind == DialogEvent::Kind::Click ? event.control : platform::kNoControl;
    // Enter clicks the push button that has the focus; otherwise neither
    // Enter nor Escape does anything, as neither button is the default or
    // the cancel button.
    if (event.kind == DialogEvent::Kind::Key && event.key == platform::DialogKey::Enter &&
        (event.control == kButton1 || event.control == kButton2)) {
      clicked = event.control;
    }
    if (event.kind == DialogEvent::Kind::Close) {
      result = mrCancel;
    }
    if (clicked == platform::kNoControl) {
      continue;
    }
    // The user's ticks and text first, then the click's handler.
    cbRunZV.Checked = window.Checked(kRunZV);
    auto text = window.Text(kPathZV);
    edPathZV.TextFits = text.has_value();
    if (text) {
      edPathZV.Text = std::move(*text);
    }
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
      default:
        break;
    }
    if (result == mrNone) {
      present();
    }
  }
  return result;
}

}  // namespace zv::settings
