// The companions' one way of writing outputs: no target that is not a
// regular file is touched, and a set of files is committed whole or not at all.
#include "tools/common/output_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

TEST(OutputSet, TargetsThatAreNotRegularFilesAreRefusedBeforeAnythingIsWritten) {
  ScratchDir dir;
  write_file("kept", "mine");
  fs::create_directory("folder");
  fs::create_symlink("kept", "link");
  fs::create_symlink("nowhere", "dangling");
  ASSERT_EQ(mkfifo("fifo", 0644), 0);
  const std::set<std::string> before = listing(".");
  for (const auto& [target, kind] : {std::pair{"folder", "a folder"}, std::pair{"link", "a symbolic link"},
                                     std::pair{"dangling", "a symbolic link"}, std::pair{"fifo", "a FIFO"}}) {
    companion::OutputSet set;
    const companion::Failure failure = set.add(target, "new");
    ASSERT_TRUE(failure) << target;
    EXPECT_EQ(*failure, std::string("cannot write ") + target + ": it is " + kind + ", which is never replaced");
    EXPECT_EQ(listing("."), before) << target;
  }
  EXPECT_EQ(read_file("kept"), "mine");
}

TEST(OutputSet, ACommitThatFailsPartWayPutsBackWhatWasThere) {
  ScratchDir dir;
  write_file("a", "old a");
  write_file("c", "old c");
  {
    companion::OutputSet set;
    for (const char* name : {"a", "b", "c"}) ASSERT_FALSE(set.add(name, std::string("new ") + name));
    fs::remove("c");
    fs::create_directory("c");  // made while the set was written
    const companion::Failure failure = set.commit();
    ASSERT_TRUE(failure);
    EXPECT_EQ(*failure, "cannot write c: it is a folder, which is never replaced");
    EXPECT_EQ(read_file("a"), "old a");
  }
  EXPECT_EQ(listing("."), (std::set<std::string>{"a", "c"}));  // no new b, no temporary file

  // Committed, every file is new, nothing else is left, and the mode is the umask's.
  fs::remove("c");
  const mode_t mask = umask(027);
  {
    companion::OutputSet set;
    for (const char* name : {"a", "b"}) ASSERT_FALSE(set.add(name, std::string("new ") + name));
    ASSERT_FALSE(set.commit());
  }
  umask(mask);
  EXPECT_EQ(read_file("a") + read_file("b"), "new anew b");
  EXPECT_EQ(listing("."), (std::set<std::string>{"a", "b"}));
  struct stat status {};
  ASSERT_EQ(stat("a", &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
}

}  // namespace
