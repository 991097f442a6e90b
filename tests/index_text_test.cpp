#include "plugin/index_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/exception.h"

namespace {

using zv::plugin::StrToInt;

std::string ConversionError(const char* text) {
  try {
    StrToInt(text);
  } catch (const zv::Exception& error) {
    return error.what();
  }
  return "no error";
}

TEST(IndexText, AcceptsSignedDecimalsWithLeadingBlanks) {
  EXPECT_EQ(StrToInt("0"), 0);
  EXPECT_EQ(StrToInt("31"), 31);
  EXPECT_EQ(StrToInt("-1"), -1);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("007"), 7);
  EXPECT_EQ(StrToInt("  \t2"), 2);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
}

TEST(IndexText, RejectsEverythingElseNamingTheText) {
  for (const char* bad : {"", " ", "-", "+", "abc", "1x", "2 ", "0x1F", "$1F", "1.0", "--1",
                          "2147483648", "-2147483649", "99999999999999999999", "\xC8"}) {
    EXPECT_EQ(ConversionError(bad), std::string("'") + bad + "' is not a valid integer value")
        << "text: " << bad;
  }
}

}  // namespace
