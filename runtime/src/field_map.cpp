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
// then room for the pairs added after it, then room for copies of their names when the
// fields that made it grow were named by copy. Only the newest block's order array is used.
struct FieldMap::Block {
  Block* previous;
  Detail::ValueArena* arena;  // the arena it was placed in, or null
  std::size_t bytes;
  std::uint32_t order_capacity;  // entries of the order array
  std::uint32_t used;            // pairs constructed in it
  std::uint32_t name_room;       // bytes for names at the end
  std::uint32_t name_used;

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
  char* names() { return reinterpret_cast<char*>(this) + bytes - name_room; }
};

// A piece of copied names: this header, then the text of the names, one after the other.
struct FieldMap::NamePiece {
  NamePiece* previous;
  Detail::ValueArena* arena;  // the arena it was placed in, or null
  std::size_t bytes;
  std::size_t used;  // bytes of text in it

  char* text() { return reinterpret_cast<char*>(this + 1); }
  std::size_t room() const { return bytes - sizeof(NamePiece) - used; }
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
  if (at == size_ || !SameName(order_[at]->first, name)) return end();
  return const_iterator(order_ + at);
}

std::shared_ptr<DataValue const> const& FieldMap::at(std::string_view name) const {
  auto const found = find(name);
  if (found == end()) throw std::out_of_range("no field " + std::string(name));
  return found->second;
}

void FieldMap::reserve(std::size_t count, std::size_t name_bytes) {
  if (count > capacity_) Grow(count, name_bytes);
}

std::shared_ptr<DataValue const>& FieldMap::Slot(std::string_view name, bool lasting) {
  std::size_t const at = LowerBound(name);
  if (at != size_ && SameName(order_[at]->first, name)) return order_[at]->second;
  if (size_ == capacity_) {
    std::size_t const capacity = std::max<std::size_t>(4, std::size_t{capacity_} * 2);
    Grow(capacity, lasting ? 0 : (capacity - size_) * kNameRoomPerField);
  }
  value_type* const pair = blocks_->pairs() + blocks_->used;
  new (pair)
      value_type(std::piecewise_construct, std::forward_as_tuple(lasting ? name : KeepName(name)),
                 std::forward_as_tuple());
  ++blocks_->used;
  std::memmove(order_ + at + 1, order_ + at, (size_ - at) * sizeof(value_type*));
  order_[at] = pair;
  ++size_;
  return pair->second;
}

std::shared_ptr<DataValue const>& FieldMap::PlaceLasting(std::string_view name, std::size_t place,
                                                         std::size_t count) {
  if (size_ != 0 || place >= count) return Slot(name, /*lasting=*/true);
  // The first of the fields makes room for all of them in one block, so the others neither
  // grow the map nor leave the block; the block's count of pairs tells when all are in.
  if (capacity_ < count) Grow(count, 0);
  value_type* const pair = blocks_->pairs() + blocks_->used;
  new (pair)
      value_type(std::piecewise_construct, std::forward_as_tuple(name), std::forward_as_tuple());
  order_[place] = pair;
  if (++blocks_->used == count) size_ = static_cast<std::uint32_t>(count);
  return pair->second;
}

// The new block holds the order array for `capacity` fields and room for the fields beyond
// the present ones; unused room in older blocks stays unused.
void FieldMap::Grow(std::size_t capacity, std::size_t name_room) {
  if (capacity > UINT32_MAX || name_room > UINT32_MAX) throw std::length_error("too many fields");
  std::size_t const pairs = capacity - size_;
  std::size_t const bytes = Block::PairsOffset(capacity) + pairs * sizeof(value_type) + name_room;
  Detail::ValueArena* arena = nullptr;
  auto* block = static_cast<Block*>(Detail::AllocateStorage(bytes, alignof(Block), &arena));
  block->previous = blocks_;
  block->arena = arena;
  block->bytes = bytes;
  block->order_capacity = static_cast<std::uint32_t>(capacity);
  block->used = 0;
  block->name_room = static_cast<std::uint32_t>(name_room);
  block->name_used = 0;
  if (size_ != 0) std::memcpy(block->order(), order_, size_ * sizeof(value_type*));
  blocks_ = block;
  order_ = block->order();
  capacity_ = static_cast<std::uint32_t>(capacity);
}

// Names go to the newest block's room while it lasts, then to pieces, which start with room
// for a few names of the map's capacity and double from there.
std::string_view FieldMap::KeepName(std::string_view name) {
  char* text = nullptr;
  if (blocks_->name_room - blocks_->name_used >= name.size()) {
    text = blocks_->names() + blocks_->name_used;
    blocks_->name_used += static_cast<std::uint32_t>(name.size());
  } else {
    if (names_ == nullptr || names_->room() < name.size()) {
      std::size_t const wanted =
          names_ ? 2 * names_->bytes : sizeof(NamePiece) + kNameRoomPerField * capacity_;
      std::size_t const bytes = std::max(wanted, sizeof(NamePiece) + name.size());
      Detail::ValueArena* arena = nullptr;
      auto* piece =
          static_cast<NamePiece*>(Detail::AllocateStorage(bytes, alignof(NamePiece), &arena));
      *piece = NamePiece{names_, arena, bytes, 0};
      names_ = piece;
    }
    text = names_->text() + names_->used;
    names_->used += name.size();
  }
  if (!name.empty()) std::memcpy(text, name.data(), name.size());
  return {text, name.size()};
}

void FieldMap::clear() {
  while (blocks_ != nullptr) {
    Block* const block = blocks_;
    value_type* const pairs = block->pairs();
    for (std::uint32_t i = 0; i < block->used; ++i) pairs[i].~value_type();
    blocks_ = block->previous;
    Detail::FreeStorage(block, block->bytes, block->arena);
  }
  while (names_ != nullptr) {
    NamePiece* const piece = names_;
    names_ = piece->previous;
    Detail::FreeStorage(piece, piece->bytes, piece->arena);
  }
  order_ = nullptr;
  size_ = 0;
  capacity_ = 0;
}

}  // namespace Ormi::Data
