// Type definitions derived from native types.
//
// Runs on a work list like the value conversions. Within one call each structure type is
// built once and its definition shared by every occurrence; a structure met again while it
// is still being built (it contains itself) gets a structure reference whose target is set
// after everything else. Nothing is kept between calls.
#pragma once

#include <deque>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include <boost/utility/string_view.hpp>

#include "ormi/data/definition.h"
#include "ormi/data/dynamic_structure.h"
#include "ormi/data/native_shape.h"
#include "ormi/data/type_info.h"
#include "ormi/message.h"

namespace Ormi::Data {
namespace N2D_internal {

// Identifies one native structure type within a conversion.
using TypeKey = void const*;

template <typename S>
struct TypeKeyOf {
  static constexpr char kTag = 0;
  static TypeKey Get() { return &kTag; }
};

using Fields = StructDefinition::Fields;

// What a step works on; each step uses only some of the members.
struct SrcType {
  std::shared_ptr<DefinitionPtr> slot;       // element of an optional or list
  std::shared_ptr<Fields> fields;            // fields of a structure or map entry
  std::string name;                          // canonical name of a structure
  std::shared_ptr<StructRefDefinition> ref;  // reference waiting for its target
  TypeKey key = nullptr;                     // the structure type
};

struct StackMapCnt;
using Entry = BasicAdaptEntry<SrcType, DefinitionPtr*, std::list<BaseMessage> const, StackMapCnt>;

// The work list of one definition build, with the table of structure definitions built so
// far (an entry holding null marks a structure under construction).
struct StackMapCnt {
  explicit StackMapCnt(Entry::Method root_method) : root(root_method) {}

  void Push(SrcType source, Entry::Method method, DefinitionPtr* destination) {
    items.push_back(Entry{std::move(source), method, destination});
  }
  // Queues a step that must run after all others.
  void PushFront(SrcType source, Entry::Method method, DefinitionPtr* destination) {
    items.push_front(Entry{std::move(source), method, destination});
  }
  // The table entry of `key`, or null when the type was not met yet.
  DefinitionPtr const* GetDef(TypeKey key) const;
  void SetDef(TypeKey key, DefinitionPtr definition) { table[key] = std::move(definition); }

  std::deque<Entry> items;
  std::map<TypeKey, DefinitionPtr> table;
  Entry::Method root;
};

}  // namespace N2D_internal

class NativeToDefinitionAdapter {
 public:
  using SrcType = N2D_internal::SrcType;
  using StackMapCnt = N2D_internal::StackMapCnt;
  using Method = N2D_internal::Entry::Method;
  using Messages = std::list<BaseMessage> const;

  // Builds the definition of the native type whose step is `method` (AdaptMethod<T>::Get())
  // into `*destination`. Cannot fail; `messages` is never written.
  static void Adapt(Method const& method, DefinitionPtr* const& destination,
                    std::list<BaseMessage> const& messages);

  template <typename T>
  struct AdaptMethod {
    static Method Get() { return Select<T>(ShapeOf<T>{}); }
  };

  // Collects the field definitions of one structure; handed to `AdapterHelper::AddFields`.
  template <typename S>
  class StructHelper {
   public:
    explicit StructHelper(StackMapCnt& work)
        : fields_(std::make_shared<N2D_internal::Fields>()), work_(work) {}

    // Queues the step that builds the structure from its fields; queued first, it runs last.
    void Start(std::string name, N2D_internal::TypeKey key, DefinitionPtr* destination) {
      SrcType source;
      source.fields = fields_;
      source.name = std::move(name);
      source.key = key;
      work_.Push(std::move(source), &StructEndMethod, destination);
    }

    template <typename M>
    void AddField(boost::string_view name, M S::* /*member*/) {
      work_.Push(SrcType{}, AdaptMethod<M>::Get(), &(*fields_)[std::string(name)]);
    }

    // Definitions describe declared fields only.
    template <typename Names>
    void AddUnknownFields(Names const& /*known_names*/) {}

   private:
    std::shared_ptr<N2D_internal::Fields> fields_;
    StackMapCnt& work_;
  };

  // The first occurrence of a structure type builds its definition, later ones share it, and
  // one met inside itself becomes a reference resolved at the end.
  template <typename S>
  static void StructBeginMethod(SrcType const& /*source*/, DefinitionPtr* const& destination,
                                StackMapCnt& work, Messages& /*messages*/) {
    N2D_internal::TypeKey const key = N2D_internal::TypeKeyOf<S>::Get();
    DefinitionPtr const* known = work.GetDef(key);
    if (known == nullptr) {
      work.SetDef(key, nullptr);
      StructHelper<S> helper(work);
      helper.Start(TypeInfo<S>::name(), key, destination);
      S::AdapterHelper::AddFields(helper);
    } else if (*known) {
      *destination = *known;
    } else {
      Refer(TypeInfo<S>::name(), key, destination, work);
    }
  }

  // An optional or list: the element is built into a slot, then wrapped by `End`.
  template <typename X, typename End>
  static void CompositeBeginMethod(SrcType const& /*source*/, DefinitionPtr* const& destination,
                                   StackMapCnt& work, Messages& /*messages*/) {
    SrcType source;
    source.slot = std::make_shared<DefinitionPtr>();
    DefinitionPtr* element = source.slot.get();
    work.Push(std::move(source), &CompositeEndMethod<End>, destination);
    work.Push(SrcType{}, AdaptMethod<X>::Get(), element);
  }

  // A map: a list of "map-entry" structures with a string "key" and the mapped "value".
  template <typename V>
  static void MapBeginMethod(SrcType const& /*source*/, DefinitionPtr* const& destination,
                             StackMapCnt& work, Messages& /*messages*/) {
    SrcType source;
    source.fields = std::make_shared<N2D_internal::Fields>();
    N2D_internal::Fields& fields = *source.fields;
    work.Push(std::move(source), &MapEndMethod, destination);
    work.Push(SrcType{}, &PrimitiveMethod<std::string>, &fields["key"]);
    work.Push(SrcType{}, AdaptMethod<V>::Get(), &fields["value"]);
  }

  template <typename T>
  static void PrimitiveMethod(SrcType const& /*source*/, DefinitionPtr* const& destination,
                              StackMapCnt& /*work*/, Messages& /*messages*/) {
    *destination = DataDefinition::Create<T>();
  }

  template <typename End>
  static void CompositeEndMethod(SrcType const& source, DefinitionPtr* const& destination,
                                 StackMapCnt& /*work*/, Messages& /*messages*/) {
    *destination = End::GetInstance(*source.slot);
  }

  static void StructEndMethod(SrcType const& source, DefinitionPtr* const& destination,
                              StackMapCnt& work, Messages& messages);
  static void MapEndMethod(SrcType const& source, DefinitionPtr* const& destination,
                           StackMapCnt& work, Messages& messages);
  static void ResolveMethod(SrcType const& source, DefinitionPtr* const& destination,
                            StackMapCnt& work, Messages& messages);

 private:
  // Stores a reference to the structure under construction and queues its resolution.
  static void Refer(std::string name, N2D_internal::TypeKey key, DefinitionPtr* destination,
                    StackMapCnt& work);

  template <typename T>
  static Method Select(StructureShape /*unused*/) {
    return &StructBeginMethod<T>;
  }
  // Enumerations are defined as plain strings.
  template <typename T>
  static Method Select(EnumerationShape /*unused*/) {
    return &PrimitiveMethod<std::string>;
  }
  template <typename T>
  static Method Select(PrimitiveShape /*unused*/) {
    return &PrimitiveMethod<T>;
  }
  template <typename T>
  static Method Select(DynamicShape /*unused*/) {
    return &PrimitiveMethod<DynamicStructure>;
  }
  template <typename T, typename S>
  static Method Select(SharedPtrShape<S> /*unused*/) {
    return &StructBeginMethod<S>;
  }
  template <typename T, typename S>
  static Method Select(OptionalPtrShape<S> /*unused*/) {
    return &CompositeBeginMethod<S, OptionalDefinition>;
  }
  template <typename T, typename X>
  static Method Select(OptionalShape<X> /*unused*/) {
    return &CompositeBeginMethod<X, OptionalDefinition>;
  }
  template <typename T, typename X>
  static Method Select(ListShape<X> /*unused*/) {
    return &CompositeBeginMethod<X, ListDefinition>;
  }
  template <typename T, typename X>
  static Method Select(MapShape<X> /*unused*/) {
    return &MapBeginMethod<X>;
  }
};

}  // namespace Ormi::Data
