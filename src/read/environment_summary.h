#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json/value.h"

namespace trovik::read {

// An environment record's value as a few labelled lines for people: python, platform, packages
// (how many, which editable), gpus, variables. Parts the record lacks are left out. Texts are as
// recorded: quote them for where they are shown.
std::vector<std::pair<std::string, std::string>> environment_facts(const json::Value& environment);

// The members of one of its objects ("packages", "variables") as name -> text (a string as it is,
// anything else as JSON); empty when it has no such object.
std::map<std::string, std::string, std::less<>> environment_entries(const json::Value& environment,
                                                                    std::string_view member);

}  // namespace trovik::read
