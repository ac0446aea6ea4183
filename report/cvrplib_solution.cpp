#include "report/cvrplib_solution.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "report/text_file.h"

std::string cvrplib_solution_text(const std::vector<std::vector<int>>& routes, double cost) {
  std::string text;
  for (std::size_t k = 0; k < routes.size(); ++k) {
    text += "Route #";
    text += std::to_string(k + 1);
    text += ":";
    for (const int customer : routes[k]) {
      text += ' ';
      text += std::to_string(customer);
    }
    text += '\n';
  }
  char line[400];
  std::snprintf(line, sizeof line, "Cost %.2f\n", cost);
  return text + line;
}

bool same_to_decimals(double cost, double exact, int decimals) {
  const double half_unit = 0.5 * std::pow(10.0, -static_cast<double>(decimals));
  return std::fabs(cost - exact) <= half_unit + 1e-10 * std::max(std::fabs(cost), std::fabs(exact));
}

std::optional<std::string> check_cvrplib_solution(const CvrplibSolution& solution, const std::string& name,
                                                  const Instance& instance) {
  const int n = instance.customer_count;
  std::vector<int> route_of(static_cast<std::size_t>(n) + 1, 0);
  for (std::size_t k = 0; k < solution.routes.size(); ++k) {
    const std::string route = "Route #" + std::to_string(k + 1);
    long long load = 0;
    for (const int customer : solution.routes[k]) {
      if (customer < 1 || customer > n)
        return name + ": " + route + " visits " + std::to_string(customer) + ", not a customer 1.." + std::to_string(n);
      int& seen = route_of[static_cast<std::size_t>(customer)];
      if (seen != 0)
        return name + ": customer " + std::to_string(customer) + " is in Route #" + std::to_string(seen) + " and " +
               route;
      seen = static_cast<int>(k) + 1;
      load += instance.demand[static_cast<std::size_t>(customer)];
    }
    if (load > instance.vehicle_capacity)
      return name + ": " + route + " carries " + std::to_string(load) + ", above the capacity " +
             std::to_string(instance.vehicle_capacity);
  }
  for (int customer = 1; customer <= n; ++customer)
    if (route_of[static_cast<std::size_t>(customer)] == 0)
      return name + ": customer " + std::to_string(customer) + " is in no route";
  const double cost = routes_cost(instance, solution.routes);
  if (same_to_decimals(solution.cost, cost, solution.cost_decimals)) return std::nullopt;
  // Both shown to the Cost's decimals (at least two, at most nine).
  const int shown = std::clamp(solution.cost_decimals, 2, 9);
  char costs[800];
  std::snprintf(costs, sizeof costs, "Cost %.*f, but the routes cost %.*f", shown, solution.cost, shown, cost);
  return name + ": " + costs;
}

namespace {

std::vector<std::string_view> words_of(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while ((at = line.find_first_not_of(" \t", at)) != std::string_view::npos) {
    const std::size_t stop = std::min(line.find_first_of(" \t", at), line.size());
    words.push_back(line.substr(at, stop - at));
    at = stop;
  }
  return words;
}

std::optional<long long> integer_of(std::string_view word) {
  long long value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (word.empty() || error != std::errc() || end != word.data() + word.size()) return std::nullopt;
  return value;
}

// The decimals a real number is written with: the digits after its point,
// less its exponent ("1.25e1" has one), at least 0 and at most 400.
int decimals_of(std::string_view number) {
  const std::size_t exponent_at = std::min(number.find_first_of("eE"), number.size());
  const std::string_view mantissa = number.substr(0, exponent_at);
  const std::size_t point = mantissa.find('.');
  long long decimals = point == std::string_view::npos ? 0 : static_cast<long long>(mantissa.size() - point - 1);
  if (exponent_at < number.size()) {
    std::string_view exponent = number.substr(exponent_at + 1);
    if (!exponent.empty() && exponent.front() == '+') exponent.remove_prefix(1);
    long long value = 0;
    const auto [end, error] = std::from_chars(exponent.data(), exponent.data() + exponent.size(), value);
    // An exponent beyond the long long range is beyond any finite number's too.
    if (error == std::errc() && end == exponent.data() + exponent.size())
      decimals -= std::clamp(value, -100000LL, 100000LL);
  }
  return static_cast<int>(std::clamp(decimals, 0LL, 400LL));
}

}  // namespace

std::optional<std::string> parse_cvrplib_solution(std::string_view text, const std::string& name,
                                                  CvrplibSolution& solution) {
  solution = CvrplibSolution{};
  bool costed = false;
  int line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const std::size_t stop = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, stop);
    text.remove_prefix(std::min(stop + 1, text.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::vector<std::string_view> words = words_of(line);
    const auto fail = [&](const std::string& message) {
      return name + ":" + std::to_string(line_number) + ": " + message;
    };
    if (words.empty()) continue;
    if (costed) return fail("text after the Cost line");
    if (words[0] == "Route") {
      const std::string number = std::string("#") + std::to_string(solution.routes.size() + 1);
      if (words.size() < 2 || words[1] != number + ":")
        return fail(std::string("expected \"Route ") + number + ":\" (routes are numbered 1, 2, ... in order)");
      if (words.size() == 2) return fail(std::string("Route ") + number + " has no customer");
      std::vector<int> route;
      for (std::size_t i = 2; i < words.size(); ++i) {
        const auto customer = integer_of(words[i]);
        if (!customer || *customer < 1 || *customer > 2147483647)
          return fail(std::string("\"") + std::string(words[i].substr(0, 20)) + "\" is not a customer number");
        route.push_back(static_cast<int>(*customer));
      }
      solution.routes.push_back(std::move(route));
    } else if (words[0] == "Cost") {
      const std::string cost = words.size() == 2 ? std::string(words[1]) : std::string();
      char* end = nullptr;
      const double value = cost.empty() ? 0.0 : std::strtod(cost.c_str(), &end);
      if (cost.empty() || end != cost.c_str() + cost.size() || !std::isfinite(value))
        return fail("expected \"Cost X\" with X a number");
      solution.cost = value;
      solution.cost_decimals = decimals_of(cost);
      costed = true;
    } else {
      return fail("expected \"Route #k: ...\" or \"Cost X\"");
    }
  }
  if (!costed) return name + ": no \"Cost X\" line";
  return std::nullopt;
}

std::optional<std::string> read_cvrplib_solution(const std::string& path, CvrplibSolution& solution) {
  std::string text;
  if (auto failure = read_text_file(path, text)) return failure;
  return parse_cvrplib_solution(text, path, solution);
}

std::optional<std::string> read_best_known(const std::string& text, const std::string& shown, BestKnown& best,
                                           const Instance* instance) {
  best = BestKnown{};
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (!text.empty() && end == text.c_str() + text.size()) {
    if (!(std::isfinite(value) && value > 0.0)) {
      best.number_refused = true;
      return shown + ": not a positive number";
    }
    best.cost = value;
    best.decimals = decimals_of(text);
    return std::nullopt;
  }
  CvrplibSolution solution;
  if (auto failure = read_cvrplib_solution(text, solution)) return failure;
  if (!(solution.cost > 0.0)) return text + ": the Cost is not positive";
  if (instance != nullptr) {
    if (auto failure = check_cvrplib_solution(solution, "", *instance))
      return text + ": not a solution of " + (instance->name.empty() ? "the instance" : instance->name) + *failure;
  }
  best.cost = solution.cost;
  best.decimals = solution.cost_decimals;
  best.file = text;
  return std::nullopt;
}

bool below_best_known(double cost, double best, int best_decimals) {
  return cost < best && !same_to_decimals(best, cost, best_decimals);
}

bool below_best_known(double cost, const BestKnown& best) { return below_best_known(cost, best.cost, best.decimals); }

std::string gap_text(double cost, double best) {
  double gap = 100.0 * (cost - best) / best;
  if (!std::isfinite(gap)) gap = (cost / best - 1.0) * 100.0;
  if (!std::isfinite(gap)) return gap > 0 ? "above 1e+308%" : "below -1e+308%";
  char text[64];
  std::snprintf(text, sizeof text, std::fabs(gap) < 1e9 ? "%.2f%%" : "%.3g%%", gap);
  return text;
}
