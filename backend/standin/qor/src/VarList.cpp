// The components' variable list: every entry keeps all it was given, and is
// reachable as a variable and as a missing-value encoder.
#include <qor/VarList.h>

#include <utility>

namespace QorXML {
namespace {

// One entry of the list; the list owns it and hands out its two faces.
class ListItem final : public IQorVariable, public IQorEncoder {
 public:
  explicit ListItem(QorVarList::Entry entry) : fEntry(std::move(entry)) {}
  ListItem(const ListItem&) = delete;
  ListItem& operator=(const ListItem&) = delete;

  void GetName(std::string& name) const override { name = fEntry.fName; }
  int GetValueType() const override { return fEntry.fValueType; }
  void SetValueType(int type) override { fEntry.fValueType = type; }

  void AddMissingValue(double value, const std::string& label) override {
    fEntry.fMissingNumbers.emplace_back(value, label);
  }
  void AddMissingValue(const std::string& value, const std::string& label) override {
    fEntry.fMissingStrings.emplace_back(value, label);
  }
  void SetMissingRange(double low, double high) override {
    fEntry.fHasMissingRange = true;
    fEntry.fMissingLow = low;
    fEntry.fMissingHigh = high;
  }

  QorVarList::Entry fEntry;
};

}  // namespace

struct QorVarList::Rep {
  std::vector<std::unique_ptr<ListItem>> fvItems;
  bool fbRefuseWeight = false;
  bool fbHasWeight = false;

  int Add(Entry entry) {
    fvItems.push_back(std::make_unique<ListItem>(std::move(entry)));
    return static_cast<int>(fvItems.size()) - 1;
  }
  ListItem* At(int index) const {
    if (index < 0 || index >= static_cast<int>(fvItems.size())) return nullptr;
    return fvItems[static_cast<size_t>(index)].get();
  }
};

QorVarList::QorVarList() : fpRep(std::make_unique<Rep>()) {}

QorVarList::~QorVarList() = default;

int QorVarList::Size() const { return static_cast<int>(fpRep->fvItems.size()); }

IQorVariable* QorVarList::GetVarAt(int index) const { return fpRep->At(index); }

IQorEncoder* QorVarList::GetEncoderAt(int index) const { return fpRep->At(index); }

int QorVarList::AddCatVar(const std::string& name, const std::string& label, int categoryCount,
                          IQorVariable::MeasureLevel level, IQorVariable::VariableRole role) {
  Entry entry;
  entry.fKind = Entry::Categorical;
  entry.fName = name;
  entry.fLabel = label;
  entry.fCategoryCount = categoryCount;
  entry.fMeasureLevel = level;
  entry.fRole = role;
  return fpRep->Add(std::move(entry));
}

int QorVarList::AddCatVar(const std::string& name, const std::string& label,
                          const std::vector<double>& values, const std::vector<std::string>& valueLabels,
                          IQorVariable::VariableRole role) {
  Entry entry;
  entry.fKind = Entry::Categorical;
  entry.fName = name;
  entry.fLabel = label;
  entry.fCategoryCount = static_cast<int>(values.size());
  entry.fMeasureLevel = IQorVariable::MeasureNominalNumeric;
  entry.fRole = role;
  entry.fNumericValues = values;
  entry.fValueLabels = valueLabels;
  return fpRep->Add(std::move(entry));
}

int QorVarList::AddCatVar(const std::string& name, const std::string& label,
                          const std::vector<std::string>& values, const std::vector<std::string>& valueLabels,
                          IQorVariable::VariableRole role) {
  Entry entry;
  entry.fKind = Entry::Categorical;
  entry.fName = name;
  entry.fLabel = label;
  entry.fCategoryCount = static_cast<int>(values.size());
  entry.fMeasureLevel = IQorVariable::MeasureNominalString;
  entry.fRole = role;
  entry.fStringValues = values;
  entry.fValueLabels = valueLabels;
  return fpRep->Add(std::move(entry));
}

int QorVarList::AddContVar(const std::string& name, const std::string& label, double min, double max,
                           IQorVariable::VariableRole role, bool flag, int number) {
  Entry entry;
  entry.fKind = Entry::Continuous;
  entry.fName = name;
  entry.fLabel = label;
  entry.fMeasureLevel = IQorVariable::MeasureContinuous;
  entry.fRole = role;
  entry.fMin = min;
  entry.fMax = max;
  entry.fContFlag = flag;
  entry.fContNumber = number;
  return fpRep->Add(std::move(entry));
}

// A list holds at most one weight variable: a second one is refused, as is
// every one after SetRefuseWeight(true).
int QorVarList::SetWeightVar(const std::string& name, const std::string& label,
                             IQorVariable::WRoundingOption rounding) {
  if (fpRep->fbRefuseWeight || fpRep->fbHasWeight) return -1;
  Entry entry;
  entry.fKind = Entry::Weight;
  entry.fName = name;
  entry.fLabel = label;
  entry.fMeasureLevel = IQorVariable::MeasureContinuous;
  entry.fRole = IQorVariable::RoleFrequency;
  entry.fRounding = rounding;
  fpRep->fbHasWeight = true;
  return fpRep->Add(std::move(entry));
}

const QorVarList::Entry* QorVarList::GetEntry(int index) const {
  const ListItem* item = fpRep->At(index);
  return item ? &item->fEntry : nullptr;
}

void QorVarList::SetRefuseWeight(bool refuse) { fpRep->fbRefuseWeight = refuse; }

}  // namespace QorXML
