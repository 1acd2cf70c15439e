// libFuzzer target: the settings-file reader on arbitrary bytes (mostly XML
// the dictionary steers towards the real keys). LoadSettingsFile and
// ReadSettings must agree with each other, refuse only with
// TSettingsFileError, and every file that reads must survive
// SaveSettingsFile and a second read with the keys the writer keeps.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "SettingsFile.h"

namespace {

using namespace veltrana;

std::int32_t ToIndex(std::int32_t Number) {
  return Number == std::numeric_limits<std::int32_t>::min() ? Number : Number - 1;
}

// ReadSettings is LoadSettingsFile translated to 0-based rows and fields.
void CheckTranslation(const TSettingsFileValues& V, const TSettingsInfo& S, bool Complete) {
  VELTRANA_FUZZ_CHECK(S.Format == V.Format.value_or(dfDelimited), "Format");
  VELTRANA_FUZZ_CHECK(S.FieldTerminator == V.FieldTerminator && S.TextDelimiter == V.TextDelimiter,
                      "character keys");
  VELTRANA_FUZZ_CHECK(S.ConsecutiveDelimiters == V.ConsecutiveDelimiters && S.FieldBreaks == V.FieldBreaks,
                      "ConsecutiveDelimiters or FieldBreaks");
  VELTRANA_FUZZ_CHECK(S.NameRow == ToIndex(V.NameRow) && S.FirstRow == ToIndex(V.FirstRow) &&
                          S.LastRow == ToIndex(V.LastRow),
                      "rows");
  VELTRANA_FUZZ_CHECK(S.InputSRID == V.InputSRIDNumber && S.InputRevision == V.InputRevision, "input system");
  VELTRANA_FUZZ_CHECK(Complete == (V.XColumn >= 1 && V.YColumn >= 1), "the result does not follow the columns");
  if (!Complete) return;
  VELTRANA_FUZZ_CHECK(S.XColumn == V.XColumn - 1 && S.YColumn == V.YColumn - 1, "X or Y column");
  VELTRANA_FUZZ_CHECK(S.ZColumn == (V.ZColumn < 1 ? -1 : V.ZColumn - 1), "Z column");
  VELTRANA_FUZZ_CHECK(S.XColumn >= 0 && S.YColumn >= 0 && S.ZColumn >= -1, "a column indexes before the first field");
  VELTRANA_FUZZ_CHECK(S.OutputSRID == V.OutputSRIDNumber && S.OutputRevision == V.OutputRevision &&
                          S.OutputNameRow == (V.OutputNameRow != 0) && S.PreferredDatum == V.PreferredDatum &&
                          S.IncludeDatum == V.IncludeDatum,
                      "output keys");
}

// What the writer keeps of Values reads back unchanged.
void CheckRewrite(const TSettingsFileValues& V, const TSettingsFileValues& R) {
  const TSettingsFileValues Default;
  VELTRANA_FUZZ_CHECK(R.Format == V.Format.value_or(dfDelimited), "Format after rewrite");
  VELTRANA_FUZZ_CHECK(R.FieldTerminator == (V.FieldTerminator != '\0' ? V.FieldTerminator : Default.FieldTerminator),
                      "FieldTerminator after rewrite");
  VELTRANA_FUZZ_CHECK(R.TextDelimiter == V.TextDelimiter, "TextDelimiter after rewrite");
  VELTRANA_FUZZ_CHECK(R.ConsecutiveDelimiters == V.ConsecutiveDelimiters, "ConsecutiveDelimiters after rewrite");
  VELTRANA_FUZZ_CHECK(R.FieldBreaks == V.FieldBreaks, "FieldBreaks after rewrite: \"" + R.FieldBreaks + "\"");
  VELTRANA_FUZZ_CHECK(R.NameRow == V.NameRow && R.FirstRow == V.FirstRow && R.LastRow == V.LastRow,
                      "rows after rewrite");
  VELTRANA_FUZZ_CHECK(R.InputSRIDNumber == V.InputSRIDNumber, "input SRID after rewrite");
  const bool InputSystem = V.InputSRIDNumber != 0;
  VELTRANA_FUZZ_CHECK(R.XColumn == (InputSystem ? V.XColumn : 0) && R.YColumn == (InputSystem ? V.YColumn : 0) &&
                          R.ZColumn == (InputSystem ? V.ZColumn : 0),
                      "columns after rewrite");
  VELTRANA_FUZZ_CHECK(R.OutputSRIDNumber == V.OutputSRIDNumber, "output SRID after rewrite");
  VELTRANA_FUZZ_CHECK(R.IncludeDatum == (V.OutputSRIDNumber != 0 ? V.IncludeDatum : Default.IncludeDatum),
                      "IncludeDatum after rewrite");
  // Keys only the updater reads are never written.
  VELTRANA_FUZZ_CHECK(R.InputRevision == Default.InputRevision && R.OutputRevision == Default.OutputRevision &&
                          R.OutputNameRow == Default.OutputNameRow && R.PreferredDatum == Default.PreferredDatum,
                      "updater keys written");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string FileName = fuzz::ScratchFileName("settings", ".set");
  const std::string CopyName = fuzz::ScratchFileName("settings-copy", ".set");
  if (!fuzz::WriteScratchFile(FileName, Data, Size)) return 0;

  TSettingsFileValues Values;
  try {
    Values = LoadSettingsFile(FileName);
  } catch (const TSettingsFileError&) {
    // Not well-formed: ReadSettings refuses it the same way and touches nothing.
    TSettingsInfo Untouched;
    Untouched.FieldBreaks = "kept";
    bool Refused = false;
    try {
      (void)ReadSettings(FileName, Untouched);
    } catch (const TSettingsFileError&) {
      Refused = true;
    }
    VELTRANA_FUZZ_CHECK(Refused && Untouched.FieldBreaks == "kept", "ReadSettings accepted what LoadSettingsFile refused");
    return 0;
  }

  TSettingsInfo Settings;
  const bool Complete = ReadSettings(FileName, Settings);
  CheckTranslation(Values, Settings, Complete);

  // A file that is not XML may not be replaced: start from nothing.
  std::remove(CopyName.c_str());
  SaveSettingsFile(CopyName, Values);
  CheckRewrite(Values, LoadSettingsFile(CopyName));
  return 0;
}
