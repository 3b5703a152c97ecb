// The probes of the atomic writer on the real file system: a writer killed half-way, an attacker
// racing the temporary file, and many writers at once over read-only destinations.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/child_process.h"
#include "app/console_report.h"
#include "app/file_digest.h"
#include "app/self_test.h"
#include "core/sha256.h"
#include "win/platform/atomic_file.h"
#include "win/platform/paths.h"
#include "win/platform/text.h"
#include "win/platform/thread_wait.h"
#include "win/platform/unique_handle.h"

namespace patcher::app {

using namespace rules;
using namespace win;

namespace {

constexpr std::uint32_t kChildTimeoutMs = 30000;
constexpr std::size_t kVictimBytes = 262144;
constexpr std::uint32_t kChildWriteBytes = 65536;
constexpr DWORD kChildDeathCode = 99;
constexpr std::uint32_t kWindowVictimBytes = 4096;
constexpr int kParallelFiles = 400;
constexpr int kParallelWorkers = 8;
constexpr int kParallelExitFailed = 7;
// 400 small files take well under a second on a local disk; a writer stuck on an unresponsive
// network share must not hang the probe.
constexpr DWORD kParallelWaitMs = 120000;

std::string Pattern(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((seed * 131u + i * 7u + (i >> 8)) & 0xFF);
    }
    return bytes;
}

// A plain write, deliberately not through AtomicFile: the fixtures must not depend on the writer
// under test.
bool WritePlainFile(const std::wstring& path, const std::string& bytes) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

bool ReadPlainFile(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    char chunk[16384];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr)) return false;
        if (got == 0) return true;
        bytes.append(chunk, got);
    }
}

void RemoveStaleFile(const std::wstring& path) {
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
}

std::wstring BlockedOrSucceeded(bool succeeded, DWORD error) {
    return succeeded ? std::wstring(L"SUCCEEDED") : L"BLOCKED error=" + FormatDecimal(error);
}

}  // namespace

int RunAtomicInterruptSelfTest(const Arguments& arguments) {
    const std::wstring& data = arguments.config.data_directory;
    const std::wstring victim = JoinPath(data, L"atomic-victim.bin");
    if (data.empty() || !EnsureDirectory(data)) {
        PrintField(L"ATOMIC_INTERRUPT", L"SETUP_FAILED");
        return 1;
    }
    // A temporary file left by an earlier run would make TMP_PRESENT meaningless.
    RemoveStaleFile(victim + L".tmp");
    if (!WritePlainFile(victim, Pattern(kVictimBytes, 1))) {
        PrintField(L"ATOMIC_INTERRUPT", L"SETUP_FAILED");
        return 1;
    }
    PrintField(L"VICTIM", victim);
    const std::wstring before = FileSha256Hex(victim);
    PrintField(L"BEFORE_SHA256", before);
    if (before.empty()) {
        PrintField(L"ATOMIC_INTERRUPT", L"SETUP_FAILED");
        return 1;
    }

    const ChildRun child =
        RunSelfAsChild(L"--headless --self-test atomic-interrupt-child --data-dir " + Quoted(data),
                       kChildTimeoutMs);
    if (!child.started) {
        PrintField(L"ATOMIC_INTERRUPT", L"SPAWN_FAILED");
        return 1;
    }
    PrintField(L"CHILD_EXIT", child.finished ? FormatDecimal(child.exit_code) : L"TIMEOUT");

    const std::wstring after = FileSha256Hex(victim);
    PrintField(L"AFTER_SHA256", after);
    WIN32_FILE_ATTRIBUTE_DATA temp{};
    const bool temp_present =
        ::GetFileAttributesExW((victim + L".tmp").c_str(), GetFileExInfoStandard, &temp) != 0;
    const std::uint64_t temp_size =
        temp_present ? (static_cast<std::uint64_t>(temp.nFileSizeHigh) << 32) | temp.nFileSizeLow
                     : 0;
    PrintField(L"TMP_PRESENT", YesNo(temp_present));
    PrintField(L"TMP_SIZE", FormatDecimal(temp_size));
    const bool intact = after == before;
    PrintField(L"DESTINATION_INTACT", YesNo(intact));
    // Unchanged content proves nothing unless the child really wrote and was really killed.
    const bool child_died_writing = child.finished && child.exit_code == kChildDeathCode;
    const bool ok = intact && child_died_writing;
    PrintField(L"ATOMIC_INTERRUPT", ok ? L"OK" : L"FAILED");
    return ok ? 0 : 1;
}

int RunAtomicInterruptChildSelfTest(const Arguments& arguments) {
    std::wstring victim = arguments.self_test_argument;
    if (victim.empty()) {
        if (arguments.config.data_directory.empty()) return 1;
        victim = JoinPath(arguments.config.data_directory, L"atomic-victim.bin");
    }
    AtomicFile writer;
    const std::string letters(kChildWriteBytes, 'N');
    if (!writer.Open(victim) || !writer.Write(letters.data(), kChildWriteBytes)) return 1;
    WriteConsoleText(L"  CHILD wrote " + FormatDecimal(kChildWriteBytes) + L" bytes, dying\r\n");
    // Dying here, with the writer open and uncommitted, is the point of the probe: no destructor,
    // no clean-up, exactly what a crash or a killed process leaves.
    ::TerminateProcess(::GetCurrentProcess(), kChildDeathCode);
    return static_cast<int>(kChildDeathCode);
}

int RunVerifyMoveWindowSelfTest(const Arguments& arguments) {
    const std::wstring& data = arguments.config.data_directory;
    const std::wstring victim = JoinPath(data, L"window-victim.bin");
    const std::wstring decoy = JoinPath(data, L"window-decoy.bin");
    const std::string content = Pattern(kWindowVictimBytes, 2);
    AtomicFile writer;
    if (data.empty() || !EnsureDirectory(data) ||
        !WritePlainFile(decoy, std::string(kWindowVictimBytes, 'D')) || !writer.Open(victim) ||
        !writer.Write(content.data(), kWindowVictimBytes)) {
        PrintField(L"VERIFY_MOVE_WINDOW", L"SETUP_FAILED");
        return 1;
    }
    const std::wstring temp = writer.temp_path();
    PrintField(L"TEMP", temp);

    // The attacker: full sharing on its side, so only the writer's own share mode can stop it.
    HANDLE opened = ::CreateFileW(temp.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD open_error = opened == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
    const bool write_open = opened != INVALID_HANDLE_VALUE;
    if (write_open) ::CloseHandle(opened);
    PrintField(L"ATTACKER_WRITE_OPEN", BlockedOrSucceeded(write_open, open_error));

    const bool moved = ::MoveFileExW(decoy.c_str(), temp.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    const DWORD move_error = moved ? 0 : ::GetLastError();
    PrintField(L"ATTACKER_RENAME_OVER", BlockedOrSucceeded(moved, move_error));

    const bool committed = writer.Commit();
    const DWORD commit_error = committed ? 0 : ::GetLastError();
    PrintField(L"COMMIT",
               committed ? std::wstring(L"OK") : L"FAILED error=" + FormatDecimal(commit_error));
    const std::wstring expected = Utf8ToWide(patcher::Sha256Hex(content));
    const std::wstring landed = FileSha256Hex(victim);
    PrintField(L"EXPECTED_SHA256", expected);
    PrintField(L"LANDED_SHA256", landed);

    const wchar_t* verdict = L"CLOSED";
    if (write_open || moved) {
        verdict = L"OPEN";
    } else if (!committed) {
        verdict = L"BROKEN";
    } else if (landed != expected) {
        verdict = L"WRONG_CONTENT";
    }
    PrintField(L"VERIFY_MOVE_WINDOW", verdict);
    return std::wstring(verdict) == L"CLOSED" ? 0 : 1;
}

namespace {

struct ParallelJob {
    std::vector<std::wstring> paths;
    std::vector<std::string> contents;
    std::vector<bool> seeded_read_only;
    std::atomic<int> next{0};
    std::atomic<int> commit_failures{0};
    std::atomic<int> commit_failures_on_read_only{0};
};

std::string ParallelContent(const char* prefix, int index) {
    return prefix + std::to_string(index) + "-" +
           Pattern(static_cast<std::size_t>(16 + (index * 37) % 3000),
                   static_cast<std::uint32_t>(index));
}

// Each worker owns a share of the job, so that one still stuck when the probe gives up on it
// never touches freed memory.
DWORD WINAPI ParallelWorker(void* parameter) {
    const std::unique_ptr<std::shared_ptr<ParallelJob>> share(
        static_cast<std::shared_ptr<ParallelJob>*>(parameter));
    ParallelJob& job = **share;
    try {
        for (int i = job.next++; i < static_cast<int>(job.paths.size()); i = job.next++) {
            AtomicFile file;
            const std::string& content = job.contents[static_cast<std::size_t>(i)];
            const bool ok =
                file.Open(job.paths[static_cast<std::size_t>(i)]) &&
                file.Write(content.data(), static_cast<std::uint32_t>(content.size())) &&
                file.Commit();
            if (ok) continue;
            ++job.commit_failures;
            if (job.seeded_read_only[static_cast<std::size_t>(i)])
                ++job.commit_failures_on_read_only;
        }
    } catch (...) {
        // Out of memory: the unfinished files show up as wrong content.
    }
    return 0;
}

int CountTemporaryFiles(const std::wstring& directory) {
    WIN32_FIND_DATAW found;
    unique_hfind find(::FindFirstFileW(JoinPath(directory, L"*.tmp").c_str(), &found));
    if (!find) return 0;
    int count = 0;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) ++count;
    } while (::FindNextFileW(find.get(), &found));
    return count;
}

}  // namespace

int RunOverwriteParallelSelfTest(const Arguments& arguments) {
    const std::wstring directory = JoinPath(arguments.config.data_directory, L"overwrite-parallel");
    PrintField(L"SELF_TEST", L"overwrite-parallel");
    PrintField(L"DIRECTORY", directory);
    if (arguments.config.data_directory.empty() || !EnsureDirectory(directory)) {
        PrintField(L"RESULT", L"SETUP_FAILED: cannot create " + directory);
        return 1;
    }
    const auto job_owner = std::make_shared<ParallelJob>();
    ParallelJob& job = *job_owner;
    int seeded_read_only = 0;
    for (int i = 0; i < kParallelFiles; ++i) {
        const std::wstring path =
            JoinPath(directory, L"file-" + FormatDecimal(static_cast<std::uint64_t>(i)) + L".bin");
        RemoveStaleFile(path + L".tmp");
        const bool read_only = i % 3 == 0;
        if (!WritePlainFile(path, ParallelContent("old-", i)) ||
            (read_only && !::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY))) {
            PrintField(L"RESULT", L"SETUP_FAILED: cannot seed " + path);
            return 1;
        }
        if (read_only) ++seeded_read_only;
        job.paths.push_back(path);
        job.contents.push_back(ParallelContent("new-", i));
        job.seeded_read_only.push_back(read_only);
    }
    PrintField(L"FILES", FormatDecimal(kParallelFiles));
    PrintField(L"WORKERS", FormatDecimal(kParallelWorkers));
    PrintField(L"SEEDED_READONLY", FormatDecimal(static_cast<std::uint64_t>(seeded_read_only)));

    const ULONGLONG started_at = ::GetTickCount64();
    // Win32 threads, not std::thread: a hung commit must not hang the test, so the wait has a
    // limit.
    std::vector<unique_handle> threads;
    std::vector<HANDLE> raw;
    for (int i = 0; i < kParallelWorkers; ++i) {
        auto share = std::make_unique<std::shared_ptr<ParallelJob>>(job_owner);
        unique_handle thread(::CreateThread(nullptr, 0, ParallelWorker, share.get(), 0, nullptr));
        if (!thread) continue;
        static_cast<void>(share.release());  // the worker frees its share
        raw.push_back(thread.get());
        threads.push_back(std::move(thread));
    }
    const std::size_t unfinished = WaitForThreads(raw, kParallelWaitMs);
    const ULONGLONG elapsed = ::GetTickCount64() - started_at;
    PrintField(L"THREADS_STARTED", FormatDecimal(threads.size()));
    PrintField(L"ELAPSED_MS", FormatDecimal(elapsed));
    if (unfinished != 0) PrintField(L"THREADS_UNFINISHED", FormatDecimal(unfinished));

    int wrong = 0;
    for (std::size_t i = 0; i < job.paths.size(); ++i) {
        std::string landed;
        if (!ReadPlainFile(job.paths[i], landed) || landed != job.contents[i]) ++wrong;
    }
    const int leftover = CountTemporaryFiles(directory);
    PrintField(L"COMMIT_FAILURES",
               FormatDecimal(static_cast<std::uint64_t>(job.commit_failures.load())));
    PrintField(L"COMMIT_FAILURES_ON_READONLY",
               FormatDecimal(static_cast<std::uint64_t>(job.commit_failures_on_read_only.load())));
    PrintField(L"WRONG_CONTENT", FormatDecimal(static_cast<std::uint64_t>(wrong)));
    PrintField(L"LEFTOVER_TMP", FormatDecimal(static_cast<std::uint64_t>(leftover)));
    const bool ok =
        wrong == 0 && leftover == 0 && threads.size() == kParallelWorkers && unfinished == 0;
    PrintField(L"RESULT", ok ? L"OK" : L"FAILED");
    return ok ? 0 : kParallelExitFailed;
}

}  // namespace patcher::app
