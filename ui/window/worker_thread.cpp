#include "ui/window/worker_thread.h"

#include <windows.h>

#include <memory>
#include <string>

#include "win/platform/support_log.h"

namespace patcher::win {
namespace {

struct Work {
    const char* name;
    std::function<void()> body;
};

DWORD WINAPI WorkerMain(void* parameter) {
    const std::unique_ptr<Work> work(static_cast<Work*>(parameter));
    try {
        work->body();
    } catch (const std::exception& e) {
        LogLine(std::string(work->name) + " thread failed: " + e.what());
    } catch (...) {
        LogLine(std::string(work->name) + " thread failed");
    }
    return 0;
}

}  // namespace

bool StartWorkerThread(const char* name, std::function<void()> work) {
    auto owned = std::make_unique<Work>(Work{name, std::move(work)});
    const HANDLE thread = CreateThread(nullptr, 0, &WorkerMain, owned.get(), 0, nullptr);
    if (thread == nullptr) {
        LogLine(std::string(name) + " thread could not start (error " +
                std::to_string(GetLastError()) + ")");
        return false;
    }
    static_cast<void>(owned.release());
    CloseHandle(thread);
    return true;
}

}  // namespace patcher::win
