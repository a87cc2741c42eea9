// Field storage of structure values: blocks of pairs that never move, ordered by pointers.
#include "ormi/data/field_map.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <tuple>

#include "value_arena.h"

namespace Ormi::Data {

// A block is this header, then the order array of the map's capacity when the block was made,
// then room for the pairs added after it. Only the newest block's order array is used.
struct FieldMap::Block {
  Block* previous;
  Detail::ValueArena* arena;  // the arena it was placed in, or null
  std::size_t bytes;
  std::uint32_t order_capacity;  // entries of the order array
  std::uint32_t used;            // pairs constructed in it

  static constexpr std::size_t OrderOffset() { return sizeof(Block); }
  static std::size_t PairsOffset(std::size_t order_capacity) {
    std::size_t const end = OrderOffset() + order_capacity * sizeof(value_type*);
    std::size_t const align = alignof(value_type);
    return (end + align - 1) / align * align;
  }
  value_type** order() {
    return reinterpret_cast<value_type**>(reinterpret_cast<char*>(this) + OrderOffset());
  }
  value_type* pairs() {
    return reinterpret_cast<value_type*>(reinterpret_cast<char*>(this) +
                                         PairsOffset(order_capacity));
  }
};

std::size_t FieldMap::LowerBound(std::string_view name) const {
  // Fields are mostly added in name order: the end is checked first.
  if (size_ == 0 || std::string_view(order_[size_ - 1]->first) < name) return size_;
  value_type* const* found = std::lower_bound(order_, order_ + size_, name,
                                              [](value_type const* field, std::string_view key) {
                                                return std::string_view(field->first) < key;
                                              });
  return static_cast<std::size_t>(found - order_);
}

FieldMap::const_iterator FieldMap::find(std::string_view name) const {
  // A structure's few fields are scanned for equality; larger ones are searched by name order.
  constexpr std::size_t kScanned = 16;
  if (size_ <= kScanned) {
    for (std::size_t i = 0; i < size_; ++i) {
      if (SameName(order_[i]->first, name)) return const_iterator(order_ + i);
    }
    return end();
  }
  std::size_t const at = LowerBound(name);
  if (at == size_ || order_[at]->first != name) return end();
  return const_iterator(order_ + at);
}

std::shared_ptr<DataValue const> const& FieldMap::at(std::string_view name) const {
  auto const found = find(name);
  if (found == end()) throw std::out_of_range("no field " + std::string(name));
  return found->second;
}

void FieldMap::reserve(std::size_t count) {
  if (count > capacity_) Grow(count);
}

std::shared_ptr<DataValue const>& FieldMap::operator[](std::string_view name) {
  std::size_t const at = LowerBound(name);
  if (at != size_ && order_[at]->first == name) return order_[at]->second;
  if (size_ == capacity_) Grow(std::max<std::size_t>(4, std::size_t{capacity_} * 2));
  value_type* const pair = blocks_->pairs() + blocks_->used;
  new (pair)
      value_type(std::piecewise_construct, std::forward_as_tuple(name), std::forward_as_tuple());
  ++blocks_->used;
  std::memmove(order_ + at + 1, order_ + at, (size_ - at) * sizeof(value_type*));
  order_[at] = pair;
  ++size_;
  return pair->second;
}

// The new block holds the order array for `capacity` fields and room for the fields beyond
// the present ones; unused room in older blocks stays unused.
void FieldMap::Grow(std::size_t capacity) {
  if (capacity > UINT32_MAX) throw std::length_error("too many fields");
  std::size_t const pairs = capacity - size_;
  std::size_t const bytes = Block::PairsOffset(capacity) + pairs * sizeof(value_type);
  // Fields of a structure built in an arena go with it.
  Detail::ValueArena* const arena = Detail::CurrentValueArena();
  auto* block =
      static_cast<Block*>(arena ? arena->Allocate(bytes, alignof(Block)) : ::operator new(bytes));
  block->previous = blocks_;
  block->arena = arena;
  block->bytes = bytes;
  block->order_capacity = static_cast<std::uint32_t>(capacity);
  block->used = 0;
  if (size_ != 0) std::memcpy(block->order(), order_, size_ * sizeof(value_type*));
  blocks_ = block;
  order_ = block->order();
  capacity_ = static_cast<std::uint32_t>(capacity);
}

void FieldMap::clear() {
  while (blocks_ != nullptr) {
    Block* const block = blocks_;
    value_type* const pairs = block->pairs();
    for (std::uint32_t i = 0; i < block->used; ++i) pairs[i].~value_type();
    blocks_ = block->previous;
    if (block->arena) {
      block->arena->Free(block, block->bytes);
    } else {
      ::operator delete(block);
    }
  }
  order_ = nullptr;
  size_ = 0;
  capacity_ = 0;
}

}  // namespace Ormi::Data
