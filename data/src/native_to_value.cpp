#include "ormi/data/native_to_value.h"

namespace Ormi::Data {

bool NativeToValueAdapter::Adapt(NativeConstPtr const& source, Method const& method,
                                 ValuePtr* const& destination, std::list<BaseMessage>& messages,
                                 L10n::RequestLocalizer const& localizer) {
  std::size_t const before = messages.size();
  Deque work(localizer, method);
  method(source, destination, work, messages);
  RunWorkList(work, messages);
  return messages.size() == before;
}

void NativeToValueAdapter::NullMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                                      Deque& work, std::list<BaseMessage>& messages) {
  ValuePtr const& value = static_cast<DynamicStructure const*>(source)->value();
  if (!value) {
    std::string const id = "ormi.data.unset.field";
    work.Fail(MakeMessage(id, Message<CoreTag>::DefaultMessageForId(id), "DynamicStructure"),
              messages);
    return;
  }
  *destination = value;
}

}  // namespace Ormi::Data
