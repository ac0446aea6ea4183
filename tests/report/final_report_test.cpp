#include <fcntl.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "model/route.h"
#include "report/final_report.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

// Standard input read from a file for the lifetime of the object, so the
// report's pause never waits on the terminal.
class StdinFrom {
 public:
  explicit StdinFrom(const char* path) : saved_(dup(STDIN_FILENO)) {
    const int fd = open(path, O_RDONLY);
    dup2(fd, STDIN_FILENO);
    close(fd);
    clearerr(stdin);
  }
  ~StdinFrom() {
    std::fflush(stdin);  // drop whatever the stream buffered from the file
    dup2(saved_, STDIN_FILENO);
    close(saved_);
    clearerr(stdin);
  }
  StdinFrom(const StdinFrom&) = delete;
  StdinFrom& operator=(const StdinFrom&) = delete;

 private:
  int saved_;
};

std::string stars(std::size_t count) { return std::string(count, '*'); }

// Four customers, asymmetric distances (row = from, column = to), demands
// 50, 70, 100 and 40: 260 in all, so at least 2 trucks of 160.
class FinalReport : public ::testing::Test {
 protected:
  ScratchDir dir;
  DistanceMatrix matrix = make_matrix(4, {0, 10, 20, 30, 40,
                                          11, 0, 5, 7, 9,
                                          21, 6, 0, 8, 12,
                                          31, 13, 14, 0, 3,
                                          41, 15, 16, 4, 0});
  DemandVector demand{0, 50, 70, 100, 40};
  std::string console;
  int next_input = 0;  // the first character the report left on standard input

  void report(const Route& best, float fomin, const std::string& input = "") {
    write_file("input.txt", input);
    StdinFrom in("input.txt");
    console = capture_stdout([&] {
      EXPECT_EQ(final_report(fomin, demand, 4, 160, best, matrix, static_cast<int>(best.size())),
                ReportFile::written);
    });
    next_input = std::getchar();
  }
  std::string file() const { return read_file("solucao.dat"); }
};

// Zero at position 1, adjacent zeros in the middle and before the closing
// depot: trips (3), (1), (4 2) with loads 100, 50, 110, numbered 1..3.
// Distance 0>3 30 + 3>0 31 + 0>1 10 + 1>0 11 + 0>4 40 + 4>2 16 + 2>0 21 = 159;
// the objective line shows fomin as passed (159.25), not a recomputed value.
TEST_F(FinalReport, EmptyTripsLeaveNoTraceInEitherCopy) {
  report({0, 0, 3, 0, 0, 1, 0, 4, 2, 0, 0}, 159.25f, "xy");
  EXPECT_EQ(console, stars(80) + "\n" +
                         stars(24) + " RELATORIO FINAL " + stars(39) + "\n"
                         "Valor da funcao objetivo = 159.250000\n"
                         "Numero minimo de caminhoes necessarios = 2\n"
                         "Numero de caminhoes utilizados         = 3\n"
                         "Distancia total percorrida = 159.000000\n" +
                         stars(80) + "\n"
                         "Tecle enter para continuar" +
                         stars(25) + " ROTEIRO " + stars(46) + "\n"
                         "Caminhao[1] - Deposito --> 3 --> Deposito\n"
                         "Carga[1] = 100\n" + stars(80) + "\n\n"
                         "Caminhao[2] - Deposito --> 1 --> Deposito\n"
                         "Carga[2] = 50\n" + stars(80) + "\n\n"
                         "Caminhao[3] - Deposito --> 4 --> 2 --> Deposito\n"
                         "Carga[3] = 110\n" + stars(80) + "\n\n");
  EXPECT_EQ(file(), stars(35) + " RELATORIO FINAL " + stars(56) + "\n"
                        "Valor da fun\xE7\xE3o objetivo = 159.250000\n"
                        "N\xFAmero m\xEDnimo de caminh\xF5" "es necess\xE1rios = 2\n"
                        "N\xFAmero de caminh\xF5" "es utilizados         = 3\n\n"
                        "Dist\xE2ncia total percorrida = 159.000000 Kilometros\n" +
                        stars(117) + "\n\n\n\n" +
                        stars(34) + " ROTEIRO DE CADA CAMINH\xC3O " + stars(67) + "\n\n\n\n"
                        "Caminhao[1] - Deposito --> 3 --> Deposito\n"
                        "Carga[1] = 100\n" + stars(96) + "\n\n\n"
                        "Caminhao[2] - Deposito --> 1 --> Deposito\n"
                        "Carga[2] = 50\n" + stars(96) + "\n\n\n"
                        "Caminhao[3] - Deposito --> 4 --> 2 --> Deposito\n"
                        "Carga[3] = 110\n" + stars(96) + "\n\n\n");
  EXPECT_EQ(next_input, 'y') << "the pause reads exactly one character";
}

// One trip with every customer: load 260, excess 100, so the objective is
// 100 * 1000 + 67 while the distance is 0>1 10 + 5 + 8 + 3 + 4>0 41 = 67.
TEST_F(FinalReport, SingleOverloadedTripPrintsLoadPlainlyAndNoSecondHeader) {
  report({0, 1, 2, 3, 4, 0, 0}, 100067.0f);  // empty input: the pause returns at once
  EXPECT_NE(console.find("Valor da funcao objetivo = 100067.000000\n"), std::string::npos);
  EXPECT_NE(console.find("Numero de caminhoes utilizados         = 1\n"), std::string::npos);
  EXPECT_NE(console.find("Distancia total percorrida = 67.000000\n"), std::string::npos);
  const std::string trip = "Caminhao[1] - Deposito --> 1 --> 2 --> 3 --> 4 --> Deposito\nCarga[1] = 260\n";
  EXPECT_TRUE(console.ends_with(trip + stars(80) + "\n\n")) << console;
  const std::string written = file();
  EXPECT_TRUE(written.ends_with(trip + stars(96) + "\n\n\n")) << written;
  EXPECT_NE(written.find("\n\nDist\xE2ncia total percorrida = 67.000000 Kilometros\n"), std::string::npos);
  EXPECT_EQ(console.find("Caminhao[2]"), std::string::npos);
  EXPECT_EQ(written.find("Caminhao[2]"), std::string::npos);
  EXPECT_EQ(next_input, EOF);
}

TEST_F(FinalReport, FileHoldsOnlyTheLatestReport) {
  write_file("solucao.dat", "stale contents from an earlier run\n");
  const Route single{0, 1, 2, 3, 4, 0, 0};
  report(single, 100067.0f);
  const std::string alone = file();
  EXPECT_TRUE(alone.starts_with(stars(35) + " RELATORIO FINAL ")) << alone;
  report({0, 0, 3, 0, 0, 1, 0, 4, 2, 0, 0}, 159.0f);  // a longer report first
  report(single, 100067.0f);
  EXPECT_EQ(file(), alone);
}

// A report file that cannot be opened (a folder) or written (a full device)
// is reported, but only after the console has shown the whole report.
TEST(FinalReportFile, UnwritableOneIsReportedAfterTheConsoleReport) {
  ScratchDir dir;
  write_file("input.txt", "\n");
  const DistanceMatrix matrix = make_matrix(1, {0, 1, 1, 0});
  const DemandVector demand{0, 10};
  const Route best{0, 1, 0};
  ReportFile written = ReportFile::written;
  const auto report = [&] {
    StdinFrom in("input.txt");
    return capture_stdout([&] { written = final_report(2.0f, demand, 1, 160, best, matrix, 3); });
  };
  const std::string listing =
      "Tecle enter para continuar" + stars(25) + " ROTEIRO " + stars(46) +
      "\nCaminhao[1] - Deposito --> 1 --> Deposito\nCarga[1] = 10\n" + stars(80) + "\n\n";
  std::filesystem::create_directory("solucao.dat");
  EXPECT_TRUE(report().ends_with(listing));
  EXPECT_EQ(written, ReportFile::not_opened);
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  std::filesystem::remove("solucao.dat");
  std::filesystem::create_symlink("/dev/full", "solucao.dat");
  EXPECT_TRUE(report().ends_with(listing));
  EXPECT_EQ(written, ReportFile::not_written);
}

}  // namespace
