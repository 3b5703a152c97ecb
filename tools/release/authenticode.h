// Authenticode for the patcher exe: what Windows (SmartScreen, virus scanners) checks before it
// runs a downloaded program. The patcher itself never looks at it; its trust stays the Ed25519
// chain. Signing goes through Debian's osslsigncode; whether an exe carries a signature is read
// from its PE headers here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/status.h"

namespace patcher::release {

// The name the patcher's own entry has in every release (the game folder's top level).
inline constexpr const char* kPatcherExeName = "Velmor2Launcher.exe";

enum class PeSignature {
    Unsigned,  // a PE file with no certificate table
    Signed,    // a certificate table holding a PKCS#7 signed-data entry
};

// Reads a PE file's certificate table entry. A file that is no PE, or whose table lies outside the
// file or holds anything but PKCS#7 signed data, is refused (BadFormat) with the reason.
Result<PeSignature> InspectPeSignature(std::string_view bytes);

struct SignExeOptions {
    std::string exe;            // the exe to sign
    std::string out;            // where the signed exe goes; empty: replace exe
    std::string pkcs12;         // a PKCS#12 file with the certificate chain and the key, or
    std::string certificate;    // a PEM certificate (chain) and
    std::string key;            // its PEM private key
    std::string password_file;  // the first line is the password of pkcs12 or key; may be empty
    std::string timestamp_url;  // an RFC 3161 time-stamp authority; empty: no time-stamp
    std::string description;    // shown by Windows' consent and SmartScreen dialogs; may be empty
    std::string osslsigncode = "osslsigncode";
};

// The osslsigncode command line for the options, writing to `output`. The password is passed by
// file only, never on a command line that other users can read.
std::vector<std::string> OsslsigncodeArguments(const SignExeOptions& options,
                                               const std::string& output);

// Signs the exe with SHA-256 and moves the result into place only when osslsigncode succeeded and
// the result carries a signature; a failure leaves the exe (and out) as they were.
Status SignExe(const SignExeOptions& options);

}  // namespace patcher::release
