// The CSV and .npy record file writers: the .npy header's layout, CSV
// quoting of slot names, and writes that fail part way (the host's file
// faults stand for a full disk), which must leave no partial file.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "RecordFiles.h"
#include "standin/HostControl.h"

namespace kvo {
namespace {

TEST(RecordFilesTest, NpyHeaderIsAlignedAndDescribesTheShape) {
  const struct {
    int64_t records;
    int slots;
  } cases[] = {{0, 1}, {1, 1}, {912, 6}, {2000000, 21}, {int64_t{1} << 40, 1000}};
  for (const auto& c : cases) {
    const std::string header = NpyHeader(c.records, c.slots);
    SCOPED_TRACE(header);
    EXPECT_EQ(header.size() % 64, 0u);
    EXPECT_EQ(header.substr(0, 8), std::string("\x93NUMPY\x01\x00", 8));
    const size_t length = static_cast<unsigned char>(header[8]) | static_cast<unsigned char>(header[9]) << 8;
    EXPECT_EQ(length + 10, header.size());
    EXPECT_EQ(header.back(), '\n');
    EXPECT_NE(header.find("'shape': (" + std::to_string(c.records) + ", " + std::to_string(c.slots) + "), }"),
              std::string::npos);
  }
}

TEST(RecordFilesTest, CsvFieldQuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(CsvField("Local Case Count"), "Local Case Count");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
}

TEST(RecordFilesTest, WriteFaultsLeaveNoPartialFile) {
  constexpr int RECORDS = 20000;
  KVODataFileIter file(3);
  ASSERT_TRUE(file.HasValidTempFile());
  for (int i = 0; i < RECORDS; ++i) {
    const double record[3] = {static_cast<double>(i % 7), i * 0.1, -1.0 / (i + 1)};
    ASSERT_TRUE(file.AddNewRecord(record));
  }
  ASSERT_TRUE(file.CompleteDataFile());
  const std::vector<std::string> names = {"g", "x", "y"};
  for (RecordFormat format : {RecordFormat::Csv, RecordFormat::Npy}) {
    const std::string path = standin::TempDirectory() + "/kvo_records" + RecordFileEnding(format);
    SCOPED_TRACE(path);
    standin::FailFileWritesAfter(100000, ENOSPC);
    errno = 0;
    const bool written = WriteRecordFile(file, format, names, path);
    const int error = errno;
    standin::ClearFileFaults();
    EXPECT_FALSE(written);
    EXPECT_EQ(error, ENOSPC);
    EXPECT_FALSE(std::filesystem::exists(path)) << "no partial file";

    ASSERT_TRUE(WriteRecordFile(file, format, names, path)) << "the record file itself is intact";
    if (format == RecordFormat::Npy) {
      EXPECT_EQ(std::filesystem::file_size(path),
                NpyHeader(RECORDS, 3).size() + RECORDS * 3 * sizeof(double));
    } else {
      std::ifstream in(path);
      EXPECT_EQ(std::count(std::istreambuf_iterator<char>(in), {}, '\n'), RECORDS + 1);
    }
    std::filesystem::remove(path);
  }
}

}  // namespace
}  // namespace kvo
