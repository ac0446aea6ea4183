#include "search/field_tabu.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "model/clock.h"
#include "model/random.h"
#include "model/route_cache.h"
#include "model/route.h"
#include "search/adaptive_penalty.h"

namespace {

constexpr double kNoMove = std::numeric_limits<double>::infinity();

std::size_t at(int index) { return static_cast<std::size_t>(index); }

// ---- the tabu edges --------------------------------------------------------

std::uint64_t edge_key(const EdgeTabu& tabu, int a, int b) {
  const int low = std::min(a, b);
  const int high = std::max(a, b);
  return static_cast<std::uint64_t>(low) * static_cast<std::uint64_t>(tabu.nodes) +
         static_cast<std::uint64_t>(high) + 1u;
}

std::size_t home(std::uint64_t key, std::size_t mask) {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

bool entry_live(const EdgeTabu& tabu, const EdgeTabu::Entry& entry, long long iteration) {
  return entry.made >= tabu.floor && entry.expiry >= iteration;
}

// Puts the table's live entries (at `iteration`) into a table of `size` slots.
void rehash(EdgeTabu& tabu, std::size_t size, long long iteration) {
  std::vector<EdgeTabu::Entry> old(size);
  old.swap(tabu.table);
  tabu.used = 0;
  const std::size_t mask = size - 1;
  for (const EdgeTabu::Entry& entry : old) {
    if (entry.key == 0 || !entry_live(tabu, entry, iteration)) continue;
    std::size_t slot = home(entry.key, mask);
    while (tabu.table[slot].key != 0) slot = (slot + 1) & mask;
    tabu.table[slot] = entry;
    ++tabu.used;
  }
}

// ---- the objective ---------------------------------------------------------

// The rank of a plan: its change of distance plus weight x its change of
// overload, in double. It depends on the trips the plan changes alone.
double plan_rank(const FieldTabu& field, const PlanEffect& effect) {
  return effect.distance_change + field.weight * static_cast<double>(effect.excess - field.trips.excess);
}

// ---- the pairs -------------------------------------------------------------

// The move of way `way` of slot `slot`.
MoveValue way_move(const FieldTabu& field, int slot, int way) {
  const int u = slot / field.per_customer + 1;
  const int k = slot % field.per_customer;
  if (k == field.lists.per_customer) return {MoveKind::relocate, u, 0, 0};
  return {field.way_kind[at(way)], u, field.lists.of(u)[at(k)], field.way_variant[at(way)]};
}

// Works every way of a slot out: its rank (kNoMove when it is not
// possible), and the slot's first move of least rank.
void evaluate_slot(FieldTabu& field, int slot) {
  const int u = slot / field.per_customer + 1;
  const int k = slot % field.per_customer;
  const Trips& trips = field.trips;
  double* const ranks = &field.way_rank[at(slot) * at(field.ways)];
  std::fill(ranks, ranks + field.ways, kNoMove);
  double best = kNoMove;
  int best_way = 0;
  const auto consider = [&](int way, const MoveValue& move) {
    const MovePlan plan = plan_move(trips, move);
    if (plan.trips == 0) return;
    const double rank = plan_rank(field, plan_effect(trips, plan));
    ranks[way] = rank;
    if (rank < best) {
      best = rank;
      best_way = way;
    }
  };
  if (k < field.lists.per_customer) {
    const int v = field.lists.of(u)[at(k)];
    const bool one_trip = trips.trip_of[at(u)] == trips.trip_of[at(v)];
    for (int way = 0; way < field.ways; ++way) {
      const MoveKind kind = field.way_kind[at(way)];
      // A 2-opt needs u and v in one trip, a 2-opt* in two.
      if ((kind == MoveKind::two_opt && !one_trip) || (kind == MoveKind::two_opt_star && one_trip)) continue;
      consider(way, {kind, u, v, field.way_variant[at(way)]});
    }
  } else if (field.relocate && trips.empty_trip >= 0 && trips.nodes[at(trips.trip_of[at(u)])].size() > 3) {
    // (A customer alone in its truck would only change trucks.)
    consider(0, {MoveKind::relocate, u, 0, 0});
  }
  field.rank[at(slot)] = best;
  field.move[at(slot)] = way_move(field, slot, best_way);
}

void mark(FieldTabu& field, int slot) {
  if (field.marked[at(slot)] == field.round) return;
  field.marked[at(slot)] = field.round;
  field.stale.push_back(slot);
}

// Every slot whose u or v is `customer`.
void mark_customer(FieldTabu& field, int customer) {
  const int first = (customer - 1) * field.per_customer;
  for (int k = 0; k < field.per_customer; ++k) mark(field, first + k);
  for (int r = field.reverse_start[at(customer)]; r < field.reverse_start[at(customer + 1)]; ++r)
    mark(field, field.reverse_slot[at(r)]);
}

bool admissible(const FieldTabu& field, const MovePlan& plan, const PlanEffect& effect, long long iteration,
                const Aspiration& aspiration) {
  const MoveEdges edges = move_edges(field.trips, plan);
  bool tabu = false;
  for (int e = 0; e < edges.made_count && !tabu; ++e)
    tabu = edge_tabu_holds(field.tabu, edges.made[at(e)].a, edges.made[at(e)].b, iteration);
  if (!tabu) return true;
  if (aspiration.wide)
    return aspiration.penalty_weight * static_cast<double>(effect.excess) + field.trips.distance +
                   effect.distance_change <
               aspiration.wide_fomin &&
           (!aspiration.feasible_only || effect.excess == 0);
  const float distance = static_cast<float>(field.trips.distance + effect.distance_change);
  const float reported = objective_at_weight(aspiration.penalty_weight, effect.excess, distance);
  return reported < aspiration.fomin && (!aspiration.feasible_only || effect.excess == 0);
}

}  // namespace

void edge_tabu_prepare(EdgeTabu& tabu, int nodes) {
  tabu.nodes = nodes;
  tabu.table.assign(64, {});
  tabu.used = 0;
  tabu.floor = 0;
}

void edge_tabu_add(EdgeTabu& tabu, int a, int b, long long made, long long expiry) {
  if (a == b) return;
  const std::uint64_t key = edge_key(tabu, a, b);
  std::size_t mask = tabu.table.size() - 1;
  for (std::size_t slot = home(key, mask);; slot = (slot + 1) & mask) {
    EdgeTabu::Entry& entry = tabu.table[slot];
    if (entry.key == key) {
      entry.made = made;
      entry.expiry = expiry;
      return;
    }
    if (entry.key == 0) break;
  }
  if (2 * (tabu.used + 1) > static_cast<int>(tabu.table.size())) {
    // Drop the expired edges; grow when the live ones fill a quarter.
    rehash(tabu, tabu.table.size(), made);
    if (4 * (tabu.used + 1) > static_cast<int>(tabu.table.size())) rehash(tabu, 2 * tabu.table.size(), made);
    mask = tabu.table.size() - 1;
  }
  std::size_t slot = home(key, mask);
  while (tabu.table[slot].key != 0) slot = (slot + 1) & mask;
  tabu.table[slot] = {key, made, expiry};
  ++tabu.used;
}

bool edge_tabu_holds(const EdgeTabu& tabu, int a, int b, long long iteration) {
  if (a == b) return false;
  const std::uint64_t key = edge_key(tabu, a, b);
  const std::size_t mask = tabu.table.size() - 1;
  for (std::size_t slot = home(key, mask);; slot = (slot + 1) & mask) {
    const EdgeTabu::Entry& entry = tabu.table[slot];
    if (entry.key == key) return entry_live(tabu, entry, iteration);
    if (entry.key == 0) return false;
  }
}

void edge_tabu_trim(EdgeTabu& tabu, long long keep_from) { tabu.floor = std::max(tabu.floor, keep_from); }

MoveEdges move_edges(const Trips& trips, const MovePlan& plan) {
  MoveEdges edges;
  const auto node = [&](int trip, int position) { return trips.nodes[at(trip)][at(position)]; };
  for (int t = 0; t < plan.trips; ++t) {
    const TripPlan& rebuilt = plan.trip[at(t)];
    for (int k = 0; k < rebuilt.parts; ++k) {
      const Segment& part = rebuilt.part[at(k)];
      // Every position of a changed trip lies in one segment: the edge
      // into a segment's first position is one the move cuts.
      if (part.from > 0) edges.removed[at(edges.removed_count++)] = {node(part.trip, part.from - 1), node(part.trip, part.from)};
      if (k > 0) {
        const Segment& before = rebuilt.part[at(k - 1)];
        const int last = before.reversed ? node(before.trip, before.from) : node(before.trip, before.to);
        const int first = part.reversed ? node(part.trip, part.to) : node(part.trip, part.from);
        edges.made[at(edges.made_count++)] = {last, first};
      }
    }
  }
  const auto same = [](const Edge& x, const Edge& y) {
    return (x.a == y.a && x.b == y.b) || (x.a == y.b && x.b == y.a);
  };
  // An edge removed and made again is neither; depot-to-depot edges are not edges.
  for (int m = 0; m < edges.made_count; ++m) {
    for (int r = 0; r < edges.removed_count; ++r) {
      if (!same(edges.made[at(m)], edges.removed[at(r)])) continue;
      edges.made[at(m)] = {0, 0};
      edges.removed[at(r)] = {0, 0};
      break;
    }
  }
  const auto compact = [](std::array<Edge, 10>& list, int& count) {
    int kept = 0;
    for (int e = 0; e < count; ++e)
      if (list[at(e)].a != list[at(e)].b) list[at(kept++)] = list[at(e)];
    count = kept;
  };
  compact(edges.made, edges.made_count);
  compact(edges.removed, edges.removed_count);
  return edges;
}

bool field_tabu_prepare(FieldTabu& field, const Instance& instance, const Settings& settings,
                        std::span<const int> route, double weight) {
  return with_working_memory([&] {
    field.instance = &instance;
    const int n = instance.customer_count;
    field.lists = nearest_neighbours(instance, settings.granularity);
    const int k = field.lists.per_customer;
    field.per_customer = k + 1;
    field.kinds.clear();
    for (const MoveKind kind : {MoveKind::relocate, MoveKind::swap, MoveKind::two_opt, MoveKind::two_opt_star,
                                MoveKind::or_opt})
      if ((settings.move_kinds & move_bit(kind)) != 0) field.kinds.push_back(kind);
    field.relocate = (settings.move_kinds & move_bit(MoveKind::relocate)) != 0;
    field.way_kind.clear();
    field.way_variant.clear();
    for (const MoveKind kind : field.kinds)
      for (int variant = 0; variant < move_variants(kind); ++variant) {
        field.way_kind.push_back(kind);
        field.way_variant.push_back(variant);
      }
    field.ways = std::max(1, static_cast<int>(field.way_kind.size()));
    // The slots naming each customer as the neighbour, grouped by customer.
    field.reverse_start.assign(at(n + 2), 0);
    for (const int v : field.lists.customers) ++field.reverse_start[at(v + 1)];
    for (int c = 1; c <= n + 1; ++c) field.reverse_start[at(c)] += field.reverse_start[at(c - 1)];
    field.reverse_slot.assign(field.lists.customers.size(), 0);
    std::vector<int> next(field.reverse_start.begin(), field.reverse_start.end() - 1);
    for (int u = 1; u <= n; ++u)
      for (int j = 0; j < k; ++j) {
        const int v = field.lists.of(u)[at(j)];
        field.reverse_slot[at(next[at(v)]++)] = (u - 1) * field.per_customer + j;
      }
    const std::size_t slots = at(n) * at(field.per_customer);
    field.rank.assign(slots, kNoMove);
    field.way_rank.assign(slots * at(field.ways), kNoMove);
    field.move.assign(slots, {});
    field.marked.assign(slots, 0);
    field.round = 1;
    field.stale.clear();
    field.stale.reserve(slots);
    field.weight = weight;
    edge_tabu_prepare(field.tabu, n + 1);
    field_tabu_reset(field, route);
  });
}

void field_tabu_reset(FieldTabu& field, std::span<const int> route) {
  trips_from_route(field.trips, *field.instance, route);
  field.all_stale = true;
}

void field_tabu_set_weight(FieldTabu& field, double weight) {
  field.weight = weight;
  field.all_stale = true;
}

bool field_tabu_refresh(FieldTabu& field, SearchOutput* output, const SearchProgress& progress) {
  if (field.all_stale) {
    // A block of customers between two questions: a few thousand moves.
    const int block = std::max(1, 16384 / std::max(1, field.per_customer * 15));
    const int n = field.instance->customer_count;
    for (int u = 1; u <= n; ++u) {
      if (output != nullptr && u > 1 && (u - 1) % block == 0 && !output->keep_searching(progress)) return false;
      const int first = (u - 1) * field.per_customer;
      for (int k = 0; k < field.per_customer; ++k) evaluate_slot(field, first + k);
    }
    field.all_stale = false;
  } else {
    for (const int slot : field.stale) evaluate_slot(field, slot);
  }
  field.stale.clear();
  ++field.round;
  return true;
}

FieldChoice field_tabu_choose(const FieldTabu& field, long long iteration, const Aspiration& aspiration) {
  // Moves are compared by (rank, slot): the first of least rank in the
  // neighbourhood's order (within a slot, the first way of least rank).
  FieldChoice best;
  best.rank = kNoMove;
  int best_slot = 0;
  const auto before_best = [&](double rank, int slot) {
    return rank < best.rank || (rank == best.rank && best.found && slot < best_slot);
  };
  // A pair can give the choice only when its best move comes before the
  // best found so far: its best admissible move ranks no better than its best.
  const auto look_at = [&](int slot) {
    const double rank = field.rank[at(slot)];
    if (!before_best(rank, slot)) return;
    const MoveValue move = field.move[at(slot)];
    const MovePlan plan = plan_move(field.trips, move);
    const PlanEffect effect = plan_effect(field.trips, plan);
    if (admissible(field, plan, effect, iteration, aspiration)) {
      best = {true, move, plan, effect, rank};
      best_slot = slot;
      return;
    }
    // The slot's first admissible way of least rank, from the ranks kept.
    const double* const ranks = &field.way_rank[at(slot) * at(field.ways)];
    for (int way = 0; way < field.ways; ++way) {
      if (!before_best(ranks[way], slot)) continue;
      const MoveValue other = way_move(field, slot, way);
      const MovePlan other_plan = plan_move(field.trips, other);
      const PlanEffect other_effect = plan_effect(field.trips, other_plan);
      if (!admissible(field, other_plan, other_effect, iteration, aspiration)) continue;
      best = {true, other, other_plan, other_effect, ranks[way]};
      best_slot = slot;
    }
  };
  // The pairs of least rank first (the best move is often tabu: the one
  // that would undo the last), so that few pairs need their admissible
  // moves worked out; then, if those did not settle it, every pair.
  constexpr std::size_t kFirst = 32;
  std::array<std::pair<double, int>, kFirst> least{};
  std::size_t held = 0;
  const int slots = static_cast<int>(field.rank.size());
  for (int slot = 0; slot < slots; ++slot) {
    const std::pair<double, int> entry{field.rank[at(slot)], slot};
    if (entry.first == kNoMove) continue;
    if (held < kFirst) {
      least[held++] = entry;
      std::push_heap(least.begin(), least.begin() + static_cast<std::ptrdiff_t>(held));
    } else if (entry < least[0]) {
      std::pop_heap(least.begin(), least.end());
      least[kFirst - 1] = entry;
      std::push_heap(least.begin(), least.end());
    }
  }
  std::sort(least.begin(), least.begin() + static_cast<std::ptrdiff_t>(held));
  for (std::size_t k = 0; k < held; ++k) look_at(least[k].second);
  // Every pair not among them ranks at or after the last of them.
  if (held == kFirst && !(best.found && std::pair<double, int>{best.rank, best_slot} < least[kFirst - 1]))
    for (int slot = 0; slot < slots; ++slot) look_at(slot);
  return best;
}

void field_tabu_make(FieldTabu& field, const FieldChoice& choice, long long iteration, int tenure) {
  const MoveEdges edges = move_edges(field.trips, choice.plan);
  for (int e = 0; e < edges.removed_count; ++e)
    edge_tabu_add(field.tabu, edges.removed[at(e)].a, edges.removed[at(e)].b, iteration,
                  iteration + static_cast<long long>(tenure));
  const int empty_before = field.trips.empty_trip;
  apply_plan(field.trips, choice.plan, choice.effect);
  if (field.all_stale) return;
  for (int t = 0; t < choice.plan.trips; ++t) {
    const std::vector<int>& nodes = field.trips.nodes[at(choice.plan.trip[at(t)].trip)];
    for (std::size_t p = 1; p + 1 < nodes.size(); ++p) mark_customer(field, nodes[p]);
  }
  if (field.relocate && field.trips.empty_trip != empty_before) {
    const int n = field.instance->customer_count;
    for (int u = 1; u <= n; ++u) mark(field, u * field.per_customer - 1);
  }
}

SearchEnd field_tabu_search(const Instance& instance, const Settings& settings, SearchState& state,
                            SearchOutput& output) {
  const int route_length = static_cast<int>(state.current.size());
  const std::span<int> current = state.current;
  const std::span<int> best = state.best;
  const ClockTicks start_clock = state.start_clock;
  const int penalty_weight = settings.penalty_weight;
  const DerivedValues derived = derived_values(settings, instance);
  const bool adaptive = settings.adaptive_penalty;
  const bool exact = route_sums_exact(instance.matrix, route_length);
  float& fo = state.fo;
  float& fomin = state.fomin;
  ClockTicks reading = clock_ms();
  long long iter = 0;
  long long last_improvement = 0;
  int tenure = settings.base_tenure;
  long long flat_moves = 0;

  AdaptivePenalty penalty;
  if (adaptive) penalty = adaptive_penalty_start(instance, settings.overload_target);
  double weight = adaptive ? penalty.weight : static_cast<double>(penalty_weight);
  FieldTabu field;
  if (!field_tabu_prepare(field, instance, settings, current, weight)) return SearchEnd::out_of_memory;

  // The current solution's float distance and overload, and those of the best.
  // Where a float cannot hold every total of the instance's Routes (the sums
  // are not exact), the objectives are compared in double, from the trips'
  // sums; what is reported is their nearest float.
  float distance = route_distance(route_length, instance.matrix, current);
  double wide_fo = 0.0, wide_fomin = static_cast<double>(fomin);
  int excess = capacity_excess(route_length, instance.vehicle_capacity, current, instance.demand);
  float best_distance = distance;
  int best_excess = excess;
  bool best_feasible = excess == 0;
  fo = objective_at_weight(weight, excess, distance);
  const auto wide_objective = [&](double at_weight) {
    return at_weight * static_cast<double>(field.trips.excess) + field.trips.distance;
  };
  if (!exact) {
    wide_fo = wide_objective(weight);
    fo = static_cast<float>(wide_fo);
  }

  // Ends the search with the best Route as the current one.
  const auto finish = [&] {
    copy_route(route_length, best, current);
    fo = fomin;
    output.tabu_finished(elapsed_seconds(start_clock));
    return SearchEnd::finished;
  };
  // Leaves the current Route as the trips stand (an event asked to stop).
  const auto stopped = [&] {
    route_from_trips(field.trips, current);
    return SearchEnd::stopped;
  };

  if (!output.tabu_started(seconds_between(start_clock, reading), fomin)) return SearchEnd::stopped;

  for (;;) {
    ++iter;
    ++state.iterations;
    bool fresh = false;
    if (!with_working_memory([&] { fresh = field_tabu_refresh(field, &output, {fo, fomin, state.iterations - 1}); }))
      return SearchEnd::out_of_memory;
    if (!fresh) {
      // Told to stop within the scan: this iteration is not made.
      --state.iterations;
      return finish();
    }
    const Aspiration aspiration{fomin, penalty_weight, adaptive && best_feasible, !exact, wide_fomin};
    FieldChoice choice = field_tabu_choose(field, iter, aspiration);
    if (!choice.found) {
      // Everything admissible is tabu: keep only the last move's edges and
      // look again; with nothing then, end the search as a restart would.
      edge_tabu_trim(field.tabu, iter - 1);
      choice = field_tabu_choose(field, iter, aspiration);
      if (!choice.found) return finish();
    }

    if (!with_working_memory([&] { field_tabu_make(field, choice, iter, tenure); }))
      return SearchEnd::out_of_tabu_memory;
    excess = field.trips.excess;
    distance = static_cast<float>(field.trips.distance);
    float delta = 0.0f;
    if (exact) {
      delta = static_cast<float>(weight * static_cast<double>(excess) + static_cast<double>(distance) +
                                 static_cast<double>(-fo));
      fo = objective_at_weight(weight, excess, distance);
    } else {
      const double after = wide_objective(weight);
      delta = static_cast<float>(after - wide_fo);
      wide_fo = after;
      fo = static_cast<float>(after);
    }
    output.tabu_move_chosen(iter, delta, choice.move);

    if (delta == 0.0f) {
      ++flat_moves;
      if (flat_moves >= settings.flat_move_limit) tenure = grown_tenure(tenure, settings.tenure_step);
    } else {
      flat_moves = 0;
    }

    const float reported = objective_at_weight(penalty_weight, excess, distance);
    const double wide_reported = wide_objective(penalty_weight);
    if ((exact ? reported < fomin : wide_reported < wide_fomin) && (!adaptive || excess == 0 || !best_feasible)) {
      reading = clock_ms();
      fomin = exact ? reported : static_cast<float>(wide_reported);
      wide_fomin = wide_reported;
      best_distance = distance;
      best_excess = excess;
      best_feasible = best_feasible || excess == 0;
      last_improvement = iter;
      route_from_trips(field.trips, best);
      tenure = settings.base_tenure;
      if (!output.tabu_new_best(seconds_between(start_clock, reading), fomin, iter)) return stopped();
    }

    if (adaptive && penalty_visit(penalty, excess > 0)) {
      weight = penalty.weight;
      field_tabu_set_weight(field, weight);
      fo = objective_at_weight(weight, excess, distance);
      if (!exact) {
        wide_fo = wide_objective(weight);
        fo = static_cast<float>(wide_fo);
      }
    }

    // Every max_stall iterations at most, a restart sets it back to 0.
    const int stall = static_cast<int>(iter - last_improvement);
    output.tabu_iteration_done(fo, stall);
    if (static_cast<double>(stall) == derived.trim_stall) edge_tabu_trim(field.tabu, iter);
    if ((settings.iteration_limit > 0 && iter >= settings.iteration_limit) ||
        !output.keep_searching({fo, fomin, state.iterations}))
      return finish();
    if (stall < settings.max_stall) continue;

    last_improvement = iter;
    edge_tabu_trim(field.tabu, iter);
    reading = clock_ms();
    tenure = static_cast<int>(random_below(derived.tenure_draw_bound) + derived.tenure_floor);
    copy_route(route_length, best, current);
    field_tabu_reset(field, current);
    distance = best_distance;
    excess = best_excess;
    fo = objective_at_weight(weight, excess, distance);
    if (!exact) {
      wide_fo = wide_objective(weight);  // the trips now hold the best Route
      fo = static_cast<float>(wide_fo);
    }
    if (!(seconds_between(start_clock, reading) < static_cast<double>(settings.time_limit))) break;
  }
  return finish();
}
