#include "scheduling/CronTable.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

const CronBlockMarkers Markers = cronBlockMarkers("/a/Tasks/");
const std::string Begin = Markers.begin;
const std::string End = Markers.end;
const std::string LegacyBegin(LegacyCronBlockBegin);
const std::string LegacyEnd(LegacyCronBlockEnd);

std::string replaced(const std::string& crontab, const std::vector<std::string>& lines,
                     const CronBlockMarkers& markers = Markers) {
    std::string result;
    std::string error;
    EXPECT_TRUE(replaceCronBlock(
        crontab, markers, lines, [](std::string_view line) { return cronLineRunsJobIn(line, "/a/Tasks/"); },
        result, error))
        << error;
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
    EXPECT_EQ(cronBlockLines(added, Markers), std::vector<std::string>{"0 9 * * * 'r' 'j' 0"});

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
    EXPECT_FALSE(replaceCronBlock("x\n" + Begin + "\nold\n", Markers, {"new"}, nullptr, result, error));
    EXPECT_EQ(result, "unchanged");
    EXPECT_FALSE(error.empty());
    // A lone end marker is a foreign line.
    EXPECT_EQ(replaced(End + "\n", {}), End + "\n");
}

TEST(CronTable, EachDataFolderKeepsABlockOfItsOwn) {
    EXPECT_EQ(Begin,
              "# BEGIN Halcyra scheduled tasks of data folder aa5d3b70642bc75f (maintained by Halcyra; "
              "changes inside are lost)");
    EXPECT_EQ(End, "# END Halcyra scheduled tasks of data folder aa5d3b70642bc75f");
    EXPECT_EQ(cronBlockMarkers("/a/Tasks").begin, Begin);
    const CronBlockMarkers other = cronBlockMarkers("/b/Tasks/");
    EXPECT_EQ(other.end, "# END Halcyra scheduled tasks of data folder d7d26b6f4d6ba4e3");

    const std::string both = replaced(replaced("", {"a1"}), {"b1"}, other);
    EXPECT_EQ(both, Begin + "\na1\n" + End + "\n" + other.begin + "\nb1\n" + other.end + "\n");
    EXPECT_EQ(replaced(both, {}), other.begin + "\nb1\n" + other.end + "\n");
    EXPECT_EQ(cronBlockLines(both, other), std::vector<std::string>{"b1"});
}

TEST(CronTable, UnmarkedBlockOfTheOlderFormatLosesOnlyThisFoldersLines) {
    const std::string ours = *cronTaskLine(0, "/bin/r", "/a/Tasks/0a1b.job", 0);
    const std::string theirs = *cronTaskLine(0, "/bin/r", "/b/Tasks/0a1b.job", 0);
    const std::string legacy = "x\n" + LegacyBegin + "\n" + ours + "\n" + theirs + "\n" + LegacyEnd + "\ny\n";
    EXPECT_EQ(replaced(legacy, {ours}), "x\n" + LegacyBegin + "\n" + theirs + "\n" + LegacyEnd + "\ny\n" +
                                            Begin + "\n" + ours + "\n" + End + "\n");
    // A block left with none of its lines goes.
    EXPECT_EQ(replaced("x\n" + LegacyBegin + "\n" + ours + "\n" + LegacyEnd + "\n", {}), "x\n");
    std::string result;
    std::string error;
    EXPECT_FALSE(
        replaceCronBlock("x\n" + LegacyBegin + "\n" + ours + "\n", Markers, {}, nullptr, result, error));
    EXPECT_NE(error.find(LegacyBegin), std::string::npos);
}

TEST(CronTable, LinesAreMatchedToTheirJobFile) {
    const std::string line = *cronTaskLine(90, "/opt/r", "/home/it's 50%/Tasks/00ff.job", 12);
    EXPECT_TRUE(cronLineRunsJob(line, "/home/it's 50%/Tasks/00ff.job"));
    EXPECT_FALSE(cronLineRunsJob(line, "/home/it's 50%/Tasks/00f.job"));
    EXPECT_TRUE(cronLineRunsJobIn(line, "/home/it's 50%/Tasks"));
    EXPECT_FALSE(cronLineRunsJobIn(line, "/home/it's 50%/")); // a job of a sub-folder is not its own
    EXPECT_FALSE(cronLineRunsJobIn("0 9 * * * /usr/bin/backup", "/"));
    EXPECT_FALSE(cronLineRunsJob(line.substr(0, line.size() - 3), "/home/it's 50%/Tasks/00ff.job"));
}

} // namespace
} // namespace halcyra
