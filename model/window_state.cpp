#include "model/window_state.h"

#include <algorithm>
#include <array>

#include "model/window_texts.h"

namespace patcher::model {

using namespace rules;

const wchar_t* WindowViewName(WindowView view) {
    switch (view) {
        case WindowView::FirstInstall:
            return L"first-install";
        case WindowView::Main:
            return L"main";
        case WindowView::Downloading:
            return L"downloading";
        case WindowView::Repair:
            return L"repair";
        case WindowView::ConnectionError:
            return L"connection-error";
        case WindowView::Blocked:
            return L"blocked";
    }
    return L"unknown";
}

const wchar_t* ActionCaption(ActionButton action) {
    switch (action) {
        case ActionButton::Wait:
            return kCaptionWait;
        case ActionButton::Install:
            return kCaptionInstall;
        case ActionButton::Update:
            return kCaptionUpdate;
        case ActionButton::Repair:
            return kCaptionRepair;
        case ActionButton::Play:
            return kCaptionPlay;
        case ActionButton::Pause:
            return kCaptionPause;
        case ActionButton::Resume:
            return kCaptionResume;
        default:
            return kCaptionRetry;
    }
}

Rgb ViewDotColour(WindowView view) {
    switch (view) {
        case WindowView::Main:
            return kDotGreen;
        case WindowView::FirstInstall:
        case WindowView::Downloading:
            return kDotAmber;
        default:
            return kDotRed;
    }
}

std::wstring WindowStateLine(const WindowState& state) {
    const wchar_t* dot = state.dot == kDotGreen   ? L"green"
                         : state.dot == kDotAmber ? L"amber"
                                                  : L"red";
    return std::wstring(L"window: ") + WindowViewName(state.view) + L" " +
           ActionCaption(state.action) + (state.action_enabled ? L" enabled " : L" disabled ") +
           dot + kTextDot + state.headline;
}

ControlVisibility VisibleControls(const WindowState& state) {
    return {state.view == WindowView::FirstInstall, state.play_anyway_shown};
}

void SetView(WindowState& state, WindowView view, ActionButton action, bool offer_play_anyway) {
    state.view = view;
    state.action = action;
    state.play_anyway_shown = view == WindowView::ConnectionError && offer_play_anyway;
    state.dot = state.play_anyway_shown ? kDotRed : ViewDotColour(view);
    state.action_enabled = action != ActionButton::Wait;
}

void SetStatus(WindowState& state, Rgb dot, std::wstring headline, std::wstring detail) {
    state.dot = dot;
    state.headline = std::move(headline);
    state.detail = std::move(detail);
}

ActionButton DecideAction(const CheckOutcome& result, bool busy) {
    if (busy) return ActionButton::Wait;
    if (result.code != StatusCode::Ok) {
        return result.code == StatusCode::ContentMismatch ? ActionButton::Repair
                                                          : ActionButton::Retry;
    }
    if (result.diff.empty()) {
        if (!result.game_exe_in_manifest) return ActionButton::Retry;
        return result.game_exe_on_disk ? ActionButton::Play : ActionButton::Repair;
    }
    const bool damaged = std::any_of(result.diff.begin(), result.diff.end(), [](const DiffItem& d) {
        return d.reason != DiffReason::Missing;
    });
    if (damaged) return ActionButton::Repair;
    if (result.files == 0 || result.diff.size() < result.files) return ActionButton::Update;
    return ActionButton::Install;
}

std::wstring SyncedFolderHint(const std::wstring& path) {
    static constexpr std::array<const wchar_t*, 5> kMarkers = {
        L"onedrive", L"dropbox", L"google drive", L"yandex.disk", L"icloud"};
    std::wstring lower = path;
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    const bool synced = std::any_of(kMarkers.begin(), kMarkers.end(), [&](const wchar_t* marker) {
        return lower.find(marker) != std::wstring::npos;
    });
    return synced ? kTextSyncedFolder : kTextFilesRevert;
}

bool PlayAnywayAllowed(const CheckOutcome& last_result) {
    return last_result.may_launch && last_result.offer_play_anyway;
}

}  // namespace patcher::model
