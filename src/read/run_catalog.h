#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "read/file_identity.h"
#include "read/run_facts.h"
#include "util/status.h"

namespace trovik::read {

// A run file found under a root, with what its first line says about it.
struct RunFileEntry {
  std::string path;
  std::string run_id;      // of its run_start record, else the file name without ".jsonl"
  std::string name;        // experiment_name of its run_start record
  int64_t started_ns = 0;  // created_at of its run_start record, else the file's modification time
  bool start_recorded = false;  // started_ns is a created_at: a file without one sorts as oldest
  RecordedProcess process;      // the process its run_start record names
  bool readable = true;         // false: its first line could not be read
  uint64_t size = 0;            // bytes
  // Other files of the same run id under the roots (a root copied to another machine and back):
  // the run is listed once, as the file holding the most records.
  std::vector<std::string> other_paths;
  FileIdentity identity;  // the file as it was when listed
};

// Every "<root>/runs/*.jsonl" under the roots, each file once (a root found twice, or by two
// names, counts once), each run once (of its files, the longest: run files only grow), newest
// first by start time. Roots without a runs folder are skipped.
// Without `read_first_lines` only the file facts are filled in (a caller that reads every file
// anyway), and the order is by modification time. A root whose runs folder can't be read is
// skipped too; with `unreadable` given, its failure is added there.
std::vector<RunFileEntry> list_run_files(const std::vector<std::string>& roots,
                                         bool read_first_lines = true,
                                         std::vector<Status>* unreadable = nullptr);

// The same for one file; it need not lie under any root.
Result<RunFileEntry> run_file_entry(const std::string& path);

}  // namespace trovik::read
