// The vertical-datum table lookups.
#include <gtest/gtest.h>

#include "VerticalDatums.h"

using namespace veltrana;

TEST(VerticalDatumsTest, Lookups) {
  EXPECT_EQ(VerticalDatumAbbreviation(vdNone), "");
  EXPECT_EQ(VerticalDatumName(vdNone), "None");
  EXPECT_EQ(VerticalDatumAbbreviation(vdOrdnanceDatumNewlyn), "ODN");
  EXPECT_EQ(VerticalDatumAbbreviation(vdOffshore), "OFF");
  EXPECT_EQ(VerticalDatumName(vdOrkney), "Orkney (Newlyn)");
  EXPECT_EQ(VerticalDatumAbbreviation(17), "");
  EXPECT_EQ(VerticalDatumName(-1), "");
  EXPECT_EQ(VerticalDatumFromName("Belfast"), vdBelfast);
  EXPECT_EQ(VerticalDatumFromName("belfast"), vdNone);
  EXPECT_EQ(VerticalDatumFromName("None"), vdNone);
  EXPECT_EQ(VerticalDatumFromName("Outside Official Transformation Extent"), vdOutside);
  for (int C = 0; C < VerticalDatumCount; ++C) EXPECT_EQ(VerticalDatums[C].Code, C);
}
