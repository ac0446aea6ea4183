#include "tools/cvrpbatch/console.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <vector>

namespace batch {

volatile std::sig_atomic_t stop_signal = 0;

namespace {

constexpr std::string_view kSearchStart = "Tecle enter para entrar no ";
constexpr std::string_view kReportTitle = " RELATORIO FINAL ";
constexpr std::size_t kLastLines = 20;  // kept of a console without a final report

// Where the line holding position `at` starts.
std::size_t line_start(std::string_view text, std::size_t at) {
  const std::size_t before = at == 0 ? std::string_view::npos : text.rfind('\n', at - 1);
  return before == std::string_view::npos ? 0 : before + 1;
}

// A file descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// A pipe whose ends are closed on exec (dup2 clears that for the copies).
struct Pipe {
  Descriptor read, write;
};

std::optional<std::string> open_pipe(Pipe& pipe) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return std::string("cannot make a pipe: ") + std::strerror(errno);
  pipe.read.reset(ends[0]);
  pipe.write.reset(ends[1]);
  return std::nullopt;
}

}  // namespace

void ConsoleCapture::add(std::string_view bytes) {
  total_ += bytes.size();
  while (!head_done_ && !bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::size_t take = end == std::string_view::npos ? bytes.size() : end + 1;
    if (head_.size() + take >= kHeadLimit) {
      take = kHeadLimit - head_.size();
      head_done_ = true;
    }
    head_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (!head_.empty() && head_.back() == '\n') {
      head_done_ = head_done_ || std::string_view(head_).substr(head_line_).starts_with(kSearchStart);
      head_line_ = head_.size();
    }
  }
  tail_.append(bytes);
  if (tail_.size() >= 2 * kTailLimit) tail_.erase(0, tail_.size() - kTailLimit);
}

std::string ConsoleCapture::kept() const {
  const std::string_view tail = tail_;
  std::size_t from = tail.rfind(kReportTitle);
  if (from != std::string_view::npos) {
    from = line_start(tail, from);
    // The banner's line of asterisks above the title.
    const std::size_t above = from == 0 ? from : line_start(tail, from - 1);
    const std::string_view line = tail.substr(above, from - above - (from > above ? 1 : 0));
    if (!line.empty() && line.find_first_not_of('*') == std::string_view::npos) from = above;
  } else {
    from = tail.size();
    for (std::size_t lines = 0; from > 0 && lines <= kLastLines; ++lines) from = line_start(tail, from - 1);
    if (from > 0) from = tail.find('\n', from) + 1;  // the last kLastLines whole lines
  }
  std::string text = head_;
  const std::uint64_t left_out = total_ - head_.size() - tail_.size() + from;
  if (left_out > 0) {
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += "[cvrpbatch: " + std::to_string(left_out) + " bytes of the console left out]\n";
  }
  text.append(tail.substr(from));
  return text;
}

std::string ConsoleCapture::last_line() const {
  const std::string_view text = tail_.find_first_not_of(" \t\r\n") == std::string::npos ? head_ : tail_;
  std::size_t end = text.find_last_not_of(" \t\r\n");
  if (end == std::string_view::npos) return "";
  const std::size_t start = line_start(text, end);
  std::string line(text.substr(start, end + 1 - start));
  if (line.size() > 300) line = line.substr(0, 300) + "...";
  return line;
}

ChildEnd run_child(const std::vector<std::string>& argv, const std::filesystem::path& folder, std::string_view input,
                   double time_limit, ConsoleCapture& console) {
  using Clock = std::chrono::steady_clock;
  Pipe in, out, exec_error;
  for (Pipe* pipe : {&in, &out, &exec_error})
    if (auto failure = open_pipe(*pipe)) return {failure};
  std::vector<std::string> words = argv;
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  const std::string& path = words.at(0);
  const std::string directory = folder.string();

  const auto started = Clock::now();
  const pid_t child = fork();
  if (child < 0) return {std::string("cannot start a process: ") + std::strerror(errno)};
  if (child == 0) {
    // Only async-signal-safe calls until exec. SIGPIPE, which the batch
    // ignores, is the program's default again.
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &default_action, nullptr);
    setpgid(0, 0);
    int step = 0;  // which call failed: 0 chdir, 1 dup2, 2 exec
    if (chdir(directory.c_str()) == 0) {
      step = 1;
      if (dup2(in.read.get(), STDIN_FILENO) >= 0 && dup2(out.write.get(), STDOUT_FILENO) >= 0 &&
          dup2(out.write.get(), STDERR_FILENO) >= 0) {
        step = 2;
        execv(path.c_str(), pointers.data());
      }
    }
    const int failed[2] = {step, errno};
    [[maybe_unused]] const ssize_t told = write(exec_error.write.get(), failed, sizeof failed);
    _exit(127);
  }
  setpgid(child, child);  // either call may come first; the other then fails harmlessly
  in.read.reset();
  out.write.reset();
  exec_error.write.reset();

  // The input is a few bytes: the pipe takes them at once. A program that
  // ends without reading them gives EPIPE, which changes nothing.
  [[maybe_unused]] const ssize_t given = write(in.write.get(), input.data(), input.size());
  in.write.reset();

  ChildEnd end;
  const auto deadline = started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(time_limit));
  constexpr auto kDrain = std::chrono::milliseconds(500);  // the console read after the child's end
  std::optional<Clock::time_point> ended;
  bool stopped = false, open = true;
  std::vector<char> buffer(1 << 16);
  while (!ended || (open && Clock::now() < *ended + kDrain)) {
    if (stop_signal != 0 && !stopped) {
      kill(-child, SIGTERM);
      stopped = true;
    }
    if (!ended) {
      const pid_t waited = waitpid(child, &end.status, WNOHANG);
      if (waited == child || (waited < 0 && errno != EINTR)) {
        if (waited < 0) end.failure = std::string("cannot wait for ") + path + ": " + std::strerror(errno);
        ended = Clock::now();
        continue;
      }
      if (Clock::now() >= deadline && !end.timed_out) {
        kill(-child, SIGKILL);
        end.timed_out = true;
      }
    }
    // Wake at least every 50 ms to see whether the child has ended.
    const auto until = ended ? *ended + kDrain : std::min(deadline, Clock::now() + std::chrono::milliseconds(50));
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    pollfd watched{out.read.get(), POLLIN, 0};
    const int ready = poll(&watched, open ? 1 : 0, static_cast<int>(std::clamp<long long>(wait, 0, 50)));
    if (ready <= 0 || !open) continue;
    const ssize_t got = read(out.read.get(), buffer.data(), buffer.size());
    if (got > 0)
      console.add(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
    else if (got == 0 || errno != EINTR)
      open = false;
  }
  kill(-child, SIGKILL);  // whatever the run left behind in its group
  end.seconds = std::chrono::duration<double>(*ended - started).count();

  int failed[2] = {0, 0};
  ssize_t told = 0;
  while ((told = read(exec_error.read.get(), failed, sizeof failed)) < 0 && errno == EINTR) {
  }
  if (told == static_cast<ssize_t>(sizeof failed)) {
    static const char* const kStep[] = {"cannot enter ", "cannot connect the console of ", "cannot run "};
    const std::string subject = failed[0] == 0 ? directory : path;
    end.failure = kStep[std::clamp(failed[0], 0, 2)] + subject + ": " + std::strerror(failed[1]);
  }
  return end;
}

}  // namespace batch
