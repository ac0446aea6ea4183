// Working storage that cannot be had ends the run through the program's
// out-of-memory message and status 1, never through an uncaught exception.
#include <gtest/gtest.h>

#include <string>

#include "model/instance.h"
#include "model/swap_evaluation.h"
#include "search/annealing.h"
#include "search/tabu_scan.h"
#include "support/allocation_limit.h"
#include "support/test_support.h"

namespace {

using namespace testing_support;

const char* const kOutOfMemory =
    "^\n \\*{6} Falta memoria para alocar as estruturas de trabalho \\*{6}\n\\.\\.\\. Saindo do sistema \\.\\.\\.\n$";

// Runs `body` with standard output on standard error (which the death test
// matches) and no request of `limit` bytes or more granted.
template <class Body>
void without_memory(std::size_t limit, Body body) {
  stdout_to_stderr();
  set_allocation_limit(limit);
  body();
}

TEST(WorkingMemoryDeathTest, EachStructureEndsTheRunWithTheOutOfMemoryMessage) {
  ScratchDir dir;
  SearchProblem p = random_problem(12, 3, 60);
  const int length = p.length();
  RouteCache cache;
  ScanScratch scratch;
  EXPECT_EXIT(without_memory(1, [&] { cache_prepare(cache, p.matrix, p.demand, length, 160, p.current); }),
              ::testing::ExitedWithCode(1), kOutOfMemory);
  EXPECT_EXIT(without_memory(1, [&] { scan_prepare(scratch, length); }), ::testing::ExitedWithCode(1),
              kOutOfMemory);
  // The cache of so small an instance fits; the annealing's table of
  // thresholds (10000 floats) does not.
  EXPECT_EXIT(without_memory(40000,
                             [&] {
                               simulated_annealing(0.0f, 10000.0f, 0.97f, 1, length, p.current, p.fo, p.matrix, 12,
                                                   1000, 160, p.demand, p.fomin, p.best, 0);
                             }),
              ::testing::ExitedWithCode(1), kOutOfMemory);
  // The input text, read whole.
  write_file("distancia.dat", std::string(100, '\n') + "0, 1, 2.5\n");
  DistanceMatrix matrix = alloc_matrix(13, 13);
  EXPECT_EXIT(without_memory(1, [&] { read_distances("distancia.dat", matrix); }), ::testing::ExitedWithCode(1),
              kOutOfMemory);
}

}  // namespace
