#include "search/tabu_memory.h"

#include <cassert>
#include <utility>

#include "model/instance.h"

namespace {

using tabu_memory_detail::home;
using tabu_memory_detail::key;

constexpr std::size_t kFirstSlots = 16;

std::size_t mask_of(const TabuMemory& memory) { return memory.held.size() - 1; }

// The slot holding `wanted`, or the free slot where it belongs.
std::size_t slot_of(const TabuMemory& memory, std::uint64_t wanted) {
  const std::size_t mask = mask_of(memory);
  std::size_t slot = home(wanted, mask);
  while (memory.held[slot].key != 0 && memory.held[slot].key != wanted) slot = (slot + 1) & mask;
  return slot;
}

// Twice the slots, every held pair placed anew; false when they cannot be had.
bool grow(TabuMemory& memory) {
  std::vector<TabuMemory::Held> larger;
  if (!with_working_memory([&] { larger.assign(memory.held.size() * 2, TabuMemory::Held{}); })) return false;
  std::swap(larger, memory.held);
  for (const TabuMemory::Held& held : larger)
    if (held.key != 0) memory.held[slot_of(memory, held.key)] = held;
  return true;
}

// Frees `slot`, moving back each later pair of the run that the free slot
// would otherwise cut off from its own slot.
void free_slot(TabuMemory& memory, std::size_t slot) {
  const std::size_t mask = mask_of(memory);
  std::size_t hole = slot;
  for (std::size_t next = (hole + 1) & mask; memory.held[next].key != 0; next = (next + 1) & mask) {
    const std::size_t own = home(memory.held[next].key, mask);
    if (((next - own) & mask) >= ((next - hole) & mask)) {
      memory.held[hole] = memory.held[next];
      hole = next;
    }
  }
  memory.held[hole] = TabuMemory::Held{};
  --memory.distinct;
}

}  // namespace

bool memory_prepare(TabuMemory& memory, int route_length) {
  while (memory.list.head) tabu_remove(memory.list.head.get(), memory.list);
  memory.length = 0;
  memory.positions = route_length;
  memory.distinct = 0;
  return with_working_memory([&] { memory.held.assign(kFirstSlots, TabuMemory::Held{}); });
}

bool memory_append(TabuMemory& memory, const MoveValue& swap) {
  assert(swap.kind == MoveKind::position_swap);
  const int no1 = swap.first;
  const int no2 = swap.second;
  if (static_cast<std::size_t>(memory.distinct + 1) * 2 > memory.held.size() && !grow(memory)) return false;
  std::unique_ptr<TabuMove> move = new_tabu_move(no1, no2);
  if (!move) return false;
  tabu_append(std::move(move), memory.list);
  const std::uint64_t wanted = key(memory, no1, no2);
  TabuMemory::Held& held = memory.held[slot_of(memory, wanted)];
  if (held.key == 0) {
    held.key = wanted;
    ++memory.distinct;
  }
  ++held.count;
  ++memory.length;
  return true;
}

void memory_remove_oldest(TabuMemory& memory) {
  TabuMove* oldest = memory.list.head.get();
  if (oldest == nullptr) return;
  const std::size_t slot = slot_of(memory, key(memory, oldest->no1, oldest->no2));
  if (--memory.held[slot].count == 0) free_slot(memory, slot);
  --memory.length;
  tabu_remove(oldest, memory.list);
}

void memory_trim(TabuMemory& memory) {
  while (memory.length > 1) memory_remove_oldest(memory);
}
