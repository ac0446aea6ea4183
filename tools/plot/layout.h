// A 2-D layout of the nodes when the instance gives no coordinates: classical
// multidimensional scaling of the distance matrix, so that the distances
// between the placed points come as close as a plane allows to the matrix.
#pragma once

#include <vector>

#include "model/instance.h"

// Places nodes 0..rows-1. The matrix is first made symmetric (the mean of
// the two directions) with a zero diagonal; the points are the two leading
// eigenvectors of the double-centred squared distances, scaled by the root
// of their eigenvalues (negative eigenvalues count as 0). The result is
// defined up to rotation and reflection; each axis is turned so that its
// coordinate of largest magnitude is positive, for the same picture on every
// run.
std::vector<NodePoint> distance_layout(const DistanceMatrix& matrix);
