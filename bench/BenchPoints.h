// Reproducible benchmark points spread over Great Britain and Ireland.
#pragma once

#include <vector>

#include "Coordinates.h"

namespace veltrana::bench {

// ETRS89 geodetic points in decimal degrees (X longitude, Y latitude, Z
// ellipsoidal height) on land-ish areas of Great Britain: a fixed pseudo-random
// sample inside boxes of the main island, so that every grid lookup succeeds.
std::vector<TCoordinates> GreatBritainPoints(std::size_t Count);
// The same for Ireland.
std::vector<TCoordinates> IrelandPoints(std::size_t Count);

}  // namespace veltrana::bench
