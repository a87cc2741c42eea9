#include "ormi/data/value_to_native.h"

#include <typeinfo>

namespace Ormi::Data {
namespace Detail {

// The runtime's own classes are recognised by their exact type, which costs a comparison where
// a cast to a base class searches the class hierarchy; other classes are cast.
template <typename Exact, typename Base>
Base const* Narrow(DataValue const& value) {
  if (typeid(value) == typeid(Exact)) return static_cast<Exact const*>(&value);
  return dynamic_cast<Base const*>(&value);
}

std::string const* StringOf(ValuePtr const& value) {
  if (!value || value->kind() != ValueKind::kString) return nullptr;
  auto const* string = Narrow<StringValue, StringValue>(*value);
  return string != nullptr ? &string->value() : nullptr;
}

CompoundValue const* CompoundOf(ValuePtr const& value) {
  if (!value || !TakenAsStructure(value->kind())) return nullptr;
  return Narrow<StructValue, CompoundValue>(*value);
}

ValuePtr const* FieldSlot(CompoundValue const& value, std::string_view name, std::size_t rank,
                          std::list<BaseMessage>* messages) {
  auto const found = value.fields().find(name, rank);
  if (found != value.fields().end()) return &found->second;
  if (messages != nullptr) {
    ValuePtr missing;
    value.GetField(name, &missing, *messages);  // appends the runtime's message
  }
  return nullptr;
}

bool ReadKey(ValuePtr const& value, std::string* out, std::list<BaseMessage>& messages) {
  if (!value) {
    messages.push_back(Message<CoreTag>(MessageId::kInvalidType));
    return false;
  }
  return value->Value(out, messages);
}

}  // namespace Detail

void ValueToNativeAdapter::WorkList::Stop(std::list<BaseMessage>& messages,
                                          boost::optional<BaseMessage> message) {
  if (message) messages.push_back(std::move(*message));
  items.clear();
}

bool ValueToNativeAdapter::Adapt(ValuePtr const& source, Method const& method,
                                 NativePtr const& destination, std::list<BaseMessage>& messages) {
  std::size_t const before = messages.size();
  WorkList work;
  method(&source, destination, work, messages);
  RunWorkList(work, messages);
  return messages.size() == before;
}

void ValueToNativeAdapter::DynamicMethod(Slot const& slot, NativePtr const& destination,
                                         WorkList& /*work*/, std::list<BaseMessage>& /*messages*/) {
  static_cast<DynamicStructure*>(destination)->SetValue(*slot);
}

bool ValueToNativeAdapter::ReadValue(ValuePtr const& source, std::string* out, WorkList& work,
                                     std::list<BaseMessage>& messages) {
  if (!source) {
    work.Stop(messages, Message<CoreTag>(MessageId::kInvalidType));
    return false;
  }
  if (!source->Value(out, messages)) {
    work.Stop(messages);
    return false;
  }
  return true;
}

}  // namespace Ormi::Data
