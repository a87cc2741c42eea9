// Wire names of the standard errors, for the parts of the runtime and of the frame that make
// error values themselves. The standard bindings define the same errors as types; a test
// checks that their names agree.
#pragma once

namespace Ormi::Data {

struct ErrorName {
  static constexpr char kError[] = "com.norval.ormi.std.errors.error";
  static constexpr char kAlreadyExists[] = "com.norval.ormi.std.errors.already_exists";
  static constexpr char kInternalServerError[] = "com.norval.ormi.std.errors.internal_server_error";
  static constexpr char kInvalidArgument[] = "com.norval.ormi.std.errors.invalid_argument";
  static constexpr char kNotAllowedInCurrentState[] =
      "com.norval.ormi.std.errors.not_allowed_in_current_state";
  static constexpr char kNotFound[] = "com.norval.ormi.std.errors.not_found";
  static constexpr char kServiceUnavailable[] = "com.norval.ormi.std.errors.service_unavailable";
  static constexpr char kTimedOut[] = "com.norval.ormi.std.errors.timed_out";
  static constexpr char kUnauthenticated[] = "com.norval.ormi.std.errors.unauthenticated";
  // The client wrapper reports a result value it cannot convert under this short name;
  // callers match on it, so it stays short.
  static constexpr char kShortInvalidArgument[] = "invalid_argument";
};

}  // namespace Ormi::Data
