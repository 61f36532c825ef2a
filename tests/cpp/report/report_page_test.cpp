#include "report/report_page.h"

#include <gtest/gtest.h>

#include <string>

#include "report/page_assets.h"

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
  run.status = kAttributeBreakout;
  run.facts = {{"argv", kAttributeBreakout}};
  run.metadata = {{kAttributeBreakout, kScriptBreakout}};
  for (const char* name : {"loss", kScriptBreakout}) {
    RunSeries& series =
        run.series.emplace_back(RunSeries{name, 1, 1, 1, 1, 1, read::SeriesThinning()});
    series.thinned.add(0, 0, 1);
  }
  run.notes = {{1, 5, kAttributeBreakout}};
  run.code_heading = kScriptBreakout;
  run.code_diff = std::string("+") + kAttributeBreakout + "\n";
  return run;
}

TEST(ReportPage, NoTextFromARunBecomesMarkup) {
  ReportInput input;
  input.runs = {hostile_run("aaaaaaaa-1"), hostile_run("bbbbbbbb-2")};
  input.summary = {1, {kScriptBreakout}, {{kAttributeBreakout}, {kAttributeBreakout}}};
  const std::string page = render_report_page(input, "0123abcd");

  EXPECT_EQ(page.find("<script>alert"), std::string::npos);
  EXPECT_EQ(page.find("<img"), std::string::npos);
  EXPECT_EQ(page.find("alert(2)>"), std::string::npos);
  EXPECT_EQ(page.find("=\"><"), std::string::npos);
  // The data element and the one script that runs, each closed once.
  EXPECT_EQ(count(page, "<script"), 2u);
  EXPECT_EQ(count(page, "</script>"), 2u);
  EXPECT_EQ(count(page, "<script type=\"application/json\" id=\"trovik-data\">"), 1u);
  EXPECT_NE(page.find("script-src 'nonce-0123abcd'"), std::string::npos);
  EXPECT_NE(page.find("<script nonce=\"0123abcd\">"), std::string::npos);
  EXPECT_NE(page.find("default-src 'none'"), std::string::npos);
}

TEST(ReportPage, CarriesItsScriptStyleAndTheChartLibrarysNotice) {
  ReportInput input;
  input.runs.push_back(hostile_run("run-1"));
  const std::string page = render_report_page(input, "n");
  EXPECT_NE(page.find(kPageScript), std::string::npos);
  EXPECT_NE(page.find("Permission is hereby granted"), std::string::npos);
  EXPECT_NE(page.find("dygraphs"), std::string::npos);
  // The script is embedded raw: nothing in it may end its element or open a comment.
  for (const char* breakout : {"</script", "</SCRIPT", "<!--"}) {
    EXPECT_EQ(std::string(kPageScript).find(breakout), std::string::npos) << breakout;
  }
  // Without the script the runs are still there as tables.
  EXPECT_NE(page.find("<table class=\"summary\" id=\"run-table\">"), std::string::npos);
  EXPECT_NE(page.find("<noscript>"), std::string::npos);
}

TEST(ReportPage, SaysWhatItLeftOut) {
  ReportInput input;
  ReportRun& run = input.runs.emplace_back(hostile_run("r"));
  run.series_left_out = 199'000;
  run.notes_left_out = 3;
  const std::string page = render_report_page(input, "n");
  EXPECT_NE(page.find("199000 series of 1 run are left out"), std::string::npos);
  EXPECT_NE(page.find("3 notes are left out"), std::string::npos);
}

}  // namespace
}  // namespace trovik::report
