// The fields of a structure value: name and value pairs kept in name order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace Ormi::Data {

class DataValue;

// Name and value pairs in byte-wise name order, looked up by name without building a string.
// A pair keeps its address while other fields are added: pairs live in blocks that never move,
// and an array of pointers kept in name order gives the order. Storage grows in blocks that
// double the capacity; a structure that reserves its field count up front makes one
// allocation for all its fields, and an empty one makes none.
//
// A name is a view: of text the map copied into pieces of its own, or of lasting text (a
// generated wire name) that the caller promised outlives the map, which is then not copied.
class FieldMap {
 public:
  using value_type = std::pair<std::string_view const, std::shared_ptr<DataValue const>>;

  class const_iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = FieldMap::value_type;
    using difference_type = std::ptrdiff_t;
    using reference = value_type const&;
    using pointer = value_type const*;

    const_iterator() = default;
    explicit const_iterator(value_type* const* at) : at_(at) {}
    reference operator*() const { return **at_; }
    pointer operator->() const { return *at_; }
    const_iterator& operator++() { return ++at_, *this; }
    const_iterator operator++(int) { return const_iterator(at_++); }
    const_iterator& operator--() { return --at_, *this; }
    const_iterator operator--(int) { return const_iterator(at_--); }
    const_iterator& operator+=(difference_type n) { return at_ += n, *this; }
    const_iterator& operator-=(difference_type n) { return at_ -= n, *this; }
    friend const_iterator operator+(const_iterator it, difference_type n) { return it += n; }
    friend const_iterator operator-(const_iterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const_iterator a, const_iterator b) { return a.at_ - b.at_; }
    reference operator[](difference_type n) const { return *at_[n]; }
    friend bool operator==(const_iterator a, const_iterator b) { return a.at_ == b.at_; }
    friend bool operator!=(const_iterator a, const_iterator b) { return a.at_ != b.at_; }
    friend bool operator<(const_iterator a, const_iterator b) { return a.at_ < b.at_; }

   private:
    value_type* const* at_ = nullptr;
  };
  using iterator = const_iterator;
  using const_reverse_iterator = std::reverse_iterator<const_iterator>;

  FieldMap() = default;
  ~FieldMap() { clear(); }
  FieldMap(FieldMap const&) = delete;
  FieldMap& operator=(FieldMap const&) = delete;
  FieldMap(FieldMap&&) = delete;
  FieldMap& operator=(FieldMap&&) = delete;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const_iterator begin() const { return const_iterator(order_); }
  const_iterator end() const { return const_iterator(order_ + size_); }
  const_reverse_iterator rbegin() const { return const_reverse_iterator(end()); }
  const_reverse_iterator rend() const { return const_reverse_iterator(begin()); }

  const_iterator find(std::string_view name) const;
  // The same, looking first at position `expected`: where a structure that holds exactly the
  // names it declares keeps the one that is `expected`-th in byte-wise order.
  const_iterator find(std::string_view name, std::size_t expected) const {
    if (expected < size_ && SameName(order_[expected]->first, name)) {
      return const_iterator(order_ + expected);
    }
    return find(name);
  }
  std::size_t count(std::string_view name) const { return find(name) != end() ? 1 : 0; }
  // The value of the field; std::out_of_range when there is none.
  std::shared_ptr<DataValue const> const& at(std::string_view name) const;

  // Makes room for `count` fields in all, so that adding up to that many allocates once; and,
  // with `name_bytes`, for copies of the new fields' names totalling that many bytes.
  void reserve(std::size_t count, std::size_t name_bytes = 0);
  // Finds or inserts the slot of a field; a new field keeps a copy of `name`.
  std::shared_ptr<DataValue const>& operator[](std::string_view name) {
    return Slot(name, /*lasting=*/false);
  }
  // The same for a name whose text outlives the map (static text): it is not copied.
  std::shared_ptr<DataValue const>& LastingSlot(std::string_view name) {
    return Slot(name, /*lasting=*/true);
  }
  // Fills a map that holds no fields with `count` fields named by lasting text, given one at a
  // time with the place of each among them in byte-wise name order: each place from 0 to
  // `count` - 1 once, and no name twice. Each is placed without comparing names; the map reads
  // as empty until the last is given. On a map that holds fields, the same as LastingSlot.
  std::shared_ptr<DataValue const>& PlaceLasting(std::string_view name, std::size_t place,
                                                 std::size_t count);
  // Moves every field's value to `out` (skipping empty ones) and removes the fields.
  template <typename Sink>
  void MoveValuesTo(Sink& out) {
    for (std::size_t i = 0; i < size_; ++i) {
      if (order_[i]->second) out.push_back(std::move(order_[i]->second));
    }
    clear();
  }
  void clear();

  // Whether a field is named `name`: the same text (a name given as lasting text and looked
  // up with that text) is equal at once; otherwise sizes and first bytes are compared before
  // the rest, which tells most of a structure's names apart without a call to memcmp.
  static bool SameName(std::string_view field, std::string_view name) {
    return field.size() == name.size() &&
           (field.data() == name.data() || name.empty() ||
            (field[0] == name[0] &&
             std::memcmp(field.data() + 1, name.data() + 1, name.size() - 1) == 0));
  }

 private:
  struct Block;
  struct NamePiece;
  std::shared_ptr<DataValue const>& Slot(std::string_view name, bool lasting);
  // Position of the first field whose name is not less than `name`.
  std::size_t LowerBound(std::string_view name) const;
  // A block for `capacity` fields in all, with `name_room` bytes for copies of names.
  void Grow(std::size_t capacity, std::size_t name_room);
  // The name room a block gets per new field when a field named by copy makes it.
  static constexpr std::size_t kNameRoomPerField = 12;
  // A copy of `name` in the map's own name pieces.
  std::string_view KeepName(std::string_view name);

  Block* blocks_ = nullptr;       // the newest block; each links to the one before
  value_type** order_ = nullptr;  // in the newest block, `capacity_` entries
  NamePiece* names_ = nullptr;    // the newest piece of copied names; each links to the one before
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 0;
};

}  // namespace Ormi::Data
