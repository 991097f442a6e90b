#include "zelvane-lcd/lcd.h"

namespace zv::host {
namespace {

std::string Repeat(const char* piece, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) {
    out += piece;
  }
  return out;
}

// Cuts or pads `line` to `columns` characters, counting UTF-8 sequences as
// one character each.
std::string FitLine(const std::string& line, std::size_t columns) {
  std::string out;
  std::size_t shown = 0;
  for (std::size_t i = 0; i < line.size();) {
    const auto byte = static_cast<unsigned char>(line[i]);
    std::size_t length = 1;
    while (length < 4 && i + length < line.size() &&
           (static_cast<unsigned char>(line[i + length]) & 0xC0) == 0x80 && byte >= 0xC0) {
      ++length;
    }
    if (shown == columns) {
      break;
    }
    // Control bytes would move the cursor and break the box.
    if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte < 0xC0)) {
      out += '?';
    } else {
      out.append(line, i, length);
    }
    ++shown;
    i += length;
  }
  out.append(columns - shown, ' ');
  return out;
}

}  // namespace

std::vector<std::string> DrawLcd(const RenderedScreen& screen, std::size_t rows,
                                 std::size_t columns) {
  std::vector<std::string> content(rows);
  if (screen.skipped) {
    if (rows > 0) {
      content[(rows - 1) / 2] = "screen skipped";
    }
  } else {
    for (std::size_t i = 0; i < rows && i < screen.lines.size(); ++i) {
      content[i] = screen.lines[i];
    }
  }
  std::vector<std::string> box;
  box.push_back("\u250C" + Repeat("\u2500", columns) + "\u2510");
  for (const std::string& line : content) {
    box.push_back("\u2502" + FitLine(line, columns) + "\u2502");
  }
  box.push_back("\u2514" + Repeat("\u2500", columns) + "\u2518");
  return box;
}

}  // namespace zv::host
