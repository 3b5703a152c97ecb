// The parts of the UI self-test that need no window: each returns the lines it prints, exactly, and
// how many items failed, so the window's self-test only prints them and adds the counts. Every
// section takes its cases as data, with the shipped cases as the default.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/colours.h"
#include "model/layout.h"
#include "model/window_state.h"

namespace patcher::model {

struct SelfTestSection {
    std::vector<std::wstring> lines;  // without line ends
    int failures = 0;
};

// "  OK   " or "  FAIL " before a tested item; the second form before a failed sub-check.
inline constexpr wchar_t kSelfTestOk[] = L"  OK   ";
inline constexpr wchar_t kSelfTestFail[] = L"  FAIL ";
inline constexpr wchar_t kSelfTestSubFail[] = L"         FAIL  ";
inline constexpr wchar_t kSelfTestIndent[] = L"         ";

// "#RRGGBB", upper-case hex.
std::wstring FormatColour(Rgb colour);
// "U+0042 U+00DC ...": each UTF-16 unit (each code point where wchar_t is 32 bits) as U+ and at
// least four upper-case hex digits, separated by single spaces.
std::wstring FormatCodePoints(const std::wstring& text);

// The desktops the geometry section lays the window out on.
enum class TaskbarEdge : std::int32_t { Bottom = 0, Left = 1, Top = 2 };
struct SelfTestDesktop {
    std::wstring name;
    std::int32_t width;
    std::int32_t height;
    std::int32_t taskbar;
    TaskbarEdge edge;
};
std::vector<SelfTestDesktop> DefaultDesktops();
ScreenRect WorkAreaOf(const SelfTestDesktop& desktop);
// The failed rules of one laid-out window in its work area, as their printed texts.
std::vector<std::wstring> GeometryFailures(const ScreenRect& work, const WindowRect& window,
                                           const Layout& layout);
// `frame_width` x `frame_height` is what the window style's system frame would add at 96 DPI
// (AdjustWindowRectEx), only printed.
SelfTestSection GeometrySection(std::int32_t frame_width, std::int32_t frame_height,
                                const std::vector<SelfTestDesktop>& desktops = DefaultDesktops());

// The action rule on check results built from counts.
struct ActionScenario {
    std::wstring name;
    bool busy;
    StatusCode code;
    std::uint32_t manifest_files;
    std::uint32_t missing;
    std::uint32_t damaged;
    bool exe_in_manifest;
    bool exe_on_disk;
    ActionButton expected;
};
std::vector<ActionScenario> DefaultActionScenarios();
rules::CheckOutcome ScenarioOutcome(const ActionScenario& scenario);
SelfTestSection ActionStateSection(
    const std::vector<ActionScenario>& scenarios = DefaultActionScenarios());

// The status region against the status texts and the action button, per client size.
struct ClientSize {
    std::int32_t width;
    std::int32_t height;
};
std::vector<ClientSize> DefaultStatusRegionSizes();
SelfTestSection StatusRegionSection(
    const std::vector<ClientSize>& sizes = DefaultStatusRegionSizes());

// The settings panel's boxes against its click rule, per client size.
std::vector<ClientSize> DefaultSettingsHitSizes();
SelfTestSection SettingsHitSection(
    const std::vector<ClientSize>& sizes = DefaultSettingsHitSizes());

// Six paths and whether each must get the synced-folder sentence.
struct HintCase {
    std::wstring path;
    bool synced;
};
std::vector<HintCase> DefaultHintCases();
SelfTestSection SyncedFolderHintSection(const std::vector<HintCase>& cases = DefaultHintCases());

// One text as the platform drew it in a box `room` pixels wide: `shown` is what it drew (the text,
// or its start ending with "…") and `width` how wide that was.
struct FittedText {
    std::wstring where;  // the size and the box, for the printed line
    std::wstring text;
    std::wstring shown;
    std::int32_t width;
    std::int32_t room;
};
// Fails every text that was cut without "…" or still overflows its box; counts the shortened ones.
SelfTestSection TextFitSection(const std::vector<FittedText>& texts);

// The settings arrows must be one code point each, U+2039 and U+203A.
SelfTestSection ArrowCodePointSection(const std::wstring& left, const std::wstring& right);

// Printed only: the built-in server addresses and the code points of three texts.
SelfTestSection IdentitySection(const std::wstring& base_url, const std::wstring& key_service);

}  // namespace patcher::model
