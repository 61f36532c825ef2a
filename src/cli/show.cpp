// trovik show RUN: one run's facts, metadata, series and notes.

#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/command_context.h"
#include "cli/output.h"
#include "json/writer.h"
#include "read/recorded_number.h"
#include "read/run_batch.h"
#include "read/run_code.h"
#include "read/run_facts.h"
#include "read/run_summary_builder.h"
#include "read/run_table.h"
#include "read/short_names.h"
#include "read/text_format.h"
#include "read/text_table.h"
#include "read/timestamp.h"

namespace trovik::cli {
namespace {

constexpr size_t kSparklineWidth = 32;

struct ShowOptions {
  std::string run;
  bool json = false;
  bool ascii = false;
};

json::Value show_json(const read::RunSummary& run) {
  json::Object object;
  object.insert("run_id", json::Value::string(run.run_id));
  object.insert("name", json::Value::string(run.name));
  object.insert("path", json::Value::string(run.path));
  object.insert("run_start", run.run_start ? *run.run_start : json::Value());
  object.insert("records", json::Value::unsigned_integer(run.records));
  object.insert("torn", json::Value::boolean(run.torn));
  json::Object series;
  for (const read::SeriesSummary& s : run.series) {
    json::Object summary;
    summary.insert("count", json::Value::unsigned_integer(s.count));
    summary.insert("first", read::recorded_number(s.first_token.view(), s.first));
    summary.insert("last", read::series_value(s, read::SeriesStatistic::kLast));
    summary.insert("min", read::series_value(s, read::SeriesStatistic::kMin));
    summary.insert("max", read::series_value(s, read::SeriesStatistic::kMax));
    auto step = [](int64_t value) {
      return value < 0 ? json::Value::negative_integer(value)
                       : json::Value::unsigned_integer(static_cast<uint64_t>(value));
    };
    summary.insert("min_step", step(s.min_step));
    summary.insert("max_step", step(s.max_step));
    series.insert(s.name, json::Value::object(std::move(summary)));
  }
  object.insert("series", json::Value::object(std::move(series)));
  json::Array notes;
  for (const read::Note& note : run.notes) {
    json::Object entry;
    entry.insert("elapsed_ms", json::Value::unsigned_integer(note.elapsed_ms));
    entry.insert("note", json::Value::string(note.text));
    notes.push_back(json::Value::object(std::move(entry)));
  }
  object.insert("notes", json::Value::array(std::move(notes)));
  return json::Value::object(std::move(object));
}

void add_fact(std::string& out, const char* label, const std::string& text) {
  std::string line = label;
  line.resize(10, ' ');
  out += line + text + "\n";
}

std::string show_text(const read::RunSummary& run, const ShowOptions& options,
                      const Terminal& terminal) {
  const read::RunFacts facts = read::run_facts(run, read::system_process_probe());
  std::string out;
  add_fact(out, "name", run.name);
  add_fact(out, "id", run.run_id);
  add_fact(out, "file", run.path);
  if (facts.started_ns) {
    add_fact(out, "start",
             read::format_utc_time(*facts.started_ns) + " UTC, " +
                 read::format_local_time(*facts.started_ns) + " local (" +
                 read::format_age(*facts.started_ns, read::now_ns()) + ")");
  }
  if (facts.elapsed_ms) {
    add_fact(out, "duration",
             read::format_duration_ms(*facts.elapsed_ms) + (facts.live ? " so far (live)" : ""));
  }
  std::string records = std::to_string(facts.records);
  if (facts.bad_lines > 0) records += ", " + std::to_string(facts.bad_lines) + " bad lines skipped";
  if (facts.torn) records += ", torn last line skipped";
  add_fact(out, "records", records);
  if (!facts.has_run_start) {
    out += "(no run_start record: the file does not start with one)\n";
  } else {
    add_fact(out, "host", facts.host.value_or("?"));
    add_fact(out, "user", facts.user.value_or("?"));
    add_fact(out, "argv", read::shell_quote(facts.argv));
    add_fact(out, "cwd", facts.cwd.value_or("?"));
    if (const std::optional<read::GitFacts>& git = facts.git) {
      std::string text = git->commit.empty() ? "(no commit)" : git->commit;
      if (!git->branch.empty()) text += " on " + git->branch;
      text += git->dirty ? ", dirty" : ", clean";
      if (git->dirty) {
        text += read::names_snapshot(*git, run.run_id)
                    ? ", snapshot of the changes kept (trovik code " +
                          read::short_run_id(run.run_id) + ")"
                    : ", no snapshot of the changes";
      }
      add_fact(out, "git", text);
    } else {
      add_fact(out, "git", "not in a git work tree");
    }
  }

  if (const json::Value* metadata = run.run_start_member({"metadata"})) {
    out += "\nmetadata\n";
    if (metadata->type() == json::Value::Type::kObject) {
      for (const auto& [key, value] : metadata->as_object()) {
        out += "  " + key + " = " + json::to_json_text(value) + "\n";
      }
    } else {
      out += "  " + json::to_json_text(*metadata) + "\n";
    }
  }

  if (!run.series.empty()) {
    out += "\n";
    read::TextTable table({{"series", read::TextTable::Align::kLeft, true},
                           {"count", read::TextTable::Align::kRight, false},
                           {"first", read::TextTable::Align::kRight, false},
                           {"last", read::TextTable::Align::kRight, false},
                           {"min", read::TextTable::Align::kRight, false},
                           {"(step)", read::TextTable::Align::kRight, false},
                           {"max", read::TextTable::Align::kRight, false},
                           {"(step)", read::TextTable::Align::kRight, false},
                           {"", read::TextTable::Align::kLeft, false}});
    for (const read::SeriesSummary& s : run.series) {
      table.add_row({s.name, std::to_string(s.count), read::format_number(s.first),
                     read::format_number(s.last), read::format_number(s.min),
                     std::to_string(s.min_step), read::format_number(s.max),
                     std::to_string(s.max_step),
                     read::sparkline(s.points, kSparklineWidth, options.ascii)});
    }
    (void)table.render(terminal.width, terminal.colour, out);
  }

  if (!run.notes.empty()) {
    out += "\nnotes\n";
    for (const read::Note& note : run.notes) {
      out += "  " + read::format_duration_ms(note.elapsed_ms) + "  " + note.text + "\n";
    }
  }
  return out;
}

Status run_show(const ShowOptions& options, const CommandContext& context) {
  Result<read::RunFileEntry> entry = context.find_run(options.run);
  if (!entry.ok()) return std::move(entry).status();
  Result<read::RunSummary> run =
      read::read_run_file(entry.value().path, read::Detail::kPoints, read::reading_threads());
  if (!run.ok()) return std::move(run).status();
  if (options.json) {
    write_json_document(show_json(run.value()));
  } else {
    write_out(show_text(run.value(), options, stdout_terminal()));
  }
  return Status::Ok();
}

}  // namespace

void register_show(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<ShowOptions>();
  CLI::App* show = app.add_subcommand("show", "Show one run: facts, metadata, series and notes");
  show->add_option("run", options->run,
                   "run id, id prefix (4+ characters), @1 for the newest, or a run file")
      ->required()
      ->type_name("RUN");
  show->add_flag("--json", options->json, "print one JSON object instead of the text");
  show->add_flag("--ascii", options->ascii, "draw sparklines with ASCII characters");
  show->callback([options, &context] {
    context.command = [options, &context] { return run_show(*options, context); };
  });
}

}  // namespace trovik::cli
