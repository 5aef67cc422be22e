#include "platform/RegistryStore.h"

#include "TestHome.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using namespace halcyra;
using halcyra::testing::failFromWrite;
using halcyra::testing::HeldLock;
using halcyra::testing::TestHome;

namespace {

using Names = std::vector<std::string>;

class RegistryStoreTest : public ::testing::Test {
protected:
    std::unique_ptr<RegistryStore> openStore(RegistryStore::Options options = {}) {
        std::string error;
        auto store = RegistryStore::open(options, &error);
        EXPECT_NE(store, nullptr) << error;
        return store;
    }

    std::string text(std::string_view path, std::string_view name) {
        const RegValueRead value = m_store->queryValue(path, name);
        return value.status == RegStatus::Ok ? value.data : "<" + std::to_string(int(value.status)) + ">";
    }

    Names valueNames(std::string_view path) { return m_store->valueNames(path).names; }

    TestHome m_home;
    std::unique_ptr<RegistryStore> m_store = openStore();
};

TEST_F(RegistryStoreTest, DatabaseLivesInThePrivateSettingsFolder) {
    struct stat info {};
    ASSERT_EQ(stat(m_home.settingsDb().c_str(), &info), 0);
    ASSERT_EQ(stat((m_home.root() + "/config/Halcyra").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(RegistryStoreTest, DatabaseAndJournalsArePrivateWhateverTheUmaskAndFolder) {
    const mode_t oldMask = umask(022);
    const std::string folder = m_home.root() + "/open";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0); // a settings folder that existed before, readable by all
    RegistryStore::Options options;
    options.file = folder + "/registry.db";
    auto modeOf = [](const std::string& path) {
        struct stat info {};
        return stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0u;
    };
    {
        auto store = openStore(options);
        ASSERT_EQ(store->createAndSetValue("\\K", "v", REG_SZ, "x"), RegStatus::Ok);
        for (const char* suffix : {"", "-wal", "-shm"})
            EXPECT_EQ(modeOf(options.file + suffix), 0600u) << suffix;
    }
    ASSERT_EQ(chmod(options.file.c_str(), 0644), 0); // made by an earlier version
    std::ofstream(options.file + "-wal").flush();
    ASSERT_EQ(chmod((options.file + "-wal").c_str(), 0644), 0);
    EXPECT_NE(openStore(options), nullptr);
    EXPECT_EQ(modeOf(options.file), 0600u);
    EXPECT_EQ(modeOf(options.file + "-wal") & 0077, 0u);
    umask(oldMask);
}

TEST_F(RegistryStoreTest, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling) {
    RegDisposition disposition{};
    ASSERT_EQ(m_store->createKey("\\Software\\Foo", &disposition), RegStatus::Ok);
    EXPECT_EQ(disposition, RegDisposition::CreatedNewKey);
    ASSERT_EQ(m_store->createKey("\\SOFTWARE\\foo", &disposition), RegStatus::Ok);
    EXPECT_EQ(disposition, RegDisposition::OpenedExistingKey);
    ASSERT_EQ(m_store->createKey("\\software\\FOO\\New", &disposition), RegStatus::Ok);
    EXPECT_EQ(disposition, RegDisposition::CreatedNewKey);

    std::string stored;
    ASSERT_EQ(m_store->storedPath("software\\FOO\\nEW", stored), RegStatus::Ok); // leading "\" optional
    EXPECT_EQ(stored, "\\Software\\Foo\\New");
    EXPECT_EQ(m_store->subKeyNames("\\").names, Names{"Software"});

    ASSERT_EQ(m_store->setString("\\Software\\Foo", "Value", "1"), RegStatus::Ok);
    ASSERT_EQ(m_store->setString("\\software\\foo", "VALUE", "2"), RegStatus::Ok);
    EXPECT_EQ(valueNames("\\Software\\Foo"), Names{"Value"});
    EXPECT_EQ(text("\\SOFTWARE\\FOO", "value"), "2");

    // Only ASCII letters fold: the UTF-8 forms of "É" and "é" are different names.
    ASSERT_EQ(m_store->createKey("\\\xC3\x89"), RegStatus::Ok);
    EXPECT_EQ(m_store->keyExists("\\\xC3\xA9"), RegStatus::NotFound);
}

TEST_F(RegistryStoreTest, SubKeysInCaseInsensitiveOrderValuesInCreationOrder) {
    for (const char* name : {"b", "Z", "A", "c", "_x", "\xC3\xA9", "a1"})
        ASSERT_EQ(m_store->createKey(std::string("\\K\\") + name), RegStatus::Ok);
    EXPECT_EQ(m_store->subKeyNames("\\K").names, (Names{"_x", "A", "a1", "b", "c", "Z", "\xC3\xA9"}));

    for (const char* name : {"Zeta", "alpha", "Mid"})
        ASSERT_EQ(m_store->setString("\\K", name, name), RegStatus::Ok);
    ASSERT_EQ(m_store->setDword("\\K", "ALPHA", 7), RegStatus::Ok); // overwrite: same place, first spelling
    ASSERT_EQ(m_store->deleteValue("\\K", "Mid"), RegStatus::Ok);
    ASSERT_EQ(m_store->setString("\\K", "Mid", "again"), RegStatus::Ok); // a new value goes last
    ASSERT_EQ(m_store->setString("\\K", "First", "x"), RegStatus::Ok);
    EXPECT_EQ(valueNames("\\K"), (Names{"Zeta", "alpha", "Mid", "First"}));
    EXPECT_EQ(m_store->queryValue("\\K", "alpha").type, REG_DWORD);
}

TEST_F(RegistryStoreTest, EveryValueTypeRoundTripsByteForByte) {
    std::string allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes += static_cast<char>(i);
    const std::vector<RegValue> written = {
        {"sz", REG_SZ, "plain text"},
        {"expand", REG_EXPAND_SZ, "%HOME%\\x"},
        {"binary", REG_BINARY, allBytes},
        {"empty", REG_BINARY, ""},
        {"multi", REG_MULTI_SZ, std::string("a\0bc\0\0", 6)},
        {"", REG_SZ, "default value"},
        {"qword", 11, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
    };
    ASSERT_EQ(m_store->createKey("\\Types"), RegStatus::Ok);
    for (const RegValue& value : written)
        ASSERT_EQ(m_store->setValue("\\Types", value.name, value.type, value.data), RegStatus::Ok);
    ASSERT_EQ(m_store->setDword("\\Types", "dword", 0xDEADBEEF), RegStatus::Ok);

    std::vector<RegValue> read;
    ASSERT_EQ(m_store->listValues("\\Types", read), RegStatus::Ok);
    ASSERT_EQ(read.size(), written.size() + 1);
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(read[i].name, written[i].name);
        EXPECT_EQ(read[i].type, written[i].type) << written[i].name;
        EXPECT_EQ(read[i].data, written[i].data) << written[i].name;
    }
    EXPECT_EQ(read.back().data, "\xEF\xBE\xAD\xDE"); // little-endian
    EXPECT_EQ(m_store->valueExists("\\Types", "EMPTY"), RegStatus::Ok);
    EXPECT_EQ(m_store->valueExists("\\Types", "absent"), RegStatus::NotFound);

    // Survives closing and reopening.
    m_store.reset();
    m_store = openStore();
    EXPECT_EQ(text("\\types", "BINARY"), allBytes);
}

TEST_F(RegistryStoreTest, PathsWithEmptyOrOverlongComponentsNameNoKey) {
    const std::vector<std::string> badPaths = {"\\A\\\\B", "\\A\\", "\\\\", std::string("\\A\0B", 4),
                                               "\\" + std::string(256, 'k')};
    for (const std::string& path : badPaths) {
        EXPECT_EQ(m_store->createKey(path), RegStatus::Invalid) << path;
        EXPECT_EQ(m_store->createAndSetValue(path, "v", REG_SZ, "x"), RegStatus::Invalid) << path;
        EXPECT_EQ(m_store->keyExists(path), RegStatus::NotFound) << path;
        EXPECT_EQ(m_store->queryValue(path, "v").status, RegStatus::NotFound) << path;
        EXPECT_EQ(m_store->deleteKeyTree(path), RegStatus::Invalid) << path;
    }
    EXPECT_TRUE(m_store->subKeyNames("\\").names.empty()); // nothing was created on the way

    EXPECT_EQ(m_store->createKey("\\" + std::string(255, 'k')), RegStatus::Ok);
    EXPECT_EQ(m_store->createKey("\\.\\.."), RegStatus::Ok); // ordinary names
    EXPECT_EQ(m_store->subKeyNames("\\.").names, Names{".."});
    EXPECT_EQ(m_store->setString("\\.", std::string("a\0b", 3), "x"), RegStatus::Invalid);
    EXPECT_EQ(m_store->setString("\\missing", "v", "x"), RegStatus::NotFound); // setValue never creates keys
}

TEST_F(RegistryStoreTest, DeletingAKeyRemovesItsWholeSubtreeAndNothingElse) {
    ASSERT_EQ(m_store->createAndSetValue("\\A\\B\\C", "deep", REG_SZ, "1"), RegStatus::Ok);
    ASSERT_EQ(m_store->createAndSetValue("\\A", "top", REG_SZ, "1"), RegStatus::Ok);
    ASSERT_EQ(m_store->createAndSetValue("\\A2", "other", REG_SZ, "1"), RegStatus::Ok);
    ASSERT_EQ(m_store->createAndSetValue("\\B", "other", REG_SZ, "1"), RegStatus::Ok);

    EXPECT_EQ(m_store->deleteKeyTree("\\a"), RegStatus::Ok);
    EXPECT_EQ(m_store->subKeyNames("\\").names, (Names{"A2", "B"}));
    EXPECT_EQ(text("\\A2", "other"), "1");
    // Recreated keys start empty: no value outlived its key.
    ASSERT_EQ(m_store->createKey("\\A\\B\\C"), RegStatus::Ok);
    EXPECT_TRUE(valueNames("\\A").empty());
    EXPECT_TRUE(valueNames("\\A\\B\\C").empty());

    EXPECT_EQ(m_store->deleteKeyTree("\\nothing"), RegStatus::NotFound);
    EXPECT_EQ(m_store->deleteKeyTree("\\"), RegStatus::Invalid);
    EXPECT_EQ(m_store->deleteValue("\\A2", "other"), RegStatus::Ok);
    EXPECT_EQ(m_store->deleteValue("\\A2", "other"), RegStatus::NotFound);
    EXPECT_EQ(m_store->deleteValue("\\nothing", "other"), RegStatus::NotFound);
}

TEST_F(RegistryStoreTest, TreeListsKeysDepthFirstWithValuesBeforeSubKeys) {
    ASSERT_EQ(m_store->createAndSetValue("\\R\\b", "v", REG_SZ, "b"), RegStatus::Ok);
    ASSERT_EQ(m_store->createAndSetValue("\\R\\A\\x", "v", REG_DWORD, "1234"), RegStatus::Ok);
    ASSERT_EQ(m_store->createAndSetValue("\\R", "top", REG_SZ, "r"), RegStatus::Ok);
    const RegTree tree = m_store->readTree("\\r");
    ASSERT_EQ(tree.status, RegStatus::Ok);
    Names paths;
    for (const auto& key : tree.keys)
        paths.push_back(key.path);
    EXPECT_EQ(paths, (Names{"", "\\A", "\\A\\x", "\\b"}));
    ASSERT_EQ(tree.keys[0].values.size(), 1u);
    EXPECT_EQ(tree.keys[0].values[0].data, "r");
    EXPECT_EQ(tree.keys[2].values[0].type, REG_DWORD);
    EXPECT_EQ(m_store->readTree("\\none").status, RegStatus::NotFound);
}

TEST_F(RegistryStoreTest, CopyMergesTheWholeTreeAndMoveRemovesTheSource) {
    ASSERT_EQ(m_store->createAndSetValue("\\P\\Src", "s", REG_SZ, "from source"), RegStatus::Ok);
    ASSERT_EQ(m_store->createAndSetValue("\\P\\Src", "bin", REG_BINARY, std::string("\0\1", 2)),
              RegStatus::Ok);
    ASSERT_EQ(m_store->createAndSetValue("\\P\\Src\\Sub", "deep", REG_MULTI_SZ, "m"), RegStatus::Ok);
    ASSERT_EQ(m_store->createAndSetValue("\\P\\Dst", "s", REG_SZ, "old"), RegStatus::Ok);
    ASSERT_EQ(m_store->createAndSetValue("\\P\\Dst", "own", REG_SZ, "kept"), RegStatus::Ok);

    ASSERT_EQ(m_store->copyKeyTree("\\P\\Src", "\\P\\DST", false), RegStatus::Ok);
    EXPECT_EQ(valueNames("\\P\\Dst"), (Names{"s", "own", "bin"}));
    EXPECT_EQ(text("\\P\\Dst", "s"), "from source");
    EXPECT_EQ(text("\\P\\Dst", "own"), "kept");
    EXPECT_EQ(text("\\P\\Dst", "bin"), std::string("\0\1", 2));
    EXPECT_EQ(text("\\P\\Dst\\Sub", "deep"), "m");
    EXPECT_EQ(m_store->keyExists("\\P\\Src\\Sub"), RegStatus::Ok);

    ASSERT_EQ(m_store->copyKeyTree("\\P\\Src", "\\P\\New\\Deep", true), RegStatus::Ok);
    EXPECT_EQ(m_store->keyExists("\\P\\Src"), RegStatus::NotFound);
    EXPECT_EQ(text("\\P\\New\\Deep\\Sub", "deep"), "m");
    EXPECT_EQ(m_store->queryValue("\\P\\New\\Deep", "bin").type, REG_BINARY);
}

TEST_F(RegistryStoreTest, MoveBetweenSpellingsOfOneKeyRenamesInPlace) {
    ASSERT_EQ(m_store->createAndSetValue("\\P\\daily\\Sub", "v", REG_SZ, "1"), RegStatus::Ok);
    ASSERT_EQ(m_store->createAndSetValue("\\P\\daily", "w", REG_SZ, "2"), RegStatus::Ok);
    ASSERT_EQ(m_store->copyKeyTree("\\P\\daily", "\\P\\Daily", false),
              RegStatus::Ok); // copy onto itself: no-op
    EXPECT_EQ(m_store->subKeyNames("\\P").names, Names{"daily"});
    ASSERT_EQ(m_store->copyKeyTree("\\P\\daily", "\\P\\Daily", true), RegStatus::Ok);
    EXPECT_EQ(m_store->subKeyNames("\\P").names, Names{"Daily"});
    EXPECT_EQ(text("\\P\\Daily\\Sub", "v"), "1");
    EXPECT_EQ(text("\\P\\Daily", "w"), "2");

    EXPECT_EQ(m_store->renameKey("\\P\\Daily", "Weekly"), RegStatus::Ok);
    ASSERT_EQ(m_store->createKey("\\P\\Other"), RegStatus::Ok);
    EXPECT_EQ(m_store->renameKey("\\P\\Weekly", "OTHER"), RegStatus::Invalid);
    EXPECT_EQ(m_store->subKeyNames("\\P").names, (Names{"Other", "Weekly"}));
}

TEST_F(RegistryStoreTest, CopyRefusesOverlappingKeysAndMissingSources) {
    ASSERT_EQ(m_store->createAndSetValue("\\P\\A\\B", "v", REG_SZ, "1"), RegStatus::Ok);
    EXPECT_EQ(m_store->copyKeyTree("\\P\\A", "\\P\\A\\B\\C", true), RegStatus::Invalid);
    EXPECT_EQ(m_store->copyKeyTree("\\P\\A", "\\P\\a\\New", false), RegStatus::Invalid);
    EXPECT_EQ(m_store->copyKeyTree("\\P\\A\\B", "\\P\\A", true), RegStatus::Invalid);
    EXPECT_EQ(m_store->copyKeyTree("\\P\\A", "\\", true), RegStatus::Invalid);
    EXPECT_EQ(m_store->copyKeyTree("\\P\\None", "\\P\\X", false), RegStatus::NotFound);
    EXPECT_EQ(m_store->copyKeyTree("\\P\\A", "\\P\\X\\", false), RegStatus::Invalid);
    EXPECT_EQ(m_store->subKeyNames("\\P").names, Names{"A"});
    EXPECT_EQ(text("\\P\\A\\B", "v"), "1");
}

TEST_F(RegistryStoreTest, FailureInTheMiddleOfAMoveChangesNothing) {
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(m_store->createAndSetValue("\\P\\Src", "v" + std::to_string(i), REG_SZ, "x"),
                  RegStatus::Ok);
    ASSERT_EQ(m_store->createAndSetValue("\\P\\Src\\Sub", "deep", REG_SZ, "y"), RegStatus::Ok);
    for (int failAt : {1, 3, 8, 10}) {
        RegistryStore::Options options;
        options.writeFault = failFromWrite(failAt);
        auto faulty = openStore(options);
        EXPECT_EQ(faulty->copyKeyTree("\\P\\Src", "\\P\\Dst", true), RegStatus::Error) << failAt;
        EXPECT_FALSE(faulty->lastError().empty());
        EXPECT_EQ(m_store->keyExists("\\P\\Dst"), RegStatus::NotFound) << failAt;
        EXPECT_EQ(valueNames("\\P\\Src").size(), 5u) << failAt;
        EXPECT_EQ(text("\\P\\Src\\Sub", "deep"), "y") << failAt;
    }
}

TEST_F(RegistryStoreTest, TransactionsCommitOrRollBackTogether) {
    ASSERT_EQ(m_store->createKey("\\T"), RegStatus::Ok);
    {
        RegTransaction txn(*m_store);
        ASSERT_EQ(txn.status(), RegStatus::Ok);
        ASSERT_EQ(m_store->setString("\\T", "a", "1"), RegStatus::Ok);
        ASSERT_EQ(m_store->createAndSetValue("\\T\\Sub", "b", REG_SZ, "2"), RegStatus::Ok);
        EXPECT_EQ(text("\\T", "a"), "1");                // visible inside
        EXPECT_EQ(m_store->begin(), RegStatus::Invalid); // no nesting
    }                                                    // not committed
    EXPECT_EQ(m_store->valueExists("\\T", "a"), RegStatus::NotFound);
    EXPECT_EQ(m_store->keyExists("\\T\\Sub"), RegStatus::NotFound);
    {
        RegTransaction txn(*m_store);
        ASSERT_EQ(m_store->setString("\\T", "a", "1"), RegStatus::Ok);
        ASSERT_EQ(txn.commit(), RegStatus::Ok);
    }
    EXPECT_EQ(text("\\T", "a"), "1");
}

TEST_F(RegistryStoreTest, TwoConnectionsSeeEachOthersWritesAtOnce) {
    auto other = openStore();
    ASSERT_EQ(m_store->createAndSetValue("\\S", "v", REG_SZ, "first"), RegStatus::Ok);
    EXPECT_EQ(other->queryValue("\\S", "v").data, "first");
    ASSERT_EQ(other->setString("\\S", "v", "second"), RegStatus::Ok);
    EXPECT_EQ(text("\\S", "v"), "second");
    ASSERT_EQ(other->deleteKeyTree("\\S"), RegStatus::Ok);
    EXPECT_EQ(m_store->queryValue("\\S", "v").status, RegStatus::NotFound);
}

TEST_F(RegistryStoreTest, LockedDatabaseIsAnErrorNotAMissingValue) {
    ASSERT_EQ(m_store->createAndSetValue("\\L", "v", REG_SZ, "x"), RegStatus::Ok);
    m_store.reset();
    RegistryStore::Options quick;
    quick.busyTimeoutMs = 20;
    {
        HeldLock lock(m_home.settingsDb(), HeldLock::Exclusive);
        std::string error;
        EXPECT_EQ(RegistryStore::open(quick, &error), nullptr);
        EXPECT_NE(error.find("locked"), std::string::npos) << error;
    }
    auto store = openStore(quick);
    EXPECT_EQ(store->queryValue("\\L", "v").data, "x");
    EXPECT_EQ(store->queryValue("\\L", "absent").status, RegStatus::NotFound);
}

TEST_F(RegistryStoreTest, WriterWaitsForAnotherWriterThenReportsAnError) {
    ASSERT_EQ(m_store->createAndSetValue("\\L", "v", REG_SZ, "x"), RegStatus::Ok);
    RegistryStore::Options quick;
    quick.busyTimeoutMs = 20;
    auto other = openStore(quick);
    {
        HeldLock lock(m_home.settingsDb(), HeldLock::Writer);
        EXPECT_EQ(other->setString("\\L", "v", "y"), RegStatus::Error);
        EXPECT_EQ(other->copyKeyTree("\\L", "\\M", true), RegStatus::Error);
        EXPECT_NE(other->lastError().find("locked"), std::string::npos) << other->lastError();
        EXPECT_EQ(other->queryValue("\\L", "v").data, "x"); // readers go on meanwhile
    }
    EXPECT_EQ(other->setString("\\L", "v", "y"), RegStatus::Ok);
    EXPECT_EQ(text("\\L", "v"), "y");
}

TEST_F(RegistryStoreTest, UnusableDatabaseFileFailsToOpenAndIsLeftAlone) {
    RegistryStore::Options options;
    options.file = m_home.root() + "/garbage.db";
    const std::string garbage(4096, 'G');
    std::ofstream(options.file, std::ios::binary) << garbage;
    std::string error;
    EXPECT_EQ(RegistryStore::open(options, &error), nullptr);
    EXPECT_EQ(error,
              "The settings database \"" + options.file + "\" could not be opened: file is not a database");
    std::ifstream in(options.file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage);

    options.file = m_home.root(); // a folder where the file is expected
    EXPECT_EQ(RegistryStore::open(options, &error), nullptr);
}

} // namespace
