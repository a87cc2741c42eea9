#include "ormi/message.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace Ormi {
namespace {

std::string Format(std::string const& text, std::vector<std::string> const& args) {
  return Detail::Format(text, args.data(), args.size());
}

TEST(Formatter, SelectsArgumentsByNumberOrOrder) {
  EXPECT_EQ(Format("no specifiers", {"a"}), "no specifiers");
  EXPECT_EQ(Format("{2}-{1}-{2}", {"a", "b"}), "b-a-b");
  EXPECT_EQ(Format("{}+{}", {"a", "b"}), "a+b");
  EXPECT_EQ(Format("{0} and {}", {"a", "b"}), "a and b");
  EXPECT_EQ(Format("{1}{}", {"a", "b"}), "ab");  // {} takes the count of handled specifiers
  EXPECT_EQ(Format("{name}", {"a"}), "a");       // no number: the next argument
  EXPECT_EQ(Format("{{}}", {"a"}), "{}");
  EXPECT_EQ(Format("{{{1}}}", {"a"}), "{a}");
  EXPECT_EQ(Format("x}y}z", {"a"}), "xaz");  // a lone "}" opens a specifier too
}

TEST(Formatter, StopsAtAMissingArgument) {
  EXPECT_EQ(Format("[{}] [{}] tail", {"a"}), "[a] [");
  EXPECT_EQ(Format("before {3} after", {"a", "b"}), "before ");
  EXPECT_EQ(Format("x {1}", {}), "x ");
  EXPECT_EQ(Format("{99999999999999999999999} rest", {"a"}), "");
  EXPECT_EQ(Format("open {1", {"a"}), "open ");
}

TEST(Formatter, AppliesWidthAndPrecisionSpecs) {
  EXPECT_EQ(Format("{1:4}", {"abc"}), " abc");
  EXPECT_EQ(Format("{1:-5}|", {"abc"}), "abc  |");
  EXPECT_EQ(Format("{1:.2}", {"abc"}), "ab");
  EXPECT_EQ(Format("{1:5.1}", {"abc"}), "    a");
  EXPECT_EQ(Format("{1:--5}|", {"abc"}), "abc  |");
  EXPECT_EQ(Format("{1:s}", {"abc"}), "abc");
  EXPECT_EQ(Format("{:3}{:3}", {"a", "b"}), "  a  b");
  // A huge width is bounded rather than allocated.
  EXPECT_EQ(Format("{1:999999999999}", {"a"}).size(), 4096u);
}

TEST(Formatter, WritesThePlainArgumentForAnyOtherSpec) {
  for (char const* spec : {"n", "*", "ls", "5n", "10d", "%", "x", "*.*", "-*", "1$", ".5n"}) {
    EXPECT_EQ(Format(std::string("{1:") + spec + "}", {"abc"}), "abc") << spec;
  }
}

TEST(Messages, MakeMessageFormatsTextAndKeepsArguments) {
  BaseMessage const message = MakeMessage("a.b", "{2} then {1:3}", "x", std::string("yz"));
  EXPECT_EQ(message.id, "a.b");
  EXPECT_EQ(message.defaultMessage, "yz then   x");
  EXPECT_EQ(message.args, (std::list<std::string>{"x", "yz"}));
  BaseMessage const plain = MakeMessage("c", "no specifiers", "{1}");
  EXPECT_EQ(plain.defaultMessage, "no specifiers");
  EXPECT_EQ(plain.args, std::list<std::string>{"{1}"});
}

TEST(Messages, CatalogueGivesTextsWithMatchingPlaceholders) {
  EXPECT_EQ(Message<CoreTag>::DefaultMessageForId("no.such.id"), "Unknown message id.");
  Message<CoreTag> const unformatted("ormi.data.unset.field");
  EXPECT_EQ(unformatted.defaultMessage, "Field {1} is not set.");
  EXPECT_TRUE(unformatted.args.empty());
  EXPECT_EQ(
      Message<CoreTag>("ormi.data.unset.field", std::string("DynamicStructure")).defaultMessage,
      "Field DynamicStructure is not set.");
  // Every id has its own text, and each text uses exactly its placeholders: formatting
  // with the expected number of arguments writes each one and reaches the end.
  std::pair<char const*, int> const ids[] = {{"ormi.data.unset.field", 1},
                                             {"ormi.data.unset.non.optional.field", 1},
                                             {"ormi.data.invalid.type", 0},
                                             {"ormi.data.bad.cast1", 1},
                                             {"ormi.data.bad.cast", 2},
                                             {"ormi.provider.method.signal.not.connected", 0},
                                             {"ormi.provider.error.undeclared", 1},
                                             {"ormi.provider.output.invalid", 1},
                                             {"ormi.connector.service.not.found", 1},
                                             {"ormi.connector.method.not.found", 2},
                                             {"ormi.connector.no.channel", 0},
                                             {"ormi.data.validation.failed", 1},
                                             {"ormi.data.field.not.found", 2},
                                             {"ormi.data.value.type.mismatch", 2},
                                             {"ormi.data.json.malformed", 2},
                                             {"ormi.data.json.too.deep", 2},
                                             {"ormi.data.json.too.large", 2},
                                             {"ormi.data.json.invalid", 2}};
  for (auto const& id : ids) {
    std::string const text = Message<CoreTag>::DefaultMessageForId(id.first);
    EXPECT_NE(text, "Unknown message id.") << id.first;
    std::vector<std::string> args;
    args.reserve(id.second);
    for (int i = 0; i < id.second; ++i) args.push_back("<ARG" + std::to_string(i + 1) + ">");
    std::string const formatted = Format(text + "<END>", args);
    for (auto const& arg : args) EXPECT_NE(formatted.find(arg), std::string::npos) << id.first;
    EXPECT_EQ(formatted.find('{'), std::string::npos) << id.first;
    EXPECT_EQ(formatted.substr(formatted.size() - 5), "<END>") << id.first;
  }
}

TEST(FormatCategory, NamesItsCodesAndIsOneInstance) {
  std::error_category const& category = GetFormatCategory();
  EXPECT_STREQ(category.name(), "Ormi Format Error");
  EXPECT_EQ(category.message(1), "Named argument not found.");
  EXPECT_EQ(category.message(2), "Empty Named specifier found.");
  EXPECT_EQ(category.message(3), "More specifiers than expected.");
  EXPECT_EQ(category.message(0), "format error");
  EXPECT_EQ(category.message(4), "format error");
  std::error_category const* other = nullptr;
  std::thread([&] { other = &GetFormatCategory(); }).join();
  EXPECT_EQ(other, &category);
  EXPECT_EQ(std::error_code(1, category).message(), "Named argument not found.");
}

}  // namespace
}  // namespace Ormi
