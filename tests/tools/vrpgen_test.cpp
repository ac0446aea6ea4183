// The instance generator run as a separate process: reproducible files, each
// option visible in what it writes, refused command lines, and its instances
// through vrp2dat into the program's own readers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <numeric>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "model/cvrplib.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::ScratchDir;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int run(const std::string& binary, const std::string& args) {
  return testing_support::run_tool(binary, args).status;
}

struct Point { int x, y; };

// A generated file and what it holds; its layout is checked on the way.
struct Generated {
  std::string text, comment;
  std::vector<Point> points;  // the depot first
  std::vector<int> demand;    // of the customers
  int total() const { return std::accumulate(demand.begin(), demand.end(), 0); }
  int trucks() const { return (total() + 159) / 160; }
};

Generated generate(const std::string& args, const std::string& path = "g.vrp") {
  EXPECT_EQ(run(VRPGEN_BINARY, args + " " + path), 0) << args;
  Generated g{read_file(path), {}, {}, {}};
  std::istringstream in(g.text);
  std::string line;
  int id = 0, x = 0, y = 0;
  while (std::getline(in, line) && line != "NODE_COORD_SECTION")
    if (line.starts_with("COMMENT : ")) g.comment = line.substr(10);
  while (g.points.size() < 51 && in >> id >> x >> y) g.points.push_back({x, y});
  in >> line >> id >> x;  // DEMAND_SECTION, then the depot's 0
  while (g.demand.size() < 50 && in >> id >> x) g.demand.push_back(x);
  EXPECT_TRUE(g.text.ends_with("\n51 " + std::to_string(x) + "\nDEPOT_SECTION\n1\n-1\nEOF\n")) << args;
  EXPECT_EQ(g.points.size(), 51u) << args;
  for (const Point& p : g.points) EXPECT_TRUE(p.x >= 0 && p.x <= 1000 && p.y >= 0 && p.y <= 1000);
  for (const int d : g.demand) EXPECT_TRUE(d >= 1 && d <= 160) << d;
  EXPECT_NE(g.comment.find("at least " + std::to_string(g.trucks()) + " trucks"), std::string::npos);
  return g;
}

// Mean distance from each customer to its nearest other customer.
double nearest_neighbour(const std::string& args) {
  const std::vector<Point> points = generate(args).points;
  double sum = 0.0;
  for (std::size_t i = 1; i < points.size(); ++i) {
    double nearest = 1e9;
    for (std::size_t j = 1; j < points.size(); ++j)
      if (i != j) nearest = std::min(nearest, std::hypot(points[i].x - points[j].x, points[i].y - points[j].y));
    EXPECT_GT(nearest, 0.0);  // no two customers on one point
    sum += nearest;
  }
  return sum / 50.0;
}

TEST(vrpgen, SameOptionsAndSeedGiveTheSameFileAndTheCommentRemakesIt) {
  ScratchDir scratch;
  fs::create_directories("one");
  fs::create_directories("two");
  const Generated drawn = generate("--seed 2024", "one/x.vrp");
  EXPECT_EQ(generate("--seed 2024", "two/x.vrp").text, drawn.text);
  EXPECT_NE(generate("--seed 2025", "two/x.vrp").text, drawn.text);
  // The COMMENT spells out every drawn value; as a command it makes the same file.
  const std::string command = drawn.comment.substr(0, drawn.comment.find(';'));
  ASSERT_TRUE(command.starts_with("vrpgen --seed 2024 --depot ")) << command;
  EXPECT_EQ(generate(command.substr(7), "two/x.vrp").text, drawn.text);
  // The sequence is pinned (its first draws checked by hand against MT19937),
  // so that files made by earlier builds can still be remade.
  EXPECT_EQ(drawn.text.substr(0, 261),
            "NAME : x\nCOMMENT : vrpgen --seed 2024 --depot random --customers mixed --demand 1-100"
            " --route-size 15; 8 cluster seeds; total demand 511, at least 4 trucks\nTYPE : CVRP\n"
            "DIMENSION : 51\nEDGE_WEIGHT_TYPE : EUC_2D\nCAPACITY : 160\nNODE_COORD_SECTION\n"
            "1 334 382\n2 3 968\n");
}

TEST(vrpgen, EachOptionShowsInTheFile) {
  ScratchDir scratch;
  EXPECT_TRUE(has(generate("--seed 1 --depot central").text, "\n1 500 500\n"));
  EXPECT_TRUE(has(generate("--seed 1 --depot eccentric").text, "\n1 0 0\n"));  // random: the pinned file

  // Clustered customers lie far closer to their nearest neighbour.
  double random = 0.0, clustered = 0.0, mixed = 0.0;
  for (const std::string seed : {" 1", " 2", " 3", " 4"}) {
    random += nearest_neighbour("--customers random --seed" + seed);
    clustered += nearest_neighbour("--customers clustered --seed" + seed);
    mixed += nearest_neighbour("--customers mixed --seed" + seed);
  }
  EXPECT_TRUE(clustered < 0.6 * random && clustered < mixed && mixed < random)
      << clustered << " " << mixed << " " << random;

  // Demands scaled for 6 customers per route: floor(160 / 6) = 26 each when unitary.
  const auto sorted = [](const std::string& kind) {
    std::vector<int> d = generate("--seed 3 --route-size 6 --demand " + kind).demand;
    std::sort(d.begin(), d.end());
    return d;
  };
  EXPECT_EQ(sorted("unitary"), std::vector<int>(50, 26));
  for (const auto& [kind, low, high] : {std::tuple{"5-10", 1.5, 2.2}, {"50-100", 1.5, 2.2},
                                        {"1-10", 5.0, 20.0}, {"1-100", 20.0, 200.0}}) {
    const std::vector<int> d = sorted(kind);
    const double spread = static_cast<double>(d.back()) / d.front();
    EXPECT_TRUE(spread >= low && spread <= high) << kind << ": " << spread;
  }
  // Quadrant: every demand upper right and lower left above every other one.
  const Generated quadrant = generate("--seed 3 --demand quadrant");
  std::vector<int> large, small;
  for (std::size_t i = 0; i < 50; ++i)
    ((quadrant.points[i + 1].x > 500) == (quadrant.points[i + 1].y > 500) ? large : small).push_back(quadrant.demand[i]);
  ASSERT_TRUE(!large.empty() && !small.empty());
  EXPECT_LT(std::ranges::max(small), std::ranges::min(large));

  // The route size r sets the total demand just under 160 * 50 / r (each
  // demand rounded down), and with it the minimum number of trucks.
  for (const int r : {3, 6, 12, 25}) {
    const int total = generate("--seed 4 --demand 1-100 --route-size " + std::to_string(r)).total();
    EXPECT_TRUE(total <= 8000 / r && total > 8000 / r - 50) << r << ": " << total;
  }
  EXPECT_EQ(generate("--seed 4 --demand unitary --route-size 1").trucks(), 50);  // 160 each
}

TEST(vrpgen, RefusesBadOptionsAndUnwritableOutput) {
  ScratchDir scratch;
  EXPECT_EQ(run(VRPGEN_BINARY, "--help"), 0);
  for (const char* option : {"--seed S", "--depot central|eccentric|random", "--customers random|clustered|mixed",
                             "--demand unitary|1-10|5-10|1-100|50-100|quadrant|many-small", "--route-size R"})
    EXPECT_TRUE(has(read_file("stdout.txt"), option)) << option;

  for (const char* args : {"g.vrp", "--seed 1 a.vrp b.vrp", "--seed 4294967296 g.vrp", "--seed 1 --seed 2 g.vrp",
                           "--seed 1 --depot north g.vrp", "--seed 1 --route-size 51 g.vrp",
                           "--seed 1 --bogus g.vrp", "--seed 1 g.vrp --depot"}) {
    EXPECT_EQ(run(VRPGEN_BINARY, args), 2) << args;
    EXPECT_TRUE(has(read_file("stderr.txt"), "usage: vrpgen")) << args;
    EXPECT_FALSE(fs::exists("g.vrp") || fs::exists("a.vrp")) << args;
  }

  // A missing folder, a folder in the way, no file name: nothing is left behind.
  fs::create_directory("taken.vrp");
  for (const char* out : {"missing/g.vrp", "taken.vrp", "folder/"}) {
    EXPECT_EQ(run(VRPGEN_BINARY, std::string("--seed 1 ") + out), 1) << out;
    EXPECT_TRUE(read_file("stderr.txt").starts_with("vrpgen: ")) << out;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 3);  // taken.vrp, std*.txt
  EXPECT_TRUE(fs::is_empty("taken.vrp"));

  // A FIFO or a link named as the output stays what it is; a file of the
  // user's with a temporary-looking name is not touched.
  ASSERT_EQ(mkfifo("fifo.vrp", 0644), 0);
  fs::create_symlink("taken.vrp", "link.vrp");
  for (const char* out : {"fifo.vrp", "link.vrp"}) {
    EXPECT_EQ(run(VRPGEN_BINARY, std::string("--seed 1 ") + out), 1) << out;
    EXPECT_TRUE(has(read_file("stderr.txt"), "which is never replaced")) << out;
  }
  EXPECT_TRUE(fs::is_fifo("fifo.vrp") && fs::is_symlink("link.vrp"));
  testing_support::write_file("g.vrp.tmp", "mine");
  generate("--seed 1");
  EXPECT_EQ(read_file("g.vrp.tmp"), "mine");
}

TEST(vrpgen, CustomersGivenAsANumberBesidesTheWord) {
  ScratchDir scratch;
  struct Case {
    std::string args;
    int customers;  // 0: refused
  };
  const std::vector<Case> cases = {
      {"--customers 1", 1},
      {"--customers clustered --customers 2", 2},
      {"--customers 30000 --customers random --route-size 50", 30000},
      {"--customers 30001", 0},
      {"--customers 5 --customers 6", 0},
      {"--customers random --customers mixed", 0},
  };
  for (const Case& c : cases) {
    const int status = run(VRPGEN_BINARY, "--seed 9 " + c.args + " g.vrp");
    EXPECT_EQ(status, c.customers == 0 ? 2 : 0) << c.args;
    if (c.customers == 0) {
      EXPECT_FALSE(fs::exists("g.vrp")) << c.args;
      continue;
    }
    Instance instance;
    ASSERT_EQ(read_cvrplib("g.vrp", false, instance, nullptr, kComputedDistances), std::nullopt) << c.args;
    EXPECT_EQ(instance.customer_count, c.customers) << c.args;
    fs::remove("g.vrp");
  }
  // Fifty customers: the count stays out of the file's command.
  EXPECT_FALSE(has(generate("--seed 9 --customers 50").comment, "--customers 50"));
}

TEST(vrpgen, EveryKindOfInstanceConvertsAndTheProgramReadsIt) {
  ScratchDir scratch;
  const std::string program = fs::absolute(CVRP_BINARY).string();
  int seed = 10;
  for (const char* kind : {"--customers random --demand 1-100 --route-size 1", "--depot random --demand 1-10",
                           "--customers clustered --demand many-small --depot eccentric",
                           "--customers mixed --demand quadrant --route-size 50"}) {
    SCOPED_TRACE(kind);
    const Generated g = generate("--seed " + std::to_string(++seed) + " " + kind);
    fs::remove_all("run");
    EXPECT_EQ(run(VRP2DAT_BINARY, "g.vrp run"), 0);
    EXPECT_EQ(read_file("stderr.txt"), "");  // 50 customers and capacity 160: no warning
    // The program reads both files and builds its start; its log is a folder,
    // so the annealing chosen at the menu stops at once, with status 1.
    fs::create_directory("run/fo_SA.out");
    const int raw = std::system(("cd run && echo 1 | '" + program + "' >out.txt 2>&1").c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
    const std::string out = read_file("run/out.txt");
    EXPECT_TRUE(out.starts_with("Minimo de caminhoes = " + std::to_string(g.trucks()) + "\nFo = ")) << out;
    EXPECT_TRUE(has(out, "O arquivo fo_SA.out nao pode ser aberto")) << out;
  }
}

}  // namespace
