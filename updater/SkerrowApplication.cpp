#include "SkerrowApplication.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "Pipeline.h"

#ifndef VELTRANA_VERSION
#define VELTRANA_VERSION "unknown"
#endif

namespace veltrana {

namespace {

constexpr char OptionMark = '-';
constexpr char OptionValueMark = '=';
constexpr std::size_t FileNameCount = 3;

char LowerCase(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C; }

bool EqualsIgnoringCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I) {
    if (LowerCase(A[I]) != LowerCase(B[I])) return false;
  }
  return true;
}

// A regular file, a device or the like; a folder is not a file.
bool FileExists(const std::string& FileName) {
  std::error_code Error;
  const auto Status = std::filesystem::status(FileName, Error);
  return !Error && std::filesystem::exists(Status) && !std::filesystem::is_directory(Status);
}

}  // namespace

bool HasOption(const std::vector<std::string>& Parameters, char ShortName, std::string_view LongName) {
  for (auto It = Parameters.rbegin(); It != Parameters.rend(); ++It) {
    std::string_view Name(*It);
    if (Name.size() <= 1 || Name.front() != OptionMark) continue;
    Name.remove_prefix(1);
    if (!Name.empty() && Name.front() == OptionMark) {
      Name.remove_prefix(1);
      Name = Name.substr(0, Name.find(OptionValueMark));
    }
    if (EqualsIgnoringCase(Name, std::string_view(&ShortName, 1)) || EqualsIgnoringCase(Name, LongName)) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> CollectArguments(const std::vector<std::string>& Parameters) {
  std::vector<std::string> Arguments;
  for (const std::string& Parameter : Parameters) {
    if (Parameter.empty() || Parameter.front() != OptionMark) Arguments.push_back(Parameter);
  }
  return Arguments;
}

std::string AbsoluteFileName(const std::string& Name) {
  std::error_code Error;
  const std::filesystem::path Path =
      Name.empty() ? std::filesystem::current_path(Error) : std::filesystem::absolute(Name, Error);
  if (Error) return Name;
  return Path.lexically_normal().string();
}

SkerrowApplication::SkerrowApplication(std::string ExeName, std::vector<std::string> Parameters,
                                       std::ostream& Console)
    : FExeName(std::move(ExeName)), FParameters(std::move(Parameters)), FConsole(Console) {}

bool SkerrowApplication::HasOption(char ShortName, std::string_view LongName) const {
  return veltrana::HasOption(FParameters, ShortName, LongName);
}

void SkerrowApplication::WriteHeader() {
  if (Silent) return;
  FConsole << "skerrow - Veltrana OSGM02/TN02 to OSGM15/TN15 updater utility.\n"
           << "Version " VELTRANA_VERSION "\n"
           << "\n";
}

void SkerrowApplication::WriteHelp() {
  const std::string ProgramName = std::filesystem::path(FExeName).stem().string();
  FConsole << "Usage: " << ProgramName << " <SettingsFileName> <InputFileName> <OutputFileName> [Options]\n"
           << "\n"
           << "SettingsFileName - File Name defining conversion settings in XML format.\n"
           << "InputFileName - File Name identifying input text file.\n"
           << "OutputFileName - File Name identifying output text file.\n"
           << "\n"
           << "Available Options:\n"
           << "--help (-h):  This help information.\n"
           << "--protect (-p):  Prevent output file from being over-written if it exists.\n"
           << "--silent (-s):  Supress all command line output.\n";
}

void SkerrowApplication::WriteMessage(const std::string& Text) {
  if (!Silent) FConsole << Text << '\n';
}

void SkerrowApplication::CollectArguments() { Arguments = veltrana::CollectArguments(FParameters); }

bool SkerrowApplication::CanCreateFile(const std::string& FileName) {
  std::FILE* File = std::fopen(FileName.c_str(), "wb");
  if (File == nullptr) return false;
  std::fclose(File);
  std::remove(FileName.c_str());
  return true;
}

bool SkerrowApplication::FixConversion() {
  Settings.OutputXName.clear();
  Settings.OutputYName.clear();
  for (const TFixedConversion& Conversion : FixedConversions) {
    if (Conversion.SRID != Settings.InputSRID) continue;
    Settings.InputRevision = UpdaterInputRevision;
    Settings.OutputSRID = Settings.InputSRID;
    Settings.OutputRevision = UpdaterOutputRevision;
    Settings.OutputXName = Conversion.OutputXName;
    Settings.OutputYName = Conversion.OutputYName;
    return true;
  }
  return false;
}

int SkerrowApplication::Run() {
  Silent = HasOption('s', "silent");
  WriteHeader();
  if (HasOption('h', "help")) {
    WriteHelp();
    return 0;
  }
  Protect = HasOption('p', "protect");
  CollectArguments();
  if (Arguments.size() < FileNameCount) {
    WriteMessage("Settings, Input and Output filenames are missing or incomplete.");
    return 0;
  }

  SettingsFileName = AbsoluteFileName(Arguments[0]);
  if (!FileExists(SettingsFileName)) {
    WriteMessage("Settings file not found: " + SettingsFileName);
    return 0;
  }
  if (!ReadSettings(SettingsFileName, Settings)) {
    WriteMessage("Invalid settings file: " + SettingsFileName);
    return 0;
  }
  if (!FixConversion()) {
    WriteMessage("Unknown source SRID: " + std::to_string(Settings.InputSRID));
    return 0;
  }
  Settings.OutputZName = UpdaterOutputZName;
  Settings.XYDecimals = UpdaterOutputDecimals;
  Settings.ZDecimals = UpdaterOutputDecimals;
  Settings.PadDecimals = true;

  InputFileName = AbsoluteFileName(Arguments[1]);
  if (!FileExists(InputFileName)) {
    WriteMessage("Input file not found: " + InputFileName);
    return 0;
  }
  OutputFileName = AbsoluteFileName(Arguments[2]);
  if (Protect && FileExists(OutputFileName)) {
    WriteMessage("Output file exists: " + OutputFileName);
    return 0;
  }
  if (!CanCreateFile(OutputFileName)) {
    WriteMessage("Output file name invalid: " + OutputFileName);
    return 0;
  }

  ConvertFile(Settings, InputFileName, OutputFileName, !Silent, FConsole);
  return 0;
}

}  // namespace veltrana
