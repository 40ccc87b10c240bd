#include "platform/Form.h"

#include <cmath>

namespace platform {
namespace {

constexpr double kTwipsPerInch = 1440.0;

}  // namespace

int TwipsToPixels(int twips, double dotsPerInch) {
  return static_cast<int>(std::lround(twips * dotsPerInch / kTwipsPerInch));
}

PixelRect TwipsToPixels(const Geometry& twips, double dotsPerInchX, double dotsPerInchY) {
  const int left = TwipsToPixels(twips.left, dotsPerInchX);
  const int top = TwipsToPixels(twips.top, dotsPerInchY);
  return {left, top, TwipsToPixels(twips.left + twips.width, dotsPerInchX) - left,
          TwipsToPixels(twips.top + twips.height, dotsPerInchY) - top};
}

Geometry PixelsToTwips(const PixelRect& pixels, double dotsPerInchX, double dotsPerInchY) {
  const auto twips = [](int count, double dotsPerInch) {
    return static_cast<int>(std::lround(count * kTwipsPerInch / dotsPerInch));
  };
  return {twips(pixels.left, dotsPerInchX), twips(pixels.top, dotsPerInchY),
          twips(pixels.width, dotsPerInchX), twips(pixels.height, dotsPerInchY)};
}

}  // namespace platform
