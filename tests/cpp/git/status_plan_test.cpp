// What the snapshot reads from git status and its neighbours: the porcelain listing, the settings
// under which status can be trusted, and the plan of paths to take again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "git/index_listing.h"
#include "git/status_listing.h"
#include "git/status_plan.h"
#include "git/status_settings.h"

namespace trovik::git {
namespace {

using namespace std::string_literals;  // NOLINT(google-build-using-namespace)

struct ListingCase {
  std::string output;
  // "XY|path|source" per entry; nothing when the output must be refused.
  std::optional<std::vector<std::string>> entries;
};

class StatusListing : public testing::TestWithParam<ListingCase> {};

TEST_P(StatusListing, ReadsEachLineOrRefusesTheOutput) {
  const std::optional<std::vector<StatusEntry>> parsed = parse_status_listing(GetParam().output);
  ASSERT_EQ(parsed.has_value(), GetParam().entries.has_value());
  if (!parsed) return;
  std::vector<std::string> entries;
  for (const StatusEntry& e : *parsed) {
    entries.push_back(std::string{e.staged, e.unstaged} + "|" + e.path + "|" + e.source);
  }
  EXPECT_EQ(entries, *GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Status, StatusListing,
    testing::Values(ListingCase{"", std::vector<std::string>{}},
                    ListingCase{" M a.txt\n?? dir/\nD  -dash\n",
                                std::vector<std::string>{" M|a.txt|", "??|dir/|", "D |-dash|"}},
                    ListingCase{"R  old -> \"new name\"\nC  \"a -> b\" -> c\n",
                                std::vector<std::string>{"R |new name|old", "C |c|a -> b"}},
                    ListingCase{"?? \"q\\\"\\\\\\t\\n\\303\\251\"\n?? raw\xe9\n",
                                std::vector<std::string>{"??|q\"\\\t\n\xc3\xa9|", "??|raw\xe9|"}},
                    ListingCase{" M no-final-line-feed", std::nullopt},
                    ListingCase{"?? bare space\n", std::nullopt},
                    ListingCase{"?? \"unterminated\n", std::nullopt},
                    ListingCase{"?? \"\\q\"\n", std::nullopt},
                    ListingCase{"?? \"\\8\"\n", std::nullopt},
                    ListingCase{"R  a -> \n", std::nullopt}, ListingCase{" M\n", std::nullopt}));

class StatusSettings : public testing::TestWithParam<std::pair<std::string, bool>> {};

TEST_P(StatusSettings, TrustOnlyWhatIsCertain) {
  EXPECT_EQ(status_sees_every_change(GetParam().first), GetParam().second) << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(
    Status, StatusSettings,
    testing::Values(
        std::pair{""s, true}, std::pair{"user.name\nx\0core.filemode\nfalse\0"s, true},
        std::pair{"core.trustctime\nfalse\0"s, false}, std::pair{"core.trustctime\0"s, true},
        std::pair{"core.trustctime\n\0"s, false}, std::pair{"core.fsmonitor\ntrue\0"s, false},
        std::pair{"core.fsmonitor\n/hook\0"s, false}, std::pair{"core.fsmonitor\nOff\0"s, true},
        std::pair{"core.checkstat\nminimal\0"s, false},
        std::pair{"core.checkstat\nDefault\0"s, true}, std::pair{"core.ignorestat\ntrue\0"s, false},
        std::pair{"core.ignorecase\ntrue\0core.ignorecase\nfalse\0"s, true},
        std::pair{"status.showuntrackedfiles\nno\0"s, false},
        std::pair{"status.showuntrackedfiles\nall\0"s, true}));

// diff-index records: HEAD's mode and the state, ids left out of what the plan reads.
std::string difference(const std::string& head_mode, char state, const std::string& path) {
  return ":" + head_mode + " 100644 " + std::string(40, '0') + " " + std::string(40, '1') + " " +
         state + '\0' + path + '\0';
}

TEST(StatusPlan, SortsPathsByWhetherHeadHoldsThem) {
  const std::vector<StatusEntry> status = {{'R', ' ', "b", "a"},
                                           {' ', 'M', "c", ""},
                                           {'?', '?', "new/", ""},
                                           {'?', '?', "out/", ""},
                                           {' ', 'M', ".trovik/kept", ""}};
  const std::string differences = difference("100644", 'D', "a") + difference("000000", 'A', "b") +
                                  difference("160000", 'D', "old-module");
  IndexListing listing =
      parse_staged_index_listing("H 160000 "s + std::string(40, '2') + " 0\tmodule\0"s +
                                 "H 100644 " + std::string(40, '3') + " 0\tc\0"s);
  const std::optional<StatusPlan> plan = plan_from_status(status, differences, listing, ".trovik");
  ASSERT_TRUE(plan.has_value());
  EXPECT_EQ(plan->tracked, (std::set<std::string>{"a", "c", "module", "old-module"}));
  EXPECT_EQ(plan->untracked, (std::set<std::string>{"b", "new/", "out/"}));
  EXPECT_EQ(plan->staged, std::set<std::string>{"b"});
  EXPECT_EQ(plan->gitlinks, (std::set<std::string>{"module", "old-module"}));
  EXPECT_TRUE(plan->reset_to_head);
  EXPECT_FALSE(plan_from_status({{' ', 'M', "c", ""}}, "", listing, std::nullopt)->reset_to_head);
}

TEST(StatusPlan, NothingWhereStatusCannotBeTrusted) {
  const IndexListing plain;
  EXPECT_FALSE(plan_from_status({{'U', 'U', "x", ""}}, "", plain, std::nullopt));
  EXPECT_FALSE(plan_from_status({}, difference("100644", 'U', "x"), plain, std::nullopt));
  EXPECT_FALSE(plan_from_status({}, ":100644 truncated", plain, std::nullopt));
  for (const std::string& entry :
       {"h 100644 id 0\ta"s, "S 100644 id 0\ta"s, "M 100644 id 1\ta"s, "S 040000 id 0\tdir/"s}) {
    EXPECT_FALSE(plan_from_status({}, "", parse_staged_index_listing(entry + '\0'), std::nullopt))
        << entry;
  }
}

}  // namespace
}  // namespace trovik::git
