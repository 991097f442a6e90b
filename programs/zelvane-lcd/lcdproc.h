// zelvane-lcd as a client of LCDd, LCDproc's display server: the
// protocol's texts (platform-free, tested on their own) and the client loop.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zelvane-lcd/screen.h"

namespace zv::host {

// The display size LCDd announces in its answer to "hello".
struct LcdSize {
  int width = 0;
  int height = 0;
};

// The longest line the client takes from the server. LCDd's longest, its
// answer to "hello", is under 100 bytes, its refusals a few dozen; 4 KiB
// leaves room for any version of it. A longer line is not LCDd speaking:
// the client drops the connection and tries again later.
inline constexpr std::size_t kLongestServerLine = 4096;

// What the server sent, cut into lines. What it keeps is bounded (a partial
// line of at most kLongestServerLine bytes, plus what was appended since the
// lines were last taken), and every byte is looked at once, however it
// arrives.
class ServerLines {
 public:
  enum class Next {
    Line,     // a whole line was taken
    None,     // no whole line yet
    TooLong,  // the server sent a line longer than kLongestServerLine
  };
  // Appends bytes as they arrived.
  void Append(std::string_view data);
  // Takes the next whole line, without its "\n" (and a "\r" before it).
  Next Take(std::string& line);

 private:
  std::string buffer_;
  std::size_t start_ = 0;    // where the bytes not yet taken begin
  std::size_t scanned_ = 0;  // no newline in [start_, scanned_)
};

// LCDd's refusals ("huh? ..." lines) as a long-running client reports them:
// by kind, the refusal's leading words ("Invalid command" of "huh? Invalid
// command \"x\""), the first one of each kind, then at most one a minute
// with the number left unsaid in between. At most kMaxKinds kinds are told
// apart; any further ones count as one, so neither the log nor what is kept
// grows with what a server makes up.
class RefusalLog {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kMaxKinds = 16;
  static constexpr std::chrono::seconds kQuiet{60};

  // The report of refusal `line`, received at `now` (its text made
  // printable), or "" to say nothing.
  std::string Take(std::string_view line, Clock::time_point now);
  // The kind of a refusal: its first words, letters and blanks only, at
  // most 40 bytes.
  static std::string KindOf(std::string_view line);

 private:
  struct Seen {
    Clock::time_point reported;
    long unreported = 0;
  };
  std::map<std::string, Seen> kinds_;
};

// Reads "connect LCDproc 0.5.9 protocol 0.3 lcd wid 20 hgt 4 cellwid 5
// cellhgt 8"; nullopt for anything else or a size outside 1..256.
std::optional<LcdSize> ParseConnectAnswer(std::string_view line);

// What the texts sent to LCDd are encoded as. LCDd itself passes the bytes
// on; the display's driver maps them to its character set (for HD44780
// displays with Cyrillic characters, CharMap=hd44780_cp1251).
enum class DisplayCharset {
  Cp1251,  // Windows-1251, the plugin's own texts (the default)
  Ascii,   // letters outside ASCII shown as '?', for any display
  Utf8,    // UTF-8, for the text and curses drivers on a UTF-8 terminal
};
std::optional<DisplayCharset> ParseDisplayCharset(std::string_view name);

// Encodes one UTF-8 screen line for the display: at most `columns` cells
// (LCDd counts one byte as one cell, so in UTF-8 a line is cut at a
// character boundary within `columns` bytes), control characters and
// characters the charset lacks shown as '?'.
std::string EncodeForDisplay(std::string_view utf8, DisplayCharset charset, std::size_t columns);

// Quotes a widget text for the protocol: in double quotes, with '"', '\\',
// '{' and '}' escaped by a backslash (LCDd copies the character after a
// backslash literally; braces are its other quotes).
std::string QuoteLcdString(std::string_view text);

// The commands that make the screens: the client's name, then for each
// screen one LCDd screen "zvN" (N = 1, 2, ...) that starts hidden, with no
// heartbeat, its name (or "Zelvane"), its duration in LCDd's eighths of a
// second when it has one, and one string widget per line ("l1".."lH").
std::vector<std::string> ScreenSetupCommands(const std::vector<ScreenSpec>& screens, int height,
                                             DisplayCharset charset);

// The commands of one frame of screen number `number` (1-based). A skipped
// screen is hidden (priority "hidden": it leaves LCDd's rotation, and LCDd
// shows its other screens instead); a shown one has its lines set, then is
// shown again (priority "info": back in the rotation) if it was hidden.
// `hidden` is the screen's state, updated.
std::vector<std::string> FrameCommands(std::size_t number, const RenderedScreen& screen,
                                       const LcdSize& size, DisplayCharset charset, bool& hidden);

// The wait before reconnection attempt `attempt` (0 for the first after a
// loss): 0.5 s doubling to at most 8 s.
std::chrono::milliseconds ReconnectDelay(int attempt);

// The line that reports a failed or lost connection to `server` ("HOST:PORT")
// before reconnection attempt `attempt`, or "" to say nothing: each wait is
// reported while the waits grow, then the longest once, and again only when
// what went wrong changes, so that a service whose LCDd is down keeps a
// small log. `last` is the line reported last, updated.
std::string RetryReport(const std::string& server, bool greeted, const std::string& error,
                        int attempt, std::string& last);

struct LcdprocOptions {
  std::string host = "127.0.0.1";
  std::string port = "13666";
  DisplayCharset charset = DisplayCharset::Cp1251;
  long max_rows = 0;     // 0: the server's height
  long max_columns = 0;  // 0: the server's width
  long count = 0;        // frames before exiting; 0 means until stopped
  long interval_ms = 1000;
};

// Parses "HOST:PORT", "HOST", ":PORT" or "[IPv6]:PORT" into `options`.
bool ParseServerAddress(std::string_view text, LcdprocOptions& options);

// Shows `screens` on LCDd, each expanded by `render` (given the screen's
// index) once per period, until Ctrl-C, SIGTERM or `count` frames,
// reconnecting whenever the server goes away. LCDd rotates the screens.
// Returns the exit code.
int RunLcdproc(const LcdprocOptions& options, const std::vector<ScreenSpec>& screens,
               const std::function<RenderedScreen(std::size_t)>& render);

}  // namespace zv::host
