// The sensor source that keeps the heartbeat (monitor_block/heartbeat.h)
// alive through a refresh whose sensors answer slowly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "zelvane-monitor/hardware_sensors.h"

namespace zv::monitor {

// A sensor source passed through, with a call to `progress` after each scan
// and each read: a refresh whose sensors answer slowly keeps the heartbeat
// alive.
class ProgressReportingSource final : public SensorSource {
 public:
  ProgressReportingSource(std::unique_ptr<SensorSource> source, std::function<void()> progress)
      : source_(std::move(source)), progress_(std::move(progress)) {}

  std::vector<FoundSensor> Scan() override {
    auto found = source_->Scan();
    progress_();
    return found;
  }
  std::optional<double> Read(std::size_t handle, std::string& error) override {
    auto reading = source_->Read(handle, error);
    progress_();
    return reading;
  }
  [[nodiscard]] std::string name() const override { return source_->name(); }

 private:
  std::unique_ptr<SensorSource> source_;
  std::function<void()> progress_;
};

}  // namespace zv::monitor
