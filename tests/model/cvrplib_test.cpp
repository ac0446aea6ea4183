// The CVRPLIB reader against the program's own files of the same instance,
// the weight formats it takes, what it refuses, and the writer read back.
#include "model/cvrplib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

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
  // Rounded, as the E set uses it: the whole numbers nearest the same distances.
  ASSERT_EQ(read_cvrplib(CVRP_EXAMPLES_DIR "/cmt1/CMT1.vrp", true, read), std::nullopt);
  for (std::size_t k = 0; k < read.matrix.cells.size(); ++k)
    ASSERT_EQ(read.matrix.cells[k], std::floor(static_cast<double>(dat.matrix.cells[k]) + 0.5)) << k;
}

// Three nodes, the depot the file's node 3, weights d(1,2) = 4, d(1,3) = 5,
// d(2,3) = 6 in each format: the instance's nodes are 3, 1, 2.
TEST(Cvrplib, ExplicitWeightsInEveryFormat) {
  const std::string head = "NAME : w\nTYPE : CVRP\nDIMENSION : 3\nCAPACITY : 10\nEDGE_WEIGHT_TYPE : EXPLICIT\n";
  const std::string tail = "DEMAND_SECTION\n1 2\n2 3\n3 0\nDEPOT_SECTION\n3\n-1\nEOF\n";
  const std::vector<float> expected{0, 5, 6, 5, 0, 4, 6, 4, 0};
  const struct {
    const char* format;
    const char* weights;
  } cases[] = {{"FULL_MATRIX", "0 4 5\n4 0 6\n5 6 0"},     {"LOWER_ROW", "4\n5 6"},
               {"UPPER_ROW", "4 5\n6"},                    {"LOWER_DIAG_ROW", "0\n4 0\n5 6 0"},
               {"UPPER_DIAG_ROW", "0 4 5 0 6\n0"}};
  for (const auto& c : cases) {
    const Instance instance = parsed(head + "EDGE_WEIGHT_FORMAT : " + c.format + "\nEDGE_WEIGHT_SECTION\n" + c.weights +
                                     "\n" + tail);
    EXPECT_EQ(instance.matrix.cells, expected) << c.format;
    EXPECT_EQ(instance.demand, (DemandVector{0, 2, 3})) << c.format;
    EXPECT_FALSE(instance.points);
  }
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
  };
  for (const auto& c : cases) {
    Instance instance;
    const auto failure = parse_cvrplib(c.text, "t.vrp", false, instance);
    ASSERT_TRUE(failure) << c.message;
    EXPECT_TRUE(failure->starts_with(c.message)) << *failure;
  }
  parsed(with("CAPACITY : 10\n", "CAPACITY : 10\nSERVICE_TIME : 0\n"));  // no service time at all
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
