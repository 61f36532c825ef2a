#include "report/report_page.h"

#include <gtest/gtest.h>

#include <string>

namespace trovik::report {
namespace {

constexpr char kScriptBreakout[] = "</script><script>alert(1)</script>";
constexpr char kAttributeBreakout[] = "\"><img src=x onerror=alert(2)>";

size_t count(const std::string& text, const std::string& needle) {
  size_t found = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++found;
  }
  return found;
}

ReportRun hostile_run(const std::string& id) {
  ReportRun run;
  run.run_id = id;
  run.name = kScriptBreakout;
  run.facts = {{"argv", kAttributeBreakout}};
  run.metadata = {{kAttributeBreakout, kScriptBreakout}};
  run.series = {{"loss", {{0, 0, 1}, {1, 5, 0.5}}}, {kScriptBreakout, {{0, 0, 2}}}};
  run.notes = {{1, 5, kAttributeBreakout}};
  run.code_heading = kScriptBreakout;
  run.code_diff = std::string("+") + kAttributeBreakout + "\n";
  return run;
}

TEST(ReportPage, NoTextFromARunBecomesMarkup) {
  ReportInput input;
  input.runs = {hostile_run("aaaaaaaa-1"), hostile_run("bbbbbbbb-2")};
  input.summary = {{kScriptBreakout}, {{kAttributeBreakout}, {kAttributeBreakout}}};
  const std::string page = render_report_page(input, "0123abcd");

  EXPECT_EQ(page.find("<script>alert"), std::string::npos);
  EXPECT_EQ(page.find("<img"), std::string::npos);
  EXPECT_EQ(page.find("alert(2)>"), std::string::npos);
  EXPECT_EQ(page.find("=\"><"), std::string::npos);
  EXPECT_EQ(count(page, "<script"), 1u);
  EXPECT_EQ(count(page, "</script>"), 1u);
  EXPECT_NE(page.find("script-src 'nonce-0123abcd'"), std::string::npos);
  EXPECT_NE(page.find("<script nonce=\"0123abcd\">"), std::string::npos);
  EXPECT_NE(page.find("default-src 'none'"), std::string::npos);
}

TEST(ReportPage, OneChartPerSeriesAndOneLinePerRunThatHasIt) {
  ReportInput input;
  for (int i = 0; i < 12; ++i) {
    ReportRun run;
    run.run_id = "run-" + std::to_string(i);
    run.name = "r" + std::to_string(i);
    run.series.push_back({"loss", {{0, 0, 1.0 * i}, {1, 1, 2.0}}});
    if (i % 2 == 0) run.series.push_back({"val.acc", {{0, 0, 0.5}}});
    input.runs.push_back(std::move(run));
  }
  const std::string page = render_report_page(input, "n");
  EXPECT_EQ(count(page, "<svg class=\"chart\""), 2u);
  EXPECT_EQ(count(page, "<polyline class=\"line"), 12u + 6u);
  // Constant one-point series are still drawn, as dots.
  EXPECT_EQ(count(page, "<circle class=\"dot"), 6u);
  // Past the palette, colours come back dashed.
  EXPECT_EQ(count(page, "<polyline class=\"line c1 dashed\""), 1u);
  EXPECT_EQ(count(page, "<li data-run=\"11\">"), 1u);
}

}  // namespace
}  // namespace trovik::report
