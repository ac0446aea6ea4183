#include "search/tabu_list.h"

#include "search/tabu_memory.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<int, int>>;

// The pairs from the head (oldest) to the tail (newest). On the way it checks
// the links: the head's `older` is null, every other node points back to its
// predecessor, and the walk ends (newer == null) at the tail.
Pairs walk(const TabuList& list) {
  Pairs pairs;
  const TabuMove* previous = nullptr;
  for (const TabuMove* node = list.head.get(); node != nullptr; node = node->newer.get()) {
    EXPECT_EQ(node->older, previous) << "back link of (" << node->no1 << ", " << node->no2 << ")";
    pairs.emplace_back(node->no1, node->no2);
    previous = node;
  }
  EXPECT_EQ(list.tail, previous);
  return pairs;
}

void append(TabuList& list, int no1, int no2) { tabu_append(new_tabu_move(no1, no2), list); }

// (1, 2), (3, 4), (5, 6), oldest first.
void fill_three(TabuList& list) {
  append(list, 1, 2);
  append(list, 3, 4);
  append(list, 5, 6);
}

TEST(TabuListLinks, AppendKeepsArrivalOrderAndDuplicates) {
  const auto move = new_tabu_move(4, 11);
  EXPECT_EQ(move->no1, 4);
  EXPECT_EQ(move->no2, 11);
  EXPECT_EQ(move->newer, nullptr);
  EXPECT_EQ(move->older, nullptr);

  TabuList list;
  EXPECT_EQ(walk(list), Pairs{});
  append(list, 3, 7);
  EXPECT_EQ(list.head.get(), list.tail);
  EXPECT_EQ(walk(list), (Pairs{{3, 7}}));
  TabuMove* first = list.head.get();
  append(list, 1, 4);
  EXPECT_EQ(list.head.get(), first);
  EXPECT_EQ(walk(list), (Pairs{{3, 7}, {1, 4}}));
  append(list, 3, 7);
  EXPECT_EQ(walk(list), (Pairs{{3, 7}, {1, 4}, {3, 7}}));
  EXPECT_EQ(tabu_length(list), 3);
}

TEST(TabuListLinks, RemoveAnyMember) {
  {  // the only node; the emptied list takes nodes again
    TabuList list;
    append(list, 1, 2);
    tabu_remove(list.head.get(), list);
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.tail, nullptr);
    EXPECT_EQ(tabu_length(list), 0);
    append(list, 8, 9);
    EXPECT_EQ(walk(list), (Pairs{{8, 9}}));
  }
  {  // the head
    TabuList list;
    fill_three(list);
    tabu_remove(list.head.get(), list);
    EXPECT_EQ(walk(list), (Pairs{{3, 4}, {5, 6}}));
  }
  {  // a middle node
    TabuList list;
    fill_three(list);
    tabu_remove(list.head->newer.get(), list);
    EXPECT_EQ(walk(list), (Pairs{{1, 2}, {5, 6}}));
  }
  {  // the tail; later appends go after its older neighbour
    TabuList list;
    fill_three(list);
    tabu_remove(list.tail, list);
    EXPECT_EQ(walk(list), (Pairs{{1, 2}, {3, 4}}));
    append(list, 7, 8);
    EXPECT_EQ(walk(list), (Pairs{{1, 2}, {3, 4}, {7, 8}}));
  }
  {  // null changes nothing, empty or not
    TabuList list;
    tabu_remove(nullptr, list);
    EXPECT_EQ(walk(list), Pairs{});
    fill_three(list);
    tabu_remove(nullptr, list);
    EXPECT_EQ(walk(list), (Pairs{{1, 2}, {3, 4}, {5, 6}}));
  }
}

TEST(TabuListLinks, QueueUseDrainsFromTheHead) {
  // Append each move and drop the head once the list outgrows a tenure of 3:
  // after moves 1..5 the three newest remain; trimming leaves the newest.
  TabuList list;
  for (int move = 1; move <= 5; ++move) {
    append(list, move, move + 10);
    if (tabu_length(list) > 3) tabu_remove(list.head.get(), list);
  }
  EXPECT_EQ(walk(list), (Pairs{{3, 13}, {4, 14}, {5, 15}}));
  while (tabu_length(list) > 1) tabu_remove(list.head.get(), list);
  EXPECT_EQ(walk(list), (Pairs{{5, 15}}));
}

TEST(TabuListQueries, ContainsMatchesOrderedPairs) {
  TabuList list;
  EXPECT_FALSE(tabu_contains(3, 7, list));
  append(list, 3, 7);
  append(list, 2, 9);
  EXPECT_TRUE(tabu_contains(3, 7, list));
  EXPECT_TRUE(tabu_contains(2, 9, list));   // at the tail
  EXPECT_FALSE(tabu_contains(7, 3, list));  // the match is ordered
  EXPECT_FALSE(tabu_contains(3, 9, list));  // fields of two different nodes
  EXPECT_FALSE(tabu_contains(2, 7, list));

  // The older copy of a repeated pair goes; the newer one still forbids it.
  append(list, 3, 7);
  tabu_remove(list.head.get(), list);
  EXPECT_TRUE(tabu_contains(3, 7, list));
  tabu_remove(list.tail, list);
  EXPECT_FALSE(tabu_contains(3, 7, list));
  EXPECT_EQ(tabu_length(list), 1);
}

TEST(TabuListLifetime, LongListIsReleasedWithoutDeepRecursion) {
  // A million nodes freed one destructor inside the next would need far more
  // than the usual 8 MiB stack. Run it in a child so a crash is reported here.
  EXPECT_EXIT(
      {
        {
          TabuList list;
          for (int i = 0; i < 1'000'000; ++i) append(list, i, i + 1);
          if (tabu_length(list) != 1'000'000) std::exit(2);
        }
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

// The memory's counts against the list itself, through appends of repeated
// and reversed pairs, removals and trims, as its table grows past its first
// size and pairs leave it: a pair is tabu exactly when the list holds it in
// either order.
TEST(TabuMemoryCounts, FollowTheList) {
  constexpr int kPositions = 14;
  TabuMemory memory;
  ASSERT_TRUE(memory_prepare(memory, kPositions));
  std::mt19937 engine(5);
  const auto position = [&engine] { return 1 + static_cast<int>(engine() % (kPositions - 2)); };
  std::size_t largest = 0;
  for (int step = 0; step < 3000; ++step) {
    const unsigned action = engine() % 16;
    if (action == 0) {
      memory_trim(memory);
    } else if (action < 7) {
      memory_remove_oldest(memory);
    } else {
      ASSERT_TRUE(memory_append(memory, testing_support::position_swap(position(), position())));
    }
    largest = std::max(largest, memory.held.size());
    ASSERT_EQ(memory.length, tabu_length(memory.list));
    for (int i = 0; i < kPositions; ++i)
      for (int j = 0; j < kPositions; ++j)
        ASSERT_EQ(memory_is_tabu(memory, i, j), tabu_contains(i, j, memory.list) || tabu_contains(j, i, memory.list))
            << "step " << step << ", pair " << i << "," << j;
  }
  EXPECT_GT(largest, 16u);  // the table grew
}

}  // namespace
