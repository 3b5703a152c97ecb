// The platform's floor for a many-file install: the least a WinHTTP program has to do to fetch the
// same files the patcher fetches, so that the patcher's time can be read against what Windows (or
// Wine) itself costs rather than against another stack such as curl's.
//
//   winhttp-floor URLS.txt [OUTDIR [--flush]]
//
// URLS.txt holds https URLs of one host, one a line. Eight threads take the next URL in turn; each
// thread has a WinHttpOpen session of its own and one connection handle to the host, so each keeps
// one keep-alive connection of its own and no two threads share a session's pool or its lock. Every
// body is read with WinHttpReadData into one buffer and thrown away. It prints FILES, BYTES and
// SECONDS and exits 0 only when every URL answered 200 with as many bytes as its Content-Length.
//
// With OUTDIR each body is written instead to OUTDIR plus the URL's path, each folder created once,
// each file with one CreateFileW, its WriteFile calls and a CloseHandle (and FlushFileBuffers
// before that with --flush): the least that writing the files adds, with no rename, check or hash.
//
// Of the patcher's client it takes only the settings that cost time on every connection: the way
// the session finds its proxy (automatic, else the machine's default before Windows 8.1), the
// secure protocols (TLS 1.2 and 1.3, else 1.2 alone) and the revocation check, which WinHTTP
// honours on request handles only. It includes nothing of the patcher.

#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 8;
// The patcher's read size, so that both make as many calls per body.
constexpr DWORD kBufferBytes = 65536;

struct Target {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;
};

std::mutex report_lock;

struct Output {
    std::wstring folder;  // empty: bodies are thrown away
    bool flush = false;
    std::mutex lock;
    std::set<std::wstring> made;  // folders known to exist
};
Output output;

// Creates the folders of `path` below the output folder, each once per run.
void MakeParents(const std::wstring& path) {
    const std::lock_guard<std::mutex> hold(output.lock);
    for (size_t cut = path.find(L'\\', output.folder.size() + 1); cut != std::wstring::npos;
         cut = path.find(L'\\', cut + 1)) {
        const std::wstring folder = path.substr(0, cut);
        if (output.made.insert(folder).second) CreateDirectoryW(folder.c_str(), nullptr);
    }
}

HANDLE CreateOutput(const std::wstring& url_path) {
    std::wstring path = output.folder + url_path;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    MakeParents(path);
    return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE file, const char* data, DWORD length) {
    DWORD written = 0;
    return WriteFile(file, data, length, &written, nullptr) && written == length;
}

// Reports why `url` failed; answers -1, Fetch's answer for a failure.
std::int64_t Fail(const std::wstring& url, const char* what, DWORD error) {
    const std::lock_guard<std::mutex> hold(report_lock);
    std::fwprintf(stderr, L"winhttp-floor: %ls: %hs (%lu)\n", url.c_str(), what,
                  static_cast<unsigned long>(error));
    return -1;
}

bool Crack(const std::wstring& url, Target& target) {
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTPS || parts.dwHostNameLength == 0) return false;
    target.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    target.port = parts.nPort;
    target.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) target.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    return true;
}

struct Handle {
    HINTERNET h = nullptr;
    explicit Handle(HINTERNET handle) : h(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (h) WinHttpCloseHandle(h);
    }
};

HINTERNET OpenSession() {
    constexpr wchar_t kAgent[] = L"winhttp-floor";
    HINTERNET session = WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session && GetLastError() == ERROR_INVALID_PARAMETER) {
        session = WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0);
    }
    if (!session) return nullptr;
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                          sizeof(protocols))) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
    }
    return session;
}

// One GET on the thread's connection; answers the body's length, or -1 after reporting why not.
std::int64_t Fetch(HINTERNET connection, const std::wstring& url, const Target& target,
                   std::vector<char>& buffer) {
    Handle request(WinHttpOpenRequest(connection, L"GET", target.path.c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      WINHTTP_FLAG_SECURE));
    if (!request.h) return Fail(url, "open request", GetLastError());
    DWORD revocation = WINHTTP_ENABLE_SSL_REVOCATION;
    WinHttpSetOption(request.h, WINHTTP_OPTION_ENABLE_FEATURE, &revocation, sizeof(revocation));
    if (!WinHttpSendRequest(request.h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            0, 0) ||
        !WinHttpReceiveResponse(request.h, nullptr)) {
        return Fail(url, "request", GetLastError());
    }
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                             WINHTTP_NO_HEADER_INDEX) ||
        status != 200) {
        return Fail(url, "status other than 200", status);
    }
    // Without Content-Length a cut connection reads as the body's end: the whole body is only
    // known by its announced length. As text, since the number flag answers 32 bits.
    wchar_t text[32] = {};
    size = sizeof(text) - sizeof(wchar_t);
    if (!WinHttpQueryHeaders(request.h, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                             text, &size, WINHTTP_NO_HEADER_INDEX)) {
        return Fail(url, "no Content-Length", GetLastError());
    }
    const std::int64_t length = _wcstoi64(text, nullptr, 10);
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!output.folder.empty()) {
        file = CreateOutput(target.path);
        if (file == INVALID_HANDLE_VALUE) return Fail(url, "create", GetLastError());
    }
    std::int64_t received = 0;
    bool written = true;
    for (;;) {
        DWORD read = 0;
        if (!WinHttpReadData(request.h, buffer.data(), kBufferBytes, &read)) {
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
            return Fail(url, "read", GetLastError());
        }
        if (read == 0) break;
        received += read;
        if (file != INVALID_HANDLE_VALUE) written = written && WriteAll(file, buffer.data(), read);
    }
    if (file != INVALID_HANDLE_VALUE) {
        if (output.flush) written = written && FlushFileBuffers(file);
        written = CloseHandle(file) && written;
        if (!written) return Fail(url, "write", GetLastError());
    }
    if (received != length) return Fail(url, "body shorter or longer than announced", 0);
    return received;
}

void Worker(const std::vector<std::wstring>& urls, const Target& host, std::atomic<size_t>& next,
            std::atomic<std::int64_t>& bytes, std::atomic<bool>& failed) {
    Handle session(OpenSession());
    if (!session.h) {
        Fail(host.host, "session", GetLastError());
        failed = true;
        return;
    }
    Handle connection(WinHttpConnect(session.h, host.host.c_str(), host.port, 0));
    if (!connection.h) {
        Fail(host.host, "connect", GetLastError());
        failed = true;
        return;
    }
    std::vector<char> buffer(kBufferBytes);
    while (!failed) {
        const size_t index = next++;
        if (index >= urls.size()) return;
        Target target;
        Crack(urls[index], target);
        const std::int64_t got = Fetch(connection.h, urls[index], target, buffer);
        if (got < 0) {
            failed = true;
            return;
        }
        bytes += got;
    }
}

bool ReadUrls(const wchar_t* file, std::vector<std::wstring>& urls) {
    FILE* in = _wfopen(file, L"rb");
    if (!in) return false;
    std::string text;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof(chunk), in)) > 0;) text.append(chunk, n);
    std::fclose(in);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const int wide =
            MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
        std::wstring url(static_cast<size_t>(wide), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), url.data(),
                            wide);
        urls.push_back(std::move(url));
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool flush = argc == 4 && wcscmp(argv[3], L"--flush") == 0;
    if (argc < 2 || argc > 4 || (argc == 4 && !flush)) {
        std::fwprintf(stderr, L"usage: winhttp-floor URLS.txt [OUTDIR [--flush]]\n");
        return 2;
    }
    if (argc >= 3) {
        output.folder = argv[2];
        output.flush = flush;
        CreateDirectoryW(output.folder.c_str(), nullptr);
    }
    std::vector<std::wstring> urls;
    if (!ReadUrls(argv[1], urls) || urls.empty()) {
        std::fwprintf(stderr, L"winhttp-floor: no URLs read from %ls\n", argv[1]);
        return 2;
    }
    Target host;
    for (const std::wstring& url : urls) {
        Target target;
        const bool cracked = Crack(url, target);
        const bool same_host =
            host.host.empty() ||
            (_wcsicmp(target.host.c_str(), host.host.c_str()) == 0 && target.port == host.port);
        if (!cracked || !same_host) {
            std::fwprintf(stderr, L"winhttp-floor: not an https URL of the first one's host: %ls\n",
                          url.c_str());
            return 2;
        }
        host = target;
    }
    std::atomic<size_t> next{0};
    std::atomic<std::int64_t> bytes{0};
    std::atomic<bool> failed{false};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back(Worker, std::cref(urls), std::cref(host), std::ref(next),
                             std::ref(bytes), std::ref(failed));
    }
    for (std::thread& thread : threads) thread.join();
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::printf("FILES: %s\nBYTES: %s\nSECONDS: %.3f\n", std::to_string(urls.size()).c_str(),
                std::to_string(bytes.load()).c_str(), seconds.count());
    return failed ? 1 : 0;
}
