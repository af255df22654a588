// Evaluation of a compiled transformation model, one case at a time. Every
// slot is made when the evaluator is built; evaluating a case only reads the
// model and writes the slots.
#include <algorithm>
#include <cmath>

#include "TransformModel.h"

namespace QorTransform {

const std::string* Cell::MissingMark() {
  static const std::string mark;
  return &mark;
}

namespace {

bool Truth(const Cell& cell) { return cell.fNumber != 0.0; }

Cell Boolean(bool value) { return Cell::Number(value ? 1.0 : 0.0); }

// Orders two present values of the same kind: negative, zero or positive.
int Compare(const Cell& a, const Cell& b, Kind kind) {
  if (kind == Kind::Text) return a.fpText->compare(*b.fpText);
  return a.fNumber < b.fNumber ? -1 : (a.fNumber > b.fNumber ? 1 : 0);
}

bool TextLess(const std::string* a, const std::string* b) { return *a < *b; }

// XQuery rounding: to the nearest integer, halves towards positive infinity.
double RoundHalfUp(double x) {
  double lower = std::floor(x);
  return (x - lower >= 0.5) ? lower + 1.0 : lower;
}

}  // namespace

Evaluator::Evaluator(const Model& model)
    : fpModel(&model), fvInputs(model.fvInputs.size(), Cell::Missing()), fvDerived(model.fvOutputs.size(), Cell::Missing()) {}

bool Evaluator::Run() {
  fbFailed = false;
  fFailedOutput = -1;
  const size_t n = fvDerived.size();
  for (size_t i = 0; i < n; ++i) {
    fvDerived[i] = Eval(fpModel->fvOutputRoots[i]);
    if (fbFailed && fFailedOutput < 0) fFailedOutput = static_cast<int>(i);
  }
  return !fbFailed;
}

// A missing input: mapMissingTo when given; for Apply also defaultValue.
Cell Evaluator::MissingInput(const Node& node) const {
  if (node.fbHasMapMissing) return node.fMapMissing;
  if (node.fbDefaultOnMissingInput) return node.fDefault;
  return Cell::Missing();
}

Cell Evaluator::MissingResult(const Node& node) const { return node.fbHasDefault ? node.fDefault : Cell::Missing(); }

Cell Evaluator::Invalid(const Node& node) {
  if (node.fbReturnInvalid) fbFailed = true;
  return MissingResult(node);
}

// A computed number: non-finite results (division by zero, logarithm of a
// non-positive number, overflow, ...) are invalid.
Cell Evaluator::Finish(const Node& node, double number) {
  return std::isfinite(number) ? Cell::Number(number) : Invalid(node);
}

Cell Evaluator::Eval(int nodeIndex) {
  const Node& node = fpModel->fvNodes[static_cast<size_t>(nodeIndex)];
  switch (node.fOp) {
    case Op::Constant:
      return node.fValue;

    case Op::InputRef:
    case Op::DerivedRef: {
      const Cell& cell = node.fOp == Op::InputRef ? fvInputs[static_cast<size_t>(node.fIndex)]
                                                  : fvDerived[static_cast<size_t>(node.fIndex)];
      return cell.IsMissing() ? MissingInput(node) : cell;
    }

    case Op::Add:
    case Op::Sub:
    case Op::Mul:
    case Op::Div:
    case Op::Pow:
    case Op::Threshold: {
      Cell a = Eval(Arg(node, 0));
      Cell b = Eval(Arg(node, 1));
      if (a.IsMissing() || b.IsMissing()) return MissingInput(node);
      switch (node.fOp) {
        case Op::Add:
          return Finish(node, a.fNumber + b.fNumber);
        case Op::Sub:
          return Finish(node, a.fNumber - b.fNumber);
        case Op::Mul:
          return Finish(node, a.fNumber * b.fNumber);
        case Op::Div:
          return Finish(node, a.fNumber / b.fNumber);
        case Op::Pow:
          return Finish(node, std::pow(a.fNumber, b.fNumber));
        default:
          return Boolean(a.fNumber > b.fNumber);
      }
    }

    case Op::Min:
    case Op::Max:
    case Op::Sum:
    case Op::Avg:
    case Op::Product: {
      // Aggregates skip missing arguments; all missing gives a missing result.
      int present = 0;
      double acc = node.fOp == Op::Product ? 1.0 : 0.0;
      for (int i = 0; i < node.fNArgs; ++i) {
        Cell a = Eval(Arg(node, i));
        if (a.IsMissing()) continue;
        if (present == 0 && (node.fOp == Op::Min || node.fOp == Op::Max)) {
          acc = a.fNumber;
        } else if (node.fOp == Op::Min) {
          acc = std::min(acc, a.fNumber);
        } else if (node.fOp == Op::Max) {
          acc = std::max(acc, a.fNumber);
        } else if (node.fOp == Op::Product) {
          acc *= a.fNumber;
        } else {
          acc += a.fNumber;
        }
        ++present;
      }
      if (present == 0) return MissingResult(node);
      if (node.fOp == Op::Avg) acc /= present;
      return Finish(node, acc);
    }

    case Op::Log10:
    case Op::Ln:
    case Op::Exp:
    case Op::Sqrt:
    case Op::Abs:
    case Op::Floor:
    case Op::Ceil:
    case Op::Round:
    case Op::Not: {
      Cell a = Eval(Arg(node, 0));
      if (a.IsMissing()) return MissingInput(node);
      const double x = a.fNumber;
      switch (node.fOp) {
        case Op::Log10:
          return x > 0.0 ? Finish(node, std::log10(x)) : Invalid(node);
        case Op::Ln:
          return x > 0.0 ? Finish(node, std::log(x)) : Invalid(node);
        case Op::Exp:
          return Finish(node, std::exp(x));
        case Op::Sqrt:
          return x >= 0.0 ? Finish(node, std::sqrt(x)) : Invalid(node);
        case Op::Abs:
          return Finish(node, std::fabs(x));
        case Op::Floor:
          return Finish(node, std::floor(x));
        case Op::Ceil:
          return Finish(node, std::ceil(x));
        case Op::Round:
          return Finish(node, RoundHalfUp(x));
        default:
          return Boolean(!Truth(a));
      }
    }

    case Op::IsMissing:
      return Boolean(Eval(Arg(node, 0)).IsMissing());
    case Op::IsNotMissing:
      return Boolean(!Eval(Arg(node, 0)).IsMissing());

    case Op::Equal:
    case Op::NotEqual:
    case Op::Less:
    case Op::LessOrEqual:
    case Op::Greater:
    case Op::GreaterOrEqual: {
      Cell a = Eval(Arg(node, 0));
      Cell b = Eval(Arg(node, 1));
      if (a.IsMissing() || b.IsMissing()) return MissingInput(node);
      const int order = Compare(a, b, node.fOperandKind);
      switch (node.fOp) {
        case Op::Equal:
          return Boolean(order == 0);
        case Op::NotEqual:
          return Boolean(order != 0);
        case Op::Less:
          return Boolean(order < 0);
        case Op::LessOrEqual:
          return Boolean(order <= 0);
        case Op::Greater:
          return Boolean(order > 0);
        default:
          return Boolean(order >= 0);
      }
    }

    case Op::And:
    case Op::Or: {
      // Three-valued logic: a deciding argument (false for and, true for or)
      // decides even when others are missing.
      const bool decider = node.fOp == Op::Or;
      bool anyMissing = false;
      for (int i = 0; i < node.fNArgs; ++i) {
        Cell a = Eval(Arg(node, i));
        if (a.IsMissing()) {
          anyMissing = true;
        } else if (Truth(a) == decider) {
          return Boolean(decider);
        }
      }
      return anyMissing ? MissingResult(node) : Boolean(!decider);
    }

    case Op::IsIn:
    case Op::IsNotIn: {
      Cell a = Eval(Arg(node, 0));
      if (a.IsMissing()) return MissingInput(node);
      const SetTable& set = fpModel->fvSets[static_cast<size_t>(node.fIndex)];
      bool found;
      if (node.fOperandKind == Kind::Text) {
        found = std::binary_search(set.fvTexts.begin(), set.fvTexts.end(), a.fpText, TextLess);
      } else {
        found = std::binary_search(set.fvNumbers.begin(), set.fvNumbers.end(), a.fNumber);
      }
      return Boolean(found == (node.fOp == Op::IsIn));
    }

    case Op::If: {
      Cell condition = Eval(Arg(node, 0));
      if (condition.IsMissing()) return MissingInput(node);
      Cell result = Cell::Missing();
      if (Truth(condition)) {
        result = Eval(Arg(node, 1));
      } else if (node.fNArgs == 3) {
        result = Eval(Arg(node, 2));
      }
      return result.IsMissing() ? MissingResult(node) : result;
    }

    case Op::NormContinuous: {
      Cell a = Eval(Arg(node, 0));
      if (a.IsMissing()) return MissingInput(node);
      const NormTable& norm = fpModel->fvNorms[static_cast<size_t>(node.fIndex)];
      const double x = a.fNumber;
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
      return Finish(node, y0 + (x - x0) * (y1 - y0) / (x1 - x0));
    }

    case Op::NormDiscrete: {
      Cell a = Eval(Arg(node, 0));
      if (a.IsMissing()) return MissingInput(node);
      return Boolean(Compare(a, node.fValue, node.fOperandKind) == 0);
    }

    case Op::Discretize: {
      Cell a = Eval(Arg(node, 0));
      if (a.IsMissing()) return MissingInput(node);
      const double x = a.fNumber;
      for (const Bin& bin : fpModel->fvDiscretizes[static_cast<size_t>(node.fIndex)].fvBins) {
        const bool aboveLow = bin.fbLowClosed ? x >= bin.fLow : x > bin.fLow;
        const bool belowHigh = bin.fbHighClosed ? x <= bin.fHigh : x < bin.fHigh;
        if (aboveLow && belowHigh) return bin.fValue;
      }
      return MissingResult(node);
    }

    case Op::MapValues: {
      const MapTable& map = fpModel->fvMaps[static_cast<size_t>(node.fIndex)];
      if (map.fNColumns == 1) {
        Cell a = Eval(Arg(node, 0));
        if (a.IsMissing()) return MissingInput(node);
        if (node.fOperandKind == Kind::Text) {
          auto it = std::lower_bound(map.fvTextIndex.begin(), map.fvTextIndex.end(), a.fpText,
                                     [](const auto& entry, const std::string* key) { return *entry.first < *key; });
          if (it != map.fvTextIndex.end() && *it->first == *a.fpText) return map.fvOutputs[static_cast<size_t>(it->second)];
        } else {
          auto it = std::lower_bound(map.fvNumberIndex.begin(), map.fvNumberIndex.end(), a.fNumber,
                                     [](const auto& entry, double key) { return entry.first < key; });
          if (it != map.fvNumberIndex.end() && it->first == a.fNumber) return map.fvOutputs[static_cast<size_t>(it->second)];
        }
        return MissingResult(node);
      }
      // Several columns: the first row whose keys all equal the fields'
      // values. Each key keeps the kind of its field.
      Cell values[16];
      bool anyMissing = false;
      for (int c = 0; c < map.fNColumns; ++c) {
        values[c] = Eval(Arg(node, c));
        anyMissing = anyMissing || values[c].IsMissing();
      }
      if (anyMissing) return MissingInput(node);
      const size_t rows = map.fvOutputs.size();
      for (size_t r = 0; r < rows; ++r) {
        const Cell* keys = &map.fvKeys[r * static_cast<size_t>(map.fNColumns)];
        bool match = true;
        for (int c = 0; c < map.fNColumns && match; ++c) {
          const Kind kind = keys[c].fpText == nullptr ? Kind::Number : Kind::Text;
          match = Compare(values[c], keys[c], kind) == 0;
        }
        if (match) return map.fvOutputs[r];
      }
      return MissingResult(node);
    }
  }
  return Cell::Missing();
}

}  // namespace QorTransform
