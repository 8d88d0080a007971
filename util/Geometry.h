#pragma once

namespace util {

struct TPoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TPoint&) const = default;
};

// Fits a picture into a box keeping its aspect ratio; small pictures are enlarged.
void ProportionalSize(TPoint picture, TPoint box, TPoint& result);

}  // namespace util
