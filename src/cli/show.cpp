// trovik show RUN: one run's facts, metadata, series and notes.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <string>

#include "cli/command_context.h"
#include "cli/output.h"
#include "json/writer.h"
#include "read/environment_summary.h"
#include "read/recorded_number.h"
#include "read/run_batch.h"
#include "read/run_code.h"
#include "read/run_ending.h"
#include "read/run_facts.h"
#include "read/run_status.h"
#include "read/run_summary_builder.h"
#include "read/run_table.h"
#include "read/short_names.h"
#include "read/text_format.h"
#include "read/text_table.h"
#include "read/timestamp.h"
#include "util/quote.h"

namespace trovik::cli {
namespace {

constexpr size_t kSparklineWidth = 32;
// The end of a traceback holds the error; its start is the way there.
constexpr size_t kTracebackLines = 8;

struct ShowOptions {
  std::string run;
  bool json = false;
  bool ascii = false;
  bool traceback = false;
};

json::Value show_json(const read::RunSummary& run, read::RunStatus status) {
  json::Object object;
  object.insert("run_id", json::Value::string(run.run_id));
  object.insert("name", json::Value::string(run.name));
  object.insert("path", json::Value::string(run.path));
  object.insert("status", json::Value::string(std::string(read::status_name(status))));
  object.insert("run_start", run.run_start ? *run.run_start : json::Value());
  object.insert("end", run.run_end ? *run.run_end : json::Value());
  object.insert("environment", run.environment ? *run.environment : json::Value());
  object.insert("records", json::Value::unsigned_integer(run.records));
  object.insert("records_after_end", json::Value::unsigned_integer(run.records_after_end));
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

// Facts are text from the run file and git: shown terminal_quoted.
void add_fact(std::string& out, const char* label, const std::string& text) {
  std::string line = label;
  line.resize(10, ' ');
  append_terminal_quoted(line, text);
  out += line + "\n";
}

// The status, and what it rests on where the run wrote no end record.
std::string status_text(const read::RunSummary& run, read::RunStatus status) {
  std::string text(read::status_name(status));
  const read::RecordedProcess process = read::recorded_process(run);
  const std::string pid = process.pid ? " " + std::to_string(*process.pid) : "";
  switch (status) {
    case read::RunStatus::kRunning:
      return text + " (process" + pid + ")";
    case read::RunStatus::kStopped:
      return text + " (no end record, and its process" + pid +
             " is gone: ended without `with` or close(), or killed)";
    case read::RunStatus::kUnknown: {
      text += " (no end record";
      if (process.host) text += "; recorded on " + terminal_quoted(*process.host);
      if (const std::optional<int64_t> last = read::last_record_ns(run)) {
        text += "; last record " + read::format_age(*last, read::now_ns());
      }
      return text + ")";
    }
    default:
      return text;
  }
}

void add_ending(std::string& out, const read::RunSummary& run, read::RunStatus status) {
  add_fact(out, "status", status_text(run, status));
  if (!run.run_end) return;
  if (const std::optional<std::string> exception =
          read::exception_text(read::run_ending(*run.run_end))) {
    add_fact(out, "exception", terminal_quoted(*exception));
  }
}

// The traceback's last lines, or all of them with --traceback, each quoted for the terminal.
void add_traceback(std::string& out, const read::RunSummary& run, bool whole) {
  if (!run.run_end) return;
  const std::optional<std::string> traceback = read::run_ending(*run.run_end).traceback;
  if (!traceback || traceback->empty()) return;
  const size_t lines = read::line_count(*traceback);
  std::string_view shown = *traceback;
  out += "\ntraceback";
  if (!whole && lines > kTracebackLines) {
    shown = read::last_lines(shown, kTracebackLines);
    out += " (its last " + std::to_string(kTracebackLines) + " of " + std::to_string(lines) +
           " lines: --traceback shows all)";
  }
  out += "\n";
  for (size_t begin = 0; begin < shown.size();) {
    const size_t end = std::min(shown.find('\n', begin), shown.size());
    out += "  " + terminal_quoted(shown.substr(begin, end - begin)) + "\n";
    begin = end + 1;
  }
}

void add_environment(std::string& out, const read::RunSummary& run) {
  if (!run.environment) return;
  out += "\nenvironment\n";
  for (const auto& [label, text] : read::environment_facts(*run.environment)) {
    std::string line = "  " + label;
    line.resize(12, ' ');
    out += line + terminal_quoted(text) + "\n";
  }
}

// What a dirty run's code was: its changes over a commit a reader knows, kept as a snapshot or not.
std::string dirty_code_text(const read::GitFacts& git, const read::RunSummary& run) {
  if (!read::names_snapshot(git, run.run_id)) {
    return (git.commit.empty() ? "(no commit)" : git.commit) +
           ", dirty, no snapshot of the changes";
  }
  const std::string repository = read::RepositoryFinder().repository_of(run.path);
  const std::string base = read::snapshot_base(repository, git.commit)
                               .value_or(read::abbreviated_commit(git.commit) + "^");
  return "uncommitted changes over " + base + ", kept as snapshot " +
         read::abbreviated_commit(git.commit) + " (trovik code " + read::short_run_id(run.run_id) +
         ")";
}

std::string show_text(const read::RunSummary& run, const read::RunFileEntry& entry,
                      const ShowOptions& options, const Terminal& terminal) {
  const read::RunFacts facts = read::run_facts(run, read::system_process_probe());
  const read::RunStatus status = read::run_status(run, read::system_process_probe());
  std::string out;
  add_fact(out, "name", run.name);
  add_fact(out, "id", run.run_id);
  add_fact(out, "file", run.path);
  add_ending(out, run, status);
  // Copies of the run under other roots: the one with the most records is shown.
  for (const std::string& other : entry.other_paths) add_fact(out, "copy", other);
  if (facts.started_ns) {
    add_fact(out, "start",
             read::format_utc_time(*facts.started_ns) + " UTC, " +
                 read::format_local_time(*facts.started_ns) + " local (" +
                 read::format_age(*facts.started_ns, read::now_ns()) + ")");
  }
  if (run.run_end_elapsed_ms) {
    add_fact(out, "duration", read::format_duration_ms(*run.run_end_elapsed_ms));
  } else if (facts.elapsed_ms) {
    const bool running = status == read::RunStatus::kRunning;
    add_fact(out, "duration",
             read::format_duration_ms(*facts.elapsed_ms) + (running ? " so far (live)" : ""));
  }
  if (run.run_end) {
    if (const std::optional<std::string> resources =
            read::resources_text(read::run_ending(*run.run_end))) {
      add_fact(out, "resources", *resources);
    }
  }
  std::string records = std::to_string(facts.records);
  if (run.records_after_end > 0) {
    records += ", " + std::to_string(run.records_after_end) + " after the end record";
  }
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
      add_fact(out, "git", git->dirty ? dirty_code_text(*git, run) : text + ", clean");
    } else {
      add_fact(out, "git", "not in a git work tree");
    }
  }

  add_environment(out, run);

  if (const json::Value* metadata = run.run_start_member({"metadata"})) {
    out += "\nmetadata\n";
    if (metadata->type() == json::Value::Type::kObject) {
      for (const auto& [key, value] : metadata->as_object()) {
        out +=
            "  " + terminal_quoted(key) + " = " + terminal_quoted(json::to_json_text(value)) + "\n";
      }
    } else {
      out += "  " + terminal_quoted(json::to_json_text(*metadata)) + "\n";
    }
  }

  if (!run.series.empty() && !(run.series.size() == 1 && run.series[0].name == "step")) {
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
    // By name in natural order; "step" is the x axis of the others, not a series to show.
    std::vector<const read::SeriesSummary*> listed;
    for (const read::SeriesSummary& s : run.series) {
      if (s.name != "step") listed.push_back(&s);
    }
    std::stable_sort(listed.begin(), listed.end(), [](const auto* a, const auto* b) {
      return read::natural_less(a->name, b->name);
    });
    for (const read::SeriesSummary* series : listed) {
      const read::SeriesSummary& s = *series;
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
      out += "  " + read::format_duration_ms(note.elapsed_ms) + "  " + terminal_quoted(note.text) +
             "\n";
    }
  }
  add_traceback(out, run, options.traceback);
  return out;
}

Status run_show(const ShowOptions& options, const CommandContext& context) {
  Result<read::RunFileEntry> entry = context.find_run(options.run);
  if (!entry.ok()) return std::move(entry).status();
  Result<read::RunSummary> run =
      read::read_run_file(entry.value().path, read::Detail::kPoints, read::reading_threads());
  if (!run.ok()) return std::move(run).status();
  if (options.json) {
    write_json_document(
        show_json(run.value(), read::run_status(run.value(), read::system_process_probe())));
  } else {
    write_out(show_text(run.value(), entry.value(), options, stdout_terminal()));
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
  show->add_flag("--traceback", options->traceback,
                 "print the whole traceback of a failed run, not only its last lines");
  show->callback([options, &context] {
    context.command = [options, &context] { return run_show(*options, context); };
  });
}

}  // namespace trovik::cli
