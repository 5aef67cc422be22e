#include "detection/FileSettings.h"
#include "detection/Log.h"
#include "detection/ProfileRunLock.h"

#include "../platform/TestHome.h"
#include "base/Paths.h"
#include "platform/RegistryStore.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

using namespace halcyra;
using halcyra::testing::TestHome;

namespace {

const std::string kRoot(SettingsRootKey);

struct Member {
    std::string name;
    std::string contents;
    mode_t type = 0; // the file type its Unix attributes give, when not 0
};

class ProfileArchiveTest : public ::testing::Test {
protected:
    RegistryStore& store() {
        if (!m_store)
            m_store = RegistryStore::open();
        return *m_store;
    }
    std::string path(const std::string& name) const { return m_home.root() + "/" + name; }
    static void writeFile(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    static std::string readFile(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static bool exists(const std::string& file) {
        struct stat info {};
        return ::lstat(file.c_str(), &info) == 0;
    }
    // The store below the root key and the data folder's file names and contents, as one text.
    std::string state() {
        std::string out;
        for (const RegKeySnapshot& key : store().readTree(kRoot).keys) {
            out += "[" + key.path + "]\n";
            for (const RegValue& value : key.values)
                out += value.name + "=" + value.data + "\n";
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dataFolder()))
            out += entry.path().string() + ":" + readFile(entry.path().string()) + "\n";
        return out;
    }
    void addProfile(const std::string& name, const std::string& type = "1") {
        TSettings settings(kRoot + "\\" + name);
        settings.WriteString("ProfileType", type);
        settings.WriteString("Folder", "/srv/" + name);
    }
    void writeDataFiles(const std::string& name, const std::string& tag) {
        writeFile(TFileSettings::ResultsFileName(name), "results " + tag);
        writeFile(TFileSettings::ExclusionFileName(name), "excl " + tag);
        writeFile(TFileSettings::ExclusionDirFileName(name), "dirs " + tag);
    }
    static std::string regText(const std::string& key, const std::string& values) {
        return "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER" + key + "]\r\n" + values;
    }
    // Writes a ZIP archive with the given comment and members.
    static void makeArchive(const std::string& file, const std::string& comment,
                            const std::vector<Member>& members) {
        int code = 0;
        zip_t* archive = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
        ASSERT_NE(archive, nullptr);
        ASSERT_EQ(zip_set_archive_comment(archive, comment.data(), static_cast<zip_uint16_t>(comment.size())),
                  0);
        for (const Member& member : members) {
            zip_source_t* source =
                zip_source_buffer(archive, member.contents.data(), member.contents.size(), 0);
            const zip_int64_t index = zip_file_add(archive, member.name.c_str(), source, ZIP_FL_ENC_RAW);
            ASSERT_GE(index, 0) << member.name;
            if (member.type != 0)
                zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                                 (member.type | 0777u) << 16);
        }
        ASSERT_EQ(zip_close(archive), 0);
    }
    static std::vector<std::string> memberNames(const std::string& file, std::string* comment = nullptr) {
        std::vector<std::string> names;
        zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY, nullptr);
        if (archive == nullptr)
            return names;
        for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
            names.push_back(zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW));
        if (comment != nullptr)
            *comment = zip_get_archive_comment(archive, nullptr, ZIP_FL_ENC_RAW);
        zip_discard(archive);
        return names;
    }
    bool import(const std::string& file, std::string& error) {
        return TFileSettings::ImportProfile(file, error);
    }

    TestHome m_home;
    std::unique_ptr<RegistryStore> m_store;
};

TEST_F(ProfileArchiveTest, ExportAndImportRoundTripIntoAnEmptyStore) {
    addProfile("Docs");
    store().setValue(kRoot + "\\Docs", "Bin", REG_BINARY, std::string("\0\x01\xFF", 3));
    store().setString(kRoot + "\\Docs", "Exp", "%HOME%/d\xC3\xA9", REG_EXPAND_SZ);
    writeDataFiles("Docs", "1");
    const std::string before = state();
    std::string error;
    ASSERT_TRUE(TFileSettings::ExportProfile("docs", path("backup.hcs"), error)) << error;
    std::string comment;
    EXPECT_EQ(memberNames(path("backup.hcs"), &comment),
              (std::vector<std::string>{"Docs.reg", "Docs.txt", "Docs_excl.txt", "Docs_excl_dir.txt"}));
    EXPECT_EQ(comment, "Docs");

    std::filesystem::remove_all(m_home.root() + "/config");
    std::filesystem::remove_all(dataFolder());
    m_store.reset();
    std::string name;
    ASSERT_TRUE(TFileSettings::CheckProfileFile(path("backup.hcs"), name, error)) << error;
    EXPECT_EQ(name, "Docs");
    ASSERT_TRUE(import(path("backup.hcs"), error)) << error;
    const std::string imported = "Exp=%HOME%/d\xC3\xA9\n";
    EXPECT_EQ(state(),
              std::string(before).insert(before.find(imported) + imported.size(), "LastResult=Imported\n"));

    // A profile that never ran travels as its registry text alone; an older archive's members do not survive.
    addProfile("Fresh");
    std::filesystem::create_directory(TFileSettings::ResultsFileName("Fresh")); // a folder is no results file
    const std::string beforeExports = state();
    makeArchive(path("old.hcs"), "Old", {{"Old.reg", "x"}, {"keep.txt", "y"}});
    ASSERT_TRUE(TFileSettings::ExportProfile("Fresh", path("old.hcs"), error)) << error;
    EXPECT_EQ(memberNames(path("old.hcs"), &comment), std::vector<std::string>{"Fresh.reg"});
    EXPECT_EQ(comment, "Fresh");
    writeFile(path("plain.hcs"), "not an archive");
    EXPECT_TRUE(TFileSettings::ExportProfile("Fresh", path("plain.hcs"), error)) << error;
    EXPECT_EQ(state(), beforeExports); // no temporary left behind

    // A profile removed since the list was read is refused, and nothing is written.
    EXPECT_FALSE(TFileSettings::ExportProfile("Gone", path("gone.hcs"), error));
    EXPECT_EQ(error, "Unable to export the profile \"Gone\". Error is: The profile does not exist.");
    EXPECT_FALSE(exists(path("gone.hcs")));
}

TEST_F(ProfileArchiveTest, ExportNeverWritesIntoTheProgramsOwnFolders) {
    addProfile("Docs");
    writeDataFiles("Other", "keep");
    const std::string before = state();
    const std::string db = readFile(m_home.settingsDb());
    std::string error;
    for (const std::string& target :
         {TFileSettings::ResultsFileName("Other"), TFileSettings::GlobalExclusionFileName(),
          dataFolder() + "Docs.reg", m_home.settingsDb()}) {
        EXPECT_FALSE(TFileSettings::ExportProfile("Docs", target, error)) << target;
        EXPECT_EQ(error,
                  "Unable to export the profile \"Docs\". Error is: A profile file cannot be saved in the "
                  "folder of the program's own files.");
    }
    // The same folders reached by other paths.
    std::filesystem::create_directory_symlink(dataFolder(), path("link"));
    const std::string data = dataFolder();
    for (const std::string& target :
         {path("link") + "/Docs.hcs", data.substr(0, data.size() - 1) + "//Docs.hcs", data + "./Docs.hcs"}) {
        EXPECT_FALSE(TFileSettings::ExportProfile("Docs", target, error)) << target;
        EXPECT_EQ(error,
                  "Unable to export the profile \"Docs\". Error is: A profile file cannot be saved in the "
                  "folder of the program's own files.");
    }
    EXPECT_EQ(state(), before);
    EXPECT_EQ(readFile(m_home.settingsDb()), db);
    EXPECT_FALSE(TFileSettings::ExportProfile("Docs", path("no/folder/x.hcs"), error));
    EXPECT_EQ(error.rfind("Unable to export the profile \"Docs\". Error is: ", 0), 0u) << error;

    // A link is written through (also one that leads into the program's folders, which is refused); a
    // FIFO is never replaced.
    writeFile(path("real.hcs"), "old");
    ::chmod(path("real.hcs").c_str(), 0640);
    ASSERT_EQ(::symlink(path("real.hcs").c_str(), path("link.hcs").c_str()), 0);
    ASSERT_TRUE(TFileSettings::ExportProfile("Docs", path("link.hcs"), error)) << error;
    struct stat info {};
    EXPECT_TRUE(::lstat(path("link.hcs").c_str(), &info) == 0 && S_ISLNK(info.st_mode));
    EXPECT_TRUE(::stat(path("real.hcs").c_str(), &info) == 0 && (info.st_mode & 07777) == 0640);
    EXPECT_EQ(memberNames(path("real.hcs")), std::vector<std::string>{"Docs.reg"});
    ASSERT_EQ(::symlink(m_home.settingsDb().c_str(), path("db.hcs").c_str()), 0);
    EXPECT_FALSE(TFileSettings::ExportProfile("Docs", path("db.hcs"), error));
    EXPECT_EQ(readFile(m_home.settingsDb()), db);
    ASSERT_EQ(::mkfifo(path("fifo.hcs").c_str(), 0600), 0);
    EXPECT_FALSE(TFileSettings::ExportProfile("Docs", path("fifo.hcs"), error));
    EXPECT_EQ(error, "Unable to export the profile \"Docs\". Error is: Not a regular file");
    EXPECT_TRUE(::lstat(path("fifo.hcs").c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
}

TEST_F(ProfileArchiveTest, CheckGivesTheSpecifiedTexts) {
    std::string name, error;
    EXPECT_FALSE(TFileSettings::CheckProfileFile(path("missing.hcs"), name, error));
    EXPECT_EQ(error, "Error in profile file: No such file");
    writeFile(path("text.hcs"), "hello, this is not a zip archive at all");
    EXPECT_FALSE(TFileSettings::CheckProfileFile(path("text.hcs"), name, error));
    EXPECT_EQ(error, "Error in profile file: Not a zip archive");
    ASSERT_EQ(::mkfifo(path("fifo.hcs").c_str(), 0600), 0);
    EXPECT_FALSE(TFileSettings::CheckProfileFile(path("fifo.hcs"), name, error)); // no wait for a writer
    EXPECT_EQ(error, "Error in profile file: Not a zip archive");

    for (const std::string& comment :
         {std::string(), std::string("a\\b"), std::string("Daily_excl"), std::string("..")}) {
        makeArchive(path("bad.hcs"), comment, {{comment + ".reg", "REGEDIT4"}});
        EXPECT_FALSE(TFileSettings::CheckProfileFile(path("bad.hcs"), name, error)) << comment;
        EXPECT_EQ(name, comment);
        EXPECT_EQ(error, "Invalid profile file: " + path("bad.hcs"));
        EXPECT_FALSE(import(path("bad.hcs"), error));
        EXPECT_EQ(error, "Invalid profile file: " + path("bad.hcs"));
    }
    writeFile(path("empty.hcs"), "");
    EXPECT_FALSE(TFileSettings::CheckProfileFile(path("empty.hcs"), name, error));
    EXPECT_EQ(error, "Error in profile file: Not a zip archive");
    // An archive without members (its end record alone) that names a profile.
    writeFile(path("none.hcs"),
              std::string("PK\5\6", 4) + std::string(16, '\0') + std::string("\5\0", 2) + "Daily");
    EXPECT_FALSE(TFileSettings::CheckProfileFile(path("none.hcs"), name, error));
    EXPECT_EQ(name, "Daily");
    EXPECT_EQ(error, "Invalid profile file: " + path("none.hcs"));
    EXPECT_FALSE(import(path("none.hcs"), error));
    EXPECT_EQ(error, "Invalid profile file: " + path("none.hcs"));
    makeArchive(path("noreg.hcs"), "Daily", {{"Daily.txt", "r"}, {"daily.reg", "r"}});
    EXPECT_FALSE(TFileSettings::CheckProfileFile(path("noreg.hcs"), name, error));
    EXPECT_EQ(error, "The profile file does not contain a registry setting file");
    EXPECT_FALSE(import(path("noreg.hcs"), error));
    EXPECT_EQ(error, "There was no registry settings file for the profile: Daily");
    EXPECT_FALSE(import(path("missing.hcs"), error));
    EXPECT_EQ(error, "Unable to import profile \"(unknown)\": No such file");
}

TEST_F(ProfileArchiveTest, HostileArchivesChangeNothing) {
    addProfile("Other");
    writeDataFiles("Other", "mine");
    const std::string key = kRoot + "\\Daily";
    const std::string good = regText(key, "\"ProfileType\"=\"1\"\r\n");
    const std::string before = state();
    const std::string failed = "Unable to import the profiles registry settings for profile: Daily";
    struct Case {
        std::vector<Member> members;
        std::string error;
    };
    const std::vector<Case> cases = {
        {{{"Daily.reg", regText(kRoot, "\"Daily\"=\"x\"\r\n")}}, failed},
        {{{"Daily.reg", good + regText(kRoot + "\\Other", "\"ProfileType\"=\"2\"\r\n")}}, failed},
        {{{"Daily.reg", regText(kRoot + "\\Dailyx", "\"ProfileType\"=\"1\"\r\n")}}, failed},
        {{{"Daily.reg", regText(key, "\"ProfileType\"=\"0\"\r\n")}}, failed},
        {{{"Daily.reg", regText(key, "\"Folder\"=\"/x\"\r\n")}}, failed},
        {{{"Daily.reg", good + "\"Bad\"=dword:\r\n"}}, failed},
        {{{"Daily.reg", regText(key, "\"ProfileType\"=\"3\"\r\n")}}, failed},
        {{{"Daily.reg", regText(key, "\"ProfileType\"=hex:31\r\n")}}, failed},
        {{{"Daily.reg", good}, {"Daily.txt", "x", S_IFLNK}},
         "Unable to import profile \"Daily\": The member \"Daily.txt\" is not a regular file."},
        {{{"Daily.reg", good}, {"Daily_excl.txt", "x", S_IFDIR}},
         "Unable to import profile \"Daily\": The member \"Daily_excl.txt\" is not a regular file."},
    };
    for (const Case& c : cases) {
        makeArchive(path("hostile.hcs"), "Daily", c.members);
        std::string error;
        EXPECT_FALSE(import(path("hostile.hcs"), error)) << c.members[0].contents;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(state(), before);
    }
    // A member's size is checked as its headers give it: up to 64 MiB of registry text and 1 GiB of a data
    // file are read (these headers claim more than the data holds), one byte more is refused.
    for (const auto& [member, cap] : {std::pair<std::string, std::uint32_t>{"Daily.reg", 64u << 20},
                                      std::pair<std::string, std::uint32_t>{"Daily.txt", 1u << 30}})
        for (const std::uint32_t claimed : {cap, cap + 1}) {
            makeArchive(path("big.hcs"), "Daily",
                        {{"Daily.reg", "x"}, {"Daily.txt", "r"}}); // stored as they are
            std::string bytes = readFile(path("big.hcs"));
            for (const auto& [signature, sizeAt, nameAt] :
                 {std::tuple{"PK\3\4", 22, 30}, std::tuple{"PK\1\2", 24, 46}})
                for (std::size_t at = 0; (at = bytes.find(signature, at)) != std::string::npos; ++at)
                    if (bytes.compare(at + nameAt, member.size(), member) == 0)
                        std::memcpy(&bytes[at + sizeAt], &claimed, 4);
            writeFile(path("big.hcs"), bytes);
            std::string error;
            EXPECT_FALSE(import(path("big.hcs"), error));
            EXPECT_EQ(error,
                      "Unable to import profile \"Daily\": The member \"" + member + "\" " +
                          (claimed > cap ? "is too large." : "cannot be read: Zip archive inconsistent"));
            EXPECT_EQ(state(), before);
        }

    // Members other than the profile's four are never extracted, wherever their names point.
    makeArchive(path("extra.hcs"), "Daily",
                {{"../escape.txt", "x"},
                 {"/tmp/halcyra-absolute.txt", "x"},
                 {"sub/Daily.txt", "x"},
                 {"Other.txt", "stolen"},
                 {"Other_excl.txt", "stolen"},
                 {"Daily.reg", good},
                 {"Daily_excl.txt", "e"}});
    std::string error;
    makeArchive(path("group.hcs"), "Group",
                {{"Group.reg", regText(kRoot + "\\Group", "\"ProfileType\"=\"2\"\r\n")}});
    ASSERT_TRUE(import(path("group.hcs"), error)) << error;
    ASSERT_TRUE(import(path("extra.hcs"), error)) << error;
    EXPECT_FALSE(exists(m_home.root() + "/data/escape.txt"));
    EXPECT_FALSE(exists(dataFolder() + "escape.txt"));
    EXPECT_FALSE(exists("/tmp/halcyra-absolute.txt"));
    EXPECT_FALSE(exists(dataFolder() + "sub"));
    EXPECT_EQ(readFile(TFileSettings::ResultsFileName("Other")), "results mine");
    EXPECT_EQ(readFile(TFileSettings::ExclusionFileName("Other")), "excl mine");
    EXPECT_EQ(readFile(TFileSettings::ExclusionFileName("Daily")), "e");
    EXPECT_FALSE(exists(TFileSettings::ResultsFileName("Daily")));

    // An archive named like the registry text it holds is read, not lost.
    std::filesystem::copy_file(path("extra.hcs"), dataFolder() + "Daily.reg");
    ASSERT_TRUE(import(dataFolder() + "Daily.reg", error)) << error;
    EXPECT_EQ(readFile(dataFolder() + "Daily.reg"), readFile(path("extra.hcs")));
}

TEST_F(ProfileArchiveTest, ImportReplacesTheWholeProfileUnderItsArchiveSpelling) {
    addProfile("daily");
    TSettings(kRoot + "\\daily").WriteString("Stale", "1");
    writeDataFiles("daily", "old");
    writeFile(TFileSettings::ExclusionFileName("Daily"), "leftover");
    // The registry text spells the key otherwise than the comment.
    makeArchive(
        path("Daily.hcs"), "Daily",
        {{"Daily.reg", regText(kRoot + "\\DAILY", "\"ProfileType\"=\"1\"\r\n\"Folder\"=\"/new\"\r\n")},
         {"Daily.txt", "results new"}});

    // A run in progress refuses the import with the lock's text.
    {
        ProfileRunLock run;
        std::string error;
        ASSERT_EQ(run.acquire("daily", error), ProfileRunLock::Outcome::Acquired);
        const std::string before = state();
        EXPECT_FALSE(import(path("Daily.hcs"), error));
        EXPECT_EQ(error, "The profile daily is already being run.");
        EXPECT_EQ(state(), before);
    }
    // The archive may not be one of the profile's own data files.
    std::filesystem::copy_file(path("Daily.hcs"), TFileSettings::ResultsFileName("daily"),
                               std::filesystem::copy_options::overwrite_existing);
    std::string error;
    // Also through another path to the same file: a link, a doubled slash, a hard link.
    std::filesystem::create_symlink(TFileSettings::ResultsFileName("daily"), path("link.hcs"));
    std::filesystem::create_hard_link(TFileSettings::ExclusionFileName("daily"), path("hard.hcs"));
    std::filesystem::copy_file(path("Daily.hcs"), TFileSettings::ExclusionFileName("daily"),
                               std::filesystem::copy_options::overwrite_existing);
    const std::string doubled = dataFolder() + "/daily.txt";
    std::filesystem::copy_file(path("Daily.hcs"), TFileSettings::ExclusionFileName("Daily"),
                               std::filesystem::copy_options::overwrite_existing);
    for (const std::string& own : {TFileSettings::ResultsFileName("daily"), path("link.hcs"), doubled,
                                   path("hard.hcs"), TFileSettings::ExclusionFileName("Daily")}) {
        EXPECT_FALSE(import(own, error)) << own;
        EXPECT_EQ(
            error,
            "Unable to import profile \"Daily\": The profile file is one of the profile's own data files.");
    }
    writeFile(TFileSettings::ResultsFileName("daily"), "results old");
    writeFile(TFileSettings::ExclusionFileName("daily"), "excl old");
    writeFile(TFileSettings::ExclusionFileName("Daily"), "leftover");
    writeFile(*TLog::LogFileName("daily", 1), "old log");

    ASSERT_TRUE(import(path("Daily.hcs"), error)) << error;
    std::vector<std::string> names;
    ASSERT_TRUE(TSettings(kRoot).GetSubKeyNames(names));
    EXPECT_EQ(names, std::vector<std::string>{"Daily"});
    std::vector<RegValue> values;
    ASSERT_EQ(store().listValues(kRoot + "\\Daily", values), RegStatus::Ok);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[1].data, "/new");
    EXPECT_EQ(values[2].name + "=" + values[2].data, "LastResult=Imported");
    EXPECT_EQ(readFile(TFileSettings::ResultsFileName("Daily")), "results new");
    for (const std::string& gone :
         {TFileSettings::ResultsFileName("daily"), TFileSettings::ExclusionFileName("daily"),
          TFileSettings::ExclusionDirFileName("daily"), TFileSettings::ExclusionFileName("Daily"),
          *TLog::LogFileName("daily", 1)})
        EXPECT_FALSE(exists(gone)) << gone;
    for (const auto& entry : std::filesystem::directory_iterator(dataFolder()))
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path(); // staging removed

    // Over exactly the same spelling the old key goes first: what the archive lacks does not survive.
    TSettings(kRoot + "\\Daily").WriteString("Stale", "1");
    ASSERT_TRUE(import(path("Daily.hcs"), error)) << error;
    EXPECT_EQ(store().valueExists(kRoot + "\\Daily", "Stale"), RegStatus::NotFound);
    EXPECT_EQ(store().valueExists(kRoot + "\\Daily", "Folder"), RegStatus::Ok);
}

} // namespace
