#include "win/launch/key_channel.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include <bcrypt.h>
#include <sddl.h>

#include "core/hex.h"
#include "win/platform/last_error.h"
#include "win/platform/secure_wipe.h"
#include "win/platform/support_log.h"
#include "win/platform/text.h"

namespace patcher::win {

using namespace rules;

namespace {

constexpr DWORD kReadChunkBytes = 4096;
constexpr DWORD kPipeBufferBytes = 4096;
constexpr DWORD kCloseWaitMs = 3000;
// What is still read once the game has exited: what it wrote before, not whatever a helper that
// inherited its output goes on writing.
constexpr std::size_t kMaxDrainBytes = 65536;
// The owner's reason when the channel ended before its key was fetched; never written to the game.
constexpr char kChannelClosed[] = "CHANNEL_CLOSED";

std::string ErrorText() {
    return std::to_string(GetLastError());
}

// 128 random bits: nobody can create the name first or find it to connect.
bool RandomPipeName(std::wstring& name) {
    std::uint8_t bits[16] = {};
    if (!BCRYPT_SUCCESS(
            BCryptGenRandom(nullptr, bits, sizeof bits, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        SetLastError(ERROR_GEN_FAILURE);
        return false;
    }
    name = L"\\\\.\\pipe\\garun2-key-" + Utf8ToWide(HexEncode(bits));
    return true;
}

// A protected DACL with one entry, full access for the account we run as: no other account, not
// even an administrator's or a service's, opens the pipe.
bool CurrentUserOnly(unique_hlocal& descriptor) {
    unique_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<std::uint8_t> user(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) {
        return false;
    }
    wchar_t* sid_text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid_text)) {
        return false;
    }
    const unique_hlocal sid_owner(sid_text);
    const std::wstring sddl = L"D:P(A;;GA;;;" + std::wstring(sid_text) + L")";
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &made,
                                                              nullptr)) {
        return false;
    }
    descriptor.reset(made);
    return true;
}

// One direction of the channel. Our end must be overlapped: a read on a pipe that a helper of the
// game keeps open, or a write to a game that never reads, has to be abandoned when the game exits
// or Close says stop, and anonymous pipes only do synchronous I/O (CancelSynchronousIo on a pipe
// is not honoured everywhere, Wine included). CreatePipe itself makes a named pipe and opens its
// other end; this does the same, with our end overlapped and not inheritable, open to our own
// account on this machine only. There is one instance only: if anyone else connected first, our
// open fails and no key is ever written.
bool MakePipe(bool to_game, unique_handle& ours, unique_handle& theirs) {
    std::wstring name;
    unique_hlocal descriptor;
    if (!RandomPipeName(name) || !CurrentUserOnly(descriptor)) return false;
    SECURITY_ATTRIBUTES ours_only{sizeof(ours_only), descriptor.get(), FALSE};
    const DWORD access = (to_game ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) |
                         FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
    const HANDLE server = CreateNamedPipeW(
        name.c_str(), access,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
        kPipeBufferBytes, kPipeBufferBytes, 0, &ours_only);
    if (server == INVALID_HANDLE_VALUE) return false;
    ours.reset(server);
    // The rights an anonymous pipe's ends carry, so the game finds what CreatePipe would give it.
    const DWORD rights =
        to_game ? GENERIC_READ | FILE_WRITE_ATTRIBUTES : GENERIC_WRITE | FILE_READ_ATTRIBUTES;
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    const HANDLE client =
        CreateFileW(name.c_str(), rights, 0, &inheritable, OPEN_EXISTING, 0, nullptr);
    if (client == INVALID_HANDLE_VALUE) return false;
    theirs.reset(client);
    return true;
}

// Runs one overlapped read or write to its end, abandoning it when one of `wake` (null entries
// are skipped) is signalled first; `woken` is then that entry's index, else -1. The OVERLAPPED and
// the buffer stay in use until the call is over, so this always waits for that.
bool CompleteIo(HANDLE file, OVERLAPPED& io, BOOL started, const HANDLE (&wake)[2], DWORD& bytes,
                int& woken) {
    bytes = 0;
    woken = -1;
    if (!started) {
        if (GetLastError() != ERROR_IO_PENDING) return false;
        HANDLE waits[3] = {io.hEvent};
        int index[3] = {-1};
        DWORD count = 1;
        for (int i = 0; i < 2; ++i) {
            if (wake[i] == nullptr) continue;
            index[count] = i;
            waits[count++] = wake[i];
        }
        const DWORD result = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
        if (result != WAIT_OBJECT_0) {
            if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + count) {
                woken = index[result - WAIT_OBJECT_0];
            }
            CancelIoEx(file, &io);
        }
    }
    return GetOverlappedResult(file, &io, &bytes, TRUE) != FALSE;
}

}  // namespace

struct KeyChannel::State {
    unique_handle patcher_write;
    unique_handle game_read;
    unique_handle patcher_read;
    unique_handle game_write;
    unique_handle process;
    // Kept until the state goes, so that a wait on them never meets a closed handle.
    unique_handle reader;
    unique_handle answerer;
    unique_handle stop_event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    unique_handle work_event{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    unique_handle owner_event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    unique_handle read_event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    unique_handle write_event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    KeyProvider provider;
    std::function<void()> closing;
    std::shared_ptr<KeyFetchOutcome> fetch_outcome;
    // Guards the record, the queued requests and the owner's request; held for copies only.
    mutable std::mutex lock;
    // Serialises provider calls (the provider is not built for overlapping ones) and guards the
    // outcome they write. Never held across pipe I/O.
    mutable std::mutex provider_lock;
    ChannelRecord record;
    std::uint32_t queued = 0;  // the game's requests not answered yet
    struct OwnerRequest {
        bool waiting = false;
        bool done = false;
        bool sent = false;
        std::string reason;
        std::optional<KeyFetchOutcome> outcome;
    } owner;
    bool created = false;
    bool attached = false;
    std::atomic<std::uint32_t> stopping{0};
    std::atomic<std::uint32_t> finished{0};
    // The game has exited or its input is broken: no key is fetched or written any more.
    std::atomic<std::uint32_t> game_gone{0};

    bool Serving() const { return stopping == 0 && game_gone == 0; }

    void GameGone() {
        game_gone = 1;
        SetEvent(work_event.get());
    }

    bool WriteLine(std::string_view word, std::string_view argument) {
        if (!patcher_write) return false;
        std::string line;
        line.reserve(word.size() + argument.size() + 2);
        line.append(word);
        if (!argument.empty()) line.append(" ").append(argument);
        line += '\n';
        OVERLAPPED io{};
        io.hEvent = write_event.get();
        const BOOL started = WriteFile(patcher_write.get(), line.data(),
                                       static_cast<DWORD>(line.size()), nullptr, &io);
        const HANDLE wake[2] = {stop_event.get(), process.get()};
        DWORD written = 0;
        int woken = -1;
        const bool ok = CompleteIo(patcher_write.get(), io, started, wake, written, woken) &&
                        written == line.size();
        SecureWipe(line);
        if (!ok) GameGone();
        return ok;
    }

    // One answer: a KEY line, or a KEYERR line with the reason. The outcome is copied while the
    // provider lock is still held, so that it is this fetch's and not a later one's.
    bool Answer(std::string& reason, std::optional<KeyFetchOutcome>* outcome) {
        reason.clear();
        std::string key;
        bool got = false;
        {
            const std::lock_guard<std::mutex> serial(provider_lock);
            if (!Serving()) {
                reason = kChannelClosed;
                return false;
            }
            if (!provider) {
                reason = "DISABLED";
            } else {
                got = provider(key, reason);
            }
            if (outcome != nullptr && fetch_outcome) *outcome = *fetch_outcome;
        }
        if (got) {
            // A fetch can outlast the game or Close: the key then goes to nobody.
            const bool serving = Serving();
            const bool written = serving && WriteLine("KEY", key);
            SecureWipe(key);
            if (!written) {
                reason = serving ? "PIPE_WRITE_FAILED" : kChannelClosed;
                return false;
            }
            const std::lock_guard<std::mutex> hold(lock);
            ++record.keys_sent;
            return true;
        }
        SecureWipe(key);
        if (reason.empty()) reason = "UNREACHABLE";
        if (Serving()) WriteLine("KEYERR", reason);
        return false;
    }

    void TakeLines(const std::vector<std::string>& lines) {
        std::uint32_t requests = 0;
        {
            const std::lock_guard<std::mutex> hold(lock);
            for (const std::string& line : lines) requests += RecordChannelLine(record, line);
            queued += requests;
        }
        if (requests > 0) SetEvent(work_event.get());
    }

    // One read of the game's output, abandoned when Close says stop or the game exits.
    bool ReadChunk(std::vector<char>& buffer, DWORD size, ChannelLineSplitter& splitter, DWORD& got,
                   int& woken) {
        OVERLAPPED io{};
        io.hEvent = read_event.get();
        const BOOL started = ReadFile(patcher_read.get(), buffer.data(), size, nullptr, &io);
        const HANDLE wake[2] = {stop_event.get(), process.get()};
        const bool ok = CompleteIo(patcher_read.get(), io, started, wake, got, woken);
        // The game has exited, but its output may live on in a helper it started: none of what
        // is read from now on is answered.
        if (woken == 1) GameGone();
        if (ok && got > 0) {
            std::vector<std::string> lines;
            splitter.Feed(std::string_view(buffer.data(), got), lines);
            TakeLines(lines);
        }
        return ok;
    }

    void ReadRequests() {
        std::vector<char> buffer(kReadChunkBytes);
        ChannelLineSplitter splitter;
        for (;;) {
            DWORD got = 0;
            int woken = -1;
            const bool ok = ReadChunk(buffer, kReadChunkBytes, splitter, got, woken);
            if (woken == 1) {
                // What the game wrote before it exited is in the pipe already: read that, then
                // stop, however long a helper keeps the pipe open.
                Drain(buffer, splitter);
                return;
            }
            if (!ChannelReadContinues(ok && woken < 0, got, stopping != 0)) return;
        }
    }

    void Drain(std::vector<char>& buffer, ChannelLineSplitter& splitter) {
        for (std::size_t drained = 0; drained < kMaxDrainBytes && stopping == 0;) {
            DWORD available = 0;
            if (!PeekNamedPipe(patcher_read.get(), nullptr, 0, nullptr, &available, nullptr) ||
                available == 0) {
                return;
            }
            // Only we read this end, so a read of what is there completes at once.
            const DWORD size = available < kReadChunkBytes ? available : kReadChunkBytes;
            DWORD got = 0;
            int woken = -1;
            if (!ReadChunk(buffer, size, splitter, got, woken)) return;
            drained += size;
        }
    }

    void AwaitExit() {
        if (stopping != 0 || !process) return;
        const HANDLE waits[2] = {process.get(), stop_event.get()};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return;
        GameGone();
        DWORD code = 0;
        if (!GetExitCodeProcess(process.get(), &code)) return;
        const std::lock_guard<std::mutex> hold(lock);
        record.exit_code = code;
        record.exit_code_known = true;
    }

    void AnswerRequests() {
        const HANDLE waits[2] = {work_event.get(), stop_event.get()};
        while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
            for (;;) {
                bool for_owner = false;
                {
                    const std::lock_guard<std::mutex> hold(lock);
                    if (!Serving()) return;
                    if (owner.waiting && !owner.done) {
                        for_owner = true;
                    } else if (queued > 0) {
                        --queued;
                    } else {
                        break;
                    }
                }
                std::string reason;
                std::optional<KeyFetchOutcome> outcome;
                const bool sent = Answer(reason, for_owner ? &outcome : nullptr);
                if (!for_owner) continue;
                const std::lock_guard<std::mutex> hold(lock);
                owner.done = true;
                owner.sent = sent;
                owner.reason = reason;
                owner.outcome = std::move(outcome);
                SetEvent(owner_event.get());
            }
        }
    }

    // The owner's key on an attached channel: the answering thread fetches and writes it.
    bool AskAnswerer(std::string& reason, std::optional<KeyFetchOutcome>* outcome) {
        ResetEvent(owner_event.get());
        {
            const std::lock_guard<std::mutex> hold(lock);
            owner = OwnerRequest{};
            owner.waiting = true;
        }
        SetEvent(work_event.get());
        const HANDLE waits[2] = {owner_event.get(), answerer.get()};
        WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        const std::lock_guard<std::mutex> hold(lock);
        owner.waiting = false;
        if (!owner.done) {
            reason = kChannelClosed;
            return false;
        }
        reason = owner.reason;
        if (outcome != nullptr) *outcome = owner.outcome;
        return owner.sent;
    }

    void ReportExit() {
        ChannelRecord copy;
        {
            const std::lock_guard<std::mutex> hold(lock);
            if (!record.exit_code_known) return;
            copy.exit_code = record.exit_code;
        }
        char hex[11] = {};
        std::snprintf(hex, sizeof(hex), "0x%08lX", static_cast<unsigned long>(copy.exit_code));
        LogLine("launch: game exited with code " + std::to_string(copy.exit_code) + " (" + hex +
                ")");
    }

    // Both threads own a reference, so the state outlives a channel destroyed under them.
    using Reference = std::unique_ptr<std::shared_ptr<State>>;

    static DWORD WINAPI ReaderMain(void* parameter) {
        const Reference owner(static_cast<std::shared_ptr<State>*>(parameter));
        State& self = **owner;
        self.ReadRequests();
        self.AwaitExit();
        // Answers in flight end first, so that the record is final when the end is reported.
        WaitForSingleObject(self.answerer.get(), INFINITE);
        self.finished = 1;
        self.ReportExit();
        if (self.closing && self.stopping == 0) self.closing();
        return 0;
    }

    static DWORD WINAPI AnswererMain(void* parameter) {
        const Reference owner(static_cast<std::shared_ptr<State>*>(parameter));
        (**owner).AnswerRequests();
        return 0;
    }

    // Win32 threads, not std::thread: WaitThreads waits on their handles with a time limit.
    static HANDLE StartThread(LPTHREAD_START_ROUTINE main, const std::shared_ptr<State>& state) {
        auto* reference = new std::shared_ptr<State>(state);
        const HANDLE thread = CreateThread(nullptr, 0, main, reference, 0, nullptr);
        if (thread == nullptr) delete reference;
        return thread;
    }

    // Waits at most `timeout_ms` for the threads that are not the caller; true when they ended.
    bool WaitThreads(DWORD timeout_ms) const {
        HANDLE waits[2];
        DWORD count = 0;
        for (const unique_handle* thread : {&reader, &answerer}) {
            if (*thread && GetThreadId(thread->get()) != GetCurrentThreadId()) {
                waits[count++] = thread->get();
            }
        }
        if (count == 0) return true;
        return WaitForMultipleObjects(count, waits, TRUE, timeout_ms) == WAIT_OBJECT_0;
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
    if (!s.stop_event || !s.work_event || !s.owner_event || !s.read_event || !s.write_event) {
        message = "cannot create the key channel's events";
        return false;
    }
    if (!MakePipe(true, s.patcher_write, s.game_read)) {
        message = "CreatePipe (patcher to game) failed with " + ErrorText();
        return false;
    }
    if (!MakePipe(false, s.patcher_read, s.game_write)) {
        message = "CreatePipe (game to patcher) failed with " + ErrorText();
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
    // The answerer first: the reader waits for it before it reports the end.
    s.answerer.reset(State::StartThread(&State::AnswererMain, state_));
    if (s.answerer) s.reader.reset(State::StartThread(&State::ReaderMain, state_));
    if (!s.reader) {
        message = WithLastError("cannot start the key-request thread");
        s.stopping = 1;
        SetEvent(s.stop_event.get());
        s.WaitThreads(kCloseWaitMs);
        return false;
    }
    s.attached = true;
    return true;
}

bool KeyChannel::SendKey(std::string& reason, std::optional<KeyFetchOutcome>* outcome) {
    State& s = *state_;
    if (outcome != nullptr) outcome->reset();
    // Before Attach there is no other writer.
    return s.attached ? s.AskAnswerer(reason, outcome) : s.Answer(reason, outcome);
}

void KeyChannel::Close() {
    State& s = *state_;
    if (s.stopping.exchange(1) != 0) return;
    if (s.stop_event) SetEvent(s.stop_event.get());
    const bool threads_gone = s.WaitThreads(kCloseWaitMs);
    s.game_read.reset();
    s.game_write.reset();
    // A thread that did not stop in time is inside a provider call; the handles it may still use
    // close with the state when it returns.
    if (threads_gone) {
        s.patcher_read.reset();
        s.patcher_write.reset();
        s.process.reset();
    }
    s.created = false;
}

bool KeyChannel::WaitFinished(std::uint32_t timeout_ms) const {
    const State& s = *state_;
    if (!s.reader) return s.finished != 0;
    return WaitForSingleObject(s.reader.get(), timeout_ms) == WAIT_OBJECT_0;
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
