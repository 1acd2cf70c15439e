// Conversion settings files (".set"): an XML document, root "Settings", with
// the sections "InputSettings" and "OutputSettings". Every setting is an
// empty element named after it whose attribute "Value" holds its text.
//
// Two levels are offered:
// - TSettingsFileValues with LoadSettingsFile / SaveSettingsFile: every key
//   of the file as a plain record, numbers 1-based as in the file. The
//   desktop program and the updater share this reader; the writer puts into
//   a file exactly what the desktop program's Data Settings dialog saves.
// - TSettingsInfo with ReadSettings: the updater's working record, rows and
//   columns 0-based as the data stream counts them.
//
// Reading rules: a missing element or attribute gives the key's default;
// an integer that does not read as a 32-bit decimal number (surrounding
// blanks allowed) gives the default; Booleans are "True" or "False" in any
// case, anything else gives the default. Character keys hold one byte: the
// first character of the text when it is ASCII; a character from U+0080 to
// U+00FF stands for the byte of the same value (the single-byte code page
// point files are written in), and the writer encodes such bytes that way;
// any other character, and an empty text, gives the key's default.
//
// Nothing here touches shared state.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "DataStream.h"

namespace veltrana {

// A settings file that is not well-formed XML (an empty file included), that
// cannot be read, or that cannot be written. The message names the file and
// carries the XML reader's description of the fault.
class TSettingsFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Every key of a settings file, values as the file holds them (rows and
// columns 1-based, 0 meaning none where the key allows it). The initial
// values are the defaults a file without the key gives.
struct TSettingsFileValues {
  // InputSettings.
  // "Delimited" or "Fixed"; std::nullopt when the file names neither, in
  // which case readers leave the format they apply to as it was.
  std::optional<TDataFormat> Format = dfDelimited;
  char FieldTerminator = ',';           // NUL: not written
  bool ConsecutiveDelimiters = false;
  std::string FieldBreaks;              // fixed-width break list, e.g. "1, 11, 21"
  char TextDelimiter = '\0';            // NUL: fields are not quoted
  std::int32_t NameRow = 0;             // row of the field names; 0: none
  std::int32_t FirstRow = 1;            // row of the first record
  std::int32_t LastRow = 0;             // row of the last record; 0: to the end
  std::int32_t InputSRIDNumber = 0;     // 0: no input system
  std::int32_t InputRevision = 0;       // 0: the latest revision (updater only)
  std::int32_t XColumn = 0;             // field of X / easting / longitude; 0: none
  std::int32_t YColumn = 0;             // field of Y / northing / latitude; 0: none
  std::int32_t ZColumn = 0;             // field of the height or Cartesian Z; 0: none
  // OutputSettings.
  std::int32_t OutputSRIDNumber = 0;    // 0: no output system
  std::int32_t OutputRevision = 0;      // updater only
  std::int32_t OutputNameRow = 1;       // non-zero: write a header line (updater only)
  std::int32_t PreferredDatum = 0;      // TVerticalDatumCode (updater only)
  bool IncludeDatum = false;            // add a vertical-datum column
};

// Reads every key of the settings file FileName. Throws TSettingsFileError
// when the file cannot be read or is not well-formed XML. The root element's
// name is not checked; unknown elements and attributes are ignored.
TSettingsFileValues LoadSettingsFile(const std::string& FileName);

// Writes Values to FileName the way the desktop program saves its settings:
// in "InputSettings", in this order, Format; FieldTerminator unless NUL;
// ConsecutiveDelimiters; FieldBreaks unless empty; TextDelimiter unless NUL;
// NameRow, FirstRow, LastRow unless 0, 1, 0; and, when InputSRIDNumber is not
// 0, SRIDNumber followed by XColumn, YColumn, ZColumn each unless 0. When
// OutputSRIDNumber is not 0, "OutputSettings" gets SRIDNumber and
// IncludeDatum. The keys only the updater reads (both Revision keys, the
// output NameRow and PreferredDatum) are never written. Control characters
// (a tab terminator) are written as character references, so they read back
// unchanged. An existing FileName is parsed first and must be well-formed;
// nothing of its content survives. Throws TSettingsFileError when the
// existing file is not well-formed XML or the file cannot be written.
void SaveSettingsFile(const std::string& FileName, const TSettingsFileValues& Values);

// One settings file in the updater's terms. A fresh record is all zeros,
// empty strings and false.
struct TSettingsInfo {
  std::int32_t NameRow = 0;              // 0-based line of the names, -1 none
  std::int32_t FirstRow = 0;             // 0-based line of the first record
  std::int32_t LastRow = 0;              // 0-based line of the last record, -1 to the end
  std::string FieldBreaks;
  bool ConsecutiveDelimiters = false;
  char FieldTerminator = '\0';
  TDataFormat Format = dfDelimited;
  bool IncludeDatum = false;
  bool OutputNameRow = false;            // write a header line
  std::int32_t PreferredDatum = 0;       // TVerticalDatumCode; 0: see ConvertFile
  char TextDelimiter = '\0';             // NUL: no quoting
  std::int32_t InputSRID = 0;
  std::int32_t InputRevision = 0;
  std::int32_t XColumn = 0;              // 0-based fields, -1 none
  std::int32_t YColumn = 0;
  std::int32_t ZColumn = 0;
  std::int32_t OutputSRID = 0;
  std::int32_t OutputRevision = 0;
  // Not in the file: set by the updater, completed by ConvertFile.
  std::string OutputXName;
  std::string OutputYName;
  std::string OutputZName;
  std::int32_t XYDecimals = 0;           // decimals of output plane coordinates
  std::int32_t ZDecimals = 0;            // decimals of output heights
  bool PadDecimals = false;              // keep trailing zero decimals
};

// The updater's reader. Fills Settings from FileName (through
// LoadSettingsFile) in this order: Format (left unchanged when the file names
// neither format), FieldTerminator, ConsecutiveDelimiters, FieldBreaks,
// TextDelimiter, NameRow - 1, FirstRow - 1, LastRow - 1, InputSRID,
// InputRevision, XColumn - 1, YColumn - 1, ZColumn - 1, then OutputSRID,
// OutputRevision, OutputNameRow, PreferredDatum, IncludeDatum.
// Returns false, with the fields up to the failing column filled, when the
// file names no X field or no Y field: a missing, zero, negative or
// non-integer XColumn or YColumn. A ZColumn below 1 means no height field
// (-1). The output names, decimals and PadDecimals are not touched.
// Throws TSettingsFileError when the file cannot be read or is not
// well-formed XML.
bool ReadSettings(const std::string& FileName, TSettingsInfo& Settings);

}  // namespace veltrana
