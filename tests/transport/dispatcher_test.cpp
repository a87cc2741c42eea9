// Dispatch without sockets: routing, body decoding, provider answers and their statuses,
// and the same through HTTP over an in-memory stream.
#include "ormi/transport/dispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "transport_support.h"

namespace TransportTest {
namespace {

using ::Ormi::Transport::Dispatcher;
using ::Ormi::Transport::DispatchRequest;
using ::Ormi::Transport::DispatchResponse;

struct Case {
  char const* what;
  std::string service;
  std::string operation;
  std::string media_type;
  std::string body;
  unsigned status;
  std::string answer;  // the body of a success, or the first message id of an error
};

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() {
    registry->Register(KeysSvc::AsyncServiceBinder::BindImplementation(keys));
    keys->get = [](std::string const& key, ::BindingTest::Result<std::string> const& result) {
      if (key == "missing")
        return result.SetError(::Ormi::Data::ErrorValue::GetInstance(Names::kNotFound));
      if (key == "undeclared") {
        return result.SetError(::Ormi::Data::ErrorValue::GetInstance(Names::kTimedOut));
      }
      result.SetResult("value-" + key);
    };
    keys->apply = [](::BindingTest::TaskResult const& result) { result.SetTaskId("task-1"); };
  }

  DispatchResponse Dispatch(Case const& c) {
    DispatchResponse answer;
    int answers = 0;
    dispatcher.Dispatch(
        DispatchRequest{c.service, c.operation, c.media_type, c.body, nullptr, nullptr},
        [&](DispatchResponse response) {
          ++answers;
          answer = std::move(response);
        });
    EXPECT_EQ(answers, 1) << c.what;
    return answer;
  }

  std::shared_ptr<FakeKeys> keys = std::make_shared<FakeKeys>();
  std::shared_ptr<::Ormi::InProcess::Registry> registry =
      std::make_shared<::Ormi::InProcess::Registry>();
  Dispatcher dispatcher{registry, std::make_shared<::Ormi::InProcess::InlineExecutor>(),
                        ::Ormi::Data::JsonLimits{8, 1024}};
};

TEST_F(DispatchTest, RoutesDecodesRunsAndAnswersWithTheStatusOfTheError) {
  std::string const keys_service = "com.norval.hyrn.test.keys";
  std::string const canonical = ::Ormi::Transport::kCanonicalMediaType;
  std::string const deep =
      R"({"$struct":"com.norval.ormi.operation_input","fields":{"key":"a","x":[[[[[[[1]]]]]]]}})";
  Case const cases[] = {
      {"an output", keys_service, "get", canonical, KeyBody("a"), 200, R"("value-a")"},
      {"media type parameters and case", keys_service, "get",
       "Application/VND.ormi.value+json; charset=utf-8", KeyBody("b"), 200, R"("value-b")"},
      {"a task", keys_service, "apply$task", canonical,
       R"({"$struct":"com.norval.ormi.operation_input","fields":{"key":"a","message":{"$struct":"com.norval.ormi.std.localizable_message","fields":{"args":[],"default_message":"d","id":"i"}}}})",
       200, R"("task-1")"},
      {"a declared error", keys_service, "get", canonical, KeyBody("missing"), 404, ""},
      {"an undeclared error", keys_service, "get", canonical, KeyBody("undeclared"), 500,
       "ormi.provider.error.undeclared"},
      {"unknown service", "com.norval.hyrn.none", "get", canonical, KeyBody("a"), 404,
       Ids::kServiceNotFound},
      {"unknown operation", keys_service, "apply", canonical, KeyBody("a"), 404,
       Ids::kMethodNotFound},
      {"unsupported media type", keys_service, "get", "text/plain", KeyBody("a"), 400,
       Ids::kMediaUnsupported},
      {"no media type", keys_service, "get", " ", KeyBody("a"), 400, Ids::kMediaMissing},
      {"malformed JSON", keys_service, "get", canonical, "{\"$struct\":", 400,
       "ormi.data.json.malformed"},
      {"JSON beyond the depth limit", keys_service, "get", canonical, deep, 400,
       "ormi.data.json.too.deep"},
      {"JSON beyond the size limit", keys_service, "get", canonical, std::string(1025, ' '), 400,
       "ormi.data.json.too.large"},
      {"wrong shape", keys_service, "get", canonical, "[\"a\"]", 400,
       "ormi.data.validation.failed"},
      {"a required field missing", keys_service, "get", canonical,
       R"({"$struct":"com.norval.ormi.operation_input","fields":{}})", 400,
       "ormi.data.validation.failed"},
  };
  for (auto const& c : cases) {
    DispatchResponse const answer = Dispatch(c);
    EXPECT_EQ(answer.status, c.status) << c.what << ": " << answer.body;
    if (c.status == 200) {
      EXPECT_EQ(answer.body, c.answer) << c.what;
      EXPECT_EQ(answer.media_type, canonical) << c.what;
      continue;
    }
    // Errors travel in the canonical form whatever the request's media type.
    EXPECT_EQ(answer.media_type, canonical) << c.what;
    ::Ormi::Data::ValuePtr value;
    std::list<::Ormi::BaseMessage> messages;
    ASSERT_TRUE(::Ormi::Data::FromJson(answer.body, &value, messages)) << c.what;
    auto const& error = static_cast<::Ormi::Data::ErrorValue const&>(*value);
    EXPECT_EQ(error.name(), answer.error_name) << c.what;
    if (!c.answer.empty()) {
      EXPECT_THAT(::BindingTest::MessageIds(
                      std::static_pointer_cast<::Ormi::Data::ErrorValue const>(value)),
                  ::testing::Contains(c.answer))
          << c.what << ": " << answer.body;
    }
  }
}

TEST(StatusTable, EachStandardErrorHasOneStatus) {
  std::pair<char const*, unsigned> const table[] = {
      {Names::kInvalidArgument, 400},
      {Names::kUnauthenticated, 401},
      {Names::kNotFound, 404},
      {Names::kAlreadyExists, 409},
      {Names::kNotAllowedInCurrentState, 409},
      {Names::kServiceUnavailable, 503},
      {Names::kTimedOut, 504},
      {Names::kError, 500},
      {Names::kInternalServerError, 500},
      {"com.example.other", 500},
  };
  for (auto const& [name, status] : table) {
    EXPECT_EQ(::Ormi::Transport::StatusForError(name), status) << name;
    EXPECT_EQ(Dispatcher::ErrorResponse(*::Ormi::Data::ErrorValue::GetInstance(name)).status,
              status);
  }
}

TEST(LanguageHeader, ReadsPreferencesByWeightAndWritesThemBackInOrder) {
  using ::Ormi::Transport::AcceptLanguage;
  using ::Ormi::Transport::LanguagesOf;
  using Languages = std::vector<std::string>;
  EXPECT_EQ(LanguagesOf("de-DE"), Languages{"de_DE"});
  EXPECT_EQ(LanguagesOf("fr;q=0.5, de-CH , en;q=0.8"), (Languages{"de_CH", "en", "fr"}));
  // Weight 0, "*", bad tags and bad weights are left out.
  EXPECT_EQ(LanguagesOf("it;q=0, *, d e, x-;q=1, ../etc, de;q=2, en;q=abc, fr;q=0.3"),
            Languages{"fr"});
  EXPECT_EQ(LanguagesOf(""), Languages{});
  std::string many;
  for (int i = 0; i < 40; ++i) many += "l" + std::to_string(i) + ",";
  EXPECT_EQ(LanguagesOf(many).size(), 16U);

  EXPECT_EQ(AcceptLanguage({"de_DE", "C", "en"}), "de-DE, en;q=0.950");
  EXPECT_EQ(AcceptLanguage({"C"}), "");
  Languages sixteen;
  for (char c = 'a'; c < 'q'; ++c) sixteen.emplace_back(1, c);
  EXPECT_EQ(LanguagesOf(AcceptLanguage(sixteen)), sixteen);
}

// The same dispatch behind the HTTP parser, over an in-memory stream: requests sent one after
// the other on one connection are answered in order, and bytes that are no request end it.
TEST(InMemoryStream, AnswersPipelinedRequestsInOrderAndRefusesGarbage) {
  KeysServer server({});
  AnswerWithKey(*server.keys);
  ::Ormi::Core::Caller caller;
  caller.transport = "unix";
  caller.uid = static_cast<std::int64_t>(::geteuid());
  std::string const get = "/com.norval.hyrn.test.keys/get";
  std::string const bytes = Post(get, KeyBody("a")) + Post(get, KeyBody("b")) + "NOT HTTP\r\n\r\n";
  auto const responses = ParseResponses(server.server->ServeBytes(bytes, caller));
  ASSERT_EQ(responses.size(), 3U);
  EXPECT_EQ(responses[0].body(), R"("value-a")");
  EXPECT_EQ(responses[1].body(), R"("value-b")");
  EXPECT_EQ(responses[2].result_int(), 400U);
  EXPECT_EQ(FirstMessageId(responses[2]), Ids::kRequestMalformed);
  EXPECT_FALSE(responses[2].keep_alive());
}

}  // namespace
}  // namespace TransportTest
