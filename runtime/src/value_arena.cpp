// Blocks of values built together.
#include "ormi/data/value_arena.h"

#include <algorithm>
#include <cstdint>
#include <new>

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
// Blocks of the largest size that a thread keeps for its next arenas. Freed to the allocator,
// the blocks of a large tree would go back to the system with the top of the heap, and the
// next large tree would fault its pages in again.
constexpr int kKeptBlocks = 32;

struct ThreadArena {
  int open_scopes = 0;
  ValueArena* arena = nullptr;
  // Largest blocks kept, and whether the thread still keeps any (not while it ends). Plain
  // data, so that it stays usable while the thread's other objects are destroyed.
  void* kept[kKeptBlocks] = {};
  int kept_count = 0;
  bool keeping = true;
};
thread_local ThreadArena current;

// Gives the kept blocks back when the thread ends.
struct KeptBlocksReaper {
  KeptBlocksReaper() = default;
  KeptBlocksReaper(KeptBlocksReaper const&) = delete;
  KeptBlocksReaper& operator=(KeptBlocksReaper const&) = delete;
  KeptBlocksReaper(KeptBlocksReaper&&) = delete;
  KeptBlocksReaper& operator=(KeptBlocksReaper&&) = delete;
  ~KeptBlocksReaper() {
    current.keeping = false;
    while (current.kept_count > 0) ::operator delete(current.kept[--current.kept_count]);
  }
};

void* NewBlock(std::size_t bytes) {
  if (bytes == kMostBlockBytes && current.kept_count > 0) return current.kept[--current.kept_count];
  return ::operator new(bytes);
}

void DeleteBlock(void* block, std::size_t bytes) {
  // The first block a thread keeps makes the object that gives its blocks back at its end.
  static thread_local KeptBlocksReaper const reaper;
  if (bytes == kMostBlockBytes && current.keeping && current.kept_count < kKeptBlocks) {
    current.kept[current.kept_count++] = block;
    return;
  }
  ::operator delete(block);
}

}  // namespace

struct ValueArena::Block {
  Block* previous;
  std::size_t bytes;
};

ValueArena::~ValueArena() {
  while (blocks_) {
    Block* const previous = blocks_->previous;
    ORMI_UNPOISON(blocks_, blocks_->bytes);
    DeleteBlock(blocks_, blocks_->bytes);
    blocks_ = previous;
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
  if (next_block_bytes_ == 0) next_block_bytes_ = kFirstBlockBytes;
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
  if (holders_.fetch_sub(holders, std::memory_order_acq_rel) == holders) delete this;
}

ValueArena* CurrentValueArena() {
  if (current.open_scopes == 0) return nullptr;
  if (!current.arena) current.arena = new ValueArena;
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
