// vrp2dat: turns a CVRPLIB instance into the two files the program reads,
// distancia.dat and demanda.dat, and the node coordinates the companion tools
// draw with, coordenadas.dat.
//
//   vrp2dat [--round] INPUT.vrp OUTPUT_FOLDER
//
// The instance is read by the library's CVRPLIB reader (model/cvrplib.h): the
// depot becomes node 0 and the other nodes become customers 1..n in the order
// of their ids in the file. Distances are written as floats in a text form
// that reads back to exactly the same float; --round gives them as CVRPLIB
// rounds them (nearest integer). Coordinates, when the file has them, are
// written as records "i, x, y" in the same numbering, in the shortest text
// that reads back to the same double.
//
// The program takes at most 50 customers: a larger instance is refused.
// Nothing is written unless the whole input is valid: a refused file leaves
// the output folder untouched, and the three files replace those of an
// earlier conversion together or not at all (tools/common/output_files.h).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/run.h"
#include "model/cvrplib.h"
#include "tools/common/command_line.h"
#include "tools/common/output_files.h"

namespace fs = std::filesystem;

namespace {

using companion::Refused;
using companion::refuse_on;

// The program's fixed size: it reads nodes 0..50 and nothing beyond.
constexpr int kCustomers = kProgramCustomers;
constexpr int kCapacity = kProgramCapacity;

const char* const kUsage = "usage: vrp2dat [--round] INPUT.vrp OUTPUT_FOLDER\n";

// printf into a growing text.
template <typename... Values>
void append(std::string& text, const char* format, Values... values) {
  char line[128];
  const int length = std::snprintf(line, sizeof line, format, values...);
  if (length > 0) text.append(line, static_cast<std::size_t>(std::min(length, static_cast<int>(sizeof line) - 1)));
}

// Every ordered pair of different nodes. Rounded distances are whole
// numbers; any other float is written with 9 significant digits, which read
// back to the very same float.
std::string distances_text(const Instance& instance, bool whole) {
  std::string text;
  const int nodes = instance.customer_count + 1;
  for (int i = 0; i < nodes; ++i)
    for (int j = 0; j < nodes; ++j) {
      if (i == j) continue;
      const double distance = static_cast<double>(instance.matrix.at(i, j));
      append(text, whole ? "%d, %d, %.0f\n" : "%d, %d, %.9g\n", i, j, distance);
    }
  return text;
}

std::string demands_text(const Instance& instance) {
  std::string text;
  for (int i = 1; i <= instance.customer_count; ++i) append(text, "%d, %d\n", i, instance.demand[static_cast<std::size_t>(i)]);
  return text;
}

std::string coordinates_text(const std::vector<NodePoint>& points) {
  std::string text;
  for (std::size_t i = 0; i < points.size(); ++i)
    text += std::to_string(i) + ", " + shortest(points[i].x) + ", " + shortest(points[i].y) + "\n";
  return text;
}

void prepare_folder(const fs::path& folder) {
  std::error_code error;
  if (fs::exists(folder, error)) {
    if (!fs::is_directory(folder, error)) throw Refused{"cannot write into " + folder.string() + ": not a folder"};
    return;
  }
  fs::create_directories(folder, error);
  if (error) throw Refused{"cannot create folder " + folder.string() + ": " + error.message()};
}

// distancia.dat holds floats: when the file's weights are not all floats,
// the program's costs (and cvrpview's solucao.sol) are those of the floats.
void warn_about_weights(const Instance& instance, const CvrplibFile& file) {
  if (instance.true_distances != TrueDistance::written_weights) return;
  for (int i = 0; i <= instance.customer_count; ++i)
    for (int j = 0; j <= instance.customer_count; ++j)
      if (true_distance(instance, i, j) != static_cast<double>(instance.matrix.at(i, j))) {
        std::fprintf(stderr,
                     "vrp2dat: warning: %s: weights such as %s are not floats: the program works with the nearest "
                     "floats, and its costs are theirs\n",
                     file.name.c_str(), shortest(true_distance(instance, i, j)).c_str());
        return;
      }
}

void warn_about_settings(const Instance& instance, const CvrplibFile& file) {
  const char* name = file.name.c_str();
  if (instance.customer_count != kCustomers)
    std::fprintf(stderr, "vrp2dat: warning: %s has %d customers; the program is set up for %d\n", name,
                 instance.customer_count, kCustomers);
  if (!file.has_capacity)
    std::fprintf(stderr, "vrp2dat: warning: %s gives no CAPACITY; the program assumes capacity %d\n", name,
                 kCapacity);
  else if (instance.vehicle_capacity != kCapacity)
    std::fprintf(stderr, "vrp2dat: warning: %s has capacity %d; the program assumes capacity %d\n", name,
                 instance.vehicle_capacity, kCapacity);
}

void convert(const std::string& input, const fs::path& folder, bool round) {
  Instance instance;
  CvrplibFile file;
  refuse_on(read_cvrplib(input, round, instance, &file,
                         {kCustomers + 1, "the program reads nodes 0..50 only; cvrpsolve takes any size"}));
  warn_about_settings(instance, file);
  warn_about_weights(instance, file);

  // The three files replace those of an earlier conversion together, or not at all.
  const fs::path distances = folder / "distancia.dat", demands = folder / "demanda.dat",
                 coordinates = folder / "coordenadas.dat";
  refuse_on(companion::check_targets({distances, demands, coordinates}));
  std::error_code error;
  if (!instance.points && fs::exists(fs::symlink_status(coordinates, error)))
    throw Refused{coordinates.string() + " would be left beside an instance without coordinates: remove it first"};
  prepare_folder(folder);
  companion::OutputSet outputs;
  refuse_on(outputs.add(distances, distances_text(instance, round && instance.points.has_value())));
  refuse_on(outputs.add(demands, demands_text(instance)));
  if (instance.points) refuse_on(outputs.add(coordinates, coordinates_text(*instance.points)));
  refuse_on(outputs.commit());
}

}  // namespace

int main(int argc, char** argv) {
  if (companion::asks_help(argc, argv)) {
    std::printf("%s", kUsage);
    return 0;
  }
  return companion::run_companion("vrp2dat", kUsage, [&] {
    bool round = false;
    std::vector<std::string> paths;
    companion::CommandLine args(argc, argv);
    while (!args.done()) {
      if (args.flag("--round"))
        round = true;
      else
        paths.push_back(args.operand());
    }
    if (paths.size() != 2) throw companion::Usage{"expected INPUT.vrp and OUTPUT_FOLDER"};
    convert(paths[0], paths[1], round);
    return 0;
  });
}
