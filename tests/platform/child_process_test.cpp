#include "platform/child_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

using platform::SpawnedChild;

struct SplitCase {
    const char* name;
    std::wstring line;
    std::wstring program;
    std::vector<std::wstring> arguments;
};

TEST(SplitCommandLine, FollowsWindowsRulesWithRestOfLineFolders) {
    const SplitCase cases[] = {
        {"QuotedProgramWithBlanks",
         LR"("/tmp/a b/p.exe" /S -x=1)",
         L"/tmp/a b/p.exe",
         {L"/S", L"-x=1"}},
        {"UnquotedProgram", L"/bin/p  a\tb", L"/bin/p", {L"a", L"b"}},
        {"ProgramOnly", LR"("/bin/p")", L"/bin/p", {}},
        {"UnclosedProgramQuote", LR"("/bin/p a)", L"/bin/p a", {}},
        {"ProgramBackslashesStay", LR"("C:\dir\" a)", LR"(C:\dir\)", {L"a"}},
        {"QuotesGroupAndVanish", LR"(p -instdir="/a b/c" x)", L"p", {L"-instdir=/a b/c", L"x"}},
        {"BackslashesWithoutQuoteAreLiteral", LR"(p a\\b\c)", L"p", {LR"(a\\b\c)"}},
        {"EvenBackslashesBeforeQuote", LR"(p "a\\" b)", L"p", {LR"(a\)", L"b"}},
        {"OddBackslashesEscapeQuote", LR"(p a\"b)", L"p", {LR"(a"b)"}},
        {"DoubledQuoteInsideQuotes", LR"(p "a""b" c)", L"p", {LR"(a"b)", L"c"}},
        {"EmptyQuotedArgument", LR"(p "" x)", L"p", {L"", L"x"}},
        {"FolderTakesRestOfLine",
         LR"(p /S /D=/opt/My "App" x )",
         L"p",
         {L"/S", LR"(/D=/opt/My "App" x )"}},
        {"UninstallFolderTakesRestOfLine",
         LR"("/t/u n" /S _?=/opt/a b)",
         L"/t/u n",
         {L"/S", L"_?=/opt/a b"}},
        {"QuotedFolderSwitchIsOrdinary", LR"(p "/D=a b" c)", L"p", {L"/D=a b", L"c"}},
        {"SwitchInsideArgumentIsOrdinary", L"p x/D=a b", L"p", {L"x/D=a", L"b"}},
        {"TrailingBlanks", L"p a  \t", L"p", {L"a"}},
    };
    for (const SplitCase& row : cases) {
        const platform::CommandLineParts parts = platform::splitCommandLine(row.line);
        EXPECT_EQ(parts.program, row.program) << row.name;
        EXPECT_EQ(parts.arguments, row.arguments) << row.name;
    }
}

// Everything the child writes, then its end.
std::string readAll(SpawnedChild& child) {
    std::string all;
    std::string chunk;
    while (child.readOutput(chunk, 1024, 5000) != SpawnedChild::Output::Ended) {
        all += chunk;
    }
    child.waitForEnd();
    return all;
}

TEST(SpawnedChild, DiscardsStandardErrorAndPassesOnNoOtherDescriptor) {
    test_support::TempFolder folder;
    const std::string script = folder.write("probe.sh",
                                            "#!/bin/sh\n"
                                            "printf 'stderr=%s\\n' \"$(readlink /proc/$$/fd/2)\"\n"
                                            "if [ -e /proc/$$/fd/$1 ]; then echo leaked; fi\n"
                                            "head -c 200000 /dev/zero >&2\n"
                                            "echo done\n");
    chmod(script.c_str(), 0700);
    // Not close-on-exec on purpose: the spawn must close it all the same.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::optional<SpawnedChild> child =
        SpawnedChild::spawn(L"\"" + folder.wideFile("probe.sh") + L"\" " + std::to_wstring(fds[0]));
    close(fds[0]);
    close(fds[1]);
    ASSERT_TRUE(child);
    EXPECT_EQ(readAll(*child), "stderr=/dev/null\ndone\n");
    EXPECT_TRUE(child->hasEnded());
}

TEST(SpawnedChild, GivesTheOwnerTheExecBitOfAProgramWithoutOne) {
    test_support::TempFolder folder;
    const std::string script = folder.write("package.exe", "#!/bin/sh\necho ran\n");
    chmod(script.c_str(), 0644);
    std::optional<SpawnedChild> child =
        SpawnedChild::spawn(L"\"" + folder.wideFile("package.exe") + L"\"");
    ASSERT_TRUE(child);
    EXPECT_EQ(readAll(*child), "ran\n");
    struct stat info {};
    ASSERT_EQ(stat(script.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0744u);
}

TEST(SpawnedChild, RefusesWhatCannotBeStarted) {
    test_support::TempFolder folder;
    folder.write("not_a_program",
                 "\x7f"
                 "ELF garbage");
    EXPECT_FALSE(SpawnedChild::spawn(L"\"" + folder.wideFile("missing") + L"\" /S"));
    EXPECT_FALSE(SpawnedChild::spawn(L"\"" + folder.wideFile("not_a_program") + L"\""));
    EXPECT_FALSE(SpawnedChild::spawn(L"\"" + folder.path().wstring() + L"\""));
    EXPECT_FALSE(SpawnedChild::spawn(L""));
}

}  // namespace
