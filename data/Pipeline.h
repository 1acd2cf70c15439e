// The updater's batch conversion: one point file is loaded into a data
// stream, laid out by a settings record, every record's point converted from
// the input system through ETRS89 into the output system, and an output file
// written that repeats each input record and appends the converted
// coordinates (and, on request, the vertical datum of the height).
//
// Shared state: the conversion sets the PreferredVerticalDatum of two
// process-wide registered systems and converts on copies of them (Clone),
// so their LastVerticalDatum is left alone. Numbers are written with the
// process-wide decimal separator (NumberText.h).
//
// Threads: large files are read, converted and formatted by a few worker
// threads (Workers.h); console output and the output file are written by the
// calling thread only, and the results do not depend on the thread count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "Coordinates.h"
#include "CoordinateSystems.h"
#include "DataStream.h"
#include "SettingsFile.h"

namespace veltrana {

// One converted record: the point in the output system in user units
// (decimal degrees for geodetic systems, metres otherwise), and the datum of
// its height. A point that could not be converted is NullCoordinates with
// vdNone.
struct TOutputItem {
  TCoordinates Coordinates;
  TVerticalDatumCode DatumCode = vdNone;
};

// The converted records, one element per record, all converted before
// anything is written. Held as two parallel arrays (coordinates, datum
// codes), 25 bytes per record instead of a padded 32, since the whole file's
// results stay in memory beside the input text.
class TOutputData {
 public:
  // Count elements, each NullCoordinates with vdNone. Throws std::bad_alloc.
  void Resize(std::size_t Count) {
    FCoordinates.assign(Count, NullCoordinates);
    FDatumCodes.assign(Count, vdNone);
  }
  std::size_t Size() const { return FCoordinates.size(); }
  // Element Index (< Size()) by value.
  TOutputItem operator[](std::size_t Index) const { return {FCoordinates[Index], FDatumCodes[Index]}; }
  const TCoordinates& CoordinatesAt(std::size_t Index) const { return FCoordinates[Index]; }
  // Threads may set different elements at once.
  void Set(std::size_t Index, const TOutputItem& Item) {
    FCoordinates[Index] = Item.Coordinates;
    FDatumCodes[Index] = Item.DatumCode;
  }
  // Frees both arrays.
  void Clear() {
    FCoordinates = {};
    FDatumCodes = {};
  }

 private:
  TLargeVector<TCoordinates> FCoordinates;
  TLargeVector<TVerticalDatumCode> FDatumCodes;
};

// The preferred vertical datum given to the systems when the settings name
// none (PreferredDatum 0): the Irish systems' own starting value, so that a
// settings file without the key converts Irish heights on Malin Head.
inline constexpr TVerticalDatumCode DefaultPreferredDatum = vdMalinHead;

// Console progress of the four stages ("Loading", "Parsing", "Transforming",
// "Saveing"). For percent p of a stage titled T:
// - p = 0: unless LastPercent is 0, prints T + " Data." without ending the
//   line; LastPercent := 0.
// - p = 100: unless LastPercent is 100, ends the line, prints T + " Finished"
//   and ends that line; LastPercent := 100.
// - other p: when LastPercent + 5 <= p, prints dots (loading and parsing:
//   (p - LastPercent) div 5 of them; transforming and saving: one) and
//   LastPercent := p.
// Nothing at all is printed unless Verbose. Prints to the stream given at
// construction, which must outlive the handler.
class TProgressHandler {
 public:
  explicit TProgressHandler(bool AVerbose, std::ostream& AConsole = std::cout);

  // When Verbose: Text and a line end.
  void WriteMessage(const std::string& Text);
  // LastPercent := -1, so the next stage's 0 prints its title.
  void ResetProgress();
  // Data-stream progress events (assign through a lambda).
  void LoadProgress(TDataStream& Sender, std::int32_t Percent);
  void ParseProgress(TDataStream& Sender, std::int32_t Percent);
  void TransformProgress(std::int32_t Percent);
  void SaveProgress(std::int32_t Percent);

  // TransformCount := Count, LastPercent := -1, then (Verbose) progress 0.
  void BeginTransform(std::int32_t Count);
  // (Verbose) progress 100 x Index div TransformCount, in 64 bits.
  void TransformStep(std::int32_t Index) {
    if (Verbose) TransformProgress(StepPercent(Index, TransformCount));
  }
  // (Verbose) progress 100.
  void EndTransform();
  // The same for writing, with SaveCount.
  void BeginSave(std::int32_t Count);
  void SaveStep(std::int32_t Index) {
    if (Verbose) SaveProgress(StepPercent(Index, SaveCount));
  }
  void EndSave();

  std::int32_t LastPercent = 0;  // last percentage shown of the stage; -1 none yet
  bool Verbose = false;
  std::int32_t SaveCount = 0;
  std::int32_t TransformCount = 0;

 private:
  static std::int32_t StepPercent(std::int32_t Index, std::int32_t Count);
  void StageProgress(const char* Title, std::int32_t Percent, bool DotPerStep);

  std::ostream* FConsole;
};

// Converts the point file InputFileName into OutputFileName.
//
// Layout: the file is loaded (a ".csv" name switches double-quote quoting on,
// ".tab" the tab terminator), then Settings.Format (with FieldBreaks for the
// fixed layout), FirstRow, LastRow, NameRow, FieldTerminator,
// ConsecutiveDelimiters and TextDelimiter are applied in this order.
//
// Systems: input (InputSRID, InputRevision), output (OutputSRID,
// OutputRevision), revision 0 meaning the latest. Both get Settings.
// PreferredDatum as preferred vertical datum, DefaultPreferredDatum when it
// is 0. Empty OutputXName / OutputYName / OutputZName are filled with the
// output system's abbreviation, "-" and its short axis name
// ("IRENET95-East"); the caller's record keeps them.
//
// Points: X and Y from XColumn and YColumn, Z from ZColumn (0 when it is -1),
// read with ParseCoordinate in the input system's terms (decimal degrees
// for geodetic systems). A record whose coordinate field does not read as a
// number, or whose point a system cannot convert, is written as a failed
// point: null coordinates and an empty datum field.
//
// Output: with Settings.OutputNameRow a header line, the input's names
// (re-quoted) followed by the output names (X, Y in the output system's axis
// order; the Z name when ZColumn is not -1 or the output is Cartesian;
// "Datum" with IncludeDatum); then one line per record: the record's own
// fields re-quoted with Settings.TextDelimiter and joined with Settings.
// FieldTerminator, followed by the converted values (FormatNumber with
// XYDecimals / ZDecimals and PadDecimals) and, with IncludeDatum, the datum
// abbreviation. Every line ends with CR LF. An existing output file is
// replaced. Output is gathered in a large buffer and written in blocks.
//
// Console (when Verbose, to Console): "Opening file: " + input name, the
// loading and parsing progress, "Transforming" progress, "Writing output
// to: " + output name, "Saveing" progress. Handled conditions, each one
// message line that ends the call without an output file: a layout that
// leaves no record ("No readable data found in file: " + input name) and
// memory running out while loading ("ERROR: Insufficient memory to load: " +
// input name); memory running out while writing prints "Insufficient memory
// to save data." and keeps the lines written so far.
//
// Throws (nothing is caught): std::runtime_error when the input file cannot
// be opened or read, for a bad break list, when a system is not registered,
// when a conversion raises (the British National Grid inverse that does not
// converge; no output file is written then), and when the output file cannot
// be created or written (the lines flushed before the failure remain).
void ConvertFile(TSettingsInfo& Settings, const std::string& InputFileName,
                 const std::string& OutputFileName, bool Verbose, std::ostream& Console = std::cout);

}  // namespace veltrana
