#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trovik::git {

// The names a run leaves in git and in the temporary directory. They are part of the recorded
// format: the snapshot writer makes them and every reader recognises them by these functions
// alone, so that `gc` and the code lookup agree with the writer on what is trovik's.

// The subject line of a snapshot commit: "trovik: snapshot run <id>".
inline constexpr std::string_view kSnapshotSubjectPrefix = "trovik: snapshot run ";
// A run's snapshot branch is "run/<id>", the ref "refs/heads/run/<id>".
inline constexpr std::string_view kRunBranchPrefix = "run/";
inline constexpr std::string_view kBranchRefPrefix = "refs/heads/";
// The snapshot's temporary index file: "trovik-<id>.index" in the temporary directory.
inline constexpr std::string_view kIndexFilePrefix = "trovik-";
inline constexpr std::string_view kIndexFileSuffix = ".index";

std::string snapshot_subject(std::string_view run_id);
// True when `subject` is the snapshot subject of exactly this run.
bool is_snapshot_subject(std::string_view subject, std::string_view run_id);

std::string run_branch(std::string_view run_id);
std::string run_branch_ref(std::string_view run_id);
// The prefix every snapshot branch's ref starts with: "refs/heads/run/".
std::string run_branch_ref_prefix();
// The run id of a ref "refs/heads/run/<id>"; nothing for any other ref or an empty id.
std::optional<std::string_view> run_id_of_branch_ref(std::string_view ref);

std::string index_file_name(std::string_view run_id);
// The run id of a file name "trovik-<id>.index"; nothing for any other name or an empty id.
std::optional<std::string_view> run_id_of_index_file(std::string_view name);

}  // namespace trovik::git
