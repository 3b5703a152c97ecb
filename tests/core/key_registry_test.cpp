#include "core/key_registry.h"

#include <gtest/gtest.h>

#include <string>

namespace patcher {
namespace {

const std::string kKey = "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=";

void ExpectBadFormat(const Status& s, const std::string& message) {
    EXPECT_EQ(s.code, StatusCode::BadFormat) << s.message;
    EXPECT_EQ(s.message, message);
}

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
    // The views point into the text, not into copies.
    EXPECT_GE(header.value().version.data(), text.data());
    EXPECT_LT(header.value().version.data(), text.data() + text.size());
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
    ASSERT_EQ(keys.value().size(), 3u);
    EXPECT_EQ(keys.value()[0].id, "a");
    EXPECT_FALSE(keys.value()[0].revoked);
    EXPECT_EQ(keys.value()[0].public_key, kKey);
    EXPECT_EQ(keys.value()[1].id, "a");
    EXPECT_TRUE(keys.value()[1].revoked);
    EXPECT_EQ(keys.value()[1].public_key, kKey);
    EXPECT_EQ(keys.value()[2].id, "X");
}

TEST(KeyRegistryKeysTest, LineFailuresQuoteThroughPrintableCopy) {
    ExpectBadFormat(KeysStatus("key a valid\n"), "key line has too few fields: key a valid");
    ExpectBadFormat(KeysStatus("key a\tb valid\n"), "key line has too few fields: key a?b valid");
    ExpectBadFormat(KeysStatus("key a Valid " + kKey + "\n"),
                    "unknown key state 'Valid': key a Valid " + kKey);
    ExpectBadFormat(KeysStatus("key a valid\x01 " + kKey + "\n"),
                    "unknown key state 'valid?': key a valid? " + kKey);
    // The state is judged before the id.
    ExpectBadFormat(KeysStatus("key a/b bogus " + kKey + "\n"),
                    "unknown key state 'bogus': key a/b bogus " + kKey);
    for (const std::string id : {"a/b", "a+b", "a\xc3\xa7", "a:b"}) {
        ExpectBadFormat(KeysStatus("key " + id + " valid " + kKey + "\n"),
                        "key id outside the allowed character set: " +
                            std::string(id == "a\xc3\xa7" ? "a??" : id));
    }
    ExpectBadFormat(KeysStatus("key  valid " + kKey + "\n"),
                    "key id outside the allowed character set: ");
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

TEST(KeyRegistryKeysTest, AnyBadLineFailsTheWholeList) {
    const std::string good = "key a valid " + kKey + "\n";
    const std::string text = good + good + "key b valid x\n";
    Result<std::vector<KeyEntry>> keys = ParseKeyRegistryKeys(text);
    EXPECT_FALSE(keys.ok());
    ExpectBadFormat(keys.status(), "key 'b' is not raw ed25519 base64");

    ExpectBadFormat(KeysStatus("version 1\nKEY a valid " + kKey + "\n"),
                    "key registry contains no 'key' line");
    ExpectBadFormat(KeysStatus(""), "key registry contains no 'key' line");
    ExpectBadFormat(KeysStatus("\n\n \n"), "key registry contains no 'key' line");
}

}  // namespace
}  // namespace patcher
