// The stand-in host's file fault switches (set through HostControl.h):
// byte budgets after which writes or reads of the host's files fail with a
// chosen errno. Every stream ExtNameStr opens and every spill file of the
// record sort asks here before it moves bytes. Process-wide, thread-safe.
#ifndef STANDIN_FILEFAULTS_H
#define STANDIN_FILEFAULTS_H

#include <cstddef>

namespace standin::detail {

// Whether a write or read budget is set (streams are then wrapped).
bool FileFaultsArmed();
// How many of `count` bytes may be written (read) now; the budget shrinks
// by that many. Fewer than `count` means the rest fails: errno is set to the
// chosen error.
size_t AllowFileWrite(size_t count);
size_t AllowFileRead(size_t count);

}  // namespace standin::detail

#endif  // STANDIN_FILEFAULTS_H
