#include "run/cgroup_quota.h"

#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <sstream>
#include <string>

namespace trovik::run {
namespace {

// Reads every absolute path below a fixture tree instead of the machine's root.
ReadFile fixture_reader(const std::string& tree) {
  std::string root = std::string(TROVIK_TEST_DATA_DIR) + "/cgroup/" + tree;
  return [root](const std::string& path) -> std::optional<std::string> {
    std::ifstream in(root + path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
  };
}

constexpr const char* kUnifiedMount =
    "25 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
    "30 25 0:26 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime shared:4 - cgroup2 cgroup2 "
    "rw,nsdelegate\n";

constexpr const char* kV1Mounts =
    "25 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
    "31 25 0:28 / /sys/fs/cgroup ro,nosuid shared:8 - tmpfs tmpfs ro,mode=755\n"
    "34 31 0:31 / /sys/fs/cgroup/cpuset rw,nosuid shared:10 - cgroup cgroup rw,cpuset\n"
    "33 31 0:30 / /sys/fs/cgroup/cpu,cpuacct rw,nosuid shared:9 - cgroup cgroup rw,cpu,cpuacct\n";

// The cpu hierarchy mounted from its /docker subtree at a mount point with an escaped space.
constexpr const char* kV1SubtreeMount =
    "31 25 0:28 / /sys/fs/cgroup ro shared:8 - tmpfs tmpfs ro,mode=755\n"
    "35 31 0:30 /docker /sys/fs/cgroup/cpu\\040acct rw master:3 - cgroup cgroup rw,cpuacct,cpu\n";

// A container without its own cgroup namespace: the mount shows only the pod's subtree.
constexpr const char* kContainerMount =
    "40 30 0:26 /kubepods/pod1 /sys/fs/cgroup ro,nosuid - cgroup2 cgroup2 rw\n";
constexpr const char* kContainerRootMount =
    "40 30 0:26 / /sys/fs/cgroup ro,nosuid - cgroup2 cgroup2 rw\n";

constexpr const char* kBindMounts =
    "41 25 0:26 /kubepods/pod /mnt/pod rw - cgroup2 cgroup2 rw\n"
    "30 25 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n";

constexpr const char* kHybridMounts =
    "31 25 0:28 / /sys/fs/cgroup ro - tmpfs tmpfs ro,mode=755\n"
    "32 31 0:29 / /sys/fs/cgroup/cpu rw,relatime - cgroup cgroup rw,cpu\n"
    "41 31 0:38 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n";

struct QuotaCase {
  const char* name;
  const char* tree;
  const char* proc_cgroup;
  const char* mountinfo;
  std::optional<uint64_t> expected;
};

// Names the case in failure output instead of dumping its bytes.
void PrintTo(const QuotaCase& c, std::ostream* os) { *os << c.name; }

class CgroupCpuLimit : public testing::TestWithParam<QuotaCase> {};

TEST_P(CgroupCpuLimit, FromFixtureTree) {
  const QuotaCase& c = GetParam();
  EXPECT_EQ(cgroup_cpu_limit(c.proc_cgroup, c.mountinfo, fixture_reader(c.tree)), c.expected);
}

constexpr std::optional<uint64_t> kNone = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Unified, CgroupCpuLimit,
    testing::Values(
        QuotaCase{"QuotaDividedByPeriodDropsRemainder", "v2", "0::/app.slice\n", kUnifiedMount, 3},
        QuotaCase{"PeriodIsReadNotAssumed", "v2", "0::/short_period\n", kUnifiedMount, 3},
        QuotaCase{"MaxInChildParentQuotaApplies", "v2", "0::/app.slice/job\n", kUnifiedMount, 3},
        QuotaCase{"QuotaBelowPeriodGivesOne", "v2", "0::/app.slice/small\n", kUnifiedMount, 1},
        QuotaCase{"AncestorQuotaSmaller", "v2", "0::/app.slice/wide\n", kUnifiedMount, 3},
        QuotaCase{"AncestorTwoLevelsUp", "v2", "0::/app.slice/wide/deeper\n", kUnifiedMount, 3},
        QuotaCase{"ParentOneChildFour", "v2", "0::/tight.slice/job\n", kUnifiedMount, 1},
        QuotaCase{"MaxEverywhere", "v2", "0::/unlimited.slice/job\n", kUnifiedMount, kNone},
        QuotaCase{"GroupWithoutFiles", "v2", "0::/nowhere/deeper\n", kUnifiedMount, kNone},
        QuotaCase{"RootGroupHasNoCpuMax", "v2", "0::/\n", kUnifiedMount, kNone},
        QuotaCase{"NoCgroup2Mount", "v2", "0::/app.slice\n", kV1Mounts, kNone}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    V1, CgroupCpuLimit,
    testing::Values(
        QuotaCase{"CpuWithCpuacct", "v1", "5:cpuset:/\n4:cpu,cpuacct:/docker/abc\n", kV1Mounts, 2},
        QuotaCase{"AncestorQuotaSmaller", "v1", "4:cpu,cpuacct:/docker/abc/inner\n", kV1Mounts, 2},
        QuotaCase{"CpuNamedSecond", "v1", "4:cpuacct,cpu:/docker/abc\n",
                  "33 31 0:30 / /sys/fs/cgroup/cpu,cpuacct rw - cgroup cgroup rw,cpuacct,cpu\n", 2},
        QuotaCase{"MinusOneMeansNone", "v1", "4:cpu,cpuacct:/batch\n", kV1Mounts, kNone},
        QuotaCase{"QuotaBelowPeriodGivesOne", "v1", "4:cpu,cpuacct:/slow\n", kV1Mounts, 1},
        // cpuset's quota files are a decoy: only the hierarchy with the cpu controller counts.
        QuotaCase{"CpusetIsNotCpu", "v1", "5:cpuset:/docker/abc\n4:cpu,cpuacct:/batch\n", kV1Mounts,
                  kNone},
        QuotaCase{"CpuacctAloneIsNotCpu", "v1", "3:cpuacct:/docker/abc\n", kV1Mounts, kNone},
        QuotaCase{"PathRelativeToMountRoot", "v1", "4:cpuacct,cpu:/docker/sub\n", kV1SubtreeMount,
                  3},
        QuotaCase{"GroupAtMountRoot", "v1", "4:cpuacct,cpu:/docker\n", kV1SubtreeMount, 5},
        QuotaCase{"MalformedQuota", "v1", "4:cpu,cpuacct:/bad_quota\n", kV1Mounts, kNone},
        QuotaCase{"ZeroPeriod", "v1", "4:cpu,cpuacct:/zero_period\n", kV1Mounts, kNone},
        QuotaCase{"MissingPeriod", "v1", "4:cpu,cpuacct:/no_period\n", kV1Mounts, kNone},
        QuotaCase{"TwoWordsInQuota", "v1", "4:cpu,cpuacct:/two_quotas\n", kV1Mounts, kNone}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Mounts, CgroupCpuLimit,
    testing::Values(
        QuotaCase{"InsideMountedSubtree", "container", "0::/kubepods/pod1/ctr\n", kContainerMount,
                  1},
        QuotaCase{"AtMountedSubtree", "container", "0::/kubepods/pod1\n", kContainerMount, 2},
        // Outside the mounted subtree the mount point itself is the process's group.
        QuotaCase{"NamespaceRootOutsideMountRoot", "container", "0::/\n", kContainerMount, 2},
        QuotaCase{"SiblingSharingNamePrefix", "container", "0::/kubepods/pod1ctr\n",
                  kContainerMount, 2},
        QuotaCase{"ClimbsOutOfNamespace", "container", "0::/../cgroup/ctr\n", kContainerRootMount,
                  2},
        QuotaCase{"PrefersMountShowingAncestors", "bind", "0::/kubepods/pod/ctr\n", kBindMounts, 1},
        QuotaCase{"HybridV1Smaller", "hybrid", "2:cpu:/job\n0::/job\n", kHybridMounts, 2},
        QuotaCase{"HybridOnlyUnifiedLimited", "hybrid", "2:cpu:/other\n0::/job\n", kHybridMounts,
                  3}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Malformed, CgroupCpuLimit,
    testing::Values(
        QuotaCase{"Text", "malformed", "0::/text\n", kUnifiedMount, kNone},
        QuotaCase{"SingleWord", "malformed", "0::/single\n", kUnifiedMount, kNone},
        QuotaCase{"ZeroPeriod", "malformed", "0::/zero_period\n", kUnifiedMount, kNone},
        QuotaCase{"EmptyFile", "malformed", "0::/empty\n", kUnifiedMount, kNone},
        QuotaCase{"NegativeQuota", "malformed", "0::/negative\n", kUnifiedMount, kNone},
        QuotaCase{"NegativePeriod", "malformed", "0::/negative_period\n", kUnifiedMount, kNone},
        QuotaCase{"ThreeWords", "malformed", "0::/extra\n", kUnifiedMount, kNone},
        QuotaCase{"Fraction", "malformed", "0::/fraction\n", kUnifiedMount, kNone},
        QuotaCase{"Hexadecimal", "malformed", "0::/hex\n", kUnifiedMount, kNone},
        QuotaCase{"Overflow", "malformed", "0::/overflow\n", kUnifiedMount, kNone},
        QuotaCase{"BadChildValidParent", "malformed", "0::/limited/text\n", kUnifiedMount, 8},
        QuotaCase{"SingleWordChildValidParent", "malformed", "0::/limited/single\n", kUnifiedMount,
                  8},
        QuotaCase{"EmptyTexts", "v2", "", "", kNone},
        QuotaCase{"EmptyMountinfo", "v2", "0::/app.slice\n", "", kNone},
        QuotaCase{"MountLineWithoutSeparator", "v2", "0::/app.slice\n",
                  "30 25 0:26 / /sys/fs/cgroup rw cgroup2 cgroup2 rw\n", kNone},
        QuotaCase{"MountLineCutAfterSeparator", "v2", "0::/app.slice\n",
                  "30 25 0:26 / /sys/fs/cgroup rw - cgroup2\n", kNone},
        QuotaCase{"CgroupLineWithOneColon", "v2", "0:/app.slice\n", kUnifiedMount, kNone},
        QuotaCase{"GarbageAroundValidLines", "v2", "nonsense\n\n0::/app.slice\n:\n",
                  "x\n\n- - - -\n30 25 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw", 3}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trovik::run
