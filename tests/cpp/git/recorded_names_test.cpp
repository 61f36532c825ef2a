#include "git/recorded_names.h"

#include <gtest/gtest.h>

namespace trovik::git {
namespace {

constexpr char kId[] = "6a1f0c2e-9b7d-4e3a-8c5f-2d4b6e8a0c1f";

TEST(RecordedNames, WhatTheWriterMakesEveryReaderTakesBack) {
  EXPECT_EQ(snapshot_subject(kId), std::string("trovik: snapshot run ") + kId);
  EXPECT_TRUE(is_snapshot_subject(snapshot_subject(kId), kId));
  EXPECT_EQ(run_branch_ref(kId), std::string("refs/heads/run/") + kId);
  EXPECT_EQ(run_id_of_branch_ref(run_branch_ref(kId)), kId);
  EXPECT_EQ(index_file_name(kId), std::string("trovik-") + kId + ".index");
  EXPECT_EQ(run_id_of_index_file(index_file_name(kId)), kId);
}

TEST(RecordedNames, NothingElseIsTakenForThem) {
  for (const char* subject : {"trovik: snapshot run 6a1f", "trovik: snapshot run x6a1f0c2e",
                              "snapshot run 6a1f0c2e-9b7d-4e3a-8c5f-2d4b6e8a0c1f", ""}) {
    EXPECT_FALSE(is_snapshot_subject(subject, kId)) << subject;
  }
  for (const char* ref : {"refs/heads/run/", "refs/heads/main", "refs/tags/run/x", "run/x"}) {
    EXPECT_FALSE(run_id_of_branch_ref(ref)) << ref;
  }
  for (const char* name : {"trovik-.index", "trovik-x.index.lock", "other-x.index", "trovik-x"}) {
    EXPECT_FALSE(run_id_of_index_file(name)) << name;
  }
}

}  // namespace
}  // namespace trovik::git
