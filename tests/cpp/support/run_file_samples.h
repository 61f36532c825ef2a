#pragma once

// Run files made up for reading tests, and a summary written out whole, so that two summaries
// are compared field by field in one assertion with a readable difference.

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "json/writer.h"
#include "read/run_summary.h"

namespace trovik::testing_support {

// Numbers whose text a double does not keep: digits beyond 2^64, negative zero, subnormals,
// 17 significant digits, exponents.
inline const std::vector<std::string> kAwkwardNumbers = {
    "0",
    "18446744073709551616",
    "-0.0",
    "1e-320",
    "0.1234567890123456",
    "-7",
    "2.5E3",
    "-98765432109876543210",
    "1.0",
    "4.9e-324",
    "0.30000000000000004",
    "123",
    "-1234567890123456789012345678901234567890"};

// A run file of `records` lines after its run_start: many series (some nested, some only in a
// few records), steps present or not, notes, the odd bad line.
inline std::vector<std::string> sample_run_lines(unsigned seed, size_t records,
                                                 size_t series = 40) {
  std::mt19937 random(seed);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  std::vector<std::string> lines = {
      R"({"created_at":"2024-03-05T07:08:09.120+00:00","elapsed_ms":0,"experiment_name":"s",)"
      R"("kind":"run_start","run_id":"r","schema_version":1,"value":{"metadata":{"lr":0.1}}})"};
  for (size_t i = 0; i < records; ++i) {
    if (pick(25) == 0) {
      lines.emplace_back(pick(2) == 0 ? "not json" : "[1,2]");
      continue;
    }
    std::string value = "{";
    if (pick(3) != 0) value += "\"step\":" + std::to_string(i * 10) + ",";
    const size_t members = 1 + pick(6);
    for (size_t m = 0; m < members; ++m) {
      const size_t name = pick(series);
      const std::string number = kAwkwardNumbers[pick(kAwkwardNumbers.size())];
      const std::string member = "\"s" + std::to_string(name) + "\":" + number;
      value += (name % 4 == 0 ? "\"val\":{" + member + "}" : member) + ",";
    }
    value.back() = '}';
    lines.push_back(R"({"created_at":"t)" + std::to_string(i) + R"(","elapsed_ms":)" +
                    std::to_string(i) + R"(,"kind":"track",)" +
                    (pick(7) == 0 ? R"("note":"n)" + std::to_string(i) + "\"," : "") +
                    R"("value":)" + value + "}");
  }
  return lines;
}

inline std::string joined_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  return text;
}

// Everything a summary holds, doubles by their bits, one fact a line.
inline std::string summary_text(const read::RunSummary& run) {
  std::string out;
  auto add = [&](const std::string& text) { out += text + '\n'; };
  auto bits = [](double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%a", value);
    return std::string(text);
  };
  add(run.path + " " + run.run_id + " " + run.name + " " + run.created_at);
  add(run.run_start ? json::to_json_text(*run.run_start) : "no run_start");
  add("elapsed " + (run.elapsed_ms ? std::to_string(*run.elapsed_ms) : "-") + " records " +
      std::to_string(run.records) + " bad " + std::to_string(run.bad_lines) + " torn " +
      std::to_string(run.torn) + " tracks " + std::to_string(run.track_records));
  for (const read::SeriesSummary& s : run.series) {
    add(s.name + " n" + std::to_string(s.count) + " " + bits(s.first) + " " + bits(s.last) + " " +
        bits(s.min) + " " + bits(s.max) + " steps " + std::to_string(s.first_step) + " " +
        std::to_string(s.last_step) + " " + std::to_string(s.min_step) + " " +
        std::to_string(s.max_step) + " tokens " + std::string(s.first_token.view()) + " " +
        std::string(s.last_token.view()) + " " + std::string(s.min_token.view()) + " " +
        std::string(s.max_token.view()));
    for (size_t i = 0; i < s.points.size(); ++i) {
      const read::SeriesPoint& p = s.points[i];
      add("  " + std::to_string(p.step) + " " + bits(p.value) + " " + std::to_string(p.elapsed_ms) +
          " " + std::to_string(p.track_index) + " " + std::to_string(p.step_from_index) + " " +
          (s.point_token_ends.empty() ? "" : std::string(s.point_token(i))));
    }
  }
  for (const read::Note& note : run.notes) {
    add("note " + note.text + " " + std::to_string(note.elapsed_ms) + " " +
        std::to_string(note.step) + " " + std::to_string(note.step_from_index));
  }
  for (const std::string& time : run.track_times) add("time " + time);
  return out;
}

}  // namespace trovik::testing_support
