// Applies the sample transformation model (data/sample/sample.model.xml) to
// every case of the sample data: prepared once on a host case iterator,
// then scored case by case. Prints the first cases' results and, per
// target, how many cases got a value, their sum and how many got none.
//
//   scoring DIR
#include <kvoadapter/kvoadapter.h>
#include <standin/HostControl.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sample_data.h"

int main(int argc, char** argv) {
  const std::string dir = examples::DataDirectory(argc, argv, "DIR");
  std::unique_ptr<standin::MemoryDataSource> data = examples::LoadSample(dir);
  if (!data) return 1;
  std::ifstream in(dir + "/sample.model.xml", std::ios::binary);
  std::ostringstream model;
  model << in.rdbuf();
  if (!in) return 1;

  // [scoring]
  std::unique_ptr<VORM_InputCaseIterator> cases(data->NewCaseIterator(0));
  if (!cases) return 1;
  KVOTransformScorer scorer;
  // The model's names are UTF-8; the host's encoding says whether they
  // need converting. No target names: every output is a target.
  const bool unicode = standin::HostEncoding() == "UTF-8";
  if (!scorer.PrepareScoring(cases.get(), unicode, model.str(), {}, /*targetNamesUtf8=*/true)) {
    std::fprintf(stderr, "the model does not fit the data\n");
    return 1;
  }
  const std::vector<std::string>& targets = scorer.GetOutputModelVarNames();
  std::vector<double> sums(targets.size(), 0.0);
  std::vector<int> scored(targets.size(), 0);
  while (cases->NextCase() != 0) {
    scorer.ScoreRecord();  // false: every target is missing for this case
    const std::vector<double>& values = scorer.GetTargetValues();
    for (size_t t = 0; t < values.size(); ++t) {
      if (values[t] == VORM_SYSMIS) continue;
      ++scored[t];
      sums[t] += values[t];
    }
    // [scoring]
    if (cases->GetCaseNumber() <= 3) {
      std::printf("case %lld:", static_cast<long long>(cases->GetCaseNumber()));
      for (size_t t = 0; t < values.size(); ++t) {
        if (values[t] == VORM_SYSMIS) {
          std::printf(" %s=missing", targets[t].c_str());
        } else {
          std::printf(" %s=%.10g", targets[t].c_str(), values[t]);
        }
      }
      std::printf("\n");
    }
    // [scoring]
  }
  // [scoring]
  const int nCases = static_cast<int>(data->NumCases());
  for (size_t t = 0; t < targets.size(); ++t) {
    std::printf("%s: %d scored, sum %.10g, %d missing\n", targets[t].c_str(), scored[t], sums[t],
                nCases - scored[t]);
  }
  return 0;
}
