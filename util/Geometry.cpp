#include "util/Geometry.h"

#include <algorithm>
#include <cmath>

namespace util {

void ProportionalSize(TPoint picture, TPoint box, TPoint& result) {
  const double widthRatio = picture.X == 0 ? 0.0 : static_cast<double>(box.X) / picture.X * 100.0;
  const double heightRatio = picture.Y == 0 ? 0.0 : static_cast<double>(box.Y) / picture.Y * 100.0;
  const double percentage = std::trunc(std::min(widthRatio, heightRatio));
  result.X = static_cast<int>(std::trunc(picture.X / 100.0 * percentage));
  result.Y = static_cast<int>(std::trunc(picture.Y / 100.0 * percentage));
}

}  // namespace util
