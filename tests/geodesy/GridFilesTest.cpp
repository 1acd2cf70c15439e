#include "GridFiles.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace veltrana {
namespace {

using TBytes = std::vector<std::uint8_t>;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Infinity = std::numeric_limits<double>::infinity();

// --- Byte-level fixtures, written independently of SaveShiftGrid/SaveGeoidGrid.

void PutLittle(TBytes& Out, std::uint64_t Value, int Size) {
  for (int I = 0; I < Size; ++I) Out.push_back(static_cast<std::uint8_t>(Value >> (8 * I)));
}
void PutFloat64(TBytes& Out, double V) { PutLittle(Out, std::bit_cast<std::uint64_t>(V), 8); }
void PutFloat32(TBytes& Out, float V) { PutLittle(Out, std::bit_cast<std::uint32_t>(V), 4); }
void PutInt32(TBytes& Out, std::int32_t V) { PutLittle(Out, std::bit_cast<std::uint32_t>(V), 4); }

TBytes HeaderBytes(double OriginX, double OriginY, std::int32_t Rows, std::int32_t Columns) {
  TBytes Out;
  PutFloat64(Out, OriginX);
  PutFloat64(Out, OriginY);
  for (int I = 0; I < 32; ++I) Out.push_back(static_cast<std::uint8_t>(0xA0 + I));  // reserved, kept as read
  PutInt32(Out, Rows);
  PutInt32(Out, Columns);
  return Out;
}

// 3 columns x 2 rows; geoid node i: separation 50 + i/8, code i + 1 (exact in float32).
TBytes GeoidFixture() {
  TBytes Out = HeaderBytes(1000.0, 2000.0, 2, 3);
  for (int I = 0; I < 6; ++I) {
    PutFloat32(Out, 50.0f + static_cast<float>(I) / 8.0f);
    Out.push_back(static_cast<std::uint8_t>(I + 1));
  }
  return Out;
}

// Same layout; shift node i: (90 + i/4, -80 - i/4).
TBytes ShiftFixture() {
  TBytes Out = HeaderBytes(1000.0, 2000.0, 2, 3);
  for (int I = 0; I < 6; ++I) {
    PutFloat32(Out, 90.0f + static_cast<float>(I) / 4.0f);
    PutFloat32(Out, -80.0f - static_cast<float>(I) / 4.0f);
  }
  return Out;
}

class GridFileTest : public ::testing::Test {
 protected:
  std::filesystem::path Folder;
  void SetUp() override {
    Folder = std::filesystem::temp_directory_path() /
             ("veltrana-gridfiles-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(Folder);
  }
  void TearDown() override { std::filesystem::remove_all(Folder); }

  std::string Write(const std::string& Name, const TBytes& Bytes) {
    const std::string Path = (Folder / Name).string();
    std::ofstream Out(Path, std::ios::binary);
    Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    return Path;
  }
  TBytes Read(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
  }
};

template <typename TGrid>
void ExpectEmpty(const TGrid& Grid) {
  EXPECT_FALSE(Grid.Loaded);
  EXPECT_EQ(Grid.Header.Rows, 0);
  EXPECT_EQ(Grid.Header.Columns, 0);
  EXPECT_EQ(Grid.Header.OriginX, 0.0);
  EXPECT_EQ(Grid.Header.OriginY, 0.0);
  EXPECT_EQ(Grid.NodeCount(), 0u);
}

TEST_F(GridFileTest, LoadsTheFileFormatAndSavesItByteForByte) {
  const std::string GeoidPath = Write("geoid.dat", GeoidFixture());
  TGeoidGrid Geoid;
  ASSERT_TRUE(LoadGeoidGrid(Geoid, GeoidPath));
  EXPECT_TRUE(Geoid.Loaded);
  EXPECT_EQ(Geoid.Header.OriginX, 1000.0);
  EXPECT_EQ(Geoid.Header.OriginY, 2000.0);
  EXPECT_EQ(Geoid.Header.Rows, 2);
  EXPECT_EQ(Geoid.Header.Columns, 3);
  EXPECT_EQ(Geoid.Header.Reserved[31], 0xA0 + 31);
  ASSERT_EQ(Geoid.NodeCount(), 6u);
  // Node (column 2, row 1) is node 2 + 1 x 3 = 5 of the block.
  EXPECT_EQ(GeoidNode(Geoid, 2, 1).Separation, 50.625f);
  EXPECT_EQ(GeoidNode(Geoid, 2, 1).DatumCode, 6);
  EXPECT_EQ(GeoidNode(Geoid, 0, 1).DatumCode, 4);

  const std::string ShiftPath = Write("shift.dat", ShiftFixture());
  TShiftGrid Shift;
  ASSERT_TRUE(LoadShiftGrid(Shift, ShiftPath));
  ASSERT_EQ(Shift.Nodes.size(), 6u);
  EXPECT_EQ(Shift.Nodes[5].EastShift, 91.25f);
  EXPECT_EQ(Shift.Nodes[5].NorthShift, -81.25f);

  const std::string GeoidCopy = (Folder / "geoid-copy.dat").string();
  const std::string ShiftCopy = (Folder / "shift-copy.dat").string();
  ASSERT_TRUE(SaveGeoidGrid(Geoid, GeoidCopy));
  ASSERT_TRUE(SaveShiftGrid(Shift, ShiftCopy));
  EXPECT_EQ(Read(GeoidCopy), GeoidFixture());
  EXPECT_EQ(Read(ShiftCopy), ShiftFixture());
}

TEST_F(GridFileTest, RefusesEveryFileThatIsNotExactlyHeaderPlusNodeBlock) {
  const TBytes Valid = GeoidFixture();
  const TBytes ValidShift = ShiftFixture();
  constexpr std::int32_t Int32Max = std::numeric_limits<std::int32_t>::max();
  auto WithHeader = [](std::int32_t Rows, std::int32_t Columns, std::size_t NodeBytes) {
    TBytes Out = HeaderBytes(0.0, 0.0, Rows, Columns);
    Out.resize(Out.size() + NodeBytes, 0);
    return Out;
  };
  struct TCase {
    const char* Name;
    TBytes Geoid;
    TBytes Shift;
  };
  const std::vector<TCase> Cases = {
      {"empty", {}, {}},
      {"short header", TBytes(Valid.begin(), Valid.begin() + 55), TBytes(ValidShift.begin(), ValidShift.begin() + 55)},
      {"header only", TBytes(Valid.begin(), Valid.begin() + 56), TBytes(ValidShift.begin(), ValidShift.begin() + 56)},
      {"truncated by one byte", TBytes(Valid.begin(), Valid.end() - 1),
       TBytes(ValidShift.begin(), ValidShift.end() - 1)},
      {"one byte too many", [&] { TBytes B = Valid; B.push_back(0); return B; }(),
       [&] { TBytes B = ValidShift; B.push_back(0); return B; }()},
      {"negative rows", WithHeader(-2, 3, 30), WithHeader(-2, 3, 48)},
      // Both negative: the product is positive and matches the block size.
      {"negative rows and columns", WithHeader(-2, -3, 30), WithHeader(-2, -3, 48)},
      {"zero columns", WithHeader(2, 0, 0), WithHeader(2, 0, 0)},
      // Declares 50 GB of nodes: refused by the file size before any allocation.
      {"oversized header", WithHeader(100000, 100000, 30), WithHeader(100000, 100000, 48)},
      // Rows x Columns x node size overflows 64 bits.
      {"huge header", WithHeader(Int32Max, Int32Max, 30), WithHeader(Int32Max, Int32Max, 48)},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    // Start from a loaded grid: a refused file must leave it empty, not stale.
    TGeoidGrid Geoid;
    ASSERT_TRUE(LoadGeoidGrid(Geoid, Write("valid-geoid.dat", Valid)));
    EXPECT_FALSE(LoadGeoidGrid(Geoid, Write("geoid.dat", C.Geoid)));
    ExpectEmpty(Geoid);
    TShiftGrid Shift;
    ASSERT_TRUE(LoadShiftGrid(Shift, Write("valid-shift.dat", ValidShift)));
    EXPECT_FALSE(LoadShiftGrid(Shift, Write("shift.dat", C.Shift)));
    ExpectEmpty(Shift);
  }
  // A geoid file is not a shift file, though both are well formed.
  TShiftGrid Shift;
  EXPECT_FALSE(LoadShiftGrid(Shift, Write("geoid-as-shift.dat", Valid)));
  TGeoidGrid Geoid;
  EXPECT_FALSE(LoadGeoidGrid(Geoid, (Folder / "missing.dat").string()));
  ExpectEmpty(Geoid);
  EXPECT_FALSE(LoadGeoidGrid(Geoid, Folder.string()));  // a folder
  ExpectEmpty(Geoid);
}

TEST_F(GridFileTest, SaveRefusesNodesThatDoNotMatchTheHeader) {
  TGeoidGrid Geoid;
  Geoid.Header.Rows = 2;
  Geoid.Header.Columns = 3;
  Geoid.ResizeNodes(5);
  EXPECT_FALSE(SaveGeoidGrid(Geoid, (Folder / "g.dat").string()));
  Geoid.Header.Rows = -2;
  Geoid.Header.Columns = -3;
  Geoid.ResizeNodes(6);
  EXPECT_FALSE(SaveGeoidGrid(Geoid, (Folder / "g.dat").string()));
  TShiftGrid Shift;
  Shift.Header.Rows = 1;
  Shift.Header.Columns = 1;
  Shift.Nodes.resize(1);
  EXPECT_FALSE(SaveShiftGrid(Shift, (Folder / "no-such-folder" / "s.dat").string()));
  EXPECT_FALSE(std::filesystem::exists(Folder / "g.dat"));
}

TGridHeader Header(double OriginX, double OriginY, std::int32_t Columns, std::int32_t Rows) {
  TGridHeader H;
  H.OriginX = OriginX;
  H.OriginY = OriginY;
  H.Columns = Columns;
  H.Rows = Rows;
  return H;
}

TEST(LocateCellTest, FollowsTheTruncationRulesAndRefusesUnsafeInput) {
  // Grid of 4 columns x 3 rows from (1000, 2000): columns lines at x = 1000,
  // 2000, 3000, 4000; row lines at y = 2000, 3000, 4000.
  const TGridHeader Grid = Header(1000.0, 2000.0, 4, 3);
  const TGridHeader OneColumn = Header(1000.0, 2000.0, 1, 3);
  const TGridHeader OneRow = Header(1000.0, 2000.0, 4, 1);
  const TGridHeader Empty;
  struct TCase {
    const char* Name;
    TGridHeader H;
    double X, Y;
    bool Found;
    std::int32_t Column0, Row0;
    double FractionX, FractionY;  // exact expectations (binary fractions)
  };
  const std::vector<TCase> Cases = {
      {"on an inner node", Grid, 3000.0, 3000.0, true, 2, 1, 0.0, 0.0},
      {"on the origin", Grid, 1000.0, 2000.0, true, 0, 0, 0.0, 0.0},
      {"inside a cell", Grid, 2250.0, 3750.0, true, 1, 1, 0.25, 0.75},
      {"less than a spacing west", Grid, 250.0, 2500.0, true, 0, 0, -0.75, 0.5},
      {"less than a spacing south", Grid, 1500.0, 1250.0, true, 0, 0, 0.5, -0.75},
      {"a full spacing west", Grid, 0.0, 2500.0, false, 0, 0, 0, 0},
      {"a full spacing south", Grid, 1500.0, 1000.0, false, 0, 0, 0, 0},
      {"just before the last column line", Grid, 3999.75, 2500.0, true, 2, 0, 0.99975, 0.5},
      {"on the last column line", Grid, 4000.0, 2500.0, false, 0, 0, 0, 0},
      {"on the last row line", Grid, 1500.0, 4000.0, false, 0, 0, 0, 0},
      {"one column: on its node", OneColumn, 1000.0, 2500.0, false, 0, 0, 0, 0},
      {"one column: just west of it", OneColumn, 999.0, 2500.0, false, 0, 0, 0, 0},
      {"one row", OneRow, 1500.0, 2000.0, false, 0, 0, 0, 0},
      {"empty grid", Empty, 0.0, 0.0, false, 0, 0, 0, 0},
      {"NaN easting", Grid, NaN, 2500.0, false, 0, 0, 0, 0},
      {"NaN northing", Grid, 1500.0, NaN, false, 0, 0, 0, 0},
      {"infinite easting", Grid, Infinity, 2500.0, false, 0, 0, 0, 0},
      {"huge easting (beyond int32)", Grid, 1e300, 2500.0, false, 0, 0, 0, 0},
      {"huge negative northing", Grid, 1500.0, -1e300, false, 0, 0, 0, 0},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TGridCell Cell;
    ASSERT_EQ(LocateCell(C.H, C.X, C.Y, GridSpacing, Cell), C.Found);
    if (!C.Found) continue;
    EXPECT_EQ(Cell.Column0, C.Column0);
    EXPECT_EQ(Cell.Row0, C.Row0);
    EXPECT_EQ(Cell.Column1, C.Column0 + 1);
    EXPECT_EQ(Cell.Row1, C.Row0 + 1);
    EXPECT_NEAR(Cell.FractionX, C.FractionX, 1e-12);
    EXPECT_NEAR(Cell.FractionY, C.FractionY, 1e-12);
    EXPECT_EQ(Cell.ComplementX, 1.0 - Cell.FractionX);
    EXPECT_EQ(Cell.ComplementY, 1.0 - Cell.FractionY);
    EXPECT_LT(Cell.Column1, C.H.Columns);
    EXPECT_LT(Cell.Row1, C.H.Rows);
  }
  TGridCell Cell;
  EXPECT_FALSE(LocateCell(Grid, 1500.0, 2500.0, 0.0, Cell));  // no spacing
  EXPECT_FALSE(LocateCell(Grid, 1500.0, 2500.0, NaN, Cell));
}

// A 2 x 2 geoid grid from (0, 0) with the given node separations and codes in
// the order SW, SE, NW, NE (node index order).
TGeoidGrid GeoidGrid2x2(const float (&Separations)[4], const std::uint8_t (&Codes)[4]) {
  TGeoidGrid Grid;
  Grid.Header = Header(0.0, 0.0, 2, 2);
  for (int I = 0; I < 4; ++I) Grid.AddNode({Separations[I], Codes[I]});
  return Grid;
}

TGridCell CellAt(const TGridHeader& H, double X, double Y) {
  TGridCell Cell;
  EXPECT_TRUE(LocateCell(H, X, Y, GridSpacing, Cell));
  return Cell;
}

TEST(CellDatumTest, OutsideWhenAnyNodeIsZeroElseCommonOrNearestCode) {
  const float Flat[4] = {50.0f, 50.0f, 50.0f, 50.0f};
  struct TCase {
    const char* Name;
    std::uint8_t Codes[4];  // SW, SE, NW, NE
    double X, Y;
    TVerticalDatumCode Expected;
  };
  const std::vector<TCase> Cases = {
      {"all the same", {vdLerwick, vdLerwick, vdLerwick, vdLerwick}, 900.0, 900.0, vdLerwick},
      {"mixed, nearest south-west", {vdOrdnanceDatumNewlyn, vdOffshore, vdStMarys, vdOutside}, 499.0, 499.0,
       vdOrdnanceDatumNewlyn},
      {"mixed, nearest south-east", {vdOrdnanceDatumNewlyn, vdOffshore, vdStMarys, vdOutside}, 500.0, 100.0,
       vdOffshore},
      {"mixed, nearest north-west", {vdOrdnanceDatumNewlyn, vdOffshore, vdStMarys, vdOutside}, 100.0, 500.0,
       vdStMarys},
      {"mixed, nearest north-east", {vdOrdnanceDatumNewlyn, vdOffshore, vdStMarys, vdOutside}, 750.0, 750.0,
       vdOutside},
      {"one zero node, far from it", {vdOrdnanceDatumNewlyn, vdOrdnanceDatumNewlyn, vdOrdnanceDatumNewlyn, vdNone},
       10.0, 10.0, vdNone},
      {"code beyond the datum table", {vdBelfast, vdBelfast, 200, vdBelfast}, 10.0, 10.0, vdNone},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TGeoidGrid Grid = GeoidGrid2x2(Flat, C.Codes);
    EXPECT_EQ(CellDatum(Grid, CellAt(Grid.Header, C.X, C.Y)), C.Expected);
  }
  // A cell that does not lie in the grid (found on another header) is outside.
  const TGeoidGrid Grid = GeoidGrid2x2(Flat, {vdBelfast, vdBelfast, vdBelfast, vdBelfast});
  EXPECT_EQ(CellDatum(Grid, CellAt(Header(0.0, 0.0, 5, 5), 3500.0, 500.0)), vdNone);
  EXPECT_EQ(CellDatum(TGeoidGrid{}, CellAt(Grid.Header, 500.0, 500.0)), vdNone);
}

TEST(InterpolationTest, BilinearWeightsInTheFixedOrder) {
  // SW 1, SE 2, NW 3, NE 4 at fractions x 0.25, y 0.5:
  // 0.5 x 0.75 x 1 + 0.5 x 0.25 x 2 + 0.5 x 0.25 x 4 + 0.5 x 0.75 x 3 = 2.25.
  const TGeoidGrid Geoid = GeoidGrid2x2({1.0f, 2.0f, 3.0f, 4.0f}, {1, 1, 1, 1});
  EXPECT_EQ(InterpolateGeoid(Geoid, CellAt(Geoid.Header, 250.0, 500.0)), 2.25);
  // On a node the node's float32 value comes back exactly, widened.
  const TGeoidGrid Tenths = GeoidGrid2x2({0.1f, 0.2f, 0.3f, 0.4f}, {1, 1, 1, 1});
  EXPECT_EQ(InterpolateGeoid(Tenths, CellAt(Tenths.Header, 0.0, 0.0)), static_cast<double>(0.1f));

  TShiftGrid Shift;
  Shift.Header = Header(0.0, 0.0, 2, 2);
  Shift.Nodes = {{1.0f, -10.0f}, {2.0f, -20.0f}, {3.0f, -30.0f}, {4.0f, -40.0f}};
  const T2DCoordinates S = InterpolateShift(Shift, CellAt(Shift.Header, 250.0, 500.0));
  EXPECT_EQ(S.X, 2.25);
  EXPECT_EQ(S.Y, -22.5);
}

TEST(InterpolationTest, SumsInExtendedPrecisionAndRoundsOnce) {
  if constexpr (std::numeric_limits<long double>::digits <= std::numeric_limits<double>::digits) {
    GTEST_SKIP() << "long double is no wider than double here";
  } else {
    // At the cell centre each weight is 1/4: products 2^58, 1/4, 0, -2^58.
    // Summed in double the 1/4 is lost against 2^58 (result 0); with a 64-bit
    // mantissa it survives and the result is exactly 0.25.
    const float Big = 0x1p60f;
    const TGeoidGrid Geoid = GeoidGrid2x2({Big, 1.0f, 0.0f, -Big}, {1, 1, 1, 1});
    EXPECT_EQ(InterpolateGeoid(Geoid, CellAt(Geoid.Header, 500.0, 500.0)), 0.25);
  }
}

TEST(InterpolationTest, CellOutsideTheGridGivesNoValue) {
  // The British grids use the shift grid's cell in the geoid grid; a geoid
  // grid that never loaded must not be read out of bounds.
  const TGridCell Cell = CellAt(Header(0.0, 0.0, 701, 1251), 530500.0, 180500.0);
  EXPECT_TRUE(std::isnan(InterpolateGeoid(TGeoidGrid{}, Cell)));
  const T2DCoordinates S = InterpolateShift(TShiftGrid{}, Cell);
  EXPECT_TRUE(std::isnan(S.X));
  EXPECT_TRUE(std::isnan(S.Y));
  const TGeoidNode Node = GeoidNode(TGeoidGrid{}, 530, 180);
  EXPECT_EQ(Node.DatumCode, vdNone);
  EXPECT_EQ(Node.Separation, 0.0f);
  const TGeoidGrid Grid = GeoidGrid2x2({1.0f, 2.0f, 3.0f, 4.0f}, {1, 1, 1, 1});
  EXPECT_EQ(GeoidNode(Grid, -1, 0).DatumCode, vdNone);
  EXPECT_EQ(GeoidNode(Grid, 0, 2).DatumCode, vdNone);
}

TEST(ProgramDirectoryTest, IsTheRealFolderOfTheRunningExecutable) {
  const std::string Saved = ProgramDirectory();
  InitializeGridUnit();
  const std::string Directory = ProgramDirectory();
  ASSERT_FALSE(Directory.empty());
  EXPECT_EQ(Directory.back(), '/');
  EXPECT_EQ(std::filesystem::path(Directory), std::filesystem::canonical("/proc/self/exe").parent_path() / "");
  SetProgramDirectory("/opt/veltrana");
  EXPECT_EQ(ProgramDirectory(), "/opt/veltrana/");
  FinalizeGridUnit();
  EXPECT_TRUE(ProgramDirectory().empty());
  if (!Saved.empty()) SetProgramDirectory(Saved);
}

}  // namespace
}  // namespace veltrana
