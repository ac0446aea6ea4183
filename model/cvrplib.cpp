#include "model/cvrplib.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <utility>

namespace {

// A file the reader refuses: the message says where and why.
struct Refused {
  std::string message;
};

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
struct IdRecord {
  long long id;
  std::size_t line;
};

struct HeaderValue {
  std::string text;
  std::size_t line;
};

struct RawFile {
  std::map<std::string, HeaderValue> header;  // keys in upper case
  std::map<std::string, std::size_t> sections;  // the sections met, with their lines
  std::vector<CoordRecord> coords;
  std::vector<float> weights;         // each the float nearest its text
  bool keep_exact = false;            // some weight is not exactly its float
  std::vector<double> exact_weights;  // each the double nearest its text, when keep_exact
  std::vector<DemandRecord> demands;
  std::vector<IdRecord> depots;
};

std::string located(const std::string& name, std::size_t line, const std::string& message) {
  return name + ":" + std::to_string(line) + ": " + message;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> tokens(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && blank(line[at])) ++at;
    const std::size_t start = at;
    while (at < line.size() && !blank(line[at])) ++at;
    if (at > start) words.push_back(line.substr(start, at - start));
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

// A whole token as a real number, converted as strtod (double) or strtof
// (float) converts it; may be infinite or NaN (checked by the caller).
template <class Real, Real (*convert)(const char*, char**)>
std::optional<Real> parse_real(std::string_view token) {
  if (token.empty()) return std::nullopt;
  const std::string text(token);
  char* end = nullptr;
  const Real value = convert(text.c_str(), &end);
  // A token with an embedded NUL stops the conversion early and is refused here too.
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
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

enum class Section { none, coords, weights, demands, depots, depots_ended, ignored };

// Reads the text into header entries and data records. Only the shape of each
// line is checked here; ids and counts are checked by check_file.
RawFile read_raw(std::string_view text, const std::string& name) {
  RawFile raw;
  Section section = Section::none;
  std::size_t line_number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t stop = text.find('\n', start);
    if (stop == std::string_view::npos) stop = text.size();
    const std::string_view line = trim(text.substr(start, stop - start));
    start = stop + 1;
    ++line_number;
    if (line.empty()) continue;
    const auto fail = [&](const std::string& message) { return Refused{located(name, line_number, message)}; };

    const std::vector<std::string_view> words = tokens(line);
    const std::string first(words.front());
    if (words.size() == 1 && (first == "EOF" || first.ends_with("_SECTION"))) {
      if (first == "EOF") break;
      raw.sections.emplace(first, line_number);
      section = first == "NODE_COORD_SECTION"    ? Section::coords
                : first == "EDGE_WEIGHT_SECTION" ? Section::weights
                : first == "DEMAND_SECTION"      ? Section::demands
                : first == "DEPOT_SECTION"       ? Section::depots
                                                 : Section::ignored;  // DISPLAY_DATA_SECTION: not needed
      continue;
    }
    if (auto entry = header_entry(line)) {
      const auto [given, added] = raw.header.try_emplace(entry->first, HeaderValue{entry->second, line_number});
      if (!added)
        throw fail("second " + entry->first + " line (the first is line " + std::to_string(given->second.line) + ")");
      section = Section::none;
      continue;
    }

    switch (section) {
      case Section::none:
        throw fail("unrecognised line '" + std::string(line.substr(0, 40)) + "'");
      case Section::ignored:
        break;
      case Section::coords: {
        const auto id = words.size() == 3 ? parse_integer(words[0]) : std::nullopt;
        const auto x = words.size() == 3 ? parse_real<double, std::strtod>(words[1]) : std::nullopt;
        const auto y = words.size() == 3 ? parse_real<double, std::strtod>(words[2]) : std::nullopt;
        if (!id || !x || !y) throw fail("malformed coordinate line (expected 'id x y')");
        raw.coords.push_back({*id, {*x, *y}, line_number});
        break;
      }
      case Section::weights:
        for (const std::string_view word : words) {
          const auto weight = parse_real<float, std::strtof>(word);
          if (!weight) throw fail("malformed edge weight '" + std::string(word.substr(0, 40)) + "'");
          if (!std::isfinite(*weight)) throw fail("edge weight " + std::string(word.substr(0, 40)) + " is not finite");
          raw.weights.push_back(*weight);
          // The double is kept beside the float once some weight is not exactly its float.
          const double exact = *parse_real<double, std::strtod>(word);
          if (!raw.keep_exact && exact != static_cast<double>(*weight)) {
            raw.keep_exact = true;
            raw.exact_weights.assign(raw.weights.begin(), raw.weights.end() - 1);
          }
          if (raw.keep_exact) raw.exact_weights.push_back(exact);
        }
        break;
      case Section::demands: {
        const auto id = words.size() == 2 ? parse_integer(words[0]) : std::nullopt;
        const auto demand = words.size() == 2 ? parse_integer(words[1]) : std::nullopt;
        if (!id || !demand) throw fail("malformed demand line (expected 'id demand')");
        raw.demands.push_back({*id, *demand, line_number});
        break;
      }
      case Section::depots:
        for (const std::string_view word : words) {
          if (section == Section::depots_ended) throw fail("text after the -1 ending DEPOT_SECTION");
          const auto id = parse_integer(word);
          if (!id) throw fail("malformed depot line (expected a node id or -1)");
          if (*id == -1)
            section = Section::depots_ended;
          else
            raw.depots.push_back({*id, line_number});
        }
        break;
      case Section::depots_ended:
        throw fail("text after the -1 ending DEPOT_SECTION");
    }
  }
  return raw;
}

const HeaderValue* header(const RawFile& raw, const char* key) {
  const auto found = raw.header.find(key);
  return found == raw.header.end() ? nullptr : &found->second;
}

// The number of weights EDGE_WEIGHT_SECTION holds for n nodes in each format,
// and the weight of (i, j), i != j, at position k of the section.
enum class Format { full, lower, upper, lower_diag, upper_diag };

std::optional<Format> format_named(const std::string& text) {
  if (text == "FULL_MATRIX") return Format::full;
  if (text == "LOWER_ROW") return Format::lower;
  if (text == "UPPER_ROW") return Format::upper;
  if (text == "LOWER_DIAG_ROW") return Format::lower_diag;
  if (text == "UPPER_DIAG_ROW") return Format::upper_diag;
  return std::nullopt;
}

std::size_t weight_count(Format format, std::size_t n) {
  switch (format) {
    case Format::full:
      return n * n;
    case Format::lower:
    case Format::upper:
      return n * (n - 1) / 2;
    case Format::lower_diag:
    case Format::upper_diag:
      return n * (n + 1) / 2;
  }
  return 0;
}

// Calls visit(i, j, k) for the weight at position k of the section in
// `format`, (i, j) its cell in the file's numbering from 0; the formats that
// give each pair once give it as the cell (i, j) of their triangle.
template <class Visit>
void for_each_weight(Format format, std::size_t n, Visit visit) {
  std::size_t k = 0;
  switch (format) {
    case Format::full:
      for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) visit(i, j, k++);
      break;
    case Format::lower:
      for (std::size_t i = 1; i < n; ++i)
        for (std::size_t j = 0; j < i; ++j) visit(i, j, k++);
      break;
    case Format::upper:
      for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) visit(i, j, k++);
      break;
    case Format::lower_diag:
      for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j <= i; ++j) visit(i, j, k++);
      break;
    case Format::upper_diag:
      for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i; j < n; ++j) visit(i, j, k++);
      break;
  }
}

// Fills the matrix `cells` (n x n, the instance's numbering: file node f is
// node position[f]) from the weights in `format`, and `exact` from the
// weights as written when the file has some that are not floats.
void place_weights(Format format, std::size_t n, const RawFile& raw, const std::vector<std::size_t>& position,
                   std::vector<float>& cells, ExactWeights& exact) {
  const bool symmetric = format != Format::full;
  for_each_weight(format, n, [&](std::size_t i, std::size_t j, std::size_t k) {
    cells[position[i] * n + position[j]] = raw.weights[k];
    if (symmetric) cells[position[j] * n + position[i]] = raw.weights[k];
  });
  if (!raw.keep_exact) return;
  exact.nodes = static_cast<int>(n);
  exact.symmetric = symmetric;
  exact.cells.assign(symmetric ? n * (n + 1) / 2 : n * n, 0.0);
  for_each_weight(format, n, [&](std::size_t i, std::size_t j, std::size_t k) {
    const std::size_t from = position[i], to = position[j];
    const std::size_t high = std::max(from, to), low = std::min(from, to);
    exact.cells[symmetric ? high * (high + 1) / 2 + low : from * n + to] = raw.exact_weights[k];
  });
}

// The line and text of the weight at position `k` of the EDGE_WEIGHT_SECTION
// that starts at line `section` (read again: a refusal is rare, and a line
// kept for each weight would double the reader's memory).
std::pair<std::size_t, std::string> weight_at(std::string_view text, std::size_t section, std::size_t k) {
  std::size_t line_number = 0;
  std::size_t start = 0;
  std::size_t seen = 0;
  while (start < text.size()) {
    std::size_t stop = text.find('\n', start);
    if (stop == std::string_view::npos) stop = text.size();
    const std::string_view line = text.substr(start, stop - start);
    start = stop + 1;
    if (++line_number <= section) continue;
    const std::vector<std::string_view> words = tokens(line);
    if (k < seen + words.size()) return {line_number, std::string(words[k - seen].substr(0, 40))};
    seen += words.size();
  }
  return {section, "?"};
}

// The header values the reader cannot honour, each refused at its line.
void refuse_unsupported(const RawFile& raw, const std::string& name) {
  if (const HeaderValue* type = header(raw, "TYPE"); type != nullptr && type->text != "CVRP")
    throw Refused{located(name, type->line, "TYPE " + type->text + " is not supported (only CVRP)")};
  if (const HeaderValue* distance = header(raw, "DISTANCE"))
    throw Refused{located(name, distance->line, "DISTANCE " + distance->text +
                                                    ": a route length limit is not supported (only the capacity)")};
  if (const HeaderValue* service = header(raw, "SERVICE_TIME")) {
    const auto value = parse_real<double, std::strtod>(service->text);
    if (!value || *value != 0.0)
      throw Refused{located(name, service->line, "SERVICE_TIME " + service->text +
                                                     ": service times are not supported (only the capacity)")};
  }
}

void check_file(std::string_view text, const std::string& name, const RawFile& raw, bool round,
                const NodeLimit& limit, Instance& instance, CvrplibFile& file) {
  refuse_unsupported(raw, name);
  const HeaderValue* named = header(raw, "NAME");
  file.name = named != nullptr && !named->text.empty() ? named->text : name;
  if (const HeaderValue* comment = header(raw, "COMMENT")) file.comment = comment->text;

  const HeaderValue* type = header(raw, "EDGE_WEIGHT_TYPE");
  if (type == nullptr) throw Refused{name + ": no EDGE_WEIGHT_TYPE (EUC_2D or EXPLICIT)"};
  const bool euclidean = type->text == "EUC_2D";
  if (!euclidean && type->text != "EXPLICIT")
    throw Refused{located(name, type->line,
                          "EDGE_WEIGHT_TYPE " + type->text + " is not supported (only EUC_2D and EXPLICIT)")};
  file.edge_weight_type = type->text;
  std::optional<Format> format;
  if (!euclidean) {
    const HeaderValue* given = header(raw, "EDGE_WEIGHT_FORMAT");
    if (given == nullptr) throw Refused{name + ": EXPLICIT weights without EDGE_WEIGHT_FORMAT"};
    format = format_named(given->text);
    if (!format)
      throw Refused{located(name, given->line,
                            "EDGE_WEIGHT_FORMAT " + given->text +
                                " is not supported (FULL_MATRIX, LOWER_ROW, UPPER_ROW, LOWER_DIAG_ROW, "
                                "UPPER_DIAG_ROW)")};
  }

  const HeaderValue* dimension = header(raw, "DIMENSION");
  if (dimension == nullptr) throw Refused{name + ": no DIMENSION"};
  const auto nodes = parse_integer(dimension->text);
  if (!nodes || *nodes < 2)
    throw Refused{located(name, dimension->line, "DIMENSION must be an integer of at least 2")};
  const bool computed = euclidean && limit.computed_distances;
  if (computed && *nodes > kMaxComputedNodes)
    throw Refused{located(name, dimension->line,
                          "DIMENSION " + std::to_string(*nodes) + ": more than " + std::to_string(kMaxComputedNodes) +
                              " nodes")};
  if (!computed && *nodes > kMaxCvrplibNodes) {
    // In double: the square of any DIMENSION a file may give must not overflow.
    char megabytes[64];
    const double side = static_cast<double>(*nodes);
    std::snprintf(megabytes, sizeof megabytes, "%.0f", std::floor(side * side * 4 / 1000000));
    throw Refused{located(name, dimension->line,
                          "DIMENSION " + std::to_string(*nodes) + ": more than " + std::to_string(kMaxCvrplibNodes) +
                              " nodes (the distance matrix alone would take " + megabytes + " MB" +
                              (limit.computed_distances ? "; an EUC_2D instance may have up to " +
                                                              std::to_string(kMaxComputedNodes) + ")"
                                                        : ")"))};
  }
  if (*nodes > limit.nodes)
    throw Refused{located(name, dimension->line,
                          "DIMENSION " + std::to_string(*nodes) + " gives " + std::to_string(*nodes - 1) +
                              " customers, more than " + std::to_string(limit.nodes - 1) + " (" +
                              std::string(limit.why) + ")")};
  const auto count = static_cast<std::size_t>(*nodes);

  instance.vehicle_capacity = 0;
  file.has_capacity = false;
  if (const HeaderValue* capacity = header(raw, "CAPACITY")) {
    const auto value = parse_integer(capacity->text);
    if (!value || *value <= 0 || *value > std::numeric_limits<int>::max())
      throw Refused{located(name, capacity->line, "CAPACITY must be a positive integer")};
    instance.vehicle_capacity = static_cast<int>(*value);
    file.has_capacity = true;
  }
  if (const HeaderValue* vehicles = header(raw, "VEHICLES")) {
    const auto value = parse_integer(vehicles->text);
    if (!value || *value <= 0 || *value > std::numeric_limits<int>::max())
      throw Refused{located(name, vehicles->line, "VEHICLES must be a positive integer")};
    file.vehicles = static_cast<int>(*value);
  }

  const auto section_line = [&](const char* section) -> std::optional<std::size_t> {
    const auto found = raw.sections.find(section);
    return found == raw.sections.end() ? std::nullopt : std::optional(found->second);
  };
  if (euclidean && !section_line("NODE_COORD_SECTION")) throw Refused{name + ": no NODE_COORD_SECTION"};
  if (!euclidean && !section_line("EDGE_WEIGHT_SECTION")) throw Refused{name + ": no EDGE_WEIGHT_SECTION"};
  if (!section_line("DEMAND_SECTION")) throw Refused{name + ": no DEMAND_SECTION"};

  const auto check_id = [&](long long id, std::size_t line, const char* what) {
    if (id < 1 || id > *nodes)
      throw Refused{located(name, line, std::string(what) + " names node " + std::to_string(id) + ", outside 1.." +
                                            std::to_string(*nodes))};
  };

  std::vector<std::optional<Point>> coords(count);
  for (const CoordRecord& record : raw.coords) {
    check_id(record.id, record.line, "coordinate line");
    if (!std::isfinite(record.at.x) || !std::isfinite(record.at.y))
      throw Refused{located(name, record.line, "coordinates are not finite numbers")};
    auto& slot = coords[static_cast<std::size_t>(record.id - 1)];
    if (slot)
      throw Refused{located(name, record.line, "second coordinate line for node " + std::to_string(record.id))};
    slot = record.at;
  }
  std::vector<std::optional<int>> demands(count);
  for (const DemandRecord& record : raw.demands) {
    check_id(record.id, record.line, "demand line");
    if (record.demand < 0 || record.demand > std::numeric_limits<int>::max())
      throw Refused{located(name, record.line, "demand must be an integer from 0 to " +
                                                   std::to_string(std::numeric_limits<int>::max()))};
    auto& slot = demands[static_cast<std::size_t>(record.id - 1)];
    if (slot) throw Refused{located(name, record.line, "second demand line for node " + std::to_string(record.id))};
    slot = static_cast<int>(record.demand);
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (euclidean && !coords[i]) throw Refused{name + ": node " + std::to_string(i + 1) + " has no coordinates"};
    if (!demands[i]) throw Refused{name + ": node " + std::to_string(i + 1) + " has no demand"};
  }
  if (format && raw.weights.size() != weight_count(*format, count))
    throw Refused{located(name, *section_line("EDGE_WEIGHT_SECTION"),
                          "EDGE_WEIGHT_SECTION holds " + std::to_string(raw.weights.size()) + " weights; " +
                              header(raw, "EDGE_WEIGHT_FORMAT")->text + " of " + std::to_string(count) +
                              " nodes takes " + std::to_string(weight_count(*format, count)))};

  std::size_t depot = 0;
  if (section_line("DEPOT_SECTION")) {
    if (raw.depots.empty()) throw Refused{name + ": DEPOT_SECTION lists no depot"};
    if (raw.depots.size() > 1)
      throw Refused{located(name, raw.depots[1].line, "more than one depot (only one is supported)")};
    check_id(raw.depots.front().id, raw.depots.front().line, "DEPOT_SECTION");
    depot = static_cast<std::size_t>(raw.depots.front().id - 1);
  }
  // The depot's demand is no customer's: one other than 0 is a mistake in the file.
  for (const DemandRecord& record : raw.demands)
    if (record.id == static_cast<long long>(depot) + 1 && record.demand != 0)
      throw Refused{located(name, record.line, "the depot (node " + std::to_string(record.id) + ") has demand " +
                                                   std::to_string(record.demand) + "; it must be 0")};

  // The instance's node k is the file's node order[k]: the depot, then the others in id order.
  std::vector<std::size_t> order{depot};
  for (std::size_t index = 0; index < count; ++index)
    if (index != depot) order.push_back(index);
  file.node_ids.clear();
  for (const std::size_t index : order) file.node_ids.push_back(static_cast<long long>(index) + 1);

  instance.name = file.name;
  instance.customer_count = static_cast<int>(count) - 1;
  instance.matrix = DistanceMatrix{};
  instance.matrix.rows = instance.matrix.cols = static_cast<int>(count);
  instance.points.reset();
  instance.true_distances = TrueDistance::matrix;
  instance.exact_weights = ExactWeights{};
  const bool keeps_cells = !(euclidean && limit.computed_distances && count > static_cast<std::size_t>(kMatrixNodes));
  if (!with_working_memory([&] {
        if (keeps_cells) instance.matrix.cells.assign(count * count, 0.0f);
        instance.demand.assign(count, 0);
      }))
    throw Refused{name + ": the " + std::to_string(count) + " x " + std::to_string(count) +
                  " distance matrix does not fit in memory"};
  for (std::size_t k = 1; k < count; ++k) instance.demand[k] = *demands[order[k]];

  if (euclidean) {
    instance.true_distances = round ? TrueDistance::rounded_euclidean : TrueDistance::euclidean;
    instance.points.emplace();
    for (const std::size_t index : order) instance.points->push_back({coords[index]->x, coords[index]->y});
    const std::vector<NodePoint>& points = *instance.points;
    // Distances are floats: refuse any that would not fit, the first in row order.
    const auto each_distance = [&](auto&& keep) {
      for (std::size_t i = 0; i < count; ++i)
        for (std::size_t j = 0; j < count; ++j) {
          if (i == j) continue;
          const double distance = euclidean_distance(points[i], points[j], round);
          if (!(distance < std::numeric_limits<float>::max()))
            throw Refused{name + ": distance between nodes " + std::to_string(i) + " and " + std::to_string(j) +
                          " is too large for a float"};
          keep(i, j, static_cast<float>(distance));
        }
    };
    if (keeps_cells) {
      each_distance([&](std::size_t i, std::size_t j, float cell) { instance.matrix.cells[i * count + j] = cell; });
    } else {
      instance.matrix.points = points;
      instance.matrix.rounded = round;
      // A distance grows with the square it is the root of, and the square
      // is the same both ways: the largest comes from the largest square.
      double largest_square = 0.0;
      for (std::size_t i = 0; i < count; ++i)
        for (std::size_t j = 0; j < i; ++j) {
          const double dx = points[i].x - points[j].x;
          const double dy = points[i].y - points[j].y;
          largest_square = std::max(largest_square, dx * dx + dy * dy);
        }
      const double largest = round ? std::floor(std::sqrt(largest_square) + 0.5) : std::sqrt(largest_square);
      if (!(largest < std::numeric_limits<float>::max())) each_distance([](std::size_t, std::size_t, float) {});
      instance.matrix.largest = static_cast<double>(static_cast<float>(largest));
    }
  } else {
    std::vector<std::size_t> position(count);  // of each node of the file in the matrix
    for (std::size_t k = 0; k < count; ++k) position[order[k]] = k;
    if (!with_working_memory([&] { place_weights(*format, count, raw, position, instance.matrix.cells,
                                                 instance.exact_weights); }))
      throw Refused{name + ": the " + std::to_string(count) + " x " + std::to_string(count) +
                    " weights as written do not fit in memory"};
    if (raw.keep_exact) instance.true_distances = TrueDistance::written_weights;
    // An unused truck goes from the depot to the depot: the weight of that
    // cell would be paid for every truck of the fleet, used or not.
    const double depot_to_depot = raw.keep_exact ? instance.exact_weights.at(0, 0) : instance.matrix.at(0, 0);
    if (depot_to_depot != 0.0) {
      std::size_t position_in_section = 0;
      for_each_weight(*format, count, [&](std::size_t i, std::size_t j, std::size_t k) {
        if (i == depot && j == depot) position_in_section = k;
      });
      const auto [line, written] = weight_at(text, *section_line("EDGE_WEIGHT_SECTION"), position_in_section);
      const std::string node = std::to_string(depot + 1);
      throw Refused{located(name, line, "depot-to-depot weight " + written + " (node " + node + " to node " + node +
                                            "): an unused truck would cost it; it must be 0")};
    }
  }
}

}  // namespace

std::optional<std::string> parse_cvrplib(std::string_view text, const std::string& name, bool round,
                                         Instance& instance, CvrplibFile* file, NodeLimit limit) {
  CvrplibFile kept;
  // A UTF-8 byte order mark, which some editors put first, is no part of the text.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  try {
    const RawFile raw = read_raw(text, name);
    check_file(text, name, raw, round, limit, instance, kept);
  } catch (const Refused& refused) {
    return refused.message;
  } catch (const std::bad_alloc&) {
    return name + ": the instance does not fit in memory";
  }
  if (file != nullptr) *file = std::move(kept);
  return std::nullopt;
}

std::optional<std::string> read_cvrplib(const std::string& path, bool round, Instance& instance, CvrplibFile* file,
                                        NodeLimit limit) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!stream) return "cannot open " + path + ": " + std::strerror(errno);
  std::string text;
  char buffer[1 << 16];
  std::size_t got = 0;
  if (!with_working_memory([&] {
        while ((got = std::fread(buffer, 1, sizeof buffer, stream.get())) > 0) text.append(buffer, got);
      }))
    return path + ": the file does not fit in memory";
  if (std::ferror(stream.get())) return "cannot read " + path + ": " + std::strerror(errno);
  return parse_cvrplib(text, path, round, instance, file, limit);
}

std::string shortest(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string cvrplib_text(const Instance& instance, const std::string& comment) {
  const int nodes = instance.customer_count + 1;
  std::string text = "NAME : " + instance.name + "\nCOMMENT : " + comment + "\nTYPE : CVRP\n";
  text += "DIMENSION : " + std::to_string(nodes) + "\nEDGE_WEIGHT_TYPE : EUC_2D\n";
  text += "CAPACITY : " + std::to_string(instance.vehicle_capacity) + "\nNODE_COORD_SECTION\n";
  const std::vector<NodePoint> none;
  const std::vector<NodePoint>& points = instance.points ? *instance.points : none;
  for (std::size_t k = 0; k < points.size(); ++k)
    text += std::to_string(k + 1) + " " + shortest(points[k].x) + " " + shortest(points[k].y) + "\n";
  text += "DEMAND_SECTION\n";
  for (int k = 0; k < nodes; ++k)
    text += std::to_string(k + 1) + " " + std::to_string(k == 0 ? 0 : instance.demand[static_cast<std::size_t>(k)]) +
            "\n";
  text += "DEPOT_SECTION\n1\n-1\nEOF\n";
  return text;
}
