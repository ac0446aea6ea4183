// The colours of the plots' series: distinct on white and for most colour
// vision; after the last one they repeat (the route map then dashes them).
#pragma once

#include <cstddef>
#include <string>

namespace plot {

inline constexpr std::size_t kColours = 10;

inline std::string colour(std::size_t index) {
  static constexpr const char* kPalette[kColours] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e",
                                                     "#17becf", "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22"};
  return kPalette[index % kColours];
}

}  // namespace plot
