#pragma once

#include "base/Clock.h"
#include "detection/FolderListing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace halcyra::test {

inline constexpr std::int64_t DefaultMtime = 1700000000;

// A temporary folder tree built from a list of entries; removed with everything in it when destroyed.
// A path ending in '/' makes a folder, any other path a file with the given contents; every entry gets
// its last-write time.
class TestTree {
public:
    struct Item {
        std::string path;
        std::string contents;
        std::int64_t mtime = DefaultMtime;
    };

    explicit TestTree(std::initializer_list<Item> items = {}) {
        std::string pattern = (std::filesystem::temp_directory_path() / "halcyra-tree-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_root = pattern + "/";
        for (const Item& item : items)
            add(item);
    }
    ~TestTree() {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    TestTree(const TestTree&) = delete;
    TestTree& operator=(const TestTree&) = delete;

    const std::string& root() const { return m_root; }
    std::string path(const std::string& relative) const { return m_root + relative; }

    void add(const Item& item) {
        const std::string full = path(item.path);
        if (!item.path.empty() && item.path.back() == '/') {
            std::filesystem::create_directories(full);
        } else {
            std::filesystem::create_directories(std::filesystem::path(full).parent_path());
            std::ofstream(full, std::ios::binary) << item.contents;
        }
        setMtime(item.path, item.mtime);
    }

    void setMtime(const std::string& relative, std::int64_t seconds) const {
        const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
        utimensat(AT_FDCWD, path(relative).c_str(), times, AT_SYMLINK_NOFOLLOW);
    }

    void symlink(const std::string& target, const std::string& relative) const {
        ASSERT_EQ(::symlink(target.c_str(), path(relative).c_str()), 0);
    }

private:
    std::string m_root;
};

// Points XDG_DATA_HOME at a fresh temporary folder for the duration of a test.
class DataFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_DATA_HOME");
        m_hadOld = old != nullptr;
        if (m_hadOld)
            m_old = old;
        setenv("XDG_DATA_HOME", m_home.root().c_str(), 1);
        std::filesystem::create_directories(dataPath(""));
    }
    void TearDown() override {
        if (m_hadOld)
            setenv("XDG_DATA_HOME", m_old.c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
    }
    std::string dataPath(const std::string& name) const { return m_home.root() + "Halcyra/" + name; }

    TestTree m_home;

private:
    bool m_hadOld = false;
    std::string m_old;
};

// Sets the local time zone for the duration of a test.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        const char* old = std::getenv("TZ");
        m_hadOld = old != nullptr;
        if (m_hadOld)
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (m_hadOld)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_hadOld = false;
    std::string m_old;
};

// Records waits instead of waiting.
class FakeClock final : public Clock {
public:
    std::int64_t now() override { return m_now; }
    void sleepFor(std::chrono::milliseconds duration) override { sleeps.push_back(duration); }
    std::vector<std::chrono::milliseconds> sleeps;
    std::int64_t m_now = DefaultMtime;
};

// The real file system, except that opening the listed folders (by full path with a trailing '/')
// fails a given number of times.
class FailingFileSystem final : public FileSystem {
public:
    struct Failure {
        int error;
        int times; // how many attempts fail; -1 = all
    };
    std::unique_ptr<FolderListing> openFolder(const std::string& path, bool followLink, int& error) override {
        return fails(path, error) ? nullptr : FileSystem::real().openFolder(path, followLink, error);
    }
    std::unique_ptr<FolderListing> openSubFolder(FolderListing& parent, std::string_view name,
                                                 const std::string& path, int& error) override {
        return fails(path, error) ? nullptr : FileSystem::openSubFolder(parent, name, path, error);
    }
    std::map<std::string, Failure> failures;
    std::vector<std::string> opened;

private:
    bool fails(const std::string& path, int& error) {
        opened.push_back(path);
        const auto found = failures.find(path);
        if (found == failures.end() || found->second.times == 0)
            return false;
        if (found->second.times > 0)
            --found->second.times;
        error = found->second.error;
        return true;
    }
};

} // namespace halcyra::test
