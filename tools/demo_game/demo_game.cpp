// The demo release's game: it reads the first line the patcher sends on standard input (the key
// line, when the patcher hands one over), answers with one note on standard output and exits. It
// never prints the key itself.
#include <windows.h>

#include <string>

namespace {

std::string ReadFirstLine(HANDLE input) {
    std::string line;
    char c = 0;
    DWORD read = 0;
    while (line.size() < 4096 && ReadFile(input, &c, 1, &read, nullptr) && read == 1 && c != '\n') {
        line += c;
    }
    return line;
}

void WriteText(HANDLE output, const std::string& text) {
    DWORD written = 0;
    WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return 0;
    const std::string first = ReadFirstLine(input);
    if (output != nullptr && output != INVALID_HANDLE_VALUE) {
        WriteText(output, first.rfind("KEY ", 0) == 0 ? "NOTE demo game received a key\n"
                                                      : "NOTE demo game started without a key\n");
    }
    return 0;
}
