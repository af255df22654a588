// The transformation-model reader and score computer of the component
// library, through the factory: each expression kind against values worked
// out by hand, PMML's missing-value rules, and every kind of bad model.
#include <gtest/gtest.h>
#include <qor/Record.h>
#include <qor/Scoring.h>

#include <cmath>
#include <memory>
#include <sstream>

namespace {

using QorCommon::Value;
using QorCommon::ValueRecord;
using QorXML::IQorScoreComputer;

constexpr double SYSMIS = QorCommon::QorMV::MISSING;

// Inputs x, y (numbers) and s (a string) and the given derived fields.
std::string Pmml(const std::string& derived, const std::string& fields = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<PMML version=\"4.4\" xmlns=\"http://www.dmg.org/PMML-4_4\">\n"
         "  <Header copyright=\"none\"/>\n"
         "  <DataDictionary>\n"
         "    <DataField name=\"x\" optype=\"continuous\" dataType=\"double\"/>\n"
         "    <DataField name=\"y\" optype=\"continuous\" dataType=\"double\"/>\n"
         "    <DataField name=\"s\" optype=\"categorical\" dataType=\"string\"/>\n" +
         fields +
         "  </DataDictionary>\n"
         "  <TransformationDictionary>\n" +
         derived +
         "  </TransformationDictionary>\n"
         "</PMML>\n";
}

std::string Derived(const std::string& name, const std::string& expression,
                    const std::string& type = "double") {
  return "    <DerivedField name=\"" + name + "\" optype=\"continuous\" dataType=\"" + type + "\">" +
         expression + "</DerivedField>\n";
}

// A model read from text, with its records laid out.
struct Scorer {
  std::unique_ptr<IQorScoreComputer> fpComputer;
  std::string fError;
  ValueRecord fIn{2};
  ValueRecord fOut{2};

  explicit Scorer(const std::string& text) {
    QorXML::QorSettings settings;
    QorScoring::QorScorerFactory factory;
    std::istringstream stream(text);
    fpComputer.reset(factory.CreateQorScoringObject(settings, stream));
    fError = factory.LastError();
    if (!fpComputer) return;
    fIn.AddValue("x", Value(SYSMIS));
    fIn.AddValue("y", Value(SYSMIS));
    fIn.AddValue("s", Value(""));
    fpComputer->PrepareOutputRecord(fOut);
  }

  // Scores one case; false on an error status.
  bool Score(double x, double y = 0.0, const std::string& s = "") {
    fIn[0] = x;
    fIn[1] = y;
    fIn[2] = s;
    return !fpComputer->Score(fIn, fOut, false).IsError();
  }
  double Number(int j = 0) { return fOut[j]; }
  std::string Text(int j = 0) const { return fOut[j].GetString(); }
};

// The value of one derived field "r" of `expression` for one case.
double Eval(const std::string& expression, double x, double y = 0.0, const std::string& s = "") {
  Scorer scorer(Pmml(Derived("r", expression)));
  EXPECT_NE(scorer.fpComputer, nullptr) << scorer.fError << "\n" << expression;
  if (!scorer.fpComputer) return NAN;
  EXPECT_TRUE(scorer.Score(x, y, s)) << expression;
  return scorer.Number();
}

std::string Apply(const std::string& function, const std::string& args, const std::string& attributes = "") {
  return "<Apply function=\"" + function + "\"" + attributes + ">" + args + "</Apply>";
}
const std::string X = "<FieldRef field=\"x\"/>";
const std::string Y = "<FieldRef field=\"y\"/>";
const std::string S = "<FieldRef field=\"s\"/>";
std::string C(const std::string& text, const std::string& type = "") {
  return "<Constant" + (type.empty() ? "" : " dataType=\"" + type + "\"") + ">" + text + "</Constant>";
}

TEST(TransformModelTest, ArithmeticAndMathematicalFunctions) {
  EXPECT_EQ(Eval(Apply("+", X + Y), 7, 2), 9);
  EXPECT_EQ(Eval(Apply("-", X + Y), 7, 2), 5);
  EXPECT_EQ(Eval(Apply("*", X + Y), 7, 2), 14);
  EXPECT_EQ(Eval(Apply("/", X + Y), 7, 2), 3.5);
  EXPECT_EQ(Eval(Apply("min", X + Y + C("3")), 7, 2), 2);
  EXPECT_EQ(Eval(Apply("max", X + Y + C("3")), 7, 2), 7);
  EXPECT_EQ(Eval(Apply("sum", X + Y + C("3")), 7, 2), 12);
  EXPECT_EQ(Eval(Apply("avg", X + Y + C("3")), 7, 2), 4);
  EXPECT_EQ(Eval(Apply("product", X + Y + C("3")), 7, 2), 42);
  EXPECT_NEAR(Eval(Apply("log10", X), 1000), 3.0, 1e-12);
  EXPECT_NEAR(Eval(Apply("ln", X), std::exp(2.0)), 2.0, 1e-12);
  EXPECT_NEAR(Eval(Apply("exp", X), 1), 2.718281828459045, 1e-12);
  EXPECT_EQ(Eval(Apply("sqrt", X), 16), 4);
  EXPECT_EQ(Eval(Apply("abs", X), -2.5), 2.5);
  EXPECT_EQ(Eval(Apply("pow", X + Y), 2, 10), 1024);
  EXPECT_EQ(Eval(Apply("threshold", X + Y), 7, 2), 1);
  EXPECT_EQ(Eval(Apply("threshold", X + Y), 2, 2), 0);
  EXPECT_EQ(Eval(Apply("floor", X), -2.5), -3);
  EXPECT_EQ(Eval(Apply("ceil", X), -2.5), -2);
  // Halves round towards positive infinity.
  EXPECT_EQ(Eval(Apply("round", X), 2.5), 3);
  EXPECT_EQ(Eval(Apply("round", X), -2.5), -2);
  EXPECT_EQ(Eval(Apply("round", X), 2.49), 2);
  // Nested: (x + 1) * (y - 1) / 2 at x = 3, y = 5 is 8.
  EXPECT_EQ(Eval(Apply("/", Apply("*", Apply("+", X + C("1")) + Apply("-", Y + C("1"))) + C("2")), 3, 5), 8);
}

TEST(TransformModelTest, ComparisonsLogicMembershipAndIf) {
  EXPECT_EQ(Eval(Apply("equal", X + C("7")), 7), 1);
  EXPECT_EQ(Eval(Apply("notEqual", X + C("7")), 7), 0);
  EXPECT_EQ(Eval(Apply("lessThan", X + Y), 1, 2), 1);
  EXPECT_EQ(Eval(Apply("lessOrEqual", X + Y), 2, 2), 1);
  EXPECT_EQ(Eval(Apply("greaterThan", X + Y), 2, 2), 0);
  EXPECT_EQ(Eval(Apply("greaterOrEqual", X + Y), 3, 2), 1);
  const std::string xPos = Apply("greaterThan", X + C("0"));
  const std::string yPos = Apply("greaterThan", Y + C("0"));
  EXPECT_EQ(Eval(Apply("and", xPos + yPos), 1, 1), 1);
  EXPECT_EQ(Eval(Apply("and", xPos + yPos), 1, -1), 0);
  EXPECT_EQ(Eval(Apply("or", xPos + yPos), -1, 1), 1);
  EXPECT_EQ(Eval(Apply("or", xPos + yPos), -1, -1), 0);
  EXPECT_EQ(Eval(Apply("not", xPos), -1), 1);
  const std::string ints = "<Array n=\"3\" type=\"int\">1 2 3</Array>";
  EXPECT_EQ(Eval(Apply("isIn", X + ints), 2), 1);
  EXPECT_EQ(Eval(Apply("isIn", X + ints), 4), 0);
  EXPECT_EQ(Eval(Apply("isNotIn", X + ints), 4), 1);
  const std::string towns = "<Array n=\"3\" type=\"string\">Bern \"New York\" \"say \\\"hi\\\"\"</Array>";
  EXPECT_EQ(Eval(Apply("isIn", S + towns), 0, 0, "New York"), 1);
  EXPECT_EQ(Eval(Apply("isIn", S + towns), 0, 0, "say \"hi\""), 1);
  EXPECT_EQ(Eval(Apply("isIn", S + towns), 0, 0, "New"), 0);
  EXPECT_EQ(Eval(Apply("if", xPos + C("10") + C("20")), 1), 10);
  EXPECT_EQ(Eval(Apply("if", xPos + C("10") + C("20")), -1), 20);
  EXPECT_EQ(Eval(Apply("if", xPos + C("10")), -1), SYSMIS);  // no else branch
  // Texts compare as texts; an untyped constant takes the other side's kind.
  EXPECT_EQ(Eval(Apply("equal", S + C("abc")), 0, 0, "abc"), 1);
  EXPECT_EQ(Eval(Apply("equal", S + C("12")), 0, 0, "12"), 1);
  EXPECT_EQ(Eval(Apply("lessThan", S + C("b")), 0, 0, "abc"), 1);
  EXPECT_EQ(Eval(Apply("equal", S + C("12", "string")), 0, 0, "12.0"), 0);
}

TEST(TransformModelTest, NormalisationsDiscretisationAndLookups) {
  const std::string points =
      "<LinearNorm orig=\"0\" norm=\"0\"/><LinearNorm orig=\"10\" norm=\"1\"/><LinearNorm orig=\"20\" "
      "norm=\"3\"/>";
  auto norm = [&](const std::string& attributes) {
    return "<NormContinuous field=\"x\"" + attributes + ">" + points + "</NormContinuous>";
  };
  EXPECT_EQ(Eval(norm(""), 5), 0.5);
  EXPECT_EQ(Eval(norm(""), 15), 2);
  EXPECT_EQ(Eval(norm(""), 20), 3);
  EXPECT_EQ(Eval(norm(""), -10), -1);  // extrapolated along the first piece
  EXPECT_EQ(Eval(norm(""), 30), 5);    // and along the last (slope 0.2)
  EXPECT_EQ(Eval(norm(" outliers=\"asMissingValues\""), 30), SYSMIS);
  EXPECT_EQ(Eval(norm(" outliers=\"asExtremeValues\""), -10), 0);
  EXPECT_EQ(Eval(norm(" outliers=\"asExtremeValues\""), 30), 3);
  EXPECT_EQ(Eval(norm(" mapMissingTo=\"9\""), SYSMIS), 9);
  EXPECT_EQ(Eval(norm(""), SYSMIS), SYSMIS);

  EXPECT_EQ(Eval("<NormDiscrete field=\"x\" value=\"7\"/>", 7), 1);
  EXPECT_EQ(Eval("<NormDiscrete field=\"x\" value=\"7\"/>", 8), 0);
  EXPECT_EQ(Eval("<NormDiscrete field=\"s\" value=\"red\"/>", 0, 0, "red"), 1);
  EXPECT_EQ(Eval("<NormDiscrete field=\"s\" value=\"red\"/>", 0, 0, "Red"), 0);
  EXPECT_EQ(Eval("<NormDiscrete field=\"x\" value=\"7\" mapMissingTo=\"-1\"/>", SYSMIS), -1);

  const std::string bins =
      "<DiscretizeBin binValue=\"1\"><Interval closure=\"openClosed\" rightMargin=\"0\"/></DiscretizeBin>"
      "<DiscretizeBin binValue=\"2\"><Interval closure=\"openOpen\" leftMargin=\"0\" "
      "rightMargin=\"10\"/></DiscretizeBin>"
      "<DiscretizeBin binValue=\"3\"><Interval closure=\"closedOpen\" leftMargin=\"20\"/></DiscretizeBin>";
  auto discretize = [&](const std::string& attributes) {
    return "<Discretize field=\"x\"" + attributes + ">" + bins + "</Discretize>";
  };
  EXPECT_EQ(Eval(discretize(""), -5), 1);
  EXPECT_EQ(Eval(discretize(""), 0), 1);  // closed on the right
  EXPECT_EQ(Eval(discretize(""), 0.5), 2);
  EXPECT_EQ(Eval(discretize(""), 10), SYSMIS);  // between the bins, no default
  EXPECT_EQ(Eval(discretize(" defaultValue=\"0\""), 10), 0);
  EXPECT_EQ(Eval(discretize(""), 20), 3);
  EXPECT_EQ(Eval(discretize(" mapMissingTo=\"-1\" defaultValue=\"0\""), SYSMIS), -1);
  EXPECT_EQ(Eval(discretize(" defaultValue=\"0\""), SYSMIS),
            SYSMIS);  // the default is for values outside the bins

  const std::string table =
      "<InlineTable><row><k>a</k><v>1.5</v></row><row><k>b</k><v>2.5</v></row><row><k>a</k><v>9</v></row>"
      "</InlineTable>";
  auto lookup = [&](const std::string& attributes) {
    return "<MapValues outputColumn=\"v\"" + attributes + "><FieldColumnPair field=\"s\" column=\"k\"/>" +
           table + "</MapValues>";
  };
  EXPECT_EQ(Eval(lookup(""), 0, 0, "a"), 1.5);  // the first matching row wins
  EXPECT_EQ(Eval(lookup(""), 0, 0, "b"), 2.5);
  EXPECT_EQ(Eval(lookup(""), 0, 0, "c"), SYSMIS);
  EXPECT_EQ(Eval(lookup(" defaultValue=\"-2\""), 0, 0, "c"), -2);
  // A longer table is searched by halving: the same first-row rule.
  std::string rows;
  for (int r = 0; r < 12; ++r) {
    const std::string key = r == 11 ? "k3" : "k" + std::to_string(r);
    rows += "<row><k>" + key + "</k><v>" + std::to_string(r) + "</v></row>";
  }
  const std::string longLookup =
      "<MapValues outputColumn=\"v\"><FieldColumnPair field=\"s\" column=\"k\"/><InlineTable>" + rows +
      "</InlineTable></MapValues>";
  EXPECT_EQ(Eval(longLookup, 0, 0, "k3"), 3);
  EXPECT_EQ(Eval(longLookup, 0, 0, "k10"), 10);
  EXPECT_EQ(Eval(longLookup, 0, 0, "k0"), 0);
  EXPECT_EQ(Eval(longLookup, 0, 0, "k11"), SYSMIS);
  const std::string numeric =
      "<MapValues outputColumn=\"out\"><FieldColumnPair field=\"x\" column=\"in\"/><InlineTable>"
      "<row><in>1</in><out>10</out></row><row><in> 2.0 </in><out>20</out></row></InlineTable></MapValues>";
  EXPECT_EQ(Eval(numeric, 2), 20);
  EXPECT_EQ(Eval(numeric, 3), SYSMIS);
  const std::string pairs =
      "<MapValues outputColumn=\"out\" mapMissingTo=\"-9\"><FieldColumnPair field=\"x\" column=\"a\"/>"
      "<FieldColumnPair field=\"s\" column=\"b\"/><InlineTable>"
      "<row><a>1</a><b>p</b><out>11</out></row><row><a>1</a><b>q</b><out>12</out></row>"
      "<row><a>2</a><b>p</b><out>21</out></row></InlineTable></MapValues>";
  EXPECT_EQ(Eval(pairs, 1, 0, "q"), 12);
  EXPECT_EQ(Eval(pairs, 2, 0, "p"), 21);
  EXPECT_EQ(Eval(pairs, 2, 0, "q"), SYSMIS);
  EXPECT_EQ(Eval(pairs, SYSMIS, 0, "q"), -9);
}

TEST(TransformModelTest, TextResultsAndDerivedFieldsThatBuildOnEarlierOnes) {
  const std::string doc = Pmml(
      Derived("twice", Apply("*", X + C("2"))) +
      Derived("next", Apply("+", "<FieldRef field=\"twice\"/>" + C("1"))) +
      Derived("size",
              "<Discretize field=\"next\"><DiscretizeBin binValue=\"small\"><Interval closure=\"openOpen\" "
              "rightMargin=\"10\"/></DiscretizeBin><DiscretizeBin binValue=\"large\"><Interval "
              "closure=\"closedOpen\" leftMargin=\"10\"/></DiscretizeBin></Discretize>",
              "string") +
      Derived("big", Apply("equal", "<FieldRef field=\"size\"/>" + C("large")), "boolean") +
      Derived("label", Apply("if", "<FieldRef field=\"big\"/>" + S + C("none")), "string"));
  Scorer scorer(doc);
  ASSERT_NE(scorer.fpComputer, nullptr) << scorer.fError;
  ASSERT_EQ(scorer.fpComputer->GetOutputVarCount(), 5);
  ASSERT_TRUE(scorer.Score(3, 0, "tag"));
  EXPECT_EQ(scorer.Number(0), 6);
  EXPECT_EQ(scorer.Number(1), 7);
  EXPECT_EQ(scorer.Text(2), "small");
  EXPECT_EQ(scorer.Number(3), 0);
  EXPECT_EQ(scorer.Text(4), "none");
  ASSERT_TRUE(scorer.Score(5, 0, "tag"));
  EXPECT_EQ(scorer.Number(1), 11);
  EXPECT_EQ(scorer.Text(2), "large");
  EXPECT_EQ(scorer.Number(3), 1);
  EXPECT_EQ(scorer.Text(4), "tag");
  // Missing texts come out empty; missing numbers as the missing value.
  ASSERT_TRUE(scorer.Score(SYSMIS, 0, "tag"));
  EXPECT_EQ(scorer.Number(0), SYSMIS);
  EXPECT_EQ(scorer.Text(2), "");
  EXPECT_EQ(scorer.Text(4), "");
}

TEST(TransformModelTest, MissingValueRules) {
  // Functions of a missing input are missing, unless mapMissingTo says
  // otherwise; defaultValue replaces any missing result.
  EXPECT_EQ(Eval(Apply("+", X + Y), SYSMIS, 1), SYSMIS);
  EXPECT_EQ(Eval(Apply("+", X + Y, " mapMissingTo=\"-1\""), SYSMIS, 1), -1);
  EXPECT_EQ(Eval(Apply("+", X + Y, " defaultValue=\"-3\""), SYSMIS, 1), -3);
  EXPECT_EQ(Eval(Apply("+", X + Y, " mapMissingTo=\"-1\" defaultValue=\"-3\""), SYSMIS, 1), -1);
  EXPECT_EQ(Eval(Apply("+", "<FieldRef field=\"x\" mapMissingTo=\"10\"/>" + Y), SYSMIS, 1), 11);
  // NaN counts as missing too.
  EXPECT_EQ(Eval(Apply("+", X + Y), NAN, 1), SYSMIS);
  // Aggregates skip missing arguments.
  EXPECT_EQ(Eval(Apply("sum", X + Y + C("3")), SYSMIS, 2), 5);
  EXPECT_EQ(Eval(Apply("avg", X + Y + C("3")), SYSMIS, 2), 2.5);
  EXPECT_EQ(Eval(Apply("min", X + Y), SYSMIS, SYSMIS), SYSMIS);
  EXPECT_EQ(Eval(Apply("min", X + Y + C("3")), SYSMIS, 5), 3);  // starts from the first present one
  EXPECT_EQ(Eval(Apply("max", X + Y + C("-3")), SYSMIS, -5), -3);
  EXPECT_EQ(Eval(Apply("product", X + Y + C("3")), SYSMIS, 2), 6);
  EXPECT_EQ(Eval(Apply("max", X + Y, " defaultValue=\"0\""), SYSMIS, SYSMIS), 0);
  EXPECT_EQ(Eval(Apply("isMissing", X), SYSMIS), 1);
  EXPECT_EQ(Eval(Apply("isNotMissing", X), SYSMIS), 0);
  EXPECT_EQ(Eval(Apply("isMissing", X), 0), 0);
  // Three-valued logic: false decides "and", true decides "or".
  const std::string xPos = Apply("greaterThan", X + C("0"));
  const std::string yPos = Apply("greaterThan", Y + C("0"));
  EXPECT_EQ(Eval(Apply("and", xPos + yPos), SYSMIS, -1), 0);
  EXPECT_EQ(Eval(Apply("and", xPos + yPos), SYSMIS, 1), SYSMIS);
  EXPECT_EQ(Eval(Apply("or", xPos + yPos), SYSMIS, 1), 1);
  EXPECT_EQ(Eval(Apply("or", xPos + yPos), SYSMIS, -1), SYSMIS);
  EXPECT_EQ(Eval(Apply("not", xPos), SYSMIS), SYSMIS);
  // if: a missing condition is a missing input; only the taken branch counts.
  EXPECT_EQ(Eval(Apply("if", xPos + C("1") + C("2")), SYSMIS), SYSMIS);
  EXPECT_EQ(Eval(Apply("if", xPos + C("1") + C("2"), " mapMissingTo=\"0\""), SYSMIS), 0);
  EXPECT_EQ(Eval(Apply("if", yPos + C("1") + X), SYSMIS, 1), 1);
  // With asMissing, invalid results are missing: division by zero,
  // logarithms of non-positive numbers, square roots of negative numbers,
  // overflow.
  const std::string asMissing = " invalidValueTreatment=\"asMissing\"";
  EXPECT_EQ(Eval(Apply("/", X + Y, asMissing), 1, 0), SYSMIS);
  EXPECT_EQ(Eval(Apply("/", X + Y, asMissing), 0, 0), SYSMIS);
  EXPECT_EQ(Eval(Apply("/", X + Y, asMissing + " defaultValue=\"99\""), 1, 0), 99);
  EXPECT_EQ(Eval(Apply("ln", X, asMissing), 0), SYSMIS);
  EXPECT_EQ(Eval(Apply("log10", X, asMissing), -1), SYSMIS);
  EXPECT_EQ(Eval(Apply("sqrt", X, asMissing), -4), SYSMIS);
  EXPECT_EQ(Eval(Apply("exp", X, asMissing), 1000), SYSMIS);
  EXPECT_EQ(Eval(Apply("pow", X + Y, asMissing), -8, 0.5), SYSMIS);
  // A missing constant.
  EXPECT_EQ(Eval(Apply("+", X + "<Constant dataType=\"double\" missing=\"true\"/>"), 1), SYSMIS);
}

// Documents that PMML allows, each with the outputs PMML gives for one case
// (x, y): invalid values by invalidValueTreatment, mapMissingTo on every
// function, booleans, result types taken from the derived field, fields
// that refer to fields further down, integer fields.
TEST(TransformModelTest, ConformingDocumentsGiveWhatPmmlSays) {
  struct Out {
    double fNumber;
    const char* fText;  // a text output, when not null
  };
  auto N = [](double number) { return Out{number, nullptr}; };
  auto T = [](const char* text) { return Out{0.0, text}; };
  const std::string xPos = Apply("greaterThan", X + C("0"));
  const std::string yPos = Apply("greaterThan", Y + C("0"));
  const std::string asIs = " invalidValueTreatment=\"asIs\"";
  const std::string mapped = " mapMissingTo=\"-1\"";
  auto ref = [](const char* field) { return "<FieldRef field=\"" + std::string(field) + "\"/>"; };
  const std::string bins =
      "<Discretize field=\"x\"><DiscretizeBin binValue=\"1\"><Interval closure=\"openOpen\" "
      "rightMargin=\"10\"/>"
      "</DiscretizeBin><DiscretizeBin binValue=\"2\"><Interval closure=\"closedOpen\" leftMargin=\"10\"/>"
      "</DiscretizeBin></Discretize>";
  const std::string flags =
      "<MapValues outputColumn=\"v\"><FieldColumnPair field=\"x\" column=\"k\"/><InlineTable>"
      "<row><k>1</k><v>true</v></row><row><k>2</k><v>false</v></row></InlineTable></MapValues>";
  struct Case {
    const char* fWhat;
    std::string fDerived;
    double fX, fY;
    std::vector<Out> fOutputs;  // empty: the case fails
  };
  const std::vector<Case> cases = {
      // invalidValueTreatment: returnInvalid by default; asIs passes the
      // value on, and what is not finite at the end is missing.
      {"an invalid result fails the case by default", Derived("r", Apply("ln", X)), -1, 0, {}},
      {"asIs passes infinity on",
       Derived("r", Apply("threshold", Apply("exp", X, asIs) + C("5"))),
       1000,
       0,
       {N(1)}},
      {"asIs: an infinite output is missing", Derived("r", Apply("exp", X, asIs)), 1000, 0, {N(SYSMIS)}},
      {"asIs: NaN stands in no order",
       Derived("r", Apply("lessOrEqual", Apply("pow", X + Y, asIs) + C("5"))),
       -8,
       0.5,
       {N(0)}},
      {"asIs: NaN is in no set",
       Derived("r", Apply("isIn", Apply("sqrt", X, asIs) + "<Array type=\"real\">1 2</Array>")),
       -1,
       0,
       {N(0)}},
      {"asIs into a function that returns invalid",
       Derived("r", Apply("+", Apply("ln", X, asIs) + C("1"))),
       0,
       0,
       {}},
      // mapMissingTo applies whenever an argument is missing.
      {"mapMissingTo on isMissing",
       Derived("r", Apply("isMissing", X, " mapMissingTo=\"5\"")),
       SYSMIS,
       0,
       {N(5)}},
      {"mapMissingTo on isNotMissing",
       Derived("r", Apply("isNotMissing", X, " mapMissingTo=\"5\"")),
       SYSMIS,
       0,
       {N(5)}},
      {"mapMissingTo on and", Derived("r", Apply("and", xPos + yPos, mapped)), SYSMIS, -1, {N(-1)}},
      {"mapMissingTo on or", Derived("r", Apply("or", xPos + yPos, mapped)), SYSMIS, 1, {N(-1)}},
      {"mapMissingTo on sum", Derived("r", Apply("sum", X + Y, mapped)), SYSMIS, 2, {N(-1)}},
      {"mapMissingTo on min", Derived("r", Apply("min", X + Y, mapped)), 3, SYSMIS, {N(-1)}},
      {"mapMissingTo on the branch if takes",
       Derived("r", Apply("if", xPos + Y + C("7"), mapped)),
       1,
       SYSMIS,
       {N(-1)}},
      // Booleans.
      {"boolean constants",
       Derived("t", C("true", "boolean"), "boolean") + Derived("f", C(" false ", "boolean"), "boolean"),
       0,
       0,
       {N(1), N(0)}},
      {"true and false in a boolean mapMissingTo",
       Derived("r", Apply("greaterThan", X + Y, " mapMissingTo=\"true\"")),
       SYSMIS,
       0,
       {N(1)}},
      // A Discretize or MapValues without dataType has its field's.
      {"bins as texts of a string field",
       Derived("band", bins, "string") + Derived("two", Apply("equal", ref("band") + C("2", "string"))),
       12,
       0,
       {T("2"), N(1)}},
      {"table cells as booleans of a boolean field", Derived("flag", flags, "boolean"), 2, 0, {N(0)}},
      // Derived fields in any order.
      {"a field defined further down",
       Derived("a", Apply("+", ref("c") + C("1"))) + Derived("b", X) +
           Derived("c", Apply("*", ref("b") + C("2"))),
       3,
       0,
       {N(7), N(3), N(6)}},
      // An integer field drops the fraction; later fields see the integer.
      {"integer fields",
       Derived("i", Apply("/", X + Y), "integer") + Derived("j", Apply("/", Y + X), "integer") +
           Derived("k", Apply("*", ref("i") + C("2"))) +
           Derived("d",
                   "<Discretize field=\"x\"><DiscretizeBin binValue=\"-2.5\"><Interval closure=\"openOpen\"/>"
                   "</DiscretizeBin></Discretize>",
                   "integer"),
       -7,
       2,
       {N(-3), N(0), N(-6), N(-2)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fWhat);
    Scorer scorer(Pmml(c.fDerived));
    EXPECT_NE(scorer.fpComputer, nullptr) << scorer.fError;
    if (!scorer.fpComputer) continue;
    const bool scored = scorer.Score(c.fX, c.fY);
    EXPECT_EQ(scored, !c.fOutputs.empty());
    if (!scored) continue;
    EXPECT_EQ(scorer.fOut.Size(), static_cast<int>(c.fOutputs.size()));
    for (size_t j = 0; j < c.fOutputs.size(); ++j) {
      if (c.fOutputs[j].fText != nullptr) {
        EXPECT_EQ(scorer.Text(static_cast<int>(j)), c.fOutputs[j].fText) << "output " << j;
      } else {
        EXPECT_EQ(scorer.Number(static_cast<int>(j)), c.fOutputs[j].fNumber) << "output " << j;
      }
    }
  }
}

TEST(TransformModelTest, DeclaredMissingValuesAndInvalidResultsThatFailTheCase) {
  Scorer scorer(
      Pmml(Derived("r", Apply("+", "<FieldRef field=\"m\"/>" + C("1"))) +
               Derived("t", Apply("equal", "<FieldRef field=\"u\"/>" + C("NA")), "boolean") +
               Derived("i", Apply("isMissing", "<FieldRef field=\"u\"/>"), "boolean") +
               Derived("q", Apply("ln", X, " invalidValueTreatment=\"returnInvalid\"")),
           "    <DataField name=\"m\" optype=\"continuous\" dataType=\"integer\">"
           "<Value value=\"99\" property=\"missing\"/><Interval closure=\"closedClosed\" leftMargin=\"0\"/>"
           "</DataField>\n"
           "    <DataField name=\"u\" optype=\"categorical\" dataType=\"string\">"
           "<Value value=\"a\"/><Value value=\"NA\" property=\"missing\"/></DataField>\n"));
  ASSERT_NE(scorer.fpComputer, nullptr) << scorer.fError;
  scorer.fIn.AddValue("m", Value(99.0));
  scorer.fIn.AddValue("u", Value("NA"));
  ASSERT_TRUE(scorer.Score(1));
  EXPECT_EQ(scorer.Number(0), SYSMIS);
  EXPECT_EQ(scorer.Number(1), SYSMIS);  // a declared missing text is missing, not equal to "NA"
  EXPECT_EQ(scorer.Number(2), 1);
  scorer.fIn[3] = 4.0;
  scorer.fIn[4] = std::string("a");
  ASSERT_TRUE(scorer.Score(1));
  EXPECT_EQ(scorer.Number(0), 5);
  EXPECT_EQ(scorer.Number(2), 0);
  // ln(-1) with returnInvalid fails the case, naming the field.
  QorCommon::QorStatus status;
  scorer.fIn[0] = -1.0;
  status = scorer.fpComputer->Score(scorer.fIn, scorer.fOut, false);
  ASSERT_TRUE(status.IsError());
  EXPECT_NE(status.GetMessage().find("q"), std::string::npos);
}

TEST(TransformModelTest, ComputerDescribesInputsAndOutputsAndChecksItsRecords) {
  Scorer scorer(Pmml(Derived("r", X) + Derived("t", S, "string")));
  ASSERT_NE(scorer.fpComputer, nullptr) << scorer.fError;
  IQorScoreComputer& computer = *scorer.fpComputer;
  EXPECT_EQ(computer.GetScorerType(), IQorScoreComputer::TRANSFORMATION_MODEL);
  QorXML::QorVarList inputs;
  EXPECT_FALSE(computer.GetInputVarList(inputs).IsError());
  ASSERT_EQ(inputs.Size(), 3);
  std::string name;
  inputs.GetVarAt(2)->GetName(name);
  EXPECT_EQ(name, "s");
  EXPECT_EQ(inputs.GetVarAt(0)->GetValueType(), 0);
  EXPECT_EQ(inputs.GetVarAt(2)->GetValueType(), 3);
  ASSERT_EQ(computer.GetOutputVarCount(), 2);
  computer.GetOutputVarAt(1)->GetName(name);
  EXPECT_EQ(name, "t");
  EXPECT_EQ(computer.GetOutputVarAt(0)->GetValueType(), 0);
  EXPECT_EQ(computer.GetOutputVarAt(1)->GetValueType(), 3);
  EXPECT_EQ(computer.GetOutputVarAt(2), nullptr);
  EXPECT_EQ(computer.GetOutputVarAt(-1), nullptr);
  EXPECT_EQ(scorer.fOut.Size(), 2);
  EXPECT_EQ(scorer.fOut.GetName(1), "t");

  // A text where a number belongs, a short record: error statuses.
  ValueRecord wrong(2);
  wrong.AddValue("x", Value("1"));
  wrong.AddValue("y", Value(1.0));
  wrong.AddValue("s", Value(""));
  EXPECT_TRUE(computer.Score(wrong, scorer.fOut, false).IsError());
  ValueRecord shortRecord(2);
  shortRecord.AddValue("x", Value(1.0));
  EXPECT_TRUE(computer.Score(shortRecord, scorer.fOut, false).IsError());
  ValueRecord noOutputs(2);
  EXPECT_TRUE(computer.Score(scorer.fIn, noOutputs, false).IsError());
}

// Each bad model yields no computer and an error that says what and where.
TEST(TransformModelTest, BadModelsAreRefusedWithClearErrors) {
  struct Case {
    std::string fText;
    std::string fExpected;
  };
  const std::string ok = Derived("r", X);
  const std::vector<Case> cases = {
      {"", "empty"},
      {"<PMML version=\"4.4\"><DataDictionary>", "malformed XML"},
      {"<PMML version=\"4.4\">\n<DataDictionary>\n</Data>\n</PMML>", "line 3"},
      // A Latin-1 byte in text read as UTF-8, in the derived field on line 10.
      {Pmml(Derived("r\xFC", X)), "not valid UTF-8 (line 10)"},
      {"<Model version=\"4.4\"/>", "not <PMML>"},
      {"<PMML version=\"3.2\"/>", "version '3.2'"},
      {"<PMML version=\"4.4\"><DataDictionary><DataField name=\"x\" dataType=\"double\"/></DataDictionary>"
       "<TransformationDictionary>" +
           ok + "</TransformationDictionary><TreeModel/></PMML>",
       "<TreeModel> model"},
      {"<PMML version=\"4.4\"><DataDictionary><DataField name=\"x\" "
       "dataType=\"double\"/></DataDictionary></PMML>",
       "no <TransformationDictionary>"},
      {Pmml(""), "defines no DerivedField"},
      {Pmml(ok, "<Taxonomy/>"), "unsupported element <Taxonomy>"},
      {Pmml(Derived("r", "<Lag field=\"x\"/>")), "<Lag> is not supported"},
      {Pmml(Derived("r", "<Bogus/>")), "unsupported element <Bogus>"},
      {Pmml(Derived("r", Apply("frobnicate", X))), "unknown function 'frobnicate'"},
      {Pmml(Derived("r", Apply("+", X + "<FieldRef field=\"nope\"/>"))), "unknown field 'nope'"},
      {Pmml(Derived("r", "<FieldRef field=\"r\"/>")), "derived field 'r' refers to itself"},
      {Pmml(Derived("a", Apply("+", "<FieldRef field=\"c\"/>" + X)) +
            Derived("b", "<FieldRef field=\"a\"/>") + Derived("c", "<FieldRef field=\"b\"/>")),
       "refer to each other in a cycle: 'a' -> 'c' -> 'b' -> 'a'"},
      {Pmml(Derived("r", Apply("+", X))), "takes 2 arguments, not 1"},
      {Pmml(Derived("r", Apply("if", X))), "takes 2 or 3 arguments"},
      {Pmml(Derived("r", Apply("and", X))), "at least 2"},
      {Pmml(Derived("r", Apply("+", X + S))), "must be a number"},
      {Pmml(Derived("r", Apply("equal", X + C("a", "string")))), "mix text and numbers"},
      {Pmml(Derived("r", Apply("+", X + Y, " mapMissingTo=\"zero\""))),
       "mapMissingTo 'zero' is not a number"},
      {Pmml(Derived("x", Y)), "declared twice"},
      {Pmml(Derived("r", S)), "declared numeric but its expression yields text"},
      {Pmml(Derived("r", X, "date")), "dataType 'date' is not supported"},
      {Pmml(Derived("r",
                    "<NormContinuous field=\"x\"><LinearNorm orig=\"1\" norm=\"0\"/>"
                    "<LinearNorm orig=\"1\" norm=\"2\"/></NormContinuous>")),
       "increase strictly"},
      {Pmml(Derived("r",
                    "<NormContinuous field=\"s\"><LinearNorm orig=\"0\" norm=\"0\"/>"
                    "<LinearNorm orig=\"1\" norm=\"1\"/></NormContinuous>")),
       "needs a numeric field"},
      {Pmml(Derived("r",
                    "<Discretize field=\"x\"><DiscretizeBin binValue=\"1\"><Interval closure=\"open\"/>"
                    "</DiscretizeBin></Discretize>")),
       "closure 'open'"},
      {Pmml(Derived("r",
                    "<MapValues outputColumn=\"v\"><FieldColumnPair field=\"s\" column=\"k\"/>"
                    "<InlineTable><row><k>a</k></row></InlineTable></MapValues>")),
       "no 'v' cell"},
      {Pmml(Derived("r", Apply("isIn", X + "<Array n=\"3\" type=\"int\">1 2</Array>"))), "holds 2 values"},
      {Pmml(Derived("r", Apply("isIn", X + "<Array type=\"int\">1 two</Array>"))), "'two' is not a number"},
      {Pmml(Derived("r", Apply("ln", X, " invalidValueTreatment=\"ignore\""))),
       "invalidValueTreatment 'ignore'"},
      // Characters no XML document holds, as references or as they are.
      {Pmml(Derived("r", Apply("equal", S + C("a&#0;b", "string")))), "character reference '&#0;'"},
      {Pmml(Derived("r", Apply("equal", S + C("&#x1;", "string")))), "character reference '&#x1;'"},
      {Pmml(Derived("r", Apply("equal", S + C("&#1114112;", "string")))), "character reference '&#1114112;'"},
      {Pmml(Derived("r", Apply("equal", S + C("a\x01"
                                              "b",
                                              "string")))),
       "control character 0x01 (line 10)"},
      {Pmml(ok) + "<PMML version=\"4.4\"/>", "malformed XML"},
  };
  for (const Case& c : cases) {
    Scorer scorer(c.fText);
    EXPECT_EQ(scorer.fpComputer, nullptr) << c.fText;
    EXPECT_NE(scorer.fError.find(c.fExpected), std::string::npos)
        << "expected '" << c.fExpected << "' in: " << scorer.fError;
  }
  // Element errors name the element's path and line.
  Scorer located(Pmml(Derived("r", Apply("frobnicate", X))));
  EXPECT_NE(located.fError.find(
                "/PMML/TransformationDictionary/DerivedField[@name='r']/Apply[@function='frobnicate']"),
            std::string::npos)
      << located.fError;
  EXPECT_NE(located.fError.find("line 10"), std::string::npos) << located.fError;
}

std::string Nested(int levels) {
  std::string expression = X;
  for (int i = 0; i < levels; ++i) expression = Apply("abs", expression);
  return expression;
}

TEST(TransformModelTest, ExpressionDepthIsBounded) {
  // 63 applications around a field reference nest 64 levels: accepted.
  EXPECT_EQ(Eval(Nested(63), -2), 2);
  Scorer tooDeep(Pmml(Derived("r", Nested(64))));
  EXPECT_EQ(tooDeep.fpComputer, nullptr);
  EXPECT_NE(tooDeep.fError.find("nest deeper than 64 levels"), std::string::npos) << tooDeep.fError;
  // A hostile depth fails the same way, without exhausting the stack.
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<Apply function=\"abs\">";
  deep += X;
  for (int i = 0; i < 200000; ++i) deep += "</Apply>";
  Scorer hostile(Pmml(Derived("r", deep)));
  EXPECT_EQ(hostile.fpComputer, nullptr);
  EXPECT_NE(hostile.fError.find("nest deeper"), std::string::npos);
}

TEST(TransformModelTest, DoctypesAndEntityReferencesAreRefused) {
  const std::string body = Pmml(Derived("r", X));
  const std::string internal =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE PMML [<!ENTITY e \"1\">]>\n" + body.substr(body.find("<PMML"));
  const std::string external = "<?xml version=\"1.0\"?>\n<!DOCTYPE PMML SYSTEM \"file:///etc/passwd\">\n" +
                               body.substr(body.find("<PMML"));
  for (const std::string& text : {internal, external}) {
    Scorer scorer(text);
    EXPECT_EQ(scorer.fpComputer, nullptr);
    EXPECT_NE(scorer.fError.find("DOCTYPE"), std::string::npos) << scorer.fError;
    EXPECT_NE(scorer.fError.find("line 2"), std::string::npos) << scorer.fError;
  }
  Scorer entity(Pmml(Derived("r", Apply("+", X + "<Constant>&e;</Constant>"))));
  EXPECT_EQ(entity.fpComputer, nullptr);
  EXPECT_NE(entity.fError.find("entity reference '&e;'"), std::string::npos) << entity.fError;

  // The predefined entities and character references are fine, as are
  // ampersands inside comments and CDATA sections.
  EXPECT_EQ(
      Eval("<!-- a & b --><NormDiscrete field=\"s\" value=\"&lt;a&amp;b&#62;&#x41;\"/>", 0, 0, "<a&b>A"), 1);
  EXPECT_EQ(Eval(Apply("equal", S + "<Constant dataType=\"string\"><![CDATA[&x;]]></Constant>"), 0, 0, "&x;"),
            1);
}

}  // namespace
