#include "git/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "util/os_error.h"
#include "util/system_calls.h"

namespace trovik::git {
namespace {

// Enough for a full pipe buffer per read.
constexpr size_t kReadChunk = size_t{64} * 1024;

// How long a killed child may take to die before it is given up.
constexpr std::chrono::seconds kKillGrace{1};

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline` for poll: -1 (no limit) without one, rounded up so that a
// wait never ends just before the deadline and spins.
int poll_timeout(std::optional<ChildProcess::Deadline> deadline) {
  if (!deadline) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count(), 0, int64_t{60} * 60 * 1000));
}

void sleep_for(std::chrono::nanoseconds span) {
  timespec request{static_cast<time_t>(span.count() / 1000000000),
                   static_cast<long>(span.count() % 1000000000)};
  timespec left{};
  while (::nanosleep(&request, &left) != 0 && errno == EINTR) request = left;
}

struct Pipe {
  ScopedFd read_end;
  ScopedFd write_end;
};

// Moves a descriptor to 3 or above. The child's file actions place descriptors onto 0, 1 and 2; a
// pipe end sitting on one of those (the parent had a standard stream closed) would be replaced
// before it was copied, or would keep its close-on-exec flag when copied onto itself.
Status keep_clear_of_standard_streams(ScopedFd* fd) {
  if (fd->get() > STDERR_FILENO) return Status::Ok();
  const int moved = ::fcntl(fd->get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (moved < 0) return os_error(errno);
  fd->reset(moved);
  return Status::Ok();
}

Result<Pipe> open_pipe() {
  int ends[2];
  if (sys_pipe2(ends, O_CLOEXEC) != 0) return os_error(errno);
  Pipe pipe{ScopedFd(ends[0]), ScopedFd(ends[1])};
  if (Status status = keep_clear_of_standard_streams(&pipe.read_end); !status.ok()) return status;
  if (Status status = keep_clear_of_standard_streams(&pipe.write_end); !status.ok()) return status;
  return pipe;
}

// Owners of the two posix_spawn descriptions, so every path destroys them.
class FileActions {
 public:
  FileActions() { error_ = ::posix_spawn_file_actions_init(&actions_); }
  ~FileActions() {
    if (error_ == 0) ::posix_spawn_file_actions_destroy(&actions_);
  }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;

  int init_error() const { return error_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  int error_;
};

class SpawnAttributes {
 public:
  SpawnAttributes() { error_ = ::posix_spawnattr_init(&attributes_); }
  ~SpawnAttributes() {
    if (error_ == 0) ::posix_spawnattr_destroy(&attributes_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  int init_error() const { return error_; }
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
  int error_;
};

// Standard input from /dev/null, standard output and standard error onto the pipes' write ends.
// Every other descriptor of ours is close-on-exec and does not reach the child.
int describe_streams(FileActions* actions, const Pipe& output, const Pipe& errors) {
  if (int error = ::posix_spawn_file_actions_addopen(actions->get(), STDIN_FILENO, "/dev/null",
                                                     O_RDONLY, 0);
      error != 0) {
    return error;
  }
  if (int error =
          ::posix_spawn_file_actions_adddup2(actions->get(), output.write_end.get(), STDOUT_FILENO);
      error != 0) {
    return error;
  }
  return ::posix_spawn_file_actions_adddup2(actions->get(), errors.write_end.get(), STDERR_FILENO);
}

// The interpreter ignores SIGPIPE and SIGXFSZ, ignored dispositions survive exec, and a thread may
// block signals: the child gets default dispositions for every signal and an empty mask, as a
// program started from a shell would. The set is filled by hand because sigfillset leaves out the
// C library's two internal real-time signals, which posix_spawn would otherwise hand to the child
// as ignored.
int describe_signals(SpawnAttributes* attributes, short* flags) {
  sigset_t all;
  sigset_t none;
  std::memset(&all, 0xff, sizeof all);
  sigemptyset(&none);
  if (int error = ::posix_spawnattr_setsigdefault(attributes->get(), &all); error != 0) {
    return error;
  }
  if (int error = ::posix_spawnattr_setsigmask(attributes->get(), &none); error != 0) {
    return error;
  }
  *flags |= POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  return 0;
}

// A group whose id is the child's own pid.
int describe_own_group(SpawnAttributes* attributes, short* flags) {
  *flags |= POSIX_SPAWN_SETPGROUP;
  return ::posix_spawnattr_setpgroup(attributes->get(), 0);
}

// Pointers into `texts` with the terminating null posix_spawn expects. The strings outlive the
// call.
std::vector<char*> null_terminated(const std::vector<std::string>& texts,
                                   const std::string* first = nullptr) {
  std::vector<char*> pointers;
  pointers.reserve(texts.size() + 2);
  if (first != nullptr) pointers.push_back(const_cast<char*>(first->c_str()));
  for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

Result<ChildProcess> ChildProcess::Spawn(const std::string& program,
                                         const std::vector<std::string>& arguments,
                                         const Options& options) {
  Result<Pipe> output = open_pipe();
  if (!output.ok()) return std::move(output).status();
  Result<Pipe> errors = open_pipe();
  if (!errors.ok()) return std::move(errors).status();

  FileActions actions;
  if (actions.init_error() != 0) return os_error(actions.init_error());
  if (int error = describe_streams(&actions, output.value(), errors.value()); error != 0) {
    return os_error(error);
  }
  SpawnAttributes attributes;
  if (attributes.init_error() != 0) return os_error(attributes.init_error());
  short flags = 0;
  if (int error = describe_signals(&attributes, &flags); error != 0) return os_error(error);
  if (options.own_process_group) {
    if (int error = describe_own_group(&attributes, &flags); error != 0) return os_error(error);
  }
  if (int error = ::posix_spawnattr_setflags(attributes.get(), flags); error != 0) {
    return os_error(error);
  }

  const std::vector<std::string>* environment = options.environment;
  std::vector<char*> argv = null_terminated(arguments, &program);
  std::vector<char*> envp;
  if (environment != nullptr) envp = null_terminated(*environment);

  // posix_spawnp searches the PATH of this process, not of `environment`; the overrides never
  // touch PATH, so both agree.
  pid_t pid = -1;
  const int error = sys_posix_spawnp(&pid, program.c_str(), actions.get(), attributes.get(),
                                     argv.data(), environment != nullptr ? envp.data() : environ);
  if (error != 0) return os_error(error);

  // Only the child may hold the write ends, or the reads below would never see end of file.
  output.value().write_end.reset();
  errors.value().write_end.reset();
  return ChildProcess(pid, options.own_process_group, std::move(output.value().read_end),
                      std::move(errors.value().read_end));
}

ChildProcess::ChildProcess(pid_t pid, bool leads_group, ScopedFd output, ScopedFd errors)
    : pid_(pid),
      leads_group_(leads_group),
      output_(std::move(output)),
      errors_(std::move(errors)) {}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      leads_group_(other.leads_group_),
      output_(std::move(other.output_)),
      errors_(std::move(other.errors_)) {}

ChildProcess::~ChildProcess() {
  // Closing first means a child still writing gets EPIPE instead of waiting for a reader forever.
  output_.reset();
  errors_.reset();
  if (pid_ <= 0) return;
  // A child started under a deadline is never waited for without one.
  if (leads_group_) {
    Kill();
  } else {
    (void)Wait();
  }
}

Status ChildProcess::ReadOutput(std::string* output, std::optional<Deadline> deadline) {
  std::string chunk(kReadChunk, '\0');
  while (output_.valid() || errors_.valid()) {
    pollfd watched[2];
    ScopedFd* owners[2];
    nfds_t count = 0;
    for (ScopedFd* fd : {&output_, &errors_}) {
      if (!fd->valid()) continue;
      watched[count] = pollfd{fd->get(), POLLIN, 0};
      owners[count] = fd;
      ++count;
    }
    const int ready = ::poll(watched, count, poll_timeout(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return os_error(errno);
    }
    if (ready == 0 && deadline && Clock::now() >= *deadline) return os_error(ETIMEDOUT);
    for (nfds_t i = 0; i < count; ++i) {
      if (watched[i].revents == 0) continue;
      if ((watched[i].revents & POLLNVAL) != 0) return os_error(EBADF);
      const ssize_t got = ::read(watched[i].fd, chunk.data(), chunk.size());
      if (got < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return os_error(errno);
      }
      if (got == 0) {
        owners[i]->reset();
      } else if (owners[i] == &output_) {
        output->append(chunk.data(), static_cast<size_t>(got));
      }
    }
  }
  return Status::Ok();
}

Result<int> ChildProcess::Wait(std::optional<Deadline> deadline) {
  // Never waitpid(-1): that would reap some other child of the process.
  if (pid_ <= 0) return os_error(ECHILD);
  // Without a signal handler (the caller's program owns those) there is nothing to block on that
  // also times out, so a bounded wait polls, with pauses growing from 1 ms to 16 ms.
  std::chrono::milliseconds pause{1};
  int wait_status = 0;
  pid_t reaped;
  for (;;) {
    reaped = ::waitpid(pid_, &wait_status, deadline ? WNOHANG : 0);
    if (reaped < 0 && errno == EINTR) continue;
    if (reaped != 0) break;
    const auto now = Clock::now();
    if (now >= *deadline) return os_error(ETIMEDOUT);
    sleep_for(std::min<Clock::duration>(pause, *deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds{16});
  }
  const int wait_error = errno;
  pid_ = -1;
  if (reaped < 0) return os_error(wait_error);
  return wait_status;
}

void ChildProcess::Kill() {
  if (pid_ <= 0) return;
  output_.reset();
  errors_.reset();
  // The pid cannot have been reused: the child is not reaped yet, so its id (and its group's) is
  // still taken.
  ::kill(leads_group_ ? -pid_ : pid_, SIGKILL);
  if (!Wait(Clock::now() + kKillGrace).ok()) pid_ = -1;
}

}  // namespace trovik::git
