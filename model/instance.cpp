#include "model/instance.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>
#include <utility>

std::string shortage_message(std::string_view what) {
  return "\n ****** " + std::string(what) + " ******\n... Saindo do sistema ...\n";
}

bool alloc_vector(int count, std::vector<int>& vector) {
  return with_working_memory([&] { vector = std::vector<int>(static_cast<std::size_t>(count)); });
}

void zero_vector(std::span<int> vector) {
  for (int& entry : vector) entry = 0;
}

void free_vector(std::vector<int>& vector) { std::vector<int>().swap(vector); }

bool alloc_matrix(int rows, int cols, DistanceMatrix& matrix) {
  matrix.rows = rows;
  matrix.cols = cols;
  return with_working_memory(
      [&] { matrix.cells.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols)); });
}

void zero_matrix(DistanceMatrix& matrix) {
  for (float& cell : matrix.cells) cell = 0.0f;
}

void free_matrix(DistanceMatrix& matrix) {
  std::vector<float>().swap(matrix.cells);
  matrix.rows = 0;
  matrix.cols = 0;
}

namespace {

// A reading failure, carrying the message the program prints for it; the
// load_ functions turn it into their result.
struct ReadFailure {
  std::string message;
};

template <class... Values>
std::string formatted(const char* format, Values... values) {
  std::string message(static_cast<std::size_t>(std::snprintf(nullptr, 0, format, values...)), '\0');
  std::snprintf(message.data(), message.size() + 1, format, values...);
  return message;
}

template <class... Values>
[[noreturn]] void fail(const char* format, Values... values) {
  throw ReadFailure{formatted(format, values...)};
}

template <class Read>
std::optional<std::string> failure_of(Read read) {
  try {
    read();
  } catch (const ReadFailure& failure) {
    return failure.message;
  }
  return std::nullopt;
}

// The whole file as text; a file that cannot be opened or read, or text that
// cannot be held, is refused.
std::string read_file(const char* path) {
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) fail("O Arquivo %s nao pode ser aberto.\n", path);
  std::string text;
  char buffer[4096];
  std::size_t got = 0;
  const bool held = with_working_memory([&] {
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  });
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (!held) throw ReadFailure{shortage_message(kWorkingShortage)};
  if (failed) fail("O Arquivo %s nao pode ser aberto.\n", path);
  return text;
}

// A cursor over one file's records, reading the way a formatted scan of
// "%d, %d" or "%d, %d, %f" does: white space before a number is skipped, a
// comma must follow its number directly.
struct RecordScanner {
  const char* at;
  const char* end;
  const char* path;

  static bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }
  void skip_space() {
    while (at != end && is_space(*at)) ++at;
  }
  // True when only white space is left: the reading ends there.
  bool finished() {
    skip_space();
    return at == end;
  }
  [[noreturn]] void invalid() const { fail("Registro invalido no arquivo %s.\n", path); }

  int number() {
    skip_space();
    const char* p = at;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end || *p < '0' || *p > '9') invalid();
    std::int64_t value = 0;
    while (p != end && *p >= '0' && *p <= '9') {
      value = value * 10 + (*p++ - '0');
      if (value > std::int64_t{std::numeric_limits<int>::max()} + 1) invalid();
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int>::max()) invalid();
    at = p;
    return static_cast<int>(value);
  }
  void comma() {
    if (at == end || *at != ',') invalid();
    ++at;
  }
  // A real number read as strtof (float) or strtod (double) reads it.
  template <class Real, Real (*convert)(const char*, char**)>
  Real real() {
    skip_space();
    if (at == end) invalid();
    char* stop = nullptr;
    errno = 0;
    // The text is NUL-terminated (std::string), so the conversion cannot run past it.
    const Real value = convert(at, &stop);
    if (stop == at) invalid();
    at = stop;
    return value;
  }
  float real() { return real<float, std::strtof>(); }
  int node(int customer_count) {
    const int value = number();
    if (value < 0 || value > customer_count)
      fail("No %d fora do intervalo 0..%d no arquivo %s.\n", value, customer_count, path);
    return value;
  }
};

void fill_distances(const char* path, DistanceMatrix& matrix) {
  const std::string text = read_file(path);
  RecordScanner scan{text.data(), text.data() + text.size(), path};
  const int customer_count = matrix.rows - 1;
  while (!scan.finished()) {
    const int from = scan.node(customer_count);
    scan.comma();
    const int to = scan.node(customer_count);
    scan.comma();
    const float distance = scan.real();
    if (!std::isfinite(distance)) fail("Distancia invalida no arquivo %s.\n", path);
    matrix.cell(from, to) = distance;
  }
}

void fill_demands(const char* path, DemandVector& demand, int penalty_weight) {
  const std::string text = read_file(path);
  RecordScanner scan{text.data(), text.data() + text.size(), path};
  const int customer_count = static_cast<int>(demand.size()) - 1;
  while (!scan.finished()) {
    const int node = scan.node(customer_count);
    scan.comma();
    demand[static_cast<std::size_t>(node)] = scan.number();
  }
  // Every objective carries penalty_weight times an overload, an int product;
  // refuse demands that could make it overflow.
  std::int64_t total = 0;
  for (int node = 1; node <= customer_count; ++node)
    total += std::abs(std::int64_t{demand[static_cast<std::size_t>(node)]});
  if (total * std::int64_t{penalty_weight} > std::numeric_limits<int>::max())
    fail("Demanda total grande demais no arquivo %s.\n", path);
}

void fill_coordinates(const char* path, std::vector<NodePoint>& points) {
  const std::string text = read_file(path);
  RecordScanner scan{text.data(), text.data() + text.size(), path};
  const int customer_count = static_cast<int>(points.size()) - 1;
  std::vector<bool> given(points.size(), false);
  while (!scan.finished()) {
    const int node = scan.node(customer_count);
    scan.comma();
    const double x = scan.real<double, std::strtod>();
    scan.comma();
    const double y = scan.real<double, std::strtod>();
    if (!std::isfinite(x) || !std::isfinite(y)) fail("Coordenada invalida no arquivo %s.\n", path);
    points[static_cast<std::size_t>(node)] = NodePoint{x, y};
    given[static_cast<std::size_t>(node)] = true;
  }
  for (int node = 0; node <= customer_count; ++node)
    if (!given[static_cast<std::size_t>(node)]) fail("No %d sem coordenadas no arquivo %s.\n", node, path);
}

}  // namespace

std::optional<std::string> load_distances(const char* path, DistanceMatrix& matrix) {
  return failure_of([&] { fill_distances(path, matrix); });
}

std::optional<std::string> load_demands(const char* path, DemandVector& demand, int penalty_weight) {
  return failure_of([&] { fill_demands(path, demand, penalty_weight); });
}

std::optional<std::string> load_dat_instance(const std::filesystem::path& folder, int customer_count,
                                             int vehicle_capacity, int penalty_weight, Instance& instance) {
  const int nodes = customer_count + 1;
  instance.customer_count = customer_count;
  instance.vehicle_capacity = vehicle_capacity;
  if (!alloc_matrix(nodes, nodes, instance.matrix)) return shortage_message(kMatrixShortage);
  zero_matrix(instance.matrix);
  if (auto failure = load_distances((folder / "distancia.dat").c_str(), instance.matrix)) return failure;
  if (!alloc_vector(nodes, instance.demand)) return shortage_message(kVectorShortage);
  zero_vector(instance.demand);
  return load_demands((folder / "demanda.dat").c_str(), instance.demand, penalty_weight);
}

std::optional<std::string> load_coordinates(const char* path, std::vector<NodePoint>& points) {
  return failure_of([&] { fill_coordinates(path, points); });
}

std::optional<std::string> check_truck_count(const char* path, int min_trucks, int customer_count) {
  if (min_trucks > customer_count)
    return formatted("Demanda total exige %d caminhoes, mais que os %d clientes, no arquivo %s.\n",
                             min_trucks, customer_count, path);
  return std::nullopt;
}

double largest_distance(const DistanceMatrix& matrix) {
  if (matrix.computed()) return matrix.largest;
  double largest = 0.0;
  for (const float cell : matrix.cells) largest = std::max(largest, std::fabs(static_cast<double>(cell)));
  return largest;
}

bool matrix_is_symmetric(const DistanceMatrix& matrix) {
  // A computed distance squares the differences of the coordinates: the same both ways.
  if (matrix.computed()) return true;
  for (int from = 0; from < matrix.rows; ++from)
    for (int to = 0; to < from; ++to)
      if (std::bit_cast<std::uint32_t>(matrix.at(from, to)) != std::bit_cast<std::uint32_t>(matrix.at(to, from)))
        return false;
  return true;
}

bool distances_fit(const DistanceMatrix& matrix, int route_length) {
  const double largest = largest_distance(matrix);
  bool negative = false;
  for (const float cell : matrix.cells) negative = negative || cell < 0.0f;
  // A float sum of k terms stays within (1 + gamma_k) times the sum of their
  // magnitudes, gamma_k = k u / (1 - k u) with u = 2^-24.
  const double edges = static_cast<double>(route_length - 1);
  const double k_u = edges / 16777216.0;
  const double reach = largest * edges * (1.0 + k_u / (1.0 - k_u)) * (negative ? 2.0 : 1.0);
  return reach <= static_cast<double>(std::numeric_limits<float>::max());
}

std::optional<std::string> check_distance_range(const char* path, const DistanceMatrix& matrix,
                                                int route_length) {
  if (!distances_fit(matrix, route_length)) return formatted("Distancias grandes demais no arquivo %s.\n", path);
  return std::nullopt;
}
