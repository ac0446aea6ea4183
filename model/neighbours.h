// Each customer's nearest customers: the candidate lists of a granular
// neighbourhood, where a move is looked at only when it puts a customer
// next to one of its K nearest. Built once per instance in O(n K) memory:
// from the points, through buckets of nearby customers, when the distances
// are the points' EUC_2D distances (about O(n K) time on spread points),
// from the matrix in O(n^2 log K) time otherwise.
#pragma once

#include <span>
#include <vector>

#include "model/instance.h"

struct NeighbourLists {
  int per_customer = 0;        // K: the length of every list
  std::vector<int> customers;  // customer c's list at (c - 1) * K, nearest first

  std::span<const int> of(int customer) const {
    return std::span<const int>(customers).subspan(static_cast<std::size_t>(customer - 1) * per_customer,
                                                   static_cast<std::size_t>(per_customer));
  }
};

// The K nearest other customers of every customer 1..n (K is clamped to
// 0..n-1), by the instance's distance matrix. On an asymmetric matrix a
// customer is as near as the shorter of the two ways between them. Ties go
// to the lower customer number, so the lists are the same on any platform,
// and the same whether built from the points or from the matrix.
NeighbourLists nearest_neighbours(const Instance& instance, int k);
