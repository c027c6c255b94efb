#include "install/console_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "install/install_codes.h"
#include "platform/debug_output.h"
#include "platform/text_encoding.h"

namespace {

struct Event {
    std::int32_t code;
    double value;
    std::wstring text;

    bool operator==(const Event&) const = default;
};

void PrintTo(const Event& event, std::ostream* out) {
    *out << '{' << event.code << ", " << event.value << ", \"" << platform::utf8FromWide(event.text)
         << "\"}";
}

struct Parsed {
    std::vector<Event> events;
    std::int32_t result = kParseNoFinalState;
};

PipelineCallback recorder(std::vector<Event>& events) {
    return [&events](std::int32_t code, double value, const wchar_t* text) {
        events.push_back({code, value, text});
    };
}

Parsed parse(ConsoleDialect dialect, const std::wstring& chunk) {
    ConsoleParseState state;
    Parsed parsed;
    parsed.result = parseConsoleChunk(dialect, chunk, state, recorder(parsed.events));
    return parsed;
}

// What a runner does with its child's reads: feed each read, parse what the decoder hands back,
// and parse the rest when the output ends. The result is the last final state seen.
Parsed readOutput(ConsoleParseState& state, const std::vector<std::string>& reads) {
    ConsoleOutputDecoder decoder(state);
    Parsed parsed;
    const PipelineCallback callback = recorder(parsed.events);
    const auto parseText = [&](const std::wstring& text) {
        const std::int32_t result =
            parseConsoleChunk(ConsoleDialect::Install, text, state, callback);
        if (result != kParseNoFinalState) {
            parsed.result = result;
        }
    };
    for (const std::string& bytes : reads) {
        parseText(decoder.feed(bytes));
    }
    parseText(decoder.finish());
    return parsed;
}

struct ChunkCase {
    const char* name;
    std::wstring chunk;
    std::vector<Event> events;
    std::int32_t result;
};

const std::wstring kLongest(771, L'a');

TEST(ConsoleProtocol, InstallDialectTurnsLinesIntoEvents) {
    const ChunkCase cases[] = {
        {"progress", L"Progress=0.25\n", {{IST_CODE_PROGRESS, 0.25, L""}}, 0},
        {"progress passed on unclamped", L"Progress= 1.5e0", {{IST_CODE_PROGRESS, 1.5, L""}}, 0},
        {"progress without number", L"Progress=\n", {{IST_CODE_PROGRESS, 0.0, L""}}, 0},
        {"progress not a number", L"Progress=abc", {{IST_CODE_PROGRESS, 0.0, L""}}, 0},
        {"inst path keeps its carriage return",
         L"InstPath=/opt/编辑器\r\n",
         {{IST_CODE_INST_PATH, 0.0, L"/opt/编辑器\r"}},
         0},
        {"empty text", L"InstPath=", {{IST_CODE_INST_PATH, 0.0, L""}}, 0},
        {"text not trimmed", L"Message=  hi  ", {{IST_CODE_MESSAGE, 0.0, L"  hi  "}}, 0},
        {"state success trimmed", L"State=Success\r\n", {{INSTALL_SUCCESS, 0.0, L""}}, 1},
        {"state fail", L"State= Fail\n", {{IST_CODE_FAIL, 0.0, L"安装包安装失败"}}, 1000},
        {"state compared with case", L"State=success\r\n", {}, 0},
        {"state other value", L"State=Running\n", {}, 0},
        {"install version sends nothing", L"InstallVersion=1.2.3\n", {}, 0},
        {"start exe", L"StartExe=/opt/p/run", {{IST_CODE_EXE_PATH, 0.0, L"/opt/p/run"}}, 0},
        {"uninst exe path", L"UninstExePath=/u", {{IST_CODE_UNINST_EXE, 0.0, L"/u"}}, 0},
        {"uninst exe", L"UninstExe=/v", {{IST_CODE_UNINST_EXE, 0.0, L"/v"}}, 0},
        {"uninst ep", L"UninstEp=/w/uninst.ep", {{IST_CODE_UNINST_EP, 0.0, L"/w/uninst.ep"}}, 0},
        {"error", L"Error=磁盘已满\r\n", {{IST_CODE_FAIL, 1000.0, L"磁盘已满\r"}}, 1000},
        {"top show detention",
         L"TopShowDetention=3000\r\n",
         {{IST_CODE_TOP_SHOW_DETENTION, 3000.0, L""}},
         0},
        {"top show detention not a number",
         L"TopShowDetention=soon",
         {{IST_CODE_TOP_SHOW_DETENTION, 0.0, L""}},
         0},
        {"finish close detention",
         L"FinsihCloseDetention=-5s",
         {{IST_CODE_FINISH_CLOSE_DETENTION, -5.0, L""}},
         0},
        {"start url",
         L"StartUrl=http://127.0.0.1/",
         {{IST_CODE_START_URL, 0.0, L"http://127.0.0.1/"}},
         0},
        {"startup style auto trimmed",
         L"StartupStyle=  AutoStartup \r\n",
         {{IST_CODE_STARTUP_STYLE, 1.0, L""}},
         0},
        {"startup style user",
         L"StartupStyle=UserStartup",
         {{IST_CODE_STARTUP_STYLE, 2.0, L""}},
         0},
        {"startup style non", L"StartupStyle=NonStartup", {{IST_CODE_STARTUP_STYLE, 0.0, L""}}, 0},
        {"startup style other",
         L"StartupStyle=autostartup",
         {{IST_CODE_STARTUP_STYLE, 0.0, L""}},
         0},
        {"encode sends nothing", L"Encode=UTF8\n", {}, 0},
        {"message", L"Message=请重启", {{IST_CODE_MESSAGE, 0.0, L"请重启"}}, 0},
        {"key in the middle", L" State=Success\nxError=e\n# Progress=1\n", {}, 0},
        {"key compared with case", L"progress=0.5\nERROR=e\n", {}, 0},
        {"uninstall-only spelling", L"Fail\nState\n=Success\n", {}, 0},
        {"success then error",
         L"State=Success\nError=boom\n",
         {{INSTALL_SUCCESS, 0.0, L""}, {IST_CODE_FAIL, 1000.0, L"boom"}},
         1000},
        {"later final state wins",
         L"State=Fail\r\nProgress=1\r\nState=Success\r\n",
         {{IST_CODE_FAIL, 0.0, L"安装包安装失败"},
          {IST_CODE_PROGRESS, 1.0, L""},
          {INSTALL_SUCCESS, 0.0, L""}},
         1},
        {"empty lines", L"\n\r\n\n", {}, 0},
        {"771 units", L"Message=" + kLongest, {{IST_CODE_MESSAGE, 0.0, kLongest}}, 0},
        {"772 units", L"Message=" + kLongest + L"a\n", {{IST_CODE_MESSAGE, 0.0, L""}}, 0},
        // 771 characters, but 772 UTF-16 units: the limit counts units, not characters.
        {"772 units with a surrogate pair",
         L"Message=" + std::wstring(770, L'a') + L"\U0001F600\n",
         {{IST_CODE_MESSAGE, 0.0, L""}},
         0},
        {"772 units make a state empty", L"State=Success" + std::wstring(765, L' '), {}, 0},
    };
    for (const ChunkCase& c : cases) {
        const Parsed parsed = parse(ConsoleDialect::Install, c.chunk);
        EXPECT_EQ(parsed.events, c.events) << c.name;
        EXPECT_EQ(parsed.result, c.result) << c.name;
    }
}

TEST(ConsoleProtocol, UninstallDialectTurnsLinesIntoEvents) {
    const ChunkCase cases[] = {
        {"progress", L"Progress=0.5\r\n", {{UNIST_CODE_PROGRESS, 0.5, L""}}, 0},
        {"progress without number", L"Progress=", {{UNIST_CODE_PROGRESS, 0.0, L""}}, 0},
        {"error", L"Error=in use\r\n", {{UNIST_CODE_ERROR, 0.0, L"in use\r"}}, 1000},
        {"state success", L"State=Success\r\n", {{UNIST_CODE_SUCCESS, 0.0, L""}}, 1},
        {"state fail", L"State=Fail", {{UNIST_CODE_ERROR, 0.0, L"安装包卸载失败"}}, 1000},
        {"state compared with case", L"State=SUCCESS", {}, 0},
        {"install-only keys ignored",
         L"InstPath=/a\nMessage=m\nStartupStyle=AutoStartup\nTopShowDetention=1\n",
         {},
         0},
        {"error then success",
         L"Error=x\nState=Success\n",
         {{UNIST_CODE_ERROR, 0.0, L"x"}, {UNIST_CODE_SUCCESS, 0.0, L""}},
         1},
        {"772 units", L"Error=" + kLongest + L"a", {{UNIST_CODE_ERROR, 0.0, L""}}, 1000},
    };
    for (const ChunkCase& c : cases) {
        const Parsed parsed = parse(ConsoleDialect::Uninstall, c.chunk);
        EXPECT_EQ(parsed.events, c.events) << c.name;
        EXPECT_EQ(parsed.result, c.result) << c.name;
    }
}

TEST(ConsoleProtocol, EncodeSetsTheCodePagePerDialect) {
    const struct {
        ConsoleDialect dialect;
        std::wstring line;
        std::uint32_t before;
        std::uint32_t after;
    } cases[] = {
        {ConsoleDialect::Install, L"Encode=UTF8\r\n", 0, 65001},
        {ConsoleDialect::Install, L"Encode=ACP", 65001, 0},
        {ConsoleDialect::Install, L"Encode= 936 \r\n", 0, 936},
        {ConsoleDialect::Install, L"Encode=54936;", 0, 54936},
        {ConsoleDialect::Install, L"Encode=utf8", 65001, 0},
        {ConsoleDialect::Install, L"Encode=GBK", 65001, 0},
        {ConsoleDialect::Install, L"Encode=", 65001, 0},
        {ConsoleDialect::Install, L"Encode=2147483647", 0, 2147483647},
        {ConsoleDialect::Install, L"Encode=99999999999", 65001, 0},
        {ConsoleDialect::Install, L"Encode=2147483648", 65001, 0},
        {ConsoleDialect::Uninstall, L"Encode=UTF8\r\n", 0, 65001},
        {ConsoleDialect::Uninstall, L"Encode=936", 65001, 0},
        {ConsoleDialect::Uninstall, L"Encode=ACP", 65001, 0},
    };
    for (const auto& c : cases) {
        ConsoleParseState state;
        state.codePage = c.before;
        std::vector<Event> events;
        parseConsoleChunk(c.dialect, c.line, state, recorder(events));
        EXPECT_EQ(state.codePage, c.after) << platform::utf8FromWide(c.line);
        EXPECT_TRUE(events.empty());
    }
}

TEST(ConsoleProtocol, InstallVersionKeepsThePartsItCannotRead) {
    const struct {
        std::wstring line;
        std::array<std::int32_t, 3> version;
    } cases[] = {
        {L"InstallVersion=1.2.3\r\n", {1, 2, 3}}, {L"InstallVersion= 10. 20.-30", {10, 20, -30}},
        {L"InstallVersion=4.x.6", {4, 9, 9}},     {L"InstallVersion=5 .6.7", {5, 9, 9}},
        {L"InstallVersion=7", {7, 9, 9}},         {L"InstallVersion=v1.2.3", {9, 9, 9}},
    };
    for (const auto& c : cases) {
        ConsoleParseState state;
        std::fill(std::begin(state.installVersion), std::end(state.installVersion), 9);
        parseConsoleChunk(ConsoleDialect::Install, c.line, state, {});
        EXPECT_EQ(std::to_array(state.installVersion), c.version) << platform::utf8FromWide(c.line);
    }
}

TEST(ConsoleProtocol, ExePathIsLoggedBeforeItsEvent) {
    const platform::DebugOutputCapture capture;
    ConsoleParseState state;
    std::size_t linesAtEvent = 0;
    std::vector<Event> events;
    parseConsoleChunk(ConsoleDialect::Install, L"ExePath=/opt/编辑器/app\r\n", state,
                      [&](std::int32_t code, double value, const wchar_t* text) {
                          linesAtEvent = capture.lines().size();
                          events.push_back({code, value, text});
                      });
    EXPECT_EQ(events, (std::vector<Event>{{IST_CODE_EXE_PATH, 0.0, L"/opt/编辑器/app\r"}}));
    const std::vector<std::wstring> lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(linesAtEvent, 1u);
    EXPECT_NE(lines[0].find(L">(CInstaller::Parse)<"), std::wstring::npos)
        << platform::utf8FromWide(lines[0]);
    EXPECT_TRUE(lines[0].ends_with(L">: ExePath: /opt/编辑器/app\r"));
}

// "中文" in both encodings.
const std::string kGbkChinese = "\xD6\xD0\xCE\xC4";
const std::string kUtf8Chinese = "\xE4\xB8\xAD\xE6\x96\x87";

TEST(ConsoleOutputDecoder, JoinsLinesAcrossReadsUnderTheCodePageInForce) {
    const struct {
        const char* name;
        std::uint32_t codePage;
        std::vector<std::string> reads;
        std::vector<Event> events;
        std::int32_t result;
    } cases[] = {
        {"line split across reads", 0, {"State=Succ", "ess\n"}, {{INSTALL_SUCCESS, 0.0, L""}}, 1},
        {"split failure stays a failure",
         0,
         {"Progress=0.5\nState=Fa", "il\r\n"},
         {{IST_CODE_PROGRESS, 0.5, L""}, {IST_CODE_FAIL, 0.0, L"安装包安装失败"}},
         1000},
        {"line split over three reads",
         0,
         {"Mess", "age=", "x\ny\n"},
         {{IST_CODE_MESSAGE, 0.0, L"x"}},
         0},
        {"carriage return and line feed split",
         0,
         {"InstPath=/a\r", "\nState=Success\n"},
         {{IST_CODE_INST_PATH, 0.0, L"/a\r"}, {INSTALL_SUCCESS, 0.0, L""}},
         1},
        {"character split across reads",
         65001,
         {"Message=\xE4\xB8", "\xAD\n"},
         {{IST_CODE_MESSAGE, 0.0, L"中"}},
         0},
        {"encode applies from the next read on",
         936,
         {"Encode=UTF8\nMessage=" + kGbkChinese + "\n", "Message=" + kUtf8Chinese + "\n"},
         {{IST_CODE_MESSAGE, 0.0, L"中文"}, {IST_CODE_MESSAGE, 0.0, L"中文"}},
         0},
        {"a waiting tail is decoded under the next read's code page",
         936,
         {"Encode=UTF8\nMessage=\xE4\xB8", "\xAD\xE6\x96\x87\n"},
         {{IST_CODE_MESSAGE, 0.0, L"中文"}},
         0},
        {"unterminated last line parsed at the end",
         0,
         {"Progress=1\nState=Success"},
         {{IST_CODE_PROGRESS, 1.0, L""}, {INSTALL_SUCCESS, 0.0, L""}},
         1},
        {"a read ends at its first zero byte",
         0,
         {std::string("Message=a\nMessage=b\0Message=c\n", 30), "\nState=Fail\n"},
         {{IST_CODE_MESSAGE, 0.0, L"a"},
          {IST_CODE_MESSAGE, 0.0, L"b"},
          {IST_CODE_FAIL, 0.0, L"安装包安装失败"}},
         1000},
        {"unknown code page gives no text", 12345, {"State=Success\n"}, {}, 0},
    };
    for (const auto& c : cases) {
        ConsoleParseState state;
        state.codePage = c.codePage;
        const Parsed parsed = readOutput(state, c.reads);
        EXPECT_EQ(parsed.events, c.events) << c.name;
        EXPECT_EQ(parsed.result, c.result) << c.name;
    }
}

TEST(ConsoleOutputDecoder, HandsBackWholeLinesOnlyAndNothingTwice) {
    ConsoleParseState state;
    state.codePage = 65001;
    ConsoleOutputDecoder decoder(state);
    EXPECT_EQ(decoder.feed("A=1\nB="), L"A=1\n");
    EXPECT_EQ(decoder.feed("2"), L"");
    EXPECT_EQ(decoder.feed(""), L"");
    EXPECT_EQ(decoder.feed("\nC=3\nD"), L"B=2\nC=3\n");
    EXPECT_EQ(decoder.finish(), L"D");
    EXPECT_EQ(decoder.finish(), L"");
}

TEST(ConsoleOutputDecoder, AnEndlessLineStillCountsAsTooLong) {
    ConsoleParseState state;
    const std::string block(4096, 'x');
    std::vector<std::string> reads{"Progress=0.5\nMessage="};
    for (int i = 0; i < 64; ++i) {
        reads.push_back(block);
    }
    reads.push_back("\nState=Success\n");
    const Parsed parsed = readOutput(state, reads);
    EXPECT_EQ(parsed.events, (std::vector<Event>{{IST_CODE_PROGRESS, 0.5, L""},
                                                 {IST_CODE_MESSAGE, 0.0, L""},
                                                 {INSTALL_SUCCESS, 0.0, L""}}));
    EXPECT_EQ(parsed.result, kParseSucceeded);
}

}  // namespace
