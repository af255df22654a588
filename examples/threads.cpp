// What a modeling component is handed besides its records: a thread
// factory (pools and locks on the host's threads) and a cancellation check.
// Here the "component" sums income over the records of one pass in four
// tasks on a pool of two threads, one lock guarding the total, and asks the
// stop processor between its steps.
//
//   threads DIR
#include <kvoadapter/kvoadapter.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "sample_data.h"

namespace {

// [task]
// Sums one slice of the records into a shared total.
class SumTask : public QorThread::IQorThreadTask {
 public:
  SumTask(const std::vector<double>& values, size_t begin, size_t end, QorThread::IQorThreadLock& lock,
          double& total)
      : fValues(values), fBegin(begin), fEnd(end), fLock(lock), fTotal(total) {}
  void Run() override {
    double sum = 0.0;
    for (size_t i = fBegin; i < fEnd; ++i) sum += fValues[i];
    fLock.Lock();
    fTotal += sum;
    fLock.Unlock();
  }

 private:
  const std::vector<double>& fValues;
  size_t fBegin;
  size_t fEnd;
  QorThread::IQorThreadLock& fLock;
  double& fTotal;
};
// [task]

// The component's side: it knows only the interfaces it is handed.
double SumInParallel(const std::vector<double>& values, QorThread::IQorThreadFactory& factory,
                     QorCommon::QorQueryCancel& cancel) {
  // [pool]
  std::unique_ptr<QorThread::IQorThreadPool> pool(factory.CreateThreadPool(2));
  std::unique_ptr<QorThread::IQorThreadLock> lock(factory.CreateThreadLock());
  double total = 0.0;
  std::vector<std::unique_ptr<SumTask>> owned;
  std::vector<QorThread::IQorThreadTask*> tasks;
  const size_t nTasks = 4;
  for (size_t t = 0; t < nTasks; ++t) {
    owned.push_back(std::make_unique<SumTask>(values, values.size() * t / nTasks,
                                              values.size() * (t + 1) / nTasks, *lock, total));
    tasks.push_back(owned.back().get());
  }
  if (cancel.GetCancel()) return 0.0;  // does not return when the user interrupted
  pool->RunParallelTasks(tasks);       // every task once; returns when all have finished
  // [pool]
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<standin::MemoryDataSource> data =
      examples::LoadSample(examples::DataDirectory(argc, argv, "DIR"));
  if (!data) return 1;

  KVOVarValidSpecs specs(/*procSysMiss=*/false, /*exclUserMiss=*/true, /*scoreSysMiss=*/false);
  const int incomeSlot = specs.AddVariable(examples::Find(*data, "income"), /*catVar=*/false);
  KVOInputAdapter adapter(&specs, *data);
  KVOProcDataSourceIter records(adapter, true);
  std::vector<double> incomes;
  while (const QorCommon::Record* record = records.Next()) incomes.push_back(record->GetAll()[incomeSlot]);
  if (records.GetFailReason() == 3) return 1;

  // [services]
  KVOThreadFactory factory;
  KVOStopProcessor stop(/*timeLimit=*/60.0);  // seconds of elapsed time, counted from here
  const double total = SumInParallel(incomes, factory, stop);
  // [services]
  std::printf("records %zu, income sum %.2f\n", incomes.size(), total);
  return 0;
}
