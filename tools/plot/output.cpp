#include "tools/plot/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plot {

namespace fs = std::filesystem;

namespace {

// The length of the valid UTF-8 sequence at text[at] (a lead byte of 0x80 or
// more), or 0. U+FFFE and U+FFFF, which XML does not allow, count as invalid.
std::size_t utf8_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
  const unsigned lead = byte(at);
  std::size_t length = 0;
  unsigned low = 0x80, high = 0xbf;  // the range of the second byte
  if (lead >= 0xc2 && lead <= 0xdf) length = 2;
  else if (lead >= 0xe0 && lead <= 0xef) length = 3, low = lead == 0xe0 ? 0xa0 : 0x80, high = lead == 0xed ? 0x9f : 0xbf;
  else if (lead >= 0xf0 && lead <= 0xf4) length = 4, low = lead == 0xf0 ? 0x90 : 0x80, high = lead == 0xf4 ? 0x8f : 0xbf;
  else return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(at + i) < 0x80 || byte(at + i) > 0xbf) return 0;
  if (lead == 0xef && byte(at + 1) == 0xbf && byte(at + 2) >= 0xbe) return 0;
  return length;
}

// Runs `gnuplot SCRIPT` in the work folder, its messages kept in a file
// there and returned on failure.
Failure run_gnuplot(const fs::path& work, const std::string& script) {
  const fs::path messages = work / (script + ".messages");
  const int sink = open(messages.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (sink < 0) return "cannot write " + messages.string() + ": " + std::strerror(errno);
  const pid_t child = fork();
  if (child == 0) {
    const int input = open("/dev/null", O_RDONLY);
    if (chdir(work.c_str()) == 0 && input >= 0 && dup2(input, STDIN_FILENO) >= 0 &&
        dup2(sink, STDOUT_FILENO) >= 0 && dup2(sink, STDERR_FILENO) >= 0)
      execlp("gnuplot", "gnuplot", script.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const int fork_errno = errno;
  close(sink);
  if (child < 0) return std::string("cannot run gnuplot: ") + std::strerror(fork_errno);
  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return std::string("cannot wait for gnuplot: ") + std::strerror(errno);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::nullopt;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return std::string("cannot run gnuplot: not found");
  std::string said;
  if (std::FILE* file = std::fopen(messages.c_str(), "rb")) {
    char text[4096];
    said.assign(text, std::fread(text, 1, sizeof text, file));
    std::fclose(file);
  }
  while (!said.empty() && (said.back() == '\n' || said.back() == ' ')) said.pop_back();
  return "gnuplot failed" + (said.empty() ? std::string() : ":\n" + said);
}

}  // namespace

Failure open_work_folder(WorkFolder& work, const fs::path& folder, const std::string& name) {
  if (!work.make(folder, "." + name + "-")) return "cannot write into " + folder.string() + ": " + std::strerror(errno);
  return std::nullopt;
}

std::string gnuplot_text(std::string_view text) {
  std::string result = "'";
  for (std::size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    const std::size_t length = c < 0x80 ? 1 : utf8_length(text, at);
    // C1 controls are U+0080..U+009F, in UTF-8 0xc2 0x80..0x9f.
    const bool c1 = length == 2 && c == 0xc2 && static_cast<unsigned char>(text[at + 1]) < 0xa0;
    char escape[16] = "";
    if (c == '\n') std::snprintf(escape, sizeof escape, "\\n");
    else if (c == '\t') std::snprintf(escape, sizeof escape, "\\t");
    else if (c < 0x20 || c == 0x7f) std::snprintf(escape, sizeof escape, "\\x%02x", c);
    else if (c1) std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(text[at + 1]));
    if (escape[0] != '\0') result += escape;
    else if (c == '\'') result += "''";
    else if (length == 0) result += "\xef\xbf\xbd";  // U+FFFD for a byte that is not UTF-8
    else result.append(text.substr(at, length));
    at += length == 0 ? 1 : length;
  }
  return result + "'";
}

std::string gnuplot_number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string gnuplot_log_ticks(double low, double high) {
  std::string list;
  const int first = static_cast<int>(std::floor(std::log10(low)));
  const int last = static_cast<int>(std::ceil(std::log10(high)));
  for (int power = first; power <= last; ++power)
    for (const double step : {1.0, 2.0, 5.0})
      if (const double tick = step * std::pow(10.0, power); tick >= low && tick <= high)
        list += (list.empty() ? "" : ", ") + gnuplot_number(tick);
  return "set ytics (" + list + ")\n";
}

Failure draw_pictures(const Pictures& pictures, const std::string& body, int width, int height) {
  const std::string& stem = pictures.stem;
  // The stem is the script's own name for its files, never a user's text.
  if (stem.empty() || stem.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-") !=
                          std::string::npos)
    return "the work name '" + stem + "' is not letters, digits and '-'";
  const std::string size = std::to_string(width) + "," + std::to_string(height);
  const std::string load = "load '" + stem + "-body.gp'\nunset output\n";
  std::string script;
  script += "set encoding utf8\n";
  script += "set terminal svg size " + size + " dynamic font 'Sans,12' fontscale 1.15 background rgb 'white'\n";
  script += "set output '" + stem + ".svg'\n" + load;
  script += "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n";
  script += "  set terminal pngcairo size " + size + " font 'Sans,10' background rgb 'white'\n";
  script += "} else {\n";
  script += "  set terminal png size " + size + " background rgb 'white'\n";
  script += "}\n";
  script += "set output '" + stem + ".png'\n" + load;

  const fs::path& work = pictures.work.path();
  if (Failure failure = companion::write_file(work / (stem + "-body.gp"), body)) return failure;
  if (Failure failure = companion::write_file(work / (stem + ".gp"), script)) return failure;
  if (Failure failure = run_gnuplot(work, stem + ".gp")) return failure;
  for (const auto& [made, target] : {std::pair{work / (stem + ".svg"), pictures.svg},
                                     std::pair{work / (stem + ".png"), pictures.png}}) {
    struct stat status {};
    if (stat(made.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size == 0)
      return "gnuplot wrote no picture for " + target.string();
    if (Failure failure = pictures.outputs.add_copy(target, made)) return failure;
  }
  return std::nullopt;
}

}  // namespace plot
