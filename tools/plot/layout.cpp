#include "tools/plot/layout.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>

std::vector<NodePoint> distance_layout(const DistanceMatrix& matrix) {
  const int n = matrix.rows;
  Eigen::MatrixXd squared(n, n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const double there = static_cast<double>(matrix.at(i, j));
      const double back = static_cast<double>(matrix.at(j, i));
      const double d = i == j ? 0.0 : 0.5 * (there + back);
      squared(i, j) = d * d;
    }
  // B = -1/2 J D2 J with J = I - 11'/n, done by subtracting the row, column
  // and overall means.
  const Eigen::VectorXd row_mean = squared.rowwise().mean();
  const double mean = row_mean.mean();
  Eigen::MatrixXd centred(n, n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) centred(i, j) = -0.5 * (squared(i, j) - row_mean(i) - row_mean(j) + mean);

  const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(centred);
  std::vector<NodePoint> points(static_cast<std::size_t>(n));
  if (solver.info() != Eigen::Success || n == 0) return points;
  // Eigenvalues come in increasing order: the leading two are the last.
  for (int axis = 0; axis < 2 && axis < n; ++axis) {
    const int column = n - 1 - axis;
    Eigen::VectorXd vector = solver.eigenvectors().col(column);
    if (vector.maxCoeff() < -vector.minCoeff()) vector = -vector;
    const double scale = std::sqrt(std::max(0.0, solver.eigenvalues()(column)));
    for (int i = 0; i < n; ++i) {
      NodePoint& point = points[static_cast<std::size_t>(i)];
      (axis == 0 ? point.x : point.y) = scale * vector(i);
    }
  }
  return points;
}
