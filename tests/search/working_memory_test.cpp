// Working storage that cannot be had is reported as a result, never through
// an uncaught exception; the program turns it into its out-of-memory message
// and status 1.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "driver/run.h"
#include "model/instance.h"
#include "model/route_cache.h"
#include "search/annealing.h"
#include "search/tabu_memory.h"
#include "search/tabu_scan.h"
#include "search/tabu_search.h"
#include "support/allocation_limit.h"
#include "support/test_support.h"

namespace {

using namespace testing_support;

// `body()` with no request of `limit` bytes or more granted.
template <class Body>
auto without_memory(std::size_t limit, Body body) {
  set_allocation_limit(limit);
  const auto result = body();
  set_allocation_limit(std::numeric_limits<std::size_t>::max());
  return result;
}

TEST(WorkingMemory, EachStructureReportsStorageItCannotHave) {
  ScratchDir dir;
  SearchProblem p = random_problem(12, 3, 60);
  const int length = p.length();
  RouteCache cache;
  ScanScratch scratch;
  TabuMemory memory;
  EXPECT_FALSE(without_memory(1, [&] { return cache_prepare(cache, p.matrix, p.demand, length, 160, p.current); }));
  ASSERT_TRUE(cache_prepare(cache, p.matrix, p.demand, length, 160, p.current));
  EXPECT_FALSE(without_memory(1, [&] { return scan_prepare(scratch, cache); }));
  EXPECT_FALSE(without_memory(1, [&] { return memory_prepare(memory, length); }));
  ASSERT_TRUE(memory_prepare(memory, length));
  EXPECT_FALSE(without_memory(1, [&] { return memory_append(memory, position_swap(1, 2)); }));
  EXPECT_EQ(memory.length, 0);

  // The cache of so small an instance fits; the annealing's table of
  // thresholds (10000 floats) does not, nor the tabu search's counts of pairs 100 bytes.
  SearchOutput silent;
  Settings settings = program_settings(12);
  settings.time_limit = 0.0f;
  const Instance instance = p.instance();
  SearchState state{0, p.current, p.best, p.fo, p.fomin, 0, 0};
  EXPECT_EQ(without_memory(40000, [&] { return simulated_annealing(instance, settings, state, silent); }),
            SearchEnd::out_of_memory);
  EXPECT_EQ(without_memory(100, [&] { return tabu_search(instance, settings, state, silent); }),
            SearchEnd::out_of_memory);

  // The input text, read whole (its message itself still fits).
  write_file("distancia.dat", std::string(100000, '\n') + "0, 1, 2.5\n");
  DistanceMatrix matrix = make_matrix(12, {});
  EXPECT_EQ(without_memory(10000, [&] { return load_distances("distancia.dat", matrix); }),
            shortage_message(kWorkingShortage));
}

TEST(WorkingMemoryDeathTest, TheProgramEndsWithItsOutOfMemoryMessage) {
  ScratchDir dir;
  for (const char* name : {"distancia.dat", "demanda.dat"})
    std::filesystem::copy_file(std::filesystem::path(CVRP_EXAMPLES_DIR) / "cmt1" / name, name);
  EXPECT_EXIT(
      {
        stdout_to_stderr();
        RunState run;
        set_up_run(run);
        ProgramOutput output;
        set_allocation_limit(40000);  // the annealing's table of thresholds does not fit
        run_search(1, run, output);
        std::exit(0);
      },
      ::testing::ExitedWithCode(1),
      "Tecle enter para entrar no SIMULATED ANNEALING\n\n \\*{6} Falta memoria para alocar as estruturas de "
      "trabalho \\*{6}\n\\.\\.\\. Saindo do sistema \\.\\.\\.\n$");
}

}  // namespace
