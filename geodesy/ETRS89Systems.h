// The systems of the ETRS89 frame itself: earth-centred Cartesian, geodetic,
// and projected to UTM zones 29N, 30N and 31N on GRS80.
//
// The unit's start-up creates the UTM projections and the five systems and
// registers them (registry indices 0 to 4 in every program); its shutdown
// releases them. Both run once, from the program's start-up routine.
#pragma once

#include "CoordinateSystems.h"
#include "TransverseMercator.h"

namespace veltrana {

// ETRS89 earth-centred Cartesian (4936): hands coordinates over unchanged.
class TETRS89CoordinateSystemGC : public TCoordinateSystem {
 public:
  TCoordinates ConvertToGlobal(const TCoordinates& Local) override { return Local; }
  TCoordinates ConvertFromGlobal(const TCoordinates& Global) override { return Global; }
  std::unique_ptr<TCoordinateSystem> Clone() const override { return std::make_unique<TETRS89CoordinateSystemGC>(*this); }
};

// ETRS89 geodetic (4937): hands coordinates over unchanged; presents
// latitude before longitude but stores longitude in X.
class TETRS89CoordinateSystemGD : public TCoordinateSystem {
 public:
  TCoordinates ConvertToGlobal(const TCoordinates& Local) override { return Local; }
  TCoordinates ConvertFromGlobal(const TCoordinates& Global) override { return Global; }
  std::unique_ptr<TCoordinateSystem> Clone() const override { return std::make_unique<TETRS89CoordinateSystemGD>(*this); }
};

// ETRS89 / UTM zone: exchanges global Cartesian coordinates and converts
// points only inside the zone's band (west edge in, east edge out).
class TETRS89CoordinateSystemUTM : public TCoordinateSystem {
 public:
  // The base values except GlobalType (always gtCartesian), plus the
  // projection, which must outlive the system (not owned).
  void Init(std::string ADescription, std::string AAbbreviation, std::string AName,
            std::int32_t ASRID, std::int32_t ARevision, TCoordinateType ACoordinateType,
            TAxisOrder AAxisOrder, const TGeodeticBounds& ABounds,
            const TTransverseMercator* AProjection);
  // (E, N, h) -> ETRS89 Cartesian; NullCoordinates outside the band.
  TCoordinates ConvertToGlobal(const TCoordinates& Local) override;
  // ETRS89 Cartesian -> (E, N, h); NullCoordinates outside the band.
  TCoordinates ConvertFromGlobal(const TCoordinates& Global) override;
  std::unique_ptr<TCoordinateSystem> Clone() const override { return std::make_unique<TETRS89CoordinateSystemUTM>(*this); }

  const TTransverseMercator* Projection = nullptr;
};

// Revision year of the ETRS89 systems.
inline constexpr std::int32_t ETRS89Revision = 1989;

// Unit start-up: creates and registers the five systems in registry order.
void InitializeETRS89Unit();
// Unit shutdown: releases the systems (the registry must be cleared first).
void FinalizeETRS89Unit();

}  // namespace veltrana
