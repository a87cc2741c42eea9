// What hyrn makes of the introspection service's answers (their plain JSON form): readable
// text of the services and of one operation, and a JSON skeleton of an operation's input.
#pragma once

#include <string>

#include <boost/json/value.hpp>

namespace Hyrn::Detail {

// A "list" answer: each service on a line, its operations indented beneath it (a task
// operation with its call name).
std::string ListText(boost::json::value const& services);

// A "describe" answer: the operation, its parameters with their types, what it answers, its
// errors, and the fields of every structure that its parameters, output and work result hold.
std::string DescriptionText(boost::json::value const& description);

// The input of a "describe" answer as JSON with every field present: a scalar as "<type>"
// ("<string>", "<long>"), a list with one element, a map with one "<key>", an optional
// as its value, a structure as an object, a dynamic structure as an empty object, and a
// structure already being filled in above itself as null.
boost::json::value InputTemplate(boost::json::value const& description);

}  // namespace Hyrn::Detail
