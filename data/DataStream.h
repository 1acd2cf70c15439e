// The text data stream: a whole point file held in memory and presented as a
// table. Lines become rows, rows split into fields (delimited by one byte or
// cut at fixed byte columns), one row may supply the field names, and a window
// of rows (FirstRow to LastRow) forms the records read one at a time.
//
// Text is handled as single bytes: line ends, delimiters and quotes are
// compared byte by byte and no character set is decoded. Fields are text; the
// stream converts no numbers.
//
// Memory model. The stream owns one growable byte buffer (with a size and a
// read position, like any in-memory byte stream). After a load it holds the
// source's bytes followed by two NUL bytes; trailing bytes below 32 are
// overwritten with NUL by the line indexing, so the text always ends in NUL.
// LineStarts holds byte offsets into that buffer, one per line plus one for
// the text end; lines are never copied. Every scan of the stream is bounded by
// the text end, so no operation reads outside the buffer for any content or
// any layout setting.
//
// Rows and indices. Line indices (NameRow, FirstRow, LastRow) and field and
// record indices are 0-based. Record r is line FirstRow + r. Only non-empty
// lines have an index: any run of line-end bytes (NUL, LF, CR) is one
// separator, so CR, LF, CR LF and LF CR all end a line and empty lines are no
// rows. The one exception: text that begins with line-end bytes has an empty
// line 0. A line holding only spaces is not empty.
//
// Threads: a stream is changed by one thread at a time; it has no shared state
// and no locks. The const members may run on several threads at once while
// nobody changes the stream (SplitRecord exists for that). Progress events
// run synchronously inside the load.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "LargeBlocks.h"

namespace veltrana {

enum TDataFormat {
  dfDelimited = 0,  // fields separated by FieldTerminator, optionally quoted
  dfFixed = 1,      // fields cut at the byte columns FieldStarts / FieldLengths
};

class TDataStream;

// A record split by TDataStream::SplitRecord: the field values and, in the
// delimited layout, the byte columns found for them. The caller owns it, so
// the lists are reused from record to record.
struct TRecordSplit {
  std::vector<std::string> Values;
  std::vector<std::int32_t> Starts;
  std::vector<std::int32_t> Lengths;
};

// Percent is 0 to 100. Called synchronously from inside LoadFromStream.
using TProgressEvent = std::function<void(TDataStream& Sender, std::int32_t Percent)>;

// Progress fires only for data larger than this many bytes (10 MiB).
inline constexpr std::int64_t DefaultProgressThreshold = 10485760;
// Largest number of bytes copied from the source in one read.
inline constexpr std::size_t LoadChunkSize = 8189;
// Highest row index a row setter stores, so that NameRow + 1 and
// LastRow - FirstRow + 1 always fit in 32 bits.
inline constexpr std::int32_t MaxRowIndex = std::numeric_limits<std::int32_t>::max() - 1;

// A set of bytes (for the line-end and field-end bytes).
struct TByteSet {
  std::array<bool, 256> Members{};
  bool Contains(char Byte) const { return Members[static_cast<unsigned char>(Byte)]; }
  void Include(char Byte) { Members[static_cast<unsigned char>(Byte)] = true; }
};

class TDataStream {
 public:
  // A stream with no text: no lines, RecordCount 0, RecordIndex -1, FieldCount
  // 1 (one start and one length, both 0), terminator ",", no text delimiter,
  // NameRow 0, FirstRow 1, LastRow -1, delimited layout, BOF and EOF false.
  // FieldEndChars holds NUL, LF, CR and ",".
  TDataStream();

  // ---- The in-memory byte stream -------------------------------------------
  // The buffer: after a load, the source's bytes and two NUL bytes (so Size()
  // is the source size + 2). Empty before the first load. Memory() stays valid
  // until the next load.
  const char* Memory() const { return FBuffer.data(); }
  std::size_t Size() const { return FBuffer.size(); }
  // Read position in bytes from the buffer start; a load sets it to 0.
  std::size_t Position() const { return FPosition; }
  // Any value is accepted; positions beyond Size() read nothing.
  void SetPosition(std::size_t Value) { FPosition = Value; }
  // Copies up to Count bytes from Position into Destination and advances
  // Position by the bytes copied, which it returns (0 at or beyond the end).
  std::size_t Read(void* Destination, std::size_t Count);

  // ---- Loading -------------------------------------------------------------
  // Stores Name in FileName, then applies the extension rule: the extension
  // (from the last "." after the last "/" or "\", upper-cased ASCII) ".TAB"
  // sets FieldTerminator to TAB (9) through its setter, ".CSV" sets
  // TextDelimiter to the double quote (34); other extensions change nothing.
  // Then opens the file read-only in binary mode, loads it with LoadFromStream
  // and closes it.
  // Throws std::runtime_error naming the file when it cannot be opened or read;
  // FileName and the extension rule have then already been applied and the
  // text is unchanged.
  void LoadFromFile(const std::string& Name);

  // Replaces the buffer by the bytes from Source's current position to its
  // end, appends two NUL bytes, sets Position to 0 and indexes the lines.
  // Copies in reads of at most LoadChunkSize bytes.
  // Progress: OnLoadProgress is called with 0, then with each whole percent
  // copied × 99 / total that exceeds the last one reported (at most 99), then
  // with 100 — only when it is assigned and the total size > ProgressThreshold.
  // A source that cannot report its size (tellg/seekg fail) is loaded without
  // load progress. OnParseProgress then reports the indexing the same way
  // (0, per-line percentages of at most 99, 100) when the buffer size, two NUL
  // bytes included, exceeds ProgressThreshold.
  // The load resets FieldCount to 1 (one start and one length, both 0), clears
  // Names and CurrentFields, and keeps FieldTerminator, ConsecutiveDelimiters,
  // TextDelimiter, Format and the rows. Rows set beyond the new text are
  // fitted to it: NameRow and LastRow above the last line become the last line
  // (as their setters would), and FirstRow is lowered by the record window.
  // Then the record window and the field count are computed; with records the
  // stream is positioned on record 0, otherwise BOF and EOF are set.
  // Failure: a source in a failed state, or one that fails while being read
  // (badbit), throws std::runtime_error; std::bad_alloc passes through. In both
  // cases the stream keeps its previous text and state (the new bytes are
  // gathered aside and take over only once complete). Exceptions from a
  // progress event pass through: one thrown while bytes are copied leaves the
  // previous text; one thrown after the copy (the final 100, or during the
  // indexing) leaves the new text loaded with no lines. Calling LoadFromStream or
  // LoadFromFile on the stream from inside its own progress event throws
  // std::logic_error.
  void LoadFromStream(std::istream& Source);

  // ---- Positioning ---------------------------------------------------------
  // Writing v: nothing when v equals RecordIndex and a record is current
  // (RecordIndex >= 0; the fields stay as they are). Otherwise BOF and EOF are cleared; v < 0 sets BOF and moves to record
  // 0, v >= RecordCount sets EOF and moves to the last record, and the record's
  // line is split into CurrentFields.
  // With no records (RecordCount <= 0) any v sets BOF and EOF, makes
  // RecordIndex -1 and empties CurrentFields. With records, writing -1 while
  // RecordIndex is -1 (no record read yet) splits record 0 and sets BOF.
  // Reading all records: First(); while (!Eof()) { ...; Next(); }
  std::int32_t RecordIndex() const { return FRecordIndex; }
  void SetRecordIndex(std::int32_t Value);
  void First() { SetRecordIndex(0); }
  void Next();
  // Set when positioning asked for a record before the first / past the last.
  bool Bof() const { return FBOF; }
  bool Eof() const { return FEOF; }
  // Records in the window; zero or less means none.
  std::int32_t RecordCount() const { return FRecordCount; }

  // ---- Field values and names ----------------------------------------------
  // Entry Index of CurrentFields (trimmed, de-quoted); "" when Index is not
  // below the number of entries. The reference stays valid until the next
  // split of the current record or the next load.
  // Throws std::out_of_range for a negative Index.
  const std::string& FieldValue(std::int32_t Index) const;
  // "" when Index >= FieldCount; with NameRow -1 "Column " and Index + 1
  // ("Column 1" for field 0); otherwise entry Index of Names, or "" when Names
  // is shorter. Throws std::out_of_range for a negative Index.
  std::string FieldName(std::int32_t Index) const;
  // FieldValue / FieldName unchanged when Quote is NUL; otherwise Quote, the
  // text with every Quote byte doubled, Quote. Negative Index: out_of_range.
  std::string FieldText(std::int32_t Index, char Quote) const;
  std::string FieldNameText(std::int32_t Index, char Quote) const;
  // FieldText / FieldNameText of fields 0 .. FieldCount - 1 joined with
  // Delimiter; no delimiter after the last, no line end.
  std::string ValuesLine(char Delimiter, char Quote) const;
  std::string NamesLine(char Delimiter, char Quote) const;
  // FieldName of every field joined with CR LF (no trailing line end).
  std::string NamesList() const;
  // The values SetRecordIndex(Record) would put in CurrentFields, into Split,
  // for 0 <= Record < RecordCount (Values emptied for any other Record),
  // without moving the stream: RecordIndex, CurrentFields, FieldStarts and
  // FieldLengths stay as they are. Several threads may split records at once
  // while no thread changes the stream. Throws only std::bad_alloc.
  void SplitRecord(std::int32_t Record, TRecordSplit& Split) const;
  // The line of Record (0 <= Record < RecordCount, line end excluded) when
  // joining its split values with FieldTerminator gives back exactly those
  // bytes, so a writer may copy the line instead of splitting it. True only
  // in the delimited layout with no TextDelimiter, a FieldTerminator above
  // 32, a line of exactly FieldCount fields, no field starting or ending with
  // a byte of 32 or less, and no run of terminators when they count as one.
  // False otherwise (Text then untouched). Const and thread-safe like
  // SplitRecord.
  bool PlainRecordText(std::int32_t Record, std::string_view& Text) const;
  // Positions on Record (as SetRecordIndex, so out-of-range records clamp and
  // set BOF or EOF), then returns a copy of FieldValue(Field).
  // Throws std::out_of_range for a negative Field, before moving.
  std::string Cell(std::int32_t Record, std::int32_t Field);

  // ---- Lines ---------------------------------------------------------------
  // Number of lines (entries of LineStarts minus one; 0 before a load).
  std::int32_t LineCount() const;
  // Bytes from the start of Line to the start of the next line (its line ends
  // and any empty lines after it included); for the last line up to the text
  // end. Throws std::out_of_range unless 0 <= Line < LineCount().
  std::int32_t LineLength(std::int32_t Line) const;
  // Offsets into Memory(): the start of every line, then the text end.
  const TLargeVector<std::size_t>& LineStarts() const { return FLineStarts; }

  // ---- Layout --------------------------------------------------------------
  // Number of fields per record, at least 1. Writing n (nothing when equal):
  // raises n to 1, resizes FieldStarts and FieldLengths to n (new entries 0)
  // and detects the field count, which in the delimited layout with records
  // replaces n by the counted value. std::bad_alloc leaves the count unchanged.
  std::int32_t FieldCount() const { return FFieldCount; }
  void SetFieldCount(std::int32_t Value);

  // 1-based byte column of field Index in its line (0: absent) and its byte
  // length. The split of a delimited line sets them; in the fixed layout they
  // are the configured columns. Writing stores only (no re-split).
  // Any value is accepted; in the fixed layout a field takes the bytes of
  // columns Start .. Start + Length - 1 of its line that exist: columns below
  // 1 are dropped (nothing is taken before the line), a length of 0 or less
  // gives "", and bytes beyond the text end are not taken (a slice may run
  // into the following lines up to the text end).
  // Throws std::out_of_range unless 0 <= Index < FieldCount().
  std::int32_t FieldStart(std::int32_t Index) const;
  std::int32_t FieldLength(std::int32_t Index) const;
  void SetFieldStart(std::int32_t Index, std::int32_t Value);
  void SetFieldLength(std::int32_t Index, std::int32_t Value);
  const std::vector<std::int32_t>& FieldStarts() const { return FFieldStarts; }
  const std::vector<std::int32_t>& FieldLengths() const { return FFieldLengths; }

  // Delimiter between fields (any byte, NUL included). Writing a new value
  // rebuilds FieldEndChars (LineEndChars plus the terminator) and detects the
  // field count; the current fields are not re-split.
  char FieldTerminator() const { return FFieldTerminator; }
  void SetFieldTerminator(char Value);
  // A run of terminators counts as one. Writing a new value detects the field
  // count; the current fields are not re-split.
  bool ConsecutiveDelimiters() const { return FConsecutiveDelimiters; }
  void SetConsecutiveDelimiters(bool Value);

  // Rows. With at least one line loaded (N lines):
  // - FirstRow := v: v raised to 0 and lowered to N; nothing when equal; a
  //   NameRow >= FirstRow becomes -1; the record window is updated (FirstRow
  //   drops to N - 1 when needed); line FirstRow + RecordIndex is re-split
  //   into CurrentFields when a record was read (RecordIndex >= 0) and that
  //   is a line; the field count is detected.
  // - LastRow := v (-1: up to the last line): nothing when equal; -1 is kept;
  //   other values below 0 or above N - 1 become N - 1; then a LastRow below
  //   FirstRow becomes FirstRow; the record window is updated (no re-split,
  //   no count detection).
  // - NameRow := v (-1: no name row): values below 0 become -1, above N - 1
  //   become N - 1; nothing when equal; a FirstRow <= NameRow becomes
  //   NameRow + 1; the record window is updated, the current record re-split
  //   as for FirstRow and the field count detected.
  // With no line loaded (before a load, or after loading an empty text) only
  // the lower bounds and the coupling apply (LastRow below -1 becomes -1) and
  // every value is capped at MaxRowIndex; the next load fits them to its text.
  std::int32_t FirstRow() const { return FFirstRow; }
  void SetFirstRow(std::int32_t Value);
  std::int32_t LastRow() const { return FLastRow; }
  void SetLastRow(std::int32_t Value);
  std::int32_t NameRow() const { return FNameRow; }
  void SetNameRow(std::int32_t Value);

  // Quote byte of fields; NUL: fields are never quoted. Plain value, acts at
  // the next split or count.
  char TextDelimiter() const { return FTextDelimiter; }
  void SetTextDelimiter(char Value) { FTextDelimiter = Value; }
  // Plain value, acts at the next split or count.
  TDataFormat Format() const { return FFormat; }
  void SetFormat(TDataFormat Value) { FFormat = Value; }

  // Bytes that end a line (NUL, LF, CR) and those that end an unquoted field
  // (the line-end bytes plus FieldTerminator).
  const TByteSet& LineEndChars() const { return FLineEndChars; }
  const TByteSet& FieldEndChars() const { return FFieldEndChars; }

  // Name given to the last LoadFromFile ("" before).
  const std::string& FileName() const { return FFileName; }
  // Values of the current record (FieldCount entries when it was split).
  const std::vector<std::string>& CurrentFields() const { return FCurrentFields; }
  // Field names split from the name row by the last field-count detection.
  // Only the delimited layout detects, so in the fixed layout Names keeps what
  // an earlier delimited detection split (after a load: the name row as split
  // with the terminator in force at loading) and may not match the fields.
  const std::vector<std::string>& Names() const { return FNames; }

  // ---- Progress (plain values) ---------------------------------------------
  TProgressEvent OnLoadProgress;   // bytes copied in
  TProgressEvent OnParseProgress;  // lines indexed
  std::int64_t ProgressThreshold = DefaultProgressThreshold;  // bytes

 private:
  void LoadFrom(std::istream& Source, const std::string& SourceName);
  void IndexLines();
  void FitRowsToText();
  void UpdateRecordWindow();
  void DetectFieldCount();
  void ResizeFieldLists(std::int32_t Count);
  void ReparseCurrentRecord();
  bool IsLine(std::int64_t Line) const;
  std::int32_t CountFields(std::size_t Line) const;
  void ParseLine(std::size_t Line, std::vector<std::string>& Values);
  void SplitDelimited(std::size_t LineStart, std::vector<std::int32_t>& Starts,
                      std::vector<std::int32_t>& Lengths) const;
  void SliceFields(std::size_t LineStart, const std::vector<std::int32_t>& Starts,
                   const std::vector<std::int32_t>& Lengths, std::vector<std::string>& Values) const;
  void CheckFieldIndex(std::int32_t Index) const;

  TLargeVector<char> FBuffer;
  std::size_t FPosition = 0;
  std::size_t FTextEnd = 0;  // offset just after the last byte >= 32
  TLargeVector<std::size_t> FLineStarts;
  bool FBOF = false;
  bool FConsecutiveDelimiters = false;
  std::vector<std::string> FCurrentFields;
  bool FEOF = false;
  std::int32_t FFieldCount = 1;
  std::vector<std::int32_t> FFieldLengths{0};
  std::vector<std::int32_t> FFieldStarts{0};
  char FFieldTerminator = '\0';
  std::string FFileName;
  std::int32_t FFirstRow = 1;
  TDataFormat FFormat = dfDelimited;
  std::int32_t FLastRow = -1;
  std::int32_t FNameRow = 0;
  std::vector<std::string> FNames;
  std::int32_t FRecordCount = 0;
  std::int32_t FRecordIndex = -1;
  char FTextDelimiter = '\0';
  TByteSet FFieldEndChars;
  TByteSet FLineEndChars;
  // Set while LoadFromStream runs, to refuse a reload from a progress event.
  // A copy of the stream is never "loading".
  struct TReentryFlag {
    bool Active = false;
    TReentryFlag() = default;
    TReentryFlag(const TReentryFlag&) {}
    TReentryFlag& operator=(const TReentryFlag&) { return *this; }
  } FLoading;
};

// Turns a break list into fixed-width field positions. Nothing happens unless
// Stream's Format is dfFixed. Text is a comma list: items separated by commas
// or blanks (bytes 0 to 32), an item may be enclosed in double quotes (a
// doubled quote inside gives one); "1, 11, 21" has three items. FieldCount :=
// number of items (at least 1); field i starts at item i (a 1-based byte
// column, optional sign and decimal digits, 32-bit); field i - 1 runs up to
// and including column item i (length item i - item i-1 + 1, saturated to 32
// bits); the last field runs to the end of line FirstRow, line ends included
// (length 0 when the stream has no line).
// Throws std::runtime_error naming the item when one is not an integer, and
// for an empty list; the count and the positions set before it remain.
void ApplyFieldBreaks(TDataStream& Stream, const std::string& Text);

}  // namespace veltrana
