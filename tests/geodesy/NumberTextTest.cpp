// Number text: reading refuses everything but plain decimal numbers; the
// separators come from the locale the environment selects.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "NumberText.h"

using namespace veltrana;

namespace {
class NumberTextTest : public ::testing::Test {
 protected:
  void TearDown() override { SetNumberFormat({}); }
};
}  // namespace

TEST_F(NumberTextTest, ReadsPlainNumbers) {
  struct Row { const char* Name; const char* Text; char Mark; bool Ok; double Value; };
  const Row Rows[] = {
      {"Integer", "42", '.', true, 42.0},
      {"Blanks", " \t-3.25 ", '.', true, -3.25},
      {"Plus", "+7.5", '.', true, 7.5},
      {"Exponent", "1.5e3", '.', true, 1500.0},
      {"LeadingMark", ".5", '.', true, 0.5},
      {"Comma", "12,75", ',', true, 12.75},
      {"DotUnderComma", "12.75", ',', false, 0},
      {"Empty", "", '.', false, 0},
      {"SignOnly", "-", '.', false, 0},
      {"MarkOnly", ".", '.', false, 0},
      {"TwoSigns", "--1", '.', false, 0},
      {"Infinity", "inf", '.', false, 0},
      {"NaN", "nan", '.', false, 0},
      {"Hex", "0x10", '.', false, 0},
      {"Trailing", "1.5m", '.', false, 0},
      {"InnerBlank", "1 5", '.', false, 0},
      {"Overflow", "1e400", '.', false, 0},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    double V = -999.0;
    EXPECT_EQ(ReadNumber(R.Text, V, R.Mark), R.Ok);
    EXPECT_EQ(V, R.Ok ? R.Value : -999.0);
  }
}

TEST_F(NumberTextTest, ThousandsSeparatorRefused) {
  SetNumberFormat({',', '.'});
  double V = 0;
  EXPECT_TRUE(ReadNumber("1234,5", V));
  EXPECT_EQ(V, 1234.5);
  EXPECT_FALSE(ReadNumber("1.234,5", V));
}

TEST_F(NumberTextTest, WritesFixedAndGeneral) {
  EXPECT_EQ(FixedText(400000.0, 3, '.'), "400000.000");
  EXPECT_EQ(FixedText(2.5, 0, '.'), "2");  // round half to even of the binary value
  EXPECT_EQ(FixedText(-1.23456, 2, ','), "-1,23");
  EXPECT_EQ(GeneralText(0.1, '.'), "0.1");
  EXPECT_EQ(GeneralText(1234567.125, ','), "1234567,125");
  EXPECT_EQ(GeneralText(1.0 / 3.0, '.'), "0.333333333333333");
}

TEST_F(NumberTextTest, SeparatorFromDecimalCommaLocale) {
  const char* Saved = std::getenv("LC_ALL");
  const std::string Restore = Saved ? Saved : "";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 not installed";
  std::setlocale(LC_NUMERIC, "C");
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  InitializeNumberFormat();
  if (Saved) setenv("LC_ALL", Restore.c_str(), 1); else unsetenv("LC_ALL");
  EXPECT_EQ(NumberFormat().DecimalSeparator, ',');
  EXPECT_EQ(NumberFormat().ThousandSeparator, '.');
  // The C library itself stays on "C".
  EXPECT_STREQ(std::localeconv()->decimal_point, ".");
}
