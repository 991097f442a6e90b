#include "zelvane-lcd/screen.h"

#include <algorithm>
#include <optional>

namespace zv::host {
namespace {

// A macro occurrence found in a line.
struct Occurrence {
  const Macro* macro;
  std::optional<std::string> param;
  std::size_t end;  // index just past the closing '$'
};

// Matches one macro at `pos` (which holds '$'); `macros` is longest first,
// so "$zvFanX" can never be taken for "$zvFan" followed by text.
std::optional<Occurrence> MatchAt(std::string_view line, std::size_t pos,
                                  const std::vector<const Macro*>& macros) {
  for (const Macro* macro : macros) {
    if (line.substr(pos, macro->name.size()) != macro->name) {
      continue;
    }
    const std::size_t after = pos + macro->name.size();
    if (after < line.size() && line[after] == '$') {
      return Occurrence{macro, std::nullopt, after + 1};
    }
    if (after < line.size() && line[after] == '[') {
      // The argument ends at the first ']' and may not cross a '$', so an
      // unclosed bracket cannot swallow the macros that follow it.
      const std::size_t close = line.find_first_of("]$", after + 1);
      if (close != std::string_view::npos && line[close] == ']' && close + 1 < line.size() &&
          line[close + 1] == '$') {
        return Occurrence{macro, std::string(line.substr(after + 1, close - after - 1)), close + 2};
      }
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<Macro> MacrosOf(const PluginInfo& info) {
  std::vector<Macro> macros;
  for (int entry = 1; entry < ZV_TABLE_ENTRIES; ++entry) {
    const char* name = info.Macros[entry];
    if (name != nullptr && name[0] == '$' && name[1] != '\0') {
      macros.push_back({name, entry - 1});
    }
  }
  return macros;
}

RenderedScreen RenderScreen(const std::vector<std::string>& lines, const std::vector<Macro>& macros,
                            const ValueSource& source) {
  std::vector<const Macro*> longest_first;
  for (const Macro& macro : macros) {
    if (!macro.name.empty() && macro.name[0] == '$') {
      longest_first.push_back(&macro);
    }
  }
  std::stable_sort(longest_first.begin(), longest_first.end(),
                   [](const Macro* a, const Macro* b) { return a->name.size() > b->name.size(); });

  RenderedScreen screen;
  for (const std::string& line : lines) {
    std::string out;
    std::size_t pos = 0;
    while (pos < line.size()) {
      const std::size_t dollar = line.find('$', pos);
      if (dollar == std::string::npos) {
        out.append(line, pos);
        break;
      }
      out.append(line, pos, dollar - pos);
      const auto occurrence = MatchAt(line, dollar, longest_first);
      if (!occurrence) {
        out += '$';
        pos = dollar + 1;
        continue;
      }
      const MacroValue value =
          source(occurrence->macro->code, occurrence->param ? occurrence->param->c_str() : nullptr);
      if (value.failed) {
        screen.errors.push_back(
            {screen.lines.size(), line.substr(dollar, occurrence->end - dollar), value.text});
      } else if (value.text == kSkipAnswer) {
        screen.skipped = true;
        screen.lines.clear();
        return screen;
      }
      out += value.text;
      pos = occurrence->end;
    }
    screen.lines.push_back(std::move(out));
  }
  return screen;
}

}  // namespace zv::host
