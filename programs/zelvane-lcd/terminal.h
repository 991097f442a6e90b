// The terminal the host prints to and draws the live screen on.
#pragma once

namespace zv::host {

// Prepares standard output for UTF-8 text (once, before any output) and
// returns whether it is an interactive terminal that takes ANSI cursor
// controls (otherwise frames are printed one after another).
bool PrepareTerminal();

}  // namespace zv::host
