// libFuzzer target: TDataStream reading an arbitrary file under an arbitrary
// layout. The layout (format, terminator, quote, consecutive delimiters, the
// name, first and last rows, a field-break list, a field count) comes from
// the input too; then every record is positioned and every value, name and
// line of it read, and the stream's own invariants are checked.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "DataStream.h"
#include "FuzzSupport.h"

namespace {

using veltrana::TDataStream;

// A field count asked for at most: SetFieldCount allocates what it is asked
// for, so an enormous request is an allocation failure by design.
constexpr std::int32_t MaxRequestedFields = 512;
// Records visited per pass; inputs are small, this bounds a pathological layout.
constexpr std::int32_t MaxVisitedRecords = 4096;
// The longest field-break list drawn from the input.
constexpr std::size_t MaxBreakListLength = 96;

constexpr std::array<const char*, 5> Extensions = {"", ".txt", ".tab", ".CSV", ".Tab"};

// A row index: mostly small (near the text), sometimes any 32-bit value.
std::int32_t DrawRow(FuzzedDataProvider& Input) {
  if (Input.ConsumeBool()) return Input.ConsumeIntegral<std::int32_t>();
  return Input.ConsumeIntegralInRange<std::int32_t>(-3, 40);
}

char DrawByte(FuzzedDataProvider& Input) { return static_cast<char>(Input.ConsumeIntegral<std::uint8_t>()); }

struct TLayout {
  bool Fixed = false;
  char Terminator = ',';
  char Quote = '\0';
  bool Consecutive = false;
  std::int32_t NameRow = 0;
  std::int32_t FirstRow = 1;
  std::int32_t LastRow = -1;
  std::int32_t FieldCount = 1;
  bool SetRowsBeforeLoad = false;
  std::string Breaks;
};

TLayout DrawLayout(FuzzedDataProvider& Input) {
  TLayout L;
  L.Fixed = Input.ConsumeBool();
  L.Terminator = DrawByte(Input);
  const std::uint8_t QuoteChoice = Input.ConsumeIntegralInRange<std::uint8_t>(0, 3);
  L.Quote = QuoteChoice == 0 ? '\0' : QuoteChoice == 1 ? '"' : QuoteChoice == 2 ? '\'' : DrawByte(Input);
  L.Consecutive = Input.ConsumeBool();
  L.NameRow = DrawRow(Input);
  L.FirstRow = DrawRow(Input);
  L.LastRow = DrawRow(Input);
  L.FieldCount = Input.ConsumeIntegralInRange<std::int32_t>(-2, MaxRequestedFields);
  L.SetRowsBeforeLoad = Input.ConsumeBool();
  if (L.Fixed) L.Breaks = Input.ConsumeRandomLengthString(MaxBreakListLength);
  return L;
}

void ApplyRows(TDataStream& S, const TLayout& L) {
  S.SetNameRow(L.NameRow);
  S.SetFirstRow(L.FirstRow);
  S.SetLastRow(L.LastRow);
}

void ApplyLayout(TDataStream& S, const TLayout& L) {
  S.SetFormat(L.Fixed ? veltrana::dfFixed : veltrana::dfDelimited);
  S.SetFieldTerminator(L.Terminator);
  S.SetTextDelimiter(L.Quote);
  S.SetConsecutiveDelimiters(L.Consecutive);
  ApplyRows(S, L);
  S.SetFieldCount(L.FieldCount);
  if (L.Fixed) {
    try {
      veltrana::ApplyFieldBreaks(S, L.Breaks);
    } catch (const std::runtime_error&) {
      // A break list that is empty or holds a non-integer: a caller error the header documents.
    }
  }
}

// What must hold after any operation.
void CheckInvariants(const TDataStream& S) {
  VELTRANA_FUZZ_CHECK(S.FieldCount() >= 1, std::to_string(S.FieldCount()));
  const auto Count = static_cast<std::size_t>(S.FieldCount());
  VELTRANA_FUZZ_CHECK(S.FieldStarts().size() == Count && S.FieldLengths().size() == Count,
                      "field lists do not match the field count");
  const auto& Starts = S.LineStarts();
  if (!Starts.empty()) {
    for (std::size_t I = 1; I < Starts.size(); ++I)
      VELTRANA_FUZZ_CHECK(Starts[I - 1] < Starts[I], "line starts not increasing at " + std::to_string(I));
    VELTRANA_FUZZ_CHECK(Starts.back() <= S.Size(), "text end beyond the buffer");
  }
  VELTRANA_FUZZ_CHECK(S.RecordCount() <= S.LineCount(), "more records than lines");
  if (S.RecordCount() > 0 && S.RecordIndex() >= 0)
    VELTRANA_FUZZ_CHECK(S.RecordIndex() < S.RecordCount(), "record index beyond the window");
}

// Reads everything the current record offers.
std::size_t ReadRecord(const TDataStream& S, char Quote) {
  std::size_t Bytes = 0;
  const std::int32_t Fields = S.FieldCount();
  for (std::int32_t F = 0; F <= Fields; ++F) {  // one past the last gives ""
    Bytes += S.FieldValue(F).size();
    Bytes += S.FieldName(F).size();
    Bytes += S.FieldText(F, Quote).size();
    Bytes += S.FieldNameText(F, Quote).size();
    if (F < Fields) Bytes += static_cast<std::size_t>(S.FieldStart(F) != 0) + static_cast<std::size_t>(S.FieldLength(F) != 0);
  }
  VELTRANA_FUZZ_CHECK(S.FieldValue(Fields).empty() || S.CurrentFields().size() > static_cast<std::size_t>(Fields),
                      "value past the last field");
  Bytes += S.ValuesLine(',', Quote).size();
  Bytes += S.NamesLine('\t', Quote).size();
  Bytes += S.NamesList().size();
  return Bytes;
}

void ExpectOutOfRange(const TDataStream& S) {
  bool Thrown = false;
  try {
    (void)S.FieldValue(-1);
  } catch (const std::out_of_range&) {
    Thrown = true;
  }
  VELTRANA_FUZZ_CHECK(Thrown, "FieldValue(-1) did not throw out_of_range");
}

void VisitRecords(TDataStream& S, char Quote) {
  S.First();
  std::int32_t Visited = 0;
  std::int32_t Previous = -1;
  while (!S.Eof() && Visited < MaxVisitedRecords) {
    CheckInvariants(S);
    VELTRANA_FUZZ_CHECK(S.RecordIndex() > Previous, "Next did not advance");
    Previous = S.RecordIndex();
    (void)ReadRecord(S, Quote);
    S.Next();
    ++Visited;
  }
  // Every record is visited exactly once before EOF.
  if (Visited < MaxVisitedRecords && S.RecordCount() > 0)
    VELTRANA_FUZZ_CHECK(Visited == S.RecordCount(),
                        std::to_string(Visited) + " visited of " + std::to_string(S.RecordCount()));
  (void)ReadRecord(S, Quote);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  FuzzedDataProvider Input(Data, Size);
  const TLayout Layout = DrawLayout(Input);
  const char* Extension = Extensions[Input.ConsumeIntegralInRange<std::size_t>(0, Extensions.size() - 1)];
  const std::int32_t Probe = Input.ConsumeIntegral<std::int32_t>();
  const std::vector<std::uint8_t> Text = Input.ConsumeRemainingBytes<std::uint8_t>();

  const std::string FileName = veltrana::fuzz::ScratchFileName("datastream", Extension);
  if (!veltrana::fuzz::WriteScratchFile(FileName, Text.data(), Text.size())) return 0;

  TDataStream S;
  if (Layout.SetRowsBeforeLoad) ApplyLayout(S, Layout);
  S.LoadFromFile(FileName);
  VELTRANA_FUZZ_CHECK(S.Size() == Text.size() + 2, "buffer is not the file plus two NUL bytes");
  CheckInvariants(S);
  ApplyLayout(S, Layout);
  CheckInvariants(S);
  ExpectOutOfRange(S);
  VisitRecords(S, Layout.Quote);

  // Positioning anywhere clamps into the window.
  (void)S.Cell(Probe, S.FieldCount() - 1);
  CheckInvariants(S);
  S.SetRecordIndex(-1);
  CheckInvariants(S);

  // A second load of the same file keeps the layout and fits the rows to it.
  S.LoadFromFile(FileName);
  CheckInvariants(S);
  ApplyRows(S, Layout);
  VisitRecords(S, Layout.Quote);

  // The byte stream gives back exactly the buffer.
  std::vector<char> Copy(S.Size());
  S.SetPosition(0);
  VELTRANA_FUZZ_CHECK(S.Read(Copy.data(), Copy.size()) == S.Size(), "short read");
  VELTRANA_FUZZ_CHECK(S.Read(Copy.data(), 1) == 0, "read past the end");
  return 0;
}
