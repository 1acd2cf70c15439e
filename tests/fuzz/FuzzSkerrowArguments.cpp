// libFuzzer target: skerrow's option lookup and argument collection on
// arbitrary argument lists (the input split at NUL bytes). HasOption is
// compared with the rule its header states, for the program's three options
// and for a short and long name taken from the input; CollectArguments, the
// application's own collection and AbsoluteFileName must agree with theirs.
// Nothing here runs a conversion or touches a file.
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "SkerrowApplication.h"

namespace {

using namespace veltrana;

constexpr std::size_t MaxParameters = 24;

char Lower(char C) { return (C >= 'A' && C <= 'Z') ? static_cast<char>(C + ('a' - 'A')) : C; }

bool SameIgnoringCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t I = 0; I < A.size(); ++I)
    if (Lower(A[I]) != Lower(B[I])) return false;
  return true;
}

// The header's rule, written out independently.
bool ExpectedOption(const std::vector<std::string>& Parameters, char ShortName, std::string_view LongName) {
  for (const std::string& P : Parameters) {
    if (P.size() <= 1 || P[0] != '-') continue;
    std::string_view Name(P);
    Name.remove_prefix(1);
    if (Name[0] == '-') {
      Name.remove_prefix(1);
      const std::size_t Equals = Name.find('=');
      if (Equals != std::string_view::npos) Name = Name.substr(0, Equals);
    }
    if (SameIgnoringCase(Name, std::string_view(&ShortName, 1)) || SameIgnoringCase(Name, LongName)) return true;
  }
  return false;
}

void CheckOption(const std::vector<std::string>& Parameters, char ShortName, std::string_view LongName) {
  VELTRANA_FUZZ_CHECK(HasOption(Parameters, ShortName, LongName) == ExpectedOption(Parameters, ShortName, LongName),
                      "HasOption for '" + std::string(1, ShortName) + "' / \"" + std::string(LongName) + "\"");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  std::vector<std::string> Parameters = fuzz::SplitAtNul(Data, Size, MaxParameters);
  // The last piece names an extra option to look up: its first byte the
  // short name, the rest the long name.
  std::string Extra;
  if (!Parameters.empty()) {
    Extra = Parameters.back();
    Parameters.pop_back();
  }
  CheckOption(Parameters, 'h', "help");
  CheckOption(Parameters, 'p', "protect");
  CheckOption(Parameters, 's', "silent");
  if (!Extra.empty()) CheckOption(Parameters, Extra[0], std::string_view(Extra).substr(1));

  const std::vector<std::string> Arguments = CollectArguments(Parameters);
  std::vector<std::string> Expected;
  for (const std::string& P : Parameters)
    if (P.empty() || P[0] != '-') Expected.push_back(P);
  VELTRANA_FUZZ_CHECK(Arguments == Expected, "CollectArguments");

  std::ostringstream Console;
  SkerrowApplication Application("skerrow", Parameters, Console);
  Application.CollectArguments();
  VELTRANA_FUZZ_CHECK(Application.Arguments == Expected, "SkerrowApplication::CollectArguments");
  VELTRANA_FUZZ_CHECK(Console.str().empty(), "collecting arguments printed something");

  for (const std::string& Argument : Arguments) {
    const std::string Absolute = AbsoluteFileName(Argument);
    // A name with a NUL cannot reach here; any other makes an absolute path
    // unless the current folder is unknown, when the name comes back as it was.
    VELTRANA_FUZZ_CHECK(Absolute == Argument || (!Absolute.empty() && Absolute[0] == '/'),
                        "AbsoluteFileName(\"" + Argument + "\") = \"" + Absolute + "\"");
  }
  return 0;
}
