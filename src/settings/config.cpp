#include "settings/config.h"

#include "platform/exception.h"
#include "readings/monitor_memory.h"
#include "settings/SettingsUnit.h"
#include "settings/settings_store.h"
#include "state/module_state.h"

namespace zv::settings {

std::int32_t Config() {
  // The form lives for this call only and goes also when a step raises.
  ModuleState& state = State();
  TfrmZVSettings form;
  form.cbRunZV.Checked = state.TryToRun;
  form.edPathZV.Text = state.MonitorPath;
  form.cbRunZVClick();  // the path's controls follow the box, as after a click
  if (form.ShowModal() == mrOk) {
    // A path the settings cannot hold is refused before anything changes,
    // rather than saved with its characters replaced.
    if (!form.edPathZV.TextFits) {
      throw Exception(
          "The path holds characters that Windows-1251 cannot represent; the settings were not "
          "changed");
    }
    state.TryToRun = form.cbRunZV.Checked;
    state.MonitorPath = form.edPathZV.Text;
    if (state.TryToRun) {
      // Connects at once so that Check answers without waiting for a
      // reading; nothing is launched from here.
      readings::MapMonitorMemory(readings::CheckPace::kNow);
    }
    SaveSettings();
  }
  return 0;
}

}  // namespace zv::settings
