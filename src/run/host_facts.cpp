#include "run/host_facts.h"

#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>

#include "run/cgroup_quota.h"
#include "util/scoped_fd.h"
#include "util/unicode.h"

namespace trovik::run {
namespace {

// The whole file. Files under /proc report a size of 0, so it is read until end of file rather
// than by its stated size.
std::optional<std::string> read_whole_file(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::nullopt;
  ScopedFd file(fd);

  std::string contents;
  char buffer[16384];
  while (true) {
    ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return std::nullopt;
    if (count == 0) return contents;
    contents.append(buffer, static_cast<size_t>(count));
  }
}

// Processors in the affinity mask, read into the fixed 1,024-processor set; the call fails on a
// kernel configured for more, and then the online count stands in.
uint64_t scheduler_processor_count() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<uint64_t>(count);
  }
  long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<uint64_t>(online) : 0;
}

}  // namespace

std::vector<std::string> split_command_line(std::string_view contents) {
  std::vector<std::string> arguments;
  while (!contents.empty()) {
    size_t end = contents.find('\0');
    if (end == std::string_view::npos) end = contents.size();
    arguments.push_back(decode_utf8_lossy(contents.substr(0, end)));
    contents.remove_prefix(std::min(end + 1, contents.size()));
  }
  return arguments;
}

std::vector<std::string> process_arguments() {
  auto contents = read_whole_file("/proc/self/cmdline");
  if (!contents) return {};
  return split_command_line(*contents);
}

std::optional<uint64_t> processor_count() {
  uint64_t count = scheduler_processor_count();
  if (count == 0) return std::nullopt;
  auto proc_cgroup = read_whole_file("/proc/self/cgroup");
  auto mountinfo = read_whole_file("/proc/self/mountinfo");
  if (proc_cgroup && mountinfo) {
    if (auto limit = cgroup_cpu_limit(*proc_cgroup, *mountinfo, read_whole_file)) {
      count = std::min(count, *limit);
    }
  }
  return count;
}

}  // namespace trovik::run
