#include "tests/support/x_display.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace lumo::testing {
namespace {

pid_t g_private_server = 0;

void StopPrivateServer() {
    if (g_private_server > 0) {
        kill(g_private_server, SIGTERM);
        waitpid(g_private_server, nullptr, 0);
    }
}

bool ServerRunning(const std::string& display) {
    if (display.size() < 2 || display[0] != ':') return false;
    struct stat st;
    return stat(("/tmp/.X11-unix/X" + display.substr(1)).c_str(), &st) == 0;
}

std::string StartPrivateServer() {
    int fds[2];
    if (pipe(fds) != 0) return "";
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number.push_back(c);
    close(fds[0]);
    if (number.empty()) return "";
    g_private_server = pid;
    std::atexit(StopPrivateServer);
    return ":" + number;
}

std::string FindDisplay() {
    if (const char* d = std::getenv("LUMO_TEST_DISPLAY"); d != nullptr && *d != '\0')
        return d;
    if (const char* f = std::getenv("LUMO_TEST_DISPLAY_FILE");
        f != nullptr && *f != '\0') {
        std::ifstream in(f);
        std::string display;
        if (in >> display && ServerRunning(display)) return display;
    }
    return StartPrivateServer();
}

}  // namespace

const std::string& TestDisplay() {
    static const std::string display = [] {
        std::string d = FindDisplay();
        if (!d.empty()) setenv("DISPLAY", d.c_str(), 1);
        return d;
    }();
    return display;
}

}  // namespace lumo::testing
