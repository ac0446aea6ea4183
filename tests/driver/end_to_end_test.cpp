// The built program run as a separate process in a scratch folder: bad input
// files, the menu, and one complete run per menu choice on the bundled
// instance. A complete run always lasts the program's fixed 30 seconds, so the
// three of them (suite EndToEndSlow) are separate tests that can run side by side.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::LogLine;
using testing_support::read_log;
using testing_support::read_file;
using testing_support::ScratchDir;
using testing_support::split_lines;
using testing_support::write_file;

const fs::path kInstance = fs::path(CVRP_EXAMPLES_DIR) / "cmt1";
constexpr int kCustomers = 50;
constexpr int kLastInnerPosition = 54;  // route of 50 customers + 5 trucks + 1 entries
const std::string kMenu =
    "Digite a sua escolha para rodar o programa \n\nDigite 1 para usar o SIMULATED ANNEALING\n"
    "Digite 2 para usar o BUSCA TABU\nDigite 3 para usar o Hibrido\n";
const std::string kAnnealingLine = "Tecle enter para entrar no SIMULATED ANNEALING";
const std::string kTabuLine = "Tecle enter para entrar no BUSCA TABU";
const std::regex kFoLine(R"(Fo = \d+\.\d{6})");

std::string stars(int count) { return std::string(static_cast<std::size_t>(count), '*'); }

// Runs the program in the current folder with `input` on standard input and
// standard output in out.txt; returns the exit status. Nothing may reach
// standard error.
int run_cvrp(const std::string& input) {
  write_file("in.txt", input);
  const int raw = std::system("'" CVRP_BINARY "' <in.txt >out.txt 2>err.txt");
  EXPECT_EQ(read_file("err.txt"), "");
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

void use_bundled(const char* name) { fs::copy_file(kInstance / name, name); }

// A run whose progress logs are folders: whichever search starts fails on its
// log at once, so the run ends right after the menu with status 1.
std::string blocked_run(const std::string& input, const char* demands = nullptr,
                        const char* distances = nullptr) {
  ScratchDir scratch;
  if (distances != nullptr) write_file("distancia.dat", distances);
  else use_bundled("distancia.dat");
  if (demands != nullptr) write_file("demanda.dat", demands);
  else use_bundled("demanda.dat");
  fs::create_directory("fo_SA.out");
  fs::create_directory("fo_BT.out");
  EXPECT_EQ(run_cvrp(input), 1) << input;
  EXPECT_FALSE(fs::exists("solucao.dat"));
  return read_file("out.txt");
}

// ---------------------------------------------------------------- bad input

struct BadInput {
  const char* name;
  const char* distances;  // nullptr: the bundled file; kMissing: no file
  const char* demands;
  const char* message;
};
constexpr const char* kMissing = "(missing)";
void PrintTo(const BadInput& bad, std::ostream* out) { *out << bad.name; }

class EndToEndBadInput : public testing::TestWithParam<BadInput> {};

TEST_P(EndToEndBadInput, EndsBeforeTheMenuWithOnlyItsMessage) {
  const BadInput& bad = GetParam();
  ScratchDir scratch;
  for (const auto& [file, text] : {std::pair{"distancia.dat", bad.distances},
                                   std::pair{"demanda.dat", bad.demands}}) {
    if (text == nullptr) use_bundled(file);
    else if (text != kMissing) write_file(file, text);
  }
  EXPECT_EQ(run_cvrp("1\n\n\n"), 1);
  EXPECT_EQ(read_file("out.txt"), bad.message);  // nothing about trucks either
  for (const char* output : {"solucao.dat", "fo_SA.out", "fo_BT.out"})
    EXPECT_FALSE(fs::exists(output)) << output;
}

constexpr const char* kBadDistances = "Registro invalido no arquivo distancia.dat.\n";
constexpr const char* kBadDemands = "Registro invalido no arquivo demanda.dat.\n";
constexpr const char* kBadDistance = "Distancia invalida no arquivo distancia.dat.\n";
constexpr const char* kTooMuchDemand = "Demanda total grande demais no arquivo demanda.dat.\n";
constexpr const char* kHugeDistances = "Distancias grandes demais no arquivo distancia.dat.\n";
constexpr const char* kTooManyTrucks =
    "Demanda total exige 51 caminhoes, mais que os 50 clientes, no arquivo demanda.dat.\n";

INSTANTIATE_TEST_SUITE_P(
    Files, EndToEndBadInput,
    testing::ValuesIn(std::vector<BadInput>{
        {"DistanceNodeAboveRange", "0, 1, 2.5\n0, 51, 3.5\n", nullptr,
         "No 51 fora do intervalo 0..50 no arquivo distancia.dat.\n"},
        {"DistanceNodeBelowRange", "-1, 2, 3.0\n", nullptr,
         "No -1 fora do intervalo 0..50 no arquivo distancia.dat.\n"},
        {"DemandNodeAboveRange", nullptr, "1, 7\n51, 3\n",
         "No 51 fora do intervalo 0..50 no arquivo demanda.dat.\n"},
        {"SpaceBeforeComma", "0 , 1, 2.0\n", nullptr, kBadDistances},
        {"TruncatedDistanceRecord", "0, 1, 2.0\n0, 2", nullptr, kBadDistances},
        {"TextAfterLastDistance", "0, 1, 2.0\nfim\n", nullptr, kBadDistances},
        {"TruncatedDemandRecord", nullptr, "1, 7\n2,\n", kBadDemands},
        {"TextAfterLastDemand", nullptr, "1, 7\n2, 30 kg\n", kBadDemands},
        {"FractionalDemand", nullptr, "1, 7.5\n", kBadDemands},
        {"InfiniteDistance", "0, 1, inf\n", nullptr, kBadDistance},
        {"NotANumberDistance", "0, 1, nan\n", nullptr, kBadDistance},
        {"DistanceBeyondFloat", "0, 1, 1e39\n", nullptr, kBadDistance},
        // 55 edges of 1e37, or (with a negative cell) a difference of two
        // Routes of 55 edges of 4e36, lie beyond the float range.
        {"RouteDistanceBeyondFloat", "0, 1, 1e37\n", nullptr, kHugeDistances},
        {"RouteDistanceDifferenceBeyondFloat", "0, 1, -4e36\n", nullptr, kHugeDistances},
        // A customer alone overloads a truck: 51 trucks for 50 customers.
        {"MoreTrucksThanCustomers", nullptr, "1, 8001\n", kTooManyTrucks},
        {"DemandTotalOverflows", nullptr, "1, 2147484\n", kTooMuchDemand},
        {"DemandAbsoluteTotalOverflows", nullptr, "1, 1073742\n2, -1073742\n", kTooMuchDemand},
        // The distance file is read first: the broken demand file is never looked at.
        {"MissingDistanceFile", kMissing, "junk", "O Arquivo distancia.dat nao pode ser aberto.\n"},
        {"MissingDemandFile", nullptr, kMissing, "O Arquivo demanda.dat nao pode ser aberto.\n"}}),
    [](const testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------- quick runs

TEST(EndToEnd, MenuChoiceStartsItsSearch) {
  const std::string first = blocked_run("1\n");
  const std::vector<std::string> lines = split_lines(first);
  ASSERT_GE(lines.size(), 2u) << first;
  EXPECT_EQ(lines[0], "Minimo de caminhoes = 5");
  EXPECT_TRUE(std::regex_match(lines[1], kFoLine)) << lines[1];
  const std::string set_up = lines[0] + "\n" + lines[1] + "\n" + kMenu;
  const std::string annealing =
      set_up + kAnnealingLine + "\nO arquivo fo_SA.out nao pode ser aberto";
  EXPECT_EQ(first, annealing);
  // The hybrid starts with annealing; any other choice, a number or not, runs annealing.
  for (const char* input : {"2\n", "3\n", "0\n", "4\n", "-1\n", "x\n", "abc 2\n"}) {
    const std::string tabu = set_up + kTabuLine + "\nO arquivo fo_BT.out nao pode ser aberto";
    EXPECT_EQ(blocked_run(input), std::string(input) == "2\n" ? tabu : annealing) << input;
  }
}

TEST(EndToEnd, ExtremeInstancesStillReachTheMenu) {
  struct Case {
    const char* demands;
    const char* distances;
    const char* trucks;
  };
  const Case cases[] = {
      {"1, 8000\n", nullptr, "Minimo de caminhoes = 50"},  // one truck per customer
      {"", nullptr, "Minimo de caminhoes = 0"},            // no demand: one truck is used
      {"1, -320\n", nullptr, "Minimo de caminhoes = -2"},
      // 55 edges of 6e36, or of -3e36 with two Routes apart, stay in the float range.
      {nullptr, "0, 1, 6e36\n", "Minimo de caminhoes = 5"},
      {nullptr, "0, 1, -3e36\n", "Minimo de caminhoes = 5"},
  };
  for (const auto& [demands, distances, trucks] : cases) {
    const std::vector<std::string> lines = split_lines(blocked_run("1\n", demands, distances));
    ASSERT_EQ(lines.size(), 9u) << trucks;
    EXPECT_EQ(lines[0], trucks);
    EXPECT_TRUE(std::regex_match(lines[1], kFoLine)) << lines[1];
    EXPECT_EQ(lines[7], kAnnealingLine);
    EXPECT_EQ(lines[8], "O arquivo fo_SA.out nao pode ser aberto");
  }
}

// ---------------------------------------------------------- complete runs

struct Trip {
  std::vector<int> customers;
  int load = -1;
};

// Standard output of a complete run. The search progress lines are checked as
// they stream past (a tabu run prints millions) and each run of them becomes
// one marker line; values that vary between runs are masked and kept.
struct Transcript {
  std::vector<std::string> outline;
  std::map<std::string, std::string> values;            // by the masked line's prefix
  std::vector<std::pair<int, double>> annealing_bests;  // "Fomin = " lines (counter -1)
  std::vector<std::pair<int, double>> tabu_bests;       // "iter = " lines
  std::vector<Trip> trips;
  std::string fault;  // first inconsistency among the progress lines
  int stall = 0;      // stall count of the last tabu iteration
  bool ascii = true;
  std::string value(const std::string& prefix) const {
    const auto found = values.find(prefix);
    return found == values.end() ? "" : found->second;
  }
  double number(const std::string& prefix) const {
    return std::strtod(value(prefix).c_str(), nullptr);
  }
};

const std::vector<std::pair<std::string, std::regex>> kMasked = {
    {"Fo = ", std::regex(R"(\d+\.\d{6})")},
    {"Tempo de execucao do Simulated Annealing = ", std::regex(R"((?=.{15}$) *\d+\.\d{7})")},
    {"Tempo de execucao da busca tabu = ", std::regex(R"((?=.{7} ) *\d+\.\d{2} segundos)")},
    {"Valor da funcao objetivo = ", std::regex(R"(\d+\.\d{6})")},
    {"Numero de caminhoes utilizados         = ", std::regex(R"(\d+)")},
    {"Distancia total percorrida = ", std::regex(R"(\d+\.\d{6})")},
    {"Tempo de execucao do Programa = ", std::regex(R"((?=.{15}$) *\d+\.\d{7})")},
};
const std::regex kTripLine(R"(Caminhao\[(\d+)\] - Deposito --> ((?:\d+ --> )+)Deposito)");
const std::regex kLoadLine(R"(Carga\[(\d+)\] = (-?\d+))");

// A report or run line with its varying part masked; trip lines numbered out of
// order stay as they are, so the outline comparison shows them.
std::string masked(const std::string& line, Transcript& t) {
  for (const auto& [prefix, pattern] : kMasked) {
    if (line.rfind(prefix, 0) != 0) continue;
    if (!std::regex_match(line.substr(prefix.size()), pattern)) return line;
    t.values[prefix] = line.substr(prefix.size());
    return prefix + "<value>";
  }
  std::smatch m;
  if (std::regex_match(line, m, kTripLine) && std::stoul(m[1]) == t.trips.size() + 1) {
    std::istringstream items(m[2].str());
    Trip& trip = t.trips.emplace_back();
    int customer = 0;
    std::string arrow;
    while (items >> customer >> arrow) trip.customers.push_back(customer);
    return "Caminhao[<n>] - Deposito --> <customers>Deposito";
  }
  if (std::regex_match(line, m, kLoadLine) && std::stoul(m[1]) == t.trips.size()) {
    t.trips.back().load = std::stoi(m[2]);
    return "Carga[<n>] = <load>";
  }
  return line;
}

Transcript read_transcript(const char* path) {
  Transcript t;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  char last = 'F';  // previous tabu line: D(elta), N(odes), I(mprovement), F(o)
  int iterations = 0;
  const auto fault = [&](const char* what) {
    if (t.fault.empty()) t.fault = std::string(what) + " at \"" + line + "\"";
  };
  const auto marker = [&](const char* name) {
    if (t.outline.empty() || t.outline.back() != name) t.outline.push_back(name);
  };
  while (std::getline(in, line)) {
    int a = 0, b = 0;
    double x = 0;
    if (line.rfind("Fomin = ", 0) == 0) {
      marker("<annealing progress>");
      t.annealing_bests.emplace_back(-1, std::stod(line.substr(8)));
    } else if (line.rfind("melhor delta = ", 0) == 0) {
      marker("<tabu progress>");
      if (last != 'F') fault("iteration lines out of order");
      last = 'D';
      ++iterations;
    } else if (line.rfind("no1 = ", 0) == 0) {
      if (last != 'D' || std::sscanf(line.c_str(), "no1 = %d no2 = %d", &a, &b) != 2 || a < 1 ||
          a >= b || b > kLastInnerPosition)
        fault("bad swap line");
      last = 'N';
    } else if (line.rfind("iter = ", 0) == 0) {
      if (last != 'N' || std::sscanf(line.c_str(), "iter = %d  ***   fomin = %lf", &a, &x) != 2 ||
          a != iterations)
        fault("bad improvement line");
      t.tabu_bests.emplace_back(a, x);
      last = 'I';
    } else if (line.rfind("fo = ", 0) == 0) {
      // The stall count is 0 after an improvement and restarts after 2000.
      const int expected = last == 'I' ? 0 : t.stall % 2000 + 1;
      if ((last != 'N' && last != 'I') ||
          std::sscanf(line.c_str(), "fo = %lf     iteracoes sem melhora = %d", &x, &b) != 2 ||
          b != expected)
        fault("bad stall count");
      t.stall = b;
      last = 'F';
    } else {
      for (const char c : line) t.ascii = t.ascii && static_cast<unsigned char>(c) < 0x80;
      t.outline.push_back(masked(line, t));
    }
  }
  return t;
}

std::string expected_outline(int choice, std::size_t trips) {
  std::string text = "Minimo de caminhoes = 5\nFo = <value>\n" + kMenu;
  if (choice != 2)
    text += kAnnealingLine +
            "\n<annealing progress>\nTempo de execucao do Simulated Annealing = <value>\n\n";
  if (choice != 1)
    text += kTabuLine + "\n<tabu progress>\nTempo de execucao da busca tabu = <value>\n";
  text += stars(80) + "\n" + stars(24) + " RELATORIO FINAL " + stars(39) +
          "\nValor da funcao objetivo = <value>\nNumero minimo de caminhoes necessarios = 5\n"
          "Numero de caminhoes utilizados         = <value>\n"
          "Distancia total percorrida = <value>\n" +
          stars(80) + "\nTecle enter para continuar" + stars(25) + " ROTEIRO " + stars(46) + "\n";
  for (std::size_t i = 0; i < trips; ++i)
    text += "Caminhao[<n>] - Deposito --> <customers>Deposito\nCarga[<n>] = <load>\n" +
            stars(80) + "\n\n";
  return text + "Tempo de execucao do Programa = <value>\n\nTecle enter para encerrar o programa\n";
}

// The report file's own wording, with Windows-1252 accents.
std::string expected_report_file(const Transcript& t) {
  std::string text = stars(35) + " RELATORIO FINAL " + stars(56) + "\n" +
                     "Valor da fun\xE7\xE3o objetivo = " + t.value("Valor da funcao objetivo = ") +
                     "\nN\xFAmero m\xEDnimo de caminh\xF5" "es necess\xE1rios = 5\n" +
                     "N\xFAmero de caminh\xF5" "es utilizados         = " +
                     t.value("Numero de caminhoes utilizados         = ") + "\n\n" +
                     "Dist\xE2ncia total percorrida = " + t.value("Distancia total percorrida = ") +
                     " Kilometros\n" + stars(117) + "\n\n\n\n" + stars(34) +
                     " ROTEIRO DE CADA CAMINH\xC3O " + stars(67) + "\n\n\n\n";
  for (std::size_t i = 0; i < t.trips.size(); ++i) {
    text += "Caminhao[" + std::to_string(i + 1) + "] - Deposito --> ";
    for (const int customer : t.trips[i].customers) text += std::to_string(customer) + " --> ";
    text += "Deposito\nCarga[" + std::to_string(i + 1) + "] = " + std::to_string(t.trips[i].load) +
            "\n" + stars(96) + "\n\n\n";
  }
  return text;
}

// A log starts with its search's entry objective and counter 0, then has one
// line per new best shown on the console, at two decimals; the console values
// fall strictly, the log's counters rise and its times never fall.
void check_log(const std::vector<LogLine>& log, double entry,
               const std::vector<std::pair<int, double>>& bests) {
  ASSERT_EQ(log.size(), bests.size() + 1);
  EXPECT_EQ(log[0].counter, 0);
  EXPECT_NEAR(log[0].objective, entry, 0.00501);
  for (std::size_t i = 1; i < log.size(); ++i) {
    const auto& [counter, best] = bests[i - 1];
    ASSERT_LT(best, i == 1 ? entry : bests[i - 2].second) << "console best " << i;
    ASSERT_NEAR(log[i].objective, best, 0.00501) << "log line " << i + 1;
    ASSERT_LE(log[i].objective, log[i - 1].objective) << "log line " << i + 1;
    ASSERT_LT(log[i - 1].counter, log[i].counter) << "log line " << i + 1;
    ASSERT_TRUE(counter < 0 || log[i].counter == counter) << "log line " << i + 1;
    ASSERT_LE(log[i - 1].seconds, log[i].seconds) << "log line " << i + 1;
  }
}

std::string as_printed(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%f", value);
  return text;
}

void complete_run(int choice) {
  const std::string initial_fo = split_lines(blocked_run("1\n")).at(1);  // same seed, same "Fo"
  ScratchDir scratch;
  use_bundled("distancia.dat");
  use_bundled("demanda.dat");
  ASSERT_EQ(run_cvrp(std::to_string(choice) + "\n\n\n"), 0);
  const Transcript t = read_transcript("out.txt");

  std::string outline;
  for (const std::string& line : t.outline) outline += line + "\n";
  EXPECT_EQ(outline, expected_outline(choice, t.trips.size()));
  EXPECT_EQ(t.fault, "");
  EXPECT_TRUE(t.ascii);
  EXPECT_EQ("Fo = " + t.value("Fo = "), initial_fo);
  EXPECT_GE(t.number("Tempo de execucao do Programa = "), 30.0);

  // The trips visit every customer once, with the loads and distance reported.
  std::vector<int> demand(kCustomers + 1, 0);
  std::vector<double> distance((kCustomers + 1) * (kCustomers + 1), 0.0);
  for (const std::string& line : split_lines(read_file(kInstance / "demanda.dat"))) {
    int node = 0, amount = 0;
    if (std::sscanf(line.c_str(), "%d, %d", &node, &amount) == 2) demand.at(node) = amount;
  }
  for (const std::string& line : split_lines(read_file(kInstance / "distancia.dat"))) {
    int from = 0, to = 0;
    float cell = 0;
    if (std::sscanf(line.c_str(), "%d, %d, %f", &from, &to, &cell) == 3)
      distance.at(from * (kCustomers + 1) + to) = cell;
  }
  std::vector<int> visits(kCustomers + 1, 0);
  double total = 0;
  int excess = 0;
  for (const Trip& trip : t.trips) {
    int load = 0, at = 0;
    for (const int customer : trip.customers) {
      ASSERT_TRUE(customer >= 1 && customer <= kCustomers) << customer;
      ++visits[customer];
      load += demand[customer];
      total += distance[at * (kCustomers + 1) + customer];
      at = customer;
    }
    total += distance[at * (kCustomers + 1)];
    EXPECT_EQ(trip.load, load);
    excess += std::max(0, load - 160);
  }
  for (int customer = 1; customer <= kCustomers; ++customer)
    EXPECT_EQ(visits[customer], 1) << "customer " << customer;
  EXPECT_EQ(t.value("Numero de caminhoes utilizados         = "), std::to_string(t.trips.size()));
  const double reported = t.number("Distancia total percorrida = ");
  const double objective = t.number("Valor da funcao objetivo = ");
  EXPECT_NEAR(reported, total, 0.01);
  EXPECT_NEAR(objective, reported + 1000.0 * excess, 0.05);

  // Each search's log matches its console progress; the report shows the last best.
  const double fo = t.number("Fo = ");
  double last_best = fo, last_logged = -1;
  if (choice != 2) {
    const std::vector<LogLine> log = read_log("fo_SA.out");
    ASSERT_FALSE(log.empty());
    check_log(log, fo, t.annealing_bests);
    EXPECT_EQ(log[0].seconds, 0.0);
    if (!t.annealing_bests.empty()) last_best = t.annealing_bests.back().second;
    last_logged = log.back().objective;
  }
  if (choice != 1) {
    // The tabu search starts from the best so far; in the hybrid, after 1.5 s.
    const std::vector<LogLine> log = read_log("fo_BT.out");
    ASSERT_FALSE(log.empty());
    check_log(log, last_best, t.tabu_bests);
    EXPECT_GE(log[0].seconds, choice == 3 ? 1.495 : 0.0);
    if (!t.tabu_bests.empty()) last_best = t.tabu_bests.back().second;
    last_logged = log.back().objective;
    EXPECT_EQ(t.stall, 2000);  // the loop ends only at a restart
  }
  EXPECT_NEAR(last_logged, objective, 0.00501);
  EXPECT_EQ(as_printed(last_best), t.value("Valor da funcao objetivo = "));
  EXPECT_EQ(fs::exists("fo_SA.out"), choice != 2);
  EXPECT_EQ(fs::exists("fo_BT.out"), choice != 1);
  EXPECT_EQ(read_file("solucao.dat"), expected_report_file(t));
}

TEST(EndToEndSlow, AnnealingChoice) { complete_run(1); }
TEST(EndToEndSlow, TabuChoice) { complete_run(2); }
TEST(EndToEndSlow, HybridChoice) { complete_run(3); }

}  // namespace
