#include "ormi/transport/address.h"

#include <cstdlib>
#include <utility>

namespace Ormi::Transport {
namespace {

constexpr char kUnixPrefix[] = "unix:";
constexpr char kTcpPrefix[] = "tcp:";

bool StartsWith(std::string const& text, std::string const& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Reads "HOST:PORT" or "[HOST]:PORT".
bool ParseHostPort(std::string const& text, std::string* host, std::uint16_t* port,
                   std::string* reason) {
  std::size_t colon = 0;
  if (!text.empty() && text[0] == '[') {
    std::size_t const close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      *reason = "expected [HOST]:PORT";
      return false;
    }
    *host = text.substr(1, close - 1);
    colon = close + 1;
  } else {
    colon = text.rfind(':');
    if (colon == std::string::npos) {
      *reason = "expected HOST:PORT";
      return false;
    }
    *host = text.substr(0, colon);
    if (host->find(':') != std::string::npos) {
      *reason = "an IPv6 host must be written in brackets";
      return false;
    }
  }
  std::string const digits = text.substr(colon + 1);
  if (host->empty() || digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos ||
      std::strtoul(digits.c_str(), nullptr, 10) > 65535) {
    *reason = host->empty() ? "the host is empty" : "the port must be a number from 0 to 65535";
    return false;
  }
  *port = static_cast<std::uint16_t>(std::strtoul(digits.c_str(), nullptr, 10));
  return true;
}

}  // namespace

Address Address::Unix(std::string path) {
  Address address;
  address.kind_ = Kind::kUnix;
  address.path_ = std::move(path);
  return address;
}

Address Address::Tcp(std::string host, std::uint16_t port) {
  Address address;
  address.kind_ = Kind::kTcp;
  address.host_ = std::move(host);
  address.port_ = port;
  return address;
}

bool Address::Parse(std::string const& text, Address* out, std::string* reason) {
  if (StartsWith(text, kUnixPrefix)) {
    std::string path = text.substr(sizeof kUnixPrefix - 1);
    if (path.empty()) {
      *reason = "the socket path is empty";
      return false;
    }
    *out = Unix(std::move(path));
    return true;
  }
  if (StartsWith(text, kTcpPrefix)) {
    std::string host;
    std::uint16_t port = 0;
    if (!ParseHostPort(text.substr(sizeof kTcpPrefix - 1), &host, &port, reason)) return false;
    *out = Tcp(std::move(host), port);
    return true;
  }
  *reason = "expected unix:PATH or tcp:HOST:PORT";
  return false;
}

std::string Address::ToString() const {
  if (kind_ == Kind::kUnix) return kUnixPrefix + path_;
  bool const v6 = host_.find(':') != std::string::npos;
  return kTcpPrefix + (v6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_);
}

Address Address::DaemonDefault() {
  char const* const runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string const base = runtime != nullptr && *runtime != '\0' ? runtime : "/run";
  return Unix(base + "/hyrn/hyrnd.sock");
}

}  // namespace Ormi::Transport
