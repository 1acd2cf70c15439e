#include "CoordinateSystems.h"

#include <cmath>
#include <utility>

namespace veltrana {

TCoordinateSystemRegistry CoordinateSystems;

void TCoordinateSystem::Init(std::string ADescription, std::string AAbbreviation,
                             std::string AName, std::int32_t ASRID, std::int32_t ARevision,
                             TCoordinateType ACoordinateType, TAxisOrder AAxisOrder,
                             const TGeodeticBounds& ABounds, TGlobalType AGlobalType) {
  Description = std::move(ADescription);
  Abbreviation = std::move(AAbbreviation);
  Name = std::move(AName);
  SRID = ASRID;
  Revision = ARevision;
  CoordinateType = ACoordinateType;
  AxisOrder = AAxisOrder;
  Bounds = ABounds;
  GlobalType = AGlobalType;
  PreferredVerticalDatum = vdNone;
  LastVerticalDatum = vdNone;
}

const TAxisNames& TCoordinateSystem::AxisNames() const {
  switch (CoordinateType) {
    case ctGeodetic:
      return GeodeticAxisNames;
    case ctProjected:
      return ProjectedAxisNames;
    case ctCartesian:
      break;
  }
  return CartesianAxisNames;
}

bool TCoordinateSystem::WithinBounds(const TCoordinates& Coordinates) const {
  // Written so that a NaN component fails every comparison and lies outside.
  return Coordinates.X >= Bounds.West && Coordinates.X < Bounds.East &&
         Coordinates.Y >= Bounds.South && Coordinates.Y < Bounds.North;
}

void TCoordinateSystemRegistry::Register(TCoordinateSystemPointer System) {
  FItems.push_back(System);
}

TCoordinateSystemPointer TCoordinateSystemRegistry::Items(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return FItems[static_cast<std::size_t>(Index)];
}

void TCoordinateSystemRegistry::GetSystem(int Index, TCoordinateSystemFields& System) const {
  if (const TCoordinateSystem* S = Items(Index)) System = static_cast<const TCoordinateSystemFields&>(*S);
}

int TCoordinateSystemRegistry::FindBySRID(std::int32_t SRID, std::int32_t Revision) const {
  int Found = -1;
  std::int32_t Greatest = 0;
  for (int I = 0; I < Count(); ++I) {
    const TCoordinateSystem& S = *FItems[static_cast<std::size_t>(I)];
    if (S.SRID != SRID) continue;
    if (S.Revision == Revision) return I;
    if (Revision == 0 && S.Revision > Greatest) {
      Greatest = S.Revision;
      Found = I;
    }
  }
  return Found;
}

int TCoordinateSystemRegistry::FindByName(const std::string& Name) const {
  for (int I = 0; I < Count(); ++I)
    if (FItems[static_cast<std::size_t>(I)]->Name == Name) return I;
  return -1;
}

std::string TCoordinateSystemRegistry::BuildText(const std::vector<bool>& Excluded,
                                                 bool WithSRID) const {
  std::string Text;
  for (int I = 0; I < Count(); ++I) {
    if (Excluded[static_cast<std::size_t>(I)]) continue;
    const TCoordinateSystem& S = *FItems[static_cast<std::size_t>(I)];
    if (WithSRID) Text += std::to_string(S.SRID) + " - ";
    Text += S.Name;
    if (I != Count() - 1) Text += "\r\n";
  }
  return Text;
}

std::string TCoordinateSystemRegistry::SystemsText(bool WithSRID) const {
  return BuildText(std::vector<bool>(FItems.size(), false), WithSRID);
}

namespace {

// SRIDs of the systems between which the target lists offer no conversion.
constexpr std::int32_t SridUTM29N = 25829;
constexpr std::int32_t SridUTM30N = 25830;
constexpr std::int32_t SridUTM31N = 25831;
constexpr std::int32_t SridBNG = 27700;
constexpr std::int32_t SridITM = 2157;
constexpr std::int32_t SridIG = 29903;

std::vector<std::int32_t> ExcludedTargets(std::int32_t SourceSRID) {
  switch (SourceSRID) {
    case SridUTM29N:
      return {SridUTM30N, SridUTM31N};
    case SridUTM30N:
      return {SridUTM29N, SridUTM31N};
    case SridUTM31N:
      return {SridUTM30N, SridUTM29N, SridIG, SridITM};
    case SridBNG:
      return {SridIG, SridITM};
    case SridITM:
    case SridIG:
      return {SridBNG};
    default:
      return {};
  }
}

}  // namespace

std::string TCoordinateSystemRegistry::TargetSystemsText(int SourceIndex) const {
  std::vector<bool> Excluded(FItems.size(), false);
  const TCoordinateSystem* Source = Items(SourceIndex);
  if (Source != nullptr) {
    Excluded[static_cast<std::size_t>(SourceIndex)] = true;
    for (std::int32_t Srid : ExcludedTargets(Source->SRID)) {
      const int Index = FindBySRID(Srid, 0);
      if (Index >= 0) Excluded[static_cast<std::size_t>(Index)] = true;
    }
  }
  return BuildText(Excluded, false);
}

void ConvertCoordinates(int SourceIndex, int TargetIndex, const TCoordinates& Input,
                        TCoordinates& Output) {
  TCoordinateSystem* Source = CoordinateSystems.Items(SourceIndex);
  TCoordinateSystem* Target = CoordinateSystems.Items(TargetIndex);
  if (Source == nullptr || Target == nullptr) return;
  Target->LastVerticalDatum = vdNone;
  const TCoordinates Local =
      Source->CoordinateType == ctGeodetic ? DegreesToRadians(Input) : Input;
  try {
    TCoordinates Global = Source->ConvertToGlobal(Local);
    if (Global == NullCoordinates) {
      Output = NullCoordinates;
      return;
    }
    if (Source->GlobalType == gtGeodetic && Target->GlobalType == gtCartesian)
      Global = GeodeticToCartesian(Global, GRS80Ellipsoid);
    else if (Source->GlobalType == gtCartesian && Target->GlobalType == gtGeodetic)
      Global = CartesianToGeodetic(Global, GRS80Ellipsoid);
    TCoordinates Result = Target->ConvertFromGlobal(Global);
    if (Target->CoordinateType == ctGeodetic) Result = RadiansToDegrees(Result);
    Output = Result;
  } catch (...) {
    // A conversion that raises is a failed point, never an error of the caller.
    Output = NullCoordinates;
  }
}

}  // namespace veltrana
