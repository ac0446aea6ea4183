#include "search/tabu_memory.h"

#include <utility>

#include "model/instance.h"

namespace {
int& count_of(TabuMemory& memory, int i, int j) {
  const int low = i < j ? i : j;
  const int high = i < j ? j : i;
  return memory.pair_count[static_cast<std::size_t>(low) * static_cast<std::size_t>(memory.positions) +
                           static_cast<std::size_t>(high)];
}
}  // namespace

bool memory_prepare(TabuMemory& memory, int route_length) {
  while (memory.list.head) tabu_remove(memory.list.head.get(), memory.list);
  memory.length = 0;
  memory.positions = route_length;
  return with_working_memory([&] {
    memory.pair_count.assign(static_cast<std::size_t>(route_length) * static_cast<std::size_t>(route_length), 0);
  });
}

bool memory_append(TabuMemory& memory, int no1, int no2) {
  std::unique_ptr<TabuMove> move = new_tabu_move(no1, no2);
  if (!move) return false;
  tabu_append(std::move(move), memory.list);
  ++count_of(memory, no1, no2);
  ++memory.length;
  return true;
}

void memory_remove_oldest(TabuMemory& memory) {
  TabuMove* oldest = memory.list.head.get();
  if (oldest == nullptr) return;
  --count_of(memory, oldest->no1, oldest->no2);
  --memory.length;
  tabu_remove(oldest, memory.list);
}

void memory_trim(TabuMemory& memory) {
  while (memory.length > 1) memory_remove_oldest(memory);
}
