#include "model/ui_self_test_sections.h"

#include <cstdlib>
#include <cwchar>

#include "model/settings_panel_layout.h"
#include "model/window_texts.h"

namespace patcher::model {

using namespace rules;

namespace {

std::wstring Decimal(std::int64_t value) {
    return std::to_wstring(value);
}

std::wstring Hex(std::uint32_t value, int digits) {
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"%0*X", digits, value);
    return buffer;
}

std::wstring Prefix(bool ok) {
    return ok ? kSelfTestOk : kSelfTestFail;
}

std::wstring Size(std::int64_t width, std::int64_t height) {
    return Decimal(width) + L"x" + Decimal(height);
}

std::wstring BoxText(const Box& box) {
    return Decimal(box.x) + L"," + Decimal(box.y) + L" " + Size(box.width, box.height);
}

void Verdict(SelfTestSection& section, const wchar_t* name) {
    section.lines.push_back(std::wstring(name) + (section.failures == 0 ? L": OK" : L": FAILED"));
}

// Collects the failed rules of one item.
class RuleList {
  public:
    void Require(bool holds, const wchar_t* text) {
        if (!holds) failed_.push_back(text);
    }
    std::vector<std::wstring> Take() { return std::move(failed_); }

  private:
    std::vector<std::wstring> failed_;
};

void WindowPlacementRules(RuleList& rules, const ScreenRect& work, const WindowRect& window) {
    rules.Require(window.left >= work.left, L"window left of work area");
    rules.Require(window.top >= work.top, L"window above work area");
    rules.Require(window.right <= work.right, L"window right of work area");
    rules.Require(window.bottom <= work.bottom, L"window below work area");
    const std::int64_t left_gap = window.left - work.left, right_gap = work.right - window.right;
    const std::int64_t top_gap = window.top - work.top, bottom_gap = work.bottom - window.bottom;
    rules.Require(std::abs(left_gap - right_gap) <= 1, L"not centred horizontally");
    rules.Require(std::abs(top_gap - bottom_gap) <= 1, L"not centred vertically");
    const std::int64_t work_area = std::int64_t{work.right - work.left} * (work.bottom - work.top);
    const std::int64_t window_area = std::int64_t{window.width} * window.height;
    rules.Require(work_area > 0 && window_area * 1000 / work_area >= 450,
                  L"covers less than 45% of the work area");
}

void LayoutRules(RuleList& rules, const Layout& l) {
    const std::int32_t news_left = l.width - l.news_width;
    rules.Require(l.news_content_width > 0, L"panel width <= 0");
    rules.Require(l.news_content_height > 0, L"panel height <= 0");
    rules.Require(l.status_width > 0, L"status width <= 0");
    rules.Require(l.progress_width > 0, L"progress width <= 0");
    rules.Require(l.edit_width > 0, L"path edit width <= 0");
    rules.Require(l.logo_width > 0, L"logo width <= 0");
    rules.Require(l.action_width > 0, L"action width <= 0");
    rules.Require(l.secondary_width > 0, L"secondary width <= 0");
    rules.Require(l.action_x + l.action_width <= l.width, L"action past the right edge");
    rules.Require(l.action_y + l.action_height <= l.height, L"action past the bottom edge");
    rules.Require(l.news_x + l.news_content_width <= l.width, L"news panel past the right edge");
    rules.Require(l.browse_x + l.browse_width <= l.width, L"browse past the right edge");
    rules.Require(l.detail_y + l.detail_height <= l.height, L"detail line past the bottom edge");
    rules.Require(l.logo_y >= l.title_height, L"logo above the title bar");
    rules.Require(l.tabs_y >= l.title_height, L"news heading inside the title bar");
    rules.Require(l.status_x + l.status_width <= l.action_x,
                  L"status runs under the action button");
    rules.Require(l.logo_x + l.logo_width <= news_left, L"logo runs into the news column");
    rules.Require(l.secondary_x + l.secondary_width <= news_left,
                  L"secondary button runs into the news column");
    rules.Require(l.news_x >= news_left, L"news panel starts left of the news column");
    rules.Require(l.news_y + l.news_content_height <= l.footer_top,
                  L"news panel runs into the footer");
    rules.Require(l.secondary_y + l.secondary_height <= l.footer_top,
                  L"secondary button runs into the footer");
    rules.Require(l.note_y + l.note_height <= l.footer_top,
                  L"free-space label runs into the footer");
    rules.Require(l.logo_y + l.logo_height <= l.secondary_y,
                  L"logo runs into the secondary button");
    rules.Require(l.news_x + l.edit_width <= l.browse_x, L"path box runs under the browse button");
    rules.Require(l.close_button_x + l.title_button_width <= l.width,
                  L"close button past the right edge");
    rules.Require(l.minimise_button_x + l.title_button_width <= l.close_button_x,
                  L"minimize overlaps close");
    rules.Require(l.settings_button_x > l.margin, L"title buttons overlap the product label");
    rules.Require(l.resize_border < l.title_height, L"resize grab strip eats the whole title bar");
    rules.Require(-l.body_font >= 9, L"body font below the floor");
    rules.Require(-l.button_font >= 9, L"action font below the floor");
    rules.Require(-l.large_font >= 9, L"title font below the floor");
    rules.Require(-l.small_bold_font >= 9, L"small font below the floor");
}

// The checks of one settings panel; each failed check counts once.
int SettingsPanelBadChecks(const Layout& l, const SettingsPanelLayout& panel, int& drawn) {
    int bad = 0;
    auto check = [&bad](bool holds) { bad += holds ? 0 : 1; };
    auto hits = [&panel](std::int32_t x, std::int32_t y, int row, int direction) {
        return SettingsHitAt(panel, x, y) == SettingsHit{SettingsHit::Kind::Row, row, direction};
    };
    const std::int32_t a = panel.arrow_width;
    drawn = 0;
    std::int32_t previous_bottom = -1;
    for (int r = 0; r < kSettingsRows; ++r) {
        const Box& v = panel.rows[static_cast<std::size_t>(r)].value;
        if (!panel.rows[static_cast<std::size_t>(r)].fits) continue;
        ++drawn;
        const std::int32_t mid = v.y + v.height / 2;
        check(v.x >= 0 && v.y >= 0 && v.right() <= l.width && v.bottom() <= l.footer_top);
        check(v.width > 2 * a);
        check(v.y >= previous_bottom);
        check(hits(v.x + a / 2, mid, r, -1));
        check(hits(v.x + a - 1, mid, r, -1));
        check(hits(v.x + a, mid, r, +1));
        check(hits(v.x + v.width / 2, mid, r, +1));
        check(hits(v.right() - a / 2, mid, r, +1));
        check(hits(v.x, v.y, r, -1));
        check(hits(v.right() - 1, v.y, r, +1));
        check(hits(v.x, v.bottom() - 1, r, -1));
        check(hits(v.right() - 1, v.bottom() - 1, r, +1));
        const SettingsHit above = SettingsHitAt(panel, v.x + v.width / 2, v.y - 1);
        check(above.kind != SettingsHit::Kind::Row || above.row != r);
        previous_bottom = v.bottom();
    }
    if (panel.save_fits) {
        const Box& save = panel.save;
        check(SettingsHitAt(panel, save.x + save.width / 2, save.y + save.height / 2).kind ==
              SettingsHit::Kind::Save);
        check(save.y >= previous_bottom);
    }
    const Box& first = panel.rows[0].value;
    check(SettingsHitAt(panel, first.x - 1, first.y + first.height / 2) == SettingsHit{});
    return bad;
}

}  // namespace

std::wstring FormatColour(Rgb colour) {
    return L"#" + Hex(colour.r, 2) + Hex(colour.g, 2) + Hex(colour.b, 2);
}

std::wstring FormatCodePoints(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (!out.empty()) out += L' ';
        out += L"U+" + Hex(static_cast<std::uint32_t>(c), 4);
    }
    return out;
}

std::vector<SelfTestDesktop> DefaultDesktops() {
    return {
        {L"1366x768   taskbar bottom", 1366, 768, 40, TaskbarEdge::Bottom},
        {L"1920x1080  taskbar bottom", 1920, 1080, 48, TaskbarEdge::Bottom},
        {L"2560x1440  taskbar bottom", 2560, 1440, 48, TaskbarEdge::Bottom},
        {L"3840x2160  taskbar bottom", 3840, 2160, 96, TaskbarEdge::Bottom},
        {L"1024x600   taskbar bottom", 1024, 600, 40, TaskbarEdge::Bottom},
        {L"1920x1080  taskbar LEFT  ", 1920, 1080, 72, TaskbarEdge::Left},
        {L"1920x1080  taskbar TOP   ", 1920, 1080, 48, TaskbarEdge::Top},
    };
}

ScreenRect WorkAreaOf(const SelfTestDesktop& d) {
    ScreenRect work{0, 0, d.width, d.height};
    switch (d.edge) {
        case TaskbarEdge::Bottom:
            work.bottom -= d.taskbar;
            break;
        case TaskbarEdge::Left:
            work.left += d.taskbar;
            break;
        case TaskbarEdge::Top:
            work.top += d.taskbar;
            break;
    }
    return work;
}

std::vector<std::wstring> GeometryFailures(const ScreenRect& work, const WindowRect& window,
                                           const Layout& layout) {
    RuleList rules;
    WindowPlacementRules(rules, work, window);
    LayoutRules(rules, layout);
    return rules.Take();
}

SelfTestSection GeometrySection(std::int32_t frame_width, std::int32_t frame_height,
                                const std::vector<SelfTestDesktop>& desktops) {
    SelfTestSection section;
    section.lines.push_back(L"GEOMETRY  system frame would add " + Size(frame_width, frame_height) +
                            L" px at 96 dpi; WM_NCCALCSIZE leaves 0");
    for (const SelfTestDesktop& desktop : desktops) {
        const ScreenRect work = WorkAreaOf(desktop);
        const WindowRect window = TargetWindowRect(work);
        const Layout l = ComputeLayout(window.width, window.height);
        const std::vector<std::wstring> failures = GeometryFailures(work, window, l);
        const std::int64_t work_area =
            std::int64_t{work.right - work.left} * (work.bottom - work.top);
        const std::int64_t covers =
            work_area > 0 ? std::int64_t{window.width} * window.height * 100 / work_area : 0;
        section.lines.push_back(Prefix(failures.empty()) + desktop.name + L"  work=" +
                                Size(work.right - work.left, work.bottom - work.top) +
                                L"  window=" + Size(window.width, window.height) + L" at " +
                                Decimal(window.left) + L"," + Decimal(window.top) + L"  covers=" +
                                Decimal(covers) + L"%");
        section.lines.push_back(kSelfTestIndent + (L"client=" + Size(l.width, l.height)) +
                                L" scale=" + Decimal(l.scale) + L"/1000  news=" +
                                Decimal(l.news_width) + L"  fonts=" + Decimal(-l.body_font) + L"/" +
                                Decimal(-l.button_font) + L"/" + Decimal(-l.large_font) + L"/" +
                                Decimal(-l.small_bold_font));
        const StatusAreaBoxes status = StatusArea(l);
        section.lines.push_back(kSelfTestIndent + (L"status=" + BoxText(status.headline)) +
                                L"  action=" + BoxText(PlaceControls(l).action) + L"  panel=" +
                                BoxText(NewsArea(l)));
        for (const std::wstring& failure : failures) {
            section.lines.push_back(kSelfTestSubFail + failure);
        }
        if (!failures.empty()) ++section.failures;
    }
    Verdict(section, L"GEOMETRY");
    return section;
}

std::vector<ActionScenario> DefaultActionScenarios() {
    using enum ActionButton;
    return {
        {kScenarioChecking, true, StatusCode::Ok, 427, 0, 0, true, true, Wait},
        {kScenarioNoGame, false, StatusCode::Ok, 427, 427, 0, true, false, Install},
        {kScenarioMissing, false, StatusCode::Ok, 427, 12, 0, true, true, Update},
        {kScenarioDamaged, false, StatusCode::Ok, 427, 0, 3, true, true, Repair},
        {kScenarioDamagedAndMissing, false, StatusCode::Ok, 427, 9, 1, true, true, Repair},
        {kScenarioAllGood, false, StatusCode::Ok, 427, 0, 0, true, true, Play},
        {kScenarioSignatureError, false, StatusCode::BadSignature, 0, 0, 0, false, false, Retry},
        {kScenarioExeNotInRelease, false, StatusCode::Ok, 427, 0, 0, false, false, Retry},
    };
}

CheckOutcome ScenarioOutcome(const ActionScenario& scenario) {
    CheckOutcome outcome;
    outcome.code = scenario.code;
    outcome.files = scenario.manifest_files;
    outcome.game_exe_in_manifest = scenario.exe_in_manifest;
    outcome.game_exe_on_disk = scenario.exe_on_disk;
    for (std::uint32_t i = 0; i < scenario.missing + scenario.damaged; ++i) {
        DiffItem item;
        item.path = "data/" + std::to_string(i) + ".pak";
        item.reason = i < scenario.missing ? DiffReason::Missing : DiffReason::HashMismatch;
        outcome.diff.push_back(item);
    }
    return outcome;
}

SelfTestSection ActionStateSection(const std::vector<ActionScenario>& scenarios) {
    SelfTestSection section;
    for (const ActionScenario& scenario : scenarios) {
        const ActionButton got = DecideAction(ScenarioOutcome(scenario), scenario.busy);
        const bool ok = got == scenario.expected;
        section.lines.push_back(Prefix(ok) + scenario.name + kTextButtonGot + ActionCaption(got) +
                                kTextButtonExpected + ActionCaption(scenario.expected));
        if (!ok) ++section.failures;
    }
    Verdict(section, L"ACTION_STATE");
    return section;
}

std::vector<ClientSize> DefaultStatusRegionSizes() {
    return {{1024, 600}, {1366, 768}, {1920, 1080}, {3840, 2160}};
}

SelfTestSection StatusRegionSection(const std::vector<ClientSize>& sizes) {
    SelfTestSection section;
    for (const ClientSize& size : sizes) {
        const Layout l = ComputeLayout(size.width, size.height);
        const Box region = StatusRegion(l);
        const bool ok = l.headline_y >= region.y &&
                        l.detail_y + l.detail_height <= region.bottom() &&
                        l.status_x + l.status_width <= region.right() && l.action_x > 0;
        section.lines.push_back(Prefix(ok) + L"status-region " + Size(l.width, l.height) +
                                L"  rect=" + Decimal(region.x) + L"," + Decimal(region.y) + L".." +
                                Decimal(region.right()) + L"," + Decimal(region.bottom()) +
                                L"  button_x=" + Decimal(l.action_x));
        if (!ok) ++section.failures;
    }
    Verdict(section, L"STATUS_REGION");
    return section;
}

std::vector<ClientSize> DefaultSettingsHitSizes() {
    return {{900, 600}, {900, 700}, {1100, 620}, {1600, 900}, {2560, 1400}, {900, 1200}};
}

SelfTestSection SettingsHitSection(const std::vector<ClientSize>& sizes) {
    SelfTestSection section;
    for (const ClientSize& size : sizes) {
        const Layout l = ComputeLayout(size.width, size.height);
        const SettingsPanelLayout panel = ComputeSettingsPanel(l);
        int drawn = 0;
        const int bad = SettingsPanelBadChecks(l, panel, drawn);
        section.lines.push_back(Prefix(bad == 0) + L"settings-hit " + Size(l.width, l.height) +
                                L"  drawn=" + Decimal(drawn) + L" arrow_w=" +
                                Decimal(panel.arrow_width) + L" bad=" + Decimal(bad));
        if (bad != 0) ++section.failures;
    }
    Verdict(section, L"SETTINGS_HIT");
    return section;
}

std::vector<HintCase> DefaultHintCases() {
    return {
        {L"C:\\Users\\Oyuncu\\OneDrive\\Masaüstü\\Velmor2\\Velmor2Launcher.exe", true},
        {L"C:\\USERS\\OYUNCU\\ONEDRIVE\\MASAÜSTÜ\\VELMOR2\\VELMOR2LAUNCHER.EXE", true},
        {L"C:\\Users\\Oyuncu\\Dropbox\\Velmor2\\Velmor2Launcher.exe", true},
        {L"C:\\Users\\Oyuncu\\Google Drive\\Velmor2\\Velmor2Launcher.exe", true},
        {L"C:\\Velmor2\\Velmor2Launcher.exe", false},
        {L"D:\\Oyunlar\\Velmor2\\game", false},
    };
}

SelfTestSection SyncedFolderHintSection(const std::vector<HintCase>& cases) {
    SelfTestSection section;
    bool any_miss = false;
    for (const HintCase& c : cases) {
        const std::wstring expected = c.synced ? kTextSyncedFolder : kTextFilesRevert;
        if (SyncedFolderHint(c.path) == expected) continue;
        section.lines.push_back(kSelfTestIndent + (L"SYNC_MISS: " + c.path));
        any_miss = true;
    }
    section.lines.push_back(Prefix(!any_miss) + L"SYNCED_FOLDER_HINT: " +
                            Decimal(static_cast<std::int64_t>(cases.size())) + kTextPaths);
    section.failures = any_miss ? 1 : 0;
    return section;
}

SelfTestSection TextFitSection(const std::vector<FittedText>& texts) {
    SelfTestSection section;
    int shortened = 0;
    for (const FittedText& t : texts) {
        if (t.shown == t.text && t.width <= t.room) continue;
        const bool marked =
            t.shown.size() < t.text.size() && !t.shown.empty() && t.shown.back() == L'\u2026' &&
            t.text.compare(0, t.shown.size() - 1, t.shown, 0, t.shown.size() - 1) == 0;
        if (marked && t.width <= t.room) {
            ++shortened;
            continue;
        }
        ++section.failures;
        section.lines.push_back(kSelfTestSubFail + t.where + L" " + Decimal(t.width) + L"/" +
                                Decimal(t.room) + L" px: " + t.shown);
    }
    section.lines.push_back(Prefix(section.failures == 0) + L"TEXT_FIT: " +
                            Decimal(static_cast<std::int64_t>(texts.size())) + L" texts, " +
                            Decimal(shortened) + L" shortened with \u2026");
    section.failures = section.failures > 0 ? 1 : 0;
    return section;
}

SelfTestSection ArrowCodePointSection(const std::wstring& left, const std::wstring& right) {
    SelfTestSection section;
    const bool ok = left == L"\u2039" && right == L"\u203A";
    section.lines.push_back(Prefix(ok) + L"ARROW_CP: " + FormatCodePoints(left) + L" " +
                            FormatCodePoints(right));
    section.failures = ok ? 0 : 1;
    return section;
}

SelfTestSection IdentitySection(const std::wstring& base_url, const std::wstring& key_service) {
    SelfTestSection section;
    section.lines.push_back(L"BASE_URL:  " + base_url);
    section.lines.push_back(L"KEY_SVC:   " + key_service);
    section.lines.push_back(L"TITLE_CP:  " + FormatCodePoints(kTextWindowTitle));
    section.lines.push_back(L"READY_CP:  " + FormatCodePoints(kTextGameUpToDate));
    section.lines.push_back(L"REPAIR_CP: " + FormatCodePoints(kTextSomeFilesMissing));
    return section;
}

}  // namespace patcher::model
