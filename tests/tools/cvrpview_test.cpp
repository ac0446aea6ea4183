// cvrpview run as a separate process on a run folder whose report and logs
// come from the program's own writers (final_report, log_progress), so no
// 30-second solver run is needed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "model/route.h"
#include "report/progress_log.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

const fs::path kInstance = fs::path(CVRP_EXAMPLES_DIR) / "cmt1";
const char* const kOutputs[] = {"solucao.sol", "rotas.svg", "rotas.png", "progresso.svg", "progresso.png"};

// Runs cvrpview from the scratch folder (its console kept outside "run").
ToolOutcome view(const std::string& args) { return run_tool(CVRPVIEW_BINARY, args); }

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// CMT1's best known routes (examples/cmt1/CMT1.sol), 524.61, as a hybrid run
// would leave them in folder "run": the instance, the report and both logs,
// the tabu log starting where the annealing log ends.
class CvrpView : public ::testing::Test {
 protected:
  ScratchDir dir;
  SearchProblem cmt1 = cmt1_problem();
  const std::vector<std::vector<int>> routes = cmt1_best_trips();

  void SetUp() override {
    fs::create_directory("run");
    for (const char* name : {"distancia.dat", "demanda.dat", "coordenadas.dat"})
      fs::copy_file(kInstance / name, fs::path("run") / name);
  }

  // Writes the report of `best` and logs that end at its objective.
  void leave_run(const Route& best) {
    const int excess = capacity_excess(56, 160, best, cmt1.demand);
    const float fomin = objective_value(1000 * excess, route_distance(56, cmt1.matrix, best));
    fs::current_path("run");
    write_report(fomin, cmt1.demand, best, cmt1.matrix);
    ASSERT_TRUE(log_reset("fo_SA.out"));
    ASSERT_TRUE(log_progress("fo_SA.out", 0.0f, 181831.97f, 0));
    ASSERT_TRUE(log_progress("fo_SA.out", 0.9f, 600.25f, 120000));
    ASSERT_TRUE(log_reset("fo_BT.out"));
    ASSERT_TRUE(log_progress("fo_BT.out", 1.51f, 600.25f, 0));
    ASSERT_TRUE(log_progress("fo_BT.out", 4.2f, fomin, 25000));
    fs::current_path("..");
  }
};

TEST_F(CvrpView, WritesTheSolutionFileAndBothPictures) {
  leave_run(route_of(routes));
  const ToolOutcome outcome = view("--best " + (kInstance / "CMT1.sol").string() + " run");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.errors, "");
  EXPECT_EQ(read_file("run/solucao.sol"),
            "Route #1: 46 5 49 10 39 33 45 15 44 37 12\nRoute #2: 11 2 29 21 16 50 34 30 9 38\n"
            "Route #3: 8 26 31 28 3 36 35 20 22 1 32\nRoute #4: 27 48 23 7 43 24 25 14 6\n"
            "Route #5: 18 13 41 40 19 42 17 4 47\nCost 524.61\n");
  for (const char* picture : {"rotas.png", "progresso.png"})
    EXPECT_TRUE(read_file(fs::path("run") / picture).starts_with("\x89PNG\r\n")) << picture;
  const std::string map = read_file("run/rotas.svg");
  EXPECT_NE(map.find("Truck 5: 9 customers, load 157"), std::string::npos);
  const std::string progress = read_file("run/progresso.svg");
  EXPECT_NE(progress.find("tabu search starts"), std::string::npos);
  EXPECT_NE(progress.find("gap 0.00% to best known 524.61"), std::string::npos);
  EXPECT_EQ(listing("run").size(), 3u + 1u + 2u + 5u);  // instance, report, logs, outputs
}

// An overloaded solution (the first two trips as one, load 319) on a folder
// without coordinates: still written, with a warning, and the map is laid
// out from the distances.
TEST_F(CvrpView, OverloadedSolutionIsWrittenWithAWarning) {
  std::vector<std::vector<int>> merged{routes[0]};
  merged[0].insert(merged[0].end(), routes[1].begin(), routes[1].end());
  merged.insert(merged.end(), routes.begin() + 2, routes.end());
  leave_run(route_of(merged));
  fs::remove("run/coordenadas.dat");
  const ToolOutcome outcome = view("run");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.errors,
            "cvrpview: warning: the solution overloads its trucks by 159 units in all; solucao.sol is written all the "
            "same\n");
  EXPECT_TRUE(read_file("run/solucao.sol").starts_with("Route #1: 46 5 49 10 39 33 45 15 44 37 12 11 2 29 21 16 50"));
  EXPECT_NE(read_file("run/rotas.svg").find("laid out from the distance matrix"), std::string::npos);
}

TEST_F(CvrpView, RefusedFoldersGetAMessageAndNoFile) {
  leave_run(route_of(routes));
  const std::string report = read_file("run/solucao.dat");
  const std::string tabu_log = read_file("run/fo_BT.out");
  const std::string annealing_log = read_file("run/fo_SA.out");
  const struct {
    const char* name;
    std::function<void()> damage;
    const char* message;
  } cases[] = {
      {"no report", [] { fs::remove("run/solucao.dat"); }, "cvrpview: run/solucao.dat: cannot read"},
      {"no logs", [] { fs::remove("run/fo_SA.out"); fs::remove("run/fo_BT.out"); }, "cvrpview: run: no progress log"},
      {"logs of another run", [] { fs::remove("run/fo_BT.out"); }, "not from this report's run"},
  };
  const std::set<std::string> before = listing("run");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.damage();
    const ToolOutcome outcome = view("run");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.errors.starts_with("cvrpview: ")) << outcome.errors;
    EXPECT_NE(outcome.errors.find(c.message), std::string::npos) << outcome.errors;
    EXPECT_EQ(outcome.errors.find('\n'), outcome.errors.size() - 1) << "one line";
    for (const char* output : kOutputs) EXPECT_FALSE(fs::exists(fs::path("run") / output)) << output;
    // Put the folder back together for the next case.
    write_file("run/solucao.dat", report);
    write_file("run/fo_SA.out", annealing_log);
    write_file("run/fo_BT.out", tabu_log);
    EXPECT_EQ(listing("run"), before);
  }

  for (const char* wrong : {"--bogus run", "run other", "--best", "--best -3 run", "--best nan run"}) {
    const ToolOutcome outcome = view(wrong);
    EXPECT_EQ(outcome.status, 2) << wrong;
    EXPECT_NE(outcome.errors.find("usage: cvrpview"), std::string::npos) << wrong;
  }
  EXPECT_EQ(listing("run"), before);
}

// Hostile names and inputs, each on a copy of a viewed run: a picture and no
// command run, or a message naming the file with the earlier outputs kept.
TEST_F(CvrpView, HostileNamesAndInputsGiveAPictureOrAMessageNeverACommand) {
  leave_run(route_of(routes));
  ASSERT_EQ(view("run").status, 0);
  const std::string scratch = fs::current_path().string();
  const std::string odd_sol = "b\xff\x01\n'q.sol";
  fs::copy_file(kInstance / "CMT1.sol", odd_sol);
  setenv("SOL", odd_sol.c_str(), 1);
  fs::create_directory("fake");
  write_file("fake/gnuplot", "#!/bin/sh\nexit 0\n");  // writes no picture
  fs::permissions("fake/gnuplot", fs::perms::owner_exec, fs::perm_options::add);
  const std::string path = getenv("PATH");
  const auto coordinates = [](const std::function<double(double)>& moved) {
    std::string text;
    for (const std::string& line : split_lines(read_file(kInstance / "coordenadas.dat"))) {
      double x = 0.0, y = 0.0;
      int node = 0;
      std::sscanf(line.c_str(), "%d, %lf, %lf", &node, &x, &y);
      text += std::to_string(node) + ", " + std::to_string(moved(x)) + ", " + std::to_string(moved(y)) + "\n";
    }
    write_file("case/coordenadas.dat", text);
  };
  // The run's annealing log and a tabu log of an earlier run, both ending at
  // the report's objective, the tabu log older by `age`.
  const auto stale_tabu_log = [&](std::chrono::seconds age) {
    for (const char* log : {"case/fo_SA.out", "case/fo_BT.out"}) {
      EXPECT_TRUE(log_reset(log) && log_progress(log, 0.0f, 181831.97f, 0) &&
                  log_progress(log, 2.5f, cmt1.objective(route_of(routes)), 900));
    }
    fs::last_write_time("case/fo_BT.out", fs::last_write_time("case/fo_SA.out") - age);
  };
  const struct {
    std::string folder;
    std::function<void()> change;
    std::string args;  // before the folder
    int status;
    std::string expected;  // in the message, or in the picture
    const char* picture;
  } cases[] = {
      {"r\n!touch " + scratch + "/PWNED\nx", [] {}, "", 0, "Truck 5: 9 customers", "rotas.svg"},
      {"case", [] {}, "--best \"$SOL\"", 0, "best known 524.61 (b\xef\xbf\xbd\\x01\\n'q.sol)", "progresso.svg"},
      {"case", [] {}, "--best 5e-324", 0, "gap above 1e+308% to best known", "progresso.svg"},
      {"case", [] {}, "--best 1e308", 0, "gap -100.00% to best known", "progresso.svg"},
      {"case", [] {}, "--best 524.62", 0, "gap -0.00% to best known 524.62 (below it", "progresso.svg"},
      {"case", [] { write_file("wrong.sol", "Route #1: 1 2 3 4\nCost 50\n"); }, "--best wrong.sol", 1,
       "cvrpview: wrong.sol: not a solution of the instance: customer 5 is in no route", nullptr},
      {"case", [&] { coordinates([](double v) { return v + 1e12; }); }, "", 0, "Drawn as x - 1e+12 and y - 1e+12",
       "rotas.svg"},
      {"case", [&] { coordinates([](double v) { return v > 35 ? 1.7e308 : -1.7e308; }); }, "", 0,
       "Drawn as (x + 1.7e+308) / 1e306 and (y + 1.7e+308) / 1e306", "rotas.svg"},
      {"case", [&] { stale_tabu_log(std::chrono::hours(1)); }, "", 0, "Simulated annealing run", "progresso.svg"},
      {"case", [&] { stale_tabu_log(std::chrono::seconds(0)); }, "", 1,
       "case/fo_SA.out and case/fo_BT.out both end at the report's objective and neither tells", nullptr},
      {"case", [] {}, "--best .", 1, "cvrpview: .: cannot read: a folder, not a file", nullptr},
      {"case", [] { fs::remove("case/fo_BT.out"), fs::create_symlink("/dev/zero", "case/fo_BT.out"); }, "", 1,
       "case/fo_BT.out: cannot read: not a regular file", nullptr},
      {"case", [] { fs::remove("case/progresso.png"), fs::create_directory("case/progresso.png"); }, "", 1,
       "cannot write case/progresso.png: it is a folder", nullptr},
      {"case", [&] { setenv("PATH", (scratch + "/fake:" + path).c_str(), 1); }, "", 1,
       "gnuplot wrote no picture for case/rotas.svg", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args + " " + c.expected);
    fs::remove_all(c.folder);
    fs::create_directories(c.folder);
    fs::copy("run", c.folder, fs::copy_options::recursive);
    c.change();
    setenv("CASE", c.folder.c_str(), 1);
    const ToolOutcome outcome = view(c.args + " \"$CASE\"");
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(outcome.status, c.status) << outcome.errors;
    if (c.picture != nullptr)
      EXPECT_TRUE(has(read_file(fs::path(c.folder) / c.picture), c.expected));
    else
      EXPECT_TRUE(has(outcome.errors, c.expected)) << outcome.errors;
    for (const char* output : kOutputs) {  // a refused view keeps the earlier files
      if (c.status != 0 && fs::is_regular_file(fs::path(c.folder) / output)) {
        EXPECT_EQ(read_file(fs::path(c.folder) / output), read_file(fs::path("run") / output)) << output;
      }
    }
    for (const std::string& name : listing(c.folder)) EXPECT_FALSE(name.starts_with(".")) << name;
  }
  EXPECT_FALSE(fs::exists("PWNED"));
}

}  // namespace
