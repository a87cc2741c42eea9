// Bases of the generated per-operation method classes. A generated `<Op>Method` derives from
// `Operation` (or `TaskOperation`) and adds only its `Input` and `methodName()`; the types and
// definitions every operation has come from here.
#pragma once

#include <list>
#include <memory>
#include <string>

#include "ormi/async_result.h"
#include "ormi/data/convert.h"
#include "ormi/data/definition.h"
#include "ormi/data/struct_type_info.h"
#include "ormi/data/type_info.h"
#include "ormi/types.h"

namespace Ormi::Binding {

// Definitions of the given error types, in order; built anew on each call.
template <typename... Errors>
std::list<Data::DefinitionPtr> DefinitionsOf() {
  return {Data::DefinitionOf<Errors>()...};
}

// What a task operation's name is followed by in the name it is bound and called under.
constexpr char kTaskSuffix[] = "$task";

// Shared by ordinary and task operations. `Method` is the generated class deriving from this
// (its `Input` is complete by the time these functions are called); `Interface` is the
// service's AsyncServiceInterface, whose `TypeInfo` names the service.
template <typename Method, typename ServiceInterface, typename R, typename... Errors>
struct OperationBase {
  using Interface = ServiceInterface;
  using ValueType = R;

  static Data::DefinitionPtr inputDef() { return Data::DefinitionOf<typename Method::Input>(); }
  static Data::DefinitionPtr outputDef() { return Data::DefinitionOf<R>(); }
  static std::list<Data::DefinitionPtr> errorDefs() { return DefinitionsOf<Errors...>(); }
};

// An ordinary operation: answers with one value of R or an error.
template <typename Method, typename ServiceInterface, typename R, typename... Errors>
struct Operation : OperationBase<Method, ServiceInterface, R, Errors...> {
  static constexpr bool kTask = false;
  using ResultType = AsyncResult<R, AsyncResultTerminateCbPolicy>;
  using ResultCbType = typename ResultType::ResultCb;
};

// A task operation: answers with a task identifier; R is the started work's result type.
template <typename Method, typename ServiceInterface, typename R, typename... Errors>
struct TaskOperation : OperationBase<Method, ServiceInterface, R, Errors...> {
  static constexpr bool kTask = true;
  using ResultType = AsyncTaskResult<R, AsyncTaskResultTerminateCbPolicy>;
  using TaskResultCbType = typename ResultType::TaskCb;

  static std::string taskMethodName() { return Method::methodName() + kTaskSuffix; }
};

// The name an operation is bound and called under: its task name for a task operation.
template <typename Method>
std::string BoundName() {
  if constexpr (Method::kTask) {
    return Method::taskMethodName();
  } else {
    return Method::methodName();
  }
}

// The definition of what a call of the operation answers: a task identifier (a string) for a
// task operation, the result otherwise.
template <typename Method>
Data::DefinitionPtr BoundOutputDef() {
  if constexpr (Method::kTask) {
    return Data::StringDefinition::GetInstance();
  } else {
    return Method::outputDef();
  }
}

// `TypeInfo` of an operation's `Input`: all inputs carry the runtime's operation-input name.
template <typename Input>
struct InputTypeInfo : Data::StructTypeInfo<Input> {
  static std::string name() { return Data::TypeInfo<OperationInput>::name(); }
};

}  // namespace Ormi::Binding
