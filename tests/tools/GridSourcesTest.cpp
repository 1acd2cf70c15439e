#include "GridSources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ToolFixtures.h"

namespace veltrana::gridtool {
namespace {

using test::ReadFixture;

constexpr TGBLayout SmallLayout{3, 2};
constexpr double Float32Tolerance = 1e-5;  // metres, float32 storage of values near 100 m

TEST(GBModelTest, ReadsNodesInAnyOrderIntoBothGrids) {
  // gb_model_3x2.csv: CR LF line ends, Point_IDs 3 and 5 swapped in the file.
  TShiftGrid Shift;
  TGeoidGrid Geoid;
  const TParseStatus S = ParseGBModel(ReadFixture("gb_model_3x2.csv"), "gb.csv", SmallLayout, Shift, Geoid);
  ASSERT_TRUE(S.Ok) << S.Message;
  EXPECT_EQ(Shift.Header.Columns, 3);
  EXPECT_EQ(Shift.Header.Rows, 2);
  EXPECT_EQ(Geoid.Header.Columns, 3);
  EXPECT_EQ(Shift.Header.OriginX, 0.0);
  ASSERT_EQ(Shift.Nodes.size(), 6u);
  // Line "3,2000,0,91.000,-82.520,54.127,1" is node (2, 0).
  EXPECT_NEAR(Shift.Nodes[2].EastShift, 91.000, Float32Tolerance);
  EXPECT_NEAR(Shift.Nodes[2].NorthShift, -82.520, Float32Tolerance);
  EXPECT_NEAR(Geoid.Separations[2], 54.127, Float32Tolerance);
  EXPECT_EQ(Geoid.DatumCodes[2], vdOrdnanceDatumNewlyn);
  // Line "5,1000,1000,91.250,-83.020,53.127,16" is node (1, 1).
  EXPECT_NEAR(Shift.Nodes[4].EastShift, 91.250, Float32Tolerance);
  EXPECT_EQ(GeoidNode(Geoid, 1, 1).DatumCode, vdOutside);
  EXPECT_EQ(GeoidNode(Geoid, 2, 1).DatumCode, vdNone);
}

TEST(GBModelTest, RefusesInconsistentLinesNamingFileAndLine) {
  const std::string Header(GBHeaderLine);
  const std::string Good = "1,0,0,1.0,2.0,3.0,1\n2,1000,0,1,2,3,1\n3,2000,0,1,2,3,1\n"
                           "4,0,1000,1,2,3,1\n5,1000,1000,1,2,3,1\n";
  const std::string Last = "6,2000,1000,1,2,3,1\n";
  struct TCase {
    const char* Name;
    std::string Text;
    std::string Expected;  // part of the message
  };
  const std::vector<TCase> Cases = {
      {"no header", Good + Last, "m.csv:1: expected the header line"},
      {"empty file", "", "m.csv:1: expected the header line"},
      {"Point_ID at the wrong place", Header + "\n" + "1,1000,0,1,2,3,1\n", "m.csv:2: Point_ID 1 belongs to easting 0"},
      {"Point_ID beyond the layout", Header + "\n" + Good + "7,0,2000,1,2,3,1\n", "m.csv:7: Point_ID 7 outside 1 to 6"},
      {"repeated node", Header + "\n" + Good + "5,1000,1000,1,2,3,1\n", "m.csv:7: Point_ID 5 repeats line 6"},
      {"missing node", Header + "\n" + Good, "m.csv:6: file ends without Point_ID 6"},
      {"not a number", Header + "\n" + "1,0,0,1.0x,2,3,1\n", "m.csv:2: bad ETRS89_OSGB36_EShift \"1.0x\""},
      {"not finite", Header + "\n" + "1,0,0,nan,2,3,1\n", "m.csv:2: bad ETRS89_OSGB36_EShift \"nan\""},
      {"too few fields", Header + "\n" + "1,0,0,1,2,3\n", "m.csv:2: expected 7 comma-separated fields, found 6"},
      {"fractional Point_ID", Header + "\n" + "1.5,0,0,1,2,3,1\n", "m.csv:2: bad Point_ID \"1.5\" (not an integer)"},
      {"flag out of the table", Header + "\n" + "1,0,0,1,2,3,17\n", "m.csv:2: Height_Datum_Flag \"17\" is not"},
      {"shift beyond float32", Header + "\n" + "1,0,0,1e40,2,3,1\n", "m.csv:2: ETRS89_OSGB36_EShift \"1e40\" is out"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TShiftGrid Shift;
    TGeoidGrid Geoid;
    const TParseStatus S = ParseGBModel(C.Text, "m.csv", SmallLayout, Shift, Geoid);
    EXPECT_FALSE(S.Ok);
    EXPECT_NE(S.Message.find(C.Expected), std::string::npos) << S.Message;
    EXPECT_TRUE(Shift.Nodes.empty());  // untouched on refusal
    EXPECT_EQ(Geoid.NodeCount(), 0u);
  }
  TShiftGrid Shift;
  TGeoidGrid Geoid;
  EXPECT_TRUE(ParseGBModel(Header + "\r\n" + Good + Last, "m.csv", SmallLayout, Shift, Geoid).Ok);
}

TEST(GraticuleTest, ReadsLatitudeLinesFromTheNorthIntoRowsFromTheSouth) {
  // graticule_4x7.gri: 53.4 to 53.7 N by 0.1, 8.1 to 7.8 W by 0.05; value
  // 50 + 10 (lat - 53.4) + 3 (lon + 8.1); latitude lines split by blank lines.
  TGraticule G;
  const TParseStatus S = ParseGraticule(ReadFixture("graticule_4x7.gri"), "g.gri", G);
  ASSERT_TRUE(S.Ok) << S.Message;
  EXPECT_EQ(G.Rows, 4);
  EXPECT_EQ(G.Columns, 7);
  EXPECT_NEAR(G.LatitudeStep, 0.1, 1e-12);  // (53.7 - 53.4) / 3
  EXPECT_NEAR(G.LongitudeStep, 0.05, 1e-12);
  EXPECT_EQ(G.LatitudeMin, 53.4);
  EXPECT_EQ(G.LongitudeMin, -8.1);
  ASSERT_EQ(G.Values.size(), 28u);
  EXPECT_EQ(G.Values[0], 50.000);       // south-west: last latitude line, first value
  EXPECT_EQ(G.Values[6], 50.900);       // south-east
  EXPECT_EQ(G.Values[3 * 7], 53.000);   // north-west: first value of the file
  EXPECT_EQ(G.Values[1 * 7 + 2], 51.300);  // 53.5 N, 8.0 W
}

TEST(GraticuleTest, HeaderStepsFollowTheNodeCount) {
  // The published header: 0.013333 for 1/75 degree, 376 x 326 lines.
  TGraticule G;
  std::string Text = "51 56 -11.5 -5 0.013333 0.02\n";
  for (int I = 0; I < 376 * 326; ++I) Text += (I % 326 == 325) ? "1\n" : "1 ";
  const TParseStatus S = ParseGraticule(Text, "g.gri", G);
  ASSERT_TRUE(S.Ok) << S.Message;
  EXPECT_EQ(G.Rows, 376);
  EXPECT_EQ(G.Columns, 326);
  EXPECT_DOUBLE_EQ(G.LatitudeStep, 5.0 / 375.0);
}

TEST(GraticuleTest, RefusesMalformedFilesNamingFileAndLine) {
  const std::string Header = "53.4 53.7 -8.1 -7.8 0.1 0.05\n";
  const std::string Row = "1 2 3 4\n5 6 7\n";
  struct TCase {
    const char* Name;
    std::string Text;
    std::string Expected;
  };
  const std::vector<TCase> Cases = {
      {"empty", "", "g.gri:1: empty file"},
      {"five header values", "53.4 53.7 -8.1 -7.8 0.1\n", "g.gri:1: expected 6 header values"},
      {"bad header value", "53.4 53.7 west -7.8 0.1 0.05\n", "g.gri:1: bad lonmin \"west\""},
      {"step not dividing the extent", "53.4 53.7 -8.1 -7.8 0.07 0.05\n", "g.gri:1: latstep 0.07 does not divide"},
      {"inverted extent", "53.7 53.4 -8.1 -7.8 0.1 0.05\n", "g.gri:1: extent or latstep is not positive"},
      {"absurd node count", "0 90 -8.1 -7.8 0.000001 0.05\n", "g.gri:1: latstep 0.000001 gives"},
      {"a value missing", Header + Row + Row + "1 2 3 4\n5 6\n" + Row,
       "g.gri:8: latitude line 3 (from the north) ends"},
      {"bad value", Header + Row + "1 2 x 4\n", "g.gri:4: bad value \"x\""},
      {"latitude line short at the end", Header + Row + Row + Row + "1 2 3 4\n5 6\n",
       "g.gri:9: file ends after 27 values, expected 4 latitude lines of 7"},
      {"values after the last line", Header + Row + Row + Row + Row + "\n9\n", "g.gri:11: values after the last"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TGraticule G;
    const TParseStatus S = ParseGraticule(C.Text, "g.gri", G);
    EXPECT_FALSE(S.Ok);
    EXPECT_NE(S.Message.find(C.Expected), std::string::npos) << S.Message;
    EXPECT_TRUE(G.Values.empty());
  }
  TGraticule G;
  EXPECT_TRUE(ParseGraticule(Header + Row + Row + Row + Row, "g.gri", G).Ok);
}

TEST(GridGeoidModelTest, TakesTheLayoutFromTheFile) {
  TGeoidGrid G;
  const TParseStatus S = ParseGridGeoidModel(ReadFixture("itm_geoid_3x2.txt"), "ni.txt", vdBelfast, G);
  ASSERT_TRUE(S.Ok) << S.Message;
  EXPECT_EQ(G.Header.OriginX, 550000.0);
  EXPECT_EQ(G.Header.OriginY, 800000.0);
  EXPECT_EQ(G.Header.Columns, 3);
  EXPECT_EQ(G.Header.Rows, 2);
  // Line "2,551000,800000,56.471,14".
  EXPECT_NEAR(GeoidNode(G, 1, 0).Separation, 56.471, Float32Tolerance);
  EXPECT_EQ(GeoidNode(G, 1, 0).DatumCode, vdBelfast);
  EXPECT_EQ(GeoidNode(G, 0, 1).DatumCode, vdNone);
}

TEST(GridGeoidModelTest, RefusesLinesOffTheLayoutNamingFileAndLine) {
  const std::string Rows = "1,550000,800000,0,0\n2,551000,800000,56.1,13\n3,550000,801000,56.2,13\n"
                           "4,551000,801000,56.3,13\n";
  struct TCase {
    const char* Name;
    std::string Text;
    TVerticalDatumCode Expected;
    std::string Message;
  };
  const std::vector<TCase> Cases = {
      {"empty", "", vdNone, "r.txt:0: a grid needs at least two rows"},
      {"one row", "1,550000,800000,0,0\n2,551000,800000,56.1,13\n", vdNone, "r.txt:2: a grid needs at least two"},
      {"id out of sequence", "1,550000,800000,0,0\n3,551000,800000,56.1,13\n", vdNone,
       "r.txt:2: id 3 out of sequence, expected 2"},
      {"easting off the row", "1,550000,800000,0,0\n2,551000,800000,56.1,13\n3,550500,801000,56.2,13\n", vdNone,
       "r.txt:3: node id 3 at 550500, 801000 breaks the 1 km row-major layout (expected 550000, 801000)"},
      {"spacing not 1 km", "1,550000,800000,0,0\n2,552000,800000,56.1,13\n", vdNone,
       "r.txt:2: node id 2 at 552000, 800000 breaks"},
      {"last row short", Rows + "5,550000,802000,56.4,13\n", vdNone, "r.txt:5: last row holds 1 nodes, expected 2"},
      {"another datum's flag", Rows, vdBelfast, "r.txt:2: flag 13 where only 0 or 14 are expected"},
      {"flag beyond the table", "1,550000,800000,0,99\n", vdNone, "r.txt:1: flag \"99\" is not a vertical-datum code"},
      {"missing field", "1,550000,800000,0\n", vdNone, "r.txt:1: expected 5 comma-separated fields, found 4"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TGeoidGrid G;
    const TParseStatus S = ParseGridGeoidModel(C.Text, "r.txt", C.Expected, G);
    EXPECT_FALSE(S.Ok);
    EXPECT_NE(S.Message.find(C.Message), std::string::npos) << S.Message;
    EXPECT_EQ(G.NodeCount(), 0u);
  }
  TGeoidGrid G;
  EXPECT_TRUE(ParseGridGeoidModel(Rows, "r.txt", vdMalinHead, G).Ok);
  EXPECT_TRUE(ParseGridGeoidModel(Rows, "r.txt", vdNone, G).Ok);
}

}  // namespace
}  // namespace veltrana::gridtool
