// A transformation model compiled from its document: the inputs, the derived
// fields (the outputs, in document order) and one expression tree per
// derived field, stored as a flat node array. The model is immutable after
// reading; any number of evaluators may share it, each used by one thread.
// Internal to the stand-in component library.
#ifndef QORCOMMON_TRANSFORMMODEL_H
#define QORCOMMON_TRANSFORMMODEL_H

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace QorTransform {

// The two kinds of values an expression yields. Boolean results are numbers
// (1 true, 0 false).
enum class Kind : uint8_t { Number, Text };

// One value during evaluation: a number (fpText null), a text (fpText points
// at it; the text belongs to the model or to the input record) or missing
// (fpText is MissingMark()). Sixteen bytes, passed in registers.
struct Cell {
  double fNumber;
  const std::string* fpText;

  static const std::string* MissingMark();
  static Cell Missing() { return Cell{0.0, MissingMark()}; }
  static Cell Number(double number) { return Cell{number, nullptr}; }
  static Cell Text(const std::string* text) { return Cell{0.0, text}; }
  bool IsMissing() const { return fpText == MissingMark(); }
};

enum class Op : uint8_t {
  Constant,
  InputRef,
  DerivedRef,
  // Apply functions.
  Add, Sub, Mul, Div,
  Min, Max, Sum, Avg, Product,
  Log10, Ln, Exp, Sqrt, Abs, Pow, Threshold, Floor, Ceil, Round,
  IsMissing, IsNotMissing,
  Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual,
  And, Or, Not, IsIn, IsNotIn, If,
  // Other expressions.
  NormContinuous,
  NormDiscrete,
  Discretize,
  MapValues,
};

// One expression node. Arguments are node indices in Model::fvArgs
// [fFirstArg, fFirstArg + fNArgs).
struct Node {
  Op fOp = Op::Constant;
  Kind fKind = Kind::Number;         // kind of the result
  Kind fOperandKind = Kind::Number;  // kind compared or looked up (comparisons, isIn, lookups)
  bool fbReturnInvalid = false;      // an invalid result fails the case instead of being missing
  bool fbHasMapMissing = false;      // fMapMissing replaces the result when an input is missing
  bool fbHasDefault = false;         // fDefault replaces a missing (or unmatched) result
  bool fbDefaultOnMissingInput = false;  // Apply: defaultValue also covers missing inputs
  int fFirstArg = 0;
  int fNArgs = 0;
  int fIndex = -1;  // slot of a reference, or the index of the node's table
  Cell fValue = Cell::Missing();  // a Constant's value; NormDiscrete's compared value
  Cell fMapMissing = Cell::Missing();
  Cell fDefault = Cell::Missing();
};

enum class Outliers : uint8_t { AsIs, AsMissing, AsExtreme };

struct NormTable {
  std::vector<double> fvOrig;  // strictly ascending
  std::vector<double> fvNorm;
  Outliers fOutliers = Outliers::AsIs;
};

struct Bin {
  double fLow;
  double fHigh;
  bool fbLowClosed;
  bool fbHighClosed;
  Cell fValue;
};

struct DiscretizeTable {
  std::vector<Bin> fvBins;
};

// A lookup table: rows of keys (fNColumns per row, in the order of the
// field/column pairs) and one output per row. A one-column table also has a
// sorted index of its keys (first row wins for equal keys).
struct MapTable {
  int fNColumns = 0;
  std::vector<Cell> fvKeys;
  std::vector<Cell> fvOutputs;
  std::vector<std::pair<double, int>> fvNumberIndex;
  std::vector<std::pair<const std::string*, int>> fvTextIndex;
};

// The members of an isIn / isNotIn array, sorted.
struct SetTable {
  std::vector<double> fvNumbers;
  std::vector<const std::string*> fvTexts;
};

struct Field {
  std::string fName;
  Kind fKind = Kind::Number;
  // Values the document declares missing (DataField/Value property="missing").
  std::vector<double> fvMissingNumbers;
  std::vector<std::string> fvMissingTexts;
};

struct Model {
  std::vector<Field> fvInputs;
  std::vector<Field> fvOutputs;  // the derived fields
  std::vector<int> fvOutputRoots;  // root node of each derived field's expression
  std::vector<Node> fvNodes;
  std::vector<int> fvArgs;
  std::vector<NormTable> fvNorms;
  std::vector<DiscretizeTable> fvDiscretizes;
  std::vector<MapTable> fvMaps;
  std::vector<SetTable> fvSets;
  std::deque<std::string> fTexts;  // every text a node refers to; addresses are stable

  const std::string* AddText(std::string text) { return &fTexts.emplace_back(std::move(text)); }
};

// Reads a transformation model from its document text. Null with `error`
// set (what is wrong, and where: the element's path and line, or the field's
// name) when the text is not a model this reader handles.
std::unique_ptr<Model> ReadModel(const std::string& text, std::string& error);

// Evaluates a model case by case into slots made once; Run allocates
// nothing. One thread at a time; borrows the model, which must outlive it.
class Evaluator {
 public:
  explicit Evaluator(const Model& model);
  Evaluator(const Evaluator&) = delete;
  Evaluator& operator=(const Evaluator&) = delete;

  // The input slots, one per model input, to be filled before Run.
  Cell* Inputs() { return fvInputs.data(); }
  // Computes every derived field. False when a node that returns invalid
  // results met one; FailedOutput() names the derived field then.
  bool Run();
  const Cell& Output(int index) const { return fvDerived[static_cast<size_t>(index)]; }
  int FailedOutput() const { return fFailedOutput; }

 private:
  Cell Eval(int nodeIndex);
  Cell MissingInput(const Node& node) const;
  Cell MissingResult(const Node& node) const;
  Cell Invalid(const Node& node);
  Cell Finish(const Node& node, double number);
  int Arg(const Node& node, int i) const { return fpModel->fvArgs[static_cast<size_t>(node.fFirstArg + i)]; }

  const Model* fpModel;
  std::vector<Cell> fvInputs;
  std::vector<Cell> fvDerived;
  bool fbFailed = false;
  int fFailedOutput = -1;
};

}  // namespace QorTransform

#endif  // QORCOMMON_TRANSFORMMODEL_H
