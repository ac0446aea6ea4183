#include "model/instance.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "model/route.h"
#include "support/test_support.h"

namespace {

using testing_support::ScratchDir;
using testing_support::write_file;

// The readers are exercised on an instance of 3 customers: nodes 0..3.
constexpr int kNodes = 4;
constexpr int kPenalty = 1000;

DistanceMatrix zeroed_matrix() {
  DistanceMatrix matrix;
  EXPECT_TRUE(alloc_matrix(kNodes, kNodes, matrix));
  zero_matrix(matrix);
  return matrix;
}

DemandVector zeroed_demands() {
  DemandVector demand;
  EXPECT_TRUE(alloc_vector(kNodes, demand));
  zero_vector(demand);
  return demand;
}

// The readers' message, checked to be the given one; the readers leave the
// process running.
void read_distances(const char* path, DistanceMatrix& matrix) { EXPECT_EQ(load_distances(path, matrix), std::nullopt); }
void read_demands(const char* path, DemandVector& demand, int penalty) {
  EXPECT_EQ(load_demands(path, demand, penalty), std::nullopt);
}

TEST(InstanceStorage, AllocZeroFreeAndShortageMessage) {
  DistanceMatrix matrix;
  ASSERT_TRUE(alloc_matrix(3, 5, matrix));
  ASSERT_EQ(matrix.cells.size(), 15u);
  matrix.cells.assign(15, 7.0f);
  zero_matrix(matrix);
  EXPECT_EQ(matrix.cells, std::vector<float>(15, 0.0f));
  matrix.cell(2, 4) = 1.5f;  // the last cell: row 2 of 0..2, column 4 of 0..4
  EXPECT_EQ(matrix.cells[14], 1.5f);
  free_matrix(matrix);
  EXPECT_TRUE(matrix.cells.empty());

  std::vector<int> vector;
  ASSERT_TRUE(alloc_vector(6, vector));
  ASSERT_EQ(vector.size(), 6u);
  vector.assign(6, -3);
  zero_vector(vector);
  EXPECT_EQ(vector, std::vector<int>(6, 0));
  free_vector(vector);
  EXPECT_TRUE(vector.empty());

  EXPECT_EQ(shortage_message(kVectorShortage),
            "\n ****** Falta memoria para alocar o vetor de ponteiros ******\n... Saindo do sistema ...\n");
}

TEST(InstanceReaders, EmptyFilesLeaveEverythingZero) {
  ScratchDir dir;
  for (const char* text : {"", " \n\t\r\n  \n"}) {
    write_file("distancia.dat", text);
    write_file("demanda.dat", text);
    DistanceMatrix matrix = zeroed_matrix();
    DemandVector demand = zeroed_demands();
    read_distances("distancia.dat", matrix);
    read_demands("demanda.dat", demand, kPenalty);
    EXPECT_EQ(matrix.cells, std::vector<float>(kNodes * kNodes, 0.0f));
    EXPECT_EQ(demand, DemandVector(kNodes, 0));
    EXPECT_EQ(min_trucks(demand, kNodes, 160), 0);
  }
}

TEST(InstanceReaders, DistanceRecordLayouts) {
  ScratchDir dir;
  write_file("distancia.dat",
             "1, 2, 3.5\n"          // one record per line
             "2,3,42.5\n"           // no spaces after the commas
             "3,\n0,\n7.25\n"       // one record over three lines
             "0, 1,\t\n  0.1\r\n"   // tabs, line breaks and a carriage return
             "1, 2, 6\n"            // overwrites (1, 2)
             "0, 0, 1e2");          // last record without a line break
  DistanceMatrix matrix = zeroed_matrix();
  read_distances("distancia.dat", matrix);
  // Only the named cells are set; (2, 1), (3, 2), (0, 3) and (1, 0) stay 0.0.
  const std::vector<float> expected = {
      100.0f, 0.1f, 0.0f, 0.0f,   //
      0.0f,   0.0f, 6.0f, 0.0f,   //
      0.0f,   0.0f, 0.0f, 42.5f,  //
      7.25f,  0.0f, 0.0f, 0.0f};
  EXPECT_EQ(matrix.cells, expected);
}

TEST(InstanceReaders, DemandRecordLayouts) {
  ScratchDir dir;
  write_file("demanda.dat",
             "1, 40\n"
             "2,55\n"
             "3,\n   65\n"
             "1, 45");  // overwrites node 1, no final line break
  DemandVector demand = zeroed_demands();
  read_demands("demanda.dat", demand, kPenalty);
  EXPECT_EQ(demand, (DemandVector{0, 45, 55, 65}));

  // 2147483 * 1000 = 2147483000 still fits an int; only the customers count,
  // so a huge depot entry does not matter.
  write_file("demanda.dat", "0, 2000000000\n1, 2000000\n2, -147483\n");
  demand = zeroed_demands();
  read_demands("demanda.dat", demand, kPenalty);
  EXPECT_EQ(demand, (DemandVector{2000000000, 2000000, -147483, 0}));
}

// A file that must end the run: which file, its text (null: no file at all),
// and the message printed.
struct BrokenFile {
  const char* name;
  const char* file;
  const char* text;
  const char* message;
};

void PrintTo(const BrokenFile& broken, std::ostream* out) { *out << broken.name; }

class ReadersRejectBrokenFiles : public ::testing::TestWithParam<BrokenFile> {};

TEST_P(ReadersRejectBrokenFiles, ReturnTheProgramsMessage) {
  const BrokenFile& broken = GetParam();
  ScratchDir dir;
  if (broken.text != nullptr) write_file(broken.file, broken.text);
  const std::string file = broken.file;
  DistanceMatrix matrix = zeroed_matrix();
  DemandVector demand = zeroed_demands();
  EXPECT_EQ(file == "distancia.dat" ? load_distances(file.c_str(), matrix)
                                    : load_demands(file.c_str(), demand, kPenalty),
            broken.message);
}

constexpr const char* kBadDistance = "Registro invalido no arquivo distancia.dat.\n";
constexpr const char* kBadDemand = "Registro invalido no arquivo demanda.dat.\n";
constexpr const char* kNotFinite = "Distancia invalida no arquivo distancia.dat.\n";
constexpr const char* kTooMuch = "Demanda total grande demais no arquivo demanda.dat.\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadersRejectBrokenFiles,
    ::testing::Values(
        BrokenFile{"NoDistanceFile", "distancia.dat", nullptr,
                   "O Arquivo distancia.dat nao pode ser aberto.\n"},
        BrokenFile{"NoDemandFile", "demanda.dat", nullptr,
                   "O Arquivo demanda.dat nao pode ser aberto.\n"},
        BrokenFile{"FromNodeTooHigh", "distancia.dat", "1, 2, 3\n4, 1, 2.0\n",
                   "No 4 fora do intervalo 0..3 no arquivo distancia.dat.\n"},
        BrokenFile{"ToNodeNegative", "distancia.dat", "1, -1, 2.0\n",
                   "No -1 fora do intervalo 0..3 no arquivo distancia.dat.\n"},
        BrokenFile{"DemandNodeTooHigh", "demanda.dat", "1, 10\n5, 10\n",
                   "No 5 fora do intervalo 0..3 no arquivo demanda.dat.\n"},
        BrokenFile{"SpaceBeforeComma", "distancia.dat", "1 , 2, 3.0\n", kBadDistance},
        BrokenFile{"LetterLine", "distancia.dat", "1, 2, 3.0\nabc\n", kBadDistance},
        BrokenFile{"MissingComma", "distancia.dat", "1 2 3.0\n", kBadDistance},
        BrokenFile{"TruncatedAfterComma", "distancia.dat", "1, 2, 3.0\n2, 3,\n", kBadDistance},
        BrokenFile{"TruncatedAfterNode", "distancia.dat", "1, 2, 3.0\n2, 3", kBadDistance},
        BrokenFile{"TextAfterLastRecord", "distancia.dat", "1, 2, 3.0\nfim\n", kBadDistance},
        BrokenFile{"DemandNotANumber", "demanda.dat", "1, x\n", kBadDemand},
        BrokenFile{"FractionalDemand", "demanda.dat", "1, 2.5\n", kBadDemand},
        BrokenFile{"TruncatedDemand", "demanda.dat", "1, 10\n2,", kBadDemand},
        BrokenFile{"DemandBeyondInt", "demanda.dat", "1, 3000000000\n", kBadDemand},
        BrokenFile{"DistanceNan", "distancia.dat", "1, 2, nan\n", kNotFinite},
        BrokenFile{"DistanceInfinite", "distancia.dat", "1, 2, -inf\n", kNotFinite},
        BrokenFile{"DistanceOverflowsFloat", "distancia.dat", "1, 2, 1e39\n", kNotFinite},
        // 2000000 + 147484 = 2147484, and 2147484 * 1000 > 2147483647.
        BrokenFile{"DemandSumTooLarge", "demanda.dat", "1, 2000000\n2, 147484\n", kTooMuch},
        BrokenFile{"NegativeDemandsCountByAbsoluteValue", "demanda.dat",
                   "1, -2000000\n3, 147484\n", kTooMuch}),
    [](const ::testing::TestParamInfo<BrokenFile>& info) { return std::string(info.param.name); });

}  // namespace
