// The instance in memory: the distance matrix and the demand vector, the
// storage routines the run uses for every long-lived array, and the readers
// of "distancia.dat", "demanda.dat" and "coordenadas.dat".
#pragma once

#include <cmath>
#include <filesystem>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Demand of each node, indexed by node; entry 0 (the depot) is never used.
using DemandVector = std::vector<int>;

// Where a node lies on the map: "coordenadas.dat" holds one record "i, x, y"
// per node, read like the other two files (x and y as doubles). The program
// itself never reads it; the companion tools draw the routes with it.
struct NodePoint {
  double x = 0.0;
  double y = 0.0;
};

// The Euclidean distance of two points worked out in double, rounded to the
// nearest integer (halves up) when `round`: the distance of an EUC_2D
// instance, of which the CVRPLIB reader keeps the nearest float.
inline double euclidean_distance(const NodePoint& from, const NodePoint& to, bool round) {
  const double dx = from.x - to.x;
  const double dy = from.y - to.y;
  const double distance = std::sqrt(dx * dx + dy * dy);
  return round ? std::floor(distance + 0.5) : distance;
}

// Distances between nodes 0 (the depot) .. n, row-major: cell (i, j) is the
// distance travelled from node i to node j. Cells never named by the input
// stay 0.0; the matrix is not made symmetric.
//
// A large EUC_2D instance keeps no cells: its rows x rows floats would not
// fit in memory (30,001 nodes take 3.6 GB). Each distance is then worked out
// from the nodes' points when it is read, as the float nearest
// euclidean_distance, the very value the cell would hold.
struct DistanceMatrix {
  int rows = 0;
  int cols = 0;
  std::vector<float> cells;        // rows * cols, or empty when the distances are computed
  std::vector<NodePoint> points;   // each node's point, when the distances are computed
  bool rounded = false;            // computed distances rounded to the nearest integer
  double largest = 0.0;            // the largest computed distance (the cells need no such note)

  bool computed() const { return cells.empty() && !points.empty(); }
  float at(int from, int to) const {
    if (!cells.empty()) [[likely]]
      return cells[static_cast<std::size_t>(from) * cols + to];
    return static_cast<float>(euclidean_distance(points[static_cast<std::size_t>(from)],
                                                 points[static_cast<std::size_t>(to)], rounded));
  }
  // The cell itself, to be written (a matrix that keeps its cells).
  float& cell(int from, int to) { return cells[static_cast<std::size_t>(from) * cols + to]; }
};

// The largest |distance| of the matrix.
double largest_distance(const DistanceMatrix& matrix);

// Where the true distance of two nodes comes from: the distance as the
// field's checkers compute it, in double, of which the searches' float matrix
// holds the nearest float.
enum class TrueDistance {
  matrix,             // the float cell itself, as a double (the .dat files, which hold floats)
  euclidean,          // EUC_2D: the Euclidean distance of the points, in double
  rounded_euclidean,  // EUC_2D under --round: the same rounded to the nearest integer
  written_weights,    // EXPLICIT weights not all exactly floats: as written, from ExactWeights
};

// EXPLICIT weights as written (each the double nearest its text), kept only
// when some weight is not exactly a float: otherwise the float matrix holds
// every weight exactly and nothing is kept (a 10001-node matrix of doubles
// takes 800 MB). The formats that give each pair once (all but FULL_MATRIX)
// keep the lower triangle, diagonal included; FULL_MATRIX keeps every cell.
// Cells are in the instance's node numbering, like the matrix's.
struct ExactWeights {
  int nodes = 0;
  bool symmetric = false;
  std::vector<double> cells;  // nodes^2 cells, or nodes * (nodes + 1) / 2 when symmetric

  double at(int from, int to) const {
    const auto row = static_cast<std::size_t>(from), column = static_cast<std::size_t>(to);
    if (!symmetric) return cells[row * static_cast<std::size_t>(nodes) + column];
    const std::size_t high = row > column ? row : column, low = row > column ? column : row;
    return cells[high * (high + 1) / 2 + low];
  }
};

// The instance a search solves: n customers (nodes 1..n), the depot (node
// 0), the distances between them, each customer's demand and the capacity of
// a truck; the points of the nodes when the instance gives them, and where
// its true distances come from (see true_distance).
struct Instance {
  std::string name;
  int customer_count = 0;
  int vehicle_capacity = 0;
  DistanceMatrix matrix;  // (n+1) x (n+1)
  DemandVector demand;    // n+1 entries
  std::optional<std::vector<NodePoint>> points;
  TrueDistance true_distances = TrueDistance::matrix;
  ExactWeights exact_weights{};  // only for TrueDistance::written_weights
};


// The true distance from node `from` to node `to` (0..n each): the EUC_2D
// distance in double (rounded under --round), an EXPLICIT weight as written,
// or a .dat instance's float cell, as the instance's true_distances says.
// What a result is reported with; the searches work on the float matrix.
double true_distance(const Instance& instance, int from, int to);

// The true cost of routes (customers 1..n each, the depot left out): the
// sum in double of the true distances along each route in order, from the
// depot and back to it, route after route, into one running total, as the
// field's checkers sum a solution. Empty routes cost nothing.
double routes_cost(const Instance& instance, const std::vector<std::vector<int>>& routes);

// Nothing here ends the process: a failure comes back as a result, and the
// program (or any other caller) decides what to print and whether to stop.

// What the storage routines could not get, as the program names it.
inline constexpr const char* kVectorShortage = "Falta memoria para alocar o vetor de ponteiros";
inline constexpr const char* kMatrixShortage = "Falta memoria para alocar a matriz de ponteiros";
inline constexpr const char* kWorkingShortage = "Falta memoria para alocar as estruturas de trabalho";
// The tabu list's shortage, printed as it stands (not through shortage_message).
inline constexpr const char* kTabuListShortage = "Faltando memoria ...\n";

// The message of storage that cannot be had: "\n ****** what ******\n" and
// "... Saindo do sistema ...\n".
std::string shortage_message(std::string_view what);

// Storage: a block of `count` ints, or a rows x cols matrix. False when the
// memory cannot be had. The free routines release the storage at once.
[[nodiscard]] bool alloc_vector(int count, std::vector<int>& vector);
void zero_vector(std::span<int> vector);
void free_vector(std::vector<int>& vector);
[[nodiscard]] bool alloc_matrix(int rows, int cols, DistanceMatrix& matrix);
void zero_matrix(DistanceMatrix& matrix);
void free_matrix(DistanceMatrix& matrix);

// Runs `allocate`; false when its storage cannot be had: any storage whose
// shortage the caller reports (the matrix and vectors, a search's caches,
// tabu counts and scan storage, input text).
template <class Allocate>
[[nodiscard]] bool with_working_memory(Allocate allocate) {
  try {
    allocate();
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Instances a run cannot take, each giving the message that names the file
// (line end included), or nothing. More trucks than customers: then some
// customer's demand alone overloads a truck, no solution is free of
// overload, and the Route (and every search's work on it) would grow with
// the demands.
std::optional<std::string> check_truck_count(const char* path, int min_trucks, int customer_count);
// Distances so large that the float distance of some Route of route_length
// entries could overflow (or, with negative distances, the difference of two
// Routes' distances, which every objective change holds).
bool distances_fit(const DistanceMatrix& matrix, int route_length);

// True when every cell (u, v) holds the same float as (v, u), bit for bit.
bool matrix_is_symmetric(const DistanceMatrix& matrix);
std::optional<std::string> check_distance_range(const char* path, const DistanceMatrix& matrix,
                                                int route_length);

// The readers of "distancia.dat" (records "i, j, d") and "demanda.dat"
// (records "i, d"). Records may span lines and the last record for a cell
// wins. A file that cannot be opened, a node outside 0..customer_count, a
// malformed or truncated record, a non-finite distance, or demands whose
// absolute sum times penalty_weight would not fit an int are refused: each
// returns the program's message (line end included; shortage_message when the
// text cannot be held), or nothing when the file was read. customer_count is
// the largest node number (rows - 1, demand.size() - 1). On failure the
// matrix or vector holds the records read before it.
std::optional<std::string> load_distances(const char* path, DistanceMatrix& matrix);
std::optional<std::string> load_demands(const char* path, DemandVector& demand, int penalty_weight);

// Reads "distancia.dat" and "demanda.dat" of `folder` (the working
// directory when empty) into an instance of customer_count customers and
// trucks of vehicle_capacity, with the program's storage routines, in the
// program's order. Returns the first failure's message, or nothing.
std::optional<std::string> load_dat_instance(const std::filesystem::path& folder, int customer_count,
                                             int vehicle_capacity, int penalty_weight, Instance& instance);

// Fills points[0..customer_count] (customer_count = points.size() - 1). Besides
// the failures of the readers above, a coordinate that is not finite and a
// node left without a record are refused. Returns the message, or nothing.
std::optional<std::string> load_coordinates(const char* path, std::vector<NodePoint>& points);
