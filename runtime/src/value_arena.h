// The arena of ValueArenaScope and the allocator that places values in it (internal to
// ormi_core).
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <utility>

#include "ormi/data/value_arena.h"

namespace Ormi::Data::Detail {

// Blocks handed out by bumping a pointer, on the thread whose scope made the arena; counted
// so that the last of its values (or the scope, if it outlives them) gives the blocks back.
class ValueArena {
 public:
  // A new arena with its first block.
  static ValueArena* Make();
  ValueArena(ValueArena const&) = delete;
  ValueArena& operator=(ValueArena const&) = delete;
  ValueArena(ValueArena&&) = delete;
  ValueArena& operator=(ValueArena&&) = delete;

  // On the arena's thread only; `align` is a power of two.
  void* Allocate(std::size_t bytes, std::size_t align);
  // From any thread: the bytes are no longer used.
  void Free(void* at, std::size_t bytes);
  // The scope has ended: nothing more is placed here.
  void Close();

 private:
  struct Block;
  ValueArena() = default;
  ~ValueArena() = default;
  void Destroy();
  void* AllocateInNewBlock(std::size_t bytes, std::size_t align);

  // Placements are counted on the arena's thread alone, without atomic operations; while the
  // scope is open, the count of holders carries a bias larger than any count of placements,
  // so that no free reaches zero, and closing trades the bias for the placements made.
  static constexpr std::size_t kOpenBias = std::size_t{1} << 62U;
  void Drop(std::size_t holders);

  std::atomic<std::size_t> holders_{kOpenBias};
  std::size_t placed_ = 0;
  Block* blocks_ = nullptr;
  char* next_ = nullptr;
  char* end_ = nullptr;
  std::size_t next_block_bytes_ = 0;
};

// Storage for the parts of a value (a field map's blocks, a list's chunks): in the arena of
// the calling thread's open scope when there is one, so that it goes with the values built
// there, and otherwise from the heap. `*arena` tells which, for FreeStorage.
void* AllocateStorage(std::size_t bytes, std::size_t align, ValueArena** arena);
void FreeStorage(void* at, std::size_t bytes, ValueArena* arena);

// The arena of the calling thread's open scope, made at its first use; null outside a scope.
ValueArena* CurrentValueArena();

template <typename T>
struct ArenaAllocator {
  using value_type = T;
  explicit ArenaAllocator(ValueArena* arena_in) : arena(arena_in) {}
  template <typename U>
  explicit ArenaAllocator(ArenaAllocator<U> const& other) : arena(other.arena) {}
  T* allocate(std::size_t n) { return static_cast<T*>(arena->Allocate(n * sizeof(T), alignof(T))); }
  void deallocate(T* at, std::size_t n) { arena->Free(at, n * sizeof(T)); }
  template <typename U>
  bool operator==(ArenaAllocator<U> const& other) const {
    return arena == other.arena;
  }
  template <typename U>
  bool operator!=(ArenaAllocator<U> const& other) const {
    return arena != other.arena;
  }

  ValueArena* arena;
};

// A new value, in the calling thread's arena when a scope is open.
template <typename T, typename... Args>
std::shared_ptr<T> MakeValue(Args&&... args) {
  if (ValueArena* arena = CurrentValueArena()) {
    return std::allocate_shared<T>(ArenaAllocator<T>(arena), std::forward<Args>(args)...);
  }
  return std::make_shared<T>(std::forward<Args>(args)...);
}

}  // namespace Ormi::Data::Detail
