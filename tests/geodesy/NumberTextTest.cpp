// Number text: reading refuses everything but plain decimal numbers; the
// separators come from the locale the environment selects.
#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <clocale>
#include <cmath>
#include <random>
#include <string>
#include <vector>
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

// Fixed text is written by exact integer rounding for magnitudes below 2^53;
// it must be what the C++ library's own fixed formatting writes (the exact
// binary value rounded half to even) for every value and decimal count.
// Reference: std::to_chars with std::chars_format::fixed.
TEST(FixedTextTest, MatchesTheLibrarysExactRounding) {
  const auto Reference = [](double Value, int Decimals) {
    char Buffer[400];
    const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::fixed, Decimals);
    return std::string(Buffer, Result.ptr);
  };
  std::vector<double> Values = {0.0, -0.0, 0.5, 1.5, 2.5, -2.5, 0.125, 0.375, 0.0005, 1.0005, 2.675, 999.9995,
                                0.1, 1e-5, 4.9e-324, 2.2250738585072014e-308, 9007199254740991.0,
                                -9007199254740991.0, 9007199254740992.0, 1e300, 651409.8038, 5817709.52625};
  std::mt19937_64 Random(20261211);
  std::uniform_int_distribution<int> Exponent(-1080, 54);
  std::uniform_real_distribution<double> Mantissa(0.5, 1.0);
  for (int I = 0; I < 4000; ++I) {
    const double Value = std::ldexp(Mantissa(Random), Exponent(Random));
    Values.push_back(I % 2 == 0 ? Value : -Value);
    // Odd multiples of small powers of two: exact halves at some decimal count.
    const auto Odd = static_cast<double>(2 * (Random() % 1000000) + 1);
    Values.push_back(std::ldexp(Odd, -static_cast<int>(1 + Random() % 12)));
  }
  for (const double Value : Values) {
    for (int Decimals = 0; Decimals <= 17; ++Decimals) {
      const std::string Expected = Reference(Value, Decimals);
      ASSERT_EQ(FixedText(Value, Decimals, '.'), Expected) << Value << " with " << Decimals << " decimals";
    }
  }
  EXPECT_EQ(FixedText(-2.5, 1, ','), "-2,5");
}

// Plain decimals are read by a short exact route; every text must give the
// double the C++ library's reader gives (Reference: std::from_chars), at the
// edges of that route too (2^53, 22 decimals, leading zeros, a bare mark).
TEST(ReadNumberTest, PlainDecimalsReadAsTheLibraryReadsThem) {
  std::vector<std::string> Texts = {"0", "-0", "5.", ".5", "000123.4500", "9007199254740992", "9007199254740993",
                                    "900719925474099.3", "0.1234567890123456789012", "0.12345678901234567890123",
                                    "651409.8038", "-5817709.5262", "1e5", "1.5.3", ".", "-", "1,5", "+2.25"};
  std::mt19937_64 Random(11122026);
  for (int I = 0; I < 20000; ++I) {
    std::string Text = std::to_string(Random() % 10000000);
    const int Decimals = static_cast<int>(Random() % 24);
    if (Decimals > 0) {
      Text += '.';
      for (int D = 0; D < Decimals; ++D) Text += static_cast<char>('0' + Random() % 10);
    }
    Texts.push_back(Text);
  }
  for (const std::string& Text : Texts) {
    double Expected = 0.0;
    const std::string_view Body = Text.front() == '+' || Text.front() == '-' ? std::string_view(Text).substr(1) : Text;
    const auto [End, Error] = std::from_chars(Body.data(), Body.data() + Body.size(), Expected);
    const bool Readable = !Body.empty() && (std::isdigit(static_cast<unsigned char>(Body.front())) || Body.front() == '.') &&
                          Error == std::errc() && End == Body.data() + Body.size();
    if (Text.front() == '-') Expected = -Expected;
    double Value = 0.0;
    ASSERT_EQ(ReadNumber(Text, Value, '.'), Readable) << Text;
    if (Readable) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(Value), std::bit_cast<std::uint64_t>(Expected)) << Text;
    }
  }
  double Comma = 0.0;
  ASSERT_TRUE(ReadNumber("-2,675", Comma, ','));
  EXPECT_EQ(Comma, -2.675);
}
