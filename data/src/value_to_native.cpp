#include "ormi/data/value_to_native.h"

#include <algorithm>

namespace Ormi::Data {
namespace V2N_internal {

void StackMapCnt::Stop(std::list<BaseMessage>& messages, boost::optional<BaseMessage> message) {
  if (message) messages.push_back(std::move(*message));
  items.clear();
}

std::string const* StringOf(ValuePtr const& value) {
  if (KindOf(value) != ValueKind::kString) return nullptr;
  auto const* string = dynamic_cast<StringValue const*>(value.get());
  return string != nullptr ? &string->value() : nullptr;
}

std::shared_ptr<CompoundValue const> CompoundOf(ValuePtr const& value) {
  int const kind = KindOf(value);
  if (kind != ValueKind::kStructure && kind != ValueKind::kError && kind != ValueKind::kReserved) {
    return nullptr;
  }
  return std::dynamic_pointer_cast<CompoundValue const>(value);
}

bool ReadKey(ValuePtr const& value, std::string* out, std::list<BaseMessage>& messages) {
  if (!value) {
    messages.push_back(InvalidType());
    return false;
  }
  return value->kind() == ValueKind::kString ? value->Cast(out, messages)
                                             : value->Value(out, messages);
}

void MergeUnknownFields(boost::string_view const* known, std::size_t count,
                        CompoundValue const& value, std::shared_ptr<StructValue>* unknown) {
  boost::string_view const* const end = known + count;
  for (auto const& field : value.fields()) {
    known = std::find_if(known, end, [&](boost::string_view name) { return name >= field.first; });
    if (known != end && *known == field.first) continue;
    if (!*unknown) *unknown = StructValue::GetInstance("unknownFields");
    (*unknown)->SetField(field.first, field.second);
  }
}

BaseMessage InvalidType() { return Message<CoreTag>("ormi.data.invalid.type"); }

BaseMessage BadCast(std::string const& text) {
  return Message<CoreTag>("ormi.data.bad.cast1", text);
}

}  // namespace V2N_internal

bool ValueToNativeAdapter::Adapt(ValuePtr const& source, Method const& method,
                                 NativePtr const& destination, std::list<BaseMessage>& messages) {
  std::size_t const before = messages.size();
  StackMapCnt work(method);
  method(source, destination, work, messages);
  RunWorkList(work, messages);
  return messages.size() == before;
}

void ValueToNativeAdapter::NullMethod(ValuePtr const& source, NativePtr const& destination,
                                      StackMapCnt& /*work*/, std::list<BaseMessage>& /*messages*/) {
  static_cast<DynamicStructure*>(destination)->set_value(source);
}

bool ValueToNativeAdapter::ReadValue(ValuePtr const& source, std::string* out, StackMapCnt& work,
                                     std::list<BaseMessage>& messages) {
  if (!source) {
    work.Stop(messages, V2N_internal::InvalidType());
    return false;
  }
  if (!source->Value(out, messages)) {
    work.Stop(messages);
    return false;
  }
  return true;
}

}  // namespace Ormi::Data
