// Text that came from outside the program (a server's answer, a sensor's
// label, a file's line) as the program prints it on a terminal or into the
// journal: nothing in it can move the cursor, change colours or start a
// line that looks like one of the program's own.
#pragma once

#include <string>
#include <string_view>

namespace zv::common {

// `text` with every control character (U+0000..U+001F, U+007F..U+009F) and
// every byte that is not part of well-formed UTF-8 written as "\xHH"; the
// rest unchanged.
std::string Printable(std::string_view text);

}  // namespace zv::common
