#include "git/status_settings.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <optional>
#include <string>

namespace trovik::git {
namespace {

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

bool is_one_of(std::string_view value, std::initializer_list<std::string_view> words) {
  return std::ranges::any_of(
      words, [&](std::string_view word) { return equals_ignoring_case(value, word); });
}

// A key given without "=" (nothing after its name) is true to git.
bool is_true(const std::optional<std::string>& value) {
  return !value || is_one_of(*value, {"true", "yes", "on", "1"});
}

bool is_false(const std::optional<std::string>& value) {
  return value && is_one_of(*value, {"false", "no", "off", "0"});
}

}  // namespace

bool status_sees_every_change(std::string_view config_listing) {
  // The last value of a key is the one git uses; keys come with section and name in lower case.
  std::map<std::string, std::optional<std::string>, std::less<>> last;
  while (!config_listing.empty()) {
    const size_t end = config_listing.find('\0');
    const std::string_view record = config_listing.substr(0, end);
    config_listing.remove_prefix(end == std::string_view::npos ? config_listing.size() : end + 1);
    const size_t newline = record.find('\n');
    std::optional<std::string> value;
    if (newline != std::string_view::npos) value = std::string(record.substr(newline + 1));
    last[std::string(record.substr(0, newline))] = std::move(value);
  }
  const auto setting = [&](std::string_view key) -> const std::optional<std::string>* {
    const auto found = last.find(key);
    return found == last.end() ? nullptr : &found->second;
  };
  const auto unset_or = [&](std::string_view key, auto&& accepted) {
    const std::optional<std::string>* value = setting(key);
    return value == nullptr || accepted(*value);
  };
  return unset_or("core.fsmonitor", is_false) && unset_or("core.ignorestat", is_false) &&
         unset_or("core.ignorecase", is_false) && unset_or("core.trustctime", is_true) &&
         unset_or("core.checkstat",
                  [](const std::optional<std::string>& v) {
                    return v && equals_ignoring_case(*v, "default");
                  }) &&
         unset_or("status.showuntrackedfiles", [](const std::optional<std::string>& v) {
           return v && (*v == "normal" || *v == "all");
         });
}

}  // namespace trovik::git
