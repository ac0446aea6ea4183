// The adaptive weight of a unit of overload: it starts at the instance's
// scale and is raised or lowered to keep the share of overloaded solutions
// the search visits near a target, so that the search stays near the
// boundary between loads that fit and loads that do not.
#pragma once

#include "model/instance.h"

struct AdaptivePenalty {
  double weight = 1.0;     // the objective's cost of one unit of overload now
  double lowest = 0.0;     // the weight is kept within lowest..highest
  double highest = 0.0;
  double target = 0.25;    // the share of overloaded solutions aimed at
  int visited = 0;         // solutions visited in the current window
  int overloaded = 0;      // of them overloaded
  // The weight is looked at again after this many visits.
  static constexpr int kWindow = 100;
};

// Starts at the largest distance of the matrix over the largest demand
// (1 when either is 0), kept within 1/1000 and 1000 times that, aiming at
// `target` overloaded solutions.
AdaptivePenalty adaptive_penalty_start(const Instance& instance, double target);

// Counts a visited solution. At the end of each window of kWindow visits the
// weight is multiplied by 1.25 when the share of overloaded ones was above
// target + 0.05, divided by 1.25 when below target - 0.05, and the window
// starts again. True when the weight changed: objectives formed with the old
// one must be worked out again.
bool penalty_visit(AdaptivePenalty& penalty, bool overloaded);
