#include "ormi/l10n/localizer.h"

#include <fstream>
#include <list>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#include <boost/json/parse.hpp>

#include <gtest/gtest.h>

#include "ormi/data/native_error.h"
#include "ormi/data/value.h"
#include "ormi/message.h"

namespace Ormi::L10n {
namespace {

LocaleSpec Locale(std::vector<std::string> const& languages) {
  std::vector<LanguagePreference> preferences;
  preferences.reserve(languages.size());
  for (auto const& language : languages) {
    preferences.push_back(LocaleHelpers::MakeLanguagePreference(language));
  }
  return {std::move(preferences), TimezoneSpec("Europe/Paris")};
}

BaseMessage Greeting() { return MakeMessage("test.greeting", "Hello {1}", "Ada"); }

TEST(LocalizerTest, PicksFirstPreferredLanguageWithATemplateAndFormatsIt) {
  Localizer localizer;
  EXPECT_TRUE(localizer.empty());
  localizer.AddTemplate("fr", "test.greeting", "Bonjour {1}");
  localizer.AddTemplate("de", "test.greeting", "Hallo {1}");
  localizer.AddTemplate("de", "test.other", "Anders");
  EXPECT_FALSE(localizer.empty());

  EXPECT_EQ(localizer.Localize(Greeting(), Locale({"it", "de_CH", "fr"})), "Hallo Ada");
  EXPECT_EQ(localizer.Localize(Greeting(), Locale({"fr_FR", "de"})), "Bonjour Ada");
  // No preferred language has the id: the message keeps its default text.
  EXPECT_EQ(localizer.Localize(Greeting(), Locale({"it", "C"})), "Hello Ada");
  EXPECT_EQ(localizer.FindTemplate("de", "test.missing"), nullptr);
}

TEST(LocalizerTest, DefaultRequestLocalizerIsEmptyEnglishUtc) {
  RequestLocalizer const made = RequestLocalizerHelper::GetDefaultRequestLocalizer();
  for (RequestLocalizer const* request : {&made, &SharedDefaultRequestLocalizer()}) {
    ASSERT_NE(request->localizer(), nullptr);
    EXPECT_TRUE(request->localizer()->empty());
    ASSERT_EQ(request->locale().languages().size(), 2U);
    EXPECT_EQ(request->locale().languages()[0].language(), "en_US");
    EXPECT_EQ(request->locale().languages()[1].language(), "C");
    EXPECT_EQ(request->locale().timezone().zone(), "Etc/UTC");
    EXPECT_EQ(request->Localize(Greeting()), "Hello Ada");
  }
  // Each call gives a localizer of its own; the shared one is made once.
  EXPECT_NE(RequestLocalizerHelper::GetDefaultRequestLocalizer().localizer(), made.localizer());
  EXPECT_EQ(&SharedDefaultRequestLocalizer(), &SharedDefaultRequestLocalizer());
}

TEST(NativeErrorTest, ChoosesTheErrorValueThenTheNativeErrorThenNothing) {
  RequestLocalizer const fallback = RequestLocalizerHelper::GetDefaultRequestLocalizer();
  int conversions = 0;
  std::string seen_zone;
  Data::NativeError const native([&](RequestLocalizer const& request) {
    ++conversions;
    seen_zone = request.locale().timezone().zone();
    return Data::ErrorValue::GetInstance("com.norval.ormi.std.errors.timed_out");
  });
  auto const error = Data::ErrorValue::Create("com.norval.ormi.std.errors.not_found", {});

  EXPECT_EQ(Data::NativeErrorHelper::GetError(error, native, fallback), error);
  EXPECT_EQ(conversions, 0);
  auto const converted = Data::NativeErrorHelper::GetError(nullptr, native, fallback);
  ASSERT_NE(converted, nullptr);
  EXPECT_EQ(converted->name(), "com.norval.ormi.std.errors.timed_out");
  EXPECT_EQ(seen_zone, "Etc/UTC");
  EXPECT_EQ(Data::NativeErrorHelper::GetError(nullptr, boost::none, fallback), nullptr);
  EXPECT_EQ(Data::NativeError(nullptr).ToErrorValue(fallback), nullptr);
}

TEST(NativeErrorTest, ANativeErrorWithoutAValueIsStillAnError) {
  // A reported error must never come out as "no error": the caller would take the call as
  // answered without one.
  auto const sent = Data::NativeErrorHelper::GetError(
      nullptr, Data::NativeError(nullptr), RequestLocalizerHelper::GetDefaultRequestLocalizer());
  ASSERT_NE(sent, nullptr);
  EXPECT_EQ(sent->name(), "com.norval.ormi.std.errors.internal_server_error");
  ASSERT_EQ(sent->messages().size(), 1U);
  EXPECT_EQ(sent->messages().front().id, "ormi.data.native.error.unconvertible");
}

TEST(NativeErrorTest, LocalizesMessageTextsAndKeepsTheRest) {
  auto localizer = std::make_shared<Localizer>();
  localizer->AddTemplate("fr", "test.greeting", "Bonjour {1}");
  // Only the first of the two messages has a French text.
  auto error =
      Data::ErrorValue::Create("com.norval.ormi.std.errors.not_found",
                               {Greeting(), MakeMessage("test.farewell", "Goodbye {1}", "Ada")});
  error->SetField("detail", Data::StringValue::GetInstance("kept"));

  auto const french = Data::NativeErrorHelper::GetError(
      error, boost::none, RequestLocalizer(localizer, Locale({"fr"})));
  ASSERT_NE(french, nullptr);
  EXPECT_EQ(french->name(), error->name());
  std::list<BaseMessage> const messages = french->messages();
  ASSERT_EQ(messages.size(), 2U);
  EXPECT_EQ(messages.front().id, "test.greeting");
  EXPECT_EQ(messages.front().defaultMessage, "Bonjour Ada");
  EXPECT_EQ(messages.front().args, std::list<std::string>{"Ada"});
  EXPECT_EQ(messages.back().defaultMessage, "Goodbye Ada");
  EXPECT_TRUE(french->HasField("detail"));
  // The original is untouched, and a locale without a template gives it back as it is.
  EXPECT_EQ(error->messages().front().defaultMessage, "Hello Ada");
  EXPECT_EQ(Data::NativeErrorHelper::GetError(error, boost::none,
                                              RequestLocalizer(localizer, Locale({"it"}))),
            error);
}

TEST(LocalizerTest, ReadsACatalogueDocumentOrNothingOfAFaultyOne) {
  Localizer localizer;
  localizer.AddCatalogue(R"({"language":"de","messages":{"test.greeting":"Hallo {1}"}})");
  EXPECT_EQ(localizer.Localize(Greeting(), Locale({"de_AT"})), "Hallo Ada");

  for (char const* faulty : {
           R"({"language":"fr","messages":{"test.greeting":"Bonjour {1}")",  // cut short
           R"({"messages":{"test.greeting":"Bonjour {1}"}})",                // no language
           R"({"language":"","messages":{}})",
           R"({"language":"fr","messages":["test.greeting"]})",
           // One bad template: not even the good one before it is added.
           R"({"language":"fr","messages":{"test.greeting":"Bonjour {1}","test.other":7}})",
           R"([])",
       }) {
    EXPECT_THROW(localizer.AddCatalogue(faulty), std::invalid_argument) << faulty;
  }
  EXPECT_EQ(localizer.FindTemplate("fr", "test.greeting"), nullptr);
}

// The placeholders ("{1}", "{2}") a template uses.
std::set<std::string> Placeholders(std::string const& text) {
  static std::regex const kPlaceholder(R"(\{[0-9]+\})");
  return {std::sregex_token_iterator(text.begin(), text.end(), kPlaceholder),
          std::sregex_token_iterator()};
}

TEST(LocalizerTest, TheShippedCatalogueTranslatesKnownIdsWithTheSameArguments) {
  std::ifstream in(ORMI_CATALOGUE_DIR "/de.json");
  std::stringstream text;
  text << in.rdbuf();
  ASSERT_TRUE(in) << ORMI_CATALOGUE_DIR "/de.json";
  Localizer localizer;
  localizer.AddCatalogue(text.str());

  auto const messages = boost::json::parse(text.str()).at("messages").as_object();
  EXPECT_GE(messages.size(), 50U);
  for (auto const& entry : messages) {
    std::string const id(entry.key());
    std::string const english = Message<CoreTag>::DefaultMessageForId(id);
    EXPECT_NE(english, Message<CoreTag>::DefaultMessageForId("no.such.id")) << id;
    EXPECT_EQ(Placeholders(std::string(entry.value().as_string())), Placeholders(english)) << id;
  }
}

}  // namespace
}  // namespace Ormi::L10n
