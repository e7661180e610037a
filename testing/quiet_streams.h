// Silences standard output and standard error while it lives (the readers'
// and the engine's progress lines), for benchmarks that print figures.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace lumo::tool {

class QuietStreams {
  public:
    QuietStreams() {
        std::fflush(stdout);
        std::fflush(stderr);
        saved_out_ = dup(1);
        saved_err_ = dup(2);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        close(null);
    }
    ~QuietStreams() {
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(saved_out_, 1);
        dup2(saved_err_, 2);
        close(saved_out_);
        close(saved_err_);
    }
    QuietStreams(const QuietStreams&) = delete;
    QuietStreams& operator=(const QuietStreams&) = delete;

  private:
    int saved_out_ = -1;
    int saved_err_ = -1;
};

}  // namespace lumo::tool
