// How both ends handle large bodies: in buffers kept from earlier bodies, read in large reads.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include <boost/optional.hpp>

#include "ormi/transport/buffer_pool.h"

namespace Ormi::Transport::Detail {

// The most a connection reads at once while a large body comes in. A read buffer holds a few
// KiB while messages are small; a body of hundreds of KiB read that way takes a system call
// and a trip through the I/O loop per few KiB.
constexpr std::size_t kLargeBodyRead = std::size_t{64} * 1024;

// The bodies each end keeps for later calls (a server serves many callers at once), each of
// at most kKeptBodyBytes.
constexpr std::size_t kChannelKeptBodies = 4;
constexpr std::size_t kServerKeptBodies = 8;
constexpr std::size_t kKeptBodyBytes = std::size_t{4} * 1024 * 1024;

// Called when a message's header is read and its body is not: a body of `length` bytes that
// is large is read into a buffer from `pool`, and `read_buffer` grows for large reads (it
// keeps the capacity for the connection's later bodies).
template <typename ReadBuffer>
void PrepareForBody(boost::optional<std::uint64_t> length, std::string& body,
                    ReadBuffer& read_buffer, BufferPool& pool) {
  if (!length || *length < BufferPool::kMinCapacity) return;
  body = pool.Take();
  read_buffer.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(*length, kLargeBodyRead)));
}

}  // namespace Ormi::Transport::Detail
