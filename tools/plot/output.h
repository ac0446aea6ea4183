// Writing a set of output files whole or not at all, and running gnuplot.
// Every file is first written in a private work folder inside the target
// folder (so that the final move is a rename on the same file system); when
// all of them are complete they are moved into place together.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plot {

// Failures are returned as messages; nothing here prints.
using Failure = std::optional<std::string>;

class OutputStage {
 public:
  explicit OutputStage(std::filesystem::path folder) : folder_(std::move(folder)) {}
  ~OutputStage();  // removes the work folder and whatever is still in it
  OutputStage(const OutputStage&) = delete;
  OutputStage& operator=(const OutputStage&) = delete;

  // Creates the work folder FOLDER/.NAME-XXXXXX.
  Failure open(const std::string& name);
  const std::filesystem::path& work() const { return work_; }
  std::filesystem::path staged(const std::string& file) const { return work_ / file; }

  // Moves work/FILE to FOLDER/FILE for each file, in order. If one cannot
  // be moved, the files already moved are removed again, so the folder never
  // holds part of a set.
  Failure commit(const std::vector<std::string>& files);

 private:
  std::filesystem::path folder_;
  std::filesystem::path work_;
};

// Writes `text` to a file, checking every write and the close.
Failure write_text(const std::filesystem::path& path, std::string_view text);

// `text` as a gnuplot single-quoted string (a quote is doubled).
std::string gnuplot_text(std::string_view text);

// A gnuplot script that draws the plot of `body` (a script of its own, loaded
// once per picture) as SVG and then as PNG (pngcairo where gnuplot has it,
// otherwise png), both width x height pixels.
std::string two_pictures(const std::filesystem::path& body, const std::filesystem::path& svg,
                         const std::filesystem::path& png, int width, int height);

// Runs `gnuplot SCRIPT` (found on the PATH) and waits for it. Its messages are
// kept in a file beside the script and returned on failure.
Failure run_gnuplot(const std::filesystem::path& script);

}  // namespace plot
