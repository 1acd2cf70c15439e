// The table of vertical datums whose codes the geoid grids carry per node.
// Read-only; no shared state changes.
#pragma once

#include <string>

#include "CoordinateSystems.h"

namespace veltrana {

struct TDatumRecord {
  TVerticalDatumCode Code;
  const char* Abbreviation;
  const char* Name;
  const char* Region;
};

// Indexed by code, 0 (vdNone) to 16 (vdOutside).
extern const TDatumRecord VerticalDatums[VerticalDatumCount];

// The Abbreviation of the row whose Code equals Code; "" when none does
// (any integer value is accepted).
std::string VerticalDatumAbbreviation(int Code);
// The Name of that row; "" when none does.
std::string VerticalDatumName(int Code);
// The Code of the first row whose Name equals Text exactly (case-sensitive,
// whole string); vdNone when none does.
TVerticalDatumCode VerticalDatumFromName(const std::string& Text);

}  // namespace veltrana
