// The progress bar: nothing when disabled, a step shown at once, the pass's
// bar at most ten times a second and back after a step, the line cleared at
// the end.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "Progress.h"

namespace kvo {
namespace {

// What was written to the stream so far.
std::string Written(std::FILE* stream) {
  std::fflush(stream);
  std::string text(static_cast<size_t>(std::ftell(stream)), '\0');
  std::rewind(stream);
  const size_t read = std::fread(text.data(), 1, text.size(), stream);
  text.resize(read);
  return text;
}

TEST(ProgressTest, StepsAndPassesOnOneLine) {
  std::FILE* stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  {
    Progress off(false, stream);
    off.Step("loading x.csv");
    off.Start("reading", 10);
    off.Update(5);
  }
  EXPECT_EQ(Written(stream), "") << "a disabled bar draws nothing";

  {
    Progress bar(true, stream);
    bar.Step("loading x.csv");
    const std::string loading = Written(stream);
    EXPECT_EQ(loading.rfind("\rloading x.csv ... (at 0s)", 0), 0u) << loading;
    std::fseek(stream, 0, SEEK_END);

    bar.Start("pass 1 of 2", 2000);
    EXPECT_NE(Written(stream).find("\rpass 1 of 2 [..............................]   0%  0 of 2,000 cases"),
              std::string::npos)
        << "a new phase replaces the step at once";
    std::fseek(stream, 0, SEEK_END);
    const long before = std::ftell(stream);
    bar.Update(1500);
    std::fseek(stream, 0, SEEK_END);
    EXPECT_EQ(std::ftell(stream), before) << "no redraw within a tenth of a second";
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    bar.Update(1000);
    EXPECT_NE(Written(stream).find("pass 1 of 2 [###############...............]  50%  1,000 of 2,000 cases"),
              std::string::npos);
    std::fseek(stream, 0, SEEK_END);
    bar.Step("sorting out/all/training.csv");
    bar.Update(2000);
    EXPECT_NE(Written(stream).find("100%  2,000 of 2,000 cases"), std::string::npos)
        << "the pass's bar comes back at once after a step";
    std::fseek(stream, 0, SEEK_END);
  }
  const std::string all = Written(stream);
  EXPECT_EQ(all.substr(all.size() - 4), "\r\033[K") << "the line is cleared at the end";
  std::fclose(stream);
}

}  // namespace
}  // namespace kvo
