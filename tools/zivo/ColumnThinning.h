// Thins a series of points for a chart that is `columns` pixels wide: of the
// points that fall in one pixel column only the first, the lowest, the
// highest and the last are kept, in time order, so peaks and dips survive
// and a week of samples draws as fast as an hour of them. A gap (a point
// without a value) is kept as one gap point: a line drawn through the result
// breaks there.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

struct ChartPoint {
  double t = 0;
  std::optional<double> value;  // none: a gap
};

// `points` in time order; times map to columns across [t0, t1].
std::vector<ChartPoint> ThinPerColumn(const std::vector<ChartPoint>& points, double t0, double t1,
                                      std::size_t columns);
