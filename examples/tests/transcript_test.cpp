#include "demo/transcript.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>
#include <string>

#include <boost/json.hpp>

#include "com/norval/hyrn/host_settings/host_settings.h"

namespace Demo {
namespace {

using Hyrn = ::Com::Norval::Hyrn::HostSettings::Software::HyrnSvc;
using Apply = ::Com::Norval::Hyrn::HostSettingsSvc::ApplyMethod;
using Result = ::Ormi::AsyncResult<std::string>;

TEST(Pretty, BreaksOnlyWhatDoesNotFitAndKeepsTheValue) {
  EXPECT_EQ(Pretty(R"({"a":[1,2]})"), R"({"a":[1,2]})");
  std::string const wide = R"({"key":")" + std::string(100, 'x') + R"(","list":[1,2]})";
  std::string const pretty = Pretty(wide);
  EXPECT_NE(pretty.find("\n      \"list\": [1,2]"), std::string::npos) << pretty;
  EXPECT_EQ(boost::json::parse(pretty), boost::json::parse(wide));
  EXPECT_EQ(Pretty("not json"), "not json");
}

class TranscriptTest : public ::testing::Test {
 protected:
  static void Answer(Result const& result) { result.SetResult("8.0.2"); }
  static void Refuse(Result const& result) {
    result.SetError(::Ormi::Data::ErrorValue::GetInstance("com.norval.ormi.std.errors.not_found"));
  }

  std::ostringstream out_;
  Example::TaskRunner tasks_{std::make_shared<::Ormi::InProcess::InlineExecutor>(),
                             std::make_shared<::Ormi::Tasks::Store>()};
  Transcript transcript_{out_, *tasks_.store()};
  std::set<std::string> const operations_{"com.norval.hyrn.host_settings.software.hyrn get"};
};

TEST_F(TranscriptTest, ExpectedOutcomesAreNoFailures) {
  transcript_.Call<Hyrn::GetMethod>({{"host", std::string("h")}}, Answer, Value<std::string>());
  transcript_.Call<Hyrn::GetMethod>({}, Refuse,
                                    Error<std::string>("com.norval.ormi.std.errors.not_found"));
  EXPECT_TRUE(transcript_.Summary(operations_));
  std::string const text = out_.str();
  EXPECT_NE(text.find("#1 com.norval.hyrn.host_settings.software.hyrn get\n    host = \"h\"\n"
                      "  result: \"8.0.2\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("(an expected error)"), std::string::npos);
  EXPECT_NE(text.find("2 calls, 0 failures\n"), std::string::npos) << text;
}

TEST_F(TranscriptTest, UnexpectedOutcomesAndUncalledOperationsAreFailures) {
  transcript_.Call<Hyrn::GetMethod>({}, Answer,
                                    Error<std::string>("com.norval.ormi.std.errors.not_found"));
  transcript_.Call<Hyrn::GetMethod>({}, Refuse, Value<std::string>());
  transcript_.Call<Hyrn::GetMethod>(
      {}, Answer, Value<std::string>([](std::string const& v) { return "got " + v; }));
  std::set<std::string> operations = operations_;
  operations.insert("com.norval.hyrn.host_settings.software.hyrn set");
  EXPECT_FALSE(transcript_.Summary(operations));
  std::string const text = out_.str();
  EXPECT_NE(text.find("UNEXPECTED: got 8.0.2"), std::string::npos) << text;
  EXPECT_NE(text.find("not exercised: com.norval.hyrn.host_settings.software.hyrn set"),
            std::string::npos);
  EXPECT_NE(text.find("1 of 2 operations exercised\n3 calls, 4 failures\n"), std::string::npos)
      << text;
}

TEST_F(TranscriptTest, TaskOutcomesAreShownAndChecked) {
  auto start = [this](::Ormi::AsyncTaskResult<::Ormi::Void> const& result) {
    tasks_.Start<Apply>(nullptr, result,
                        [] { return Example::Answer<::Ormi::Void>(::Ormi::Void()); });
  };
  transcript_.Task<Apply>({{"host", std::string("h")}}, start);
  transcript_.Task<Apply>(
      {}, start, "", [](::Ormi::Data::ValuePtr const&) { return std::string("wrong outcome"); });
  EXPECT_FALSE(transcript_.Summary({}));
  std::string const text = out_.str();
  EXPECT_NE(text.find("#1 com.norval.hyrn.host_settings apply$task"), std::string::npos) << text;
  EXPECT_NE(text.find("task task-1 finished: {\"$void\":null}"), std::string::npos) << text;
  EXPECT_NE(text.find("2 calls, 1 failures"), std::string::npos) << text;
}

}  // namespace
}  // namespace Demo
