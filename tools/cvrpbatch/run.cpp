// cvrpbatch run and jobs: the batch's arguments checked, its runs made one at
// a time or printed as shell commands.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>

#include "report/cvrplib_solution.h"
#include "report/text_file.h"
#include "tools/common/output_files.h"
#include "tools/cvrpbatch/batch.h"
#include "tools/cvrpbatch/console.h"

namespace batch {

namespace fs = std::filesystem;

RunSizes run_sizes() {
  return {kProgramCustomers, kProgramCapacity, program_settings(kProgramCustomers).penalty_weight};
}

std::string search_name(int choice) {
  return choice == 2 ? "tabu search" : choice == 3 ? "hybrid" : "simulated annealing";
}

std::string counted(std::size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::optional<std::string> read_checked_run(const fs::path& folder, int choice, RunFolder& run) {
  if (auto failure = read_run_folder(folder, run_sizes(), run)) return failure;
  const bool annealing = !run.logs.annealing.empty(), tabu = !run.logs.tabu.empty();
  if (annealing == (choice != 2) && tabu == (choice != 1)) return std::nullopt;
  return folder.string() + ": the logs are of a " +
         (annealing && tabu ? "hybrid" : tabu ? "tabu search" : "simulated annealing") + " run, not of choice " +
         std::to_string(choice) + " (" + search_name(choice) + ")";
}

fs::path own_path() {
  std::error_code error;
  const fs::path path = fs::read_symlink("/proc/self/exe", error);
  if (error) throw Refused{"cannot find this program's own path: " + error.message()};
  return path;
}

bool path_taken(const fs::path& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

namespace {

bool writable_folder(const fs::path& path) {
  std::error_code ignored;
  return fs::is_directory(path, ignored) && access(path.c_str(), W_OK | X_OK) == 0;
}

// FNV-1a, 64 bits: the same value on every platform.
void hash_bytes(std::uint64_t& hash, std::string_view bytes) {
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
}

// The identity of an instance folder as run.txt records it.
std::string instance_identity(const fs::path& folder) {
  std::vector<std::pair<std::string, fs::path>> files;
  for (const char* name : {"distancia.dat", "demanda.dat", "coordenadas.dat"})
    if (name != std::string_view("coordenadas.dat") || path_taken(folder / name)) files.emplace_back(name, folder / name);
  return file_identity(files);
}

}  // namespace

fs::path absolute_path(const std::string& given) {
  fs::path path = fs::absolute(given).lexically_normal();
  if (path.filename().empty() && path.has_parent_path() && path != path.root_path()) path = path.parent_path();
  return path;
}

void refuse_control_characters(const std::string& what, const std::string& path) {
  std::string shown = path;
  bool control = false;
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?', control = true;
  if (control)
    throw Refused{what + " " + shown + ": a path holding a control character (such as a line break, shown as ?) " +
                  "cannot be used in a batch: rename it"};
}

std::string file_identity(const std::vector<std::pair<std::string, fs::path>>& files) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const auto& [name, path] : files) {
    std::string bytes;
    refuse_on(read_text_file(path.string(), bytes));
    hash_bytes(hash, std::string_view(name.c_str(), name.size() + 1));
    char size[8];
    for (int i = 0; i < 8; ++i) size[i] = static_cast<char>((static_cast<std::uint64_t>(bytes.size()) >> (8 * i)) & 0xff);
    hash_bytes(hash, std::string_view(size, 8));
    hash_bytes(hash, bytes);
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string folder_identity(const fs::path& folder) { return instance_identity(folder); }

bool done_run(const fs::path& target, const PlannedRun& run) {
  if (!path_taken(target)) return false;
  std::map<std::string, std::string> record;
  if (!path_taken(target / "run.txt") || read_run_record(target / "run.txt", record) ||
      record["instance_id"].empty())
    throw Refused{target.string() + " exists but records no instance identity (no run of this cvrpbatch): " +
                  "move it away to make the run"};
  const bool folder = run.command.empty();
  const std::string& recorded = record[folder ? "instance_folder" : "instance_file"];
  if (record["instance_id"] != run.identity)
    throw Refused{target.string() + " holds a run of " + (recorded.empty() ? "another instance" : recorded) +
                  ", not of " + run.instance_path + " (their instance files differ): rename the instance " +
                  (folder ? "folder" : "file") + " or use another --out"};
  if (!folder && record["command"] != run.command)
    throw Refused{target.string() + " holds a run of another command (" + record["command"] + ", not " + run.command +
                  "): use another --out, or remove the folder to redo the run"};
  return true;
}

namespace {

std::vector<int> checked_choices(const std::string& text) {
  std::vector<int> choices;
  std::size_t at = 0;
  for (;;) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string choice = text.substr(at, comma - at);
    if (choice != "1" && choice != "2" && choice != "3")
      throw Refused{"--choices " + text + ": \"" + choice +
                    "\" is not a menu choice (1 simulated annealing, 2 tabu search, 3 hybrid)"};
    const int value = choice[0] - '0';
    for (const int earlier : choices)
      if (earlier == value) throw Refused{"--choices " + text + ": choice " + choice + " is given twice"};
    choices.push_back(value);
    if (comma == text.size()) return choices;
    at = comma + 1;
  }
}

// An instance folder: both instance files there and read by the program's
// own readers (coordenadas.dat too, when present), and its best-known
// solution file.
InstanceFolder checked_instance(const std::string& given) {
  InstanceFolder instance;
  instance.folder = absolute_path(given);
  refuse_control_characters("instance folder", instance.folder.string());
  instance.name = instance.folder.filename().string();
  std::error_code error;
  if (!fs::is_directory(instance.folder, error)) throw Refused{given + ": not a folder"};
  for (const char* file : {"distancia.dat", "demanda.dat"}) {
    const fs::path path = instance.folder / file;
    if (!fs::is_regular_file(path, error) || access(path.c_str(), R_OK) != 0)
      throw Refused{given + ": no readable " + file + " (an instance folder holds distancia.dat and demanda.dat)"};
  }
  if (instance.name.empty() || instance.name.front() == '.')
    throw Refused{given + ": the folder's name must not start with '.' (RESULTS/.NAME-CHOICE.* are unfinished runs)"};
  Instance read;
  refuse_on(read_run_instance(instance.folder, run_sizes(), read));
  instance.identity = instance_identity(instance.folder);

  // The best known solution: the folder's one .sol file. solucao.sol, which
  // cvrpview writes beside a run, is a run's own result.
  std::vector<fs::path> solutions;
  for (const fs::directory_entry& entry : fs::directory_iterator(instance.folder))
    if (entry.path().extension() == ".sol" && entry.path().filename() != "solucao.sol" && entry.is_regular_file())
      solutions.push_back(entry.path());
  if (solutions.size() == 1) {
    BestKnown best;
    refuse_on(read_best_known(solutions[0].string(), solutions[0].string(), best, &read));
    instance.best_known = solutions[0];
  } else if (solutions.size() > 1) {
    std::fprintf(stderr, "cvrpbatch: note: %s holds %zu .sol files: no best-known.sol is copied\n", given.c_str(),
                 solutions.size());
  }
  return instance;
}

}  // namespace

fs::path checked_results(const std::string& given) {
  const fs::path results = absolute_path(given);
  refuse_control_characters("--out", results.string());
  std::error_code error;
  if (path_taken(results)) {
    if (!fs::is_directory(results, error)) throw Refused{"--out " + given + ": not a folder"};
    if (!writable_folder(results)) throw Refused{"--out " + given + ": the folder is not writable"};
    return results;
  }
  fs::path parent = results.parent_path();
  while (!path_taken(parent)) parent = parent.parent_path();
  if (!writable_folder(parent))
    throw Refused{"--out " + given + ": cannot be made: " + parent.string() + " is not a writable folder"};
  return results;
}

std::string run_record(const Record& values) {
  std::string text;
  for (const auto& [key, value] : values) {
    std::string one_line = value;
    for (char& c : one_line)
      if (c == '\n' || c == '\r') c = ' ';
    text += key + "=" + one_line + "\n";
  }
  return text;
}

namespace {

std::string utc_now() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string host_name() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "unknown";
  return name;
}

// An instance file copied into a run folder; a file that cannot be copied
// stops the batch with a message naming it.
void copy_input(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::copy_file(from, to, error);
  if (error) throw Refused{"cannot copy " + from.string() + " into " + to.parent_path().string() + ": " + error.message()};
}

enum class Outcome { ok, infeasible, failed };

// How a run ended: now, or in an earlier batch when its folder was there.
struct Ended {
  Outcome outcome;
  bool skipped = false;
};

void on_stop(int signal) { stop_signal = signal; }

// One run: its inputs copied into a fresh folder under a temporary name,
// the program run there, judged, console.txt and run.txt written, and the
// folder renamed into place.
Ended run_one(const fs::path& results, const PlannedRun& run, int timeout, const std::string& counter) {
  const fs::path target = results / run.name;
  if (done_run(target, run)) {
    // It counts with the status it was recorded with.
    std::map<std::string, std::string> record;
    read_run_record(target / "run.txt", record);
    const std::string& status = record["status"];
    const Outcome outcome = status == "ok" ? Outcome::ok : status == "infeasible" ? Outcome::infeasible : Outcome::failed;
    std::printf("cvrpbatch: %s %s: exists (%s), skipped (remove the folder to redo the run)\n", counter.c_str(),
                run.name.c_str(), outcome == Outcome::failed ? "failed" : status.c_str());
    return {outcome, true};
  }
  companion::TemporaryFolder folder;
  if (!folder.make(results, "." + run.name + "."))
    throw Refused{"cannot make a folder in " + results.string() + ": " + std::strerror(errno)};
  // mkdtemp makes the folder private; a run folder is shared as any other.
  if (chmod(folder.path().c_str(), 0777 & ~companion::current_umask()) != 0)
    throw Refused{"cannot set the mode of " + folder.path().string() + ": " + std::strerror(errno)};
  for (const auto& [from, name] : run.copies) copy_input(from, folder.path() / name);

  std::printf("cvrpbatch: %s %s: %s ...\n", counter.c_str(), run.name.c_str(), run.label.c_str());
  std::fflush(stdout);
  const std::string start = utc_now();
  ConsoleCapture console;
  const ChildEnd end = run_child(run.argv, folder.path(), run.input, timeout, console);
  const double wall = end.seconds;
  if (stop_signal != 0) return {Outcome::failed};  // the folder goes; the batch stops

  std::string exit_status = "none";
  Verdict verdict{"failed", "", ""};
  if (end.failure) {
    verdict.message = *end.failure;
  } else if (end.timed_out) {
    exit_status = "signal " + std::to_string(SIGKILL);
    verdict.message = "timed out after " + std::to_string(timeout) + " s";
  } else if (WIFSIGNALED(end.status)) {
    exit_status = "signal " + std::to_string(WTERMSIG(end.status));
    verdict.message =
        "ended by signal " + std::to_string(WTERMSIG(end.status)) + " (" + strsignal(WTERMSIG(end.status)) + ")";
  } else {
    exit_status = std::to_string(WEXITSTATUS(end.status));
    const std::string kept = console.kept();
    verdict = run.judge(folder.path(), WEXITSTATUS(end.status), kept, wall);
    // Name the files by the run folder they end up in.
    for (std::size_t at; (at = verdict.message.find(folder.path().string())) != std::string::npos;)
      verdict.message.replace(at, folder.path().string().size(), target.string());
    if (verdict.status == "failed" && verdict.message.empty()) {
      verdict.message = console.last_line();
      if (verdict.message.empty()) verdict.message = "exit status " + exit_status + ", nothing printed";
    }
  }
  Record record = run.head;
  record.insert(record.end(), {{"host", host_name()},
                               {"start", start},
                               {"wall_seconds", fixed("%.3f", wall)},
                               {"exit_status", exit_status},
                               {"status", verdict.status},
                               {"message", verdict.message}});
  record.insert(record.end(), run.tail.begin(), run.tail.end());
  refuse_on(companion::write_file(folder.path() / "console.txt", console.kept()));
  refuse_on(companion::write_file(folder.path() / "run.txt", run_record(record)));
  std::error_code error;
  fs::rename(folder.path(), target, error);
  if (error) {
    std::fprintf(stderr, "cvrpbatch: %s: cannot move the finished run into place (%s); it is discarded\n",
                 target.c_str(), error.message().c_str());
    return {Outcome::failed};
  }
  folder.keep();
  if (verdict.status == "failed") {
    std::fprintf(stderr, "cvrpbatch: %s %s: failed: %s\n", counter.c_str(), run.name.c_str(),
                 verdict.message.c_str());
    return {Outcome::failed};
  }
  std::printf("cvrpbatch: %s %s: %s, %s, %.1f s\n", counter.c_str(), run.name.c_str(), verdict.status.c_str(),
              verdict.result.c_str(), wall);
  std::fflush(stdout);
  return {verdict.status == "ok" ? Outcome::ok : Outcome::infeasible};
}

// Whether the program's run in `folder` (the program exited with `status`)
// left a report and logs the check accepts.
Verdict judge_program_run(const fs::path& folder, int choice, int status) {
  if (status != 0) return {"failed", "", ""};
  RunFolder run;
  if (auto failure = read_checked_run(folder, choice, run)) return {"failed", *failure, ""};
  return {"ok", "", "objective " + run.report.objective_text};
}

}  // namespace

std::string shell_word(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

fs::path checked_executable(const std::optional<std::string>& given, const char* beside, const char* option) {
  const fs::path path = given ? absolute_path(*given) : own_path().parent_path() / beside;
  refuse_control_characters(option, path.string());
  std::error_code error;
  if (!fs::is_regular_file(path, error) || access(path.c_str(), X_OK) != 0)
    throw Refused{path.string() + ": not an executable file" +
                  (given ? "" : std::string(" (") + beside + " is built beside cvrpbatch; " + option + " names another)")};
  return path;
}

int checked_timeout(const std::string& text) {
  int seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || seconds < 1 || seconds > 1000000)
    throw Refused{"--timeout " + text + ": not a whole number of seconds from 1 to 1000000"};
  return seconds;
}

namespace {

Batch checked_batch(const BatchArguments& arguments) {
  Batch batch;
  batch.choices = checked_choices(arguments.choices.value_or(""));
  if (arguments.folders.empty()) throw Refused{"no instance folder given"};
  std::map<std::string, std::string> given_as;
  for (const std::string& given : arguments.folders) {
    InstanceFolder instance = checked_instance(given);
    const auto [earlier, fresh] = given_as.emplace(instance.name, given);
    if (!fresh)
      throw Refused{"two instance folders named " + instance.name + ": " + earlier->second + " and " + given +
                    " (each run folder is named after its instance folder)"};
    batch.instances.push_back(std::move(instance));
  }
  batch.results = checked_results(arguments.results);
  batch.program_given = arguments.program.has_value();
  batch.program = checked_executable(arguments.program, "cvrp", "--program");
  if (arguments.timeout) {
    batch.timeout = checked_timeout(*arguments.timeout);
    batch.timeout_given = true;
  }
  return batch;
}

// The run's shell command: a cvrpbatch run of it alone.
std::string job_of(const Batch& batch, const InstanceFolder& instance, int choice) {
  std::string line = shell_word(own_path().string()) + " run --choices " + std::to_string(choice) + " --out " +
                     shell_word(batch.results.string());
  if (batch.program_given) line += " --program " + shell_word(batch.program.string());
  if (batch.timeout_given) line += " --timeout " + std::to_string(batch.timeout);
  return line.append(1, ' ').append(shell_word(instance.folder.string()));
}

std::vector<PlannedRun> program_runs(const Batch& batch) {
  std::vector<PlannedRun> runs;
  for (const InstanceFolder& instance : batch.instances)
    for (const int choice : batch.choices) {
      PlannedRun run;
      run.name = instance.name + "-" + std::to_string(choice);
      for (const char* file : {"distancia.dat", "demanda.dat", "coordenadas.dat"})
        if (path_taken(instance.folder / file)) run.copies.emplace_back(instance.folder / file, file);
      if (instance.best_known) run.copies.emplace_back(*instance.best_known, "best-known.sol");
      run.argv = {batch.program.string()};
      run.input = std::to_string(choice) + "\n\n\n";
      run.label = search_name(choice);
      run.identity = instance.identity;
      run.instance_path = instance.folder.string();
      run.head = {{"instance", instance.name}, {"choice", std::to_string(choice)}, {"program", batch.program.string()}};
      run.tail = {{"instance_folder", instance.folder.string()}, {"instance_id", instance.identity}};
      run.judge = [choice](const fs::path& folder, int status, const std::string&, double) {
        return judge_program_run(folder, choice, status);
      };
      run.job = job_of(batch, instance, choice);
      runs.push_back(std::move(run));
    }
  return runs;
}

}  // namespace

int make_or_print(const fs::path& results, const std::vector<PlannedRun>& runs, int timeout, bool jobs) {
  // Every run folder's name, and its temporary name ".NAME.XXXXXX", must
  // be one the file system takes.
  fs::path existing = results;
  while (!path_taken(existing) && existing.has_parent_path() && existing != existing.parent_path())
    existing = existing.parent_path();
  const long most = pathconf(existing.c_str(), _PC_NAME_MAX);
  const std::size_t longest = most > 8 ? static_cast<std::size_t>(most) - 8 : 255 - 8;
  for (const PlannedRun& run : runs)
    if (run.name.size() > longest)
      throw Refused{"the run folder name " + run.name.substr(0, 60) + "... is " + std::to_string(run.name.size()) +
                    " bytes long: " + results.string() + " takes names of at most " + std::to_string(longest) +
                    " bytes (with the 8 of its temporary name)"};
  for (const PlannedRun& run : runs) done_run(results / run.name, run);
  if (jobs) {
    for (const PlannedRun& run : runs) std::printf("%s\n", run.job.c_str());
    return 0;
  }
  std::error_code error;
  fs::create_directories(results, error);
  if (error) throw Refused{"cannot make " + results.string() + ": " + error.message()};

  // Interrupted, the batch ends its run and removes its unfinished folder.
  struct sigaction stop {};
  stop.sa_handler = on_stop;
  sigemptyset(&stop.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &stop, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  std::size_t done = 0;
  int skipped = 0;
  std::map<Outcome, int> count;
  for (const PlannedRun& run : runs) {
    const std::string counter = '[' + std::to_string(++done) + '/' + std::to_string(runs.size()) + ']';
    const Ended ended = run_one(results, run, timeout, counter);
    ++count[ended.outcome];
    skipped += ended.skipped ? 1 : 0;
    if (stop_signal != 0) {
      std::fprintf(stderr, "cvrpbatch: interrupted (%s); the unfinished run is removed\n", strsignal(stop_signal));
      return 128 + stop_signal;
    }
  }
  // Skipped runs count with the status they were recorded with.
  std::printf("cvrpbatch: %s: %d ok, %s%d failed, %d of them skipped (done before)\n",
              counted(runs.size(), "run").c_str(), count[Outcome::ok],
              count[Outcome::infeasible] > 0 ? (std::to_string(count[Outcome::infeasible]) + " infeasible, ").c_str()
                                             : "",
              count[Outcome::failed], skipped);
  return count[Outcome::failed] > 0 ? 1 : 0;
}

int program_batch(const BatchArguments& arguments, bool jobs) {
  const Batch batch = checked_batch(arguments);
  return make_or_print(batch.results, program_runs(batch), batch.timeout, jobs);
}

}  // namespace batch
