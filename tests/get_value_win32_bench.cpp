// GetValue of the built DLL on a temperature request, against a baseline in
// the same process that does the least any implementation must: allocate
// the result on the process heap, format an integer, release it. Prints the
// medians and their ratio (figures, not a pass or fail). Google Benchmark is
// not built for the cross target, so it times itself.
//   get_value_dll_bench [RUNS [CALLS]]   (201 runs of 2000 calls)
// Short runs, many of them: on a busy machine most runs are then never
// interrupted, and the median is theirs.
#include <windows.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "monitor_block/layout.h"
#include "zelvane-lcd/loader/plugin_loader.h"
#include "zelvane-lcd/loader/win32/seh_call.h"
#include "zelvane-monitor/publisher.h"
#include "zelvane_info.h"

namespace {

constexpr const char* kName = zv::readings::kMonitorMemoryName;

// Defeats the optimiser's knowledge of a value.
template <typename T>
void Opaque(T& value) {
  __asm__ __volatile__("" : "+r"(value) : : "memory");
}

double Now() {
  LARGE_INTEGER counter{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Baseline(int calls) {
  std::int32_t word = 4537 * 65536;
  HANDLE heap = GetProcessHeap();
  for (int i = 0; i < calls; ++i) {
    Opaque(word);
    std::array<char, 16> digits{};
    const char* end =
        std::to_chars(digits.data(), digits.data() + digits.size(), word / 6553600).ptr;
    const auto length = static_cast<std::size_t>(end - digits.data());
    char* buffer = static_cast<char*>(HeapAlloc(heap, 0, length + 1));
    std::memcpy(buffer, digits.data(), length);
    buffer[length] = '\0';
    Opaque(buffer);
    HeapFree(heap, 0, buffer);
  }
}

void Direct(GetValueFunc get_value, int calls) {
  HANDLE heap = GetProcessHeap();
  for (int i = 0; i < calls; ++i) {
    char* text = get_value(ZV_MACRO_TEMP, "2");
    Opaque(text);
    HeapFree(heap, 0, text);
  }
}

// As a host calls it: inside its exception guard.
void Guarded(GetValueFunc get_value, int calls) {
  HANDLE heap = GetProcessHeap();
  for (int i = 0; i < calls; ++i) {
    ZvRaised raised;
    char* text = nullptr;
    if (ZvCallGetValue(get_value, ZV_MACRO_TEMP, "2", &text, &raised) != 0) {
      HeapFree(heap, 0, text);
    }
  }
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Fastest(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

}  // namespace

// A command-line program: its reports are printf-style.
// NOLINTBEGIN(cppcoreguidelines-pro-type-vararg)
int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 201;
  const int calls = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;
  auto publisher = zv::monitor::Publisher::Create(kName, zv::readings::kMonitorBlockSize);
  if (!publisher) {
    std::fprintf(stderr, "cannot publish the monitor's memory\n");
    return 1;
  }
  publisher->WriteWord(zv::readings::kTemperatureOffset + 8, zv::readings::EncodeHundredths(4537));
  std::string error;
  const auto module = zv::loader::PluginModule::Load(ZV_PLUGIN_PATH, error);
  if (module == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", ZV_PLUGIN_PATH, error.c_str());
    return 1;
  }
  const GetValueFunc get_value = module->info().GetValue;
  // Connects to the monitor's memory outside the timing.
  char* first = get_value(ZV_MACRO_TEMP, "2");
  if (std::strcmp(first, "45") != 0) {
    std::fprintf(stderr, "GetValue gave '%s', not '45'\n", first);
    return 1;
  }
  HeapFree(GetProcessHeap(), 0, first);

  // The three alternate, so that a busy moment of the machine touches each.
  std::vector<double> baseline;
  std::vector<double> direct;
  std::vector<double> guarded;
  const auto time = [calls](auto&& body) {
    const double start = Now();
    body();
    return (Now() - start) * 1e9 / calls;
  };
  for (int run = 0; run < runs; ++run) {
    baseline.push_back(time([&] { Baseline(calls); }));
    guarded.push_back(time([&] { Guarded(get_value, calls); }));
    direct.push_back(time([&] { Direct(get_value, calls); }));
  }
  const double base = Median(baseline);
  const double value = Median(direct);
  std::printf("GetValue of %s (%d-bit), per call: median of %d runs of %d calls (fastest run)\n",
              ZV_PLUGIN_PATH, static_cast<int>(8 * sizeof(void*)), runs, calls);
  std::printf("  baseline (HeapAlloc, format an integer, HeapFree): %7.1f ns (%.1f)\n", base,
              Fastest(baseline));
  std::printf("  GetValue(Temp, \"2\") and HeapFree:                 %7.1f ns (%.1f)\n", value,
              Fastest(direct));
  std::printf("  the same inside the host's exception guard:        %7.1f ns (%.1f)\n",
              Median(guarded), Fastest(guarded));
  std::printf("  ratio GetValue / baseline (medians):               %7.2f\n", value / base);
  return 0;
}
// NOLINTEND(cppcoreguidelines-pro-type-vararg)
