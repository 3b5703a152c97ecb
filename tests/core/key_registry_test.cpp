#include "core/key_registry.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/core/test_status.h"

namespace patcher {
namespace {

const std::string kKey = "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=";

using test_support::ExpectBadFormat;

// Named copies: the parsers refuse temporaries, since their records would point into them.
Status KeysStatus(const std::string text) {
    return ParseKeyRegistryKeys(text).status();
}
Status HeaderStatus(const std::string text) {
    return ParseKeyRegistryHeader(text).status();
}

TEST(KeyRegistryHeaderTest, FieldsAreFoundAnywhereAndTheFirstCounts) {
    const std::string text =
        "key a valid " + kKey + "\nexpires 2030-01-01T00:00:00Z extra\nversion 007\nversion 9\n";
    Result<KeyRegistryHeader> header = ParseKeyRegistryHeader(text);
    ASSERT_TRUE(header.ok()) << header.status().message;
    EXPECT_EQ(header.value().version, "007");
    EXPECT_EQ(header.value().expires, "2030-01-01T00:00:00Z");
}

TEST(KeyRegistryHeaderTest, VersionAndExpiresFailures) {
    const std::string expires = "expires 2030-01-01T00:00:00Z\n";
    const std::string version_message = "key registry 'version' field is missing or not an integer";
    for (const std::string& bad :
         std::vector<std::string>{"", "version\n", "version 1a\n", "version -1\n", "version +1\n",
                                  "version \n", "version 1\r\n"}) {
        ExpectBadFormat(HeaderStatus(bad + expires), version_message);
    }
    const std::string expires_message =
        "key registry 'expires' field is not fixed-width ISO8601-UTC";
    for (const std::string& bad :
         std::vector<std::string>{"", "expires\n", "expires 2030-01-01T00:00:00+00:00\n",
                                  "expires 2030-01-01T00:00:00Z\r\n"}) {
        ExpectBadFormat(HeaderStatus("version 1\n" + bad), expires_message);
    }
    // Version is tested before expiry.
    ExpectBadFormat(HeaderStatus("x\n"), version_message);
}

TEST(KeyRegistryKeysTest, EntriesInFileOrderWithDuplicatesAndExtraFields) {
    const std::string text = "version 1\nkey a valid " + kKey + "\nKEY b valid " + kKey +
                             "\nnote key c\nkey a revoked " + kKey + " spare fields\nkey X valid " +
                             kKey;  // no final LF: the parser does not lean on the line rules
    Result<std::vector<KeyEntry>> keys = ParseKeyRegistryKeys(text);
    ASSERT_TRUE(keys.ok()) << keys.status().message;
    std::vector<std::string> seen;
    for (const KeyEntry& k : keys.value()) {
        seen.push_back(std::string(k.id) + (k.revoked ? " revoked " : " valid ") +
                       std::string(k.public_key));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"a valid " + kKey, "a revoked " + kKey,
                                              "X valid " + kKey}));
}

TEST(KeyRegistryKeysTest, LineFailuresQuoteThroughPrintableCopy) {
    const std::string fields = "key line has too few fields: ";
    const std::string state = "unknown key state ";
    const std::string id = "key id outside the allowed character set: ";
    const std::string none = "key registry contains no 'key' line";
    const std::string good = "key a valid " + kKey + "\n";
    const std::pair<std::string, std::string> cases[] = {
        {"key a valid\n", fields + "key a valid"},
        {"key a\tb valid\n", fields + "key a?b valid"},
        {"key a Valid " + kKey + "\n", state + "'Valid': key a Valid " + kKey},
        {"key a valid\x01 " + kKey + "\n", state + "'valid?': key a valid? " + kKey},
        // The state is judged before the id.
        {"key a/b bogus " + kKey + "\n", state + "'bogus': key a/b bogus " + kKey},
        {"key a/b valid " + kKey + "\n", id + "a/b"},
        {"key a+b valid " + kKey + "\n", id + "a+b"},
        {"key a\xc3\xa7 valid " + kKey + "\n", id + "a??"},
        {"key a:b valid " + kKey + "\n", id + "a:b"},
        {"key  valid " + kKey + "\n", id},
        // Any bad line fails the whole list.
        {good + good + "key b valid x\n", "key 'b' is not raw ed25519 base64"},
        {"version 1\nKEY a valid " + kKey + "\n", none},
        {"", none},
        {"\n\n \n", none},
    };
    for (const auto& [text, message] : cases) ExpectBadFormat(KeysStatus(text), message);
    EXPECT_TRUE(KeysStatus("key Az09._- valid " + kKey + "\n").ok());
}

TEST(KeyRegistryKeysTest, PublicKeyFormIsChecked) {
    const std::string body = kKey.substr(0, 43);
    for (const std::string& bad : std::vector<std::string>{
             body, body + "A", kKey + "=", "-" + kKey.substr(1), "_" + kKey.substr(1),
             body.substr(0, 42) + "==", body + "\r", std::string(44, '=')}) {
        ExpectBadFormat(KeysStatus("key k1 revoked " + bad + "\n"),
                        "key 'k1' is not raw ed25519 base64");
    }
    // The form check leaves the spare low bits of the last character to the decoder.
    EXPECT_TRUE(KeysStatus("key k1 valid " + body.substr(0, 42) + "/=\n").ok());
}

}  // namespace
}  // namespace patcher
