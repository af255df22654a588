// End-to-end runs of the HTML report: `kvo prepare --report` and `kvo report`
// on tests/data/kvo/people.csv (see KvoPrepareTest.cpp), their refusals, and
// the page opened in a headless browser where one is installed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "support/KvoProcess.h"

namespace kvo_test {
namespace {

namespace fs = std::filesystem;

const std::string DATA = std::string(KVO_TEST_DATA_DIR) + "/kvo/";
const std::string PEOPLE = DATA + "people.csv";
// Three partitions by `part` in two split groups (country 1: cases 1-5,
// country 2: cases 6-10).
const std::vector<std::string> PARTITIONED = {"--cat",           "region,y", "--cont",  "age,income",
                                              "--partition-var", "part",     "--parts", "3",
                                              "--split-by",      "country",  "--quiet"};

class KvoReportTest : public ::testing::Test {
 protected:
  KvoResult Run(const std::vector<std::string>& args) {
    KvoResult result = RunKvo(fScratch, args);
    EXPECT_TRUE(result.fLeftInTmp.empty()) << "left in TMPDIR: " << Joined(result.fLeftInTmp);
    return result;
  }
  KvoResult Prepare(const std::vector<std::string>& extra, const std::string& data = PEOPLE) {
    std::vector<std::string> args = {"prepare", data};
    args.insert(args.end(), PARTITIONED.begin(), PARTITIONED.end());
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  }
  // The names in the scratch directory that a report left behind it
  // (temporary files begin with a dot).
  std::vector<std::string> Hidden() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fScratch.Path())) {
      const std::string name = entry.path().filename().string();
      if (name[0] == '.') names.push_back(name);
    }
    return names;
  }
  ScratchDirectory fScratch;
};

TEST_F(KvoReportTest, PrepareWritesTheReportAndReportDrawsItAgain) {
  const std::string page = fScratch / "people.html";
  const KvoResult run = Prepare({"--out", fScratch / "out", "--report", page});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;
  const std::string html = ReadFile(page);
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(html.find("Split group 2 of 2: country = 2 (Two)"), std::string::npos);
  EXPECT_EQ((fs::status(page).permissions() & fs::perms::others_read), fs::perms::others_read)
      << "as readable as any new file";

  const std::string again = fScratch / "again.html";
  const KvoResult report = Run({"report", fScratch / "out/summary.json", again});
  ASSERT_EQ(report.fExitCode, 0) << report.fErr;
  EXPECT_EQ(report.fOut, "");
  EXPECT_EQ(ReadFile(again), html) << "the same page from summary.json";
  EXPECT_TRUE(Hidden().empty()) << Joined(Hidden());
}

TEST_F(KvoReportTest, ReportInTheOutputDirectory) {
  const std::string out = fScratch / "out";
  for (int run = 0; run < 2; ++run) {
    const KvoResult result = Prepare({"--out", out, "--report", out + "/report.html"});
    ASSERT_EQ(result.fExitCode, 0) << "run " << run << ": " << result.fErr;
    EXPECT_TRUE(fs::is_regular_file(out + "/report.html"));
    EXPECT_TRUE(fs::is_regular_file(out + "/summary.json"));
  }
  // Deeper inside it, a report would be lost with the directory it
  // replaces; a name of its own keeps it apart from kvo's files.
  for (const std::string& report : {out + "/split-1/r.html", out + "/summary.json", out}) {
    const KvoResult refused = Prepare({"--out", out, "--report", report});
    EXPECT_EQ(refused.fExitCode, 2) << report;
    EXPECT_NE(refused.fErr.find("--report: " + report), std::string::npos) << refused.fErr;
  }
  EXPECT_TRUE(fs::is_regular_file(out + "/report.html"));
}

TEST_F(KvoReportTest, FailedRunsLeaveNoReport) {
  const std::string page = fScratch / "r.html";
  // No valid case (exit 3): an earlier report stays as it was.
  WriteFile(page, "earlier");
  const std::string none = fScratch / "none.csv";
  WriteFile(none, "id,country,region,group,age,income,w,part,y\n1,1,north,9,,,1,1,0\n");
  const KvoResult empty = Run({"prepare", none, "--schema", DATA + "people.schema.json", "--cat", "group",
                               "--report", page, "--quiet"});
  EXPECT_EQ(empty.fExitCode, 3) << empty.fErr;
  EXPECT_EQ(ReadFile(page), "earlier");

  // The report must not replace an input.
  const KvoResult input = Prepare({"--report", PEOPLE});
  EXPECT_EQ(input.fExitCode, 2);
  EXPECT_NE(input.fErr.find("--report: " + PEOPLE + " is also an input"), std::string::npos) << input.fErr;

  // Paths where no file can be written: checked before the data are read.
  for (const std::string& bad : {fScratch.Path(), fScratch / "absent/r.html", std::string("/dev/null")}) {
    const KvoResult refused = Prepare({"--report", bad});
    EXPECT_EQ(refused.fExitCode, 1) << bad;
    EXPECT_NE(refused.fErr.find(bad + ": cannot write the report"), std::string::npos) << refused.fErr;
  }
  EXPECT_TRUE(Hidden().empty()) << Joined(Hidden());
}

TEST_F(KvoReportTest, ReportRefusesBadSummaries) {
  WriteFile(fScratch / "text.json", "this is not JSON");
  WriteFile(fScratch / "other.json", R"({"splits": []})");
  WriteFile(fScratch / "cut.json", R"({"cases": 3, "record": [], "splits": [{"values": [], "cases": 1}]})");
  fs::create_directory(fScratch / "dir.json");
  const std::string page = fScratch / "r.html";
  const struct {
    std::string fSummary;
    std::string fMessage;
  } cases[] = {
      {fScratch / "absent.json", ": cannot open the summary: No such file or directory"},
      {fScratch / "text.json", ": not JSON; give the summary.json that kvo prepare wrote with --out"},
      {fScratch / "other.json", ": not a kvo prepare summary: cases is missing"},
      {fScratch / "cut.json", ": not a kvo prepare summary: splits[0].valid is missing"},
      {fScratch / "dir.json", ": the summary is a directory; give a regular file"},
  };
  for (const auto& c : cases) {
    const KvoResult result = Run({"report", c.fSummary, page});
    EXPECT_EQ(result.fExitCode, 1) << c.fSummary;
    EXPECT_EQ(result.fErr, "kvo report: " + c.fSummary + c.fMessage + "\n");
    EXPECT_FALSE(fs::exists(page));
  }
  const KvoResult same = Run({"report", fScratch / "text.json", fScratch / "text.json"});
  EXPECT_EQ(same.fExitCode, 2) << same.fErr;
  EXPECT_EQ(Run({"report", fScratch / "text.json"}).fExitCode, 2) << "the report's name is required";
  EXPECT_TRUE(Hidden().empty()) << Joined(Hidden());
}

// ---------------------------------------------------------------------------
// The page in a real browser engine: Debian's chromium (or KVO_BROWSER)
// loads it headless and prints the document it built. Every chart must be
// in it as an SVG element, and texts with markup characters must have
// stayed text.

std::string FindBrowser() {
  if (const char* chosen = std::getenv("KVO_BROWSER"); chosen != nullptr && *chosen != '\0') return chosen;
  for (const char* name : {"chromium", "chromium-browser", "google-chrome"}) {
    for (const char* directory : {"/usr/bin", "/usr/local/bin", "/bin"}) {
      const std::string path = std::string(directory) + "/" + name;
      if (access(path.c_str(), X_OK) == 0) return path;
    }
  }
  return std::string();
}

// Runs `argv` with standard output to `out` and standard error to `err`;
// returns the exit code.
int RunProgram(const std::vector<std::string>& argv, const std::string& home, const std::string& out,
               const std::string& err) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("HOME", home.c_str(), 1);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = open("/dev/null", O_RDONLY);
    dup2(o, 1);
    dup2(e, 2);
    dup2(in, 0);
    std::vector<char*> raw;
    std::vector<std::string> copy = argv;
    for (std::string& arg : copy) raw.push_back(arg.data());
    raw.push_back(nullptr);
    execv(raw[0], raw.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(KvoReportTest, BrowserRendersEveryChart) {
  const std::string browser = FindBrowser();
  if (browser.empty()) {
    GTEST_SKIP() << "no headless browser: install Debian's chromium (scripts/install-deps.sh does) or set "
                    "KVO_BROWSER";
  }
  // A value label with markup characters, the one a chart shows.
  const std::string schema = ReadFile(DATA + "people.schema.json");
  const std::string label = R"({"value": "north", "label": "North"})";
  ASSERT_NE(schema.find(label), std::string::npos);
  std::string hostile = schema;
  hostile.replace(hostile.find(label), label.size(), R"({"value": "north", "label": "<b>N&amp;\"S\"</b>"})");
  WriteFile(fScratch / "people.schema.json", hostile);
  const std::string page = fScratch / "people.html";
  const KvoResult run = Prepare({"--schema", fScratch / "people.schema.json", "--report", page});
  ASSERT_EQ(run.fExitCode, 0) << run.fErr;

  fs::create_directory(fScratch / "profile");
  const std::string dom = fScratch / "dom.html", log = fScratch / "browser.log";
  const int code =
      RunProgram({browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                  "--user-data-dir=" + (fScratch / "profile"), "--dump-dom", "file://" + page},
                 fScratch.Path(), dom, log);
  ASSERT_EQ(code, 0) << browser << " failed:\n" << ReadFile(log);
  const std::string built = ReadFile(dom);
  ASSERT_NE(built.find("</html>"), std::string::npos) << built.substr(0, 2000);

  // Each group: the reasons (some cases are invalid in both), the
  // partitions, two categorical charts and a histogram per continuous
  // variable and partition.
  std::vector<std::string> ids;
  for (const std::string group : {"g1-", "g2-"}) {
    for (const char* chart : {"reasons", "partitions", "cat-0", "cat-1"}) ids.push_back(group + chart);
    for (const char* slot : {"2", "3"}) {
      for (const char* p : {"0", "1", "2"}) ids.push_back(group + "hist-" + slot + "-p" + p);
    }
  }
  const std::string open = "<svg id=\"";
  std::vector<std::string> found;
  for (size_t at = built.find(open); at != std::string::npos; at = built.find(open, at + 1)) {
    const size_t begin = at + open.size();
    found.push_back(built.substr(begin, built.find('"', begin) - begin));
  }
  EXPECT_EQ(found, ids);
  // The label stayed text, in the chart and its tooltips.
  EXPECT_EQ(built.find("<b>N"), std::string::npos);
  EXPECT_NE(built.find("&lt;b&gt;N&amp;amp;\"S\"&lt;/b&gt;"), std::string::npos);
}

}  // namespace
}  // namespace kvo_test
