// The temporary data file: records through two buffers, the raw file, the
// text export, closing and reopening, filling from a source, sorting, and
// the failures of its directory and disk. (The sort's budget and spill files
// are checked on the host's sort itself; interruptions in the fault tests.)
#include <gtest/gtest.h>
#include <kvoadapter/KVODataFileIter.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vorm/Utility.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "standin/HostControl.h"
#include "support/RecordListIter.h"
#include "support/SortingDataFileIter.h"
#include "support/TempDirWatch.h"

namespace {

using Rows = std::vector<std::vector<double>>;
using kvo_test::RecordListIter;
using kvo_test::SortingDataFileIter;

constexpr double MISSING = -1.7976931348623157e308;

// Reads the remaining records of the pass.
Rows ReadRest(KVODataFileIter& iter) {
  Rows rows;
  while (iter.HasMore()) {
    const QorCommon::Record* record = iter.Next();
    if (record == nullptr) break;
    rows.emplace_back(record->GetAll(), record->GetAll() + record->GetSize());
  }
  return rows;
}

std::vector<double> Values(const QorCommon::Record* record) {
  if (record == nullptr) return {};
  return {record->GetAll(), record->GetAll() + record->GetSize()};
}

// Rows whose column 0 is the input position and whose key columns take few
// distinct values (the missing value among them), so that equal keys occur.
Rows RowsWithTies(size_t count, int recordSize, unsigned seed) {
  std::mt19937_64 generator(seed);
  const double choices[] = {MISSING, -2.5, 0.0, 1.0, 3.25};
  Rows rows(count, std::vector<double>(static_cast<size_t>(recordSize)));
  for (size_t r = 0; r < count; ++r) {
    rows[r][0] = static_cast<double>(r);
    for (int c = 1; c < recordSize; ++c) rows[r][static_cast<size_t>(c)] = choices[generator() % 5];
  }
  return rows;
}

// The expected order: a stable sort ascending by the key positions in order.
// The missing value is the most negative double, so `<` puts it first.
Rows StableSorted(Rows rows, const std::vector<int>& keys) {
  std::stable_sort(rows.begin(), rows.end(), [&](const std::vector<double>& a, const std::vector<double>& b) {
    for (int key : keys) {
      if (a[key] != b[key]) return a[key] < b[key];
    }
    return false;
  });
  return rows;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class KVODataFileIterTest : public kvo_test::TempDirCheckedTest {
 protected:
  void SetUp() override {
    standin::SetAssertHandler([this](const standin::AssertReport& report) { fAsserts.push_back(report); });
  }
  void TearDown() override {
    standin::SetAssertHandler({});
    standin::SetSortBudget(fSavedBudget);
    standin::InterruptAfterPolls(-1);
    standin::ClearInterrupt();
    TempDirCheckedTest::TearDown();
  }

  KVODataFileIter* Filled(KVODataFileIter& iter, const Rows& rows) {
    for (const auto& row : rows) iter.AddNewRecord(row.data());
    return &iter;
  }

  std::vector<standin::AssertReport> fAsserts;
  size_t fSavedBudget = standin::SortBudget();
};

TEST_F(KVODataFileIterTest, HandsOutRecordsInOrderThroughTwoAlternatingBuffers) {
  const Rows rows = {{1, 1.5}, {2, 2.5}, {3, 3.5}};
  KVODataFileIter iter(2);
  ASSERT_TRUE(iter.HasValidTempFile());
  Filled(iter, rows);
  ASSERT_TRUE(iter.CompleteDataFile());

  EXPECT_EQ(Values(iter.Current()), rows[0]);
  const QorCommon::Record* first = iter.Next();
  EXPECT_EQ(Values(first), rows[0]);
  EXPECT_EQ(Values(iter.Current()), rows[1]);
  EXPECT_EQ(Values(first), rows[0]) << "reading ahead must not overwrite the record just returned";
  EXPECT_NE(first, iter.Current());
  EXPECT_EQ(Values(iter.Next()), rows[1]);
  const QorCommon::Record* third = iter.Next();
  EXPECT_EQ(Values(third), rows[2]);
  EXPECT_EQ(third, first) << "the buffers alternate";
  EXPECT_FALSE(iter.HasMore());
  EXPECT_EQ(iter.GetFailReason(), 1);
  EXPECT_EQ(iter.Next(), nullptr);
  EXPECT_EQ(iter.Current(), nullptr);

  // Every further pass gives the same records.
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(iter.NewPass(), 0);
    EXPECT_EQ(ReadRest(iter), rows);
  }
  // Completing again closes, reopens and rewinds.
  EXPECT_TRUE(iter.CompleteDataFile());
  EXPECT_EQ(ReadRest(iter), rows);
  EXPECT_TRUE(fAsserts.empty());
}

TEST_F(KVODataFileIterTest, StoresRawNativeDoublesWithoutHeader) {
  const Rows rows = {{1.25, MISSING, -7.0}, {0.5, 2.0, 1e300}};
  KVODataFileIter iter(3);
  Filled(iter, rows);
  ASSERT_TRUE(iter.CompleteDataFile());
  const std::string path = iter.GetFileName();
  EXPECT_EQ(std::filesystem::path(path).filename().string().rfind("kvodatafile_", 0), 0u);
  EXPECT_EQ(std::filesystem::path(path).parent_path(), std::filesystem::path(standin::TempDirectory()));

  std::ifstream in(path, std::ios::binary);
  std::vector<double> stored(6);
  in.read(reinterpret_cast<char*>(stored.data()), 6 * sizeof(double));
  EXPECT_EQ(in.gcount(), 48);
  EXPECT_EQ(stored, (std::vector<double>{1.25, MISSING, -7.0, 0.5, 2.0, 1e300}));
  EXPECT_EQ(std::filesystem::file_size(path), 48u);
}

TEST_F(KVODataFileIterTest, EmptyFileCompletesAsFailure) {
  KVODataFileIter iter(4);
  EXPECT_TRUE(iter.HasValidTempFile());
  EXPECT_FALSE(iter.CompleteDataFile());
  EXPECT_EQ(iter.GetFailReason(), 3);
  EXPECT_FALSE(iter.HasMore());
  EXPECT_EQ(iter.Next(), nullptr);
  EXPECT_EQ(iter.NewPass(), 1) << "the file itself is readable, only empty";
}

TEST_F(KVODataFileIterTest, IgnoresTrailingPartialRecordAndNullRecords) {
  KVODataFileIter iter(3);
  const double r1[] = {1, 2, 3};
  const double r2[] = {4, 5, 6};
  EXPECT_TRUE(iter.AddNewRecord(r1));
  EXPECT_TRUE(iter.AddNewRecord(nullptr));
  EXPECT_TRUE(iter.AddNewRecord(r2));
  ASSERT_TRUE(iter.CompleteDataFile());
  EXPECT_EQ(std::filesystem::file_size(iter.GetFileName()), 2 * 3 * sizeof(double)) << "null writes nothing";

  // Two values more: less than a record.
  FILE* append = std::fopen(iter.GetFileName().c_str(), "ab");
  ASSERT_NE(append, nullptr);
  const double partial[] = {7, 8};
  std::fwrite(partial, sizeof(double), 2, append);
  std::fclose(append);

  EXPECT_EQ(iter.NewPass(), 0);
  EXPECT_EQ(ReadRest(iter), (Rows{{1, 2, 3}, {4, 5, 6}}));
  EXPECT_EQ(iter.GetFailReason(), 1);
}

TEST_F(KVODataFileIterTest, WritesTextFileWithFixedLayout) {
  KVODataFileIter iter(2);
  Filled(iter, {{1.5, MISSING}, {-0.25, 12345.678}, {0.0, 3.0}});
  ASSERT_TRUE(iter.CompleteDataFile());
  const std::string path = standin::TempDirectory() + "/kvo_text_layout.txt";
  ASSERT_TRUE(iter.GetTextFile(path));
  EXPECT_EQ(ReadText(path),
            "  1.500000   missing\n"
            "  -0.250000  12345.678000\n"
            "  0.000000  3.000000\n");
  std::filesystem::remove(path);
  EXPECT_FALSE(iter.HasMore()) << "left at the end of the data";
  EXPECT_EQ(iter.GetFailReason(), 1);

  // A path that cannot be written fails the export and the iterator.
  EXPECT_FALSE(iter.GetTextFile(standin::TempDirectory() + "/no-such-dir/out.txt"));
  EXPECT_EQ(iter.GetFailReason(), 3);
  EXPECT_EQ(iter.NewPass(), 0) << "the data file itself is still fine";

  // A device that is full takes the text but cannot keep it.
  EXPECT_FALSE(iter.GetTextFile("/dev/full"));
}

// The text of each value is printf's "%5f" behind two blanks, whatever its
// size and however many records the file holds (far more text than one
// write buffer).
TEST_F(KVODataFileIterTest, WritesEveryValueAsPrintfWould) {
  Rows rows = {
      {-0.0, 0.0078125, 1e20}, {1.7976931348623157e308, -1e-7, 0.0000005}, {2.5e-6, 123456.0000005, MISSING}};
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> uniform(-1e6, 1e6);
  for (int r = 0; r < 40000; ++r)
    rows.push_back({uniform(random), std::round(uniform(random)), uniform(random) / 1e6});
  // Values read from text with a few decimals, exact half-way products (odd
  // multiples of 1/128 times 10^6 end in .5), their neighbours, and values
  // around the largest magnitude the integer path takes.
  std::uniform_int_distribution<int64_t> thousandths(-100000000, 100000000);
  for (int r = 0; r < 20000; ++r) {
    const double tie = static_cast<double>(2 * (r % 5000) + 1) / 128.0 * (r % 2 == 0 ? 1 : -1);
    rows.push_back({static_cast<double>(thousandths(random)) / 1000.0, tie, std::nextafter(tie, 0.0)});
  }
  for (double edge : {4503599627.370496, 4503599627.3704955, 4503599627.3704965, -4503599627.370496, 9e15,
                      -1e-300, 5e-324, 0.9999995, 0.99999949999999997, 999999.9999995, -0.0000004}) {
    rows.push_back({edge, std::nextafter(edge, INFINITY), std::nextafter(edge, -INFINITY)});
  }
  KVODataFileIter iter(3);
  Filled(iter, rows);
  ASSERT_TRUE(iter.CompleteDataFile());
  std::string expected;
  for (const std::vector<double>& row : rows) {
    for (double value : row) {
      if (value == MISSING) {
        expected += "   missing";
        continue;
      }
      char text[400];
      std::snprintf(text, sizeof text, "  %5f", value);
      expected += text;
    }
    expected += "\n";
  }
  const std::string path = standin::TempDirectory() + "/kvo_text_printf.txt";
  ASSERT_TRUE(iter.GetTextFile(path));
  const std::string written = ReadText(path);
  std::filesystem::remove(path);
  ASSERT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected) << "first difference at byte "
                                   << std::mismatch(written.begin(), written.end(), expected.begin()).first -
                                          written.begin();
}

TEST_F(KVODataFileIterTest, TextExportNeverFollowsALinkPlantedAtThePath) {
  KVODataFileIter iter(1);
  Filled(iter, {{1.0}});
  ASSERT_TRUE(iter.CompleteDataFile());
  const std::string target = standin::TempDirectory() + "/kvo_link_target.txt";
  const std::string link = standin::TempDirectory() + "/kvo_planted_link.txt";
  std::ofstream(target) << "precious";
  std::filesystem::create_symlink(target, link);
  EXPECT_FALSE(iter.GetTextFile(link));
  EXPECT_EQ(ReadText(target), "precious");
  std::filesystem::remove(link);
  std::filesystem::remove(target);
}

TEST_F(KVODataFileIterTest, CloseAndReopenThenReadFromFirstRecord) {
  const Rows rows = {{1}, {2}, {3}};
  KVODataFileIter iter(1);
  Filled(iter, rows);
  ASSERT_TRUE(iter.CompleteDataFile());
  EXPECT_EQ(Values(iter.Next()), rows[0]);

  iter.CloseDataFile();
  EXPECT_FALSE(iter.IsDataFileOpen());
  EXPECT_TRUE(iter.HasValidTempFile());
  EXPECT_TRUE(std::filesystem::exists(iter.GetFileName())) << "closing keeps the file";
  EXPECT_EQ(Values(iter.Next()), rows[1]) << "the record read ahead is still there";
  EXPECT_EQ(iter.GetFailReason(), 3) << "no stream to read further from";

  EXPECT_TRUE(iter.OpenDataFile());
  EXPECT_TRUE(iter.IsDataFileOpen());
  EXPECT_EQ(iter.GetFailReason(), 3) << "reopening does not start a pass";
  EXPECT_TRUE(iter.OpenDataFile()) << "already open";
  EXPECT_EQ(iter.NewPass(), 0);
  EXPECT_EQ(ReadRest(iter), rows);

  iter.CloseDataFile();
  EXPECT_EQ(iter.NewPass(), 3) << "a closed stream cannot be rewound";
  EXPECT_FALSE(iter.CompleteDataFile());
  EXPECT_TRUE(iter.OpenDataFile());
}

TEST_F(KVODataFileIterTest, DestructorDeletesAnOpenFileOnly) {
  std::string openPath;
  std::string closedPath;
  {
    KVODataFileIter open(2);
    KVODataFileIter closed(2);
    Filled(open, {{1, 2}});
    Filled(closed, {{1, 2}});
    ASSERT_TRUE(open.CompleteDataFile());
    ASSERT_TRUE(closed.CompleteDataFile());
    closed.CloseDataFile();
    openPath = open.GetFileName();
    closedPath = closed.GetFileName();
  }
  EXPECT_FALSE(std::filesystem::exists(openPath));
  EXPECT_TRUE(std::filesystem::exists(closedPath)) << "a closed file is left for its user";
  std::filesystem::remove(closedPath);
}

TEST_F(KVODataFileIterTest, FillsFromSourceAndReportsBrokenSource) {
  const Rows rows = RowsWithTies(50, 4, 7);
  {
    KVODataFileIter iter(4);
    RecordListIter source(rows, 4);
    EXPECT_TRUE(iter.FillDataFile(source));
    EXPECT_EQ(iter.GetFailReason(), 0);
    EXPECT_EQ(ReadRest(iter), rows) << "without keys the input order stays";
  }
  {
    KVODataFileIter iter(4);
    RecordListIter broken(rows, 4, 3);
    EXPECT_FALSE(iter.FillDataFile(broken));
    EXPECT_EQ(iter.GetFailReason(), 3);
  }
  {
    SortingDataFileIter iter(4, {1});
    RecordListIter broken(rows, 4, 3);
    EXPECT_FALSE(iter.FillDataFile(broken));
    EXPECT_EQ(iter.GetFailReason(), 3);
  }
  {
    KVODataFileIter iter(4);
    RecordListIter empty({}, 4);
    EXPECT_FALSE(iter.FillDataFile(empty)) << "an empty file completes as failure";
    EXPECT_EQ(iter.GetFailReason(), 3);
  }
  EXPECT_TRUE(fAsserts.empty());
}

TEST_F(KVODataFileIterTest, SortingIteratorIsNotReadyUntilFilled) {
  SortingDataFileIter iter(3, {2});
  EXPECT_TRUE(iter.HasValidTempFile());
  EXPECT_FALSE(iter.HasMore());
  EXPECT_EQ(iter.GetFailReason(), 1);
  EXPECT_EQ(iter.Next(), nullptr);
  EXPECT_EQ(iter.Current(), nullptr);

  RecordListIter source({{1, 0, 9}, {2, 0, 7}, {3, 0, 8}}, 3);
  EXPECT_TRUE(iter.FillDataFile(source));
  EXPECT_TRUE(iter.HasMore());
  EXPECT_EQ(ReadRest(iter), (Rows{{2, 0, 7}, {3, 0, 8}, {1, 0, 9}}));

  KVODataFileIter plain(3);
  EXPECT_TRUE(plain.HasMore()) << "a plain iterator starts with fail reason 0";
}

TEST_F(KVODataFileIterTest, SortsByTwoKeysWithMissingValuesLikeAStableSort) {
  const std::vector<int> keys = {3, 1};
  const Rows rows = RowsWithTies(2000, 5, 11);
  SortingDataFileIter iter(5, keys, 4);
  RecordListIter source(rows, 5);
  ASSERT_TRUE(iter.FillDataFile(source));
  const Rows sorted = ReadRest(iter);
  EXPECT_EQ(sorted, StableSorted(rows, keys));
  ASSERT_FALSE(sorted.empty());
  EXPECT_EQ(sorted.front()[3], MISSING) << "the missing value sorts first";
  EXPECT_EQ(iter.NewPass(), 0);
  EXPECT_EQ(ReadRest(iter), sorted);
  EXPECT_TRUE(fAsserts.empty());
}

TEST_F(KVODataFileIterTest, BadSortKeyFailsTheFillAndIsReported) {
  SortingDataFileIter iter(3, {1, 3});
  ASSERT_EQ(fAsserts.size(), 1u);
  EXPECT_EQ(fAsserts[0].fSource, "KVODataFileIter");
  RecordListIter source({{1, 2, 3}}, 3);
  EXPECT_FALSE(iter.FillDataFile(source));
  EXPECT_EQ(iter.GetFailReason(), 3);
  EXPECT_NE(standin::LastSortError().find("key 2"), std::string::npos) << standin::LastSortError();
}

TEST_F(KVODataFileIterTest, UnusableTemporaryDirectoryGivesAnInvalidIteratorNotACrash) {
  {
    kvo_test::ScopedTempDirectory missing(standin::TempDirectory() + "/no-such-directory");
    KVODataFileIter iter(2);
    EXPECT_FALSE(iter.HasValidTempFile());
    EXPECT_EQ(iter.GetFailReason(), 3);
    EXPECT_FALSE(iter.IsDataFileOpen());
    const double values[] = {1, 2};
    EXPECT_FALSE(iter.AddNewRecord(values));  // stored nowhere: never a silent success
    EXPECT_FALSE(iter.CompleteDataFile());
    EXPECT_EQ(iter.NewPass(), 3);
    EXPECT_FALSE(iter.OpenDataFile());
    EXPECT_EQ(iter.Next(), nullptr);

    SortingDataFileIter sorting(2, {0});
    RecordListIter source({{2, 1}, {1, 2}}, 2);
    EXPECT_FALSE(sorting.FillDataFile(source));
    EXPECT_EQ(sorting.GetFailReason(), 3);
  }
  {
    // The data file exists, but the sort cannot make its spill files.
    standin::SetSortBudget(size_t{64} << 10);
    SortingDataFileIter iter(8, {0});
    ASSERT_TRUE(iter.HasValidTempFile());
    kvo_test::ScopedTempDirectory missing(standin::TempDirectory() + "/no-such-directory");
    RecordListIter source(RowsWithTies(5000, 8, 3), 8);
    EXPECT_FALSE(iter.FillDataFile(source));
    EXPECT_EQ(iter.GetFailReason(), 3);
    EXPECT_NE(standin::LastSortError().find("cannot create a spill file"), std::string::npos)
        << standin::LastSortError();
  }
}

// Runs `body` in a child process and returns its exit status (or -1).
template <typename Body>
int InChild(Body body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST_F(KVODataFileIterTest, DirectoryWithoutWritePermissionGivesAnInvalidIterator) {
  const std::string directory = standin::TempDirectory() + "/kvo_read_only";
  ASSERT_EQ(chmod(fTempDir.Path().c_str(), 0755), 0);  // reachable for the ordinary user below
  ASSERT_TRUE(std::filesystem::create_directory(directory));
  ASSERT_EQ(chmod(directory.c_str(), 0555), 0);
  const int status = InChild([&] {
    // The superuser ignores permissions: act as an ordinary user.
    if (geteuid() == 0 && setuid(65534) != 0) return 10;
    standin::SetTempDirectory(directory);
    KVODataFileIter iter(2);
    if (iter.HasValidTempFile()) return 11;
    if (iter.GetFailReason() != 3) return 12;
    if (iter.CompleteDataFile()) return 13;
    return 0;
  });
  std::filesystem::remove(directory);
  EXPECT_EQ(status, 0);
}

TEST_F(KVODataFileIterTest, FullDiskFailsTheFileAndTheSortInsteadOfShorteningThem) {
  constexpr int RECORD_SIZE = 16;  // 128 bytes
  constexpr rlim_t LIMIT = 64 << 10;
  const Rows rows = RowsWithTies(1000, RECORD_SIZE, 9);
  const int status = InChild([&] {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = LIMIT;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
    {
      // The records fit the stream's buffer: the flush at completion fails.
      KVODataFileIter iter(RECORD_SIZE);
      for (const auto& row : rows) iter.AddNewRecord(row.data());
      if (iter.CompleteDataFile()) return 11;
      if (iter.HasValidTempFile() || iter.GetFailReason() != 3) return 12;
      if (iter.GetErrorNumber() != EFBIG) return 13;
    }
    {
      standin::SetSortBudget(size_t{16} << 10);
      SortingDataFileIter iter(RECORD_SIZE, {1});
      RecordListIter source(rows, RECORD_SIZE);
      if (iter.FillDataFile(source)) return 14;
      if (iter.GetFailReason() != 3) return 15;
      if (standin::LastSortError().find("cannot write a spill file") == std::string::npos) return 16;
    }
    return 0;
  });
  EXPECT_EQ(status, 0) << "10 limit, 11-13 complete, 14-16 sort";
}

// Faults injected at chosen points of the host's file I/O. Each operation
// must fail (false, fail reason 3, the system's error kept) instead of
// yielding fewer records than were written; a failed file keeps its records
// on disk until the iterator goes, and then nothing is left.
TEST_F(KVODataFileIterTest, WriteAndReadFaultsFailTheOperationAndLoseNothingSilently) {
  constexpr int RECORD_SIZE = 4;                          // 32 bytes
  const Rows many = RowsWithTies(20000, RECORD_SIZE, 3);  // 640,000 bytes: more than the stream's buffer
  const Rows few = RowsWithTies(10, RECORD_SIZE, 4);      // 320 bytes: written at the flush
  enum class Op { kComplete, kRead, kSort, kText };
  struct Case {
    const char* name;
    Op op;
    const Rows* rows;
    int64_t writeBudget;  // -1: no write fault
    int64_t readBudget;   // -1: no read fault
    int error;
  };
  const std::vector<Case> cases = {
      {"mid-record write", Op::kComplete, &many, 300000 + 13, -1, ENOSPC},
      {"write at the flush", Op::kComplete, &few, 100, -1, ENOSPC},
      {"nothing writable", Op::kComplete, &few, 0, -1, EIO},
      {"read error in the middle of a pass", Op::kRead, &many, -1, 200000 + 5, EIO},
      {"sort spill write", Op::kSort, &many, 150000, -1, ENOSPC},
      {"text export write", Op::kText, &many, -1, -1, ENOSPC},
  };
  standin::SetSortBudget(size_t{64} << 10);  // the sort spills
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path;
    {
      if (c.op == Op::kSort) {
        SortingDataFileIter iter(RECORD_SIZE, {1});
        RecordListIter source(*c.rows, RECORD_SIZE);
        standin::FailFileWritesAfter(c.writeBudget, c.error);
        EXPECT_FALSE(iter.FillDataFile(source));
        standin::ClearFileFaults();
        EXPECT_EQ(iter.GetFailReason(), 3);
        EXPECT_NE(standin::LastSortError().find("cannot write a spill file"), std::string::npos);
        continue;
      }
      if (c.writeBudget >= 0) standin::FailFileWritesAfter(c.writeBudget, c.error);
      KVODataFileIter iter(RECORD_SIZE);
      path = iter.GetFileName();
      bool added = true;
      for (const auto& row : *c.rows) added = iter.AddNewRecord(row.data()) && added;
      if (c.readBudget >= 0) standin::FailFileReadsAfter(c.readBudget, c.error);  // the reopened stream reads
      const bool completed = iter.CompleteDataFile();
      if (c.op == Op::kComplete) {
        standin::ClearFileFaults();
        EXPECT_FALSE(completed);
        EXPECT_FALSE(iter.HasValidTempFile());
        EXPECT_EQ(iter.GetFailReason(), 3);
        EXPECT_EQ(iter.GetErrorNumber(), c.error);
        EXPECT_EQ(added, c.rows == &few) << "a write that failed before the flush returns false";
        const double more[RECORD_SIZE] = {1, 2, 3, 4};
        EXPECT_FALSE(iter.AddNewRecord(more)) << "a failed file takes no more records";
        EXPECT_EQ(iter.NewPass(), 3);
        EXPECT_TRUE(std::filesystem::exists(path)) << "kept while the iterator lives";
      } else if (c.op == Op::kRead) {
        ASSERT_TRUE(completed);
        const Rows read = ReadRest(iter);
        standin::ClearFileFaults();
        EXPECT_LT(read.size(), c.rows->size());
        EXPECT_EQ(iter.GetFailReason(), 3) << "a read error is not the end of the data";
        EXPECT_EQ(iter.GetErrorNumber(), c.error);
        EXPECT_TRUE(std::equal(read.begin(), read.end(), c.rows->begin()));
      } else {
        ASSERT_TRUE(completed);
        const std::string text = standin::TempDirectory() + "/kvo_fault_text.txt";
        standin::FailFileWritesAfter(100000, c.error);
        EXPECT_FALSE(iter.GetTextFile(text));
        standin::ClearFileFaults();
        EXPECT_FALSE(std::filesystem::exists(text)) << "no partial text file";
        EXPECT_TRUE(iter.GetTextFile(text)) << "the data file itself is intact";
        EXPECT_EQ(std::count(std::istreambuf_iterator<char>(std::ifstream(text).rdbuf()), {}, '\n'),
                  static_cast<long>(c.rows->size()));
        std::filesystem::remove(text);
      }
    }
    if (!path.empty()) {
      EXPECT_FALSE(std::filesystem::exists(path)) << "removed with its iterator";
    }
  }
}

TEST_F(KVODataFileIterTest, RecordSizeMustBePositive) {
  KVODataFileIter iter(0);
  ASSERT_EQ(fAsserts.size(), 1u);
  EXPECT_EQ(fAsserts[0].fCondition, "fRecordSize > 0");
  EXPECT_FALSE(iter.HasValidTempFile());
  EXPECT_EQ(iter.GetFailReason(), 3);
  EXPECT_FALSE(iter.CompleteDataFile());
}

}  // namespace
