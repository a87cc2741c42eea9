#include "ormi/in_process/connector.h"

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ormi/core/call.h"
#include "ormi/data/value.h"
#include "ormi/provider/api_interface.h"

namespace Ormi::InProcess {
namespace {

using Data::ValuePtr;

// A method that answers every call with its input and remembers how it was called.
class EchoMethod final : public Provider::AsyncApiMethod {
 public:
  explicit EchoMethod(std::string name) : name_(std::move(name)) {}

  std::string const& methodName() const override { return name_; }
  std::shared_ptr<Core::MethodDefinition const> definition(
      std::shared_ptr<Core::InterfaceIdentifier const> const& iface) const override {
    return std::make_shared<Core::MethodDefinition const>(
        std::make_shared<Core::MethodIdentifier const>(iface, name_), nullptr, nullptr);
  }
  Data::DefinitionPtr inputDefinition() const override { return nullptr; }
  Data::DefinitionPtr outputDefinition() const override { return nullptr; }
  std::list<Data::DefinitionPtr> errorDefinitions() override { return errors_; }
  std::list<Data::DefinitionPtr> const& errorDefinitions() const override { return errors_; }

  void Invoke(ValuePtr const& input, std::shared_ptr<Core::AsyncActivation> const& activation,
              Core::AsyncApiResultCb const& resultCb) const override {
    calls_.fetch_add(1);
    {
      std::lock_guard<std::mutex> const lock(mutex_);
      last_activation_ = activation;
    }
    resultCb(std::make_shared<Core::MethodResult const>(input, nullptr, true), Progress{0, 1, 1},
             nullptr);
  }

  int calls() const { return calls_.load(); }
  std::shared_ptr<Core::AsyncActivation> lastActivation() const {
    std::lock_guard<std::mutex> const lock(mutex_);
    return last_activation_;
  }

 private:
  std::string name_;
  std::list<Data::DefinitionPtr> errors_;
  mutable std::atomic<int> calls_{0};
  mutable std::mutex mutex_;
  mutable std::shared_ptr<Core::AsyncActivation> last_activation_;
};

// Collects what a channel delivers for calls.
struct Deliveries {
  std::mutex mutex;
  std::vector<std::shared_ptr<Core::MethodResult const>> results;
  std::vector<Progress> progress;
  std::vector<std::thread::id> threads;

  Stub::AsyncApiStub::ResultFunction Collector() {
    return [this](std::shared_ptr<Core::MethodResult const> const& result, Progress const& p,
                  std::function<void(std::shared_ptr<Core::AsyncApiResultCb>)>&&) {
      std::lock_guard<std::mutex> const lock(mutex);
      results.push_back(result);
      progress.push_back(p);
      threads.push_back(std::this_thread::get_id());
    };
  }
};

std::shared_ptr<Core::MethodIdentifier const> Method(std::string const& service,
                                                     std::string const& name) {
  return std::make_shared<Core::MethodIdentifier const>(
      std::make_shared<Core::InterfaceIdentifier const>(service), name);
}

class ConnectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(registry_->Register(Provider::AsyncApiInterface::GetInstance(
        std::make_shared<Core::InterfaceIdentifier const>("svc.config"), {get_, set_})));
    ASSERT_TRUE(registry_->Register(Provider::AsyncApiInterface::GetInstance(
        std::make_shared<Core::InterfaceIdentifier const>("svc.keys"), {keys_get_})));
  }

  // The one error message of a single delivered error, after checking its shape.
  static BaseMessage SoleErrorMessage(Deliveries const& seen, std::string const& error_name) {
    EXPECT_EQ(seen.results.size(), 1U);
    if (seen.results.size() != 1 || !seen.results[0]->error()) {
      ADD_FAILURE() << "expected one error delivery";
      return {};
    }
    EXPECT_EQ(seen.results[0]->error()->name(), error_name);
    Progress const& p = seen.progress[0];
    EXPECT_TRUE(p.min == 0 && p.max == 1 && p.current == 1) << "not the terminal progress";
    std::list<BaseMessage> const messages = seen.results[0]->error()->messages();
    EXPECT_EQ(messages.size(), 1U);
    return messages.empty() ? BaseMessage{} : messages.front();
  }

  std::shared_ptr<EchoMethod> const get_ = std::make_shared<EchoMethod>("get");
  std::shared_ptr<EchoMethod> const set_ = std::make_shared<EchoMethod>("set");
  std::shared_ptr<EchoMethod> const keys_get_ = std::make_shared<EchoMethod>("get");
  std::shared_ptr<Registry> const registry_ = std::make_shared<Registry>();
  ValuePtr const input_ = Data::StringValue::GetInstance("payload");
};

TEST_F(ConnectorTest, RoutesByInterfaceAndMethodName) {
  Channel channel(registry_, std::make_shared<InlineExecutor>());
  Deliveries seen;
  auto const activation = std::make_shared<Core::AsyncActivation>();
  channel.Invoke(Method("svc.keys", "get"), input_, activation, seen.Collector());
  channel.Invoke(Method("svc.config", "set"), input_, nullptr, seen.Collector());

  EXPECT_EQ(keys_get_->calls(), 1);
  EXPECT_EQ(set_->calls(), 1);
  EXPECT_EQ(get_->calls(), 0);
  ASSERT_EQ(seen.results.size(), 2U);
  EXPECT_EQ(seen.results[0]->output(), input_);
  EXPECT_EQ(keys_get_->lastActivation(), activation);
  // A null activation is replaced by a fresh one.
  ASSERT_NE(set_->lastActivation(), nullptr);
  EXPECT_NE(set_->lastActivation()->executionContext(), activation->executionContext());
}

TEST_F(ConnectorTest, UnknownServiceOrMethodIsAnsweredOnceWithNotFound) {
  Channel channel(registry_, std::make_shared<InlineExecutor>());
  Deliveries unknown_service;
  channel.Invoke(Method("svc.nothing", "get"), input_, nullptr, unknown_service.Collector());
  BaseMessage const service =
      SoleErrorMessage(unknown_service, "com.norval.ormi.std.errors.not_found");
  EXPECT_EQ(service.id, "ormi.connector.service.not.found");
  EXPECT_EQ(service.args, std::list<std::string>{"svc.nothing"});

  Deliveries unknown_method;
  channel.Invoke(Method("svc.config", "delete"), input_, nullptr, unknown_method.Collector());
  BaseMessage const method =
      SoleErrorMessage(unknown_method, "com.norval.ormi.std.errors.not_found");
  EXPECT_EQ(method.id, "ormi.connector.method.not.found");
  EXPECT_EQ(method.args, (std::list<std::string>{"svc.config", "delete"}));

  Deliveries no_identifier;
  channel.Invoke(nullptr, input_, nullptr, no_identifier.Collector());
  EXPECT_EQ(SoleErrorMessage(no_identifier, "com.norval.ormi.std.errors.not_found").id,
            "ormi.connector.service.not.found");

  Deliveries no_input;
  channel.Invoke(Method("svc.config", "get"), nullptr, nullptr, no_input.Collector());
  SoleErrorMessage(no_input, "com.norval.ormi.std.errors.invalid_argument");
  EXPECT_EQ(get_->calls(), 0);
  EXPECT_THROW(channel.Invoke(Method("svc.config", "get"), input_, nullptr, nullptr),
               std::bad_function_call);
}

TEST_F(ConnectorTest, RegistryRefusesDuplicatesAndForgetsUnregistered) {
  EXPECT_FALSE(registry_->Register(Provider::AsyncApiInterface::GetInstance(
      std::make_shared<Core::InterfaceIdentifier const>("svc.config"), {})));
  EXPECT_FALSE(registry_->Register(nullptr));
  EXPECT_EQ(registry_->Find("svc.config")->FindMethod("set"), set_);
  auto const before = registry_->List();
  ASSERT_EQ(before.size(), 2U);  // in name order
  EXPECT_EQ(before[0], registry_->Find("svc.config"));
  EXPECT_EQ(before[1], registry_->Find("svc.keys"));
  EXPECT_TRUE(registry_->Unregister("svc.config"));
  EXPECT_FALSE(registry_->Unregister("svc.config"));
  ASSERT_EQ(registry_->List().size(), 1U);
  EXPECT_EQ(registry_->List()[0]->identifier()->name(), "svc.keys");
  EXPECT_EQ(before.size(), 2U) << "a listing is a copy";

  Channel channel(registry_, std::make_shared<InlineExecutor>());
  Deliveries seen;
  channel.Invoke(Method("svc.config", "set"), input_, nullptr, seen.Collector());
  EXPECT_EQ(SoleErrorMessage(seen, "com.norval.ormi.std.errors.not_found").id,
            "ormi.connector.service.not.found");
}

TEST_F(ConnectorTest, ThreadPoolDeliversOnAnotherThread) {
  auto const pool = std::make_shared<ThreadPoolExecutor>(2);
  Channel channel(registry_, pool);
  Deliveries seen;
  channel.Invoke(Method("svc.config", "get"), input_, nullptr, seen.Collector());
  channel.Invoke(Method("svc.other", "get"), input_, nullptr, seen.Collector());
  pool->Drain();

  ASSERT_EQ(seen.results.size(), 2U);
  for (auto const& thread : seen.threads) {
    EXPECT_NE(thread, std::this_thread::get_id());
  }
  // Work posted once the workers are gone runs on the caller's thread.
  channel.Invoke(Method("svc.config", "get"), input_, nullptr, seen.Collector());
  ASSERT_EQ(seen.threads.size(), 3U);
  EXPECT_EQ(seen.threads[2], std::this_thread::get_id());
}

TEST_F(ConnectorTest, ManyConcurrentCallersEachGetTheirOwnAnswer) {
  constexpr int kCallers = 6;
  constexpr int kCallsEach = 200;
  auto const pool = std::make_shared<ThreadPoolExecutor>(3);
  Channel channel(registry_, pool);
  std::atomic<int> matched{0};
  std::atomic<int> delivered{0};
  std::vector<std::thread> callers;
  callers.reserve(kCallers);
  for (int caller = 0; caller < kCallers; ++caller) {
    callers.emplace_back([&, caller] {
      for (int i = 0; i < kCallsEach; ++i) {
        ValuePtr const input = Data::StringValue::GetInstance(std::to_string(caller * 1000 + i));
        channel.Invoke(Method("svc.config", i % 2 == 0 ? "get" : "set"), input, nullptr,
                       [&, input](std::shared_ptr<Core::MethodResult const> const& result,
                                  Progress const&, Core::AsyncApiResultCb::Next&&) {
                         delivered.fetch_add(1);
                         matched.fetch_add(result->output() == input ? 1 : 0);
                       });
      }
    });
  }
  // The registry changes while calls are routed.
  std::thread churn([&] {
    for (int i = 0; i < 200; ++i) {
      registry_->Register(Provider::AsyncApiInterface::GetInstance(
          std::make_shared<Core::InterfaceIdentifier const>("svc.churn"), {get_}));
      registry_->Unregister("svc.churn");
    }
  });
  for (auto& thread : callers) {
    thread.join();
  }
  churn.join();
  pool->Drain();
  EXPECT_EQ(delivered.load(), kCallers * kCallsEach);
  EXPECT_EQ(matched.load(), kCallers * kCallsEach);
  EXPECT_EQ(get_->calls() + set_->calls(), kCallers * kCallsEach);
}

}  // namespace
}  // namespace Ormi::InProcess
