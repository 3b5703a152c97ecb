#include "model/window_handlers.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "model/window_texts.h"
#include "rules/player_message.h"

namespace patcher::model {

using namespace rules;

namespace {

// A platform that answers as told and records what was asked.
struct FakePlatform {
    bool writable = true;
    std::uint64_t free_bytes = 1ull << 40;
    bool space_ok = true;
    bool drive_readable = true;
    bool directory_made = true;
    std::vector<std::wstring> probed;

    WindowPlatform Get() {
        WindowPlatform p;
        p.probe_writable = [this](const std::wstring& dir, std::uint32_t& error) {
            probed.push_back(dir);
            error = 5;
            return writable;
        };
        p.has_enough_space = [this](const CheckOutcome& r, std::uint64_t& free,
                                    std::uint64_t& needed) {
            free = free_bytes;
            needed = r.download_bytes + 268435456;
            return space_ok;
        };
        p.free_space_near = [this](const std::wstring&, std::uint64_t& free) {
            free = free_bytes;
            return drive_readable;
        };
        p.ensure_directory = [this](const std::wstring&) { return directory_made; };
        return p;
    }
};

WindowContext Context(CheckLevel level = CheckLevel::Full) {
    return {level, L"C:\\Users\\Ali\\OneDrive\\Velmor2", L"Velmor2.exe",
            L"C:\\V\\Velmor2Launcher.exe", L"C:\\V\\patcher.log"};
}

CheckOutcome Ready(bool network = true) {
    CheckOutcome r;
    r.code = StatusCode::Ok;
    r.network = network;
    r.files = 10;
    r.version = "1.4.2";
    r.game_exe_in_manifest = true;
    r.game_exe_on_disk = true;
    r.game_exe_manifest_path = "bin/Velmor2.exe";
    return r;
}

CheckOutcome Wanting(std::size_t count, DiffReason reason = DiffReason::Missing) {
    CheckOutcome r = Ready();
    r.diff.resize(count);
    for (DiffItem& d : r.diff) d.reason = reason;
    // The files take 1 MiB; what the player is told is what is fetched, deltas planned.
    r.download_bytes = 1048576;
    r.fetch_bytes = 1536;
    return r;
}

WindowState Busy() {
    WindowState s;
    s.busy = true;
    return s;
}

const std::wstring kProxyAuth =
    L"Proxy sunucusu kimlik doğrulaması istiyor. Windows'taki proxy ayarlarınızı kontrol edin.";

// What the player sees, after "window: " in the support-log line: the view, the button's caption
// and whether it takes a click, the dot and the headline; then the detail under the progress bar.
void ExpectScreen(const WindowEffects& e, const std::wstring& seen, const std::wstring& detail) {
    EXPECT_EQ(WindowStateLine(e.state), L"window: " + seen);
    EXPECT_EQ(e.state.detail, detail);
}

TEST(OnCheckDoneTest, NothingToDownload) {
    FakePlatform fake;
    const WindowPlatform p = fake.Get();
    CheckOutcome elsewhere = Ready();
    elsewhere.game_exe_in_manifest = false;
    elsewhere.game_exe_same_name_path = "bin/Velmor2.exe";
    CheckOutcome absent = elsewhere;
    absent.game_exe_same_name_path.clear();
    CheckOutcome not_on_disk = Ready();
    not_on_disk.game_exe_on_disk = false;
    CheckOutcome behind_proxy = Ready(false);
    behind_proxy.fetch_error = HttpError::ProxyAuthRequired;
    struct Case {
        WindowState state;
        CheckOutcome result;
        CheckLevel level;
        std::wstring seen, detail;
        NextStep next;
    } cases[] = {
        {Busy(), Ready(), CheckLevel::Full, L"main OYNA enabled green · Oyun güncel",
         L"Sürüm 1.4.2 · Dosyalar doğrulandı", NextStep::None},
        {Busy(), Ready(false), CheckLevel::Full, L"main OYNA enabled amber · Sunucuya ulaşılamadı",
         L"Sürüm 1.4.2 · mevcut sürümle devam", NextStep::None},
        {Busy(), behind_proxy, CheckLevel::Full, L"main OYNA enabled amber · " + kProxyAuth,
         L"Sürüm 1.4.2 · mevcut sürümle devam", NextStep::None},
        {Busy(), elsewhere, CheckLevel::Full,
         L"blocked TEKRAR DENE enabled red · Oyun dosyası bu sürümde yok",
         L"Velmor2.exe burada değil; sürümde bin/Velmor2.exe olarak var", NextStep::None},
        {Busy(), absent, CheckLevel::Full,
         L"blocked TEKRAR DENE enabled red · Oyun dosyası bu sürümde yok",
         L"Velmor2.exe · sürüm 1.4.2 · kayıt: C:\\V\\patcher.log", NextStep::None},
        {Busy(), not_on_disk, CheckLevel::Full,
         L"blocked TEKRAR DENE enabled red · Eksik dosya: bin/Velmor2.exe",
         L"Onarma işlemi oyun kaydınızı etkilemez", NextStep::None},
        // The re-check keeps saying what it is for.
        {Busy(), not_on_disk, CheckLevel::Quick,
         L"main BEKLEYİN disabled amber · Eksik dosya onarılıyor: bin/Velmor2.exe",
         L"Onarma işlemi oyun kaydınızı etkilemez", NextStep::RunCheck},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        const WindowEffects e = OnCheckDone(c.state, c.result, Context(c.level), p);
        ExpectScreen(e, c.seen, c.detail);
        EXPECT_EQ(e.next, c.next);
        EXPECT_EQ(e.state.rounds, 0u);
        EXPECT_EQ(e.level_to_full, c.next == NextStep::RunCheck);
        EXPECT_EQ(e.state.download_after_check, c.next == NextStep::RunCheck);
        EXPECT_EQ(e.state.busy, c.next == NextStep::RunCheck);
    }
}

TEST(OnCheckDoneTest, FailedChecks) {
    FakePlatform fake;
    CheckOutcome refused;
    refused.code = StatusCode::BadSignature;
    refused.network = true;
    refused.player = "Sunucudan gelen dosyalar doğrulanamadı.";
    WindowEffects e = OnCheckDone(Busy(), refused, Context(), fake.Get());
    ExpectScreen(
        e, L"connection-error TEKRAR DENE enabled red · Sunucudan gelen dosyalar doğrulanamadı.",
        L"");
    EXPECT_FALSE(VisibleControls(e.state).play_anyway);

    refused.network = false;
    refused.offer_play_anyway = true;
    e = OnCheckDone(Busy(), refused, Context(), fake.Get());
    ExpectScreen(e,
                 L"connection-error TEKRAR DENE enabled red · Sunucuya bağlanılamıyor. İnternet "
                 L"bağlantınızı kontrol edip tekrar deneyin.",
                 L"Sunucudan gelen dosyalar doğrulanamadı.");
    EXPECT_TRUE(VisibleControls(e.state).play_anyway);
    EXPECT_TRUE(e.view_set);

    // A first start without a connection: the check's sentence is the headline, said once.
    refused.code = StatusCode::BadInput;
    refused.player = UnreachablePlayerMessage();
    e = OnCheckDone(Busy(), refused, Context(), fake.Get());
    ExpectScreen(e,
                 L"connection-error TEKRAR DENE enabled red · Sunucuya bağlanılamıyor. İnternet "
                 L"bağlantınızı kontrol edip tekrar deneyin.",
                 L"");

    // A proxy that wants credentials is named instead of the player's connection.
    refused.fetch_error = HttpError::ProxyAuthRequired;
    refused.player = ProxyAuthPlayerMessage();
    e = OnCheckDone(Busy(), refused, Context(), fake.Get());
    ExpectScreen(e, L"connection-error TEKRAR DENE enabled red · " + kProxyAuth, L"");
}

TEST(OnCheckDoneTest, DamageRechecksAtFullLevelBeforeDownloading) {
    FakePlatform fake;
    CheckOutcome damaged = Wanting(2, DiffReason::HashMismatch);
    damaged.code = StatusCode::ContentMismatch;
    const struct {
        CheckOutcome result;
        std::wstring headline, quick_detail, detail;  // the headline stays until the download ends
    } cases[] = {
        {damaged, kTextRepairingFiles, kTextRepairKeepsSaves, kTextRepairKeepsSaves},
        {Wanting(2, DiffReason::SizeMismatch), L"Bazı dosyalar bozuk — 1,5 KB yeniden iniyor",
         L"2 dosya", L"1,5 KB · 2 dosya"},
    };
    for (const auto& [r, headline, quick_detail, detail] : cases) {
        const WindowEffects quick = OnCheckDone(Busy(), r, Context(CheckLevel::Quick), fake.Get());
        ExpectScreen(quick, L"main BEKLEYİN disabled amber · " + headline, quick_detail);
        EXPECT_TRUE(quick.level_to_full);
        EXPECT_EQ(quick.next, NextStep::RunCheck);
        EXPECT_TRUE(quick.state.download_after_check);
        EXPECT_EQ(quick.state.rounds, 0u);

        // The full-level check that was asked to download does so without counting a round.
        const WindowEffects full =
            OnCheckDone(quick.state, r, Context(CheckLevel::Full), fake.Get());
        EXPECT_FALSE(full.level_to_full);
        EXPECT_EQ(full.next, NextStep::RunDownload);
        EXPECT_EQ(full.progress_position, 0);
        ExpectScreen(full, L"downloading BEKLEYİN disabled amber · " + headline, detail);
    }
}

// An update's headline is PatcherStuckOnlyWhenTheRestartStillWantsANewPatcher's and PauseTest's.
TEST(OnCheckDoneTest, TheHeadlineThatDescribesADownloadStaysWhileItRuns) {
    FakePlatform fake;
    CheckOutcome everything = Wanting(4);
    everything.files = 4;
    const WindowEffects e = OnCheckDone(Busy(), everything, Context(), fake.Get());
    ASSERT_EQ(e.next, NextStep::RunDownload);
    const std::wstring seen =
        L"downloading BEKLEYİN disabled amber · Oyun ilk kez kuruluyor — 1,5 KB iniyor";
    ExpectScreen(e, seen, L"4 dosya");
    const WindowEffects progress = OnProgress(e.state, {0, 4, "a.pak", 1536, 3072});
    ExpectScreen(progress, seen, L"1 / 4 dosya (%50) · a.pak · 1,5 KB / 3,0 KB");
}

TEST(OnCheckDoneTest, TwoAutomaticDownloadsThenBlockedWithTheFolderHint) {
    FakePlatform fake;
    const CheckOutcome r = Wanting(3);
    WindowState s = Busy();
    for (std::uint32_t round = 1; round <= 2; ++round) {
        const WindowEffects e = OnCheckDone(s, r, Context(), fake.Get());
        ASSERT_EQ(e.next, NextStep::RunDownload);
        EXPECT_EQ(e.state.rounds, round);
        const WindowEffects done = OnDownloadDone(e.state, {}, Context(), fake.Get());
        ASSERT_EQ(done.next, NextStep::RunCheck);
        ExpectScreen(done, L"main BEKLEYİN disabled amber · Kontrol ediliyor…", L"");
        s = done.state;
    }
    const WindowEffects third = OnCheckDone(s, r, Context(), fake.Get());
    EXPECT_EQ(third.next, NextStep::None);
    ExpectScreen(third, L"blocked TEKRAR DENE enabled red · Dosyalar indirildi ama diskte kalmıyor",
                 kTextSyncedFolder);
    ASSERT_EQ(third.log.size(), 1u);
    EXPECT_EQ(third.log[0],
              L"automatic download did not converge after 2 rounds -- stopping, 3 file(s) still "
              L"wanted");
    WindowContext plain = Context();
    plain.install_directory = L"D:\\Oyunlar\\Velmor2";
    EXPECT_EQ(OnCheckDone(s, r, plain, fake.Get()).state.detail, kTextFilesRevert);
}

// After a restart with --after-self-update only a manifest that still wants a new patcher means the
// replacement did not take; an ordinary release that follows is downloaded and ends ready.
TEST(OnCheckDoneTest, PatcherStuckOnlyWhenTheRestartStillWantsANewPatcher) {
    FakePlatform fake;
    const struct {
        bool new_patcher;
        std::size_t log_lines;
        std::wstring ready, detail;
    } cases[] = {
        {true, 3,
         L"main OYNA enabled red · Başlatıcı kendini güncelleyemiyor — oyun yine de açılır",
         kTextFilesRevert},
        {false, 0, L"main OYNA enabled green · Oyun güncel", L"Sürüm 1.4.2 · Dosyalar doğrulandı"},
    };
    for (const auto& [new_patcher, log_lines, ready, detail] : cases) {
        CheckOutcome r = Wanting(1);
        r.self_update = new_patcher;
        WindowState s = Busy();
        s.after_self_update = true;
        const WindowEffects e = OnCheckDone(s, r, Context(), fake.Get());
        EXPECT_EQ(e.state.patcher_stuck, new_patcher);
        EXPECT_FALSE(e.state.after_self_update);
        ASSERT_EQ(e.log.size(), log_lines);
        if (new_patcher) {
            EXPECT_EQ(e.log[1], L"self-update: exe is C:\\V\\Velmor2Launcher.exe");
        }
        // Counted this pass with the patcher.
        ExpectScreen(e, L"downloading BEKLEYİN disabled amber · Güncelleme iniyor — 1,5 KB",
                     L"1 dosya");

        // A stuck patcher's download is not applied again, and its entry alone is then nothing to
        // download: ready, with the red notice.
        const WindowEffects done = OnDownloadDone(
            e.state, {DownloadCode::Committed, {}, new_patcher}, Context(), fake.Get());
        ASSERT_EQ(done.next, NextStep::RunCheck);
        EXPECT_EQ(done.log.size(), new_patcher ? 1u : 0u);
        ExpectScreen(OnCheckDone(done.state, new_patcher ? r : Ready(), Context(), fake.Get()),
                     ready, detail);
    }
}

TEST(ProgressTest, PercentAndTexts) {
    struct Case {
        std::uint64_t done, total;
        std::int32_t percent;
    } cases[] = {
        {500, 0, 0}, {2, 3, 66}, {5, 4, 100}, {~0ull - 1, ~0ull, 99}, {~0ull, 1, 100},
    };
    for (const Case& c : cases) EXPECT_EQ(ProgressPercent(c.done, c.total), c.percent) << c.done;

    DownloadProgress p{2, 7, "data/Harita.pak", 1536, 1048576};
    const WindowEffects e = OnProgress(Busy(), p);
    EXPECT_EQ(e.progress_position, 0);
    EXPECT_EQ(e.state.headline, kTextDownloading);  // when nothing said what is downloaded
    EXPECT_EQ(e.state.detail, L"3 / 7 dosya (%0) · data/Harita.pak · 1,5 KB / 1,0 MB");
    EXPECT_EQ(OnProgress(Busy(), p, L"2,0 MB/s").state.detail,
              L"3 / 7 dosya (%0) · data/Harita.pak · 1,5 KB / 1,0 MB · 2,0 MB/s");
}

TEST(StartTest, RefusalsEndBlockedWithTheirTexts) {
    FakePlatform fake;
    fake.space_ok = false;
    fake.free_bytes = 1024;
    const WindowEffects space = StartDownload(WindowState{}, Wanting(2), fake.Get());
    ExpectScreen(space,
                 L"blocked TEKRAR DENE enabled red · Yeterli disk alanı yok. En az 257,0 MB boş "
                 L"alan gerekiyor.",
                 L"gereken 257,0 MB · boş 1,0 KB");
    EXPECT_EQ(space.log,
              std::vector<std::wstring>{
                  L"download refused before it started: need 269484032 bytes, have 1024"});
    EXPECT_FALSE(space.state.busy);

    fake.writable = false;
    const WindowEffects check = StartCheck(WindowState{}, Context(), fake.Get());
    ExpectScreen(check, L"blocked TEKRAR DENE enabled red · Bu klasöre yazılamıyor",
                 kTextMoveThePatcher);
    EXPECT_EQ(check.log, std::vector<std::wstring>{L"install directory is not writable (win32 "
                                                   L"error 5): C:\\Users\\Ali\\OneDrive\\Velmor2"});
    EXPECT_EQ(check.next, NextStep::None);

    // While busy neither asks the platform anything.
    fake.probed.clear();
    EXPECT_EQ(StartCheck(Busy(), Context(), fake.Get()).next, NextStep::None);
    EXPECT_EQ(StartDownload(Busy(), Wanting(2), fake.Get()).next, NextStep::None);
    EXPECT_TRUE(fake.probed.empty());
}

TEST(ConfirmInstallFolderTest, ChecksInOrder) {
    struct Case {
        std::wstring text;
        bool readable;
        std::uint64_t free_bytes;
        bool made;
        std::wstring headline;
    } cases[] = {
        {L"", true, 1ull << 40, true, L"Bir klasör seçin."},
        {L"E:\\Oyun", false, 0, true, kTextDriveUnreadable},
        {L"E:\\Oyun", true, 268435455, true,
         L"Bu sürücüde yeterli boş alan yok (255,9 MB boş). Başka bir sürücüde klasör seçin."},
        {L"E:\\Oyun", true, 268435456, false, kTextFolderNotMade},
        {L"E:\\Oyun", true, 268435456, true, kTextChecking},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.drive_readable = c.readable;
        fake.free_bytes = c.free_bytes;
        fake.directory_made = c.made;
        WindowState s;
        s.view = WindowView::FirstInstall;
        const WindowEffects e = ConfirmInstallFolder(s, c.text, fake.Get());
        EXPECT_EQ(e.state.headline, c.headline);
        const bool accepted = c.headline == kTextChecking;
        EXPECT_EQ(e.install_directory.has_value(), accepted);
        EXPECT_EQ(e.next, accepted ? NextStep::RunCheck : NextStep::None);
        EXPECT_EQ(e.state.view, accepted ? WindowView::Main : WindowView::FirstInstall);
        EXPECT_EQ(fake.probed,
                  accepted ? std::vector<std::wstring>{c.text} : std::vector<std::wstring>{});
    }
}

TEST(ActionClickTest, EachActionDoesItsOwnThing) {
    FakePlatform fake;
    struct Case {
        WindowView view;
        ActionButton action;
        NextStep next;
        bool level_to_full;
    } cases[] = {
        {WindowView::FirstInstall, ActionButton::Install, NextStep::ConfirmInstallFolder, false},
        {WindowView::Main, ActionButton::Wait, NextStep::None, false},
        {WindowView::Main, ActionButton::Install, NextStep::RunDownload, false},
        {WindowView::Main, ActionButton::Update, NextStep::RunDownload, false},
        {WindowView::Repair, ActionButton::Repair, NextStep::RunCheck, true},
        {WindowView::Main, ActionButton::Play, NextStep::LaunchAndClose, false},
        {WindowView::Blocked, ActionButton::Retry, NextStep::RunCheck, false},
    };
    for (const Case& c : cases) {
        WindowState s;
        SetView(s, c.view, c.action, false);
        s.rounds = 2;
        const WindowEffects e =
            OnActionClick(s, Wanting(1), Context(CheckLevel::Quick), fake.Get());
        EXPECT_EQ(e.next, c.next) << static_cast<int>(c.action);
        EXPECT_EQ(e.level_to_full, c.level_to_full);
        EXPECT_EQ(e.state.download_after_check, c.level_to_full);
        EXPECT_EQ(e.state.rounds, c.action == ActionButton::Retry ? 0u : 2u);
        // A click queued behind a launch, or reaching the hidden window, does nothing at all.
        for (bool hidden : {false, true}) {
            WindowState after = s;
            (hidden ? after.hidden : after.launching) = true;
            const WindowEffects ignored =
                OnActionClick(after, Wanting(1), Context(CheckLevel::Quick), fake.Get());
            EXPECT_EQ(ignored.next, NextStep::None) << static_cast<int>(c.action);
            EXPECT_FALSE(ignored.view_set || ignored.status_set || ignored.level_to_full);
        }
    }
    CheckOutcome r;
    r.may_launch = true;
    EXPECT_FALSE(PlayAnywayAllowed(r));
    r.offer_play_anyway = true;
    EXPECT_TRUE(PlayAnywayAllowed(r));
}

TEST(DownloadDoneTest, FailuresSelfUpdateAndLaunch) {
    FakePlatform fake;
    WindowState s = Busy();
    s.detail = L"kept";
    // Each kind of failure says what to do, and the detail line names the file and the reason
    // instead of the last progress.
    using F = DownloadFailure;
    using H = HttpError;
    const struct {
        DownloadFailure kind;
        const char* path;
        HttpError http;
        std::uint32_t status;
        std::wstring headline, detail;
    } rows[] = {
        {F::Transfer, "data/a.bin", H::HttpStatus, 404, kTextDownloadCut,
         L"data/a.bin · sunucu 404 yanıtı verdi"},
        {F::Transfer, "data/a.bin", H::Truncated, 200, kTextDownloadCut,
         L"data/a.bin · bağlantı yarıda kesildi"},
        {F::ProxyAuth, "a", H::ProxyAuthRequired, 407, kProxyAuth,
         L"a · " + std::wstring(kTextReasonProxyAuth)},
        {F::DiskFull, "b", H::SinkFailure, 200, kTextDiskFilledUp, L"b · disk dolu"},
        {F::RefusedDestination, "c", H::Ok, 0, kTextFolderRefusesFile,
         L"c · bu konuma yazılamıyor"},
        {F::Mismatch, "d", H::Ok, 0, kTextDownloadDoesNotMatch, L"d · içerik doğrulanamadı"},
        {F::Local, "", H::Ok, 0, kTextDownloadNotSaved, L"dosya diske yazılamadı"},
    };
    for (const auto& row : rows) {
        const DownloadCode code =
            row.kind == F::Mismatch ? DownloadCode::Mismatch : DownloadCode::Failed;
        const WindowEffects failed = OnDownloadDone(
            s, {code, {row.kind, row.path, row.http, row.status}, false}, Context(), fake.Get());
        ExpectScreen(failed, L"blocked TEKRAR DENE enabled red · " + row.headline, row.detail);
    }
    EXPECT_EQ(OnDownloadDone(s, {DownloadCode::Committed, {}, true}, Context(), fake.Get()).next,
              NextStep::ApplySelfUpdate);

    EXPECT_EQ(OnSelfUpdateApplied(s, true, true).next, NextStep::DestroyWindow);
    for (bool intact : {true, false}) {
        const WindowEffects e = OnSelfUpdateApplied(s, false, intact);
        ExpectScreen(
            e,
            L"main TEKRAR DENE enabled green · " +
                std::wstring(intact ? kTextPatcherNotRenewed : kTextPatcherRenewInterrupted),
            L"kept");
    }

    SetView(s, WindowView::Main, ActionButton::Play, false);
    const WindowEffects starting = LaunchStarting(s);
    EXPECT_EQ(starting.state.headline, kTextStartingGame);
    EXPECT_EQ(std::make_tuple(starting.state.launching, starting.state.action_enabled,
                              starting.view_set, starting.next),
              std::make_tuple(true, false, true, NextStep::RunLaunch));
    // "Yine de oyna" pressed meanwhile starts nothing.
    EXPECT_EQ(LaunchStarting(starting.state).next, NextStep::None);
    EXPECT_EQ(LaunchFinished(starting.state, Context(), true, false).next, NextStep::DestroyWindow);
    const WindowEffects hidden = LaunchFinished(starting.state, Context(), true, true);
    EXPECT_EQ(std::make_tuple(hidden.next, hidden.state.launching, hidden.state.hidden),
              std::make_tuple(NextStep::HideWindow, false, true));
    // The text says "Onar ile deneyin": the button is "ONAR", whose click ActionClickTest holds.
    ExpectScreen(LaunchFinished(s, Context(), false, false),
                 L"blocked ONAR enabled red · Oyun açılamadı. Dosyalar eksik olabilir — Onar ile "
                 L"deneyin.",
                 L"Velmor2.exe · C:\\V\\patcher.log");
}

// A pausable download walked through by the player: each step is an event on the previous state.
TEST(PauseTest, ThePlayerPausesAndResumesWithoutUsingUpARound) {
    FakePlatform fake;
    const WindowPlatform p = fake.Get();
    const CheckOutcome wanted = Wanting(3);
    WindowState start = Busy();
    start.busy = false;
    start.can_pause = true;
    start.rounds = 1;
    const DownloadDone cancelled{DownloadCode::Failed, {}, false};
    const DownloadDone finished{DownloadCode::Committed, {}, false};
    using Step = std::function<WindowEffects(const WindowState&)>;
    const auto click = [&](const WindowState& s) { return OnActionClick(s, wanted, Context(), p); };
    const auto progress = [&](std::uint64_t done) -> Step {
        return [done](const WindowState& s) { return OnProgress(s, {0, 3, "a", done, 1536}); };
    };
    const auto ended = [&](const DownloadDone& done) -> Step {
        return [&, done](const WindowState& s) { return OnDownloadDone(s, done, Context(), p); };
    };
    // What is still wanted is checked again after a pause: files finished before it are not.
    CheckOutcome left = Wanting(1);
    left.fetch_bytes = 512;
    const auto checked = [&](const WindowState& s) { return OnCheckDone(s, left, Context(), p); };
    const std::wstring paused = L"downloading DEVAM ET enabled amber · İndirme duraklatıldı — ";
    const std::wstring fetching = L"downloading DURAKLAT enabled amber · Güncelleme iniyor — ";
    const std::wstring resumed = L"downloading DURAKLAT enabled amber · İndiriliyor…";
    const std::wstring checking = L"main BEKLEYİN disabled amber · Kontrol ediliyor…";
    const struct {
        const char* what;
        Step step;
        std::wstring seen;
        NextStep next;
        bool busy;
    } steps[] = {
        {"download starts", [&](const WindowState& s) { return StartDownload(s, wanted, p); },
         fetching + L"1,5 KB", NextStep::RunDownload, true},
        {"progress", progress(512), fetching + L"1,5 KB", NextStep::None, true},
        {"pause", click, paused + L"1,0 KB kaldı", NextStep::PauseDownload, true},
        {"a second click before the stop resumes", click, resumed, NextStep::None, true},
        {"and pausing again", click, paused + L"1,0 KB kaldı", NextStep::PauseDownload, true},
        {"progress from transfers still stopping", progress(1024), paused + L"512 B kaldı",
         NextStep::None, true},
        {"stopped", ended(cancelled), paused + L"512 B kaldı", NextStep::None, false},
        {"resume checks first", click, checking, NextStep::RunCheck, true},
        {"then downloads what is left", checked, fetching + L"512 B", NextStep::RunDownload, true},
        {"pause once more", click, paused + L"512 B kaldı", NextStep::PauseDownload, true},
        {"resumed before the thread stopped", click, resumed, NextStep::None, true},
        {"the stop checks again", ended(cancelled), checking, NextStep::RunCheck, true},
        {"and downloads", checked, fetching + L"512 B", NextStep::RunDownload, true},
        {"done: the verifying check follows", ended(finished), checking, NextStep::RunCheck, true},
    };
    WindowState s = start;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        const WindowEffects e = step.step(s);
        EXPECT_EQ(WindowStateLine(e.state), L"window: " + step.seen);
        EXPECT_EQ(e.next, step.next);
        EXPECT_EQ(e.state.busy, step.busy);
        EXPECT_EQ(e.state.rounds, 1u);
        s = e.state;
    }

    // A download that finished before the pause took is not held; one not pausable waits.
    WindowState pausing = s;
    pausing.view = WindowView::Downloading;
    pausing.busy = true;
    pausing.paused = true;
    EXPECT_EQ(OnDownloadDone(pausing, finished, Context(), p).next, NextStep::RunCheck);
    start.can_pause = false;
    EXPECT_EQ(StartDownload(start, wanted, p).state.action, ActionButton::Wait);
}

TEST(DecideRelease, TheFirstTakerOfAClickActs) {
    using T = TitleBarItem;
    using A = ReleaseAction;
    struct Row {
        PointerRelease release;
        A action;
        int tab;
    };
    const Row rows[] = {
        {{T::Close, T::Close, false, false, -1, 0}, A::Close, -1},
        {{T::Minimise, T::Minimise, false, false, -1, 0}, A::Minimise, -1},
        {{T::Settings, T::Settings, true, false, -1, 0}, A::ToggleSettings, -1},
        {{T::None, T::Close, false, false, -1, 0}, A::None, -1},  // pressed on the stage
        {{T::Close, T::None, false, false, -1, 0}, A::None, -1},  // dragged off the button
        {{T::Close, T::Close, true, true, -1, 0}, A::None, -1},   // the open panel took it
        {{T::None, T::None, false, false, 1, 0}, A::ShowTab, 1},
        {{T::None, T::None, false, false, 0, 0}, A::None, -1},          // the tab already shown
        {{T::None, T::None, true, false, 1, 0}, A::None, -1},           // tabs sit under the panel
        {{T::Settings, T::Settings, false, false, 1, 1}, A::None, -1},  // a tab before the bar
    };
    for (const Row& row : rows) {
        const ReleaseDecision got = DecideRelease(row.release);
        EXPECT_EQ(got.action, row.action) << static_cast<int>(row.release.released);
        EXPECT_EQ(got.tab, row.tab);
    }
}

TEST(NewsRefetch, AFirstStartFetchesOnceMoreAfterTheFirstCheckThatLeavesKeys) {
    NewsRefetch refetch;
    refetch.FetchStarted(false);
    EXPECT_FALSE(refetch.DueAfterCheck(false));
    ASSERT_TRUE(refetch.DueAfterCheck(true));
    refetch.FetchStarted(true);
    EXPECT_FALSE(refetch.DueAfterCheck(true));

    NewsRefetch later_start;
    later_start.FetchStarted(true);
    EXPECT_FALSE(later_start.DueAfterCheck(true));
}

}  // namespace
}  // namespace patcher::model
