// Conversion benchmarks: our native-to-value and value-to-native conversions, with and
// without validation, validation alone, against Boost.JSON value_from / value_to on equivalent
// plain structures and against a plain deep copy of the native tree, for growing inputs; and
// the JSON forms of a value tree written and read, against Boost.JSON's serialize and parse
// (with value_to) of the same data.
//
// Names are "<workload>/<measure>/<components>". Every benchmark reports the counters
// "nodes" (values in our tree of that input), "allocs" and "peak_bytes" (heap use of one
// untimed run after a first one, see alloc_counter.h) and "per_node" (time per value node);
// those of the JSON forms also "text_bytes", the size of the text written or read.
#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <boost/json.hpp>

#include "alloc_counter.h"
#include "deep_copy.h"
#include "ormi/data/convert.h"
#include "ormi/data/definition.h"
#include "ormi/data/json.h"
#include "ormi/data/plain_json.h"
#include "plain_types.h"
#include "workload.h"

namespace HyrnBench {
namespace {

using Ormi::BaseMessage;
using Ormi::Data::ValuePtr;

struct ComplianceWorkload {
  using Native = Sd::HostCompliance;
  using PlainType = Plain::HostCompliance;
  static constexpr char const* kName = "HostCompliance";
  static std::shared_ptr<Native const> Make(std::size_t n) { return MakeHostCompliance(n); }
};

struct SpecWorkload {
  using Native = Sd::SoftwareSpec;
  using PlainType = Plain::SoftwareSpec;
  static constexpr char const* kName = "SoftwareSpec";
  static std::shared_ptr<Native const> Make(std::size_t n) { return MakeSoftwareSpec(n); }
};

// One workload at one size in every form the benchmarks start from, built once.
template <typename W>
struct Inputs {
  std::shared_ptr<typename W::Native const> native;
  ValuePtr value;
  Ormi::Data::DefinitionPtr definition;
  boost::json::value json;  // the same data as Boost.JSON gives it
  typename W::PlainType plain;
  std::string canonical_text;  // ToJson(*value)
  std::string plain_text;      // the plain JSON form of `value`
  std::string boost_text;      // serialize(json)
  std::size_t nodes = 0;
  bool equivalent = false;       // value_from(plain) gives `json`
  bool same_plain_text = false;  // `plain_text` is the same JSON as `boost_text`
};

template <typename W>
Inputs<W> const& InputsFor(std::size_t n) {
  static std::map<std::size_t, Inputs<W>> cache;
  auto found = cache.find(n);
  if (found != cache.end()) return found->second;
  Inputs<W>& in = cache[n];
  in.native = W::Make(n);
  std::list<BaseMessage> messages;
  Ormi::Data::ToValue(*in.native, &in.value, messages);
  in.definition = Ormi::Data::DefinitionOf<typename W::Native>();
  in.json = Plain::ToJson(*in.value);
  in.plain = boost::json::value_to<typename W::PlainType>(in.json);
  in.nodes = CountValueNodes(*in.value);
  in.canonical_text = Ormi::Data::ToJson(*in.value);
  in.boost_text = boost::json::serialize(in.json);
  bool const written = Ormi::Data::ToPlainJson(*in.value, *in.definition, &in.plain_text, messages);
  in.equivalent = messages.empty() && boost::json::value_from(in.plain) == in.json;
  in.same_plain_text = written && boost::json::parse(in.plain_text) == in.json;
  return in;
}

// The text a JSON-form benchmark writes or reads. Such a benchmark runs only where our plain
// text is the same JSON as the peer's; the others compare values built from the same data.
template <typename W>
using Text = std::string Inputs<W>::*;

// Runs `work` (which returns whether it succeeded) as the timed body and sets the counters.
template <typename W, typename Work>
void Measure(benchmark::State& state, Work work, Text<W> text) {
  auto const& in = InputsFor<W>(static_cast<std::size_t>(state.range(0)));
  if (!in.equivalent) return state.SkipWithError("the peer's data differs from ours");
  if (text && !in.same_plain_text) {
    return state.SkipWithError("our plain JSON text differs from the peer's");
  }
  // The heap use of a call after the first: what a thread keeps between calls is not counted.
  bool ok = work(in);
  HeapUse const heap = MeasureHeap([&] { ok = ok && work(in); });
  if (!ok) return state.SkipWithError("conversion reported messages");
  for (auto _ : state) benchmark::DoNotOptimize(work(in));
  auto const nodes = static_cast<double>(in.nodes);
  state.counters["nodes"] = nodes;
  state.counters["allocs"] = static_cast<double>(heap.allocations);
  state.counters["peak_bytes"] = static_cast<double>(heap.peak_bytes);
  state.counters["per_node"] = benchmark::Counter(
      nodes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  if (text) state.counters["text_bytes"] = static_cast<double>((in.*text).size());
}

template <typename W>
bool ToValue(Inputs<W> const& in) {
  ValuePtr value;
  std::list<BaseMessage> messages;
  return Ormi::Data::ToValue(*in.native, &value, messages);
}

template <typename W>
bool FromValue(Inputs<W> const& in) {
  typename W::Native native;
  std::list<BaseMessage> messages;
  return Ormi::Data::FromValue(in.value, &native, messages);
}

template <typename W>
bool ToValueValidated(Inputs<W> const& in) {
  ValuePtr value;
  std::list<BaseMessage> messages;
  return Ormi::Data::ToValue(*in.native, &value, messages) &&
         Ormi::Data::Validate(*in.definition, *value, messages);
}

template <typename W>
bool ValidatedFromValue(Inputs<W> const& in) {
  typename W::Native native;
  std::list<BaseMessage> messages;
  return Ormi::Data::Validate(*in.definition, *in.value, messages) &&
         Ormi::Data::FromValue(in.value, &native, messages);
}

template <typename W>
bool ValidateOnly(Inputs<W> const& in) {
  std::list<BaseMessage> messages;
  return Ormi::Data::Validate(*in.definition, *in.value, messages);
}

template <typename W>
bool BoostValueFrom(Inputs<W> const& in) {
  boost::json::value const json = boost::json::value_from(in.plain);
  return json.is_object();
}

template <typename W>
bool BoostValueTo(Inputs<W> const& in) {
  auto const plain = boost::json::value_to<typename W::PlainType>(in.json);
  benchmark::DoNotOptimize(plain);
  return true;
}

template <typename W>
bool JsonWrite(Inputs<W> const& in) {
  return !Ormi::Data::ToJson(*in.value).empty();
}

template <typename W>
bool PlainJsonWrite(Inputs<W> const& in) {
  std::string text;
  std::list<BaseMessage> messages;
  return Ormi::Data::ToPlainJson(*in.value, *in.definition, &text, messages);
}

template <typename W>
bool JsonRead(Inputs<W> const& in) {
  ValuePtr value;
  std::list<BaseMessage> messages;
  return Ormi::Data::FromJson(in.canonical_text, &value, messages);
}

template <typename W>
bool PlainJsonRead(Inputs<W> const& in) {
  ValuePtr value;
  std::list<BaseMessage> messages;
  return Ormi::Data::FromPlainJson(in.plain_text, *in.definition, &value, messages);
}

// Text to the native structure, as a provider receives a request body.
template <typename W>
bool PlainJsonReadNative(Inputs<W> const& in) {
  ValuePtr value;
  typename W::Native native;
  std::list<BaseMessage> messages;
  return Ormi::Data::FromPlainJson(in.plain_text, *in.definition, &value, messages) &&
         Ormi::Data::FromValue(value, &native, messages);
}

template <typename W>
bool BoostSerialize(Inputs<W> const& in) {
  return !boost::json::serialize(in.json).empty();
}

template <typename W>
bool BoostParse(Inputs<W> const& in) {
  return boost::json::parse(in.boost_text).is_object();
}

template <typename W>
bool BoostParseValueTo(Inputs<W> const& in) {
  auto const plain =
      boost::json::value_to<typename W::PlainType>(boost::json::parse(in.boost_text));
  benchmark::DoNotOptimize(plain);
  return true;
}

template <typename W>
bool Copy(Inputs<W> const& in) {
  return DeepCopy(*in.native) != nullptr;
}

template <typename W>
void Register(char const* measure, bool (*work)(Inputs<W> const&), Text<W> text = nullptr) {
  std::string const name = std::string(W::kName) + "/" + measure;
  benchmark::RegisterBenchmark(
      name.c_str(), [work, text](benchmark::State& state) { Measure<W>(state, work, text); })
      ->Arg(10)
      ->Arg(100)
      ->Arg(1000)
      ->Arg(10000)
      ->Unit(benchmark::kMicrosecond);
}

template <typename W>
int RegisterWorkload() {
  Register<W>("to_value", &ToValue<W>);
  Register<W>("from_value", &FromValue<W>);
  Register<W>("to_value_validated", &ToValueValidated<W>);
  Register<W>("validated_from_value", &ValidatedFromValue<W>);
  Register<W>("validate", &ValidateOnly<W>);
  Register<W>("boost_value_from", &BoostValueFrom<W>);
  Register<W>("boost_value_to", &BoostValueTo<W>);
  Register<W>("deep_copy", &Copy<W>);
  Register<W>("json_write", &JsonWrite<W>, &Inputs<W>::canonical_text);
  Register<W>("plain_json_write", &PlainJsonWrite<W>, &Inputs<W>::plain_text);
  Register<W>("json_read", &JsonRead<W>, &Inputs<W>::canonical_text);
  Register<W>("plain_json_read", &PlainJsonRead<W>, &Inputs<W>::plain_text);
  Register<W>("plain_json_read_native", &PlainJsonReadNative<W>, &Inputs<W>::plain_text);
  Register<W>("boost_serialize", &BoostSerialize<W>, &Inputs<W>::boost_text);
  Register<W>("boost_parse", &BoostParse<W>, &Inputs<W>::boost_text);
  Register<W>("boost_parse_value_to", &BoostParseValueTo<W>, &Inputs<W>::boost_text);
  return 0;
}

int const kRegistered = RegisterWorkload<ComplianceWorkload>() + RegisterWorkload<SpecWorkload>();

// Building the definitions of the largest operation, scan$task: its input (the scan
// specification) and its output (the scan result), as the provider does on every request.
bool BuildScanDefinitions() {
  using ScanMethod = Sd::SoftwareSvc::ScanMethod;
  return ScanMethod::inputDef() != nullptr && ScanMethod::outputDef() != nullptr;
}

void ScanDefinitions(benchmark::State& state) {
  HeapUse const heap = MeasureHeap(BuildScanDefinitions);
  for (auto _ : state) benchmark::DoNotOptimize(BuildScanDefinitions());
  state.counters["allocs"] = static_cast<double>(heap.allocations);
  state.counters["peak_bytes"] = static_cast<double>(heap.peak_bytes);
}
BENCHMARK(ScanDefinitions)->Name("Definitions/scan")->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace HyrnBench
