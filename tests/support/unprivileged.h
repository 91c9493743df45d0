// Runs the checks of a permission case as an ordinary user. Permission bits
// do not stop root, and CI runs the tests as root: there the case runs in a
// child process that hands the given folders to the unprivileged user
// "nobody" and takes on that user's identity before `body` runs. Run by
// anyone else, `body` simply runs in this process.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <QFile>
#include <QString>
#include <gtest/gtest.h>

namespace lmtest {

namespace unprivileged_detail {

inline uid_t& TargetUid() {
  static uid_t uid = 65534;
  return uid;
}
inline gid_t& TargetGid() {
  static gid_t gid = 65534;
  return gid;
}

inline int HandOver(const char* path, const struct stat*, int, struct FTW*) {
  return ::lchown(path, TargetUid(), TargetGid()) == 0 ? 0 : -1;
}

}  // namespace unprivileged_detail

inline void RunUnprivileged(const std::vector<QString>& folders, const std::function<void()>& body) {
  if (::geteuid() != 0) {
    body();
    return;
  }
  if (const passwd* nobody = ::getpwnam("nobody")) {
    unprivileged_detail::TargetUid() = nobody->pw_uid;
    unprivileged_detail::TargetGid() = nobody->pw_gid;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0) << "fork failed";
  if (child == 0) {
    int code = 0;
    for (const QString& folder : folders) {
      const QByteArray native = QFile::encodeName(folder);
      if (::nftw(native.constData(), unprivileged_detail::HandOver, 16, FTW_PHYS) != 0) code = 3;
    }
    const gid_t gid = unprivileged_detail::TargetGid();
    if (code == 0 && (::setgroups(1, &gid) != 0 || ::setgid(gid) != 0 ||
                      ::setuid(unprivileged_detail::TargetUid()) != 0 || ::geteuid() == 0)) {
      code = 4;
    }
    if (code == 0) {
      body();
      code = ::testing::Test::HasFailure() ? 1 : 0;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the unprivileged case ended by signal " << WTERMSIG(status);
  const int code = WEXITSTATUS(status);
  EXPECT_NE(code, 3) << "could not hand the test's folders to the unprivileged user";
  EXPECT_NE(code, 4) << "could not take the unprivileged user's identity";
  EXPECT_EQ(code, 0) << "the checks failed as the unprivileged user (their messages are above)";
  // The folders go back to root, so that the test's clean-up is as usual.
  for (const QString& folder : folders) {
    const QByteArray native = QFile::encodeName(folder);
    unprivileged_detail::TargetUid() = 0;
    unprivileged_detail::TargetGid() = 0;
    (void)::nftw(native.constData(), unprivileged_detail::HandOver, 16, FTW_PHYS);
  }
}

}  // namespace lmtest
