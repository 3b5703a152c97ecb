// Scratch folders, keys and a signed registry for the release tool's tests, made with the tool's
// own library so that every case starts from what an operator would have.
#pragma once

#include <string>

#include "tests/core/test_release_fixture.h"
#include "tests/core/test_status.h"
#include "tools/release/signing.h"

namespace patcher::release::test_support {

using TempFolder = patcher::test_support::ScratchDir;
using patcher::test_support::ExpectStatus;

// Writes the key's PEM at path.
void SavePem(const SigningKey& key, const std::string& path);

// An operator's starting point in a folder: root.pem, sign.pem, keys.txt (version 1, the signing
// key as "live1") and keys.txt.sig, and a game folder with three files.
struct Operator {
    explicit Operator(const TempFolder& folder);
    SigningKey root;
    SigningKey signer;
    std::string root_b64;
};

}  // namespace patcher::release::test_support
