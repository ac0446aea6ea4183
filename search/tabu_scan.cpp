#include "search/tabu_scan.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <limits>

#include "model/route.h"

void best_admissible_swap(int& no1, int& no2, float& delta, int route_length, std::span<int> route,
                          float fo, const DistanceMatrix& matrix, int penalty_weight,
                          int vehicle_capacity, std::span<const int> demand, float fomin,
                          const TabuList& list) {
  delta = kNothingAdmissible;
  for (int i = 1; i < route_length - 2; ++i) {
    for (int j = i + 1; j < route_length - 1; ++j) {
      if (route[static_cast<std::size_t>(i)] == route[static_cast<std::size_t>(j)]) continue;
      swap_positions(i, j, route);
      const float distance = route_distance(route_length, matrix, route);
      const int excess = capacity_excess(route_length, vehicle_capacity, route, demand);
      swap_positions(i, j, route);
      const float change = objective_change(penalty_weight * excess, distance, fo);

      const bool tabu = tabu_contains(i, j, list) || tabu_contains(j, i, list);
      if (tabu && !(static_cast<double>(fo) + static_cast<double>(change) < static_cast<double>(fomin)))
        continue;
      if (change < delta) {
        no1 = i;
        no2 = j;
        delta = change;
      }
    }
  }
}

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Positions the table follows one by one; a scan that finds more changed
// (a restart) works out the whole table.
constexpr std::size_t kFollowedChanges = 8;

std::size_t at(int k) { return static_cast<std::size_t>(k); }

// Calls visit(from, to) on blocks of at most `rows` rows that cover
// first..end-1 in order, asking the poll between two blocks; false when it
// said to stop (the rows after it are not visited).
template <class Rows>
bool rows_polled(int first, int end, int rows, const ScanPoll& poll, Rows&& visit) {
  for (int from = first; from < end;) {
    const int to = rows > 0 && end - from > rows ? from + rows : end;
    visit(from, to);
    if (to == end) break;
    if (poll.output != nullptr && !poll.output->keep_searching(poll.progress)) return false;
    from = to;
  }
  return true;
}

// The edge change of swapping positions i < j - 1: the cells it adds (before
// the entry at i, after it, before the entry at j, after it), in the order
// every scan adds them, less the edges around both positions.
double spread_change(double before_i, double after_i, double before_j, double after_j, double removed_i,
                     double removed_j) {
  return (((before_i + after_i) + before_j) + after_j) - (removed_i + removed_j);
}

// The block of row i that holds column j.
std::size_t block_of(const ScanScratch& scratch, int i, int j) {
  return scratch.block_start[at(i)] + at(j - i - 1) / ScanScratch::kBlock;
}

// Works out entries of the table from the Route the cache describes. A loop
// over rows reads the cells along a row of the matrix where it can: when the
// matrix is symmetric, cell (u, v) is read as (v, u) where v is fixed and u
// varies (the same value).
template <bool symmetric>
class TableWriter {
 public:
  TableWriter(const RouteCache& cache, std::span<const int> route, ScanScratch& scratch)
      : cache_(cache), node_(route.data()), cells_(cache.cells), cols_(cache.cols), scratch_(scratch) {}

  void removed_at(int k) {
    scratch_.removed[at(k)] = static_cast<double>(cache_.edge[at(k)]) + static_cast<double>(cache_.edge[at(k + 1)]);
  }

  // Every pair (i, j > i); the floors of the row and of its blocks become their least.
  void row(int i) {
    const int last = scratch_.route_length - 2;
    double* out = row_of(i);
    double* block_floor = scratch_.block_floor.data() + scratch_.block_start[at(i)];
    const double* removed = scratch_.removed.data();
    const int a = node_[i];
    const int before = node_[i - 1];
    const int after = node_[i + 1];
    double least = kInfinity;
    for (int from = i + 1; from <= last; from += ScanScratch::kBlock) {
      const int to = std::min(from + ScanScratch::kBlock - 1, last);
      double block_least = kInfinity;
      for (int j = from; j <= to; ++j) {
        const int b = node_[j];
        const double value = j == i + 1 ? adjacent(i)
                             : b == a   ? kInfinity
                                        : spread_change(cell(before, b), cell_into(b, after),
                                                        cell_into(node_[j - 1], a), cell(a, node_[j + 1]), removed[i],
                                                        removed[j]);
        out[j] = value;
        block_least = std::min(block_least, value);
      }
      *block_floor++ = block_least;
      least = std::min(least, block_least);
    }
    scratch_.row_floor[at(i)] = least;
  }

  // Every pair (i < j, j); each floor is lowered to its new entry.
  void column(int j) {
    const double* removed = scratch_.removed.data();
    double* floor = scratch_.row_floor.data();
    double* block_floor = scratch_.block_floor.data();
    const int b = node_[j];
    const int before = node_[j - 1];
    const int after = node_[j + 1];
    const auto write = [&](int i, double value) {
      row_of(i)[j] = value;
      floor[i] = std::min(floor[i], value);
      double& block = block_floor[block_of(scratch_, i, j)];
      block = std::min(block, value);
    };
    for (int i = 1; i < j - 1; ++i) {
      const int a = node_[i];
      write(i, a == b ? kInfinity
                      : spread_change(cell_into(node_[i - 1], b), cell(b, node_[i + 1]), cell(before, a),
                                      cell_into(a, after), removed[i], removed[j]));
    }
    write(j - 1, adjacent(j - 1));
  }

 private:
  // Row i indexed by j.
  double* row_of(int i) { return scratch_.change.get() + scratch_.row_start[at(i)] - at(i + 1); }
  double cell(int from, int to) const {
    return static_cast<double>(cells_[at(from) * cols_ + at(to)]);
  }
  // Cell (from, to) in a loop where `from` varies.
  double cell_into(int from, int to) const { return symmetric ? cell(to, from) : cell(from, to); }
  // The pair (i, i + 1), which shares an edge.
  double adjacent(int i) const {
    if (node_[i] == node_[i + 1]) return kInfinity;
    const EdgeChange edges = swapped_edges(cache_, std::span<const int>(node_, at(scratch_.route_length)), i, i + 1);
    return edges.added - edges.removed;
  }

  const RouteCache& cache_;
  const int* node_;
  const float* cells_;
  std::size_t cols_;
  ScanScratch& scratch_;
};

// Works out the whole table for the Route the cache describes; false when
// the poll said to stop on the way (the table describes no Route then).
template <bool symmetric>
[[gnu::noinline]] bool work_out_table(const RouteCache& cache, std::span<const int> route, ScanScratch& scratch,
                                      const ScanPoll& poll) {
  const int last = scratch.route_length - 2;
  TableWriter<symmetric> writer(cache, route, scratch);
  scratch.described = false;
  for (int k = 1; k <= last; ++k) writer.removed_at(k);
  if (!rows_polled(1, last, scratch.poll_rows, poll, [&](int from, int to) {
        for (int i = from; i < to; ++i) writer.row(i);
      }))
    return false;
  for (int k = 1; k <= last; ++k) scratch.route[at(k)] = route[at(k)];
  scratch.described = true;
  return true;
}

// Brings the table up to the Route the cache describes; false when the poll
// said to stop while the whole table was worked out.
template <bool symmetric>
bool follow_route(const RouteCache& cache, std::span<const int> route, ScanScratch& scratch, const ScanPoll& poll) {
  const int last = scratch.route_length - 2;
  scratch.changed.clear();
  if (scratch.described) {
    for (int k = 1; k <= last && scratch.changed.size() <= kFollowedChanges; ++k)
      if (route[at(k)] != scratch.route[at(k)]) scratch.changed.push_back(k);
  }
  if (!scratch.described || scratch.changed.size() > kFollowedChanges)
    return work_out_table<symmetric>(cache, route, scratch, poll);
  if (scratch.changed.empty()) return true;
  TableWriter<symmetric> writer(cache, route, scratch);
  // The positions whose entry or neighbours changed, each once, in order.
  std::vector<int>& affected = scratch.changed;
  const std::size_t count = affected.size();
  for (std::size_t c = 0; c < count; ++c) {
    const int k = affected[c];
    scratch.route[at(k)] = route[at(k)];
    affected.push_back(k - 1);
    affected.push_back(k + 1);
  }
  std::sort(affected.begin(), affected.end());
  affected.erase(std::unique(affected.begin(), affected.end()), affected.end());
  std::erase_if(affected, [last](int k) { return k < 1 || k > last; });
  for (const int k : affected) writer.removed_at(k);
  for (const int k : affected) {
    if (k < last) writer.row(k);
    if (k > 1) writer.column(k);
  }
  return true;
}

// One scan over the table. With `exact` (the cache's sums are exact) the
// lower bound of a pair is its exact change, and the scan settles the
// answer on its way; otherwise it keeps, per row, the least lower bound of a
// pair that may be the answer, and a second pass evaluates those pairs
// exactly.
template <bool exact>
class TableScan {
 public:
  TableScan(RouteCache& cache, std::span<const int> route, float fo, int penalty_weight, float fomin,
            const TabuMemory& memory, ScanScratch& scratch)
      : cache_(cache),
        route_(route),
        fo_(fo),
        fo_wide_(fo),
        minus_fo_(static_cast<double>(-fo)),
        fomin_wide_(fomin),
        real_(cache.real),
        error_(cache.error_bound),
        penalty_weight_(penalty_weight),
        memory_(memory),
        scratch_(scratch),
        demand_at_(scratch.demand_at.data()),
        load_at_(scratch.load_at.data()),
        trip_at_(scratch.trip_at.data()),
        before_at_(scratch.before_at.data()),
        previous_load_at_(scratch.previous_load_at.data()),
        zero_at_(scratch.zero_at.data()),
        marked_(scratch.overloaded.data()),
        last_(cache.route_length - 2) {}

  // False when the poll said to stop (delta is then kNothingAdmissible).
  // False when the poll said to stop (delta is then kNothingAdmissible).
  bool run(int& no1, int& no2, float& delta, const ScanPoll& poll) {
    describe_positions();
    set_bound(kNothingAdmissible);
    std::fill(scratch_.row_low.begin(), scratch_.row_low.end(), std::numeric_limits<float>::infinity());
    seed_bound();
    delta = kNothingAdmissible;
    if (!rows_polled(1, last_, scratch_.poll_rows, poll, [&](int from, int to) {
          for (int i = from; i < to; ++i) first_pass_row(i);
        }))
      return false;
    if constexpr (!exact)
      if (!rows_polled(1, last_, scratch_.poll_rows, poll, [&](int from, int to) { second_pass(from, to); }))
        return false;
    answer(no1, no2, delta);
    return true;
  }

 private:
  const double* row_of(int i) const { return scratch_.change.get() + scratch_.row_start[at(i)] - at(i + 1); }

  void answer(int& no1, int& no2, float& delta) const {
    delta = best_;
    if (found_) {
      no1 = best_i_;
      no2 = best_j_;
    }
  }

  void set_bound(float value) {
    bound_ = value;
    above_bound_ = static_cast<double>(std::nextafter(value, std::numeric_limits<float>::infinity()));
  }

  // A lower bound of the change of a pair with edge change `change` whose
  // penalty is at least `penalty`: objective_change_unrounded(penalty,
  // (real + change) - E, fo), the same additions in the same order, before
  // the rounding to float.
  double low_of(int penalty, double change) const {
    return static_cast<double>(penalty) + ((real_ + change) - error_) + minus_fo_;
  }

  // The limit on edge changes past which low_of is surely above the
  // bound: the edge change at which its double sum reaches the bound,
  // widened by 2^-44 of the sizes in it, far more than the roundings of both.
  double limit_for(int floor_penalty) const {
    const double base = static_cast<double>(floor_penalty) + (real_ - error_) + minus_fo_;
    const double estimate = above_bound_ - base;
    const double size = std::fabs(static_cast<double>(floor_penalty)) + std::fabs(real_) + error_ +
                        std::fabs(minus_fo_) + std::fabs(above_bound_) + std::fabs(estimate);
    return estimate + size * 0x1p-44;
  }

  // What the penalty of a pair needs of each position, and the marks of
  // the positions of overloaded trips and the zeros that open and close
  // them. A swap of two positions outside them touches no overloaded trip,
  // so its excess is at least the Route's. With a negative weight no pair's
  // penalty has such a bound: every position is marked.
  void describe_positions() {
    const int* node = route_.data();
    int before = 0;  // demand of the trip's customers before k
    for (int k = 1; k <= last_; ++k) {
      const int trip = cache_.trip_of[at(k)];
      const int load = cache_.trip_load[at(trip)];
      const bool zero = node[k] == 0;
      const int previous = zero ? cache_.trip_load[at(trip - 1)] : 0;
      const int demand = zero ? 0 : cache_.demand[at(node[k])];
      if (zero) before = 0;
      scratch_.demand_at[at(k)] = demand;
      scratch_.load_at[at(k)] = load;
      scratch_.trip_at[at(k)] = trip;
      scratch_.before_at[at(k)] = before;
      scratch_.previous_load_at[at(k)] = previous;
      scratch_.zero_at[at(k)] = static_cast<char>(zero);
      before += demand;
    }
    std::vector<char>& marked = scratch_.overloaded;
    const bool everywhere = penalty_weight_ < 0;
    std::fill(marked.begin(), marked.end(), static_cast<char>(everywhere));
    if (!everywhere && penalty_weight_ != 0 && cache_.excess != 0) {
      const std::size_t trips = cache_.trip_load.size();
      for (std::size_t t = 0; t < trips; ++t) {
        if (cache_.trip_load[t] <= cache_.vehicle_capacity) continue;
        const int first = std::max(cache_.trip_start[t], 1);
        const int end = std::min(cache_.trip_start[t + 1], last_);
        for (int k = first; k <= end; ++k) marked[at(k)] = 1;
      }
    }
    scratch_.zeros.clear();
    for (int k = 1; k <= last_; ++k)
      if (zero_at_[k]) scratch_.zeros.push_back(k);
    int count = 0;
    scratch_.marked_spans.clear();
    for (int k = 1; k <= last_; ++k) {
      if (marked[at(k)]) {
        if (k > 1 && marked[at(k - 1)])
          scratch_.marked_spans.back().second = k;
        else
          scratch_.marked_spans.emplace_back(k, k);
      }
      count += marked[at(k)];
      scratch_.marked_before[at(k)] = count;
    }
  }

  // The capacity excess of the Route after the swap of i < j.
  int excess_after(int i, int j) const {
    if (zero_at_[i] || zero_at_[j]) return swapped_excess_moving_zero(cache_, route_, i, j);
    if (trip_at_[i] == trip_at_[j]) return cache_.excess;
    // Two customers of different trips: the trips trade their demands.
    const int capacity = cache_.vehicle_capacity;
    const auto over = [capacity](int load) { return swap_detail::over(load, capacity); };
    const int shift = demand_at_[j] - demand_at_[i];
    return cache_.excess - over(load_at_[i]) - over(load_at_[j]) + over(load_at_[i] + shift) +
           over(load_at_[j] - shift);
  }

  // Columns from..to of row i whose lower bound, with their exact penalty,
  // may be within the bound are written to `hits`, their number returned;
  // `least` is lowered to their least edge change. The penalties are
  // swapped_excess's, worked out from what describe_positions gathered:
  // on a row of a customer, for its customer columns without a branch on
  // the columns, so that they go at the pace of the loads, then for the
  // zero columns among them; on a row of a zero, every case formed for
  // each column and the one that holds chosen.
  int row_hits(int i, int from, int to, const double* row, double& least) const {
    return zero_at_[i] ? zero_row_hits(i, from, to, row, least) : customer_row_hits(i, from, to, row, least);
  }

  int customer_row_hits(int i, int from, int to, const double* row, double& least) const {
    const int capacity = cache_.vehicle_capacity;
    const auto over = [capacity](int load) { return swap_detail::over(load, capacity); };
    const int excess = cache_.excess;
    const int load = load_at_[i];
    const int demand = demand_at_[i];
    const int trip = trip_at_[i];
    const int without = excess - over(load);
    int* hits = scratch_.hits.data();
    int count = 0;
    double smallest = least;
    for (int j = from; j <= to; ++j) {
      const double change = row[j];
      smallest = std::min(smallest, change);
      // Two customers of different trips trade their demands (the same
      // sums as swapped_excess; a zero column's value is not used).
      const int shift = demand_at_[j] - demand;
      const int traded = without - over(load_at_[j]) + over(load + shift) + over(load_at_[j] - shift);
      const bool zero = zero_at_[j] != 0;
      const int after = trip_at_[j] == trip || zero ? excess : traded;
      assert(zero || after == swapped_excess(cache_, route_, i, j));
      hits[count] = j;
      count += !zero & (low_of(penalty_weight_ * after, change) <= above_bound_);
    }
    // A zero at j moves to i, where the trip of i is split; the customer of
    // i joins the trips on either side of j.
    const int before = before_at_[i];
    const int after_i = load - before - demand;
    const std::vector<int>& zeros = scratch_.zeros;
    for (auto z = std::lower_bound(zeros.begin(), zeros.end(), from); z != zeros.end() && *z <= to; ++z) {
      const int j = *z;
      const int left = previous_load_at_[j];
      const int right = load_at_[j];
      const int after =
          trip == trip_at_[j] - 1
              ? excess - over(left) - over(right) + over(before) + over(after_i + demand + right)
              : excess - over(load) - over(left) - over(right) + over(before) + over(after_i) +
                    over(left + demand + right);
      assert(after == swapped_excess(cache_, route_, i, j));
      hits[count] = j;
      count += low_of(penalty_weight_ * after, row[j]) <= above_bound_;
    }
    least = smallest;
    return count;
  }

  int zero_row_hits(int i, int from, int to, const double* row, double& least) const {
    // In 64 bits: the cases not taken are formed too, and no sum of loads
    // can overflow there.
    using Wide = std::int64_t;
    const Wide capacity = cache_.vehicle_capacity;
    const auto over = [capacity](Wide load) { return load > capacity ? load - capacity : Wide{0}; };
    const Wide excess = cache_.excess;
    const Wide left = previous_load_at_[i];
    const Wide right = load_at_[i];  // the trip i opens
    const int trip = trip_at_[i];
    const Wide without = excess - over(left) - over(right);
    int* hits = scratch_.hits.data();
    int count = 0;
    double smallest = least;
    for (int j = from; j <= to; ++j) {
      const double change = row[j];
      smallest = std::min(smallest, change);
      // The zero moves to j, where the trip of j is split; the customer of j
      // joins the trip before i and the rest of the trip of i. (Two zeros
      // are never swapped: their change is infinite, any value does.)
      const Wide load = load_at_[j];
      const Wide demand = demand_at_[j];
      const Wide before = before_at_[j];
      const Wide after_j = load - before - demand;
      const Wide within = without + over(left + before + demand) + over(after_j);
      const Wide across = without - over(load) + over(left + demand + right) + over(before) + over(after_j);
      const Wide after = zero_at_[j] ? excess : trip_at_[j] == trip ? within : across;
      assert(zero_at_[j] || after == swapped_excess(cache_, route_, i, j));
      hits[count] = j;
      count += low_of(static_cast<int>(static_cast<Wide>(penalty_weight_) * after), change) <= above_bound_;
    }
    least = smallest;
    return count;
  }

  // Visits the columns row_hits found in row i.
  void visit_hits(int i, const double* row, int count) {
    const int* hits = scratch_.hits.data();
    for (int k = 0; k < count; ++k) visit(i, hits[k], row[hits[k]]);
  }

  // The bounds of the pair (i, j) from its edge change and exact penalty. A
  // seeding visit only lowers the bound.
  template <bool seeding = false>
  void visit(int i, int j, double change) {
    if (change == kInfinity) return;  // two zeros
    const int penalty = penalty_weight_ * excess_after(i, j);
    assert(penalty == penalty_weight_ * swapped_excess(cache_, route_, i, j));
    // The lower bound is objective_change_at(penalty, real + change - E, fo),
    // the float rounding of low_wide: a double above the float after the
    // bound rounds to a float above the bound.
    const double low_wide = low_of(penalty, change);
    if (low_wide > above_bound_) return;
    const float low = static_cast<float>(low_wide);
    if constexpr (exact) {
      // `low` is the pair's exact change.
      if (memory_is_tabu(memory_, i, j) && !(fo_wide_ + static_cast<double>(low) < fomin_wide_)) return;
      if (low < bound_) set_bound(low);
      // The first pair in scan order wins a tie: a row's zero columns are
      // visited after its other columns.
      const bool earlier = found_ && (i < best_i_ || (i == best_i_ && j < best_j_));
      if (!seeding && (low < best_ || (low == best_ && earlier))) {
        best_ = low;
        best_i_ = i;
        best_j_ = j;
        found_ = true;
      }
    } else {
      const float high = objective_change_at(penalty, (real_ + change) + error_, fo_);
      bool aspiration = false;  // tabu, and only the exact change tells whether it is aspirated
      if (memory_is_tabu(memory_, i, j)) {
        if (!(fo_wide_ + static_cast<double>(low) < fomin_wide_)) return;  // surely not aspirated
        aspiration = !(fo_wide_ + static_cast<double>(high) < fomin_wide_);
      }
      if (low > bound_) return;
      if (!aspiration && high < bound_) set_bound(high);
      if (!seeding) scratch_.row_low[at(i)] = std::min(scratch_.row_low[at(i)], low);
    }
  }

  // A first bound from the row of least floor, which likely holds the best
  // pair: the rows the first pass reads before it are then bounded by it.
  void seed_bound() {
    int seed = 0;
    double least = kInfinity;
    for (int i = 1; i < last_; ++i)
      if (scratch_.row_floor[at(i)] < least) {
        least = scratch_.row_floor[at(i)];
        seed = i;
      }
    if (seed == 0) return;
    const double* row = row_of(seed);
    for (int j = seed + 1; j <= last_; ++j) visit<true>(seed, j, row[j]);
  }

  // Row i. On a marked row, or a marked block, every column is bounded
  // with its exact penalty. Elsewhere the penalty is at least the Route's
  // (a swap that touches no overloaded trip cannot lower the overload): a
  // column is bounded with its exact penalty only when the lower bound of
  // its change with the Route's penalty (low_of) leaves it a chance, and
  // none is when the floor of its block, or of the whole row, rules it out.
  // Each block read whole gets its exact floor, and the row the least of
  // its blocks' floors.
  void first_pass_row(int i) {
    const double* row = row_of(i);
    double* block_floor = scratch_.block_floor.data() + scratch_.block_start[at(i)];
    double least = kInfinity;
    if (marked_[i]) {
      for (int from = i + 1; from <= last_; from += ScanScratch::kBlock, ++block_floor) {
        const int to = std::min(from + ScanScratch::kBlock - 1, last_);
        double block_least = kInfinity;
        visit_hits(i, row, row_hits(i, from, to, row, block_least));
        *block_floor = block_least;
        least = std::min(least, block_least);
      }
      scratch_.row_floor[at(i)] = least;
      return;
    }
    const int floor_penalty = penalty_weight_ * cache_.excess;
    if (!(low_of(floor_penalty, scratch_.row_floor[at(i)]) <= above_bound_)) {
      for (const auto& [first, end] : scratch_.marked_spans) {
        if (end <= i) continue;
        double ignored = kInfinity;
        visit_hits(i, row, row_hits(i, std::max(first, i + 1), end, row, ignored));
      }
      return;
    }
    const double limit = limit_for(floor_penalty);
    const int* marked_before = scratch_.marked_before.data();
    for (int from = i + 1; from <= last_; from += ScanScratch::kBlock, ++block_floor) {
      const int to = std::min(from + ScanScratch::kBlock - 1, last_);
      double block_least = kInfinity;
      if (marked_before[to] != marked_before[from - 1]) {
        visit_hits(i, row, row_hits(i, from, to, row, block_least));
      } else if (*block_floor > limit) {
        least = std::min(least, *block_floor);
        continue;
      } else {
        for (int j = from; j <= to; ++j) {
          const double change = row[j];
          block_least = std::min(block_least, change);
          if (change <= limit && low_of(floor_penalty, change) <= above_bound_) visit(i, j, change);
        }
      }
      *block_floor = block_least;
      least = std::min(least, block_least);
    }
    scratch_.row_floor[at(i)] = least;
  }

  // The pairs left in rows from..to-1, in scan order, evaluated exactly.
  void second_pass(int from, int to) {
    for (int i = from; i < to; ++i) {
      if (scratch_.row_low[at(i)] > bound_) continue;
      const double* row = row_of(i);
      for (int j = i + 1; j <= last_; ++j) {
        const double change = row[j];
        if (change == kInfinity) continue;
        const int penalty = penalty_weight_ * excess_after(i, j);
        const float low = objective_change_at(penalty, real_ + change - error_, fo_);
        if (low > bound_) continue;
        const bool tabu = memory_is_tabu(memory_, i, j);
        if (tabu && !(fo_wide_ + static_cast<double>(low) < fomin_wide_)) continue;
        const float exact_change = objective_change(penalty, swapped_distance(cache_, route_, i, j), fo_);
        if (tabu && !(fo_wide_ + static_cast<double>(exact_change) < fomin_wide_)) continue;
        if (exact_change < best_) {
          best_ = exact_change;
          best_i_ = i;
          best_j_ = j;
          found_ = true;
        }
      }
    }
  }

  RouteCache& cache_;
  std::span<const int> route_;
  float fo_;
  double fo_wide_;
  double minus_fo_;
  double fomin_wide_;
  double real_;
  double error_;
  int penalty_weight_;
  const TabuMemory& memory_;
  ScanScratch& scratch_;
  const int* demand_at_;
  const int* load_at_;
  const int* trip_at_;
  const int* before_at_;
  const int* previous_load_at_;
  const char* zero_at_;
  const char* marked_;
  int last_;  // the last interior position
  float bound_ = kNothingAdmissible;
  double above_bound_ = 0.0;
  float best_ = kNothingAdmissible;
  bool found_ = false;
  int best_i_ = 0;
  int best_j_ = 0;
};

// Every pair evaluated exactly, for instances whose sums give no bounds;
// false when the poll said to stop.
bool exact_scan(int& no1, int& no2, float& delta, RouteCache& cache, std::span<const int> route, float fo,
                int penalty_weight, float fomin, const TabuMemory& memory, int poll_rows, const ScanPoll& poll) {
  const int last = cache.route_length - 2;
  delta = kNothingAdmissible;
  int found_i = 0;
  int found_j = 0;
  float found = kNothingAdmissible;
  const bool done = rows_polled(1, last, poll_rows, poll, [&](int from, int to) {
    for (int i = from; i < to; ++i)
      for (int j = i + 1; j <= last; ++j) {
        if (route[at(i)] == route[at(j)]) continue;
        const int penalty = penalty_weight * swapped_excess(cache, route, i, j);
        const float change = objective_change(penalty, swapped_distance(cache, route, i, j), fo);
        if (memory_is_tabu(memory, i, j) &&
            !(static_cast<double>(fo) + static_cast<double>(change) < static_cast<double>(fomin)))
          continue;
        if (change < found) {
          found_i = i;
          found_j = j;
          found = change;
        }
      }
  });
  if (!done) return false;
  delta = found;
  if (found != kNothingAdmissible) {
    no1 = found_i;
    no2 = found_j;
  }
  return true;
}

void allocate_scratch(ScanScratch& scratch, int route_length, bool table) {
  const std::size_t length = at(route_length);
  scratch.route.assign(length, 0);
  scratch.removed.assign(length, 0.0);
  scratch.row_floor.assign(length, kInfinity);
  scratch.row_low.assign(length, 0.0f);
  scratch.overloaded.assign(length, 0);
  scratch.changed.clear();
  scratch.changed.reserve(3 * (kFollowedChanges + 1));
  scratch.demand_at.assign(length, 0);
  scratch.load_at.assign(length, 0);
  scratch.trip_at.assign(length, 0);
  scratch.before_at.assign(length, 0);
  scratch.previous_load_at.assign(length, 0);
  scratch.zero_at.assign(length, 0);
  scratch.hits.assign(length, 0);
  scratch.zeros.clear();
  scratch.zeros.reserve(length);
  scratch.marked_spans.clear();
  scratch.marked_spans.reserve(length);
  scratch.marked_before.assign(length, 0);
  scratch.row_start.assign(length, 0);
  scratch.block_start.assign(length, 0);
  std::size_t pairs = 0;
  std::size_t blocks = 0;
  for (int i = 1; i + 3 <= route_length; ++i) {
    const std::size_t row = at(route_length - 2 - i);
    scratch.row_start[at(i)] = pairs;
    scratch.block_start[at(i)] = blocks;
    pairs += row;
    blocks += (row + ScanScratch::kBlock - 1) / ScanScratch::kBlock;
  }
  scratch.change.reset();
  if (table) scratch.change = std::make_unique_for_overwrite<double[]>(pairs);
  scratch.block_floor.assign(table ? blocks : 0, kInfinity);
}

}  // namespace

bool scan_prepare(ScanScratch& scratch, const RouteCache& cache) {
  return scan_prepare(scratch, cache, matrix_is_symmetric(*cache.matrix));
}

bool scan_prepare(ScanScratch& scratch, const RouteCache& cache, bool symmetric) {
  scratch.route_length = cache.route_length;
  scratch.poll_rows = std::max(1, ScanScratch::kPairsBetweenPolls / std::max(cache.route_length, 1));
  scratch.described = false;
  scratch.symmetric = symmetric;
  return with_working_memory([&] { allocate_scratch(scratch, cache.route_length, cache.intervals); });
}

bool survey_matrix(const DistanceMatrix& matrix, MatrixSurvey& survey, const ScanPoll& poll) {
  survey = MatrixSurvey{};
  const int rows = std::max(1, ScanScratch::kPairsBetweenPolls / std::max(matrix.cols, 1));
  return rows_polled(0, matrix.rows, rows, poll, [&](int from, int to) {
    const std::size_t cols = at(matrix.cols);
    add_cells(survey.cells, std::span<const float>(matrix.cells).subspan(at(from) * cols, at(to - from) * cols));
    for (int row = from; row < to && survey.symmetric; ++row)
      for (int col = 0; col < row; ++col)
        if (std::bit_cast<std::uint32_t>(matrix.at(row, col)) != std::bit_cast<std::uint32_t>(matrix.at(col, row))) {
          survey.symmetric = false;
          break;
        }
  });
}

bool best_admissible_swap_cached(int& no1, int& no2, float& delta, RouteCache& cache,
                                 std::span<const int> route, float fo, int penalty_weight, float fomin,
                                 const TabuMemory& memory, ScanScratch& scratch, const ScanPoll& poll) {
  if (!cache.intervals)
    return exact_scan(no1, no2, delta, cache, route, fo, penalty_weight, fomin, memory, scratch.poll_rows, poll);
  delta = kNothingAdmissible;
  if (!(scratch.symmetric ? follow_route<true>(cache, route, scratch, poll)
                          : follow_route<false>(cache, route, scratch, poll)))
    return false;
  if (cache.exact_sums)
    return TableScan<true>(cache, route, fo, penalty_weight, fomin, memory, scratch).run(no1, no2, delta, poll);
  return TableScan<false>(cache, route, fo, penalty_weight, fomin, memory, scratch).run(no1, no2, delta, poll);
}
