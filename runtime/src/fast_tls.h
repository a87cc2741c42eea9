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
