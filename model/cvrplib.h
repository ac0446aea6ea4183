// CVRPLIB instance files (".vrp"), the form the field's benchmark sets come
// in: the one reader every program of this project uses, and the writer of
// the instances vrpgen makes.
//
// The depot becomes node 0 and the other nodes become customers 1..n in the
// order of their ids in the file. Distances are the file's EUC_2D distances
// (the Euclidean distance worked out in double and rounded once to float,
// or first rounded to the nearest integer as CVRPLIB's X set is used) or its
// EXPLICIT weights (each read as the float nearest its text): the very floats
// the program reads back from the .dat files vrp2dat writes of the file.
// The instance also says where its true distances come from (the points,
// rounded or not, or the weights as written): see true_distance.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/instance.h"

// A file with more nodes is refused: its distance matrix alone would take
// 400 MB, and a search's working storage several times that.
inline constexpr long long kMaxCvrplibNodes = 10001;
// Unless it is an EUC_2D instance read for a caller that takes computed
// distances (see DistanceMatrix): then up to this many nodes.
inline constexpr long long kMaxComputedNodes = 30001;
// Such an instance keeps its matrix up to this many nodes (16 MB of cells):
// beyond, a cell read from memory costs more than one worked out from two
// points the processor's caches hold.
inline constexpr long long kMatrixNodes = 2001;

// The most nodes a caller takes, and why (said when a file has more); and
// whether it takes an EUC_2D instance of more than kMatrixNodes nodes with
// its distances computed instead of kept.
struct NodeLimit {
  long long nodes = kMaxComputedNodes;
  std::string_view why;
  bool computed_distances = false;
};
// What a caller that never reads the cells themselves takes.
inline constexpr NodeLimit kComputedDistances{kMaxComputedNodes, {}, true};

// What the file says beyond the instance it gives.
struct CvrplibFile {
  std::string name;                 // NAME, or the path when there is none
  std::string comment;              // COMMENT, as given
  std::string edge_weight_type;     // EUC_2D or EXPLICIT
  bool has_capacity = false;        // CAPACITY given (otherwise the instance's capacity is 0)
  std::optional<int> vehicles;      // VEHICLES, when given
  std::vector<long long> node_ids;  // the file's id of each node: node_ids[0] is the depot's
};

// Reads CVRPLIB text: a header of "KEY : value" lines (NAME, COMMENT, TYPE,
// DIMENSION, EDGE_WEIGHT_TYPE, EDGE_WEIGHT_FORMAT, CAPACITY, VEHICLES, ...),
// then NODE_COORD_SECTION ("id x y"), EDGE_WEIGHT_SECTION (the weights in
// the order of EDGE_WEIGHT_FORMAT: FULL_MATRIX, LOWER_ROW, UPPER_ROW,
// LOWER_DIAG_ROW or UPPER_DIAG_ROW), DEMAND_SECTION ("id demand") and
// DEPOT_SECTION (one id, then -1; without it the depot is node 1), up to EOF;
// "\r\n" line ends, tabs and a UTF-8 byte order mark at the start are allowed.
// `round`: EUC_2D distances rounded to the nearest integer. Refuses, with
// "NAME:LINE: ..." or "NAME: ...": a malformed line, a header key given
// twice, a node id outside 1..DIMENSION or given twice, a node without
// coordinates or demand, coordinates or weights that are not finite or a
// distance beyond the float range, a negative demand, a depot demand other
// than 0, a depot-to-depot weight other than 0 (every truck of the fleet,
// used or not, would pay it), several depots,
// a route length limit (DISTANCE) or service time (SERVICE_TIME), a TYPE
// other than CVRP, an edge weight type or format it cannot honour, a missing
// section, more nodes than `limit` (at most kMaxCvrplibNodes, or
// kMaxComputedNodes for computed distances) or a matrix
// that cannot be had. Returns the message, or nothing; `file` (when given)
// gets the rest.
std::optional<std::string> parse_cvrplib(std::string_view text, const std::string& name, bool round,
                                         Instance& instance, CvrplibFile* file = nullptr, NodeLimit limit = {});

// parse_cvrplib on a file, named by its path; one that cannot be read gives
// "cannot open PATH: reason" or "cannot read PATH: reason".
std::optional<std::string> read_cvrplib(const std::string& path, bool round, Instance& instance,
                                        CvrplibFile* file = nullptr, NodeLimit limit = {});

// The text of an EUC_2D instance file: NAME, COMMENT, TYPE CVRP, DIMENSION,
// EDGE_WEIGHT_TYPE, CAPACITY, then each node's coordinates (the shortest
// text that reads back as the same double), each node's demand (the depot's
// as 0) and the depot, node i written as id i + 1.
std::string cvrplib_text(const Instance& instance, const std::string& comment);

// The shortest text that reads back as the same double.
std::string shortest(double value);
