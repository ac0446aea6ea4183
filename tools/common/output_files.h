// How every companion program writes its outputs, so that writing a file
// never destroys one the user had:
// - each file is written under a unique temporary name (mkstemp) in its
//   target's folder, every write and the close checked, and renamed into
//   place only when complete;
// - a target that exists and is not a regular file (a folder, a FIFO, a
//   device, a symbolic link) is refused before anything is written;
// - a set of outputs is committed together: the files it replaces are moved
//   aside (unique names in the same folder) until every new file is in place,
//   put back when the commit fails part-way, and removed after it succeeds.
// New files get the mode the umask gives, as files the program writes do.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace companion {

// Failures are returned as one-line messages naming the file; nothing here prints.
using Failure = std::optional<std::string>;

// The process's umask (read by setting it: the companions run one thread).
unsigned current_umask();

// Nothing when `target` is absent or a regular file (not a symbolic link);
// otherwise the message that refuses it.
Failure check_target(const std::filesystem::path& target);

// The first refused target of a list, checked before any output is made.
Failure check_targets(const std::vector<std::filesystem::path>& targets);

class OutputSet {
 public:
  OutputSet() = default;
  ~OutputSet();  // removes the temporary files of a set not committed
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  // Writes `bytes` under a temporary name beside `target`.
  Failure add(const std::filesystem::path& target, std::string_view bytes);
  // The same with the bytes of a finished file, such as a picture a helper
  // program wrote in a work folder.
  Failure add_copy(const std::filesystem::path& target, const std::filesystem::path& made);

  // Moves every file into place. On a failure the targets hold what they
  // held before, and the message names the file that could not be placed.
  Failure commit();

 private:
  struct Staged {
    std::filesystem::path target;
    std::filesystem::path temporary;
  };
  std::vector<Staged> staged_;
};

// A set of one file.
Failure write_file(const std::filesystem::path& target, std::string_view bytes);

// A folder of the program's own, removed with whatever is in it when it goes
// out of scope, unless kept.
class TemporaryFolder {
 public:
  TemporaryFolder() = default;
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  // Makes FOLDER/NAMEXXXXXX under a unique name (mkdtemp: only its owner may
  // enter it); false, with errno set, when it cannot.
  bool make(const std::filesystem::path& folder, const std::string& name);
  const std::filesystem::path& path() const { return path_; }
  // It stays where it is (or where it was moved).
  void keep() { path_.clear(); }

 private:
  std::filesystem::path path_;
};

}  // namespace companion
