#include "scheduling/CronTable.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

const std::string Begin(CronBlockBegin);
const std::string End(CronBlockEnd);

std::string replaced(const std::string& crontab, const std::vector<std::string>& lines) {
    std::string result;
    std::string error;
    EXPECT_TRUE(replaceCronBlock(crontab, lines, result, error)) << error;
    return result;
}

TEST(CronTable, QuotedPathsSurviveCronAndTheShell) {
    EXPECT_EQ(cronQuote("/opt/Halcyra/bin/HalcyraRunner"), "'/opt/Halcyra/bin/HalcyraRunner'");
    EXPECT_EQ(cronQuote("/home/a b/50%/x"), "'/home/a b/50\\%/x'");
    EXPECT_EQ(cronQuote("/it's/$(touch x);`y`"), "'/it'\\''s/$(touch x);`y`'");
    EXPECT_EQ(cronQuote("/a\\b"), "'/a\\b'");
}

TEST(CronTable, PathsThatCannotBeWrittenSafelyAreRefused) {
    EXPECT_FALSE(cronQuote("/a\nb"));
    EXPECT_FALSE(cronQuote("/a\rb"));
    EXPECT_FALSE(cronQuote(std::string("/a\0b", 4)));
    EXPECT_FALSE(cronQuote("/a\\%b"));
    EXPECT_FALSE(cronTaskLine(9 * 60, "/bin/runner", "/tasks/a\nb.job", 0));
    EXPECT_FALSE(cronTaskLine(24 * 60, "/bin/runner", "/tasks/a.job", 0));
}

TEST(CronTable, TaskLineRunsDailyAtTheTriggerTime) {
    EXPECT_EQ(cronTaskLine(9 * 60, "/bin/run ner", "/t/1.job", 0), "0 9 * * * '/bin/run ner' '/t/1.job' 0");
    EXPECT_EQ(cronTaskLine(23 * 60 + 59, "/r", "/j", 3), "59 23 * * * '/r' '/j' 3");
}

TEST(CronTable, ForeignLinesAreKeptByteForByte) {
    const std::string foreign = "# my jobs\r\nMAILTO=me@example.org\n\n*/5 * * * * /usr/bin/backup --quiet\n"
                                "@reboot echo hi";
    const std::string added = replaced(foreign, {"0 9 * * * 'r' 'j' 0"});
    EXPECT_EQ(added, foreign + "\n" + Begin + "\n0 9 * * * 'r' 'j' 0\n" + End + "\n");
    EXPECT_EQ(cronBlockLines(added), std::vector<std::string>{"0 9 * * * 'r' 'j' 0"});

    // Replaced in place, foreign lines after the block stay after it.
    const std::string withTail = added + "# after\n";
    EXPECT_EQ(replaced(withTail, {"a", "b"}), foreign + "\n" + Begin + "\na\nb\n" + End + "\n# after\n");
    // No lines: the block goes, everything else stays.
    EXPECT_EQ(replaced(withTail, {}), foreign + "\n# after\n");
    // Nothing to add to a crontab without a block changes nothing.
    EXPECT_EQ(replaced(foreign, {}), foreign);
    EXPECT_EQ(replaced("", {}), "");
}

TEST(CronTable, SecondBlockIsDroppedAndUnfinishedBlockRefused) {
    const std::string twice = "x\n" + Begin + "\nold1\n" + End + "\ny\n" + Begin + "\nold2\n" + End + "\nz\n";
    EXPECT_EQ(replaced(twice, {"new"}), "x\n" + Begin + "\nnew\n" + End + "\ny\nz\n");

    std::string result = "unchanged";
    std::string error;
    EXPECT_FALSE(replaceCronBlock("x\n" + Begin + "\nold\n", {"new"}, result, error));
    EXPECT_EQ(result, "unchanged");
    EXPECT_FALSE(error.empty());
    // A lone end marker is a foreign line.
    EXPECT_EQ(replaced(End + "\n", {}), End + "\n");
}

} // namespace
} // namespace halcyra
