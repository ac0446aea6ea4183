// The tabu list kept together with a count of each position pair it holds,
// so that whether a pair is tabu is a constant-time look-up. The list keeps
// the order of the moves; the counts follow every append and removal.
#pragma once

#include <vector>

#include "search/tabu_list.h"

struct TabuMemory {
  TabuList list;
  int length = 0;               // tabu_length(list)
  int positions = 0;            // route length: pairs are positions 0..positions-1
  std::vector<int> pair_count;  // moves held per unordered pair {i, j}
};

// An empty memory for Routes of route_length positions; false when the
// counts' storage cannot be had.
[[nodiscard]] bool memory_prepare(TabuMemory& memory, int route_length);

// Appends the move (no1, no2) as a new node; false (and nothing appended)
// when the node's memory cannot be had.
[[nodiscard]] bool memory_append(TabuMemory& memory, int no1, int no2);

// Removes the oldest move; nothing when empty.
void memory_remove_oldest(TabuMemory& memory);

// Removes moves from the oldest on until at most one is left.
void memory_trim(TabuMemory& memory);

// True when the list holds (i, j) or (j, i).
inline bool memory_is_tabu(const TabuMemory& memory, int i, int j) {
  const int low = i < j ? i : j;
  const int high = i < j ? j : i;
  return memory.pair_count[static_cast<std::size_t>(low) * static_cast<std::size_t>(memory.positions) +
                           static_cast<std::size_t>(high)] > 0;
}
