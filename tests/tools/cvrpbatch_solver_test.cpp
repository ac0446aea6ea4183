// cvrpbatch on CVRPLIB instances, as a separate process. The bookkeeping is
// tested with a stand-in for cvrpsolve, a script that leaves the run's .sol,
// log and summary, prepared here per search and seed; one test makes real
// cvrpsolve runs with small budgets.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "model/cvrplib.h"
#include "report/cvrplib_solution.h"
#include "report/progress_log.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

const fs::path kCmt1 = fs::path(CVRP_EXAMPLES_DIR) / "cmt1";

ToolOutcome batch(const std::string& args) { return run_tool(CVRPBATCH_BINARY, args); }

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// results.csv as maps from its header's columns (a quoted field holds no quote).
std::vector<std::map<std::string, std::string>> csv_rows(const std::string& text) {
  const std::vector<std::string> lines = split_lines(text);
  const auto fields = [](const std::string& line) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (const char c : line) {
      if (c == '"')
        quoted = !quoted;
      else if (c == ',' && !quoted)
        out.emplace_back();
      else
        out.back() += c;
    }
    return out;
  };
  const std::vector<std::string> header = fields(lines.at(0));
  std::vector<std::map<std::string, std::string>> rows;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> values = fields(lines[i]);
    EXPECT_EQ(values.size(), header.size()) << lines[i];
    auto& row = rows.emplace_back();
    for (std::size_t k = 0; k < header.size() && k < values.size(); ++k) row[header[k]] = values[k];
  }
  return rows;
}

double number(const std::string& text) { return std::stod(text); }

std::string two_decimals(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// The total distance of `routes` on CMT1, summed as the check sums it.
double cost_of(const std::vector<std::vector<int>>& routes) {
  Instance instance;
  EXPECT_FALSE(read_cvrplib((kCmt1 / "CMT1.vrp").string(), false, instance));
  float distance = 0.0f;
  for (const auto& route : routes) {
    int from = 0;
    for (const int customer : route) distance += instance.matrix.at(from, customer), from = customer;
    distance += instance.matrix.at(from, 0);
  }
  return static_cast<double>(distance);
}

// alpha.vrp (CMT1 with its .sol beside it) and beta.vrp (CMT1 without one),
// and a stand-in for cvrpsolve: per search and seed, annealing seed 1 finds
// CMT1's best known routes, annealing seed 3 and tabu seed 1 nearly those,
// annealing seed 2 fails with a message and tabu seed 2 ends overloaded
// (exit status 3). Each takes 0.1 s, its summary's time 0.09 s.
class CvrpBatchSolver : public ::testing::Test {
 protected:
  ScratchDir dir;
  std::string solver;

  void SetUp() override {
    fs::copy_file(kCmt1 / "CMT1.vrp", "alpha.vrp");
    fs::copy_file(kCmt1 / "CMT1.sol", "alpha.sol");
    fs::copy_file(kCmt1 / "CMT1.vrp", "beta.vrp");
    CvrplibSolution best;
    ASSERT_FALSE(read_cvrplib_solution((kCmt1 / "CMT1.sol").string(), best));
    std::vector<std::vector<int>> near = best.routes;
    std::swap(near[0][0], near[0][1]);
    leave("annealing-1", 0, &best.routes, {{0.0f, 181831.97f, 0}, {0.02f, 600.0f, 1000}, {0.05f, 0.0f, 90000}});
    leave("annealing-3", 0, &near, {{0.0f, 181831.97f, 0}, {0.08f, 0.0f, 90000}});
    leave("tabu-1", 0, &near, {{0.01f, 181831.97f, 0}, {0.06f, 0.0f, 4321}});
    leave("tabu-2", 3, nullptr, {{0.01f, 181831.97f, 0}, {0.02f, 2524.5f, 77}});
    fs::create_directories("standin/annealing-2");
    write_file("standin/annealing-2/console", "cvrpsolve: instance.vrp: something went wrong\n");
    write_file("standin/annealing-2/status", "1");
    const std::string folder = (fs::current_path() / "standin").string();
    write_file("standin/cvrpsolve",
               "#!/bin/sh\nwhile [ $# -gt 0 ]; do case $1 in --search) s=$2;; --seed) n=$2;; esac; shift; done\n"
               "d='" + folder + "'/$s-$n\n[ -f $d/solution.sol ] && cp $d/solution.sol .\n"
               "[ -f $d/progress.log ] && cp $d/progress.log .\nsleep 0.1\ncat $d/console\nexit $(cat $d/status)\n");
    fs::permissions("standin/cvrpsolve", fs::perms::owner_exec, fs::perm_options::add);
    solver = folder + "/cvrpsolve";
  }

  // A run's files: its .sol (when `routes`), its log (the last record's
  // objective 0 stands for the run's cost) and cvrpsolve's summary.
  void leave(const std::string& name, int status, const std::vector<std::vector<int>>* routes,
             std::vector<LogLine> log) {
    const fs::path folder = fs::path("standin") / name;
    fs::create_directories(folder);
    const double cost = routes ? cost_of(*routes) : log.back().objective;
    if (routes) write_file(folder / "solution.sol", cvrplib_solution_text(*routes, cost));
    std::string records;
    for (LogLine& line : log) {
      if (line.objective == 0.0) line.objective = cost;
      records += log_record(static_cast<float>(line.seconds), static_cast<float>(line.objective), line.counter);
    }
    write_file(folder / "progress.log", records);
    char summary[400];
    std::snprintf(summary, sizeof summary,
                  "instance: instance.vrp (50 customers)\nsearch: x\nseed: 1\nlimit: 10 s\ncost: %.2f\n"
                  "distance: %.2f\noverload: %d\ntrucks: 5 of 5\nmoves: 90000\ntime: 0.09 s\nsolution: %s\n",
                  cost, cost - 2000.0 * status / 3, status == 3 ? 2 : 0,
                  status == 3 ? "not written: the best solution overloads its trucks by 2" : "solution.sol");
    write_file(folder / "console", summary);
    write_file(folder / "status", std::to_string(status));
  }

  std::string runs(const std::string& out) const {
    return "--searches annealing,tabu --seeds 1-2 --time 10 --set tenure=5,7 --best beta=500 --solver " + solver +
           " --out " + out + " alpha.vrp beta.vrp";
  }
};

TEST_F(CvrpBatchSolver, RunsEachSearchSeedAndSettingAndCollectsWhatTheFieldReports) {
  const ToolOutcome run = batch("run " + runs("results"));
  EXPECT_EQ(run.status, 1) << run.errors;  // annealing seed 2 fails
  EXPECT_TRUE(has(run.errors, "alpha-annealing-seed2: failed: cvrpsolve: instance.vrp: something went wrong"))
      << run.errors;
  // tenure is swept for tabu only.
  std::set<std::string> expected;
  for (const std::string instance : {"alpha", "beta"})
    for (const std::string seed : {"1", "2"}) {
      expected.insert(instance + "-annealing-seed" + seed);
      for (const std::string tenure : {"5", "7"}) expected.insert(instance + "-tabu-seed" + seed + "-tenure=" + tenure);
    }
  EXPECT_EQ(listing("results"), expected);
  EXPECT_EQ(listing("results/alpha-tabu-seed1-tenure=7"),
            (std::set<std::string>{"instance.vrp", "best-known.sol", "solution.sol", "progress.log", "console.txt",
                                   "run.txt"}));
  const std::string record = read_file("results/beta-tabu-seed2-tenure=7/run.txt");
  for (const std::string& line : std::vector<std::string>{
           "kind=cvrpsolve\ninstance=beta\nsearch=tabu\nseed=2\nset.tenure=7\nlimit=10 s\ntime_limit=10\nround=no\n",
        "command='" + solver + "' 'instance.vrp' '--search' 'tabu' '--seed' '2' '--time' '10' '--tenure' '7' "
                               "'--sol' 'solution.sol' '--log' 'progress.log'\n",
        std::string("exit_status=3\nstatus=infeasible\nmessage=\ninstance_file=") + fs::absolute("beta.vrp").string(),
        std::string("best_known=500\nbest_known_from=--best\n")})
    EXPECT_TRUE(has(record, line)) << line << "\n" << record;

  ASSERT_EQ(batch("collect results").status, 0);
  const auto rows = csv_rows(read_file("results/results.csv"));
  ASSERT_EQ(rows.size(), 12u);
  EXPECT_EQ(split_lines(read_file("results/results.csv"))[0],
            "instance,search,seed,tenure,limit,status,cost,distance,overload,trucks,best_known,gap_percent,"
            "primal_integral,time_limit_seconds,moves,iterations,switch_seconds,seconds,host,wall_seconds,message");
  int ok = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.at("instance") + " " + row.at("search") + " " + row.at("seed") + " " + row.at("tenure"));
    EXPECT_EQ(row.at("status"), row.at("search") == "annealing" ? (row.at("seed") == "1" ? "ok" : "failed")
                                                                : (row.at("seed") == "1" ? "ok" : "infeasible"));
    EXPECT_EQ(row.at("tenure").empty(), row.at("search") == "annealing");
    EXPECT_EQ(row.at("best_known"), row.at("instance") == "alpha" ? "524.611" : "500");
    if (row.at("status") != "ok") {
      EXPECT_EQ(row.at("gap_percent") + row.at("primal_integral"), "");
      continue;
    }
    ++ok;
    // The cost is the run's .sol's, the gap of it, the primal integral of its log over the time limit.
    std::string folder = "results/" + row.at("instance") + "-" + row.at("search") + "-seed" + row.at("seed");
    if (!row.at("tenure").empty()) folder += "-tenure=" + row.at("tenure");
    CvrplibSolution solution;
    ASSERT_FALSE(read_cvrplib_solution(folder + "/solution.sol", solution));
    EXPECT_EQ(row.at("cost"), two_decimals(solution.cost));
    // The gap is of the routes' true cost, which the cost shows to two decimals.
    const double best = number(row.at("best_known")), gap = 100.0 * (number(row.at("cost")) - best) / best;
    EXPECT_NEAR(number(row.at("gap_percent")), gap, 100.0 * 0.005 / best + 1e-4);
    EXPECT_GE(number(row.at("primal_integral")), std::min(gap, 10.0) - 1e-4);
    // By hand, for the annealing's log (0 s: 181831.97, 0.02 s: 600, 0.05 s:
    // 524.61) over T = 10 s, v capped at 1.1 x best before 0.05 s:
    // 100 x ((0.05 x 1.1 x best + 9.95 x 524.61) / (10 x best) - 1).
    if (row.at("search") == "annealing") {
      EXPECT_EQ(row.at("primal_integral"), row.at("instance") == "alpha" ? "0.0498" : "4.9474");
    }
  }
  EXPECT_EQ(ok, 6);
  const std::string summary = read_file("results/summary.md");
  // annealing: gap (524.61 - 524.611) / 524.611 on alpha, (524.61 - 500) / 500 on beta.
  EXPECT_TRUE(has(summary, "| annealing | 4 | 2 | 0 | 2 | 2.46% | 2.46% |")) << summary;
  EXPECT_TRUE(has(summary, "| tabu, tenure=5 | 4 | 0 | 2 | 2 |")) << summary;
  EXPECT_TRUE(has(summary, "| beta | 500 | 10 s | tabu, tenure=7 | 2 | 1 |")) << summary;
  for (const char* picture : {"profile.png", "plots/alpha.png", "plots/beta.png"})
    EXPECT_TRUE(read_file(fs::path("results") / picture).starts_with("\x89PNG\r\n")) << picture;
  EXPECT_TRUE(has(read_file("results/profile.svg"), "tabu, tenure=7"));

  // Done runs are skipped, and jobs prints one command per run; runs of
  // another command under the same names are refused.
  const ToolOutcome again = batch("run " + runs("results"));
  EXPECT_EQ(again.status, 1);  // with the runs that failed before
  EXPECT_TRUE(has(again.output, "12 runs: 6 ok, 4 infeasible, 2 failed, 12 of them skipped (done before)"))
      << again.output;
  const ToolOutcome jobs = batch("jobs " + runs("results"));
  ASSERT_EQ(jobs.status, 0) << jobs.errors;
  const std::vector<std::string> lines = split_lines(jobs.output);
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[11], "'" CVRPBATCH_BINARY "' run --searches tabu --seeds 2 --time '10' --set 'tenure=7' --best "
                       "'beta=500' --solver '" + solver + "' --out '" + fs::absolute("results").string() + "' '" +
                           fs::absolute("beta.vrp").string() + "'");
  const ToolOutcome other = batch("run --searches tabu --seeds 1 --time 20 --set tenure=5 --solver " + solver +
                                  " --out results alpha.vrp");
  EXPECT_EQ(other.status, 1);
  EXPECT_TRUE(has(other.errors, "alpha-tabu-seed1-tenure=5 holds a run of another command")) << other.errors;

  // A folder of the program's runs beside them is refused by collect.
  fs::create_directory("results/cmt1-1");
  write_file("results/cmt1-1/run.txt", "instance=cmt1\nchoice=1\nstatus=ok\n");
  const ToolOutcome mixed = batch("collect results");
  EXPECT_EQ(mixed.status, 1);
  EXPECT_TRUE(has(mixed.errors, "holds runs of the program (cmt1-1, ...) and of cvrpsolve")) << mixed.errors;
}

TEST_F(CvrpBatchSolver, BadArgumentsAreRefusedBeforeAnythingIsWritten) {
  fs::copy_file("beta.vrp", "gamma.vrp");
  // CMT1's .sol beside X-n101-k25.vrp.
  const fs::path x = fs::path(CVRP_INSTANCES_DIR) / "X";
  fs::copy_file(x / "X-n101-k25.vrp", "X-n101-k25.vrp");
  fs::copy_file(kCmt1 / "CMT1.sol", "X-n101-k25.sol");
  const auto values = [](int from, int count) {  // "from,from+1,..."
    std::string text = std::to_string(from);
    for (int v = from + 1; v < from + count; ++v) text.append(1, ',').append(std::to_string(v));
    return text;
  };
  // 100000 seeds x 10^4 values: 1e9 runs.
  std::string billion = "--searches tabu --seeds 0-99999 --time 1";
  for (const char* name : {"tenure", "max-stall", "flat-moves", "tenure-step"}) billion += " --set " + std::string(name) + "=" + values(1, 10);
  const std::string rest = " --solver " + solver + " --out results ";
  const struct {
    std::string args;
    int status;
    std::string message;
  } cases[] = {
      {"--searches tabu --seeds 1 --time 1" + rest + "beta.vrp", 1, "beta.vrp: no best known cost: no beta.sol"},
      {"--searches greedy --seeds 1 --time 1" + rest + "alpha.vrp", 2, "\"greedy\" is not a search"},
      {"--searches tabu,tabu --seeds 1 --time 1" + rest + "alpha.vrp", 2, "tabu is given twice"},
      {"--searches tabu --seeds 5-2 --time 1" + rest + "alpha.vrp", 2, "5-2 is not a range"},
      {"--searches tabu --seeds 1,x --time 1" + rest + "alpha.vrp", 2, "bad value 'x' for --seeds"},
      {"--searches tabu --seeds 1,2,1 --time 1" + rest + "alpha.vrp", 2, "seed 1 is given twice"},
      {"--searches tabu --seeds 1 --time 1 --set tenur=5" + rest + "alpha.vrp", 2, "tenur is not a setting"},
      {"--searches tabu --seeds 1 --time 1 --set tenure" + rest + "alpha.vrp", 2, "expected NAME=VALUE"},
      {"--searches tabu --seeds 1 --time 1 --set tenure=5,-1" + rest + "alpha.vrp", 2, "bad value '-1' for --set tenure"},
      {"--searches hybrid --seeds 1 --time 1 --set cooling=1" + rest + "alpha.vrp", 2, "bad value '1' for --set cooling"},
      // 1 as the search's float: cvrpsolve refuses it, so the batch does too.
      {"--searches hybrid --seeds 1 --time 1 --set cooling=0.99999999999" + rest + "alpha.vrp", 2, "bad value"},
      {"--searches annealing --seeds 1 --time 1 --set tenure=5" + rest + "alpha.vrp", 2, "none of the searches"},
      {"--searches tabu --seeds 1 --moves 5" + rest + "alpha.vrp", 2, "--moves is the annealing's budget"},
      {"--searches hybrid --seeds 1 --moves 5" + rest + "alpha.vrp", 2, "hybrid runs need --time, or both"},
      {"--searches tabu --seeds 1 --time 0" + rest + "alpha.vrp", 2, "bad value '0' for --time"},
      {"--searches tabu --seeds 1 --time 30 --timeout 20" + rest + "alpha.vrp", 1, "--timeout 20: not above --time 30"},
      {"--searches tabu --seeds 1 --time 1 --set vehicles=4" + rest + "alpha.vrp", 1, "needs at least 5 trucks"},
      {"--searches tabu --seeds 1 --time 1 --best gamma=1" + rest + "alpha.vrp", 2, "no instance gamma.vrp given"},
      {"--searches tabu --seeds 1 --time 1 --best alpha=nan" + rest + "alpha.vrp", 2, "alpha=nan: not a positive number"},
      {"--searches tabu --seeds 1 --time 1" + rest + "alpha.vrp gamma.vrp", 1, "gamma.vrp: no best known cost"},
      {"--searches tabu --seeds 1 --time 1" + rest + "standin", 1, "standin: a folder; cvrpsolve's runs"},
      {"--searches tabu --choices 1" + rest + "alpha.vrp", 2, "cannot be mixed in one command"},
      {"--choices 1 --seeds 1" + rest + "standin", 2, "--seeds is for cvrpsolve's runs"},
      {"--choices 1 --out results alpha.vrp", 2, "alpha.vrp is a CVRPLIB file"},
      {"--searches tabu --time 1" + rest + "alpha.vrp", 2, "--seeds is missing"},
      {"--searches tabu --seeds 1 --time 1" + rest + "X-n101-k25.vrp", 1, "X-n101-k25.sol: not a solution of X-n101-k25: Route #1 carries 520, above the capacity 206"},
      {"--searches annealing --seeds 1 --time 1 --set cooling=0.5,.5" + rest + "alpha.vrp", 2,
       "--set cooling: 0.5 and .5 are the same value"},
      {"--searches tabu --seeds 1 --time 1 --set tenure=-0" + rest + "alpha.vrp", 2, "bad value '-0' for --set tenure"},
      {"--searches annealing --seeds 1 --time 1 --set initial-temperature=1,0.05" + rest + "alpha.vrp", 2,
       "bad value '0.05' for --set initial-temperature (at or below"},
      {billion + rest + "alpha.vrp", 2, "the batch has 1000000000 runs"},
      {"--searches tabu --seeds 1 --time 1 --set neighbourhoods=all,relocate+oropt+oropt" + rest + "alpha.vrp", 2,
       "bad value 'relocate+oropt+oropt' for --set neighbourhoods (all, or kinds of move"},
      {"--searches tabu --seeds 1 --time 1 --set neighbourhoods=2opt+relocate,relocate+2opt" + rest + "alpha.vrp", 2,
       "--set neighbourhoods: 2opt+relocate and relocate+2opt are the same value"},
      {"--searches tabu --seeds 1 --time 1 --set start=random,greedy" + rest + "alpha.vrp", 2,
       "bad value 'greedy' for --set start (random or savings)"},
      // Every run of it would be refused by cvrpsolve, or be another's.
      {"--searches tabu --seeds 1 --time 1 --set neighbourhoods=swap --set penalty=1000,adaptive" + rest + "alpha.vrp", 2,
       "--set penalty=adaptive needs the field's moves"},
      {"--searches tabu --seeds 1 --time 1 --set overload-target=0.1" + rest + "alpha.vrp", 2,
       "--set overload-target is the adaptive penalty's setting"},
      {"--searches annealing --seeds 1 --time 1 --set neighbourhoods=all --set blink=0,0.1" + rest + "alpha.vrp", 2,
       "--set blink is ruin and recreate's setting"},
      {"--searches annealing --seeds 1 --time 1 --set cooling=0.5,0.9" + std::string(240, '0') + "1" + rest + "alpha.vrp",
       1, "... is 274 bytes long"},
  };
  for (const auto& c : cases)
    for (const std::string subcommand : {"run ", "jobs "}) {
      SCOPED_TRACE(subcommand + c.args);
      const ToolOutcome outcome = batch(subcommand + c.args);
      EXPECT_EQ(outcome.status, c.status);
      EXPECT_TRUE(outcome.errors.starts_with("cvrpbatch: ") && has(outcome.errors, c.message)) << outcome.errors;
      EXPECT_EQ(outcome.output, "");
      EXPECT_FALSE(fs::exists("results"));
    }
}

// Words and lists of move kinds as swept values: the kinds joined by '+'
// (cvrpsolve gets commas, a run folder's name spells 2opt* 2optstar), the
// combinations cvrpsolve refuses or that repeat a run left out, the groups
// in order (numbers before words). The jobs run through a shell, beside a
// file that an unquoted 2opt* would expand to.
TEST_F(CvrpBatchSolver, SweepsWordsAndListsOfMoveKinds) {
  const std::string args = "--searches tabu --seeds 1 --time 10 --set 'neighbourhoods=swap,relocate+2opt*' "
                           "--set penalty=adaptive,1000 --set start=savings --solver " + solver + " --out results alpha.vrp";
  write_file("neighbourhoods=relocate+2opt.decoy", "");
  const ToolOutcome jobs = batch("jobs " + args);
  ASSERT_EQ(jobs.status, 0) << jobs.errors;
  write_file("jobs.sh", jobs.output);
  ASSERT_EQ(run_tool("sh", "jobs.sh").status, 0);
  const std::string stem = "alpha-tabu-seed1-neighbourhoods=";
  EXPECT_EQ(listing("results"), (std::set<std::string>{stem + "swap-penalty=1000-start=savings",
                                                       stem + "relocate+2optstar-penalty=adaptive-start=savings",
                                                       stem + "relocate+2optstar-penalty=1000-start=savings"}));
  const std::string record = read_file("results/" + stem + "relocate+2optstar-penalty=adaptive-start=savings/run.txt");
  EXPECT_TRUE(has(record, "\nset.neighbourhoods=relocate+2opt*\nset.penalty=adaptive\nset.start=savings\n")) << record;
  EXPECT_TRUE(has(record, " '--neighbourhoods' 'relocate,2opt*' '--penalty' 'adaptive' '--start' 'savings' '--sol' "))
      << record;

  ASSERT_EQ(batch("collect results").status, 0);
  EXPECT_TRUE(read_file("results/results.csv").starts_with("instance,search,seed,neighbourhoods,penalty,start,limit,"));
  const std::string summary = read_file("results/summary.md");
  std::size_t at = 0;
  for (const char* group : {"| tabu, neighbourhoods=relocate+2opt* penalty=1000 start=savings | 1 | 0 | 0 | 1 |",
                            "| tabu, neighbourhoods=relocate+2opt* penalty=adaptive start=savings | 1 | 0 | 0 | 1 |",
                            "| tabu, neighbourhoods=swap penalty=1000 start=savings | 1 | 0 | 0 | 1 |"}) {
    const std::size_t found = summary.find(group);
    EXPECT_TRUE(found != std::string::npos && found > at) << group << "\n" << summary;
    at = found;
  }

  // An overload target is swept with the adaptive penalty only.
  const ToolOutcome targets = batch("jobs " + args + " --set overload-target=0.2,0.3");
  ASSERT_EQ(targets.status, 0) << targets.errors;
  const std::vector<std::string> lines = split_lines(targets.output);
  ASSERT_EQ(lines.size(), 4u) << targets.output;
  for (const std::string& line : lines)
    EXPECT_EQ(has(line, " --set 'overload-target=0."), has(line, " --set 'penalty=adaptive'")) << line;

  // The ruin's settings are swept with ruin only, and ruin alone in the annealing only.
  const ToolOutcome ruins = batch("jobs --searches annealing,tabu --seeds 1 --time 10 --solver " + solver +
                                  " --out results --set neighbourhoods=ruin,relocate+ruin,all --set blink=0,0.5 alpha.vrp");
  ASSERT_EQ(ruins.status, 0) << ruins.errors;
  const std::vector<std::string> ruin_lines = split_lines(ruins.output);
  // annealing: 2 x 2 with ruin, 1 with all; tabu: 1 with relocate+ruin, 1 with all.
  ASSERT_EQ(ruin_lines.size(), 7u) << ruins.output;
  for (const std::string& line : ruin_lines)
    EXPECT_EQ(has(line, " --set 'blink="), has(line, "ruin'") && has(line, "--searches annealing")) << line;
}

// Two feasible runs in one cell (the best gap is the lower), then collect
// on copies of a run folder edited one way each: each is a failed row naming why.
TEST_F(CvrpBatchSolver, CollectChecksEachRunAgainstWhatItRecorded) {
  ASSERT_EQ(batch("run --searches annealing --seeds 1,3 --time 10 --solver " + solver + " --out results alpha.vrp").status, 0);
  ASSERT_EQ(batch("collect results").status, 0);
  const auto rows = csv_rows(read_file("results/results.csv"));
  ASSERT_EQ(rows.size(), 2u);
  const double best = std::min(number(rows[0].at("gap_percent")), number(rows[1].at("gap_percent"))),
               mean = (number(rows[0].at("gap_percent")) + number(rows[1].at("gap_percent"))) / 2.0;
  EXPECT_LT(best, mean);
  EXPECT_TRUE(has(read_file("results/summary.md"), "| annealing | 2 | 0 | 0 | 2 | " + two_decimals(mean) + "% | " +
                                                       two_decimals(best) + "% | "));

  // Each case: a file of the run folder, a part of it (to the line's end
  // when it ends with '='; none: the whole file) and what replaces it.
  const fs::path sol = fs::path(CVRP_INSTANCES_DIR) / "X" / "X-n101-k25.sol";
  const struct {
    std::string file, from, to, message;
  } cases[] = {
      {"instance.vrp", "CAPACITY : 160", "CAPACITY : 100000", "instance.vrp: not the instance the run was given"},
      // The log cut before its last line, and its last two lines swapped.
      {"progress.log", "0.05\t  524.61\t  90000\n", "",
       "the last record's objective 600.00 is not the run's final objective 524.61"},
      {"progress.log", "0.02\t  600.00\t   1000\n0.05\t  524.61\t  90000",
       "0.05\t  524.61\t  90000\n0.02\t  600.00\t   1000", "progress.log:3: the seconds go back"},
      {"console.txt", "time: 0.09 s", "time: 10.71 s", "time 10.71 s is past the time limit 10 s"},
      {"run.txt", "wall_seconds=", "wall_seconds=0.01", "time 0.09 s is more than the run's wall time 0.010 s"},
      {"best-known.sol", "", read_file(sol), "best-known.sol: not a solution of CMT1: Route #3 visits 70"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + ": " + c.to);
    fs::remove_all("edited");
    fs::create_directory("edited");
    fs::copy("results/alpha-annealing-seed1", "edited/alpha-annealing-seed1", fs::copy_options::recursive);
    const fs::path file = "edited/alpha-annealing-seed1/" + c.file;
    std::string text = read_file(file);
    const std::size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << text;
    write_file(file, c.from.empty() ? c.to
                                    : text.replace(at, c.from.ends_with('=') ? text.find('\n', at) - at : c.from.size(), c.to));
    ASSERT_EQ(batch("collect edited").status, 0);
    const auto edited = csv_rows(read_file("edited/results.csv"));
    ASSERT_EQ(edited.size(), 1u);
    EXPECT_EQ(edited[0].at("status"), "failed");
    EXPECT_TRUE(has(edited[0].at("message"), c.message)) << edited[0].at("message");
  }

  // A run below the best known cost is named as such.
  const ToolOutcome below = batch("collect --best alpha=600 results");
  ASSERT_EQ(below.status, 0) << below.errors;
  EXPECT_TRUE(has(read_file("results/results.csv"), ",below the best known cost 600 (a new best known or a fault)\n"));
  EXPECT_TRUE(has(read_file("results/summary.md"), "## Below the best known cost\n\n"));
  EXPECT_TRUE(has(read_file("results/summary.md"), "- alpha-annealing-seed1: cost 524.61\n"));
}

// Real cvrpsolve runs: budgets of moves and iterations on X-n101-k25 with
// one truck more than the fewest (then the runs end feasible).
TEST(CvrpBatchSolverReal, RunsCvrpsolveAndCollectsRowsThatAgreeWithTheirSolutions) {
  ScratchDir dir;
  for (const char* file : {"X-n101-k25.vrp", "X-n101-k25.sol"})
    fs::copy_file(fs::path(CVRP_INSTANCES_DIR) / "X" / file, file);
  const std::string args = "--searches annealing,hybrid --seeds 1-2 --moves 2000000 --iterations 200 --round "
                           "--set vehicles=+1 --out results X-n101-k25.vrp";
  const ToolOutcome run = batch("run " + args);
  ASSERT_EQ(run.status, 0) << run.errors << run.output;
  ASSERT_EQ(batch("collect results").status, 0);
  const auto rows = csv_rows(read_file("results/results.csv"));
  ASSERT_EQ(rows.size(), 4u);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.at("search") + " " + row.at("seed"));
    EXPECT_EQ(row.at("status"), "ok");
    CvrplibSolution solution;
    ASSERT_FALSE(read_cvrplib_solution(
        "results/X-n101-k25-" + row.at("search") + "-seed" + row.at("seed") + "-vehicles=+1/solution.sol", solution));
    EXPECT_EQ(row.at("cost"), two_decimals(solution.cost));
    EXPECT_EQ(row.at("best_known"), "27591");
    const double gap = 100.0 * (number(row.at("cost")) - 27591.0) / 27591.0;
    EXPECT_NEAR(number(row.at("gap_percent")), gap, 1e-4);
    EXPECT_GE(number(row.at("primal_integral")), std::min(gap, 10.0) - 1e-4);
    EXPECT_EQ(row.at("moves"), "2000000");
  }
  const std::string summary = read_file("results/summary.md");
  EXPECT_TRUE(has(summary, "| annealing, vehicles=+1 | 2 | 0 | 0 | 2 |")) << summary;
  EXPECT_TRUE(has(summary, "| hybrid, vehicles=+1 | 2 | 0 | 0 | 2 |")) << summary;
  EXPECT_TRUE(read_file("results/profile.png").starts_with("\x89PNG\r\n"));
  EXPECT_TRUE(has(batch("run " + args).output, "4 ok, 0 failed, 4 of them skipped"));
}

}  // namespace
