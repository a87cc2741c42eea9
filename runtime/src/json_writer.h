// A writer of JSON text that never recurses: an item's opening text is written at once and
// what follows it (its children, separators and closing text) is queued on an explicit stack.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <boost/utility/string_view.hpp>

namespace Ormi::Data::Detail {

// `Item` is what the caller expands: a node, or a node with its context. Queued steps run last
// in, first out, so an expansion queues its closing text first and its first child last.
template <typename Item>
class StepWriter {
 public:
  // Expands `root` and everything queued from it: `expand(item)` writes and queues, and
  // returns false to stop. False when an expansion stopped.
  template <typename Expand>
  bool Run(Item root, Expand&& expand) {
    Queue(std::move(root));
    while (!steps_.empty()) {
      Step step = std::move(steps_.back());
      steps_.pop_back();
      if (step.is_item) {
        if (!expand(step.item)) return false;
      } else if (step.literal) {
        out_ += step.literal;
      } else {
        out_ += step.text;
      }
    }
    return true;
  }

  void Write(boost::string_view text) { out_.append(text.data(), text.size()); }
  void Queue(Item item) { steps_.push_back({true, std::move(item), nullptr, {}}); }
  void QueueText(char const* literal) { steps_.push_back({false, Item{}, literal, {}}); }
  void QueueText(std::string text) { steps_.push_back({false, Item{}, nullptr, std::move(text)}); }
  // The text written so far; the writer is empty afterwards.
  std::string Take() { return std::exchange(out_, {}); }

 private:
  struct Step {
    bool is_item = false;
    Item item{};
    char const* literal = nullptr;  // text to write, or null for `text`
    std::string text;
  };

  std::vector<Step> steps_;
  std::string out_;
};

}  // namespace Ormi::Data::Detail
