// The JSON form of values: any text is either read or refused with messages; what is read
// writes back to a text that reads to an equal value and writes again to the same text, and
// that text with every object's members in the reverse order (which the one-pass reader
// leaves to the tree reader) reads to the same value.
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

#include "fuzz_input.h"
#include "json_reorder.h"
#include "ormi/data/json.h"

namespace {

using Hyrn::Fuzz::Require;
using namespace Ormi::Data;  // NOLINT(google-build-using-namespace)

std::string Describe(std::list<Ormi::BaseMessage> const& messages) {
  std::string text;
  for (auto const& message : messages) text += message.id + ": " + message.defaultMessage + "\n";
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  boost::string_view const text(reinterpret_cast<char const*>(data), size);
  std::list<Ormi::BaseMessage> messages;
  ValuePtr value;
  if (!FromJson(text, &value, messages)) {
    Require(!messages.empty() && !value, "a refused text must give messages and no value");
    return 0;
  }
  Require(value && messages.empty(), "an accepted text must give a value and no messages");
  std::string const written = ToJson(*value);
  ValuePtr again;
  Require(FromJson(written, &again, messages), "written JSON must read back",
          [&] { return Describe(messages); });
  Require(Equal(*value, *again), "written JSON must read back equal",
          [&written]() -> std::string const& { return written; });
  Require(ToJson(*again) == written, "writing must be deterministic",
          [&written]() -> std::string const& { return written; });
  std::string const reversed = Hyrn::Fuzz::ReverseMembers(written);
  ValuePtr other;
  Require(FromJson(reversed, &other, messages), "written JSON in another order must read",
          [&] { return reversed + "\n" + Describe(messages); });
  Require(Equal(*value, *other), "the order of members must not change the value",
          [&reversed]() -> std::string const& { return reversed; });
  return 0;
}
