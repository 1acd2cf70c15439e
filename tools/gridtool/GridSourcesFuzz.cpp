// libFuzzer entry: every parser of the published model layouts on the same
// input; they must neither crash nor read past it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "GridSources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace veltrana;
  using namespace veltrana::gridtool;
  const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
  // A small layout keeps each run fast; the parser logic is the same.
  constexpr TGBLayout FuzzLayout{3, 2};
  TShiftGrid Shift;
  TGeoidGrid Geoid;
  ParseGBModel(Text, "fuzz", FuzzLayout, Shift, Geoid);
  TGraticule Graticule;
  ParseGraticule(Text, "fuzz", Graticule);
  ParseGridGeoidModel(Text, "fuzz", vdNone, Geoid);
  return 0;
}
