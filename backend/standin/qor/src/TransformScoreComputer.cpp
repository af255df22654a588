// The score computer of a transformation model and the scorer factory that
// reads it from a model text.
#include <qor/Record.h>
#include <qor/Scoring.h>

#include <cmath>
#include <iterator>
#include <memory>

#include "TransformModel.h"

namespace QorXML {
namespace {

// A model output as the computer describes it.
class OutputVariable final : public IQorVariable {
 public:
  OutputVariable(std::string name, int valueType) : fName(std::move(name)), fValueType(valueType) {}
  OutputVariable(const OutputVariable&) = delete;
  OutputVariable& operator=(const OutputVariable&) = delete;
  void GetName(std::string& name) const override { name = fName; }
  int GetValueType() const override { return fValueType; }
  void SetValueType(int type) override { fValueType = type; }

 private:
  std::string fName;
  int fValueType;
};

int ValueType(QorTransform::Kind kind) {
  return kind == QorTransform::Kind::Text ? IQorVariable::VALUE_STRING : IQorVariable::VALUE_NUMERIC;
}

// Applies a transformation model. Used by one thread at a time; owns the
// compiled model, its evaluator and the output descriptions.
class TransformScoreComputer final : public IQorScoreComputer {
 public:
  explicit TransformScoreComputer(std::unique_ptr<QorTransform::Model> model)
      : fpModel(std::move(model)), fEvaluator(*fpModel) {
    for (const QorTransform::Field& field : fpModel->fvOutputs) {
      fvOutputs.push_back(std::make_unique<OutputVariable>(field.fName, ValueType(field.fKind)));
      fvTextOutput.push_back(field.fKind == QorTransform::Kind::Text);
    }
    for (const QorTransform::Field& field : fpModel->fvInputs) {
      fvInputInfo.push_back({field.fKind == QorTransform::Kind::Text,
                             !field.fvMissingNumbers.empty() || !field.fvMissingTexts.empty()});
    }
  }
  TransformScoreComputer(const TransformScoreComputer&) = delete;
  TransformScoreComputer& operator=(const TransformScoreComputer&) = delete;

  int GetScorerType() const override { return TRANSFORMATION_MODEL; }

  // Numeric inputs become continuous variables, string inputs categorical
  // ones with value type 3.
  QorCommon::QorStatus GetInputVarList(QorVarList& list) const override {
    for (const QorTransform::Field& field : fpModel->fvInputs) {
      if (field.fKind == QorTransform::Kind::Text) {
        int index = list.AddCatVar(field.fName, "", std::vector<std::string>{}, std::vector<std::string>{},
                                   IQorVariable::RoleInput);
        IQorVariable* variable = list.GetVarAt(index);
        if (variable == nullptr)
          return QorCommon::QorStatus::Error("the variable list refused input " + field.fName);
        variable->SetValueType(IQorVariable::VALUE_STRING);
      } else {
        list.AddContVar(field.fName, "", 0.0, 0.0, IQorVariable::RoleInput, false, -1);
      }
    }
    return {};
  }

  int GetOutputVarCount() const override { return static_cast<int>(fvOutputs.size()); }

  IQorVariable* GetOutputVarAt(int index) const override {
    if (index < 0 || index >= static_cast<int>(fvOutputs.size())) return nullptr;
    return fvOutputs[static_cast<size_t>(index)].get();
  }

  QorCommon::QorStatus PrepareOutputRecord(QorCommon::ValueRecord& output) const override {
    output.Clear();
    for (const QorTransform::Field& field : fpModel->fvOutputs) {
      output.AddValue(field.fName, field.fKind == QorTransform::Kind::Text
                                       ? QorCommon::Value("")
                                       : QorCommon::Value(QorCommon::QorMV::MISSING));
    }
    return {};
  }

  // Reads one value per input (numbers for numeric inputs, texts for string
  // inputs), computes every derived field and writes one value per output:
  // a missing number, or one that is not finite (an asIs function's invalid
  // value), as the missing value, a missing text as the empty text.
  // Allocates nothing unless a text output outgrows its value's capacity or
  // the case fails.
  QorCommon::QorStatus Score(QorCommon::ValueRecord& input, QorCommon::ValueRecord& output, bool) override {
    const size_t nInputs = fpModel->fvInputs.size();
    const size_t nOutputs = fpModel->fvOutputs.size();
    if (input.Size() < static_cast<int>(nInputs)) {
      return QorCommon::QorStatus::Error("the input record holds " + std::to_string(input.Size()) +
                                         " values but the model has " + std::to_string(nInputs) + " inputs");
    }
    if (output.Size() < static_cast<int>(nOutputs)) {
      return QorCommon::QorStatus::Error("the output record holds " + std::to_string(output.Size()) +
                                         " values but the model has " + std::to_string(nOutputs) +
                                         " outputs");
    }
    QorTransform::Cell* cells = fEvaluator.Inputs();
    for (size_t i = 0; i < nInputs; ++i) {
      const QorCommon::Value& value = input[static_cast<int>(i)];
      const InputInfo info = fvInputInfo[i];
      if (info.fbText) {
        if (!value.IsString()) return KindError(i, "a text");
        const std::string& text = value.GetString();
        bool missing = false;
        if (info.fbDeclaredMissing) {
          for (const std::string& m : fpModel->fvInputs[i].fvMissingTexts) missing = missing || m == text;
        }
        cells[i] = missing ? QorTransform::Cell::Missing() : QorTransform::Cell::Text(&text);
      } else {
        if (value.IsString()) return KindError(i, "a number");
        const double number = value.GetNumber();
        bool missing = QorCommon::QorMV::IsMissing(number) || std::isnan(number);
        if (info.fbDeclaredMissing) {
          for (double m : fpModel->fvInputs[i].fvMissingNumbers) missing = missing || m == number;
        }
        cells[i] = missing ? QorTransform::Cell::Missing() : QorTransform::Cell::Number(number);
      }
    }
    if (!fEvaluator.Run()) {
      return QorCommon::QorStatus::Error(
          "derived field " + fpModel->fvOutputs[static_cast<size_t>(fEvaluator.FailedOutput())].fName +
          " has an invalid value");
    }
    // The records' values are contiguous; taking the bases once keeps the
    // compiler from reloading them after every number written.
    const QorTransform::Cell* results = fEvaluator.Outputs();
    QorCommon::Value* values = nOutputs == 0 ? nullptr : &output[0];
    const char* textOutput = fvTextOutput.data();
    for (size_t j = 0; j < nOutputs; ++j) {
      const QorTransform::Cell& cell = results[j];
      QorCommon::Value& value = values[j];
      if (textOutput[j]) {
        value = cell.IsMissing() ? EmptyText() : *cell.fpText;
        continue;
      }
      const double number =
          cell.IsMissing() || !std::isfinite(cell.fNumber) ? QorCommon::QorMV::MISSING : cell.fNumber;
      if (!value.IsString()) {
        static_cast<double&>(value) = number;
      } else {
        value = number;
      }
    }
    return {};
  }

 private:
  QorCommon::QorStatus KindError(size_t input, const char* expected) const {
    return QorCommon::QorStatus::Error("input " + fpModel->fvInputs[input].fName + " expects " + expected);
  }

  static const std::string& EmptyText() {
    static const std::string empty;
    return empty;
  }

  std::unique_ptr<QorTransform::Model> fpModel;
  QorTransform::Evaluator fEvaluator;
  std::vector<std::unique_ptr<OutputVariable>> fvOutputs;
  // What Score needs to know of each input, packed.
  struct InputInfo {
    bool fbText;             // a string input
    bool fbDeclaredMissing;  // the document declares missing values for it
  };
  std::vector<InputInfo> fvInputInfo;
  std::vector<char> fvTextOutput;  // per output: a text rather than a number
};

}  // namespace
}  // namespace QorXML

namespace QorScoring {

QorXML::IQorScoreComputer* QorScorerFactory::CreateQorScoringObject(QorXML::QorSettings& /*settings*/,
                                                                    std::istream& model) {
  fLastError.clear();
  std::string text{std::istreambuf_iterator<char>(model), std::istreambuf_iterator<char>()};
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    fLastError = "the model text is empty";
    return nullptr;
  }
  std::unique_ptr<QorTransform::Model> compiled = QorTransform::ReadModel(text, fLastError);
  if (!compiled) return nullptr;
  return new QorXML::TransformScoreComputer(std::move(compiled));
}

}  // namespace QorScoring
