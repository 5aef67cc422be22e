#include "detection/TreeScan.h"

#include "../base/DeepTree.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <sys/socket.h>
#include <sys/un.h>

using namespace halcyra;
using halcyra::test::DefaultMtime;
using halcyra::test::FailingFileSystem;
using halcyra::test::FakeClock;
using halcyra::test::TestTree;
using Keys = std::vector<std::string>;

namespace {

template <class List> Keys keysOf(const List& list) {
    Keys keys;
    for (const auto& entry : list)
        keys.push_back(entry.first);
    return keys;
}

struct ScanResult {
    bool ok = false;
    std::string error;
    Keys keys;
};

ScanResult scanCompare(const std::string& dir, bool recurse, const std::string& include = "*.*",
                       const std::string& exclude = "", const KeySet* excludedDirs = nullptr) {
    CompareList list;
    TTreeScanner scanner(list);
    scanner.SetIncludeMasks(include);
    scanner.SetExcludeMasks(exclude);
    scanner.SetExcludedDirs(excludedDirs);
    ScanResult result;
    result.ok = scanner.Scan(dir, recurse, result.error);
    result.keys = keysOf(list);
    return result;
}

// A tree that is one chain of folders "d/d/d/..." of the given depth, each holding one file "f" and,
// with `siblings`, a folder "s" holding one file "f" that is listed after "d". Entries come in that
// order; keeps no per-level state, so very deep walks cost nothing but the walk itself. Counts the
// listings alive at once, as the real file system would count open descriptors.
class ChainFileSystem final : public FileSystem {
public:
    ChainFileSystem(std::size_t rootLength, std::size_t depth, bool siblings = false)
        : m_rootLength(rootLength), m_depth(depth), m_siblings(siblings) {}

    std::unique_ptr<FolderListing> openFolder(const std::string& path, bool, int&) override {
        return listingOf(path);
    }
    std::unique_ptr<FolderListing> openSubFolder(FolderListing&, std::string_view, const std::string& path,
                                                 int&) override {
        return listingOf(path);
    }

    std::size_t opens = 0;
    std::size_t alive = 0;
    std::size_t mostAlive = 0;

private:
    std::unique_ptr<FolderListing> listingOf(const std::string& path) {
        ++opens;
        const bool sibling = path.size() >= 2 && path.compare(path.size() - 2, 2, "s/") == 0;
        const std::size_t level = (path.size() - m_rootLength) / 2;
        return std::make_unique<Listing>(*this, !sibling && level < m_depth, !sibling && m_siblings);
    }

    class Listing final : public FolderListing {
    public:
        Listing(ChainFileSystem& files, bool chain, bool sibling)
            : m_files(files), m_chain(chain), m_sibling(sibling) {
            m_files.mostAlive = std::max(m_files.mostAlive, ++m_files.alive);
        }
        ~Listing() override { --m_files.alive; }
        bool next(FolderEntry& entry) override {
            ++m_index;
            if (m_index == 1) {
                entry = {"f", FolderEntryKind::File};
                return true;
            }
            if (m_index == 2 && m_chain) {
                entry = {"d", FolderEntryKind::Folder};
                return true;
            }
            if (m_index <= 3 && m_chain && m_sibling) {
                entry = {"s", FolderEntryKind::Folder};
                return true;
            }
            return false;
        }
        bool fileFacts(FileFacts& facts) override {
            facts = {1, DefaultMtime};
            return true;
        }
        int error() const override { return 0; }
        std::unique_ptr<FolderListing> openSubFolder(std::string_view, int& error) override {
            error = ENOTSUP; // the file system opens sub-folders by path
            return nullptr;
        }

    private:
        ChainFileSystem& m_files;
        bool m_chain;
        bool m_sibling;
        int m_index = 0;
    };

    std::size_t m_rootLength;
    std::size_t m_depth;
    bool m_siblings;
};

} // namespace

TEST(TreeScanner, ComparisonModeKeysAndDetails) {
    halcyra::test::TimeZone zone("UTC0");
    TestTree tree(
        {{"top.txt", "12345", 1700000001}, {"sub/inner.bin", "", 0}, {"sub/deeper/x", "ab", -1000000001}});
    CompareList list;
    TTreeScanner scanner(list);
    EXPECT_EQ(scanner.Mode(), 1);
    std::string error = "stale";
    ASSERT_TRUE(scanner.Scan(tree.root(), true, error));
    EXPECT_EQ(error, "");
    ASSERT_EQ(keysOf(list), (Keys{"/sub/deeper/x", "/sub/inner.bin", "/top.txt"}));
    const TFileCompare& top = list.at("/top.txt");
    EXPECT_EQ(top.Old, nullptr);
    ASSERT_NE(top.New, nullptr);
    EXPECT_EQ(top.New->Size, 5);
    EXPECT_EQ(top.New->Hash, "");
    EXPECT_EQ(top.New->DateTime, 1700000000); // odd seconds round down
    EXPECT_FALSE(top.Excluded);
    EXPECT_EQ(top.Status, 0);
    EXPECT_EQ(list.at("/sub/inner.bin").New->DateTime, 0);
    EXPECT_EQ(list.at("/sub/deeper/x").New->DateTime, -1000000002);
    EXPECT_EQ(scanner.RelativeName(tree.root() + "a/b"), "/a/b");
}

TEST(TreeScanner, PlainModeKeysAreFullPaths) {
    TestTree tree({{"a.txt", "x"}, {"s/b.txt", "yy"}});
    PlainList list;
    TTreeScanner scanner(list);
    EXPECT_EQ(scanner.Mode(), 0);
    std::string error;
    ASSERT_TRUE(scanner.Scan(tree.root().substr(0, tree.root().size() - 1), true, error));
    EXPECT_EQ(keysOf(list), (Keys{tree.path("a.txt"), tree.path("s/b.txt")}));
    EXPECT_EQ(list.at(tree.path("s/b.txt")).Size, 2);
}

TEST(TreeScanner, FolderIsTakenExactlyAsGiven) {
    TestTree tree({{"x/plain.txt", ""}, {"x /blank.txt", ""}, {" x/lead.txt", ""}});
    for (const auto& [folder, key] : {std::pair<std::string, std::string>{"x", "/plain.txt"},
                                      {"x ", "/blank.txt"},
                                      {" x", "/lead.txt"}}) {
        const ScanResult result = scanCompare(tree.path(folder), true);
        EXPECT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.keys, Keys{key}) << '"' << folder << '"';
    }
    CompareList list;
    FakeClock clock;
    std::string error;
    EXPECT_FALSE(TTreeScanner(list, nullptr, &clock).Scan(tree.path("x") + "\n", true, error));
    EXPECT_EQ(error, "Error scanning \"" + tree.path("x") + "\n/\" : No such file or directory");
}

TEST(TreeScanner, NamesDifferingOnlyInCaseAreBothMonitored) {
    TestTree tree({{"A.txt", "1"}, {"a.txt", "22"}, {"Dir/x", ""}, {"dir/x", ""}});
    EXPECT_EQ(scanCompare(tree.root(), true).keys, (Keys{"/A.txt", "/a.txt", "/Dir/x", "/dir/x"}));
}

TEST(TreeScanner, KeysAreNeverCutShort) {
    const std::string longName(250, 'n');
    std::string folders;
    for (int i = 0; i < 3; ++i)
        folders += longName + "/";
    TestTree tree({{folders + "a", ""}, {folders + "b", ""}});
    EXPECT_EQ(scanCompare(tree.root(), true).keys, (Keys{"/" + folders + "a", "/" + folders + "b"}));
}

TEST(TreeScanner, HostileNamesAreListedAsTheyAre) {
    TestTree tree({{"line\nbreak", ""}, {"star*\"quote\"<3E>'>", ""}, {" blank ", ""}, {"\xFF\xFE", ""}});
    EXPECT_EQ(scanCompare(tree.root(), false).keys,
              (Keys{"/ blank ", "/line\nbreak", "/star*\"quote\"<3E>'>", "/\xFF\xFE"}));
}

TEST(TreeScanner, MasksSelectByNameAlone) {
    TestTree tree({{"README", ""}, {"a.txt", ""}, {"b.TXT", ""}, {"photo.jpg", ""}, {"x.doc/inner.doc", ""}});
    EXPECT_EQ(scanCompare(tree.root(), true, "*.*").keys,
              (Keys{"/a.txt", "/b.TXT", "/photo.jpg", "/README", "/x.doc/inner.doc"}));
    EXPECT_EQ(scanCompare(tree.root(), true, "*.txt, *.*").keys.size(), 5u);
    EXPECT_EQ(scanCompare(tree.root(), true, "*.*", "*.*").keys, (Keys{"/README"}));
    EXPECT_EQ(scanCompare(tree.root(), true, "*.JPG").keys, (Keys{"/photo.jpg"}));
    EXPECT_EQ(scanCompare(tree.root(), true, "*.txt", "b*").keys, (Keys{"/a.txt"}));
    // The folder name x.doc is not a file name: masks never apply to folders.
    EXPECT_EQ(scanCompare(tree.root(), true, "*.doc").keys, (Keys{"/x.doc/inner.doc"}));
    const ScanResult none = scanCompare(tree.root(), true, "");
    EXPECT_TRUE(none.ok);
    EXPECT_TRUE(none.keys.empty());
}

TEST(TreeScanner, InvalidMaskIsReportedInsteadOfScanning) {
    TestTree tree({{"a.txt", ""}});
    CompareList list;
    TTreeScanner scanner(list);
    EXPECT_EQ(scanner.SetIncludeMasks("*.txt,[abc"), "'[abc' is an invalid mask at (1)");
    std::string error;
    EXPECT_FALSE(scanner.Scan(tree.root(), true, error));
    EXPECT_EQ(error, "'[abc' is an invalid mask at (1)");
    EXPECT_TRUE(list.empty());

    TTreeScanner excluding(list);
    EXPECT_EQ(excluding.SetExcludeMasks("x[!"), "'x[!' is an invalid mask at (2)");
    EXPECT_FALSE(excluding.Scan(tree.root(), true, error));
    EXPECT_EQ(error, "'x[!' is an invalid mask at (2)");
}

TEST(TreeScanner, WalkListsFilesThenReportsFolderThenDescendsDepthFirst) {
    TestTree tree({{"f0", ""}, {"a/f1", ""}, {"a/x/f2", ""}, {"a/x/y/f3", ""}, {"b/f4", ""}, {"b/z/f5", ""}});
    CompareList list;
    TTreeScanner scanner(list);
    std::vector<std::pair<std::string, std::size_t>> calls;
    scanner.OnDirectory = [&](const std::string& folder) {
        calls.emplace_back(folder, list.size());
        return false;
    };
    std::string error;
    ASSERT_TRUE(scanner.Scan(tree.root(), true, error));
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0], std::make_pair(tree.root(), std::size_t{1}));
    // Depth first: once a folder is entered, everything below it comes before its next sibling.
    std::vector<std::string> order;
    for (std::size_t i = 1; i < calls.size(); ++i)
        order.push_back(calls[i].first.substr(tree.root().size()));
    const bool aFirst = order[0] == "a/";
    const Keys expected =
        aFirst ? Keys{"a/", "a/x/", "a/x/y/", "b/", "b/z/"} : Keys{"b/", "b/z/", "a/", "a/x/", "a/x/y/"};
    EXPECT_EQ(order, expected);
    // Each folder's own file is in the list when its event comes.
    for (std::size_t i = 1; i < calls.size(); ++i)
        EXPECT_EQ(calls[i].second, i + 1);
}

TEST(TreeScanner, WithoutRecursionOnlyTheFolderItself) {
    TestTree tree({{"a.txt", ""}, {"sub/b.txt", ""}});
    CompareList list;
    TTreeScanner scanner(list);
    int calls = 0;
    scanner.OnDirectory = [&](const std::string&) { return ++calls, false; };
    std::string error;
    ASSERT_TRUE(scanner.Scan(tree.root(), false, error));
    EXPECT_EQ(keysOf(list), (Keys{"/a.txt"}));
    EXPECT_EQ(calls, 1);
}

TEST(TreeScanner, ExcludedFolderKeysMatchWholeFoldersExactly) {
    TestTree tree({{"a/b/in.txt", ""}, {"a/b/c/deep.txt", ""}, {"a/bc/kept.txt", ""}, {"a/B/kept.txt", ""}});
    const KeySet excluded{"/a/b/", "/b/", "a/bc/"};
    EXPECT_EQ(scanCompare(tree.root(), true, "*", "", &excluded).keys,
              (Keys{"/a/B/kept.txt", "/a/bc/kept.txt"}));
}

TEST(TreeScanner, StoredEntriesGetTheirNewSide) {
    TestTree tree({{"known.txt", "abc"}, {"new.txt", ""}});
    CompareList list;
    list["/known.txt"].Old = std::make_unique<TFileDetails>(TFileDetails{1, "HASH", 0});
    list["/gone.txt"].Old = std::make_unique<TFileDetails>(TFileDetails{2, "", 0});
    std::string error;
    ASSERT_TRUE(TTreeScanner(list).Scan(tree.root(), true, error));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.at("/known.txt").Old->Hash, "HASH");
    EXPECT_EQ(list.at("/known.txt").New->Size, 3);
    EXPECT_EQ(list.at("/new.txt").Old, nullptr);
    EXPECT_NE(list.at("/new.txt").New, nullptr);
    EXPECT_EQ(list.at("/gone.txt").New, nullptr);
    // A second scan into the same list replaces (and releases) the New sides.
    tree.add({"known.txt", "abcdef"});
    ASSERT_TRUE(TTreeScanner(list).Scan(tree.root(), true, error));
    EXPECT_EQ(list.at("/known.txt").New->Size, 6);
}

TEST(TreeScanner, SpecialEntriesAndLinks) {
    TestTree tree({{"plain.txt", "12"}, {"sub/inner.txt", "1"}});
    ASSERT_EQ(mkfifo(tree.path("fifo").c_str(), 0600), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = tree.path("sock");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    tree.symlink("nowhere", "dangling");
    tree.symlink("..", "sub/loop");        // a folder link that would loop forever
    tree.symlink("plain.txt", "link.txt"); // file links are followed
    tree.symlink("/dev/null", "device");
    tree.symlink("sub", "folderlink"); // folder links are not entered
    tree.symlink("sub/loop", "self");
    const ScanResult result = scanCompare(tree.root(), true);
    close(sock);
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.keys, (Keys{"/link.txt", "/plain.txt", "/sub/inner.txt"}));
}

TEST(TreeScanner, StartingFolderMayBeALink) {
    TestTree tree({{"real/a.txt", ""}});
    tree.symlink("real", "alias");
    EXPECT_EQ(scanCompare(tree.path("alias"), true).keys, (Keys{"/a.txt"}));
}

TEST(TreeScanner, LargeFilesKeepTheirTrueSize) {
    TestTree tree;
    const std::int64_t sizes[] = {std::int64_t{1} << 31, (std::int64_t{1} << 32) + 10, std::int64_t{3} << 30};
    for (std::int64_t size : sizes) {
        const std::string name = tree.path("sparse" + std::to_string(size));
        const int fd = open(name.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, size), 0);
        close(fd);
    }
    CompareList list;
    std::string error;
    ASSERT_TRUE(TTreeScanner(list).Scan(tree.root(), false, error));
    for (std::int64_t size : sizes)
        EXPECT_EQ(list.at("/sparse" + std::to_string(size)).New->Size, size);
}

TEST(TreeScanner, EmptyFolderTextIsAnError) {
    CompareList list;
    std::string error;
    EXPECT_FALSE(TTreeScanner(list).Scan("", true, error));
    EXPECT_EQ(error, "Internal errror: There is no directory/file to scan");
}

TEST(TreeScanner, UnlistableSubFolderEndsTheScanAfterOneRetry) {
    TestTree tree({{"a/b/c.txt", ""}, {"a/early.txt", ""}, {"top.txt", ""}});
    FailingFileSystem files;
    files.failures[tree.path("a/b/")] = {EACCES, -1};
    FakeClock clock;
    CompareList list;
    TTreeScanner scanner(list, &files, &clock);
    Keys events;
    scanner.OnDirectory = [&](const std::string& folder) { return events.push_back(folder), false; };
    std::string error;
    EXPECT_FALSE(scanner.Scan(tree.root(), true, error));
    EXPECT_EQ(error, "Error scanning \"" + tree.path("a/b/") + "\" : Permission denied");
    EXPECT_FALSE(scanner.Aborted());
    EXPECT_EQ(clock.sleeps, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(5000)}));
    EXPECT_EQ(std::count(files.opened.begin(), files.opened.end(), tree.path("a/b/")), 2);
    EXPECT_EQ(keysOf(list), (Keys{"/a/early.txt", "/top.txt"})); // found before the failure
    EXPECT_EQ(events.back(), tree.path("a/b/"));                 // reported also after the failure
}

TEST(TreeScanner, ListingThatWorksOnTheRetryGoesOn) {
    TestTree tree({{"a/b/c.txt", ""}});
    FailingFileSystem files;
    files.failures[tree.path("a/")] = {EMFILE, 1};
    FakeClock clock;
    CompareList list;
    std::string error;
    EXPECT_TRUE(TTreeScanner(list, &files, &clock).Scan(tree.root(), true, error)) << error;
    EXPECT_EQ(clock.sleeps.size(), 1u);
    EXPECT_EQ(keysOf(list), (Keys{"/a/b/c.txt"}));
}

TEST(TreeScanner, MissingOrNonFolderRootIsReported) {
    TestTree tree({{"file.txt", ""}});
    FakeClock clock;
    CompareList list;
    std::string error;
    EXPECT_FALSE(TTreeScanner(list, nullptr, &clock).Scan(tree.path("missing"), true, error));
    EXPECT_EQ(error, "Error scanning \"" + tree.path("missing/") + "\" : No such file or directory");
    EXPECT_FALSE(TTreeScanner(list, nullptr, &clock).Scan(tree.path("file.txt"), true, error));
    EXPECT_EQ(error, "Error scanning \"" + tree.path("file.txt/") + "\" : Not a directory");
    EXPECT_EQ(clock.sleeps.size(), 2u);
}

TEST(TreeScanner, AbortFromTheFolderEventStopsBeforeSubFolders) {
    TestTree tree({{"a.txt", ""}, {"sub/b.txt", ""}});
    CompareList list;
    TTreeScanner scanner(list);
    scanner.OnDirectory = [](const std::string&) { return true; };
    std::string error;
    EXPECT_FALSE(scanner.Scan(tree.root(), true, error));
    EXPECT_EQ(error, "");
    EXPECT_TRUE(scanner.Aborted());
    EXPECT_EQ(keysOf(list), (Keys{"/a.txt"}));
}

TEST(TreeScanner, SubFolderGoneBeforeItsTurnIsLeftOut) {
    TestTree tree({{"top.txt", ""},
                   {"a/kept.txt", ""},
                   {"a/gone/x.txt", ""},
                   {"a/gone/deeper/y.txt", ""},
                   {"a/filenow/z.txt", ""},
                   {"a/linknow/w.txt", ""},
                   {"b/kept.txt", ""}});
    FakeClock clock;
    CompareList list;
    TTreeScanner scanner(list, nullptr, &clock);
    Keys events;
    // Between the listing of "a" and the descent into its sub-folders, one is removed, one becomes a
    // file and one a link to a folder.
    scanner.OnDirectory = [&](const std::string& folder) {
        events.push_back(folder.substr(tree.root().size()));
        if (folder == tree.path("a/")) {
            std::filesystem::remove_all(tree.path("a/gone"));
            std::filesystem::remove_all(tree.path("a/filenow"));
            tree.add({"a/filenow", "now a file"});
            std::filesystem::remove_all(tree.path("a/linknow"));
            tree.symlink("../b", "a/linknow");
        }
        return false;
    };
    std::string error;
    EXPECT_TRUE(scanner.Scan(tree.root(), true, error)) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(keysOf(list), (Keys{"/a/kept.txt", "/b/kept.txt", "/top.txt"}));
    EXPECT_TRUE(clock.sleeps.empty()); // no retry for a folder that is gone
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (Keys{"", "a/", "b/"}));

    // Any other failure still ends the scan, and a missing starting folder is still an error.
    FailingFileSystem files;
    files.failures[tree.path("b/")] = {EIO, -1};
    CompareList failed;
    EXPECT_FALSE(TTreeScanner(failed, &files, &clock).Scan(tree.root(), true, error));
    EXPECT_EQ(error, "Error scanning \"" + tree.path("b/") + "\" : Input/output error");
    files.failures[tree.root()] = {ENOENT, -1};
    EXPECT_FALSE(TTreeScanner(failed, &files, &clock).Scan(tree.root(), true, error));
    EXPECT_EQ(error, "Error scanning \"" + tree.root() + "\" : No such file or directory");
}

TEST(TreeScanner, TreesDeeperThanThePathLimit) {
    TestTree tree({{"top.txt", ""}});
    const int depth = 40;
    const std::string chain = halcyra::testing::buildDeepTree(tree.root(), depth, 200, {{"leaf.txt", "12"}});
    const std::string leaf = "/" + chain + "leaf.txt";
    ASSERT_GT(tree.root().size() + leaf.size(), std::size_t{PATH_MAX});

    CompareList compared;
    std::string error;
    ASSERT_TRUE(TTreeScanner(compared).Scan(tree.root(), true, error)) << error;
    EXPECT_EQ(keysOf(compared), (Keys{leaf, "/top.txt"}));
    EXPECT_EQ(compared.at(leaf).New->Size, 2);
    PlainList plain;
    ASSERT_TRUE(TTreeScanner(plain).Scan(tree.root(), true, error)) << error;
    EXPECT_EQ(keysOf(plain), (Keys{tree.root() + chain + "leaf.txt", tree.path("top.txt")}));
    // A starting folder beyond the limit.
    const std::string below = chain.substr(0, 201 * 30);
    ASSERT_GT(tree.root().size() + below.size(), std::size_t{PATH_MAX});
    CompareList deeper;
    ASSERT_TRUE(TTreeScanner(deeper).Scan(tree.root() + below, true, error)) << error;
    EXPECT_EQ(keysOf(deeper), (Keys{"/" + chain.substr(below.size()) + "leaf.txt"}));

    SubFolderList folders;
    TTreeScanner::ListSubFolders(tree.root(), &folders);
    ASSERT_EQ(folders.size(), static_cast<std::size_t>(depth));
    EXPECT_EQ(folders.rbegin()->first, "/" + chain);
    EXPECT_EQ(folders.rbegin()->second, depth - 1);
}

TEST(TreeScanner, DeepWalksKeepFewFoldersOpenAndReturnToClosedOnes) {
    const std::string root = "/deep/";
    const std::size_t depth = 100;
    ChainFileSystem files(root.size(), depth, true);
    CompareList list;
    std::string error;
    ASSERT_TRUE(TTreeScanner(list, &files).Scan(root, true, error)) << error;
    // Each chain level's file, and the file of each level's sibling folder, visited after the chain.
    std::size_t siblings = 0;
    for (const auto& entry : list)
        siblings += entry.first.size() >= 4 && entry.first.compare(entry.first.size() - 4, 4, "/s/f") == 0;
    EXPECT_EQ(list.size(), 2 * depth + 1);
    EXPECT_EQ(siblings, depth);
    EXPECT_EQ(list.count("/d/d/d/s/f"), 1u);
    EXPECT_LE(files.mostAlive, 40u);
    EXPECT_GT(files.opens, 2 * depth + 1); // closed levels were opened again

    SubFolderList folders;
    TTreeScanner::ListSubFolders(root, &folders, {}, &files);
    EXPECT_EQ(folders.size(), 2 * depth);
    EXPECT_EQ(folders.at("/d/d/s/"), 2);
}

TEST(TreeScanner, VeryDeepTreesDoNotExhaustTheStack) {
    const std::string root = "/deep/";
    const std::size_t depth = 300000;
    ChainFileSystem files(root.size(), depth);
    CompareList list;
    TTreeScanner scanner(list, &files);
    scanner.SetIncludeMasks(""); // keys of every level would take depth squared bytes
    std::size_t folders = 0;
    std::size_t deepest = 0;
    scanner.OnDirectory = [&](const std::string& folder) {
        deepest = std::max(deepest, folder.size());
        return ++folders, false;
    };
    std::string error;
    ASSERT_TRUE(scanner.Scan(root, true, error));
    EXPECT_EQ(folders, depth + 1);
    EXPECT_EQ(deepest, root.size() + 2 * depth);

    ChainFileSystem shallower(root.size(), 3000);
    SubFolderList subFolders;
    TTreeScanner::ListSubFolders(root, &subFolders, {}, &shallower);
    EXPECT_EQ(subFolders.size(), 3000u);
    EXPECT_EQ(subFolders.rbegin()->second, 2999);
}

TEST(TreeScanner, MarkEntriesMarksExactKeysAndCountsThem) {
    CompareList list;
    for (const char* key : {"/a.txt", "/A.txt", "/sub/b.txt"})
        list[key].New = std::make_unique<TFileDetails>();
    list["/a.txt"].Excluded = true;
    EXPECT_EQ(TTreeScanner::MarkEntries(KeySet{}, list), 0);
    for (const auto& entry : list)
        EXPECT_FALSE(entry.second.Excluded);
    EXPECT_EQ(TTreeScanner::MarkEntries(Keys{"/A.txt", "/sub/b.txt", "/missing", "/A.txt"}, list), 3);
    EXPECT_FALSE(list["/a.txt"].Excluded);
    EXPECT_TRUE(list["/A.txt"].Excluded);
    EXPECT_TRUE(list["/sub/b.txt"].Excluded);
}

TEST(TreeScanner, FreeFileListDisposesAndAcceptsNull) {
    std::unique_ptr<CompareList> list;
    EXPECT_TRUE(TTreeScanner::FreeFileList(list));
    list = std::make_unique<CompareList>();
    (*list)["/x"].Old = std::make_unique<TFileDetails>();
    (*list)["/x"].New = std::make_unique<TFileDetails>();
    EXPECT_TRUE(TTreeScanner::FreeFileList(list));
    EXPECT_EQ(list, nullptr);
}

TEST(ListSubFolders, EveryFolderWithItsDepthParentsFirst) {
    TestTree tree({{"a/x/", ""}, {"b/", ""}, {"A/", ""}, {"A/x/q/", ""}, {"b/file", ""}});
    tree.symlink("a", "link");
    SubFolderList list;
    Keys progress;
    TTreeScanner::ListSubFolders(tree.path(""), &list,
                                 [&](const std::string& rel) { progress.push_back(rel); });
    const SubFolderList expected{{"/A/", 0}, {"/A/x/", 1}, {"/A/x/q/", 2},
                                 {"/a/", 0}, {"/a/x/", 1}, {"/b/", 0}};
    EXPECT_EQ(keysOf(list), keysOf(expected));
    EXPECT_EQ(list, expected);
    std::sort(progress.begin(), progress.end());
    EXPECT_EQ(progress, (Keys{"", "A/", "A/x/", "A/x/q/", "a/", "a/x/", "b/"}));
}

TEST(ListSubFolders, NullListOrUnlistableRootGivesNothing) {
    TestTree tree({{"a/", ""}});
    TTreeScanner::ListSubFolders(tree.root(), nullptr);
    SubFolderList list;
    TTreeScanner::ListSubFolders(tree.path("missing"), &list);
    EXPECT_TRUE(list.empty());
    FailingFileSystem files;
    files.failures[tree.path("a/")] = {EACCES, -1};
    tree.add({"a/b/", ""});
    TTreeScanner::ListSubFolders(tree.root(), &list, {}, &files);
    EXPECT_EQ(keysOf(list), (Keys{"/a/"}));
}
