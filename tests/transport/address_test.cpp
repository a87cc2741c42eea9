#include "ormi/transport/address.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace TransportTest {
namespace {

using ::Ormi::Transport::Address;

// Each text form that is read gives back the same text; a host and port are read as written.
TEST(AddressText, ReadsWhatItWritesAndTheHostAndPortAsGiven) {
  for (std::string const text :
       {"unix:/run/a b.sock", "tcp:127.0.0.1:0", "tcp:localhost:65535", "tcp:[::1]:8080"}) {
    Address address;
    std::string reason;
    ASSERT_TRUE(Address::Parse(text, &address, &reason)) << text << ": " << reason;
    EXPECT_EQ(address.ToString(), text);
  }
  Address address;
  std::string reason;
  ASSERT_TRUE(Address::Parse("tcp:[::1]:8080", &address, &reason));
  EXPECT_EQ(address.kind(), Address::Kind::kTcp);
  EXPECT_EQ(address.host(), "::1");
  EXPECT_EQ(address.port(), 8080);
}

// Every malformed form is refused with the reason that fits it, and the address is unchanged.
TEST(AddressText, RefusesEachMalformedFormWithItsReason) {
  std::vector<std::pair<std::string, std::string>> const refused = {
      {"unix:", "the socket path is empty"},
      {"udp:127.0.0.1:53", "expected unix:PATH or tcp:HOST:PORT"},
      {"tcp:localhost", "expected HOST:PORT"},
      {"tcp:::1:80", "an IPv6 host must be written in brackets"},
      {"tcp:[::1]", "expected [HOST]:PORT"},
      {"tcp:[::1]80", "expected [HOST]:PORT"},
      {"tcp:[::1:80", "expected [HOST]:PORT"},
      {"tcp::80", "the host is empty"},
      {"tcp:[]:80", "the host is empty"},
      {"tcp:localhost:", "the port must be a number from 0 to 65535"},
      {"tcp:localhost:65536", "the port must be a number from 0 to 65535"},
      {"tcp:localhost:-1", "the port must be a number from 0 to 65535"},
      {"tcp:localhost:000080", "the port must be a number from 0 to 65535"},
      {"tcp:localhost:8o", "the port must be a number from 0 to 65535"},
  };
  for (auto const& [text, why] : refused) {
    Address address = Address::Unix("/kept");
    std::string reason;
    EXPECT_FALSE(Address::Parse(text, &address, &reason)) << text;
    EXPECT_EQ(reason, why) << text;
    EXPECT_EQ(address.ToString(), "unix:/kept") << text;
  }
}

// The daemon's socket: in the user's runtime folder when the session names one, else under
// /run (a system daemon's place).
TEST(AddressText, TheDaemonsDefaultFollowsTheRuntimeFolder) {
  char const* const saved = std::getenv("XDG_RUNTIME_DIR");
  std::string const kept = saved != nullptr ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
  EXPECT_EQ(Address::DaemonDefault().ToString(), "unix:/run/user/1000/hyrn/hyrnd.sock");
  ::setenv("XDG_RUNTIME_DIR", "", 1);
  EXPECT_EQ(Address::DaemonDefault().ToString(), "unix:/run/hyrn/hyrnd.sock");
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(Address::DaemonDefault().ToString(), "unix:/run/hyrn/hyrnd.sock");
  if (saved != nullptr) ::setenv("XDG_RUNTIME_DIR", kept.c_str(), 1);
}

}  // namespace
}  // namespace TransportTest
