#include "ormi/data/native_to_value.h"

#include <string>

#include "ormi/data/value_arena.h"

namespace Ormi::Data {

bool NativeToValueAdapter::Adapt(NativeConstPtr const& source, Method const& method,
                                 ValuePtr* const& destination, std::list<BaseMessage>& messages,
                                 L10n::RequestLocalizer const& /*localizer*/) {
  std::size_t const before = messages.size();
  ValueArenaScope const arena;
  WorkList work;
  method(source, destination, work, messages);
  RunWorkList(work, messages);
  return messages.size() == before;
}

void NativeToValueAdapter::DynamicMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                                         WorkList& work, std::list<BaseMessage>& messages) {
  ValuePtr const& value = static_cast<DynamicStructure const*>(source)->value();
  if (!value) {
    work.Fail(Message<CoreTag>(MessageId::kUnsetField, "DynamicStructure"), messages);
    return;
  }
  *destination = value;
}

}  // namespace Ormi::Data
