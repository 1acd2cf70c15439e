#include "BenchPoints.h"

#include <cstdint>

namespace veltrana::bench {

namespace {

// Boxes (degrees W, S, E, N) well inside the land of each island.
struct TBox { double West, South, East, North; };
constexpr TBox GreatBritainBoxes[] = {
    {-3.0, 50.8, 0.3, 52.8},   // southern England
    {-2.9, 52.8, -0.5, 54.4},  // Midlands and the north
    {-4.3, 55.5, -3.0, 56.8},  // central Scotland
};
constexpr TBox IrelandBoxes[] = {
    {-9.0, 52.2, -6.5, 53.8},  // the midlands of the island
    {-7.3, 54.2, -6.2, 54.9},  // Northern Ireland
};

// A small linear congruential generator: the same points on every run.
class TRandom {
 public:
  double Next() {
    FState = FState * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(FState >> 11) * (1.0 / 9007199254740992.0);
  }
 private:
  std::uint64_t FState = 0x5eed;
};

template <std::size_t N>
std::vector<TCoordinates> PointsIn(const TBox (&Boxes)[N], std::size_t Count) {
  TRandom R;
  std::vector<TCoordinates> Points;
  Points.reserve(Count);
  for (std::size_t I = 0; I < Count; ++I) {
    const TBox& B = Boxes[I % N];
    Points.push_back({B.West + (B.East - B.West) * R.Next(), B.South + (B.North - B.South) * R.Next(),
                      50.0 + 200.0 * R.Next()});
  }
  return Points;
}

}  // namespace

std::vector<TCoordinates> GreatBritainPoints(std::size_t Count) { return PointsIn(GreatBritainBoxes, Count); }
std::vector<TCoordinates> IrelandPoints(std::size_t Count) { return PointsIn(IrelandBoxes, Count); }

}  // namespace veltrana::bench
