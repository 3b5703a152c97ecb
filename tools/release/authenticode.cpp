#include "tools/release/authenticode.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tools/release/file_io.h"

namespace patcher::release {
namespace {

Status BadPe(const std::string& reason) {
    return Status(StatusCode::BadFormat, "not a usable PE file: " + reason);
}

std::uint32_t Read32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::uint16_t Read16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8);
}

// WIN_CERTIFICATE: a 32-bit length, revision 2.0 and type 2, PKCS#7 signed data.
constexpr std::uint16_t kCertificateRevision = 0x0200;
constexpr std::uint16_t kCertificateTypePkcs7 = 0x0002;
constexpr std::uint32_t kSecurityDirectory = 4;

// Runs the program without a shell; its output is kept for the failure message.
Status RunProgram(const std::vector<std::string>& arguments, std::string& output) {
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) {
        return Status(StatusCode::BadInput,
                      std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipe_ends[0]);
        ::close(pipe_ends[1]);
        return Status(StatusCode::BadInput, std::string("cannot fork: ") + std::strerror(errno));
    }
    if (child == 0) {
        ::dup2(pipe_ends[1], STDOUT_FILENO);
        ::dup2(pipe_ends[1], STDERR_FILENO);
        ::close(pipe_ends[0]);
        ::close(pipe_ends[1]);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(127);
    }
    ::close(pipe_ends[1]);
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(pipe_ends[0], chunk, sizeof(chunk));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        output.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(pipe_ends[0]);
    int wait_status = 0;
    while (::waitpid(child, &wait_status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0) return Status::Success();
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return Status(StatusCode::BadInput, arguments[0] + " failed: " + output);
}

// The certificate table's entry, its PKCS#7 bytes left in pkcs7.
Result<PeSignature> FindSignature(std::string_view bytes, std::string_view& pkcs7) {
    if (bytes.size() < 0x40 || bytes.substr(0, 2) != "MZ") return BadPe("no MZ header");
    const std::uint64_t pe = Read32(bytes, 0x3C);
    if (pe + 24 + 2 > bytes.size() || bytes.substr(pe, 4) != std::string_view("PE\0\0", 4)) {
        return BadPe("no PE signature");
    }
    const std::uint64_t optional = pe + 24;
    const std::uint16_t magic = Read16(bytes, optional);
    // The data directories follow the optional header's fixed part, 96 bytes in a PE32 and 112
    // in a PE32+; the count of directories stands just before them.
    std::uint64_t directories = 0;
    if (magic == 0x10b) {
        directories = optional + 96;
    } else if (magic == 0x20b) {
        directories = optional + 112;
    } else {
        return BadPe("unknown optional header magic");
    }
    if (directories + 8 * (kSecurityDirectory + 1) > bytes.size())
        return BadPe("truncated headers");
    if (Read32(bytes, directories - 4) <= kSecurityDirectory) return PeSignature::Unsigned;
    // The security directory holds a file offset, not an address: it is not mapped.
    const std::uint64_t table = Read32(bytes, directories + 8 * kSecurityDirectory);
    const std::uint64_t size = Read32(bytes, directories + 8 * kSecurityDirectory + 4);
    if (table == 0 && size == 0) return PeSignature::Unsigned;
    if (size < 8 || table + size > bytes.size()) {
        return BadPe("the certificate table lies outside the file");
    }
    const std::uint32_t length = Read32(bytes, table);
    if (length < 8 || length > size || Read16(bytes, table + 4) != kCertificateRevision ||
        Read16(bytes, table + 6) != kCertificateTypePkcs7) {
        return BadPe("the certificate table holds no Authenticode signature");
    }
    pkcs7 = bytes.substr(table + 8, length - 8);
    return PeSignature::Signed;
}

// The certificates a signature carries as PEM; nothing when it does not parse (osslsigncode then
// says why).
std::string CarriedCertificates(std::string_view pkcs7) {
    const unsigned char* der = reinterpret_cast<const unsigned char*>(pkcs7.data());
    PKCS7* signature = d2i_PKCS7(nullptr, &der, static_cast<long>(pkcs7.size()));
    std::string pem;
    BIO* out = BIO_new(BIO_s_mem());
    if (signature != nullptr && out != nullptr && PKCS7_type_is_signed(signature) &&
        signature->d.sign != nullptr) {
        const STACK_OF(X509)* certificates = signature->d.sign->cert;
        for (int i = 0; i < sk_X509_num(certificates); ++i) {
            PEM_write_bio_X509(out, sk_X509_value(certificates, i));
        }
        char* data = nullptr;
        const long size = BIO_get_mem_data(out, &data);
        if (size > 0) pem.assign(data, static_cast<std::size_t>(size));
    }
    BIO_free(out);
    PKCS7_free(signature);
    ERR_clear_error();
    return pem;
}

// The certificates a chain may end in when the operator names no CA: the signature's own and the
// system's, which osslsigncode trusts by default.
constexpr const char* kSystemCertificates = "/etc/ssl/certs/ca-certificates.crt";

Result<std::string> TrustWithoutCa(std::string_view pkcs7) {
    std::string bundle = CarriedCertificates(pkcs7);
    if (PathExists(kSystemCertificates)) {
        Result<std::string> system = ReadWholeFile(kSystemCertificates, 64ull << 20);
        if (!system.ok()) return system.status();
        bundle += system.value();
    }
    return WriteTemporaryFile("garun2-release-ca", bundle);
}

std::string CollapseSpaces(std::string_view line) {
    std::string collapsed;
    for (const char c : line) {
        const bool space = c == ' ' || c == '\t' || c == '\r';
        if (space && (collapsed.empty() || collapsed.back() == ' ')) continue;
        collapsed += space ? ' ' : c;
    }
    while (!collapsed.empty() && collapsed.back() == ' ') collapsed.pop_back();
    return collapsed;
}

// osslsigncode's report runs to dozens of lines; these are the ones that say why it failed.
std::string VerifyFailureReason(const std::string& output) {
    static constexpr std::string_view kReasons[] = {
        "MISMATCH",   "Unable to",  "No signature found", "Unsupported ",
        "Corrupted ", "Failed to ", "Use the \"",         "cannot run "};
    std::string last;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line =
            CollapseSpaces(std::string_view(output).substr(start, end - start));
        start = end + 1;
        if (line.rfind("Error: ", 0) == 0) return line;
        for (const std::string_view reason : kReasons) {
            if (line.find(reason) != std::string::npos) return line;
        }
        if (!line.empty() && line != "Failed") last = line;
    }
    return last.empty() ? "no reason given" : last;
}

}  // namespace

Result<PeSignature> InspectPeSignature(std::string_view bytes) {
    std::string_view pkcs7;
    return FindSignature(bytes, pkcs7);
}

Result<PeSignature> VerifyExeSignature(const std::string& path, std::string_view bytes,
                                       const std::string& ca_file) {
    std::string_view pkcs7;
    Result<PeSignature> found = FindSignature(bytes, pkcs7);
    if (!found.ok() || found.value() == PeSignature::Unsigned) return found;
    Result<std::string> trust =
        ca_file.empty() ? TrustWithoutCa(pkcs7) : Result<std::string>(ca_file);
    if (!trust.ok()) return trust.status();
    std::string output;
    const Status verified =
        RunProgram({kOsslsigncode, "verify", "-CAfile", trust.value(), "-in", path}, output);
    if (ca_file.empty()) ::unlink(trust.value().c_str());
    if (verified.ok()) return PeSignature::Signed;
    const std::string reason = VerifyFailureReason(output);
    std::string message =
        "its Authenticode signature does not verify (osslsigncode: " + reason + ")";
    // A chain that ends nowhere trusted is often only a missing CA file.
    if (ca_file.empty() && reason.rfind("Error: ", 0) == 0) {
        message +=
            "; without --ca-file only the certificates it carries and the system's CAs "
            "are trusted";
    }
    return Status(StatusCode::BadSignature, message);
}

std::vector<std::string> OsslsigncodeArguments(const SignExeOptions& options,
                                               const std::string& output) {
    std::vector<std::string> arguments = {options.osslsigncode, "sign", "-h", "sha256"};
    if (!options.pkcs12.empty()) {
        arguments.insert(arguments.end(), {"-pkcs12", options.pkcs12});
    } else {
        arguments.insert(arguments.end(), {"-certs", options.certificate, "-key", options.key});
    }
    if (!options.password_file.empty()) {
        arguments.insert(arguments.end(), {"-readpass", options.password_file});
    }
    if (!options.description.empty()) {
        arguments.insert(arguments.end(), {"-n", options.description});
    }
    if (!options.timestamp_url.empty()) {
        arguments.insert(arguments.end(), {"-ts", options.timestamp_url});
    }
    arguments.insert(arguments.end(), {"-in", options.exe, "-out", output});
    return arguments;
}

Status SignExe(const SignExeOptions& options) {
    Result<std::string> original = ReadWholeFile(options.exe, 1ull << 31);
    if (!original.ok()) return original.status();
    Result<PeSignature> before = InspectPeSignature(original.value());
    if (!before.ok())
        return Status(before.status().code, options.exe + ": " + before.status().message);

    const std::string target = options.out.empty() ? options.exe : options.out;
    if (!options.out.empty() && PathExists(options.out)) {
        return Status(StatusCode::BadInput, "refusing to overwrite " + options.out);
    }
    // osslsigncode writes beside the target, so the move into place is one rename.
    std::string temporary = target + ".signing-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return Status(StatusCode::BadInput, "cannot create a temporary file beside " + target +
                                                ": " + std::strerror(errno));
    }
    ::close(fd);
    ::unlink(temporary.c_str());  // osslsigncode creates its output itself

    std::string output;
    Status status = RunProgram(OsslsigncodeArguments(options, temporary), output);
    Result<std::string> signed_bytes =
        status.ok() ? ReadWholeFile(temporary, 1ull << 31) : Result<std::string>(status);
    if (signed_bytes.ok()) {
        Result<PeSignature> after = InspectPeSignature(signed_bytes.value());
        if (!after.ok() || after.value() != PeSignature::Signed) {
            status = Status(StatusCode::BadSignature,
                            "osslsigncode wrote " + temporary + " without a signature");
        }
    } else {
        status = signed_bytes.status();
    }
    if (status.ok() && ::rename(temporary.c_str(), target.c_str()) != 0) {
        status = Status(StatusCode::BadInput, "cannot move the signed exe into place at " + target +
                                                  ": " + std::strerror(errno));
    }
    if (!status.ok()) ::unlink(temporary.c_str());
    return status;
}

}  // namespace patcher::release
