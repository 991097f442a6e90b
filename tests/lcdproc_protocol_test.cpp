// The texts zv_host exchanges with LCDd: its quoting of widget strings, the
// size in its "connect" answer, the display's encodings, the frames of a
// skipped and a shown screen, and the reconnection back-off.
#include <gtest/gtest.h>

#include "host/lcdproc.h"

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
                "client_set -name zv_host", "screen_add zv1",
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
