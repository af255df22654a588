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

// Nothing here leaves the library: hidden symbols are called directly, not
// through the dynamic linker's tables, which matters on the per-case path.
#pragma GCC visibility push(hidden)

namespace QorTransform {

// The two kinds of values an expression yields. Boolean results are numbers
// (1 true, 0 false).
enum class Kind : uint8_t { Number, Text };

inline constexpr char MISSING_TAG = 0;

// One value during evaluation: a number (fpText null), a text (fpText points
// at it; the text belongs to the model or to the input record) or missing
// (fpText is MissingMark()). Sixteen bytes, passed in registers.
struct Cell {
  double fNumber;
  const std::string* fpText;

  // The address that marks a missing value; never dereferenced.
  static const std::string* MissingMark() { return reinterpret_cast<const std::string*>(&MISSING_TAG); }
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
  Add,
  Sub,
  Mul,
  Div,
  Min,
  Max,
  Sum,
  Avg,
  Product,
  Log10,
  Ln,
  Exp,
  Sqrt,
  Abs,
  Pow,
  Threshold,
  Floor,
  Ceil,
  Round,
  IsMissing,
  IsNotMissing,
  Equal,
  NotEqual,
  Less,
  LessOrEqual,
  Greater,
  GreaterOrEqual,
  And,
  Or,
  Not,
  IsIn,
  IsNotIn,
  If,
  // Other expressions.
  NormContinuous,
  NormDiscrete,
  Discretize,
  MapValues,
  // Steps of the evaluation program only.
  Copy,           // the operand as it is
  RefMapMissing,  // the operand, or the reference's mapMissingTo when it is missing
  IfTest,         // branches on the condition of an if
  Take,           // the taken branch of an if, or its default when missing
  ToInteger,      // an integer field's value: the fraction dropped
  End,            // the program's last step
};

// One expression node. Arguments are node indices in Model::fvArgs
// [fFirstArg, fFirstArg + fNArgs).
struct Node {
  Op fOp = Op::Constant;
  Kind fKind = Kind::Number;             // kind of the result
  Kind fOperandKind = Kind::Number;      // kind compared or looked up (comparisons, isIn, lookups)
  bool fbBoolean = false;                // a boolean: its texts may be true and false
  bool fbReturnInvalid = false;          // an invalid result fails the case instead of being missing
  bool fbAsIs = false;                   // an invalid result passes on as the number it is
  bool fbHasMapMissing = false;          // fMapMissing replaces the result when an input is missing
  bool fbHasDefault = false;             // fDefault replaces a missing (or unmatched) result
  bool fbDefaultOnMissingInput = false;  // Apply: defaultValue also covers missing inputs
  int fFirstArg = 0;
  int fNArgs = 0;
  int fIndex = -1;                // slot of a reference, or the index of the node's table
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
  bool fbBoolean = false;  // dataType boolean
  bool fbInteger = false;  // dataType integer: a derived value loses its fraction
  // Values the document declares missing (DataField/Value property="missing").
  std::vector<double> fvMissingNumbers;
  std::vector<std::string> fvMissingTexts;
};

// One step of the evaluation program: reads operand slots, writes fDst.
// Slots: inputs first, then derived fields, then constants and temporaries.
struct Step {
  Op fOp = Op::Copy;
  Kind fOperandKind = Kind::Number;
  bool fbReturnInvalid = false;
  bool fbAsIs = false;
  bool fbHasMapMissing = false;
  bool fbHasDefault = false;
  bool fbDefaultOnMissingInput = false;
  int fDst = -1;                    // every step has one (End writes nothing)
  int fFirstOperand = 0;            // in Model::fvOperands; the builder's index behind fpOperands
  const int* fpOperands = nullptr;  // the same, once the program is complete
  int fNOperands = 0;
  int fIndex = -1;   // table index; for IfTest the step after the whole if
  int fTarget = -1;  // IfTest: the else part; Take of a then part: the step after the if
  int fOutput = -1;  // the derived field the step belongs to
  Cell fValue = Cell::Missing();
  Cell fMapMissing = Cell::Missing();
  Cell fDefault = Cell::Missing();
};

// Not copied: the program's steps point into the model's own operand list.
struct Model {
  Model() = default;
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  std::vector<Field> fvInputs;
  std::vector<Field> fvOutputs;    // the derived fields
  std::vector<int> fvOutputRoots;  // root node of each derived field's expression
  // The derived fields in an order that computes every field after the
  // fields it refers to.
  std::vector<int> fvOutputOrder;
  std::vector<Node> fvNodes;
  std::vector<int> fvArgs;
  std::vector<NormTable> fvNorms;
  std::vector<DiscretizeTable> fvDiscretizes;
  std::vector<MapTable> fvMaps;
  std::vector<SetTable> fvSets;
  std::deque<std::string> fTexts;  // every text a node refers to; addresses are stable
  // The evaluation program made from the nodes, and the first values of its
  // slots (constants filled in, everything else missing).
  std::vector<Step> fvProgram;
  std::vector<int> fvOperands;
  std::vector<Cell> fvSlotInit;

  const std::string* AddText(std::string text) { return &fTexts.emplace_back(std::move(text)); }
};

// Reads a transformation model from its document text. Null with `error`
// set (what is wrong, and where: the element's path and line, or the field's
// name) when the text is not a model this reader handles.
std::unique_ptr<Model> ReadModel(const std::string& text, std::string& error);

// Turns the model's expression trees into its evaluation program.
void BuildProgram(Model& model);

// Evaluates a model case by case: runs its program over slots made once;
// Run allocates nothing. One thread at a time; borrows the model, which must
// outlive it.
class Evaluator {
 public:
  explicit Evaluator(const Model& model);
  Evaluator(const Evaluator&) = delete;
  Evaluator& operator=(const Evaluator&) = delete;

  // The input slots, one per model input, to be filled before Run.
  Cell* Inputs() { return fvSlots.data(); }
  // Computes every derived field. False when a step that returns invalid
  // results met one; FailedOutput() names the derived field then.
  bool Run();
  const Cell& Output(int index) const { return fvSlots[fNInputs + static_cast<size_t>(index)]; }
  const Cell* Outputs() const { return fvSlots.data() + fNInputs; }
  int FailedOutput() const { return fFailedOutput; }

 private:
  const Model* fpModel;
  std::vector<Cell> fvSlots;
  size_t fNInputs;
  int fFailedOutput = -1;
};

}  // namespace QorTransform

#pragma GCC visibility pop

#endif  // QORCOMMON_TRANSFORMMODEL_H
