// The host stand-in's macro expansion on arbitrary screen text: unbalanced
// '$', brackets, long lines, bytes of 0x80 and above, macro names from the
// input. The values come from a fake plugin driven by the input, reached the
// way zelvane-lcd reaches a module: a malloc'd buffer the caller copies and
// frees, or an exception carrying the error message.
//
// Properties: no crash, no leak, no undefined behaviour; every buffer handed
// out is released; lines without '$' come back unchanged; when every value is
// the occurrence's own text, the screen comes back unchanged (occurrences are
// cut exactly where they stand; lines holding a NUL excepted, as an argument
// is passed on as C text); arguments never hold '$' or ']'; failure
// messages are reported in order; nothing is asked after "#skip"; the LCD box
// is rows + 2 lines of columns + 2 characters without control bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/cp1251.h"
#include "zelvane-lcd/lcd.h"
#include "zelvane-lcd/screen.h"
#include "zelvane_info.h"

namespace {

using zv::host::Macro;
using zv::host::MacroValue;
using zv::host::RenderedScreen;

[[noreturn]] void Fail(const char* what) {
  std::cerr << "property failed: " << what << std::endl;
  std::abort();
}

void Require(bool condition, const char* what) {
  if (!condition) {
    Fail(what);
  }
}

// The part of `text` a C text holds: up to its first NUL.
std::string CText(const std::string& text) { return text.substr(0, text.find('\0')); }

// How the fake plugin answers.
enum class Mode : std::uint8_t {
  kEcho,      // the occurrence's own text
  kScripted,  // texts, errors and "#skip" read from the input
};

// A fake plugin's GetValue: buffers from malloc, errors as exceptions.
class FakePlugin {
 public:
  FakePlugin(FuzzedDataProvider& input, Mode mode, const std::vector<Macro>& macros)
      : input_(input), mode_(mode), macros_(macros) {}

  // Returns a buffer the caller releases with free().
  char* GetValue(std::int32_t code, const char* param) {
    ++calls_;
    std::string text;
    if (mode_ == Mode::kEcho) {
      text = NameOf(code) + (param != nullptr ? "[" + std::string(param) + "]$" : "$");
    } else {
      switch (input_.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
          text = CText(input_.ConsumeRandomLengthString(32));
          messages_.push_back(text);
          throw std::runtime_error(text);
        case 1:
          text = zv::host::kSkipAnswer;
          break;
        default:
          text = CText(input_.ConsumeRandomLengthString(48));
          break;
      }
    }
    // The module's buffers come from malloc; the host frees them.
    // NOLINTNEXTLINE(cppcoreguidelines-no-malloc)
    char* buffer = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    ++outstanding_;
    return buffer;
  }

  // Releases a buffer GetValue handed out.
  void Release(char* buffer) {
    std::free(buffer);  // NOLINT(cppcoreguidelines-no-malloc): released as a host does
    --outstanding_;
  }

  [[nodiscard]] long outstanding() const { return outstanding_; }
  [[nodiscard]] long calls() const { return calls_; }
  [[nodiscard]] const std::vector<std::string>& messages() const { return messages_; }

 private:
  std::string NameOf(std::int32_t code) const {
    for (const Macro& macro : macros_) {
      if (macro.code == code) {
        return macro.name;
      }
    }
    Fail("the callback gets the code of a listed macro");
  }

  FuzzedDataProvider& input_;
  Mode mode_;
  const std::vector<Macro>& macros_;
  long outstanding_ = 0;
  long calls_ = 0;
  std::vector<std::string> messages_;
};

// The count of characters in UTF-8 text as the LCD counts them: every byte
// that does not continue a sequence starts one.
std::size_t Characters(const std::string& text) {
  std::size_t count = 0;
  for (const char c : text) {
    count += (static_cast<unsigned char>(c) & 0xC0U) != 0x80U ? 1 : 0;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const auto flags = input.ConsumeIntegral<std::uint8_t>();
  const Mode mode = (flags & 1U) != 0 ? Mode::kEcho : Mode::kScripted;
  // zelvane-lcd shows the module's texts converted to UTF-8; echoed texts must
  // come back byte for byte, so they stay as they are.
  const bool convert = mode == Mode::kScripted && (flags & 2U) != 0;
  const auto rows = input.ConsumeIntegralInRange<std::size_t>(0, 6);
  const auto columns = input.ConsumeIntegralInRange<std::size_t>(0, 40);

  // The plugin's own names, and up to two more from the input.
  const std::string extra[2] = {input.ConsumeRandomLengthString(12),
                                input.ConsumeRandomLengthString(12)};
  PluginInfo info{};
  const char* names[] = {"$zvReset", "$zvCheck",       "$zvTemp",        "$zvFan",
                         "$zvVolt",  extra[0].c_str(), extra[1].c_str(), "$zvT"};
  for (std::size_t i = 0; i < std::size(names); ++i) {
    info.Macros[i + 1] = names[i];
  }
  const std::vector<Macro> macros = zv::host::MacrosOf(info);

  // The screen, split into lines at '\n'; the scripted plugin reads what
  // follows it.
  std::vector<std::string> lines;
  const std::string screen_text = input.ConsumeRandomLengthString(size);
  for (std::size_t start = 0;;) {
    const std::size_t end = screen_text.find('\n', start);
    lines.push_back(screen_text.substr(start, end - start));
    if (end == std::string::npos) {
      break;
    }
    start = end + 1;
  }

  FakePlugin plugin(input, mode, macros);
  bool asked_after_skip = false;
  bool skip_seen = false;
  const RenderedScreen screen =
      zv::host::RenderScreen(lines, macros, [&](std::int32_t code, const char* param) {
        asked_after_skip = asked_after_skip || skip_seen;
        Require(param == nullptr || std::strpbrk(param, "$]") == nullptr,
                "an argument holds neither '$' nor ']'");
        try {
          char* buffer = plugin.GetValue(code, param);
          MacroValue value{false, buffer};
          plugin.Release(buffer);
          skip_seen = value.text == zv::host::kSkipAnswer;
          if (convert) {
            value.text = zv::common::Cp1251ToUtf8(value.text);
          }
          return value;
        } catch (const std::runtime_error& error) {
          return MacroValue{true, convert ? zv::common::Cp1251ToUtf8(error.what()) : error.what()};
        }
      });

  Require(plugin.outstanding() == 0, "every buffer handed out is released");
  Require(!asked_after_skip, "nothing is asked after #skip");
  Require(screen.skipped == skip_seen, "a #skip answer skips the screen");
  if (screen.skipped) {
    Require(screen.lines.empty(), "a skipped screen has no lines");
  } else {
    Require(screen.lines.size() == lines.size(), "one expanded line per line");
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].find('$') == std::string::npos) {
        Require(screen.lines[i] == lines[i], "a line without '$' comes back unchanged");
      }
    }
    for (std::size_t i = 0; mode == Mode::kEcho && i < lines.size(); ++i) {
      // An argument reaches the plugin as a C text, so a NUL in it cuts it
      // short there; a host's screen text is C text and has none.
      if (lines[i].find('\0') == std::string::npos && screen.lines[i] != lines[i]) {
        std::cerr << "in:  '" << lines[i] << "'\nout: '" << screen.lines[i] << "'\n";
        Fail("echoed occurrences give back the screen");
      }
    }
  }
  if (!convert) {
    std::vector<std::string> messages;
    for (const zv::host::MacroError& error : screen.errors) {
      messages.push_back(error.message);
      Require(error.line < lines.size() && lines[error.line].find(error.macro) != std::string::npos,
              "a failure names an occurrence of its line");
    }
    Require(messages == plugin.messages(), "failure messages in order");
  } else {
    Require(screen.errors.size() == plugin.messages().size(), "one message per failure");
  }
  if (plugin.calls() == 0) {
    Require(screen.errors.empty() && !screen.skipped, "no call, no errors, no skip");
  }

  const std::vector<std::string> box = zv::host::DrawLcd(screen, rows, columns);
  Require(box.size() == rows + 2, "the box has rows + 2 lines");
  for (const std::string& row : box) {
    Require(Characters(row) == columns + 2, "every box line is columns + 2 characters");
    for (const char c : row) {
      const auto byte = static_cast<unsigned char>(c);
      Require(byte >= 0x20 && byte != 0x7F, "no control bytes in the box");
    }
  }
  return 0;
}
