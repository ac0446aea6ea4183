// The whole program in-process, on the bundled instance, with standard
// streams closed or failing. A clock that jumps 31 s at every reading ends
// each search at its first chance (one cooling schedule, or the tabu search's
// first restart), so a run takes a fraction of a second. Each run is a death
// test: it closes descriptors and ends the process.
#include "driver/run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

ClockTicks jumping_clock() {
  static ClockTicks now = 0;
  return now += 31000;
}

// Runs the program with `input` on standard input, after `streams` has
// arranged the standard descriptors, and ends the process with its status.
template <class Streams>
[[noreturn]] void run_with(const char* input, Streams streams) {
  write_file("in.txt", input);
  const int in = open("in.txt", O_RDONLY);
  dup2(in, STDIN_FILENO);
  close(in);
  std::fflush(stdout);
  streams();
  set_clock_source(jumping_clock);
  std::exit(run_program());
}

void redirect(int fd, const char* path) {
  const int opened = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(opened, fd);
  close(opened);
}

class RunStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"distancia.dat", "demanda.dat"})
      fs::copy_file(fs::path(CVRP_EXAMPLES_DIR) / "cmt1" / name, name);
  }

  // The report file and the logs hold what they hold in any run: the file's
  // own report and nothing of the console, and log lines only.
  void expect_files_intact(const char* log) const {
    const std::string report = read_file("solucao.dat");
    EXPECT_TRUE(report.starts_with(std::string(35, '*') + " RELATORIO FINAL ")) << report.substr(0, 200);
    EXPECT_TRUE(report.ends_with(std::string(96, '*') + "\n\n\n")) << report.substr(report.size() - 200);
    for (const char* console : {"Minimo", "Digite", "Tecle", "Fomin", "Tempo", "melhor delta"})
      EXPECT_EQ(report.find(console), std::string::npos) << console;
    EXPECT_GE(read_log(log).size(), 1u);  // a line that is not a log record fails the test
  }

  ScratchDir dir;
};

constexpr const char* kConsoleLost = "^A saida padrao nao pode ser escrita\\.\n$";

TEST_F(RunStreams, ClosedStandardOutputNeverReachesTheFilesAndFailsTheRun) {
  EXPECT_EXIT(run_with("1\n\n\n", [] { close(STDOUT_FILENO); }), ::testing::ExitedWithCode(1), kConsoleLost);
  expect_files_intact("fo_SA.out");
}

TEST_F(RunStreams, FullConsoleFailsTheRunAfterItsFiles) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  EXPECT_EXIT(run_with("2\n\n\n", [] { redirect(STDOUT_FILENO, "/dev/full"); }), ::testing::ExitedWithCode(1),
              kConsoleLost);
  expect_files_intact("fo_BT.out");
}

// A report file that cannot be opened fails the run with its message, after
// the whole report on the console.
TEST_F(RunStreams, UnopenableReportFileFailsTheRunAfterTheConsoleReport) {
  fs::create_directory("solucao.dat");
  EXPECT_EXIT(run_with("1\n\n\n", [] { dup2(STDERR_FILENO, STDOUT_FILENO); }), ::testing::ExitedWithCode(1),
              "Carga\\[[0-9]+\\] = [0-9]+\n\\*{80}\n\nO arquivo solucao\\.dat nao pode ser aberto$");
}

}  // namespace
