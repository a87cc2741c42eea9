// Replaces the global operator new and delete of the binary it is linked into. While a
// HeapCounter runs, every allocation and release updates process-wide counters; otherwise the
// operators cost one relaxed load more than malloc and free.
#include "alloc_counter.h"

#include <malloc.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace HyrnBench {
namespace {

std::atomic<bool> counting{false};
std::atomic<std::size_t> allocations{0};
std::atomic<std::size_t> allocated_bytes{0};
std::atomic<std::int64_t> live_bytes{0};
std::atomic<std::int64_t> peak_bytes{0};

void Track(void* block) {
  if (block == nullptr || !counting.load(std::memory_order_relaxed)) return;
  auto const size = static_cast<std::int64_t>(malloc_usable_size(block));
  allocations.fetch_add(1, std::memory_order_relaxed);
  allocated_bytes.fetch_add(static_cast<std::size_t>(size), std::memory_order_relaxed);
  std::int64_t const live = live_bytes.fetch_add(size, std::memory_order_relaxed) + size;
  std::int64_t peak = peak_bytes.load(std::memory_order_relaxed);
  while (live > peak && !peak_bytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
}

void Untrack(void* block) {
  if (block == nullptr || !counting.load(std::memory_order_relaxed)) return;
  live_bytes.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(block)),
                       std::memory_order_relaxed);
}

void* Allocate(std::size_t size) noexcept {
  void* block = std::malloc(size == 0 ? 1 : size);
  Track(block);
  return block;
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
  auto const align = static_cast<std::size_t>(alignment);
  void* block = std::aligned_alloc(align, (size + align - 1) / align * align);
  Track(block);
  return block;
}

void Release(void* block) noexcept {
  Untrack(block);
  std::free(block);
}

void* OrThrow(void* block) {
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

}  // namespace

HeapCounter::HeapCounter() {
  allocations = 0;
  allocated_bytes = 0;
  live_bytes = 0;
  peak_bytes = 0;
  counting = true;
}

HeapCounter::~HeapCounter() {
  if (running_) Stop();
}

HeapUse HeapCounter::Stop() {
  counting = false;
  running_ = false;
  return HeapUse{allocations.load(), allocated_bytes.load(),
                 static_cast<std::size_t>(peak_bytes.load())};
}

}  // namespace HyrnBench

// NOLINTBEGIN(misc-new-delete-overloads): every form is replaced, sized or not.
void* operator new(std::size_t size) { return HyrnBench::OrThrow(HyrnBench::Allocate(size)); }
void* operator new[](std::size_t size) { return HyrnBench::OrThrow(HyrnBench::Allocate(size)); }
void* operator new(std::size_t size, std::nothrow_t const& /*tag*/) noexcept {
  return HyrnBench::Allocate(size);
}
void* operator new[](std::size_t size, std::nothrow_t const& /*tag*/) noexcept {
  return HyrnBench::Allocate(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return HyrnBench::OrThrow(HyrnBench::AllocateAligned(size, alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return HyrnBench::OrThrow(HyrnBench::AllocateAligned(size, alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment,
                   std::nothrow_t const& /*tag*/) noexcept {
  return HyrnBench::AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment,
                     std::nothrow_t const& /*tag*/) noexcept {
  return HyrnBench::AllocateAligned(size, alignment);
}
void operator delete(void* block) noexcept { HyrnBench::Release(block); }
void operator delete[](void* block) noexcept { HyrnBench::Release(block); }
void operator delete(void* block, std::size_t /*size*/) noexcept { HyrnBench::Release(block); }
void operator delete[](void* block, std::size_t /*size*/) noexcept { HyrnBench::Release(block); }
void operator delete(void* block, std::nothrow_t const& /*tag*/) noexcept {
  HyrnBench::Release(block);
}
void operator delete[](void* block, std::nothrow_t const& /*tag*/) noexcept {
  HyrnBench::Release(block);
}
void operator delete(void* block, std::align_val_t /*alignment*/) noexcept {
  HyrnBench::Release(block);
}
void operator delete[](void* block, std::align_val_t /*alignment*/) noexcept {
  HyrnBench::Release(block);
}
void operator delete(void* block, std::size_t /*size*/, std::align_val_t /*alignment*/) noexcept {
  HyrnBench::Release(block);
}
void operator delete[](void* block, std::size_t /*size*/, std::align_val_t /*alignment*/) noexcept {
  HyrnBench::Release(block);
}
void operator delete(void* block, std::align_val_t /*alignment*/,
                     std::nothrow_t const& /*tag*/) noexcept {
  HyrnBench::Release(block);
}
void operator delete[](void* block, std::align_val_t /*alignment*/,
                       std::nothrow_t const& /*tag*/) noexcept {
  HyrnBench::Release(block);
}
// NOLINTEND(misc-new-delete-overloads)
