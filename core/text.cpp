#include "core/text.h"

#include <chrono>
#include <fstream>
#include <system_error>

#include "core/file_path.h"

namespace patcher {
namespace {

bool IsPrintableAscii(unsigned char c) {
    return c >= 32 && c <= 126;
}

std::string TwoDigits(unsigned value) {
    std::string out;
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
    return out;
}

Status LineFormatFailure(const std::string& label, std::string_view line) {
    if (line.empty()) return Status(StatusCode::BadFormat, label + " format: blank line");
    if (line.front() == ' ' || line.back() == ' ') {
        return Status(StatusCode::BadFormat, label + " format: leading/trailing space");
    }
    if (line.size() >= 2 && line.find("  ") != std::string_view::npos) {
        return Status(StatusCode::BadFormat,
                      label + " format: double space (the field separator is one space)");
    }
    if (line.size() > 1024) {
        return Status(StatusCode::BadFormat, label + " format: line exceeds 1024 bytes");
    }
    return Status::Success();
}

}  // namespace

bool FileExists(const std::string& path) {
    // Something that exists but cannot be opened (locked by another process, access denied) must
    // not pass for missing: callers take a missing state file as "no baseline" and a missing
    // signature as unsigned input, and only a file that is truly absent may mean that.
    const std::optional<std::filesystem::path> native = Utf8Path(path);
    if (!native) return !path.empty();
    std::error_code error;
    return std::filesystem::status(*native, error).type() != std::filesystem::file_type::not_found;
}

bool GetFileSize(const std::string& path, std::uint64_t& size) {
    const std::optional<std::filesystem::path> native = Utf8Path(path);
    if (!native) return false;
    std::ifstream in(*native, std::ios::binary | std::ios::ate);
    if (!in.is_open()) return false;
    const std::streamoff end = in.tellg();
    if (end < 0) return false;
    size = static_cast<std::uint64_t>(end);
    return true;
}

Result<std::string> ReadTextFile(const std::string& path, const std::string& label) {
    std::uint64_t size = 0;
    if (!GetFileSize(path, size)) {
        return Status(StatusCode::BadInput, label + " cannot be read: " + path);
    }
    if (size == 0) return Status(StatusCode::BadFormat, label + " is empty");
    // The cap is enforced on the reported size, so an oversized or endless file is never loaded.
    if (size > kMaxDocumentBytes) {
        return Status(StatusCode::BadFormat, label + " exceeds the 1 MB cap (" +
                                                 std::to_string(size) + " bytes) -- not parsed");
    }
    std::ifstream in(*Utf8Path(path), std::ios::binary);
    if (!in.is_open()) return Status(StatusCode::BadInput, label + " cannot be read: " + path);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::uint64_t>(in.gcount()) != size) {
        return Status(StatusCode::BadInput, label + " short read: " + path);
    }
    return bytes;
}

Status CheckTextFormat(std::string_view text, const std::string& label) {
    if (text.empty()) return Status(StatusCode::BadFormat, label + " is empty");
    if (text.find('\r') != std::string_view::npos) {
        return Status(StatusCode::BadFormat, label + " is not LF-only (CR found)");
    }
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c != '\n' && !IsPrintableAscii(c)) {
            return Status(StatusCode::BadFormat,
                          label + " contains a non-printable or non-ASCII byte");
        }
    }
    if (text.back() != '\n') {
        return Status(StatusCode::BadFormat, label + " last line does not end with LF");
    }
    for (const std::string_view line : SplitLines(text)) {
        Status line_status = LineFormatFailure(label, line);
        if (!line_status.ok()) return line_status;
    }
    return Status::Success();
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, lf - start));
        start = lf + 1;
    }
    return lines;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t space = line.find(' ', start);
        if (space == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, space - start));
        start = space + 1;
    }
}

std::string PrintableCopy(std::string_view bytes) {
    std::string out(bytes);
    for (char& ch : out) {
        if (!IsPrintableAscii(static_cast<unsigned char>(ch))) ch = '?';
    }
    return out;
}

bool IsDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char ch : text) {
        if (ch < '0' || ch > '9') return false;
    }
    return true;
}

bool IsIsoUtc(std::string_view text) {
    static constexpr std::string_view kTemplate = "NNNN-NN-NNTNN:NN:NNZ";
    if (text.size() != kTemplate.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool ok =
            kTemplate[i] == 'N' ? (text[i] >= '0' && text[i] <= '9') : text[i] == kTemplate[i];
        if (!ok) return false;
    }
    return true;
}

bool IsLowerHex64(std::string_view text) {
    if (text.size() != 64) return false;
    for (const char ch : text) {
        if (!((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f'))) return false;
    }
    return true;
}

std::string_view FindHeaderField(std::string_view text, std::string_view key) {
    for (const std::string_view line : SplitLines(text)) {
        const std::vector<std::string_view> fields = SplitFields(line);
        if (fields[0] != key) continue;
        return fields.size() > 1 ? fields[1] : std::string_view();
    }
    return {};
}

bool ParseU64(std::string_view text, std::uint64_t& value) {
    if (!IsDigits(text)) return false;
    constexpr std::uint64_t kMax = UINT64_MAX;
    std::uint64_t result = 0;
    for (const char ch : text) {
        const auto digit = static_cast<std::uint64_t>(ch - '0');
        if (result > (kMax - digit) / 10) return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

std::uint64_t LeadingU64(std::string_view text) {
    std::uint64_t value = 0;
    for (const char ch : text) {
        if (ch < '0' || ch > '9') break;
        const auto digit = static_cast<std::uint64_t>(ch - '0');
        if (value > (UINT64_MAX - digit) / 10) break;
        value = value * 10 + digit;
    }
    return value;
}

bool IsAtOrAfter(std::string_view a, std::string_view b) {
    return a >= b;
}

std::string CurrentUtcTimestamp() {
    // std::chrono's civil calendar keeps this free of gmtime, which is neither thread-safe nor
    // spelled the same way on every C library this code is built with.
    using namespace std::chrono;
    const auto now = time_point_cast<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date(day);
    const hh_mm_ss<seconds> time(now - day);
    if (!date.ok()) return "1970-01-01T00:00:00Z";
    return std::to_string(static_cast<int>(date.year())) + "-" +
           TwoDigits(static_cast<unsigned>(date.month())) + "-" +
           TwoDigits(static_cast<unsigned>(date.day())) + "T" +
           TwoDigits(static_cast<unsigned>(time.hours().count())) + ":" +
           TwoDigits(static_cast<unsigned>(time.minutes().count())) + ":" +
           TwoDigits(static_cast<unsigned>(time.seconds().count())) + "Z";
}

}  // namespace patcher
