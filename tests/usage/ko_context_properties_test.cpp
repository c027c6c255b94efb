#include "usage/ko_context_properties.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "usage/json_writer.h"
#include "usage/ko_exception.h"

namespace pelta::usage {
namespace {

struct Raised {
    std::string function;
    std::int32_t line;
    std::string message;
};

// Runs the call and returns what it raised, checking the parts every raise here shares.
template <typename Call>
std::optional<Raised> raisedBy(Call&& call) {
    try {
        call();
    } catch (const KoException& e) {
        EXPECT_EQ(e.fileName(), "KoContextProperties");
        EXPECT_EQ(e.errorCode(), -1);
        EXPECT_EQ(e.subCode(), -1);
        return Raised{e.functionName(), e.line(), e.what()};
    }
    return std::nullopt;
}

TEST(KoContextProperties, AbValueRules) {
    const struct {
        std::string value;
        bool valid;
        std::int32_t line;  // 0: nothing raised
        std::string message;
    } cases[] = {
        {"IN", true, 0, ""},
        {"A", true, 0, ""},
        {"A1", true, 0, ""},
        {"Z9Z", true, 0, ""},
        {"", false, 0, ""},
        {"ABCD", false, 169, "value's length is great than 3."},
        {"1A", false, 174, "First char is not in A to Z"},
        {"aB", false, 174, "First char is not in A to Z"},
        {"Ab", false, 181, "second char is not in A to Z and 0 to 9"},
        {"AB-", false, 189, "third char is not in A to Z and 0 to 9"},
        // Bytes, not characters: a non-ASCII capital fails on its first byte.
        {"\xC3\x84", false, 174, "First char is not in A to Z"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        bool valid = false;
        const auto raised = raisedBy([&] { valid = KoContextProperties::isValidABValue(c.value); });
        if (c.line == 0) {
            EXPECT_FALSE(raised);
            EXPECT_EQ(valid, c.valid);
        } else {
            ASSERT_TRUE(raised);
            EXPECT_EQ(raised->function, "isValidABValue");
            EXPECT_EQ(raised->line, c.line);
            EXPECT_EQ(raised->message, c.message);
        }
    }
}

TEST(KoContextProperties, EventListsCoverTheFifteenKindsOnly) {
    const KoContextProperties context;
    EXPECT_TRUE(context.getEventProperties(KoEventType::AppOpenNotification).empty());
    const auto raised = raisedBy([&] { context.getEventProperties(static_cast<KoEventType>(15)); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->function, "getEventProperties");
    EXPECT_EQ(raised->line, 233);
    EXPECT_EQ(raised->message, "KoEvent[15] overflow!");
}

TEST(KoContextProperties, SetPropertyAddsTextEntriesInOrderUntilAnUnknownKind) {
    KoContextProperties context;
    const auto raised = raisedBy([&] {
        context.setProperty("IN",
                            {KoEventType::Click, static_cast<KoEventType>(20), KoEventType::View});
    });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->function, "setProperty");
    EXPECT_EQ(raised->line, 146);
    EXPECT_EQ(raised->message, "KoEvent[20] overflow!");

    const auto& click = context.getEventProperties(KoEventType::Click);
    ASSERT_EQ(click.size(), 1u);
    EXPECT_EQ(click[0].key, "koc_ab");
    EXPECT_EQ(click[0].tag, KoPropertyTag::Text);
    EXPECT_EQ(static_cast<std::int32_t>(click[0].tag), 3);
    EXPECT_EQ(*click[0].value, "IN");
    EXPECT_TRUE(context.getEventProperties(KoEventType::View).empty());
}

TEST(KoContextProperties, KeyIsRegisteredOnce) {
    KoContextProperties context;
    context.setProperty("A1", {KoEventType::Task, KoEventType::Click});
    const auto raised = raisedBy([&] { context.setProperty("B2", {KoEventType::View}); });
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->function, "setProperty");
    EXPECT_EQ(raised->line, 139);
    EXPECT_EQ(raised->message, "Property[koc_ab] already exist!");

    // The first registration stands, shared by every kind it was given for.
    const auto& task = context.getEventProperties(KoEventType::Task);
    const auto& click = context.getEventProperties(KoEventType::Click);
    ASSERT_EQ(task.size(), 1u);
    ASSERT_EQ(click.size(), 1u);
    EXPECT_EQ(*task[0].value, "A1");
    EXPECT_EQ(task[0].value, click[0].value);
    EXPECT_TRUE(context.getEventProperties(KoEventType::View).empty());
}

TEST(KoContextProperties, ApplyingWritesTheKindsEntriesOverExistingProperties) {
    KoContextProperties context;
    context.setProperty("IN", {KoEventType::Click, KoEventType::Task});
    usage_analytics::PropertiesNode task;
    task.SetString("koc_ab", "OLD");
    task.SetString("ko_task_name", "x");
    applyContextProperties(&context, KoEventType::Task, task);
    EXPECT_EQ(usage_analytics::toJson(task), R"({"ko_task_name":"x","koc_ab":"IN"})");

    usage_analytics::PropertiesNode view;
    applyContextProperties(&context, KoEventType::View, view);
    applyContextProperties(nullptr, KoEventType::Task, view);
    EXPECT_TRUE(view.empty());
}

}  // namespace
}  // namespace pelta::usage
