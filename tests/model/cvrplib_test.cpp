// The CVRPLIB reader against the program's own files of the same instance,
// the weight formats it takes, what it refuses, and the writer read back.
#include "model/cvrplib.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "model/route_cache.h"
#include "support/test_support.h"

namespace {

using testing_support::cmt1_instance;

// Reads text that must be accepted.
Instance parsed(const std::string& text, bool round = false, CvrplibFile* file = nullptr) {
  Instance instance;
  const auto failure = parse_cvrplib(text, "t.vrp", round, instance, file);
  EXPECT_EQ(failure, std::nullopt) << text;
  return instance;
}

TEST(Cvrplib, Cmt1GivesTheFloatsOfTheProgramsFiles) {
  Instance read;
  CvrplibFile file;
  ASSERT_EQ(read_cvrplib(CVRP_EXAMPLES_DIR "/cmt1/CMT1.vrp", false, read, &file), std::nullopt);
  const Instance dat = cmt1_instance();
  EXPECT_EQ(read.customer_count, 50);
  EXPECT_EQ(read.vehicle_capacity, 160);
  EXPECT_EQ(read.matrix.cells, dat.matrix.cells);  // float for float
  EXPECT_EQ(read.demand, dat.demand);
  EXPECT_EQ(file.name, "CMT1");
  EXPECT_EQ(file.comment, "524.61");
  // Rounded, as the E set uses it: every cell a whole number within a half
  // of the unrounded one.
  ASSERT_EQ(read_cvrplib(CVRP_EXAMPLES_DIR "/cmt1/CMT1.vrp", true, read), std::nullopt);
  for (std::size_t k = 0; k < read.matrix.cells.size(); ++k) {
    ASSERT_EQ(read.matrix.cells[k], std::trunc(read.matrix.cells[k])) << k;
    ASSERT_LE(std::fabs(read.matrix.cells[k] - dat.matrix.cells[k]), 0.5f) << k;
  }
}

// EUC_2D distances from the depot (0, 0), worked by hand: 3-4-5 gives 5;
// (1.5, 2) and (2.5, 6) lie at 2.5 and 6.5, which round up to 3 and 7;
// (1, 1) lies at sqrt(2) = 1.4142135623730951, which rounds to 1.
TEST(Cvrplib, EuclideanDistancesAndTheirRounding) {
  const std::string text =
      "NAME : e\nDIMENSION : 5\nEDGE_WEIGHT_TYPE : EUC_2D\nCAPACITY : 9\nNODE_COORD_SECTION\n"
      "1 0 0\n2 3 4\n3 1.5 2\n4 2.5 6\n5 1 1\nDEMAND_SECTION\n1 0\n2 1\n3 1\n4 1\n5 1\nEOF\n";
  const Instance exact = parsed(text);
  const Instance rounded = parsed(text, true);
  const double unrounded[] = {5.0, 2.5, 6.5, 1.4142135623730951};
  const double whole[] = {5.0, 3.0, 7.0, 1.0};
  for (int node = 1; node <= 4; ++node) {
    EXPECT_EQ(true_distance(exact, 0, node), unrounded[node - 1]) << node;
    EXPECT_EQ(exact.matrix.at(node, 0), static_cast<float>(unrounded[node - 1])) << node;
    EXPECT_EQ(true_distance(rounded, node, 0), whole[node - 1]) << node;
    EXPECT_EQ(rounded.matrix.at(0, node), static_cast<float>(whole[node - 1])) << node;
  }
}

// The true cost of routes is the double sum of the distances as the file
// gives them, where the searches' float matrix and float sums are off.
TEST(Cvrplib, RoutesCostIsTheDoubleSumOfTheTrueDistances) {
  const auto euclidean = [](const std::string& points) {
    return "NAME : c\nDIMENSION : 3\nEDGE_WEIGHT_TYPE : EUC_2D\nCAPACITY : 9\nNODE_COORD_SECTION\n" + points +
           "DEMAND_SECTION\n1 0\n2 1\n3 1\nEOF\n";
  };
  const struct {
    std::string text;
    bool round;
    std::vector<std::vector<int>> routes;
    double cost;
  } cases[] = {
      // sqrt(2) + sqrt(2) + sqrt(8), each the double nearest (Python's math.sqrt
      // summed in this order); the floats would give 5.656854152679443.
      {euclidean("1 0 0\n2 1 1\n3 2 2\n"), false, {{1, 2}}, 5.656854249492381},
      // 16777216 + 1 + 16777216 (the last rounded from 16777216.00000003):
      // in float the 1 is lost (33554432).
      {euclidean("1 0 0\n2 0 16777216\n3 1 16777216\n"), true, {{1, 2}}, 33554433.0},
      // Weights that are no floats, kept as written: 0.1 + 0.3 + 0.2 in double.
      {"NAME : w\nDIMENSION : 3\nEDGE_WEIGHT_TYPE : EXPLICIT\nEDGE_WEIGHT_FORMAT : LOWER_ROW\nCAPACITY : 9\n"
       "EDGE_WEIGHT_SECTION\n0.1\n0.2 0.3\nDEMAND_SECTION\n1 0\n2 1\n3 1\nEOF\n",
       false, {{1, 2}}, 0.6000000000000001},
  };
  for (const auto& c : cases) {
    const Instance instance = parsed(c.text, c.round);
    EXPECT_EQ(routes_cost(instance, c.routes), c.cost) << c.text;
  }
  // The program's .dat instances hold floats: their cells are the distances.
  Instance dat;
  dat.customer_count = 1;
  dat.matrix = testing_support::make_matrix(1, {0.0f, 0.1f, 0.1f, 0.0f});
  EXPECT_EQ(routes_cost(dat, {{1}}), 0.20000000298023224);
}

// Four nodes, the depot the file's node 3, weights d(1,2) = 12, d(1,3) = 13,
// d(1,4) = 14, d(2,3) = 23, d(2,4) = 24, d(3,4) = 34 in each format (each
// pair in a different order in the lower and upper formats): the instance's
// nodes are 3, 1, 2, 4.
TEST(Cvrplib, ExplicitWeightsInEveryFormat) {
  const std::string head = "NAME : w\nTYPE : CVRP\nDIMENSION : 4\nCAPACITY : 10\nEDGE_WEIGHT_TYPE : EXPLICIT\n";
  const std::string tail = "DEMAND_SECTION\n1 2\n2 3\n3 0\n4 4\nDEPOT_SECTION\n3\n-1\nEOF\n";
  const std::vector<float> expected{0, 13, 23, 34,  //
                                    13, 0, 12, 14,  //
                                    23, 12, 0, 24,  //
                                    34, 14, 24, 0};
  const struct {
    const char* format;
    const char* weights;
  } cases[] = {{"FULL_MATRIX", "0 12 13 14\n12 0 23 24\n13 23 0 34\n14 24 34 0"},
               {"LOWER_ROW", "12\n13 23\n14 24 34"},
               {"UPPER_ROW", "12 13 14\n23 24\n34"},
               {"LOWER_DIAG_ROW", "0\n12 0\n13 23 0\n14 24 34 0"},
               {"UPPER_DIAG_ROW", "0 12 13 14 0 23\n24 0 34\n0"}};
  for (const auto& c : cases) {
    const Instance instance = parsed(head + "EDGE_WEIGHT_FORMAT : " + c.format + "\nEDGE_WEIGHT_SECTION\n" + c.weights +
                                     "\n" + tail);
    EXPECT_EQ(instance.matrix.cells, expected) << c.format;
    EXPECT_EQ(instance.demand, (DemandVector{0, 2, 3, 4})) << c.format;
    EXPECT_FALSE(instance.points);
  }
  // A weight that is no float is kept as written, in the same cells; FULL_MATRIX
  // keeps each direction.
  const Instance kept = parsed(head + "EDGE_WEIGHT_FORMAT : FULL_MATRIX\nEDGE_WEIGHT_SECTION\n"
                                      "0 12 13 14\n12 0 23 24\n13.1 23 0 34\n14 24 34 0\n" + tail);
  EXPECT_EQ(true_distance(kept, 0, 1), 13.1);
  EXPECT_EQ(true_distance(kept, 1, 0), 13.0);
}

TEST(Cvrplib, RefusesWhatItCannotHonour) {
  const std::string good =
      "NAME : r\nTYPE : CVRP\nDIMENSION : 3\nEDGE_WEIGHT_TYPE : EUC_2D\nCAPACITY : 10\n"
      "NODE_COORD_SECTION\n1 0 0\n2 3 4\n3 6 8\nDEMAND_SECTION\n1 0\n2 5\n3 5\nDEPOT_SECTION\n1\n-1\nEOF\n";
  const auto with = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    return text.replace(text.find(from), from.size(), to);
  };
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {with("CAPACITY : 10\n", "CAPACITY : 10\nDISTANCE : 200.0\n"), "t.vrp:6: DISTANCE 200.0: a route length limit"},
      {with("CAPACITY : 10\n", "CAPACITY : 10\nSERVICE_TIME : 10\n"), "t.vrp:6: SERVICE_TIME 10: service times"},
      {with("1\n-1", "1\n2\n-1"), "t.vrp:16: more than one depot"},
      {with("EUC_2D", "GEO"), "t.vrp:4: EDGE_WEIGHT_TYPE GEO is not supported"},
      {with("EUC_2D", "EXPLICIT"), "t.vrp: EXPLICIT weights without EDGE_WEIGHT_FORMAT"},
      {with("TYPE : CVRP", "TYPE : TSP"), "t.vrp:2: TYPE TSP is not supported"},
      {with("DEMAND_SECTION\n1 0\n2 5\n3 5\n", ""), "t.vrp: no DEMAND_SECTION"},
      {with("DIMENSION : 3", "DIMENSION : 20002"), "t.vrp:3: DIMENSION 20002: more than 10001 nodes"},
      {with("DIMENSION : 3", "DIMENSION : 9000000000000000000"),  // its square overflows a 64-bit integer
       "t.vrp:3: DIMENSION 9000000000000000000: more than 10001 nodes (the distance matrix alone would take "},
      {with("3 6 8", "3 6 8e300"), "t.vrp: distance between nodes 0 and 2 is too large for a float"},
      {with("2 5\n", "2 -5\n"), "t.vrp:12: demand must be an integer from 0"},
      {with("DIMENSION : 3\n", "DIMENSION : 3\nDIMENSION : 4\n"), "t.vrp:4: second DIMENSION line (the first is line 3)"},
      {with("1 0\n2 5", "1 4\n2 5"), "t.vrp:11: the depot (node 1) has demand 4; it must be 0"},
      {with("3 6 8\n", "3 6 8\n3 6 9\n"), "t.vrp:10: second coordinate line for node 3"},
      {with("3 5\n", "3 5\n3 5\n"), "t.vrp:14: second demand line for node 3"},
      {"\xEF\xBB\xBF\xEF\xBB\xBF" + good, "t.vrp:1: unrecognised line"},  // one byte order mark is skipped, not two
      // An unused truck would pay the depot's own weight: the depot is node 2.
      {"NAME : d\nDIMENSION : 3\nEDGE_WEIGHT_TYPE : EXPLICIT\nEDGE_WEIGHT_FORMAT : UPPER_DIAG_ROW\nCAPACITY : 10\n"
       "EDGE_WEIGHT_SECTION\n0 5 10\n99 5\n0\nDEMAND_SECTION\n1 5\n2 0\n3 5\nDEPOT_SECTION\n2\n-1\nEOF\n",
       "t.vrp:8: depot-to-depot weight 99 (node 2 to node 2): an unused truck would cost it; it must be 0"},
  };
  for (const auto& c : cases) {
    Instance instance;
    const auto failure = parse_cvrplib(c.text, "t.vrp", false, instance);
    ASSERT_TRUE(failure) << c.message;
    EXPECT_TRUE(failure->starts_with(c.message)) << *failure;
  }
  parsed(with("CAPACITY : 10\n", "CAPACITY : 10\nSERVICE_TIME : 0\n"));  // no service time at all
  EXPECT_EQ(parsed("\xEF\xBB\xBF" + good).customer_count, 2);         // a byte order mark first
}

// A large EUC_2D instance read for computed distances keeps no cells, yet
// reads back every cell the full matrix holds, bit for bit, and the same
// largest distance and exactness of sums; the limits on its size.
TEST(Cvrplib, ComputedDistancesAreTheMatrixCells) {
  const int nodes = static_cast<int>(kMatrixNodes) + 60;
  std::string text = "NAME : big\nTYPE : CVRP\nDIMENSION : " + std::to_string(nodes) +
                     "\nEDGE_WEIGHT_TYPE : EUC_2D\nCAPACITY : 100\nNODE_COORD_SECTION\n";
  std::uint32_t state = 12345;  // coordinates with fractions, and some points shared
  const auto next = [&state] { return (state = state * 1664525u + 1013904223u) >> 8; };
  for (int id = 1; id <= nodes; ++id)
    text += std::to_string(id) + " " + std::to_string(next() % 2000) + "." + std::to_string(next() % 1000) + " " +
            std::to_string(next() % 40) + "\n";
  text += "DEMAND_SECTION\n1 0\n";
  for (int id = 2; id <= nodes; ++id) text += std::to_string(id) + " 1\n";
  text += "DEPOT_SECTION\n1\n-1\nEOF\n";
  for (const bool round : {false, true}) {
    Instance kept, computed;
    ASSERT_EQ(parse_cvrplib(text, "t.vrp", round, kept), std::nullopt);
    ASSERT_EQ(parse_cvrplib(text, "t.vrp", round, computed, nullptr, kComputedDistances), std::nullopt);
    ASSERT_TRUE(computed.matrix.cells.empty());
    ASSERT_FALSE(kept.matrix.cells.empty());
    int differing = 0;
    for (int from = 0; from < nodes; ++from)
      for (int to = 0; to < nodes; ++to)
        differing += std::bit_cast<std::uint32_t>(kept.matrix.at(from, to)) !=
                     std::bit_cast<std::uint32_t>(computed.matrix.at(from, to));
    EXPECT_EQ(differing, 0) << "round " << round;
    EXPECT_EQ(largest_distance(computed.matrix), largest_distance(kept.matrix));
    EXPECT_TRUE(matrix_is_symmetric(computed.matrix));
    for (const int length : {nodes + 10, 20000})
      EXPECT_EQ(route_sums_exact(computed.matrix, length), route_sums_exact(kept.matrix, length)) << length;
  }
  // Up to 30001 nodes with computed distances; an EXPLICIT instance keeps its matrix and its limit.
  const auto refusal = [&text](const std::string& from, const std::string& to) {
    std::string changed = text;
    changed.replace(changed.find(from), from.size(), to);
    Instance instance;
    return parse_cvrplib(changed, "t.vrp", false, instance, nullptr, kComputedDistances).value_or("");
  };
  const std::string dimension = "DIMENSION : " + std::to_string(nodes) + "\nEDGE_WEIGHT_TYPE : EUC_2D";
  EXPECT_EQ(refusal(dimension, "DIMENSION : 30002\nEDGE_WEIGHT_TYPE : EUC_2D"),
            "t.vrp:3: DIMENSION 30002: more than 30001 nodes");
  EXPECT_EQ(refusal(dimension, "DIMENSION : 10002\nEDGE_WEIGHT_TYPE : EXPLICIT\nEDGE_WEIGHT_FORMAT : FULL_MATRIX"),
            "t.vrp:3: DIMENSION 10002: more than 10001 nodes (the distance matrix alone would take 400 MB; an "
            "EUC_2D instance may have up to 30001)");
}

TEST(Cvrplib, WrittenTextReadsBackAsTheSameInstance) {
  Instance instance = parsed(
      "NAME : back\nDIMENSION : 4\nEDGE_WEIGHT_TYPE : EUC_2D\nCAPACITY : 160\nNODE_COORD_SECTION\n"
      "1 1 1\n2 500 0.1\n3 -7.25 3\n4 2 2\nDEMAND_SECTION\n1 0\n2 0\n3 9\n4 11\nDEPOT_SECTION\n2\n-1\nEOF\n");
  EXPECT_EQ(instance.demand, (DemandVector{0, 0, 9, 11}));  // node 1 of the file is a customer of demand 0
  const std::string text = cvrplib_text(instance, "made here");
  EXPECT_TRUE(text.starts_with("NAME : back\nCOMMENT : made here\nTYPE : CVRP\nDIMENSION : 4\n")) << text;
  EXPECT_NE(text.find("NODE_COORD_SECTION\n1 500 0.1\n2 1 1\n3 -7.25 3\n"), std::string::npos) << text;
  CvrplibFile file;
  const Instance again = parsed(text, false, &file);
  EXPECT_EQ(again.matrix.cells, instance.matrix.cells);
  EXPECT_EQ(again.demand, instance.demand);
  EXPECT_EQ(file.node_ids, (std::vector<long long>{1, 2, 3, 4}));
}

}  // namespace
