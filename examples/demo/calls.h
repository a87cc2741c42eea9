// The demo's client: every operation of the four packages, called through stubs.
#pragma once

#include <memory>

#include "demo/transcript.h"
#include "ormi/stub/api_stub.h"

namespace Demo {

// Drives the operations against the sample hosts ("host-01" is the provider's own host),
// including calls that must fail (an unknown key, a duplicate depot, ...).
void RunCalls(Transcript& transcript, std::shared_ptr<::Ormi::Stub::AsyncApiStub> const& channel);

}  // namespace Demo
