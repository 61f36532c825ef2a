#include "serve/request_gate.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "serve/host_check.h"
#include "serve/routes.h"

namespace trovik::serve {
namespace {

const std::string kToken(32, 'a');

ListenAddress address(const char* text) { return parse_listen_address(text).value(); }

GateSettings settings() { return {AccessToken(kToken), address("127.0.0.1"), 8430, {}}; }

TEST(ConstantTimeEqual, ComparesEveryByteAndTheLength) {
  EXPECT_TRUE(constant_time_equal(kToken, std::string(32, 'a')));
  EXPECT_FALSE(constant_time_equal(kToken, std::string(31, 'a') + "b"));
  EXPECT_FALSE(constant_time_equal(kToken, "b" + std::string(31, 'a')));
  EXPECT_FALSE(constant_time_equal(kToken, std::string(31, 'a')));
  EXPECT_FALSE(constant_time_equal(kToken, ""));
}

TEST(AccessToken, Holds128RandomBitsAsHex) {
  const AccessToken first = AccessToken::generate().value();
  EXPECT_EQ(first.text().find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(first.text().size(), 32u);
  EXPECT_NE(first.text(), AccessToken::generate().value().text());
}

struct HostCase {
  const char* bound;
  uint16_t port;
  const char* host;
  bool allowed;
};

void PrintTo(const HostCase& c, std::ostream* out) { *out << c.bound << " " << c.host; }

class HostHeader : public testing::TestWithParam<HostCase> {};

TEST_P(HostHeader, NamesThisServerOnly) {
  const HostCase& c = GetParam();
  EXPECT_EQ(host_is_allowed(c.host, address(c.bound), c.port), c.allowed);
}

INSTANTIATE_TEST_SUITE_P(Forms, HostHeader,
                         testing::Values(HostCase{"127.0.0.1", 8430, "127.0.0.1:8430", true},
                                         HostCase{"127.0.0.1", 8430, "localhost:8430", true},
                                         HostCase{"127.0.0.1", 8430, "LocalHost:8430", true},
                                         HostCase{"127.0.0.1", 8430, "127.0.0.1:8431", false},
                                         HostCase{"127.0.0.1", 8430, "127.0.0.1", false},
                                         HostCase{"127.0.0.1", 8430, "127.0.0.1:08430", false},
                                         HostCase{"127.0.0.1", 8430, "evil.example:8430", false},
                                         HostCase{"127.0.0.1", 8430, "localhost.:8430", false},
                                         HostCase{"127.0.0.1", 8430, "127.1:8430", false},
                                         HostCase{"127.0.0.1", 8430, "[::1]:8430", false},
                                         HostCase{"127.0.0.1", 8430, "", false},
                                         HostCase{"127.0.0.1", 80, "localhost", true},
                                         HostCase{"::1", 8430, "[::1]:8430", true},
                                         HostCase{"::1", 8430, "[0:0::1]:8430", true},
                                         HostCase{"::1", 8430, "::1:8430", false},
                                         HostCase{"::1", 8430, "[::1:8430", false},
                                         HostCase{"10.1.2.3", 8430, "10.1.2.3:8430", true},
                                         HostCase{"10.1.2.3", 8430, "10.1.2.4:8430", false},
                                         HostCase{"0.0.0.0", 8430, "192.168.7.9:8430", true},
                                         HostCase{"0.0.0.0", 8430, "[fe80::1]:8430", true},
                                         HostCase{"0.0.0.0", 8430, "box.lan:8430", false}));

TEST(ListenAddress, TakesAddressesNotNames) {
  EXPECT_TRUE(address("127.0.0.2").loopback);
  EXPECT_TRUE(address("::").wildcard);
  EXPECT_EQ(address("0:0::1").url_form(), "[::1]");
  EXPECT_FALSE(address("192.168.1.1").loopback);
  EXPECT_FALSE(parse_listen_address("localhost").ok());
  EXPECT_FALSE(parse_listen_address("127.0.0.1 ").ok());
}

struct GateCase {
  const char* name;
  RequestFacts request;
  GateVerdict::Outcome outcome;
  http::status status;
  const char* location = "";
};

void PrintTo(const GateCase& c, std::ostream* out) { *out << c.name; }

// The texts a request's views point into.
const std::string kCookie = "trovik-8430=" + kToken;
const std::string kCookieAmongOthers = "a=1;  trovik-8430=" + kToken + " ; b=2";
const std::string kWrongCookie = "trovik-8430=" + std::string(32, 'b');
const std::string kOtherPortsCookie = "trovik-8431=" + kToken;
const std::string kTokenUrl = "/?token=" + kToken;
const std::string kTokenUrlWithRun = "/api/series?run=ab-12&token=" + kToken;
const std::string kLongTarget = "/" + std::string(3000, 'a');

RequestFacts get(std::string_view target, std::string_view cookie = kCookie) {
  RequestFacts facts;
  facts.method = http::verb::get;
  facts.target = target;
  facts.hosts = {"127.0.0.1:8430"};
  if (!cookie.empty()) facts.cookies = {cookie};
  facts.field_count = 2;
  return facts;
}

template <typename Change>
RequestFacts changed(RequestFacts facts, Change change) {
  change(facts);
  return facts;
}

class Gate : public testing::TestWithParam<GateCase> {};

TEST_P(Gate, DecidesBeforeAnyRoute) {
  const GateCase& c = GetParam();
  const GateVerdict verdict = check_request(c.request, settings());
  EXPECT_EQ(verdict.outcome, c.outcome);
  EXPECT_EQ(verdict.status, c.status);
  EXPECT_EQ(verdict.location, c.location);
}

using O = GateVerdict::Outcome;
using S = http::status;
INSTANTIATE_TEST_SUITE_P(
    Requests, Gate,
    testing::Values(
        GateCase{"cookie", get("/"), O::kAdmitted, S::ok},
        GateCase{"cookie_among_others", get("/", kCookieAmongOthers), O::kAdmitted, S::ok},
        GateCase{"no_token", get("/", ""), O::kRefused, S::forbidden},
        GateCase{"wrong_cookie", get("/", kWrongCookie), O::kRefused, S::forbidden},
        GateCase{"other_ports_cookie", get("/", kOtherPortsCookie), O::kRefused, S::forbidden},
        GateCase{"url_token", get(kTokenUrl, ""), O::kRedirected, S::see_other, "/"},
        GateCase{"url_token_keeps_other_parameters", get(kTokenUrlWithRun, ""), O::kRedirected,
                 S::see_other, "/api/series?run=ab-12"},
        GateCase{"wrong_url_token", get("/?token=abc", ""), O::kRefused, S::forbidden},
        GateCase{"foreign_host",
                 changed(get("/"), [](RequestFacts& r) { r.hosts = {"evil.example:8430"}; }),
                 O::kRefused, S::forbidden},
        GateCase{"two_hosts",
                 changed(get("/"), [](RequestFacts& r) { r.hosts.push_back("127.0.0.1:8430"); }),
                 O::kRefused, S::forbidden},
        GateCase{"no_host", changed(get("/"), [](RequestFacts& r) { r.hosts.clear(); }),
                 O::kRefused, S::forbidden},
        GateCase{"post", changed(get("/"), [](RequestFacts& r) { r.method = http::verb::post; }),
                 O::kRefused, S::method_not_allowed},
        GateCase{"post_without_token",
                 changed(get("/", ""), [](RequestFacts& r) { r.method = http::verb::post; }),
                 O::kRefused, S::forbidden},
        GateCase{"head", changed(get("/"), [](RequestFacts& r) { r.method = http::verb::head; }),
                 O::kAdmitted, S::ok},
        GateCase{"body", changed(get("/"), [](RequestFacts& r) { r.has_body = true; }), O::kRefused,
                 S::payload_too_large},
        GateCase{"many_fields", changed(get("/"), [](RequestFacts& r) { r.field_count = 65; }),
                 O::kRefused, S::request_header_fields_too_large},
        GateCase{"long_target", get(kLongTarget), O::kRefused, S::uri_too_long},
        GateCase{"dot_dot", get("/../etc/passwd"), O::kRefused, S::bad_request},
        GateCase{"dot", get("/./"), O::kRefused, S::bad_request},
        GateCase{"encoded_dot_dot", get("/%2e%2e/etc"), O::kRefused, S::bad_request},
        GateCase{"encoded_slash", get("/api%2fchanges"), O::kRefused, S::bad_request},
        GateCase{"double_slash", get("//etc"), O::kRefused, S::bad_request},
        GateCase{"absolute_form", get("http://127.0.0.1:8430/"), O::kRefused, S::bad_request},
        GateCase{"encoded_query", get("/api/series?run=%2e%2e"), O::kRefused, S::bad_request}),
    [](const testing::TestParamInfo<GateCase>& info) { return std::string(info.param.name); });

struct RouteCase {
  const char* target;
  ErrorKind failure;  // kInternalFault: none expected
  Route::Kind kind = Route::Kind::kPage;
  uint64_t since = 0;
  const char* run_id = "";
};

void PrintTo(const RouteCase& c, std::ostream* out) { *out << c.target; }

class Routes : public testing::TestWithParam<RouteCase> {};

TEST_P(Routes, MapPathsToRoutesNeverToFiles) {
  const RouteCase& c = GetParam();
  const std::optional<RequestTarget> target = parse_request_target(c.target);
  ASSERT_TRUE(target.has_value());
  const Result<Route> route = route_request(*target);
  if (c.failure != ErrorKind::kInternalFault) {
    ASSERT_FALSE(route.ok());
    EXPECT_EQ(route.status().kind(), c.failure);
    return;
  }
  ASSERT_TRUE(route.ok()) << route.status().ToString();
  EXPECT_EQ(route.value().kind, c.kind);
  EXPECT_EQ(route.value().since, c.since);
  EXPECT_EQ(route.value().run_id, c.run_id);
}

constexpr ErrorKind kNone = ErrorKind::kInternalFault;
INSTANTIATE_TEST_SUITE_P(
    Targets, Routes,
    testing::Values(RouteCase{"/", kNone, Route::Kind::kPage},
                    RouteCase{"/?x=1", kNone, Route::Kind::kPage},
                    RouteCase{"/api/changes", kNone, Route::Kind::kChanges, 0},
                    RouteCase{"/api/changes?since=42", kNone, Route::Kind::kChanges, 42},
                    RouteCase{"/api/changes?since=-1", ErrorKind::kValueError},
                    RouteCase{"/api/changes?since=", ErrorKind::kValueError},
                    RouteCase{"/api/changes?since=99999999999999999999", ErrorKind::kValueError},
                    RouteCase{"/api/series?run=0b1c-9f", kNone, Route::Kind::kSeries, 0, "0b1c-9f"},
                    RouteCase{"/api/series", ErrorKind::kValueError},
                    RouteCase{"/api/series?run=a.b", ErrorKind::kValueError},
                    RouteCase{"/favicon.ico", kNone, Route::Kind::kIcon},
                    RouteCase{"/index.html", ErrorKind::kNotFound},
                    RouteCase{"/api/changes/x", ErrorKind::kNotFound}));

}  // namespace
}  // namespace trovik::serve
