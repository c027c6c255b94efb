#include "usage/properties_node.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "usage/object_node.h"
#include "usage/value_node.h"

namespace {

using usage_analytics::PropertiesNode;
using usage_analytics::ValueType;

std::vector<std::string> keysOf(const usage_analytics::utils::ObjectNode& node) {
    std::vector<std::string> keys;
    for (const auto& member : node.members()) {
        keys.push_back(member.first);
    }
    return keys;
}

TEST(ObjectNode, OrdersKeysByUnsignedByteValue) {
    PropertiesNode node;
    for (const char* key : {"\xc3\xa9t\xc3\xa9", "a", "Z", "_b", "$a", "ab", "A"}) {
        node.SetBool(key, true);
    }
    // A signed-char order would put the key starting with 0xC3 first.
    EXPECT_EQ(keysOf(node),
              (std::vector<std::string>{"$a", "A", "Z", "_b", "a", "ab", "\xc3\xa9t\xc3\xa9"}));
}

TEST(PropertiesNode, SettersStoreTheirTypeAndReplaceUnderTheSameKey) {
    usage_analytics::utils::ObjectNode nested;
    nested.set("inner", usage_analytics::ValueNode::integer(7));

    PropertiesNode node;
    node.SetString("k", "first");
    node.SetNumber("number", 0.5);
    node.SetNumber("integer", std::int32_t{-1});
    node.SetBool("flag", true);
    node.SetList("list", {"x", "y"});
    node.SetDateTime("when", 1666080966, 250);
    node.SetObject("object", nested);
    node.SetNumber("k", 2.5);

    ASSERT_EQ(node.members().size(), 7u);
    EXPECT_EQ(node.find("k")->type(), ValueType::Number);
    EXPECT_EQ(node.find("k")->numberValue(), 2.5);
    EXPECT_EQ(node.find("number")->numberValue(), 0.5);
    EXPECT_EQ(node.find("integer")->type(), ValueType::Integer);
    EXPECT_EQ(node.find("integer")->integerValue(), -1);  // sign-extended
    EXPECT_TRUE(node.find("flag")->booleanValue());
    EXPECT_EQ(node.find("list")->texts(), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(node.find("when")->type(), ValueType::DateTime);
    EXPECT_EQ(node.find("when")->seconds(), 1666080966);
    EXPECT_EQ(node.find("when")->milliseconds(), 250);
    ASSERT_EQ(node.find("object")->type(), ValueType::Object);
    EXPECT_EQ(node.find("object")->objectValue()->find("inner")->integerValue(), 7);
}

TEST(PropertiesNode, SetStringRefusesOverlongAndInvalidTextWithALine) {
    const std::string longest(PropertiesNode::kMaxStringBytes, 'x');
    const std::string tooLong(PropertiesNode::kMaxStringBytes + 1, 'x');
    struct Case {
        const char* name;
        std::string value;
        bool stored;
        std::string line;
    };
    const Case cases[] = {
        {"8192 bytes", longest, true, ""},
        {"8193 bytes", tooLong, false, "String property 'k' is too long, value: " + tooLong + "\n"},
        {"invalid UTF-8", "a\xff", false,
         "String property 'k' is not valid UTF-8 string, value: a\xff\n"},
        {"control byte", "a\x01", false,
         "String property 'k' is not valid UTF-8 string, value: a\x01\n"},
        {"empty", "", true, ""},
    };
    for (const Case& c : cases) {
        PropertiesNode node;
        node.SetBool("k", true);
        testing::internal::CaptureStderr();
        EXPECT_EQ(node.SetString("k", c.value), c.stored) << c.name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line) << c.name;
        // A refused value leaves what the key had.
        EXPECT_EQ(node.find("k")->type(), c.stored ? ValueType::String : ValueType::Boolean)
            << c.name;
    }
}

}  // namespace
