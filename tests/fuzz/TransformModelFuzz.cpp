// Fuzz target: the components' transformation-model reader and evaluator,
// through the scorer factory. The input is the model text.
//
// Properties: a refused text comes with a reason. A model that is read
// describes itself consistently (its inputs, its outputs, an output record
// with one value per output) and scores a few cases (every input missing,
// zeros and empty texts, ordinary values, extreme ones) without a crash: a
// case either fails with an error status or gives, for each numeric output,
// a finite number or the system-missing value, and for each text output a
// text. Records of the wrong shape are refused with an error status.
#include <qor/Record.h>
#include <qor/Scoring.h>

#include <cmath>
#include <limits>
#include <memory>
#include <sstream>
#include <string>

#include "FuzzSupport.h"

namespace {

using QorCommon::Value;
using QorCommon::ValueRecord;

constexpr double MISSING = -1.7976931348623157e308;

struct Case {
  double fNumber;
  const char* fText;
};

constexpr Case CASES[] = {
    {MISSING, ""},
    {0.0, ""},
    {1.5, "a"},
    {-2.0, "north"},
    {1e308, "a much longer text than any category"},
    {std::numeric_limits<double>::quiet_NaN(), " "},
    {-std::numeric_limits<double>::infinity(), "\xC3\xA9"},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream stream(text);
  QorXML::QorSettings settings;
  QorScoring::QorScorerFactory factory;
  std::unique_ptr<QorXML::IQorScoreComputer> computer(factory.CreateQorScoringObject(settings, stream));
  if (!computer) {
    FUZZ_CHECK(!factory.LastError().empty());
    return 0;
  }
  FUZZ_CHECK(computer->GetScorerType() == QorXML::IQorScoreComputer::TRANSFORMATION_MODEL);

  QorXML::QorVarList inputs;
  FUZZ_CHECK(!computer->GetInputVarList(inputs).IsError());
  const int nOutputs = computer->GetOutputVarCount();
  FUZZ_CHECK(nOutputs >= 0);
  for (int j = 0; j < nOutputs; ++j) FUZZ_CHECK(computer->GetOutputVarAt(j) != nullptr);
  FUZZ_CHECK(computer->GetOutputVarAt(nOutputs) == nullptr);
  FUZZ_CHECK(computer->GetOutputVarAt(-1) == nullptr);

  ValueRecord output(2);
  FUZZ_CHECK(!computer->PrepareOutputRecord(output).IsError());
  FUZZ_CHECK(output.Size() == nOutputs);

  for (const Case& c : CASES) {
    ValueRecord input(2);
    for (int i = 0; i < inputs.Size(); ++i) {
      std::string name;
      inputs.GetVarAt(i)->GetName(name);
      const bool isText = inputs.GetVarAt(i)->GetValueType() == QorXML::IQorVariable::VALUE_STRING;
      input.AddValue(name, isText ? Value(c.fText) : Value(c.fNumber));
    }
    if (computer->Score(input, output, false).IsError()) continue;
    FUZZ_CHECK(output.Size() == nOutputs);
    for (int j = 0; j < nOutputs; ++j) {
      const bool isText = computer->GetOutputVarAt(j)->GetValueType() == QorXML::IQorVariable::VALUE_STRING;
      FUZZ_CHECK(output[j].IsString() == isText);
      if (!isText) {
        const double v = output[j].GetNumber();
        FUZZ_CHECK(v == MISSING || std::isfinite(v));
      }
    }
  }

  // A record with one value too few, and an empty output record.
  if (inputs.Size() > 0) {
    ValueRecord shortInput(2);
    for (int i = 0; i + 1 < inputs.Size(); ++i) shortInput.AddValue("v", Value(0.0));
    FUZZ_CHECK(computer->Score(shortInput, output, false).IsError());
  }
  if (nOutputs > 0) {
    ValueRecord input(2);
    for (int i = 0; i < inputs.Size(); ++i) {
      const bool isText = inputs.GetVarAt(i)->GetValueType() == QorXML::IQorVariable::VALUE_STRING;
      input.AddValue("v", isText ? Value("") : Value(0.0));
    }
    ValueRecord noOutputs(2);
    FUZZ_CHECK(computer->Score(input, noOutputs, false).IsError());
  }
  return 0;
}
