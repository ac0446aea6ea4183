// The tabu list kept together with a count of each position pair it holds,
// so that whether a pair is tabu is a constant-time look-up. The list keeps
// the order of the moves; the counts follow every append and removal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/moves.h"
#include "search/tabu_list.h"

struct TabuMemory {
  TabuList list;
  int length = 0;     // tabu_length(list)
  int positions = 0;  // route length: pairs are positions 0..positions-1
  // The pairs the list holds, each with its number of moves, in a table
  // addressed by a hash of the pair and kept at most half full (the next
  // free slot on from a pair's own one holds it); key 0 marks a free slot.
  // Its size follows the list's distinct pairs, not the Route's square.
  struct Held {
    std::uint64_t key = 0;  // low * positions + high + 1
    int count = 0;
  };
  std::vector<Held> held;  // a power of two in size
  int distinct = 0;        // slots in use
};

// An empty memory for Routes of route_length positions; false when the
// counts' storage cannot be had.
[[nodiscard]] bool memory_prepare(TabuMemory& memory, int route_length);

// Appends the move, a swap of two positions (MoveKind::position_swap: its
// pair first, second), as a new node; false (and nothing appended) when the
// node's memory, or room for its count, cannot be had.
[[nodiscard]] bool memory_append(TabuMemory& memory, const MoveValue& swap);

// Removes the oldest move; nothing when empty.
void memory_remove_oldest(TabuMemory& memory);

// Removes moves from the oldest on until at most one is left.
void memory_trim(TabuMemory& memory);

namespace tabu_memory_detail {
inline std::uint64_t key(const TabuMemory& memory, int i, int j) {
  const int low = i < j ? i : j;
  const int high = i < j ? j : i;
  return static_cast<std::uint64_t>(low) * static_cast<std::uint64_t>(memory.positions) +
         static_cast<std::uint64_t>(high) + 1u;
}
// The slot a key is looked for from (Fibonacci hashing).
inline std::size_t home(std::uint64_t key, std::size_t mask) {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}
}  // namespace tabu_memory_detail

// True when the list holds (i, j) or (j, i).
inline bool memory_is_tabu(const TabuMemory& memory, int i, int j) {
  const std::uint64_t key = tabu_memory_detail::key(memory, i, j);
  const std::size_t mask = memory.held.size() - 1;
  for (std::size_t slot = tabu_memory_detail::home(key, mask);; slot = (slot + 1) & mask) {
    const std::uint64_t held = memory.held[slot].key;
    if (held == key) return true;
    if (held == 0) return false;
  }
}
