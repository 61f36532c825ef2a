#include "git/recorded_names.h"

namespace trovik::git {

std::string snapshot_subject(std::string_view run_id) {
  return std::string(kSnapshotSubjectPrefix) + std::string(run_id);
}

bool is_snapshot_subject(std::string_view subject, std::string_view run_id) {
  return subject.size() == kSnapshotSubjectPrefix.size() + run_id.size() &&
         subject.starts_with(kSnapshotSubjectPrefix) && subject.ends_with(run_id);
}

std::string run_branch(std::string_view run_id) {
  return std::string(kRunBranchPrefix) + std::string(run_id);
}

std::string run_branch_ref(std::string_view run_id) {
  return std::string(kBranchRefPrefix) + run_branch(run_id);
}

std::string run_branch_ref_prefix() { return run_branch_ref(""); }

std::optional<std::string_view> run_id_of_branch_ref(std::string_view ref) {
  const std::string prefix = run_branch_ref_prefix();
  if (ref.size() <= prefix.size() || !ref.starts_with(prefix)) return std::nullopt;
  return ref.substr(prefix.size());
}

std::string index_file_name(std::string_view run_id) {
  return std::string(kIndexFilePrefix) + std::string(run_id) + std::string(kIndexFileSuffix);
}

std::optional<std::string_view> run_id_of_index_file(std::string_view name) {
  if (name.size() <= kIndexFilePrefix.size() + kIndexFileSuffix.size() ||
      !name.starts_with(kIndexFilePrefix) || !name.ends_with(kIndexFileSuffix)) {
    return std::nullopt;
  }
  return name.substr(kIndexFilePrefix.size(),
                     name.size() - kIndexFilePrefix.size() - kIndexFileSuffix.size());
}

}  // namespace trovik::git
