// The HTTP server: serves the bound interfaces of a registry on unix sockets and TCP
// addresses. A call is "POST /<service>/<operation>" with the input value as the body; the
// provider runs on the given executor (an inline one, or none, runs it on the I/O thread that
// read the request: for providers whose operations are short and never block).
#pragma once

#include <list>
#include <memory>
#include <string>
#include <vector>

#include "ormi/core/call.h"
#include "ormi/in_process/connector.h"
#include "ormi/message.h"
#include "ormi/transport/address.h"
#include "ormi/transport/options.h"

namespace Ormi::Transport {

class Server {
 public:
  Server(std::shared_ptr<InProcess::Registry const> registry,
         std::shared_ptr<InProcess::Executor> executor, ServerOptions options);
  Server(Server const&) = delete;
  Server& operator=(Server const&) = delete;
  // Stops the server if it runs.
  ~Server();

  // Listens on every address of the options and starts the I/O threads. False with messages
  // (and nothing served) when an address cannot be served: invalid, not loopback without
  // allow_remote, a unix socket a live server answers on, or the token file unwritable.
  bool Start(std::list<BaseMessage>& messages);
  // Stops gracefully: accepts no new connection or call, lets calls in flight finish until
  // the drain timeout, answers the rest "service unavailable", closes every connection and
  // removes the unix sockets it made. Blocks until done; must not run on an I/O thread.
  void Stop();

  // The addresses served, TCP ports as bound (when 0 was asked for); after Start.
  std::vector<Address> const& addresses() const;
  // The bearer token TCP requests must carry; after Start.
  std::string const& token() const;

  // Serves one connection whose peer sends `input` and then waits for the answers, without
  // a socket: the same parser, limits, checks and dispatch. Returns what the server wrote.
  // For tests and fuzzing; the server need not be started.
  std::string ServeBytes(std::string input, Core::Caller const& caller);

 private:
  class Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace Ormi::Transport
