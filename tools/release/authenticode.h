// Authenticode for the patcher exe: what Windows (SmartScreen, virus scanners) checks before it
// runs a downloaded program. The patcher itself never looks at it; its trust stays the Ed25519
// chain. Signing and verifying go through Debian's osslsigncode; whether an exe carries a
// signature at all is read from its PE headers here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/status.h"

namespace patcher::release {

// The name the patcher's own entry has in every release (the game folder's top level).
inline constexpr const char* kPatcherExeName = "Velmor2Launcher.exe";

inline constexpr const char* kOsslsigncode = "osslsigncode";

enum class PeSignature {
    Unsigned,  // a PE file with no certificate table
    Signed,    // a certificate table holding a PKCS#7 signed-data entry
};

// Reads a PE file's certificate table entry. A file that is no PE, or whose table lies outside the
// file or holds anything but PKCS#7 signed data, is refused (BadFormat) with the reason. Whether
// the entry is a signature of these bytes is VerifyExeSignature's to say.
Result<PeSignature> InspectPeSignature(std::string_view bytes);

// The exe at path, whose content is bytes: Unsigned without a certificate table, Signed only when
// `osslsigncode verify` accepts the signature: the file's digest is the signed one, the signer's
// certificate made the signature, and its chain ends in ca_file. Without a CA file the chain may
// end in a certificate the signature carries or in one of the system's CAs, which proves the
// signature intact and made for these bytes but not whose it is. A signature that does not verify
// is refused (BadSignature) with osslsigncode's reason, as is a file that is no PE (BadFormat).
Result<PeSignature> VerifyExeSignature(const std::string& path, std::string_view bytes,
                                       const std::string& ca_file);

struct SignExeOptions {
    std::string exe;            // the exe to sign
    std::string out;            // where the signed exe goes; empty: replace exe
    std::string pkcs12;         // a PKCS#12 file with the certificate chain and the key, or
    std::string certificate;    // a PEM certificate (chain) and
    std::string key;            // its PEM private key
    std::string password_file;  // the first line is the password of pkcs12 or key; may be empty
    std::string timestamp_url;  // an RFC 3161 time-stamp authority; empty: no time-stamp
    std::string description;    // shown by Windows' consent and SmartScreen dialogs; may be empty
    std::string osslsigncode = kOsslsigncode;
};

// The osslsigncode command line for the options, writing to `output`. The password is passed by
// file only, never on a command line that other users can read.
std::vector<std::string> OsslsigncodeArguments(const SignExeOptions& options,
                                               const std::string& output);

// Signs the exe with SHA-256 and moves the result into place only when osslsigncode succeeded and
// the result carries a signature; a failure leaves the exe (and out) as they were.
Status SignExe(const SignExeOptions& options);

}  // namespace patcher::release
