// GetValue through the module's entry point with arbitrary codes and index
// texts, checked against an independent model of what the host must see.
//
// Input: bytes 0..3 the code (32-bit little-endian), byte 4 flags (bit 0: a
// null index text), bytes 5..8 the word published in every sensor slot (with
// ZV_FUZZ_PUBLISH_BLOCK), the rest the index text up to its first NUL.
// Missing header bytes count as zero.
//
// Properties: no crash, no leak, no undefined behaviour; every failure is the
// plugin's own error with the exact expected message; LastValue is unchanged
// after an error; the text matches the model; the buffer is freed here, as a
// host does.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "monitor_block/layout.h"
#include "platform/exception.h"
#include "plugin/get_value.h"
#include "readings/monitor_memory.h"
#include "readings/reading_formatter.h"
#include "state/module_state.h"
#include "zelvane-monitor/publisher.h"
#include "zelvane_info.h"

extern "C" PluginInfo* getPlugin();

namespace {

constexpr const char* kName = zv::readings::kMonitorMemoryName;
constexpr std::size_t kHeaderSize = 9;

#ifdef ZV_FUZZ_PUBLISH_BLOCK
constexpr bool kPublished = true;
#else
constexpr bool kPublished = false;
#endif

// The block this process publishes, alive until exit.
std::unique_ptr<zv::monitor::Publisher>& Block() {
  static std::unique_ptr<zv::monitor::Publisher> block;
  return block;
}

[[noreturn]] void Fail(const char* what, const std::string& expected, const std::string& actual) {
  std::cerr << "property failed: " << what << "\n  expected: '" << expected << "'\n  actual:   '"
            << actual << "'" << std::endl;
  std::abort();
}

// The 32-bit little-endian word at `at` of the header.
std::uint32_t Word(const std::array<std::uint8_t, kHeaderSize>& header, std::size_t at) {
  std::uint32_t word = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    word |= static_cast<std::uint32_t>(header.at(at + i)) << (8 * i);
  }
  return word;
}

// The index text's value: blanks, a sign, then decimal digits to the end,
// within 32 bits; nothing otherwise.
std::optional<std::int32_t> ModelIndex(const std::string& text) {
  std::size_t at = text.find_first_not_of(" \t");
  if (at == std::string::npos) {
    return std::nullopt;
  }
  const bool negative = text[at] == '-';
  if (text[at] == '-' || text[at] == '+') {
    ++at;
  }
  if (at == text.size() || text[at] < '0' || text[at] > '9') {
    return std::nullopt;
  }
  std::int64_t magnitude = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data() + at, end, magnitude);
  if (error != std::errc{} || stop != end) {
    return std::nullopt;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

// A reading as the display shows it, computed in extended floating point.
std::string ModelReading(zv::readings::Scaling scaling, std::int32_t word) {
  const long double units = static_cast<long double>(word) / zv::readings::kWordScale;
  const long long shown = scaling == zv::readings::Scaling::Whole
                              ? std::llroundl(std::truncl(units))
                              : std::llroundl(units / 100.0L);
  return std::to_string(shown);
}

struct Outcome {
  bool failed = false;
  std::string text;
};

// What a host sees for the call, given the module's last text before it.
Outcome Model(std::int32_t code, const char* param, std::int32_t word, const std::string& last) {
  std::int32_t index = 0;
  if (param != nullptr) {
    const auto parsed = ModelIndex(param);
    if (!parsed) {
      return {true, std::string("'") + param + "' is not a valid integer value"};
    }
    index = *parsed;
  }
  const auto macro = static_cast<std::int16_t>(code & 0xFFFF);
  if (const zv::readings::ReadingRegion* region = zv::readings::RegionOfMacro(macro)) {
    if (index < 0 || index >= static_cast<std::int32_t>(zv::readings::kSensorCount)) {
      return {true, zv::readings::kIndexErrorMessage};
    }
    return {false, kPublished ? ModelReading(region->scaling, word) : ""};
  }
  switch (macro) {
    case ZV_MACRO_RESET:
      return {false, ""};
    case ZV_MACRO_CHECK:  // connects as a reading does
      return {false, kPublished ? "" : "#skip"};
    default:
      return {false, last};
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  zv::monitor::RemoveStale(kName);
  if (kPublished) {
    Block() = zv::monitor::Publisher::Create(kName, zv::readings::kMonitorBlockSize);
    if (!Block()) {
      std::cerr << "cannot publish the monitor block" << std::endl;
      std::abort();
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::array<std::uint8_t, kHeaderSize> header{};
  if (size > 0) {  // an empty input may come as a null pointer
    std::memcpy(header.data(), data, std::min(size, kHeaderSize));
  }
  const auto code = static_cast<std::int32_t>(Word(header, 0));
  const bool null_param = (header[4] & 1U) != 0;
  const auto word = static_cast<std::int32_t>(Word(header, 5));
  const std::string text = size > kHeaderSize ? std::string(data + kHeaderSize, data + size) : "";
  const char* param = null_param ? nullptr : text.c_str();  // up to the first NUL

  if (kPublished) {
    for (const zv::readings::ReadingRegion& region : zv::readings::kReadingRegions) {
      for (std::size_t i = 0; i < zv::readings::kSensorCount; ++i) {
        Block()->WriteWord(zv::readings::SensorOffset(region.kind, i), word);
      }
    }
  }
  const std::string last_before = zv::State().LastValue;
  const Outcome expected = Model(code, param, word, last_before);

  Outcome actual;
  try {
    char* buffer = getPlugin()->GetValue(code, param);
    actual.text = buffer;
    std::free(buffer);  // NOLINT(cppcoreguidelines-no-malloc): released as a host does
  } catch (const zv::Exception& error) {
    actual.failed = true;
    actual.text = error.what();
    if (actual.text.empty()) {
      Fail("an error carries a message", "(a message)", "");
    }
  } catch (...) {
    Fail("every failure is the plugin's own error", "zv::Exception", "another exception");
  }

  if (!kPublished && zv::State().MonitorMapped) {
    // Nothing here publishes; another process did, ignoring the machine-wide
    // lock on the name, and the plugin rightly connected to it.
    Fail("no block under the monitor's name while this target runs", "no block",
         "a block published by another process");
  }
  if (actual.failed != expected.failed) {
    Fail(expected.failed ? "the call fails" : "the call succeeds", expected.text, actual.text);
  }
  if (actual.text != expected.text) {
    Fail(actual.failed ? "error message" : "returned text", expected.text, actual.text);
  }
  const std::string& last_expected = actual.failed ? last_before : actual.text;
  if (zv::State().LastValue != last_expected) {
    Fail("LastValue after the call", last_expected, zv::State().LastValue);
  }
  const auto macro = static_cast<std::int16_t>(code & 0xFFFF);
  if (kPublished && !actual.failed &&
      (macro == ZV_MACRO_CHECK || zv::readings::RegionOfMacro(macro) != nullptr) &&
      !zv::State().MonitorMapped) {
    Fail("a reading or Check connects to the published block", "mapped", "not mapped");
  }
  return 0;
}
