#include "NumberText.h"

#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

namespace veltrana {

namespace {

TNumberFormat GNumberFormat;

// Longest number text ReadNumber accepts; longer texts are refused rather
// than copied (a real coordinate never comes close).
constexpr std::size_t MaxNumberLength = 256;
// Decimal places beyond which a double carries no more information.
constexpr int MaxFixedDecimals = 17;
// Significant digits of the general format.
constexpr int GeneralDigits = 15;

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

std::string_view TrimBlanks(std::string_view Text) {
  while (!Text.empty() && IsBlank(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && IsBlank(Text.back())) Text.remove_suffix(1);
  return Text;
}

char SingleByte(const char* Text, char Fallback) {
  if (Text == nullptr || Text[0] == '\0') return '\0';
  return std::strlen(Text) == 1 ? Text[0] : Fallback;
}

}  // namespace

const TNumberFormat& NumberFormat() { return GNumberFormat; }

void SetNumberFormat(const TNumberFormat& Format) { GNumberFormat = Format; }

void InitializeNumberFormat() {
  TNumberFormat Format;
  if (std::setlocale(LC_NUMERIC, "") != nullptr) {
    const std::lconv* Conv = std::localeconv();
    Format.DecimalSeparator = SingleByte(Conv->decimal_point, '.');
    if (Format.DecimalSeparator == '\0') Format.DecimalSeparator = '.';
    Format.ThousandSeparator = SingleByte(Conv->thousands_sep, '\0');
    if (Format.ThousandSeparator == Format.DecimalSeparator) Format.ThousandSeparator = '\0';
  }
  std::setlocale(LC_NUMERIC, "C");
  GNumberFormat = Format;
}

namespace {

// Powers of ten that are exact doubles (10^22 is the largest).
constexpr double ExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int MaxExactPower = 22;
constexpr std::uint64_t MaxExactInteger = std::uint64_t{1} << 53;

// Reads digits with at most one DecimalMark (no sign, no exponent) when the
// digits form an integer of at most 2^53 and at most 22 of them follow the
// mark: the value is then that integer divided by an exact power of ten, and
// the one correctly rounded division gives the correctly rounded value, the
// same double as the general reader. False for any other text (the caller
// then uses the general reader).
bool ReadShortDecimal(std::string_view Text, char DecimalMark, double& Value) {
  std::uint64_t Digits = 0;
  int Decimals = 0;
  bool Mark = false;
  bool AnyDigit = false;
  for (const char C : Text) {
    if (C >= '0' && C <= '9') {
      Digits = Digits * 10 + static_cast<std::uint64_t>(C - '0');
      if (Digits > MaxExactInteger) return false;
      AnyDigit = true;
      if (Mark && ++Decimals > MaxExactPower) return false;
    } else if (C == DecimalMark && !Mark) {
      Mark = true;
    } else {
      return false;
    }
  }
  if (!AnyDigit) return false;
  Value = static_cast<double>(Digits) / ExactPowersOfTen[Decimals];
  return true;
}

}  // namespace

bool ReadNumber(std::string_view Text, double& Value, char DecimalMark) {
  Text = TrimBlanks(Text);
  if (Text.empty() || Text.size() > MaxNumberLength) return false;
  bool Negative = false;
  if (Text.front() == '+' || Text.front() == '-') {
    Negative = Text.front() == '-';
    Text.remove_prefix(1);
  }
  // After the one sign a digit or the mark must follow (from_chars would
  // take a second "-").
  if (Text.empty() || !((Text.front() >= '0' && Text.front() <= '9') || Text.front() == DecimalMark))
    return false;
  if (double Short = 0.0; ReadShortDecimal(Text, DecimalMark, Short)) {
    Value = Negative ? -Short : Short;
    return true;
  }
  if (DecimalMark == '.') {
    // No mark to translate: from_chars reads the text in place. It also takes
    // "inf", "nan" and a second sign, which the checks after it refuse.
    double Result = 0.0;
    const char* Begin = Text.data();
    const char* Finish = Begin + Text.size();
    const auto [End, Error] = std::from_chars(Begin, Finish, Result);
    if (Error != std::errc() || End != Finish || !std::isfinite(Result)) return false;
    Value = Negative ? -Result : Result;
    return true;
  }
  // Copy into a buffer with "." as the mark; refuse anything from_chars would
  // take that is not a plain decimal number (inf, nan, hex, a second sign).
  char Buffer[MaxNumberLength];
  std::size_t Length = 0;
  bool Digits = false;
  for (char C : Text) {
    if (C >= '0' && C <= '9') {
      Digits = true;
    } else if (C == DecimalMark) {
      C = '.';
    } else if (C == 'e' || C == 'E' || C == '+' || C == '-') {
      // exponent parts; from_chars checks their order
    } else {
      return false;
    }
    Buffer[Length++] = C;
  }
  if (!Digits) return false;
  double Result = 0.0;
  const auto [End, Error] = std::from_chars(Buffer, Buffer + Length, Result);
  if (Error != std::errc() || End != Buffer + Length || !std::isfinite(Result)) return false;
  Value = Negative ? -Result : Result;
  return true;
}

bool ReadNumber(std::string_view Text, double& Value) {
  const TNumberFormat& F = GNumberFormat;
  if (F.ThousandSeparator != '\0' && Text.find(F.ThousandSeparator) != std::string_view::npos)
    return false;
  return ReadNumber(Text, Value, F.DecimalSeparator);
}

namespace {

#ifdef __SIZEOF_INT128__
__extension__ using TUInt128 = unsigned __int128;

// Magnitudes below this (2^53) are formatted by ExactFixed.
constexpr double ExactFixedLimit = 9007199254740992.0;
constexpr int MantissaBits = 52;
constexpr int ExponentBias = 1075;  // of the integer mantissa: value = m x 2^(E - 1075)
constexpr std::uint64_t ExponentMask = 0x7ff;
constexpr int ShiftLimit = 128;  // bits of TUInt128

constexpr std::uint64_t PowersOfTen[] = {
    1ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL, 1000000ULL, 10000000ULL, 100000000ULL,
    1000000000ULL, 10000000000ULL, 100000000000ULL, 1000000000000ULL, 10000000000000ULL,
    100000000000000ULL, 1000000000000000ULL, 10000000000000000ULL, 100000000000000000ULL};
static_assert(sizeof(PowersOfTen) / sizeof(PowersOfTen[0]) == MaxFixedDecimals + 1);

// The fixed text of a finite Value below 2^53 in magnitude, as std::to_chars
// writes it: the exact binary value m x 2^e times 10^Decimals is rounded to
// an integer, half to even, in 128-bit integers (m < 2^53 and 10^17 < 2^57,
// so no product overflows), then written with Decimals decimals. The general
// routine formats any double but takes several times as long.
void ExactFixed(std::string& Out, double Value, int Decimals, char DecimalMark) {
  const auto Bits = std::bit_cast<std::uint64_t>(Value);
  const auto Exponent = static_cast<int>((Bits >> MantissaBits) & ExponentMask);
  const std::uint64_t Fraction = Bits & ((std::uint64_t{1} << MantissaBits) - 1);
  const std::uint64_t Mantissa = Exponent == 0 ? Fraction : Fraction | (std::uint64_t{1} << MantissaBits);
  const int Shift = ExponentBias - (Exponent == 0 ? 1 : Exponent);  // value = Mantissa / 2^Shift
  const TUInt128 Scaled = static_cast<TUInt128>(Mantissa) * PowersOfTen[Decimals];
  TUInt128 Rounded = 0;
  if (Shift <= 0) {
    Rounded = Scaled << -Shift;  // only 0 below the limit
  } else if (Shift < ShiftLimit) {
    Rounded = Scaled >> Shift;
    const TUInt128 Rest = Scaled - (Rounded << Shift);
    const TUInt128 Half = static_cast<TUInt128>(1) << (Shift - 1);
    if (Rest > Half || (Rest == Half && (Rounded & 1) != 0)) ++Rounded;
  }  // else Scaled < 2^110 is below half a unit: 0
  // Sign, at most 16 integer digits, the mark and at most 17 decimals.
  char Text[40];
  char* End = Text;
  if (std::signbit(Value)) *End++ = '-';
  const std::uint64_t Unit = PowersOfTen[Decimals];
  std::uint64_t Whole = 0;
  std::uint64_t Part = 0;
  if (Rounded <= std::numeric_limits<std::uint64_t>::max()) {
    // Nearly always: a 64-bit division is several times faster.
    const auto Narrow = static_cast<std::uint64_t>(Rounded);
    Whole = Narrow / Unit;
    Part = Narrow % Unit;
  } else {
    Whole = static_cast<std::uint64_t>(Rounded / Unit);
    Part = static_cast<std::uint64_t>(Rounded % Unit);
  }
  End = std::to_chars(End, Text + sizeof Text, Whole).ptr;
  if (Decimals > 0) {
    *End++ = DecimalMark;
    char Digits[20];
    const char* DigitsEnd = std::to_chars(Digits, Digits + sizeof Digits, Part).ptr;
    const auto Written = static_cast<int>(DigitsEnd - Digits);
    for (int Zero = Written; Zero < Decimals; ++Zero) *End++ = '0';
    for (const char* D = Digits; D != DigitsEnd; ++D) *End++ = *D;
  }
  Out.append(Text, static_cast<std::size_t>(End - Text));
}
#endif

}  // namespace

void AppendFixed(std::string& Out, double Value, int Decimals, char DecimalMark) {
  if (Decimals < 0) Decimals = 0;
  if (Decimals > MaxFixedDecimals) Decimals = MaxFixedDecimals;
#ifdef __SIZEOF_INT128__
  if (std::fabs(Value) < ExactFixedLimit) {  // false for NaN and infinities
    ExactFixed(Out, Value, Decimals, DecimalMark);
    return;
  }
#endif
  // 309 integer digits at most for a double, plus sign, mark and decimals.
  char Buffer[352];
  const auto Result =
      std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::fixed, Decimals);
  for (char* P = Buffer; P != Result.ptr; ++P)
    if (*P == '.') *P = DecimalMark;
  Out.append(Buffer, static_cast<std::size_t>(Result.ptr - Buffer));
}

std::string FixedText(double Value, int Decimals, char DecimalMark) {
  std::string Text;
  AppendFixed(Text, Value, Decimals, DecimalMark);
  return Text;
}

std::string GeneralText(double Value, char DecimalMark) {
  char Buffer[64];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value,
                                    std::chars_format::general, GeneralDigits);
  for (char* P = Buffer; P != Result.ptr; ++P)
    if (*P == '.') *P = DecimalMark;
  return std::string(Buffer, Result.ptr);
}

}  // namespace veltrana
