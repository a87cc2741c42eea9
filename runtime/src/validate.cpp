// Validation of a value tree against a definition, walked with an explicit stack.
#include "ormi/data/definition.h"

#include <algorithm>
#include <vector>

#include "plain_json_rules.h"
#include "validation.h"
#include "value_path.h"

namespace Ormi::Data {
namespace {

constexpr std::size_t kMaxMessages = 100;  // bounds the work spent on a badly broken value
// The work stack a thread keeps between validations, in items (32 bytes each); a larger one
// is given back after use.
constexpr std::size_t kKeptStack = 16384;

// A value to check against a definition, or (with `problem` set) a problem to report in
// its turn, so that problems come out in the order of the value.
struct Item {
  DataDefinition const* definition;
  DataValue const* value;
  std::size_t path;
  char const* problem;
};

std::string Quoted(std::string const& text) { return "\"" + text + "\""; }

std::string Expected(DataDefinition const& definition) {
  switch (definition.kind()) {
    case DefinitionKind::kScalar:
      return KindPhrase(static_cast<ScalarDefinition const&>(definition).valueKind());
    case DefinitionKind::kOptional:
      return KindPhrase(ValueKind::kOptional);
    case DefinitionKind::kList:
      return KindPhrase(ValueKind::kList);
    case DefinitionKind::kStructure:
      return "structure " + Quoted(static_cast<StructDefinition const&>(definition).name());
    case DefinitionKind::kStructRef:
      return "structure " + Quoted(static_cast<StructRefDefinition const&>(definition).name());
    case DefinitionKind::kDynamicStructure:
      return KindPhrase(ValueKind::kStructure);
  }
  return "a value";
}

std::string Got(DataValue const& value) {
  switch (value.kind()) {
    case ValueKind::kStructure:
      return "structure " + Quoted(static_cast<CompoundValue const&>(value).name());
    case ValueKind::kError:
      return "error " + Quoted(static_cast<CompoundValue const&>(value).name());
    default:
      return KindPhrase(value.kind());
  }
}

// Walks a value against a definition. The quick walk stops at the first problem and neither
// names paths nor writes messages, so that a value that passes allocates nothing; the
// explaining walk reports every problem (up to kMaxMessages) at its path.
class Validator {
 public:
  // The quick walk.
  explicit Validator(std::vector<Item>& pending) : pending_(pending), limit_(1) {}
  // The explaining walk. Path names point into the definition or the value, which outlive
  // the validation.
  Validator(std::vector<Item>& pending, std::list<BaseMessage>& messages, std::string const& root)
      : pending_(pending), limit_(kMaxMessages), messages_(&messages), paths_(root) {}

  bool Run(DataDefinition const& definition, DataValue const& value) {
    pending_.clear();
    Push(&definition, &value, 0);
    while (!pending_.empty() && count_ < limit_) {
      // Read a field at a time, as Push wrote it: reading the item whole takes wider loads than
      // the stores that wrote it, and stalls until they have retired.
      Item const& top = pending_.back();
      DataDefinition const* const item_definition = top.definition;
      DataValue const* const item_value = top.value;
      std::size_t const path = top.path;
      char const* const problem = top.problem;
      pending_.pop_back();
      if (problem) {
        Report(path, problem);
      } else {
        Check(*item_definition, *item_value, path);
      }
    }
    return count_ == 0;
  }

 private:
  void Check(DataDefinition const& definition, DataValue const& value, std::size_t path) {
    DefinitionKind const kind = definition.kind();
    StructDefinition const* structure = nullptr;
    if (!Detail::Matches(definition, kind, value, value.kind(), &structure)) {
      return Mismatch(definition, value, path);
    }
    switch (kind) {
      case DefinitionKind::kOptional: {
        auto const& optional = static_cast<OptionalValue const&>(value);
        if (optional.isSet()) {
          Push(static_cast<OptionalDefinition const&>(definition).element().get(),
               optional.value().get(), path);
        }
        return;
      }
      case DefinitionKind::kList:
        return CheckElements(static_cast<ListDefinition const&>(definition),
                             static_cast<ListValue const&>(value), path);
      case DefinitionKind::kStructure:
      case DefinitionKind::kStructRef:
        return CheckFields(*structure, static_cast<CompoundValue const&>(value), path);
      default:
        return;
    }
  }

  void CheckElements(ListDefinition const& definition, ListValue const& list, std::size_t path) {
    auto const& elements = list.elements();
    // Pushed last to first, so that problems are reported in element order.
    for (std::size_t i = elements.size(); i-- > 0;) {
      std::size_t const child = ElementPath(path, elements[i].get(), i);
      Push(definition.element().get(), elements[i].get(), child);
    }
  }

  void CheckFields(StructDefinition const& definition, CompoundValue const& compound,
                   std::size_t path) {
    bool const is_entry = paths_.IsKey(path) && Detail::IsMapEntryName(compound.name());
    // Declared and present fields are both in name order: one walk from the last pairs them.
    // A field paired is passed, so a value holding just the declared fields costs one
    // comparison per field.
    auto present = compound.fields().rbegin();
    auto const none = compound.fields().rend();
    auto const& declared = definition.declared();
    for (auto field = declared.rbegin(); field != declared.rend(); ++field) {
      boost::string_view const name(field->name.data(), field->name.size());
      if (present == none || !Detail::SameText(present->first, field->name)) {
        while (present != none && field->name < present->first) ++present;
        if (present == none || !Detail::SameText(present->first, field->name)) {
          Add(nullptr, nullptr, paths_.Field(path, name), "missing field");
          continue;
        }
      }
      // The value of a map entry is named by the entry's key alone.
      std::size_t const child =
          is_entry && field->name == MapEntry::kValue ? path : paths_.Field(path, name);
      Push(field->definition, (present++)->second.get(), child);
    }
  }

  void Push(DataDefinition const* definition, DataValue const* value, std::size_t path) {
    char const* problem = !definition ? "no definition" : !value ? "missing value" : nullptr;
    // The nodes of a tree lie apart on the heap: a pushed value's memory is asked for now,
    // while the parts pushed after it are checked.
    Detail::Prefetch(value);
    Add(definition, value, path, problem);
  }

  // Written in place a field at a time; see Run.
  void Add(DataDefinition const* definition, DataValue const* value, std::size_t path,
           char const* problem) {
    Item& item = pending_.emplace_back();
    item.definition = definition;
    item.value = value;
    item.path = path;
    item.problem = problem;
  }

  // What is wrong with a value that does not match its definition.
  void Mismatch(DataDefinition const& definition, DataValue const& value, std::size_t path) {
    if (definition.kind() == DefinitionKind::kStructRef) {
      auto const& reference = static_cast<StructRefDefinition const&>(definition);
      if (!reference.target()) {
        return Report(path, "structure reference " + Quoted(reference.name()) + " has no target");
      }
      return Mismatch(*reference.target(), value, path);
    }
    if (Detail::ScalarKindOf(definition) == ValueKind::kDateTime) {
      if (value.kind() == ValueKind::kString) {
        return Report(path, "expected a date-time, got the string " +
                                Quoted(static_cast<StringValue const&>(value).value()));
      }
      return Report(path, "expected a date-time, got " + Got(value));
    }
    Report(path, "expected " + Expected(definition) + ", got " + Got(value));
  }

  // Paths are named in the explaining walk only.
  std::size_t ElementPath(std::size_t parent, DataValue const* element, std::size_t index) {
    if (!paths_.Keeps()) return Detail::ValuePaths::kRoot;
    std::string const* key = element ? Detail::PartsOfMapEntry(*element).key : nullptr;
    return key ? paths_.Key(parent, *key) : paths_.Index(parent, index);
  }

  void Report(std::size_t path, std::string const& problem) {
    if (count_ >= limit_) return;
    ++count_;
    if (!messages_) return;
    std::string const text = paths_.Text(path) + ": " + problem;
    messages_->push_back(Message<CoreTag>(MessageId::kValidationFailed, text));
  }

  std::vector<Item>& pending_;
  std::size_t const limit_;
  std::list<BaseMessage>* const messages_ = nullptr;
  Detail::ValuePaths paths_ = Detail::ValuePaths::None();
  std::size_t count_ = 0;
};

// The calling thread's work stack, kept between validations.
std::vector<Item>& ThreadStack() {
  thread_local std::vector<Item> stack;
  return stack;
}

// Gives back a stack that a large value grew beyond what a thread keeps.
void TrimStack(std::vector<Item>& stack) {
  if (stack.capacity() > kKeptStack) std::vector<Item>().swap(stack);
}

}  // namespace

namespace Detail {

bool IsDateTimeText(DataValue const& value) {
  DateTime ignored;
  return DateTime::Parse(static_cast<StringValue const&>(value).value(), &ignored);
}

}  // namespace Detail

// A value that passes is walked once, quickly; one that fails is walked again to explain.
bool Validate(DataDefinition const& definition, DataValue const& value,
              std::list<BaseMessage>& messages, std::string const& root) {
  if (Detail::Fits(definition, value)) return true;
  std::vector<Item>& stack = ThreadStack();
  bool const valid = Validator(stack, messages, root).Run(definition, value);
  TrimStack(stack);
  return valid;
}

bool Detail::Fits(DataDefinition const& definition, DataValue const& value) {
  std::vector<Item>& stack = ThreadStack();
  bool const valid = Validator(stack).Run(definition, value);
  TrimStack(stack);
  return valid;
}

}  // namespace Ormi::Data
