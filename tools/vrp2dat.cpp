// vrp2dat: turns a CVRPLIB instance with Euclidean distances (EDGE_WEIGHT_TYPE
// EUC_2D) into the two files the solver reads, distancia.dat and demanda.dat,
// and the node coordinates the companion tools draw with, coordenadas.dat.
//
//   vrp2dat [--round] INPUT.vrp OUTPUT_FOLDER
//
// The depot becomes node 0 and the other nodes become customers 1..n in the
// order of their ids in the file. Distances are written as floats in a text
// form that reads back to exactly the same float; --round writes them as
// CVRPLIB rounds them instead (nearest integer). Coordinates are written as
// records "i, x, y" in the same numbering, in the shortest text that reads
// back to the same double.
//
// The program takes at most 50 customers: a larger instance is refused.
// Nothing is written unless the whole input is valid: a refused file leaves
// the output folder untouched, and the three files replace those of an
// earlier conversion together or not at all (tools/common/output_files.h).
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "tools/common/output_files.h"

namespace fs = std::filesystem;

namespace {

// The solver's settings are fixed for this size of instance: it reads nodes
// 0..50 and nothing beyond, so a larger instance is refused.
constexpr long long kExpectedDimension = 51;  // the depot and 50 customers
constexpr long long kExpectedCapacity = 160;

const char* const kUsage = "usage: vrp2dat [--round] INPUT.vrp OUTPUT_FOLDER";

// An input or output the tool cannot work with; the message goes to standard
// error and the exit status is 1.
struct Refused : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void refuse_on(const companion::Failure& failure) {
  if (failure) throw Refused(*failure);
}

struct Point {
  double x = 0.0;
  double y = 0.0;
};

// Data records as read, checked against DIMENSION once the whole file is in.
struct CoordRecord {
  long long id;
  Point at;
  std::size_t line;
};
struct DemandRecord {
  long long id;
  long long demand;
  std::size_t line;
};
struct DepotRecord {
  long long id;
  std::size_t line;
};

struct HeaderValue {
  std::string text;
  std::size_t line;
};

struct RawInstance {
  std::map<std::string, HeaderValue> header;  // keys in upper case
  bool has_coord_section = false;
  bool has_demand_section = false;
  bool has_depot_section = false;
  std::vector<CoordRecord> coords;
  std::vector<DemandRecord> demands;
  std::vector<DepotRecord> depots;
};

// The instance after checking, in file ids: coords[id - 1], demand[id - 1].
struct Instance {
  std::string name;
  long long dimension = 0;
  std::optional<long long> capacity;
  long long depot = 1;
  std::vector<Point> coords;
  std::vector<long long> demand;
};

std::string located(const std::string& path, std::size_t line, const std::string& message) {
  return path + ":" + std::to_string(line) + ": " + message;
}

std::string_view trim(std::string_view text) {
  const auto space = [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
  };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string> tokens(std::string_view line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size()) {
    const std::size_t start = line.find_first_not_of(" \t\r\v\f", at);
    if (start == std::string_view::npos) break;
    std::size_t stop = line.find_first_of(" \t\r\v\f", start);
    if (stop == std::string_view::npos) stop = line.size();
    words.emplace_back(line.substr(start, stop - start));
    at = stop;
  }
  return words;
}

// A whole token as a decimal integer (an optional sign, then digits only).
std::optional<long long> parse_integer(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A whole token as a real number; may be infinite or NaN (checked by the caller).
std::optional<double> parse_real(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  // A token with an embedded NUL stops strtod early and is refused here too.
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

std::string read_whole_file(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) throw Refused("cannot open " + path + ": " + std::strerror(errno));
  std::string text;
  char buffer[8192];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, got);
  if (std::ferror(file.get())) throw Refused("cannot read " + path + ": " + std::strerror(errno));
  return text;
}

// "KEY : value" (spaces around the colon optional), KEY a word of letters,
// digits and underscores starting with a letter.
std::optional<std::pair<std::string, std::string>> header_entry(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view key = trim(line.substr(0, colon));
  if (key.empty() || !std::isalpha(static_cast<unsigned char>(key.front()))) return std::nullopt;
  std::string upper;
  for (const char c : key) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return std::nullopt;
    upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return std::pair{upper, std::string(trim(line.substr(colon + 1)))};
}

enum class Section { kNone, kCoords, kDemands, kDepots, kDepotsEnded, kIgnored };

// Reads the file into header entries and data records. Only the shape of each
// line is checked here; ids and counts are checked by check_instance.
RawInstance read_vrp(const std::string& path) {
  const std::string text = read_whole_file(path);
  RawInstance raw;
  Section section = Section::kNone;
  std::size_t line_number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t stop = text.find('\n', start);
    if (stop == std::string::npos) stop = text.size();
    const std::string_view line = trim(std::string_view(text).substr(start, stop - start));
    start = stop + 1;
    ++line_number;
    if (line.empty()) continue;
    const auto fail = [&](const std::string& message) -> Refused {
      return Refused(located(path, line_number, message));
    };

    const std::vector<std::string> words = tokens(line);
    const std::string& first = words.front();
    if (words.size() == 1 && (first == "EOF" || first.ends_with("_SECTION"))) {
      if (first == "EOF") break;
      if (first == "NODE_COORD_SECTION") {
        section = Section::kCoords;
        raw.has_coord_section = true;
      } else if (first == "DEMAND_SECTION") {
        section = Section::kDemands;
        raw.has_demand_section = true;
      } else if (first == "DEPOT_SECTION") {
        section = Section::kDepots;
        raw.has_depot_section = true;
      } else {
        section = Section::kIgnored;  // e.g. DISPLAY_DATA_SECTION: not needed
      }
      continue;
    }
    if (auto entry = header_entry(line)) {
      raw.header[entry->first] = HeaderValue{entry->second, line_number};
      section = Section::kNone;
      continue;
    }

    switch (section) {
      case Section::kNone:
        throw fail("unrecognised line '" + std::string(line.substr(0, 40)) + "'");
      case Section::kIgnored:
        break;
      case Section::kCoords: {
        const auto id = words.size() == 3 ? parse_integer(words[0]) : std::nullopt;
        const auto x = words.size() == 3 ? parse_real(words[1]) : std::nullopt;
        const auto y = words.size() == 3 ? parse_real(words[2]) : std::nullopt;
        if (!id || !x || !y) throw fail("malformed coordinate line (expected 'id x y')");
        raw.coords.push_back({*id, {*x, *y}, line_number});
        break;
      }
      case Section::kDemands: {
        const auto id = words.size() == 2 ? parse_integer(words[0]) : std::nullopt;
        const auto demand = words.size() == 2 ? parse_integer(words[1]) : std::nullopt;
        if (!id || !demand) throw fail("malformed demand line (expected 'id demand')");
        raw.demands.push_back({*id, *demand, line_number});
        break;
      }
      case Section::kDepots:
        for (const std::string& word : words) {
          if (section == Section::kDepotsEnded) throw fail("text after the -1 ending DEPOT_SECTION");
          const auto id = parse_integer(word);
          if (!id) throw fail("malformed depot line (expected a node id or -1)");
          if (*id == -1)
            section = Section::kDepotsEnded;
          else
            raw.depots.push_back({*id, line_number});
        }
        break;
      case Section::kDepotsEnded:
        throw fail("text after the -1 ending DEPOT_SECTION");
    }
  }
  return raw;
}

Instance check_instance(const std::string& path, const RawInstance& raw) {
  const auto header = [&](const char* key) -> const HeaderValue* {
    const auto found = raw.header.find(key);
    return found == raw.header.end() ? nullptr : &found->second;
  };
  Instance instance;
  const HeaderValue* name = header("NAME");
  instance.name = name != nullptr && !name->text.empty() ? name->text : path;

  const HeaderValue* type = header("EDGE_WEIGHT_TYPE");
  if (type == nullptr) throw Refused(path + ": no EDGE_WEIGHT_TYPE (only EUC_2D is supported)");
  if (type->text != "EUC_2D")
    throw Refused(located(path, type->line,
                          "EDGE_WEIGHT_TYPE " + type->text + " is not supported (only EUC_2D)"));

  const HeaderValue* dimension = header("DIMENSION");
  if (dimension == nullptr) throw Refused(path + ": no DIMENSION");
  const auto nodes = parse_integer(dimension->text);
  if (!nodes || *nodes < 2)
    throw Refused(located(path, dimension->line, "DIMENSION must be an integer of at least 2"));
  if (*nodes > kExpectedDimension)
    throw Refused(located(path, dimension->line,
                          "DIMENSION " + std::to_string(*nodes) + " gives " + std::to_string(*nodes - 1) +
                              " customers; the program takes 50 customers (it reads nodes 0..50 only)"));
  instance.dimension = *nodes;

  if (const HeaderValue* capacity = header("CAPACITY")) {
    instance.capacity = parse_integer(capacity->text);
    if (!instance.capacity || *instance.capacity <= 0)
      throw Refused(located(path, capacity->line, "CAPACITY must be a positive integer"));
  }

  if (!raw.has_coord_section) throw Refused(path + ": no NODE_COORD_SECTION");
  if (!raw.has_demand_section) throw Refused(path + ": no DEMAND_SECTION");

  const auto check_id = [&](long long id, std::size_t line, const char* what) {
    if (id < 1 || id > instance.dimension)
      throw Refused(located(path, line, std::string(what) + " names node " + std::to_string(id) +
                                            ", outside 1.." + std::to_string(instance.dimension)));
  };
  const auto count = static_cast<std::size_t>(instance.dimension);

  std::vector<std::optional<Point>> coords(count);
  for (const CoordRecord& record : raw.coords) {
    check_id(record.id, record.line, "coordinate line");
    if (!std::isfinite(record.at.x) || !std::isfinite(record.at.y))
      throw Refused(located(path, record.line, "coordinates are not finite numbers"));
    auto& slot = coords[static_cast<std::size_t>(record.id - 1)];
    if (slot) throw Refused(located(path, record.line, "second coordinate line for node " + std::to_string(record.id)));
    slot = record.at;
  }
  std::vector<std::optional<long long>> demands(count);
  for (const DemandRecord& record : raw.demands) {
    check_id(record.id, record.line, "demand line");
    if (record.demand < 0 || record.demand > std::numeric_limits<int>::max())
      throw Refused(located(path, record.line, "demand must be an integer from 0 to " +
                                                   std::to_string(std::numeric_limits<int>::max())));
    auto& slot = demands[static_cast<std::size_t>(record.id - 1)];
    if (slot) throw Refused(located(path, record.line, "second demand line for node " + std::to_string(record.id)));
    slot = record.demand;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (!coords[i]) throw Refused(path + ": node " + std::to_string(i + 1) + " has no coordinates");
    if (!demands[i]) throw Refused(path + ": node " + std::to_string(i + 1) + " has no demand");
    instance.coords.push_back(*coords[i]);
    instance.demand.push_back(*demands[i]);
  }

  if (raw.has_depot_section) {
    if (raw.depots.empty()) throw Refused(path + ": DEPOT_SECTION lists no depot");
    if (raw.depots.size() > 1)
      throw Refused(located(path, raw.depots[1].line, "more than one depot (only one is supported)"));
    check_id(raw.depots.front().id, raw.depots.front().line, "DEPOT_SECTION");
    instance.depot = raw.depots.front().id;
  }
  return instance;
}

// Output file ids: the depot first, then every other node in id order.
std::vector<std::size_t> node_order(const Instance& instance) {
  std::vector<std::size_t> order{static_cast<std::size_t>(instance.depot - 1)};
  for (std::size_t index = 0; index < instance.coords.size(); ++index)
    if (index != order.front()) order.push_back(index);
  return order;
}

// printf into a growing text.
template <typename... Values>
void append(std::string& text, const char* format, Values... values) {
  char line[128];
  const int length = std::snprintf(line, sizeof line, format, values...);
  text.append(line, static_cast<std::size_t>(std::clamp(length, 0, static_cast<int>(sizeof line) - 1)));
}

std::string distances_text(const Instance& instance, const std::vector<std::size_t>& order, bool round) {
  std::string text;
  const int last = static_cast<int>(order.size()) - 1;
  for (int i = 0; i <= last; ++i) {
    for (int j = 0; j <= last; ++j) {
      if (i == j) continue;
      const Point& a = instance.coords[order[static_cast<std::size_t>(i)]];
      const Point& b = instance.coords[order[static_cast<std::size_t>(j)]];
      const double dx = a.x - b.x;
      const double dy = a.y - b.y;
      double distance = std::sqrt(dx * dx + dy * dy);
      if (round) distance = std::floor(distance + 0.5);
      // The solver reads distances as floats: refuse any that would not fit.
      if (!(distance < std::numeric_limits<float>::max()))
        throw Refused("distance between nodes " + std::to_string(i) + " and " + std::to_string(j) +
                      " is too large for a float");
      if (round)
        append(text, "%d, %d, %.0f\n", i, j, distance);
      else  // 9 significant digits read back to the very same float
        append(text, "%d, %d, %.9g\n", i, j, static_cast<double>(static_cast<float>(distance)));
    }
  }
  return text;
}

std::string demands_text(const Instance& instance, const std::vector<std::size_t>& order) {
  std::string text;
  for (std::size_t i = 1; i < order.size(); ++i) append(text, "%zu, %lld\n", i, instance.demand[order[i]]);
  return text;
}

std::string shortest(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string coordinates_text(const Instance& instance, const std::vector<std::size_t>& order) {
  std::string text;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const Point& at = instance.coords[order[i]];
    text += std::to_string(i) + ", " + shortest(at.x) + ", " + shortest(at.y) + "\n";
  }
  return text;
}

void prepare_folder(const fs::path& folder) {
  std::error_code error;
  if (fs::exists(folder, error)) {
    if (!fs::is_directory(folder, error))
      throw Refused("cannot write into " + folder.string() + ": not a folder");
    return;
  }
  fs::create_directories(folder, error);
  if (error) throw Refused("cannot create folder " + folder.string() + ": " + error.message());
}

void warn_about_settings(const Instance& instance) {
  if (instance.dimension != kExpectedDimension)
    std::fprintf(stderr, "vrp2dat: warning: %s has %lld customers; the program is set up for %lld\n",
                 instance.name.c_str(), instance.dimension - 1, kExpectedDimension - 1);
  if (!instance.capacity)
    std::fprintf(stderr, "vrp2dat: warning: %s gives no CAPACITY; the program assumes capacity %lld\n",
                 instance.name.c_str(), kExpectedCapacity);
  else if (*instance.capacity != kExpectedCapacity)
    std::fprintf(stderr, "vrp2dat: warning: %s has capacity %lld; the program assumes capacity %lld\n",
                 instance.name.c_str(), *instance.capacity, kExpectedCapacity);
}

void convert(const std::string& input, const fs::path& folder, bool round) {
  const Instance instance = check_instance(input, read_vrp(input));
  warn_about_settings(instance);
  const std::vector<std::size_t> order = node_order(instance);

  // The three files replace those of an earlier conversion together, or not at all.
  const fs::path distances = folder / "distancia.dat", demands = folder / "demanda.dat",
                 coordinates = folder / "coordenadas.dat";
  refuse_on(companion::check_targets({distances, demands, coordinates}));
  prepare_folder(folder);
  companion::OutputSet outputs;
  refuse_on(outputs.add(distances, distances_text(instance, order, round)));
  refuse_on(outputs.add(demands, demands_text(instance, order)));
  refuse_on(outputs.add(coordinates, coordinates_text(instance, order)));
  refuse_on(outputs.commit());
}

}  // namespace

int main(int argc, char** argv) {
  bool round = false;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--round") {
      round = true;
    } else if (arg == "--help" || arg == "-h") {
      std::printf("%s\n", kUsage);
      return 0;
    } else if (arg.size() > 1 && arg.front() == '-') {
      std::fprintf(stderr, "vrp2dat: unknown option %s\n%s\n", argv[i], kUsage);
      return 2;
    } else {
      paths.emplace_back(arg);
    }
  }
  if (paths.size() != 2) {
    std::fprintf(stderr, "%s\n", kUsage);
    return 2;
  }
  try {
    convert(paths[0], paths[1], round);
  } catch (const Refused& refused) {
    std::fprintf(stderr, "vrp2dat: %s\n", refused.what());
    return 1;
  } catch (const std::exception& error) {  // out of memory, file system errors
    std::fprintf(stderr, "vrp2dat: %s\n", error.what());
    return 1;
  }
  return 0;
}
