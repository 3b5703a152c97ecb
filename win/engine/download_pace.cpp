#include "win/engine/download_pace.h"

#include <chrono>
#include <thread>

namespace patcher::win {
namespace {

std::uint64_t NowUs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

DownloadPace::DownloadPace(std::uint64_t bytes_per_second) : bucket_(bytes_per_second) {}

void DownloadPace::SetRate(std::uint64_t bytes_per_second) {
    bucket_.SetRate(bytes_per_second, NowUs());
}

bool DownloadPace::Admit(std::uint32_t bytes, const std::function<bool()>& stop) {
    for (;;) {
        const std::uint64_t wait_us = bucket_.Take(bytes, NowUs());
        if (wait_us == 0) return true;
        if (stop && stop()) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(wait_us));
    }
}

}  // namespace patcher::win
