#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vorm/Utility.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "standin/HostControl.h"
#include "support/TempDirWatch.h"

namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class TempFilesTest : public kvo_test::TempDirCheckedTest {};

TEST_F(TempFilesTest, CreatesPrivateFilesUnderDistinctUnpredictableNames) {
  constexpr int COUNT = 200;
  std::set<std::string> names;
  std::set<char> suffixCharacters;
  for (int i = 0; i < COUNT; ++i) {
    char buffer[VORM_TEMP_NAME_MAX];
    ASSERT_EQ(FormTempName("kvotest_", buffer), buffer);
    const fs::path path(buffer);
    EXPECT_EQ(path.parent_path(), fs::path(standin::TempDirectory()));
    const std::string name = path.filename().string();
    ASSERT_EQ(name.rfind("kvotest_", 0), 0u) << name;
    const std::string suffix = name.substr(8);
    EXPECT_GE(suffix.size(), 16u) << "enough randomness that a name cannot be guessed";
    suffixCharacters.insert(suffix.begin(), suffix.end());
    names.insert(buffer);

    struct stat info {};
    ASSERT_EQ(lstat(buffer, &info), 0) << "the file exists once named";
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0600u) << "readable and writable by its owner only";
    EXPECT_EQ(info.st_size, 0);
  }
  EXPECT_EQ(names.size(), static_cast<size_t>(COUNT));
  // Random characters spread over the alphabet: a counter or a clock would not.
  EXPECT_GT(suffixCharacters.size(), 50u);
  for (const std::string& name : names) fs::remove(name);
}

TEST_F(TempFilesTest, RefusesBadPrefixesAndMissingDirectories) {
  char buffer[VORM_TEMP_NAME_MAX];
  std::strcpy(buffer, "stale");
  EXPECT_EQ(FormTempName("../escape_", buffer), nullptr) << "a prefix must not leave the directory";
  EXPECT_STREQ(buffer, "");

  kvo_test::ScopedTempDirectory missing(standin::TempDirectory() + "/absent");
  std::strcpy(buffer, "stale");
  EXPECT_EQ(FormTempName("kvotest_", buffer), nullptr);
  EXPECT_STREQ(buffer, "");
}

TEST_F(TempFilesTest, ExternalNameOpensAndRemovesFiles) {
  const std::string path = standin::TempDirectory() + "/kvo_ext.bin";
  ExtNameStr name;
  name.SetGeneric(path);
  EXPECT_EQ(name.Name(), path);
  EXPECT_EQ(name.fopen("rb"), nullptr) << "reading needs an existing file";

  FILE* out = name.fopen("w+b");
  ASSERT_NE(out, nullptr);
  std::fputs("abc", out);
  std::fclose(out);
  FILE* update = name.fopen("r+b");
  ASSERT_NE(update, nullptr);
  char read[4] = {};
  EXPECT_EQ(std::fread(read, 1, 3, update), 3u) << "r+b keeps the content";
  std::fclose(update);
  EXPECT_STREQ(read, "abc");

  EXPECT_EQ(name.fopen("q"), nullptr) << "not a mode";
  EXPECT_EQ(name.remove(), 0);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_NE(name.remove(), 0) << "nothing left to remove";

  ExtNameStr empty;
  EXPECT_EQ(empty.fopen("w"), nullptr);
}

TEST_F(TempFilesTest, ExternalNameNeverFollowsAPlantedLink) {
  const std::string target = standin::TempDirectory() + "/kvo_victim.txt";
  const std::string link = standin::TempDirectory() + "/kvo_link.txt";
  std::ofstream(target) << "keep me";
  fs::create_symlink(target, link);
  ExtNameStr name;
  name.SetGeneric(link);
  for (const char* mode : {"w", "w+b", "r+b", "a", "rb"}) {
    EXPECT_EQ(name.fopen(mode), nullptr) << mode;
  }
  EXPECT_EQ(ReadText(target), "keep me");
  EXPECT_EQ(name.remove(), 0) << "removing deletes the link, not its target";
  EXPECT_TRUE(fs::exists(target));
  fs::remove(target);
}

}  // namespace
