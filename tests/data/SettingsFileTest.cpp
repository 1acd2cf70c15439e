#include "SettingsFile.h"

#include <gtest/gtest.h>

#include "../support/TempFolderTest.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace veltrana {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public veltrana::testing::TTempFolderTest {
 protected:
  SettingsFileTest() : TTempFolderTest("veltrana-settings-") {}


  // A settings document with the given InputSettings and OutputSettings
  // elements.
  std::string Document(const std::string& Name, const std::string& Input,
                       const std::string& Output = "") const {
    return WriteFile(Name, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Settings><InputSettings>" +
                               Input + "</InputSettings><OutputSettings>" + Output +
                               "</OutputSettings></Settings>\n");
  }

};

// The desktop program's file for comma-delimited data with names on row 1,
// records from row 2, British National Grid input, easting in field 2 and
// northing in field 3: the keys it holds at their defaults are written,
// those that are not written stay absent, and there is no output section
// without an output system.
TEST_F(SettingsFileTest, WritesTheDesktopLayoutOfTheKeys) {
  TSettingsFileValues Values;
  Values.NameRow = 1;
  Values.FirstRow = 2;
  Values.InputSRIDNumber = 27700;
  Values.XColumn = 2;
  Values.YColumn = 3;
  Values.PreferredDatum = 14;   // updater-only keys are never written
  Values.InputRevision = 2002;
  const std::string FileName = Path("points.set");
  SaveSettingsFile(FileName, Values);
  EXPECT_EQ(ReadFile(FileName),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<Settings>\n"
            "  <InputSettings>\n"
            "    <Format Value=\"Delimited\"/>\n"
            "    <FieldTerminator Value=\",\"/>\n"
            "    <ConsecutiveDelimiters Value=\"False\"/>\n"
            "    <NameRow Value=\"1\"/>\n"
            "    <FirstRow Value=\"2\"/>\n"
            "    <SRIDNumber Value=\"27700\"/>\n"
            "    <XColumn Value=\"2\"/>\n"
            "    <YColumn Value=\"3\"/>\n"
            "  </InputSettings>\n"
            "</Settings>\n");
}

// Everything the desktop program writes reads back unchanged, including a tab
// terminator (a character reference, since a raw tab in an attribute reads
// back as a blank), XML specials and a byte above ASCII.
TEST_F(SettingsFileTest, WrittenValuesReadBack) {
  TSettingsFileValues Values;
  Values.Format = dfFixed;
  Values.FieldTerminator = '\t';
  Values.ConsecutiveDelimiters = true;
  Values.FieldBreaks = "1, 11, 21";
  Values.TextDelimiter = '"';
  Values.NameRow = 3;
  Values.FirstRow = 5;
  Values.LastRow = 9;
  Values.InputSRIDNumber = 2157;
  Values.XColumn = 4;
  Values.YColumn = 5;
  Values.ZColumn = 6;
  Values.OutputSRIDNumber = 4937;
  Values.IncludeDatum = true;
  const std::string FileName = Path("all.set");
  SaveSettingsFile(FileName, Values);
  const std::string Text = ReadFile(FileName);
  EXPECT_NE(Text.find("<FieldTerminator Value=\"&#x9;\"/>"), std::string::npos) << Text;
  EXPECT_NE(Text.find("<TextDelimiter Value=\"&quot;\"/>"), std::string::npos) << Text;

  const TSettingsFileValues Read = LoadSettingsFile(FileName);
  EXPECT_EQ(Read.Format, std::optional<TDataFormat>(dfFixed));
  EXPECT_EQ(Read.FieldTerminator, '\t');
  EXPECT_TRUE(Read.ConsecutiveDelimiters);
  EXPECT_EQ(Read.FieldBreaks, "1, 11, 21");
  EXPECT_EQ(Read.TextDelimiter, '"');
  EXPECT_EQ(Read.NameRow, 3);
  EXPECT_EQ(Read.FirstRow, 5);
  EXPECT_EQ(Read.LastRow, 9);
  EXPECT_EQ(Read.InputSRIDNumber, 2157);
  EXPECT_EQ(Read.XColumn, 4);
  EXPECT_EQ(Read.YColumn, 5);
  EXPECT_EQ(Read.ZColumn, 6);
  EXPECT_EQ(Read.OutputSRIDNumber, 4937);
  EXPECT_TRUE(Read.IncludeDatum);

  // Bytes above ASCII travel as the code point of the same value.
  Values.FieldTerminator = '\xA7';
  Values.TextDelimiter = '&';
  SaveSettingsFile(FileName, Values);
  EXPECT_NE(ReadFile(FileName).find("<FieldTerminator Value=\"\xC2\xA7\"/>"), std::string::npos);
  EXPECT_EQ(LoadSettingsFile(FileName).FieldTerminator, '\xA7');
  EXPECT_EQ(LoadSettingsFile(FileName).TextDelimiter, '&');
}

TEST_F(SettingsFileTest, AbsentKeysGiveTheirDefaults) {
  const TSettingsFileValues Read = LoadSettingsFile(WriteFile("empty-root.set", "<Settings/>"));
  const TSettingsFileValues Defaults;
  EXPECT_EQ(Read.Format, std::optional<TDataFormat>(dfDelimited));
  EXPECT_EQ(Read.FieldTerminator, ',');
  EXPECT_EQ(Read.TextDelimiter, '\0');
  EXPECT_EQ(Read.FirstRow, 1);
  EXPECT_EQ(Read.NameRow, 0);
  EXPECT_EQ(Read.LastRow, 0);
  EXPECT_EQ(Read.OutputNameRow, 1);
  EXPECT_EQ(Read.PreferredDatum, 0);
  EXPECT_EQ(Read.XColumn, Defaults.XColumn);
  EXPECT_FALSE(Read.IncludeDatum);
}

// Values the readers do not understand give the default, and the format
// stays unrecognised; the root's name, unknown elements and attributes, and
// element order do not matter.
TEST_F(SettingsFileTest, ReadsValuesByTheirRules) {
  struct TCase {
    const char* Name;
    const char* Input;
    TSettingsFileValues Expected;
  };
  auto With = [](auto Change) {
    TSettingsFileValues V;
    Change(V);
    return V;
  };
  const TCase Cases[] = {
      {"format names are case-sensitive", "<Format Value=\"fixed\"/>",
       With([](TSettingsFileValues& V) { V.Format = std::nullopt; })},
      {"Boolean in any case", "<ConsecutiveDelimiters Value=\"TRUE\"/>",
       With([](TSettingsFileValues& V) { V.ConsecutiveDelimiters = true; })},
      {"1 is not a Boolean", "<ConsecutiveDelimiters Value=\"1\"/>", TSettingsFileValues{}},
      {"integer with blanks", "<FirstRow Value=\" 7 \"/>", With([](TSettingsFileValues& V) { V.FirstRow = 7; })},
      {"not an integer", "<FirstRow Value=\"7a\"/>", TSettingsFileValues{}},
      {"beyond 32 bits", "<XColumn Value=\"4294967298\"/>", TSettingsFileValues{}},
      {"negative integer", "<LastRow Value=\"-4\"/>", With([](TSettingsFileValues& V) { V.LastRow = -4; })},
      {"missing attribute", "<NameRow value=\"2\"/>", TSettingsFileValues{}},
      {"unknown element ignored", "<Colour Value=\"Red\"/><YColumn Value=\"3\" Extra=\"x\"/>",
       With([](TSettingsFileValues& V) { V.YColumn = 3; })},
      {"first character of a longer text", "<FieldTerminator Value=\";,\"/>",
       With([](TSettingsFileValues& V) { V.FieldTerminator = ';'; })},
      {"empty character gives the default", "<FieldTerminator Value=\"\"/><TextDelimiter Value=\"\"/>",
       TSettingsFileValues{}},
      {"raw tab in an attribute reads as a blank", "<FieldTerminator Value=\"\t\"/>",
       With([](TSettingsFileValues& V) { V.FieldTerminator = ' '; })},
      {"decimal character reference", "<FieldTerminator Value=\"&#9;\"/>",
       With([](TSettingsFileValues& V) { V.FieldTerminator = '\t'; })},
      {"Latin-1 letter becomes its byte", "<TextDelimiter Value=\"\xC3\xA9\"/>",
       With([](TSettingsFileValues& V) { V.TextDelimiter = '\xE9'; })},
      {"no single byte for the euro sign", "<FieldTerminator Value=\"\xE2\x82\xAC\"/>", TSettingsFileValues{}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string FileName =
        WriteFile("case.set", std::string("<Anything><InputSettings>") + Case.Input +
                                  "</InputSettings></Anything>");
    const TSettingsFileValues Read = LoadSettingsFile(FileName);
    EXPECT_EQ(Read.Format, Case.Expected.Format);
    EXPECT_EQ(Read.FieldTerminator, Case.Expected.FieldTerminator);
    EXPECT_EQ(Read.TextDelimiter, Case.Expected.TextDelimiter);
    EXPECT_EQ(Read.ConsecutiveDelimiters, Case.Expected.ConsecutiveDelimiters);
    EXPECT_EQ(Read.FirstRow, Case.Expected.FirstRow);
    EXPECT_EQ(Read.LastRow, Case.Expected.LastRow);
    EXPECT_EQ(Read.NameRow, Case.Expected.NameRow);
    EXPECT_EQ(Read.XColumn, Case.Expected.XColumn);
    EXPECT_EQ(Read.YColumn, Case.Expected.YColumn);
  }
}

TEST_F(SettingsFileTest, DocumentsThatAreNotXMLRaiseWithTheFileName) {
  for (const char* Text : {"", "<Settings><InputSettings></Settings>", "Name,E,N\n"}) {
    SCOPED_TRACE(Text);
    const std::string FileName = WriteFile("broken.set", Text);
    try {
      LoadSettingsFile(FileName);
      ADD_FAILURE() << "no error raised";
    } catch (const TSettingsFileError& Error) {
      EXPECT_NE(std::string(Error.what()).find(FileName), std::string::npos) << Error.what();
    }
    TSettingsInfo Settings;
    EXPECT_THROW(ReadSettings(FileName, Settings), TSettingsFileError);
  }
  // The reader's own description is carried.
  try {
    LoadSettingsFile(WriteFile("empty.set", ""));
  } catch (const TSettingsFileError& Error) {
    EXPECT_NE(std::string(Error.what()).find("No document element found"), std::string::npos) << Error.what();
  }
  EXPECT_THROW(LoadSettingsFile(Path("missing.set")), TSettingsFileError);
}

// Saving over a file that is not well-formed XML fails and leaves it as it
// was; over a settings document, nothing of the old content survives.
TEST_F(SettingsFileTest, SavingReplacesOnlyWellFormedFiles) {
  const std::string Broken = WriteFile("broken.set", "not xml");
  EXPECT_THROW(SaveSettingsFile(Broken, TSettingsFileValues{}), TSettingsFileError);
  EXPECT_EQ(ReadFile(Broken), "not xml");

  const std::string Old = Document("old.set", "<ZColumn Value=\"4\"/><Colour Value=\"Red\"/>",
                                   "<PreferredDatum Value=\"14\"/>");
  SaveSettingsFile(Old, TSettingsFileValues{});
  const std::string Text = ReadFile(Old);
  EXPECT_EQ(Text.find("ZColumn"), std::string::npos);
  EXPECT_EQ(Text.find("Colour"), std::string::npos);
  EXPECT_EQ(Text.find("PreferredDatum"), std::string::npos);

  EXPECT_THROW(SaveSettingsFile(Path("no-such-folder/x.set"), TSettingsFileValues{}), TSettingsFileError);
}

TEST_F(SettingsFileTest, ReadSettingsConvertsToZeroBasedRowsAndFields) {
  const std::string FileName = Document(
      "bng.set",
      "<Format Value=\"Fixed\"/><FieldTerminator Value=\";\"/><ConsecutiveDelimiters Value=\"true\"/>"
      "<FieldBreaks Value=\"1, 5, 11\"/><TextDelimiter Value=\"'\"/>"
      "<NameRow Value=\"3\"/><FirstRow Value=\"1\"/><SRIDNumber Value=\"27700\"/><Revision Value=\"2002\"/>"
      "<XColumn Value=\"2\"/><YColumn Value=\"3\"/>",
      "<SRIDNumber Value=\"4937\"/><Revision Value=\"2015\"/><NameRow Value=\"0\"/>"
      "<PreferredDatum Value=\"14\"/><IncludeDatum Value=\"True\"/>");
  TSettingsInfo Settings;
  Settings.OutputXName = "kept";
  Settings.XYDecimals = 7;
  ASSERT_TRUE(ReadSettings(FileName, Settings));
  EXPECT_EQ(Settings.Format, dfFixed);
  EXPECT_EQ(Settings.FieldTerminator, ';');
  EXPECT_TRUE(Settings.ConsecutiveDelimiters);
  EXPECT_EQ(Settings.FieldBreaks, "1, 5, 11");
  EXPECT_EQ(Settings.TextDelimiter, '\'');
  EXPECT_EQ(Settings.NameRow, 2);   // the name row below the first row is kept as read
  EXPECT_EQ(Settings.FirstRow, 0);
  EXPECT_EQ(Settings.LastRow, -1);  // absent: to the end
  EXPECT_EQ(Settings.InputSRID, 27700);
  EXPECT_EQ(Settings.InputRevision, 2002);
  EXPECT_EQ(Settings.XColumn, 1);
  EXPECT_EQ(Settings.YColumn, 2);
  EXPECT_EQ(Settings.ZColumn, -1);
  EXPECT_EQ(Settings.OutputSRID, 4937);
  EXPECT_EQ(Settings.OutputRevision, 2015);
  EXPECT_FALSE(Settings.OutputNameRow);
  EXPECT_EQ(Settings.PreferredDatum, 14);
  EXPECT_TRUE(Settings.IncludeDatum);
  EXPECT_EQ(Settings.OutputXName, "kept");
  EXPECT_EQ(Settings.XYDecimals, 7);

  // An unrecognised format leaves the record's own; FirstRow 0 is line -1.
  const std::string Other = Document("other.set",
                                     "<Format Value=\"fixed\"/><FirstRow Value=\"0\"/>"
                                     "<XColumn Value=\"1\"/><YColumn Value=\"2\"/><ZColumn Value=\"3\"/>");
  TSettingsInfo Fixed;
  Fixed.Format = dfFixed;
  ASSERT_TRUE(ReadSettings(Other, Fixed));
  EXPECT_EQ(Fixed.Format, dfFixed);
  EXPECT_EQ(Fixed.FirstRow, -1);
  EXPECT_EQ(Fixed.NameRow, -1);
  EXPECT_EQ(Fixed.ZColumn, 2);
  EXPECT_TRUE(Fixed.OutputNameRow);  // absent output NameRow: a header is written
}

TEST_F(SettingsFileTest, ReadSettingsRefusesFilesWithoutBothPlaneFields) {
  struct TCase {
    const char* Name;
    const char* Columns;
  };
  const TCase Cases[] = {
      {"no YColumn", "<XColumn Value=\"2\"/><ZColumn Value=\"4\"/>"},
      {"no XColumn", "<YColumn Value=\"3\"/>"},
      {"XColumn zero", "<XColumn Value=\"0\"/><YColumn Value=\"3\"/>"},
      {"YColumn not an integer", "<XColumn Value=\"2\"/><YColumn Value=\"three\"/>"},
      {"negative XColumn", "<XColumn Value=\"-2\"/><YColumn Value=\"3\"/>"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    const std::string FileName =
        Document("invalid.set", std::string("<SRIDNumber Value=\"27700\"/>") + Case.Columns,
                 "<SRIDNumber Value=\"27700\"/>");
    TSettingsInfo Settings;
    EXPECT_FALSE(ReadSettings(FileName, Settings));
    // Fields before the columns are filled, the output section is not read.
    EXPECT_EQ(Settings.InputSRID, 27700);
    EXPECT_EQ(Settings.OutputSRID, 0);
  }
}

}  // namespace
}  // namespace veltrana
