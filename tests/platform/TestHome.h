#pragma once

#include "platform/RegistryStore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace halcyra::testing {

// Points XDG_CONFIG_HOME and XDG_DATA_HOME at a fresh temporary folder for its lifetime, so the settings
// database and data files of a test never touch the user's own.
class TestHome {
public:
    TestHome() {
        char pattern[] = "/tmp/halcyra-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        m_root = made != nullptr ? made : "/nonexistent";
        save("XDG_CONFIG_HOME", m_oldConfig);
        save("XDG_DATA_HOME", m_oldData);
        setenv("XDG_CONFIG_HOME", (m_root + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_root + "/data").c_str(), 1);
    }
    ~TestHome() {
        restore("XDG_CONFIG_HOME", m_oldConfig);
        restore("XDG_DATA_HOME", m_oldData);
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    const std::string& root() const { return m_root; }
    std::string settingsDb() const { return m_root + "/config/Halcyra/registry.db"; }

private:
    static void save(const char* name, std::optional<std::string>& old) {
        if (const char* value = std::getenv(name))
            old = value;
    }
    static void restore(const char* name, const std::optional<std::string>& old) {
        old ? setenv(name, old->c_str(), 1) : unsetenv(name);
    }

    std::string m_root;
    std::optional<std::string> m_oldConfig;
    std::optional<std::string> m_oldData;
};

// Replaces the store's default options for one scope.
class ScopedStoreOptions {
public:
    explicit ScopedStoreOptions(RegistryStore::Options options) : m_saved(RegistryStore::defaultOptions()) {
        RegistryStore::defaultOptions() = std::move(options);
    }
    ~ScopedStoreOptions() { RegistryStore::defaultOptions() = m_saved; }
    ScopedStoreOptions(const ScopedStoreOptions&) = delete;
    ScopedStoreOptions& operator=(const ScopedStoreOptions&) = delete;

private:
    RegistryStore::Options m_saved;
};

// Counts writes and fails the one numbered `failAt` (1-based) and every one after it.
inline std::function<bool()> failFromWrite(int failAt) {
    auto count = std::make_shared<int>(0);
    return [count, failAt] { return ++*count >= failAt; };
}

// Holds a lock on a settings database through a connection of its own, as another process in the middle
// of a long write would. `Exclusive` shuts out readers too; it can be taken only while no other connection
// has the database open (an open WAL connection keeps a shared lock). `Writer` shuts out other writers only.
class HeldLock {
public:
    enum Kind { Exclusive, Writer };

    HeldLock(const std::string& file, Kind kind) {
        EXPECT_EQ(sqlite3_open(file.c_str(), &m_db), SQLITE_OK);
        const char* sql = kind == Exclusive
                              ? "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                                "UPDATE registry_keys SET name = name WHERE id = 1;"
                              : "BEGIN IMMEDIATE; UPDATE registry_keys SET name = name WHERE id = 1;";
        EXPECT_EQ(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(m_db);
    }
    ~HeldLock() {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    sqlite3* m_db = nullptr;
};

} // namespace halcyra::testing
