// The machine's sensors through libsensors, the library of lm-sensors: the
// same chips, labels and sensors.conf corrections as the `sensors` command.
#include <sensors/error.h>
#include <sensors/sensors.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "zelvane-monitor/hardware_sensors.h"

namespace zv::monitor {
namespace {

// The hwmon number at the end of a chip's sysfs path ("/sys/class/hwmon/hwmon3").
int ChipInstance(const char* path) {
  const std::string text = path != nullptr ? path : "";
  std::size_t digits = text.size();
  while (digits > 0 && text[digits - 1] >= '0' && text[digits - 1] <= '9') {
    --digits;
  }
  return digits < text.size() ? std::atoi(text.c_str() + digits) : 0;
}

class LibSensors final : public SensorSource {
 public:
  LibSensors() = default;
  LibSensors(const LibSensors&) = delete;
  LibSensors& operator=(const LibSensors&) = delete;
  LibSensors(LibSensors&&) = delete;
  LibSensors& operator=(LibSensors&&) = delete;
  ~LibSensors() override {
    if (initialised_) {
      sensors_cleanup();
    }
  }

  // The library has one global state: a new scan is a new sensors_init,
  // which reads the configuration and the sysfs tree afresh.
  bool Init(std::string& error) {
    if (initialised_) {
      sensors_cleanup();
      initialised_ = false;
    }
    handles_.clear();
    const int result = sensors_init(nullptr);
    if (result != 0) {
      error = sensors_strerror(result);
      return false;
    }
    initialised_ = true;
    return true;
  }

  std::vector<FoundSensor> Scan() override {
    std::vector<FoundSensor> found;
    std::string error;
    if (!Init(error)) {
      return found;
    }
    int chip_nr = 0;
    while (const sensors_chip_name* chip = sensors_get_detected_chips(nullptr, &chip_nr)) {
      std::array<char, 256> name{};
      if (sensors_snprintf_chip_name(name.data(), name.size(), chip) < 0) {
        continue;
      }
      int feature_nr = 0;
      while (const sensors_feature* feature = sensors_get_features(chip, &feature_nr)) {
        FoundSensor sensor{name.data(), ChipInstance(chip->path), feature->name, "", {}, "", 0};
        sensors_subfeature_type input{};
        switch (feature->type) {
          case SENSORS_FEATURE_TEMP:
            sensor.kind = SensorKind::Temperature;
            input = SENSORS_SUBFEATURE_TEMP_INPUT;
            break;
          case SENSORS_FEATURE_FAN:
            sensor.kind = SensorKind::Fan;
            input = SENSORS_SUBFEATURE_FAN_INPUT;
            break;
          case SENSORS_FEATURE_IN:
            sensor.kind = SensorKind::Voltage;
            input = SENSORS_SUBFEATURE_IN_INPUT;
            break;
          default:
            sensor.what = OtherKind(feature->type);
            break;
        }
        char* label = sensors_get_label(chip, feature);
        sensor.label = label != nullptr ? label : feature->name;
        std::free(label);  // NOLINT(cppcoreguidelines-no-malloc): the library's buffer
        if (sensor.kind) {
          const sensors_subfeature* sub = sensors_get_subfeature(chip, feature, input);
          if (sub == nullptr || (sub->flags & SENSORS_MODE_R) == 0) {
            continue;  // a feature with limits or alarms only: nothing to show
          }
          sensor.handle = handles_.size();
          handles_.push_back({chip, sub->number});
        }
        found.push_back(std::move(sensor));
      }
    }
    return found;
  }

  std::optional<double> Read(std::size_t handle, std::string& error) override {
    if (handle >= handles_.size()) {
      error = "no such sensor";
      return std::nullopt;
    }
    double value = 0;
    const int result =
        sensors_get_value(handles_[handle].chip, handles_[handle].subfeature, &value);
    if (result < 0) {
      error = sensors_strerror(result);
      return std::nullopt;
    }
    return value;
  }

  [[nodiscard]] std::string name() const override { return "libsensors"; }

 private:
  struct Handle {
    const sensors_chip_name* chip;
    int subfeature;
  };

  static const char* OtherKind(sensors_feature_type type) {
    switch (type) {
      case SENSORS_FEATURE_POWER:
        return "power";
      case SENSORS_FEATURE_ENERGY:
        return "energy";
      case SENSORS_FEATURE_CURR:
        return "current";
      case SENSORS_FEATURE_HUMIDITY:
        return "humidity";
      case SENSORS_FEATURE_VID:
        return "CPU core voltage setting";
      case SENSORS_FEATURE_INTRUSION:
        return "intrusion";
      default:
        return "other";
    }
  }

  bool initialised_ = false;
  std::vector<Handle> handles_;
};

}  // namespace

std::unique_ptr<SensorSource> OpenSensorSource(std::string& why_not) {
  auto source = std::make_unique<LibSensors>();
  if (!source->Init(why_not)) {
    why_not = "libsensors cannot start: " + why_not;
    return nullptr;
  }
  return source;
}

}  // namespace zv::monitor
