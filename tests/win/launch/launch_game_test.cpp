// LaunchGame and the key channel against a stand-in game (channel_game.exe beside this test): the
// key exchange, what the game inherits, and games that misbehave.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <utility>

#include "win/launch/key_channel.h"
#include "win/launch/launch_game.h"
#include "win/platform/unique_handle.h"

namespace patcher::win {
namespace {

std::wstring TestBinaryDirectory() {
    wchar_t self[MAX_PATH + 1] = {};
    const std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring HandleValue(HANDLE handle) {
    return std::to_wstring(reinterpret_cast<std::uintptr_t>(handle));
}

// One launch of the stand-in with numbered test keys and a counted closing callback.
struct GameRun {
    KeyChannel channel;
    std::atomic<int> closings{0};
    LaunchReport report;
    std::uint64_t launch_ms = 0;

    explicit GameRun(const std::wstring& arguments) {
        PatcherConfig config;
        config.install_directory = TestBinaryDirectory();
        config.game_executable = L"channel_game.exe";
        config.game_arguments = arguments;
        config.key_service = L"https://key-service.invalid";
        auto issued = std::make_shared<int>(0);
        channel.SetProvider([issued](std::string& key, std::string&) {
            key = "K" + std::to_string(++*issued);
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
    const std::wstring exe = TestBinaryDirectory() + L"\\channel_game.exe";
    std::wstring command = L"channel_game.exe " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return 0;
    }
    const unique_handle process(info.hProcess), thread(info.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(process.get(), 10000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.get(), &code);
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

}  // namespace
}  // namespace patcher::win
