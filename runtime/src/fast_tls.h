// Thread-local variables read on every value built or destroyed (internal to ormi_core).
#pragma once

// Marks such a variable for the initial-exec model: one load relative to the thread pointer
// instead of a call that finds the library's block. The model takes room in the static TLS
// area, which a library loaded late (dlopen) shares with others, so only a few small
// variables carry it.
#if defined(__GNUC__)
#define ORMI_FAST_TLS __attribute__((tls_model("initial-exec")))
#else
#define ORMI_FAST_TLS
#endif

namespace Ormi::Data::Detail {

// The calling thread's `Kept` (a type of its user's own), made at its first use and kept
// between uses. Null once the ending thread has destroyed it: code run by the thread's later
// destructors (of statics, of other thread-locals) then does without it. A plain flag says so,
// as it stays readable until the thread is gone.
template <typename Kept>
class ThreadKept {
 public:
  static Kept* Get() {
    if (gone_) return nullptr;
    ORMI_FAST_TLS thread_local Holder holder;
    return &holder.kept;
  }

 private:
  struct Holder {
    Holder() = default;
    Holder(Holder const&) = delete;
    Holder& operator=(Holder const&) = delete;
    Holder(Holder&&) = delete;
    Holder& operator=(Holder&&) = delete;
    ~Holder() { gone_ = true; }
    Kept kept;
  };
  ORMI_FAST_TLS static inline thread_local bool gone_ = false;
};

}  // namespace Ormi::Data::Detail
