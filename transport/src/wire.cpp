// The status table and the names of settings in messages.
#include "ormi/transport/wire.h"

#include <string>

#include "ormi/data/error_names.h"
#include "ormi/transport/options.h"

namespace Ormi::Transport {

unsigned StatusForError(boost::string_view error_name) {
  static constexpr struct {
    char const* name;
    unsigned status;
  } kTable[] = {
      {Data::ErrorName::kInvalidArgument, 400},
      {Data::ErrorName::kUnauthenticated, 401},
      {Data::ErrorName::kNotFound, 404},
      {Data::ErrorName::kAlreadyExists, 409},
      {Data::ErrorName::kNotAllowedInCurrentState, 409},
      {Data::ErrorName::kServiceUnavailable, 503},
      {Data::ErrorName::kTimedOut, 504},
      {Data::ErrorName::kError, 500},
      {Data::ErrorName::kInternalServerError, 500},
  };
  for (auto const& row : kTable) {
    if (error_name == row.name) return row.status;
  }
  return 500;
}

std::string Quoted(boost::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string quoted;
  quoted.reserve(text.size());
  for (char const c : text) {
    auto const byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      quoted.push_back(c);
    } else {
      quoted += "\\x";
      quoted.push_back(kDigits[byte >> 4U]);
      quoted.push_back(kDigits[byte & 0xFU]);
    }
  }
  return quoted;
}

std::string SettingName(std::string const& member) {
  std::string flag = member;
  for (char& c : flag) {
    if (c == '_') c = '-';
  }
  return member + " (--" + flag + ")";
}

}  // namespace Ormi::Transport
