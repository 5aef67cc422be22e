#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace halcyra {

// Value types, numbered as the registry numbers them. Other numbers are stored and returned as given.
enum RegType : std::uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_MULTI_SZ = 7,
};

// Outcome of a store operation.
enum class RegStatus {
    Ok,       // done, or found
    NotFound, // the key or value does not exist (for reads: "missing")
    Invalid,  // the path or name cannot name a key or value; nothing was done
    Error,    // the store could not be read or written (busy beyond the timeout, I/O error, damaged file)
};

// The system error number a registry call would give for `status` (0, 2, 87 or 1009).
std::uint32_t systemErrorCode(RegStatus status);

// What create-or-open found.
enum class RegDisposition : std::uint32_t { CreatedNewKey = 1, OpenedExistingKey = 2 };

struct RegValue {
    std::string name; // stored spelling
    std::uint32_t type = REG_NONE;
    std::string data; // raw bytes
};

struct RegValueRead {
    RegStatus status = RegStatus::NotFound;
    std::uint32_t type = REG_NONE;
    std::string data;
};

struct RegNameList {
    RegStatus status = RegStatus::NotFound;
    std::vector<std::string> names;
};

// One key of a subtree listing: `path` is relative to the listed key ("" for the key itself, else
// "\a\b" in stored spelling); its values in creation order.
struct RegKeySnapshot {
    std::string path;
    std::vector<RegValue> values;
};

struct RegTree {
    RegStatus status = RegStatus::NotFound;
    std::vector<RegKeySnapshot> keys; // depth first; a key's sub-keys in name order after the key
};

// The per-user settings store: a tree of keys under HKEY_CURRENT_USER, each with typed values, kept in an
// SQLite database that several processes may use at once.
//
// Paths name keys from the top of HKEY_CURRENT_USER with "\" between components; one leading "\" is
// optional and "" or "\" names the top key itself. A path with an empty component (a doubled or trailing
// "\"), a component longer than 255 bytes or holding a NUL names no key: reads report NotFound, writes and
// deletes report Invalid and change nothing. Value names may be empty (the key's default value), are at most
// 16383 bytes and hold no NUL. "." and ".." are ordinary names.
//
// Names are compared without regard to ASCII letter case (bytes outside A-Z/a-z compare as they are; names
// are UTF-8 but no other folding is done) and keep the spelling they were created with. Sub-keys are listed
// in that case-insensitive order, values in creation order; overwriting a value keeps its position and first
// spelling.
//
// Data is stored byte for byte as given. `setString` stores text without a terminating NUL; readers of
// string values stop at the first NUL, so data that carries one reads the same.
//
// Every call reads the database afresh (nothing is cached), so other connections' commits are seen at once.
// Each operation is one transaction unless the caller has begun one. An object is used by one thread; a
// process that forks opens its own object in the child.
class RegistryStore {
public:
    struct Options {
        std::string file;         // empty: settingsFolder() + "registry.db"
        int busyTimeoutMs = 5000; // how long to wait for another writer before reporting Error
        // Consulted before every statement that changes data; returning true makes that statement fail as an
        // I/O error would. For tests of failure paths.
        std::function<bool()> writeFault;
        // Consulted before every statement that only reads; returning true makes it fail as a database
        // locked by another process would.
        std::function<bool()> readFault;
    };

    // Options used by open() without arguments; tests adjust them.
    static Options& defaultOptions();

    // Opens (creating when needed) the database, readable by its owner only. Returns null on failure, with
    // a text in `error` that names the file and the reason.
    static std::unique_ptr<RegistryStore> open(std::string* error = nullptr);
    static std::unique_ptr<RegistryStore> open(const Options& options, std::string* error = nullptr);

    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // Text of the last Error, naming the database file, whether it was being read or written, and why
    // (empty when none).
    const std::string& lastError() const { return m_lastError; }

    // --- keys ---
    RegStatus keyExists(std::string_view path);
    // `path` with every component in its stored spelling ("\" + components; "\" for the top key).
    RegStatus storedPath(std::string_view path, std::string& stored);
    // Opens `path`, creating every missing key of it; tells which of the two happened.
    RegStatus createKey(std::string_view path, RegDisposition* disposition = nullptr);
    // Sub-key names of `path` in case-insensitive order (NotFound when the key is missing; Ok with an empty
    // list when it has none).
    RegNameList subKeyNames(std::string_view path);
    // Deletes the key with its values and every key below it. The top key cannot be deleted (Invalid).
    RegStatus deleteKeyTree(std::string_view path);
    // Renames the last component of `path` to `newName`, keeping the key's values and sub-keys. NotFound when
    // the key is missing; Invalid when a different sibling already has that name or the path is the top key.
    RegStatus renameKey(std::string_view path, std::string_view newName);
    // Copies the values and sub-keys of `source` into `dest` (created when missing; its other values and
    // sub-keys stay, values of the same name are overwritten), byte for byte with their types; with `move`
    // the source is then deleted. One transaction: on any failure nothing has changed. When both paths name
    // the same key, a move gives it the spelling of `dest` and a copy does nothing. Invalid when one key lies
    // inside the other.
    RegStatus copyKeyTree(std::string_view source, std::string_view dest, bool move);

    // --- values ---
    RegValueRead queryValue(std::string_view path, std::string_view name);
    RegStatus valueExists(std::string_view path, std::string_view name);
    // Values of `path` in creation order, with types and data.
    RegStatus listValues(std::string_view path, std::vector<RegValue>& values);
    RegNameList valueNames(std::string_view path);
    // Sets a value of an existing key (NotFound when the key is missing).
    RegStatus setValue(std::string_view path, std::string_view name, std::uint32_t type,
                       std::string_view data);
    RegStatus setString(std::string_view path, std::string_view name, std::string_view text,
                        std::uint32_t type = REG_SZ);
    RegStatus setDword(std::string_view path, std::string_view name, std::uint32_t value);
    // Creates the key when needed and sets the value, in one transaction.
    RegStatus createAndSetValue(std::string_view path, std::string_view name, std::uint32_t type,
                                std::string_view data);
    RegStatus deleteValue(std::string_view path, std::string_view name);

    // The key and its subtree, depth first, each key's values before its sub-keys.
    RegTree readTree(std::string_view path);

    // --- transactions ---
    // Begins a write transaction; the operations above then join it instead of committing on their own.
    RegStatus begin();
    RegStatus commit();
    void rollback();

private:
    enum Stmt : int;
    class Use;
    class Txn;

    RegistryStore(sqlite3* db, Options options, std::string file);

    bool setup();
    bool setupFailed();
    sqlite3_stmt* statement(Stmt id);
    // Records the last error (`reason`, else SQLite's message) and returns false.
    bool fail(const char* reason = nullptr);
    // Whether the test hooks let the next statement run; records the error when not.
    bool stepAllowed(bool changesData);
    bool step(sqlite3_stmt* s, bool changesData, bool* row = nullptr);
    bool exec(const char* sql);

    // Runs `operation` (returning a RegStatus) in one transaction, read-only unless `write` (see Txn):
    // Error when the transaction cannot begin, else what `operation` returns, committed only when Ok.
    template <typename Operation> RegStatus inTransaction(bool write, Operation&& operation);
    // inTransaction for `body(id)` on the existing key `path` names. When there is no such key, the
    // status of the look-up instead: NotFound, or for a path that names no key NotFound for a read and
    // Invalid for a write.
    template <typename Body> RegStatus onKey(std::string_view path, bool write, Body&& body);

    RegStatus resolve(std::string_view path, std::int64_t& id, std::string* stored = nullptr);
    RegStatus createPath(std::string_view path, std::int64_t& id, RegDisposition* disposition);
    bool findChild(std::int64_t parent, std::string_view name, std::int64_t& id, std::string* stored,
                   bool& found);
    bool childNames(std::int64_t parent, std::vector<std::pair<std::int64_t, std::string>>& children);
    bool loadValues(std::int64_t key, std::vector<RegValue>& values);
    bool upsertValue(std::int64_t key, std::string_view name, std::uint32_t type, std::string_view data);
    bool deleteTree(std::int64_t key);
    bool snapshot(std::int64_t key, std::vector<RegKeySnapshot>& keys);
    bool isInside(std::int64_t key, std::int64_t ancestor, bool& inside);

    sqlite3* m_db;
    Options m_options;
    std::string m_file;
    std::vector<sqlite3_stmt*> m_statements;
    std::string m_lastError;
    bool m_writing = false; // inside a write transaction: errors say "written"
};

// RAII write transaction: rolls back unless committed.
class RegTransaction {
public:
    explicit RegTransaction(RegistryStore& store) : m_store(store), m_status(store.begin()) {}
    ~RegTransaction() {
        if (m_status == RegStatus::Ok && !m_done)
            m_store.rollback();
    }
    RegTransaction(const RegTransaction&) = delete;
    RegTransaction& operator=(const RegTransaction&) = delete;

    // Whether the transaction began.
    RegStatus status() const { return m_status; }
    RegStatus commit() {
        m_done = true;
        return m_status == RegStatus::Ok ? m_store.commit() : m_status;
    }

private:
    RegistryStore& m_store;
    RegStatus m_status;
    bool m_done = false;
};

} // namespace halcyra
