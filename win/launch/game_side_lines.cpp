#include "win/launch/game_side_lines.h"

namespace patcher::win {
namespace {

constexpr std::size_t kMaxPatcherLineBytes = 4096;

}  // namespace

bool ReadPatcherLine(HANDLE input, std::string& line) {
    line.clear();
    bool any = false;
    char c = 0;
    DWORD got = 0;
    while (ReadFile(input, &c, 1, &got, nullptr) && got == 1) {
        any = true;
        if (c == '\n') break;
        if (line.size() < kMaxPatcherLineBytes) line += c;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

bool WriteGameLine(HANDLE output, std::string_view line) {
    const std::string text = std::string(line) + "\n";
    DWORD written = 0;
    return WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::string KeyOfLine(const std::string& line) {
    return line.rfind("KEY ", 0) == 0 ? line.substr(4) : std::string();
}

}  // namespace patcher::win
