#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

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

  EXPECT_EQ(store.GetNLines(0, 4), 3);
  EXPECT_EQ(store.GetLine(0, 0, 4), "0123");
  EXPECT_EQ(store.GetLine(0, 1, 4), "4567");
  EXPECT_EQ(store.GetLine(0, 2, 4), "89");
  EXPECT_EQ(store.GetLine(0, 3, 4), "");
  EXPECT_EQ(store.GetLine(0, -1, 4), "");
  EXPECT_EQ(store.GetNLines(0, 10), 1);
  EXPECT_EQ(store.GetLine(0, 0, 10), "0123456789");
  EXPECT_EQ(store.GetNLines(0, 100), 1);
  EXPECT_EQ(store.GetLine(0, 0, 100), "0123456789");

  EXPECT_EQ(store.GetNLines(1, 4), 2);
  EXPECT_EQ(store.GetLine(1, 0, 4), "abcd");
  EXPECT_EQ(store.GetLine(1, 1, 4), "efgh");
  EXPECT_EQ(store.GetLine(1, 2, 4), "");

  EXPECT_EQ(store.GetNLines(2, 4), 0);
  EXPECT_EQ(store.GetLine(2, 0, 4), "");

  EXPECT_EQ(store.GetNLines(-1, 4), 0);
  EXPECT_EQ(store.GetNLines(3, 4), 0);
  EXPECT_EQ(store.GetLine(3, 0, 4), "");
  EXPECT_TRUE(fReports.empty());
}

TEST_F(KVODocumentStringsTest, NonPositiveLineLengthIsAssertedAndGivesNothing) {
  KVODocumentStrings store;
  store.AddString("0123456789");

  EXPECT_EQ(store.GetNLines(0, 0), 0);
  ASSERT_EQ(fReports.size(), 1u);
  EXPECT_EQ(fReports[0].fCondition, "lineLen > 0");
  EXPECT_EQ(fReports[0].fSource, "KVODocumentStrings");

  EXPECT_EQ(store.GetLine(0, 0, -3), "");
  ASSERT_EQ(fReports.size(), 2u);
  EXPECT_EQ(fReports[1].fCondition, "lineLen > 0");
  EXPECT_EQ(fReports[1].fSource, "KVODocumentStrings");

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
