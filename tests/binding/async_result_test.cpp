#include "ormi/async_result.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ormi/binding/frame.h"
#include "ormi/data/make_native_error.h"
#include "test_support.h"

namespace BindingTest {
namespace {

using ::Ormi::ErrorPtr;
using ::Ormi::Progress;
using NativeErrorOpt = boost::optional<::Ormi::Data::NativeError>;

::Ormi::Data::NativeError NotFound() {
  return ::Ormi::Data::MakeNativeError(std::make_shared<Errors::NotFound const>());
}

TEST(AsyncResultTest, DeliveryPicksTheFirstSetCallbackForm) {
  // Only the second form: it receives the native error itself.
  std::vector<bool> native_seen;
  auto const native_only = Result<std::string>(Result<std::string>::NativeCallback(
      [&native_seen](auto const&, ErrorPtr const& error, NativeErrorOpt const& native,
                     Progress const&) { native_seen.push_back(!error && native); }));
  native_only.SetError(NotFound());
  EXPECT_EQ(native_seen, std::vector<bool>{true});

  // Both forms: the first wins and gets the native error as an error value.
  std::vector<std::string> first;
  Result<std::string> both(
      Result<std::string>::ResultCb{[&first](auto const&, ErrorPtr const& error, Progress const&) {
                                      first.push_back(NameOf(error));
                                    },
                                    [](auto const&...) { FAIL() << "second form used"; }});
  both.SetError(NotFound());
  EXPECT_EQ(first, std::vector<std::string>{"com.norval.ormi.std.errors.not_found"});

  // Neither form: the standard empty-callback exception.
  Result<std::string> none(Result<std::string>::ResultCb{});
  EXPECT_THROW(none.ReportProgress(Progress{}), std::bad_function_call);
}

TEST(AsyncResultTest, ProgressKeepsTheObjectOpenUntilTheResult) {
  std::vector<std::string> seen;
  Result<std::string> const result(Result<std::string>::Callback(
      [&seen](boost::optional<std::string> const& value, ErrorPtr const&, Progress const& p) {
        seen.push_back(value ? *value : "progress " + std::to_string(p.current));
      }));
  // Copies share the callbacks: the copy is the point here.
  Result<std::string> const copy = result;  // NOLINT(performance-unnecessary-copy-initialization)
  result.ReportProgress(Progress{0, 3, 1});
  copy.ReportProgress(Progress{0, 3, 2});
  copy.SetResult("done");
  EXPECT_EQ(seen, (std::vector<std::string>{"progress 1", "progress 2", "done"}));
}

TEST(AsyncResultTest, TaskResultDeliversTheIdOnceAndDropsTheResultCallback) {
  std::vector<std::string> ids;
  int results = 0;
  TaskResult const task(
      TaskResult::TaskCb{[&ids](std::string const& id, ErrorPtr const&) { ids.push_back(id); }, {}},
      TaskResult::ResultCb{[&results](::Ormi::Void const&, ErrorPtr const&) { ++results; }, {}});
  task.DeliverResult(::Ormi::Void(), nullptr, boost::none);
  task.SetTaskId("t-1");
  EXPECT_EQ(ids, std::vector<std::string>{"t-1"});
  EXPECT_THROW(task.DeliverResult(::Ormi::Void(), nullptr, boost::none), std::bad_function_call);
  EXPECT_EQ(results, 1);
}

TEST(AsyncResultDeathTest, ASecondCompletionEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto const make = [] {
    return Result<std::string>(
        Result<std::string>::Callback([](auto const&, auto const&, auto const&) {}));
  };
  auto const error = ::Ormi::Binding::MakeError(::Ormi::Data::ErrorName::kInternalServerError, "x");
  Result<std::string> const completed = make();
  completed.SetResult("once");
  EXPECT_DEATH(completed.SetError(error), "");
  EXPECT_DEATH(Result<std::string>(completed).ReportProgress(Progress{}), "");  // copies too

  // A completion from inside the delivered callback is a second completion as well.
  auto const reentrant = std::make_shared<std::function<void()>>();
  auto const inner = Result<std::string>(Result<std::string>::Callback(
      [reentrant](auto const&, auto const&, auto const&) { (*reentrant)(); }));
  *reentrant = [inner] { inner.SetResult("again"); };
  EXPECT_DEATH(inner.SetResult("first"), "");

  using Stream = ::Ormi::AsyncStreamResult<std::string>;
  auto const stream = Stream(Stream::Callback([](auto const&...) {}));
  stream.SetElement("a", [](auto const&) {});
  EXPECT_DEATH(stream.SetResult("b"), "");

  auto const task = TaskResult(TaskResult::TaskCallback([](auto const&, auto const&) {}));
  task.SetError(NotFound());
  EXPECT_DEATH(task.SetTaskId("late"), "");
  *reentrant = nullptr;  // breaks the cycle between `inner` and its callback
}

}  // namespace
}  // namespace BindingTest
