// The tabu list: the short-term memory of the tabu search. A first-in,
// first-out chain of the swaps made, oldest at the head, each recorded as the
// pair of Route positions exchanged. Pairs are not kept unique.
#pragma once

#include <memory>

// One forbidden swap. Each node owns the next newer one; `older` only points back.
struct TabuMove {
  int no1 = 0;
  int no2 = 0;
  std::unique_ptr<TabuMove> newer;
  TabuMove* older = nullptr;
};

// The chain, held by its oldest node (head, which owns the whole chain) and
// its newest (tail). Releasing the list releases every node left in it.
struct TabuList {
  std::unique_ptr<TabuMove> head;
  TabuMove* tail = nullptr;

  TabuList() = default;
  TabuList(const TabuList&) = delete;
  TabuList& operator=(const TabuList&) = delete;
  ~TabuList();
};

// A new node holding (no1, no2), not yet linked; null when its memory
// cannot be had.
std::unique_ptr<TabuMove> new_tabu_move(int no1, int no2);

// Links `move` after the newest node.
void tabu_append(std::unique_ptr<TabuMove> move, TabuList& list);

// Unlinks `move` (which must belong to the list) and releases it; null does nothing.
void tabu_remove(TabuMove* move, TabuList& list);

// True when some node holds exactly (no1, no2), in that order.
bool tabu_contains(int no1, int no2, const TabuList& list);

// The number of nodes.
int tabu_length(const TabuList& list);
