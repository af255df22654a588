#include "standin/MemoryDataSource.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>

#include "MemoryCaseIterator.h"
#include "MemoryDataSourceRep.h"

namespace standin {
namespace {

std::string UpperName(const std::string& name) { return GetUpperVarName(VormVarName(name)).str(); }

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// A large store is filled row by row; asking for large pages makes the
// first touch of its memory take a few hundred faults instead of one per
// 4 KiB. Only advice: the store works the same when the system says no.
void AdviseLargePages(void* data, size_t bytes) {
  constexpr uintptr_t LARGE_PAGE = uintptr_t{2} << 20;
  const uintptr_t first = (reinterpret_cast<uintptr_t>(data) + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
  const uintptr_t last = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(LARGE_PAGE - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace

// --- Rep ----------------------------------------------------------------------

bool MemoryDataSource::Rep::Fail(std::string error) {
  fLastError = std::move(error);
  return false;
}

void MemoryDataSource::Rep::Refresh() {
  if (fvOpenSpecs.empty()) return;
  // Only the declarations handed out since the last refresh can have
  // changed: the others are not looked at, so that reading the specs of a
  // wide dictionary one by one costs no more than the reading.
  std::vector<size_t> open;
  open.swap(fvOpenSpecs);
  std::sort(open.begin(), open.end());
  open.erase(std::unique(open.begin(), open.end()), open.end());
  auto report = [this](const std::string& error) {
    fLastError = "MemoryDataSource: " + error + "; the previous declaration is kept";
    std::fprintf(stderr, "%s\n", fLastError.c_str());
  };

  // Each declaration on its own.
  bool renamed = false;
  for (size_t index : open) {
    MemoryVariable& variable = *fVariables[index];
    VariableSpec& spec = variable.EditableSpec();
    std::string error = MemoryVariable::Check(spec);
    if (!error.empty()) {
      error = "variable " + Quoted(spec.fName) + ": " + error;
    } else if (spec.fType != variable.AppliedSpec().fType && NumCases() > 0) {
      error =
          "variable " + Quoted(variable.AppliedSpec().fName) + ": the type cannot change once cases exist";
    }
    if (!error.empty()) {
      report(error);
      variable.Revert();
    }
    renamed |= spec.fName != variable.AppliedSpec().fName;
  }
  // Names stay unique; on a clash every renamed variable keeps its old name.
  if (renamed) {
    std::set<std::string> names;
    bool clash = false;
    for (auto& variable : fVariables)
      clash |= !names.insert(UpperName(variable->EditableSpec().fName)).second;
    if (clash) {
      report("two variables would have the same name");
      for (size_t index : open)
        fVariables[index]->EditableSpec().fName = fVariables[index]->AppliedSpec().fName;
    }
  }
  bool changed = false;
  for (size_t index : open) {
    MemoryVariable& variable = *fVariables[index];
    if (!(variable.EditableSpec() == variable.AppliedSpec())) {
      variable.Apply(variable.EditableSpec());
      changed = true;
    }
  }
  if (fWeightIndex >= 0 && fVariables[static_cast<size_t>(fWeightIndex)]->GetType() != 0) {
    report("the weight variable is no longer numeric; the data are unweighted now");
    fWeightIndex = -1;
  }
  if (changed) Layout();
}

void MemoryDataSource::Rep::Layout() {
  fNameIndex.clear();
  fOffsets.clear();
  fRowCells = 0;
  fBlankRow.clear();
  for (size_t i = 0; i < fVariables.size(); ++i) AppendLayout(i);
}

void MemoryDataSource::Rep::AppendLayout(size_t index) {
  const MemoryVariable& variable = *fVariables[index];
  fNameIndex.emplace(UpperName(variable.GetName()), static_cast<int>(index));
  fOffsets.push_back(fRowCells);
  const size_t cells = static_cast<size_t>(variable.Cells());
  fRowCells += cells;
  fBlankRow.resize(fRowCells);
  OBS* first = fBlankRow.data() + fOffsets.back();
  if (variable.GetType() == 0) {
    first->num = VORM_SYSMIS;
  } else {
    std::memset(static_cast<void*>(first), ' ', cells * sizeof(OBS));
  }
}

// --- Building the dictionary --------------------------------------------------

MemoryDataSource::MemoryDataSource() : fpRep(std::make_unique<Rep>()) {}

MemoryDataSource::~MemoryDataSource() = default;

int MemoryDataSource::AddVariable(const VariableSpec& spec, std::string* error) {
  Rep& rep = *fpRep;
  rep.Refresh();
  VariableSpec checked = spec;
  std::string reason = MemoryVariable::Check(checked);
  if (reason.empty() && rep.NumCases() > 0) reason = "variables must be declared before the first case";
  if (reason.empty() && rep.fNameIndex.count(UpperName(spec.fName)) > 0) reason = "the name is taken";
  if (!reason.empty()) {
    rep.Fail("AddVariable: variable " + Quoted(spec.fName) + ": " + reason);
    if (error != nullptr) *error = reason;
    return -1;
  }
  rep.fVariables.push_back(std::make_unique<MemoryVariable>(checked));
  rep.AppendLayout(rep.fVariables.size() - 1);
  return static_cast<int>(rep.fVariables.size()) - 1;
}

int MemoryDataSource::AddNumeric(const std::string& name, Measure measure) {
  VariableSpec spec;
  spec.fName = name;
  spec.fMeasure = measure;
  return AddVariable(spec);
}

int MemoryDataSource::AddString(const std::string& name, short width, Measure measure) {
  VariableSpec spec;
  spec.fName = name;
  spec.fMeasure = measure;
  if (width < 1) {
    fpRep->Fail("AddString: variable " + Quoted(name) + ": width " + std::to_string(width) + " is below 1");
    return -1;
  }
  spec.fType = width;
  return AddVariable(spec);
}

VariableSpec& MemoryDataSource::Spec(int index) {
  Rep& rep = *fpRep;
  if (index < 0 || static_cast<size_t>(index) >= rep.fVariables.size()) {
    rep.Fail("Spec: no variable at index " + std::to_string(index));
    rep.fScratchSpec = VariableSpec{};
    return rep.fScratchSpec;
  }
  rep.fvOpenSpecs.push_back(static_cast<size_t>(index));
  return rep.fVariables[static_cast<size_t>(index)]->EditableSpec();
}

const VariableSpec& MemoryDataSource::Declaration(int index) const {
  static const VariableSpec NONE;
  Rep& rep = *fpRep;
  rep.Refresh();
  if (index < 0 || static_cast<size_t>(index) >= rep.fVariables.size()) return NONE;
  return rep.fVariables[static_cast<size_t>(index)]->AppliedSpec();
}

bool MemoryDataSource::SetWeightVariable(int index) {
  Rep& rep = *fpRep;
  rep.Refresh();
  if (index < 0) {
    rep.fWeightIndex = -1;
    return true;
  }
  if (static_cast<size_t>(index) >= rep.fVariables.size()) {
    return rep.Fail("SetWeightVariable: no variable at index " + std::to_string(index));
  }
  if (rep.fVariables[static_cast<size_t>(index)]->GetType() != 0) {
    return rep.Fail("SetWeightVariable: variable " +
                    Quoted(rep.fVariables[static_cast<size_t>(index)]->GetName()) + " is not numeric");
  }
  rep.fWeightIndex = index;
  return true;
}

bool MemoryDataSource::SetSplitVariables(const std::vector<int>& indices) {
  Rep& rep = *fpRep;
  rep.Refresh();
  std::set<int> seen;
  for (int index : indices) {
    if (index < 0 || static_cast<size_t>(index) >= rep.fVariables.size()) {
      return rep.Fail("SetSplitVariables: no variable at index " + std::to_string(index));
    }
    if (!seen.insert(index).second) {
      return rep.Fail("SetSplitVariables: variable " +
                      Quoted(rep.fVariables[static_cast<size_t>(index)]->GetName()) + " is listed twice");
    }
  }
  rep.fSplitIndices = indices;
  return true;
}

void MemoryDataSource::SetSplitRequested(bool requested) { fpRep->fbSplitRequested = requested; }

const std::string& MemoryDataSource::LastError() const { return fpRep->fLastError; }

// --- Adding cases -------------------------------------------------------------

size_t MemoryDataSource::AddCase(int64_t caseNumber) {
  Rep& rep = *fpRep;
  rep.Refresh();
  const size_t row = rep.NumCases();
  rep.fCells.insert(rep.fCells.end(), rep.fBlankRow.begin(), rep.fBlankRow.end());
  rep.fCaseNumbers.push_back(caseNumber < 0 ? static_cast<int64_t>(row) + 1 : caseNumber);
  return row;
}

bool MemoryDataSource::SetNumber(int index, double value) {
  Rep& rep = *fpRep;
  if (rep.NumCases() == 0) return rep.Fail("SetNumber: no case has been added");
  if (index < 0 || static_cast<size_t>(index) >= rep.fVariables.size()) {
    return rep.Fail("SetNumber: no variable at index " + std::to_string(index));
  }
  const MemoryVariable& variable = *rep.fVariables[static_cast<size_t>(index)];
  if (variable.GetType() != 0) {
    return rep.Fail("SetNumber: variable " + Quoted(variable.GetName()) + " is a string variable");
  }
  const size_t row = rep.NumCases() - 1;
  rep.fCells[row * rep.fRowCells + rep.fOffsets[static_cast<size_t>(index)]].num = value;
  return true;
}

OBS* MemoryDataSource::BuildingRow() {
  Rep& rep = *fpRep;
  if (rep.NumCases() == 0) return nullptr;
  return rep.fCells.data() + (rep.NumCases() - 1) * rep.fRowCells;
}

bool MemoryDataSource::SetString(int index, const std::string& value) {
  Rep& rep = *fpRep;
  if (rep.NumCases() == 0) return rep.Fail("SetString: no case has been added");
  if (index < 0 || static_cast<size_t>(index) >= rep.fVariables.size()) {
    return rep.Fail("SetString: no variable at index " + std::to_string(index));
  }
  const MemoryVariable& variable = *rep.fVariables[static_cast<size_t>(index)];
  if (variable.GetType() == 0) {
    return rep.Fail("SetString: variable " + Quoted(variable.GetName()) + " is numeric");
  }
  const size_t row = rep.NumCases() - 1;
  OBS* cells = rep.fCells.data() + row * rep.fRowCells + rep.fOffsets[static_cast<size_t>(index)];
  std::memset(static_cast<void*>(cells), ' ', static_cast<size_t>(variable.Cells()) * sizeof(OBS));
  std::memcpy(static_cast<void*>(cells), value.data(),
              std::min(value.size(), static_cast<size_t>(variable.GetType())));
  return true;
}

void MemoryDataSource::Reserve(size_t rows) {
  fpRep->Refresh();
  std::vector<OBS>& cells = fpRep->fCells;
  const OBS* before = cells.data();
  cells.reserve(rows * fpRep->fRowCells);
  fpRep->fCaseNumbers.reserve(rows);
  if (cells.data() != before) AdviseLargePages(cells.data(), cells.capacity() * sizeof(OBS));
}

size_t MemoryDataSource::NumCases() const { return fpRep->NumCases(); }

size_t MemoryDataSource::RowCells() const {
  fpRep->Refresh();
  return fpRep->fRowCells;
}

const OBS* MemoryDataSource::Row(size_t row) const {
  if (row >= fpRep->NumCases()) return nullptr;
  return fpRep->fCells.data() + row * fpRep->fRowCells;
}

int64_t MemoryDataSource::CaseNumber(size_t row) const {
  return row < fpRep->NumCases() ? fpRep->fCaseNumbers[row] : -1;
}

size_t MemoryDataSource::CellOffset(int index) const {
  fpRep->Refresh();
  if (index < 0 || static_cast<size_t>(index) >= fpRep->fOffsets.size()) return static_cast<size_t>(-1);
  return fpRep->fOffsets[static_cast<size_t>(index)];
}

// --- Test controls ------------------------------------------------------------

void MemoryDataSource::SetFatalErrorAtCase(int64_t caseNumber) {
  fpRep->fFatalAtCase = caseNumber;
  fpRep->fbFatal = false;
}

void MemoryDataSource::SetRefuseIterators(bool refuse) { fpRep->fbRefuseIterators = refuse; }

int MemoryDataSource::IteratorsCreated() const { return fpRep->fNIteratorsCreated; }

// --- ProcedureDataSource ------------------------------------------------------

int MemoryDataSource::GetNumVariables() const {
  fpRep->Refresh();
  return static_cast<int>(fpRep->fVariables.size());
}

const VORM_Variable* MemoryDataSource::GetVariable(int index) const {
  fpRep->Refresh();
  if (index < 0 || static_cast<size_t>(index) >= fpRep->fVariables.size()) return nullptr;
  return fpRep->fVariables[static_cast<size_t>(index)].get();
}

int MemoryDataSource::FindVarIndex(const char* name, int /*flags*/) const {
  fpRep->Refresh();
  if (name == nullptr) return -1;
  const auto it = fpRep->fNameIndex.find(UpperName(name));
  return it == fpRep->fNameIndex.end() ? -1 : it->second;
}

int MemoryDataSource::GetWeightVarIndex() const {
  fpRep->Refresh();
  return fpRep->fWeightIndex;
}

bool MemoryDataSource::IsCategorical(int index) const {
  fpRep->Refresh();
  if (index < 0 || static_cast<size_t>(index) >= fpRep->fVariables.size()) return false;
  return fpRep->fVariables[static_cast<size_t>(index)]->IsCategorical();
}

VORM_InputCaseIterator* MemoryDataSource::NewCaseIterator(int /*flags*/) {
  fpRep->Refresh();
  if (fpRep->fbRefuseIterators) return nullptr;
  ++fpRep->fNIteratorsCreated;
  return new MemoryCaseIterator(*this, *fpRep);
}

int MemoryDataSource::GetNumSplitVars() const { return static_cast<int>(fpRep->fSplitIndices.size()); }

int MemoryDataSource::GetSplitVarIndex(int i) const {
  if (i < 0 || static_cast<size_t>(i) >= fpRep->fSplitIndices.size()) return -1;
  return fpRep->fSplitIndices[static_cast<size_t>(i)];
}

bool MemoryDataSource::IsSplitRequested() const { return fpRep->fbSplitRequested; }

bool MemoryDataSource::GetWeightFilter() const { return fpRep->fbWeightFilter; }

void MemoryDataSource::SetWeightFilter(bool on) { fpRep->fbWeightFilter = on; }

bool MemoryDataSource::IsLastPass() const { return fpRep->fbLastPass; }

void MemoryDataSource::SetLastPass() { fpRep->fbLastPass = true; }

bool MemoryDataSource::FatalError() const { return fpRep->fbFatal; }

void MemoryDataSource::ResetPasses() {
  fpRep->fbLastPass = false;
  fpRep->fbFatal = false;
}

}  // namespace standin
