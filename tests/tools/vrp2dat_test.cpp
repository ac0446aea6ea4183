// The converter run as a separate process on small hand-made CVRPLIB files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::split_lines;
using testing_support::write_file;

struct Outcome {
  int status;
  std::string errors;
};

// Runs the tool in the current (scratch) folder with the given arguments.
Outcome run_tool(const std::string& args) {
  const std::string command =
      std::string("'") + VRP2DAT_BINARY + "' " + args + " >stdout.txt 2>stderr.txt";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file("stderr.txt")};
}

// Four nodes; the depot is node 2, at the origin. Nodes 1, 3 and 4 form 3-4-5
// triangles with it.
const std::string kTiny =
    "NAME : tiny\nTYPE : CVRP\nDIMENSION: 4\nEDGE_WEIGHT_TYPE :EUC_2D\nCAPACITY : 160\n"
    "NODE_COORD_SECTION\n1 3 0\n2 0 0\n3 0 4\n4 3 4\n"
    "DEMAND_SECTION\n1 7\n2 0\n3 9\n4 11\n"
    "DEPOT_SECTION\n 2\n -1\nEOF\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at == std::string::npos) {
    ADD_FAILURE() << "'" << from << "' not in the instance";
    return text;
  }
  return text.replace(at, from.size(), to);
}

TEST(vrp2dat, RenumbersAroundTheDepotAndWritesExactDistances) {
  ScratchDir scratch;
  // Windows line ends must not matter.
  std::string crlf;
  for (const char c : kTiny) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  write_file("tiny.vrp", crlf);
  // Depot (0,0) = 0, then file nodes 1 (3,0), 3 (0,4), 4 (3,4) = 1, 2, 3.
  const std::string distances =
      "0, 1, 3\n0, 2, 4\n0, 3, 5\n1, 0, 3\n1, 2, 5\n1, 3, 4\n"
      "2, 0, 4\n2, 1, 5\n2, 3, 3\n3, 0, 5\n3, 1, 4\n3, 2, 3\n";
  for (const char* round : {"", "--round "}) {
    SCOPED_TRACE(round);
    ASSERT_EQ(run_tool(std::string(round) + "tiny.vrp out/new").status, 0);  // folder created
    EXPECT_EQ(read_file("out/new/distancia.dat"), distances);
    EXPECT_EQ(read_file("out/new/demanda.dat"), "1, 7\n2, 9\n3, 11\n");
    EXPECT_EQ(read_file("out/new/coordenadas.dat"), "0, 0, 0\n1, 3, 0\n2, 0, 4\n3, 3, 4\n");
  }

  // Fractional distances: sqrt 2 -> 1, 2.5 -> 3 (halves round up), sqrt 13 -> 4.
  write_file("frac.vrp", replaced(replaced(kTiny, "1 3 0", "1 1 1"), "3 0 4", "3 1.5 2"));
  ASSERT_EQ(run_tool("--round frac.vrp out").status, 0);
  EXPECT_EQ(read_file("out/coordenadas.dat"), "0, 0, 0\n1, 1, 1\n2, 1.5, 2\n3, 3, 4\n");
  EXPECT_EQ(read_file("out/distancia.dat"),
            "0, 1, 1\n0, 2, 3\n0, 3, 5\n1, 0, 1\n1, 2, 1\n1, 3, 4\n"
            "2, 0, 3\n2, 1, 1\n2, 3, 3\n3, 0, 5\n3, 1, 4\n3, 2, 3\n");
}

TEST(vrp2dat, DistancesReadBackAsTheSameFloats) {
  ScratchDir scratch;
  std::mt19937 random(20240601);
  std::uniform_real_distribution<double> coordinate(-100.0, 100.0);
  std::vector<double> xs, ys;
  std::string vrp = "DIMENSION : 51\nCAPACITY : 160\nEDGE_WEIGHT_TYPE : EUC_2D\nNODE_COORD_SECTION\n";
  for (int id = 1; id <= 51; ++id) {
    char x[32], y[32];
    std::snprintf(x, sizeof x, "%.5f", coordinate(random));
    std::snprintf(y, sizeof y, "%.5f", coordinate(random));
    xs.push_back(std::strtod(x, nullptr));
    ys.push_back(std::strtod(y, nullptr));
    vrp += std::to_string(id) + " " + x + " " + y + "\n";
  }
  vrp += "DEMAND_SECTION\n";
  for (int id = 1; id <= 51; ++id) vrp += std::to_string(id) + " " + std::to_string(id == 1 ? 0 : id % 7) + "\n";
  write_file("random.vrp", vrp);

  const Outcome outcome = run_tool("random.vrp .");
  ASSERT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.errors, "");  // 50 customers, capacity 160: nothing to warn about
  const std::vector<std::string> lines = split_lines(read_file("distancia.dat"));
  ASSERT_EQ(lines.size(), 51u * 50u);
  std::size_t next = 0;
  for (int i = 0; i <= 50; ++i) {
    for (int j = 0; j <= 50; ++j) {
      if (i == j) continue;
      int from = -1, to = -1, used = 0;
      const char* line = lines[next++].c_str();
      ASSERT_EQ(std::sscanf(line, "%d, %d, %n", &from, &to, &used), 2) << line;
      ASSERT_EQ(from, i);
      ASSERT_EQ(to, j);
      const double dx = xs[i] - xs[j], dy = ys[i] - ys[j];
      EXPECT_EQ(std::strtof(line + used, nullptr), static_cast<float>(std::sqrt(dx * dx + dy * dy)))
          << line;
    }
  }
  EXPECT_EQ(split_lines(read_file("demanda.dat")).at(49), "50, 2");  // file node 51
}

TEST(vrp2dat, WarnsWhenTheInstanceDoesNotMatchTheProgramSettings) {
  ScratchDir scratch;
  const struct {
    std::string vrp;
    std::vector<std::string> warnings;
  } cases[] = {
      // First: a conversion without coordinates leaves none behind for the next.
      {replaced(kTiny, "EDGE_WEIGHT_TYPE :EUC_2D\nCAPACITY : 160\nNODE_COORD_SECTION\n1 3 0\n2 0 0\n3 0 4\n4 3 4\n",
                "EDGE_WEIGHT_TYPE : EXPLICIT\nEDGE_WEIGHT_FORMAT : UPPER_ROW\nCAPACITY : 160\nEDGE_WEIGHT_SECTION\n"
                "3 5 4\n4 5.1\n3\n"),
       {"3 customers", "tiny: weights such as 5.1 are not floats: the program works with the nearest floats"}},
      {kTiny, {"3 customers"}},
      {replaced(kTiny, "CAPACITY : 160", "CAPACITY : 100"), {"3 customers", "capacity 100"}},
      {replaced(kTiny, "CAPACITY : 160\n", ""), {"3 customers", "no CAPACITY"}},
  };
  for (const auto& c : cases) {
    write_file("warn.vrp", c.vrp);
    const Outcome outcome = run_tool("warn.vrp out");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(split_lines(outcome.errors).size(), c.warnings.size()) << outcome.errors;
    for (const std::string& warning : c.warnings)
      EXPECT_NE(outcome.errors.find(warning), std::string::npos) << outcome.errors;
    EXPECT_EQ(read_file("out/demanda.dat"), "1, 7\n2, 9\n3, 11\n");
  }
}

TEST(vrp2dat, RefusesBadInputWithoutWritingAnything) {
  ScratchDir scratch;
  const struct {
    std::string vrp;  // empty: no input file at all
    std::string message;
  } cases[] = {
      {"", "cannot open"},
      {replaced(kTiny, ":EUC_2D", ": GEO"), "EDGE_WEIGHT_TYPE GEO"},
      {replaced(kTiny, "EDGE_WEIGHT_TYPE :EUC_2D\n", ""), "no EDGE_WEIGHT_TYPE"},
      {replaced(kTiny, "DIMENSION: 4\n", ""), "no DIMENSION"},
      {replaced(kTiny, "NODE_COORD_SECTION\n1 3 0\n2 0 0\n3 0 4\n4 3 4\n", ""), "no NODE_COORD"},
      {replaced(kTiny, "DEMAND_SECTION\n1 7\n2 0\n3 9\n4 11\n", ""), "no DEMAND"},
      {replaced(kTiny, "3 0 4", "3 0"), ":9: malformed coordinate"},
      {replaced(kTiny, "3 0 4", "3 0 4 5"), ":9: malformed coordinate"},
      {replaced(kTiny, "3 0 4", "3 0 4x"), ":9: malformed coordinate"},
      {replaced(kTiny, "4 3 4", "5 3 4"), ":10: coordinate line names node 5"},
      {replaced(kTiny, "3 9", "3 nine"), ":14: malformed demand"},
      {replaced(kTiny, "3 9", "0 9"), ":14: demand line names node 0"},
      {replaced(kTiny, "4 3 4\n", ""), "node 4 has no coordinates"},
      {replaced(kTiny, "4 11\n", ""), "node 4 has no demand"},
      {replaced(kTiny, "3 0 4", "3 nan 4"), "not finite"},
      {replaced(kTiny, "3 0 4", "3 0 -inf"), "not finite"},
      {replaced(kTiny, " 2\n -1", " 2\n 3\n -1"), "more than one depot"},
      {replaced(kTiny, " 2\n -1", " 9\n -1"), "DEPOT_SECTION names node 9"},
      {replaced(kTiny, "DIMENSION: 4", "DIMENSION: 52"), ":3: DIMENSION 52 gives 51 customers, more than 50 (the program reads nodes 0..50 only; cvrpsolve"},
  };
  fs::create_directory("out");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    fs::remove("bad.vrp");
    if (!c.vrp.empty()) write_file("bad.vrp", c.vrp);
    const Outcome outcome = run_tool("bad.vrp out");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(split_lines(outcome.errors).size(), 1u) << outcome.errors;
    EXPECT_NE(outcome.errors.find(c.message), std::string::npos) << outcome.errors;
    EXPECT_TRUE(fs::is_empty("out"));
  }

  // Output folders that cannot be written: a plain file, or a folder under one.
  write_file("tiny.vrp", kTiny);
  write_file("blocker", "keep");
  for (const char* folder : {"blocker", "blocker/sub"}) {
    EXPECT_EQ(run_tool(std::string("tiny.vrp ") + folder).status, 1) << folder;
    EXPECT_EQ(read_file("blocker"), "keep");
  }

  // A folder in the way of one output refuses all three, the earlier ones
  // kept; a file of the user's with a temporary-looking name is not touched.
  ASSERT_EQ(run_tool("tiny.vrp kept").status, 0);
  write_file("kept/distancia.dat.tmp", "mine");
  fs::remove("kept/coordenadas.dat");
  fs::create_directory("kept/coordenadas.dat");
  write_file("other.vrp", replaced(kTiny, "3 9", "3 8"));
  const Outcome refused = run_tool("other.vrp kept");
  EXPECT_TRUE(refused.errors.ends_with("\nvrp2dat: cannot write kept/coordenadas.dat: it is a folder, which is never "
                                      "replaced\n"))
      << refused.errors;
  EXPECT_EQ(read_file("kept/demanda.dat"), "1, 7\n2, 9\n3, 11\n");
  fs::remove("kept/coordenadas.dat");
  ASSERT_EQ(run_tool("other.vrp kept").status, 0);
  EXPECT_EQ(read_file("kept/demanda.dat") + read_file("kept/distancia.dat.tmp"), "1, 7\n2, 8\n3, 11\nmine");
  EXPECT_EQ(testing_support::listing("kept"),
            (std::set<std::string>{"distancia.dat", "demanda.dat", "coordenadas.dat", "distancia.dat.tmp"}));

  // Wrong usage.
  for (const char* args : {"", "tiny.vrp", "tiny.vrp out extra", "--bogus tiny.vrp out"}) {
    const Outcome outcome = run_tool(args);
    EXPECT_EQ(outcome.status, 2) << args;
    EXPECT_NE(outcome.errors.find("usage: vrp2dat"), std::string::npos) << args;
    EXPECT_TRUE(fs::is_empty("out")) << args;
  }
}

}  // namespace
