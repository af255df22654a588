// Evaluation of a compiled transformation model. The expression trees are
// flattened once into a program of steps over value slots: a reference or a
// constant is a slot of its own and costs no step; only an if jumps. Running
// the program for a case writes the slots and allocates nothing.
#include <algorithm>
#include <cmath>

#include "TransformModel.h"

namespace QorTransform {
namespace {

// --- Building the program ------------------------------------------------

class ProgramBuilder {
 public:
  explicit ProgramBuilder(Model& model) : fModel(model) {}

  void Build() {
    const size_t nIn = fModel.fvInputs.size(), nOut = fModel.fvOutputs.size();
    fModel.fvProgram.clear();
    fModel.fvOperands.clear();
    fModel.fvSlotInit.assign(nIn + nOut, Cell::Missing());
    // A field comes after the fields it refers to.
    for (int j : fModel.fvOutputOrder) {
      fOutput = j;
      const int dst = static_cast<int>(nIn) + j;
      const Node& root = NodeAt(fModel.fvOutputRoots[static_cast<size_t>(j)]);
      Emit(fModel.fvOutputRoots[static_cast<size_t>(j)], dst);
      if (fModel.fvOutputs[static_cast<size_t>(j)].fbInteger && !YieldsIntegers(root)) {
        Step integer;
        integer.fOp = Op::ToInteger;
        integer.fDst = dst;
        integer.fOutput = j;
        Add(integer, {dst});
      }
    }
    Step end;
    end.fOp = Op::End;
    end.fDst = 0;
    Add(end, {});
    // The operand list is complete: the steps can point into it.
    for (Step& step : fModel.fvProgram) step.fpOperands = fModel.fvOperands.data() + step.fFirstOperand;
  }

 private:
  const Node& NodeAt(int index) const { return fModel.fvNodes[static_cast<size_t>(index)]; }
  int Arg(const Node& node, int i) const { return fModel.fvArgs[static_cast<size_t>(node.fFirstArg + i)]; }

  // Whether every value `node` can give is an integer or missing, so that an
  // integer field of it needs no conversion step.
  bool YieldsIntegers(const Node& node) const {
    auto integral = [](const Cell& cell) {
      return cell.IsMissing() || (cell.fpText == nullptr && std::trunc(cell.fNumber) == cell.fNumber);
    };
    if ((node.fbHasMapMissing && !integral(node.fMapMissing)) ||
        (node.fbHasDefault && !integral(node.fDefault))) {
      return false;
    }
    switch (node.fOp) {
      case Op::Constant:
        return integral(node.fValue);
      case Op::Discretize:
        return std::all_of(fModel.fvDiscretizes[static_cast<size_t>(node.fIndex)].fvBins.begin(),
                           fModel.fvDiscretizes[static_cast<size_t>(node.fIndex)].fvBins.end(),
                           [&](const Bin& bin) { return integral(bin.fValue); });
      case Op::MapValues: {
        const std::vector<Cell>& outputs = fModel.fvMaps[static_cast<size_t>(node.fIndex)].fvOutputs;
        return std::all_of(outputs.begin(), outputs.end(), integral);
      }
      case Op::NormDiscrete:
        return true;  // 0 or 1
      default:
        return false;
    }
  }

  int NewSlot(Cell initial = Cell::Missing()) {
    fModel.fvSlotInit.push_back(initial);
    return static_cast<int>(fModel.fvSlotInit.size()) - 1;
  }

  // A step carrying the node's attributes.
  Step StepFor(const Node& node, Op op, int dst) const {
    Step step;
    step.fOp = op;
    step.fOperandKind = node.fOperandKind;
    step.fbReturnInvalid = node.fbReturnInvalid;
    step.fbAsIs = node.fbAsIs;
    step.fbHasMapMissing = node.fbHasMapMissing;
    step.fbHasDefault = node.fbHasDefault;
    step.fbDefaultOnMissingInput = node.fbDefaultOnMissingInput;
    step.fDst = dst;
    step.fIndex = node.fIndex;
    step.fOutput = fOutput;
    step.fValue = node.fValue;
    step.fMapMissing = node.fMapMissing;
    step.fDefault = node.fDefault;
    return step;
  }

  int Add(Step step, const std::vector<int>& operands) {
    step.fFirstOperand = static_cast<int>(fModel.fvOperands.size());
    step.fNOperands = static_cast<int>(operands.size());
    fModel.fvOperands.insert(fModel.fvOperands.end(), operands.begin(), operands.end());
    fModel.fvProgram.push_back(step);
    return static_cast<int>(fModel.fvProgram.size()) - 1;
  }

  // Emits the steps of a node and returns the slot that holds its value:
  // `dst` when given (>= 0), else a slot of the builder's choice.
  int Emit(int index, int dst) {
    const Node& node = NodeAt(index);
    const size_t nIn = fModel.fvInputs.size();
    int slot = -1;  // where a leaf's value already is
    switch (node.fOp) {
      case Op::Constant:
        slot = NewSlot(node.fValue);
        break;
      case Op::InputRef:
      case Op::DerivedRef:
        slot = node.fOp == Op::InputRef ? node.fIndex : static_cast<int>(nIn) + node.fIndex;
        if (node.fbHasMapMissing) {
          if (dst < 0) dst = NewSlot();
          Add(StepFor(node, Op::RefMapMissing, dst), {slot});
          return dst;
        }
        break;
      case Op::If:
        return EmitIf(node, dst);
      default: {
        std::vector<int> operands;
        for (int i = 0; i < node.fNArgs; ++i) operands.push_back(Emit(Arg(node, i), -1));
        if (dst < 0) dst = NewSlot();
        Add(StepFor(node, node.fOp, dst), operands);
        return dst;
      }
    }
    if (dst < 0) return slot;
    Step copy;
    copy.fOp = Op::Copy;
    copy.fDst = dst;
    copy.fOutput = fOutput;
    Add(copy, {slot});
    return dst;
  }

  //   condition steps; IfTest (missing, or false without else: to the end;
  //   false: to the else part); then steps; Take (then on to the end);
  //   else steps; Take; end.
  int EmitIf(const Node& node, int dst) {
    if (dst < 0) dst = NewSlot();
    const int condition = Emit(Arg(node, 0), -1);
    const int test = Add(StepFor(node, Op::IfTest, dst), {condition});
    const int thenSlot = Emit(Arg(node, 1), -1);
    const int thenTake = Add(StepFor(node, Op::Take, dst), {thenSlot});
    if (node.fNArgs == 3) {
      fModel.fvProgram[static_cast<size_t>(test)].fTarget = static_cast<int>(fModel.fvProgram.size());
      const int elseSlot = Emit(Arg(node, 2), -1);
      Add(StepFor(node, Op::Take, dst), {elseSlot});
      // The then part's Take goes on past the else part.
      fModel.fvProgram[static_cast<size_t>(thenTake)].fTarget = static_cast<int>(fModel.fvProgram.size());
    }
    fModel.fvProgram[static_cast<size_t>(test)].fIndex = static_cast<int>(fModel.fvProgram.size());
    return dst;
  }

  Model& fModel;
  int fOutput = -1;
};

// --- Running it ---------------------------------------------------------

bool Truth(const Cell& cell) { return cell.fNumber != 0.0; }

Cell Boolean(bool value) { return Cell::Number(value ? 1.0 : 0.0); }

// Whether two present values of the same kind stand in the order `op`
// (Less, LessOrEqual, Greater or GreaterOrEqual). Numbers compare as the
// processor does, so that a NaN that an asIs function passed on stands in
// no order at all.
bool InOrder(const Cell& a, const Cell& b, Kind kind, Op op) {
  if (kind == Kind::Text) {
    const int order = a.fpText->compare(*b.fpText);
    switch (op) {
      case Op::Less:
        return order < 0;
      case Op::LessOrEqual:
        return order <= 0;
      case Op::Greater:
        return order > 0;
      default:
        return order >= 0;
    }
  }
  switch (op) {
    case Op::Less:
      return a.fNumber < b.fNumber;
    case Op::LessOrEqual:
      return a.fNumber <= b.fNumber;
    case Op::Greater:
      return a.fNumber > b.fNumber;
    default:
      return a.fNumber >= b.fNumber;
  }
}

// Whether two present values of the same kind are equal (texts of different
// lengths are told apart without reading them).
inline bool Same(const Cell& a, const Cell& b, Kind kind) {
  if (kind == Kind::Text) return *a.fpText == *b.fpText;
  return a.fNumber == b.fNumber;
}

// The numbers of a step's first operand(s); false when one is missing.
inline bool Number1(const Cell* slots, const int* ops, double& x) {
  const Cell& a = slots[ops[0]];
  x = a.fNumber;
  return !a.IsMissing();
}

inline bool Numbers2(const Cell* slots, const int* ops, double& x, double& y) {
  const Cell& a = slots[ops[0]];
  const Cell& b = slots[ops[1]];
  x = a.fNumber;
  y = b.fNumber;
  return !a.IsMissing() && !b.IsMissing();
}

bool TextLess(const std::string* a, const std::string* b) { return *a < *b; }

// XQuery rounding: to the nearest integer, halves towards positive infinity.
double RoundHalfUp(double x) {
  double lower = std::floor(x);
  return (x - lower >= 0.5) ? lower + 1.0 : lower;
}

// A missing input: mapMissingTo when given; for Apply also defaultValue.
// mapMissingTo applies to every function, those that accept missing
// arguments included.
inline Cell MissingInput(const Step& step) {
  if (step.fbHasMapMissing) return step.fMapMissing;
  if (step.fbDefaultOnMissingInput) return step.fDefault;
  return Cell::Missing();
}

inline Cell MissingResult(const Step& step) { return step.fbHasDefault ? step.fDefault : Cell::Missing(); }

Cell NormContinuousValue(const NormTable& norm, double x, const Step& step, bool& invalid) {
  const size_t last = norm.fvOrig.size() - 1;
  size_t segment;  // interpolate between points segment and segment + 1
  if (x < norm.fvOrig.front() || x > norm.fvOrig.back()) {
    if (norm.fOutliers == Outliers::AsMissing) return Cell::Missing();
    if (norm.fOutliers == Outliers::AsExtreme) {
      return Cell::Number(x < norm.fvOrig.front() ? norm.fvNorm.front() : norm.fvNorm.back());
    }
    segment = x < norm.fvOrig.front() ? 0 : last - 1;
  } else {
    auto upper = std::upper_bound(norm.fvOrig.begin(), norm.fvOrig.end(), x);
    segment = static_cast<size_t>(upper - norm.fvOrig.begin());
    segment = segment == 0 ? 0 : std::min(segment - 1, last - 1);
  }
  const double x0 = norm.fvOrig[segment], x1 = norm.fvOrig[segment + 1];
  const double y0 = norm.fvNorm[segment], y1 = norm.fvNorm[segment + 1];
  const double y = y0 + (x - x0) * (y1 - y0) / (x1 - x0);
  if (std::isfinite(y)) return Cell::Number(y);
  invalid = true;
  return MissingResult(step);
}

// Tables up to this many keys are searched in order rather than halved.
constexpr size_t SHORT_TABLE = 8;

Cell LookUp(const MapTable& map, const Cell* const* values, const Step& step) {
  if (map.fNColumns == 1) {
    const Cell& a = *values[0];
    if (step.fOperandKind == Kind::Text) {
      // A short table is read in order: equality looks at the lengths
      // first, so most keys cost no text comparison at all. The index is
      // sorted stably, so the first equal entry is still the first row.
      if (map.fvTextIndex.size() <= SHORT_TABLE) {
        for (const auto& entry : map.fvTextIndex) {
          if (*entry.first == *a.fpText) return map.fvOutputs[static_cast<size_t>(entry.second)];
        }
        return MissingResult(step);
      }
      auto it =
          std::lower_bound(map.fvTextIndex.begin(), map.fvTextIndex.end(), a.fpText,
                           [](const auto& entry, const std::string* key) { return *entry.first < *key; });
      if (it != map.fvTextIndex.end() && *it->first == *a.fpText)
        return map.fvOutputs[static_cast<size_t>(it->second)];
    } else {
      auto it = std::lower_bound(map.fvNumberIndex.begin(), map.fvNumberIndex.end(), a.fNumber,
                                 [](const auto& entry, double key) { return entry.first < key; });
      if (it != map.fvNumberIndex.end() && it->first == a.fNumber)
        return map.fvOutputs[static_cast<size_t>(it->second)];
    }
    return MissingResult(step);
  }
  // Several columns: the first row whose keys all equal the fields' values.
  // Each key keeps the kind of its field.
  const size_t rows = map.fvOutputs.size();
  for (size_t r = 0; r < rows; ++r) {
    const Cell* keys = &map.fvKeys[r * static_cast<size_t>(map.fNColumns)];
    bool match = true;
    for (int c = 0; c < map.fNColumns && match; ++c) {
      const Kind kind = keys[c].fpText == nullptr ? Kind::Number : Kind::Text;
      match = Same(*values[c], keys[c], kind);
    }
    if (match) return map.fvOutputs[r];
  }
  return MissingResult(step);
}

}  // namespace

void BuildProgram(Model& model) { ProgramBuilder(model).Build(); }

Evaluator::Evaluator(const Model& model)
    : fpModel(&model), fvSlots(model.fvSlotInit), fNInputs(model.fvInputs.size()) {}

// The steps run as threaded code: every handler ends with its own jump to
// the next step's handler, which lets the processor predict each jump from
// the handler it leaves. Labels as values are a GNU extension; the optimize
// attribute keeps the compiler from merging the jumps back into one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
__attribute__((optimize("no-gcse", "no-crossjumping"))) bool Evaluator::Run() {
  static const void* const HANDLERS[] = {
      &&L_Constant,
      &&L_InputRef,
      &&L_DerivedRef,
      &&L_Add,
      &&L_Sub,
      &&L_Mul,
      &&L_Div,
      &&L_Min,
      &&L_Max,
      &&L_Sum,
      &&L_Avg,
      &&L_Product,
      &&L_Log10,
      &&L_Ln,
      &&L_Exp,
      &&L_Sqrt,
      &&L_Abs,
      &&L_Pow,
      &&L_Threshold,
      &&L_Floor,
      &&L_Ceil,
      &&L_Round,
      &&L_IsMissing,
      &&L_IsNotMissing,
      &&L_Equal,
      &&L_NotEqual,
      &&L_Less,
      &&L_LessOrEqual,
      &&L_Greater,
      &&L_GreaterOrEqual,
      &&L_And,
      &&L_Or,
      &&L_Not,
      &&L_IsIn,
      &&L_IsNotIn,
      &&L_If,
      &&L_NormContinuous,
      &&L_NormDiscrete,
      &&L_Discretize,
      &&L_MapValues,
      &&L_Copy,
      &&L_RefMapMissing,
      &&L_IfTest,
      &&L_Take,
      &&L_ToInteger,
      &&L_End,
  };
  static_assert(sizeof(HANDLERS) / sizeof(HANDLERS[0]) == static_cast<size_t>(Op::End) + 1,
                "one handler per operation, in the order of Op");
  Cell* slots = fvSlots.data();
  fFailedOutput = -1;

  // Only the step pointer and the slots stay live from step to step: each
  // handler finds its operands and destination through the step itself.
  const Step* sp = fpModel->fvProgram.data();
  double x, y;

#define OPS (sp->fpOperands)
#define DST (slots + sp->fDst)
#define DISPATCH() goto* HANDLERS[static_cast<size_t>(sp->fOp)]
// On to the next step, or to step `target`.
#define NEXT()  \
  do {          \
    ++sp;       \
    DISPATCH(); \
  } while (false)
#define JUMP(target)                           \
  do {                                         \
    sp = fpModel->fvProgram.data() + (target); \
    DISPATCH();                                \
  } while (false)
// A computed number: a non-finite result is invalid, unless the step takes
// invalid values as they are.
#define RESULT(expression)                                    \
  do {                                                        \
    const double result_ = (expression);                      \
    if (!std::isfinite(result_) && !sp->fbAsIs) goto invalid; \
    *DST = Cell::Number(result_);                             \
    NEXT();                                                   \
  } while (false)
// The step's result is missing because an operand is.
#define MISSING_OPERAND()     \
  do {                        \
    *DST = MissingInput(*sp); \
    NEXT();                   \
  } while (false)

  DISPATCH();
L_End:
  goto done;
L_Copy:
  *DST = slots[OPS[0]];
  NEXT();
L_RefMapMissing : {
  const Cell& a = slots[OPS[0]];
  *DST = a.IsMissing() ? sp->fMapMissing : a;
  NEXT();
}
L_IfTest : {
  const Cell& condition = slots[OPS[0]];
  if (condition.IsMissing()) {
    *DST = MissingInput(*sp);
    JUMP(sp->fIndex);
  }
  if (!Truth(condition)) {
    if (sp->fTarget >= 0) JUMP(sp->fTarget);
    *DST = MissingResult(*sp);  // no else branch
    JUMP(sp->fIndex);
  }
  NEXT();
}
L_Take : {
  // The branch taken is an input of the if.
  const Cell& a = slots[OPS[0]];
  *DST = a.IsMissing() ? MissingInput(*sp) : a;
  if (sp->fTarget >= 0) JUMP(sp->fTarget);
  NEXT();
}
L_ToInteger : {
  // As a cast to an integer: the fraction goes; what is not a finite
  // number has no integer and is missing.
  Cell* dst = DST;
  if (!dst->IsMissing()) {
    *dst = std::isfinite(dst->fNumber) ? Cell::Number(std::trunc(dst->fNumber)) : Cell::Missing();
  }
  NEXT();
}

  // Binary arithmetic: missing when an argument is.
L_Add:
  if (!Numbers2(slots, OPS, x, y)) MISSING_OPERAND();
  RESULT(x + y);
L_Sub:
  if (!Numbers2(slots, OPS, x, y)) MISSING_OPERAND();
  RESULT(x - y);
L_Mul:
  if (!Numbers2(slots, OPS, x, y)) MISSING_OPERAND();
  RESULT(x * y);
L_Div:
  if (!Numbers2(slots, OPS, x, y)) MISSING_OPERAND();
  RESULT(x / y);
L_Pow:
  if (!Numbers2(slots, OPS, x, y)) MISSING_OPERAND();
  // Squares are common; x * x is exactly what pow gives for them.
  RESULT(y == 2.0 ? x * x : std::pow(x, y));
L_Threshold:
  if (!Numbers2(slots, OPS, x, y)) MISSING_OPERAND();
  *DST = Boolean(x > y);
  NEXT();

  // Aggregates skip missing arguments (unless mapMissingTo replaces the
  // result then); all missing gives a missing result.
L_Sum:
L_Avg : {
  const int* ops = OPS;
  int present = 0;
  double acc = 0.0;
  for (int i = 0; i < sp->fNOperands; ++i) {
    const Cell& a = slots[ops[i]];
    if (a.IsMissing()) {
      if (sp->fbHasMapMissing) MISSING_OPERAND();
      continue;
    }
    acc += a.fNumber;
    ++present;
  }
  if (present == 0) {
    *DST = MissingResult(*sp);
    NEXT();
  }
  if (sp->fOp == Op::Avg) acc /= present;
  RESULT(acc);
}
L_Min:
L_Max:
L_Product : {
  const int* ops = OPS;
  int present = 0;
  double acc = sp->fOp == Op::Product ? 1.0 : 0.0;
  for (int i = 0; i < sp->fNOperands; ++i) {
    const Cell& a = slots[ops[i]];
    if (a.IsMissing()) {
      if (sp->fbHasMapMissing) MISSING_OPERAND();
      continue;
    }
    if (sp->fOp == Op::Product) {
      acc *= a.fNumber;
    } else if (present == 0) {
      acc = a.fNumber;
    } else {
      acc = sp->fOp == Op::Min ? std::min(acc, a.fNumber) : std::max(acc, a.fNumber);
    }
    ++present;
  }
  if (present == 0) {
    *DST = MissingResult(*sp);
    NEXT();
  }
  RESULT(acc);
}

  // Functions of one number: missing when the argument is; a result
  // outside the function's domain is invalid.
L_Log10:
  if (!Number1(slots, OPS, x)) MISSING_OPERAND();
  RESULT(x > 0.0 ? std::log10(x) : NAN);
L_Ln:
  if (!Number1(slots, OPS, x)) MISSING_OPERAND();
  RESULT(x > 0.0 ? std::log(x) : NAN);
L_Exp:
  if (!Number1(slots, OPS, x)) MISSING_OPERAND();
  RESULT(std::exp(x));
L_Sqrt:
  if (!Number1(slots, OPS, x)) MISSING_OPERAND();
  RESULT(x >= 0.0 ? std::sqrt(x) : NAN);
L_Abs:
  if (!Number1(slots, OPS, x)) MISSING_OPERAND();
  RESULT(std::fabs(x));
L_Floor:
  if (!Number1(slots, OPS, x)) MISSING_OPERAND();
  RESULT(std::floor(x));
L_Ceil:
  if (!Number1(slots, OPS, x)) MISSING_OPERAND();
  RESULT(std::ceil(x));
L_Round:
  if (!Number1(slots, OPS, x)) MISSING_OPERAND();
  RESULT(RoundHalfUp(x));

L_Not : {
  const Cell& a = slots[OPS[0]];
  *DST = a.IsMissing() ? MissingInput(*sp) : Boolean(!Truth(a));
  NEXT();
}
L_IsMissing:
  if (slots[OPS[0]].IsMissing() && sp->fbHasMapMissing) MISSING_OPERAND();
  *DST = Boolean(slots[OPS[0]].IsMissing());
  NEXT();
L_IsNotMissing:
  if (slots[OPS[0]].IsMissing() && sp->fbHasMapMissing) MISSING_OPERAND();
  *DST = Boolean(!slots[OPS[0]].IsMissing());
  NEXT();

  // Comparisons: missing when an argument is.
L_Equal:
L_NotEqual : {
  const Cell& a = slots[OPS[0]];
  const Cell& b = slots[OPS[1]];
  if (a.IsMissing() || b.IsMissing()) MISSING_OPERAND();
  *DST = Boolean(Same(a, b, sp->fOperandKind) == (sp->fOp == Op::Equal));
  NEXT();
}
L_Less:
L_LessOrEqual:
L_Greater:
L_GreaterOrEqual : {
  const Cell& a = slots[OPS[0]];
  const Cell& b = slots[OPS[1]];
  if (a.IsMissing() || b.IsMissing()) MISSING_OPERAND();
  *DST = Boolean(InOrder(a, b, sp->fOperandKind, sp->fOp));
  NEXT();
}

L_And:
L_Or : {
  // Three-valued logic: a deciding argument (false for and, true for or)
  // decides even when others are missing; but with mapMissingTo any
  // missing argument gives that.
  const int* ops = OPS;
  if (sp->fbHasMapMissing) {
    for (int i = 0; i < sp->fNOperands; ++i) {
      if (slots[ops[i]].IsMissing()) MISSING_OPERAND();
    }
  }
  const bool decider = sp->fOp == Op::Or;
  bool anyMissing = false, decided = false;
  for (int i = 0; i < sp->fNOperands && !decided; ++i) {
    const Cell& a = slots[ops[i]];
    if (a.IsMissing()) {
      anyMissing = true;
    } else if (Truth(a) == decider) {
      decided = true;
    }
  }
  *DST = decided ? Boolean(decider) : (anyMissing ? MissingResult(*sp) : Boolean(!decider));
  NEXT();
}

L_IsIn:
L_IsNotIn : {
  const Cell& a = slots[OPS[0]];
  if (a.IsMissing()) MISSING_OPERAND();
  const SetTable& set = fpModel->fvSets[static_cast<size_t>(sp->fIndex)];
  // A NaN (passed on by an asIs function) is in no set.
  const bool found = sp->fOperandKind == Kind::Text
                         ? std::binary_search(set.fvTexts.begin(), set.fvTexts.end(), a.fpText, TextLess)
                         : a.fNumber == a.fNumber &&
                               std::binary_search(set.fvNumbers.begin(), set.fvNumbers.end(), a.fNumber);
  *DST = Boolean(found == (sp->fOp == Op::IsIn));
  NEXT();
}

L_NormContinuous : {
  const Cell& a = slots[OPS[0]];
  if (a.IsMissing()) MISSING_OPERAND();
  bool bad = false;
  *DST = NormContinuousValue(fpModel->fvNorms[static_cast<size_t>(sp->fIndex)], a.fNumber, *sp, bad);
  if (bad) goto invalid;
  NEXT();
}

L_NormDiscrete : {
  const Cell& a = slots[OPS[0]];
  *DST = a.IsMissing() ? MissingInput(*sp) : Boolean(Same(a, sp->fValue, sp->fOperandKind));
  NEXT();
}

L_Discretize : {
  const Cell& a = slots[OPS[0]];
  if (a.IsMissing()) MISSING_OPERAND();
  x = a.fNumber;
  Cell* dst = DST;
  *dst = MissingResult(*sp);
  for (const Bin& bin : fpModel->fvDiscretizes[static_cast<size_t>(sp->fIndex)].fvBins) {
    const bool aboveLow = bin.fbLowClosed ? x >= bin.fLow : x > bin.fLow;
    const bool belowHigh = bin.fbHighClosed ? x <= bin.fHigh : x < bin.fHigh;
    if (aboveLow && belowHigh) {
      *dst = bin.fValue;
      break;
    }
  }
  NEXT();
}

L_MapValues : {
  const int* ops = OPS;
  const Cell* values[16];
  bool anyMissing = false;
  for (int c = 0; c < sp->fNOperands; ++c) {
    values[c] = &slots[ops[c]];
    anyMissing = anyMissing || values[c]->IsMissing();
  }
  *DST =
      anyMissing ? MissingInput(*sp) : LookUp(fpModel->fvMaps[static_cast<size_t>(sp->fIndex)], values, *sp);
  NEXT();
}

L_Constant:
L_InputRef:
L_DerivedRef:
L_If:
  NEXT();  // never steps: leaves are slots, an if is IfTest and Take

// A step met an invalid value: its result is missing (or its default), and
// when it returns invalid results the case fails, naming the first field.
invalid:
  *DST = MissingResult(*sp);
  if (sp->fbReturnInvalid && fFailedOutput < 0) fFailedOutput = sp->fOutput;
  NEXT();

done:
#undef OPS
#undef DST
#undef DISPATCH
#undef NEXT
#undef JUMP
#undef RESULT
#undef MISSING_OPERAND
  return fFailedOutput < 0;
}
#pragma GCC diagnostic pop

}  // namespace QorTransform
