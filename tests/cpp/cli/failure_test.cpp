#include "cli/failure.h"

#include <gtest/gtest.h>

namespace trovik::cli {
namespace {

TEST(ExitStatus, UsageAndUnknownNamesAreTwoEverythingElseOne) {
  EXPECT_EQ(exit_status(Status::Ok()), 0);
  EXPECT_EQ(exit_status(usage_error("bad duration")), 2);
  EXPECT_EQ(exit_status(Status::NotFound("unknown run 'zzzz'")), 2);
  EXPECT_EQ(exit_status(Status::OSError("Permission denied (os error 13)")), 1);
  EXPECT_EQ(exit_status(Status::InternalFault("bad_alloc")), 1);
  EXPECT_EQ(exit_status(Status::TypeError("x")), 1);
}

}  // namespace
}  // namespace trovik::cli
