#include <gtest/gtest.h>
#include <vorm/ObsVecMap.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "kvoadapter/KVOCommonDisplay.h"
#include "standin/HostControl.h"

namespace {

namespace D = KVOCommonDisplay;

// A string value as the host keeps it: the bytes blank-padded to the width,
// in as many cells as the width needs.
std::vector<OBS> StringCells(const std::string& text, int width) {
  std::vector<OBS> cells(static_cast<size_t>(VORM_CellCount(width)));
  std::memset(cells.data(), ' ', cells.size() * sizeof(OBS));
  std::memcpy(cells.data(), text.data(), text.size());
  return cells;
}

OBS Number(double value) {
  OBS obs;
  obs.num = value;
  return obs;
}

// A stream buffer that records how much text it held at every flush.
class FlushRecorder : public std::stringbuf {
 public:
  std::vector<size_t> fLengthAtFlush;

 protected:
  int sync() override {
    fLengthAtFlush.push_back(str().size());
    return std::stringbuf::sync();
  }
};

class KVOCommonDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    D::SetOutStream(&fOut);
    standin::ClearAssertReports();
    standin::SetAssertHandler([this](const standin::AssertReport& r) { fReports.push_back(r); });
  }
  void TearDown() override {
    standin::SetAssertHandler({});
    D::SetOutStream(nullptr);
  }
  // The text written so far, and a fresh start.
  std::string Take() {
    std::string text = fOut.str();
    fOut.str("");
    return text;
  }

  std::ostringstream fOut;
  std::vector<standin::AssertReport> fReports;
};

TEST_F(KVOCommonDisplayTest, DisplayTextWritesLineFeedsThenTextFlushingEach) {
  EXPECT_EQ(D::GetOutStream(), &fOut);
  D::DisplayText(2, "abc");
  D::DisplayText(0, std::string("def"));
  D::DisplayText(1, BP_Character("ghi"));
  D::DisplayText(1, static_cast<const char*>(nullptr));
  EXPECT_EQ(Take(), "\n\nabcdef\nghi\n");

  FlushRecorder recorder;
  std::ostream flushed(&recorder);
  D::SetOutStream(&flushed);
  D::DisplayText(2, "xy");
  EXPECT_EQ(recorder.str(), "\n\nxy");
  // A flush after each newline and one after the text.
  EXPECT_EQ(recorder.fLengthAtFlush, (std::vector<size_t>{1, 2, 4}));
}

TEST_F(KVOCommonDisplayTest, LinesGoToTheHostOutputWithoutAStream) {
  D::SetOutStream(nullptr);
  EXPECT_EQ(D::GetOutStream(), nullptr);
  standin::SetEchoFront(false);
  standin::ClearFrontOutput();
  D::DisplayI("Count", 3);
  D::DisplayD("Weight", VORM_SYSMIS);
  D::DisplayText(2, "two ahead");
  const std::string front = standin::FrontOutput();
  standin::ClearFrontOutput();
  standin::SetEchoFront(true);
  EXPECT_EQ(front, "\nCount = 3\nWeight = miss\n\ntwo ahead");
  EXPECT_EQ(fOut.str(), "");
}

TEST_F(KVOCommonDisplayTest, ScalarDisplays) {
  D::DisplayB("yes", true);
  D::DisplayB("no", false);
  D::DisplayC("code", -1);
  D::DisplayC("code", 0);
  D::DisplayC("code", 5);
  D::DisplayD("d", 2.5);
  D::DisplayD("d", -0.00001);
  D::DisplayD("d", 1234567.0);
  D::DisplayD("d", VORM_SYSMIS);
  D::DisplayI("i", -7);
  D::DisplayT("t", size_t{4000000000u});
  D::DisplayS("s", "some text");
  D::DisplayS("s", "");
  EXPECT_EQ(Take(),
            "\nyes = true"
            "\nno = false"
            "\ncode = missing value for a categorical variable"
            "\ncode = minimum categorical variable value"
            "\ncode = unrecognized"
            "\nd = 2.5"
            "\nd = -1e-05"
            "\nd = 1.23457e+06"
            "\nd = miss"
            "\ni = -7"
            "\nt = 4000000000"
            "\ns = some text"
            "\ns = ");
}

TEST_F(KVOCommonDisplayTest, ListDisplaysAndTheirEmptyForms) {
  D::DisplayBV("bv", {true, false, true});
  D::DisplayDV("dv", {1.5, VORM_SYSMIS, -3});
  D::DisplayNL("nl", {0.25});
  D::DisplayIV("iv", {1, -2, 30});
  D::DisplayVL("vl", {4});
  D::DisplayVCL("vcl", {3, 7}, {true, false});
  D::DisplayIIM("iim", {{2, 20}, {-1, 5}});
  D::DisplayVIM("vim", {{0, 0}});
  D::DisplaySL("sl", {"a", "b c", ""});
  D::DisplaySV("sv", {"x"});
  D::DisplayVNL("vnl", {VormVarName("age"), VormVarName("Income")});
  EXPECT_EQ(Take(),
            "\nbv true false true"
            "\ndv 1.5 miss -3"
            "\nnl 0.25"
            "\niv 1 -2 30"
            "\nvl 4"
            "\nvcl 3(cat) 7(cont)"
            "\niim (-1,5) (2,20)"
            "\nvim (0,0)"
            "\nsl \"a\" \"b c\" \"\""
            "\nsv \"x\""
            "\nvnl \"age\" \"Income\"");

  D::DisplayBV("bv", {});
  D::DisplayDV("dv", {});
  D::DisplayNL("nl", {});
  D::DisplayIV("iv", {});
  D::DisplayVL("vl", {});
  D::DisplayVCL("vcl", {}, {});
  D::DisplayIIM("iim", {});
  D::DisplayVIM("vim", {});
  D::DisplaySL("sl", {});
  D::DisplaySV("sv", {});
  D::DisplayVNL("vnl", {});
  D::DisplaySVV("svv", {});
  EXPECT_EQ(Take(),
            "\nbv <none>\ndv <none>\nnl <none>\niv <none>\nvl <none>\nvcl <none>"
            "\niim <none>\nvim <none>\nsl <none>\nsv <none>\nvnl <none>\nsvv <none>");
  EXPECT_TRUE(fReports.empty());
}

TEST_F(KVOCommonDisplayTest, NestedStringVectorsAreShownOnePerLine) {
  D::DisplaySVV("Split values", {{"a", "b"}, {}, {"c"}});
  EXPECT_EQ(Take(),
            "\nSplit values"
            "\nvec[0] \"a\" \"b\""
            "\nvec[1] <none>"
            "\nvec[2] \"c\"");
}

TEST_F(KVOCommonDisplayTest, MismatchedCategoricalFlagsAreAsserted) {
  D::DisplayVCL("vars", {1, 2, 3}, {false, true});
  ASSERT_EQ(fReports.size(), 1u);
  EXPECT_EQ(fReports[0].fCondition, "vars.size() == catVars.size()");
  EXPECT_EQ(fReports[0].fSource, "KVOCommonDisplay");
  // Only the variables that have a flag are shown.
  EXPECT_EQ(Take(), "\nvars 1(cont) 2(cat)");
}

TEST_F(KVOCommonDisplayTest, MapDisplaysShowOneLinePerKeyAndValue) {
  D::DisplayIntVecDVecMap("Recodes", {{{2, 1}, {0.5}}, {{1, 9}, {VORM_SYSMIS, 4}}});
  D::DisplayIntVecIntMap("Codes", {{{0}, 3}, {{}, 7}});
  D::DisplaySLDM("Totals", {{{"b"}, 1}, {{"a", "z"}, VORM_SYSMIS}});
  EXPECT_EQ(Take(),
            "\nRecodes"
            "\nMap key 1 9\nMap value miss 4"
            "\nMap key 2 1\nMap value 0.5"
            "\nCodes"
            "\nMap key <none>\nMap value = 7"
            "\nMap key 0\nMap value = 3"
            "\nTotals"
            "\nMap's String List: \"a\" \"z\"\nMap's double = miss"
            "\nMap's String List: \"b\"\nMap's double = 1");

  D::DisplayIntVecDVecMap("Recodes", {});
  D::DisplayIntVecIntMap("Codes", {});
  D::DisplaySLDM("Totals", {});
  EXPECT_EQ(Take(), "\nRecodes <none>\nCodes <none>\nTotals <none>");
}

TEST_F(KVOCommonDisplayTest, HostValuesAreFormattedAndTrimmed) {
  const OBS number = Number(3.5);
  D::DisplayObs("Number", &number, VORM_Format(VORM_Format::F, 8, 2));
  const OBS negative = Number(-2.5);
  D::DisplayObs("Negative", &negative, VORM_Format(VORM_Format::F, 6, 1));
  const std::vector<OBS> text = StringCells("  hi", 6);
  D::DisplayObs("Text", text.data(), VORM_Format(VORM_Format::A, 6, 0));
  // Only the format's width of the value is shown.
  const std::vector<OBS> wide = StringCells("abcdefghij", 10);
  D::DisplayObs("Cut", wide.data(), VORM_Format(VORM_Format::A, 4, 0));
  D::DisplayObs("Absent", nullptr, VORM_Format(VORM_Format::F, 8, 2));
  EXPECT_EQ(Take(),
            "\nNumber = 3.50"
            "\nNegative = -2.5"
            "\nText = hi"
            "\nCut = abcd");

  const OBS one = Number(1);
  const OBS two = Number(12);
  D::DisplayObsVec("Missing values", std::vector<const OBS*>{&one, &two}, VORM_Format(VORM_Format::F, 5, 1));
  D::DisplayObsVec("Missing values", std::vector<const OBS*>{}, VORM_Format(VORM_Format::F, 5, 1));
  EXPECT_EQ(Take(),
            "\nMissing values"
            "\nValue in dictionary: = 1.0"
            "\nValue in dictionary: = 12.0"
            "\nMissing values <none>"
            "\nNo values are specified.");
  EXPECT_TRUE(fReports.empty());
}

TEST_F(KVOCommonDisplayTest, ObsVecMapIsShownInKeyOrderWithEachVariablesFormat) {
  // Keys: a number, then a string of width 12 (two cells); one value cell.
  ObsVecMap map(ObsVecMap::KeySpec{0, 12}, 1);
  auto insert = [&map](double number, const std::string& text, double value) {
    std::vector<OBS> key{Number(number)};
    const std::vector<OBS> cells = StringCells(text, 12);
    key.insert(key.end(), cells.begin(), cells.end());
    map.Insert(key.data())->num = value;
  };
  insert(2, "beta", 20);
  insert(1, "zeta", 10.5);
  insert(1, "alpha", VORM_SYSMIS);
  const std::vector<VORM_Format> formats{VORM_Format(VORM_Format::F, 4, 0),
                                         VORM_Format(VORM_Format::A, 12, 0)};

  D::DisplayObsVecMapD("Map of (catlist, value) pairs", map, formats);
  EXPECT_EQ(Take(),
            "\nMap of (catlist, value) pairs"
            "\nMap key (list of strings): \"1\" \"alpha\"\nMap value = miss"
            "\nMap key (list of strings): \"1\" \"zeta\"\nMap value = 10.5"
            "\nMap key (list of strings): \"2\" \"beta\"\nMap value = 20");
  EXPECT_TRUE(fReports.empty());

  ObsVecMap empty(ObsVecMap::KeySpec{0}, 1);
  D::DisplayObsVecMapD("Pairs", empty, {VORM_Format(VORM_Format::F, 4, 0)});
  EXPECT_EQ(Take(), "\nPairs <none>");

  // Formats wider than their 3-byte key values show those values only, not
  // the cells that follow them in the entry.
  ObsVecMap shortKeys(ObsVecMap::KeySpec{3, 3}, 1);
  std::vector<OBS> key = StringCells("abc", 3);
  const std::vector<OBS> second = StringCells("xyz", 3);
  key.insert(key.end(), second.begin(), second.end());
  shortKeys.Insert(key.data())->num = 0.1;
  D::DisplayObsVecMapD("Short", shortKeys,
                       {VORM_Format(VORM_Format::A, 20, 0), VORM_Format(VORM_Format::AHEX, 8, 0)});
  EXPECT_EQ(Take(), "\nShort\nMap key (list of strings): \"abc\" \"78797A\"\nMap value = 0.1");

  // One format short: asserted, and no key is shown with a made-up format.
  D::DisplayObsVecMapD("Pairs", map, {VORM_Format(VORM_Format::F, 4, 0)});
  ASSERT_EQ(fReports.size(), 1u);
  EXPECT_EQ(fReports[0].fCondition, "formats.size() == keySpec.size()");
  EXPECT_EQ(fReports[0].fSource, "KVOCommonDisplay");
  EXPECT_EQ(Take(), "\nPairs");
}

TEST_F(KVOCommonDisplayTest, DumpFrameSurroundsItemsWithBlankLines) {
  D::DisplayStart("KVOSomething (the base class)");
  D::DisplayText(1, "item");
  D::DisplayEnd("KVOSomething");
  EXPECT_EQ(Take(),
            "\n \nKVOSomething (the base class) display start"
            "\nitem"
            "\n \nKVOSomething display end");
}

}  // namespace
