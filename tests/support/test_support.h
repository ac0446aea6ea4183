// Shared helpers for the tests: scratch folders, files, captured console output.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "model/instance.h"

namespace testing_support {

// A fresh empty folder that becomes the working directory for the lifetime of
// the object (the program reads and writes bare file names); the previous
// working directory is restored and the folder removed afterwards.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

void write_file(const std::filesystem::path& path, const std::string& bytes);
std::string read_file(const std::filesystem::path& path);

// Runs `body` with standard output sent to a file and returns what it printed.
std::string capture_stdout(const std::function<void()>& body);

// Sends standard output to standard error, for EXPECT_EXIT, which matches the
// messages a dying statement writes on standard error.
void stdout_to_stderr();

// Splits text into lines (without their line ends).
std::vector<std::string> split_lines(const std::string& text);

// A matrix of (n+1) x (n+1) cells from a row-major list.
DistanceMatrix make_matrix(int n, const std::vector<float>& cells);

// A random instance: n customers, distances drawn on a grid of points (or
// fully random, asymmetric, when `asymmetric`), demands in 1..max_demand.
struct RandomInstance {
  DistanceMatrix matrix;
  DemandVector demand;
};
RandomInstance random_instance(int n, unsigned seed, int max_demand, bool asymmetric);

}  // namespace testing_support
