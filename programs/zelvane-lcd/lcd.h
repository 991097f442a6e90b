// The LCD-like box of the live screen.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "zelvane-lcd/screen.h"

namespace zv::host {

// Draws `screen` as a box of `rows` lines of `columns` characters (UTF-8
// text; longer lines are cut, shorter ones padded, control characters shown
// as '?'). A skipped screen shows "screen skipped" on its middle row.
std::vector<std::string> DrawLcd(const RenderedScreen& screen, std::size_t rows,
                                 std::size_t columns);

}  // namespace zv::host
