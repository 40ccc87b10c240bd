#include <gtest/gtest.h>

#include "platform/Form.h"

namespace {

using platform::Geometry;
using platform::PixelRect;
using platform::TwipsToPixels;

TEST(TwipsToPixels, FifteenTwipsMakeAPixelAt96Dpi) {
  EXPECT_EQ(TwipsToPixels({600, 120, 1815, 255}, 96, 96), (PixelRect{40, 8, 121, 17}));
  EXPECT_EQ(TwipsToPixels({2640, 120, 855, 255}, 96, 96), (PixelRect{176, 8, 57, 17}));
  EXPECT_EQ(TwipsToPixels({0, 0, 3630, 450}, 96, 96), (PixelRect{0, 0, 242, 30}));
}

// What touches in twips touches in pixels, and a line on a window's last twips lies on its
// last pixels, at any resolution: sizes converted on their own would leave gaps.
TEST(TwipsToPixels, EdgesThatMeetInTwipsMeetInPixels) {
  for (const double dpi : {96.0, 120.0, 144.0, 107.0, 168.5}) {
    SCOPED_TRACE(dpi);
    const PixelRect left = TwipsToPixels(Geometry{7, 7, 22, 22}, dpi, dpi);
    const PixelRect right = TwipsToPixels(Geometry{29, 7, 22, 22}, dpi, dpi);
    EXPECT_EQ(left.left + left.width, right.left);
    const PixelRect panel = TwipsToPixels(Geometry{0, 0, 1575, 495}, dpi, dpi);
    const PixelRect bottom = TwipsToPixels(Geometry{0, 480, 1575, 15}, dpi, dpi);
    const PixelRect side = TwipsToPixels(Geometry{1560, 0, 15, 495}, dpi, dpi);
    EXPECT_EQ(bottom.top + bottom.height, panel.height);
    EXPECT_EQ(side.left + side.width, panel.width);
    EXPECT_GE(bottom.height, 1);
  }
}

}  // namespace
