#include <gtest/gtest.h>

#include "rules/json_string.h"
#include "win/launch/key_client.h"

namespace patcher::win {

using namespace rules;

namespace {

TEST(KeyAnswerTest, KeyMemberAndWhatTheClientMakesOfIt) {
    const std::string longest(512, 'k');
    struct Case {
        std::string body;
        bool extracted;
        std::string value;
        KeyFetchKind kind;
    } cases[] = {
        {R"({"key":"abc","expires_at":"2030-01-01T00:00:00Z"})", true, "abc", KeyFetchKind::Ok},
        {R"({ "expires_at" : "x", "key" :	"a\/b\\c" })", true, "a/b\\c",
         KeyFetchKind::BadResponse},
        {R"({"key":"a\/b"})", true, "a/b", KeyFetchKind::Ok},
        {R"({"key":"a\"b"})", true, "a\"b", KeyFetchKind::BadResponse},
        {R"({"key":")" + longest + R"("})", true, longest, KeyFetchKind::Ok},
        {R"({"key":")" + longest + R"(k"})", false, "", KeyFetchKind::BadResponse},
        {R"({"key":""})", true, "", KeyFetchKind::BadResponse},
        {R"({"token":"abc"})", false, "", KeyFetchKind::BadResponse},
        {R"({"key":123})", false, "", KeyFetchKind::BadResponse},
        {R"({"key":"a\nb"})", false, "", KeyFetchKind::BadResponse},
        {"{\"key\":\"a\tb\"}", false, "", KeyFetchKind::BadResponse},
        {R"({"key":"abc)", false, "", KeyFetchKind::BadResponse},
        {R"({"inner":{"key":"first"},"key":"second"})", true, "first", KeyFetchKind::Ok},
        {"{\"key\":\"\xC3\xA7\"}", true, "\xC3\xA7", KeyFetchKind::BadResponse},
    };
    for (Case& c : cases) {
        std::string value = "stale";
        EXPECT_EQ(ExtractJsonString(c.body, "key", kMaxKeyLength, value), c.extracted) << c.body;
        if (c.extracted) {
            EXPECT_EQ(value, c.value) << c.body;
        }
        KeyFetchOutcome outcome;
        IssuedKey issued;
        ReadIssuedKey(c.body, outcome, issued);
        EXPECT_EQ(outcome.kind, c.kind) << value;
        EXPECT_EQ(issued.key, c.kind == KeyFetchKind::Ok ? c.value : "") << value;
        EXPECT_TRUE(c.body.empty());
    }
}

TEST(KeyAnswerTest, TransportAndStatusDecideTheKind) {
    struct Case {
        HttpError error;
        std::uint32_t status, retry_after, os_error;
        KeyFetchKind kind;
        std::string message;  // checked where it carries values of the answer
    } cases[] = {
        // each kind on the wire is test_key_path's; here the texts for the log
        {HttpError::Ok, 200, 0, 0, KeyFetchKind::Ok, ""},
        {HttpError::HttpStatus, 429, 30, 0, KeyFetchKind::RateLimited,
         "the key service is rate limiting us (429), retry after 30s"},
        {HttpError::HttpStatus, 503, 7, 0, KeyFetchKind::Unavailable, ""},
        {HttpError::HttpStatus, 418, 0, 0, KeyFetchKind::Refused, "the key service answered 418"},
        {HttpError::Timeout, 200, 0, 0, KeyFetchKind::Unreachable,
         "the key service could not be reached (TIMEOUT, os error 0)"},
        {static_cast<HttpError>(99), 0, 0, 12029, KeyFetchKind::Unreachable,
         "the key service could not be reached (UNKNOWN, os error 12029)"},
    };
    for (const Case& c : cases) {
        HttpResponse response;
        response.error = c.error;
        response.status = c.status;
        response.retry_after = c.retry_after;
        response.os_error = c.os_error;
        const KeyFetchOutcome outcome = ClassifyKeyAnswer(response);
        EXPECT_EQ(outcome.kind, c.kind) << c.status;
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.retry_after, c.retry_after);
        if (!c.message.empty()) {
            EXPECT_EQ(outcome.message, c.message);
        }
        EXPECT_EQ(outcome.message.empty(), c.kind == KeyFetchKind::Ok) << c.status;
    }
}

TEST(KeyRequestTest, AddressAndBody) {
    EXPECT_EQ(KeyServiceUrl(L"https://keys.example"), L"https://keys.example/key");
    EXPECT_EQ(KeyServiceUrl(L"https://keys.example/api///"), L"https://keys.example/api/key");
    EXPECT_EQ(KeyRequestBody("1.0.0"), R"({"patcher_ver":"1.0.0"})");
    EXPECT_EQ(KeyRequestBody("a\"b\\c\r\n"), R"({"patcher_ver":"a\"b\\c"})");
}

}  // namespace
}  // namespace patcher::win
