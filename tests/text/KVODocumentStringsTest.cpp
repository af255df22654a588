#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "kvoadapter/KVOCommonDisplay.h"
#include "kvoadapter/KVODocumentStrings.h"
#include "standin/HostControl.h"

namespace {

class KVODocumentStringsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::ClearAssertReports();
    standin::SetAssertHandler([this](const standin::AssertReport& r) { fReports.push_back(r); });
  }
  void TearDown() override {
    standin::SetAssertHandler({});
    KVOCommonDisplay::SetOutStream(nullptr);
  }
  std::vector<standin::AssertReport> fReports;
};

TEST_F(KVODocumentStringsTest, AddStringReturnsTheLengthAndStoresInOrder) {
  KVODocumentStrings store;
  EXPECT_EQ(store.GetNStrings(), 0);
  EXPECT_EQ(store.AddString("abc"), 3);
  EXPECT_EQ(store.AddString(""), 0);
  EXPECT_EQ(store.GetNStrings(), 2);
  EXPECT_EQ(store.GetString(0), "abc");
  EXPECT_EQ(store.GetString(1), "");
  EXPECT_EQ(store.GetString(-1), "");
  EXPECT_EQ(store.GetString(2), "");

  // The copy stops at the first NUL; the result is still the full size.
  EXPECT_EQ(store.AddString(std::string("ab\0cd", 5)), 5);
  EXPECT_EQ(store.GetString(2), "ab");
  EXPECT_EQ(store.GetNLines(2, 1), 2);
  EXPECT_TRUE(fReports.empty());
}

TEST_F(KVODocumentStringsTest, CutsStringsIntoFixedLengthLines) {
  KVODocumentStrings store;
  store.AddString("0123456789");  // 10 characters
  store.AddString("abcdefgh");    // 8 characters
  store.AddString("");

  // Per string and line length: the number of lines and every line, then
  // one past the last (empty); strings that do not exist have no lines.
  const struct {
    int fString, fLength;
    std::vector<std::string> fLines;
  } cases[] = {
      {0, 4, {"0123", "4567", "89"}},
      {0, 10, {"0123456789"}},
      {0, 100, {"0123456789"}},
      {1, 4, {"abcd", "efgh"}},
      {2, 4, {}},
      {-1, 4, {}},
      {3, 4, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("string " + std::to_string(c.fString) + ", length " + std::to_string(c.fLength));
    EXPECT_EQ(store.GetNLines(c.fString, c.fLength), static_cast<int>(c.fLines.size()));
    for (size_t i = 0; i <= c.fLines.size(); ++i) {
      EXPECT_EQ(store.GetLine(c.fString, static_cast<int>(i), c.fLength),
                i < c.fLines.size() ? c.fLines[i] : "");
    }
  }
  EXPECT_EQ(store.GetLine(0, -1, 4), "");
  EXPECT_TRUE(fReports.empty());
}

TEST_F(KVODocumentStringsTest, NonPositiveLineLengthIsAssertedAndGivesNothing) {
  KVODocumentStrings store;
  store.AddString("0123456789");

  EXPECT_EQ(store.GetNLines(0, 0), 0);
  EXPECT_EQ(store.GetLine(0, 0, -3), "");
  ASSERT_EQ(fReports.size(), 2u);
  for (const standin::AssertReport& report : fReports) {
    EXPECT_EQ(report.fCondition, "lineLen > 0");
    EXPECT_EQ(report.fSource, "KVODocumentStrings");
  }

  // The store is untouched and goes on working.
  EXPECT_EQ(store.GetLine(0, 1, 5), "56789");
  EXPECT_EQ(fReports.size(), 2u);
}

TEST_F(KVODocumentStringsTest, CopiesOwnTheirStrings) {
  auto source = std::make_unique<KVODocumentStrings>();
  source->AddString("first");
  source->AddString("second");

  {
    KVODocumentStrings copy(*source);
    copy.AddString("only in the copy");
    EXPECT_EQ(copy.GetNStrings(), 3);
  }  // the copy is gone; the source's strings must be intact
  EXPECT_EQ(source->GetNStrings(), 2);
  EXPECT_EQ(source->GetString(0), "first");
  EXPECT_EQ(source->GetString(1), "second");

  KVODocumentStrings assigned;
  assigned.AddString("to be replaced");
  assigned = *source;
  source.reset();  // the assigned store must not depend on its source
  ASSERT_EQ(assigned.GetNStrings(), 2);
  EXPECT_EQ(assigned.GetString(0), "first");
  EXPECT_EQ(assigned.GetLine(1, 1, 3), "ond");

  const KVODocumentStrings& self = assigned;
  assigned = self;
  EXPECT_EQ(assigned.GetNStrings(), 2);
  EXPECT_EQ(assigned.GetString(1), "second");
}

TEST_F(KVODocumentStringsTest, DisplayDumpsCountAndStringsInTheFrame) {
  std::ostringstream out;
  KVOCommonDisplay::SetOutStream(&out);
  KVODocumentStrings store;
  store.Display();
  store.AddString("abc");
  store.AddString("");
  store.Display();
  EXPECT_EQ(out.str(),
            "\n \nKVODocumentStrings display start"
            "\nNumber of strings = 0"
            "\n \nKVODocumentStrings display end"
            "\n \nKVODocumentStrings display start"
            "\nNumber of strings = 2"
            "\nThe string = abc"
            "\nThe string = "
            "\n \nKVODocumentStrings display end");
}

}  // namespace
