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

// --- One step each ---------------------------------------------------------
//
// Each function computes the value a step writes to its destination from its
// operand slots (read before the destination is written). Those that compute
// a number set `invalid` when the number is invalid; the value they return
// is then the step's missing result.

// A computed number: a non-finite result is invalid, unless the step takes
// invalid values as they are.
inline Cell Computed(const Step& step, double result, bool& invalid) {
  if (std::isfinite(result) || step.fbAsIs) return Cell::Number(result);
  invalid = true;
  return MissingResult(step);
}

// Functions of one number: missing when the argument is; a result outside
// the function's domain is invalid.
template <typename Function>
inline Cell Unary(const Step& step, const Cell* slots, bool& invalid, Function function) {
  double x;
  if (!Number1(slots, step.fpOperands, x)) return MissingInput(step);
  return Computed(step, function(x), invalid);
}

// Binary arithmetic: missing when an argument is.
template <typename Function>
inline Cell Binary(const Step& step, const Cell* slots, bool& invalid, Function function) {
  double x, y;
  if (!Numbers2(slots, step.fpOperands, x, y)) return MissingInput(step);
  return Computed(step, function(x, y), invalid);
}

inline Cell Threshold(const Step& step, const Cell* slots) {
  double x, y;
  if (!Numbers2(slots, step.fpOperands, x, y)) return MissingInput(step);
  return Boolean(x > y);
}

// Aggregates skip missing arguments (unless mapMissingTo replaces the result
// then); all missing gives a missing result.
Cell SumOrAverage(const Step& step, const Cell* slots, bool& invalid) {
  int present = 0;
  double acc = 0.0;
  for (int i = 0; i < step.fNOperands; ++i) {
    const Cell& a = slots[step.fpOperands[i]];
    if (a.IsMissing()) {
      if (step.fbHasMapMissing) return MissingInput(step);
      continue;
    }
    acc += a.fNumber;
    ++present;
  }
  if (present == 0) return MissingResult(step);
  if (step.fOp == Op::Avg) acc /= present;
  return Computed(step, acc, invalid);
}

// Min, Max and Product, as the aggregates above.
Cell MinMaxOrProduct(const Step& step, const Cell* slots, bool& invalid) {
  int present = 0;
  double acc = step.fOp == Op::Product ? 1.0 : 0.0;
  for (int i = 0; i < step.fNOperands; ++i) {
    const Cell& a = slots[step.fpOperands[i]];
    if (a.IsMissing()) {
      if (step.fbHasMapMissing) return MissingInput(step);
      continue;
    }
    if (step.fOp == Op::Product) {
      acc *= a.fNumber;
    } else if (present == 0) {
      acc = a.fNumber;
    } else {
      acc = step.fOp == Op::Min ? std::min(acc, a.fNumber) : std::max(acc, a.fNumber);
    }
    ++present;
  }
  if (present == 0) return MissingResult(step);
  return Computed(step, acc, invalid);
}

// IsMissing and IsNotMissing.
inline Cell MissingTest(const Step& step, const Cell* slots) {
  const bool missing = slots[step.fpOperands[0]].IsMissing();
  if (missing && step.fbHasMapMissing) return MissingInput(step);
  return Boolean(missing == (step.fOp == Op::IsMissing));
}

inline Cell Not(const Step& step, const Cell* slots) {
  const Cell& a = slots[step.fpOperands[0]];
  return a.IsMissing() ? MissingInput(step) : Boolean(!Truth(a));
}

// Comparisons: missing when an argument is.
inline Cell Equality(const Step& step, const Cell* slots) {
  const Cell& a = slots[step.fpOperands[0]];
  const Cell& b = slots[step.fpOperands[1]];
  if (a.IsMissing() || b.IsMissing()) return MissingInput(step);
  return Boolean(Same(a, b, step.fOperandKind) == (step.fOp == Op::Equal));
}

inline Cell Ordering(const Step& step, const Cell* slots) {
  const Cell& a = slots[step.fpOperands[0]];
  const Cell& b = slots[step.fpOperands[1]];
  if (a.IsMissing() || b.IsMissing()) return MissingInput(step);
  return Boolean(InOrder(a, b, step.fOperandKind, step.fOp));
}

// And and Or, in three-valued logic: a deciding argument (false for and,
// true for or) decides even when others are missing; but with mapMissingTo
// any missing argument gives that.
Cell Logic(const Step& step, const Cell* slots) {
  const int* ops = step.fpOperands;
  if (step.fbHasMapMissing) {
    for (int i = 0; i < step.fNOperands; ++i) {
      if (slots[ops[i]].IsMissing()) return MissingInput(step);
    }
  }
  const bool decider = step.fOp == Op::Or;
  bool anyMissing = false, decided = false;
  for (int i = 0; i < step.fNOperands && !decided; ++i) {
    const Cell& a = slots[ops[i]];
    if (a.IsMissing()) {
      anyMissing = true;
    } else if (Truth(a) == decider) {
      decided = true;
    }
  }
  return decided ? Boolean(decider) : (anyMissing ? MissingResult(step) : Boolean(!decider));
}

// IsIn and IsNotIn.
Cell Membership(const Step& step, const Cell* slots, const SetTable& set) {
  const Cell& a = slots[step.fpOperands[0]];
  if (a.IsMissing()) return MissingInput(step);
  // A NaN (passed on by an asIs function) is in no set.
  const bool found = step.fOperandKind == Kind::Text
                         ? std::binary_search(set.fvTexts.begin(), set.fvTexts.end(), a.fpText, TextLess)
                         : a.fNumber == a.fNumber &&
                               std::binary_search(set.fvNumbers.begin(), set.fvNumbers.end(), a.fNumber);
  return Boolean(found == (step.fOp == Op::IsIn));
}

inline Cell NormContinuous(const Step& step, const Cell* slots, const NormTable& norm, bool& invalid) {
  const Cell& a = slots[step.fpOperands[0]];
  if (a.IsMissing()) return MissingInput(step);
  return NormContinuousValue(norm, a.fNumber, step, invalid);
}

inline Cell NormDiscrete(const Step& step, const Cell* slots) {
  const Cell& a = slots[step.fpOperands[0]];
  return a.IsMissing() ? MissingInput(step) : Boolean(Same(a, step.fValue, step.fOperandKind));
}

// The value of the first bin that holds the number.
Cell Discretize(const Step& step, const Cell* slots, const DiscretizeTable& table) {
  const Cell& a = slots[step.fpOperands[0]];
  if (a.IsMissing()) return MissingInput(step);
  const double x = a.fNumber;
  for (const Bin& bin : table.fvBins) {
    const bool aboveLow = bin.fbLowClosed ? x >= bin.fLow : x > bin.fLow;
    const bool belowHigh = bin.fbHighClosed ? x <= bin.fHigh : x < bin.fHigh;
    if (aboveLow && belowHigh) return bin.fValue;
  }
  return MissingResult(step);
}

Cell MapValues(const Step& step, const Cell* slots, const MapTable& map) {
  const Cell* values[16];
  bool anyMissing = false;
  for (int c = 0; c < step.fNOperands; ++c) {
    values[c] = &slots[step.fpOperands[c]];
    anyMissing = anyMissing || values[c]->IsMissing();
  }
  return anyMissing ? MissingInput(step) : LookUp(map, values, step);
}

// An integer field's value, as a cast to an integer: the fraction goes;
// what is not a finite number has no integer and is missing.
inline Cell ToInteger(const Cell& value) {
  if (value.IsMissing()) return value;
  return std::isfinite(value.fNumber) ? Cell::Number(std::trunc(value.fNumber)) : Cell::Missing();
}

// The branch steps of an if write its destination and return the step to
// run next: `next`, the one after them, or a step of `program`.

// The condition: a missing one leaves the if with its missing-input value;
// a false one goes to the else part, or without one leaves the if with its
// default.
inline const Step* IfTest(const Step& step, Cell* slots, const Step* program, const Step* next) {
  const Cell& condition = slots[step.fpOperands[0]];
  if (condition.IsMissing()) {
    slots[step.fDst] = MissingInput(step);
    return program + step.fIndex;
  }
  if (!Truth(condition)) {
    if (step.fTarget >= 0) return program + step.fTarget;
    slots[step.fDst] = MissingResult(step);
    return program + step.fIndex;
  }
  return next;
}

// The branch taken, an input of the if; the then part goes on past the else
// part.
inline const Step* Take(const Step& step, Cell* slots, const Step* program, const Step* next) {
  const Cell& a = slots[step.fpOperands[0]];
  slots[step.fDst] = a.IsMissing() ? MissingInput(step) : a;
  return step.fTarget >= 0 ? program + step.fTarget : next;
}

}  // namespace

void BuildProgram(Model& model) { ProgramBuilder(model).Build(); }

Evaluator::Evaluator(const Model& model)
    : fpModel(&model), fvSlots(model.fvSlotInit), fNInputs(model.fvInputs.size()) {}

bool Evaluator::Run() {
  const Model& model = *fpModel;
  const Step* program = model.fvProgram.data();
  Cell* slots = fvSlots.data();
  fFailedOutput = -1;
  const Step* next = program;
  for (;;) {
    const Step& step = *next++;
    bool invalid = false;
    Cell* const dst = slots + step.fDst;
    switch (step.fOp) {
      case Op::End:
        return fFailedOutput < 0;
      case Op::IfTest:
        next = IfTest(step, slots, program, next);
        break;
      case Op::Take:
        next = Take(step, slots, program, next);
        break;
      case Op::Copy:
        *dst = slots[step.fpOperands[0]];
        break;
      case Op::RefMapMissing: {
        const Cell& a = slots[step.fpOperands[0]];
        *dst = a.IsMissing() ? step.fMapMissing : a;
        break;
      }
      case Op::ToInteger:
        *dst = ToInteger(*dst);
        break;
      case Op::Add:
        *dst = Binary(step, slots, invalid, [](double x, double y) { return x + y; });
        break;
      case Op::Sub:
        *dst = Binary(step, slots, invalid, [](double x, double y) { return x - y; });
        break;
      case Op::Mul:
        *dst = Binary(step, slots, invalid, [](double x, double y) { return x * y; });
        break;
      case Op::Div:
        *dst = Binary(step, slots, invalid, [](double x, double y) { return x / y; });
        break;
      case Op::Pow:
        // Squares are common; x * x is exactly what pow gives for them.
        *dst = Binary(step, slots, invalid,
                      [](double x, double y) { return y == 2.0 ? x * x : std::pow(x, y); });
        break;
      case Op::Threshold:
        *dst = Threshold(step, slots);
        break;
      case Op::Sum:
      case Op::Avg:
        *dst = SumOrAverage(step, slots, invalid);
        break;
      case Op::Min:
      case Op::Max:
      case Op::Product:
        *dst = MinMaxOrProduct(step, slots, invalid);
        break;
      case Op::Log10:
        *dst = Unary(step, slots, invalid, [](double x) { return x > 0.0 ? std::log10(x) : NAN; });
        break;
      case Op::Ln:
        *dst = Unary(step, slots, invalid, [](double x) { return x > 0.0 ? std::log(x) : NAN; });
        break;
      case Op::Exp:
        *dst = Unary(step, slots, invalid, [](double x) { return std::exp(x); });
        break;
      case Op::Sqrt:
        *dst = Unary(step, slots, invalid, [](double x) { return x >= 0.0 ? std::sqrt(x) : NAN; });
        break;
      case Op::Abs:
        *dst = Unary(step, slots, invalid, [](double x) { return std::fabs(x); });
        break;
      case Op::Floor:
        *dst = Unary(step, slots, invalid, [](double x) { return std::floor(x); });
        break;
      case Op::Ceil:
        *dst = Unary(step, slots, invalid, [](double x) { return std::ceil(x); });
        break;
      case Op::Round:
        *dst = Unary(step, slots, invalid, RoundHalfUp);
        break;
      case Op::Not:
        *dst = Not(step, slots);
        break;
      case Op::IsMissing:
      case Op::IsNotMissing:
        *dst = MissingTest(step, slots);
        break;
      case Op::Equal:
      case Op::NotEqual:
        *dst = Equality(step, slots);
        break;
      case Op::Less:
      case Op::LessOrEqual:
      case Op::Greater:
      case Op::GreaterOrEqual:
        *dst = Ordering(step, slots);
        break;
      case Op::And:
      case Op::Or:
        *dst = Logic(step, slots);
        break;
      case Op::IsIn:
      case Op::IsNotIn:
        *dst = Membership(step, slots, model.fvSets[static_cast<size_t>(step.fIndex)]);
        break;
      case Op::NormContinuous:
        *dst = NormContinuous(step, slots, model.fvNorms[static_cast<size_t>(step.fIndex)], invalid);
        break;
      case Op::NormDiscrete:
        *dst = NormDiscrete(step, slots);
        break;
      case Op::Discretize:
        *dst = Discretize(step, slots, model.fvDiscretizes[static_cast<size_t>(step.fIndex)]);
        break;
      case Op::MapValues:
        *dst = MapValues(step, slots, model.fvMaps[static_cast<size_t>(step.fIndex)]);
        break;
      case Op::Constant:
      case Op::InputRef:
      case Op::DerivedRef:
      case Op::If:
        break;  // never steps: leaves are slots, an if is IfTest and Take
    }
    // A step met an invalid value: its result is missing (or its default),
    // and when it returns invalid results the case fails, naming the first
    // field.
    if (invalid && step.fbReturnInvalid && fFailedOutput < 0) fFailedOutput = step.fOutput;
  }
}

}  // namespace QorTransform
