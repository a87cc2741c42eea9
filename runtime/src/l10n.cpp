#include "ormi/l10n/localizer.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>

namespace Ormi::L10n {

LanguagePreference LocaleHelpers::MakeLanguagePreference(std::string language) {
  return LanguagePreference(std::move(language));
}

void Localizer::AddTemplate(std::string const& language, std::string const& id, std::string text) {
  catalogues_[language][id] = std::move(text);
}

void Localizer::AddCatalogue(boost::string_view json_text) {
  boost::json::error_code error;
  boost::json::value const document =
      boost::json::parse(boost::json::string_view(json_text.data(), json_text.size()), error);
  if (error) throw std::invalid_argument("a catalogue is not JSON: " + error.message());
  auto const* root = document.if_object();
  auto const* language = root ? root->if_contains("language") : nullptr;
  auto const* messages = root ? root->if_contains("messages") : nullptr;
  if (!language || !language->is_string() || language->get_string().empty() || !messages ||
      !messages->is_object()) {
    throw std::invalid_argument(
        R"(a catalogue is an object with a "language" text and a "messages" object)");
  }
  std::map<std::string, std::string> templates;
  for (auto const& entry : messages->get_object()) {
    if (!entry.value().is_string()) {
      throw std::invalid_argument("the template of message \"" + std::string(entry.key()) +
                                  "\" is not a text");
    }
    templates.emplace(entry.key(), entry.value().get_string());
  }
  auto& catalogue = catalogues_[std::string(language->get_string())];
  for (auto& entry : templates) catalogue[entry.first] = std::move(entry.second);
}

std::string const* Localizer::FindTemplate(std::string const& language,
                                           std::string const& id) const {
  auto catalogue = catalogues_.find(language);
  if (catalogue == catalogues_.end()) {
    auto const separator = language.find('_');
    if (separator == std::string::npos) {
      return nullptr;
    }
    catalogue = catalogues_.find(language.substr(0, separator));
    if (catalogue == catalogues_.end()) {
      return nullptr;
    }
  }
  auto const entry = catalogue->second.find(id);
  return entry == catalogue->second.end() ? nullptr : &entry->second;
}

std::string Localizer::Localize(BaseMessage const& message, LocaleSpec const& locale) const {
  for (auto const& preference : locale.languages()) {
    if (std::string const* text = FindTemplate(preference.language(), message.id)) {
      std::vector<std::string> const args(message.args.begin(), message.args.end());
      return Detail::Format(*text, args.data(), args.size());
    }
  }
  return message.defaultMessage;
}

std::string RequestLocalizer::Localize(BaseMessage const& message) const {
  return localizer_ ? localizer_->Localize(message, locale_) : message.defaultMessage;
}

RequestLocalizer RequestLocalizerHelper::GetDefaultRequestLocalizer() {
  std::vector<LanguagePreference> languages{LocaleHelpers::MakeLanguagePreference("en_US"),
                                            LocaleHelpers::MakeLanguagePreference("C")};
  return {std::make_shared<Localizer>(), LocaleSpec(std::move(languages), TimezoneSpec("Etc/UTC"))};
}

RequestLocalizer const& SharedDefaultRequestLocalizer() {
  // Never destroyed: conversions made while static objects are torn down may still use it.
  static RequestLocalizer const* const shared =
      new RequestLocalizer(RequestLocalizerHelper::GetDefaultRequestLocalizer());
  return *shared;
}

}  // namespace Ormi::L10n
