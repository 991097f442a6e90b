// The texts zelvane-lcd exchanges with LCDd: its quoting of widget strings, the
// size in its "connect" answer, the display's encodings, the frames of a
// skipped and a shown screen, the reconnection back-off, the bounded lines
// of the server and how its refusals and texts are reported.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/printable.h"
#include "zelvane-lcd/lcdproc.h"

namespace {

using zv::host::DisplayCharset;
using zv::host::EncodeForDisplay;

TEST(LcdprocProtocol, WidgetTextsAreQuotedSoLcddReadsThemBack) {
  using zv::host::QuoteLcdString;
  EXPECT_EQ(QuoteLcdString("T0 45C"), "\"T0 45C\"");
  EXPECT_EQ(QuoteLcdString(""), "\"\"");
  EXPECT_EQ(QuoteLcdString(R"(a"b\c{d}e)"), R"("a\"b\\c\{d\}e")");
  EXPECT_EQ(QuoteLcdString("\xC7\xED"), "\"\xC7\xED\"");  // 8-bit bytes pass unchanged
}

TEST(LcdprocProtocol, ConnectAnswerGivesTheDisplaySize) {
  using zv::host::ParseConnectAnswer;
  const auto size =
      ParseConnectAnswer("connect LCDproc 0.5.9 protocol 0.3 lcd wid 20 hgt 4 cellwid 5 cellhgt 8");
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 20);
  EXPECT_EQ(size->height, 4);
  EXPECT_EQ(ParseConnectAnswer("connect LCDproc 0.5.9 lcd wid 40 hgt 2")->width, 40);
  for (const char* bad : {"huh? no", "connect LCDproc lcd wid 20", "connect lcd wid 0 hgt 4",
                          "connect lcd wid 20x hgt 4", "connect lcd wid 20 hgt 9999", "success"}) {
    EXPECT_FALSE(ParseConnectAnswer(bad)) << bad;
  }
}

TEST(LcdprocProtocol, LinesAreEncodedAndCutForTheDisplay) {
  const std::string text = "Т0 45°C\tок";  // Cyrillic Т, degree sign, a tab, Cyrillic о, к
  EXPECT_EQ(EncodeForDisplay(text, DisplayCharset::Cp1251, 20),
            "\xD2"
            "0 45\xB0"
            "C?\xEE\xEA");
  EXPECT_EQ(EncodeForDisplay(text, DisplayCharset::Ascii, 20), "?0 45?C???");
  EXPECT_EQ(EncodeForDisplay(text, DisplayCharset::Utf8, 20), "Т0 45°C?ок");
  // Cut to the width in cells, which LCDd counts in bytes: a UTF-8 line is
  // cut before a character that would not fit whole.
  EXPECT_EQ(EncodeForDisplay(text, DisplayCharset::Cp1251, 3),
            "\xD2"
            "0 ");
  EXPECT_EQ(EncodeForDisplay(text, DisplayCharset::Utf8, 7), "Т0 45");
  // Characters Windows-1251 lacks, and broken UTF-8, show as '?'.
  EXPECT_EQ(EncodeForDisplay("€ ✓ \xFF", DisplayCharset::Cp1251, 20), "\x88 ? ?");
  EXPECT_EQ(zv::host::ParseDisplayCharset("utf-8"), DisplayCharset::Utf8);
  EXPECT_FALSE(zv::host::ParseDisplayCharset("koi8-r"));
}

TEST(LcdprocProtocol, SkippedScreenIsHiddenAndShownAgain) {
  using zv::host::FrameCommands;
  const zv::host::LcdSize size{10, 2};
  bool hidden = true;  // the screen is made hidden
  zv::host::RenderedScreen shown;
  shown.lines = {"T0 45C", "a very long line", "third"};
  EXPECT_EQ(FrameCommands(2, shown, size, DisplayCharset::Cp1251, hidden),
            (std::vector<std::string>{R"(widget_set zv2 l1 1 1 "T0 45C")",
                                      R"(widget_set zv2 l2 1 2 "a very lon")",
                                      "screen_set zv2 -priority info"}));
  EXPECT_FALSE(hidden);
  zv::host::RenderedScreen skipped;
  skipped.skipped = true;
  EXPECT_EQ(FrameCommands(2, skipped, size, DisplayCharset::Cp1251, hidden),
            std::vector<std::string>{"screen_set zv2 -priority hidden"});
  EXPECT_TRUE(hidden);
  EXPECT_TRUE(FrameCommands(2, skipped, size, DisplayCharset::Cp1251, hidden).empty());
  shown.lines = {"x"};  // a missing line is set empty
  EXPECT_EQ(FrameCommands(1, shown, size, DisplayCharset::Cp1251, hidden)[1],
            R"(widget_set zv1 l2 1 2 "")");
}

TEST(LcdprocProtocol, EachScreenJoinsTheRotationWithItsDurationInEighths) {
  using std::chrono::milliseconds;
  const std::vector<zv::host::ScreenSpec> screens = {
      {"", {"a"}, milliseconds(0)},           // LCDd's own duration
      {"CPU °C", {"b"}, milliseconds(2500)},  // 20 eighths; the name in the charset
      {"x\"y", {"c"}, milliseconds(10)},      // at least one eighth
      {"z", {"d"}, milliseconds(3600000)}};
  EXPECT_EQ(zv::host::ScreenSetupCommands(screens, 1, DisplayCharset::Cp1251),
            (std::vector<std::string>{
                "client_set -name zelvane-lcd", "screen_add zv1",
                R"(screen_set zv1 -name "Zelvane" -heartbeat off -priority hidden)",
                "widget_add zv1 l1 string", "screen_add zv2",
                // 0xB0, Windows-1251's degree sign, in octal
                "screen_set zv2 -name \"CPU \260C\" -heartbeat off -priority hidden -duration 20",
                "widget_add zv2 l1 string", "screen_add zv3",
                R"(screen_set zv3 -name "x\"y" -heartbeat off -priority hidden -duration 1)",
                "widget_add zv3 l1 string", "screen_add zv4",
                "screen_set zv4 -name \"z\" -heartbeat off -priority hidden -duration 28800",
                "widget_add zv4 l1 string"}));
}

TEST(LcdprocProtocol, ReconnectDelayDoublesToABound) {
  std::vector<long> delays;
  delays.reserve(8);
  for (int attempt = 0; attempt < 8; ++attempt) {
    delays.push_back(static_cast<long>(zv::host::ReconnectDelay(attempt).count()));
  }
  EXPECT_EQ(delays, (std::vector<long>{500, 1000, 2000, 4000, 8000, 8000, 8000, 8000}));
  EXPECT_EQ(zv::host::ReconnectDelay(1000000).count(), 8000);
}

TEST(LcdprocProtocol, ReconnectionIsReportedWhileTheWaitsGrowThenOncePerReason) {
  std::string last;
  std::vector<std::string> reports;
  const auto attempt = [&](int number, const char* error, bool greeted = false) {
    reports.push_back(zv::host::RetryReport("h:1", greeted, error, number, last));
  };
  for (int number = 0; number < 8; ++number) {
    attempt(number, "Connection refused");
  }
  attempt(8, "No route to host");
  attempt(9, "No route to host");
  attempt(0, "end of stream", true);  // connected, then lost again
  const std::string refused = "LCDd at h:1 is not reachable (Connection refused); retrying ";
  EXPECT_EQ(reports, (std::vector<std::string>{
                         refused + "in 0.5 s", refused + "in 1.0 s", refused + "in 2.0 s",
                         refused + "in 4.0 s", refused + "every 8.0 s", "", "", "",
                         "LCDd at h:1 is not reachable (No route to host); retrying every 8.0 s",
                         "", "LCDd at h:1 went away (end of stream); retrying in 0.5 s"}));
}

TEST(LcdprocProtocol, ServerAddressForms) {
  zv::host::LcdprocOptions options;
  EXPECT_TRUE(zv::host::ParseServerAddress("lcd.local:1234", options));
  EXPECT_EQ(options.host, "lcd.local");
  EXPECT_EQ(options.port, "1234");
  EXPECT_TRUE(zv::host::ParseServerAddress("[::1]:13666", options));
  EXPECT_EQ(options.host, "::1");
  EXPECT_TRUE(zv::host::ParseServerAddress("other", options));
  EXPECT_EQ(options.host, "other");
  EXPECT_EQ(options.port, "13666");
  for (const char* bad : {"host:", "host:0", "host:70000", "host:12x", "::1:80", "[::1"}) {
    zv::host::LcdprocOptions unchanged;
    EXPECT_FALSE(zv::host::ParseServerAddress(bad, unchanged)) << bad;
  }
}

}  // namespace

// However the server's bytes are cut into reads, the same lines come out;
// a line beyond the bound is a fault as soon as it is longer, newline or not.
TEST(LcdprocProtocol, ServerLinesAreBoundedWhateverTheReads) {
  using Next = zv::host::ServerLines::Next;
  const std::string bound(zv::host::kLongestServerLine, 'b');
  struct Case {
    std::vector<std::string> reads;
    std::vector<std::string> lines;  // taken before the end or the fault
    Next last;
  };
  const std::vector<Case> cases = {
      {{"success\nlisten zv1\n"}, {"success", "listen zv1"}, Next::None},
      {{"succ", "ess\r", "\nhuh? x"}, {"success"}, Next::None},
      {{"", "\n\n"}, {"", ""}, Next::None},
      {{bound + "\n"}, {bound}, Next::None},
      {{bound.substr(1), "bb\n"}, {}, Next::TooLong},
      {{"ok\n" + bound + "b"}, {"ok"}, Next::TooLong},
      {{bound, "\r\n"}, {bound}, Next::None},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    zv::host::ServerLines lines;
    std::vector<std::string> taken;
    Next next = Next::None;
    for (const std::string& read : cases[i].reads) {
      lines.Append(read);
      std::string line;
      while ((next = lines.Take(line)) == Next::Line) {
        taken.push_back(line);
      }
      if (next == Next::TooLong) {
        break;
      }
    }
    EXPECT_EQ(taken, cases[i].lines) << i;
    EXPECT_EQ(next, cases[i].last) << i;
  }
}

// Refusals are told by kind: texts that differ only in their details are
// one kind, reported once, then again a minute later with the count; kinds
// beyond the limit share one report.
TEST(LcdprocProtocol, RefusalsAreReportedByKindAtMostOnceAMinute) {
  using zv::host::RefusalLog;
  EXPECT_EQ(RefusalLog::KindOf("huh? Invalid command \"x\""), "Invalid command");
  EXPECT_EQ(RefusalLog::KindOf("huh? Unknown widget id (l5)"), "Unknown widget id");
  RefusalLog log;
  const auto t0 = RefusalLog::Clock::now();
  EXPECT_EQ(log.Take("huh? Invalid command \"a\"", t0), "huh? Invalid command \"a\"");
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(log.Take("huh? Invalid command \"" + std::to_string(i) + "\"", t0), "") << i;
  }
  EXPECT_EQ(log.Take("huh? Invalid command \"\x1b[2J\"", t0 + std::chrono::seconds(61)),
            "huh? Invalid command \"\\x1b[2J\" (and 100 more refusals like it since the last "
            "report)");
  int reported = 0;
  for (int i = 0; i < 1000; ++i) {
    std::string made_up = "huh? ";
    for (int k = i; k > 0; k /= 26) {
      made_up += static_cast<char>('a' + k % 26);
    }
    reported += log.Take(made_up, t0).empty() ? 0 : 1;
  }
  EXPECT_EQ(reported, static_cast<int>(RefusalLog::kMaxKinds));  // 15 made-up kinds, then "other"
}

// What came from outside is printed with its control characters and broken
// UTF-8 shown as escapes; text, Cyrillic included, passes unchanged.
TEST(LcdprocProtocol, OutsideTextIsPrintedWithControlsEscaped) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"CPU Т°", "CPU Т°"},
      {"a\x1b[31mred", "a\\x1b[31mred"},
      {"line\nfake: log", "line\\x0afake: log"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"del\x7f", "del\\x7f"},
      {"c1\xc2\x9b", "c1\\xc2\\x9b"},
      {"bad\xff\xc3", "bad\\xff\\xc3"},
      {"over\xc0\xaf", "over\\xc0\\xaf"},
  };
  for (const auto& [text, shown] : cases) {
    EXPECT_EQ(zv::common::Printable(text), shown) << shown;
  }
}
