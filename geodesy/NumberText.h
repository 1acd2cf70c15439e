// Number text without locale-dependent stdio: std::from_chars/std::to_chars
// plus the decimal separator of the user's regional settings.
//
// Shared state: the process-wide number format (decimal and thousands
// separators), set once at start-up by InitializeNumberFormat and read by
// every reader and writer of numbers that does not name its own separator.
#pragma once

#include <string>
#include <string_view>

namespace veltrana {

struct TNumberFormat {
  char DecimalSeparator = '.';
  char ThousandSeparator = '\0';  // NUL: the locale groups no digits
};

// The process-wide number format ("." and no grouping until start-up).
const TNumberFormat& NumberFormat();

// Reads the separators of the locale the environment selects for LC_NUMERIC
// (LC_ALL, LC_NUMERIC, LANG) and makes them the process-wide format. The C
// library's own LC_NUMERIC stays "C", so nothing else changes behaviour.
// Multi-byte separators (rare) fall back to "." and no grouping.
void InitializeNumberFormat();

// Sets the process-wide format directly (tests, tools).
void SetNumberFormat(const TNumberFormat& Format);

// Reads a decimal number: optional blanks, an optional "+" or "-", digits with
// at most one decimal mark, an optional exponent, optional blanks; nothing
// else. A text containing the thousands separator, "inf", "nan" or a value
// out of the double range is refused. Returns false and leaves Value
// untouched on refusal. Reads only the bytes of Text.
bool ReadNumber(std::string_view Text, double& Value, char DecimalMark);
// The same with the process-wide separators.
bool ReadNumber(std::string_view Text, double& Value);

// Value rounded to Decimals places (0..17), with DecimalMark before the
// decimals and no grouping. Appends to Out. Non-finite values are written as
// "nan", "inf" or "-inf".
void AppendFixed(std::string& Out, double Value, int Decimals, char DecimalMark);
std::string FixedText(double Value, int Decimals, char DecimalMark);

// Value in up to 15 significant digits, the shortest form ("%.15g" style).
std::string GeneralText(double Value, char DecimalMark);

}  // namespace veltrana
