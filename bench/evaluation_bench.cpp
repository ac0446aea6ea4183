// Micro-benchmarks of one swap's evaluation on the bundled instance: the
// whole Route (distance and excess passes) against the cached pieces.
//
//   evaluation_bench [--benchmark_filter=...]   (run from the repository root)
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "model/instance.h"
#include "model/random.h"
#include "model/route.h"
#include "model/route_cache.h"
#include "model/swap_evaluation.h"

namespace {

struct Bundled {
  DistanceMatrix matrix;
  DemandVector demand;
  Route route = Route(56, 0);
  std::vector<std::pair<int, int>> pairs;  // random interior pairs i < j of different entries

  Bundled() {
    Instance cmt1;
    if (load_dat_instance("examples/cmt1", 50, 160, 1000, cmt1)) std::abort();
    matrix = std::move(cmt1.matrix);
    demand = std::move(cmt1.demand);
    seed_random(19000);
    Route best(56, 0);
    build_initial_route(demand, 56, route, 50, best);
    std::mt19937 engine(1);
    while (pairs.size() < 4096) {
      const int i = 1 + static_cast<int>(engine() % 54);
      const int j = 1 + static_cast<int>(engine() % 54);
      if (i < j && route[static_cast<std::size_t>(i)] != route[static_cast<std::size_t>(j)]) pairs.emplace_back(i, j);
    }
  }
};

Bundled& bundled() {
  static Bundled instance;
  return instance;
}

void WholeRoute(benchmark::State& state) {
  Bundled& b = bundled();
  std::size_t k = 0;
  for (auto _ : state) {
    const auto [i, j] = b.pairs[k++ % b.pairs.size()];
    swap_positions(i, j, b.route);
    benchmark::DoNotOptimize(route_distance(56, b.matrix, b.route));
    benchmark::DoNotOptimize(capacity_excess(56, 160, b.route, b.demand));
    swap_positions(i, j, b.route);
  }
}
BENCHMARK(WholeRoute);

// One swap a round through a cache of the bundled Route.
template <typename Evaluate>
void cached_rounds(benchmark::State& state, Evaluate evaluate) {
  Bundled& b = bundled();
  RouteCache cache;
  if (!cache_prepare(cache, b.matrix, b.demand, 56, 160, b.route)) std::abort();
  std::size_t k = 0;
  for (auto _ : state) {
    const auto [i, j] = b.pairs[k++ % b.pairs.size()];
    benchmark::DoNotOptimize(swapped_excess(cache, b.route, i, j));
    benchmark::DoNotOptimize(evaluate(cache, b.route, i, j));
  }
}

// The bounds a search tests first, and the exact distance it falls back on.
void CachedBounds(benchmark::State& state) {
  cached_rounds(state, [](RouteCache& c, const Route& r, int i, int j) { return approximate_swapped_distance(c, r, i, j); });
}
BENCHMARK(CachedBounds);
void CachedExact(benchmark::State& state) {
  cached_rounds(state, [](RouteCache& c, const Route& r, int i, int j) { return swapped_distance(c, r, i, j); });
}
BENCHMARK(CachedExact);

}  // namespace

BENCHMARK_MAIN();
