#include <cstdio>
#include <cstdlib>

#include "api_types.h"
#include "fuzz_input.h"

namespace Hyrn::Fuzz {
namespace {

template <typename... E>
void AddEnumerationNames(Ormi::Data::TypeList<E...> /*unused*/, std::vector<std::string>& out) {
  auto add = [&out](char const* const* values) {
    for (; *values != nullptr; ++values) out.emplace_back(*values);
  };
  (add(E::Strings::values), ...);
}

std::vector<std::string> BuildDictionary() {
  std::vector<std::string> words = {"",
                                    "map-entry",
                                    "key",
                                    "value",
                                    "emptyDynStr",
                                    "unknownFields",
                                    "true",
                                    "false",
                                    "2026-12-06T08:35:27.123Z",
                                    "2026-02-30T00:00:00Z",
                                    "9999-12-31T23:59:59.999999999Z",
                                    "com.norval.ormi.std.errors.not_found"};
  AddEnumerationNames(ApiEnumerations{}, words);
  return words;
}

}  // namespace

void Fail(char const* what, std::string const& detail) {
  std::fprintf(stderr, "fuzz check failed: %s\n%s\n", what, detail.c_str());
  std::abort();
}

std::vector<std::string> const& Dictionary() {
  static std::vector<std::string> const words = BuildDictionary();
  return words;
}

}  // namespace Hyrn::Fuzz
