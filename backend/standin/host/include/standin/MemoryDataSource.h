// An in-memory host data set: a dictionary and a case store, with the
// procedure framework's data-source behaviour (iterators, split groups, the
// weight filter, pass bookkeeping, injected fatal errors). Filled through
// its builder calls by tests and host code, or by the CSV loader. One thread
// at a time; iterators read the stored rows in place and must not outlive
// the data source.
#ifndef STANDIN_MEMORYDATASOURCE_H
#define STANDIN_MEMORYDATASOURCE_H

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "vorm/ProcedureDataSource.h"

namespace standin {

enum class Measure { Nominal, Ordinal, Scale };

// Declaration of one variable.
struct VariableSpec {
  std::string fName;
  std::string fLabel;  // empty: no label
  short fType = 0;     // 0 numeric, else string width 1..32767
  // Default: F8.2 for numbers, A<width> for strings. A string's format is
  // A<width> or AHEX<2 x width>: no other width is accepted.
  VORM_Format fFormat;
  Measure fMeasure = Measure::Scale;
  // Value labels: numeric values or string values (unpadded), with labels.
  std::vector<std::pair<double, std::string>> fNumericLabels;
  std::vector<std::pair<std::string, std::string>> fStringLabels;
  // User-missing values: up to three discrete values (numbers, or strings for
  // string variables), or a numeric range, or a range plus one number.
  std::vector<double> fMissingNumbers;
  std::vector<std::string> fMissingStrings;
  bool fHasMissingRange = false;
  double fMissingLow = 0.0, fMissingHigh = 0.0;

  bool operator==(const VariableSpec&) const = default;
};

class MemoryDataSource : public ProcedureDataSource {
 public:
  MemoryDataSource();
  ~MemoryDataSource() override;
  MemoryDataSource(const MemoryDataSource&) = delete;
  MemoryDataSource& operator=(const MemoryDataSource&) = delete;

  // --- Building the dictionary (before the first case is added) ----------

  // Adds a variable and returns its host index; -1 for an invalid
  // declaration (duplicate name, bad width, a string format of another
  // width than the string's, more than three missing values, a range on a
  // string variable, ...). `error` then gets the reason alone, for a caller
  // that names the variable its own way; LastError names the call and the
  // variable.
  int AddVariable(const VariableSpec& spec, std::string* error = nullptr);
  // Shorthands.
  int AddNumeric(const std::string& name, Measure measure = Measure::Scale);
  int AddString(const std::string& name, short width, Measure measure = Measure::Nominal);
  // Access to a declared variable's spec for later adjustments. The
  // reference is for editing until the next call of this data source, which
  // applies the changes; one that is not valid (or a type change once cases
  // exist) is reverted, reported on stderr and kept in LastError. Variables
  // whose spec did not change keep their texts and missing-value cells at
  // the same addresses. A bad index gives a scratch spec that is ignored.
  VariableSpec& Spec(int index);
  // A declared variable's spec for reading, as applied (an empty spec for a
  // bad index). Valid until the next change to the dictionary.
  const VariableSpec& Declaration(int index) const;

  // Why the last builder call that failed did so.
  const std::string& LastError() const;

  // Weight variable (numeric), or -1 for none. False (weight unchanged) for
  // an index out of range or a string variable.
  bool SetWeightVariable(int index);
  // Split variables; the cases must be sorted by them. Empty turns splits off.
  // False (splits unchanged) for an index out of range or listed twice.
  bool SetSplitVariables(const std::vector<int>& indices);
  void SetSplitRequested(bool requested);

  // --- Adding cases -------------------------------------------------------

  // Starts a new case (all numbers system-missing, all strings blank) and
  // returns its 0-based row. The case number is the row + 1 unless given.
  size_t AddCase(int64_t caseNumber = -1);
  // Set a value of the case being built (the last added one). False when
  // there is no case, the index is out of range or the type does not match.
  bool SetNumber(int index, double value);
  bool SetString(int index, const std::string& value);  // blank padded / cut to width
  // The cells of the case being built (null when there is none), for a
  // loader that writes numbers in place at their variables' CellOffset.
  OBS* BuildingRow();
  // Reserves room for this many rows.
  void Reserve(size_t rows);

  size_t NumCases() const;
  // Row width in cells, and the first cell of a stored row (null past the
  // end). String cells are blank beyond the variable's width.
  size_t RowCells() const;
  const OBS* Row(size_t row) const;
  // The case number of a stored row (-1 past the end).
  int64_t CaseNumber(size_t row) const;
  // The cell offset of a variable inside a row ((size_t)-1 for a bad index).
  size_t CellOffset(int index) const;

  // --- Test controls ------------------------------------------------------

  // FatalError() becomes true once an iterator has read the case with this
  // number from the store, whether it delivers it or the weight filter skips
  // it (-1: never). Clears an error met before.
  void SetFatalErrorAtCase(int64_t caseNumber);
  // NewCaseIterator returns null from now on.
  void SetRefuseIterators(bool refuse);
  int IteratorsCreated() const;

  // --- ProcedureDataSource -------------------------------------------------
  int GetNumVariables() const override;
  const VORM_Variable* GetVariable(int index) const override;
  int FindVarIndex(const char* name, int flags) const override;
  int GetWeightVarIndex() const override;
  bool IsCategorical(int index) const override;
  // The iterator takes the layout, weight variable, weight filter and split
  // variables as they are when it is made; do not change the dictionary
  // while it lives (adding cases is fine). It owns a one-row buffer that
  // NextCase fills with one copy per case. With split variables it delivers
  // a group-end mark between consecutive cases whose split values differ
  // (numbers by value, strings over all their cells); the mark keeps the
  // previous case in the buffer, and the new group's first case follows on
  // the next call. Delivering a group's first case sets the process-wide
  // current split group (standin::CurrentSplitGroup).
  VORM_InputCaseIterator* NewCaseIterator(int flags) override;
  int GetNumSplitVars() const override;
  int GetSplitVarIndex(int i) const override;
  bool IsSplitRequested() const override;
  bool GetWeightFilter() const override;
  void SetWeightFilter(bool on) override;
  bool IsLastPass() const override;
  void SetLastPass() override;
  bool FatalError() const override;

  // Undo SetLastPass and clear a fatal error met (a new procedure on the
  // same data); the case set by SetFatalErrorAtCase stays armed.
  void ResetPasses();

  struct Rep;

 private:
  std::unique_ptr<Rep> fpRep;
};

}  // namespace standin

#endif  // STANDIN_MEMORYDATASOURCE_H
