// Localisation: per-language catalogues of message templates and the locale of a request.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <boost/utility/string_view.hpp>

#include "ormi/message.h"

namespace Ormi::L10n {

// One preferred language, in the "language_TERRITORY" form ("en_US") or "C".
class LanguagePreference {
 public:
  explicit LanguagePreference(std::string language) : language_(std::move(language)) {}
  std::string const& language() const { return language_; }

 private:
  std::string language_;
};

struct LocaleHelpers {
  static LanguagePreference MakeLanguagePreference(std::string language);
};

// A time zone by its database name ("Etc/UTC").
class TimezoneSpec {
 public:
  explicit TimezoneSpec(std::string zone) : zone_(std::move(zone)) {}
  std::string const& zone() const { return zone_; }

 private:
  std::string zone_;
};

// The locale of a request: preferred languages, most preferred first, and a time zone.
class LocaleSpec {
 public:
  LocaleSpec(std::vector<LanguagePreference> languages, TimezoneSpec timezone)
      : languages_(std::move(languages)), timezone_(std::move(timezone)) {}
  std::vector<LanguagePreference> const& languages() const { return languages_; }
  TimezoneSpec const& timezone() const { return timezone_; }

 private:
  std::vector<LanguagePreference> languages_;
  TimezoneSpec timezone_;
};

// Message templates per language and message id. A template uses the brace syntax of the
// message formatter ("{1}" is the message's first argument).
//
// Filled before it is shared; the const operations may then run on any thread.
class Localizer {
 public:
  Localizer() = default;

  void AddTemplate(std::string const& language, std::string const& id, std::string text);
  // Adds the templates of a catalogue document:
  //   {"language": "de", "messages": {"<message id>": "<template>", ...}}
  // Throws std::invalid_argument naming what is wrong when the text is not such a document;
  // nothing is added then.
  void AddCatalogue(boost::string_view json_text);
  bool empty() const { return catalogues_.empty(); }

  // The template of `id` in `language`, or in its base language ("en" for "en_US");
  // null when there is none.
  std::string const* FindTemplate(std::string const& language, std::string const& id) const;

  // The message in the first preferred language that has a template for its id, formatted
  // with the message's arguments; the message's default text when no language has one.
  std::string Localize(BaseMessage const& message, LocaleSpec const& locale) const;

 private:
  // language -> (message id -> template)
  std::map<std::string, std::map<std::string, std::string>> catalogues_;
};

// The localizer and locale that apply to one request.
class RequestLocalizer {
 public:
  RequestLocalizer(std::shared_ptr<Localizer const> localizer, LocaleSpec locale)
      : localizer_(std::move(localizer)), locale_(std::move(locale)) {}
  std::shared_ptr<Localizer const> const& localizer() const { return localizer_; }
  LocaleSpec const& locale() const { return locale_; }

  // The message's text for this request; the default text when there is no localizer.
  std::string Localize(BaseMessage const& message) const;

 private:
  std::shared_ptr<Localizer const> localizer_;
  LocaleSpec locale_;
};

struct RequestLocalizerHelper {
  // A new, empty localizer with the languages "en_US", "C" and the time zone "Etc/UTC".
  static RequestLocalizer GetDefaultRequestLocalizer();
};

// A default request localizer made once and shared, for the conversions that only carry one
// along (no adapt method reads it), so that a call does not build one per conversion. It is
// immutable and lives until the process ends.
RequestLocalizer const& SharedDefaultRequestLocalizer();

}  // namespace Ormi::L10n
