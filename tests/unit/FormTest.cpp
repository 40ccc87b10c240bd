// The declared window's rule for placing it in pixels, which both backends follow.
#include <gtest/gtest.h>

#include "platform/Form.h"

namespace {

using platform::Geometry;
using platform::PixelRect;
using platform::TwipsToPixels;

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
