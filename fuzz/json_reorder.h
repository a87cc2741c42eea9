// JSON text with the members of every object in the reverse order: the same document for a
// reader that accepts any order, but not the order a writer of sorted keys produces.
#pragma once

#include <string>

#include <boost/utility/string_view.hpp>

namespace Hyrn::Fuzz {

// `json` (a valid JSON document) with every object's members reversed, compact. Numbers keep
// the text they had, so no number changes on the way; strings and keys are escaped anew.
// Empty when `json` is no valid document.
std::string ReverseMembers(boost::string_view json);

}  // namespace Hyrn::Fuzz
