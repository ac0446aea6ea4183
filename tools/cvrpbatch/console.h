// One run of the program or of cvrpsolve as a child process, and what is
// kept of its console: the program's tabu search prints three lines per
// iteration (hundreds of MB in a run), so only the start of the console and
// a bounded tail are held in memory.
#pragma once

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace batch {

// The console as it arrives: the head (up to and including the line that
// starts the search, "Tecle enter para entrar no ...", or at most kHeadLimit
// bytes) and the last bytes after it (at least kTailLimit of them).
class ConsoleCapture {
 public:
  static constexpr std::size_t kHeadLimit = 16 * 1024;
  static constexpr std::size_t kTailLimit = 1024 * 1024;

  void add(std::string_view bytes);

  // What console.txt keeps: the head, then the final report from the
  // "RELATORIO FINAL" banner to the end; without a final report the last
  // lines instead. A line says how many bytes are left out between them.
  std::string kept() const;

  // The last line that is not blank, for the message of a failed run.
  std::string last_line() const;

 private:
  std::string head_;
  std::size_t head_line_ = 0;  // where the head's last, unfinished line starts
  bool head_done_ = false;
  std::string tail_;         // the last bytes after the head
  std::uint64_t total_ = 0;  // bytes seen in all
};

// How a child ended.
struct ChildEnd {
  std::optional<std::string> failure;  // it could not be started or waited for: why
  int status = 0;                      // as waitpid gives it
  bool timed_out = false;              // ended at the time limit
  double seconds = 0.0;                // from its start until it ended
};

// Set by the batch's handler of SIGINT, SIGTERM and SIGHUP: the signal.
extern volatile std::sig_atomic_t stop_signal;

// Runs argv[0] with the arguments argv[1...] (no shell) in a process group of its own with
// FOLDER as its working directory, `input` on its standard input, and its
// standard output and error into `console`; waits for it at most
// `time_limit` seconds, then kills its group. Once it has ended, what its
// console still holds is read for a moment and the rest of its group is
// killed, so that a process it left behind holding the console cannot hold up
// the batch. When stop_signal is set meanwhile, the group is sent SIGTERM.
ChildEnd run_child(const std::vector<std::string>& argv, const std::filesystem::path& folder, std::string_view input,
                   double time_limit, ConsoleCapture& console);

}  // namespace batch
