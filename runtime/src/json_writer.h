// A writer of JSON text that never recurses: an item's opening text is written at once and
// what follows it (its children, separators and closing text) is queued on an explicit stack.
// Queued text refers to storage that outlives the run (literals, the keys of the tree being
// written), so a step is a few words and queuing allocates nothing once the stack has grown.
#pragma once

#include <deque>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <boost/utility/string_view.hpp>

namespace Ormi::Data::Detail {

// Appends `text` as a JSON string, quoted and escaped as Boost.JSON's serializer does: `"` and
// `\`, the control characters as \b \t \n \f \r or \u00xx, every other byte as it is.
void AppendQuotedJson(std::string& out, boost::string_view text);

// `Item` is what the caller expands: a node, or a node with its context. Queued steps run last
// in, first out, so an expansion queues its closing text first and its first child last.
template <typename Item>
class StepWriter {
 public:
  StepWriter() = default;
  // Writes after the text already in `out`, using its capacity.
  explicit StepWriter(std::string out) : out_(std::move(out)) {}

  // Expands `root` and everything queued from it: `expand(item)` writes and queues, and
  // returns false to stop. False when an expansion stopped.
  template <typename Expand>
  bool Run(Item root, Expand&& expand) {
    Queue(std::move(root));
    bool finished = true;
    while (finished && !steps_.empty()) {
      Step const step = std::move(steps_.back());
      steps_.pop_back();
      finished = Perform(step, expand);
    }
    steps_.clear();
    kept_.clear();
    return finished;
  }

  void Write(boost::string_view text) { out_.append(text.data(), text.size()); }
  void WriteQuoted(boost::string_view text) { AppendQuotedJson(out_, text); }
  void Queue(Item item) { steps_.push_back({Kind::kItem, std::move(item), {}}); }
  // Text that outlives the run: a literal, or text given to Keep.
  void QueueText(boost::string_view lasting) { steps_.push_back({Kind::kText, Item{}, lasting}); }
  // A string would not outlive the run: Keep it first.
  template <typename S, typename = std::enable_if_t<std::is_same_v<std::decay_t<S>, std::string>>>
  void QueueText(S&& text) = delete;
  // Text made for this run, kept by the writer until the run ends.
  boost::string_view Keep(std::string text) { return kept_.emplace_back(std::move(text)); }
  // `"key":`, after a comma unless `first`; the key must outlive the run.
  void QueueKey(boost::string_view key, bool first) {
    steps_.push_back({first ? Kind::kKey : Kind::kCommaKey, Item{}, key});
  }
  // The text written so far; the writer is empty afterwards.
  std::string Take() { return std::exchange(out_, {}); }

 private:
  enum class Kind : unsigned char { kItem, kText, kKey, kCommaKey };
  struct Step {
    Kind kind;
    Item item;
    boost::string_view text;
  };

  template <typename Expand>
  bool Perform(Step const& step, Expand& expand) {
    switch (step.kind) {
      case Kind::kItem:
        return expand(step.item);
      case Kind::kCommaKey:
        out_ += ',';
        [[fallthrough]];
      case Kind::kKey:
        WriteQuoted(step.text);
        out_ += ':';
        return true;
      case Kind::kText:
        Write(step.text);
        return true;
    }
    return true;
  }

  std::vector<Step> steps_;
  std::deque<std::string> kept_;  // the texts of Keep, whose addresses stay
  std::string out_;
};

}  // namespace Ormi::Data::Detail
