// Internal to the stand-in host: the one poll of the interruption flag that
// ATNCHK and the record sort share, so that InterruptAfterPolls counts both.
#ifndef STANDIN_ATTENTION_H
#define STANDIN_ATTENTION_H

namespace standin::detail {

// Counts one poll (an automatic interruption may become pending here) and
// returns whether an interruption is pending. Does not clear it.
bool PollInterrupt();

}  // namespace standin::detail

#endif  // STANDIN_ATTENTION_H
