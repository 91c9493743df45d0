#include "bench_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <sstream>

namespace lhabench {

int Run(const std::vector<std::string>& argv, const std::string& cwd, std::string* output, double* cpuSeconds) {
  if (argv.empty()) return -1;
  int pipeFds[2] = {-1, -1};
  if (output && ::pipe(pipeFds) != 0) return -1;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(127);
    const int to = output ? pipeFds[1] : ::open("/dev/null", O_WRONLY);
    ::dup2(to, 1);
    ::dup2(to, 2);
    if (output) ::close(pipeFds[0]);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  if (output) {
    ::close(pipeFds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0) output->append(buf, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
  }
  int status = 0;
  struct rusage usage {};
  if (::wait4(pid, &status, 0, &usage) != pid) return -1;
  if (cpuSeconds) {
    *cpuSeconds =
        usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double ThreadCpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

double ProcessCpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

bool HaveProgram(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

}  // namespace lhabench
