// Whether an X display answers, found out within a time bound.
#pragma once

#include <chrono>
#include <string>

namespace zv::platform {

// How long a display may take to answer before it counts as unavailable.
inline constexpr std::chrono::milliseconds kDisplayAnswerBound{5000};

// Connects to the X display `name` (a DISPLAY value) where Xlib would, sends
// the connection setup and waits for the server's first reply byte, all
// within `bound`. True when the server answered, whatever it answered
// (accepted, refused, asked for authentication): then opening the display
// with Xlib does not hang. False when there is no such display, it cannot
// be reached, or it stays silent (a stopped server), and for a name that
// cannot be parsed.
bool DisplayAnswers(const std::string& name, std::chrono::milliseconds bound);

}  // namespace zv::platform
