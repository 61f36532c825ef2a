// trovik export [RUN...]: every series point as a tidy row, for pandas, DuckDB or Spark.

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/failure.h"
#include "cli/output.h"
#include "json/writer.h"
#include "read/run_batch.h"
#include "read/run_reference.h"
#include "read/run_summary_builder.h"

namespace trovik::cli {
namespace {

struct ExportOptions {
  std::vector<std::string> runs;
  std::string format = "csv";
};

void csv_field(std::string_view text, std::string& out) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// A point's number as the file writes it: a JSON number, so it stands as it is in CSV and NDJSON.
void write_point_number(const read::SeriesSummary& series, size_t index, std::string& out) {
  if (index < series.point_token_ends.size()) {
    out += series.point_token(index);
  } else {
    json::write_double(series.points[index].value, out);
  }
}

// The run's rows in file order: each track record's points, series by series.
void write_rows(const read::RunSummary& run, bool csv, std::string& out) {
  struct Cursor {
    const read::SeriesSummary* series;
    size_t next;
  };
  std::vector<Cursor> cursors;
  for (const read::SeriesSummary& s : run.series) cursors.push_back({&s, 0});
  for (uint64_t record = 0; record < run.track_records; ++record) {
    const std::string& created_at = run.track_times[record];
    for (Cursor& cursor : cursors) {
      if (cursor.next == cursor.series->points.size()) continue;
      const read::SeriesPoint& point = cursor.series->points[cursor.next];
      if (point.track_index != record) continue;
      ++cursor.next;
      if (csv) {
        csv_field(run.run_id, out);
        out += ',';
        csv_field(run.name, out);
        out += ',' + std::to_string(point.step) + ',' + std::to_string(point.elapsed_ms) + ',';
        csv_field(created_at, out);
        out += ',';
        csv_field(cursor.series->name, out);
        out += ',';
        write_point_number(*cursor.series, cursor.next - 1, out);
        out += '\n';
      } else {
        out += "{\"run_id\":";
        json::write_string(run.run_id, out);
        out += ",\"name\":";
        json::write_string(run.name, out);
        out += ",\"step\":" + std::to_string(point.step) +
               ",\"elapsed_ms\":" + std::to_string(point.elapsed_ms) + ",\"created_at\":";
        json::write_string(created_at, out);
        out += ",\"series\":";
        json::write_string(cursor.series->name, out);
        out += ",\"value\":";
        write_point_number(*cursor.series, cursor.next - 1, out);
        out += "}\n";
      }
    }
    if (out.size() > (size_t{1} << 20)) {
      write_out_utf8(out);
      out.clear();
    }
  }
}

Status run_export(const ExportOptions& options, const CommandContext& context) {
  const bool csv = options.format == "csv";
  const std::vector<read::RunFileEntry> catalog = context.runs();
  std::vector<std::string> paths;
  if (options.runs.empty()) {
    for (const read::RunFileEntry& entry : catalog) paths.push_back(entry.path);
  }
  for (const std::string& reference : options.runs) {
    Result<read::RunFileEntry> entry = read::resolve_run(reference, catalog);
    if (!entry.ok()) return std::move(entry).status();
    paths.push_back(entry.value().path);
  }
  std::string out;
  if (csv) out += "run_id,name,step,elapsed_ms,created_at,series,value\n";
  for (const std::string& path : paths) {
    Result<read::RunSummary> run =
        read::read_run_file(path, read::Detail::kFull, read::reading_threads());
    if (!run.ok()) {
      report_warning("skipped " + path + ": " + run.status().message());
      continue;
    }
    write_rows(run.value(), csv, out);
    if (!standard_output_status().ok()) return Status::Ok();
  }
  write_out_utf8(out);
  return Status::Ok();
}

}  // namespace

void register_export(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<ExportOptions>();
  CLI::App* exporter =
      app.add_subcommand("export",
                         "Print every series point as a tidy row (run_id, name, step, elapsed_ms, "
                         "created_at, series, value)");
  exporter->add_option("runs", options->runs, "runs to export (default: every run)")
      ->type_name("RUN");
  exporter->add_option("--format", options->format, "csv (default) or ndjson")
      ->check(CLI::IsMember({"csv", "ndjson"}))
      ->type_name("FORMAT");
  exporter->callback([options, &context] {
    context.command = [options, &context] { return run_export(*options, context); };
  });
}

}  // namespace trovik::cli
