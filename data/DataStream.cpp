#include "DataStream.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace veltrana {

namespace {

constexpr char Nul = '\0';
constexpr char LineFeed = '\n';
constexpr char CarriageReturn = '\r';
constexpr char Tab = '\t';
constexpr char Space = ' ';
constexpr char DoubleQuote = '"';
constexpr char BreakSeparator = ',';
constexpr unsigned char LowestTextByte = 32;  // bytes below it never end the text
constexpr std::int32_t LastLoadPercent = 99;  // highest percentage before the end
constexpr std::int32_t DonePercent = 100;
constexpr const char* ColumnNamePrefix = "Column ";
constexpr const char* NamesListSeparator = "\r\n";
constexpr const char* TabExtension = ".TAB";
constexpr const char* CsvExtension = ".CSV";

// Eight bytes at a time: every line-end byte (NUL, LF, CR) is below this
// value, so a word with no byte below it holds no line end.
constexpr unsigned char LineEndLimit = 14;
constexpr std::uint64_t EveryByte = 0x0101010101010101ULL;
constexpr std::uint64_t HighBits = 0x8080808080808080ULL;

std::int32_t Saturate(std::int64_t Value) {
  constexpr std::int64_t Low = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t High = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::clamp(Value, Low, High));
}

bool IsLineEnd(unsigned char Byte) {
  return Byte == static_cast<unsigned char>(Nul) || Byte == static_cast<unsigned char>(LineFeed) ||
         Byte == static_cast<unsigned char>(CarriageReturn);
}

// The first line-end byte in [Position, End), or End.
std::size_t FindLineEnd(const unsigned char* Text, std::size_t Position, std::size_t End) {
  constexpr std::size_t WordSize = sizeof(std::uint64_t);
  while (End - Position >= WordSize) {
    std::uint64_t Word;
    std::memcpy(&Word, Text + Position, WordSize);
    // Non-zero exactly when some byte of Word is below LineEndLimit.
    if (((Word - EveryByte * LineEndLimit) & ~Word & HighBits) != 0) {
      for (std::size_t K = 0; K < WordSize; ++K)
        if (IsLineEnd(Text[Position + K])) return Position + K;
    }
    Position += WordSize;
  }
  while (Position < End && !IsLineEnd(Text[Position])) ++Position;
  return Position;
}

// Trims bytes <= 32 from both ends of [Begin, End) and, when Quote is not NUL
// and the text starts with it, removes the quoting: the bytes up to the next
// single Quote, each doubled Quote giving one (all the rest when unclosed).
void TrimAndDequote(const unsigned char* Begin, const unsigned char* End, unsigned char Quote,
                    std::string& Out) {
  while (Begin < End && *Begin <= LowestTextByte) ++Begin;
  while (End > Begin && End[-1] <= LowestTextByte) --End;
  if (Quote == 0 || Begin == End || *Begin != Quote) {
    Out.assign(reinterpret_cast<const char*>(Begin), reinterpret_cast<const char*>(End));
    return;
  }
  Out.clear();
  const unsigned char* P = Begin + 1;
  while (P < End) {
    const auto* Found = static_cast<const unsigned char*>(std::memchr(P, Quote, static_cast<std::size_t>(End - P)));
    if (Found == nullptr) {
      Out.append(reinterpret_cast<const char*>(P), reinterpret_cast<const char*>(End));
      return;
    }
    Out.append(reinterpret_cast<const char*>(P), reinterpret_cast<const char*>(Found));
    if (Found + 1 < End && Found[1] == Quote) {
      Out.push_back(static_cast<char>(Quote));
      P = Found + 2;
    } else {
      return;
    }
  }
}

std::string Quoted(const std::string& Text, char Quote) {
  if (Quote == Nul) return Text;
  std::string Out;
  Out.reserve(Text.size() + 2);
  Out.push_back(Quote);
  for (char C : Text) {
    Out.push_back(C);
    if (C == Quote) Out.push_back(C);
  }
  Out.push_back(Quote);
  return Out;
}

// Extension from the last "." after the last path separator, upper-cased
// byte by byte (ASCII letters only); "" when there is none.
std::string UpperExtension(const std::string& Name) {
  const std::size_t Separator = Name.find_last_of("/\\");
  const std::size_t Dot = Name.find_last_of('.');
  if (Dot == std::string::npos || (Separator != std::string::npos && Dot < Separator)) return {};
  std::string Ext = Name.substr(Dot);
  for (char& C : Ext)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
  return Ext;
}

bool IsBreakBlank(char C) { return static_cast<unsigned char>(C) <= LowestTextByte; }

// Items of a comma list: separated by commas or blanks, optionally enclosed
// in double quotes; an empty item between two commas or after a final comma
// is kept (and later refused as a break column).
std::vector<std::string> SplitCommaList(const std::string& Text) {
  std::vector<std::string> Items;
  const std::size_t N = Text.size();
  std::size_t P = 0;
  while (P < N && IsBreakBlank(Text[P])) ++P;
  while (P < N) {
    std::string Item;
    if (Text[P] == DoubleQuote) {
      ++P;
      while (P < N) {
        if (Text[P] != DoubleQuote) {
          Item.push_back(Text[P++]);
        } else if (P + 1 < N && Text[P + 1] == DoubleQuote) {
          Item.push_back(DoubleQuote);
          P += 2;
        } else {
          ++P;
          break;
        }
      }
    } else {
      const std::size_t Begin = P;
      while (P < N && !IsBreakBlank(Text[P]) && Text[P] != BreakSeparator) ++P;
      Item.assign(Text, Begin, P - Begin);
    }
    Items.push_back(std::move(Item));
    while (P < N && IsBreakBlank(Text[P])) ++P;
    if (P < N && Text[P] == BreakSeparator) {
      if (P + 1 == N) Items.emplace_back();
      do ++P;
      while (P < N && IsBreakBlank(Text[P]));
    }
  }
  return Items;
}

// An optional sign and decimal digits, nothing else, within 32 bits.
bool ReadBreakColumn(std::string_view Text, std::int32_t& Value) {
  if (!Text.empty() && Text.front() == '+') {
    Text.remove_prefix(1);
    if (Text.empty() || Text.front() < '0' || Text.front() > '9') return false;
  }
  const char* End = Text.data() + Text.size();
  const auto [Ptr, Ec] = std::from_chars(Text.data(), End, Value, 10);
  return Ec == std::errc{} && Ptr == End && !Text.empty();
}

}  // namespace

// ---- Construction and the byte stream ---------------------------------------

TDataStream::TDataStream() {
  FLineEndChars.Include(Nul);
  FLineEndChars.Include(LineFeed);
  FLineEndChars.Include(CarriageReturn);
  FFieldEndChars = FLineEndChars;
  SetFieldTerminator(',');
}

std::size_t TDataStream::Read(void* Destination, std::size_t Count) {
  if (FPosition >= FBuffer.size()) return 0;
  const std::size_t Copied = std::min(Count, FBuffer.size() - FPosition);
  if (Copied > 0) std::memcpy(Destination, FBuffer.data() + FPosition, Copied);
  FPosition += Copied;
  return Copied;
}

// ---- Loading ------------------------------------------------------------------

void TDataStream::LoadFromFile(const std::string& Name) {
  FFileName = Name;
  const std::string Ext = UpperExtension(Name);
  if (Ext == TabExtension) {
    SetFieldTerminator(Tab);
  } else if (Ext == CsvExtension) {
    FTextDelimiter = DoubleQuote;
  }
  std::error_code Error;
  if (std::filesystem::is_directory(Name, Error))
    throw std::runtime_error("Cannot open data file \"" + Name + "\": it is a folder");
  errno = 0;
  std::ifstream File(Name, std::ios::binary);
  if (!File.is_open()) {
    const std::string Reason = errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
    throw std::runtime_error("Cannot open data file \"" + Name + "\"" + Reason);
  }
  LoadFrom(File, "data file \"" + Name + "\"");
}

void TDataStream::LoadFromStream(std::istream& Source) { LoadFrom(Source, "data source"); }

void TDataStream::LoadFrom(std::istream& Source, const std::string& SourceName) {
  if (FLoading.Active) throw std::logic_error("A data stream cannot be loaded from inside its own progress event");
  if (Source.fail() || Source.rdbuf() == nullptr)
    throw std::runtime_error("Cannot read " + SourceName + ": the stream is in a failed state");
  struct TLoadingFlag {
    bool& Flag;
    explicit TLoadingFlag(bool& AFlag) : Flag(AFlag) { Flag = true; }
    ~TLoadingFlag() { Flag = false; }
    TLoadingFlag(const TLoadingFlag&) = delete;
    TLoadingFlag& operator=(const TLoadingFlag&) = delete;
  } Loading(FLoading.Active);

  // The size still to be read; a source that cannot tell it gets the
  // threshold, which suppresses progress.
  std::int64_t Total = ProgressThreshold;
  bool SizeKnown = false;
  const std::streampos Here = Source.tellg();
  if (Here != std::streampos(-1)) {
    Source.seekg(0, std::ios::end);
    const std::streampos There = Source.fail() ? std::streampos(-1) : Source.tellg();
    Source.clear();
    Source.seekg(Here);
    if (Source.fail())
      throw std::runtime_error("Cannot read " + SourceName + ": the stream cannot return to its position");
    if (There != std::streampos(-1)) {
      Total = std::max<std::int64_t>(0, static_cast<std::int64_t>(There - Here));
      SizeKnown = true;
    }
  }
  const bool Reporting = static_cast<bool>(OnLoadProgress) && Total > ProgressThreshold;

  TLargeVector<char> Data;
  constexpr std::size_t AppendedNuls = 2;
  if (SizeKnown && static_cast<std::uint64_t>(Total) < Data.max_size() - AppendedNuls)
    Data.reserve(static_cast<std::size_t>(Total) + AppendedNuls);
  if (Reporting) OnLoadProgress(*this, 0);
  std::array<char, LoadChunkSize> Chunk;
  std::int64_t Copied = 0;
  std::int32_t LastPercent = 0;
  for (;;) {
    Source.read(Chunk.data(), static_cast<std::streamsize>(Chunk.size()));
    const std::streamsize Got = Source.gcount();
    if (Source.bad()) throw std::runtime_error("Error while reading " + SourceName);
    if (Got <= 0) break;
    Data.insert(Data.end(), Chunk.data(), Chunk.data() + Got);
    Copied += Got;
    if (Reporting) {
      const std::int64_t Percent = Total > 0 ? std::min<std::int64_t>(LastLoadPercent, Copied * LastLoadPercent / Total)
                                             : LastLoadPercent;
      if (Percent > LastPercent) {
        LastPercent = static_cast<std::int32_t>(Percent);
        OnLoadProgress(*this, LastPercent);
      }
    }
  }
  Data.push_back(Nul);
  Data.push_back(Nul);

  // The new text takes over together with an empty line index, so that no
  // offset ever refers to another buffer.
  FBuffer.swap(Data);
  FPosition = 0;
  FTextEnd = 0;
  FLineStarts.clear();
  FRecordCount = 0;
  FRecordIndex = -1;
  FCurrentFields.clear();
  FNames.clear();
  FFieldStarts.assign(1, 0);
  FFieldLengths.assign(1, 0);
  FFieldCount = 1;
  if (Reporting) OnLoadProgress(*this, DonePercent);
  IndexLines();
}

void TDataStream::IndexLines() {
  const auto BufferSize = static_cast<std::int64_t>(FBuffer.size());
  const bool Reporting = static_cast<bool>(OnParseProgress) && BufferSize > ProgressThreshold;
  if (Reporting) OnParseProgress(*this, 0);

  auto* Text = reinterpret_cast<unsigned char*>(FBuffer.data());
  std::size_t End = FBuffer.size();
  while (End > 0 && Text[End - 1] < LowestTextByte) Text[--End] = 0;
  FTextEnd = End;

  TLargeVector<std::size_t> Starts;
  std::size_t Cur = 0;
  std::int32_t LastPercent = 0;
  while (Cur < End) {
    if (Reporting) {
      const std::int64_t Percent =
          std::min<std::int64_t>(LastLoadPercent, static_cast<std::int64_t>(Cur) * LastLoadPercent / BufferSize);
      if (Percent > LastPercent) {
        LastPercent = static_cast<std::int32_t>(Percent);
        OnParseProgress(*this, LastPercent);
      }
    }
    Starts.push_back(Cur);
    Cur = FindLineEnd(Text, Cur, End);
    if (Cur >= End) break;
    while (Cur < End && IsLineEnd(Text[Cur])) ++Cur;
  }
  Starts.push_back(End);
  FLineStarts.swap(Starts);

  FitRowsToText();
  UpdateRecordWindow();
  DetectFieldCount();
  if (FRecordCount > 0) {
    First();
  } else {
    FBOF = true;
    FEOF = true;
  }
  if (Reporting) OnParseProgress(*this, DonePercent);
}

void TDataStream::FitRowsToText() {
  const std::int32_t N = LineCount();
  if (N == 0) return;
  if (FNameRow > N - 1) FNameRow = N - 1;
  if (FLastRow != -1 && FLastRow > N - 1) FLastRow = N - 1;
}

// ---- Lines, window and field count -------------------------------------------

std::int32_t TDataStream::LineCount() const {
  if (FLineStarts.empty()) return 0;
  return Saturate(static_cast<std::int64_t>(FLineStarts.size() - 1));
}

bool TDataStream::IsLine(std::int64_t Line) const { return Line >= 0 && Line < LineCount(); }

std::int32_t TDataStream::LineLength(std::int32_t Line) const {
  if (!IsLine(Line))
    throw std::out_of_range("Line index " + std::to_string(Line) + " out of range (" +
                            std::to_string(LineCount()) + " lines)");
  const auto L = static_cast<std::size_t>(Line);
  return Saturate(static_cast<std::int64_t>(FLineStarts[L + 1] - FLineStarts[L]));
}

void TDataStream::UpdateRecordWindow() {
  const std::int32_t N = LineCount();
  if (N == 0) {
    FRecordCount = 0;
    return;
  }
  if (FFirstRow > N - 1) FFirstRow = N - 1;
  std::int64_t Count = static_cast<std::int64_t>(N) - FFirstRow;
  if (FLastRow != -1) Count = std::min(Count, static_cast<std::int64_t>(FLastRow) - FFirstRow + 1);
  FRecordCount = Saturate(Count);
}

void TDataStream::ResizeFieldLists(std::int32_t Count) {
  const auto Entries = static_cast<std::size_t>(std::max<std::int32_t>(1, Count));
  // Reserving both first keeps the two lists the same length if memory runs out.
  FFieldStarts.reserve(Entries);
  FFieldLengths.reserve(Entries);
  FFieldStarts.resize(Entries, 0);
  FFieldLengths.resize(Entries, 0);
  FFieldCount = static_cast<std::int32_t>(Entries);
}

void TDataStream::DetectFieldCount() {
  if (FRecordCount <= 0 || FFormat == dfFixed) return;
  if (FNameRow != -1) {
    if (!IsLine(FNameRow)) return;  // rows are fitted to the text; kept as a guard
    ResizeFieldLists(CountFields(static_cast<std::size_t>(FNameRow)));
    ParseLine(static_cast<std::size_t>(FNameRow), FNames);
    return;
  }
  std::int32_t Count = IsLine(FFirstRow) ? CountFields(static_cast<std::size_t>(FFirstRow)) : 1;
  if (FLastRow != -1 && IsLine(FLastRow)) Count = std::max(Count, CountFields(static_cast<std::size_t>(FLastRow)));
  ResizeFieldLists(Count);
}

std::int32_t TDataStream::CountFields(std::size_t Line) const {
  const auto* Text = reinterpret_cast<const unsigned char*>(FBuffer.data());
  const auto& FieldEnd = FFieldEndChars.Members;
  const auto Quote = static_cast<unsigned char>(FTextDelimiter);
  const auto Terminator = static_cast<unsigned char>(FFieldTerminator);
  std::size_t P = FLineStarts[Line];
  const std::size_t Limit = FLineStarts[Line + 1];
  std::int64_t Count = 1;
  while (P < Limit) {
    while (P < Limit && !FieldEnd[Text[P]]) {
      if (Quote != 0 && Text[P] == Quote) {
        // A quote anywhere in a field hides everything up to the next quote
        // of the same line (or the end of the line).
        ++P;
        while (P < Limit && Text[P] != Quote) ++P;
        if (P < Limit) ++P;
      } else {
        ++P;
      }
    }
    if (P >= Limit) break;
    if (Text[P] == Terminator) ++Count;
    ++P;
    if (FConsecutiveDelimiters)
      while (P < Limit && FieldEnd[Text[P]]) ++P;
  }
  return Saturate(Count);
}

// ---- Splitting a line ----------------------------------------------------------

// Sets Starts and Lengths (FieldCount entries) from the delimited line at
// LineStart. Every position stays at or before the text end, whose byte is
// NUL (a line and field end), so the unbounded scans below stop there at the
// latest.
void TDataStream::SplitDelimited(std::size_t LineStart, std::vector<std::int32_t>& Starts,
                                 std::vector<std::int32_t>& Lengths) const {
  const auto* Text = reinterpret_cast<const unsigned char*>(FBuffer.data());
  const auto& FieldEnd = FFieldEndChars.Members;
  const auto Quote = static_cast<unsigned char>(FTextDelimiter);
  const auto Terminator = static_cast<unsigned char>(FFieldTerminator);
  const std::size_t End = FTextEnd;
  Starts.resize(FFieldStarts.size());
  Lengths.resize(FFieldStarts.size());
  std::size_t P = LineStart;
  for (std::size_t I = 0; I < Starts.size(); ++I) {
    if (IsLineEnd(Text[P])) {
      Starts[I] = 0;
      Lengths[I] = 0;
      continue;
    }
    const std::size_t F = P;
    while (Text[P] == static_cast<unsigned char>(Space)) ++P;
    if (Quote != 0 && Text[P] == Quote) {
      // A quoted field may hold line ends: the closing quote is searched for
      // up to the text end, across lines.
      do {
        ++P;
        while (P < End && Text[P] != Quote) ++P;
        if (P < End) ++P;
      } while (P < End && Text[P] == Quote);
    } else {
      while (!FieldEnd[Text[P]]) ++P;
    }
    Starts[I] = Saturate(static_cast<std::int64_t>(F - LineStart) + 1);
    Lengths[I] = Saturate(static_cast<std::int64_t>(P - F));
    while (!FieldEnd[Text[P]]) ++P;  // drops anything after a closing quote
    if (FConsecutiveDelimiters) {
      while (P < End && Text[P] == Terminator) ++P;
    } else if (P < End && Text[P] == Terminator) {
      ++P;
    }
  }
}

// The field values of the line at LineStart cut at Starts / Lengths.
void TDataStream::SliceFields(std::size_t LineStart, const std::vector<std::int32_t>& Starts,
                              const std::vector<std::int32_t>& Lengths, std::vector<std::string>& Values) const {
  const auto* Text = reinterpret_cast<const unsigned char*>(FBuffer.data());
  const auto Quote = static_cast<unsigned char>(FTextDelimiter);
  const auto Start = static_cast<std::int64_t>(LineStart);
  const auto TextEnd = static_cast<std::int64_t>(FTextEnd);
  Values.resize(Starts.size());
  for (std::size_t I = 0; I < Starts.size(); ++I) {
    // Columns below 1 do not exist and the text end bounds every slice.
    const std::int64_t From = std::max(Start, Start + Starts[I] - 1);
    const std::int64_t To = std::min(TextEnd, Start + Starts[I] - 1 + Lengths[I]);
    if (Lengths[I] <= 0 || From >= To) {
      Values[I].clear();
      continue;
    }
    TrimAndDequote(Text + From, Text + To, Quote, Values[I]);
  }
}

void TDataStream::ParseLine(std::size_t Line, std::vector<std::string>& Values) {
  const std::size_t LineStart = FLineStarts[Line];
  if (FFormat == dfDelimited) SplitDelimited(LineStart, FFieldStarts, FFieldLengths);
  SliceFields(LineStart, FFieldStarts, FFieldLengths, Values);
}

bool TDataStream::PlainRecordText(std::int32_t Record, std::string_view& Text) const {
  const auto Terminator = static_cast<unsigned char>(FFieldTerminator);
  if (FFormat != dfDelimited || FTextDelimiter != Nul || Terminator <= LowestTextByte) return false;
  const std::int64_t Line = static_cast<std::int64_t>(FFirstRow) + Record;
  if (Record < 0 || Record >= FRecordCount || !IsLine(Line)) return false;
  const auto* Bytes = reinterpret_cast<const unsigned char*>(FBuffer.data());
  const std::size_t Start = FLineStarts[static_cast<std::size_t>(Line)];
  // A line runs up to the next line's start less the line-end bytes between.
  std::size_t End = FLineStarts[static_cast<std::size_t>(Line) + 1];
  while (End > Start && IsLineEnd(Bytes[End - 1])) --End;
  if (End == Start || Bytes[Start] <= LowestTextByte || Bytes[End - 1] <= LowestTextByte) return false;
  std::int64_t Terminators = 0;
  for (std::size_t P = Start;; ++P) {
    const void* Found = std::memchr(Bytes + P, Terminator, End - P);
    if (Found == nullptr) break;
    P = static_cast<std::size_t>(static_cast<const unsigned char*>(Found) - Bytes);
    ++Terminators;
    // The bytes around a terminator are the ends of two fields.
    if ((P > Start && Bytes[P - 1] <= LowestTextByte) || (P + 1 < End && Bytes[P + 1] <= LowestTextByte))
      return false;
    if (FConsecutiveDelimiters && P + 1 < End && Bytes[P + 1] == Terminator) return false;
  }
  // A terminator may end the line: its empty last field is one of the count.
  if (Terminators + 1 != FFieldCount || FFieldStarts.size() != static_cast<std::size_t>(FFieldCount)) return false;
  Text = std::string_view(FBuffer.data() + Start, End - Start);
  return true;
}

void TDataStream::SplitRecord(std::int32_t Record, TRecordSplit& Split) const {
  const std::int64_t Line = static_cast<std::int64_t>(FFirstRow) + Record;
  if (Record < 0 || Record >= FRecordCount || !IsLine(Line)) {
    Split.Values.clear();
    return;
  }
  const std::size_t LineStart = FLineStarts[static_cast<std::size_t>(Line)];
  if (FFormat == dfDelimited) {
    SplitDelimited(LineStart, Split.Starts, Split.Lengths);
    SliceFields(LineStart, Split.Starts, Split.Lengths, Split.Values);
  } else {
    SliceFields(LineStart, FFieldStarts, FFieldLengths, Split.Values);
  }
}

void TDataStream::ReparseCurrentRecord() {
  if (FRecordIndex < 0) return;
  const std::int64_t Line = static_cast<std::int64_t>(FFirstRow) + FRecordIndex;
  if (IsLine(Line)) ParseLine(static_cast<std::size_t>(Line), FCurrentFields);
}

// ---- Positioning ----------------------------------------------------------------

void TDataStream::SetRecordIndex(std::int32_t Value) {
  // The cached split is kept only for a current record; -1 caches nothing.
  if (Value == FRecordIndex && FRecordIndex >= 0) return;
  FBOF = false;
  FEOF = false;
  if (FRecordCount <= 0) {
    FBOF = true;
    FEOF = true;
    FRecordIndex = -1;
    FCurrentFields.clear();
    return;
  }
  if (Value < 0) {
    FBOF = true;
    FRecordIndex = 0;
  } else if (Value >= FRecordCount) {
    FEOF = true;
    FRecordIndex = FRecordCount - 1;
  } else {
    FRecordIndex = Value;
  }
  const std::int64_t Line = static_cast<std::int64_t>(FFirstRow) + FRecordIndex;
  if (IsLine(Line)) {
    ParseLine(static_cast<std::size_t>(Line), FCurrentFields);
  } else {
    FCurrentFields.clear();  // the window lies inside the text; kept as a guard
  }
}

void TDataStream::Next() { SetRecordIndex(Saturate(static_cast<std::int64_t>(FRecordIndex) + 1)); }

// ---- Field values and names -------------------------------------------------------

void TDataStream::CheckFieldIndex(std::int32_t Index) const {
  if (Index < 0 || Index >= FFieldCount)
    throw std::out_of_range("Field index " + std::to_string(Index) + " out of range (field count " +
                            std::to_string(FFieldCount) + ")");
}

const std::string& TDataStream::FieldValue(std::int32_t Index) const {
  static const std::string Empty;
  if (Index < 0) throw std::out_of_range("Field index " + std::to_string(Index) + " is negative");
  if (static_cast<std::size_t>(Index) >= FCurrentFields.size()) return Empty;
  return FCurrentFields[static_cast<std::size_t>(Index)];
}

std::string TDataStream::FieldName(std::int32_t Index) const {
  if (Index < 0) throw std::out_of_range("Field index " + std::to_string(Index) + " is negative");
  if (Index >= FFieldCount) return {};
  if (FNameRow == -1) return ColumnNamePrefix + std::to_string(static_cast<std::int64_t>(Index) + 1);
  if (static_cast<std::size_t>(Index) >= FNames.size()) return {};
  return FNames[static_cast<std::size_t>(Index)];
}

std::string TDataStream::FieldText(std::int32_t Index, char Quote) const { return Quoted(FieldValue(Index), Quote); }

std::string TDataStream::FieldNameText(std::int32_t Index, char Quote) const {
  return Quoted(FieldName(Index), Quote);
}

std::string TDataStream::ValuesLine(char Delimiter, char Quote) const {
  std::string Line;
  for (std::int32_t I = 0; I < FFieldCount; ++I) {
    if (I > 0) Line.push_back(Delimiter);
    Line += FieldText(I, Quote);
  }
  return Line;
}

std::string TDataStream::NamesLine(char Delimiter, char Quote) const {
  std::string Line;
  for (std::int32_t I = 0; I < FFieldCount; ++I) {
    if (I > 0) Line.push_back(Delimiter);
    Line += FieldNameText(I, Quote);
  }
  return Line;
}

std::string TDataStream::NamesList() const {
  std::string List;
  for (std::int32_t I = 0; I < FFieldCount; ++I) {
    if (I > 0) List += NamesListSeparator;
    List += FieldName(I);
  }
  return List;
}

std::string TDataStream::Cell(std::int32_t Record, std::int32_t Field) {
  if (Field < 0) throw std::out_of_range("Field index " + std::to_string(Field) + " is negative");
  SetRecordIndex(Record);
  return FieldValue(Field);
}

// ---- Layout ------------------------------------------------------------------------

std::int32_t TDataStream::FieldStart(std::int32_t Index) const {
  CheckFieldIndex(Index);
  return FFieldStarts[static_cast<std::size_t>(Index)];
}

std::int32_t TDataStream::FieldLength(std::int32_t Index) const {
  CheckFieldIndex(Index);
  return FFieldLengths[static_cast<std::size_t>(Index)];
}

void TDataStream::SetFieldStart(std::int32_t Index, std::int32_t Value) {
  CheckFieldIndex(Index);
  FFieldStarts[static_cast<std::size_t>(Index)] = Value;
}

void TDataStream::SetFieldLength(std::int32_t Index, std::int32_t Value) {
  CheckFieldIndex(Index);
  FFieldLengths[static_cast<std::size_t>(Index)] = Value;
}

void TDataStream::SetFieldCount(std::int32_t Value) {
  if (Value == FFieldCount) return;
  ResizeFieldLists(Value);
  DetectFieldCount();
}

void TDataStream::SetFieldTerminator(char Value) {
  if (Value == FFieldTerminator) return;
  FFieldTerminator = Value;
  FFieldEndChars = FLineEndChars;
  FFieldEndChars.Include(Value);
  DetectFieldCount();
}

void TDataStream::SetConsecutiveDelimiters(bool Value) {
  if (Value == FConsecutiveDelimiters) return;
  FConsecutiveDelimiters = Value;
  DetectFieldCount();
}

void TDataStream::SetFirstRow(std::int32_t Value) {
  const std::int32_t N = LineCount();
  std::int32_t Row = std::clamp<std::int32_t>(Value, 0, MaxRowIndex);
  if (N > 0) Row = std::min(Row, N);
  if (Row == FFirstRow) return;
  FFirstRow = Row;
  if (FNameRow >= FFirstRow) FNameRow = -1;
  UpdateRecordWindow();
  ReparseCurrentRecord();
  DetectFieldCount();
}

void TDataStream::SetLastRow(std::int32_t Value) {
  if (Value == FLastRow) return;
  const std::int32_t N = LineCount();
  std::int32_t Row = Value;
  if (Row != -1) {
    if (N > 0) {
      if (Row < 0 || Row > N - 1) Row = N - 1;
    } else {
      Row = std::clamp<std::int32_t>(Row, -1, MaxRowIndex);
    }
  }
  FLastRow = Row;
  if (FLastRow != -1 && FLastRow < FFirstRow) FLastRow = FFirstRow;
  UpdateRecordWindow();
}

void TDataStream::SetNameRow(std::int32_t Value) {
  const std::int32_t N = LineCount();
  std::int32_t Row = Value < 0 ? -1 : std::min(Value, MaxRowIndex);
  if (N > 0) Row = std::min(Row, N - 1);
  if (Row == FNameRow) return;
  FNameRow = Row;
  if (FNameRow != -1 && FFirstRow <= FNameRow) FFirstRow = FNameRow + 1;
  UpdateRecordWindow();
  ReparseCurrentRecord();
  DetectFieldCount();
}

// ---- Field breaks --------------------------------------------------------------------

void ApplyFieldBreaks(TDataStream& Stream, const std::string& Text) {
  if (Stream.Format() != dfFixed) return;
  const std::vector<std::string> Items = SplitCommaList(Text);
  Stream.SetFieldCount(Saturate(static_cast<std::int64_t>(Items.size())));
  const std::int32_t Count = Stream.FieldCount();
  for (std::int32_t I = 0; I < Count; ++I) {
    if (static_cast<std::size_t>(I) >= Items.size()) throw std::runtime_error("The field break list is empty");
    const std::string& Item = Items[static_cast<std::size_t>(I)];
    std::int32_t Column = 0;
    if (!ReadBreakColumn(Item, Column))
      throw std::runtime_error("Field break \"" + Item + "\" is not an integer");
    Stream.SetFieldStart(I, Column);
    // A field runs up to and including the next field's break column.
    if (I > 0)
      Stream.SetFieldLength(I - 1, Saturate(static_cast<std::int64_t>(Column) - Stream.FieldStart(I - 1) + 1));
  }
  const std::int32_t Last = Count - 1;
  const std::int32_t FirstRow = Stream.FirstRow();
  const bool HasLine = FirstRow >= 0 && FirstRow < Stream.LineCount();
  const std::int64_t LastLength =
      HasLine ? static_cast<std::int64_t>(Stream.LineLength(FirstRow)) - Stream.FieldStart(Last) + 1 : 0;
  Stream.SetFieldLength(Last, Saturate(LastLength));
}

}  // namespace veltrana
