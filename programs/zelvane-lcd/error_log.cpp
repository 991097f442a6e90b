#include "zelvane-lcd/error_log.h"

namespace zv::host {
namespace {

// "line 2, $zvTemp[40]$" or "screen "cpu", line 2, $zvTemp[40]$".
std::string Where(std::string_view name, std::size_t line, const std::string& macro) {
  std::string where;
  if (!name.empty()) {
    where = "screen \"" + std::string(name) + "\", ";
  }
  return where + "line " + std::to_string(line + 1) + ", " + macro;
}

}  // namespace

std::vector<std::string> ErrorLog::Update(std::size_t index, std::string_view name,
                                          const RenderedScreen& screen) {
  std::map<Place, std::string> now;
  for (const MacroError& error : screen.errors) {
    std::size_t repeat = 0;
    while (now.count({index, error.line, error.macro, repeat}) != 0) {
      ++repeat;
    }
    now.emplace(Place{index, error.line, error.macro, repeat}, error.message);
  }
  std::vector<std::string> reports;
  const auto first = failing_.lower_bound({index, 0, "", 0});
  const auto last = failing_.lower_bound({index + 1, 0, "", 0});
  for (auto it = first; it != last && !screen.skipped; ++it) {
    if (now.count(it->first) == 0) {
      reports.push_back("plugin error cleared: " +
                        Where(name, std::get<1>(it->first), std::get<2>(it->first)));
    }
  }
  for (const auto& [place, message] : now) {
    const auto known = failing_.find(place);
    if (known == failing_.end() || known->second != message) {
      reports.push_back("plugin error: " + Where(name, std::get<1>(place), std::get<2>(place)) +
                        ": " + message);
    }
  }
  if (!screen.skipped) {
    failing_.erase(first, last);
  }
  for (auto& [place, message] : now) {
    failing_[place] = std::move(message);
  }
  return reports;
}

}  // namespace zv::host
