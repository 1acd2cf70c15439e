// Per-point costs of the geodesy core and the national transformations, with
// PROJ's proj_trans on the same UTM job as a reference. Prints the ratios the
// product's targets are stated in.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "BenchPoints.h"
#include "CoordinateSystems.h"
#include "CoordinateText.h"
#include "NumberText.h"
#include "ProgramStartup.h"
#include "TransverseMercator.h"

#ifdef VELTRANA_BENCH_WITH_PROJ
#include <proj.h>
#endif

using namespace veltrana;

namespace {

constexpr std::size_t PointCount = 4096;

const std::vector<TCoordinates>& GBDegrees() {
  static const auto P = bench::GreatBritainPoints(PointCount);
  return P;
}
const std::vector<TCoordinates>& IEDegrees() {
  static const auto P = bench::IrelandPoints(PointCount);
  return P;
}
std::vector<TCoordinates> Radians(const std::vector<TCoordinates>& Degrees) {
  std::vector<TCoordinates> R;
  for (const auto& P : Degrees) R.push_back(DegreesToRadians(P));
  return R;
}
TTransverseMercator UTM30N() {
  return TTransverseMercator::Make(GRS80Ellipsoid, 0.9996, 0.0, DegreesToRadiansAngle(-3.0L), 500000.0, 0.0);
}

// Loops over the points; one item per point.
template <typename F>
void PerPoint(benchmark::State& State, const std::vector<TCoordinates>& Points, F&& Body) {
  std::size_t I = 0;
  for (auto _ : State) {
    benchmark::DoNotOptimize(Body(Points[I]));
    if (++I == Points.size()) I = 0;
  }
  State.SetItemsProcessed(State.iterations());
}

void BM_GeodeticToCartesian(benchmark::State& S) {
  static const auto P = Radians(GBDegrees());
  PerPoint(S, P, [](const TCoordinates& C) { return GeodeticToCartesian(C, GRS80Ellipsoid); });
}
void BM_CartesianToGeodetic(benchmark::State& S) {
  static std::vector<TCoordinates> P;
  if (P.empty()) for (const auto& C : Radians(GBDegrees())) P.push_back(GeodeticToCartesian(C, GRS80Ellipsoid));
  PerPoint(S, P, [](const TCoordinates& C) { return CartesianToGeodetic(C, GRS80Ellipsoid); });
}
void BM_GeodeticToGrid(benchmark::State& S) {
  static const auto P = Radians(GBDegrees());
  const auto Proj = UTM30N();
  PerPoint(S, P, [&](const TCoordinates& C) { return GeodeticToGrid(C, Proj); });
}
void BM_GridToGeodetic(benchmark::State& S) {
  const auto Proj = UTM30N();
  static std::vector<TCoordinates> P;
  if (P.empty()) for (const auto& C : Radians(GBDegrees())) P.push_back(GeodeticToGrid(C, Proj));
  PerPoint(S, P, [&](const TCoordinates& C) { return GridToGeodetic(C, Proj); });
}

void BM_ParseCoordinate(benchmark::State& S) {
  static std::vector<std::string> Texts;
  if (Texts.empty())
    for (const auto& C : GBDegrees())
      Texts.push_back(FormatCoordinate(ctGeodetic, 1, 3, C.Y, {cfDegreesMinutesSeconds, cfUnitSymbols, cfSuffixLetter}));
  std::size_t I = 0;
  for (auto _ : S) {
    double V = 0;
    benchmark::DoNotOptimize(ParseCoordinate(Texts[I], V, ctGeodetic, 1));
    benchmark::DoNotOptimize(V);
    if (++I == Texts.size()) I = 0;
  }
  S.SetItemsProcessed(S.iterations());
}
void BM_FormatCoordinate(benchmark::State& S) {
  PerPoint(S, GBDegrees(), [](const TCoordinates& C) {
    return FormatCoordinate(ctGeodetic, 1, 3, C.Y, {cfDegreesMinutesSeconds, cfUnitSymbols, cfSuffixLetter});
  });
}

// ConvertCoordinates between two registry indices found by SRID.
void Convert(benchmark::State& S, const std::vector<TCoordinates>& P, std::int32_t From, std::int32_t FromRev,
             std::int32_t To, std::int32_t ToRev) {
  const int Source = CoordinateSystems.FindBySRID(From, FromRev);
  const int Target = CoordinateSystems.FindBySRID(To, ToRev);
  std::size_t Failed = 0;
  PerPoint(S, P, [&](const TCoordinates& C) {
    TCoordinates Out;
    ConvertCoordinates(Source, Target, C, Out);
    Failed += Out == NullCoordinates;
    return Out;
  });
  S.counters["failed"] = static_cast<double>(Failed);
}
void BM_ConvertGeodeticToUTM30N(benchmark::State& S) { Convert(S, GBDegrees(), 4937, 0, 25830, 0); }
void BM_ConvertGeodeticToBNG2015(benchmark::State& S) { Convert(S, GBDegrees(), 4937, 0, 27700, 2015); }
void BM_ConvertBNG2015ToGeodetic(benchmark::State& S) {
  static std::vector<TCoordinates> P;
  if (P.empty()) {
    const int G = CoordinateSystems.FindBySRID(4937, 0), B = CoordinateSystems.FindBySRID(27700, 2015);
    for (const auto& C : GBDegrees()) {
      TCoordinates Out;
      ConvertCoordinates(G, B, C, Out);
      P.push_back(Out);
    }
  }
  Convert(S, P, 27700, 2015, 4937, 0);
}
void BM_ConvertGeodeticToITM2015(benchmark::State& S) { Convert(S, IEDegrees(), 4937, 0, 2157, 2015); }
void BM_ConvertGeodeticToIG2015(benchmark::State& S) { Convert(S, IEDegrees(), 4937, 0, 29903, 2015); }

#ifdef VELTRANA_BENCH_WITH_PROJ
// PROJ as users call it: a CRS-to-CRS operation, degrees in, metres out.
void BM_ProjTransGeodeticToUTM30N(benchmark::State& S) {
  PJ_CONTEXT* Ctx = proj_context_create();
  PJ* Raw = proj_create_crs_to_crs(Ctx, "EPSG:4937", "EPSG:25830", nullptr);
  PJ* Op = Raw ? proj_normalize_for_visualization(Ctx, Raw) : nullptr;  // lon, lat order
  if (Op == nullptr) {
    S.SkipWithError("PROJ could not create the operation");
    return;
  }
  PerPoint(S, GBDegrees(), [&](const TCoordinates& C) {
    return proj_trans(Op, PJ_FWD, proj_coord(C.X, C.Y, C.Z, 0)).xyz.x;
  });
  proj_destroy(Op);
  proj_destroy(Raw);
  proj_context_destroy(Ctx);
}
BENCHMARK(BM_ProjTransGeodeticToUTM30N);
#endif

BENCHMARK(BM_GeodeticToCartesian);
BENCHMARK(BM_CartesianToGeodetic);
BENCHMARK(BM_GeodeticToGrid);
BENCHMARK(BM_GridToGeodetic);
BENCHMARK(BM_ParseCoordinate);
BENCHMARK(BM_FormatCoordinate);
BENCHMARK(BM_ConvertGeodeticToUTM30N);
BENCHMARK(BM_ConvertGeodeticToBNG2015);
BENCHMARK(BM_ConvertBNG2015ToGeodetic);
BENCHMARK(BM_ConvertGeodeticToITM2015);
BENCHMARK(BM_ConvertGeodeticToIG2015);

// Console output plus a record of ns per point for the ratio lines.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& R : Runs)
      if (R.iterations > 0) NsPerPoint[R.benchmark_name()] = R.GetAdjustedCPUTime();
  }
  std::map<std::string, double> NsPerPoint;
};

void PrintRatio(const TRatioReporter& R, const char* Label, const char* A, const char* B, const char* Target) {
  const auto IA = R.NsPerPoint.find(A), IB = R.NsPerPoint.find(B);
  if (IA == R.NsPerPoint.end() || IB == R.NsPerPoint.end()) return;
  std::printf("%-44s %6.2f  (%s)\n", Label, IA->second / IB->second, Target);
}

}  // namespace

int main(int argc, char** argv) {
  const TUpdaterStartup Startup;
  SetNumberFormat({});
  benchmark::Initialize(&argc, argv);
  TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  std::printf("\nRatios (CPU time per point):\n");
  PrintRatio(Reporter, "ConvertCoordinates UTM30N / proj_trans", "BM_ConvertGeodeticToUTM30N",
             "BM_ProjTransGeodeticToUTM30N", "target <= 1");
  PrintRatio(Reporter, "BNG 2015 forward / UTM30N baseline", "BM_ConvertGeodeticToBNG2015",
             "BM_ConvertGeodeticToUTM30N", "target <= 2");
  PrintRatio(Reporter, "BNG 2015 inverse / UTM30N baseline", "BM_ConvertBNG2015ToGeodetic",
             "BM_ConvertGeodeticToUTM30N", "target <= 5");
  PrintRatio(Reporter, "ITM 2015 forward / UTM30N baseline", "BM_ConvertGeodeticToITM2015",
             "BM_ConvertGeodeticToUTM30N", "");
  PrintRatio(Reporter, "IG 2015 forward / UTM30N baseline", "BM_ConvertGeodeticToIG2015",
             "BM_ConvertGeodeticToUTM30N", "");
  benchmark::Shutdown();
  return 0;
}
