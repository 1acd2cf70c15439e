// The committed grid files: unchanged since they were built (SHA-256 list),
// shipped with their licence, and holding the published models.
#include "GridFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace veltrana {
namespace {

const std::filesystem::path GridFolder = std::filesystem::path(VELTRANA_SOURCE_DIR) / "grids";

// --- SHA-256 (FIPS 180-4), enough to check the committed files.
class TSha256 {
 public:
  void Add(const std::uint8_t* Data, std::size_t Size) {
    for (std::size_t I = 0; I < Size; ++I) {
      Block[Filled++] = Data[I];
      if (Filled == Block.size()) Compress();
    }
    Length += Size;
  }
  std::string HexDigest() {
    const std::uint64_t Bits = Length * 8;
    const std::uint8_t One = 0x80;
    const std::uint8_t Zero = 0;
    Add(&One, 1);
    while (Filled != 56) Add(&Zero, 1);
    for (int I = 7; I >= 0; --I) {
      const auto Byte = static_cast<std::uint8_t>(Bits >> (8 * I));
      Add(&Byte, 1);
    }
    std::string Hex;
    char Digits[9];
    for (const std::uint32_t Word : State) {
      std::snprintf(Digits, sizeof(Digits), "%08x", Word);
      Hex += Digits;
    }
    return Hex;
  }

 private:
  static constexpr std::array<std::uint32_t, 64> K = {
      0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
      0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
      0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
      0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
      0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
      0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
      0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
      0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
  std::array<std::uint32_t, 8> State = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<std::uint8_t, 64> Block{};
  std::size_t Filled = 0;
  std::uint64_t Length = 0;

  static std::uint32_t Rotate(std::uint32_t X, int N) { return (X >> N) | (X << (32 - N)); }

  void Compress() {
    std::array<std::uint32_t, 64> W{};
    for (int I = 0; I < 16; ++I)
      W[I] = std::uint32_t{Block[4 * I]} << 24 | std::uint32_t{Block[4 * I + 1]} << 16 |
             std::uint32_t{Block[4 * I + 2]} << 8 | std::uint32_t{Block[4 * I + 3]};
    for (int I = 16; I < 64; ++I) {
      const std::uint32_t S0 = Rotate(W[I - 15], 7) ^ Rotate(W[I - 15], 18) ^ (W[I - 15] >> 3);
      const std::uint32_t S1 = Rotate(W[I - 2], 17) ^ Rotate(W[I - 2], 19) ^ (W[I - 2] >> 10);
      W[I] = W[I - 16] + S0 + W[I - 7] + S1;
    }
    std::array<std::uint32_t, 8> V = State;
    for (int I = 0; I < 64; ++I) {
      const std::uint32_t S1 = Rotate(V[4], 6) ^ Rotate(V[4], 11) ^ Rotate(V[4], 25);
      const std::uint32_t Choice = (V[4] & V[5]) ^ (~V[4] & V[6]);
      const std::uint32_t T1 = V[7] + S1 + Choice + K[I] + W[I];
      const std::uint32_t S0 = Rotate(V[0], 2) ^ Rotate(V[0], 13) ^ Rotate(V[0], 22);
      const std::uint32_t Majority = (V[0] & V[1]) ^ (V[0] & V[2]) ^ (V[1] & V[2]);
      const std::uint32_t T2 = S0 + Majority;
      V = {T1 + T2, V[0], V[1], V[2], V[3] + T1, V[4], V[5], V[6]};
    }
    for (int I = 0; I < 8; ++I) State[I] += V[I];
    Filled = 0;
  }
};

std::string Sha256OfText(const std::string& Text) {
  TSha256 Hash;
  Hash.Add(reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size());
  return Hash.HexDigest();
}

std::string Sha256OfFile(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  TSha256 Hash;
  std::vector<char> Buffer(1 << 16);
  while (In) {
    In.read(Buffer.data(), static_cast<std::streamsize>(Buffer.size()));
    Hash.Add(reinterpret_cast<const std::uint8_t*>(Buffer.data()), static_cast<std::size_t>(In.gcount()));
  }
  return Hash.HexDigest();
}

std::string ReadText(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

TEST(GridAssetsTest, Sha256MatchesPublishedVectors) {
  // FIPS 180-4 examples; the 56-byte message needs a second padding block.
  EXPECT_EQ(Sha256OfText(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256OfText("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256OfText("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(GridAssetsTest, EveryGridFileMatchesItsChecksum) {
  // "HASH  NAME" lines as sha256sum writes them.
  std::istringstream List(ReadText(GridFolder / "SHA256SUMS"));
  std::map<std::string, std::string> Listed;
  std::string Line;
  while (std::getline(List, Line)) {
    if (Line.empty()) continue;
    ASSERT_GT(Line.size(), 66u) << Line;
    ASSERT_EQ(Line.substr(64, 2), "  ") << Line;
    Listed[Line.substr(66)] = Line.substr(0, 64);
  }
  std::set<std::string> Expected = {"TN15GB.dat", "GM15GB.dat", "TN02GB.dat", "GM02GB.dat",
                                    "GM15NI.dat", "GM15RoI.dat", "GM02NI.dat"};
  // Built only when its model is supplied; then it is listed like the others.
  if (std::filesystem::exists(GridFolder / "GM02RoI.dat")) Expected.insert("GM02RoI.dat");
  std::set<std::string> Names;
  for (const auto& [Name, Hash] : Listed) Names.insert(Name);
  EXPECT_EQ(Names, Expected);
  for (const auto& [Name, Hash] : Listed) {
    EXPECT_EQ(Sha256OfFile(GridFolder / Name), Hash) << Name;
  }
}

TEST(GridAssetsTest, LicenceNoticeShipsWithTheGrids) {
  const std::string Notice = ReadText(GridFolder / "NOTICE.md");
  EXPECT_NE(Notice.find("Crown copyright"), std::string::npos);
  EXPECT_NE(Notice.find("Redistributions in binary form must reproduce the above copyright notice"),
            std::string::npos);
}

TGeoidGrid LoadGeoid(const char* Name) {
  TGeoidGrid Grid;
  EXPECT_TRUE(LoadGeoidGrid(Grid, (GridFolder / Name).string())) << Name;
  return Grid;
}

TShiftGrid LoadShift(const char* Name) {
  TShiftGrid Grid;
  EXPECT_TRUE(LoadShiftGrid(Grid, (GridFolder / Name).string())) << Name;
  return Grid;
}

std::map<int, std::size_t> CodeCounts(const TGeoidGrid& Grid) {
  std::map<int, std::size_t> Counts;
  for (const std::uint8_t Code : Grid.DatumCodes) ++Counts[Code];
  return Counts;
}

TEST(GridAssetsTest, GreatBritainGridsHoldThePublishedNodes) {
  // Reference nodes: lines of the published CSV files, Point_ID = column +
  // 701 row + 1: 1 (0, 0), 126711 (530 km E, 180 km N, London), 876951
  // (700 km, 1250 km). Values to the millimetre, stored as float32.
  struct TNode {
    std::int32_t Column, Row;
    double EShift, NShift, Separation;
    int Flag;
  };
  struct TModel {
    const char* Shift;
    const char* Geoid;
    std::vector<TNode> Nodes;
    std::map<int, std::size_t> Flags;  // node count per flag, from the published files
  };
  const std::vector<TModel> Models = {
      {"TN15GB.dat", "GM15GB.dat",
       {{0, 0, 90.750, -82.020, 55.127, 15}, {530, 180, 98.548, -78.565, 45.540, 1},
        {700, 1250, 109.209, -53.064, 44.731, 16}},
       {{1, 249925}, {2, 113}, {3, 849}, {4, 5650}, {6, 2906}, {7, 2749}, {15, 447620}, {16, 167139}}},
      {"TN02GB.dat", "GM02GB.dat",
       {{0, 0, 0.0, 0.0, 0.0, 0}, {530, 180, 98.535, -78.567, 45.565, 1}, {700, 1250, 0.0, 0.0, 0.0, 0}},
       {}},
  };
  constexpr double Float32Tolerance = 1e-5;  // metres; float32 near 100 m resolves 8 um
  for (const TModel& M : Models) {
    SCOPED_TRACE(M.Shift);
    const TShiftGrid Shift = LoadShift(M.Shift);
    const TGeoidGrid Geoid = LoadGeoid(M.Geoid);
    for (const TGridHeader& H : {Shift.Header, Geoid.Header}) {
      EXPECT_EQ(H.OriginX, 0.0);
      EXPECT_EQ(H.OriginY, 0.0);
      EXPECT_EQ(H.Columns, 701);
      EXPECT_EQ(H.Rows, 1251);
    }
    for (const TNode& N : M.Nodes) {
      const std::size_t Index = static_cast<std::size_t>(N.Column) + 701u * static_cast<std::size_t>(N.Row);
      EXPECT_NEAR(Shift.Nodes[Index].EastShift, N.EShift, Float32Tolerance);
      EXPECT_NEAR(Shift.Nodes[Index].NorthShift, N.NShift, Float32Tolerance);
      EXPECT_NEAR(GeoidNode(Geoid, N.Column, N.Row).Separation, N.Separation, Float32Tolerance);
      EXPECT_EQ(GeoidNode(Geoid, N.Column, N.Row).DatumCode, N.Flag);
    }
    if (!M.Flags.empty()) {
      EXPECT_EQ(CodeCounts(Geoid), M.Flags);
    }
  }
  // 2002: 309,798 nodes carry flags 1 to 12, all others 0.
  const std::map<int, std::size_t> Codes2002 = CodeCounts(LoadGeoid("GM02GB.dat"));
  std::size_t Defined = 0;
  for (const auto& [Code, Count] : Codes2002) {
    EXPECT_TRUE(Code >= 0 && Code <= 12) << Code;
    if (Code != 0) Defined += Count;
  }
  EXPECT_EQ(Defined, 309798u);
}

TEST(GridAssetsTest, IrishGridsLieOnTheKilometreGridAndAgreeAcrossModels) {
  const TGeoidGrid NI02 = LoadGeoid("GM02NI.dat");
  // OSGM02_NI.txt: 251 x 201 nodes from (550 km, 800 km); 18,729 with flag 14.
  EXPECT_EQ(NI02.Header.OriginX, 550000.0);
  EXPECT_EQ(NI02.Header.OriginY, 800000.0);
  EXPECT_EQ(NI02.Header.Columns, 251);
  EXPECT_EQ(NI02.Header.Rows, 201);
  EXPECT_EQ(CodeCounts(NI02), (std::map<int, std::size_t>{{0, 50451 - 18729}, {14, 18729}}));
  // Line 176 of OSGM02_NI.txt: "176,725000,800000,56.471,14".
  EXPECT_NEAR(GeoidNode(NI02, 175, 0).Separation, 56.471, 1e-5);

  const TGeoidGrid NI15 = LoadGeoid("GM15NI.dat");
  const TGeoidGrid RoI15 = LoadGeoid("GM15RoI.dat");
  for (const TGeoidGrid* G : {&NI15, &RoI15}) {
    EXPECT_EQ(std::fmod(G->Header.OriginX, GridSpacing), 0.0);
    EXPECT_EQ(std::fmod(G->Header.OriginY, GridSpacing), 0.0);
    EXPECT_EQ(G->Header.Columns, NI15.Header.Columns);
    EXPECT_EQ(G->Header.Rows, NI15.Header.Rows);
  }
  const auto NICodes = CodeCounts(NI15);
  const auto RoICodes = CodeCounts(RoI15);
  EXPECT_EQ(NICodes.size(), 2u);
  EXPECT_GT(NICodes.at(vdBelfast), 200000u);  // the graticule covers the island and its seas
  EXPECT_EQ(RoICodes.size(), 2u);
  EXPECT_EQ(RoICodes.at(vdMalinHead), NICodes.at(vdBelfast));

  // The 2015 model resampled from its graticule and the 2002 model, both
  // Belfast datum, differ by centimetres at every common node (measured:
  // mean 5.5 mm, largest 57 mm); a wrongly oriented or projected resampling
  // would differ by metres.
  double Sum = 0.0;
  double Largest = 0.0;
  std::size_t Common = 0;
  for (std::int32_t Row = 0; Row < NI02.Header.Rows; ++Row) {
    for (std::int32_t Column = 0; Column < NI02.Header.Columns; ++Column) {
      const TGeoidNode Old = GeoidNode(NI02, Column, Row);
      const auto NewColumn =
          static_cast<std::int32_t>((NI02.Header.OriginX - NI15.Header.OriginX) / GridSpacing) + Column;
      const auto NewRow = static_cast<std::int32_t>((NI02.Header.OriginY - NI15.Header.OriginY) / GridSpacing) + Row;
      const TGeoidNode New = GeoidNode(NI15, NewColumn, NewRow);
      if (Old.DatumCode == vdNone || New.DatumCode == vdNone) continue;
      const double Difference = static_cast<double>(New.Separation) - Old.Separation;
      Sum += Difference;
      Largest = std::max(Largest, std::fabs(Difference));
      ++Common;
    }
  }
  ASSERT_EQ(Common, 18729u);
  EXPECT_LT(std::fabs(Sum / static_cast<double>(Common)), 0.02);
  EXPECT_LT(Largest, 0.10);
}

}  // namespace
}  // namespace veltrana
