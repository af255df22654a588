// Small in-memory data sets for tests: variables declared with short helpers,
// rows given as lists of numbers, texts and kvotest::SYSMIS. Header only; a
// declaration or row that the data source refuses is a test failure
// (ADD_FAILURE) naming the variable or row.
//
//   std::unique_ptr<standin::MemoryDataSource> ds =
//       kvotest::DataSourceBuilder()
//           .Add(kvotest::Num("age"))
//           .Add(kvotest::Str("region", 10).Nominal().ValueLabel("N", "North"))
//           .Add(kvotest::Num("w"))
//           .Weight("w")
//           .Split({"region"})
//           .Row({31, "N", 1.0})
//           .Row({kvotest::SYSMIS, "S", 2.0}, /*caseNumber=*/17)
//           .Build();
//
// Each call copies what it is given; the built data source belongs to the
// caller. Use from one thread.
#ifndef KVO_TESTS_SUPPORT_DATASOURCEBUILDER_H
#define KVO_TESTS_SUPPORT_DATASOURCEBUILDER_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "standin/MemoryDataSource.h"

namespace kvotest {

inline constexpr double SYSMIS = VORM_SYSMIS;

// A variable declaration with chainable settings.
class Var {
 public:
  explicit Var(std::string name, short type = 0) {
    fSpec.fName = std::move(name);
    fSpec.fType = type;
    fSpec.fMeasure = type > 0 ? standin::Measure::Nominal : standin::Measure::Scale;
  }
  Var& Label(std::string label) {
    fSpec.fLabel = std::move(label);
    return *this;
  }
  Var& Nominal() { return SetMeasure(standin::Measure::Nominal); }
  Var& Ordinal() { return SetMeasure(standin::Measure::Ordinal); }
  Var& Scale() { return SetMeasure(standin::Measure::Scale); }
  // Print format: type code (VORM_Format::F, E, A, AHEX), width, decimals.
  Var& Format(int type, int width, int decimals = 0) {
    fSpec.fFormat = VORM_Format(type, width, decimals);
    return *this;
  }
  Var& ValueLabel(double value, std::string label) {
    fSpec.fNumericLabels.emplace_back(value, std::move(label));
    return *this;
  }
  Var& ValueLabel(std::string value, std::string label) {
    fSpec.fStringLabels.emplace_back(std::move(value), std::move(label));
    return *this;
  }
  // Discrete user-missing values (up to three; one with a range).
  Var& Missing(std::vector<double> values) {
    fSpec.fMissingNumbers = std::move(values);
    return *this;
  }
  Var& MissingStrings(std::vector<std::string> values) {
    fSpec.fMissingStrings = std::move(values);
    return *this;
  }
  Var& MissingRange(double low, double high) {
    fSpec.fHasMissingRange = true;
    fSpec.fMissingLow = low;
    fSpec.fMissingHigh = high;
    return *this;
  }
  const standin::VariableSpec& Spec() const { return fSpec; }

 private:
  Var& SetMeasure(standin::Measure measure) {
    fSpec.fMeasure = measure;
    return *this;
  }
  standin::VariableSpec fSpec;
};

// A numeric variable (scale), and a string variable (nominal) of a width.
inline Var Num(std::string name) { return Var(std::move(name), 0); }
inline Var Str(std::string name, short width) { return Var(std::move(name), width); }

// One value of a row: a number or a text.
class Cell {
 public:
  Cell(double number) : fNumber(number) {}                           // NOLINT: implicit by design
  Cell(int number) : fNumber(number) {}                              // NOLINT
  Cell(long number) : fNumber(static_cast<double>(number)) {}        // NOLINT
  Cell(const char* text) : fbText(true), fText(text ? text : "") {}  // NOLINT
  Cell(std::string text) : fbText(true), fText(std::move(text)) {}   // NOLINT
  bool IsText() const { return fbText; }
  double Number() const { return fNumber; }
  const std::string& Text() const { return fText; }

 private:
  double fNumber = 0.0;
  bool fbText = false;
  std::string fText;
};

class DataSourceBuilder {
 public:
  DataSourceBuilder& Add(const Var& variable) {
    fVars.push_back(variable.Spec());
    return *this;
  }
  DataSourceBuilder& Weight(std::string name) {
    fWeight = std::move(name);
    return *this;
  }
  DataSourceBuilder& Split(std::vector<std::string> names) {
    fSplit = std::move(names);
    return *this;
  }
  // One value per variable, in declaration order; a negative case number
  // keeps the default (row + 1).
  DataSourceBuilder& Row(std::vector<Cell> cells, int64_t caseNumber = -1) {
    fRows.push_back(RowSpec{std::move(cells), caseNumber});
    return *this;
  }

  std::unique_ptr<standin::MemoryDataSource> Build() const {
    auto ds = std::make_unique<standin::MemoryDataSource>();
    for (const standin::VariableSpec& spec : fVars) {
      std::string error;
      if (ds->AddVariable(spec, &error) < 0) ADD_FAILURE() << "DataSourceBuilder: " << error;
    }
    if (!fWeight.empty() && !ds->SetWeightVariable(ds->FindVarIndex(fWeight.c_str(), 0))) {
      ADD_FAILURE() << "DataSourceBuilder: weight '" << fWeight << "': " << ds->LastError();
    }
    if (!fSplit.empty()) {
      std::vector<int> indices;
      for (const std::string& name : fSplit) indices.push_back(ds->FindVarIndex(name.c_str(), 0));
      if (!ds->SetSplitVariables(indices)) ADD_FAILURE() << "DataSourceBuilder: split: " << ds->LastError();
    }
    const int nVars = ds->GetNumVariables();
    for (size_t r = 0; r < fRows.size(); ++r) {
      const RowSpec& row = fRows[r];
      if (row.fCells.size() != static_cast<size_t>(nVars)) {
        ADD_FAILURE() << "DataSourceBuilder: row " << r << " has " << row.fCells.size() << " values for "
                      << nVars << " variables";
      }
      ds->AddCase(row.fCaseNumber);
      for (int v = 0; v < nVars && static_cast<size_t>(v) < row.fCells.size(); ++v) {
        const Cell& cell = row.fCells[static_cast<size_t>(v)];
        const bool ok = cell.IsText() ? ds->SetString(v, cell.Text()) : ds->SetNumber(v, cell.Number());
        if (!ok) ADD_FAILURE() << "DataSourceBuilder: row " << r << ": " << ds->LastError();
      }
    }
    return ds;
  }

 private:
  struct RowSpec {
    std::vector<Cell> fCells;
    int64_t fCaseNumber;
  };
  std::vector<standin::VariableSpec> fVars;
  std::string fWeight;
  std::vector<std::string> fSplit;
  std::vector<RowSpec> fRows;
};

// What one pass delivers: the case number of each case, SPLIT_MARK for a
// split-group end mark.
inline constexpr int64_t SPLIT_MARK = -1;
inline std::vector<int64_t> DeliveredCases(ProcedureDataSource& ds) {
  std::vector<int64_t> delivered;
  std::unique_ptr<VORM_InputCaseIterator> it(ds.NewCaseIterator(0));
  auto* proc = dynamic_cast<ProcDSIterator*>(it.get());
  if (proc == nullptr) {
    ADD_FAILURE() << "DeliveredCases: the data source gave no procedure iterator";
    return delivered;
  }
  while (proc->NextCase() != 0)
    delivered.push_back(proc->SplitGroupEnd() ? SPLIT_MARK : proc->GetCaseNumber());
  return delivered;
}

}  // namespace kvotest

#endif  // KVO_TESTS_SUPPORT_DATASOURCEBUILDER_H
