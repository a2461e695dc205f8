#pragma once
// Runs a piece of a test in a forked child, optionally as the unprivileged user "nobody":
// the superuser passes every permission check, so faults that only permissions reveal need
// an ordinary user. The child reports through its exit status (0 = every check held, any
// other value names the check that failed) and never returns into the test framework.

#include <cerrno>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace tarvu {

struct ChildOutcome {
    bool ran = false;     // false: the child could not be started as asked (see `why`)
    int exitStatus = -1;  // the body's result; -1 when the child died of a signal
    std::string why;
};

// `body` runs in the child; as the superuser the child first becomes nobody:nogroup (or
// nobody's own group) without supplementary groups. A process that is not the superuser
// runs the body as itself, which is already unprivileged.
inline ChildOutcome RunInChild(const std::function<int()>& body, bool unprivileged) {
    ChildOutcome outcome;
    uid_t uid = 0;
    gid_t gid = 0;
    const bool dropPrivileges = unprivileged && ::geteuid() == 0;
    if (dropPrivileges) {
        const passwd* nobody = ::getpwnam("nobody");
        if (nobody == nullptr) {
            outcome.why = "no user 'nobody' to drop privileges to";
            return outcome;
        }
        uid = nobody->pw_uid;
        gid = nobody->pw_gid;
        if (const group* nogroup = ::getgrnam("nogroup")) {
            gid = nogroup->gr_gid;
        }
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        outcome.why = "fork failed";
        return outcome;
    }
    if (pid == 0) {
        if (dropPrivileges &&
            (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
            ::_exit(125);
        }
        ::_exit(body());
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            outcome.why = "waitpid failed";
            return outcome;
        }
    }
    outcome.ran = !(WIFEXITED(status) && WEXITSTATUS(status) == 125);
    if (!outcome.ran) {
        outcome.why = "could not become nobody";
    }
    outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

}  // namespace tarvu
