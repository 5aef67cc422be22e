#include "detection/FileSettings.h"

#include "base/IOStream.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <limits>
#include <sys/resource.h>

using namespace halcyra;
using Keys = std::vector<std::string>;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

TFileCompare stored(std::int64_t size, std::string hash, TDateTimeSecs dateTime) {
    TFileCompare entry;
    entry.Old = std::make_unique<TFileDetails>(TFileDetails{size, std::move(hash), dateTime});
    return entry;
}

TFileCompare found(std::int64_t size, std::string hash, TDateTimeSecs dateTime) {
    TFileCompare entry;
    entry.New = std::make_unique<TFileDetails>(TFileDetails{size, std::move(hash), dateTime});
    return entry;
}

Keys keysOf(const CompareList& list) {
    Keys keys;
    for (const auto& entry : list)
        keys.push_back(entry.first);
    return keys;
}

class FileSettingsTest : public halcyra::test::DataFolderTest {
protected:
    // Loads the results of `profile` into a fresh list; returns the error text.
    std::string load(const std::string& profile, CompareList& list, const KeySet* excludedDirs = nullptr) {
        std::string error = "stale";
        TFileSettings::LoadResults(profile, excludedDirs, &list, error);
        return error;
    }
    std::string save(const std::string& profile, CompareList& list, bool useOld = false) {
        std::string error = "stale";
        TFileSettings::SaveResults(profile, &list, useOld, error);
        return error;
    }
    Keys dataFolderNames() const {
        Keys names;
        for (const auto& item : std::filesystem::directory_iterator(dataPath("")))
            names.push_back(item.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace

TEST_F(FileSettingsTest, FileNamesLieInTheDataFolder) {
    EXPECT_EQ(TFileSettings::ResultsFileName("Daily"), dataPath("Daily.txt"));
    EXPECT_EQ(TFileSettings::ExclusionFileName("Daily"), dataPath("Daily_excl.txt"));
    EXPECT_EQ(TFileSettings::ExclusionDirFileName("Daily"), dataPath("Daily_excl_dir.txt"));
    EXPECT_EQ(TFileSettings::GlobalExclusionFileName(), dataPath("Halcyra_Excl.txt"));
    for (const std::string& unsafe :
         Keys{"", ".", "..", "a/b", std::string("a\0b", 3), std::string(201, 'p')}) {
        EXPECT_EQ(TFileSettings::ResultsFileName(unsafe), "");
        EXPECT_EQ(TFileSettings::ExclusionFileName(unsafe), "");
        EXPECT_EQ(TFileSettings::ExclusionDirFileName(unsafe), "");
    }
}

TEST_F(FileSettingsTest, UnsafeProfileNamesAreRefusedWithTheFileTexts) {
    CompareList list;
    KeySet keys{"/a"};
    std::string error;
    EXPECT_EQ(load("../escape", list), "Cannot open the results file. Exception raised: "
                                       "The profile name cannot be used in a file name");
    EXPECT_EQ(save("..", list), "Cannot create the results file. Exception raised: "
                                "The profile name cannot be used in a file name");
    TFileSettings::LoadExclusions("", &keys, error);
    EXPECT_EQ(error, "Cannot open the exclusion file. Exception raised: "
                     "The profile name cannot be used in a file name");
    TFileSettings::SaveExclusionDirs("a/b", &keys, error);
    EXPECT_EQ(error, "Cannot create the exclusion file. Exception raised: "
                     "The profile name cannot be used in a file name");
    EXPECT_EQ(dataFolderNames(), Keys{});
}

TEST_F(FileSettingsTest, MissingEmptyOrHeaderOnlyResultsGiveNoEntries) {
    CompareList list;
    list["/kept"] = stored(1, "", 0);
    EXPECT_EQ(load("First", list), "");
    EXPECT_EQ(keysOf(list), Keys{"/kept"});
    writeFile(dataPath("Empty.txt"), "");
    writeFile(dataPath("Header.txt"), "!/:\r\n");
    CompareList other;
    EXPECT_EQ(load("Empty", other), "");
    EXPECT_EQ(load("Header", other), "");
    EXPECT_TRUE(other.empty());
    std::string error = "stale";
    TFileSettings::LoadResults("First", nullptr, nullptr, error);
    EXPECT_EQ(error, "Internal error: CompareList is not allocated");
    TFileSettings::SaveResults("First", nullptr, false, error);
    EXPECT_EQ(error, "Internal error: CompareList is not allocated");
}

TEST_F(FileSettingsTest, HostileNamesSizesAndDatesRoundTrip) {
    const std::vector<std::string> names{"/O'Brien's notes.txt",
                                         "/line\nfeed",
                                         "/carriage\rreturn",
                                         "/star*name",
                                         "/quote\"name",
                                         "/greater>name",
                                         "/less<name",
                                         "/literal<3E>escape",
                                         "/ lead and trail ",
                                         "/tab\there",
                                         "/bytes\xFF\xFE\x01\x7F",
                                         "/A.txt",
                                         "/a.txt",
                                         "/sub dir/x.y",
                                         "/nul\0inside",
                                         "/-"};
    const std::int64_t sizes[] = {0,
                                  1,
                                  -2147483648LL,
                                  std::int64_t{3} << 30,
                                  std::numeric_limits<std::int64_t>::max(),
                                  std::numeric_limits<std::int64_t>::min()};
    const TDateTimeSecs dates[] = {
        0, -2, 1700000001, MinDateTimeSecs, MaxDateTimeSecs, toDateTimeSecs({3000, 1, 1, 0, 0, 0})};
    CompareList list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string name = names[i];
        if (name.rfind("/nul", 0) == 0)
            name = std::string("/nul\0inside", 11);
        list[name] = found(sizes[i % 6], i % 3 == 0 ? "" : "HASH" + std::to_string(i), dates[i % 6]);
    }
    list["/gone"] = stored(5, "OLD", 0); // deleted: no New side, left out
    ASSERT_EQ(save("Round", list), "");

    const std::string text = readFile(dataPath("Round.txt"));
    EXPECT_EQ(text.rfind("!/:\n", 0), 0u);
    EXPECT_NE(text.find("/O'Brien's notes.txt*"), std::string::npos); // apostrophes are written as they are
    EXPECT_NE(text.find("/star<2A>name*"), std::string::npos);
    EXPECT_NE(text.find("/line<0A>feed*"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(names.size() + 1));

    CompareList loaded;
    ASSERT_EQ(load("Round", loaded), "");
    ASSERT_EQ(loaded.size(), names.size());
    for (const auto& [key, entry] : list) {
        if (!entry.New)
            continue;
        ASSERT_TRUE(loaded.count(key)) << key;
        const TFileCompare& back = loaded.at(key);
        EXPECT_EQ(back.New, nullptr);
        ASSERT_NE(back.Old, nullptr);
        EXPECT_EQ(back.Old->Size, entry.New->Size) << key;
        EXPECT_EQ(back.Old->Hash, entry.New->Hash) << key;
        EXPECT_EQ(back.Old->DateTime, entry.New->DateTime) << key;
        EXPECT_FALSE(back.Excluded);
        EXPECT_EQ(back.Status, 0);
    }
}

TEST_F(FileSettingsTest, EmptyHashKeepsTheStoredOne) {
    CompareList list;
    list["/rehashed"] = stored(1, "OLDHASH", 0);
    list["/rehashed"].New = std::make_unique<TFileDetails>(TFileDetails{1, "NEWHASH", 0});
    list["/unhashed"] = stored(1, "KNOWN", 0);
    list["/unhashed"].New = std::make_unique<TFileDetails>(TFileDetails{2, "", 2});
    list["/fresh"] = found(3, "", 4);
    ASSERT_EQ(save("Hashes", list), "");
    EXPECT_EQ(list["/unhashed"].New->Hash, "KNOWN");
    EXPECT_EQ(readFile(dataPath("Hashes.txt")), "!/:\n"
                                                "/fresh*3*-*01/01/1970 00:00:04\n"
                                                "/rehashed*1*NEWHASH*01/01/1970 00:00:00\n"
                                                "/unhashed*2*KNOWN*01/01/1970 00:00:02\n");
    CompareList loaded;
    ASSERT_EQ(load("Hashes", loaded), "");
    EXPECT_EQ(loaded.at("/fresh").Old->Hash, "");
}

TEST_F(FileSettingsTest, StoredSideCanBeWrittenInstead) {
    CompareList list;
    list["/both"] = stored(1, "H1", 0);
    list["/both"].New = std::make_unique<TFileDetails>(TFileDetails{9, "H9", 0});
    list["/new only"] = found(2, "H2", 0);
    list["/old only"] = stored(3, "", 0);
    ASSERT_EQ(save("Old", list, true), "");
    EXPECT_EQ(readFile(dataPath("Old.txt")), "!/:\n"
                                             "/both*1*H1*01/01/1970 00:00:00\n"
                                             "/old only*3*-*01/01/1970 00:00:00\n");
}

TEST_F(FileSettingsTest, ReaderTakesForeignSeparatorsLineEndsAndJunk) {
    writeFile(dataPath("Foreign.txt"), "!.:\r\n"
                                       "/dot.txt*10*AB*05.03.2024 14:07:09\r\n"
                                       "\r\n"
                                       "/three*1*x\n"
                                       "/five*1*x*05.03.2024 14:07:09*extra\n"
                                       "**/empty fields*2**-***05.03.2024 14:07:10*\n"
                                       "!-.\n"
                                       "/dash.txt*11*-*06-03-2024 01.02.03\n"
                                       "/dot.txt*99*DUP*06-03-2024 01.02.03\n"
                                       "/lone\rcr*12*-*06-03-2024 01.02.03\n"
                                       "/\"quoted*star\"*13*-*06-03-2024 01.02.03\n"
                                       "/last*14*-*06-03-2024 01.02.04");
    CompareList list;
    ASSERT_EQ(load("Foreign", list), "");
    EXPECT_EQ(keysOf(list),
              (Keys{"/\"quoted*star\"", "/dash.txt", "/dot.txt", "/empty fields", "/last", "/lonecr"}));
    EXPECT_EQ(list.at("/dot.txt").Old->DateTime, toDateTimeSecs({2024, 3, 5, 14, 7, 9}));
    EXPECT_EQ(list.at("/dot.txt").Old->Size, 10); // the first line of a key wins
    EXPECT_EQ(list.at("/dash.txt").Old->DateTime, toDateTimeSecs({2024, 3, 6, 1, 2, 3}));
    EXPECT_EQ(list.at("/empty fields").Old->Hash, "");
    EXPECT_EQ(list.at("/last").Old->Size, 14);

    writeFile(dataPath("NoHeader.txt"), "/a*1*-*31/12/2023 23:59:58\n");
    CompareList plain;
    ASSERT_EQ(load("NoHeader", plain), "");
    EXPECT_EQ(plain.at("/a").Old->DateTime, toDateTimeSecs({2023, 12, 31, 23, 59, 58}));
}

TEST_F(FileSettingsTest, BadNumbersAndDatesEndTheReading) {
    const std::pair<std::string, std::string> cases[] = {
        {"12x", "'12x' is not a valid integer value"},
        {" 12", "' 12' is not a valid integer value"},
        {"9223372036854775808", "'9223372036854775808' is not a valid integer value"},
        {"-", "'-' is not a valid integer value"},
        {"0x10", "'0x10' is not a valid integer value"},
        // Bytes quoted from the file cannot forge a line or drive a terminal.
        {"1\x1B[2J\x7F<", "'1<1B>[2J<7F><3C>' is not a valid integer value"},
    };
    for (const auto& [size, message] : cases) {
        writeFile(dataPath("Bad.txt"), "!/:\n/before*1*-*01/01/2024 00:00:00\n/bad*" + size +
                                           "*-*01/01/2024 00:00:00\n/after*1*-*01/01/2024 00:00:00\n");
        CompareList list;
        EXPECT_EQ(load("Bad", list), "Exception raised reading the results file: " + message);
        EXPECT_EQ(keysOf(list), Keys{"/before"});
    }
    writeFile(dataPath("BadDate.txt"), "/before*-9223372036854775808*-*01/01/2024 00:00:00\n"
                                       "/bad*1*-*32/01/2024 00:00:00\n");
    CompareList list;
    EXPECT_EQ(
        load("BadDate", list),
        "Exception raised reading the results file: '32/01/2024 00:00:00' is not a valid date and time");
    EXPECT_EQ(list.at("/before").Old->Size, std::numeric_limits<std::int64_t>::min());
}

TEST_F(FileSettingsTest, ExcludedFoldersDropOnlyTheirOwnFiles) {
    writeFile(dataPath("Dirs.txt"), "!/:\n"
                                    "/a/b/c.txt*1*-*01/01/2024 00:00:00\n"
                                    "/a/b/x/c.txt*1*-*01/01/2024 00:00:00\n"
                                    "/A/B/c.txt*1*-*01/01/2024 00:00:00\n"
                                    "/top.txt*1*-*01/01/2024 00:00:00\n");
    const KeySet excluded{"/a/b/"};
    CompareList list;
    ASSERT_EQ(load("Dirs", list, &excluded), "");
    EXPECT_EQ(keysOf(list), (Keys{"/A/B/c.txt", "/a/b/x/c.txt", "/top.txt"}));
}

TEST_F(FileSettingsTest, LineLengthIsBoundedOnReadAndWrite) {
    const std::string key = "/" + std::string(300000, 'k');
    CompareList list;
    list[key] = found(1, "H", 0);
    list["/short"] = found(2, "H", 0);
    ASSERT_EQ(save("Long", list), "");
    CompareList loaded;
    ASSERT_EQ(load("Long", loaded), "");
    EXPECT_EQ(keysOf(loaded), (Keys{key, "/short"}));

    // Up to 1 MiB a line, its line end not counted; one byte more ends the reading.
    const std::string limit(1 << 20, 'x');
    const std::string good = "/a*1*-*01/01/2024 00:00:00\n";
    const std::string tooLong =
        "Exception raised reading the results file: A line is longer than 1048576 bytes";
    const std::pair<std::string, std::string> cases[] = {
        {good + limit + "\r\n" + good, ""},     {good + limit, ""},
        {good + limit + "y\n" + good, tooLong}, {good + limit + "\r\r\n", tooLong},
        {good + limit + "y", tooLong},
    };
    for (const auto& [text, error] : cases) {
        writeFile(dataPath("Huge.txt"), text);
        CompareList entries;
        EXPECT_EQ(load("Huge", entries), error);
        EXPECT_EQ(keysOf(entries), Keys{"/a"});
    }
    writeFile(dataPath("Huge_excl.txt"), "/kept\n" + limit + "y\n/after\n");
    KeySet keys;
    std::string error;
    TFileSettings::LoadExclusions("Huge", &keys, error);
    EXPECT_EQ(error,
              "An exception was raised reading the exclusion file: A line is longer than 1048576 bytes");
    EXPECT_EQ(keys, KeySet{"/kept"});

    // A file of 4 GiB without a line end is not read whole.
    const int fd = open(dataPath("Sparse.txt").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t{4} << 30), 0);
    close(fd);
    CompareList none;
    EXPECT_EQ(load("Sparse", none), tooLong);

    // What could not be read back is never written: the stored files stay as they were.
    const std::string before = readFile(dataPath("Long.txt"));
    CompareList huge;
    huge["/" + limit] = found(1, "H", 0);
    EXPECT_EQ(save("Long", huge),
              "An exception was raised writing to the results file: A line is longer than 1048576 bytes");
    EXPECT_EQ(readFile(dataPath("Long.txt")), before);
    const KeySet hugeKeys{"/" + limit};
    TFileSettings::SaveExclusions("Long", &hugeKeys, error);
    EXPECT_EQ(error,
              "An exception was raised writing to the exclusion file: A line is longer than 1048576 bytes");
    EXPECT_FALSE(fileExists(dataPath("Long_excl.txt")));
}

TEST_F(FileSettingsTest, StoresRemoveOnlyTheirOwnStaleTemporaryFiles) {
    const Keys stale = {"Daily.txt.tmpAbC123", "Daily.txt.tmp000000"};
    const Keys others = {"Daily.txt.tmpAbC12",
                         "Daily.txt.tmpAbC1234",
                         "Daily.txt.tmp-bC123",
                         "Daily.txt.tmpAb.123",
                         "Other.txt.tmpAbC123",
                         "daily.txt.tmpAbC123",
                         "Daily.txt.tmpLinkk1",
                         "Daily.txt.tmpDirxx1",
                         "Daily_excl.txt.tmpAbC123",
                         "XDaily.txt.tmpAbC123",
                         "Daily.txt"};
    for (const std::string& name : stale)
        writeFile(dataPath(name), "partial");
    for (const std::string& name : others)
        writeFile(dataPath(name), "other");
    std::filesystem::remove(dataPath("Daily.txt.tmpLinkk1"));
    ASSERT_EQ(symlink(dataPath("Daily.txt").c_str(), dataPath("Daily.txt.tmpLinkk1").c_str()), 0);
    std::filesystem::remove(dataPath("Daily.txt.tmpDirxx1"));
    std::filesystem::create_directory(dataPath("Daily.txt.tmpDirxx1"));
    // A writer of the same file that is still at work keeps its temporary file.
    AtomicLineWriter busy(dataPath("Daily.txt"));
    ASSERT_TRUE(busy.open());
    ASSERT_TRUE(busy.writeLine("busy"));

    CompareList list;
    list["/a"] = found(1, "H", 0);
    ASSERT_EQ(save("Daily", list), "");
    Keys left = dataFolderNames();
    for (const std::string& name : others)
        EXPECT_EQ(std::count(left.begin(), left.end(), name), 1) << name;
    left.erase(std::remove_if(left.begin(), left.end(),
                              [&](const std::string& name) {
                                  return std::find(others.begin(), others.end(), name) != others.end();
                              }),
               left.end());
    ASSERT_EQ(left.size(), 1u); // the busy writer's file
    EXPECT_EQ(left[0].substr(0, 13), "Daily.txt.tmp");
    EXPECT_EQ(readFile(dataPath("Daily.txt.tmpAbC12")), "other");
    EXPECT_EQ(readFile(dataPath("Daily.txt.tmpLinkk1")), readFile(dataPath("Daily.txt")));

    // The exclusion list's own store removes its own.
    const KeySet keys{"/x"};
    std::string error;
    TFileSettings::SaveExclusions("Daily", &keys, error);
    ASSERT_EQ(error, "");
    EXPECT_FALSE(fileExists(dataPath("Daily_excl.txt.tmpAbC123")));
    ASSERT_TRUE(busy.commit());
    EXPECT_EQ(readFile(dataPath("Daily.txt")), "busy\n");
}

TEST_F(FileSettingsTest, FailedWriteLeavesThePreviousResults) {
    CompareList small;
    small["/old"] = found(1, "H", 0);
    ASSERT_EQ(save("Keep", small), "");
    const std::string before = readFile(dataPath("Keep.txt"));

    CompareList big;
    for (int i = 0; i < 5000; ++i)
        big["/file" + std::to_string(i)] = found(i, "0123456789ABCDEF0123456789ABCDEF", 0);
    // A file-size limit stands in for a full disk (root ignores permissions, not limits).
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tiny = old;
    tiny.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &tiny);
    const std::string error = save("Keep", big);
    KeySet many;
    for (int i = 0; i < 2000; ++i)
        many.insert("/excluded/file" + std::to_string(i));
    std::string listError;
    TFileSettings::SaveExclusions("Keep", &many, listError);
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(error, "An exception was raised writing to the results file: File too large");
    EXPECT_EQ(listError, "An exception was raised writing to the exclusion file: File too large");
    EXPECT_EQ(readFile(dataPath("Keep.txt")), before);
    EXPECT_EQ(dataFolderNames(), Keys{"Keep.txt"}); // no temporary file is left behind
}

TEST_F(FileSettingsTest, FolderInTheWayOfAWriteIsACreateFailure) {
    std::filesystem::create_directories(dataPath("Blocked.txt/inside"));
    CompareList list;
    list["/a"] = found(1, "H", 0);
    EXPECT_EQ(save("Blocked", list), "Cannot create the results file. Exception raised: Is a directory");
    std::filesystem::create_directories(dataPath("Blocked_excl.txt/inside"));
    const KeySet keys{"/a"};
    std::string error;
    TFileSettings::SaveExclusions("Blocked", &keys, error);
    EXPECT_EQ(error, "Cannot create the exclusion file. Exception raised: Is a directory");
    EXPECT_TRUE(std::filesystem::is_directory(dataPath("Blocked.txt/inside")));
    std::filesystem::remove_all(dataPath("Blocked.txt"));
    std::filesystem::remove_all(dataPath("Blocked_excl.txt"));
    EXPECT_EQ(dataFolderNames(), Keys{});
}

TEST_F(FileSettingsTest, UnreadableFilesGiveTheOpenAndReadTexts) {
    ASSERT_EQ(mkfifo(dataPath("Fifo.txt").c_str(), 0600), 0); // must not block
    std::filesystem::create_directory(dataPath("Folder.txt"));
    ASSERT_EQ(symlink("/proc/self/mem", dataPath("Mem.txt").c_str()), 0);
    CompareList list;
    EXPECT_EQ(load("Fifo", list), "Cannot open the results file. Exception raised: Not a regular file");
    EXPECT_EQ(load("Folder", list), "Cannot open the results file. Exception raised: Is a directory");
    EXPECT_EQ(load("Mem", list), "Exception raised reading the results file: Input/output error");

    ASSERT_EQ(symlink("/proc/self/mem", dataPath("Mem_excl.txt").c_str()), 0);
    std::filesystem::create_directory(dataPath("Folder_excl_dir.txt"));
    KeySet keys;
    std::string error;
    TFileSettings::LoadExclusions("Mem", &keys, error);
    EXPECT_EQ(error, "An exception was raised reading the exclusion file: Input/output error");
    TFileSettings::LoadExclusionDirs("Folder", &keys, error);
    EXPECT_EQ(error, "Cannot open the exclusion file. Exception raised: Is a directory");
    // A dangling link is no file at all.
    ASSERT_EQ(symlink("nowhere", dataPath("Dangling_excl.txt").c_str()), 0);
    TFileSettings::LoadExclusions("Dangling", &keys, error);
    EXPECT_EQ(error, "");
}

TEST_F(FileSettingsTest, ExclusionListsRoundTripHostileNames) {
    const KeySet keys{"/plain.txt",
                      "/ leading",
                      "/trailing ",
                      "/line\nfeed",
                      "/less<than",
                      "/tab\t",
                      "/A.txt",
                      "/a.txt",
                      "/O'Brien",
                      "/star*\"quote\">",
                      ""};
    std::string error = "stale";
    TFileSettings::SaveExclusions("Hostile", &keys, error);
    ASSERT_EQ(error, "");
    TFileSettings::SaveExclusionDirs("Hostile", &keys, error);
    ASSERT_EQ(error, "");
    const std::string text = readFile(dataPath("Hostile_excl.txt"));
    EXPECT_NE(text.find("\n/trailing<20>\n"), std::string::npos);
    EXPECT_NE(text.find("\n/star*\"quote\">\n"), std::string::npos);
    KeySet back;
    TFileSettings::LoadExclusions("Hostile", &back, error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(back, keys);
    KeySet dirs;
    TFileSettings::LoadExclusionDirs("Hostile", &dirs, error);
    EXPECT_EQ(dirs, keys);
}

TEST_F(FileSettingsTest, ExclusionListsAppendTrimAndKeepOrNot) {
    writeFile(dataPath("Trim_excl.txt"), "  /a.txt \r\n\t/b.txt\r\n\n/c.txt\x01");
    std::vector<std::string> unsorted{"/first"};
    std::string error;
    TFileSettings::LoadListFromFile(TFileSettings::ExclusionFileName("Trim"), &unsorted, error);
    TFileSettings::LoadListFromFile(TFileSettings::ExclusionFileName("Trim"), &unsorted, error);
    EXPECT_EQ(unsorted, (Keys{"/first", "/a.txt", "/b.txt", "", "/c.txt", "/a.txt", "/b.txt", "", "/c.txt"}));
    KeySet sorted{"/z"};
    TFileSettings::LoadExclusions("Trim", &sorted, error);
    TFileSettings::LoadExclusions("Trim", &sorted, error);
    EXPECT_EQ(sorted, (KeySet{"", "/a.txt", "/b.txt", "/c.txt", "/z"}));

    TFileSettings::LoadExclusions("Absent", &sorted, error);
    EXPECT_EQ(error, "");
    TFileSettings::LoadExclusions("Trim", nullptr, error);
    EXPECT_EQ(error, "");

    const KeySet empty;
    TFileSettings::SaveExclusions("Trim", &empty, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(readFile(dataPath("Trim_excl.txt")), "");
    writeFile(dataPath("Trim_excl.txt"), "/kept\n");
    TFileSettings::SaveExclusions("Trim", nullptr, error);
    EXPECT_EQ(readFile(dataPath("Trim_excl.txt")), "/kept\n");
    const std::vector<std::string> ordered{"/z", "/a", "/z"};
    TFileSettings::SaveListToFile(dataPath("Ordered.txt"), &ordered, error);
    EXPECT_EQ(readFile(dataPath("Ordered.txt")), "/z\n/a\n/z\n");

    writeFile(dataPath("Halcyra_Excl.txt"), "C:\\old\\path.txt\r\n/new/path\r\n");
    KeySet global;
    TFileSettings::LoadGlobalExclusions(&global, error);
    EXPECT_EQ(global, (KeySet{"/new/path", "C:\\old\\path.txt"}));
}
