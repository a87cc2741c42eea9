#include "ormi/data/json.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <boost/json.hpp>

#include "sample_values.h"

namespace Ormi::Data {
namespace {

// Reads `text`; returns the value, or null with the messages' texts in `problems`.
ValuePtr Read(std::string const& text, std::string* problems = nullptr,
              JsonLimits const& limits = {}) {
  std::list<BaseMessage> messages;
  ValuePtr value;
  bool const ok = FromJson(text, &value, messages, limits);
  EXPECT_EQ(ok, messages.empty());
  for (auto const& message : messages) {
    if (problems) *problems += message.id + ": " + message.defaultMessage + "\n";
  }
  return ok ? value : nullptr;
}

TEST(Json, EveryKindRoundTripsAndIsAppendedAfterABuffersText) {
  for (auto const& sample : Testing::SampleValues()) {
    std::string const text = ToJson(*sample.second);
    std::string problems;
    ValuePtr const back = Read(text, &problems);
    ASSERT_NE(back, nullptr) << sample.first << ": " << text << "\n" << problems;
    EXPECT_TRUE(Equal(*sample.second, *back)) << sample.first << ": " << text;
    EXPECT_EQ(ToJson(*back), text) << sample.first;
    std::string appended = "[";  // a buffer in use: the text goes after what it holds
    AppendJson(*back, &appended);
    EXPECT_EQ(appended, "[" + text) << sample.first;
  }
}

TEST(Json, WritesTheDocumentedForm) {
  auto const samples = Testing::SampleValues();
  std::map<std::string, std::string> text;
  for (auto const& sample : samples) text[sample.first] = ToJson(*sample.second);
  EXPECT_EQ(text["void"], R"({"$void":null})");
  EXPECT_EQ(text["integer"], "-42");
  EXPECT_EQ(text["double_whole"], R"({"$double":1E0})");
  EXPECT_EQ(text["double_nan"], R"({"$double":"NaN"})");
  EXPECT_EQ(text["boolean"], "true");
  EXPECT_EQ(text["blob"], R"({"$blob":"AP8QIGFi"})");
  EXPECT_EQ(text["string"], R"("line\n\"quoted\" \\ tab\t é")");
  EXPECT_EQ(text["date_time"], R"({"$datetime":"2026-12-06T08:35:27.123Z"})");
  EXPECT_EQ(text["secret"], R"({"$secret":"hunter2"})");
  EXPECT_EQ(text["optional_unset"], R"({"$optional":null})");
  EXPECT_EQ(text["optional_void"], R"({"$optional":{"$void":null}})");
  EXPECT_EQ(text["list_other_kind"], R"({"$list":[],"kind":7})");
  EXPECT_EQ(text["nested"],
            R"({"$struct":"com.norval.hyrn.host_settings.config_spec","fields":{)"
            R"("components":{"$map":[)"
            R"({"$struct":"map-entry","fields":{"key":"c1","value":{"$optional":"v1"}}},)"
            R"({"$struct":"map-entry","fields":{"key":"c2","value":{"$optional":null}}}]},)"
            R"("empty":{"$struct":"emptyDynStr","fields":{}},"enabled":false,"tags":["a",""]}})");
  EXPECT_EQ(text["error"].rfind(R"({"$error":"com.norval.ormi.std.errors.not_found","fields")", 0),
            0u);
}

// Strings and field names are escaped exactly as Boost.JSON's serializer escapes them: every
// byte value alone, at every place in strings of lengths around the ways they are scanned
// (short ones copied and tested in blocks of sixteen; others sixteen and eight bytes at a
// time, then byte by byte), and all of them in one string between plain text.
TEST(Json, EveryByteIsEscapedAsBoostJsonDoes) {
  auto const quoted = [](std::string const& text) {
    return boost::json::serialize(boost::json::string_view(text));
  };
  std::string all = "start";
  for (int byte = 0; byte < 256; ++byte) {
    std::string const one(1, static_cast<char>(byte));
    all += one;
    EXPECT_EQ(ToJson(*StringValue::GetInstance(one)), quoted(one)) << "byte " << byte;
    for (char const filler : {'!', '\xff'}) {
      for (std::size_t const length : {16U, 17U, 32U, 33U, 41U}) {
        for (std::size_t at = 0; at < length; ++at) {
          std::string const among =
              std::string(at, filler) + one + std::string(length - 1 - at, filler);
          ASSERT_EQ(ToJson(*StringValue::GetInstance(among)), quoted(among))
              << "byte " << byte << " at " << at << " of " << length;
        }
      }
    }
  }
  all += "end";
  EXPECT_EQ(ToJson(*StringValue::GetInstance(all)), quoted(all));
  auto structure = StructValue::GetInstance(all);
  structure->SetField(all, BooleanValue::GetInstance(true));
  EXPECT_EQ(ToJson(*structure),
            "{\"$struct\":" + quoted(all) + ",\"fields\":{" + quoted(all) + ":true}}");
}

// Appends to `list`, and their text to `elements`, short pieces that fill a buffer of a few KiB
// to its last byte, numbers of every length (1 to 20 bytes), and strings of 1 to 35 bytes,
// some escaped, that meet the buffer's end at every offset.
void AppendShortPieces(ListValue& list, std::string* elements) {
  for (int small = 0; small < 3000; ++small) {
    list.Append(IntegerValue::GetInstance(small));
    *elements += "," + std::to_string(small);
  }
  for (std::int64_t number = 1; number < INT64_MAX / 10; number = number * 10 + 3) {
    for (std::int64_t const signed_number : {number, -number}) {
      list.Append(IntegerValue::GetInstance(signed_number));
      *elements += "," + std::to_string(signed_number);
    }
  }
  for (std::size_t small = 0; small < 2000; ++small) {
    std::string text(1 + small % 35, 'x');
    if (small % 3 == 0) text.back() = '"';
    list.Append(StringValue::GetInstance(text));
    *elements += "," + boost::json::serialize(boost::json::string_view(text));
  }
}

// Text is gathered in a buffer of a few KiB before it reaches the string: strings and names of
// every size around the buffer's and the longest escaping's bounds, plain or escaped at either
// end, short pieces that fill it to its last byte, numbers of every length, and short strings
// that meet its end at every offset, come out whole and in order, after a buffer's own text.
TEST(Json, TextOfEverySizeIsWrittenWholeAcrossTheBuffer) {
  auto const quoted = [](std::string const& text) {
    return boost::json::serialize(boost::json::string_view(text));
  };
  std::vector<std::size_t> sizes;
  for (std::size_t bound : {8U, 682U, 4096U, 8192U}) {
    for (std::size_t size = bound - 3; size <= bound + 3; ++size) sizes.push_back(size);
  }
  sizes.push_back(0);
  sizes.push_back(20000);
  auto list = ListValue::GetInstance();
  auto structure = StructValue::GetInstance("sizes");
  std::string elements;
  std::string fields;
  int index = 0;
  for (std::size_t const size : sizes) {
    for (std::size_t shift = 0; shift < 3; ++shift, ++index) {
      std::string text(size, static_cast<char>('a' + shift));
      if (size > 0 && shift == 1) text.front() = '\n';
      if (size > 0 && shift == 2) text.back() = '\x01';
      list->Append(StringValue::GetInstance(text));
      elements += (elements.empty() ? "" : ",") + quoted(text);
      std::string const name = std::to_string(1000 + index) + text;  // in name order
      structure->SetField(name, IntegerValue::GetInstance(index));
      fields += (fields.empty() ? "" : ",") + quoted(name) + ":" + std::to_string(index);
    }
  }
  AppendShortPieces(*list, &elements);
  EXPECT_EQ(ToJson(*list), "[" + elements + "]");
  // A smaller text after a large one (both past the staging buffer) is handed out at its own
  // size, and the large one is written whole again.
  std::string const smaller = ToJson(*StringValue::GetInstance(std::string(5000, 's')));
  EXPECT_EQ(smaller, "\"" + std::string(5000, 's') + "\"");
  EXPECT_LT(smaller.capacity(), 6000U);
  EXPECT_EQ(ToJson(*list), "[" + elements + "]");
  // A text too large for the thread to keep is handed out whole, and the texts after it are
  // written as before.
  std::string const huge(std::size_t{5} << 20U, 'h');
  EXPECT_EQ(ToJson(*StringValue::GetInstance(huge)), "\"" + huge + "\"");
  std::string const after = ToJson(*StringValue::GetInstance(std::string(5000, 's')));
  EXPECT_EQ(after, smaller);
  EXPECT_LT(after.capacity(), 6000U);
  std::string appended = "kept";
  AppendJson(*structure, &appended);
  EXPECT_EQ(appended, R"(kept{"$struct":"sizes","fields":{)" + fields + "}}");
}

TEST(Json, ReadsFieldsInAnyOrderAndBlobPadding) {
  ValuePtr const value = Read(R"({"fields":{"b":1,"a":{"$blob":"YQ=="}},"$struct":"s"})");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(ToJson(*value), R"({"$struct":"s","fields":{"a":{"$blob":"YQ=="},"b":1}})");
  ASSERT_NE(Read(R"({"$blob":"YWI="})"), nullptr);
  EXPECT_EQ(static_cast<BlobValue const&>(*Read(R"({"$blob":"YWI="})")).value(), "ab");
  EXPECT_EQ(static_cast<DoubleValue const&>(*Read(R"({"$double":3})")).value(), 3.0);
}

// Text in the order ToJson writes and the same document in other orders, with escapes and
// every tag, read to the same value; the other orders, repeated field names and escaped names
// out of order included.
TEST(Json, EveryOrderReadsToTheValueOfTheWrittenOrder) {
  struct Case {
    char const* written;
    char const* other;
  } const cases[] = {
      {R"({"$struct":"s","fields":{"a":{"$optional":1},"b":[true,"x"],"c":{"$map":[]}}})",
       R"({"fields":{"c":{"$map":[]},"a":{"$optional":1},"b":[true,"x"]},"$struct":"s"})"},
      {R"({"$error":"e","fields":{"data":{"$optional":null},"messages":[]}})",
       R"({"fields":{"messages":[],"data":{"$optional":null}},"$error":"e"})"},
      {"{\"$optional\":{\"$optional\":{\"$struct\":\"in\",\"fields\":{\"z\":2,\"\xc3\xa9\":1}}}}",
       R"({"$optional":{"$optional":{"$struct":"in","fields":{"\u00e9":1,"z":2}}}})"},
      {R"(["a\"b",{"$struct":"k\nl","fields":{"\"q":{"$double":2.5E0},"r":{"$double":"NaN"}}}])",
       R"(["a\"b",{"fields":{"r":{"$double":"NaN"},"\"q":{"$double":2.5}},"$struct":"k\nl"}])"},
      {R"({"$struct":"s","fields":{"a":{"$double":1E0},"b":{"$blob":"YQ=="},"c":{"$void":null}}})",
       R"({"$struct":"s","fields":{"c":{"$void":null},"a":{"$double":1},"b":{"$blob":"YQ=="}}})"},
      {R"({"$struct":"s","fields":{"t":{"$datetime":"2026-12-06T08:35:27.123Z"},"u":{"$secret":"p"}}})",
       R"({"$struct":"s","fields":{"u":{"$secret":"p"},"t":{"$datetime":"2026-12-06T08:35:27.123Z"},"u":{"$secret":"p"}}})"},
      {R"({"$list":[1,{"$map":[]}],"kind":7})", R"({"kind":7,"$list":[1,{"$map":[]}]})"},
  };
  for (auto const& c : cases) {
    std::string problems;
    ValuePtr const written = Read(c.written, &problems);
    ValuePtr const other = Read(c.other, &problems);
    ASSERT_TRUE(written && other) << c.written << "\n" << problems;
    EXPECT_TRUE(Equal(*written, *other)) << c.other;
    EXPECT_EQ(ToJson(*written), c.written);
    EXPECT_EQ(ToJson(*other), c.written);
  }
}

// The nearest double to each text, and the shortest text of each double, read back exactly:
// the parser's own number conversion was one unit in the last place off for these.
TEST(Json, DoublesReadCorrectlyRoundedAndWrittenDoublesReadBack) {
  struct Case {
    char const* text;
    double expected;
  } const cases[] = {
      {R"({"$double":99999999999999999999999999999999999999999999999999999990E0})", 1E56},
      {R"({"$double":9.999999999999999E55})", 9.999999999999999E55},
      {R"({"$double":2.2250738585072014E-308})", 2.2250738585072014E-308},
      {R"({"$double":1.7976931348623157E308})", 1.7976931348623157E308},
      {R"({"$double":-0.1})", -0.1},
  };
  for (auto const& c : cases) {
    ValuePtr const value = Read(c.text);
    ASSERT_NE(value, nullptr) << c.text;
    double const read = static_cast<DoubleValue const&>(*value).value();
    EXPECT_EQ(read, c.expected) << c.text;
    ValuePtr const again = Read(ToJson(*value));
    ASSERT_NE(again, nullptr) << ToJson(*value);
    EXPECT_EQ(static_cast<DoubleValue const&>(*again).value(), read) << ToJson(*value);
  }
}

TEST(Json, MalformedTextIsReportedWithItsPosition) {
  struct Case {
    char const* text;
    char const* expected;
  } const cases[] = {
      {"[1,2,\n  x]", "ormi.data.json.malformed: Malformed JSON at 2:3: syntax error"},
      {"{\"a\": [1", "ormi.data.json.malformed: Malformed JSON at 1:9: incomplete JSON"},
      {"1 2", "ormi.data.json.malformed: Malformed JSON at 1:3: unexpected text after the value"},
      {"", "ormi.data.json.malformed: Malformed JSON at 1:1: incomplete JSON"},
  };
  for (auto const& c : cases) {
    std::string problems;
    EXPECT_EQ(Read(c.text, &problems), nullptr);
    EXPECT_EQ(problems, std::string(c.expected) + "\n") << c.text;
  }
}

// Escapes become UTF-8, numbers read as their text says, a repeated key keeps its last value.
TEST(Json, TextIsReadByTheJsonGrammar) {
  struct Accepted {
    char const* text;
    char const* written;
  } const accepted[] = {
      {" \t\r\n[ 1 , [ ] , { \"$map\" : [ ] } ]\n", R"([1,[],{"$map":[]}])"},
      {R"(["\u00e9\u20ac\ud83d\ude42", "\"\\\/\b\f\n\r\t"])",
       "[\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x99\x82\",\"\\\"\\\\/\\b\\f\\n\\r\\t\"]"},
      {"\"\xc3\xa9\xf4\x8f\xbf\xbf\"", "\"\xc3\xa9\xf4\x8f\xbf\xbf\""},
      {R"([0, -0, -9223372036854775808, 9223372036854775807])",
       "[0,0,-9223372036854775808,9223372036854775807]"},
      {R"([{"$double": 1e400}, {"$double": -1e400}, {"$double": 1e-400}, {"$double": 0.0}])",
       R"([{"$double":"Infinity"},{"$double":"-Infinity"},{"$double":0E0},{"$double":0E0}])"},
      {R"({"$double": 1000000000000000000000})", R"({"$double":1E21})"},
      {R"({"$double": 1e2147483647})", R"({"$double":"Infinity"})"},
      {R"({"$struct": "s", "fields": {"a": 1, "a": 2}})", R"({"$struct":"s","fields":{"a":2}})"},
  };
  for (auto const& c : accepted) {
    std::string problems;
    ValuePtr const value = Read(c.text, &problems);
    ASSERT_NE(value, nullptr) << c.text << "\n" << problems;
    EXPECT_EQ(ToJson(*value), c.written) << c.text;
  }
  // Text outside the grammar is refused as malformed, with the position Boost's parser gives.
  char const* const refused[] = {
      "[1,]",
      "{\"a\" 1}",
      "{1:2}",
      "[01]",
      "[1.]",
      "[+1]",
      "-",
      "tru",
      "[NaN]",
      "[1e2147483648]",
      "\"a\nb\"",
      R"("\x")",
      R"("\ud83d")",
      "\"\xff\"",
      "\"\xc0\xaf\"",
      "\"\xed\xa0\x80\"",
      "[1] // comment",
  };
  for (char const* text : refused) {
    std::string problems;
    EXPECT_EQ(Read(text, &problems), nullptr) << text;
    EXPECT_EQ(problems.rfind("ormi.data.json.malformed: Malformed JSON at 1:", 0), 0U)
        << text << "\n"
        << problems;
  }
}

TEST(Json, ValidJsonThatIsNoValueIsRejectedWithItsPath) {
  struct Case {
    char const* text;
    char const* path_and_reason;
  } const cases[] = {
      {"null", "$ is not a value: null is not a value"},
      {"1.5", "$ is not a value: a number with a fraction"},
      {"18446744073709551615", "$ is not a value: integer out of range"},
      {R"([1, {"$blob": "a"}])", "$[1] is not a value: $blob takes base64 text"},
      {R"({"$struct": "s", "fields": {"x": {"$what": 1}}})",
       "$.fields.x is not a value: unknown tag $what"},
      {R"({"$struct": "s"})", "$ is not a value: a structure takes"},
      {R"({"$datetime": "2026-02-30T00:00:00Z"})", "$ is not a value: not a date-time"},
      {R"({"$secret": 1})", "$ is not a value: $secret takes a string"},
      {R"({"$optional": {"$void": 1}})", "$.$optional is not a value: $void takes null"},
      {R"({"$map": 1})", "$ is not a value: $map takes an array"},
      {R"({"$list": [], "kind": "x"})", "$ is not a value: $list takes"},
      {R"({"a": 1, "b": 2})", "$ is not a value: not a tagged value"},
      {R"({"$double": "nan"})", "$ is not a value: $double takes"},
  };
  for (auto const& c : cases) {
    std::string problems;
    EXPECT_EQ(Read(c.text, &problems), nullptr) << c.text;
    EXPECT_NE(problems.find(std::string("ormi.data.json.invalid: JSON at ") + c.path_and_reason),
              std::string::npos)
        << c.text << " -> " << problems;
  }
}

TEST(Json, LimitsBoundDepthAndSize) {
  JsonLimits limits;
  limits.maxDepth = 4;
  std::string problems;
  EXPECT_NE(Read("[[[[1]]]]", &problems, limits), nullptr);
  EXPECT_EQ(Read("[[[[[1]]]]]", &problems, limits), nullptr);
  EXPECT_EQ(problems,
            "ormi.data.json.too.deep: JSON nesting at 1:5 exceeds the limit of 4 levels.\n");

  std::string deep(600, '[');
  deep += std::string(600, ']');
  problems.clear();
  EXPECT_EQ(Read(deep, &problems), nullptr);  // the default limit is 512
  EXPECT_NE(problems.find("limit of 512 levels"), std::string::npos);

  limits.maxInputBytes = 3;
  problems.clear();
  EXPECT_EQ(Read("1234", &problems, limits), nullptr);
  EXPECT_EQ(problems,
            "ormi.data.json.too.large: JSON input of 4 bytes exceeds the limit of 3 bytes.\n");
  EXPECT_EQ(JsonLimits().maxInputBytes, 64u * 1024 * 1024);
}

TEST(Json, DefinitionsAreWrittenWithReferencesByName) {
  auto const ref = StructRefDefinition::GetInstance("node");
  auto const node = StructDefinition::GetInstance(
      "node", {{"next", OptionalDefinition::GetInstance(ref)},
               {"at", DataDefinition::Create<DateTime>()},
               {"tags", ListDefinition::GetInstance(StringDefinition::GetInstance())},
               {"any", DynamicStructureDefinition::GetInstance()}});
  ref->SetTarget(node);
  EXPECT_EQ(ToJson(*node),
            R"({"$struct":"node","fields":{"any":"dynamic-structure","at":"date-time",)"
            R"("next":{"$optional":{"$ref":"node"}},"tags":{"$list":"string"}}})");
}

}  // namespace
}  // namespace Ormi::Data
