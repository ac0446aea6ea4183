// The instance in memory: the distance matrix and the demand vector, the
// storage routines the run uses for every long-lived array, and the two
// readers of "distancia.dat" and "demanda.dat".
#pragma once

#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Distances between nodes 0 (the depot) .. n, row-major: cell (i, j) is the
// distance travelled from node i to node j. Cells never named by the input
// stay 0.0; the matrix is not made symmetric.
struct DistanceMatrix {
  int rows = 0;
  int cols = 0;
  std::vector<float> cells;

  float at(int from, int to) const { return cells[static_cast<std::size_t>(from) * cols + to]; }
  float& at(int from, int to) { return cells[static_cast<std::size_t>(from) * cols + to]; }
};

// Demand of each node, indexed by node; entry 0 (the depot) is never used.
using DemandVector = std::vector<int>;

// Prints "\n ****** message ******\n" and "... Saindo do sistema ...\n" on
// standard output and ends the process with status 1.
[[noreturn]] void fatal_error(std::string_view message);

// Storage: a block of `count` ints, or a rows x cols matrix. Out of memory ends
// the run through fatal_error. The free routines release the storage at once.
std::vector<int> alloc_vector(int count);
void zero_vector(std::span<int> vector);
void free_vector(std::vector<int>& vector);
DistanceMatrix alloc_matrix(int rows, int cols);
void zero_matrix(DistanceMatrix& matrix);
void free_matrix(DistanceMatrix& matrix);

// Fill the matrix from records "i, j, d" and the demands from records
// "i, d". Records may span lines and the last record for a cell wins. A file
// that cannot be opened, a node outside 0..customer_count, a malformed or
// truncated record, a non-finite distance, or demands whose absolute sum times
// penalty_weight would not fit an int end the run with a message and status 1.
// customer_count is the largest node number (rows - 1, demand.size() - 1).
void read_distances(const char* path, DistanceMatrix& matrix);
void read_demands(const char* path, DemandVector& demand, int penalty_weight);

// Instances a run cannot take end it with a message naming the file and
// status 1. More trucks than customers: then some customer's demand alone
// overloads a truck, no solution is free of overload, and the Route (and
// every search's work on it) would grow with the demands.
void check_truck_count(const char* path, int min_trucks, int customer_count);
// Distances so large that the float distance of some Route of route_length
// entries could overflow (or, with negative distances, the difference of two
// Routes' distances, which every objective change holds).
void check_distance_range(const char* path, const DistanceMatrix& matrix, int route_length);

// Out of memory for the run's working storage (caches, tabu counts, scan
// storage, the input text): ends the run through fatal_error.
[[noreturn]] void working_memory_error();

// Runs `allocate`, whose storage that cannot be had ends the run through
// working_memory_error.
template <class Allocate>
void with_working_memory(Allocate allocate) {
  try {
    allocate();
  } catch (const std::bad_alloc&) {
    working_memory_error();
  }
}

// The same readers without the print-and-exit: each returns the message the
// readers above print (line end included), or nothing when the file was read.
// On failure the matrix or vector holds the records read before it.
std::optional<std::string> load_distances(const char* path, DistanceMatrix& matrix);
std::optional<std::string> load_demands(const char* path, DemandVector& demand, int penalty_weight);

// Where a node lies on the map: "coordenadas.dat" holds one record "i, x, y"
// per node, read like the other two files (x and y as doubles). The program
// itself never reads it; the companion tools draw the routes with it.
struct NodePoint {
  double x = 0.0;
  double y = 0.0;
};

// Fills points[0..customer_count] (customer_count = points.size() - 1). Besides
// the failures of the readers above, a coordinate that is not finite and a
// node left without a record are refused. Returns the message, or nothing.
std::optional<std::string> load_coordinates(const char* path, std::vector<NodePoint>& points);
