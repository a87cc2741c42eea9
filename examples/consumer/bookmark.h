// A structure of the consumer's own, written by hand against the field-visiting forms that the
// library's adapters call, so that it converts and is defined like a generated one.
#pragma once

#include <list>
#include <memory>
#include <string>

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include "ormi/data/base_native.h"
#include "ormi/data/struct_type_info.h"
#include "ormi/data/value.h"
#include "ormi/types.h"

namespace Consumer {

struct Bookmark : Ormi::Data::BaseNative {
  std::string title;
  boost::optional<std::string> url;
  std::list<std::string> tags;
  Ormi::OptionalPtr<Bookmark const> parent;

  struct AdapterHelper {
    // The declared wire names, sorted byte-wise: every other field of a value is kept as an
    // unknown field.
    static constexpr boost::string_view kKnownNames[] = {"parent", "tags", "title", "url"};

    // To a value.
    template <typename Helper>
    static void AddFields(Helper& helper, Bookmark const* native,
                          std::shared_ptr<Ormi::Data::StructValue>& value) {
      helper.AddField("title", &native->title);
      helper.AddField("url", &native->url);
      helper.AddField("tags", &native->tags);
      helper.AddField("parent", &native->parent);
      Ormi::Data::BaseNative::AdapterHelper::AddUnknownFields(*native, value);
    }

    // From a value.
    template <typename Helper>
    static void AddFields(Helper& helper, Bookmark* native) {
      helper.AddFieldInt("title", &native->title, helper.messages());
      helper.AddField("url", &native->url);
      helper.AddFieldInt("tags", &native->tags, helper.messages());
      helper.AddField("parent", &native->parent);
      Ormi::Data::BaseNative::AdapterHelper::AddUnknownFields(kKnownNames, helper.value(),
                                                              native->unknownFields);
    }

    // Its definition.
    template <typename Helper>
    static void AddFields(Helper& helper) {
      helper.template AddField<std::string>("title");
      helper.template AddField<boost::optional<std::string>>("url");
      helper.template AddField<std::list<std::string>>("tags");
      helper.template AddField<Ormi::OptionalPtr<Bookmark const>>("parent");
    }
  };
};

}  // namespace Consumer

template <>
struct Ormi::Data::TypeInfo<Consumer::Bookmark> : Ormi::Data::StructTypeInfo<Consumer::Bookmark> {
  static std::string name() { return "com.example.consumer.bookmark"; }
};
