// What failures look like to a host procedure: a refused call's return
// value, a data-pass iterator's fail reason, a temporary file that cannot
// be made, a refused model, and the time limit, each with the assertion
// reports and messages it leaves. The library throws nothing itself; the
// host's interruption mechanism is what leaves a procedure.
//
//   failures DIR
#include <kvoadapter/kvoadapter.h>
#include <standin/HostControl.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "sample_data.h"

int main(int argc, char** argv) {
  const std::string dir = examples::DataDirectory(argc, argv, "DIR");
  std::unique_ptr<standin::MemoryDataSource> data = examples::LoadSample(dir);
  if (!data) return 1;
  const int age = examples::Find(*data, "age");
  standin::SetEchoMessages(false);  // messages are shown below, from the host's log

  // [assert-handler]
  // The stand-in host's hook for the library's assertion reports (a real
  // host has its own report); the library goes on after each.
  standin::SetAssertHandler([](const standin::AssertReport& report) {
    std::printf("  assertion: %s (%s)\n", report.fCondition.c_str(), report.fSource.c_str());
  });
  // [assert-handler]

  {
    // [last-pass]
    KVOVarValidSpecs specs(/*procSysMiss=*/false, /*exclUserMiss=*/true, /*scoreSysMiss=*/false);
    specs.AddVariable(age, /*catVar=*/false);
    KVOInputAdapter adapter(&specs, *data);
    KVOProcDataSourceIter records(adapter, /*start=*/true);
    records.SetLastPass();
    while (records.Next() != nullptr) {
    }
    std::printf("pass after the last pass: fail reason %d\n", records.NewPass());
    // [last-pass]
  }
  data->ResetPasses();

  {
    // [fatal-error]
    data->SetFatalErrorAtCase(100);  // the host meets an error that ends the procedure
    KVOVarValidSpecs specs(/*procSysMiss=*/false, /*exclUserMiss=*/true, /*scoreSysMiss=*/false);
    specs.AddVariable(age, /*catVar=*/false);
    KVOInputAdapter adapter(&specs, *data);
    KVOProcDataSourceIter records(adapter, /*start=*/true);
    while (records.Next() != nullptr) {
    }
    std::printf("fatal host error: fail reason %d, cases read %d of %zu\n", records.GetFailReason(),
                adapter.GetNCases(), data->NumCases());
    // [fatal-error]
    data->SetFatalErrorAtCase(-1);
  }
  data->ResetPasses();

  {
    // [temp-file]
    const std::string saved = standin::TempDirectory();
    standin::SetTempDirectory(dir + "/no-such-directory");
    KVODataFileIter file(/*recordSize=*/3);
    const double record[3] = {1.0, 2.0, 3.0};
    const bool written = file.AddNewRecord(record);
    std::printf("temporary file in a missing directory: valid %s, error %s, record written %s\n",
                file.HasValidTempFile() ? "true" : "false", std::strerror(file.GetErrorNumber()),
                written ? "true" : "false");
    standin::SetTempDirectory(saved);
    // [temp-file]
  }

  {
    std::ifstream in(dir + "/sample.model.xml", std::ios::binary);
    std::ostringstream model;
    model << in.rdbuf();
    std::unique_ptr<VORM_InputCaseIterator> cases(data->NewCaseIterator(0));
    // [scorer-refusal]
    KVOTransformScorer refused;
    std::printf("a text that is no model: prepared %s\n",
                refused.PrepareScoring(cases.get(), true, "<PMML/>", {}, true) ? "true" : "false");
    KVOTransformScorer scorer;
    const bool first = scorer.PrepareScoring(cases.get(), true, model.str(), {}, true);
    const bool second = scorer.PrepareScoring(cases.get(), true, model.str(), {}, true);
    std::printf("first preparation %s, second %s\n", first ? "true" : "false", second ? "true" : "false");
    // [scorer-refusal]
  }

  // [time-limit]
  KVOStopProcessor stop(/*timeLimit=*/0.001);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::printf("time limit: CheckCancel %s\n", stop.CheckCancel() ? "true" : "false");
  try {
    stop.GetCancel();  // issues the message, then leaves through the host
    std::printf("time limit: GetCancel returned\n");
  } catch (const standin::HostInterrupt& interrupt) {
    std::printf("time limit: left the procedure (time-out %s)\n", interrupt.fTimeOut ? "true" : "false");
  }
  for (const standin::HostMessage& message : standin::Messages()) {
    std::printf("  message: %s\n", message.fText.c_str());
  }
  // [time-limit]
  return 0;
}
