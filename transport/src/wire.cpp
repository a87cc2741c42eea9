// The status table, the language header and the names of settings in messages.
#include "ormi/transport/wire.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include <boost/algorithm/string/trim.hpp>

#include "ormi/data/error_names.h"
#include "ormi/transport/options.h"

namespace Ormi::Transport {

unsigned StatusForError(boost::string_view error_name) {
  static constexpr struct {
    char const* name;
    unsigned status;
  } kTable[] = {
      {Data::ErrorName::kInvalidArgument, 400},
      {Data::ErrorName::kUnauthenticated, 401},
      {Data::ErrorName::kNotFound, 404},
      {Data::ErrorName::kAlreadyExists, 409},
      {Data::ErrorName::kNotAllowedInCurrentState, 409},
      {Data::ErrorName::kServiceUnavailable, 503},
      {Data::ErrorName::kTimedOut, 504},
      {Data::ErrorName::kError, 500},
      {Data::ErrorName::kInternalServerError, 500},
  };
  for (auto const& row : kTable) {
    if (error_name == row.name) return row.status;
  }
  return 500;
}

namespace {

constexpr std::size_t kMaxLanguages = 16;
constexpr std::size_t kMaxTagBytes = 35;

// "de-DE" as "de_DE"; empty when the tag is not letters and digits in parts joined by '-'.
std::string CatalogueLanguage(boost::string_view tag) {
  if (tag.empty() || tag.size() > kMaxTagBytes || tag.front() == '-' || tag.back() == '-') {
    return {};
  }
  std::string language;
  for (char const c : tag) {
    if (c == '-' || c == '_') {
      language.push_back('_');
    } else if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
      language.push_back(c);
    } else {
      return {};
    }
  }
  return language;
}

// The weight of ";q=0.8"; 1 without one, -1 when it is not a weight.
double Weight(boost::string_view parameters) {
  std::string rest(parameters);
  boost::algorithm::trim(rest);
  if (rest.empty()) return 1.0;
  if (rest.size() < 3 || (rest[0] != 'q' && rest[0] != 'Q') || rest[1] != '=') return -1.0;
  rest.erase(0, 2);
  for (char const c : rest) {
    if (std::isdigit(static_cast<unsigned char>(c)) == 0 && c != '.') return -1.0;
  }
  double weight = -1.0;
  if (std::sscanf(rest.c_str(), "%lf", &weight) != 1) return -1.0;
  return weight <= 1.0 ? weight : -1.0;
}

}  // namespace

std::vector<std::string> LanguagesOf(boost::string_view accept_language) {
  std::vector<std::pair<double, std::string>> weighted;
  while (!accept_language.empty() && weighted.size() < kMaxLanguages) {
    auto const comma = accept_language.find(',');
    boost::string_view entry = accept_language.substr(0, comma);
    accept_language.remove_prefix(comma == boost::string_view::npos ? accept_language.size()
                                                                    : comma + 1);
    auto const semicolon = entry.find(';');
    std::string tag(entry.substr(0, semicolon));
    boost::algorithm::trim(tag);
    double const weight =
        semicolon == boost::string_view::npos ? 1.0 : Weight(entry.substr(semicolon + 1));
    std::string language = CatalogueLanguage(tag);
    if (weight > 0.0 && !language.empty()) weighted.emplace_back(weight, std::move(language));
  }
  std::stable_sort(weighted.begin(), weighted.end(),
                   [](auto const& a, auto const& b) { return a.first > b.first; });
  std::vector<std::string> languages;
  languages.reserve(weighted.size());
  for (auto& entry : weighted) languages.push_back(std::move(entry.second));
  return languages;
}

std::string AcceptLanguage(std::vector<std::string> const& languages) {
  std::string header;
  int rank = 0;
  for (auto const& language : languages) {
    if (language == "C" || language == "POSIX") continue;
    std::string tag = language;
    std::replace(tag.begin(), tag.end(), '_', '-');
    if (!header.empty()) header += ", ";
    header += tag;
    // Falling weights (0.950, 0.900, ...) keep the order for servers that sort by weight.
    if (rank > 0) {
      char weight[16];
      std::snprintf(weight, sizeof weight, ";q=0.%03d", std::max(1, 1000 - 50 * rank));
      header += weight;
    }
    ++rank;
  }
  return header;
}

std::string Quoted(boost::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string quoted;
  quoted.reserve(text.size());
  for (char const c : text) {
    auto const byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      quoted.push_back(c);
    } else {
      quoted += "\\x";
      quoted.push_back(kDigits[byte >> 4U]);
      quoted.push_back(kDigits[byte & 0xFU]);
    }
  }
  return quoted;
}

std::string SettingName(std::string const& member) {
  std::string flag = member;
  for (char& c : flag) {
    if (c == '_') c = '-';
  }
  return member + " (--" + flag + ")";
}

}  // namespace Ormi::Transport
