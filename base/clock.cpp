#include "base/clock.h"

#include <chrono>

namespace lumo {

double GetSeconds() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
    const long long whole = ms.count() / 1000;
    const long long milli = ms.count() % 1000;
    return static_cast<double>(whole) + static_cast<double>(milli) * 0.001;
}

}  // namespace lumo
