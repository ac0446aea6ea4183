#include "tools/plot/output.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>

extern char** environ;

namespace plot {

namespace fs = std::filesystem;

OutputStage::~OutputStage() {
  if (work_.empty()) return;
  std::error_code ignored;
  fs::remove_all(work_, ignored);
}

Failure OutputStage::open(const std::string& name) {
  std::string pattern = (folder_ / ("." + name + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr)
    return "cannot write into " + folder_.string() + ": " + std::strerror(errno);
  work_ = pattern;
  return std::nullopt;
}

Failure OutputStage::commit(const std::vector<std::string>& files) {
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::error_code error;
    fs::rename(work_ / files[i], folder_ / files[i], error);
    if (error) {
      for (std::size_t moved = 0; moved < i; ++moved) {
        std::error_code ignored;
        fs::remove(folder_ / files[moved], ignored);
      }
      return "cannot write " + (folder_ / files[i]).string() + ": " + error.message();
    }
  }
  return std::nullopt;
}

Failure write_text(const fs::path& path, std::string_view text) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!file) return "cannot write " + path.string() + ": " + std::strerror(errno);
  const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
  if (std::fclose(file.release()) != 0 || !written)
    return "cannot write " + path.string() + ": " + std::strerror(errno);
  return std::nullopt;
}

std::string gnuplot_text(std::string_view text) {
  std::string result = "'";
  for (const char c : text) {
    if (c == '\'') result += '\'';
    result += c;
  }
  return result + "'";
}

std::string two_pictures(const fs::path& body, const fs::path& svg, const fs::path& png, int width, int height) {
  const std::string size = std::to_string(width) + "," + std::to_string(height);
  std::string script;
  script += "set encoding utf8\n";
  script += "set terminal svg size " + size + " dynamic font 'Sans,12' fontscale 1.15 background rgb 'white'\n";
  script += "set output " + gnuplot_text(svg.string()) + "\n";
  script += "load " + gnuplot_text(body.string()) + "\n";
  script += "unset output\n";
  script += "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n";
  script += "  set terminal pngcairo size " + size + " font 'Sans,10' background rgb 'white'\n";
  script += "} else {\n";
  script += "  set terminal png size " + size + " background rgb 'white'\n";
  script += "}\n";
  script += "set output " + gnuplot_text(png.string()) + "\n";
  script += "load " + gnuplot_text(body.string()) + "\n";
  script += "unset output\n";
  return script;
}

Failure run_gnuplot(const fs::path& script) {
  const fs::path messages = script.string() + ".messages";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, messages.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::string program = "gnuplot";
  std::string argument = script.string();
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, "gnuplot", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return std::string("cannot run gnuplot: ") + std::strerror(spawned);

  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return std::string("cannot wait for gnuplot: ") + std::strerror(errno);
  std::ifstream in(messages);
  std::string said{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return std::string("cannot run gnuplot: not found");
  while (!said.empty() && (said.back() == '\n' || said.back() == ' ')) said.pop_back();
  return "gnuplot failed" + (said.empty() ? std::string() : ":\n" + said);
}

}  // namespace plot
