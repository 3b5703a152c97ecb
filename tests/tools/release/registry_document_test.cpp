#include "tools/release/registry_document.h"

#include <gtest/gtest.h>

#include "core/key_registry.h"

namespace patcher::release {
namespace {

// Distinct, well-formed key texts; the registry only checks their form.
const std::string kKeyA = "ZdzZGNvM3RqdaIs0l0nWVQSBlc5Vq5FqHQ4u2jUgcdM=";
const std::string kKeyB = "jRb327Cd6et5oVVIe0tEM0Cqv4PY3PbdVnEbB+hT99g=";
const std::string kKeyC = "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";

TEST(RegistryDocument, EditsRoundTripThroughTheCoreParsers) {
    RegistryDraft draft{"4", "2030-01-01T00:00:00Z", {}};
    ASSERT_TRUE(AddRegistryKey(draft, "live1", kKeyA).ok());
    ASSERT_TRUE(RotateRegistryKey(draft, "live1", "live2", kKeyB).ok());
    ASSERT_TRUE(AddRegistryKey(draft, "spare", kKeyC).ok());
    ASSERT_TRUE(RemoveRegistryKey(draft, "spare").ok());
    Result<std::string> text = RenderRegistry(draft);
    ASSERT_TRUE(text.ok()) << text.status().message;
    EXPECT_EQ(text.value(), "version 4\nexpires 2030-01-01T00:00:00Z\nkey live1 revoked " + kKeyA +
                                "\nkey live2 valid " + kKeyB + "\n");

    Result<std::vector<KeyEntry>> keys = ParseKeyRegistryKeys(text.value());
    ASSERT_TRUE(keys.ok());
    ASSERT_EQ(keys.value().size(), 2u);
    EXPECT_TRUE(keys.value()[0].revoked);
    EXPECT_FALSE(keys.value()[1].revoked);

    // Foreign lines of a registry read back are dropped, the key lines kept in order.
    Result<RegistryDraft> reread =
        ParseRegistryDraft("comment x\n" + text.value() + "other line\n");
    ASSERT_TRUE(reread.ok()) << reread.status().message;
    EXPECT_EQ(RenderRegistry(reread.value()).value(), text.value());
}

TEST(RegistryDocument, RefusesAmbiguousOrUselessEdits) {
    RegistryDraft draft{"1", "2030-01-01T00:00:00Z", {}};
    ASSERT_TRUE(AddRegistryKey(draft, "live1", kKeyA).ok());
    EXPECT_EQ(AddRegistryKey(draft, "live1", kKeyB).message,
              "key id 'live1' is already in the registry");
    // The same key under a second id, even written with other spare bits, is the same key.
    const std::string alias_of_a = kKeyA.substr(0, 42) + "N=";
    ASSERT_NE(alias_of_a, kKeyA);
    EXPECT_EQ(AddRegistryKey(draft, "copy", alias_of_a).message,
              "that public key is already listed as 'live1'");
    EXPECT_EQ(RevokeRegistryKey(draft, "nobody").message, "key id 'nobody' is not in the registry");
    EXPECT_EQ(RotateRegistryKey(draft, "nobody", "x", kKeyB).message,
              "key id 'nobody' is not in the registry");

    ASSERT_TRUE(RevokeRegistryKey(draft, "live1").ok());
    Result<std::string> no_valid = RenderRegistry(draft);
    ASSERT_FALSE(no_valid.ok());
    EXPECT_EQ(no_valid.status().message,
              "the registry would hold no valid key, so no manifest could be signed");

    RegistryDraft bad_id{"1", "2030-01-01T00:00:00Z", {{"a/b", false, kKeyA}}};
    EXPECT_EQ(RenderRegistry(bad_id).status().message,
              "key id outside the allowed character set: a/b");
    RegistryDraft bad_key{"1", "2030-01-01T00:00:00Z", {{"k", false, kKeyA.substr(1)}}};
    EXPECT_EQ(RenderRegistry(bad_key).status().code, StatusCode::BadFormat);
}

TEST(RegistryDocument, FindReportsTheFirstListingAsTheSignerSearchReachesIt) {
    RegistryDraft draft{"1",
                        "2030-01-01T00:00:00Z",
                        {{"old", true, kKeyA}, {"again", false, kKeyA}, {"b", false, kKeyB}}};
    bool revoked = false;
    EXPECT_EQ(FindRegistryKey(draft, kKeyA, revoked), "old");
    EXPECT_TRUE(revoked);
    EXPECT_EQ(FindRegistryKey(draft, kKeyB, revoked), "b");
    EXPECT_FALSE(revoked);
    EXPECT_EQ(FindRegistryKey(draft, kKeyC, revoked), "");
}

}  // namespace
}  // namespace patcher::release
