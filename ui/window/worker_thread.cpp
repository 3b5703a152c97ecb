#include "ui/window/worker_thread.h"

#include <string>
#include <system_error>
#include <thread>

#include "rules/error_text.h"
#include "win/platform/support_log.h"

namespace patcher::ui {

using namespace rules;
using namespace win;

bool StartWorkerThread(const char* name, std::function<void()> work) {
    try {
        std::thread([name, work = std::move(work)] {
            try {
                work();
            } catch (const std::exception& e) {
                LogLine(std::string(name) + " thread failed: " + e.what());
            } catch (...) {
                LogLine(std::string(name) + " thread failed");
            }
        }).detach();
        return true;
    } catch (const std::system_error& e) {
        LogLine(WithError(std::string(name) + " thread could not start",
                          static_cast<std::uint32_t>(e.code().value())));
        return false;
    }
}

}  // namespace patcher::ui
