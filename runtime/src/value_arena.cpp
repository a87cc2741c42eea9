// Blocks of values built together.
#include "ormi/data/value_arena.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "fast_tls.h"
#include "value_arena.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define ORMI_POISON(at, bytes) ASAN_POISON_MEMORY_REGION(at, bytes)
#define ORMI_UNPOISON(at, bytes) ASAN_UNPOISON_MEMORY_REGION(at, bytes)
#else
#define ORMI_POISON(at, bytes) static_cast<void>(0)
#define ORMI_UNPOISON(at, bytes) static_cast<void>(0)
#endif

namespace Ormi::Data {
namespace Detail {
namespace {

// Blocks start small, so that a small request costs one small block, and double up to a
// size the allocator still serves from its heap rather than by mapping pages.
constexpr std::size_t kFirstBlockBytes = 1024;
constexpr std::size_t kMostBlockBytes = std::size_t{32} * 1024;

// Blocks that a thread keeps for its next arenas, a shelf per block size. Smaller blocks are
// kept so that the few small arenas of a call cost no allocation; largest ones because, freed
// to the allocator, the blocks of a large tree would go back to the system with the top of the
// heap, and the next large tree would fault its pages in again. Plain data, so that it stays
// usable while the thread's other objects are destroyed.
struct BlockShelf {
  void* Take() { return count > 0 ? blocks[--count] : nullptr; }
  bool Put(void* block, int capacity) {
    if (count == capacity) return false;
    blocks[count++] = block;
    return true;
  }
  void Empty() {
    while (count > 0) ::operator delete(blocks[--count]);
  }

  static constexpr int kMostKept = 32;
  void* blocks[kMostKept] = {};
  int count = 0;
};

// Block sizes double from the first to the largest: 1, 2, 4, ... 32 KiB.
constexpr int kBlockSizes = 6;
static_assert(kFirstBlockBytes << (kBlockSizes - 1) == kMostBlockBytes);

// The shelf of a block of `bytes`, or -1 for a block of no standard size (one made for a
// single large value).
int ShelfOf(std::size_t bytes) {
  for (int shelf = 0; shelf < kBlockSizes; ++shelf) {
    if (bytes == kFirstBlockBytes << shelf) return shelf;
  }
  return -1;
}

// How many blocks of a shelf a thread keeps: a few of each small size, more of the largest.
int ShelfCapacity(int shelf) { return shelf == kBlockSizes - 1 ? BlockShelf::kMostKept : 4; }

// The calling thread's open scopes and their arena, read for every value built.
struct ThreadScopes {
  int open_scopes = 0;
  ValueArena* arena = nullptr;
};
ORMI_FAST_TLS thread_local ThreadScopes current;

struct ThreadShelves {
  BlockShelf shelves[kBlockSizes];
  bool keeping = true;  // false once the thread is ending
};
thread_local ThreadShelves kept;

// Gives the kept blocks back when the thread ends.
struct KeptBlocksReaper {
  KeptBlocksReaper() = default;
  KeptBlocksReaper(KeptBlocksReaper const&) = delete;
  KeptBlocksReaper& operator=(KeptBlocksReaper const&) = delete;
  KeptBlocksReaper(KeptBlocksReaper&&) = delete;
  KeptBlocksReaper& operator=(KeptBlocksReaper&&) = delete;
  ~KeptBlocksReaper() {
    kept.keeping = false;
    for (BlockShelf& shelf : kept.shelves) shelf.Empty();
  }
};

void* NewBlock(std::size_t bytes) {
  int const shelf = ShelfOf(bytes);
  void* const block = shelf < 0 ? nullptr : kept.shelves[shelf].Take();
  if (!block) return ::operator new(bytes);
  ORMI_UNPOISON(block, bytes);
  return block;
}

void DeleteBlock(void* block, std::size_t bytes) {
  // The first block a thread keeps makes the object that gives its blocks back at its end.
  static thread_local KeptBlocksReaper const reaper;
  int const shelf = ShelfOf(bytes);
  if (kept.keeping && shelf >= 0 && kept.shelves[shelf].Put(block, ShelfCapacity(shelf))) {
    ORMI_POISON(block, bytes);  // a kept block is no one's until it is taken again
    return;
  }
  ::operator delete(block);
}

}  // namespace

struct ValueArena::Block {
  Block* previous;
  std::size_t bytes;
};

// The arena sits at the head of its first block, so that a small arena is one allocation.
ValueArena* ValueArena::Make() {
  void* const first = NewBlock(kFirstBlockBytes);
  auto* const block = static_cast<Block*>(first);
  block->previous = nullptr;
  block->bytes = kFirstBlockBytes;
  auto* const arena = new (block + 1) ValueArena;
  arena->blocks_ = block;
  arena->next_ = reinterpret_cast<char*>(arena + 1);
  arena->end_ = static_cast<char*>(first) + kFirstBlockBytes;
  arena->next_block_bytes_ = 2 * kFirstBlockBytes;
  ORMI_POISON(arena->next_, static_cast<std::size_t>(arena->end_ - arena->next_));
  return arena;
}

// Gives every block back, the arena's own last.
void ValueArena::Destroy() {
  Block* blocks = blocks_;
  this->~ValueArena();
  while (blocks) {
    Block* const previous = blocks->previous;
    ORMI_UNPOISON(blocks, blocks->bytes);
    DeleteBlock(blocks, blocks->bytes);
    blocks = previous;
  }
}

void* ValueArena::Allocate(std::size_t bytes, std::size_t align) {
  // Before the first block, next_ and end_ are both null: no room. Alignments are powers of
  // two, so the padding is a mask rather than a division.
  std::size_t const padding = (0 - reinterpret_cast<std::uintptr_t>(next_)) & (align - 1);
  if (static_cast<std::size_t>(end_ - next_) < padding + bytes) {
    return AllocateInNewBlock(bytes, align);
  }
  char* const start = next_ + padding;
  next_ = start + bytes;
  ++placed_;
  ORMI_UNPOISON(start, bytes);
  return start;
}

void* ValueArena::AllocateInNewBlock(std::size_t bytes, std::size_t align) {
  std::size_t const size = std::max(next_block_bytes_, sizeof(Block) + align + bytes);
  next_block_bytes_ = std::min(next_block_bytes_ * 2, kMostBlockBytes);
  auto* const block = static_cast<Block*>(NewBlock(size));
  block->previous = blocks_;
  block->bytes = size;
  blocks_ = block;
  next_ = reinterpret_cast<char*>(block + 1);
  end_ = reinterpret_cast<char*>(block) + size;
  ORMI_POISON(next_, static_cast<std::size_t>(end_ - next_));
  return Allocate(bytes, align);
}

void ValueArena::Free(void* at, std::size_t bytes) {
  static_cast<void>(at);
  static_cast<void>(bytes);
  ORMI_POISON(at, bytes);
  Drop(1);
}

void ValueArena::Close() { Drop(kOpenBias - placed_); }

// Takes `holders` from the count; the last to go gives the blocks back.
void ValueArena::Drop(std::size_t holders) {
  if (holders_.fetch_sub(holders, std::memory_order_acq_rel) == holders) Destroy();
}

void* AllocateStorage(std::size_t bytes, std::size_t align, ValueArena** arena) {
  *arena = CurrentValueArena();
  return *arena ? (*arena)->Allocate(bytes, align) : ::operator new(bytes);
}

void FreeStorage(void* at, std::size_t bytes, ValueArena* arena) {
  if (arena) {
    arena->Free(at, bytes);
  } else {
    ::operator delete(at);
  }
}

ValueArena* CurrentValueArena() {
  if (current.open_scopes == 0) return nullptr;
  if (!current.arena) current.arena = ValueArena::Make();
  return current.arena;
}

}  // namespace Detail

ValueArenaScope::ValueArenaScope() : outermost_(Detail::current.open_scopes++ == 0) {}

ValueArenaScope::~ValueArenaScope() {
  --Detail::current.open_scopes;
  if (!outermost_ || !Detail::current.arena) return;
  std::exchange(Detail::current.arena, nullptr)->Close();
}

}  // namespace Ormi::Data
