// Score computers and the factory that reads them from a model text.
#ifndef QOR_SCORING_H
#define QOR_SCORING_H

#include <istream>
#include <string>

#include "qor/Value.h"
#include "qor/VarList.h"

namespace QorXML {

class IQorScoreComputer {
 public:
  // Kind code of a transformation model.
  static constexpr int TRANSFORMATION_MODEL = 16;

  virtual ~IQorScoreComputer() = default;
  virtual int GetScorerType() const = 0;
  // Adds the model's inputs to `list`, in input order.
  virtual QorCommon::QorStatus GetInputVarList(QorVarList& list) const = 0;
  virtual int GetOutputVarCount() const = 0;
  // The output at `index`, owned by the computer; null when out of range.
  virtual IQorVariable* GetOutputVarAt(int index) const = 0;
  // Lays out `output` with one value per model output.
  virtual QorCommon::QorStatus PrepareOutputRecord(QorCommon::ValueRecord& output) const = 0;
  // Computes the outputs from the inputs (one value per input, in input order).
  virtual QorCommon::QorStatus Score(QorCommon::ValueRecord& input, QorCommon::ValueRecord& output,
                                     bool flags) = 0;
};

}  // namespace QorXML

namespace QorScoring {

class QorScorerFactory {
 public:
  QorScorerFactory() = default;
  // A new score computer read from the model text, owned by the caller, or
  // null when the text is not a model it can read (LastError says why).
  QorXML::IQorScoreComputer* CreateQorScoringObject(QorXML::QorSettings& settings, std::istream& model);
  const std::string& LastError() const { return fLastError; }

 private:
  std::string fLastError;
};

}  // namespace QorScoring

#endif  // QOR_SCORING_H
