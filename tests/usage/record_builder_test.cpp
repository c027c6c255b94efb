#include "usage/record_builder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "usage/properties_node.h"

namespace {

using usage_analytics::buildRecord;
using usage_analytics::PropertiesNode;
using usage_analytics::RecordRequest;

constexpr std::int64_t kNowMs = 1700000001234;
// With the random numbers 1234 and 5678 below: "34" + "678" + "1234".
constexpr const char* kTrackId = "346781234";
constexpr const char* kLib = R"("lib":{"$lib":"cpp","$lib_method":"code","$lib_version":"0.9"})";

// Hands out the given numbers in turn, as the generator would.
usage_analytics::RandomSource fixedRandom(std::vector<int> numbers) {
    return [numbers, next = std::size_t{0}]() mutable { return numbers[next++ % numbers.size()]; };
}

std::optional<std::string> build(const RecordRequest& request) {
    return buildRecord(request, kNowMs, fixedRandom({1234, 5678}));
}

PropertiesNode superProperties() {
    PropertiesNode node;
    node.SetString("$lib", "cpp");
    node.SetString("$lib_version", "0.9");
    node.SetString("ko_app_id", "app");
    return node;
}

TEST(IdRule, AcceptsOneTo255Bytes) {
    struct Case {
        const char* name;
        std::string value;
        std::string line;  // empty: accepted
    };
    const Case cases[] = {
        {"one byte", "a", ""},
        {"255 bytes", std::string(255, 'a'), ""},
        {"256 bytes", std::string(256, 'a'), "The Distinct ID is too long, max length is 255.\n"},
        {"empty", "", "The Distinct ID is empty.\n"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(usage_analytics::checkId("Distinct ID", c.value), c.line.empty()) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line) << c.name;
    }
}

TEST(KeyRule, AcceptsVariableNamesOfOneTo100Bytes) {
    const std::string badName = "The Property Key need to be a valid variable name.\n";
    const std::string badLength = "The Property Key is empty or too long, max length is 100\n";
    struct Case {
        const char* name;
        std::string value;
        std::string line;  // empty: accepted
    };
    const Case cases[] = {
        {"letters, digits, dollar, underscore", "aZ09$_", ""},
        {"dollar first", "$time", ""},
        {"underscore first", "_x", ""},
        {"one letter", "a", ""},
        {"100 bytes", std::string(100, 'k'), ""},
        {"101 bytes", std::string(101, 'k'), badLength},
        {"empty", "", badLength},
        {"digit first", "1abc", badName},
        {"hyphen", "a-b", badName},
        {"space", "a b", badName},
        {"non-ASCII letter", "\xc3\xa9", badName},
        {"101 bytes of invalid name: length first", std::string(101, '-'), badLength},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(usage_analytics::checkKey("Property Key", c.value), c.line.empty()) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line) << c.name;
    }
}

TEST(TrackId, JoinsTheLastDigitsOfTwoRandomNumbersAndTheTime) {
    struct Case {
        const char* name;
        int first;
        int second;
        std::int64_t nowMs;
        std::int64_t expected;
    };
    const Case cases[] = {
        {"full width", 32767, 32767, 1666080966250, 677676250},
        {"largest", 99, 999, 1666080969999, 999999999},
        {"short random numbers give all their digits", 7, 42, 1666080960003, 7420003},
        {"short time", 12, 345, 67, 1234567},
        {"zeros", 0, 0, 0, 0},
        {"leading zeros of a piece vanish only at the front", 100, 1000, 10000, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(usage_analytics::trackId(c.first, c.second, c.nowMs), c.expected) << c.name;
    }
}

TEST(RecordBuilder, WritesEachRecordTypeInItsShape) {
    const PropertiesNode supers = superProperties();
    PropertiesNode given;
    given.SetString("ko_name", "n");
    given.SetString("ko_app_id", "mine");  // replaces the super property
    const std::string head = std::string(R"({"_track_id":)") + kTrackId;
    const std::string tail = R"(,"time":1700000001234,"type":)";
    const std::string trackProps =
        R"("properties":{"$lib":"cpp","$lib_version":"0.9","ko_app_id":"mine","ko_name":"n"})";
    const std::string profileProps = R"("properties":{"ko_app_id":"mine","ko_name":"n"})";
    struct Case {
        const char* name;
        RecordRequest request;
        std::string expected;
    };
    const Case cases[] = {
        {"track",
         {"track", "KoEventClick", &given, "dev-1", "", &supers, false},
         head + R"(,"distinct_id":"dev-1","event":"KoEventClick",)" + kLib + "," + trackProps +
             tail + R"("track"})"},
        {"track without properties, logged in",
         {"track", "KoEventLaunch", nullptr, "user-9", "", &supers, true},
         head + R"(,"distinct_id":"user-9","event":"KoEventLaunch",)" + kLib +
             R"(,"properties":{"$is_login_id":true,"$lib":"cpp","$lib_version":"0.9","ko_app_id":"app"})" +
             tail + R"("track"})"},
        {"track_signup",
         {"track_signup", "$SignUp", nullptr, "user-9", "dev-1", &supers, false},
         head + R"(,"distinct_id":"user-9","event":"$SignUp",)" + kLib +
             R"(,"original_id":"dev-1","properties":{"$lib":"cpp","$lib_version":"0.9","ko_app_id":"app"})" +
             tail + R"("track_signup"})"},
        {"profile_set",
         {"profile_set", "", &given, "dev-1", "", &supers, false},
         head + R"(,"distinct_id":"dev-1",)" + kLib + "," + profileProps + tail +
             R"("profile_set"})"},
        {"profile_set_once",
         {"profile_set_once", "", &given, "dev-1", "", &supers, false},
         head + R"(,"distinct_id":"dev-1",)" + kLib + "," + profileProps + tail +
             R"("profile_set_once"})"},
        {"profile_increment, logged in",
         {"profile_increment", "", &given, "user-9", "", &supers, true},
         head + R"(,"distinct_id":"user-9",)" + kLib +
             R"(,"properties":{"$is_login_id":true,"ko_app_id":"mine","ko_name":"n"})" + tail +
             R"("profile_increment"})"},
        {"profile_append",
         {"profile_append", "", &given, "dev-1", "", &supers, false},
         head + R"(,"distinct_id":"dev-1",)" + kLib + "," + profileProps + tail +
             R"("profile_append"})"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(build(c.request), c.expected) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.name;
    }
}

TEST(RecordBuilder, TakesTimeAndProjectOutOfTheProperties) {
    PropertiesNode given;
    given.SetDateTime("$time", 1666080966, 250);
    given.SetString("$project", "pc \"beta\"");
    given.SetBool("ko_flag", false);
    const RecordRequest request{"track", "KoEventTask", &given, "dev-1", "", nullptr, false};
    // "_track_id" keeps the current time's digits; "time" is the given one.
    EXPECT_EQ(
        build(request),
        std::string(R"({"_track_id":)") + kTrackId +
            R"(,"distinct_id":"dev-1","event":"KoEventTask",)" + kLib +
            R"(,"project":"pc \"beta\"","properties":{"ko_flag":false},"time":1666080966250,"type":"track"})");
}

TEST(RecordBuilder, DropsTheCallAtTheFirstFailedCheck) {
    PropertiesNode badKeys;
    badKeys.SetBool("1abc", true);
    badKeys.SetBool("a-b", true);  // after "1abc" in key order: never reported
    PropertiesNode longKey;
    longKey.SetBool(std::string(101, 'k'), true);
    PropertiesNode timeAsText;
    timeAsText.SetString("$time", "2022-10-18 08:16:06.250");
    PropertiesNode projectAsNumber;
    projectAsNumber.SetNumber("$project", std::int32_t{1});
    PropertiesNode good;
    good.SetBool("ok", true);
    struct Case {
        const char* name;
        RecordRequest request;
        std::string line;
    };
    const Case cases[] = {
        {"invalid property keys",
         {"track", "KoEventClick", &badKeys, "dev-1", "", nullptr, false},
         "The Property Key need to be a valid variable name.\n"},
        {"property key of 101 bytes",
         {"profile_set", "", &longKey, "dev-1", "", nullptr, false},
         "The Property Key is empty or too long, max length is 100\n"},
        {"$time not a date-time",
         {"track", "KoEventClick", &timeAsText, "dev-1", "", nullptr, false},
         "The property '$time' should be DateTime type.\n"},
        {"$project not a string",
         {"track", "KoEventClick", &projectAsNumber, "dev-1", "", nullptr, false},
         "The property '$project' should be String type.\n"},
        {"properties are checked before the event name",
         {"track", "bad name", &badKeys, "dev-1", "", nullptr, false},
         "The Property Key need to be a valid variable name.\n"},
        {"invalid event name",
         {"track", "Ko-Event", &good, "dev-1", "", nullptr, false},
         "The Event Name need to be a valid variable name.\n"},
        {"empty event name",
         {"track", "", &good, "dev-1", "", nullptr, false},
         "The Event Name is empty or too long, max length is 100\n"},
        {"empty original id",
         {"track_signup", "$SignUp", nullptr, "user-9", "", nullptr, false},
         "The Original ID is empty.\n"},
        {"original id of 256 bytes",
         {"track_signup", "$SignUp", nullptr, "user-9", std::string(256, 'o'), nullptr, false},
         "The Original ID is too long, max length is 255.\n"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(build(c.request), std::nullopt) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line) << c.name;
    }
}

}  // namespace
