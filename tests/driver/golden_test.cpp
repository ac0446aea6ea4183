// The whole program, in-process, against files it wrote before: for each menu
// choice on the bundled instance, the console, both logs and solucao.dat,
// byte for byte. A counting clock (a fixed step per reading) ends each run
// after a known number of cooling schedules or tabu restarts, so the times
// printed and logged are fixed too. Any change of a draw, of the order of the
// additions in a Route's distance or of a printed format shows here.
//
// The expected consoles are gzip files (a tabu search prints three lines per
// iteration); on a difference the run's files are kept in the build folder
// for a diff. CVRP_UPDATE_GOLDEN=1 writes the expected files anew.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "driver/run.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

const fs::path kExpected = golden_folder();

ClockTicks now = 0;
ClockTicks step = 0;
ClockTicks counting_clock() { return now += step; }

// Runs the program with `choice` typed at the menu and the clock advancing
// `ms` per reading, in a child process; returns its exit status.
int run_choice(int choice, ClockTicks ms) {
  write_file("in.txt", std::to_string(choice) + "\n\n\n");
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    const int in = open("in.txt", O_RDONLY);
    const int out = open("console.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    step = ms;
    set_clock_source(counting_clock);
    std::exit(run_program());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Golden {
  int choice;
  ClockTicks step;  // ms per clock reading
  const char* name;
  friend void PrintTo(const Golden& golden, std::ostream* out) { *out << golden.name; }
};

class ProgramGolden : public ::testing::TestWithParam<Golden> {};

TEST_P(ProgramGolden, PrintsAndWritesWhatItDidBefore) {
  const Golden golden = GetParam();
  ScratchDir dir;
  for (const char* file : {"distancia.dat", "demanda.dat"})
    fs::copy_file(fs::path(CVRP_EXAMPLES_DIR) / "cmt1" / file, file);
  ASSERT_EQ(run_choice(golden.choice, golden.step), 0);

  const fs::path expected = kExpected / golden.name;
  if (std::getenv("CVRP_UPDATE_GOLDEN") != nullptr) {
    fs::create_directories(expected);
    ASSERT_EQ(std::system(("gzip -9n <console.txt >'" + (expected / "console.txt.gz").string() + "'").c_str()), 0);
    for (const char* file : {"fo_SA.out", "fo_BT.out", "solucao.dat"}) {
      fs::remove(expected / file);
      if (fs::exists(file)) fs::copy_file(file, expected / file);
    }
    GTEST_SKIP() << "expected files written to " << expected;
  }

  bool same = gunzipped(expected / "console.txt.gz") == read_file("console.txt");
  EXPECT_TRUE(same) << "the console differs";
  for (const char* file : {"fo_SA.out", "fo_BT.out", "solucao.dat"}) {
    ASSERT_EQ(fs::exists(file), fs::exists(expected / file)) << file;
    const bool file_same = read_file(file) == read_file(expected / file);
    EXPECT_TRUE(file_same) << file << " differs";
    same = same && file_same;
  }
  if (!same) {
    const fs::path kept = fs::path(CVRP_BUILD_DIR) / ("golden-" + std::string(golden.name));
    fs::remove_all(kept);
    fs::copy(dir.path(), kept);
    ADD_FAILURE() << "this run's files are in " << kept;
  }
}

// Six cooling schedules; three restarts of the tabu search; the hybrid's one
// schedule, then two tabu restarts.
INSTANTIATE_TEST_SUITE_P(EachChoice, ProgramGolden,
                         ::testing::Values(Golden{1, 150, "annealing"}, Golden{2, 230, "tabu"},
                                           Golden{3, 158, "hybrid"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
