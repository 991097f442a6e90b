// Macro expansion of LCD screen text, as the host does it for every frame.
// Free of platform and plugin calls: the value of each macro occurrence
// comes from a callback, so any screen text can be expanded in isolation.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "zelvane_info.h"

namespace zv::host {

// A macro the plugin offers: its name as the descriptor spells it
// ("$zvTemp") and the code GetValue takes for it.
struct Macro {
  std::string name;
  std::int32_t code;
};

// The outcome of one macro occurrence: the text to show, or an error
// message (already in the display's encoding).
struct MacroValue {
  bool failed = false;
  std::string text;
};

// Computes one macro occurrence. `param` is the text between the brackets,
// or null when the occurrence has none.
using ValueSource = std::function<MacroValue(std::int32_t code, const char* param)>;

// A failed macro occurrence: where it stands and the plugin's message.
struct MacroError {
  std::size_t line = 0;  // index of the line in the screen
  std::string macro;     // the occurrence as written, "$zvTemp[40]$"
  std::string message;   // in the same encoding as the values
  bool operator==(const MacroError&) const = default;
};

// One expanded screen.
struct RenderedScreen {
  bool skipped = false;            // a display condition answered "#skip"
  std::vector<std::string> lines;  // expanded lines; empty when skipped
  std::vector<MacroError> errors;  // the failed occurrences, in order
};

// A screen as the user describes it.
struct ScreenSpec {
  std::string name;                // empty for the command line's one screen
  std::vector<std::string> lines;  // macros unexpanded
  // How long a display server that rotates screens shows this one; zero
  // leaves it to the server.
  std::chrono::milliseconds duration{0};
};

// The answer with which a display condition hides the whole screen.
inline constexpr std::string_view kSkipAnswer = "#skip";

// Lists the macros of a descriptor: entry i of its Macros table (i = 1..16,
// non-empty, starting with '$') has code i - 1. Null entries are ignored.
std::vector<Macro> MacrosOf(const PluginInfo& info);

// Expands `lines`. An occurrence is a macro name followed by "$", or by
// "[arg]$" where arg holds neither '$' nor ']'. Anything else, unknown names
// included, stays as written. A failed occurrence shows its message in its
// place. When an occurrence answers "#skip" the screen is skipped and the
// rest is not expanded.
RenderedScreen RenderScreen(const std::vector<std::string>& lines, const std::vector<Macro>& macros,
                            const ValueSource& source);

}  // namespace zv::host
