#include "ormi/data/native_to_value.h"

#include <algorithm>
#include <string>
#include <vector>

#include "ormi/data/value_arena.h"

namespace Ormi::Data {

namespace Detail {

DeclaredPlaces PlacesOf(std::vector<boost::string_view> const& names) {
  DeclaredPlaces result;
  result.count = names.size();
  std::vector<boost::string_view> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return result;
  result.places.reserve(names.size());
  for (boost::string_view const name : names) {
    auto const at = std::lower_bound(sorted.begin(), sorted.end(), name);
    result.places.push_back(static_cast<std::size_t>(at - sorted.begin()));
  }
  return result;
}

}  // namespace Detail

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
