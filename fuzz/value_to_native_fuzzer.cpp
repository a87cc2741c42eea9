// Value-to-native for every API structure. The first byte picks the type; the rest drive a
// value generator shaped by the type's definition. Properties:
//  - the conversion reports failure exactly when it appended messages;
//  - a value that the definition accepts converts;
//  - what converts converts back, and the second round trip gives the same value;
//  - what converts back validates, except where the lenient reading let through what the
//    definition refuses: a dynamic structure holds whatever value it was given, and a string
//    standing for an absent structure leaves that structure's required members unset.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

#include "api_types.h"
#include "fuzz_input.h"
#include "ormi/data/convert.h"
#include "ormi/data/json.h"
#include "value_generator.h"

namespace {

using Hyrn::Fuzz::Require;
using Ormi::BaseMessage;
using namespace Ormi::Data;  // NOLINT(google-build-using-namespace)

std::string Describe(std::list<BaseMessage> const& messages, ValuePtr const& value) {
  std::string text;
  for (auto const& message : messages) text += message.id + ": " + message.defaultMessage + "\n";
  return text + (value ? ToJson(*value) : std::string("(no value)"));
}

bool AllHaveId(std::list<BaseMessage> const& messages, char const* id) {
  return std::all_of(messages.begin(), messages.end(),
                     [id](BaseMessage const& message) { return message.id == id; });
}

// Validation problems that only a dynamic structure holding a non-structure value causes.
bool OnlyDynamicMismatches(std::list<BaseMessage> const& messages) {
  return std::all_of(messages.begin(), messages.end(), [](BaseMessage const& message) {
    return message.defaultMessage.find(": expected a structure, got ") != std::string::npos;
  });
}

template <typename T>
struct CheckType {
  static void Run(Hyrn::Fuzz::FuzzInput& input) {
    static DefinitionPtr const definition = DefinitionOf<T>();
    ValuePtr const value =
        Hyrn::Fuzz::ValueGenerator(input, Hyrn::Fuzz::Dictionary()).Generate(*definition);
    std::list<BaseMessage> messages;
    bool const valid = Validate(*definition, *value, messages);

    T native;
    messages.clear();
    bool const converted = FromValue(value, &native, messages);
    Require(converted == messages.empty(), "conversion result and messages disagree",
            [&] { return Describe(messages, value); });
    Require(converted || !valid, "a valid value must convert",
            [&] { return Describe(messages, value); });
    if (!converted) return;

    ValuePtr back;
    if (!ToValue(native, &back, messages)) {
      Require(!valid && AllHaveId(messages, "ormi.data.unset.non.optional.field"),
              "what converts must convert back", [&] { return Describe(messages, value); });
      return;
    }
    if (!Validate(*definition, *back, messages)) {
      Require(!valid && OnlyDynamicMismatches(messages), "what converts back must validate",
              [&] { return Describe(messages, back); });
    }
    messages.clear();
    T again;
    ValuePtr third;
    Require(FromValue(back, &again, messages) && ToValue(again, &third, messages),
            "a converted-back value must convert again", [&] { return Describe(messages, back); });
    Require(Equal(*back, *third), "the second round trip must give the same value",
            [&] { return ToJson(*back) + "\n" + ToJson(*third); });
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  Hyrn::Fuzz::FuzzInput input(data, size);
  std::size_t const index = input.Byte();
  Hyrn::Fuzz::RunAt<CheckType>(Hyrn::Fuzz::ApiStructures{}, index, input);
  return 0;
}
