#include "ormi/transport/buffer_pool.h"

#include <utility>

namespace Ormi::Transport {

std::string BufferPool::Take() {
  std::lock_guard<std::mutex> const lock(mutex_);
  if (buffers_.empty()) return {};
  std::string buffer = std::move(buffers_.back());
  buffers_.pop_back();
  return buffer;
}

void BufferPool::Give(std::string buffer) {
  if (buffer.capacity() < kMinCapacity || buffer.capacity() > max_capacity_) return;
  buffer.clear();
  std::lock_guard<std::mutex> const lock(mutex_);
  if (buffers_.size() < max_buffers_) buffers_.push_back(std::move(buffer));
}

}  // namespace Ormi::Transport
