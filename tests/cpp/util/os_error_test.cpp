#include "util/os_error.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "util/path.h"

namespace trovik {
namespace {

TEST(OsError, DescriptionThenNumber) {
  EXPECT_EQ(os_error_text(ENOENT), "No such file or directory (os error 2)");
  EXPECT_EQ(os_error_text(EACCES), "Permission denied (os error 13)");
  EXPECT_EQ(os_error_text(ENOSPC), "No space left on device (os error 28)");
}

TEST(OsError, CarriesTheRequestedClass) {
  Status status = os_error(ENOSPC, ErrorKind::kValueError);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.kind(), ErrorKind::kValueError);
  EXPECT_EQ(os_error(EISDIR).kind(), ErrorKind::kOSError);
}

TEST(JoinPath, SlashOnlyWhereNeeded) {
  EXPECT_EQ(join_path(".trovik", "runs"), ".trovik/runs");
  EXPECT_EQ(join_path("out/", "runs"), "out/runs");
  EXPECT_EQ(join_path("", "runs"), "runs");
  EXPECT_EQ(join_path("/", "runs"), "/runs");
  EXPECT_EQ(join_path("a//", "runs"), "a//runs");
}

}  // namespace
}  // namespace trovik
