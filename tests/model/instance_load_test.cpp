// The readers' cores, which return the failure message instead of printing
// it, and the reader of coordenadas.dat.
#include "model/instance.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

using testing_support::ScratchDir;
using testing_support::write_file;

TEST(InstanceLoad, CoresReturnTheMessageTheReadersPrint) {
  ScratchDir dir;
  DistanceMatrix matrix = alloc_matrix(4, 4);
  DemandVector demand = alloc_vector(4);
  EXPECT_EQ(load_distances("distancia.dat", matrix), "O Arquivo distancia.dat nao pode ser aberto.\n");
  write_file("distancia.dat", "1, 2, 3.5\n1, 7, 2\n");
  EXPECT_EQ(load_distances("distancia.dat", matrix), "No 7 fora do intervalo 0..3 no arquivo distancia.dat.\n");
  EXPECT_EQ(matrix.at(1, 2), 3.5f);  // the records before the failure are in
  write_file("demanda.dat", "1, 2000000\n2, 147484\n");
  EXPECT_EQ(load_demands("demanda.dat", demand, 1000), "Demanda total grande demais no arquivo demanda.dat.\n");
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
