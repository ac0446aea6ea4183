#include "support/test_support.h"
#include "model/random.h"
#include "report/cvrplib_solution.h"
#include "report/final_report.h"
#include "report/progress_log_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testing_support {

ScratchDir::ScratchDir() : previous_(std::filesystem::current_path()) {
  std::string pattern = (std::filesystem::temp_directory_path() / "cvrp-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  std::filesystem::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string capture_stdout(const std::function<void()>& body) {
  std::fflush(stdout);
  std::FILE* sink = std::tmpfile();
  if (sink == nullptr) throw std::runtime_error("tmpfile failed");
  const int saved = dup(STDOUT_FILENO);
  dup2(fileno(sink), STDOUT_FILENO);
  body();
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::string text;
  std::rewind(sink);
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, sink)) > 0) text.append(buffer, got);
  std::fclose(sink);
  return text;
}

void stdout_to_stderr() {
  std::fflush(stdout);
  dup2(STDERR_FILENO, STDOUT_FILENO);
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

DistanceMatrix make_matrix(int n, const std::vector<float>& cells) {
  DistanceMatrix matrix;
  matrix.rows = matrix.cols = n + 1;
  matrix.cells = cells;
  matrix.cells.resize(static_cast<std::size_t>(n + 1) * static_cast<std::size_t>(n + 1), 0.0f);
  return matrix;
}

RandomInstance random_instance(int n, unsigned seed, int max_demand, bool asymmetric) {
  std::mt19937 engine(seed);
  RandomInstance instance;
  instance.matrix = make_matrix(n, {});
  std::vector<double> x(static_cast<std::size_t>(n + 1));
  std::vector<double> y(static_cast<std::size_t>(n + 1));
  for (int node = 0; node <= n; ++node) {
    x[static_cast<std::size_t>(node)] = static_cast<double>(engine() % 1000) / 10.0;
    y[static_cast<std::size_t>(node)] = static_cast<double>(engine() % 1000) / 10.0;
  }
  for (int from = 0; from <= n; ++from)
    for (int to = 0; to <= n; ++to) {
      if (from == to) continue;
      const double dx = x[static_cast<std::size_t>(from)] - x[static_cast<std::size_t>(to)];
      const double dy = y[static_cast<std::size_t>(from)] - y[static_cast<std::size_t>(to)];
      instance.matrix.cell(from, to) =
          asymmetric ? static_cast<float>(engine() % 100000) / 997.0f
                     : static_cast<float>(std::sqrt(dx * dx + dy * dy));
    }
  instance.demand.assign(static_cast<std::size_t>(n + 1), 0);
  for (int node = 1; node <= n; ++node)
    instance.demand[static_cast<std::size_t>(node)] = 1 + static_cast<int>(engine() % static_cast<unsigned>(max_demand));
  return instance;
}

float SearchProblem::objective(const Route& route) const {
  return objective_value(1000 * capacity_excess(length(), capacity, route, demand),
                         route_distance(length(), matrix, route));
}

void SearchProblem::start_from(Route route) {
  current = best = std::move(route);
  fo = fomin = objective(current);
}

Instance cmt1_instance() {
  Instance cmt1;
  if (const auto failure = load_dat_instance(CVRP_EXAMPLES_DIR "/cmt1", 50, 160, 1000, cmt1)) ADD_FAILURE() << *failure;
  cmt1.name = "cmt1";
  return cmt1;
}

Instance SearchProblem::instance() const {
  Instance instance;
  instance.customer_count = customers();
  instance.vehicle_capacity = capacity;
  instance.matrix = matrix;
  instance.demand = demand;
  return instance;
}

SearchEnd SearchProblem::run(SearchFunction search, const Settings& settings, SearchOutput& output,
                             ClockTicks start_clock, Evaluation evaluation, long long moves) {
  SearchState state{start_clock, current, best, fo, fomin, moves, 0};
  const SearchEnd end = search(instance(), settings, state, output, evaluation);
  current = state.current;
  best = state.best;
  fo = state.fo;
  fomin = state.fomin;
  return end;
}

SearchProblem cmt1_problem() {
  SearchProblem p;
  seed_random(19000);
  Instance cmt1 = cmt1_instance();
  p.matrix = std::move(cmt1.matrix);
  p.demand = std::move(cmt1.demand);
  p.current.assign(56, 0);  // 50 customers and 5 trucks
  p.best.assign(56, 0);
  build_initial_route(p.demand, 56, p.current, 50, p.best);
  p.start_from(p.current);
  return p;
}

SearchProblem random_problem(int n, unsigned seed, int max_demand) {
  SearchProblem p;
  auto instance = random_instance(n, seed, max_demand, true);
  p.matrix = std::move(instance.matrix);
  p.demand = std::move(instance.demand);
  const int length = n + min_trucks(p.demand, n + 1, p.capacity) + 1;
  p.current.assign(static_cast<std::size_t>(length), 0);
  p.best = p.current;
  seed_random(seed);
  build_initial_route(p.demand, length, p.current, n, p.best);
  p.start_from(p.current);
  return p;
}

void write_report(float fomin, const DemandVector& demand, const Route& best, const DistanceMatrix& matrix,
                  int capacity) {
  std::fflush(stdin);
  const int saved = dup(STDIN_FILENO);
  const int empty = open("/dev/null", O_RDONLY);
  dup2(empty, STDIN_FILENO);
  close(empty);
  clearerr(stdin);
  capture_stdout([&] {
    EXPECT_EQ(final_report(fomin, demand, matrix.rows - 1, capacity, best, matrix, static_cast<int>(best.size())),
              ReportFile::written);
  });
  dup2(saved, STDIN_FILENO);
  close(saved);
  clearerr(stdin);
}

std::vector<std::vector<int>> cmt1_best_trips() {
  CvrplibSolution solution;
  if (const auto failure = read_cvrplib_solution(CVRP_EXAMPLES_DIR "/cmt1/CMT1.sol", solution))
    ADD_FAILURE() << *failure;
  return solution.routes;
}

Route route_of(const std::vector<std::vector<int>>& trips, std::size_t length) {
  Route route{0};
  for (const auto& trip : trips) {
    route.insert(route.end(), trip.begin(), trip.end());
    route.push_back(0);
  }
  route.resize(length, 0);
  return route;
}

ToolOutcome run_tool(const std::string& binary, const std::string& args) {
  const int raw = std::system(("'" + binary + "' " + args + " >stdout.txt 2>stderr.txt").c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file("stderr.txt"), read_file("stdout.txt")};
}

std::filesystem::path golden_folder() { return std::filesystem::path(CVRP_TESTS_DIR) / "driver" / "golden"; }

std::string gunzipped(const std::filesystem::path& path) {
  std::string text;
  std::FILE* pipe = popen(("gzip -dc '" + path.string() + "' 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return text;
  char buffer[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
  pclose(pipe);
  return text;
}

std::set<std::string> listing(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

std::vector<LogLine> read_log(const std::string& path) {
  std::vector<ProgressRecord> records;
  if (const auto failure = read_progress_log(path, records)) ADD_FAILURE() << *failure;
  std::vector<LogLine> log;
  for (const ProgressRecord& r : records) log.push_back({r.seconds, r.objective, r.counter});
  return log;
}

}  // namespace testing_support
