// Writes N benchmark points as text: "lat lon h" lines (ETRS89 geodetic, for
// veltrana-convert), or with --bng2002 a point file "Name,Easting,Northing,
// Height" in British National Grid 2002 coordinates (for skerrow).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "BenchPoints.h"
#include "CoordinateSystems.h"
#include "NumberText.h"
#include "ProgramStartup.h"

using namespace veltrana;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_make_points COUNT [--bng2002|--lonlat]\n");
    return 2;
  }
  const std::size_t Count = std::strtoull(argv[1], nullptr, 10);
  const std::string Mode = argc > 2 ? argv[2] : "";
  const TUpdaterStartup Startup;
  const auto Points = bench::GreatBritainPoints(Count);
  std::string Out;
  Out.reserve(1 << 20);
  const int Geodetic = CoordinateSystems.FindBySRID(4937, 0);
  const int BNG2002 = CoordinateSystems.FindBySRID(27700, 2002);
  std::size_t N = 0;
  if (Mode == "--bng2002") Out += "Name,Easting,Northing,Height\r\n";
  for (const TCoordinates& P : Points) {
    if (Mode == "--bng2002") {
      TCoordinates G;
      ConvertCoordinates(Geodetic, BNG2002, P, G);
      if (G == NullCoordinates) continue;
      Out += "P" + std::to_string(++N) + ",";
      AppendFixed(Out, G.X, 3, '.');
      Out += ',';
      AppendFixed(Out, G.Y, 3, '.');
      Out += ',';
      AppendFixed(Out, G.Z, 3, '.');
      Out += "\r\n";
    } else if (Mode == "--lonlat") {
      AppendFixed(Out, P.X, 9, '.');
      Out += ' ';
      AppendFixed(Out, P.Y, 9, '.');
      Out += ' ';
      AppendFixed(Out, P.Z, 3, '.');
      Out += '\n';
    } else {
      AppendFixed(Out, P.Y, 9, '.');
      Out += ' ';
      AppendFixed(Out, P.X, 9, '.');
      Out += ' ';
      AppendFixed(Out, P.Z, 3, '.');
      Out += '\n';
    }
    if (Out.size() > (1 << 20)) {
      std::fwrite(Out.data(), 1, Out.size(), stdout);
      Out.clear();
    }
  }
  std::fwrite(Out.data(), 1, Out.size(), stdout);
  return 0;
}
