#include "RecordLayout.h"

#include <map>

#include "KvoError.h"

namespace kvo {
namespace {

// Remembers which option named each variable, to refuse a repeat.
class NameUse {
 public:
  explicit NameUse(const VariableResolver& resolver) : fpResolver(&resolver) {}
  void Use(const std::string& option, int index) {
    auto [it, inserted] = fUsedBy.emplace(index, option);
    if (!inserted) {
      const std::string name = fpResolver->Name(index);
      throw UsageError(option + ": '" + name + "' is given twice" +
                       (it->second == option ? std::string() : " (already with " + it->second + ")"));
    }
  }

 private:
  const VariableResolver* fpResolver;
  std::map<int, std::string> fUsedBy;
};

}  // namespace

const char* SlotKindName(SlotKind kind) {
  switch (kind) {
    case SlotKind::Categorical:
      return "categorical";
    case SlotKind::Continuous:
      return "continuous";
    case SlotKind::Matrix:
      return "matrix";
    case SlotKind::Partition:
      return "partition";
    case SlotKind::Fold:
      return "fold";
    case SlotKind::Weight:
      return "weight";
    case SlotKind::Counter:
      return "counter";
  }
  return "counter";
}

RecordLayout::RecordLayout(const PrepareOptions& options, const VariableResolver& resolver) {
  AddRecordVariables(options, resolver);
  AddMatrices(options, resolver);
  ResolveOthers(options, resolver);
  if (options.Partitioned()) {
    fPartitionSlot = fSpecs.AddFreeVariable(true);
    AddSlot(fPartitionSlot, "Partition", SlotKind::Partition);
  }
  if (options.fFolds > 0) {
    fFoldSlot = fSpecs.AddFreeVariable(true);
    AddSlot(fFoldSlot, "Fold", SlotKind::Fold);
  }
  if (fWeightVar >= 0) AddSlot(fSpecs.SetWeightVar(), resolver.Name(fWeightVar), SlotKind::Weight);
  AddSlot(fSpecs.SetCaseCount(), "Local Case Count", SlotKind::Counter);
  AddSlot(fSpecs.SetGlobalCount(), "Global Case Count", SlotKind::Counter);
}

void RecordLayout::AddSlot(int slot, std::string name, SlotKind kind, int hostIndex) {
  fvSlots.push_back(SlotInfo{slot, std::move(name), kind, hostIndex});
}

void RecordLayout::AddRecordVariables(const PrepareOptions& options, const VariableResolver& resolver) {
  const bool procSysMiss = options.fMissing == MissingRule::Include;
  const bool exclUserMiss = options.fUserMissing == UserMissing::Exclude;
  fSpecs.SetStrongListWise(options.fbStrongListwise);
  NameUse use(resolver);
  std::vector<int> cat, cont;
  for (const std::string& name : options.fvCat) {
    int index = resolver.Resolve("--cat", name);
    use.Use("--cat", index);
    cat.push_back(index);
  }
  for (const std::string& name : options.fvCont) {
    int index = resolver.Resolve("--cont", name);
    use.Use("--cont", index);
    if (resolver.IsString(index)) {
      throw UsageError("--cont: '" + resolver.Name(index) +
                       "' is a string variable and cannot be continuous (give it with --cat)");
    }
    cont.push_back(index);
  }
  for (int index : cat) {
    int slot = fSpecs.AddVariable(index, true, procSysMiss, exclUserMiss, procSysMiss);
    AddSlot(slot, resolver.Name(index), SlotKind::Categorical, index);
  }
  for (int index : cont) {
    int slot = fSpecs.AddVariable(index, false, procSysMiss, exclUserMiss, procSysMiss);
    AddSlot(slot, resolver.Name(index), SlotKind::Continuous, index);
  }
}

void RecordLayout::AddMatrices(const PrepareOptions& options, const VariableResolver& resolver) {
  const bool exclUserMiss = options.fUserMissing == UserMissing::Exclude;
  int group = 0;
  for (const MatrixOption& matrix : options.fvMatrix) {
    ++group;
    const std::string& text = matrix.fText;
    // Names may hold '=': take the first split whose left side names known
    // variables only.
    std::vector<int> vars;
    std::string file;
    size_t firstEquals = text.find('=');
    if (firstEquals == std::string::npos || firstEquals == 0 || firstEquals + 1 == text.size()) {
      throw UsageError("--matrix: '" + text + "' is not VARS=FILE");
    }
    for (size_t eq = firstEquals; eq != std::string::npos && vars.empty(); eq = text.find('=', eq + 1)) {
      std::vector<std::string> names = SplitList(text.substr(0, eq));
      std::vector<int> found;
      for (const std::string& name : names) {
        int index = resolver.Find(name);
        if (index < 0) break;
        found.push_back(index);
      }
      if (!names.empty() && found.size() == names.size() && eq + 1 < text.size()) {
        vars = found;
        file = text.substr(eq + 1);
      }
    }
    if (vars.empty()) {
      // Report the first unknown name of the plain reading.
      for (const std::string& name : SplitList(text.substr(0, firstEquals)))
        resolver.Resolve("--matrix", name);
      throw UsageError("--matrix: '" + text + "' names no variables before '='");
    }
    NameUse use(resolver);
    for (int index : vars) use.Use("--matrix", index);
    fvMatrices.push_back(ReadMatrixFile(file, vars, resolver.DataSource(), options.fLoad.fDelimiter));
    const MatrixRecode& recode = *fvMatrices.back();
    int slot = fSpecs.AddMatrixSpec(&recode.fvVarIndices, recode.fpMap.get(), &recode.fvFormats, group,
                                    exclUserMiss);
    AddSlot(slot, "Matrix " + std::to_string(group), SlotKind::Matrix);
  }
}

void RecordLayout::ResolveOthers(const PrepareOptions& options, const VariableResolver& resolver) {
  if (!options.fWeight.empty()) {
    fWeightVar = resolver.Resolve("--weight", options.fWeight);
    if (resolver.IsString(fWeightVar)) {
      throw UsageError("--weight: '" + resolver.Name(fWeightVar) +
                       "' is a string variable; a weight is a number");
    }
  }
  NameUse splitUse(resolver);
  for (const std::string& name : options.fvSplitBy) {
    int index = resolver.Resolve("--split-by", name);
    splitUse.Use("--split-by", index);
    fvSplitVars.push_back(index);
  }
  if (!options.fPartitionVar.empty()) {
    fPartitionVar = resolver.Resolve("--partition-var", options.fPartitionVar);
    if (resolver.IsString(fPartitionVar)) {
      throw UsageError(
          "--partition-var: '" + resolver.Name(fPartitionVar) +
          "' is a string variable; the partition variable is a number (above 0 training, 0 test, "
          "below 0 holdout)");
    }
  }
  if (!options.fDepend.empty()) {
    fDependVar = resolver.Resolve("--depend", options.fDepend);
    if (fSpecs.GetRecVarIndex(fDependVar) < 0) {
      throw UsageError("--depend: '" + resolver.Name(fDependVar) +
                       "' is not a record variable (give it with --cat or --cont too)");
    }
  }
  NameUse sortUse(resolver);
  for (const std::string& name : options.fvSortBy) {
    int index = resolver.Resolve("--sort-by", name);
    sortUse.Use("--sort-by", index);
    int slot = fSpecs.GetRecVarIndex(index);
    if (slot < 0) {
      throw UsageError("--sort-by: '" + resolver.Name(index) +
                       "' is not a record variable (the files are sorted by --cat or --cont variables)");
    }
    fvSortKeys.push_back(slot);
  }
}

}  // namespace kvo
