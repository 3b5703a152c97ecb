#include "win/launch/key_channel.h"

#include <atomic>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "win/launch/secure_wipe.h"

namespace patcher::win {
namespace {

constexpr DWORD kReadChunkBytes = 4096;
constexpr std::uint64_t kCloseWaitMs = 3000;
constexpr DWORD kCancelRetryMs = 50;

std::string ErrorText() {
    return std::to_string(GetLastError());
}

// A read or write may start just after a cancel was issued, so the cancel is repeated until the
// thread ends or the time is up.
bool StopThread(HANDLE thread) {
    if (GetThreadId(thread) == GetCurrentThreadId()) return false;
    const std::uint64_t start = GetTickCount64();
    for (;;) {
        CancelSynchronousIo(thread);
        if (WaitForSingleObject(thread, kCancelRetryMs) == WAIT_OBJECT_0) return true;
        if (GetTickCount64() - start >= kCloseWaitMs) return false;
    }
}

}  // namespace

struct KeyChannel::State {
    unique_handle patcher_write;
    unique_handle game_read;
    unique_handle patcher_read;
    unique_handle game_write;
    unique_handle process;
    unique_handle thread;
    unique_handle stop_event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    KeyProvider provider;
    std::function<void()> closing;
    std::shared_ptr<KeyFetchOutcome> fetch_outcome;
    // Guards the record. Provider calls have a lock of their own: the first key (owner's thread)
    // can meet an early request (channel thread), and the provider is not built for that.
    mutable std::mutex lock;
    mutable std::mutex provider_lock;
    ChannelRecord record;
    bool created = false;
    bool attached = false;
    std::atomic<std::uint32_t> stopping{0};
    std::atomic<std::uint32_t> finished{0};

    bool WriteLine(std::string_view word, std::string_view argument) {
        if (!patcher_write) return false;
        std::string line;
        line.reserve(word.size() + argument.size() + 2);
        line.append(word);
        if (!argument.empty()) line.append(" ").append(argument);
        line += '\n';
        DWORD written = 0;
        const bool ok = WriteFile(patcher_write.get(), line.data(), static_cast<DWORD>(line.size()),
                                  &written, nullptr) &&
                        written == line.size();
        SecureWipe(line);
        return ok;
    }

    bool SendKey(std::string& reason) {
        reason.clear();
        const std::lock_guard<std::mutex> serial(provider_lock);
        if (!provider) {
            reason = "DISABLED";
            WriteLine("KEYERR", reason);
            return false;
        }
        std::string key;
        const bool got = provider(key, reason);
        if (got) {
            const bool written = WriteLine("KEY", key);
            SecureWipe(key);
            if (!written) {
                reason = "PIPE_WRITE_FAILED";
                return false;
            }
            const std::lock_guard<std::mutex> hold(lock);
            ++record.keys_sent;
            return true;
        }
        SecureWipe(key);
        if (reason.empty()) reason = "UNREACHABLE";
        WriteLine("KEYERR", reason);
        return false;
    }

    void HandleLine(const std::string& line) {
        bool request = false;
        {
            const std::lock_guard<std::mutex> hold(lock);
            request = RecordChannelLine(record, line);
        }
        std::string ignored;
        if (request) SendKey(ignored);
    }

    void ReadRequests() {
        std::vector<char> buffer(kReadChunkBytes);
        ChannelLineSplitter splitter;
        std::vector<std::string> lines;
        while (stopping == 0) {
            DWORD got = 0;
            if (!ReadFile(patcher_read.get(), buffer.data(), kReadChunkBytes, &got, nullptr) ||
                got == 0) {
                return;
            }
            lines.clear();
            splitter.Feed(std::string_view(buffer.data(), got), lines);
            for (const std::string& line : lines) HandleLine(line);
        }
    }

    // The game closed its output; its exit code follows once it has ended (or Close says stop).
    void AwaitExit() {
        if (stopping != 0 || !process) return;
        const HANDLE waits[2] = {process.get(), stop_event.get()};
        const DWORD count = stop_event ? 2 : 1;
        if (WaitForMultipleObjects(count, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return;
        DWORD code = 0;
        if (!GetExitCodeProcess(process.get(), &code)) return;
        const std::lock_guard<std::mutex> hold(lock);
        record.exit_code = code;
        record.exit_code_known = true;
    }

    static DWORD WINAPI ThreadMain(void* parameter) {
        // The thread owns a reference, so the state outlives a channel destroyed under it.
        const std::unique_ptr<std::shared_ptr<State>> owner(
            static_cast<std::shared_ptr<State>*>(parameter));
        State& self = **owner;
        self.ReadRequests();
        self.AwaitExit();
        self.finished = 1;
        if (self.closing && self.stopping == 0) self.closing();
        return 0;
    }
};

KeyChannel::KeyChannel() : state_(std::make_shared<State>()) {}

KeyChannel::~KeyChannel() {
    Close();
}

void KeyChannel::SetProvider(KeyProvider provider, std::shared_ptr<KeyFetchOutcome> outcome) {
    const std::lock_guard<std::mutex> serial(state_->provider_lock);
    state_->provider = std::move(provider);
    state_->fetch_outcome = std::move(outcome);
}

bool KeyChannel::has_provider() const {
    const std::lock_guard<std::mutex> serial(state_->provider_lock);
    return static_cast<bool>(state_->provider);
}

void KeyChannel::SetClosingCallback(std::function<void()> callback) {
    state_->closing = std::move(callback);
}

bool KeyChannel::Create(std::string& message) {
    message.clear();
    State& s = *state_;
    if (s.created) return true;
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    if (!CreatePipe(s.game_read.put(), s.patcher_write.put(), &inheritable, 0)) {
        message = "CreatePipe (patcher to game) failed with " + ErrorText();
        return false;
    }
    if (!CreatePipe(s.patcher_read.put(), s.game_write.put(), &inheritable, 0)) {
        message = "CreatePipe (game to patcher) failed with " + ErrorText();
        return false;
    }
    if (!SetHandleInformation(s.patcher_write.get(), HANDLE_FLAG_INHERIT, 0) ||
        !SetHandleInformation(s.patcher_read.get(), HANDLE_FLAG_INHERIT, 0)) {
        message = "cannot clear inheritance on the patcher's pipe ends (error " + ErrorText() + ")";
        return false;
    }
    s.created = true;
    return true;
}

HANDLE KeyChannel::game_input() const {
    return state_->game_read.get();
}

HANDLE KeyChannel::game_output() const {
    return state_->game_write.get();
}

bool KeyChannel::Attach(unique_handle process, std::string& message) {
    message.clear();
    State& s = *state_;
    if (!s.created) {
        message = "the key channel was never created";
        return false;
    }
    if (s.attached) {
        message = "the key channel is already attached";
        return false;
    }
    s.process = std::move(process);
    // The game holds its own copies; without ours gone the pipes would never report its end.
    s.game_read.reset();
    s.game_write.reset();
    s.attached = true;
    auto* reference = new std::shared_ptr<State>(state_);
    const HANDLE thread = CreateThread(nullptr, 0, &State::ThreadMain, reference, 0, nullptr);
    if (thread == nullptr) {
        message = "cannot start the key-request thread (error " + ErrorText() + ")";
        delete reference;
        s.attached = false;
        return false;
    }
    s.thread.reset(thread);
    return true;
}

bool KeyChannel::SendKey(std::string& reason) {
    return state_->SendKey(reason);
}

void KeyChannel::Close() {
    State& s = *state_;
    if (s.stopping.exchange(1) != 0) return;
    if (s.stop_event) SetEvent(s.stop_event.get());
    const bool thread_gone = !s.thread || StopThread(s.thread.get());
    s.thread.reset();
    s.game_read.reset();
    s.game_write.reset();
    // A thread that did not stop in time is inside a call on these; they close with the state
    // when it returns.
    if (thread_gone) {
        s.patcher_read.reset();
        s.patcher_write.reset();
        s.process.reset();
    }
    s.created = false;
}

bool KeyChannel::WaitFinished(std::uint32_t timeout_ms) const {
    const State& s = *state_;
    if (!s.thread) return s.finished != 0;
    return WaitForSingleObject(s.thread.get(), timeout_ms) == WAIT_OBJECT_0;
}

ChannelRecord KeyChannel::Record() const {
    const std::lock_guard<std::mutex> hold(state_->lock);
    return state_->record;
}

bool KeyChannel::FetchOutcome(KeyFetchOutcome& outcome) const {
    const std::lock_guard<std::mutex> serial(state_->provider_lock);
    if (!state_->fetch_outcome) return false;
    outcome = *state_->fetch_outcome;
    return true;
}

}  // namespace patcher::win
