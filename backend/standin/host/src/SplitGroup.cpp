// The process-wide current split group.
#include <mutex>

#include "standin/HostControl.h"

namespace standin {
namespace {

struct SplitGroupState {
  std::mutex fMutex;
  SplitGroupPairs fGroup;
};

SplitGroupState& State() {
  static SplitGroupState state;
  return state;
}

}  // namespace

void SetCurrentSplitGroup(SplitGroupPairs group) {
  std::lock_guard<std::mutex> lock(State().fMutex);
  State().fGroup = std::move(group);
}

SplitGroupPairs CurrentSplitGroup() {
  std::lock_guard<std::mutex> lock(State().fMutex);
  return State().fGroup;
}

void ClearCurrentSplitGroup() {
  std::lock_guard<std::mutex> lock(State().fMutex);
  State().fGroup.clear();
}

}  // namespace standin
