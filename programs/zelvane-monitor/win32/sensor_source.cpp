// Windows has no common sensor library the monitor could use (each board
// maker ships its own), so zelvane-monitor publishes simulated or fixed
// readings there.
#include "zelvane-monitor/hardware_sensors.h"

namespace zv::monitor {

std::unique_ptr<SensorSource> OpenSensorSource(std::string& why_not) {
  why_not = "reading the machine's sensors is not available on Windows";
  return nullptr;
}

}  // namespace zv::monitor
