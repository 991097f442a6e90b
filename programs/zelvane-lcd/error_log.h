// The plugin's errors as a long-running host reports them: each failing
// macro occurrence once when it starts failing, again when its message
// changes, and once when it works again, so that a screen that fails on
// every frame writes a line per change, not per frame. The display keeps
// showing the message in place on every frame.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "zelvane-lcd/screen.h"

namespace zv::host {

class ErrorLog {
 public:
  // Takes a frame of screen number `index` (named `name`, empty for an
  // unnamed one) and returns the report lines it calls for. A skipped
  // screen reports only new failures: the occurrences after the skip were
  // not asked, so nothing is said about them.
  std::vector<std::string> Update(std::size_t index, std::string_view name,
                                  const RenderedScreen& screen);

 private:
  // An occurrence: the screen, its line, the text as written and which of
  // the equal texts of that line it is.
  using Place = std::tuple<std::size_t, std::size_t, std::string, std::size_t>;
  std::map<Place, std::string> failing_;  // the message last reported
};

}  // namespace zv::host
