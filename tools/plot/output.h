// Running gnuplot on pictures that join a set of outputs. gnuplot works in a
// private folder with fixed names of its own (rotas.gp, rotas.svg, ...): no
// path reaches a script, and every text a script shows goes through
// gnuplot_text, so no name can become a gnuplot command. The pictures are
// then copied into the caller's set of outputs under the user's names
// (tools/common/output_files.h).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "tools/common/output_files.h"

namespace plot {

// Failures are returned as messages; nothing here prints.
using companion::Failure;

// A private work folder for gnuplot, removed with whatever is in it.
using WorkFolder = companion::TemporaryFolder;

// Makes the work folder FOLDER/.NAME-XXXXXX.
Failure open_work_folder(WorkFolder& work, const std::filesystem::path& folder, const std::string& name);

// Where a drawing goes: gnuplot writes STEM.svg and STEM.png in the work
// folder (STEM a fixed name of letters, digits and '-'), and the two
// pictures join `outputs` as `svg` and `png`.
struct Pictures {
  const WorkFolder& work;
  std::string stem;
  companion::OutputSet& outputs;
  std::filesystem::path svg;
  std::filesystem::path png;
};

// `text` as a gnuplot single-quoted string that shows it and nothing else:
// the quote doubled, control characters shown as escapes ("\n", "\x1b",
// "\u0085"), bytes that are not UTF-8 replaced by U+FFFD, so the text can
// neither end the string or the line nor make the SVG ill-formed.
std::string gnuplot_text(std::string_view text);

// A number as gnuplot reads it back ("%.10g").
std::string gnuplot_number(double value);

// "set ytics (...)": labelled ticks of a log scale at 1, 2 and 5 times the
// powers of ten in [low, high]. gnuplot's own ticks label only the powers of
// ten, which leaves a span of one or two of them with a single number.
std::string gnuplot_log_ticks(double low, double high);

// Writes the plot script `body` (drawn once per picture, as SVG and then as
// PNG, width x height pixels) into the work folder, runs gnuplot there and
// adds both pictures to the outputs. A picture gnuplot did not write is
// reported naming the file it was for.
Failure draw_pictures(const Pictures& pictures, const std::string& body, int width, int height);

}  // namespace plot
