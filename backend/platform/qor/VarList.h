// The components' variable list: variables with measurement levels, roles,
// categories, value labels, ranges and missing values. One thread at a time.
#ifndef QOR_VARLIST_H
#define QOR_VARLIST_H

#include <memory>
#include <string>
#include <vector>

namespace QorXML {

// Records a variable's user-missing values.
class IQorEncoder {
 public:
  virtual ~IQorEncoder() = default;
  virtual void AddMissingValue(double value, const std::string& label) = 0;
  virtual void AddMissingValue(const std::string& value, const std::string& label) = 0;
  virtual void SetMissingRange(double low, double high) = 0;
};

class IQorVariable {
 public:
  enum VariableRole : int {
    RoleInput = 0,
    RoleTarget = 1,
    RoleBoth = 2,
    RoleNone = 3,
    RolePartition = 4,
    RoleSplit = 5,
    RoleFrequency = 6
  };
  enum MeasureLevel : int {
    MeasureContinuous = 1,
    MeasureNominalNumeric = 2,
    MeasureNominalString = 3,
    MeasureOrdinal = 4
  };
  enum WRoundingOption : int { WRoundNone = 0, WRoundNearest = 1, WRoundTruncate = 2 };
  // Value types; 3 marks a string variable.
  static constexpr int VALUE_NUMERIC = 0;
  static constexpr int VALUE_STRING = 3;

  virtual ~IQorVariable() = default;
  virtual void GetName(std::string& name) const = 0;
  virtual int GetValueType() const = 0;
  virtual void SetValueType(int type) = 0;
};

// Default settings of a component.
class QorSettings {
 public:
  QorSettings() = default;
};

// A variable list. Each adding operation returns the index given to the new
// entry (negative on refusal for SetWeightVar).
class QorVarList {
 public:
  QorVarList();
  ~QorVarList();
  QorVarList(const QorVarList&) = delete;
  QorVarList& operator=(const QorVarList&) = delete;

  int Size() const;
  // The entry at `index`, or null. Owned by the list.
  IQorVariable* GetVarAt(int index) const;
  IQorEncoder* GetEncoderAt(int index) const;

  int AddCatVar(const std::string& name, const std::string& label, int categoryCount,
                IQorVariable::MeasureLevel level, IQorVariable::VariableRole role);
  int AddCatVar(const std::string& name, const std::string& label, const std::vector<double>& values,
                const std::vector<std::string>& valueLabels, IQorVariable::VariableRole role);
  int AddCatVar(const std::string& name, const std::string& label, const std::vector<std::string>& values,
                const std::vector<std::string>& valueLabels, IQorVariable::VariableRole role);
  int AddContVar(const std::string& name, const std::string& label, double min, double max,
                 IQorVariable::VariableRole role, bool flag, int number);
  int SetWeightVar(const std::string& name, const std::string& label, IQorVariable::WRoundingOption rounding);

  // Everything an entry was given, for readers of the list.
  struct Entry {
    enum Kind { Categorical, Continuous, Weight } fKind = Categorical;
    std::string fName, fLabel;
    int fValueType = IQorVariable::VALUE_NUMERIC;
    int fCategoryCount = 0;
    int fMeasureLevel = 0;
    int fRole = 0;
    std::vector<double> fNumericValues;
    std::vector<std::string> fStringValues;
    std::vector<std::string> fValueLabels;
    double fMin = 0.0, fMax = 0.0;
    bool fContFlag = false;
    int fContNumber = -1;
    int fRounding = 0;
    std::vector<std::pair<double, std::string>> fMissingNumbers;
    std::vector<std::pair<std::string, std::string>> fMissingStrings;
    bool fHasMissingRange = false;
    double fMissingLow = 0.0, fMissingHigh = 0.0;
  };
  // The entry at `index`, or null.
  const Entry* GetEntry(int index) const;
  // Refuse weight variables from now on (for tests of the refusal path).
  void SetRefuseWeight(bool refuse);

 private:
  struct Rep;
  std::unique_ptr<Rep> fpRep;
};

}  // namespace QorXML

#endif  // QOR_VARLIST_H
