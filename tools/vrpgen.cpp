// vrpgen: writes a random CVRPLIB instance of the solver's size (50 customers,
// trucks of capacity 160; up to 30,000 customers on request), generated as
// the X set of CVRPLIB was (Uchoa et al., "New benchmark instances for the
// Capacitated Vehicle Routing Problem", EJOR 2017): integer points on a
// 1000 x 1000 grid, a depot position, a customer positioning, a demand
// distribution and a number of customers per route.
//
//   vrpgen --seed S [--depot ...] [--customers ...] [--customers N] [--demand ...]
//          [--route-size R] OUT.vrp
//
// An option left out is drawn from the seed; the file's COMMENT repeats the
// command with every value used, so it says how the file was made and running
// it again gives the same file. The same options and seed give the same bytes
// on every platform: the draws are std::mt19937 (its sequence is fixed by the
// C++ standard) reduced by hand, and the arithmetic is integer except for two
// floating-point steps marked below.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/cvrplib.h"
#include "search/settings.h"
#include "tools/common/command_line.h"
#include "tools/common/output_files.h"

namespace fs = std::filesystem;

namespace {

// The program's fixed size, the customers' number unless one is given.
constexpr int kCustomers = kProgramCustomers;
constexpr int kCapacity = kProgramCapacity;
constexpr int kGridSide = 1000;  // coordinates are integers 0..1000
constexpr int kMaxCustomers = 30000;
static_assert(kMaxCustomers + 1 <= (kGridSide + 1) * (kGridSide + 1), "every node on a point of its own");

const char* const kUsage =
    "usage: vrpgen --seed S [--depot central|eccentric|random] [--customers random|clustered|mixed]\n"
    "              [--customers N] [--demand unitary|1-10|5-10|1-100|50-100|quadrant|many-small]\n"
    "              [--route-size R] OUT.vrp\n";

const char* const kHelp =
    "\n"
    "Writes OUT.vrp, a CVRPLIB instance with 50 customers (or N) and capacity 160 (EUC_2D),\n"
    "generated as CVRPLIB's X set (Uchoa et al., 2017) on a 1000 x 1000 grid.\n"
    "The same options and seed always give the same file. An option left out is\n"
    "drawn from the seed; the file's COMMENT records every value used.\n"
    "\n"
    "  --seed S           seed of the generator, an integer 0..4294967295 (required)\n"
    "  --depot V          where the depot is:\n"
    "                       central    the grid's centre (500, 500)\n"
    "                       eccentric  the grid's corner (0, 0)\n"
    "                       random     a random point\n"
    "  --customers V      where the customers are:\n"
    "                       random     random points\n"
    "                       clustered  around 3 to 8 random cluster seeds\n"
    "                       mixed      half clustered, half random\n"
    "  --customers N      how many customers, an integer 1..30000 (50 unless given);\n"
    "                     may be given besides the word above\n"
    "  --demand V         distribution of the demands before scaling:\n"
    "                       unitary    all equal\n"
    "                       1-10       uniform in 1..10\n"
    "                       5-10       uniform in 5..10\n"
    "                       1-100      uniform in 1..100\n"
    "                       50-100     uniform in 50..100\n"
    "                       quadrant   51..100 in the upper right and lower left\n"
    "                                  quarters of the grid, 1..50 in the other two\n"
    "                       many-small 70% to 95% of them in 1..10, the rest in 50..100\n"
    "  --route-size R     about R customers per route, an integer 1..50: the demands\n"
    "                     are scaled so that R customers of average demand fill one\n"
    "                     truck (drawn like the X set: 3 to 25, most often about 6)\n"
    "  --help             this text\n";

using companion::Refused;
using companion::Usage;

// Option values, in the order of their names (the drawn value is an index).
enum class Depot { kCentral, kEccentric, kRandom };
enum class Customers { kRandom, kClustered, kMixed };
enum class Demand { kUnitary, kSmall, kSmallNarrow, kLarge, kLargeNarrow, kQuadrant, kManySmall };
constexpr std::array<std::string_view, 3> kDepotNames{"central", "eccentric", "random"};
constexpr std::array<std::string_view, 3> kCustomerNames{"random", "clustered", "mixed"};
constexpr std::array<std::string_view, 7> kDemandNames{"unitary", "1-10",     "5-10",      "1-100",
                                                       "50-100",  "quadrant", "many-small"};
constexpr int kMaxRouteSize = kCustomers;

struct Options {
  std::uint32_t seed = 0;
  std::optional<Depot> depot;
  std::optional<Customers> customers;
  std::optional<int> customer_count;
  std::optional<Demand> demand;
  std::optional<int> route_size;
  std::string out;
};

// The values an instance is made from, given or drawn.
struct Recipe {
  std::uint32_t seed = 0;
  Depot depot = Depot::kCentral;
  Customers customers = Customers::kRandom;
  int customer_count = kCustomers;
  Demand demand = Demand::kUnitary;
  int route_size = 6;
};

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// Whether each point of the grid is taken by the depot or a customer.
class TakenPoints {
 public:
  TakenPoints() : taken_(static_cast<std::size_t>(kGridSide + 1) * (kGridSide + 1), 0) {}
  bool has(Point point) const { return taken_[index(point)] != 0; }
  void add(Point point) { taken_[index(point)] = 1; }

 private:
  static std::size_t index(Point point) {
    return static_cast<std::size_t>(point.y) * (kGridSide + 1) + static_cast<std::size_t>(point.x);
  }
  std::vector<char> taken_;
};

struct Generated {
  Point depot;
  std::vector<Point> customers;
  TakenPoints taken;         // the depot's and the customers' points
  std::vector<int> demand;   // of each customer, as written
  int cluster_seeds = 0;     // clustered and mixed positioning
  int small_share = 0;       // many-small demands: percent drawn in 1..10
};

// The generator's draws: std::mt19937 with reductions written out, since the
// standard library's distributions differ from one library to another.
class Draws {
 public:
  explicit Draws(std::uint32_t seed) : engine_(seed) {}

  // Uniform in 0..n-1 (n >= 1): an output in the last, incomplete block of n
  // values is drawn again, so every remainder is equally likely.
  int below(int n) {
    const std::uint64_t outputs = std::uint64_t{1} << 32;
    const std::uint64_t usable = outputs - outputs % static_cast<std::uint64_t>(n);
    for (;;) {
      const std::uint64_t value = engine_();
      if (value < usable) return static_cast<int>(value % static_cast<std::uint64_t>(n));
    }
  }
  int between(int low, int high) { return low + below(high - low + 1); }

  // Uniform in [0, 1) with 53 random bits from two outputs; exact in double.
  double unit() {
    const std::uint64_t high = engine_() >> 5;  // 27 bits
    const std::uint64_t low = engine_() >> 6;   // 26 bits
    return static_cast<double>((high << 26) | low) * 0x1p-53;
  }

 private:
  std::mt19937 engine_;
};

// The X set's route size: triangular on [3, 25] with mode 6, rounded to the
// nearest integer. Floating point enters here through sqrt alone, which IEEE
// 754 rounds exactly, so every platform draws the same value.
int draw_route_size(Draws& draws) {
  const double low = 3.0, mode = 6.0, high = 25.0;
  const double u = draws.unit();
  const double r = u < (mode - low) / (high - low)
                       ? low + std::sqrt(u * (high - low) * (mode - low))
                       : high - std::sqrt((1.0 - u) * (high - low) * (high - mode));
  return static_cast<int>(std::floor(r + 0.5));
}

// Every attribute is drawn, given or not, and in the same order, so that a
// given value changes nothing else: the command in the COMMENT, with all the
// values spelled out, makes the same file as the one that drew them.
Recipe choose(const Options& options, Draws& draws) {
  Recipe recipe;
  recipe.seed = options.seed;
  recipe.depot = static_cast<Depot>(draws.below(3));
  recipe.customers = static_cast<Customers>(draws.below(3));
  recipe.demand = static_cast<Demand>(draws.below(7));
  recipe.route_size = draw_route_size(draws);
  if (options.depot) recipe.depot = *options.depot;
  if (options.customers) recipe.customers = *options.customers;
  if (options.customer_count) recipe.customer_count = *options.customer_count;
  if (options.demand) recipe.demand = *options.demand;
  if (options.route_size) recipe.route_size = *options.route_size;
  return recipe;
}

Point random_point(Draws& draws) {
  const int x = draws.between(0, kGridSide);
  return {x, draws.between(0, kGridSide)};
}

// A random point not yet used by the depot or a customer: no two nodes of an
// instance share a point.
Point free_point(Draws& draws, const Generated& instance) {
  for (;;) {
    const Point point = random_point(draws);
    if (!instance.taken.has(point)) return point;
  }
}

void add_customer(Point point, Generated& instance) {
  instance.customers.push_back(point);
  instance.taken.add(point);
}

// Places `count` customers in clusters: 3 to 8 of them, the cluster seeds, at
// random points; each of the others at a point drawn with a probability
// proportional to its attraction, the sum over the seeds of exp(-d / 40) for
// its Euclidean distance d to each seed (accept-reject: a random point is kept
// with probability attraction / seeds, which is at most 1).
void place_clustered(Draws& draws, int count, Generated& instance) {
  const int seeds = std::min(draws.between(3, 8), count);  // count < 3 only with few customers
  instance.cluster_seeds = seeds;
  const std::size_t first = instance.customers.size();
  for (int i = 0; i < seeds; ++i) add_customer(free_point(draws, instance), instance);
  for (int placed = seeds; placed < count;) {
    const Point point = random_point(draws);
    double attraction = 0.0;
    for (std::size_t s = first; s < first + static_cast<std::size_t>(seeds); ++s) {
      const int dx = point.x - instance.customers[s].x;
      const int dy = point.y - instance.customers[s].y;
      // exp decides here: std::exp is not rounded exactly by every library,
      // so another platform could keep a different point only when the
      // uniform draw falls within a last-bit difference of the attraction.
      attraction += std::exp(-std::sqrt(static_cast<double>(dx * dx + dy * dy)) / 40.0);
    }
    if (draws.unit() * seeds < attraction && !instance.taken.has(point)) {
      add_customer(point, instance);
      ++placed;
    }
  }
}

void place_customers(Draws& draws, Customers positioning, int count, Generated& instance) {
  int clustered = 0;
  if (positioning == Customers::kClustered) clustered = count;
  if (positioning == Customers::kMixed) clustered = count / 2;
  if (clustered > 0) place_clustered(draws, clustered, instance);
  while (static_cast<int>(instance.customers.size()) < count) add_customer(free_point(draws, instance), instance);
}

// One demand before scaling.
int raw_demand(Draws& draws, Demand distribution, Point at, int small_share) {
  switch (distribution) {
    case Demand::kUnitary:
      return 1;
    case Demand::kSmall:
      return draws.between(1, 10);
    case Demand::kSmallNarrow:
      return draws.between(5, 10);
    case Demand::kLarge:
      return draws.between(1, 100);
    case Demand::kLargeNarrow:
      return draws.between(50, 100);
    case Demand::kQuadrant: {
      const bool right = at.x > kGridSide / 2;
      const bool upper = at.y > kGridSide / 2;
      return right == upper ? draws.between(51, 100) : draws.between(1, 50);
    }
    case Demand::kManySmall:
      return draws.below(100) < small_share ? draws.between(1, 10) : draws.between(50, 100);
  }
  return 1;
}

// The X set fixes the capacity at ceil(r * total / n) for n customers and r
// customers per route; with the capacity fixed at 160 the demands are scaled
// instead, each to floor(d * 160 * n / (r * total)), so that r customers of
// average demand fit in one truck. A demand stays in 1..160: a customer above
// the capacity could never be served without overload (at small r the cap
// keeps the total below what r alone would give).
void scale_demands(int route_size, std::vector<int>& demand) {
  long long total = 0;
  for (const int d : demand) total += d;
  const long long divisor = static_cast<long long>(route_size) * total;
  const auto count = static_cast<long long>(demand.size());
  for (int& d : demand) {
    const long long scaled = static_cast<long long>(d) * kCapacity * count / divisor;
    d = static_cast<int>(std::clamp<long long>(scaled, 1, kCapacity));
  }
}

Generated generate(const Recipe& recipe, Draws& draws) {
  Generated instance;
  if (recipe.depot == Depot::kCentral) instance.depot = {kGridSide / 2, kGridSide / 2};
  if (recipe.depot == Depot::kEccentric) instance.depot = {0, 0};
  if (recipe.depot == Depot::kRandom) instance.depot = random_point(draws);
  instance.taken.add(instance.depot);
  place_customers(draws, recipe.customers, recipe.customer_count, instance);
  if (recipe.demand == Demand::kManySmall) instance.small_share = draws.between(70, 95);
  for (const Point& at : instance.customers)
    instance.demand.push_back(raw_demand(draws, recipe.demand, at, instance.small_share));
  scale_demands(recipe.route_size, instance.demand);
  return instance;
}

// The command that makes this instance, every value spelled out, then the
// values drawn beyond the options and the resulting size of the fleet.
std::string comment(const Recipe& recipe, const Generated& instance) {
  std::string text = "vrpgen --seed " + std::to_string(recipe.seed);
  text += " --depot " + std::string(kDepotNames[static_cast<std::size_t>(recipe.depot)]);
  text += " --customers " + std::string(kCustomerNames[static_cast<std::size_t>(recipe.customers)]);
  if (recipe.customer_count != kCustomers) text += " --customers " + std::to_string(recipe.customer_count);
  text += " --demand " + std::string(kDemandNames[static_cast<std::size_t>(recipe.demand)]);
  text += " --route-size " + std::to_string(recipe.route_size);
  if (instance.cluster_seeds > 0) text += "; " + std::to_string(instance.cluster_seeds) + " cluster seeds";
  if (instance.small_share > 0) text += "; " + std::to_string(instance.small_share) + "% small demands";
  int total = 0;
  for (const int d : instance.demand) total += d;
  text += "; total demand " + std::to_string(total) + ", at least " +
          std::to_string((total + kCapacity - 1) / kCapacity) + " trucks";
  return text;
}

// The generated instance as the library holds one: the depot node 0, the
// customers 1..n in the order they were placed.
Instance library_instance(const std::string& name, const Generated& generated) {
  Instance instance;
  instance.name = name;
  instance.customer_count = static_cast<int>(generated.customers.size());
  instance.vehicle_capacity = kCapacity;
  instance.points.emplace();
  instance.points->push_back({static_cast<double>(generated.depot.x), static_cast<double>(generated.depot.y)});
  for (const Point& at : generated.customers) instance.points->push_back({static_cast<double>(at.x), static_cast<double>(at.y)});
  instance.demand.push_back(0);
  instance.demand.insert(instance.demand.end(), generated.demand.begin(), generated.demand.end());
  return instance;
}

// NAME is the file's stem; a control character there would break the line.
std::string instance_name(const fs::path& out) {
  std::string name = out.stem().string();
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
  return name;
}

template <typename Value, std::size_t N>
Value parse_name(std::string_view option, const std::string& text, const std::array<std::string_view, N>& names) {
  for (std::size_t i = 0; i < N; ++i)
    if (text == names[i]) return static_cast<Value>(i);
  throw Usage{"bad value '" + text + "' for " + std::string(option)};
}

Options parse_options(int argc, char** argv) {
  Options options;
  bool has_seed = false;
  std::vector<std::string> seen;
  companion::CommandLine args(argc, argv);
  std::string value;
  // Takes option `name` when it is next, once only.
  const auto take = [&](const char* name) {
    if (!args.option(name, value)) return false;
    if (std::find(seen.begin(), seen.end(), name) != seen.end())
      throw Usage{"option " + std::string(name) + " given twice"};
    seen.emplace_back(name);
    return true;
  };
  while (!args.done()) {
    if (take("--seed")) {
      options.seed = static_cast<std::uint32_t>(companion::whole_value("--seed", value, 0, 0xffffffffLL));
      has_seed = true;
    } else if (take("--depot")) {
      options.depot = parse_name<Depot>("--depot", value, kDepotNames);
    } else if (args.option("--customers", value)) {
      // Once as a word and once as a number, each at most once.
      const bool number = !value.empty() && value.find_first_not_of("+-0123456789") == std::string::npos;
      if (number ? options.customer_count.has_value() : options.customers.has_value())
        throw Usage{"option --customers given twice"};
      if (number)
        options.customer_count = static_cast<int>(companion::whole_value("--customers", value, 1, kMaxCustomers));
      else
        options.customers = parse_name<Customers>("--customers", value, kCustomerNames);
    } else if (take("--demand")) {
      options.demand = parse_name<Demand>("--demand", value, kDemandNames);
    } else if (take("--route-size")) {
      options.route_size = static_cast<int>(companion::whole_value("--route-size", value, 1, kMaxRouteSize));
    } else {
      std::string out = args.operand();
      if (!options.out.empty()) throw Usage{"more than one output file"};
      options.out = std::move(out);
    }
  }
  if (!has_seed) throw Usage{"--seed is required"};
  if (options.out.empty()) throw Usage{"no output file"};
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  if (companion::asks_help(argc, argv)) {
    std::printf("%s%s", kUsage, kHelp);
    return 0;
  }
  return companion::run_companion("vrpgen", kUsage, [&] {
    const Options options = parse_options(argc, argv);
    const fs::path out = options.out;
    if (!out.has_filename()) throw Refused{options.out + " does not name a file"};
    Draws draws(options.seed);
    const Recipe recipe = choose(options, draws);
    const Generated generated = generate(recipe, draws);
    // Written whole or not at all; a folder, FIFO, device or link named OUT is refused.
    companion::refuse_on(companion::write_file(
        out, cvrplib_text(library_instance(instance_name(out), generated), comment(recipe, generated))));
    return 0;
  });
}
