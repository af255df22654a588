// Random-number and cancellation interfaces the components are handed.
#ifndef QOR_SERVICES_H
#define QOR_SERVICES_H

namespace QorCommon {

class QorRandom {
 public:
  virtual ~QorRandom() = default;
  // A value in [0, 1).
  virtual double GetRandom() = 0;
};

class QorQueryCancel {
 public:
  virtual ~QorQueryCancel() = default;
  // Whether to stop; may act on the answer (for example leave the procedure).
  virtual bool GetCancel() = 0;
  // Whether to stop, without side effects.
  virtual bool CheckCancel() const = 0;
};

}  // namespace QorCommon

#endif  // QOR_SERVICES_H
