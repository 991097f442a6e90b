// The host stand-in's screen expansion, LCD box and text conversion, with a
// scripted plugin behind the value callback.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/cp1251.h"
#include "zelvane-lcd/lcd.h"
#include "zelvane-lcd/screen.h"

namespace {

using zv::host::Macro;
using zv::host::MacroValue;
using zv::host::RenderedScreen;
using zv::host::RenderScreen;

const std::vector<Macro> kMacros = {{"$zvCheck", 0}, {"$zvTemp", 1}, {"$zvFan", 2}, {"$zvVolt", 3}};

// Records every call and answers "<code>:<param>" (param "-" when null),
// "#skip" for code 0 when asked to, and an error for the param "bad".
struct ScriptedPlugin {
  bool skip = false;
  std::vector<std::string> calls;

  RenderedScreen Render(const std::vector<std::string>& lines,
                        const std::vector<Macro>& macros = kMacros) {
    return RenderScreen(lines, macros, [this](std::int32_t code, const char* param) {
      const std::string arg = param != nullptr ? param : "-";
      calls.push_back(std::to_string(code) + ":" + arg);
      if (arg == "bad") {
        return MacroValue{true, "E(" + arg + ")"};
      }
      if (code == 0) {
        return MacroValue{false, skip ? "#skip" : ""};
      }
      // Appended piecewise: "<" + std::string trips GCC 12's -Wrestrict
      // false positive (GCC bug 105329) in the mingw build.
      std::string text = "<";
      text += std::to_string(code) + ":" + arg + ">";
      return MacroValue{false, text};
    });
  }
  std::string Line(const std::string& line) {
    const RenderedScreen screen = Render({line});
    return screen.lines.empty() ? "(skipped)" : screen.lines[0];
  }
};

TEST(HostScreen, ExpandsMacrosWithTheirCodesAndArguments) {
  ScriptedPlugin plugin;
  EXPECT_EQ(plugin.Line("T $zvTemp[0]$C F$zvFan[12]$ $zvVolt$!"), "T <1:0>C F<2:12> <3:->!");
  EXPECT_EQ(plugin.Line("$zvCheck$ok"), "ok");
  EXPECT_EQ(plugin.Line("$zvTemp[]$"), "<1:>");  // an empty argument is passed as ""
  EXPECT_EQ(plugin.Line("$zvTemp[ 7]$$zvTemp[-1]$"), "<1: 7><1:-1>");
  EXPECT_EQ(plugin.calls.back(), "1:-1");
}

TEST(HostScreen, TextThatIsNoOccurrenceStaysAsWritten) {
  ScriptedPlugin plugin;
  for (const std::string line :
       {"", "$", "$$", "a$b", "$zvTemp", "$zvTemp[", "$zvTemp[1]", "$zvTemp[1$", "$zvTemp 1$",
        "$zvBogus$", "$zvtemp$", "$zvTempX$", "$zvTemp(1)$", "zvTemp$", "100% $ 5$"}) {
    EXPECT_EQ(plugin.Line(line), line);
  }
  EXPECT_TRUE(plugin.calls.empty());
}

TEST(HostScreen, UnbalancedAndNestedDollarsFindTheInnerOccurrence) {
  ScriptedPlugin plugin;
  EXPECT_EQ(plugin.Line("$$zvFan[1]$$"), "$<2:1>$");
  EXPECT_EQ(plugin.Line("$zvTemp[$zvFan[1]$]$"), "$zvTemp[<2:1>]$");
  EXPECT_EQ(plugin.Line("$zvTemp[1$zvFan[2]$"), "$zvTemp[1<2:2>");
  EXPECT_EQ(plugin.Line("$zvTemp[1]]$"), "$zvTemp[1]]$");
  EXPECT_EQ(plugin.Line("$zvTemp[[1]$"), "<1:[1>");  // the plugin judges the argument
  EXPECT_EQ(plugin.Line("$zvCheck$zvTemp[2]$"), "zvTemp[2]$");
}

TEST(HostScreen, LongestMacroNameWins) {
  ScriptedPlugin plugin;
  const std::vector<Macro> macros = {{"$a", 5}, {"$ab", 6}};
  EXPECT_EQ(plugin.Render({"$ab$ $a$b$"}, macros).lines[0], "<6:-> <5:->b$");
}

TEST(HostScreen, ErrorsShowInPlaceAndTheRestGoesOn) {
  ScriptedPlugin plugin;
  const RenderedScreen screen = plugin.Render({"a$zvTemp[bad]$b $zvFan[1]$", "$zvVolt[bad]$"});
  ASSERT_EQ(screen.lines.size(), 2U);
  EXPECT_EQ(screen.lines[0], "aE(bad)b <2:1>");
  EXPECT_EQ(screen.lines[1], "E(bad)");
  using zv::host::MacroError;
  EXPECT_EQ(screen.errors, (std::vector<MacroError>{{0, "$zvTemp[bad]$", "E(bad)"},
                                                    {1, "$zvVolt[bad]$", "E(bad)"}}));
  EXPECT_FALSE(screen.skipped);
}

TEST(HostScreen, SkipAnswerSkipsTheWholeScreenAndStopsAsking) {
  ScriptedPlugin plugin;
  plugin.skip = true;
  const RenderedScreen screen = plugin.Render({"$zvTemp[0]$", "$zvCheck$x", "$zvFan[0]$"});
  EXPECT_TRUE(screen.skipped);
  EXPECT_TRUE(screen.lines.empty());
  EXPECT_EQ(plugin.calls, (std::vector<std::string>{"1:0", "0:-"}));

  plugin.skip = false;
  EXPECT_FALSE(plugin.Render({"$zvCheck$x"}).skipped);
  // Only the exact answer skips.
  const RenderedScreen near = RenderScreen({"$zvTemp$"}, kMacros, [](std::int32_t, const char*) {
    return MacroValue{false, "#skipped"};
  });
  EXPECT_FALSE(near.skipped);
  EXPECT_EQ(near.lines[0], "#skipped");
}

TEST(HostScreen, HostileTextNeitherCrashesNorReadsOutside) {
  ScriptedPlugin plugin;
  std::string bytes;
  for (int b = 0; b < 256; ++b) {
    bytes += static_cast<char>(b);
  }
  EXPECT_EQ(plugin.Line(bytes), bytes);
  const std::string with_nul("$zvTemp[1\0 2]$", 14);
  EXPECT_EQ(plugin.Line(with_nul), "<1:1>");  // the argument ends at the NUL, as C text does
  std::string huge;
  for (int i = 0; i < 100000; ++i) {
    huge += "$zvTemp[";
  }
  huge += "3]$";
  const std::string out = plugin.Line(huge);
  EXPECT_EQ(out.size(), huge.size() - std::string("$zvTemp[3]$").size() + 5);
  EXPECT_EQ(plugin.calls.size(), 2U);
}

TEST(HostScreen, MacrosComeFromTheDescriptorTable) {
  PluginInfo info{};
  const char* empty = "";
  for (int i = 0; i < ZV_TABLE_ENTRIES; ++i) {
    info.Macros[i] = empty;
  }
  info.Macros[0] = "$zvNever";  // entry 0 is no macro
  info.Macros[1] = "$zvCheck";
  info.Macros[3] = "$zvFan";
  info.Macros[4] = nullptr;
  info.Macros[5] = "noDollar";
  info.Macros[6] = "$";
  info.Macros[16] = "$zvLast";
  const auto macros = zv::host::MacrosOf(info);
  ASSERT_EQ(macros.size(), 3U);
  EXPECT_EQ(macros[0].name, "$zvCheck");
  EXPECT_EQ(macros[0].code, 0);
  EXPECT_EQ(macros[1].name, "$zvFan");
  EXPECT_EQ(macros[1].code, 2);
  EXPECT_EQ(macros[2].code, 15);
}

TEST(HostText, Cp1251BecomesUtf8) {
  EXPECT_EQ(zv::common::Cp1251ToUtf8("\xF2\xE5\xEC\xEF\xE5\xF0\xE0\xF2\xF3\xF0\xE0"),
            "температура");
  EXPECT_EQ(zv::common::Cp1251ToUtf8("\xC0\xDF\xE0\xFF\xA8\xB8 \xB9 \x88"), "АЯаяЁё № €");
  EXPECT_EQ(zv::common::Cp1251ToUtf8("\x98"), "\uFFFD");
  EXPECT_EQ(zv::common::Cp1251ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

// UTF-8 to Windows-1251, strict and for messages: only well-formed UTF-8 of
// characters 1251 has converts; overlong forms, surrogates, cut sequences
// and stray bytes do not.
TEST(HostText, Utf8BecomesCp1251OnlyWhenWellFormed) {
  struct Case {
    std::string utf8;
    std::optional<std::string> strict;
    std::string lossy;
  };
  const Case cases[] = {
      {"temp", "temp", "temp"},
      {"температура №", "\xF2\xE5\xEC\xEF\xE5\xF0\xE0\xF2\xF3\xF0\xE0 \xB9",
       "\xF2\xE5\xEC\xEF\xE5\xF0\xE0\xF2\xF3\xF0\xE0 \xB9"},
      {"€Ёё", "\x88\xA8\xB8", "\x88\xA8\xB8"},
      {"a\u4E2Db", std::nullopt, "a?b"},      // a character 1251 lacks
      {"a\U0001F600b", std::nullopt, "a?b"},  // four bytes, lacking too
      {"\uFFFD", std::nullopt, "?"},          // 0x98 is unassigned, not U+FFFD
      {"a\xC1\x81"
       "b",
       std::nullopt, "a??b"},                      // overlong 'A'
      {"\xED\xA0\x80", std::nullopt, "???"},       // a surrogate
      {"\xF4\x90\x80\x80", std::nullopt, "????"},  // above U+10FFFF
      {"ab\xD0", std::nullopt, "ab?"},             // cut short
      {"\x80x", std::nullopt, "?x"},               // a stray continuation byte
  };
  for (const Case& c : cases) {
    EXPECT_EQ(zv::common::Utf8ToCp1251(c.utf8), c.strict) << c.utf8;
    EXPECT_EQ(zv::common::Utf8ToCp1251Lossy(c.utf8), c.lossy) << c.utf8;
  }
}

TEST(HostLcd, BoxCutsAndPadsByCharacter) {
  RenderedScreen screen;
  screen.lines = {"Тест 12345", "a\x1b[2Jb\tc", "", "extra line"};
  const auto box = zv::host::DrawLcd(screen, 3, 6);
  ASSERT_EQ(box.size(), 5U);
  EXPECT_EQ(box[0], "┌──────┐");
  EXPECT_EQ(box[1], "│Тест 1│");
  EXPECT_EQ(box[2], "│a?[2Jb│");
  EXPECT_EQ(box[3], "│      │");
  EXPECT_EQ(box[4], "└──────┘");

  RenderedScreen skipped;
  skipped.skipped = true;
  const auto shown = zv::host::DrawLcd(skipped, 4, 20);
  EXPECT_EQ(shown[2], "│screen skipped      │");
}

}  // namespace
