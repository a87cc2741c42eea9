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
#include <type_traits>
#include <utility>

#include <boost/utility/string_view.hpp>

#include "ormi/data/definition.h"
#include "ormi/data/dynamic_structure.h"
#include "ormi/data/native_shape.h"
#include "ormi/data/type_info.h"
#include "ormi/message.h"

namespace Ormi::Data {

class NativeToDefinitionAdapter {
 public:
  // Identifies one native structure type within a conversion.
  using TypeKey = void const*;
  using Fields = StructDefinition::Fields;

  // What a step works on; each step uses only some of the members.
  struct Source {
    std::shared_ptr<DefinitionPtr> slot;       // element of an optional or list
    std::shared_ptr<Fields> fields;            // fields of a structure or map entry
    std::string name;                          // canonical name of a structure
    std::shared_ptr<StructRefDefinition> ref;  // reference waiting for its target
    TypeKey key = nullptr;                     // the structure type
  };

  struct WorkList;
  using Messages = std::list<BaseMessage> const;
  using Entry = BasicAdaptEntry<Source, DefinitionPtr*, Messages, WorkList>;
  using Method = Entry::Method;

  // The work list of one definition build, with the table of structure definitions built so
  // far (an entry holding null marks a structure under construction).
  struct WorkList {
    void Push(Source source, Method method, DefinitionPtr* destination) {
      items.push_back(Entry{std::move(source), method, destination});
    }
    // Queues a step that must run after all others.
    void PushFront(Source source, Method method, DefinitionPtr* destination) {
      items.push_front(Entry{std::move(source), method, destination});
    }
    // The table entry of `key`, or null when the type was not met yet.
    DefinitionPtr const* GetDef(TypeKey key) const;
    void SetDef(TypeKey key, DefinitionPtr definition) { table[key] = std::move(definition); }

    std::deque<Entry> items;
    std::map<TypeKey, DefinitionPtr> table;
  };

  // Builds the definition of the native type whose step is `method` (AdaptMethod<T>::Get())
  // into `*destination`. Cannot fail; `messages` is never written.
  static void Adapt(Method const& method, DefinitionPtr* const& destination,
                    std::list<BaseMessage> const& messages);

  template <typename T>
  struct AdaptMethod {
    static Method Get();
  };

  // Collects the field definitions of one structure; handed to `AdapterHelper::AddFields`.
  // Native structures are defined as structure definitions only.
  template <typename Compound>
  class CompoundHelper {
    static_assert(std::is_same_v<Compound, StructDefinition>, "structures define structures");

   public:
    explicit CompoundHelper(WorkList& work) : fields_(std::make_shared<Fields>()), work_(work) {}

    // Queues the step that builds the structure from its fields; queued first, it runs last.
    void Start(std::string name, TypeKey key, DefinitionPtr* destination) {
      Source source;
      source.fields = fields_;
      source.name = std::move(name);
      source.key = key;
      work_.Push(std::move(source), &StructEndMethod, destination);
    }

    // Visits the declared fields of `T`; definitions describe declared fields only.
    template <typename T>
    void AddFields() {
      T::AdapterHelper::AddFields(*this);
    }

    template <typename M>
    void AddField(boost::string_view name) {
      work_.Push(Source{}, AdaptMethod<M>::Get(), &(*fields_)[std::string(name)]);
    }

   private:
    std::shared_ptr<Fields> fields_;
    WorkList& work_;
  };

  // The first occurrence of a structure type builds its definition, later ones share it, and
  // one met inside itself becomes a reference resolved at the end.
  template <typename S>
  static void StructBeginMethod(Source const& /*source*/, DefinitionPtr* const& destination,
                                WorkList& work, Messages& /*messages*/) {
    TypeKey const key = KeyOf<S>();
    DefinitionPtr const* known = work.GetDef(key);
    if (known == nullptr) {
      work.SetDef(key, nullptr);
      CompoundHelper<StructDefinition> helper(work);
      helper.Start(TypeInfo<S>::name(), key, destination);
      helper.AddFields<S>();
    } else if (*known) {
      *destination = *known;
    } else {
      Refer(TypeInfo<S>::name(), key, destination, work);
    }
  }

  // An optional or list: the element is built into a slot, then wrapped by `End`.
  template <typename X, typename End>
  static void CompositeBeginMethod(Source const& /*source*/, DefinitionPtr* const& destination,
                                   WorkList& work, Messages& /*messages*/) {
    Source source;
    source.slot = std::make_shared<DefinitionPtr>();
    DefinitionPtr* element = source.slot.get();
    work.Push(std::move(source), &CompositeEndMethod<End>, destination);
    work.Push(Source{}, AdaptMethod<X>::Get(), element);
  }

  // A map: a list of "map-entry" structures with a string "key" and the mapped "value".
  template <typename V>
  static void MapBeginMethod(Source const& /*source*/, DefinitionPtr* const& destination,
                             WorkList& work, Messages& /*messages*/) {
    Source source;
    source.fields = std::make_shared<Fields>();
    Fields& fields = *source.fields;
    work.Push(std::move(source), &MapEndMethod, destination);
    work.Push(Source{}, &PrimitiveMethod<std::string>, &fields[MapEntry::kKey]);
    work.Push(Source{}, AdaptMethod<V>::Get(), &fields[MapEntry::kValue]);
  }

  template <typename T>
  static void PrimitiveMethod(Source const& /*source*/, DefinitionPtr* const& destination,
                              WorkList& /*work*/, Messages& /*messages*/) {
    *destination = DataDefinition::Create<T>();
  }

  template <typename End>
  static void CompositeEndMethod(Source const& source, DefinitionPtr* const& destination,
                                 WorkList& /*work*/, Messages& /*messages*/) {
    *destination = End::GetInstance(*source.slot);
  }

  static void StructEndMethod(Source const& source, DefinitionPtr* const& destination,
                              WorkList& work, Messages& messages);
  static void MapEndMethod(Source const& source, DefinitionPtr* const& destination, WorkList& work,
                           Messages& messages);
  static void ResolveMethod(Source const& source, DefinitionPtr* const& destination, WorkList& work,
                            Messages& messages);

 private:
  // One distinct key per structure type: the address of a constant of its own.
  template <typename S>
  struct TypeTag {
    static constexpr char kTag = 0;
  };
  template <typename S>
  static TypeKey KeyOf() {
    return &TypeTag<S>::kTag;
  }

  // Stores a reference to the structure under construction and queues its resolution.
  static void Refer(std::string name, TypeKey key, DefinitionPtr* destination, WorkList& work);
};

template <typename T>
NativeToDefinitionAdapter::Method NativeToDefinitionAdapter::AdaptMethod<T>::Get() {
  using X = ElementOf<T>;
  constexpr NativeShape kShape = kShapeOf<T>;
  if constexpr (kShape == NativeShape::kStructure) {
    return &StructBeginMethod<T>;
  } else if constexpr (kShape == NativeShape::kEnumeration) {
    return &PrimitiveMethod<std::string>;  // enumerations are defined as plain strings
  } else if constexpr (kShape == NativeShape::kPrimitive || kShape == NativeShape::kDynamic) {
    return &PrimitiveMethod<T>;
  } else if constexpr (kShape == NativeShape::kSharedPtr) {
    return &StructBeginMethod<X>;
  } else if constexpr (kShape == NativeShape::kOptionalPtr || kShape == NativeShape::kOptional) {
    return &CompositeBeginMethod<X, OptionalDefinition>;
  } else if constexpr (kShape == NativeShape::kList) {
    return &CompositeBeginMethod<X, ListDefinition>;
  } else {
    static_assert(kShape == NativeShape::kMap);
    return &MapBeginMethod<X>;
  }
}

}  // namespace Ormi::Data
