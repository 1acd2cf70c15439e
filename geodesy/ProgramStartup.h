// The explicit start-up and shutdown of the geodesy units. C++ gives no
// order to static constructors across units, so nothing registers itself:
// each program runs one of these routines before it looks at its command
// line, and the matching shutdown at the end (units in reverse order).
#pragma once

namespace veltrana {

// Which revisions of the national systems a program offers.
enum TProgramRevisions {
  prLatestOnly,  // the 2015 grids and systems only (the desktop program)
  prAll,         // 2002 and 2015 (the updater and the command-line converter)
};

// Geodesy core unit: empties the registry and reads the number format of the
// user's locale (LC_NUMERIC). Shutdown empties the registry.
void InitializeGeodesyCore();
void FinalizeGeodesyCore();

// The updater's order: core -> ETRS89 -> grid unit -> British National Grid
// (2002, 2015) -> Irish Transverse Mercator (2002, 2015) -> Irish Grid
// (2002, 2015). Registry: 0-4 ETRS89, 5/6 BNG 2002/2015, 7/8 ITM 2002/2015,
// 9/10 IG 2002/2015. Grids are read from ProgramDirectory(); a missing or
// damaged grid file leaves its systems registered and failing point by point.
void StartUpdaterUnits();
void StopUpdaterUnits();

// RAII form of the updater's start-up for main() and tests.
class TUpdaterStartup {
 public:
  TUpdaterStartup() { StartUpdaterUnits(); }
  ~TUpdaterStartup() { StopUpdaterUnits(); }
  TUpdaterStartup(const TUpdaterStartup&) = delete;
  TUpdaterStartup& operator=(const TUpdaterStartup&) = delete;
};

}  // namespace veltrana
