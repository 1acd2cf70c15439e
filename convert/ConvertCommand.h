// veltrana-convert: converts points between any two registered systems, for
// scripts. The console program only turns text into ConvertCoordinates calls
// and back; everything here is testable without a process.
//
// Shared state: converts through the process-wide registry (the target's
// LastVerticalDatum, the Irish systems' PreferredVerticalDatum).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "CoordinateSystems.h"

namespace veltrana {

// Exit statuses of the program.
inline constexpr int ExitAllConverted = 0;
inline constexpr int ExitSomeFailed = 1;
inline constexpr int ExitUsage = 2;

struct TConvertOptions {
  bool Help = false;
  int SourceIndex = -1;
  int TargetIndex = -1;
  TVerticalDatumCode IrishDatum = vdMalinHead;
  std::string FileName;  // empty: standard input
};

// The usage text (several lines, ending with a line break).
std::string ConvertUsage();

// Resolves "SRID" or "SRID@REVISION" (decimal) against the registry; no
// revision means the latest. Returns the index, or -1 when the text is not of
// that form or names no registered system.
int ParseSystemArgument(std::string_view Text);

// Reads the arguments after the program name. Returns false with a one-line
// message in Error for unknown options, a bad --datum value, an unknown
// system or a wrong number of arguments; control bytes of an argument quoted
// in the message are written as \xNN (a line break as \x0A).
bool ParseConvertArguments(const std::vector<std::string>& Arguments, TConvertOptions& Options,
                           std::string& Error);

// Sets the preferred vertical datum of every registered Irish system
// (SRIDs 2157 and 29903).
void SetIrishPreferredDatum(TVerticalDatumCode Datum);

enum TPointLine {
  plPoint,        // two or three numbers were read
  plPassThrough,  // empty line or comment ("#" first): copied unchanged
  plBad,          // anything else
};

// Splits a line (without its line end) at blanks, tabs and commas and reads
// two or three numbers with "." as decimal mark; a missing third is 0.
// Values[0..2] hold the numbers in the line's order. Reads only Line.
TPointLine ReadPointLine(std::string_view Line, double (&Values)[3]);

// Appends one output line (with "\n"): the three components in the target's
// presented order, degrees with 10 decimals, metres with 4, then the datum
// abbreviation or "-"; "* * * -" for NullCoordinates.
void AppendPointLine(std::string& Out, const TCoordinateSystem& Target, const TCoordinates& Point,
                     TVerticalDatumCode Datum);

// Converts every line read from the file descriptor Input to Output, in
// constant memory; messages about unreadable lines go to Errors.
// FlushEachLine writes what is converted as soon as it is read (for
// terminals). Reading and writing run on two helper threads; conversions run
// on the calling thread only. Returns ExitAllConverted or ExitSomeFailed; an
// unreadable input or a failed write is reported to Errors and returns
// ExitSomeFailed.
int ConvertStream(const TConvertOptions& Options, int Input, std::FILE* Output, std::FILE* Errors,
                  bool FlushEachLine);

// The whole program after start-up: arguments (without the program name) to
// exit status.
int RunConvert(const std::vector<std::string>& Arguments);

}  // namespace veltrana
