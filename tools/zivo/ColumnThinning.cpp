#include "ColumnThinning.h"

#include <algorithm>

namespace {

// The points of one column of one unbroken stretch.
class CColumn {
 public:
  void Add(std::size_t index) {
    if (mCount++ == 0) {
      mFirst = mLow = mHigh = index;
    }
    mLast = index;
  }
  void Track(std::size_t index, double value, const std::vector<ChartPoint>& points) {
    if (value < *points[mLow].value) {
      mLow = index;
    }
    if (value > *points[mHigh].value) {
      mHigh = index;
    }
  }
  void Flush(const std::vector<ChartPoint>& points, std::vector<ChartPoint>& out) {
    if (mCount == 0) {
      return;
    }
    std::size_t kept[] = {mFirst, mLow, mHigh, mLast};
    std::sort(std::begin(kept), std::end(kept));
    const std::size_t* end = std::unique(std::begin(kept), std::end(kept));
    for (const std::size_t* i = kept; i != end; ++i) {
      out.push_back(points[*i]);
    }
    mCount = 0;
  }

 private:
  std::size_t mCount = 0;
  std::size_t mFirst = 0, mLow = 0, mHigh = 0, mLast = 0;
};

}  // namespace

std::vector<ChartPoint> ThinPerColumn(const std::vector<ChartPoint>& points, double t0, double t1,
                                      std::size_t columns) {
  std::vector<ChartPoint> out;
  if (columns == 0 || !(t1 > t0)) {
    return points;
  }
  const double scale = static_cast<double>(columns) / (t1 - t0);
  CColumn column;
  long current = -1;
  bool inGap = false;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const ChartPoint& p = points[i];
    if (!p.value) {
      column.Flush(points, out);
      current = -1;
      if (!inGap) {
        out.push_back(p);
      }
      inGap = true;
      continue;
    }
    inGap = false;
    const long at = static_cast<long>((p.t - t0) * scale);
    if (at != current) {
      column.Flush(points, out);
      current = at;
    }
    column.Add(i);
    column.Track(i, *p.value, points);
  }
  column.Flush(points, out);
  return out;
}
