// A service written by hand in exactly the shape the generator emits, so that the frame can be
// driven before generated services exist. Operations, in slot order:
//   get(key) -> string                                   throws NotFound, InternalServerError
//   put(key, message: LocalizableMessage) -> LocalizableMessage     throws InvalidArgument
//   clear() -> void                                      (no parameters)
//   task apply(key, message: LocalizableMessage) -> void throws NotFound
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "hyrn/binding/service.h"
#include "ormi/std/errors.h"
#include "ormi/std/std.h"

namespace BindingTest {

namespace Errors = ::Com::Norval::Ormi::Std::Errors;
using Message = ::Com::Norval::Ormi::Std::LocalizableMessage;
using MessagePtr = std::shared_ptr<Message const>;

class KeysSvc {
 public:
  class AsyncServiceInterface;

  struct GetMethod : ::Ormi::Binding::Operation<GetMethod, AsyncServiceInterface, std::string,
                                                Errors::NotFound, Errors::InternalServerError> {
    struct Input : ::Ormi::Data::BaseNative {
      std::string key;
      struct AdapterHelper {
        template <typename Helper>
        static void AddFields(Helper& helper) {
          helper.AddField("key", &Input::key);
        }
      };
    };
    static std::string methodName() { return "get"; }
  };

  struct PutMethod : ::Ormi::Binding::Operation<PutMethod, AsyncServiceInterface, MessagePtr,
                                                Errors::InvalidArgument> {
    struct Input : ::Ormi::Data::BaseNative {
      std::string key;
      MessagePtr message;
      struct AdapterHelper {
        template <typename Helper>
        static void AddFields(Helper& helper) {
          helper.AddField("key", &Input::key);
          helper.AddField("message", &Input::message);
        }
      };
    };
    static std::string methodName() { return "put"; }
  };

  struct ClearMethod
      : ::Ormi::Binding::Operation<ClearMethod, AsyncServiceInterface, ::Ormi::Void> {
    using Input = ::Ormi::OperationInput;
    static std::string methodName() { return "clear"; }
  };

  struct ApplyMethod : ::Ormi::Binding::TaskOperation<ApplyMethod, AsyncServiceInterface,
                                                      ::Ormi::Void, Errors::NotFound> {
    struct Input : ::Ormi::Data::BaseNative {
      std::string key;
      MessagePtr message;
      struct AdapterHelper {
        template <typename Helper>
        static void AddFields(Helper& helper) {
          helper.AddField("key", &Input::key);
          helper.AddField("message", &Input::message);
        }
      };
    };
    static std::string methodName() { return "apply"; }
  };

  class AsyncServiceInterface {
   public:
    virtual void Get(
        std::string const& key, std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation,
        ::Ormi::AsyncResult<std::string, ::Ormi::AsyncResultTerminateCbPolicy> const& result) = 0;
    virtual void Put(
        std::string const& key, MessagePtr const& message,
        std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation,
        ::Ormi::AsyncResult<MessagePtr, ::Ormi::AsyncResultTerminateCbPolicy> const& result) = 0;
    virtual void Clear(
        std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation,
        ::Ormi::AsyncResult<::Ormi::Void, ::Ormi::AsyncResultTerminateCbPolicy> const& result) = 0;
    virtual void Apply(
        std::string const& key, MessagePtr const& message,
        std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation,
        ::Ormi::AsyncTaskResult<::Ormi::Void, ::Ormi::AsyncTaskResultTerminateCbPolicy> const&
            result) = 0;
    virtual ~AsyncServiceInterface() = default;
  };

  class AsyncServiceStub : public AsyncServiceInterface {
   public:
    explicit AsyncServiceStub(std::shared_ptr<::Ormi::Stub::AsyncApiStub> channel)
        : channel_(std::move(channel)) {}
    void Get(std::string const& key,
             std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation,
             ::Ormi::AsyncResult<std::string, ::Ormi::AsyncResultTerminateCbPolicy> const& result)
        override;
    void Put(std::string const& key, MessagePtr const& message,
             std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation,
             ::Ormi::AsyncResult<MessagePtr, ::Ormi::AsyncResultTerminateCbPolicy> const& result)
        override;
    void Clear(std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation,
               ::Ormi::AsyncResult<::Ormi::Void, ::Ormi::AsyncResultTerminateCbPolicy> const&
                   result) override;
    void Apply(
        std::string const& key, MessagePtr const& message,
        std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation,
        ::Ormi::AsyncTaskResult<::Ormi::Void, ::Ormi::AsyncTaskResultTerminateCbPolicy> const&
            result) override;
    ~AsyncServiceStub() override = default;

   private:
    std::shared_ptr<::Ormi::Stub::AsyncApiStub> channel_;
  };

  struct AsyncServiceBinderHelper {
    static std::shared_ptr<::Ormi::Provider::AsyncApiInterface> Bind(
        std::shared_ptr<AsyncServiceInterface> const& impl,
        std::shared_ptr<::Ormi::L10n::Localizer> const& localizer);
    using GetMethodBuilder = ::Ormi::Provider::MethodBuilder<GetMethod, &GetMethod::Input::key>;
    using PutMethodBuilder = ::Ormi::Provider::MethodBuilder<PutMethod, &PutMethod::Input::key,
                                                             &PutMethod::Input::message>;
    using ClearMethodBuilder = ::Ormi::Provider::MethodBuilder<ClearMethod>;
    using ApplyTaskMethodBuilder =
        ::Ormi::Provider::TaskMethodBuilder<ApplyMethod, &ApplyMethod::Input::key,
                                            &ApplyMethod::Input::message>;
  };

  struct AsyncServiceBinder
      : ::Ormi::Provider::ImplementationBinder<AsyncServiceInterface, AsyncServiceBinderHelper> {};
};

}  // namespace BindingTest

namespace Ormi::Data {
template <>
struct TypeInfo<::BindingTest::KeysSvc::AsyncServiceInterface> {
  static std::string name() { return "com.norval.hyrn.test.keys"; }
};
template <>
struct TypeInfo<::BindingTest::KeysSvc::GetMethod::Input>
    : ::Ormi::Binding::InputTypeInfo<::BindingTest::KeysSvc::GetMethod::Input> {};
template <>
struct TypeInfo<::BindingTest::KeysSvc::PutMethod::Input>
    : ::Ormi::Binding::InputTypeInfo<::BindingTest::KeysSvc::PutMethod::Input> {};
template <>
struct TypeInfo<::BindingTest::KeysSvc::ApplyMethod::Input>
    : ::Ormi::Binding::InputTypeInfo<::BindingTest::KeysSvc::ApplyMethod::Input> {};
}  // namespace Ormi::Data

namespace BindingTest {

inline std::shared_ptr<::Ormi::Provider::AsyncApiInterface> KeysSvc::AsyncServiceBinderHelper::Bind(
    std::shared_ptr<AsyncServiceInterface> const& impl,
    std::shared_ptr<::Ormi::L10n::Localizer> const& localizer) {
  return ::Ormi::Provider::ServiceBinder<AsyncServiceInterface>(impl, localizer)
      .Add<GetMethodBuilder>(&AsyncServiceInterface::Get)
      .Add<PutMethodBuilder>(&AsyncServiceInterface::Put)
      .Add<ClearMethodBuilder>(&AsyncServiceInterface::Clear)
      .Add<ApplyTaskMethodBuilder>(&AsyncServiceInterface::Apply)
      .Build();
}

// Stub operations: in a generated service these live in the .cpp, after the TypeInfo
// specialisations that converting an Input needs.
inline void KeysSvc::AsyncServiceStub::Get(
    std::string const& key, std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation,
    ::Ormi::AsyncResult<std::string, ::Ormi::AsyncResultTerminateCbPolicy> const& result) {
  GetMethod::Input input;
  input.key = key;
  ::Ormi::Stub::AsyncMethodInvoker::Invoke<GetMethod>(input, activation, result, channel_);
}

inline void KeysSvc::AsyncServiceStub::Put(
    std::string const& key, MessagePtr const& message,
    std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation,
    ::Ormi::AsyncResult<MessagePtr, ::Ormi::AsyncResultTerminateCbPolicy> const& result) {
  PutMethod::Input input;
  input.key = key;
  input.message = message;
  ::Ormi::Stub::AsyncMethodInvoker::Invoke<PutMethod>(input, activation, result, channel_);
}

inline void KeysSvc::AsyncServiceStub::Clear(
    std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation,
    ::Ormi::AsyncResult<::Ormi::Void, ::Ormi::AsyncResultTerminateCbPolicy> const& result) {
  ::Ormi::OperationInput const input{};
  ::Ormi::Stub::AsyncMethodInvoker::Invoke<ClearMethod>(input, activation, result, channel_);
}

inline void KeysSvc::AsyncServiceStub::Apply(
    std::string const& key, MessagePtr const& message,
    std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation,
    ::Ormi::AsyncTaskResult<::Ormi::Void, ::Ormi::AsyncTaskResultTerminateCbPolicy> const& result) {
  ApplyMethod::Input input;
  input.key = key;
  input.message = message;
  ::Ormi::Stub::AsyncTaskMethodInvoker::Invoke<ApplyMethod>(input, activation, result, channel_);
}

}  // namespace BindingTest
