#include "NumberText.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>
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

void AppendFixed(std::string& Out, double Value, int Decimals, char DecimalMark) {
  if (Decimals < 0) Decimals = 0;
  if (Decimals > MaxFixedDecimals) Decimals = MaxFixedDecimals;
  // 309 integer digits at most for a double, plus sign, mark and decimals.
  char Buffer[352];
  const auto Result =
      std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::fixed, Decimals);
  for (char* P = Buffer; P != Result.ptr; ++P)
    if (*P == '.') *P = DecimalMark;
  Out.append(Buffer, Result.ptr);
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
