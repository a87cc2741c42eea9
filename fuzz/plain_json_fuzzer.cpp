// The plain JSON form of the input and output of every operation. The first byte picks the
// definition, the rest is the text. Properties:
//  - a text is either read to a value that validates, or refused with messages and no value;
//  - what is read writes back to a text that reads to an equal value;
//  - the one-pass reader and the tree reader agree: the text with an empty "$unknown" member
//    added to its top-level object (which the one-pass reader leaves to the tree reader) is
//    read to an equal value, or refused, exactly as the text itself.
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "api_types.h"
#include "fuzz_input.h"
#include "ormi/data/json.h"
#include "ormi/data/plain_json.h"

namespace {

using Hyrn::Fuzz::Require;
using Ormi::BaseMessage;
using namespace Ormi::Data;  // NOLINT(google-build-using-namespace)

std::string Describe(std::list<BaseMessage> const& messages) {
  std::string text;
  for (auto const& message : messages) text += message.id + ": " + message.defaultMessage + "\n";
  return text;
}

template <typename... Methods>
std::vector<DefinitionPtr> DefinitionsOf(TypeList<Methods...> /*unused*/) {
  std::vector<DefinitionPtr> definitions{Methods::inputDef()...};
  (definitions.push_back(Methods::outputDef()), ...);
  return definitions;
}

// The value `text` reads to, or null with `messages` set; checks the shape of the outcome.
ValuePtr Read(std::string const& text, DataDefinition const& definition,
              std::list<BaseMessage>& messages) {
  ValuePtr value;
  bool const read = FromPlainJson(text, definition, &value, messages);
  Require(read == (value != nullptr) && read == messages.empty(),
          "a text is read to a value or refused with messages");
  return value;
}

// `text` with an empty "$unknown" member first in its top-level object. Empty when the text is
// no object, or names "$unknown" (the added member would be a key twice) or "$error" (an error
// in the canonical form, which takes no "$unknown").
std::string WithEmptyUnknown(std::string const& text) {
  std::size_t const open = text.find_first_not_of(" \t\r\n");
  if (open == std::string::npos || text[open] != '{' ||
      text.find("$unknown") != std::string::npos || text.find("$error") != std::string::npos) {
    return {};
  }
  std::size_t const next = text.find_first_not_of(" \t\r\n", open + 1);
  bool const empty = next != std::string::npos && text[next] == '}';
  return std::string(text).insert(open + 1, empty ? R"("$unknown":{})" : R"("$unknown":{},)");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  static std::vector<DefinitionPtr> const definitions = DefinitionsOf(Hyrn::Fuzz::ApiMethods{});
  if (size == 0) return 0;
  DataDefinition const& definition = *definitions[data[0] % definitions.size()];
  std::string const text(reinterpret_cast<char const*>(data) + 1, size - 1);
  std::list<BaseMessage> messages;
  ValuePtr const value = Read(text, definition, messages);
  if (value) {
    Require(Validate(definition, *value, messages), "a value read must validate",
            [&] { return Describe(messages); });
    std::string written;
    Require(ToPlainJson(*value, definition, &written, messages), "a value read must write",
            [&] { return Describe(messages); });
    ValuePtr const again = Read(written, definition, messages);
    Require(again && Equal(*value, *again), "written plain JSON must read back equal",
            [&] { return written + "\n" + Describe(messages); });
  }
  if (definition.kind() != DefinitionKind::kStructure) return 0;
  std::string const other = WithEmptyUnknown(text);
  if (other.empty()) return 0;
  std::list<BaseMessage> other_messages;
  ValuePtr const through_tree = Read(other, definition, other_messages);
  Require((value != nullptr) == (through_tree != nullptr),
          "both readers must accept or refuse a text alike",
          [&] { return Describe(messages) + Describe(other_messages); });
  Require(!value || Equal(*value, *through_tree), "both readers must read the same value",
          [&] { return ToJson(*value) + "\n" + ToJson(*through_tree); });
  return 0;
}
