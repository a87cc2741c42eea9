// Builds value trees shaped by a definition, driven by the fuzzer's input. Most decisions
// keep the value close to what the definition accepts, so that conversions get past their
// first checks; about one in sixteen deviates (a wrong kind, an empty or non-empty string
// standing for a structure, a nested or plain optional, deep nesting, an error value, a
// structure of another name). Structures also lose fields and gain extra ones, maps get
// repeated keys and strings come from a dictionary of the API's enumeration names.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "ormi/data/definition.h"
#include "ormi/data/value.h"

namespace Hyrn {
namespace Fuzz {

class ValueGenerator {
 public:
  // Levels of deep-nesting chains in one generated value, all chains together. No code under
  // test treats one depth differently from another except the JSON reader, whose limit the
  // JSON target reaches with its own texts; longer chains made each execution slower without
  // reaching new code. Unbounded depth is covered by the limit tests.
  static constexpr std::size_t kMaxNesting = 64;

  ValueGenerator(FuzzInput& input, std::vector<std::string> const& dictionary)
      : input_(input), dictionary_(dictionary) {}

  // A value for `definition`; an exhausted input gives the smallest value it accepts.
  Ormi::Data::ValuePtr Generate(Ormi::Data::DataDefinition const& definition) {
    return Make(definition, 0);
  }

 private:
  using ValuePtr = Ormi::Data::ValuePtr;

  ValuePtr Make(Ormi::Data::DataDefinition const& definition, int depth);
  ValuePtr Conform(Ormi::Data::DataDefinition const& definition, int depth);
  ValuePtr Scalar(Ormi::Data::ValueKind kind, int depth);
  ValuePtr Deviate(Ormi::Data::DataDefinition const& definition, int selector, int depth);
  std::shared_ptr<Ormi::Data::CompoundValue> Struct(Ormi::Data::StructDefinition const& definition,
                                                    bool as_error, int depth);
  ValuePtr List(Ormi::Data::ListDefinition const& definition, int depth);
  ValuePtr MapEntries(Ormi::Data::StructDefinition const& entry, int depth);
  ValuePtr Optional(Ormi::Data::OptionalDefinition const& definition, int depth);
  ValuePtr DateTime();
  ValuePtr Any(int depth);
  ValuePtr Nest(ValuePtr leaf);
  std::string Text();

  FuzzInput& input_;
  std::vector<std::string> const& dictionary_;
  std::size_t nesting_left_ = kMaxNesting;
};

}  // namespace Fuzz
}  // namespace Hyrn
