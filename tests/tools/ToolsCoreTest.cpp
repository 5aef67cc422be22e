#include "tools/Md5List.h"
#include "tools/ToolPass.h"
#include "tools/ToolRows.h"

#include "../hashing/RandomTree.h"
#include "base/IOStream.h"
#include "base/Paths.h"
#include "detection/TestSupport.h"
#include "hashing/Hashing.h"

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace halcyra {
namespace {

const std::string A(32, 'A');
const std::string B(32, 'B');
const std::string C(32, 'C');
const std::string E(EmptyFileMD5);
const std::string P(CannotOpenFilePlaceholder);
constexpr const char* AbcMD5 = "900150983CD24FB0D6963F7D28E17F72";

ToolRow row(std::string path, std::string hash, std::uint32_t nameAt = 0) {
    return {std::move(path), nameAt, std::move(hash), false};
}

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// ---- MD5 list file and clipboard text

// The MD5 list read from a file holding `text`.
Md5List loaded(const test::TestTree& tree, const std::string& text) {
    std::ofstream(tree.path("list.txt"), std::ios::binary) << text;
    Md5List list;
    std::string error;
    EXPECT_TRUE(list.load(tree.path("list.txt"), error)) << error;
    return list;
}

TEST(Md5ListTest, ReaderTrimsSplitsAndKeepsTheFirstHashOfAName) {
    test::TestTree tree;
    const Md5List list =
        loaded(tree, A + "  spaced name  \r\n" +                 // blanks between hash and name, and after it
                         B + "\tTabbed\rName\n" +                // tab separates; a lone CR is dropped
                         A + "y\n" +                             // 33 characters: ignored
                         C + " spaced name\r\n" +                // listed again: the first hash stays
                         "   " + C + " x\n" +                    // 34 characters once leading blanks go
                         "\x1F" + B + "\x01!edge!\x20\x1F\r\n" + // bytes up to 32 trimmed, 33 kept
                         A + " after" + "\x1A" + "tail\n" + B + " never\n"); // Ctrl+Z ends the text
    EXPECT_EQ(list.size(), 5u);
    ASSERT_NE(list.find("spaced name"), nullptr);
    EXPECT_EQ(*list.find("spaced name"), A);
    ASSERT_NE(list.find("TabbedName"), nullptr);
    EXPECT_EQ(*list.find("TabbedName"), B);
    EXPECT_EQ(*list.find("x"), C);
    EXPECT_EQ(*list.find("!edge!"), B);
    EXPECT_EQ(*list.find("after"), A);
    EXPECT_EQ(list.find("never"), nullptr);
    EXPECT_EQ(list.find("y"), nullptr);
}

TEST(Md5ListTest, LookUpIsExactFirstThenIgnoresAsciiCase) {
    test::TestTree tree;
    const Md5List list =
        loaded(tree, A + " case.txt\n" + B + " Case.txt\n" + C + " Other.TXT\n" + A + " OTHER.txt\n");
    EXPECT_EQ(*list.find("case.txt"), A);
    EXPECT_EQ(*list.find("Case.txt"), B);
    EXPECT_EQ(*list.find("CASE.TXT"), A); // the first listed of the names that differ only in case
    EXPECT_EQ(*list.find("other.txt"), C);
    EXPECT_EQ(list.find("othe.txt"), nullptr);
}

class Md5ListFileTest : public ::testing::Test {
protected:
    test::TestTree m_tree;
    ToolRows m_rows{row("/x/plain.bin", A, 3), row("/x/sub/line\nbreak", B, 3), row("/x/ lead<", P, 3)};
};

TEST_F(Md5ListFileTest, SaveWritesEscapedCrLfLinesThatReadBackToTheSameNames) {
    const std::string file = m_tree.path("list.md5.txt");
    std::ofstream(file) << "old contents";
    std::string error;
    ASSERT_TRUE(saveMd5List(file, m_rows, {0, 1, 2}, error)) << error;
    EXPECT_EQ(readAll(file), A + " plain.bin\r\n" + B + " sub/line<0A>break\r\n" + P + " <20>lead<3C>\r\n");
    Md5List list;
    ASSERT_TRUE(list.load(file, error)) << error;
    for (const ToolRow& r : m_rows)
        ASSERT_NE(list.find(r.Name()), nullptr) << r.Name();
    EXPECT_EQ(*list.find("sub/line\nbreak"), B);
}

TEST_F(Md5ListFileTest, FailedSaveKeepsThePreviousFileAndFailedLoadsSayWhy) {
    const std::string file = m_tree.path("list.md5.txt");
    std::ofstream(file) << "previous";
    ToolRows many(2000, row("/x/some-long-file-name.bin", A, 3));
    RowIndexes all(many.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = i;
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    std::string error;
    const bool saved_ok = saveMd5List(file, many, all, error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(error.rfind("Error writing to file: ", 0), 0u) << error;
    EXPECT_EQ(readAll(file), "previous");

    EXPECT_FALSE(saveMd5List(m_tree.path("missing/list.txt"), m_rows, {0}, error));
    EXPECT_EQ(error.rfind("Error writing to file: ", 0), 0u);

    Md5List list;
    ASSERT_EQ(mkfifo(m_tree.path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(list.load(m_tree.path("fifo"), error)); // refused unopened: no hang
    EXPECT_EQ(error, "Error reading from file: Not a regular file");
    EXPECT_FALSE(list.load(m_tree.path("absent"), error));
    EXPECT_EQ(error.rfind("Error reading from file: ", 0), 0u);
    m_tree.symlink("/proc/self/mem", "mem");
    EXPECT_FALSE(list.load(m_tree.path("mem"), error)); // opens, but reading fails
    EXPECT_EQ(error, "Error reading from file: Input/output error");

    // The longest line a list can hold is written and read back; one byte more is refused.
    for (const std::size_t extra : {0, 1}) {
        const ToolRows longest{row("/x/" + std::string(MaxLineLength - 34 + extra, 'n'), A, 3)};
        EXPECT_EQ(saveMd5List(file, longest, {0}, error), extra == 0) << extra;
        EXPECT_TRUE(list.load(file, error)) << error;
        EXPECT_EQ(list.find(longest[0].Name()) != nullptr, extra == 0);
    }
}

mode_t modeOf(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

TEST_F(Md5ListFileTest, SavedListIsTheUsersFileAndOnlyARegularFileIsReplaced) {
    std::string error;
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        const mode_t previousMask = umask(mask);
        const std::string fresh = m_tree.path("new" + std::to_string(mask) + ".md5.txt");
        const bool savedNew = saveMd5List(fresh, m_rows, {0}, error);
        const std::string kept = m_tree.path("kept" + std::to_string(mask) + ".md5.txt");
        std::ofstream(kept) << "old";
        chmod(kept.c_str(), 0664);
        const bool savedOver = saveMd5List(kept, m_rows, {0}, error);
        umask(previousMask);
        ASSERT_TRUE(savedNew && savedOver) << error;
        EXPECT_EQ(modeOf(fresh) & 07777, 0666 & ~mask);
        EXPECT_EQ(modeOf(kept) & 07777, 0664u); // a replaced list keeps its mode
        EXPECT_EQ(readAll(kept), A + " plain.bin\r\n");
    }

    // A link is written through and stays a link, also when it names a file still to be made.
    std::ofstream(m_tree.path("real.txt")) << "old";
    m_tree.symlink("real.txt", "link.txt");
    m_tree.symlink("link.txt", "link2.txt");
    m_tree.symlink(m_tree.path("made.txt"), "dangling.txt");
    ASSERT_TRUE(saveMd5List(m_tree.path("link2.txt"), m_rows, {0}, error)) << error;
    ASSERT_TRUE(saveMd5List(m_tree.path("dangling.txt"), m_rows, {1}, error)) << error;
    EXPECT_TRUE(S_ISLNK(modeOf(m_tree.path("link.txt"))) && S_ISLNK(modeOf(m_tree.path("link2.txt"))));
    EXPECT_TRUE(S_ISLNK(modeOf(m_tree.path("dangling.txt"))));
    EXPECT_EQ(readAll(m_tree.path("real.txt")), A + " plain.bin\r\n");
    EXPECT_EQ(readAll(m_tree.path("made.txt")), B + " sub/line<0A>break\r\n");

    // A device, a FIFO or a folder is refused and stays what it was.
    ASSERT_EQ(mkfifo(m_tree.path("fifo").c_str(), 0600), 0);
    m_tree.symlink("fifo", "fifolink");
    ASSERT_EQ(mkdir(m_tree.path("folder").c_str(), 0700), 0);
    const bool canMakeDevices = mknod(m_tree.path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    for (const char* name : {"fifo", "fifolink", "folder", "null"}) {
        if (std::string(name) == "null" && !canMakeDevices)
            continue;
        const mode_t before = modeOf(m_tree.path(name));
        EXPECT_FALSE(saveMd5List(m_tree.path(name), m_rows, {0}, error)) << name;
        EXPECT_EQ(modeOf(m_tree.path(name)), before) << name;
        EXPECT_EQ(error, std::string("Error writing to file: ") +
                             (std::string(name) == "folder" ? "Is a directory" : "Not a regular file"));
    }
}

TEST(ClipboardTextTest, OneRowIsItsHashAloneSeveralAreListLines) {
    const ToolRows rows{row("/d/a", A, 3), row("/d/b c", B, 3), row("/d/c", C, 3)};
    EXPECT_EQ(clipboardText(rows, {1}), B);
    EXPECT_EQ(clipboardText(rows, {0, 2}), A + " a\r\n" + C + " c\r\n");
    EXPECT_EQ(clipboardText(rows, {}), "");
}

// ---- Compare

TEST(CompareTest, CountsHighlightsAndStopsAskingAfterNo) {
    std::string lower = AbcMD5;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    test::TestTree tree;
    const Md5List list = loaded(tree, lower + " same\n" + A + " diff1\n" + A + " diff2\n" + P + " unread\n" +
                                          A + " unreadList\n");
    const ToolRows rows{row("/same", AbcMD5, 1),  row("/diff1", B, 1),  row("/diff2", C, 1),
                        row("/unlisted", A, 1),   row("/unread", P, 1), row("/unreadList", P, 1),
                        row("/notSelected", B, 1)};
    std::vector<std::string> asked;
    const CompareOutcome outcome = compareRows(rows, {0, 1, 2, 3, 4, 5}, list, [&](const std::string& text) {
        asked.push_back(text);
        return false; // No: no further question
    });
    EXPECT_EQ(outcome.different, 4); // diff1, diff2 and both placeholder rows
    EXPECT_EQ(outcome.notListed, 1);
    EXPECT_EQ(outcome.highlighted, (RowIndexes{1, 2, 4, 5}));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "diff1\r\n\r\nList MD5: " + A + "\r\nFile MD5: " + B +
                            "\r\n\r\nDo you want to continue to be notified of differences?");
    EXPECT_EQ(compareSummary(outcome),
              "4 files have a different MD5 value (they are highlighted in the list)\r\n"
              "1 files are not listed in the MD5 hash values file.\r\n");

    int questions = 0;
    const CompareOutcome clean =
        compareRows(rows, {0}, list, [&](const std::string&) { return ++questions, true; });
    EXPECT_EQ(questions, 0);
    EXPECT_EQ(compareSummary(clean), "");
}

TEST(CompareTest, NamesThatDifferOnlyInCaseCompareWithTheirOwnLines) {
    const ToolRows rows{row("/t/case.txt", A, 3), row("/t/Case.txt", B, 3)};
    test::TestTree tree;
    const Md5List list =
        loaded(tree, md5ListLine(A, "case.txt") + "\r\n" + md5ListLine(B, "Case.txt") + "\r\n");
    const CompareOutcome outcome = compareRows(rows, {0, 1}, list, {});
    EXPECT_EQ(outcome.different, 0);
    EXPECT_EQ(outcome.notListed, 0);
}

// ---- Grouping and deletion

std::vector<std::string> marks(const ToolRows& rows) {
    std::vector<std::string> out;
    for (const ToolRow& r : rows)
        out.push_back(r.Hash.substr(0, 1) + (r.Mark ? "." : ""));
    return out;
}

TEST(GroupDuplicatesTest, KeepsSharedHashesOnlyAndAlternatesTheMarks) {
    ToolRows rows{row("a1", A), row("b1", B), row("a2", A), row("c", C), row("a3", A), row("b2", B)};
    sortRowsByHash(rows);
    GroupDuplicates(rows);
    EXPECT_EQ(marks(rows), (std::vector<std::string>{"A", "A", "A", "B.", "B."}));
    EXPECT_EQ(rows[0].Path, "a1"); // equal hashes keep their hashing order
    EXPECT_EQ(rows[2].Path, "a3");

    for (ToolRows lone : {ToolRows{row("a", A)}, ToolRows{row("e1", E), row("e2", E)},
                          ToolRows{row("p1", P), row("p2", P)}, ToolRows{row("x", ""), row("y", "")}}) {
        GroupDuplicates(lone);
        EXPECT_TRUE(lone.empty()) << lone.front().Hash;
    }
}

struct CountingProgress : PassProgress {
    bool fileDone(std::string_view path) override {
        paths.emplace_back(path);
        return paths.size() == stopAfter;
    }
    bool stopRequested() override { return stopNow; }
    std::vector<std::string> paths;
    std::size_t stopAfter = 0;
    bool stopNow = false; // stops inside a file of more than one poll's worth (4 MiB)
};

class DeleteTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"keep", "gone", "changed", "readonly", "deleted"})
            m_tree.add({name, "abc"});
        ASSERT_EQ(chmod(m_tree.path("readonly").c_str(), 0444), 0);
        for (const char* name : {"deleted", "keep", "readonly", "changed", "gone"})
            m_rows.push_back(row(m_tree.path(name), AbcMD5));
    }
    test::TestTree m_tree;
    ToolRows m_rows;
};

TEST_F(DeleteTest, DeletesOnlyUnchangedWritableFilesAndReportsTheRest) {
    std::remove(m_tree.path("gone").c_str());
    std::ofstream(m_tree.path("changed")) << "abd";
    CountingProgress progress;
    std::vector<std::string> errors;
    const auto report = [&](const std::string& text) { errors.push_back(text); };
    const std::vector<bool> remove = deleteSelectedFiles(m_rows, {0, 2, 3, 4}, progress, report);
    EXPECT_EQ(remove, (std::vector<bool>{true, false, false, false, true}));
    EXPECT_EQ(errors, (std::vector<std::string>{"Cannot delete " + m_tree.path("readonly"),
                                                "Cannot delete " + m_tree.path("changed")}));
    EXPECT_EQ(progress.paths, (std::vector<std::string>{m_tree.path("deleted"), m_tree.path("readonly"),
                                                        m_tree.path("changed"), m_tree.path("gone")}));
    EXPECT_FALSE(exists(m_tree.path("deleted")));
    for (const char* name : {"keep", "readonly", "changed"})
        EXPECT_TRUE(exists(m_tree.path(name))) << name;

    // A stop leaves the files not yet handled, unreported, with their rows.
    CountingProgress stopping;
    stopping.stopAfter = 1;
    EXPECT_EQ(deleteSelectedFiles(m_rows, {1, 3}, stopping, report),
              (std::vector<bool>{false, true, false, false, false}));
    EXPECT_EQ(errors.size(), 2u);
    EXPECT_FALSE(exists(m_tree.path("keep")));
    EXPECT_TRUE(exists(m_tree.path("changed")));

    removeRows(m_rows, remove);
    GroupDuplicates(m_rows); // three rows of one hash stay a group
    EXPECT_EQ(m_rows.size(), 3u);

    // Another name of a file is checked as the file itself: a link to a read-only or changed file is
    // refused and stays; any write bit makes a file deletable, also through a doubled slash.
    m_tree.symlink(m_tree.path("readonly"), "rolink");
    m_tree.symlink(m_tree.path("changed"), "chlink");
    for (const char* name : {"groupw", "otherw"})
        m_tree.add({name, "abc"});
    ASSERT_EQ(chmod(m_tree.path("groupw").c_str(), 0464) | chmod(m_tree.path("otherw").c_str(), 0446), 0);
    const ToolRows second{row(m_tree.path("rolink"), AbcMD5), row(m_tree.path("chlink"), AbcMD5),
                          row(m_tree.root() + "/groupw", AbcMD5), row(m_tree.path("otherw"), AbcMD5)};
    EXPECT_EQ(deleteSelectedFiles(second, {0, 1, 2, 3}, progress, report),
              (std::vector<bool>{false, false, true, true}));
    EXPECT_EQ(errors.size(), 4u);
    EXPECT_TRUE(exists(m_tree.path("rolink")) && exists(m_tree.path("chlink")));
    EXPECT_FALSE(exists(m_tree.path("groupw")) || exists(m_tree.path("otherw")));

    // A stop inside a file's check leaves it and its row, unreported.
    m_tree.add({"big", std::string(5 << 20, 'x')});
    CountingProgress stopNow;
    stopNow.stopNow = true;
    EXPECT_EQ(deleteSelectedFiles({row(m_tree.path("big"), AbcMD5)}, {0}, stopNow, report),
              (std::vector<bool>{false}));
    EXPECT_TRUE(stopNow.paths.empty());
    EXPECT_EQ(errors.size(), 4u);
}

TEST(SearchValueTest, UpperCasesAsciiLettersAndChecksTheLength) {
    EXPECT_EQ(searchValue("900150983cd24fb0d6963f7d28e17f72"), AbcMD5);
    EXPECT_FALSE(searchValue(std::string(31, 'a')));
    EXPECT_FALSE(searchValue(std::string(33, 'a')));
    EXPECT_EQ(searchValue(std::string(30, 'a') + "\xC3\xA9"), std::string(30, 'A') + "\xC3\xA9");
    EXPECT_EQ(searchValue(P), P);
    EXPECT_EQ(searchValue("az`{" + std::string(28, '0')), "AZ`{" + std::string(28, '0'));
}

// ---- Passes

TEST(ToolPassTest, FolderPassNamesFilesRelativelyAndMarksUnreadableOnes) {
    test::TestTree tree{{"b.txt", "abc"}, {"sub/a.bin", ""}};
    ASSERT_EQ(mkfifo(tree.path("sub/pipe").c_str(), 0600), 0); // never listed
    tree.symlink(tree.path("b.txt"), "link.txt");
    ASSERT_EQ(link(tree.path("b.txt").c_str(), tree.path("hard.txt").c_str()), 0);
    tree.symlink("/proc/self/mem", "mem"); // a regular file whose reads fail
    CountingProgress progress;
    std::vector<PassFile> files;
    std::string error;
    ASSERT_TRUE(listFolderFiles(tree.root().substr(0, tree.root().size() - 1), files, error, progress))
        << error;
    std::vector<std::pair<std::string, std::string>> seen;
    FileIdentities identities;
    int skipped = 0;
    EXPECT_TRUE(hashFiles(
        files, progress,
        [&](PassFile& file, std::string hash) { seen.emplace_back(file.path.substr(file.nameAt), hash); },
        [&](const PassFile& file) { return identities.seenBefore(file.path) && ++skipped; }));
    EXPECT_EQ(progress.paths.size(), files.size()); // every file makes its step, skipped ones too
    EXPECT_EQ(skipped, 2);                          // b.txt, hard.txt and link.txt are one file
    std::sort(seen.begin(), seen.end());
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].first, "b.txt");
    EXPECT_EQ(seen[0].second, AbcMD5);
    EXPECT_EQ(seen[1], (std::pair<std::string, std::string>{"mem", P}));
    EXPECT_EQ(seen[2], (std::pair<std::string, std::string>{"sub/a.bin", E}));

    CountingProgress stopping;
    stopping.stopAfter = 1;
    int worked = 0;
    EXPECT_FALSE(hashFiles(files, stopping, [&](PassFile&, std::string) { ++worked; }));
    EXPECT_EQ(worked, 1);

    FileIdentities identity;
    EXPECT_FALSE(identity.seenBefore(tree.path("missing"))); // never "seen", however often asked
    EXPECT_FALSE(identity.seenBefore(tree.path("missing")));
    EXPECT_FALSE(identity.seenBefore(tree.path("b.txt")));
    EXPECT_TRUE(identity.seenBefore(tree.root() + "/b.txt"));

    std::vector<PassFile> none;
    EXPECT_TRUE(hashFiles(none, progress, [&](PassFile&, std::string) { ++worked; }));
    std::vector<PassFile> big{{tree.path("big"), 0}};
    tree.add({"big", std::string(5 << 20, 'x')});
    CountingProgress stopNow;
    stopNow.stopNow = true;
    EXPECT_FALSE(hashFiles(
        big, stopNow, [&](PassFile&, std::string) { ++worked; }, {}, 1));
    EXPECT_EQ(worked, 1); // stopped inside its hash: no work, no step
    EXPECT_TRUE(stopNow.paths.empty());

    // A folder that cannot be read fails with the reason, unless a stop was asked on it.
    test::FakeClock clock;
    EXPECT_FALSE(listFolderFiles(tree.path("missing"), files, error, progress, &clock));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(listFolderFiles(tree.path("missing"), files, error, stopNow, &clock));
    EXPECT_EQ(error, "");
}

TEST(ToolPassTest, RecalculationHashesTheFullPathWhateverTheCurrentFolder) {
    test::TestTree tree{{"f.txt", "abc"}};
    std::vector<PassFile> files = chosenFiles({tree.path("f.txt")});
    ASSERT_EQ(files[0].path.substr(files[0].nameAt), "f.txt");
    ToolRows rows{row(tree.path("f.txt"), A, files[0].nameAt)};
    const std::string previous = currentFolder();
    ASSERT_EQ(chdir("/"), 0);
    CountingProgress progress;
    EXPECT_TRUE(recalculateRows(rows, {0}, progress));
    ASSERT_EQ(chdir(previous.c_str()), 0);
    EXPECT_EQ(rows[0].Hash, AbcMD5);
    EXPECT_EQ(progress.paths, (std::vector<std::string>{""})); // the label is not used

    CountingProgress stopping;
    stopping.stopAfter = 1;
    rows.push_back(row(tree.path("f.txt"), B));
    EXPECT_FALSE(recalculateRows(rows, {0, 1}, stopping, 1));
    EXPECT_EQ(rows[1].Hash, B); // not reached
}

TEST(ToolPassTest, SeveralThreadsWorkAndReportAsOneDoes) {
    test::TestTree tree;
    halcyra::testing::buildRandomTree(tree.root(), 3, 200);
    CountingProgress lister;
    std::vector<PassFile> files;
    std::string error;
    ASSERT_TRUE(listFolderFiles(tree.root().substr(0, tree.root().size() - 1), files, error, lister));
    std::map<unsigned, std::vector<std::string>> calls;
    for (const unsigned threads : {1u, 8u}) {
        for (const std::size_t stopAfter : {0, 90}) {
            CountingProgress progress;
            progress.stopAfter = stopAfter;
            std::vector<PassFile> pass = files;
            FileIdentities identities;
            std::vector<std::string>& made = calls[threads];
            const auto work = [&](PassFile& file, std::string hash) {
                made.push_back(file.path + " " + hash);
            };
            const auto skip = [&](const PassFile& file) { return identities.seenBefore(file.path); };
            made.push_back(hashFiles(pass, progress, work, skip, threads) ? "finished" : "stopped");
            made.insert(made.end(), progress.paths.begin(), progress.paths.end());
        }
    }
    EXPECT_EQ(calls[8], calls[1]);
}

TEST(SortRowsTest, NamesInCollationOrderHashesStable) {
    ToolRows rows{row("/d/b", A, 3), row("/d/B", A, 3), row("/d/a", A, 3), row("/e/b", A, 3)};
    sortRowsByName(rows); // C collation in tests: byte order, equal names in their order
    EXPECT_EQ(rows[0].Path, "/d/B");
    EXPECT_EQ(rows[1].Path, "/d/a");
    EXPECT_EQ(rows[2].Path, "/d/b");
    EXPECT_EQ(rows[3].Path, "/e/b");

    // A real locale's order: case and accents after the letter, also where a name's key is longer than
    // the first guess; names it collates alike in byte order.
    const std::string previous = std::setlocale(LC_COLLATE, nullptr);
    ASSERT_NE(std::setlocale(LC_COLLATE, "en_US.UTF-8"), nullptr);
    const std::string run(20, 'a');
    const std::vector<std::string> sorted{
        run + "\xC2\xAD", run + "\xC2\xA0", "a\x80\x62", "a\xFF\x62", "b", "C", "\xC3\xA9", "f"};
    ToolRows named;
    for (auto name = sorted.rbegin(); name != sorted.rend(); ++name)
        named.push_back(row("/d/" + *name, A, 3));
    sortRowsByName(named);
    std::setlocale(LC_COLLATE, previous.c_str());
    for (std::size_t i = 0; i < sorted.size(); ++i)
        EXPECT_EQ(named[i].Name(), sorted[i]) << i;
}

} // namespace
} // namespace halcyra
