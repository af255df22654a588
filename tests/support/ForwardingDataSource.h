// Forwarding wrappers of the host dictionary for test doubles: every call
// goes to a target, so a double overrides only the calls it needs (a variable
// with a missing-value code the stand-in refuses to declare, a variable
// swapped for another). Header only; one thread at a time. Both borrow their
// target, which must outlive them.
//
//   class RangeOnString : public kvotest::ForwardingVariable {
//     using ForwardingVariable::ForwardingVariable;
//     int GetMissingValues(const OBS*& a, const OBS*& b, const OBS*& c) const override { ... }
//   };
#ifndef KVO_TESTS_SUPPORT_FORWARDINGDATASOURCE_H
#define KVO_TESTS_SUPPORT_FORWARDINGDATASOURCE_H

#include <vorm/ProcedureDataSource.h>

#include <map>

namespace kvotest {

class ForwardingVariable : public VORM_Variable {
 public:
  explicit ForwardingVariable(const VORM_Variable& target) : fTarget(target) {}
  ForwardingVariable(const ForwardingVariable&) = delete;
  ForwardingVariable& operator=(const ForwardingVariable&) = delete;

  const char* GetName() const override { return fTarget.GetName(); }
  const char* GetLabel() const override { return fTarget.GetLabel(); }
  short GetType() const override { return fTarget.GetType(); }
  VORM_Format GetFormat() const override { return fTarget.GetFormat(); }
  const VORM_ValueLabels& GetValueLabels() const override { return fTarget.GetValueLabels(); }
  int GetMissingValues(const OBS*& m1, const OBS*& m2, const OBS*& m3) const override {
    return fTarget.GetMissingValues(m1, m2, m3);
  }
  bool IsUserMissingValue(const OBS* value) const override { return fTarget.IsUserMissingValue(value); }

 protected:
  const VORM_Variable& fTarget;
};

// A variable whose print format is the one given, whatever its width: what a
// host that does not tie string formats to the variable's width declares.
class FormatVariable : public ForwardingVariable {
 public:
  FormatVariable(const VORM_Variable& target, VORM_Format format)
      : ForwardingVariable(target), fFormat(format) {}
  VORM_Format GetFormat() const override { return fFormat; }

 private:
  VORM_Format fFormat;
};

// Forwards to a target data source; GetVariable answers with a replacement
// where one was set with Replace.
class ForwardingDataSource : public ProcedureDataSource {
 public:
  explicit ForwardingDataSource(ProcedureDataSource& target) : fTarget(target) {}
  ForwardingDataSource(const ForwardingDataSource&) = delete;
  ForwardingDataSource& operator=(const ForwardingDataSource&) = delete;

  // Answer GetVariable(index) with `variable` (borrowed) from now on.
  void Replace(int index, const VORM_Variable& variable) { fReplaced[index] = &variable; }

  int GetNumVariables() const override { return fTarget.GetNumVariables(); }
  const VORM_Variable* GetVariable(int index) const override {
    auto it = fReplaced.find(index);
    return it != fReplaced.end() ? it->second : fTarget.GetVariable(index);
  }
  int FindVarIndex(const char* name, int flags) const override { return fTarget.FindVarIndex(name, flags); }
  int GetWeightVarIndex() const override { return fTarget.GetWeightVarIndex(); }
  bool IsCategorical(int index) const override { return fTarget.IsCategorical(index); }
  VORM_InputCaseIterator* NewCaseIterator(int flags) override { return fTarget.NewCaseIterator(flags); }
  int GetNumSplitVars() const override { return fTarget.GetNumSplitVars(); }
  int GetSplitVarIndex(int i) const override { return fTarget.GetSplitVarIndex(i); }
  bool IsSplitRequested() const override { return fTarget.IsSplitRequested(); }
  bool GetWeightFilter() const override { return fTarget.GetWeightFilter(); }
  void SetWeightFilter(bool on) override { fTarget.SetWeightFilter(on); }
  bool IsLastPass() const override { return fTarget.IsLastPass(); }
  void SetLastPass() override { fTarget.SetLastPass(); }
  bool FatalError() const override { return fTarget.FatalError(); }

 protected:
  ProcedureDataSource& fTarget;
  std::map<int, const VORM_Variable*> fReplaced;
};

}  // namespace kvotest

#endif  // KVO_TESTS_SUPPORT_FORWARDINGDATASOURCE_H
