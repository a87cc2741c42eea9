#include "ormi/data/native_to_definition.h"

namespace Ormi::Data {

DefinitionPtr const* NativeToDefinitionAdapter::WorkList::GetDef(TypeKey key) const {
  auto const found = table.find(key);
  return found == table.end() ? nullptr : &found->second;
}

void NativeToDefinitionAdapter::Adapt(Method const& method, DefinitionPtr* const& destination,
                                      std::list<BaseMessage> const& messages) {
  WorkList work;
  method(Source{}, destination, work, messages);
  RunWorkList(work, messages);
}

void NativeToDefinitionAdapter::StructEndMethod(Source const& source,
                                                DefinitionPtr* const& destination, WorkList& work,
                                                Messages& /*messages*/) {
  DefinitionPtr definition = StructDefinition::GetInstance(source.name, std::move(*source.fields));
  *destination = definition;
  work.SetDef(source.key, std::move(definition));
}

void NativeToDefinitionAdapter::MapEndMethod(Source const& source,
                                             DefinitionPtr* const& destination, WorkList& /*work*/,
                                             Messages& /*messages*/) {
  *destination =
      ListDefinition::GetInstance(StructDefinition::GetInstance(MapEntry::kName, *source.fields));
}

void NativeToDefinitionAdapter::ResolveMethod(Source const& source,
                                              DefinitionPtr* const& /*destination*/, WorkList& work,
                                              Messages& /*messages*/) {
  DefinitionPtr const* target = work.GetDef(source.key);
  source.ref->SetTarget(
      target != nullptr ? std::dynamic_pointer_cast<StructDefinition const>(*target) : nullptr);
}

void NativeToDefinitionAdapter::Refer(std::string name, TypeKey key, DefinitionPtr* destination,
                                      WorkList& work) {
  Source source;
  source.ref = StructRefDefinition::GetInstance(std::move(name));
  source.key = key;
  *destination = source.ref;
  work.PushFront(std::move(source), &ResolveMethod, nullptr);
}

}  // namespace Ormi::Data
