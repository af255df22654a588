#include "KVOModule.h"

#include <dlfcn.h>
#include <vorm/Utility.h>

#include <array>

namespace kvo_detail {
namespace {

// The host's common areas, in the order the host hands them out.
enum CommonArea {
  CMN_BPR,
  CMA_DIC,
  CMA_GLB,
  CMA_MCH,
  CMA_OBV,
  CMA_SYM,
  CMA_SYS,
  CMN_DIC,
  CMN_DMO,
  CMN_GLB,
  CMN_INC,
  CMN_IO,
  CMN_LOC,
  CMN_MCH,
  CMN_MCS,
  CMN_OBV,
  CMN_STK,
  CMN_SYM,
  CMN_SYS,
  CMN_WRK,
  CMN_DTM,
  CMN_BOX,
  N_COMMON_AREAS
};

struct ModuleState {
  const void* fModule = nullptr;  // the library's own module, as the dynamic loader knows it
  std::array<void*, N_COMMON_AREAS> fAreas{};
};

ModuleState& State() {
  static ModuleState state;
  return state;
}

// Runs when the shared library is loaded into a process.
__attribute__((constructor)) void OnLoad() {
  ModuleState& state = State();
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&OnLoad), &info) != 0) state.fModule = info.dli_fbase;
  void* (*const accessors[N_COMMON_AREAS])() = {
      pvGetCmnBpr, pvGetCmaDic, pvGetCmaGlb, pvGetCmaMch, pvGetCmaObv, pvGetCmaSym, pvGetCmaSys, pvGetCmnDic,
      pvGetCmnDmo, pvGetCmnGlb, pvGetCmnInc, pvGetCmnIo,  pvGetCmnLoc, pvGetCmnMch, pvGetCmnMcs, pvGetCmnObv,
      pvGetCmnStk, pvGetCmnSym, pvGetCmnSys, pvGetCmnWrk, pvGetCmnDtm, pvGetCmnBox};
  for (size_t i = 0; i < static_cast<size_t>(N_COMMON_AREAS); ++i) state.fAreas[i] = accessors[i]();
}

}  // namespace

void* SystemArea() { return State().fAreas[CMN_SYS]; }

int64_t* SystemField(size_t offset) {
  void* area = SystemArea();
  return area ? reinterpret_cast<int64_t*>(static_cast<char*>(area) + offset) : nullptr;
}

}  // namespace kvo_detail
