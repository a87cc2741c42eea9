#include "ormi/l10n/localizer.h"

#include <string>
#include <vector>

namespace Ormi::L10n {

LanguagePreference LocaleHelpers::MakeLanguagePreference(std::string language) {
  return LanguagePreference(std::move(language));
}

void Localizer::AddTemplate(std::string const& language, std::string const& id, std::string text) {
  catalogues_[language][id] = std::move(text);
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

}  // namespace Ormi::L10n
