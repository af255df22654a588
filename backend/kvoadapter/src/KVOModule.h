// What the library keeps from the moment it is loaded: its module handle and
// the addresses of the host's common areas. Set once at load time, read by
// any thread afterwards.
#ifndef KVOADAPTER_KVOMODULE_H
#define KVOADAPTER_KVOMODULE_H

#include <cstddef>
#include <cstdint>

namespace kvo_detail {

// The host's system common area, or null when the host has none.
void* SystemArea();
// The 64-bit field at `offset` of the system area, or null.
int64_t* SystemField(size_t offset);

}  // namespace kvo_detail

#endif  // KVOADAPTER_KVOMODULE_H
