// Where a server listens and a channel connects: a unix socket path or a TCP host and port.
#pragma once

#include <cstdint>
#include <string>

namespace Ormi::Transport {

// "unix:PATH" or "tcp:HOST:PORT"; an IPv6 host is written in brackets ("tcp:[::1]:8080").
class Address {
 public:
  enum class Kind { kUnix, kTcp };

  static Address Unix(std::string path);
  static Address Tcp(std::string host, std::uint16_t port);
  // Reads the text form; on failure returns false with the reason and leaves `out` unchanged.
  static bool Parse(std::string const& text, Address* out, std::string* reason);

  Kind kind() const { return kind_; }
  std::string const& path() const { return path_; }  // unix only
  std::string const& host() const { return host_; }  // tcp only, without brackets
  std::uint16_t port() const { return port_; }       // tcp only; 0 lets the system choose
  std::string ToString() const;

  // Where the daemon listens and its clients call when no address is given:
  // unix:$XDG_RUNTIME_DIR/hyrn/hyrnd.sock, or unix:/run/hyrn/hyrnd.sock when that variable is
  // not set.
  static Address DaemonDefault();

 private:
  Kind kind_ = Kind::kUnix;
  std::string path_;
  std::string host_;
  std::uint16_t port_ = 0;
};

}  // namespace Ormi::Transport
