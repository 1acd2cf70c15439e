#include "SettingsFile.h"

#include <pugixml.hpp>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string_view>
#include <system_error>

namespace veltrana {

namespace {

constexpr const char* InputSection = "InputSettings";
constexpr const char* OutputSection = "OutputSettings";
constexpr const char* RootName = "Settings";
constexpr const char* ValueAttribute = "Value";
constexpr const char* DelimitedText = "Delimited";
constexpr const char* FixedText = "Fixed";
constexpr const char* TrueText = "True";
constexpr const char* FalseText = "False";

// Bytes below this are control characters, written as character references.
constexpr unsigned char FirstPrintableByte = 0x20;
// Bytes from here on are not ASCII; they travel as the code point of equal
// value (U+0080 to U+00FF), two bytes in UTF-8.
constexpr unsigned char FirstNonASCIIByte = 0x80;
constexpr unsigned char UTF8TwoByteLead = 0xC0;
constexpr unsigned char UTF8TwoBytePayloadMask = 0x1F;
constexpr unsigned char UTF8ContinuationMask = 0xC0;
constexpr unsigned char UTF8Continuation = 0x80;
constexpr unsigned char UTF8PayloadMask = 0x3F;
constexpr int UTF8PayloadBits = 6;
// Lead bytes 0xC2 and 0xC3 carry exactly the code points U+0080 to U+00FF.
constexpr unsigned char Latin1LeadFirst = 0xC2;
constexpr unsigned char Latin1LeadLast = 0xC3;

std::string_view TrimBlanks(std::string_view Text) {
  while (!Text.empty() && (Text.front() == ' ' || Text.front() == '\t')) Text.remove_prefix(1);
  while (!Text.empty() && (Text.back() == ' ' || Text.back() == '\t')) Text.remove_suffix(1);
  return Text;
}

bool EqualsIgnoringCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    auto Lower = [](char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; };
    if (Lower(A[I]) != Lower(B[I])) return false;
  }
  return true;
}

// The attribute "Value" of Section/Name, or nullptr when either is absent.
const char* SettingText(const pugi::xml_node& Root, const char* Section, const char* Name) {
  const pugi::xml_attribute Attribute = Root.child(Section).child(Name).attribute(ValueAttribute);
  return Attribute ? Attribute.value() : nullptr;
}

std::int32_t ReadInteger(const char* Text, std::int32_t Default) {
  if (Text == nullptr) return Default;
  std::string_view View = TrimBlanks(Text);
  if (!View.empty() && View.front() == '+') {
    View.remove_prefix(1);
    if (!View.empty() && View.front() == '-') return Default;  // "+-5"
  }
  std::int32_t Value = 0;
  const auto [End, Error] = std::from_chars(View.data(), View.data() + View.size(), Value);
  if (Error != std::errc() || End != View.data() + View.size() || View.empty()) return Default;
  return Value;
}

bool ReadBoolean(const char* Text, bool Default) {
  if (Text == nullptr) return Default;
  if (EqualsIgnoringCase(Text, TrueText)) return true;
  if (EqualsIgnoringCase(Text, FalseText)) return false;
  return Default;
}

// The first character of Text as one byte (see the header for the mapping).
char ReadCharacter(const char* Text, char Default) {
  if (Text == nullptr || Text[0] == '\0') return Default;
  const auto Lead = static_cast<unsigned char>(Text[0]);
  if (Lead < FirstNonASCIIByte) return static_cast<char>(Lead);
  const auto Next = static_cast<unsigned char>(Text[1]);
  if (Lead >= Latin1LeadFirst && Lead <= Latin1LeadLast &&
      (Next & UTF8ContinuationMask) == UTF8Continuation) {
    const unsigned CodePoint =
        (static_cast<unsigned>(Lead & UTF8TwoBytePayloadMask) << UTF8PayloadBits) | (Next & UTF8PayloadMask);
    return static_cast<char>(CodePoint);
  }
  return Default;
}

std::optional<TDataFormat> ReadFormat(const char* Text, std::optional<TDataFormat> Default) {
  if (Text == nullptr) return Default;
  const std::string_view View(Text);
  if (View == FixedText) return dfFixed;
  if (View == DelimitedText) return dfDelimited;
  return std::nullopt;
}

pugi::xml_document ParseFile(const std::string& FileName) {
  pugi::xml_document Document;
  // Plain parse: no whitespace-only text nodes, character references decoded,
  // raw white space in attribute values kept as the XML rules say.
  const pugi::xml_parse_result Result = Document.load_file(FileName.c_str());
  switch (Result.status) {
    case pugi::status_ok:
      return Document;
    case pugi::status_file_not_found:
    case pugi::status_io_error:
    case pugi::status_out_of_memory:
      throw TSettingsFileError("Cannot read settings file " + FileName + ": " + Result.description());
    default:
      throw TSettingsFileError("Settings file " + FileName + " is not a well-formed XML document: " +
                               Result.description() + " (at byte " + std::to_string(Result.offset) + ")");
  }
}

// Text of one byte as it goes into the file: control characters as a
// character reference, bytes above ASCII as their UTF-8 code point, the XML
// specials escaped.
std::string CharacterText(char Character) {
  const auto Byte = static_cast<unsigned char>(Character);
  if (Byte < FirstPrintableByte) {
    char Buffer[8];
    const int Length = std::snprintf(Buffer, sizeof Buffer, "&#x%X;", static_cast<unsigned>(Byte));
    return std::string(Buffer, static_cast<std::size_t>(Length));
  }
  if (Byte >= FirstNonASCIIByte) {
    std::string Text;
    Text += static_cast<char>(UTF8TwoByteLead | (Byte >> UTF8PayloadBits));
    Text += static_cast<char>(UTF8Continuation | (Byte & UTF8PayloadMask));
    return Text;
  }
  return std::string(1, Character);
}

// Escapes the XML specials of an attribute value; every byte below 0x20 is
// written as a character reference so that it survives attribute-value
// normalisation. Other bytes (UTF-8 text) are copied.
std::string EscapedValue(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (char C : Text) {
    switch (C) {
      case '&': Out += "&amp;"; break;
      case '<': Out += "&lt;"; break;
      case '>': Out += "&gt;"; break;
      case '"': Out += "&quot;"; break;
      default:
        if (static_cast<unsigned char>(C) < FirstPrintableByte) {
          Out += CharacterText(C);
        } else {
          Out += C;
        }
    }
  }
  return Out;
}

std::string CharacterValue(char Character) {
  // A control byte is already a reference; anything else is escaped text.
  if (static_cast<unsigned char>(Character) < FirstPrintableByte) return CharacterText(Character);
  return EscapedValue(CharacterText(Character));
}

class TSettingsWriter {
 public:
  explicit TSettingsWriter(std::string& Out) : FOut(Out) {}
  void BeginSection(const char* Name) { FOut += "  <" + std::string(Name) + ">\n"; }
  void EndSection(const char* Name) { FOut += "  </" + std::string(Name) + ">\n"; }
  // Value must already be escaped.
  void Setting(const char* Name, const std::string& Value) {
    FOut += "    <" + std::string(Name) + " " + ValueAttribute + "=\"" + Value + "\"/>\n";
  }
  void Integer(const char* Name, std::int32_t Value) { Setting(Name, std::to_string(Value)); }
  void Boolean(const char* Name, bool Value) { Setting(Name, Value ? TrueText : FalseText); }

 private:
  std::string& FOut;
};

std::string SettingsDocument(const TSettingsFileValues& Values) {
  std::string Out = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<") + RootName + ">\n";
  TSettingsWriter Writer(Out);
  Writer.BeginSection(InputSection);
  Writer.Setting("Format", Values.Format.value_or(dfDelimited) == dfFixed ? FixedText : DelimitedText);
  if (Values.FieldTerminator != '\0') Writer.Setting("FieldTerminator", CharacterValue(Values.FieldTerminator));
  Writer.Boolean("ConsecutiveDelimiters", Values.ConsecutiveDelimiters);
  if (!Values.FieldBreaks.empty()) Writer.Setting("FieldBreaks", EscapedValue(Values.FieldBreaks));
  if (Values.TextDelimiter != '\0') Writer.Setting("TextDelimiter", CharacterValue(Values.TextDelimiter));
  if (Values.NameRow != 0) Writer.Integer("NameRow", Values.NameRow);
  if (Values.FirstRow != 1) Writer.Integer("FirstRow", Values.FirstRow);
  if (Values.LastRow != 0) Writer.Integer("LastRow", Values.LastRow);
  if (Values.InputSRIDNumber != 0) {
    Writer.Integer("SRIDNumber", Values.InputSRIDNumber);
    if (Values.XColumn != 0) Writer.Integer("XColumn", Values.XColumn);
    if (Values.YColumn != 0) Writer.Integer("YColumn", Values.YColumn);
    if (Values.ZColumn != 0) Writer.Integer("ZColumn", Values.ZColumn);
  }
  Writer.EndSection(InputSection);
  if (Values.OutputSRIDNumber != 0) {
    Writer.BeginSection(OutputSection);
    Writer.Integer("SRIDNumber", Values.OutputSRIDNumber);
    Writer.Boolean("IncludeDatum", Values.IncludeDatum);
    Writer.EndSection(OutputSection);
  }
  Out += std::string("</") + RootName + ">\n";
  return Out;
}

// A 1-based file number as a 0-based index (0 gives -1), without overflow.
std::int32_t ToIndex(std::int32_t Number) {
  return Number == std::numeric_limits<std::int32_t>::min() ? Number : Number - 1;
}

}  // namespace

TSettingsFileValues LoadSettingsFile(const std::string& FileName) {
  const pugi::xml_document Document = ParseFile(FileName);
  const pugi::xml_node Root = Document.document_element();
  TSettingsFileValues V;
  V.Format = ReadFormat(SettingText(Root, InputSection, "Format"), V.Format);
  V.FieldTerminator = ReadCharacter(SettingText(Root, InputSection, "FieldTerminator"), V.FieldTerminator);
  V.ConsecutiveDelimiters = ReadBoolean(SettingText(Root, InputSection, "ConsecutiveDelimiters"), V.ConsecutiveDelimiters);
  if (const char* Breaks = SettingText(Root, InputSection, "FieldBreaks")) V.FieldBreaks = Breaks;
  V.TextDelimiter = ReadCharacter(SettingText(Root, InputSection, "TextDelimiter"), V.TextDelimiter);
  V.NameRow = ReadInteger(SettingText(Root, InputSection, "NameRow"), V.NameRow);
  V.FirstRow = ReadInteger(SettingText(Root, InputSection, "FirstRow"), V.FirstRow);
  V.LastRow = ReadInteger(SettingText(Root, InputSection, "LastRow"), V.LastRow);
  V.InputSRIDNumber = ReadInteger(SettingText(Root, InputSection, "SRIDNumber"), V.InputSRIDNumber);
  V.InputRevision = ReadInteger(SettingText(Root, InputSection, "Revision"), V.InputRevision);
  V.XColumn = ReadInteger(SettingText(Root, InputSection, "XColumn"), V.XColumn);
  V.YColumn = ReadInteger(SettingText(Root, InputSection, "YColumn"), V.YColumn);
  V.ZColumn = ReadInteger(SettingText(Root, InputSection, "ZColumn"), V.ZColumn);
  V.OutputSRIDNumber = ReadInteger(SettingText(Root, OutputSection, "SRIDNumber"), V.OutputSRIDNumber);
  V.OutputRevision = ReadInteger(SettingText(Root, OutputSection, "Revision"), V.OutputRevision);
  V.OutputNameRow = ReadInteger(SettingText(Root, OutputSection, "NameRow"), V.OutputNameRow);
  V.PreferredDatum = ReadInteger(SettingText(Root, OutputSection, "PreferredDatum"), V.PreferredDatum);
  V.IncludeDatum = ReadBoolean(SettingText(Root, OutputSection, "IncludeDatum"), V.IncludeDatum);
  return V;
}

void SaveSettingsFile(const std::string& FileName, const TSettingsFileValues& Values) {
  std::error_code Error;
  // An existing file must be a well-formed document before it is replaced.
  if (std::filesystem::exists(FileName, Error)) ParseFile(FileName);
  const std::string Text = SettingsDocument(Values);
  std::FILE* File = std::fopen(FileName.c_str(), "wb");
  if (File == nullptr) {
    throw TSettingsFileError("Cannot create settings file " + FileName + ": " +
                             std::generic_category().message(errno));
  }
  bool Failed = std::fwrite(Text.data(), 1, Text.size(), File) != Text.size();
  int Failure = errno;
  if (std::fclose(File) != 0 && !Failed) {
    Failed = true;
    Failure = errno;
  }
  if (Failed) {
    throw TSettingsFileError("Cannot write settings file " + FileName + ": " +
                             std::generic_category().message(Failure != 0 ? Failure : EIO));
  }
}

bool ReadSettings(const std::string& FileName, TSettingsInfo& Settings) {
  const TSettingsFileValues V = LoadSettingsFile(FileName);
  if (V.Format) Settings.Format = *V.Format;
  Settings.FieldTerminator = V.FieldTerminator;
  Settings.ConsecutiveDelimiters = V.ConsecutiveDelimiters;
  Settings.FieldBreaks = V.FieldBreaks;
  Settings.TextDelimiter = V.TextDelimiter;
  Settings.NameRow = ToIndex(V.NameRow);
  Settings.FirstRow = ToIndex(V.FirstRow);
  Settings.LastRow = ToIndex(V.LastRow);
  Settings.InputSRID = V.InputSRIDNumber;
  Settings.InputRevision = V.InputRevision;
  // A field number below 1 names no field; negative numbers would index
  // before the first field.
  if (V.XColumn < 1) {
    Settings.XColumn = -1;
    return false;
  }
  Settings.XColumn = V.XColumn - 1;
  if (V.YColumn < 1) {
    Settings.YColumn = -1;
    return false;
  }
  Settings.YColumn = V.YColumn - 1;
  Settings.ZColumn = V.ZColumn < 1 ? -1 : V.ZColumn - 1;
  Settings.OutputSRID = V.OutputSRIDNumber;
  Settings.OutputRevision = V.OutputRevision;
  Settings.OutputNameRow = V.OutputNameRow != 0;
  Settings.PreferredDatum = V.PreferredDatum;
  Settings.IncludeDatum = V.IncludeDatum;
  return true;
}

}  // namespace veltrana
