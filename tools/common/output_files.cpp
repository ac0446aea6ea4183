#include "tools/common/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace companion {

namespace fs = std::filesystem;

namespace {

std::string cannot_write(const fs::path& target, const std::string& reason) {
  return "cannot write " + target.string() + ": " + reason;
}

std::string error_text() { return std::strerror(errno); }

// The mode of a new file: what open(..., 0666) would give under the umask.
mode_t new_file_mode() { return static_cast<mode_t>(0666 & ~current_umask()); }

fs::path folder_of(const fs::path& target) {
  return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

// A new empty file FOLDER/.NAME.WHAT-XXXXXX, its descriptor open (or -1 and errno).
int unique_file(const fs::path& target, const char* what, fs::path& made) {
  // The target's name is shortened so that the pattern stays a valid name.
  const std::string name = target.filename().string().substr(0, 64);
  std::string pattern = (folder_of(target) / ("." + name + "." + what + "-XXXXXX")).string();
  const int fd = mkstemp(pattern.data());
  if (fd >= 0) made = pattern;
  return fd;
}

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t wrote = ::write(fd, bytes.data(), bytes.size());
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(wrote));
  }
  return true;
}

}  // namespace

unsigned current_umask() {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}

Failure check_target(const fs::path& target) {
  struct stat status {};
  if (lstat(target.c_str(), &status) != 0) {
    if (errno == ENOENT) return std::nullopt;
    return cannot_write(target, error_text());
  }
  if (S_ISREG(status.st_mode)) return std::nullopt;
  const char* kind = S_ISDIR(status.st_mode)    ? "a folder"
                     : S_ISLNK(status.st_mode)  ? "a symbolic link"
                     : S_ISFIFO(status.st_mode) ? "a FIFO"
                     : S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) ? "a device"
                                                                          : "not a regular file";
  return cannot_write(target, std::string("it is ") + kind + ", which is never replaced");
}

Failure check_targets(const std::vector<fs::path>& targets) {
  for (const fs::path& target : targets)
    if (Failure failure = check_target(target)) return failure;
  return std::nullopt;
}

OutputSet::~OutputSet() {
  for (const Staged& file : staged_) unlink(file.temporary.c_str());
}

Failure OutputSet::add(const fs::path& target, std::string_view bytes) {
  if (Failure failure = check_target(target)) return failure;
  if (std::any_of(staged_.begin(), staged_.end(), [&](const Staged& file) { return file.target == target; }))
    return cannot_write(target, "named twice among the outputs");
  fs::path temporary;
  const int fd = unique_file(target, "new", temporary);
  if (fd < 0) return cannot_write(target, error_text());
  staged_.push_back({target, temporary});
  const bool written = fchmod(fd, new_file_mode()) == 0 && write_all(fd, bytes);
  const int written_errno = errno;
  if (close(fd) != 0 || !written) return cannot_write(target, std::strerror(written ? errno : written_errno));
  return std::nullopt;
}

Failure OutputSet::add_copy(const fs::path& target, const fs::path& made) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(made.c_str(), "rb"), &std::fclose);
  if (!file) return "cannot read " + made.string() + ": " + error_text();
  std::string bytes;
  char buffer[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, got);
  if (std::ferror(file.get())) return "cannot read " + made.string() + ": " + error_text();
  return add(target, bytes);
}

Failure OutputSet::commit() {
  struct Placed {
    const Staged* file;
    fs::path aside;  // where the file it replaced waits; empty when there was none
  };
  std::vector<Placed> placed;
  Failure failure;
  for (const Staged& file : staged_) {
    if ((failure = check_target(file.target))) break;
    Placed step{&file, {}};
    struct stat status {};
    if (lstat(file.target.c_str(), &status) == 0) {
      // rename() replaces the empty placeholder that reserves the name.
      const int fd = unique_file(file.target, "old", step.aside);
      if (fd < 0) {
        failure = cannot_write(file.target, error_text());
        break;
      }
      close(fd);
      if (rename(file.target.c_str(), step.aside.c_str()) != 0) {
        failure = cannot_write(file.target, error_text());
        unlink(step.aside.c_str());
        break;
      }
    }
    if (rename(file.temporary.c_str(), file.target.c_str()) != 0) {
      failure = cannot_write(file.target, error_text());
      if (!step.aside.empty()) rename(step.aside.c_str(), file.target.c_str());
      break;
    }
    placed.push_back(step);
  }
  if (failure) {
    for (auto step = placed.rbegin(); step != placed.rend(); ++step) {
      if (step->aside.empty())
        unlink(step->file->target.c_str());
      else
        rename(step->aside.c_str(), step->file->target.c_str());
    }
    return failure;
  }
  for (const Placed& step : placed)
    if (!step.aside.empty()) unlink(step.aside.c_str());
  staged_.clear();
  return std::nullopt;
}

Failure write_file(const fs::path& target, std::string_view bytes) {
  OutputSet set;
  if (Failure failure = set.add(target, bytes)) return failure;
  return set.commit();
}

TemporaryFolder::~TemporaryFolder() {
  if (path_.empty()) return;
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

bool TemporaryFolder::make(const fs::path& folder, const std::string& name) {
  std::string pattern = (folder / (name + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) return false;
  path_ = pattern;
  return true;
}

}  // namespace companion
