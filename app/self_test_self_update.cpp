// The probes of the self-update: the swap on a running image, a replacement changed after its
// digest was taken, and the restore of a retired executable. Each works on a copy of the patcher in
// a scratch folder, started as a child, so the patcher that runs the probe is never replaced.
#include <windows.h>

#include <atomic>
#include <initializer_list>
#include <string>
#include <thread>

#include "app/child_process.h"
#include "app/console_report.h"
#include "app/file_digest.h"
#include "app/self_test.h"
#include "win/engine/self_update.h"
#include "win/platform/atomic_file.h"
#include "win/platform/known_paths.h"
#include "win/platform/paths.h"
#include "win/platform/plain_file.h"
#include "win/platform/text.h"
#include "win/platform/unique_handle.h"

namespace patcher::app {

using namespace rules;
using namespace win;

namespace {

constexpr std::uint32_t kChildTimeoutMs = 30000;

bool AppendBytes(const std::wstring& path, const std::string& bytes) {
    unique_hfile file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file &&
           ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

// A child that has just exited may keep its image mapped for a moment, so the last attempt's
// leftovers go only after a few tries: a stale retired copy would pass for a swap, and a mapped
// executable cannot be copied over.
bool RemoveLeftovers(std::initializer_list<const std::wstring*> paths) {
    for (const std::wstring* path : paths) {
        const PlainDelete result = DeletePlainFileRetrying(*path, kExitedImageRetries);
        if (result != PlainDelete::Deleted && result != PlainDelete::Missing) return false;
    }
    return true;
}

// A copy of the patcher as "patcher.exe" and, beside it, a replacement that differs from it (the
// same image with bytes appended, so that it still runs).
struct Fixture {
    std::wstring folder, exe, fresh, old;

    bool Prepare(const Arguments& arguments, const wchar_t* scratch) {
        folder = JoinPath(arguments.config.data_directory, scratch);
        exe = JoinPath(folder, L"patcher.exe");
        fresh = exe + L".new";
        old = exe + L".old";
        const std::wstring self = ExecutablePath();
        return !arguments.config.data_directory.empty() && EnsureDirectory(folder) &&
               RemoveLeftovers({&exe, &fresh, &old}) &&
               ::CopyFileW(self.c_str(), exe.c_str(), FALSE) &&
               ::CopyFileW(self.c_str(), fresh.c_str(), FALSE) &&
               AppendBytes(fresh, "\r\nnext patcher build\r\n");
    }

    ChildRun Apply(const std::wstring& expected) const {
        return RunChildProcess(exe,
                               L"--headless --self-test self-update-apply --expect-sha256 " +
                                   expected + L" --data-dir " + Quoted(folder),
                               kChildTimeoutMs);
    }
};

}  // namespace

int RunSelfUpdateApplySelfTest(const Arguments& arguments) {
    std::string error;
    bool intact = true;
    const bool applied = ApplySelfUpdate(arguments.expected_sha256, error, intact);
    PrintField(L"APPLY", applied ? L"OK" : L"FAILED");
    PrintField(L"APPLY_DIAGNOSTIC", Utf8ToWide(error));
    return applied ? 0 : 1;
}

int RunSelfUpdateSelfTest(const Arguments& arguments) {
    Fixture fixture;
    if (!fixture.Prepare(arguments, L"su")) {
        PrintField(L"SELF_UPDATE", L"SETUP_FAILED");
        return 1;
    }
    const std::wstring before = FileSha256Hex(fixture.exe);
    const std::wstring incoming = FileSha256Hex(fixture.fresh);
    PrintField(L"EXE_BEFORE", before);
    PrintField(L"EXE_INCOMING", incoming);
    if (before.empty() || before == incoming) {
        PrintField(L"SELF_UPDATE", L"FIXTURE_NOT_DISTINGUISHABLE");
        return 1;
    }
    const ChildRun apply = fixture.Apply(incoming);
    if (!apply.started) {
        PrintField(L"SELF_UPDATE", L"SPAWN_FAILED");
        return 1;
    }
    PrintField(L"APPLY_EXIT", FormatDecimal(apply.exit_code));
    const std::wstring after = FileSha256Hex(fixture.exe);
    const std::wstring old = FileSha256Hex(fixture.old);
    const bool swapped = after == incoming && old == before;
    PrintField(L"EXE_AFTER", after);
    PrintField(L"OLD_PRESENT", YesNo(PathExists(fixture.old)));
    PrintField(L"OLD_SHA256", old);
    PrintField(L"SWAPPED", YesNo(swapped));
    // The new image starts, and its start-up removes the retired one.
    const ChildRun next = RunChildProcess(
        fixture.exe, L"--headless --self-test noop --data-dir " + Quoted(fixture.folder),
        kChildTimeoutMs);
    const bool runs = next.finished && next.exit_code == 0;
    const bool cleaned = !PathExists(fixture.old);
    PrintField(L"NEW_BINARY_RUNS", YesNo(runs));
    PrintField(L"OLD_CLEANED_ON_NEXT_START", YesNo(cleaned));
    const bool ok = apply.finished && apply.exit_code == 0 && swapped && runs && cleaned;
    PrintField(L"SELF_UPDATE", ok ? L"OK" : L"FAILED");
    return ok ? 0 : 1;
}

int RunSelfUpdateTamperSelfTest(const Arguments& arguments) {
    Fixture fixture;
    if (!fixture.Prepare(arguments, L"sut")) {
        PrintField(L"SELF_UPDATE_TAMPER", L"SETUP_FAILED");
        return 1;
    }
    const std::wstring manifest = FileSha256Hex(fixture.fresh);
    const bool altered = AppendBytes(fixture.fresh, "tampered after the download");
    const std::wstring tampered = FileSha256Hex(fixture.fresh);
    PrintField(L"MANIFEST_SHA256", manifest);
    PrintField(L"TAMPERED_SHA256", tampered);
    if (!altered || tampered.empty() || tampered == manifest) {
        PrintField(L"SELF_UPDATE_TAMPER", L"TAMPER_FAILED");
        return 1;
    }
    const std::wstring before = FileSha256Hex(fixture.exe);
    PrintField(L"EXE_BEFORE", before);
    const ChildRun apply = fixture.Apply(manifest);
    if (!apply.started) {
        PrintField(L"SELF_UPDATE_TAMPER", L"SPAWN_FAILED");
        return 1;
    }
    const std::wstring after = FileSha256Hex(fixture.exe);
    PrintField(L"APPLY_EXIT", FormatDecimal(apply.exit_code));
    PrintField(L"EXE_AFTER", after);
    const bool refused = apply.finished && apply.exit_code != 0;
    const bool unchanged = after == before;
    const bool deleted = !PathExists(fixture.fresh);
    const bool no_old = !PathExists(fixture.old);
    PrintField(L"APPLY_REFUSED", YesNo(refused));
    PrintField(L"EXE_UNCHANGED", YesNo(unchanged));
    PrintField(L"TAMPERED_NEW_DELETED", YesNo(deleted));
    PrintField(L"NO_OLD_LEFT_BEHIND", YesNo(no_old));
    const bool ok = refused && unchanged && deleted && no_old;
    PrintField(L"SELF_UPDATE_TAMPER", ok ? L"REFUSED" : L"FAILED");
    return ok ? 0 : 1;
}

namespace {

constexpr int kWindowAttempts = 40;

// What the attacker of the verify-to-publish window saw: the replacement stops accepting writers
// once the apply holds it. In that window it tries to change the content the apply verified: by
// writing to it, or by moving it away (the apply's delete sharing allows that) and putting a file
// of its own under the replacement's name.
struct WindowAttack {
    std::atomic<bool> done{false};
    bool saw_window = false;
    bool acquired_in_window = false;
    bool wrote = false;

    void Run(const std::wstring& fresh) {
        const std::wstring stolen = fresh + L".stolen";
        while (!done && PathExists(fresh)) {
            unique_hfile writer(
                ::CreateFileW(fresh.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (writer) {
                if (!saw_window) continue;  // before the apply holds it, a write is refused later
                acquired_in_window = true;
                DWORD written = 0;
                wrote = ::WriteFile(writer.get(), "X", 1, &written, nullptr) && written == 1;
                return;
            }
            if (::GetLastError() != ERROR_SHARING_VIOLATION) continue;
            saw_window = true;
            if (::MoveFileExW(fresh.c_str(), stolen.c_str(), MOVEFILE_REPLACE_EXISTING)) {
                acquired_in_window = true;
                wrote = ::CopyFileW(stolen.c_str(), fresh.c_str(), FALSE) &&
                        AppendBytes(fresh, "substituted");
                return;
            }
        }
    }
};

}  // namespace

int RunSelfUpdateWindowApplySelfTest(const Arguments& arguments) {
    const std::wstring fresh = ExecutablePath() + L".new";
    WindowAttack attack;
    bool started = true;
    std::thread attacker;
    try {
        attacker = std::thread([&] { attack.Run(fresh); });
    } catch (...) {
        started = false;
    }
    std::string error;
    bool intact = true;
    const bool applied = ApplySelfUpdate(arguments.expected_sha256, error, intact);
    attack.done = true;
    if (attacker.joinable()) attacker.join();
    PrintField(L"ATTACK_THREAD", started ? L"STARTED" : L"NOT_STARTED");
    PrintField(L"ATTACK_SAW_WINDOW_SIGNAL", YesNo(attack.saw_window));
    PrintField(L"ATTACK_ACQUIRED_IN_WINDOW", YesNo(attack.acquired_in_window));
    PrintField(L"ATTACK_WROTE", YesNo(attack.wrote));
    PrintField(L"APPLY", applied ? L"OK" : L"FAILED");
    PrintField(L"APPLY_DIAGNOSTIC", Utf8ToWide(error));
    return applied ? 0 : 1;
}

// Repeats the race: a win is an installed executable whose content is not the verified one.
int RunSelfUpdateWindowSelfTest(const Arguments& arguments) {
    int won_on = 0, wins = 0, attempts = 0;
    for (; attempts < kWindowAttempts; ++attempts) {
        Fixture fixture;
        if (!fixture.Prepare(arguments, L"suw")) {
            PrintField(L"SETUP_ERROR", FormatDecimal(::GetLastError()));
            PrintField(L"ATTEMPTS", FormatDecimal(static_cast<std::uint64_t>(attempts)));
            PrintField(L"SELF_UPDATE_WINDOW", L"SETUP_FAILED");
            return 1;
        }
        const std::wstring incoming = FileSha256Hex(fixture.fresh);
        const ChildRun apply =
            RunChildProcess(fixture.exe,
                            L"--headless --self-test self-update-window-apply --expect-sha256 " +
                                incoming + L" --data-dir " + Quoted(fixture.folder),
                            kChildTimeoutMs);
        if (!apply.started) {
            PrintField(L"ATTEMPTS", FormatDecimal(static_cast<std::uint64_t>(attempts)));
            PrintField(L"SELF_UPDATE_WINDOW", L"SPAWN_FAILED");
            return 1;
        }
        const bool swapped = PathExists(fixture.old);
        if (swapped && FileSha256Hex(fixture.exe) != incoming) {
            PrintField(L"UNVERIFIED_CONTENT_INSTALLED", L"yes");
            ++wins;
            if (won_on == 0) won_on = attempts + 1;
        }
    }
    PrintField(L"WON_ON_ATTEMPT", FormatDecimal(static_cast<std::uint64_t>(won_on)));
    PrintField(L"ATTEMPTS", FormatDecimal(static_cast<std::uint64_t>(attempts)));
    PrintField(L"WINS", FormatDecimal(static_cast<std::uint64_t>(wins)));
    PrintField(L"SELF_UPDATE_WINDOW", wins == 0 ? L"NOT_WON_IN_THESE_ATTEMPTS" : L"WINDOW_OPEN");
    return wins == 0 ? 0 : 1;
}

// Windows refuses to replace a running image by a move, which is why the swap renames it aside
// first; and RestoreFile must put a retired executable back, or say that it could not.
int RunSelfUpdateRollbackSelfTest(const Arguments& arguments) {
    const std::wstring folder = JoinPath(arguments.config.data_directory, L"sur");
    const std::wstring live = JoinPath(folder, L"live.exe"), retired = live + L".old";
    const std::wstring decoy = JoinPath(folder, L"decoy.bin");
    for (const std::wstring* stale : {&live, &retired, &decoy}) ::DeleteFileW(stale->c_str());
    const std::wstring self = ExecutablePath();
    if (arguments.config.data_directory.empty() || !EnsureDirectory(folder) ||
        !::CopyFileW(self.c_str(), live.c_str(), FALSE) ||
        !::CopyFileW(self.c_str(), decoy.c_str(), FALSE) || !AppendBytes(decoy, "decoy")) {
        PrintField(L"SELF_UPDATE_ROLLBACK", L"SETUP_FAILED");
        return 1;
    }
    // The copy runs (holding) while a move tries to replace its image.
    unique_handle child;
    std::uint32_t spawn_error = 0;
    if (!StartChildProcess(
            live, L"--headless --self-test noop --hold-ms 3000 --data-dir " + Quoted(folder), child,
            spawn_error)) {
        PrintField(L"SELF_UPDATE_ROLLBACK", L"SPAWN_FAILED");
        return 1;
    }
    ::Sleep(1000);
    const bool replaced =
        ::MoveFileExW(decoy.c_str(), live.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    const DWORD replace_error = ::GetLastError();
    PrintField(L"REPLACE_RUNNING_IMAGE", replaced
                                             ? L"SUCCEEDED -- order could change"
                                             : L"REFUSED error=" + FormatDecimal(replace_error));
    ::WaitForSingleObject(child.get(), kChildTimeoutMs);

    // A retired executable is put back.
    ::MoveFileExW(live.c_str(), retired.c_str(), MOVEFILE_REPLACE_EXISTING);
    const std::wstring retired_sha = FileSha256Hex(retired);
    PrintField(L"RETIRED_SHA256", retired_sha);
    PrintField(L"LIVE_MISSING_BEFORE", YesNo(!PathExists(live)));
    const bool restored = RestoreFile(retired, live);
    const std::wstring live_sha = FileSha256Hex(live);
    PrintField(L"RESTORE_NORMAL", YesNo(restored));
    PrintField(L"LIVE_PRESENT_AFTER", YesNo(PathExists(live)));
    PrintField(L"LIVE_SHA256", live_sha);

    // Retired again, and held open without any sharing: the restore may not claim success.
    ::MoveFileExW(live.c_str(), retired.c_str(), MOVEFILE_REPLACE_EXISTING);
    unique_hfile lock(::CreateFileW(retired.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool locked = lock.is_valid();
    const bool blocked_returned = RestoreFile(retired, live);
    const bool present_after_blocked = PathExists(live);
    lock.reset();
    PrintField(L"RESTORE_BLOCKED", present_after_blocked ? L"PARTIAL" : L"COULD_NOT_FORCE");
    PrintField(L"RETIRED_LOCKED", locked ? L"yes (dwShareMode=0)" : L"no");
    PrintField(L"RESTORE_BLOCKED_RETURNED", YesNo(blocked_returned));
    PrintField(L"LIVE_PRESENT_AFTER_BLOCKED", YesNo(present_after_blocked));

    const wchar_t* verdict = L"OK";
    if (!restored || live_sha != retired_sha) {
        verdict = L"RESTORE_BROKEN";
    } else if (blocked_returned && !present_after_blocked) {
        verdict = L"CLAIMED_SUCCESS_WHILE_BLOCKED";
    }
    PrintField(L"SELF_UPDATE_ROLLBACK", verdict);
    return std::wstring(verdict) == L"OK" ? 0 : 1;
}

}  // namespace patcher::app
