#pragma once

// Run files made up for reading tests, and a summary written out whole, so that two summaries
// are compared field by field in one assertion with a readable difference.

#include <cstdint>
#include <random>
#include <sstream>
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
    if (pick(40) == 0) {
      // An environment record, or an end record that names an ending or does not.
      const size_t kind = pick(3);
      const std::string value = kind == 0 ? R"({"packages":{"p":")" + std::to_string(i) + R"("}})"
                                          : std::string(R"({"exception":null,"status":")") +
                                                (kind == 1 ? "failed" : "none of them") + R"("})";
      lines.push_back(R"({"elapsed_ms":)" + std::to_string(i) + R"(,"kind":")" +
                      (kind == 0 ? "environment" : "run_end") + R"(","value":)" + value + "}");
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

// Everything a summary holds, doubles by their bits, a line per series, point and note.
inline std::string summary_text(const read::RunSummary& run) {
  std::ostringstream out;
  out << std::hexfloat << run.path << ' ' << run.run_id << ' ' << run.name << ' ' << run.created_at
      << '\n'
      << (run.run_start ? json::to_json_text(*run.run_start) : "-") << '\n'
      << run.elapsed_ms.value_or(UINT64_MAX) << ' ' << run.records << ' ' << run.bad_lines << ' '
      << run.torn << ' ' << run.track_records << ' ' << run.latest_step.value_or(-1) << '\n'
      << (run.run_end ? json::to_json_text(*run.run_end) : "-") << ' '
      << run.run_end_elapsed_ms.value_or(UINT64_MAX) << ' ' << run.records_after_end << ' '
      << (run.environment ? json::to_json_text(*run.environment) : "-") << '\n';
  for (const read::SeriesSummary& s : run.series) {
    out << s.name << ' ' << s.count << ' ' << s.first << ' ' << s.last << ' ' << s.min << ' '
        << s.max << ' ' << s.first_step << ' ' << s.last_step << ' ' << s.min_step << ' '
        << s.max_step << ' ' << s.first_token.view() << ' ' << s.last_token.view() << ' '
        << s.min_token.view() << ' ' << s.max_token.view() << ' ' << s.index_steps << '\n';
    for (size_t i = 0; i < s.points.size(); ++i) {
      const read::SeriesPoint& p = s.points[i];
      out << ' ' << p.step << ' ' << p.value << ' ' << p.elapsed_ms << ' ' << p.track_index << ' '
          << p.step_from_index << ' '
          << (s.point_token_ends.empty() ? std::string_view() : s.point_token(i)) << '\n';
    }
  }
  for (const read::Note& note : run.notes) {
    out << note.text << ' ' << note.elapsed_ms << ' ' << note.step << ' ' << note.step_from_index
        << '\n';
  }
  for (const std::string& time : run.track_times) out << time << '\n';
  return out.str();
}

}  // namespace trovik::testing_support
