/// \file
/// KVOMatrixSpecAdapter: a matrix recode applied to the current case.
#ifndef KVOADAPTER_KVOMATRIXSPECADAPTER_H
#define KVOADAPTER_KVOMATRIXSPECADAPTER_H

#include <vorm/ProcedureDataSource.h>

#include <vector>

#include "kvoadapter/KVOCaseValueReader.h"
#include "kvoadapter/KVOExport.h"
#include "kvoadapter/KVOMatrixSpecs.h"

/// Applies one matrix specification to the current case: joins the values of
/// its variables into a key, looks it up in the matrix specification's map and
/// delivers the stored number. Used by the data pass's thread. Owns one case
/// value reader per matrix variable and its key buffer; borrows the
/// specification and the iterator.
class KVO_EXPORT KVOMatrixSpecAdapter {
 public:
  /// REQUIRES: matrixSpec != null and its map's key covers its variables.
  KVOMatrixSpecAdapter(ProcDSIterator& iterator, const KVOMatrixSpecs* matrixSpec, bool userMissingValid);
  /// A copy gets readers of its own.
  KVOMatrixSpecAdapter(const KVOMatrixSpecAdapter& other) = default;
  KVOMatrixSpecAdapter& operator=(const KVOMatrixSpecAdapter&) = delete;
  ~KVOMatrixSpecAdapter() = default;

  /// The recoded value of the current case, or the system-missing value;
  /// `bad` is false exactly when the combination was found.
  double Recode(bool& bad);
  /// True when every matrix variable's value is valid.
  bool UpdateValid();
  /// Rebinds every reader to a new iterator.
  void SetCaseValueReader(ProcDSIterator& iterator, bool userMissingValid);
  /// The matrix recode applied.
  const KVOMatrixSpecs* GetMatrixSpecPtr() const { return fpMatrixSpec; }

 private:
  const KVOMatrixSpecs* fpMatrixSpec;
  int fNCatVars;
  std::vector<KVOCaseValueReader> fvCaseValueReaders;  ///< one per matrix variable, in list order
  std::vector<OBS> fvKeyBuffer;
  std::vector<int> fvKeyCells;  ///< cells of each variable's value in the key
  double fMissValue;
  bool fbKeyUsable;  ///< the map's key covers the variables: Recode may look up
};

#endif  // KVOADAPTER_KVOMATRIXSPECADAPTER_H
