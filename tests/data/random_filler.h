// Fills any generated native type with random content, member by member, through the same
// field-visiting protocol the adapters use. Optional members, containers and recursion stop
// at a fixed depth; required structure pointers are always set.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <list>
#include <map>
#include <memory>
#include <random>
#include <string>

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include "ormi/data/base_native.h"
#include "ormi/data/dynamic_structure.h"
#include "ormi/data/native_shape.h"
#include "ormi/data/type_info.h"
#include "ormi/data/value.h"
#include "ormi/types.h"

namespace Ormi::Data {

class RandomFiller {
 public:
  explicit RandomFiller(unsigned seed, int max_depth = 3) : random_(seed), max_depth_(max_depth) {}

  template <typename T>
  void Fill(T& native) {
    Fill(native, ShapeOf<T>{});
  }

 private:
  template <typename S>
  class Visitor {
   public:
    Visitor(RandomFiller& filler, S& native) : filler_(filler), native_(native) {}
    template <typename M>
    void AddField(boost::string_view /*name*/, M S::*member) {
      filler_.Fill(native_.*member);
    }
    // Adds fields under names the structure does not declare.
    template <typename Names>
    void AddUnknownFields(Names const& known_names) {
      if (!filler_.Chance()) return;
      std::string const name = "x_unknown_" + filler_.Text();
      if (std::find(std::begin(known_names), std::end(known_names), name) !=
          std::end(known_names)) {
        return;
      }
      BaseNative& base = native_;
      base.unknownFields = StructValue::GetInstance("unknownFields");
      base.unknownFields->SetField(name, filler_.AnyValue());
    }

   private:
    RandomFiller& filler_;
    S& native_;
  };

  template <typename T>
  void Fill(T& native, StructureShape /*unused*/) {
    ++depth_;
    Visitor<T> visitor(*this, native);
    T::AdapterHelper::AddFields(visitor);
    --depth_;
  }
  template <typename E>
  void Fill(E& native, EnumerationShape /*unused*/) {
    int count = 0;
    while (E::Strings::values[count] != nullptr) ++count;
    auto const value = static_cast<typename E::Enum>(Below(count));
    native = value == E::_UNKNOWN && Chance() ? E(value, "kept_" + Text()) : E(value);
  }
  template <typename S>
  void Fill(std::shared_ptr<S const>& native, SharedPtrShape<S> /*unused*/) {
    auto structure = TypeInfo<S>::defaultInstance(nullptr);
    Fill(*structure);
    native = structure;
  }
  template <typename S>
  void Fill(OptionalPtr<S const>& native, OptionalPtrShape<S> /*unused*/) {
    if (!Deeper()) return;
    std::shared_ptr<S const> structure;
    Fill(structure, SharedPtrShape<S>{});
    native = structure;
  }
  template <typename X>
  void Fill(boost::optional<X>& native, OptionalShape<X> /*unused*/) {
    if (!Deeper()) return;
    native.emplace();
    Fill(*native);
  }
  template <typename X>
  void Fill(std::list<X>& native, ListShape<X> /*unused*/) {
    for (int count = Deeper() ? Below(3) : 0; count > 0; --count) Fill(native.emplace_back());
  }
  template <typename X>
  void Fill(std::map<std::string, X>& native, MapShape<X> /*unused*/) {
    for (int count = Deeper() ? Below(3) : 0; count > 0; --count) Fill(native[Text()]);
  }
  void Fill(std::string& native, PrimitiveShape /*unused*/) { native = Text(); }
  void Fill(bool& native, PrimitiveShape /*unused*/) { native = Chance(); }
  void Fill(DateTime& native, PrimitiveShape /*unused*/) {
    native =
        DateTime::FromMillisecondsSinceEpoch(Below(2000000000) * std::int64_t{1000} + Below(1000));
  }
  void Fill(Void& /*native*/, PrimitiveShape /*unused*/) {}
  void Fill(DynamicStructure& native, DynamicShape /*unused*/) {
    auto value = StructValue::GetInstance("dynamic_" + Text());
    value->SetField("field_" + Text(), AnyValue());
    native = DynamicStructure(value);
  }

  // Whether optional parts are set at the current depth.
  bool Deeper() { return depth_ < max_depth_ && Chance(); }
  bool Chance() { return Below(2) == 1; }
  int Below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random_); }
  std::string Text() {
    std::string text;
    for (int length = Below(6); length > 0; --length) text += static_cast<char>('a' + Below(26));
    return text;
  }
  ValuePtr AnyValue() {
    switch (Below(3)) {
      case 0:
        return DataValue::Create(Text());
      case 1:
        return DataValue::Create<std::int64_t>(Below(1000));
      default:
        return ListValue::GetInstance();
    }
  }

  std::mt19937 random_;
  int max_depth_;
  int depth_ = 0;
};

}  // namespace Ormi::Data
