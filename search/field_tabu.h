// Tabu search over the field's moves (relocate, swap, 2-opt, 2-opt*, or-opt)
// on the granular neighbourhood: the program's tabu search (restarts,
// tenure rules, aspiration) with the solution held as trips (model/trips.h).
//
// Each iteration makes the best admissible move of the chosen kinds over
// every customer u, every v among u's K nearest and every variant of every
// kind, and the relocation of u into an empty truck (unless u is alone in
// its own: that would change nothing). Moves are ranked by
// their change of objective worked out in double from the plan's effect,
// distance change + weight x overload change (ties to the first in that
// order: u, then its neighbours nearest first, the empty truck last, then
// the kinds in MoveKind order, then the variants). The objective of a Route
// is float(weight x overload + its float distance), the program's form.
//
// What is remembered are edges, not positions: when a move is made, each
// edge it removes (an unordered pair of nodes) may not be made again for
// `tenure` iterations, wherever its nodes have moved since. A move that
// would make a tabu edge is admissible only when it makes a new best.
//
// Speed: each (u, neighbour) pair keeps the rank of each of its moves and
// its best. A move changes one or two trips; only pairs with u or v in them
// can have changed and are worked out again. The rest keep their values;
// their tabu status, which changes every iteration, is checked when a move
// is picked, pairs of least rank first; a pair whose best move is tabu gives
// its best admissible one from the ranks it keeps.
//
// Exactness: when every float sum of the instance's distances is exact
// (whole multiples of one power of two and Routes short enough, as the
// swap's evaluation tests it), the trips' double distances are the Route's
// float distance bit for bit, and the change of the move made is exact.
// Otherwise the move is chosen on the double values, and once made its
// Route is written and evaluated whole (route_distance, capacity_excess):
// the objective carried and every new best are exact; only the aspiration
// of a tabu move is judged on the double value.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "model/instance.h"
#include "model/moves.h"
#include "model/neighbours.h"
#include "model/trips.h"
#include "search/search_output.h"
#include "search/search_state.h"
#include "search/settings.h"

// The tabu edges: for each, the iteration that removed it and the last
// iteration it is tabu in, in a table addressed by a hash of the pair (open
// addressing, at most half full): its size follows the edges held, not the
// square of the nodes. Expired edges are dropped when the table fills.
struct EdgeTabu {
  struct Entry {
    std::uint64_t key = 0;  // low * nodes + high + 1; 0 marks a free slot
    long long made = 0;
    long long expiry = 0;
  };
  std::vector<Entry> table;  // a power of two in size
  int used = 0;
  int nodes = 0;             // node numbers are 0..nodes-1
  long long floor = 0;       // edges removed before this iteration are no longer tabu (a trim)
};

void edge_tabu_prepare(EdgeTabu& tabu, int nodes);
// Makes edge {a, b} tabu through iteration `expiry`, removed at `made`.
void edge_tabu_add(EdgeTabu& tabu, int a, int b, long long made, long long expiry);
// True when edge {a, b} is tabu at `iteration`.
bool edge_tabu_holds(const EdgeTabu& tabu, int a, int b, long long iteration);
// Keeps tabu only the edges removed at `keep_from` or later.
void edge_tabu_trim(EdgeTabu& tabu, long long keep_from);

// The edges a plan makes and removes, as unordered pairs (edges between two
// depot visits left out; an edge both removed and made again is in neither).
struct Edge {
  int a = 0;
  int b = 0;
};
struct MoveEdges {
  int made_count = 0;
  int removed_count = 0;
  std::array<Edge, 10> made{};
  std::array<Edge, 10> removed{};
};
MoveEdges move_edges(const Trips& trips, const MovePlan& plan);

// The search's working state, over one instance.
struct FieldTabu {
  const Instance* instance = nullptr;
  NeighbourLists lists;
  int per_customer = 0;             // slots per customer: K neighbours and the empty truck
  std::vector<int> reverse_start;   // per customer v + 1: where its slots naming v start
  std::vector<int> reverse_slot;    // the slots (u, k) whose neighbour is v
  std::vector<MoveKind> kinds;      // the chosen kinds, in MoveKind order
  bool relocate = false;            // relocate is chosen (the empty-truck slot is used)
  Trips trips;
  double weight = 0.0;              // the cost of one unit of overload now
  // Per slot (u - 1) * per_customer + k: the pair's best move and its rank
  // (+infinity when the pair has none).
  std::vector<double> rank;
  std::vector<MoveValue> move;
  // The ways of a pair (the chosen kinds' variants, in order) and, per slot,
  // each way's rank: the admissible best of a pair whose best is tabu.
  int ways = 0;
  std::vector<MoveKind> way_kind;
  std::vector<int> way_variant;
  std::vector<double> way_rank;
  std::vector<long long> marked;    // the round a slot was last put in `stale`
  long long round = 1;
  std::vector<int> stale;           // slots to work out again
  bool all_stale = true;
  EdgeTabu tabu;
};

// Sets the search state up for `route` (false when its storage cannot be
// had): the neighbour lists, the trips, every pair to be worked out.
[[nodiscard]] bool field_tabu_prepare(FieldTabu& field, const Instance& instance, const Settings& settings,
                                      std::span<const int> route, double weight);
// Starts again from `route` (every pair to be worked out; the tabu edges kept).
void field_tabu_reset(FieldTabu& field, std::span<const int> route);
// A new weight of overload: every pair to be worked out.
void field_tabu_set_weight(FieldTabu& field, double weight);

// Works the stale pairs out. A full pass asks `output` (when given) between
// blocks of customers whether to go on; false when told to stop (the pass
// is then left to be made again).
bool field_tabu_refresh(FieldTabu& field, SearchOutput* output, const SearchProgress& progress);

// When a tabu move is admissible anyway: its Route's reported objective
// (priced with penalty_weight) strictly below fomin, and feasible when
// `feasible_only`.
struct Aspiration {
  float fomin = 0.0f;
  int penalty_weight = 0;
  bool feasible_only = false;
  bool wide = false;          // the best's objective is held in double (float sums not exact)
  double wide_fomin = 0.0;
};

struct FieldChoice {
  bool found = false;
  MoveValue move{};
  MovePlan plan{};
  PlanEffect effect{};
  double rank = 0.0;
};

// The best admissible move at `iteration` (the pairs must be fresh).
FieldChoice field_tabu_choose(const FieldTabu& field, long long iteration, const Aspiration& aspiration);

// Makes the move: its removed edges tabu through iteration + tenure, the
// trips changed, the pairs of the changed trips stale.
void field_tabu_make(FieldTabu& field, const FieldChoice& choice, long long iteration, int tenure);

// The tabu search over the field's moves, on the contract of tabu_search
// (search/tabu_search.h): the same events, limits, restarts and tenure
// rules. With settings.adaptive_penalty the search moves on an overload
// weight that adapts (search/adaptive_penalty.h), and fo in its events is
// priced with it; the best Route kept and reported (fomin) is priced with
// settings.penalty_weight, and once a feasible Route has been found only a
// feasible one can replace it. On a finished return current == best and
// fo == fomin.
SearchEnd field_tabu_search(const Instance& instance, const Settings& settings, SearchState& state,
                            SearchOutput& output);
