// What a reader keeps of a file it refuses, the program's instance read from
// a folder, and the reader of coordenadas.dat.
#include "model/instance.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

using testing_support::ScratchDir;
using testing_support::write_file;

TEST(InstanceLoad, RecordsBeforeAFailureAreKept) {
  ScratchDir dir;
  DistanceMatrix matrix;
  matrix.rows = matrix.cols = 4;
  matrix.cells.assign(16, 0.0f);
  DemandVector demand(4);
  EXPECT_EQ(load_distances("distancia.dat", matrix), "O Arquivo distancia.dat nao pode ser aberto.\n");
  write_file("distancia.dat", "1, 2, 3.5\n1, 7, 2\n");
  EXPECT_EQ(load_distances("distancia.dat", matrix), "No 7 fora do intervalo 0..3 no arquivo distancia.dat.\n");
  EXPECT_EQ(matrix.at(1, 2), 3.5f);  // the records before the failure are in
  write_file("demanda.dat", "1, 2000000\n2, 147484\n");
  EXPECT_EQ(load_demands("demanda.dat", demand, 1000), "Demanda total grande demais no arquivo demanda.dat.\n");
  EXPECT_EQ(demand[2], 147484);
}

TEST(InstanceLoad, DatFolderNamesTheFileThatFails) {
  ScratchDir dir;
  Instance instance;
  EXPECT_EQ(load_dat_instance("", 3, 160, 1000, instance), "O Arquivo distancia.dat nao pode ser aberto.\n");
  std::filesystem::create_directory("folder");
  write_file("folder/distancia.dat", "1, 2, 3.5\n");
  EXPECT_EQ(load_dat_instance("folder", 3, 160, 1000, instance),
            "O Arquivo folder/demanda.dat nao pode ser aberto.\n");
  write_file("folder/demanda.dat", "3, 7\n");
  ASSERT_EQ(load_dat_instance("folder", 3, 160, 1000, instance), std::nullopt);
  EXPECT_EQ(instance.demand, (DemandVector{0, 0, 0, 7}));
  EXPECT_EQ(instance.matrix.at(1, 2), 3.5f);
  EXPECT_EQ(instance.vehicle_capacity, 160);
}

TEST(InstanceLoad, CoordinatesNeedEveryNodeOnceFinite) {
  ScratchDir dir;
  std::vector<NodePoint> points(3);
  write_file("coordenadas.dat", "0, 30, 40\n1,-2.5,\n1e1\n2, 0.1, 7\n");
  ASSERT_EQ(load_coordinates("coordenadas.dat", points), std::nullopt);
  EXPECT_EQ(points[1].x, -2.5);
  EXPECT_EQ(points[1].y, 10.0);
  EXPECT_EQ(points[2].x, 0.1);  // read as a double, not a float

  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"0, 1, 1\n2, 1, 1\n", "No 1 sem coordenadas no arquivo coordenadas.dat.\n"},
      {"0, 1, 1\n1, nan, 1\n2, 1, 1\n", "Coordenada invalida no arquivo coordenadas.dat.\n"},
      {"0, 1, 1\n1, 1 1\n2, 1, 1\n", "Registro invalido no arquivo coordenadas.dat.\n"},
      {"0, 1, 1\n3, 1, 1\n", "No 3 fora do intervalo 0..2 no arquivo coordenadas.dat.\n"},
  };
  for (const auto& c : cases) {
    write_file("coordenadas.dat", c.text);
    EXPECT_EQ(load_coordinates("coordenadas.dat", points), c.message) << c.text;
  }
}

}  // namespace
