/// \file
/// KVOVarListMetaData: a record's variables described to a component.
#ifndef KVOADAPTER_KVOVARLISTMETADATA_H
#define KVOADAPTER_KVOVARLISTMETADATA_H

#include <qor/VarList.h>
#include <vorm/ProcedureDataSource.h>

#include <string>
#include <vector>

#include "kvoadapter/KVOExport.h"
#include "kvoadapter/KVOInputAdapter.h"
#include "kvoadapter/KVOVarValidSpecs.h"

/// Fills a modeling component's variable list with the metadata of a record's
/// variables and of the weight variable: names, labels, measurement kind,
/// role, categories with their value labels, ranges and user-missing values,
/// every text converted from the host encoding to UTF-8. Used by the
/// procedure's thread once the input adapter has seen the data. Owns its
/// code-page converter; borrows the list, the specification list, the adapter and
/// the data source, which must outlive it.
///
/// The component's index of every variable must equal its record index: add
/// the record variables in record order from record index 0 without gaps, and
/// the weight variable at its own record position. Each addition checks this
/// and reports a mismatch as a broken internal condition.
class KVO_EXPORT KVOVarListMetaData {
 public:
  /// A variable's role for the component (input, target, frequency, ...).
  using VariableRole = QorXML::IQorVariable::VariableRole;
  /// How the component rounds the weight.
  using WRoundingOption = QorXML::IQorVariable::WRoundingOption;

  /// REQUIRES: validSpecs and inputAdapter are not null and describe the same
  /// record; the input adapter has finished the pass that gathers categories
  /// and ranges. With `withValueInfo` categories, value labels and missing
  /// values are handed over; without it only names, labels, counts and ranges.
  KVOVarListMetaData(QorXML::QorVarList& varList, const KVOVarValidSpecs* validSpecs,
                     const ProcedureDataSource& dataSource, const KVOInputAdapter* inputAdapter,
                     bool withValueInfo);
  /// Releases the converter only; everything else belongs to the caller.
  ~KVOVarListMetaData();
  /// The builder owns a converter handle: copying is refused.
  KVOVarListMetaData(const KVOVarListMetaData&) = delete;
  /// Not copyable, as the copy constructor says.
  KVOVarListMetaData& operator=(const KVOVarListMetaData&) = delete;

  // --- Single variables ------------------------------------------------------
  /// Adds the host variable of record slot `recIndex` to the list, as a
  /// categorical or continuous variable with `role`: its name and label,
  /// and its categories (in code order) or range as the adapter gathered
  /// them. Each of these returns true; a broken consistency condition is reported as an
  /// assertion, not as a false result. False only when nothing can be added:
  /// the record index names no host variable, or the specification list or the
  /// adapter is null (each also reported). `contFlag` and `contInt` are handed
  /// to the component for continuous variables only; `value` is not consulted.
  /// A non-empty `name` (in the host encoding) replaces the host variable's
  /// name for the component.
  bool AddRecVariable(int recIndex, bool isCategorical, VariableRole role, bool contFlag, int contInt,
                      const OBS* value, std::string name);
  /// The same without the continuous variable's flag and number.
  bool AddRecVariable(int recIndex, bool isCategorical, VariableRole role, const OBS* value,
                      std::string name);
  /// The same by host index (mapped to its record index), with the host name.
  bool AddVariable(int hostIndex, bool isCategorical, VariableRole role, bool contFlag, int contInt,
                   const OBS* value);
  /// The same without the continuous variable's flag and number.
  bool AddVariable(int hostIndex, bool isCategorical, VariableRole role, const OBS* value);

  // --- Lists: each returns the number of variables added -----------------------
  /// Adds the listed host variables, each as its flag says, as AddVariable
  /// does. Null or empty lists give 0. A flags vector must have one flag per entry;
  /// when it has not, only the entries that have a flag are added.
  int AddVariableList(const std::vector<int>* varIdList, const std::vector<bool>& catVarFlags,
                      VariableRole role);
  /// Adds the listed host variables, all categorical or all continuous.
  int AddVariableList(const std::vector<int>* varIdList, bool isCategorical, VariableRole role);
  /// Adds the listed record slots, each as its flag says; as AddRecVariable
  /// with the slots' host names.
  int AddRecVariableList(const std::vector<int>* recVarList, const std::vector<bool>& catVarFlags,
                         VariableRole role);
  /// Adds the listed record slots, all categorical or all continuous.
  int AddRecVariableList(const std::vector<int>* recVarList, bool isCategorical, VariableRole role);

  // --- Weight ------------------------------------------------------------------
  /// Describes the data source's weight variable, whatever index is given, at
  /// record index `recIndex`, with its missing values. True when the data are
  /// unweighted (nothing is added); false when the component refuses the
  /// weight variable. `role` is not used.
  bool AddRecWeightVar(int recIndex, VariableRole role, WRoundingOption rounding, std::string name);
  /// The same at the record slot the layout gives host variable
  /// `hostIndex`, with the weight variable's own name.
  bool AddWeightVar(int hostIndex, VariableRole role, WRoundingOption rounding);

  // --- Text ----------------------------------------------------------------------
  /// A value as text in the host encoding: a string value printed with the
  /// variable's format and trimmed; a number with "%-.15g" and '.' as the
  /// decimal separator whatever the C locale says. Null gives "".
  void ConvertObsValToStr(const OBS* value, const VORM_Variable& variable, std::string& out) const;
  /// Host encoding to UTF-8; null is the empty text. A text the converter
  /// refuses is reported ("errCode == 0") and converted character by
  /// character instead: each byte that does not convert becomes U+FFFD, the
  /// rest is kept.
  std::string transcodeToUTF8(const char* text) const;

 private:
  bool AddRecVariableData(int recIndex, bool isCategorical, VariableRole role, bool contFlag, int contInt,
                          const OBS* value, const std::string& name);
  bool AddVariableData(int hostIndex, bool isCategorical, VariableRole role, bool contFlag, int contInt,
                       const OBS* value);
  /// Registers the variable's user-missing values with the list entry at
  /// `recIndex`.
  void SetMissingValues(const VORM_Variable& variable, int recIndex);
  /// The name handed to the component: `name` when not empty, else the
  /// variable's own, in UTF-8.
  std::string ComponentName(const VORM_Variable& variable, const std::string& name) const;
  /// The variable's label in UTF-8, empty when it has none.
  std::string ComponentLabel(const VORM_Variable& variable) const;
  /// The host variable at a host index, or null (reported).
  const VORM_Variable* HostVariable(int hostIndex) const;

  QorXML::QorVarList& fVarList;
  const KVOVarValidSpecs* fpValidSpecs;
  const KVOInputAdapter* fpInputAdapter;
  const ProcedureDataSource& fDataSource;
  bool fWithValueInfo;
  void* fConverter;  ///< owned; null when the host could make none
};

#endif  // KVOADAPTER_KVOVARLISTMETADATA_H
