// The status table and the names of settings in messages.
#include "ormi/transport/wire.h"

#include <string>

#include "ormi/transport/options.h"

namespace Ormi::Transport {

unsigned StatusForError(boost::string_view error_name) {
  static constexpr struct {
    char const* name;
    unsigned status;
  } kTable[] = {
      {ErrorNames::kInvalidArgument, 400},
      {ErrorNames::kUnauthenticated, 401},
      {ErrorNames::kNotFound, 404},
      {ErrorNames::kAlreadyExists, 409},
      {ErrorNames::kNotAllowedInCurrentState, 409},
      {ErrorNames::kServiceUnavailable, 503},
      {ErrorNames::kTimedOut, 504},
      {ErrorNames::kError, 500},
      {ErrorNames::kInternalServerError, 500},
  };
  for (auto const& row : kTable) {
    if (error_name == row.name) return row.status;
  }
  return 500;
}

std::string SettingName(std::string const& member) {
  std::string flag = member;
  for (char& c : flag) {
    if (c == '_') c = '-';
  }
  return member + " (--" + flag + ")";
}

}  // namespace Ormi::Transport
