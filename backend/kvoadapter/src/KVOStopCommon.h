// The steps both stop processors share once each has measured whether its
// time limit has expired; they differ only in the clock they read.
#ifndef KVOADAPTER_KVOSTOPCOMMON_H
#define KVOADAPTER_KVOSTOPCOMMON_H

namespace kvo_detail {

// True when the limit has expired, else whether the host reports a pending
// interruption. Changes nothing.
bool StopCheckCancel(bool expired);

// On expiry reports the time-out and marks it in the host's system area;
// then hands control to the host's attention handler, which leaves after a
// time-out or a user interruption. Returns `expired` when it comes back.
// `source` names the calling class in assertion reports.
bool StopGetCancel(bool expired, void* workspace, const char* source);

}  // namespace kvo_detail

#endif  // KVOADAPTER_KVOSTOPCOMMON_H
