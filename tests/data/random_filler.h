// Fills any generated native type with random content, member by member, through the same
// field-visiting protocol the adapters use. Optional members, containers and recursion stop
// at a fixed depth; required structure pointers are always set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
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
    constexpr NativeShape kShape = kShapeOf<T>;
    if constexpr (kShape == NativeShape::kStructure) {
      FillStructure(native);
    } else if constexpr (kShape == NativeShape::kEnumeration) {
      FillEnumeration(native);
    } else if constexpr (kShape == NativeShape::kSharedPtr) {
      auto structure = TypeInfo<ElementOf<T>>::defaultInstance(nullptr);
      Fill(*structure);
      native = structure;
    } else if constexpr (kShape == NativeShape::kOptionalPtr) {
      if (!Deeper()) return;
      std::shared_ptr<ElementOf<T> const> structure;
      Fill(structure);
      native = structure;
    } else if constexpr (kShape == NativeShape::kOptional) {
      if (!Deeper()) return;
      native.emplace();
      Fill(*native);
    } else if constexpr (kShape == NativeShape::kList) {
      for (int count = Deeper() ? Below(3) : 0; count > 0; --count) Fill(native.emplace_back());
    } else if constexpr (kShape == NativeShape::kMap) {
      for (int count = Deeper() ? Below(3) : 0; count > 0; --count) Fill(native[Text()]);
    } else {
      FillScalar(native);
    }
  }

 private:
  // Fills each member through the from-value form of `AddFields`; the structure value it offers
  // for the unknown-field step holds, now and then, a field under an undeclared name.
  class Visitor {
   public:
    explicit Visitor(RandomFiller& filler) : filler_(filler) {
      if (!filler_.Chance()) return;
      auto extra = StructValue::GetInstance("extra");
      extra->SetField("x_unknown_" + filler_.Text(), filler_.AnyValue());
      value_ = std::move(extra);
    }
    template <typename M>
    void AddField(boost::string_view /*name*/, M* member, std::size_t /*rank*/) {
      filler_.Fill(*member);
    }
    std::shared_ptr<CompoundValue const> const& value() const { return value_; }

   private:
    RandomFiller& filler_;
    std::shared_ptr<CompoundValue const> value_;
  };

  template <typename T>
  void FillStructure(T& native) {
    ++depth_;
    Visitor visitor(*this);
    T::AdapterHelper::AddFields(visitor, &native);
    --depth_;
  }
  template <typename E>
  void FillEnumeration(E& native) {
    int count = 0;
    while (E::Strings::values[count] != nullptr) ++count;
    auto const value = static_cast<typename E::Enum>(Below(count));
    native = value == E::_UNKNOWN && Chance() ? E(value, "kept_" + Text()) : E(value);
  }
  void FillScalar(std::string& native) { native = Text(); }
  void FillScalar(bool& native) { native = Chance(); }
  // The extremes and their neighbours half of the time: where a number read as a double, or
  // written through a narrower type, would change.
  void FillScalar(std::int64_t& native) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t const edges[] = {kMin, kMin + 1, -1, 0, kMax - 1, kMax};
    native = Chance() ? edges[Below(6)] : std::int64_t{Below(2000000)} - 1000000;
  }
  void FillScalar(DateTime& native) {
    native =
        DateTime::FromMillisecondsSinceEpoch(Below(2000000000) * std::int64_t{1000} + Below(1000));
  }
  void FillScalar(Void& /*native*/) {}
  void FillScalar(DynamicStructure& native) {
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
