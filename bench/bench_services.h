// The services the call benchmarks serve, in process and over the transport alike: scan$task
// of the settings daemon's software service answering a task identifier, and the host
// configuration read answering SmallConfig() (or, for kLargeConfigHost, a configuration of
// kLargeConfigComponents components); and calls of them that wait for the answer.
#pragma once

#include <chrono>
#include <memory>

#include "ormi/in_process/connector.h"
#include "workload.h"

namespace HyrnBench {

// A registry with both services bound.
std::shared_ptr<Ormi::InProcess::Registry> MakeBenchRegistry();

// The task identifier the scan answers for a specification with depots.
constexpr char kScanTaskId[] = "scan-0001";

// Calls through `stub` and waits for the answer, at most `wait`; true when it is the
// expected one. For channels that answer on another thread; the answer may also come
// before the call returns.
bool ScanAndWait(Sd::SoftwareSvc::AsyncServiceStub& stub,
                 std::shared_ptr<Sd::SoftwareSvc::ScanSpec const> const& scan_spec,
                 std::chrono::milliseconds wait);
// The small configuration, or with `large` that of kLargeConfigHost.
bool GetConfigAndWait(::Com::Norval::Hyrn::HostSettings::ConfigSvc::AsyncServiceStub& stub,
                      std::chrono::milliseconds wait, bool large = false);

}  // namespace HyrnBench
