#include "read/process_probe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <string_view>

#include "util/environment.h"
#include "util/file_io.h"

namespace trovik::read {
namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;

// A small file of /proc, whole; nothing when it can't be read. /proc files report a size of 0, so
// they are read until the end rather than by their size.
std::optional<std::string> read_proc_file(const std::string& path) {
  Result<ScopedFd> file = open_file(path, O_RDONLY);
  if (!file.ok()) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (;;) {
    Result<size_t> count = read_some(file.value().get(), buffer, sizeof buffer);
    if (!count.ok()) return std::nullopt;
    if (count.value() == 0) return text;
    text.append(buffer, count.value());
  }
}

std::optional<uint64_t> parse_unsigned(std::string_view text) {
  uint64_t value = 0;
  const std::from_chars_result parsed =
      std::from_chars(text.data(), text.data() + text.size(), value);
  if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

// Field `wanted` (1-based, as proc(5) numbers them) of /proc/<pid>/stat. The command name (field 2)
// may hold spaces and parentheses: the fields after it follow the last ')'.
std::optional<std::string_view> stat_field(std::string_view stat, int wanted) {
  const size_t close = stat.rfind(')');
  if (close == std::string_view::npos) return std::nullopt;
  std::string_view rest = stat.substr(close + 1);
  for (int index = 3;; ++index) {
    const size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(start);
    const size_t end = rest.find_first_of(" \n");
    if (index == wanted) return rest.substr(0, end);
    if (end == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(end);
  }
}

// The boot time, in seconds since the epoch: the "btime" line of /proc/stat.
std::optional<uint64_t> boot_seconds() {
  const std::optional<std::string> stat = read_proc_file("/proc/stat");
  if (!stat) return std::nullopt;
  std::string_view rest = *stat;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.starts_with("btime ")) return parse_unsigned(line.substr(6));
  }
  return std::nullopt;
}

class SystemProcessProbe final : public ProcessProbe {
 public:
  std::string host_name() const override {
    if (std::optional<std::string> name = environment_text("HOSTNAME")) return *name;
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
  }

  bool process_exists(int64_t pid) const override {
    if (pid <= 0 || pid > INT32_MAX) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
  }

  std::optional<int64_t> process_started_ns(int64_t pid) const override {
    const std::optional<std::string> stat =
        read_proc_file("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return std::nullopt;
    // Field 22, starttime: clock ticks after boot.
    const std::optional<std::string_view> field = stat_field(*stat, 22);
    if (!field) return std::nullopt;
    const std::optional<uint64_t> ticks = parse_unsigned(*field);
    if (!ticks || *ticks > INT64_MAX / kNsPerSecond) return std::nullopt;
    const std::optional<uint64_t> boot = boot_seconds();
    if (!boot || *boot == 0 || *boot > INT64_MAX / kNsPerSecond) return std::nullopt;
    const long ticks_per_second = ::sysconf(_SC_CLK_TCK);
    if (ticks_per_second <= 0) return std::nullopt;
    int64_t started = 0;
    if (__builtin_add_overflow(static_cast<int64_t>(*boot) * kNsPerSecond,
                               static_cast<int64_t>(*ticks) * (kNsPerSecond / ticks_per_second),
                               &started)) {
      return std::nullopt;
    }
    return started;
  }
};

}  // namespace

const ProcessProbe& system_process_probe() {
  static const SystemProcessProbe probe;
  return probe;
}

}  // namespace trovik::read
