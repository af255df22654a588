// The library's one assertion macro. A broken condition is reported through
// the host with the condition's own text and the source file's name, and the
// caller goes on: the macro yields the condition's truth so that code can
// take the documented way out, as in `if (!KVO_ASSERT(p != 0)) return false;`.
//
// Every source file that asserts defines its name first:
//   namespace { constexpr const char* KVO_SOURCE = "KVOInputAdapter"; }
// KVO_ASSERT_TEXT takes the text explicitly, for conditions whose code form
// needs casts that the reported text leaves out.
#ifndef KVOADAPTER_KVOASSERT_H
#define KVOADAPTER_KVOASSERT_H

namespace kvo_detail {
// Reports a failed condition; always returns false.
bool AssertFailed(const char* condition, const char* source);
}  // namespace kvo_detail

#define KVO_ASSERT_TEXT(cond, text) \
  (static_cast<bool>(cond) ? true : ::kvo_detail::AssertFailed(text, KVO_SOURCE))
#define KVO_ASSERT(cond) KVO_ASSERT_TEXT(cond, #cond)

#endif  // KVOADAPTER_KVOASSERT_H
