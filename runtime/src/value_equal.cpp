// Deep equality of value trees, walked with an explicit stack.
#include "ormi/data/value.h"

#include <cmath>
#include <utility>
#include <vector>

namespace Ormi::Data {
namespace {

using Pair = std::pair<DataValue const*, DataValue const*>;

template <typename V>
bool SameScalar(DataValue const& a, DataValue const& b) {
  return static_cast<V const&>(a).value() == static_cast<V const&>(b).value();
}

bool SameDouble(DataValue const& a, DataValue const& b) {
  double const x = static_cast<DoubleValue const&>(a).value();
  double const y = static_cast<DoubleValue const&>(b).value();
  return x == y || (std::isnan(x) && std::isnan(y));
}

// Queues a pair of children; false when exactly one of them is missing.
bool Push(ValuePtr const& a, ValuePtr const& b, std::vector<Pair>& pending) {
  if (!a || !b) return !a && !b;
  pending.emplace_back(a.get(), b.get());
  return true;
}

bool SameOptional(OptionalValue const& a, OptionalValue const& b, std::vector<Pair>& pending) {
  return a.isSet() == b.isSet() && Push(a.value(), b.value(), pending);
}

bool SameList(ListValue const& a, ListValue const& b, std::vector<Pair>& pending) {
  if (a.listKind() != b.listKind() || a.elements().size() != b.elements().size()) return false;
  for (std::size_t i = 0; i < a.elements().size(); ++i) {
    if (!Push(a.elements()[i], b.elements()[i], pending)) return false;
  }
  return true;
}

bool SameCompound(CompoundValue const& a, CompoundValue const& b, std::vector<Pair>& pending) {
  if (a.name() != b.name() || a.fields().size() != b.fields().size()) return false;
  for (auto x = a.fields().begin(), y = b.fields().begin(); x != a.fields().end(); ++x, ++y) {
    if (x->first != y->first || !Push(x->second, y->second, pending)) return false;
  }
  return true;
}

// Compares one pair of nodes and queues their children.
bool SameNode(DataValue const& a, DataValue const& b, std::vector<Pair>& pending) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case ValueKind::kVoid:
      return true;
    case ValueKind::kInteger:
      return SameScalar<IntegerValue>(a, b);
    case ValueKind::kDouble:
      return SameDouble(a, b);
    case ValueKind::kBoolean:
      return SameScalar<BooleanValue>(a, b);
    case ValueKind::kBlob:
      return SameScalar<BlobValue>(a, b);
    case ValueKind::kString:
    case ValueKind::kDateTime:
      return SameScalar<StringValue>(a, b);
    case ValueKind::kSecret:
      return SameScalar<SecretValue>(a, b);
    case ValueKind::kOptional:
      return SameOptional(static_cast<OptionalValue const&>(a),
                          static_cast<OptionalValue const&>(b), pending);
    case ValueKind::kList:
      return SameList(static_cast<ListValue const&>(a), static_cast<ListValue const&>(b), pending);
    case ValueKind::kStructure:
    case ValueKind::kError:
      return SameCompound(static_cast<CompoundValue const&>(a),
                          static_cast<CompoundValue const&>(b), pending);
    default:
      return &a == &b;
  }
}

}  // namespace

bool Equal(DataValue const& a, DataValue const& b) {
  std::vector<Pair> pending{{&a, &b}};
  while (!pending.empty()) {
    Pair const next = pending.back();
    pending.pop_back();
    if (next.first != next.second && !SameNode(*next.first, *next.second, pending)) return false;
  }
  return true;
}

}  // namespace Ormi::Data
