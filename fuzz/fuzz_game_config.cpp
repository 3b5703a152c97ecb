// The garun2.cfg parser and writer, and the settings panel's steps and saves built on them. The
// first input byte may pad the file to just short of one of the caps (inputs are kept far shorter
// than the byte cap), the second gives the number of steps (its low three bits) and whether the
// display offers no modes, the bytes after it are the steps and the rest is the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "model/game_config.h"
#include "model/settings_panel_state.h"

using namespace patcher;
using namespace patcher::model;

namespace {

std::vector<std::string_view> RowKeys(int row) {
    switch (static_cast<SettingRow>(row)) {
        case SettingRow::FullScreen:
            return {"WINDOWED"};
        case SettingRow::Resolution:
            return {"WIDTH", "HEIGHT"};
        case SettingRow::Brightness:
            return {"GAMMA"};
        case SettingRow::SoftwareCursor:
            break;
    }
    return {"SOFTWARE_CURSOR"};
}

bool IsRowKey(std::string_view key, int row) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::string_view name : RowKeys(row)) {
        if (name.size() == key.size() &&
            std::equal(name.begin(), name.end(), key.begin(),
                       [&](char a, char b) { return lower(a) == lower(b); })) {
            return true;
        }
    }
    return false;
}

// What a file with any CR LF is written back as: every LF gets the CR it lacks.
std::string AllCrLf(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

// Leading comment lines, in the file's own line end, that bring it within `pad & 0x3f` of the byte
// cap (top bits 10) or of the line cap (11). Half the inputs stay as they are: padded ones run far
// slower.
std::string Padded(std::string text, std::uint8_t pad) {
    if ((pad & 0x80) == 0) return text;
    const std::string end = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const std::size_t gap = pad & 0x3f;
    std::string head;
    if (pad & 0x40) {
        std::size_t lines =
            static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        for (; lines + gap < kMaxGameConfigLines; ++lines) head += ";" + end;
    } else if (text.size() + end.size() + 1 + gap <= kMaxGameConfigBytes) {
        head =
            ";" + std::string(kMaxGameConfigBytes - gap - text.size() - end.size() - 1, 'x') + end;
    }
    return head + text;
}

// A step keeps every line but the row's own, which it rewrites in place (same key, same
// separator), and adds at most one line for each of the row's keys.
void RequireOnlyRowLinesChanged(const GameConfig& before, const GameConfig& after, int row) {
    fuzz::Require(after.crlf == before.crlf && after.final_newline == before.final_newline);
    std::size_t kept = 0;
    std::size_t added = 0;
    for (const GameConfigLine& line : after.lines) {
        const GameConfigLine* old = kept < before.lines.size() ? &before.lines[kept] : nullptr;
        if (old != nullptr && line.raw == old->raw) {
            ++kept;
            continue;
        }
        fuzz::Require(IsRowKey(line.key, row));
        if (old != nullptr && old->key == line.key) {
            fuzz::Require(old->separator == line.separator);
            ++kept;
        } else {
            ++added;
        }
    }
    fuzz::Require(kept == before.lines.size() && added <= RowKeys(row).size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t steps = std::min<std::size_t>(data[1] & 7, size - 2);
    const std::uint8_t* step = data + 2;
    const std::string text =
        Padded(std::string(reinterpret_cast<const char*>(step + steps), size - 2 - steps), data[0]);

    const Result<GameConfig> parsed = ParseGameConfig(text);
    if (!parsed.ok()) {
        fuzz::RequireFailureShape(parsed.status());
        return 0;
    }
    // Writing back what was read changes nothing but the LFs of a file that mixes them with CR LF.
    const std::string written = SerializeGameConfig(parsed.value());
    fuzz::Require(written == (parsed.value().crlf ? AllCrLf(text) : text));

    const std::vector<DisplayMode> modes =
        (data[1] & 8) != 0
            ? std::vector<DisplayMode>{}
            : NormaliseDisplayModes(
                  {{800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}, {1920, 1080}});
    SettingsPanelState panel;
    LoadGameSettings(panel, {L"g", true, true, text, ""}, modes);
    fuzz::Require(panel.editable);
    for (std::size_t i = 0; i < steps; ++i) {
        const int row = step[i] & 3;
        const int direction = (step[i] >> 2) % 3 - 1;
        const GameConfig before = panel.config;
        const std::string before_bytes = SerializeGameConfig(before);
        StepGameSetting(panel, row, direction);
        const std::string after_bytes = SerializeGameConfig(panel.config);
        if (after_bytes == before_bytes) continue;
        const Result<GameConfig> reloaded = ParseGameConfig(after_bytes);
        fuzz::Require(reloaded.ok());
        RequireOnlyRowLinesChanged(before, reloaded.value(), row);
    }

    // What a save writes, the next load accepts, and writing that back changes nothing.
    const SettingsSave save = PrepareGameSettingsSave(panel, L"g");
    fuzz::Require(save.write || !panel.dirty);
    if (save.write) {
        const Result<GameConfig> reloaded = ParseGameConfig(save.bytes);
        fuzz::Require(reloaded.ok() && SerializeGameConfig(reloaded.value()) == save.bytes);
    }
    return 0;
}
