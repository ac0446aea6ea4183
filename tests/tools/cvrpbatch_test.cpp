// cvrpbatch run as a separate process. Its bookkeeping is tested with a
// stand-in for the program, a script that leaves at once the files of a run
// (a report by final_report and logs by log_progress, made here) and prints
// a console with a head, a long middle and a final report; one test runs the
// real program once (30 seconds).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/route.h"
#include "report/progress_log.h"
#include "report/report_reader.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

const fs::path kInstance = fs::path(CVRP_EXAMPLES_DIR) / "cmt1";

ToolOutcome batch(const std::string& args) { return run_tool(CVRPBATCH_BINARY, args); }

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string host() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (c == ',')
      fields.emplace_back();
    else
      fields.back() += c;
  }
  return fields;
}

// results.csv without its host and wall_seconds columns.
std::string without_host_and_time(const std::string& csv) {
  std::string kept;
  for (const std::string& line : split_lines(csv)) {
    std::vector<std::string> fields = fields_of(line);
    fields.erase(fields.begin() + 13, fields.begin() + 15);
    for (const std::string& field : fields) kept += field + ",";
    kept += "\n";
  }
  return kept;
}

// Two instance folders with CMT1's files (alpha with its best known .sol)
// and the stand-in, whose run for choice 1 finds CMT1's best known routes,
// for choice 3 nearly those, and for choice 2 keeps the overloaded initial
// Route. `fail_tabu` makes choice 2 fail with the program's message and
// choice 3 leave a report whose load is wrong.
class CvrpBatch : public ::testing::Test {
 protected:
  ScratchDir dir;
  SearchProblem cmt1 = cmt1_problem();

  void SetUp() override {
    for (const char* instance : {"alpha", "beta"}) {
      fs::create_directory(instance);
      for (const char* name : {"distancia.dat", "demanda.dat", "coordenadas.dat"})
        fs::copy_file(kInstance / name, fs::path(instance) / name);
    }
    fs::copy_file(kInstance / "CMT1.sol", "alpha/CMT1.sol");
  }

  Route best_routes(bool reversed_end) const {
    Route best = route_of(cmt1_best_trips());
    if (reversed_end) std::swap(best[53], best[54]);
    return best;
  }

  void leave_run(int choice, const Route& best, bool wrong_load = false) {
    const fs::path scratch = fs::current_path();
    fs::create_directories(scratch / "standin" / std::to_string(choice));
    fs::current_path(scratch / "standin" / std::to_string(choice));
    const float fomin = cmt1.objective(best);
    write_report(fomin, cmt1.demand, best, cmt1.matrix);
    if (wrong_load) {
      std::string report = read_file("solucao.dat");
      const std::size_t load = report.find("Carga[1] = ");
      write_file("solucao.dat", report.replace(load, report.find('\n', load) - load, "Carga[1] = 99"));
    }
    if (choice != 2) {
      ASSERT_TRUE(log_reset("fo_SA.out"));
      ASSERT_TRUE(log_progress("fo_SA.out", 0.0f, cmt1.fo, 0));
      ASSERT_TRUE(log_progress("fo_SA.out", 1.2f, choice == 1 ? fomin : 530.5f, 90000));
    }
    if (choice != 1) {
      ASSERT_TRUE(log_reset("fo_BT.out"));
      ASSERT_TRUE(log_progress("fo_BT.out", choice == 3 ? 1.51f : 0.0f, choice == 3 ? 530.5f : fomin, 0));
      if (choice == 3) {
        ASSERT_TRUE(log_progress("fo_BT.out", 7.25f, fomin, 4321));
      }
    }
    fs::current_path(scratch);
  }

  // Writes the stand-in and returns its path.
  std::string standin(bool fail_tabu = false) {
    leave_run(1, best_routes(false));
    leave_run(2, cmt1.current);
    leave_run(3, best_routes(true), fail_tabu);
    const std::string stars = std::string(80, '*') + "\n";
    write_file("standin/head.txt",
               "Minimo de caminhoes = 5\nFo = 181831.968750\nDigite 3 para usar o Hibrido\n"
               "Tecle enter para entrar no SIMULATED ANNEALING\n");
    write_file("standin/report.txt", stars + std::string(24, '*') + " RELATORIO FINAL " + std::string(39, '*') +
                                         "\nCaminhao[1] - Deposito --> 46 --> Deposito\n" + stars +
                                         "Tecle enter para encerrar o programa");
    const std::string folder = (fs::current_path() / "standin").string();
    write_file("standin/cvrp",
               "#!/bin/sh\nread choice\ncp '" + folder + "'/$choice/* .\ncat '" + folder + "/head.txt'\n" +
                   (fail_tabu ? "[ $choice = 2 ] && printf 'middle\\nO arquivo fo_BT.out nao pode ser aberto' && "
                                "exit 1\n"
                              : "") +
                   "seq -f 'iteracao %g' 300000\ncat '" + folder + "/report.txt'\n");
    fs::permissions("standin/cvrp", fs::perms::owner_exec, fs::perm_options::add);
    return folder + "/cvrp";
  }
};

TEST_F(CvrpBatch, RunsEachInstanceAndChoiceAndCollectsRowsThatAgreeWithTheReports) {
  const std::string program = standin();
  const ToolOutcome run = batch("run --choices 1,2,3 --out results --program " + program + " alpha beta");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(listing("results"), (std::set<std::string>{"alpha-1", "alpha-2", "alpha-3", "beta-1", "beta-2", "beta-3"}));
  EXPECT_EQ(listing("results/alpha-3"),
            (std::set<std::string>{"distancia.dat", "demanda.dat", "coordenadas.dat", "best-known.sol", "solucao.dat",
                                   "fo_SA.out", "fo_BT.out", "console.txt", "run.txt"}));
  EXPECT_FALSE(fs::exists("results/beta-1/best-known.sol"));
  std::size_t middle = 0;  // the bytes of seq's lines "iteracao N"
  for (int n = 1; n <= 300000; ++n) middle += 10 + std::to_string(n).size();
  const std::string console = read_file("results/beta-2/console.txt");
  EXPECT_TRUE(console.starts_with(read_file("standin/head.txt") + "[cvrpbatch: " + std::to_string(middle) +
                                  " bytes of the console left out]\n" + std::string(80, '*') + "\n"))
      << console.substr(0, 400);
  EXPECT_TRUE(console.ends_with(read_file("standin/report.txt")));
  const std::vector<std::string> record = split_lines(read_file("results/beta-2/run.txt"));
  ASSERT_EQ(record.size(), 11u);
  EXPECT_EQ(record[0] + record[1] + record[6] + record[7] + record[8] + record[9],
            "instance=betachoice=2exit_status=0status=okmessage=instance_folder=" + fs::absolute("beta").string());
  EXPECT_EQ(record[10], split_lines(read_file("results/alpha-1/run.txt"))[10]);  // the same instance files

  const ToolOutcome collected = batch("collect --best beta=600 results");
  EXPECT_EQ(collected.status, 0) << collected.errors;
  const std::vector<std::string> rows = split_lines(read_file("results/results.csv"));
  ASSERT_EQ(rows.size(), 7u);
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const std::vector<std::string> row = fields_of(rows[i]);
    SCOPED_TRACE(rows[i]);
    const fs::path folder = fs::path("results") / (row[0] + "-" + row[1]);
    ReportValues report;
    ASSERT_FALSE(read_report((folder / "solucao.dat").string(), report));
    EXPECT_EQ(row[2], "ok");
    EXPECT_EQ(row[3], report.objective_text);
    EXPECT_EQ(row[4], report.distance_text);
    EXPECT_EQ(row[6] + " " + row[7], std::to_string(report.trucks_used) + " " + std::to_string(report.min_trucks));
    EXPECT_EQ(row[11], row[0] == "alpha" ? "524.611" : "600");
    // Below beta's best known 600: choices 1 (524.61) and 3; choice 2 is overloaded.
    EXPECT_EQ(row[15], row[0] == "beta" && row[1] != "2" ? "below the best known cost 600 (a new best known or a fault)"
                                                          : "");
  }
  EXPECT_TRUE(rows[1].starts_with("alpha,1,ok,524.611206,524.611206,0,5,5,1.20,90000,moves,524.611,0.00,")) << rows[1];
  EXPECT_TRUE(has(rows[2], ",0.00,0,iterations,524.611,")) << rows[2];
  EXPECT_TRUE(has(rows[3], ",7.25,4321,iterations,")) << rows[3];  // the hybrid's tabu phase found its best
  const std::string summary = read_file("results/summary.md");
  EXPECT_TRUE(
      has(summary, "| 1 simulated annealing | 2 | 0 | 2 | 2 of 2 | -6.28% (2 instances) | 0.00% (2 instances) | 1 |"))
      << summary;
  EXPECT_TRUE(has(summary, "| 2 tabu search | 2 | 0 | 0 | 0 of 2 |")) << summary;
  for (const char* plot : {"alpha.png", "beta.png"})
    EXPECT_TRUE(read_file(fs::path("results/plots") / plot).starts_with("\x89PNG\r\n")) << plot;
  EXPECT_TRUE(has(read_file("results/plots/beta.svg"), "best known 600.00"));

  // Run folders that exist are skipped: an interrupted batch resumes.
  const ToolOutcome again = batch("run --choices 1,2,3 --out results --program " + program + " alpha beta");
  EXPECT_EQ(again.status, 0);
  EXPECT_TRUE(has(again.output, "6 runs: 6 ok, 0 failed, 6 of them skipped (done before)")) << again.output;

  // An instance file of a run folder edited after its run: a failed row.
  std::string demands = read_file("results/beta-1/demanda.dat");
  write_file("results/beta-1/demanda.dat", demands.replace(demands.find_first_of("123456789"), 1, "9"));
  ASSERT_EQ(batch("collect results").status, 0);
  const std::vector<std::string> edited = fields_of(split_lines(read_file("results/results.csv")).at(4));
  EXPECT_EQ(edited[0] + " " + edited[1] + " " + edited[2], "beta 1 failed");
  EXPECT_TRUE(has(edited.back(), "results/beta-1: its instance files are not those the run was given")) << edited.back();
}

TEST_F(CvrpBatch, JobsThroughXargsMakeTheRunFoldersOfRun) {
  const std::string program = standin();
  const auto arguments = [&](const std::string& out) {
    return "--choices 1,2,3 --out " + out + " --program " + program + " alpha beta";
  };
  ASSERT_EQ(batch("run " + arguments("by-run")).status, 0);
  const ToolOutcome jobs = batch("jobs " + arguments("by-jobs"));
  ASSERT_EQ(jobs.status, 0) << jobs.errors;
  const std::vector<std::string> lines = split_lines(jobs.output);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1], "'" CVRPBATCH_BINARY "' run --choices 2 --out '" + (fs::current_path() / "by-jobs").string() +
                          "' --program '" + program + "' '" + (fs::current_path() / "alpha").string() + "'");
  EXPECT_FALSE(fs::exists("by-jobs"));
  EXPECT_EQ(std::system("xargs -d '\\n' -P 2 -I{} sh -c {} <stdout.txt >/dev/null"), 0);
  ASSERT_EQ(batch("collect by-run").status, 0);
  ASSERT_EQ(batch("collect by-jobs").status, 0);
  EXPECT_EQ(without_host_and_time(read_file("by-jobs/results.csv")),
            without_host_and_time(read_file("by-run/results.csv")));
}

TEST_F(CvrpBatch, FailedRunsAreRecordedAndTheBatchGoesOn) {
  const std::string program = standin(true);
  const ToolOutcome run = batch("run --choices 1,2,3 --out results --program " + program + " alpha");
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(has(run.errors, "alpha-2: failed: O arquivo fo_BT.out nao pode ser aberto\n")) << run.errors;
  EXPECT_TRUE(has(read_file("results/alpha-2/run.txt"), "exit_status=1\nstatus=failed\n"));
  const std::string checked = read_file("results/alpha-3/run.txt");
  EXPECT_TRUE(
      has(checked, "exit_status=0\nstatus=failed\nmessage=" + (fs::current_path() / "results/alpha-3").string() +
                       "/solucao.dat:16: Carga[1] = 99, but"))
      << checked;
  // A report edited after its run is refused by collect.
  std::string report = read_file("results/alpha-1/solucao.dat");
  write_file("results/alpha-1/solucao.dat", report.replace(report.find("46 --> 5 --> "), 13, "5 --> 46 --> "));
  ASSERT_EQ(batch("collect results").status, 0);
  const std::vector<std::string> rows = split_lines(read_file("results/results.csv"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_TRUE(rows[1].starts_with("alpha,1,failed,,,,,,,,,524.611,," + host() + ",")) << rows[1];
  EXPECT_TRUE(has(rows[1], "results/alpha-1/solucao.dat:6: total distance 524.611206, but the trips give")) << rows[1];
  EXPECT_TRUE(rows[2].ends_with(",O arquivo fo_BT.out nao pode ser aberto")) << rows[2];
  EXPECT_TRUE(has(read_file("results/summary.md"), "| 3 hybrid | 1 | 1 | 0 | 0 of 1 | - | - |"));

  // Stopped by a signal, the batch ends its run and leaves no run folder.
  write_file("sleeper", "#!/bin/sh\nexec sleep 20\n");
  fs::permissions("sleeper", fs::perms::owner_exec, fs::perm_options::add);
  EXPECT_EQ(std::system(("timeout --preserve-status -s TERM 1 '" CVRPBATCH_BINARY
                         "' run --choices 1 --out stopped --program sleeper "
                         "alpha >/dev/null 2>&1")),
            (128 + SIGTERM) << 8);
  EXPECT_EQ(listing("stopped"), std::set<std::string>{});
}

TEST_F(CvrpBatch, BadArgumentsAreRefusedBeforeAnythingIsWritten) {
  const std::string program = standin();
  fs::create_directory("empty");
  fs::create_directories("other/alpha");
  for (const char* name : {"distancia.dat", "demanda.dat"})
    fs::copy_file(kInstance / name, fs::path("other/alpha") / name);
  write_file("file", "");
  // Each command line and a part of its message.
  const std::pair<std::string, std::string> cases[] = {
      {"--choices 1 --out results empty", "cvrpbatch: empty: no readable distancia.dat"},
      {"--choices 1,4 --out results alpha", "cvrpbatch: --choices 1,4: \"4\" is not a menu choice"},
      {"--choices 1 --out file/results alpha", "cvrpbatch: --out file/results: cannot be made:"},
      {"--choices 1 --out results alpha other/alpha", "cvrpbatch: two instance folders named alpha"},
      {"--choices 1 --out results dangling", "dangling/coordenadas.dat: cannot read: No such file or directory"},
      {"--choices 1 --out results \"$NEWLINE\"", "/new?line: a path holding a control character"},
      {"--choices 1 --out \"$NEWLINE\" alpha", "--out " + fs::current_path().string() + "/new?line: a path holding"},
      {"--choices 1 --timeout 0 --out results alpha", "--timeout 0: not a whole number of seconds"},
  };
  fs::copy("beta", "dangling", fs::copy_options::recursive);
  fs::remove("dangling/coordenadas.dat");
  fs::create_symlink("nowhere", "dangling/coordenadas.dat");
  setenv("NEWLINE", "new\nline", 1);
  for (const auto& [args, message] : cases)
    for (const std::string subcommand : {"run ", "jobs "}) {
      SCOPED_TRACE(subcommand + args);
      const ToolOutcome outcome = batch(subcommand + args);
      EXPECT_EQ(outcome.status, 1);
      EXPECT_TRUE(outcome.errors.starts_with("cvrpbatch: ") && has(outcome.errors, message)) << outcome.errors;
      EXPECT_EQ(outcome.errors.find('\n'), outcome.errors.size() - 1) << "one line";
      EXPECT_EQ(outcome.output, "");
      EXPECT_FALSE(fs::exists("results"));
    }
  EXPECT_EQ(batch("collect alpha").status, 1);  // no run folder
  for (const char* wrong : {"", "walk", "run --choices 1 alpha", "run --bogus", "collect a b"}) {
    const ToolOutcome outcome = batch(wrong);
    EXPECT_EQ(outcome.status, 2) << wrong;
    EXPECT_TRUE(has(outcome.errors, "usage: cvrpbatch run")) << wrong;
  }
  const ToolOutcome help = batch("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(has(help.output, "wall-clock")) << help.output;
}

TEST_F(CvrpBatch, RunsKnowTheirInstanceAndTheirTimeLimit) {
  const std::string program = standin();
  const std::string runs = " --program " + program + " --choices 1 --out results ";
  ASSERT_EQ(batch("run" + runs + "alpha").status, 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(fs::status("results/alpha-1").permissions(), static_cast<fs::perms>(0777 & ~mask));

  // Another instance under a done run's name is refused before anything
  // runs, naming both folders; the same instance is skipped.
  fs::create_directory("other");
  fs::copy("alpha", "other/alpha", fs::copy_options::recursive);
  fs::remove("other/alpha/coordenadas.dat");
  const ToolOutcome refused = batch("run" + runs + "other/alpha");
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(has(refused.errors, "results/alpha-1 holds a run of " + fs::absolute("alpha").string() + ", not of " +
                                      fs::absolute("other/alpha").string()))
      << refused.errors;
  EXPECT_TRUE(has(batch("run" + runs + "alpha").output, "alpha-1: exists (ok), skipped"));
  // Copied in from elsewhere, its run is refused by collect.
  ASSERT_EQ(batch("run --program " + program + " --choices 2 --out elsewhere other/alpha").status, 0);
  fs::create_directory("mixed");
  fs::copy("elsewhere/alpha-2", "mixed/alpha-2", fs::copy_options::recursive);
  fs::copy("results/alpha-1", "mixed/alpha-1", fs::copy_options::recursive);
  const ToolOutcome mixed = batch("collect mixed");
  EXPECT_EQ(mixed.status, 1);
  EXPECT_TRUE(has(mixed.errors, "mixed/alpha-1 and mixed/alpha-2 hold runs of two different instances named alpha"));

  // collect names a copied run folder and a folder that is no run, and counts neither.
  fs::copy("results/alpha-1", "results/alpha-1.bak", fs::copy_options::recursive);
  fs::create_directory("results/notes");
  const ToolOutcome collected = batch("collect results");
  EXPECT_TRUE(has(collected.output, "cvrpbatch: 1 run (0 failed) of 1 instance")) << collected.output;
  EXPECT_EQ(collected.errors,
            "cvrpbatch: note: results/notes: not a run folder (no run.txt), left out\ncvrpbatch: note: "
            "results/alpha-1.bak: a second run of instance alpha, choice 1 (beside results/alpha-1), left out\n");

  // --best splits at the last '=': a name may hold one.
  fs::rename("beta", "a=b");
  ASSERT_EQ(batch("run" + runs + "a=b").status, 0);
  ASSERT_EQ(batch("collect --best a=b=600 results").status, 0);
  EXPECT_TRUE(has(read_file("results/results.csv"), "\na=b,1,ok,524.611206,524.611206,0,5,5,1.20,90000,moves,600,"));

  // A run past its limit is ended and recorded as failed; a process left
  // holding the console does not hold up the batch.
  write_file("hang", "#!/bin/sh\nexec sleep 600\n");
  write_file("leave", "#!/bin/sh\nsleep 600 &\nexec '" + program + "'\n");
  for (const char* script : {"hang", "leave"}) fs::permissions(script, fs::perms::owner_exec, fs::perm_options::add);
  EXPECT_EQ(batch("run --choices 1 --timeout 1 --out limited --program hang alpha").status, 1);
  EXPECT_TRUE(has(read_file("limited/alpha-1/run.txt"), "status=failed\nmessage=timed out after 1 s\n"));
  // Resumed, the batch counts the run that timed out as failed.
  const ToolOutcome resumed = batch("run --choices 1 --timeout 1 --out limited --program hang alpha");
  EXPECT_EQ(resumed.status, 1);
  EXPECT_TRUE(has(resumed.output, "alpha-1: exists (failed), skipped")) << resumed.output;
  EXPECT_TRUE(has(resumed.output, "1 run: 0 ok, 1 failed, 1 of them skipped (done before)")) << resumed.output;
  EXPECT_EQ(batch("run --choices 1 --out left --program leave alpha").status, 0);
}

// The real program, once: choice 1 on the bundled instance (30 seconds).
TEST(CvrpBatchSlow, RunsTheRealProgramAndCollectsItsRun) {
  ScratchDir scratch;
  const ToolOutcome run = batch("run --choices 1 --out results " + kInstance.string());
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(has(read_file("results/cmt1-1/run.txt"), "exit_status=0\nstatus=ok\n"));
  const std::string console = read_file("results/cmt1-1/console.txt");
  EXPECT_TRUE(console.starts_with("Minimo de caminhoes = 5\nFo = 181831.968750\n")) << console;
  EXPECT_TRUE(has(console, "Tecle enter para entrar no SIMULATED ANNEALING\n[cvrpbatch: ")) << console;
  EXPECT_TRUE(has(console, " RELATORIO FINAL ")) << console;
  EXPECT_TRUE(console.ends_with("Tecle enter para encerrar o programa")) << console;
  ASSERT_EQ(batch("collect results").status, 0);
  ReportValues report;
  ASSERT_FALSE(read_report("results/cmt1-1/solucao.dat", report));
  const std::vector<std::string> row = fields_of(split_lines(read_file("results/results.csv")).at(1));
  EXPECT_EQ(row[0] + " " + row[1] + " " + row[2] + " " + row[3], "cmt1 1 ok " + report.objective_text);
  EXPECT_EQ(row[10] + " " + row[11], "moves 524.611");
}

}  // namespace
