// The text data stream: line indexing, splitting (delimited and fixed width),
// the record window and its setters, positioning, progress and errors.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "DataStream.h"

using namespace veltrana;

namespace {

using TRows = std::vector<std::vector<std::string>>;

void Load(TDataStream& S, const std::string& Text) {
  std::istringstream In(Text);
  S.LoadFromStream(In);
}

// Every record of the window, read as a caller does: First, then Next until EOF.
TRows Records(TDataStream& S) {
  TRows Rows;
  S.SetRecordIndex(-1);  // re-split record 0 under the current layout
  while (!S.Eof() && S.RecordCount() > 0) {
    Rows.push_back(S.CurrentFields());
    S.Next();
  }
  return Rows;
}

struct TLayout {
  char Terminator = ',';
  bool Consecutive = false;
  char Quote = '\0';
  std::int32_t NameRow = -1;
  std::int32_t FirstRow = 0;
};

// Loads Text and applies the layout through the setters, in the order the
// batch pipeline uses.
void LoadWith(TDataStream& S, const std::string& Text, const TLayout& L) {
  Load(S, Text);
  S.SetFirstRow(L.FirstRow);
  S.SetNameRow(L.NameRow);
  S.SetFieldTerminator(L.Terminator);
  S.SetConsecutiveDelimiters(L.Consecutive);
  S.SetTextDelimiter(L.Quote);
  S.SetFieldCount(0);  // re-detects the count under the final layout
  S.SetRecordIndex(-1);  // and re-splits record 0 under it
}

std::filesystem::path TempFile(const std::string& Name, const std::string& Content) {
  const auto Dir = std::filesystem::temp_directory_path() / "veltrana_datastream_test";
  std::filesystem::create_directories(Dir);
  const auto Path = Dir / Name;
  std::ofstream(Path, std::ios::binary) << Content;
  return Path;
}

// A source that cannot report its size (no seeking).
class TUnseekableBuffer : public std::streambuf {
 public:
  explicit TUnseekableBuffer(std::string Text) : FText(std::move(Text)) {
    setg(FText.data(), FText.data(), FText.data() + FText.size());
  }

 private:
  std::string FText;
};

// A source that fails after its first bytes.
class TFailingBuffer : public std::streambuf {
 protected:
  int_type underflow() override {
    if (FServed) throw std::runtime_error("device failure");
    FServed = true;
    setg(FBytes, FBytes, FBytes + sizeof FBytes);
    return traits_type::to_int_type(FBytes[0]);
  }

 private:
  char FBytes[4] = {'x', ',', 'y', '\n'};
  bool FServed = false;
};

std::vector<std::int32_t> LoadEvents(TDataStream& S, std::istream& In, std::vector<std::int32_t>* Parse = nullptr) {
  std::vector<std::int32_t> Load;
  S.OnLoadProgress = [&Load](TDataStream&, std::int32_t P) { Load.push_back(P); };
  if (Parse != nullptr) S.OnParseProgress = [Parse](TDataStream&, std::int32_t P) { Parse->push_back(P); };
  S.LoadFromStream(In);
  return Load;
}

}  // namespace

// ---- Line indexing --------------------------------------------------------------

TEST(DataStreamLines, TextWithoutPrintableBytesHasNoLines) {
  struct Row { const char* Name; std::string Text; };
  const Row Rows[] = {
      {"Empty", ""},
      {"LineBreaksOnly", "\r\n\n\r\r\n"},
      {"ControlBytes", "\t\x01\n\x1f\r\x00"},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    TDataStream S;
    Load(S, R.Text);
    EXPECT_EQ(S.LineCount(), 0);
    EXPECT_EQ(S.RecordCount(), 0);
    EXPECT_TRUE(S.Bof());
    EXPECT_TRUE(S.Eof());
    EXPECT_EQ(S.Size(), R.Text.size() + 2);  // two NUL bytes appended
    EXPECT_EQ(S.Memory()[S.Size() - 1], '\0');
    S.First();  // positioning without records leaves no fields
    EXPECT_TRUE(S.CurrentFields().empty());
    EXPECT_EQ(S.FieldValue(0), "");
  }
}

TEST(DataStreamLines, EveryLineEndKindSplitsTheSame) {
  struct Row { const char* Name; std::string Text; };
  const Row Rows[] = {
      {"CRLF", "X,Y\r\n1,2\r\n3,4\r\n"},
      {"LF", "X,Y\n1,2\n3,4\n"},
      {"CR", "X,Y\r1,2\r3,4\r"},
      {"LFCR", "X,Y\n\r1,2\n\r3,4\n\r"},
      {"NoFinalBreak", "X,Y\n1,2\n3,4"},
      {"EmptyLinesBetween", "X,Y\r\n\r\n\r\n1,2\n\n3,4\n\n\n"},
      {"TrailingControlBytes", "X,Y\n1,2\n3,4\t\x01\r\n"},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    TDataStream S;
    Load(S, R.Text);
    EXPECT_EQ(S.LineCount(), 3);
    EXPECT_EQ(S.NameRow(), 0);
    EXPECT_EQ(S.FirstRow(), 1);
    EXPECT_EQ(S.FieldCount(), 2);
    EXPECT_EQ(S.Names(), (std::vector<std::string>{"X", "Y"}));
    EXPECT_EQ(Records(S), (TRows{{"1", "2"}, {"3", "4"}}));
  }
}

TEST(DataStreamLines, LineStartsAndLengths) {
  TDataStream S;
  Load(S, "ab\r\n\r\ncde\nf");
  // Lines "ab" (with CR LF CR LF after it), "cde" (LF), "f"; then the text end.
  EXPECT_EQ(S.LineStarts(), (TLargeVector<std::size_t>{0, 6, 10, 11}));
  EXPECT_EQ(S.LineLength(0), 6);
  EXPECT_EQ(S.LineLength(1), 4);
  EXPECT_EQ(S.LineLength(2), 1);  // a last line of one byte keeps it
  EXPECT_EQ(S.Cell(1, 0), "f");
}

TEST(DataStreamLines, UnusualFirstAndLastLines) {
  {
    SCOPED_TRACE("OneLineIsNameRowAndOnlyRecord");
    TDataStream S;
    Load(S, "a,b");
    EXPECT_EQ(S.FirstRow(), 0);
    EXPECT_EQ(S.NameRow(), 0);
    EXPECT_EQ(S.RecordCount(), 1);
    EXPECT_EQ(S.FieldName(1), "b");
    EXPECT_EQ(S.CurrentFields(), (std::vector<std::string>{"a", "b"}));
  }
  {
    SCOPED_TRACE("EmptyLineBetweenIsNoRow");
    TDataStream S;
    Load(S, "H\n\n1,2");
    EXPECT_EQ(S.LineCount(), 2);
    EXPECT_EQ(S.FieldName(0), "H");
    EXPECT_EQ(S.Cell(0, 0), "1");
    EXPECT_EQ(S.FieldCount(), 1);
  }
  {
    SCOPED_TRACE("LeadingEmptyLinesFormLineZero");
    TDataStream S;
    Load(S, "\n\nA,B\n1,2");
    EXPECT_EQ(S.LineCount(), 3);
    EXPECT_EQ(S.FieldCount(), 1);
    EXPECT_EQ(S.Names(), std::vector<std::string>{""});
    EXPECT_EQ(S.FieldName(0), "");
  }
  {
    SCOPED_TRACE("TrailingSpacesFormALine");
    TDataStream S;
    Load(S, "A\n   ");
    EXPECT_EQ(S.LineCount(), 2);
    EXPECT_EQ(S.RecordCount(), 1);
    EXPECT_EQ(S.FieldValue(0), "");
  }
}

// ---- Splitting delimited lines -----------------------------------------------------

TEST(DataStreamDelimited, CountsAndSplitsFields) {
  struct Row {
    const char* Name;
    std::string Line;
    TLayout Layout;
    std::int32_t Count;
    std::vector<std::string> Fields;
  };
  const Row Rows[] = {
      {"TrailingTerminatorAddsEmptyField", "A,B,", {}, 3, {"A", "B", ""}},
      {"EmptyMiddleField", "A,,B", {}, 3, {"A", "", "B"}},
      {"ConsecutiveRunIsOne", "A,,B", {',', true}, 2, {"A", "B"}},
      {"ConsecutiveTrailingRunAddsOne", "A,B,,,", {',', true}, 3, {"A", "B", ""}},
      // Two blanks count three fields, but a field's leading spaces are skipped.
      {"SpaceTerminator", "A  B", {' '}, 3, {"A", "B", ""}},
      {"SpaceTerminatorConsecutive", "A   B", {' ', true}, 2, {"A", "B"}},
      {"TabTerminator", "1.5\t2.5", {'\t'}, 2, {"1.5", "2.5"}},
      {"TrimsBlanksAndTabs", " \tA b \t,\tB ", {}, 2, {"A b", "B"}},
      {"QuotedTerminator", "'x, y',2", {',', false, '\''}, 2, {"x, y", "2"}},
      {"DoubledQuote", "'a''b'", {',', false, '\''}, 1, {"a'b"}},
      // The count treats any quote as opening a stretch; the split only one at
      // a field's start (after spaces).
      {"InnerQuoteIsData", "ab'c,d'e,f", {',', false, '\''}, 2, {"ab'c", "d'e"}},
      {"QuoteAfterSpaces", "  'a,b' ,c", {',', false, '\''}, 2, {"a,b", "c"}},
      {"TextAfterClosingQuoteDropped", "'a'zz,b", {',', false, '\''}, 2, {"a", "b"}},
      {"QuoteWithoutDelimiterIsData", "'a,b'", {}, 2, {"'a", "b'"}},
      {"HighBytesAreData", "\xE9t\xE9,\xFF", {}, 2, {"\xE9t\xE9", "\xFF"}},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    TDataStream S;
    LoadWith(S, R.Line + "\r\n", R.Layout);
    EXPECT_EQ(S.FieldCount(), R.Count);
    EXPECT_EQ(S.FieldStarts().size(), static_cast<std::size_t>(R.Count));
    EXPECT_EQ(Records(S), TRows{R.Fields});
  }
}

TEST(DataStreamDelimited, FieldPositionsOfTheLastSplit) {
  TDataStream S;
  LoadWith(S, "  ab,'c,d' ,\n", {',', false, '\''});
  S.SetFieldCount(4);  // detection puts it back to 3
  ASSERT_EQ(S.FieldCount(), 3);
  S.SetRecordIndex(-1);
  EXPECT_EQ(S.FieldStarts(), (std::vector<std::int32_t>{1, 6, 0}));
  // Leading spaces are included; a quoted field ends at its closing quote; an
  // absent last field (at the line end) has start and length 0.
  EXPECT_EQ(S.FieldLengths(), (std::vector<std::int32_t>{4, 5, 0}));
}

TEST(DataStreamDelimited, QuotedStretchesNeverLeaveTheText) {
  struct Row { const char* Name; std::string Text; std::vector<std::string> First; };
  const Row Rows[] = {
      // A quoted field may hold a line end; the count of line 0 sees one field.
      {"SpansLines", "'a\nb',c\nx", {"a\nb"}},
      // Unclosed at the last line: the search stops at the text end.
      {"UnclosedAtEnd", "'abc", {"abc"}},
      {"UnclosedBeforeTrailingBreaks", "'ab\r\n\r\n", {"ab"}},
      {"DoubledAtEnd", "'ab''", {"ab'"}},
      {"OnlyAQuote", "'", {""}},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    TDataStream S;
    LoadWith(S, R.Text, {',', false, '\''});
    EXPECT_EQ(S.CurrentFields(), R.First);
  }
}

TEST(DataStreamDelimited, RecordsShorterOrLongerThanTheCount) {
  TDataStream S;
  Load(S, "A,B,C\n1\n1,2,3,4,5\n,,\n");
  EXPECT_EQ(Records(S), (TRows{{"1", "", ""}, {"1", "2", "3"}, {"", "", ""}}));
}

TEST(DataStreamDelimited, CountComesFromFirstOrLastRowWithoutNameRow) {
  TDataStream S;
  Load(S, "N\n1\n1,2,3\n1,2");
  S.SetNameRow(-1);
  S.SetFirstRow(1);
  EXPECT_EQ(S.FieldCount(), 1);
  S.SetLastRow(2);   // no count detection by the LastRow setter itself
  EXPECT_EQ(S.FieldCount(), 1);
  S.SetFieldCount(7);  // detection: the last row has more fields
  EXPECT_EQ(S.FieldCount(), 3);
  S.SetLastRow(3);
  S.SetFieldCount(7);
  EXPECT_EQ(S.FieldCount(), 2);
}

TEST(DataStreamDelimited, LayoutChangesKeepTheCurrentSplitUntilMoving) {
  TDataStream S;
  Load(S, "A;B\n1;2\n3;4");
  EXPECT_EQ(S.CurrentFields(), std::vector<std::string>{"1;2"});
  S.SetFieldTerminator(';');
  EXPECT_EQ(S.FieldCount(), 2);
  EXPECT_EQ(S.CurrentFields(), std::vector<std::string>{"1;2"});  // not re-split
  S.First();  // already on record 0: nothing happens
  EXPECT_EQ(S.CurrentFields(), std::vector<std::string>{"1;2"});
  S.SetRecordIndex(-1);  // re-splits record 0
  EXPECT_TRUE(S.Bof());
  EXPECT_EQ(S.CurrentFields(), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(S.Names(), (std::vector<std::string>{"A", "B"}));
}

// ---- Names and output lines ---------------------------------------------------------

TEST(DataStreamNames, NamesAndJoinedLines) {
  TDataStream S;
  Load(S, "id,na\"me\nP1,x\"y\n");
  EXPECT_EQ(S.NamesLine(',', '"'), "\"id\",\"na\"\"me\"");
  EXPECT_EQ(S.NamesLine(';', '\0'), "id;na\"me");
  EXPECT_EQ(S.ValuesLine('\t', '\''), "'P1'\t'x\"y'");
  EXPECT_EQ(S.ValuesLine(',', '"'), "\"P1\",\"x\"\"y\"");
  EXPECT_EQ(S.NamesList(), "id\r\nna\"me");
  EXPECT_EQ(S.FieldName(2), "");
  EXPECT_EQ(S.FieldText(1, '\0'), "x\"y");

  S.SetNameRow(-1);
  EXPECT_EQ(S.FieldName(0), "Column 1");
  EXPECT_EQ(S.NamesList(), "Column 1\r\nColumn 2");
}

// ---- Fixed width --------------------------------------------------------------------

TEST(DataStreamFixed, BreaksCutEveryRecordWithTheSameWidths) {
  struct Row { const char* Name; const char* Breaks; std::vector<std::int32_t> Starts, Lengths; TRows Records; };
  // "ID   12345 67890" + CR LF is 18 bytes; the last field runs to its end.
  const Row Rows[] = {
      {"BlankColumns", "1, 5, 11", {1, 5, 11}, {5, 7, 8}, {{"ID", "12345", "67890"}, {"AB", "22222", "33333"}}},
      {"FieldsShareTheNextBreakColumn", "1, 6, 12", {1, 6, 12}, {6, 7, 7},
       {{"ID   1", "12345 6", "67890"}, {"AB   2", "22222 3", "33333"}}},
      {"BlanksAndQuotesAsSeparators", "\"1\" 5,11", {1, 5, 11}, {5, 7, 8},
       {{"ID", "12345", "67890"}, {"AB", "22222", "33333"}}},
      {"SignedItems", "+1,-0", {1, 0}, {0, 19}, {{"", "ID   12345 67890"}, {"", "AB   22222 33333"}}},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    TDataStream S;
    Load(S, "ID   12345 67890\r\nAB   22222 33333\r\n");
    S.SetNameRow(-1);
    S.SetFirstRow(0);
    S.SetFormat(dfFixed);
    ApplyFieldBreaks(S, R.Breaks);
    EXPECT_EQ(S.FieldStarts(), R.Starts);
    EXPECT_EQ(S.FieldLengths(), R.Lengths);
    EXPECT_EQ(Records(S), R.Records);
  }
}

TEST(DataStreamFixed, SlicesStayInsideTheirLineAndTheText) {
  struct Row {
    const char* Name;
    std::vector<std::int32_t> Starts, Lengths;
    TRows Records;
  };
  constexpr std::int32_t Huge = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t Lowest = std::numeric_limits<std::int32_t>::min();
  // Records are lines 0 "abc" and 1 "def"; a slice may run on into later
  // lines but never before its own line.
  const Row Rows[] = {
      {"ColumnZero", {0}, {3}, {{"ab"}, {"de"}}},
      {"FarBelowOne", {-100}, {102}, {{"a"}, {"d"}}},
      {"EntirelyBeforeLine", {-5}, {3}, {{""}, {""}}},
      {"LowestColumnHugeLength", {Lowest}, {Huge}, {{""}, {""}}},
      {"HugeLengthRunsToTextEnd", {2}, {Huge}, {{"bc\ndef"}, {"ef"}}},
      {"StartBeyondText", {Huge}, {Huge}, {{""}, {""}}},
      {"NegativeLength", {1}, {-4}, {{""}, {""}}},
      {"IntoNextLine", {3}, {3}, {{"c\nd"}, {"f"}}},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    TDataStream S;
    Load(S, "abc\ndef");
    S.SetNameRow(-1);
    S.SetFirstRow(0);
    S.SetFormat(dfFixed);
    S.SetFieldCount(static_cast<std::int32_t>(R.Starts.size()));
    for (std::size_t I = 0; I < R.Starts.size(); ++I) {
      S.SetFieldStart(static_cast<std::int32_t>(I), R.Starts[I]);
      S.SetFieldLength(static_cast<std::int32_t>(I), R.Lengths[I]);
    }
    EXPECT_EQ(Records(S), R.Records);
  }
}

TEST(DataStreamFixed, ExtremeBreakColumnsSaturate) {
  TDataStream S;
  Load(S, "abc\n");
  S.SetFormat(dfFixed);
  ApplyFieldBreaks(S, "-2147483648, 2147483647");
  EXPECT_EQ(S.FieldLength(0), std::numeric_limits<std::int32_t>::max());
  // The last line's length (3) excludes the trailing line end.
  EXPECT_EQ(S.FieldLength(1), 3 - std::numeric_limits<std::int32_t>::max() + 1);
  EXPECT_EQ(Records(S), (TRows{{"", ""}}));
}

TEST(DataStreamFixed, BreakListErrorsAndNoOps) {
  struct Row { const char* Name; const char* Breaks; const char* BadValue; std::int32_t Count; std::int32_t Start0; };
  const Row Rows[] = {
      // Start0 is the first item when it was read, else the load's split (1).
      {"NotAnInteger", "3, x5", "x5", 2, 3},
      {"Decimal", "3, 2.5", "2.5", 2, 3},
      {"EmptyItem", "3,,5", "\"\"", 3, 3},
      {"TrailingComma", "3,", "\"\"", 2, 3},
      {"OutOfRange", "99999999999", "99999999999", 1, 1},
      {"EmptyList", "", "empty", 1, 1},
      {"BlanksOnly", "  \t ", "empty", 1, 1},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    TDataStream S;
    Load(S, "abcdef\n");
    S.SetFormat(dfFixed);
    try {
      ApplyFieldBreaks(S, R.Breaks);
      ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& E) {
      EXPECT_NE(std::string(E.what()).find(R.BadValue), std::string::npos) << E.what();
    }
    EXPECT_EQ(S.FieldCount(), R.Count);
    EXPECT_EQ(S.FieldStart(0), R.Start0);  // positions before the bad item remain
  }
  {
    SCOPED_TRACE("DelimitedStreamUnchanged");
    TDataStream S;
    Load(S, "a,b\n1,2\n");
    ApplyFieldBreaks(S, "1, 3, x");
    EXPECT_EQ(S.FieldCount(), 2);
    EXPECT_EQ(S.FieldStarts(), (std::vector<std::int32_t>{1, 3}));
  }
  {
    // An empty input file in the fixed layout gets its widths without an
    // error, so a caller can report "no records" instead of failing.
    SCOPED_TRACE("NoLines");
    TDataStream S;
    Load(S, "\r\n");
    S.SetFormat(dfFixed);
    ApplyFieldBreaks(S, "1, 5");
    EXPECT_EQ(S.FieldLengths(), (std::vector<std::int32_t>{5, 0}));
    EXPECT_EQ(S.RecordCount(), 0);
  }
}

// ---- Record window and positioning ---------------------------------------------------

TEST(DataStreamRows, SettersKeepRowsAndWindowConsistent) {
  struct Row {
    const char* Name;
    std::function<void(TDataStream&)> Apply;
    std::int32_t NameRow, FirstRow, LastRow, RecordCount;
  };
  // Five lines "N", "A" .. "D"; after loading NameRow 0, FirstRow 1, LastRow -1.
  const Row Rows[] = {
      {"Loaded", [](TDataStream&) {}, 0, 1, -1, 4},
      {"FirstRowOverNameRowDropsIt", [](TDataStream& S) { S.SetFirstRow(0); }, -1, 0, -1, 5},
      {"FirstRowBelowZero", [](TDataStream& S) { S.SetFirstRow(-3); }, -1, 0, -1, 5},
      {"FirstRowBeyondText", [](TDataStream& S) { S.SetFirstRow(99); }, 0, 4, -1, 1},
      {"NameRowPushesFirstRow", [](TDataStream& S) { S.SetNameRow(3); }, 3, 4, -1, 1},
      {"NameRowBeyondText", [](TDataStream& S) { S.SetNameRow(99); }, 4, 4, -1, 1},
      {"NameRowBelowZero", [](TDataStream& S) { S.SetNameRow(-7); }, -1, 1, -1, 4},
      {"LastRowLimits", [](TDataStream& S) { S.SetLastRow(2); }, 0, 1, 2, 2},
      {"LastRowBelowFirstRow", [](TDataStream& S) { S.SetLastRow(0); }, 0, 1, 1, 1},
      {"LastRowNegativeIsLastLine", [](TDataStream& S) { S.SetLastRow(-5); }, 0, 1, 4, 4},
      {"LastRowBeyondText", [](TDataStream& S) { S.SetLastRow(50); }, 0, 1, 4, 4},
      {"LastRowBackToEnd", [](TDataStream& S) { S.SetLastRow(2); S.SetLastRow(-1); }, 0, 1, -1, 4},
      // The name row may push the first row past the last one: no records.
      {"NameRowPastLastRow", [](TDataStream& S) { S.SetLastRow(2); S.SetNameRow(3); }, 3, 4, 2, -1},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    TDataStream S;
    Load(S, "N\nA\nB\nC\nD\n");
    R.Apply(S);
    EXPECT_EQ(S.NameRow(), R.NameRow);
    EXPECT_EQ(S.FirstRow(), R.FirstRow);
    EXPECT_EQ(S.LastRow(), R.LastRow);
    EXPECT_EQ(S.RecordCount(), R.RecordCount);
  }
}

TEST(DataStreamRows, RowSettersReSplitTheCurrentRecord) {
  TDataStream S;
  Load(S, "N\nA\nB\nC\nD\n");
  S.SetRecordIndex(1);
  EXPECT_EQ(S.FieldValue(0), "B");
  S.SetFirstRow(2);  // record 1 is now line 3
  EXPECT_EQ(S.FieldValue(0), "C");
  S.SetNameRow(2);  // first row 3: record 1 is line 4
  EXPECT_EQ(S.FieldValue(0), "D");
  EXPECT_EQ(S.FieldName(0), "B");
  S.SetLastRow(3);  // no re-split by the last row
  EXPECT_EQ(S.FieldValue(0), "D");
}

TEST(DataStreamRows, NoRecordsWhenTheWindowIsEmpty) {
  TDataStream S;
  Load(S, "N\nA\nB\nC\nD\n");
  S.SetLastRow(2);
  S.SetNameRow(3);
  ASSERT_LE(S.RecordCount(), 0);
  S.SetRecordIndex(-1);
  EXPECT_TRUE(S.Bof());
  EXPECT_TRUE(S.Eof());
  EXPECT_EQ(S.RecordIndex(), -1);
  EXPECT_TRUE(S.CurrentFields().empty());
  EXPECT_TRUE(Records(S).empty());
  S.SetLastRow(-1);  // window open again
  S.First();
  EXPECT_FALSE(S.Eof());
  EXPECT_EQ(S.FieldValue(0), "D");
}

TEST(DataStreamRows, RowsSetBeforeLoadingAreFittedToTheText) {
  TDataStream S;
  S.SetNameRow(-1);
  S.SetFirstRow(2);
  S.SetLastRow(3);
  Load(S, "a\nb\nc\nd\ne\nf\n");
  EXPECT_EQ(Records(S), (TRows{{"c"}, {"d"}}));

  TDataStream R;
  std::string Twenty;
  for (int I = 0; I < 20; ++I) Twenty += "r\n";
  Load(R, Twenty);
  R.SetNameRow(10);
  R.SetLastRow(15);
  Load(R, "h,i\n1,2\n3,4\n");  // both rows lie beyond the new text
  EXPECT_EQ(R.NameRow(), 2);
  EXPECT_EQ(R.LastRow(), 2);
  EXPECT_EQ(R.FirstRow(), 2);
  EXPECT_EQ(R.RecordCount(), 1);
  EXPECT_EQ(R.CurrentFields(), (std::vector<std::string>{"3", "4"}));
}

TEST(DataStreamPositioning, ClampsAtBothEnds) {
  TDataStream S;
  Load(S, "H\nr0\nr1\nr2\n");
  EXPECT_EQ(S.RecordIndex(), 0);
  EXPECT_FALSE(S.Bof());
  EXPECT_FALSE(S.Eof());
  S.SetRecordIndex(2);
  S.Next();  // past the last record
  EXPECT_TRUE(S.Eof());
  EXPECT_EQ(S.RecordIndex(), 2);
  EXPECT_EQ(S.FieldValue(0), "r2");
  S.SetRecordIndex(-5);
  EXPECT_TRUE(S.Bof());
  EXPECT_FALSE(S.Eof());
  EXPECT_EQ(S.RecordIndex(), 0);
  EXPECT_EQ(S.FieldValue(0), "r0");
  EXPECT_EQ(S.Cell(std::numeric_limits<std::int32_t>::max(), 0), "r2");
  EXPECT_TRUE(S.Eof());
  EXPECT_EQ(S.Cell(1, 0), "r1");
  EXPECT_FALSE(S.Eof());
  EXPECT_EQ(Records(S), (TRows{{"r0"}, {"r1"}, {"r2"}}));
}

TEST(DataStreamErrors, CallerIndexErrorsThrow) {
  TDataStream S;
  Load(S, "a,b\n1,2\n");
  EXPECT_THROW(S.LineLength(-1), std::out_of_range);
  EXPECT_THROW(S.LineLength(2), std::out_of_range);
  EXPECT_THROW(S.FieldStart(2), std::out_of_range);
  EXPECT_THROW(S.FieldLength(-1), std::out_of_range);
  EXPECT_THROW(S.SetFieldStart(2, 1), std::out_of_range);
  EXPECT_THROW(S.SetFieldLength(-1, 1), std::out_of_range);
  EXPECT_THROW(S.FieldValue(-1), std::out_of_range);
  EXPECT_THROW(S.FieldName(-1), std::out_of_range);
  EXPECT_THROW(S.FieldText(-1, '"'), std::out_of_range);
  EXPECT_THROW(S.Cell(0, -1), std::out_of_range);
  EXPECT_EQ(S.FieldValue(2), "");  // at or beyond the values: ""
  try {
    S.LineLength(7);
  } catch (const std::out_of_range& E) {
    EXPECT_NE(std::string(E.what()).find('7'), std::string::npos);
  }
  TDataStream Fresh;
  EXPECT_THROW(Fresh.LineLength(0), std::out_of_range);
}

// ---- Loading and progress -----------------------------------------------------------

TEST(DataStreamLoading, ExtensionRuleAndFileName) {
  struct Row { const char* Name; const char* File; char Terminator; char Quote; };
  const Row Rows[] = {
      {"CsvSwitchesQuoting", "points.csv", ',', '"'},
      {"UpperCaseCsv", "POINTS.CSV", ',', '"'},
      {"TabSetsTerminator", "points.Tab", '\t', '\0'},
      {"OtherExtension", "points.txt", ',', '\0'},
      {"NoExtension", "points", ',', '\0'},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    const auto Path = TempFile(R.File, "E\tN,\"x\"\r\n1\t2,\"3,4\"\r\n");
    TDataStream S;
    S.LoadFromFile(Path.string());
    EXPECT_EQ(S.FileName(), Path.string());
    EXPECT_EQ(S.FieldTerminator(), R.Terminator);
    EXPECT_EQ(S.TextDelimiter(), R.Quote);
    EXPECT_EQ(S.RecordCount(), 1);
    std::filesystem::remove(Path);
  }
  const auto Csv = TempFile("q.csv", "E,N\r\n\"1,5\",2\r\n");
  TDataStream S;
  S.LoadFromFile(Csv.string());
  EXPECT_EQ(S.CurrentFields(), (std::vector<std::string>{"1,5", "2"}));
  std::filesystem::remove(Csv);
}

TEST(DataStreamLoading, FailedOpenKeepsTheText) {
  TDataStream S;
  Load(S, "a\nb\n");
  const std::string Missing = (std::filesystem::temp_directory_path() / "veltrana-no-such-file.tab").string();
  try {
    S.LoadFromFile(Missing);
    ADD_FAILURE() << "no error raised";
  } catch (const std::runtime_error& E) {
    EXPECT_NE(std::string(E.what()).find(Missing), std::string::npos) << E.what();
  }
  EXPECT_EQ(S.FileName(), Missing);
  EXPECT_EQ(S.FieldTerminator(), '\t');  // the extension rule ran first
  EXPECT_EQ(S.LineCount(), 2);
  EXPECT_EQ(S.FieldValue(0), "b");
  EXPECT_THROW(S.LoadFromFile(std::filesystem::temp_directory_path().string()), std::runtime_error);
}

TEST(DataStreamLoading, FailingSourcesKeepTheText) {
  TDataStream S;
  Load(S, "a\nb\n");
  {
    TFailingBuffer Buffer;
    std::istream In(&Buffer);
    EXPECT_THROW(S.LoadFromStream(In), std::runtime_error);
  }
  {
    std::istringstream In("x\ny\n");
    In.setstate(std::ios::failbit);
    EXPECT_THROW(S.LoadFromStream(In), std::runtime_error);
  }
  EXPECT_EQ(S.Size(), 6u);
  EXPECT_EQ(S.Cell(0, 0), "b");
}

TEST(DataStreamLoading, LoadsFromTheCurrentPositionAndResetsTheLayout) {
  TDataStream S;
  Load(S, "a,b,c\n1,2,3\n");
  S.SetFormat(dfFixed);
  S.SetFieldCount(3);
  S.SetFieldStart(0, 4);
  std::istringstream In("skip|H\n1\n");
  In.seekg(5);
  S.LoadFromStream(In);
  EXPECT_EQ(S.Size(), 6u);
  EXPECT_EQ(S.Position(), 0u);
  EXPECT_EQ(S.FieldCount(), 1);
  EXPECT_EQ(S.FieldStart(0), 0);  // fixed widths must be applied after loading
  EXPECT_EQ(S.Format(), dfFixed);
  char Bytes[4] = {};
  EXPECT_EQ(S.Read(Bytes, sizeof Bytes), 4u);
  EXPECT_EQ(std::string(Bytes, 4), std::string("H\n1\0", 4));  // the final LF became NUL
  EXPECT_EQ(S.Read(Bytes, sizeof Bytes), 2u);
  EXPECT_EQ(S.Read(Bytes, sizeof Bytes), 0u);
}

TEST(DataStreamProgress, LoadReportsPerChunkAndParsePerLine) {
  {
    // 24572 bytes arrive in chunks of 8189, 8189, 8189, 5: percent copied
    // x 99 div total gives 32, 65, 98, 99.
    SCOPED_TRACE("Load");
    TDataStream S;
    S.ProgressThreshold = 100;
    std::istringstream In(std::string(24572, 'x'));
    EXPECT_EQ(LoadEvents(S, In), (std::vector<std::int32_t>{0, 32, 65, 98, 99, 100}));
  }
  {
    // Lines at 0, 5, 10 of a 17-byte buffer: 0, 29, 58 (the 0 is not repeated).
    SCOPED_TRACE("Parse");
    TDataStream S;
    S.ProgressThreshold = 16;
    std::vector<std::int32_t> Parse;
    std::istringstream In("aaaa\naaaa\naaaa\n");
    LoadEvents(S, In, &Parse);
    EXPECT_EQ(Parse, (std::vector<std::int32_t>{0, 29, 58, 100}));
  }
  {
    SCOPED_TRACE("ManyLinesRiseStrictly");
    TDataStream S;
    S.ProgressThreshold = 0;
    std::string Text;
    for (int I = 0; I < 5000; ++I) Text += std::to_string(I) + ",1.5,2.5\r\n";
    std::vector<std::int32_t> Parse;
    std::istringstream In(Text);
    const auto Load = LoadEvents(S, In, &Parse);
    const std::vector<std::int32_t>* Lists[] = {&Load, &Parse};
    for (const auto* Events : Lists) {
      ASSERT_GE(Events->size(), 3u);
      EXPECT_EQ(Events->front(), 0);
      EXPECT_EQ(Events->back(), 100);
      for (std::size_t I = 1; I + 1 < Events->size(); ++I) {
        EXPECT_GT((*Events)[I], (*Events)[I - 1]);
        EXPECT_LE((*Events)[I], 99);
      }
    }
    // One per whole percent; the last line starts before 99 %.
    EXPECT_EQ(Parse.size(), 100u);
  }
}

TEST(DataStreamProgress, ThresholdBoundaries) {
  struct Row { const char* Name; std::size_t Bytes; bool Load; bool Parse; };
  // Load progress needs more data bytes than the threshold; parse progress
  // counts the buffer, two NUL bytes included.
  const Row Rows[] = {
      {"ParseNeither", 98, false, false},
      {"ParseOnly", 99, false, true},
      {"AtThreshold", 100, false, true},
      {"Both", 101, true, true},
  };
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    TDataStream S;
    S.ProgressThreshold = 100;
    std::vector<std::int32_t> Parse;
    std::istringstream In(std::string(R.Bytes, 'z'));
    EXPECT_EQ(!LoadEvents(S, In, &Parse).empty(), R.Load);
    EXPECT_EQ(!Parse.empty(), R.Parse);
  }
}

TEST(DataStreamProgress, DefaultThresholdIsTenMebibytes) {
  struct Row { const char* Name; std::size_t Bytes; bool Load; bool Parse; };
  const Row Rows[] = {
      {"10485758", 10485758, false, false},
      {"10485759", 10485759, false, true},
      {"10485760", 10485760, false, true},
      {"10485761", 10485761, true, true},
  };
  std::string Text;
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    Text.assign(R.Bytes, '7');
    for (std::size_t I = 63; I < Text.size(); I += 64) Text[I] = '\n';
    Text.back() = '7';
    TDataStream S;
    EXPECT_EQ(S.ProgressThreshold, 10485760);
    std::vector<std::int32_t> Parse;
    std::istringstream In(Text);
    EXPECT_EQ(!LoadEvents(S, In, &Parse).empty(), R.Load);
    EXPECT_EQ(!Parse.empty(), R.Parse);
    EXPECT_EQ(S.Size(), R.Bytes + 2);
  }
}

TEST(DataStreamProgress, UnknownSizeLoadsWithoutLoadProgress) {
  TUnseekableBuffer Buffer("a,b\n1,2\n");
  std::istream In(&Buffer);
  TDataStream S;
  S.ProgressThreshold = 0;
  std::vector<std::int32_t> Parse;
  EXPECT_TRUE(LoadEvents(S, In, &Parse).empty());
  EXPECT_EQ(Parse.back(), 100);
  EXPECT_EQ(S.CurrentFields(), (std::vector<std::string>{"1", "2"}));
}

TEST(DataStreamProgress, ReloadingFromAProgressEventIsRefused) {
  TDataStream S;
  S.ProgressThreshold = 0;
  S.OnParseProgress = [](TDataStream& Sender, std::int32_t) {
    std::istringstream Other("x\n");
    Sender.LoadFromStream(Other);
  };
  std::istringstream In("a\nb\n");
  EXPECT_THROW(S.LoadFromStream(In), std::logic_error);
  S.OnParseProgress = nullptr;
  std::istringstream Again("a\nb\n");
  S.LoadFromStream(Again);  // the stream is usable afterwards
  EXPECT_EQ(S.FieldValue(0), "b");
}

// ---- Arbitrary bytes and layouts ------------------------------------------------------

// Random texts and layouts through every operation: under the sanitizers any
// read outside the buffer fails this test; the invariants are checked directly.
TEST(DataStreamRobustness, ArbitraryBytesAndLayouts) {
  std::mt19937 Random(20240611);
  const std::string Alphabet = std::string("ab ,;'\"\t\r\n\x00\x01\xFF", 13);
  auto Pick = [&Random](int Low, int High) { return std::uniform_int_distribution<int>(Low, High)(Random); };
  for (int Round = 0; Round < 3000; ++Round) {
    std::string Text(static_cast<std::size_t>(Pick(0, 60)), ' ');
    for (char& C : Text) C = Pick(0, 3) == 0 ? static_cast<char>(Pick(0, 255)) : Alphabet[static_cast<std::size_t>(Pick(0, 12))];
    TDataStream S;
    S.SetFormat(Pick(0, 1) == 0 ? dfDelimited : dfFixed);
    S.SetTextDelimiter(Pick(0, 1) == 0 ? '\0' : Alphabet[static_cast<std::size_t>(Pick(0, 12))]);
    S.SetFieldTerminator(Alphabet[static_cast<std::size_t>(Pick(0, 12))]);
    S.SetConsecutiveDelimiters(Pick(0, 1) == 1);
    S.SetNameRow(Pick(-3, 8));
    S.SetFirstRow(Pick(-3, 8));
    S.SetLastRow(Pick(-3, 8));
    Load(S, Text);
    S.SetNameRow(Pick(-3, 8));
    S.SetFirstRow(Pick(-3, 8));
    S.SetLastRow(Pick(-3, 8));
    if (S.Format() == dfFixed) {
      std::string Breaks;
      for (int I = Pick(0, 4); I > 0; --I) Breaks += std::to_string(Pick(-80, 80)) + ",";
      Breaks += std::to_string(Pick(-80, 80));
      ApplyFieldBreaks(S, Breaks);
      if (Pick(0, 3) == 0) S.SetFieldLength(0, Pick(0, 1) ? std::numeric_limits<std::int32_t>::max() : -Pick(0, 99));
    } else {
      S.SetFieldCount(Pick(0, 5));
    }
    ASSERT_EQ(S.FieldStarts().size(), static_cast<std::size_t>(S.FieldCount()));
    ASSERT_EQ(S.FieldLengths().size(), static_cast<std::size_t>(S.FieldCount()));
    ASSERT_GE(S.FieldCount(), 1);
    std::int32_t Seen = 0;
    for (S.SetRecordIndex(-1); S.RecordCount() > 0 && !S.Eof(); S.Next()) {
      ASSERT_EQ(S.CurrentFields().size(), static_cast<std::size_t>(S.FieldCount()));
      ASSERT_LE(++Seen, S.RecordCount());
      (void)S.ValuesLine(',', '"');
    }
    (void)S.NamesLine(';', '\'');
    (void)S.NamesList();
    for (std::int32_t L = 0; L < S.LineCount(); ++L) ASSERT_GT(S.LineLength(L), 0);
  }
}

// SplitRecord gives what positioning gives, without moving the stream; and
// PlainRecordText hands out a line exactly when joining its split fields
// with the terminator reproduces it (the pipeline then copies the line).
TEST(DataStreamConcurrentReading, SplitAndPlainTextAgreeWithPositioning) {
  struct TCase {
    const char* Name;
    const char* Text;
    TLayout Layout;
  };
  const TCase Cases[] = {
      {"plain", "a,b,c\n1,2,3\nx,,z\n,,\n", {}},
      {"trailing terminator", "a,b,c\n1,2,\n", {}},
      {"spaces around fields", "a,b,c\n 1,2 ,3\n1, 2,3\n1,2,3 \n", {}},
      {"spaces inside fields", "a,b,c\nNew Town,2,3\n", {}},
      {"fewer and more fields", "a,b,c\n1,2\n1,2,3,4\n", {}},
      {"consecutive terminators", "a b c\n1  2 3\n1 2 3\n", {' ', true}},
      {"tab terminator", "a\tb\tc\n1\t2\t3\n1\t\t3\n", {'\t'}},
      {"quoted", "a,b,c\n\"1,5\",2,3\n1,2,3\n", {',', false, '"'}},
      {"CR LF and last line without end", "a;b\r\n1;2\r\n3;4", {';'}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TDataStream S;
    LoadWith(S, C.Text, C.Layout);
    const TRows Expected = Records(S);
    const std::int32_t Positioned = S.RecordIndex();
    TRecordSplit Split;
    for (std::int32_t R = 0; R < S.RecordCount(); ++R) {
      S.SplitRecord(R, Split);
      EXPECT_EQ(Split.Values, Expected[static_cast<std::size_t>(R)]) << "record " << R;
      std::string_view Plain;
      std::string Joined;
      for (std::size_t F = 0; F < Split.Values.size(); ++F) Joined += (F > 0 ? std::string(1, C.Layout.Terminator) : "") + Split.Values[F];
      const std::int64_t Line = S.FirstRow() + R;
      std::string Raw(S.Memory() + S.LineStarts()[static_cast<std::size_t>(Line)],
                      static_cast<std::size_t>(S.LineLength(static_cast<std::int32_t>(Line))));
      while (!Raw.empty() && (Raw.back() == '\n' || Raw.back() == '\r' || Raw.back() == '\0')) Raw.pop_back();
      if (S.PlainRecordText(R, Plain)) {
        EXPECT_EQ(Plain, Raw) << "record " << R;
        EXPECT_EQ(Joined, Raw) << "record " << R;
      } else {
        // Refused lines are those a copy would change, or quoted layouts.
        EXPECT_TRUE(Joined != Raw || C.Layout.Quote != '\0' || C.Layout.Terminator <= ' ') << "record " << R;
      }
    }
    EXPECT_EQ(S.RecordIndex(), Positioned);  // the stream did not move
    S.SplitRecord(S.RecordCount(), Split);
    EXPECT_TRUE(Split.Values.empty());
    S.SplitRecord(-1, Split);
    EXPECT_TRUE(Split.Values.empty());
  }
}
