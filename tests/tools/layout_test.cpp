// The map layout from distances alone (classical multidimensional scaling).
#include "tools/plot/layout.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/test_support.h"

namespace {

// Stress of a layout against a matrix: the root of the summed squared
// differences of the pairwise distances over the summed squared distances.
double stress(const std::vector<NodePoint>& points, const DistanceMatrix& matrix) {
  double off = 0.0, total = 0.0;
  for (int i = 0; i < matrix.rows; ++i)
    for (int j = 0; j < matrix.rows; ++j) {
      const double laid = std::hypot(points[static_cast<std::size_t>(i)].x - points[static_cast<std::size_t>(j)].x,
                                     points[static_cast<std::size_t>(i)].y - points[static_cast<std::size_t>(j)].y);
      const double given = matrix.at(i, j);
      off += (laid - given) * (laid - given);
      total += given * given;
    }
  return std::sqrt(off / total);
}

TEST(DistanceLayout, EuclideanDistancesComeBackUpToRotationAndReflection) {
  for (const unsigned seed : {1u, 2u, 3u}) {
    // Points on a 100 x 100 grid and their Euclidean distances, as floats.
    const auto instance = testing_support::random_instance(50, seed, 30, false);
    const std::vector<NodePoint> points = distance_layout(instance.matrix);
    ASSERT_EQ(points.size(), 51u);
    EXPECT_LT(stress(points, instance.matrix), 1e-6) << seed;
  }
  // Asymmetric distances have no exact plane layout, but still a finite one.
  const auto asymmetric = testing_support::random_instance(50, 4, 30, true);
  for (const NodePoint& p : distance_layout(asymmetric.matrix)) EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
}

}  // namespace
