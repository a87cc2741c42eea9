#include "ormi/data/native_to_definition.h"

namespace Ormi::Data {
namespace N2D_internal {

DefinitionPtr const* StackMapCnt::GetDef(TypeKey key) const {
  auto const found = table.find(key);
  return found == table.end() ? nullptr : &found->second;
}

}  // namespace N2D_internal

void NativeToDefinitionAdapter::Adapt(Method const& method, DefinitionPtr* const& destination,
                                      std::list<BaseMessage> const& messages) {
  StackMapCnt work(method);
  method(SrcType{}, destination, work, messages);
  RunWorkList(work, messages);
}

void NativeToDefinitionAdapter::StructEndMethod(SrcType const& source,
                                                DefinitionPtr* const& destination,
                                                StackMapCnt& work, Messages& /*messages*/) {
  DefinitionPtr definition = StructDefinition::GetInstance(source.name, std::move(*source.fields));
  *destination = definition;
  work.SetDef(source.key, std::move(definition));
}

void NativeToDefinitionAdapter::MapEndMethod(SrcType const& source,
                                             DefinitionPtr* const& destination,
                                             StackMapCnt& /*work*/, Messages& /*messages*/) {
  *destination =
      ListDefinition::GetInstance(StructDefinition::GetInstance("map-entry", *source.fields));
}

void NativeToDefinitionAdapter::ResolveMethod(SrcType const& source,
                                              DefinitionPtr* const& /*destination*/,
                                              StackMapCnt& work, Messages& /*messages*/) {
  DefinitionPtr const* target = work.GetDef(source.key);
  source.ref->SetTarget(
      target != nullptr ? std::dynamic_pointer_cast<StructDefinition const>(*target) : nullptr);
}

void NativeToDefinitionAdapter::Refer(std::string name, N2D_internal::TypeKey key,
                                      DefinitionPtr* destination, StackMapCnt& work) {
  SrcType source;
  source.ref = StructRefDefinition::GetInstance(std::move(name));
  source.key = key;
  *destination = source.ref;
  work.PushFront(std::move(source), &ResolveMethod, nullptr);
}

}  // namespace Ormi::Data
