// Buffers for request and answer bodies whose memory is kept from one call to the next. A
// body of a few hundred KiB taken fresh each time comes from the system page by page (the
// allocator serves blocks that large by mapping memory), and touching new pages costs more
// than writing the body; a kept buffer has its pages already. Thread-safe.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace Ormi::Transport {

class BufferPool {
 public:
  // Keeps at most `max_buffers` buffers, none with more than `max_capacity` bytes.
  BufferPool(std::size_t max_buffers, std::size_t max_capacity)
      : max_buffers_(max_buffers), max_capacity_(max_capacity) {}

  // An empty buffer: one given back before, or a new one.
  std::string Take();
  // Keeps `buffer`'s memory for a later Take when it is worth keeping and there is room.
  void Give(std::string buffer);

  // Buffers below this size are not kept: the allocator serves them well already.
  static constexpr std::size_t kMinCapacity = std::size_t{16} * 1024;

 private:
  std::size_t const max_buffers_;
  std::size_t const max_capacity_;
  std::mutex mutex_;
  std::vector<std::string> buffers_;
};

}  // namespace Ormi::Transport
