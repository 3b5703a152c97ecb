// LaunchGame and the key channel against a stand-in game (channel_game.exe beside this test): the
// key exchange, what the game inherits, and games that misbehave.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "win/launch/game_side_lines.h"
#include "win/launch/key_channel.h"
#include "win/launch/launch_game.h"
#include "win/platform/process.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {

using namespace rules;

namespace {

std::wstring TestBinaryDirectory() {
    wchar_t self[MAX_PATH + 1] = {};
    const std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring HandleValue(HANDLE handle) {
    return std::to_wstring(reinterpret_cast<std::uintptr_t>(handle));
}

bool WaitUntil(const std::function<bool()>& condition, std::uint64_t timeout_ms) {
    const std::uint64_t start = GetTickCount64();
    while (!condition()) {
        if (GetTickCount64() - start > timeout_ms) return false;
        Sleep(20);
    }
    return true;
}

bool HasNote(const ChannelRecord& record, const std::string& note) {
    return std::find(record.notes.begin(), record.notes.end(), note) != record.notes.end();
}

// One launch of the stand-in with numbered test keys (each a stand-in for one POST to the key
// service, padded to `key_length`), a counted closing callback, and `during_fetch` run inside
// every fetch.
struct GameRun {
    KeyChannel channel;
    std::atomic<int> closings{0};
    std::atomic<int> fetches{0};
    std::function<void(GameRun&)> during_fetch;
    LaunchReport report;
    std::uint64_t launch_ms = 0;

    explicit GameRun(const std::wstring& arguments, std::function<void(GameRun&)> during = nullptr,
                     std::size_t key_length = 0)
        : during_fetch(std::move(during)) {
        PatcherConfig config;
        config.install_directory = TestBinaryDirectory();
        config.game_executable = L"channel_game.exe";
        config.game_arguments = arguments;
        config.key_service = L"https://key-service.invalid";
        channel.SetProvider([this, key_length](std::string& key, std::string&) {
            key = "K" + std::to_string(++fetches);
            if (during_fetch) during_fetch(*this);
            if (key.size() < key_length) key.resize(key_length, 'k');
            return true;
        });
        channel.SetClosingCallback([this] { ++closings; });
        std::string diagnostic;
        const std::uint64_t start = GetTickCount64();
        EXPECT_TRUE(LaunchGame(config, channel, report, diagnostic)) << diagnostic;
        launch_ms = GetTickCount64() - start;
        EXPECT_TRUE(report.channel_active);
    }
};

// The stand-in's exit code when started plainly, inheriting every inheritable handle.
DWORD RunInheritingEverything(const std::wstring& arguments) {
    ProcessStart start{TestBinaryDirectory() + L"\\channel_game.exe", arguments};
    start.inherit_everything = true;
    const StartedProcess started = StartProcess(start);
    DWORD code = 0;
    if (started.ok() && WaitForSingleObject(started.process.process(), 10000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(started.process.process(), &code);
    }
    return code;
}

TEST(LaunchGameTest, TheGameGetsKeysThroughThePipesAndInheritsNothingElse) {
    // A handle the game must not see: inheritable, but not one of the channel's two ends.
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    const unique_handle stray(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
    ASSERT_TRUE(stray);
    GameRun run(L"talk " + HandleValue(stray.get()));
    ASSERT_TRUE(run.channel.WaitFinished(10000));
    const ChannelRecord record = run.channel.Record();
    EXPECT_EQ(record.notes,
              (std::vector<std::string>{"FIRST KEY K1", "STRAY closed", "SECOND KEY K2"}));
    EXPECT_EQ(std::make_pair(record.keys_sent, record.requests), std::make_pair(2u, 1u));
    EXPECT_TRUE(record.exit_code_known);
    EXPECT_EQ(record.exit_code, 7u);
    EXPECT_EQ(run.closings, 1);
    // The check does see an inherited handle where there is one.
    EXPECT_EQ(RunInheritingEverything(L"probe " + HandleValue(stray.get())), 8u);
}

TEST(LaunchGameTest, MisbehavingGamesNeitherHoldUsBackNorBreakTheChannel) {
    struct Case {
        const wchar_t* mode;
        std::uint32_t exit_code;
        std::vector<std::string> notes;
    } cases[] = {
        {L"deaf", 5, {}},
        {L"flood", 6, {"after flood"}},
        {L"quit", 9, {}},
    };
    for (const Case& c : cases) {
        GameRun run(c.mode);
        EXPECT_LT(run.launch_ms, 1000u) << c.mode;
        ASSERT_TRUE(run.channel.WaitFinished(10000)) << c.mode;
        const ChannelRecord record = run.channel.Record();
        EXPECT_EQ(record.notes, c.notes) << c.mode;
        EXPECT_EQ(record.exit_code, c.exit_code) << c.mode;
        EXPECT_EQ(run.closings, 1) << c.mode;
        run.channel.Close();
        EXPECT_EQ(run.closings, 1) << c.mode;
    }
}

TEST(LaunchGameTest, CloseWhileTheGameRunsIsPromptAndSilent) {
    GameRun run(L"deaf");
    const std::uint64_t start = GetTickCount64();
    run.channel.Close();
    run.channel.Close();
    const std::uint64_t took = GetTickCount64() - start;
    EXPECT_LT(took, 3500u);
    std::printf("Close with the game still running took %llu ms\n",
                static_cast<unsigned long long>(took));
    EXPECT_EQ(run.closings, 0);
}

TEST(LaunchGameTest, TheChannelEndsWithTheGameThoughAHelperHoldsItsPipes) {
    GameRun run(L"helper");
    EXPECT_TRUE(run.channel.WaitFinished(5000));
    const ChannelRecord record = run.channel.Record();
    EXPECT_EQ(std::make_pair(record.exit_code_known, record.exit_code), std::make_pair(true, 7u));
    EXPECT_EQ(run.closings, 1);
    ASSERT_FALSE(record.notes.empty());
    const auto helper_id = static_cast<DWORD>(std::stoul(record.notes.front().substr(6)));
    const unique_handle helper(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, helper_id));
    ASSERT_TRUE(helper);
    EXPECT_EQ(WaitForSingleObject(helper.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    TerminateProcess(helper.get(), 0);
}

TEST(LaunchGameTest, NoKeyIsFetchedForAGameThatHasGoneOrAfterClose) {
    // Five requests, and the game is gone before the first key's fetch is over.
    GameRun gone(L"ask5", [](GameRun& run) {
        WaitUntil([&run] { return run.channel.Record().exit_code_known; }, 10000);
    });
    EXPECT_TRUE(gone.channel.WaitFinished(10000));
    EXPECT_EQ(gone.channel.Record().requests, 5u);
    EXPECT_EQ(gone.fetches, 1);

    // Fifty requests at once, each fetch 100 ms: Close stops them, and none starts after it.
    GameRun burst(L"burst", [](GameRun&) { Sleep(100); });
    ASSERT_TRUE(WaitUntil([&burst] { return burst.channel.Record().requests == 50; }, 10000));
    burst.channel.Close();
    const int at_close = burst.fetches;
    Sleep(500);
    EXPECT_EQ(burst.fetches, at_close);
    EXPECT_LT(at_close, 50);
}

TEST(LaunchGameTest, AGameThatNeverReadsIsStillHeardAndClosedPromptly) {
    // Two hundred 512-byte keys fill the pipe many times over.
    GameRun run(L"greedy", nullptr, 512);
    EXPECT_TRUE(WaitUntil([&run] { return HasNote(run.channel.Record(), "heard"); }, 10000));
    const std::uint64_t start = GetTickCount64();
    run.channel.Close();
    EXPECT_LT(GetTickCount64() - start, 2500u);
}

TEST(KeyChannelTest, NoProviderAndNoReader) {
    // Without a provider the game's first line says why there is no key.
    KeyChannel plain;
    std::string message, reason, line;
    ASSERT_TRUE(plain.Create(message)) << message;
    EXPECT_FALSE(plain.SendKey(reason));
    EXPECT_EQ(reason, "DISABLED");
    ASSERT_TRUE(ReadPatcherLine(plain.game_input(), line));
    EXPECT_EQ(line, "KEYERR DISABLED");

    // Attach closes our copies of the game's ends; with our own process as the game, nothing reads
    // the key, and it is not counted as sent.
    KeyChannel unread;
    unread.SetProvider([](std::string& key, std::string&) {
        key = "K";
        return true;
    });
    ASSERT_TRUE(unread.Create(message)) << message;
    HANDLE self = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(),
                                &self, 0, FALSE, DUPLICATE_SAME_ACCESS));
    ASSERT_TRUE(unread.Attach(unique_handle(self), message)) << message;
    EXPECT_FALSE(unread.SendKey(reason));
    EXPECT_EQ(reason, "PIPE_WRITE_FAILED");
    EXPECT_EQ(unread.Record().keys_sent, 0u);
}

// What another account or machine meets: each pipe admits our own account alone, under a name of
// 128 random bits.
TEST(KeyChannelTest, ThePipesAdmitOurAccountAloneUnderUnguessableNames) {
    std::vector<std::uint8_t> user(256);
    {
        HANDLE token = nullptr;
        ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
        const unique_handle owner(token);
        DWORD size = 0;
        ASSERT_TRUE(GetTokenInformation(token, TokenUser, user.data(), 256, &size));
    }
    const PSID self = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    std::wstring names[2];
    for (std::wstring& name : names) {
        KeyChannel channel;
        std::string message;
        ASSERT_TRUE(channel.Create(message)) << message;
        for (HANDLE end : {channel.game_input(), channel.game_output()}) {
            PACL dacl = nullptr;
            PSECURITY_DESCRIPTOR descriptor = nullptr;
            ASSERT_EQ(GetSecurityInfo(end, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                      nullptr, &dacl, nullptr, &descriptor),
                      static_cast<DWORD>(ERROR_SUCCESS));
            const unique_hlocal owner(descriptor);
            SECURITY_DESCRIPTOR_CONTROL control = 0;
            DWORD revision = 0;
            ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
            EXPECT_TRUE(control & SE_DACL_PROTECTED);
            ASSERT_NE(dacl, nullptr);
            ASSERT_EQ(dacl->AceCount, 1);
            void* ace = nullptr;
            ASSERT_TRUE(GetAce(dacl, 0, &ace));
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
            EXPECT_TRUE(EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), self));
        }
        std::vector<std::uint8_t> info(sizeof(FILE_NAME_INFO) + 512, 0);
        ASSERT_TRUE(GetFileInformationByHandleEx(channel.game_input(), FileNameInfo, info.data(),
                                                 static_cast<DWORD>(info.size())));
        const auto* file = reinterpret_cast<const FILE_NAME_INFO*>(info.data());
        name.assign(file->FileName, file->FileNameLength / sizeof(wchar_t));
        const std::size_t hex = name.find(L"garun2-key-");
        ASSERT_NE(hex, std::wstring::npos) << name.size();
        EXPECT_EQ(name.size() - hex - 11, 32u);
        EXPECT_EQ(name.find_first_not_of(L"0123456789abcdef", hex + 11), std::wstring::npos);
    }
    EXPECT_NE(names[0], names[1]);
}

}  // namespace
}  // namespace patcher::win
