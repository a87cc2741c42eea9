// Reverses the members of JSON objects, keeping numbers as written.
#include "json_reorder.h"

#include <cstdint>
#include <utility>
#include <vector>

#include <boost/json/basic_parser_impl.hpp>
#include <boost/json/serialize.hpp>

namespace Hyrn::Fuzz {
namespace {

namespace json = boost::json;

// A document as text pieces: a scalar's JSON text, or a container's children. A member of an
// object keeps its key, already quoted.
struct Node {
  bool object = false;
  bool container = false;
  std::string key;
  std::string text;
  std::vector<Node> children;
};

std::string Quoted(json::string_view text) { return json::serialize(text); }

class Builder {
 public:
  static constexpr std::size_t max_object_size = json::object::max_size();
  static constexpr std::size_t max_array_size = json::array::max_size();
  static constexpr std::size_t max_key_size = json::string::max_size();
  static constexpr std::size_t max_string_size = json::string::max_size();

  Node& root() { return root_; }

  bool on_document_begin(json::error_code& /*ec*/) { return true; }
  bool on_document_end(json::error_code& /*ec*/) { return true; }
  bool on_object_begin(json::error_code& /*ec*/) { return Open(true); }
  bool on_object_end(std::size_t /*n*/, json::error_code& /*ec*/) { return Close(); }
  bool on_array_begin(json::error_code& /*ec*/) { return Open(false); }
  bool on_array_end(std::size_t /*n*/, json::error_code& /*ec*/) { return Close(); }
  bool on_key_part(json::string_view s, std::size_t /*n*/, json::error_code& /*ec*/) {
    return part_.append(s.data(), s.size()), true;
  }
  bool on_key(json::string_view s, std::size_t /*n*/, json::error_code& /*ec*/) {
    part_.append(s.data(), s.size());
    key_ = Quoted(part_);
    return part_.clear(), true;
  }
  bool on_string_part(json::string_view s, std::size_t /*n*/, json::error_code& /*ec*/) {
    return part_.append(s.data(), s.size()), true;
  }
  bool on_string(json::string_view s, std::size_t /*n*/, json::error_code& /*ec*/) {
    part_.append(s.data(), s.size());
    std::string text = Quoted(part_);
    part_.clear();
    return Scalar(std::move(text));
  }
  bool on_number_part(json::string_view s, json::error_code& /*ec*/) {
    return part_.append(s.data(), s.size()), true;
  }
  bool on_int64(std::int64_t /*i*/, json::string_view s, json::error_code& /*ec*/) {
    return Number(s);
  }
  bool on_uint64(std::uint64_t /*u*/, json::string_view s, json::error_code& /*ec*/) {
    return Number(s);
  }
  bool on_double(double /*d*/, json::string_view s, json::error_code& /*ec*/) { return Number(s); }
  bool on_bool(bool b, json::error_code& /*ec*/) { return Scalar(b ? "true" : "false"); }
  bool on_null(json::error_code& /*ec*/) { return Scalar("null"); }
  bool on_comment_part(json::string_view /*s*/, json::error_code& /*ec*/) { return true; }
  bool on_comment(json::string_view /*s*/, json::error_code& /*ec*/) { return true; }

 private:
  bool Open(bool object) {
    Node node;
    node.object = object;
    node.container = true;
    node.key = std::move(key_);
    open_.push_back(std::move(node));
    return true;
  }
  bool Close() {
    Node node = std::move(open_.back());
    open_.pop_back();
    return Attach(std::move(node));
  }
  bool Number(json::string_view s) {
    part_.append(s.data(), s.size());
    std::string text = std::move(part_);
    part_.clear();
    return Scalar(std::move(text));
  }
  bool Scalar(std::string text) {
    Node node;
    node.key = std::move(key_);
    node.text = std::move(text);
    return Attach(std::move(node));
  }
  bool Attach(Node node) {
    if (open_.empty()) {
      root_ = std::move(node);
    } else {
      open_.back().children.push_back(std::move(node));
    }
    key_.clear();
    return true;
  }

  std::vector<Node> open_;
  Node root_;
  std::string key_;
  std::string part_;
};

void Write(Node const& node, std::string& out) {
  if (!node.container) {
    out += node.text;
    return;
  }
  out += node.object ? '{' : '[';
  bool first = true;
  auto const write_child = [&](Node const& child) {
    if (!first) out += ',';
    first = false;
    if (node.object) out += child.key + ":";
    Write(child, out);
  };
  if (node.object) {
    for (auto child = node.children.rbegin(); child != node.children.rend(); ++child) {
      write_child(*child);
    }
  } else {
    for (Node const& child : node.children) write_child(child);
  }
  out += node.object ? '}' : ']';
}

}  // namespace

std::string ReverseMembers(boost::string_view json) {
  json::parse_options options;
  options.max_depth = 4096;
  json::basic_parser<Builder> parser(options);
  json::error_code error;
  std::size_t const used = parser.write_some(false, json.data(), json.size(), error);
  if (error || used != json.size()) return {};
  std::string out;
  Write(parser.handler().root(), out);
  return out;
}

}  // namespace Hyrn::Fuzz
