// The base of every native structure: the fields of an incoming value that the structure
// does not declare, kept so that they survive a round trip.
#pragma once

#include <cstddef>
#include <memory>

#include <boost/utility/string_view.hpp>

#include "ormi/data/value.h"

namespace Ormi::Data {

class BaseNative {
 public:
  // The unknown-field steps of a structure's `AdapterHelper::AddFields`, one per direction.
  struct AdapterHelper {
    // To a value: sets each of `native`'s unknown fields on `value`, sharing the field values.
    static void AddUnknownFields(BaseNative const& native, std::shared_ptr<StructValue>& value);

    // From a value: the fields of `value` whose names are not among `names` (the declared
    // names, sorted byte-wise) go to `unknown`, created as "unknownFields" on the first one.
    // Nothing happens without a value.
    template <std::size_t N>
    static void AddUnknownFields(boost::string_view const (&names)[N], CompoundValue const* value,
                                 std::shared_ptr<StructValue>& unknown) {
      if (value != nullptr) MergeUnknownFields(names, N, *value, unknown);
    }
    template <std::size_t N>
    static void AddUnknownFields(boost::string_view const (&names)[N],
                                 std::shared_ptr<CompoundValue const> const& value,
                                 std::shared_ptr<StructValue>& unknown) {
      AddUnknownFields(names, value.get(), unknown);
    }

    static void MergeUnknownFields(boost::string_view const* names, std::size_t count,
                                   CompoundValue const& value,
                                   std::shared_ptr<StructValue>& unknown);
  };

  // A structure value named "unknownFields" holding the undeclared fields; null when the
  // structure has none.
  std::shared_ptr<StructValue> unknownFields;
};

}  // namespace Ormi::Data
