// The player's window as data: its views, the action button, and the state the window thread owns
// and every handler reads and rewrites (window_handlers.h).
#pragma once

#include <cstdint>
#include <string>

#include "model/colours.h"
#include "rules/check_outcome.h"

namespace patcher::model {

// The numbers and names (WindowViewName) are those the UI self-test prints.
enum class WindowView : std::int32_t {
    FirstInstall = 0,
    Main = 1,
    Downloading = 2,
    Repair = 3,
    ConnectionError = 4,
    Blocked = 5,
};

// The action button's meaning; its caption is ActionCaption. Disabled only while waiting.
enum class ActionButton : std::int32_t {
    Wait = 0,     // "BEKLEYİN"
    Install = 1,  // "YÜKLE": download
    Update = 2,   // "GÜNCELLE": download
    Repair = 3,   // "ONAR": full-level check, then download
    Play = 4,     // "OYNA": launch
    Retry = 5,    // "TEKRAR DENE": reset the rounds and check again
    Pause = 6,    // "DURAKLAT": stop every transfer, keeping the partial files
    Resume = 7,   // "DEVAM ET": carry on from the partial files
};

const wchar_t* WindowViewName(WindowView view);
// Pause and Resume read "DURAKLAT" and "DEVAM ET"; any other value above 4 reads "TEKRAR DENE".
const wchar_t* ActionCaption(ActionButton action);
// The dot SetView gives a view (connection-error with the play-anyway button is red too).
Rgb ViewDotColour(WindowView view);

// Everything the window thread decides from, besides the configuration (WindowContext) and the
// results the workers hand over.
struct WindowState {
    WindowView view = WindowView::Main;
    ActionButton action = ActionButton::Wait;
    bool action_enabled = false;
    bool play_anyway_shown = false;  // the "Yine de oyna" button
    Rgb dot = kDotGreen;
    std::wstring headline;
    std::wstring detail;
    bool busy = false;                  // a check or download thread is running
    bool download_after_check = false;  // the running check is to be followed by a download
    bool after_self_update = false;     // started with --after-self-update
    bool patcher_stuck = false;         // the self-replacement did not take in this process
    std::uint32_t rounds = 0;           // automatic downloads in a row, 0..2
    bool launching = false;             // the launch thread is starting the game
    bool hidden = false;                // the game holds the key channel; its end closes us
    // The download can be paused: while it runs the button reads "DURAKLAT" instead of waiting.
    bool can_pause = false;
    bool paused = false;           // the player paused; the download thread may still be stopping
    bool resume_on_stop = false;   // "DEVAM ET" was pressed before the paused thread ended
    std::uint64_t bytes_left = 0;  // still to fetch, as the last progress said
};

// What the player sees, as one support-log line: "window: main OYNA enabled green · " + headline.
// The window writes it whenever it changes (not for progress), so support staff and the end-to-end
// tests can follow the window's story; it carries the whole headline, even one the window cut.
std::wstring WindowStateLine(const WindowState& state);

// Which child controls are visible for a state: the action button always, the spare label and the
// progress holder never.
struct ControlVisibility {
    bool first_install;  // the folder prompt, the folder field, the browse button and the note
    bool play_anyway;    // the "Yine de oyna" button
};
ControlVisibility VisibleControls(const WindowState& state);

// The one mapping from a view and an action to the controls, the dot and the caption. "Yine de
// oyna" shows only in connection-error when the last check offered to play anyway, and then the
// dot is red.
void SetView(WindowState& state, WindowView view, ActionButton action, bool offer_play_anyway);
void SetStatus(WindowState& state, Rgb dot, std::wstring headline, std::wstring detail);

// The action a check result calls for: wait while busy, retry or repair on a failed check, play
// when nothing is missing, repair when anything is damaged, install when every file is wanted,
// update otherwise.
ActionButton DecideAction(const rules::CheckOutcome& result, bool busy);

// Which of two sentences explains files that will not stay on disk: the synced-folder one when the
// path (ASCII letters compared in lower case) names OneDrive, Dropbox, Google Drive, Yandex.Disk or
// iCloud, the antivirus one otherwise.
std::wstring SyncedFolderHint(const std::wstring& path);

// "Yine de oyna" launches only when the last check allows both launching and offering it.
bool PlayAnywayAllowed(const rules::CheckOutcome& last_result);

}  // namespace patcher::model
