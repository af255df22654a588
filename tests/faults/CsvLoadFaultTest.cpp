// Faults while a CSV file loads. Byte sequences that are not valid in the
// file's declared encoding (in a data cell, in a column name, in a
// single-byte code page's undefined positions) are refused with the file,
// line and column, never stored. A user's interruption leaves the load
// through the host's handler. Nothing is left in TMPDIR.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "standin/CsvLoader.h"
#include "standin/HostControl.h"
#include "support/TempDirWatch.h"

namespace {

const std::string SCHEMA = R"({"fields": [{"name": "id", "type": "integer"},
    {"name": "city", "type": "string", "constraints": {"maxLength": 12}},
    {"name": "note", "type": "string"}]})";

class CsvLoadFaultTest : public kvo_test::TempDirCheckedTest {
 protected:
  // Loads `csv` (in `encoding`) from a file that is removed again; the
  // error, or "" when it loaded.
  std::string LoadError(const std::string& csv, const std::string& encoding = "UTF-8") {
    fPath = fTempDir.Path() + "/data.csv";
    std::ofstream(fPath, std::ios::binary) << csv;
    standin::CsvSchema schema;
    std::string error;
    EXPECT_TRUE(standin::ParseSchema(SCHEMA, "schema.json", schema, error)) << error;
    standin::CsvOptions options;
    options.fEncoding = encoding;
    std::unique_ptr<standin::MemoryDataSource> data =
        standin::LoadCsvDataSource(fPath, schema, options, error);
    std::remove(fPath.c_str());
    if (data != nullptr) return "";
    EXPECT_FALSE(error.empty());
    return error;
  }

  std::string fPath;
};

TEST_F(CsvLoadFaultTest, InvalidUtf8InAUtf8FileIsRefusedWithItsPlace) {
  // Well-formed text in both string fields loads.
  EXPECT_EQ(LoadError("id,city,note\n1,Z\xC3\xBCrich,\xE2\x82\xAC 5\n"), "");

  struct Case {
    const char* fWhat;
    std::string fCsv;
    std::string fPlace;
  };
  const Case cases[] = {
      {"a lone continuation byte", "id,city,note\n1,ok,fine\n2,Z\x80rich,x\n", "line 3, column 2 (city)"},
      {"a truncated sequence at the end of a cell", "id,city,note\n1,ok,caf\xC3\n",
       "line 2, column 3 (note)"},
      {"an overlong slash", "id,city,note\n1,\xC0\xAF,x\n", "line 2, column 2 (city)"},
      {"an encoded surrogate", "id,city,note\n1,a,\xED\xA0\x80\n", "line 2, column 3 (note)"},
      {"a byte that never occurs", "id,city,note\n1,\xFF,x\n", "line 2, column 2 (city)"},
      {"a quoted cell", "id,city,note\n1,\"a,\xFE\",x\n", "line 2, column 2 (city)"},
  };
  for (const Case& c : cases) {
    const std::string error = LoadError(c.fCsv);
    EXPECT_EQ(error.rfind(fPath + ": " + c.fPlace + ": ", 0), 0u) << c.fWhat << ": " << error;
    EXPECT_NE(error.find("is not valid text in the encoding UTF-8"), std::string::npos)
        << c.fWhat << ": " << error;
  }

  // In a column name, also one that no field is bound to.
  for (const std::string csv : {"id,ci\xF0\x28ty,note\n1,a,b\n", "id,city,note,extr\xC3\n1,a,b,c\n"}) {
    const std::string error = LoadError(csv);
    EXPECT_EQ(error.rfind(fPath + ": line 1, column ", 0), 0u) << error;
    EXPECT_NE(error.find("is not valid text in the encoding UTF-8"), std::string::npos) << error;
  }
}

TEST_F(CsvLoadFaultTest, UndefinedBytesOfACodePageAreRefused) {
  // 0x80 is the euro sign in CP1252; 0x81 is not a character there.
  EXPECT_EQ(LoadError("id,city,note\n1,\x80,x\n", "CP1252"), "");
  const std::string error = LoadError(
      "id,city,note\n1,a\x81"
      "b,x\n",
      "CP1252");
  EXPECT_EQ(error.rfind(fPath + ": line 2, column 2 (city): ", 0), 0u) << error;
  EXPECT_NE(error.find("is not valid text in the encoding CP1252"), std::string::npos) << error;
}

TEST_F(CsvLoadFaultTest, InterruptionWhileLoadingLeavesThroughTheHost) {
  // Enough rows for several looks at the request, and a string column of
  // undeclared width, so that both passes over the file are reached.
  std::string csv = "id,city,note\n";
  for (int row = 1; row <= 20000; ++row) csv += std::to_string(row) + ",c,n" + std::to_string(row) + "\n";
  standin::RequestInterrupt();
  bool interrupted = false;
  try {
    LoadError(csv);
  } catch (const standin::HostInterrupt& interrupt) {
    interrupted = !interrupt.fTimeOut;
    std::remove(fPath.c_str());
  }
  EXPECT_TRUE(interrupted);
  EXPECT_FALSE(standin::InterruptPending());
  // Without a request the same file loads.
  EXPECT_EQ(LoadError(csv), "");
}

}  // namespace
