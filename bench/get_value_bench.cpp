// GetValue on a temperature request against a baseline that does the least
// any implementation must: allocate the result, format an integer, free it.
// A second baseline adds one pread of the word: a reader that must survive
// the object shrinking under it (no mapping) pays at least that.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "monitor_block/layout.h"
#include "plugin/get_value.h"
#include "readings/monitor_memory.h"
#include "zelvane-monitor/publisher.h"

namespace zv::bench {
extern std::size_t AllocationCount;
}

namespace {

constexpr const char* kName = zv::readings::kMonitorMemoryName;

// Formats the whole units of `word` into a fresh malloc'd text and frees
// it: the plugin's own way of returning a text, for comparison.
void FormatAndRelease(std::int32_t word) {
  std::array<char, 16> digits{};
  const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), word / 6553600).ptr;
  const auto length = static_cast<std::size_t>(end - digits.data());
  // NOLINTNEXTLINE(cppcoreguidelines-no-malloc)
  char* buffer = static_cast<char*>(std::malloc(length + 1));
  std::memcpy(buffer, digits.data(), length);
  buffer[length] = '\0';
  benchmark::DoNotOptimize(buffer);
  std::free(buffer);  // NOLINT(cppcoreguidelines-no-malloc): as above
}

void Baseline(benchmark::State& state) {
  std::int32_t word = 4537 * 65536;
  for (auto _ : state) {
    FormatAndRelease(word);
    benchmark::DoNotOptimize(word);
  }
}

// Baseline plus one copy of the word from the published object with pread.
void BaselineWithPread(benchmark::State& state) {
  zv::monitor::RemoveStale(kName);
  auto publisher = zv::monitor::Publisher::Create(kName, zv::readings::kMonitorBlockSize);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
  const int fd = open((std::string("/dev/shm/") + kName).c_str(), O_RDONLY | O_CLOEXEC);
  if (!publisher || fd < 0) {
    state.SkipWithError("cannot publish the monitor block");
    return;
  }
  publisher->WriteWord(zv::readings::kTemperatureOffset + 8, zv::readings::EncodeHundredths(4537));
  for (auto _ : state) {
    std::int32_t word = 0;
    if (pread(fd, &word, sizeof word, zv::readings::kTemperatureOffset + 8) != sizeof word) {
      state.SkipWithError("short read");
      break;
    }
    FormatAndRelease(word);
  }
  close(fd);
}

void GetValueTemp(benchmark::State& state) {
  zv::monitor::RemoveStale(kName);
  auto publisher = zv::monitor::Publisher::Create(kName, zv::readings::kMonitorBlockSize);
  if (!publisher) {
    state.SkipWithError("cannot publish the monitor block");
    return;
  }
  publisher->WriteWord(zv::readings::kTemperatureOffset + 8, zv::readings::EncodeHundredths(4537));
  // Connects outside the loop, to this run's block (an earlier run's
  // connection would be found gone at a check inside the loop); the host
  // frees the text.
  zv::readings::ReleaseMonitorMemory();
  std::free(zv::plugin::GetValue(1, "2"));  // NOLINT(cppcoreguidelines-no-malloc)
  const std::size_t before = zv::bench::AllocationCount;
  for (auto _ : state) {
    char* text = zv::plugin::GetValue(1, "2");
    benchmark::DoNotOptimize(text);
    std::free(text);  // NOLINT(cppcoreguidelines-no-malloc): released as a host does
  }
  state.counters["allocs_per_call"] =
      benchmark::Counter(static_cast<double>(zv::bench::AllocationCount - before) /
                         static_cast<double>(state.iterations()));
}

BENCHMARK(Baseline);
BENCHMARK(BaselineWithPread);
BENCHMARK(GetValueTemp);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Report both, then the ratio of GetValue to the baseline.
  class RatioReporter : public benchmark::ConsoleReporter {
   public:
    // Plain text: the figures end up in logs.
    RatioReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
      for (const Run& run : runs) {
        if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
        if (run.run_name.function_name == "Baseline") baseline_ = run.GetAdjustedCPUTime();
        if (run.run_name.function_name == "BaselineWithPread") {
          pread_baseline_ = run.GetAdjustedCPUTime();
        }
        if (run.run_name.function_name == "GetValueTemp") value_ = run.GetAdjustedCPUTime();
      }
      ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
      ConsoleReporter::Finalize();
      // Each reading copies its word with pread until two copies agree
      // (normally two), so the second ratio is about 2 by design.
      if (baseline_ > 0 && pread_baseline_ > 0) {
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
        std::printf("GetValue / baseline: %.2f\nGetValue / baseline with one pread: %.2f\n",
                    value_ / baseline_, value_ / pread_baseline_);
      }
    }

   private:
    double baseline_ = 0;
    double pread_baseline_ = 0;
    double value_ = 0;
  } reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
