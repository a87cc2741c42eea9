#include "ormi/data/value_to_native.h"

namespace Ormi::Data {
namespace Detail {

std::string const* StringOf(ValuePtr const& value) {
  if (!value || value->kind() != ValueKind::kString) return nullptr;
  auto const* string = dynamic_cast<StringValue const*>(value.get());
  return string != nullptr ? &string->value() : nullptr;
}

std::shared_ptr<CompoundValue const> CompoundOf(ValuePtr const& value) {
  if (!value || !TakenAsStructure(value->kind())) return nullptr;
  return std::dynamic_pointer_cast<CompoundValue const>(value);
}

bool ReadKey(ValuePtr const& value, std::string* out, std::list<BaseMessage>& messages) {
  if (!value) {
    messages.push_back(Message<CoreTag>(MessageId::kInvalidType));
    return false;
  }
  return value->kind() == ValueKind::kString ? value->Cast(out, messages)
                                             : value->Value(out, messages);
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
  method(source, destination, work, messages);
  RunWorkList(work, messages);
  return messages.size() == before;
}

void ValueToNativeAdapter::DynamicMethod(ValuePtr const& source, NativePtr const& destination,
                                         WorkList& /*work*/, std::list<BaseMessage>& /*messages*/) {
  static_cast<DynamicStructure*>(destination)->SetValue(source);
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
