// Building a tree of values in one arena.
#pragma once

namespace Ormi::Data {

// While a scope is open on a thread, the values built there (by the values' GetInstance) are
// placed one after another in the blocks of one arena: one allocation per block rather than
// one per value, and the nodes of a tree near each other in the order they were built.
//
// Values so placed are shared, released and destroyed like any others, from any thread. The
// arena's blocks are given back once the scope has ended and the last value placed in them
// is destroyed, so a value kept from such a tree keeps the memory of the whole arena: open a
// scope around building a tree that lives and dies as one (a conversion, a request).
// A scope opened inside another on the same thread adds nothing to it.
class ValueArenaScope {
 public:
  ValueArenaScope();
  ~ValueArenaScope();
  ValueArenaScope(ValueArenaScope const&) = delete;
  ValueArenaScope& operator=(ValueArenaScope const&) = delete;
  ValueArenaScope(ValueArenaScope&&) = delete;
  ValueArenaScope& operator=(ValueArenaScope&&) = delete;

 private:
  bool outermost_;
};

}  // namespace Ormi::Data
