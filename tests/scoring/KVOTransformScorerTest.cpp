// The transform scorer over an in-memory host data set: preparation and its
// failures, target matching, string trimming in both modes, transcoding, and
// a dozen-field model checked case by case against the same arithmetic
// written in C++.
#include <gtest/gtest.h>
#include <kvoadapter/KVOTransformScorer.h>

#include <memory>
#include <type_traits>

#include "standin/HostControl.h"
#include "standin/MemoryDataSource.h"
#include "support/TransformModelSamples.h"

namespace {

constexpr double SYSMIS = VORM_SYSMIS;

static_assert(!std::is_copy_constructible_v<KVOTransformScorer>);
static_assert(!std::is_copy_assignable_v<KVOTransformScorer>);

std::string Pmml(const std::string& fields, const std::string& derived) {
  return "<PMML version=\"4.3\"><DataDictionary>" + fields + "</DataDictionary><TransformationDictionary>" +
         derived + "</TransformationDictionary></PMML>";
}

std::string NumberField(const std::string& name) {
  return "<DataField name=\"" + name + "\" optype=\"continuous\" dataType=\"double\"/>";
}
std::string StringField(const std::string& name) {
  return "<DataField name=\"" + name + "\" optype=\"categorical\" dataType=\"string\"/>";
}
std::string Derived(const std::string& name, const std::string& expression,
                    const std::string& type = "double") {
  return "<DerivedField name=\"" + name + "\" optype=\"continuous\" dataType=\"" + type + "\">" + expression +
         "</DerivedField>";
}
// 1 when string input `field` equals `text` exactly (the text goes in CDATA,
// so blanks and tabs stay as written).
std::string Is(const std::string& field, const std::string& text) {
  return "<Apply function=\"equal\"><FieldRef field=\"" + field +
         "\"/><Constant dataType=\"string\"><![CDATA[" + text + "]]></Constant></Apply>";
}

class KVOTransformScorerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::ClearAssertReports();
    standin::SetAssertHandler([](const standin::AssertReport&) {});
  }
  void TearDown() override {
    standin::SetAssertHandler({});
    standin::ClearAssertReports();
    standin::SetHostEncoding("UTF-8");
  }
  VORM_InputCaseIterator& Iterator() {
    fpIterator.reset(fData.NewCaseIterator(0));
    EXPECT_NE(fpIterator, nullptr);
    return *fpIterator;
  }
  // Moves to the next case and scores it.
  bool ScoreNext(KVOTransformScorer& scorer) {
    EXPECT_NE(fpIterator->NextCase(), 0);
    return scorer.ScoreRecord();
  }

  standin::MemoryDataSource fData;
  std::unique_ptr<VORM_InputCaseIterator> fpIterator;
};

TEST_F(KVOTransformScorerTest, DozenFieldModelMatchesHandWrittenArithmeticOnEveryCase) {
  const int age = fData.AddNumeric("Age");
  const int income = fData.AddNumeric("INCOME");
  const int score = fData.AddNumeric("score");
  const int region = fData.AddString("Region", 8);
  fData.AddNumeric("unused");
  struct Row {
    double fAge, fIncome, fScore;
    std::string fRegion;
  };
  const std::vector<Row> rows = {
      {25, 30000, 64, "north"},    {45, 80000, 81, "south"},  {70, 120000, 49, "east"},
      {SYSMIS, 60000, 36, "west"}, {30, SYSMIS, 16, "north"}, {30, SYSMIS, SYSMIS, "none"},
      {0, 0, SYSMIS, ""},          {60, -5, -4, "south"},     {29.5, 50000, 100, "  east"},
      {100, 1, 0, "north"},        {150, 1e6, 2.25, "east"},  {-3, 51000, 64, "none"},
  };
  for (const Row& row : rows) {
    fData.AddCase();
    fData.SetNumber(age, row.fAge);
    fData.SetNumber(income, row.fIncome);
    fData.SetNumber(score, row.fScore);
    fData.SetString(region, row.fRegion);
  }

  KVOTransformScorer scorer;
  ASSERT_TRUE(scorer.PrepareScoring(&Iterator(), true, kvotest::DOZEN_FIELD_MODEL, {}, true));
  EXPECT_EQ(scorer.GetInputModelVarNames(), (std::vector<std::string>{"age", "income", "score", "region"}));
  ASSERT_EQ(scorer.GetOutputModelVarNames().size(), 12u);
  EXPECT_EQ(scorer.GetOutputModelVarNames()[0], "logIncome");
  EXPECT_EQ(scorer.GetOutputModelVarNames()[11], "edge");
  ASSERT_EQ(scorer.GetTargetValues().size(), 12u);
  for (double v : scorer.GetTargetValues()) EXPECT_EQ(v, SYSMIS);  // nothing scored yet

  for (size_t c = 0; c < rows.size(); ++c) {
    ASSERT_TRUE(ScoreNext(scorer)) << "case " << c;
    // The host pads the region with blanks; the scorer trims them, but the
    // leading blanks of "  east" stay, and an empty value becomes one blank.
    std::string trimmed = rows[c].fRegion.empty() ? " " : rows[c].fRegion;
    auto expected = kvotest::DozenFieldExpected(rows[c].fAge, rows[c].fIncome, rows[c].fScore, trimmed);
    const std::vector<double>& got = scorer.GetTargetValues();
    for (int j = 0; j < kvotest::DOZEN_FIELD_OUTPUTS; ++j) {
      EXPECT_DOUBLE_EQ(got[static_cast<size_t>(j)], expected[static_cast<size_t>(j)])
          << "case " << c << ", output " << scorer.GetOutputModelVarNames()[static_cast<size_t>(j)];
    }
  }
  EXPECT_EQ(fpIterator->NextCase(), 0);
  EXPECT_TRUE(standin::AssertReports().empty());
}

TEST_F(KVOTransformScorerTest, TargetsMatchOutputNamesWithoutRegardToCase) {
  const int x = fData.AddNumeric("x");
  fData.AddCase();
  fData.SetNumber(x, 4);
  const std::string model = Pmml(NumberField("x"), Derived("Double",
                                                           "<Apply function=\"*\"><FieldRef field=\"x\"/>"
                                                           "<Constant>2</Constant></Apply>") +
                                                       Derived("Plus1",
                                                               "<Apply function=\"+\"><FieldRef field=\"x\"/>"
                                                               "<Constant>1</Constant></Apply>"));
  KVOTransformScorer scorer;
  ASSERT_TRUE(scorer.PrepareScoring(&Iterator(), false, model, {"plus1", "DOUBLE", "Plus1"}, false));
  ASSERT_TRUE(ScoreNext(scorer));
  EXPECT_EQ(scorer.GetTargetValues(), (std::vector<double>{5, 8, 5}));

  KVOTransformScorer unknown;
  EXPECT_FALSE(unknown.PrepareScoring(&Iterator(), false, model, {"Double", "Triple"}, true));
}

TEST_F(KVOTransformScorerTest, StringValuesAreTrimmedAtTheEndOnly) {
  const int note = fData.AddString("note", 8);
  for (const char* value : {"        ", "AB", "AB\t", "AB\n", " A", "A\tB", "\t"}) {
    fData.AddCase();
    fData.SetString(note, value);
  }
  const std::string model =
      Pmml(StringField("note"), Derived("blank", Is("note", " ")) + Derived("ab", Is("note", "AB")) +
                                    Derived("abTab", Is("note", "AB\t")) + Derived("lead", Is("note", " A")) +
                                    Derived("inner", Is("note", "A\tB")) + Derived("tab", Is("note", "\t")));
  // Outputs: blank, ab, abTab, lead, inner, tab.
  const std::vector<std::vector<double>> unicode = {
      {1, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0},
      {0, 0, 0, 1, 0, 0}, {0, 0, 0, 0, 1, 0}, {0, 0, 0, 0, 0, 1}};
  std::vector<std::vector<double>> host = unicode;
  host[2] = {0, 0, 1, 0, 0, 0};  // the tab stays outside unicode mode
  for (bool mode : {true, false}) {
    KVOTransformScorer scorer;
    ASSERT_TRUE(scorer.PrepareScoring(&Iterator(), mode, model, {}, true));
    const auto& expected = mode ? unicode : host;
    for (size_t c = 0; c < expected.size(); ++c) {
      ASSERT_TRUE(ScoreNext(scorer));
      EXPECT_EQ(scorer.GetTargetValues(), expected[c]) << "case " << c << (mode ? " (unicode)" : " (host)");
    }
  }
}

// x has the user-missing values 9 and 7 to 8, s the user-missing "NA":
// numbers reach the model as missing when asked for, texts always as texts.
TEST_F(KVOTransformScorerTest, UserMissingNumbersGoAsMissingWhenAsked) {
  standin::VariableSpec spec;
  spec.fName = "x";
  spec.fMissingNumbers = {9};
  spec.fHasMissingRange = true;
  spec.fMissingLow = 7;
  spec.fMissingHigh = 8;
  const int x = fData.AddVariable(spec);
  spec = {};
  spec.fName = "s";
  spec.fType = 2;
  spec.fMissingStrings = {"NA"};
  const int text = fData.AddVariable(spec);
  for (double v : {1.0, 9.0, 7.5, SYSMIS}) {
    fData.AddCase();
    fData.SetNumber(x, v);
    fData.SetString(text, "NA");
  }
  const std::string model =
      Pmml(NumberField("x") + StringField("s"),
           Derived("y", "<Apply function=\"+\"><FieldRef field=\"x\"/><Constant>1</Constant></Apply>") +
               Derived("na", Is("s", "NA")));
  const std::vector<double> asData = {2, 1, 10, 1, 8.5, 1, SYSMIS, 1};
  const std::vector<double> asMissing = {2, 1, SYSMIS, 1, SYSMIS, 1, SYSMIS, 1};
  for (bool exclude : {false, true}) {
    KVOTransformScorer scorer;
    if (exclude) scorer.SetUserMissingAsMissing(true);
    ASSERT_TRUE(scorer.PrepareScoring(&Iterator(), true, model, {}, true));
    const std::vector<double>& expected = exclude ? asMissing : asData;
    for (size_t c = 0; c < 4; ++c) {
      ASSERT_TRUE(ScoreNext(scorer));
      EXPECT_EQ(scorer.GetTargetValues(), (std::vector<double>{expected[2 * c], expected[2 * c + 1]}))
          << "case " << c << (exclude ? " (as missing)" : " (as data)");
    }
  }
}

TEST_F(KVOTransformScorerTest, FailedCaseLeavesEveryTargetMissing) {
  const int x = fData.AddNumeric("x");
  for (double v : {std::exp(1.0), -1.0, 1.0}) {
    fData.AddCase();
    fData.SetNumber(x, v);
  }
  const std::string model = Pmml(
      NumberField("x"),
      Derived(
          "lx",
          "<Apply function=\"ln\" invalidValueTreatment=\"returnInvalid\"><FieldRef field=\"x\"/></Apply>") +
          Derived("x2", "<Apply function=\"*\"><FieldRef field=\"x\"/><Constant>2</Constant></Apply>"));
  KVOTransformScorer scorer;
  ASSERT_TRUE(scorer.PrepareScoring(&Iterator(), true, model, {}, true));
  ASSERT_TRUE(ScoreNext(scorer));
  EXPECT_DOUBLE_EQ(scorer.GetTargetValues()[0], 1.0);
  EXPECT_FALSE(ScoreNext(scorer));
  EXPECT_EQ(scorer.GetTargetValues(), (std::vector<double>{SYSMIS, SYSMIS}));
  ASSERT_TRUE(ScoreNext(scorer));
  EXPECT_EQ(scorer.GetTargetValues(), (std::vector<double>{0, 2}));

  // An unprepared scorer scores nothing.
  KVOTransformScorer unprepared;
  EXPECT_FALSE(unprepared.ScoreRecord());
  EXPECT_TRUE(unprepared.GetTargetValues().empty());
}

TEST_F(KVOTransformScorerTest, PreparationFailsWhenModelAndDataDoNotFit) {
  fData.AddNumeric("num");
  fData.AddString("str", 4);
  const std::string ok = Pmml(NumberField("num"), Derived("r", "<FieldRef field=\"num\"/>"));
  KVOTransformScorer good;
  EXPECT_TRUE(good.PrepareScoring(&Iterator(), true, ok, {}, true));

  struct Case {
    const char* fWhat;
    std::string fModel;
  };
  const std::vector<Case> cases = {
      {"numeric model input, string host variable",
       Pmml(NumberField("str"), Derived("r", "<FieldRef field=\"str\"/>"))},
      {"string model input, numeric host variable",
       Pmml(StringField("num"), Derived("r", "<NormDiscrete field=\"num\" value=\"a\"/>"))},
      {"input with no host variable",
       Pmml(NumberField("absent"), Derived("r", "<FieldRef field=\"absent\"/>"))},
      {"string output", Pmml(StringField("str"), Derived("r", "<FieldRef field=\"str\"/>", "string"))},
      {"not a model", "<PMML version=\"4.4\"><DataDictionary/></PMML>"},
      {"malformed", "<PMML"},
      {"empty model", ""},
  };
  for (const Case& c : cases) {
    KVOTransformScorer scorer;
    EXPECT_FALSE(scorer.PrepareScoring(&Iterator(), true, c.fModel, {}, true)) << c.fWhat;
  }
  KVOTransformScorer noIterator;
  EXPECT_FALSE(noIterator.PrepareScoring(nullptr, true, ok, {}, true));
  EXPECT_TRUE(standin::AssertReports().empty());
}

TEST_F(KVOTransformScorerTest, HostEncodingIsConvertedOutsideUnicodeMode) {
  standin::SetHostEncoding("CP1252");
  // Host names and values in CP1252; the model speaks UTF-8.
  const int size = fData.AddString(
      "Gr\xF6\xDF"
      "e",
      8);
  for (const char* value : {"caf\xE9", "\x80", "cafe"}) {
    fData.AddCase();
    fData.SetString(size, value);
  }
  const std::string model = Pmml(StringField("Gr\xC3\xB6\xC3\x9F"
                                             "e"),
                                 Derived("Ma\xC3\x9F", Is("Gr\xC3\xB6\xC3\x9F"
                                                          "e",
                                                          "caf\xC3\xA9")) +
                                     Derived("euro", Is("Gr\xC3\xB6\xC3\x9F"
                                                        "e",
                                                        "\xE2\x82\xAC")));
  KVOTransformScorer scorer;
  ASSERT_TRUE(scorer.PrepareScoring(&Iterator(), false, model, {"MA\xDF", "Euro"}, false));
  EXPECT_EQ(scorer.GetInputModelVarNames()[0],
            "Gr\xC3\xB6\xC3\x9F"
            "e");
  ASSERT_TRUE(ScoreNext(scorer));
  EXPECT_EQ(scorer.GetTargetValues(), (std::vector<double>{1, 0}));
  ASSERT_TRUE(ScoreNext(scorer));
  EXPECT_EQ(scorer.GetTargetValues(), (std::vector<double>{0, 1}));
  EXPECT_TRUE(standin::AssertReports().empty());

  // In unicode mode the same host bytes are taken as UTF-8 names: the
  // CP1252 name does not match the model's.
  KVOTransformScorer unicode;
  EXPECT_FALSE(unicode.PrepareScoring(&Iterator(), true, model, {}, true));
}

// Refused calls and unusable values: the scorer stays unprepared or fails
// the case, and nothing of an earlier model or case is used instead. Every
// host holds n (the case number), s (a string of width 4) and GR (numeric).
TEST_F(KVOTransformScorerTest, RefusalsLeaveNoStaleState) {
  const std::string sIsA = Pmml(StringField("s"), Derived("a", Is("s", "a")));
  const std::string twiceN =
      Pmml(NumberField("n"),
           Derived("twice", "<Apply function=\"*\"><FieldRef field=\"n\"/><Constant>2</Constant></Apply>"));
  const std::vector<double> FAILS;  // the case fails: every target missing
  struct Case {
    const char* fWhat;
    const char* fEncoding;
    bool fUnicode;
    std::vector<const char*> fStrings;  // s, case by case
    std::string fModel;
    std::string fSecondModel;                   // prepared next, when given
    bool fPrepared;                             // the first preparation succeeds
    std::vector<std::string> fInputNames;       // after the preparation(s)
    std::vector<std::vector<double>> fTargets;  // per case, or FAILS
    int64_t fUnconvertible;
    std::vector<std::string> fAssertions;
  };
  const std::vector<Case> cases = {
      {"an input with no host variable after one that has",
       "UTF-8",
       true,
       {"a", "b"},
       Pmml(
           NumberField("n") + NumberField("absent"),
           Derived("r", "<Apply function=\"+\"><FieldRef field=\"n\"/><FieldRef field=\"absent\"/></Apply>")),
       "",
       false,
       {"n"},
       {FAILS, FAILS},
       0,
       {}},
      {"a second preparation",
       "UTF-8",
       true,
       {"a", "b"},
       twiceN,
       sIsA,
       true,
       {"n"},
       {{2}, {4}},
       0,
       {"!fbPrepareCalled"}},
      {"a failed preparation, then a second one",
       "UTF-8",
       true,
       {"a"},
       "<PMML",
       twiceN,
       false,
       {},
       {FAILS},
       0,
       {"!fbPrepareCalled"}},
      {"a value that is not UTF-8 in a UTF-8 host",
       "UTF-8",
       false,
       {"a", "\xFF", "b", "a"},
       sIsA,
       "",
       true,
       {"s"},
       {{1}, FAILS, {0}, {1}},
       1,
       {"errCode == 0"}},
      {"a byte that CP1252 does not map",
       "CP1252",
       false,
       {"a", "a\x81", "b"},
       sIsA,
       "",
       true,
       {"s"},
       {{1}, FAILS, {0}},
       1,
       {"errCode == 0"}},
      // Converted, the name would stop after "Gr" and match GR.
      {"an input name that ASCII cannot hold",
       "ASCII",
       false,
       {"a"},
       Pmml(NumberField("Gr\xC3\xB6\xC3\x9F"
                        "e"),
            Derived("r",
                    "<FieldRef field=\"Gr\xC3\xB6\xC3\x9F"
                    "e\"/>")),
       "",
       false,
       {},
       {FAILS},
       0,
       {"errCode == 0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fWhat);
    standin::SetHostEncoding(c.fEncoding);
    standin::ClearAssertReports();
    standin::MemoryDataSource data;
    const int n = data.AddNumeric("n");
    const int s = data.AddString("s", 4);
    data.AddNumeric("GR");
    for (size_t k = 0; k < c.fStrings.size(); ++k) {
      data.AddCase();
      data.SetNumber(n, static_cast<double>(k + 1));
      data.SetString(s, c.fStrings[k]);
    }
    std::unique_ptr<VORM_InputCaseIterator> iterator(data.NewCaseIterator(0));
    KVOTransformScorer scorer;
    EXPECT_EQ(scorer.PrepareScoring(iterator.get(), c.fUnicode, c.fModel, {}, true), c.fPrepared);
    if (!c.fSecondModel.empty()) {
      EXPECT_FALSE(scorer.PrepareScoring(iterator.get(), c.fUnicode, c.fSecondModel, {}, true));
    }
    EXPECT_EQ(scorer.GetInputModelVarNames(), c.fInputNames);
    for (size_t k = 0; k < c.fTargets.size(); ++k) {
      ASSERT_NE(iterator->NextCase(), 0);
      const std::vector<double>& expected = c.fTargets[k];
      if (expected.empty()) {
        EXPECT_FALSE(scorer.ScoreRecord()) << "case " << k;
        for (double v : scorer.GetTargetValues()) EXPECT_EQ(v, SYSMIS) << "case " << k;
      } else {
        EXPECT_TRUE(scorer.ScoreRecord()) << "case " << k;
        EXPECT_EQ(scorer.GetTargetValues(), expected) << "case " << k;
      }
    }
    EXPECT_EQ(scorer.GetUnconvertibleCaseCount(), c.fUnconvertible);
    std::vector<std::string> conditions;
    for (const standin::AssertReport& report : standin::AssertReports()) {
      conditions.push_back(report.fCondition);
      EXPECT_EQ(report.fSource, "backend/kvoadapter/KVOTransformScorer");
    }
    EXPECT_EQ(conditions, c.fAssertions);
  }
}

}  // namespace
