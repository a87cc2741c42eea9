// Heap use of a piece of code, counted by the benchmark binary's own global operator new and
// delete (alloc_counter.cpp replaces them for the whole process, shared libraries included).
#pragma once

#include <cstddef>

namespace HyrnBench {

struct HeapUse {
  std::size_t allocations = 0;  // calls of operator new
  std::size_t bytes = 0;        // bytes handed out by them, in total
  std::size_t peak_bytes = 0;   // most bytes live at once, above the level at the start
};

// Counts heap use from construction until Stop(). Counting is process-wide (other threads'
// allocations count too); only one counter may run at a time.
class HeapCounter {
 public:
  HeapCounter();
  HeapCounter(HeapCounter const&) = delete;
  HeapCounter& operator=(HeapCounter const&) = delete;
  ~HeapCounter();
  HeapUse Stop();

 private:
  bool running_ = true;
};

// The heap use of one call of `work`.
template <typename Work>
HeapUse MeasureHeap(Work&& work) {
  HeapCounter counter;
  work();
  return counter.Stop();
}

}  // namespace HyrnBench
