// The kinds of move a search can make on a solution, and the value that
// names one move: what the tabu search chooses, remembers and reports.
//
// The program's searches make one kind, the swap of two Route positions
// (a customer or a depot copy each: a swap with a zero moves a trip's end).
// The field's moves work on trips and customers and look only at granular
// pairs: a customer and one of its K nearest customers (model/neighbours.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class MoveKind : std::uint8_t {
  position_swap,  // the program's: positions first < second of the Route exchanged
  relocate,       // customer `first` put next to `second` (0: into an empty truck)
  swap,           // customers `first` and `second` exchanged
  two_opt,        // a part of one trip between `first` and `second` reversed
  two_opt_star,   // the tails of the trips of `first` and `second` exchanged
  or_opt,         // 2 or 3 customers from `first` on put next to `second`
  ruin,           // the annealing's large move: strings of customers taken out and put back
};

// A move: its kind, what it touches, and for the field's kinds which of its
// ways (the kind's own numbering: see model/trips.h).
struct MoveValue {
  MoveKind kind = MoveKind::position_swap;
  int first = 0;   // position_swap: the lower position; otherwise a customer
  int second = 0;  // position_swap: the higher position; otherwise a customer or 0
  int variant = 0;
  bool operator==(const MoveValue&) const = default;
};

// A set of the field's move kinds, one bit each (bit k for MoveKind k).
using MoveKinds = unsigned;
inline constexpr MoveKinds move_bit(MoveKind kind) { return 1u << static_cast<unsigned>(kind); }
// The program's search: swaps of two positions only.
inline constexpr MoveKinds kProgramMoves = move_bit(MoveKind::position_swap);
// Every kind of the field's small moves ("all"; ruin and recreate is named on its own).
inline constexpr MoveKinds kAllFieldMoves = move_bit(MoveKind::relocate) | move_bit(MoveKind::swap) |
                                            move_bit(MoveKind::two_opt) | move_bit(MoveKind::two_opt_star) |
                                            move_bit(MoveKind::or_opt);

// The name of a kind on the command line: "swap" (the program's, alone, or
// the customers' swap, with others), "relocate", "2opt", "2opt*", "oropt",
// "ruin".
const char* move_kind_name(MoveKind kind);

// A comma-separated list of names, or "all": alone or in the list, the five
// small kinds. "swap" alone is the program's search (kProgramMoves); listed
// with other kinds it is the swap of two customers over granular pairs.
// Nothing for an unknown or repeated name or an empty list.
std::optional<MoveKinds> parse_move_kinds(std::string_view text);

// The list as parse_move_kinds reads it: "swap" for kProgramMoves, "all"
// for the five small kinds, otherwise the names in the order above.
std::string move_kinds_text(MoveKinds kinds);
