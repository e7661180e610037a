#include "tests/support/run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace lumo::testing {

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& cwd,
                         const std::string& input, int timeout_seconds) {
    ProcessResult result;
    std::signal(SIGPIPE, SIG_IGN);  // a child that exits early must not kill the test
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return result;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd :
             {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
            close(fd);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);

    size_t written = 0;
    int in_fd = in_pipe[1];
    if (input.empty()) {
        close(in_fd);
        in_fd = -1;
    } else {
        fcntl(in_fd, F_SETFL, O_NONBLOCK);
    }
    bool out_open = true, err_open = true;
    bool timed_out = false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    char buf[65536];
    while (out_open || err_open) {
        int wait_ms = -1;
        if (timeout_seconds > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                kill(pid, SIGKILL);
                timed_out = true;
                break;
            }
            wait_ms = static_cast<int>(left.count());
        }
        pollfd fds[3];
        int n = 0;
        if (out_open) fds[n++] = {out_pipe[0], POLLIN, 0};
        if (err_open) fds[n++] = {err_pipe[0], POLLIN, 0};
        if (in_fd >= 0) fds[n++] = {in_fd, POLLOUT, 0};
        if (poll(fds, static_cast<nfds_t>(n), wait_ms) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (fds[i].revents == 0) continue;
            if (fds[i].fd == in_fd) {
                const ssize_t w =
                    write(in_fd, input.data() + written, input.size() - written);
                if (w > 0) written += static_cast<size_t>(w);
                if (w < 0 || written == input.size()) {
                    close(in_fd);
                    in_fd = -1;
                }
                continue;
            }
            const ssize_t r = read(fds[i].fd, buf, sizeof buf);
            std::string& sink = fds[i].fd == out_pipe[0] ? result.out : result.err;
            if (r > 0) {
                sink.append(buf, static_cast<size_t>(r));
            } else {
                (fds[i].fd == out_pipe[0] ? out_open : err_open) = false;
            }
        }
    }
    if (in_fd >= 0) close(in_fd);
    close(out_pipe[0]);
    close(err_pipe[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (timed_out) result.err += "[killed after the timeout]";
    return result;
}

}  // namespace lumo::testing
