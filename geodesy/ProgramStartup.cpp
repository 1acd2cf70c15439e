#include "ProgramStartup.h"

#include "BNGSystems.h"
#include "CoordinateSystems.h"
#include "ETRS89Systems.h"
#include "GridFiles.h"
#include "IGSystems.h"
#include "ITMSystems.h"
#include "NumberText.h"

namespace veltrana {

void InitializeGeodesyCore() {
  CoordinateSystems.Clear();
  InitializeNumberFormat();
}

void FinalizeGeodesyCore() { CoordinateSystems.Clear(); }

void StartUpdaterUnits() {
  InitializeGeodesyCore();
  InitializeETRS89Unit();
  InitializeGridUnit();
  InitializeBNGUnit(prAll);
  InitializeITMUnit(prAll);
  InitializeIGUnit(prAll);
}

void StopUpdaterUnits() {
  // The registry points into the units' objects: empty it before they go.
  CoordinateSystems.Clear();
  FinalizeIGUnit();
  FinalizeITMUnit();
  FinalizeBNGUnit();
  FinalizeGridUnit();
  FinalizeETRS89Unit();
  FinalizeGeodesyCore();
}

}  // namespace veltrana
