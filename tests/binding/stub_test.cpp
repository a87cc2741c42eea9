#include "ormi/stub/invoker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ormi/data/make_native_error.h"
#include "ormi/in_process/connector.h"
#include "test_support.h"

namespace BindingTest {
namespace {

using ::Ormi::Core::MethodResult;
using ::Ormi::Data::ValuePtr;

// A channel that keeps each call so that the test can answer it.
class FakeChannel : public ::Ormi::Stub::AsyncApiStub {
 public:
  struct Sent {
    std::shared_ptr<::Ormi::Core::MethodIdentifier const> method;
    ValuePtr input;
    ActivationPtr activation;
    ResultFunction result;
  };
  std::vector<Sent> sent;

  void Invoke(std::shared_ptr<::Ormi::Core::MethodIdentifier const> const& method,
              ValuePtr const& input, ActivationPtr const& activation,
              ResultFunction const& result) override {
    sent.push_back({method, input, activation, result});
  }
  void Answer(ValuePtr output, ::Ormi::ErrorPtr error = nullptr) {
    sent.back().result(
        std::make_shared<MethodResult const>(std::move(output), std::move(error), true),
        ::Ormi::Progress{}, {});
  }
};

// What a caller's result object received.
template <typename R>
struct Received {
  std::vector<boost::optional<R>> values;
  std::vector<::Ormi::ErrorPtr> errors;
  std::vector<::Ormi::Progress> progress;

  Result<R> Object() {
    return Result<R>(typename Result<R>::Callback([this](boost::optional<R> const& value,
                                                         ::Ormi::ErrorPtr const& error,
                                                         ::Ormi::Progress const& p) {
      values.push_back(value);
      errors.push_back(error);
      progress.push_back(p);
    }));
  }
  ::Ormi::ErrorPtr OnlyError() const {
    EXPECT_EQ(errors.size(), 1U);
    EXPECT_FALSE(values.at(0));
    EXPECT_TRUE(IsTerminal(progress.at(0)));
    return errors.at(0);
  }
};

struct ReceivedTask {
  std::vector<std::string> ids;
  std::vector<::Ormi::ErrorPtr> errors;
  TaskResult Object() {
    return TaskResult(
        TaskResult::TaskCallback([this](std::string const& id, ::Ormi::ErrorPtr const& error) {
          ids.push_back(id);
          errors.push_back(error);
        }));
  }
};

class StubTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
  KeysSvc::AsyncServiceStub stub{channel};
  Received<std::string> got;
  Received<MessagePtr> put;
  ReceivedTask task;
};

TEST_F(StubTest, SendsUnderTheOperationsIdentifierAndDeliversTheValue) {
  auto const activation = std::make_shared<::Ormi::Core::AsyncActivation>();
  stub.Get("k", activation, got.Object());
  ASSERT_EQ(channel->sent.size(), 1U);
  EXPECT_EQ(channel->sent[0].method->interfaceIdentifier()->name(), "com.norval.hyrn.test.keys");
  EXPECT_EQ(channel->sent[0].method->name(), "get");
  EXPECT_EQ(channel->sent[0].activation, activation);
  KeysSvc::GetMethod::Input input;
  std::list<::Ormi::BaseMessage> messages;
  ASSERT_TRUE(::Ormi::Data::FromValue(channel->sent[0].input, &input, messages));
  EXPECT_EQ(input.key, "k");
  EXPECT_TRUE(got.values.empty());

  // A progress report first, then the value; a null activation is replaced by a fresh one.
  channel->sent[0].result(nullptr, ::Ormi::Progress{0, 4, 2}, {});
  channel->Answer(::Ormi::Data::DataValue::Create(std::string("v")));
  ASSERT_EQ(got.values.size(), 2U);
  EXPECT_FALSE(got.values[0]);
  EXPECT_FALSE(got.errors[0]);
  EXPECT_EQ(got.progress[0].current, 2);
  EXPECT_EQ(got.values[1].value_or(""), "v");
  EXPECT_TRUE(IsTerminal(got.progress[1]));

  Received<::Ormi::Void> cleared;
  stub.Clear(nullptr, cleared.Object());
  EXPECT_TRUE(channel->sent.back().activation);
  channel->Answer(::Ormi::Data::DataValue::Create(::Ormi::Void()));
  ASSERT_EQ(cleared.values.size(), 1U);
  EXPECT_TRUE(cleared.values[0]);
}

TEST_F(StubTest, CallsThatAreNeverSent) {
  // A required structure argument left null.
  stub.Put("k", nullptr, nullptr, put.Object());
  EXPECT_EQ(NameOf(put.OnlyError()), ::Ormi::Data::ErrorName::kInvalidArgument);
  EXPECT_EQ(MessageIds(put.OnlyError()),
            std::list<std::string>{"ormi.data.unset.non.optional.field"});
  stub.Apply("k", nullptr, nullptr, task.Object());
  EXPECT_EQ(task.ids, std::vector<std::string>{""});
  EXPECT_EQ(NameOf(task.errors.at(0)), ::Ormi::Data::ErrorName::kInvalidArgument);
  EXPECT_TRUE(channel->sent.empty());

  // A stub without a channel answers instead of crashing.
  KeysSvc::AsyncServiceStub unconnected(nullptr);
  unconnected.Get("k", nullptr, got.Object());
  EXPECT_EQ(NameOf(got.OnlyError()), ::Ormi::Data::ErrorName::kServiceUnavailable);
  EXPECT_EQ(MessageIds(got.OnlyError()), std::list<std::string>{::Ormi::MessageId::kNoChannel});
}

TEST_F(StubTest, FailedAnswers) {
  auto const error = ::Ormi::Binding::MakeError("com.norval.ormi.std.errors.not_found", "x");
  stub.Get("k", nullptr, got.Object());
  channel->Answer(nullptr, error);
  EXPECT_EQ(got.OnlyError(), error);  // passed on unchanged

  // Neither output nor error is not a success.
  Received<std::string> empty;
  stub.Get("k", nullptr, empty.Object());
  channel->Answer(nullptr);
  EXPECT_EQ(NameOf(empty.OnlyError()), ::Ormi::Data::ErrorName::kInternalServerError);
  EXPECT_EQ(MessageIds(empty.OnlyError()), std::list<std::string>{::Ormi::MessageId::kResultEmpty});

  // An output that does not fit R: the short error name.
  stub.Put("k", MakeMessage("m", "t"), nullptr, put.Object());
  channel->Answer(::Ormi::Data::DataValue::Create(std::string("not a structure")));
  EXPECT_EQ(NameOf(put.OnlyError()), ::Ormi::Data::ErrorName::kShortInvalidArgument);
  EXPECT_FALSE(put.OnlyError()->messages().empty());
}

TEST_F(StubTest, TaskCalls) {
  stub.Apply("k", MakeMessage("m", "t"), nullptr, task.Object());
  ASSERT_EQ(channel->sent.size(), 1U);
  EXPECT_EQ(channel->sent[0].method->name(), "apply$task");
  channel->sent[0].result(nullptr, ::Ormi::Progress{}, {});  // progress: ignored, call stays open
  EXPECT_TRUE(task.ids.empty());
  channel->Answer(::Ormi::Data::DataValue::Create(std::string("task-7")));
  EXPECT_EQ(task.ids, std::vector<std::string>{"task-7"});
  EXPECT_FALSE(task.errors.at(0));

  // A non-string identifier, an empty result and a provider error, each with an empty id.
  auto const not_found = ::Ormi::Binding::MakeError("com.norval.ormi.std.errors.not_found", "x");
  std::vector<std::pair<ValuePtr, ::Ormi::ErrorPtr>> const answers = {
      {::Ormi::Data::DataValue::Create(true), nullptr}, {nullptr, nullptr}, {nullptr, not_found}};
  std::vector<std::string> names;
  for (auto const& answer : answers) {
    ReceivedTask failed;
    stub.Apply("k", MakeMessage("m", "t"), nullptr, failed.Object());
    channel->Answer(answer.first, answer.second);
    EXPECT_EQ(failed.ids, std::vector<std::string>{""});
    names.push_back(NameOf(failed.errors.at(0)));
  }
  EXPECT_EQ(names, (std::vector<std::string>{::Ormi::Data::ErrorName::kInvalidArgument,
                                             ::Ormi::Data::ErrorName::kInternalServerError,
                                             "com.norval.ormi.std.errors.not_found"}));
}

TEST_F(StubTest, EndToEndThroughTheInProcessConnector) {
  auto impl = std::make_shared<FakeKeys>();
  impl->get = [](std::string const& key, Result<std::string> const& result) {
    if (key == "missing") {
      result.SetError(::Ormi::Data::MakeNativeError(std::make_shared<Errors::NotFound const>()));
    } else {
      result.SetResult(key + "!");
    }
  };
  auto registry = std::make_shared<::Ormi::InProcess::Registry>();
  registry->Register(KeysSvc::AsyncServiceBinder::BindImplementation(impl));
  auto pool = std::make_shared<::Ormi::InProcess::ThreadPoolExecutor>(2);
  KeysSvc::AsyncServiceStub remote(std::make_shared<::Ormi::InProcess::Channel>(registry, pool));

  // Several callers at once; answers arrive on the pool's threads.
  std::atomic<int> values{0};
  std::atomic<int> not_found{0};
  std::vector<std::thread> callers;
  callers.reserve(4);
  for (int t = 0; t < 4; ++t) {
    callers.emplace_back([&remote, &values, &not_found, t] {
      for (int i = 0; i < 50; ++i) {
        std::string const key = (i % 5 == 0) ? "missing" : "k" + std::to_string(t);
        remote.Get(key, nullptr,
                   Result<std::string>(Result<std::string>::Callback(
                       [&, key](boost::optional<std::string> const& value,
                                ::Ormi::ErrorPtr const& error, ::Ormi::Progress const&) {
                         if (value && *value == key + "!") ++values;
                         if (NameOf(error) == "com.norval.ormi.std.errors.not_found") ++not_found;
                       })));
      }
    });
  }
  for (auto& caller : callers) caller.join();
  pool->Drain();
  EXPECT_EQ(values.load(), 160);
  EXPECT_EQ(not_found.load(), 40);
}

using StubDeathTest = StubTest;

TEST_F(StubDeathTest, SecondTerminalDeliveryEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  stub.Get("k", nullptr, got.Object());
  channel->Answer(::Ormi::Data::DataValue::Create(std::string("v")));
  EXPECT_DEATH(channel->Answer(::Ormi::Data::DataValue::Create(std::string("again"))), "");
  stub.Apply("k", MakeMessage("m", "t"), nullptr, task.Object());
  channel->Answer(::Ormi::Data::DataValue::Create(std::string("t")));
  EXPECT_DEATH(channel->Answer(nullptr), "");
}

}  // namespace
}  // namespace BindingTest
