// The console updater: re-computes a point file of British National Grid,
// Irish Transverse Mercator or Irish Grid coordinates made with the 2002
// transformations into the 2015 ones.
//
// Command line: three file names (settings, input, output: the first three
// parameters that do not begin with "-") and the options --help (-h),
// --protect (-p) and --silent (-s), in any order. Every handled problem is
// one message line on the console and ends the run normally.
//
// Shared state: a run converts with the process-wide registered systems
// (their datum fields change), so the geodesy units must have been started
// (TUpdaterStartup) and only one run may be active at a time.
#pragma once

#include <cstdint>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "SettingsFile.h"

namespace veltrana {

// Whether any of Parameters selects the option with the one-letter name
// ShortName or the long name LongName, compared without regard to case.
// Parameters are examined from the last to the first; one is considered
// only when it is longer than one character and begins with "-". Its first
// "-" is removed; when a second "-" follows, that one is removed too and
// everything from the first "=" on is dropped. So "-h", "-H", "--help",
// "-help", "--h" and "--help=yes" all select "help" / 'h'.
bool HasOption(const std::vector<std::string>& Parameters, char ShortName, std::string_view LongName);

// The parameters that are not options, in order: every parameter whose first
// character is not "-" (an empty parameter included). "-" alone is neither
// an option nor an argument.
std::vector<std::string> CollectArguments(const std::vector<std::string>& Parameters);

// Name made absolute against the current folder and lexically normalised;
// an empty name stands for the current folder itself.
std::string AbsoluteFileName(const std::string& Name);

// The fixed 2002 -> 2015 conversion of one input SRID.
struct TFixedConversion {
  std::int32_t SRID;
  const char* OutputXName;  // "" lets the pipeline build the name
  const char* OutputYName;
};
inline constexpr TFixedConversion FixedConversions[] = {
    {27700, "OSTN15Easting", "OSTN15Northing"},  // British National Grid
    {2157, "", ""},                               // Irish Transverse Mercator
    {29903, "", ""},                              // Irish Grid
};
inline constexpr std::int32_t UpdaterInputRevision = 2002;
inline constexpr std::int32_t UpdaterOutputRevision = 2015;
inline constexpr const char* UpdaterOutputZName = "OSGM15Elevation";
// Decimal places of every output plane coordinate and height (millimetres).
inline constexpr std::int32_t UpdaterOutputDecimals = 3;

class SkerrowApplication {
 public:
  // ExeName: the program's own path (argv[0]); Parameters: the command line
  // without it. Everything is printed to Console.
  SkerrowApplication(std::string ExeName, std::vector<std::string> Parameters,
                     std::ostream& Console = std::cout);

  // The whole run: checks the command line and files in a fixed order,
  // printing one message for the first problem found, then converts.
  // Returns the exit status: 0 for a conversion, the help text and every
  // handled problem. Throws what ReadSettings and ConvertFile throw (a
  // settings file that is not XML, an unreadable input file, a bad break
  // list, a conversion error, a failed write).
  int Run();

  // Prints the three banner lines unless Silent.
  void WriteHeader();
  // Prints the usage text, also when Silent.
  void WriteHelp();
  // Prints Text as one line unless Silent.
  void WriteMessage(const std::string& Text);
  // Fills Arguments from the parameters.
  void CollectArguments();
  // Whether FileName can be created: creates it (truncating an existing
  // file), closes and deletes it. Touches the file system.
  static bool CanCreateFile(const std::string& FileName);

  std::vector<std::string> Arguments;
  std::string InputFileName;
  std::string OutputFileName;
  std::string SettingsFileName;
  TSettingsInfo Settings;
  bool Protect = false;
  bool Silent = false;

 private:
  bool HasOption(char ShortName, std::string_view LongName) const;
  // Applies the fixed conversion of Settings.InputSRID; false when there is
  // none for that SRID.
  bool FixConversion();

  std::string FExeName;
  std::vector<std::string> FParameters;
  std::ostream& FConsole;
};

}  // namespace veltrana
