#include "platform/RegistryStore.h"

#include "base/Paths.h"

#include <sqlite3.h>

#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace halcyra {

namespace {

constexpr std::int64_t kTopKey = 1;
constexpr std::size_t kMaxKeyName = 255;
constexpr std::size_t kMaxValueName = 16383;
constexpr int kSchemaVersion = 1;

// Names are compared with SQLite's NOCASE collation, which folds ASCII letters only.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS registry_keys(
    id INTEGER PRIMARY KEY,
    parent INTEGER NOT NULL,
    name TEXT NOT NULL COLLATE NOCASE,
    UNIQUE(parent, name));
CREATE TABLE IF NOT EXISTS registry_values(
    id INTEGER PRIMARY KEY,
    key INTEGER NOT NULL,
    name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key, name));
CREATE INDEX IF NOT EXISTS registry_values_order ON registry_values(key);
INSERT OR IGNORE INTO registry_keys(id, parent, name) VALUES(1, 0, '');
)sql";

bool validKeyName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxKeyName && name.find('\0') == std::string_view::npos;
}

bool validValueName(std::string_view name) {
    return name.size() <= kMaxValueName && name.find('\0') == std::string_view::npos;
}

// Splits a key path into its components; false when it names no key.
bool splitPath(std::string_view path, std::vector<std::string_view>& parts) {
    parts.clear();
    if (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    if (path.empty())
        return true;
    for (;;) {
        const auto slash = path.find('\\');
        const std::string_view part = path.substr(0, slash);
        if (!validKeyName(part))
            return false;
        parts.push_back(part);
        if (slash == std::string_view::npos)
            return true;
        path.remove_prefix(slash + 1);
    }
}

} // namespace

std::uint32_t systemErrorCode(RegStatus status) {
    switch (status) {
    case RegStatus::Ok:
        return 0;
    case RegStatus::NotFound:
        return 2; // ERROR_FILE_NOT_FOUND
    case RegStatus::Invalid:
        return 87; // ERROR_INVALID_PARAMETER
    case RegStatus::Error:
        break;
    }
    return 1009; // ERROR_BADDB
}

enum RegistryStore::Stmt : int {
    Begin,
    BeginImmediate,
    Commit,
    Rollback,
    FindChild,
    InsertKey,
    Children,
    RenameKey,
    ParentOf,
    Values,
    FindValue,
    HasValue,
    UpsertValue,
    DeleteValue,
    DeleteTreeValues,
    DeleteTreeKeys,
    StmtCount
};

namespace {

const char* const kStatements[] = {
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SELECT id, name FROM registry_keys WHERE parent = ?1 AND name = ?2",
    "INSERT INTO registry_keys(parent, name) VALUES(?1, ?2)",
    "SELECT id, name FROM registry_keys WHERE parent = ?1 ORDER BY name",
    "UPDATE registry_keys SET name = ?2 WHERE id = ?1",
    "SELECT parent FROM registry_keys WHERE id = ?1",
    "SELECT name, type, data FROM registry_values WHERE key = ?1 ORDER BY id",
    "SELECT type, data FROM registry_values WHERE key = ?1 AND name = ?2",
    "SELECT 1 FROM registry_values WHERE key = ?1 AND name = ?2",
    "INSERT INTO registry_values(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
    "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM registry_values WHERE key = ?1 AND name = ?2",
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
    "SELECT k.id FROM registry_keys k JOIN tree ON k.parent = tree.id) "
    "DELETE FROM registry_values WHERE key IN tree",
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
    "SELECT k.id FROM registry_keys k JOIN tree ON k.parent = tree.id) "
    "DELETE FROM registry_keys WHERE id IN tree",
};

} // namespace

// One use of a prepared statement: binds, and on scope exit resets it and clears its bindings, so the
// next use starts clean and no read snapshot is held open.
class RegistryStore::Use {
public:
    Use(RegistryStore& store, Stmt id) : m_store(store), m_stmt(store.statement(id)) {}
    ~Use() {
        if (m_stmt != nullptr) {
            // The step's own result was checked where it happened; reset repeats it.
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    explicit operator bool() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }

    bool bind(int index, std::int64_t value) { return check(sqlite3_bind_int64(m_stmt, index, value)); }
    bool bindText(int index, std::string_view text) {
        return check(sqlite3_bind_text(m_stmt, index, text.empty() ? "" : text.data(),
                                       static_cast<int>(text.size()), SQLITE_TRANSIENT));
    }
    bool bindBlob(int index, std::string_view data) {
        // A null pointer would bind SQL NULL; an empty value is a zero-length blob.
        if (data.empty())
            return check(sqlite3_bind_zeroblob(m_stmt, index, 0));
        return check(sqlite3_bind_blob64(m_stmt, index, data.data(), data.size(), SQLITE_TRANSIENT));
    }
    bool step(bool changesData, bool* row = nullptr) { return m_store.step(m_stmt, changesData, row); }
    // Steps through every row of a read, calling `onRow()` (returning bool) on each; false as soon as a
    // step or `onRow` fails.
    template <typename OnRow> bool eachRow(OnRow&& onRow) {
        for (;;) {
            bool row = false;
            if (!step(false, &row))
                return false;
            if (!row)
                return true;
            if (!onRow())
                return false;
        }
    }

    std::int64_t columnInt(int index) const { return sqlite3_column_int64(m_stmt, index); }
    bool columnText(int index, std::string& out) {
        const auto* text = sqlite3_column_text(m_stmt, index);
        return copyColumn(text, index, out);
    }
    bool columnBlob(int index, std::string& out) {
        const void* blob = sqlite3_column_blob(m_stmt, index);
        return copyColumn(blob, index, out);
    }

private:
    bool check(int rc) {
        if (rc == SQLITE_OK)
            return true;
        return m_store.fail();
    }
    bool copyColumn(const void* bytes, int index, std::string& out) {
        const int size = sqlite3_column_bytes(m_stmt, index);
        if (bytes == nullptr) {
            if (size > 0 || sqlite3_errcode(m_store.m_db) == SQLITE_NOMEM)
                return m_store.fail();
            out.clear();
            return true;
        }
        out.assign(static_cast<const char*>(bytes), static_cast<std::size_t>(size));
        return true;
    }

    RegistryStore& m_store;
    sqlite3_stmt* m_stmt;
};

// A transaction for one public operation, unless the caller's own transaction is already open, in which
// case the operation joins it and the caller commits or rolls back.
class RegistryStore::Txn {
public:
    Txn(RegistryStore& store, bool write) : m_store(store), m_wasWriting(store.m_writing) {
        if (sqlite3_get_autocommit(store.m_db) == 0)
            return;
        store.m_writing = write;
        Use begin(store, write ? BeginImmediate : Begin);
        m_ok = begin && begin.step(false);
        m_owns = m_ok;
    }
    ~Txn() {
        if (m_owns)
            m_store.rollback();
        m_store.m_writing = m_wasWriting;
    }
    Txn(const Txn&) = delete;
    Txn& operator=(const Txn&) = delete;

    bool ok() const { return m_ok; }

    // Commits when `status` is Ok, else rolls back; returns the operation's final status.
    RegStatus finish(RegStatus status) {
        if (!m_owns)
            return status;
        m_owns = false;
        if (status != RegStatus::Ok) {
            m_store.rollback();
            return status;
        }
        Use commit(m_store, Commit);
        if (commit && commit.step(false))
            return status;
        m_store.rollback();
        return RegStatus::Error;
    }

private:
    RegistryStore& m_store;
    bool m_wasWriting;
    bool m_ok = true;
    bool m_owns = false;
};

RegistryStore::Options& RegistryStore::defaultOptions() {
    static Options options;
    return options;
}

std::unique_ptr<RegistryStore> RegistryStore::open(std::string* error) {
    return open(defaultOptions(), error);
}

namespace {

// Connections this process has open, by any store object; guarded by liveStoresMutex().
std::mutex& liveStoresMutex() {
    static std::mutex mutex;
    return mutex;
}
int liveStores = 0;

// Makes the database file, and journal files left from an earlier session, readable by their owner only,
// whatever the umask and the folder's mode. SQLite gives the journal files it creates the mode of the
// database file. Modes are changed through the paths: record locks belong to the process, so closing any
// descriptor of the database would drop the locks of every connection this process holds on it, and
// another process could then remove the journal under them. A missing database is created (private) only
// while this process has no connection, which is the one time a descriptor may be opened and closed.
// Failures are left to the open that follows, which reports them.
void makePrivate(const std::string& file, bool firstConnection) {
    struct stat info {};
    if (firstConnection && ::stat(file.c_str(), &info) != 0 && errno == ENOENT) {
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd >= 0)
            ::close(fd);
    }
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        const std::string path = file + suffix;
        if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0077) != 0)
            ::chmod(path.c_str(), info.st_mode & 0700);
    }
}

std::string openFailureText(const std::string& file, std::string_view reason) {
    return "The settings database \"" + file + "\" could not be opened: " + std::string(reason);
}

} // namespace

std::unique_ptr<RegistryStore> RegistryStore::open(const Options& options, std::string* error) {
    const std::string file = options.file.empty() ? settingsFolder() + "registry.db" : options.file;
    std::unique_lock<std::mutex> guard(liveStoresMutex());
    makePrivate(file, liveStores == 0);
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        if (error != nullptr)
            *error = openFailureText(file, db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        return nullptr;
    }
    std::unique_ptr<RegistryStore> store(new RegistryStore(db, options, file));
    guard.unlock(); // the store counts as live from here; its destructor takes the mutex again
    if (!store->setup()) {
        if (error != nullptr)
            *error = openFailureText(file, store->m_lastError);
        return nullptr;
    }
    makePrivate(file, false); // what SQLite created beside another connection of this process
    return store;
}

RegistryStore::RegistryStore(sqlite3* db, Options options, std::string file)
    : m_db(db), m_options(std::move(options)), m_file(std::move(file)), m_statements(StmtCount, nullptr) {
    ++liveStores; // under liveStoresMutex(), held by open()
}

RegistryStore::~RegistryStore() {
    for (sqlite3_stmt* s : m_statements)
        sqlite3_finalize(s); // reports the statement's last error again, which was already handled
    sqlite3_close_v2(m_db);  // an open transaction is rolled back
    const std::lock_guard<std::mutex> guard(liveStoresMutex());
    --liveStores;
}

bool RegistryStore::fail(const char* reason) {
    m_lastError = "The settings database \"" + m_file + "\" could not be " +
                  (m_writing ? "written" : "read") + ": " +
                  (reason != nullptr ? reason : sqlite3_errmsg(m_db));
    return false;
}

bool RegistryStore::setupFailed() {
    m_lastError = sqlite3_errmsg(m_db);
    return false;
}

bool RegistryStore::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    m_lastError = message != nullptr ? message : sqlite3_errmsg(m_db);
    sqlite3_free(message);
    return false;
}

bool RegistryStore::setup() {
    if (sqlite3_extended_result_codes(m_db, 1) != SQLITE_OK)
        return setupFailed();
    if (sqlite3_busy_timeout(m_db, m_options.busyTimeoutMs) != SQLITE_OK)
        return setupFailed();
    // WAL lets readers go on while another process writes. A file system without shared memory keeps the
    // rollback journal, which still works, with the busy timeout.
    if (!exec("PRAGMA journal_mode=WAL") || !exec("PRAGMA synchronous=NORMAL"))
        return false;

    auto readVersion = [this](int& version) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &s, nullptr) != SQLITE_OK)
            return setupFailed();
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW)
            version = sqlite3_column_int(s, 0);
        sqlite3_finalize(s);
        return rc == SQLITE_ROW || setupFailed();
    };
    int version = 0;
    if (!readVersion(version))
        return false;
    if (version == 0) {
        if (!exec("BEGIN IMMEDIATE"))
            return false;
        bool ok = readVersion(version);
        if (ok && version == 0)
            ok = exec(kSchema) && exec("PRAGMA user_version=1");
        if (!ok || !exec("COMMIT")) {
            if (sqlite3_get_autocommit(m_db) == 0)
                exec("ROLLBACK");
            return false;
        }
    }
    if (version > kSchemaVersion) {
        m_lastError = "it was written by a newer version of Halcyra";
        return false;
    }
    return true;
}

sqlite3_stmt* RegistryStore::statement(Stmt id) {
    static_assert(std::size(kStatements) == StmtCount);
    sqlite3_stmt*& s = m_statements[id];
    if (s == nullptr &&
        sqlite3_prepare_v3(m_db, kStatements[id], -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) {
        s = nullptr;
        fail();
    }
    return s;
}

bool RegistryStore::stepAllowed(bool changesData) {
    if (changesData && m_options.writeFault && m_options.writeFault())
        return fail("disk I/O error");
    if (!changesData && m_options.readFault && m_options.readFault())
        return fail("database is locked");
    return true;
}

bool RegistryStore::step(sqlite3_stmt* s, bool changesData, bool* row) {
    if (!stepAllowed(changesData))
        return false;
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) {
        if (row != nullptr)
            *row = rc == SQLITE_ROW;
        return true;
    }
    return fail();
}

void RegistryStore::rollback() {
    m_writing = false;
    if (sqlite3_get_autocommit(m_db) != 0)
        return; // nothing open (an I/O error may already have rolled it back)
    Use use(*this, Rollback);
    if (use)
        use.step(false);
}

RegStatus RegistryStore::begin() {
    if (sqlite3_get_autocommit(m_db) == 0)
        return RegStatus::Invalid;
    m_writing = true; // until the transaction ends
    Use use(*this, BeginImmediate);
    return use && use.step(false) ? RegStatus::Ok : RegStatus::Error;
}

RegStatus RegistryStore::commit() {
    if (sqlite3_get_autocommit(m_db) != 0)
        return RegStatus::Invalid;
    Use use(*this, Commit);
    if (use && use.step(false)) {
        m_writing = false;
        return RegStatus::Ok;
    }
    rollback();
    return RegStatus::Error;
}

bool RegistryStore::findChild(std::int64_t parent, std::string_view name, std::int64_t& id,
                              std::string* stored, bool& found) {
    Use use(*this, FindChild);
    if (!use || !use.bind(1, parent) || !use.bindText(2, name) || !use.step(false, &found))
        return false;
    if (found) {
        id = use.columnInt(0);
        if (stored != nullptr && !use.columnText(1, *stored))
            return false;
    }
    return true;
}

RegStatus RegistryStore::resolve(std::string_view path, std::int64_t& id, std::string* stored) {
    std::vector<std::string_view> parts;
    if (!splitPath(path, parts))
        return RegStatus::Invalid;
    id = kTopKey;
    if (stored != nullptr)
        stored->clear();
    std::string name;
    for (std::string_view part : parts) {
        bool found = false;
        if (!findChild(id, part, id, stored != nullptr ? &name : nullptr, found))
            return RegStatus::Error;
        if (!found)
            return RegStatus::NotFound;
        if (stored != nullptr)
            *stored += "\\" + name;
    }
    if (stored != nullptr && stored->empty())
        *stored = "\\";
    return RegStatus::Ok;
}

RegStatus RegistryStore::createPath(std::string_view path, std::int64_t& id, RegDisposition* disposition) {
    std::vector<std::string_view> parts;
    if (!splitPath(path, parts))
        return RegStatus::Invalid;
    id = kTopKey;
    bool created = false;
    for (std::string_view part : parts) {
        bool found = false;
        if (!findChild(id, part, id, nullptr, found))
            return RegStatus::Error;
        if (!found) {
            Use insert(*this, InsertKey);
            if (!insert || !insert.bind(1, id) || !insert.bindText(2, part) || !insert.step(true))
                return RegStatus::Error;
            id = sqlite3_last_insert_rowid(m_db);
            created = true;
        }
    }
    if (disposition != nullptr)
        *disposition = created ? RegDisposition::CreatedNewKey : RegDisposition::OpenedExistingKey;
    return RegStatus::Ok;
}

bool RegistryStore::childNames(std::int64_t parent,
                               std::vector<std::pair<std::int64_t, std::string>>& children) {
    children.clear();
    Use use(*this, Children);
    if (!use || !use.bind(1, parent))
        return false;
    return use.eachRow([&] {
        std::string name;
        if (!use.columnText(1, name))
            return false;
        children.emplace_back(use.columnInt(0), std::move(name));
        return true;
    });
}

bool RegistryStore::loadValues(std::int64_t key, std::vector<RegValue>& values) {
    values.clear();
    Use use(*this, Values);
    if (!use || !use.bind(1, key))
        return false;
    return use.eachRow([&] {
        RegValue value;
        if (!use.columnText(0, value.name) || !use.columnBlob(2, value.data))
            return false;
        value.type = static_cast<std::uint32_t>(use.columnInt(1));
        values.push_back(std::move(value));
        return true;
    });
}

bool RegistryStore::upsertValue(std::int64_t key, std::string_view name, std::uint32_t type,
                                std::string_view data) {
    Use use(*this, UpsertValue);
    return use && use.bind(1, key) && use.bindText(2, name) && use.bind(3, type) && use.bindBlob(4, data) &&
           use.step(true);
}

bool RegistryStore::deleteTree(std::int64_t key) {
    {
        Use values(*this, DeleteTreeValues);
        if (!values || !values.bind(1, key) || !values.step(true))
            return false;
    }
    Use keys(*this, DeleteTreeKeys);
    return keys && keys.bind(1, key) && keys.step(true);
}

bool RegistryStore::snapshot(std::int64_t key, std::vector<RegKeySnapshot>& keys) {
    keys.clear();
    // Explicit stack: a deep tree must not exhaust the call stack.
    std::vector<std::pair<std::int64_t, std::string>> pending{{key, std::string()}};
    std::vector<std::pair<std::int64_t, std::string>> children;
    while (!pending.empty()) {
        auto [id, path] = std::move(pending.back());
        pending.pop_back();
        RegKeySnapshot entry;
        if (!loadValues(id, entry.values) || !childNames(id, children))
            return false;
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            pending.emplace_back(it->first, path + "\\" + it->second);
        entry.path = std::move(path);
        keys.push_back(std::move(entry));
    }
    return true;
}

bool RegistryStore::isInside(std::int64_t key, std::int64_t ancestor, bool& inside) {
    inside = false;
    for (std::int64_t id = key; id != 0;) {
        if (id == ancestor) {
            inside = true;
            return true;
        }
        Use use(*this, ParentOf);
        bool row = false;
        if (!use || !use.bind(1, id) || !use.step(false, &row))
            return false;
        id = row ? use.columnInt(0) : 0;
    }
    return true;
}

// --- public operations ---

namespace {

// Lookups report a path that names no key as a missing key.
RegStatus lookupStatus(RegStatus status) {
    return status == RegStatus::Invalid ? RegStatus::NotFound : status;
}

} // namespace

template <typename Operation> RegStatus RegistryStore::inTransaction(bool write, Operation&& operation) {
    Txn txn(*this, write);
    if (!txn.ok())
        return RegStatus::Error;
    return txn.finish(operation());
}

template <typename Body> RegStatus RegistryStore::onKey(std::string_view path, bool write, Body&& body) {
    return inTransaction(write, [&] {
        std::int64_t id = 0;
        const RegStatus status = resolve(path, id);
        if (status != RegStatus::Ok)
            return write ? status : lookupStatus(status);
        return body(id);
    });
}

RegStatus RegistryStore::keyExists(std::string_view path) {
    return onKey(path, false, [](std::int64_t) { return RegStatus::Ok; });
}

RegStatus RegistryStore::storedPath(std::string_view path, std::string& stored) {
    return inTransaction(false, [&] {
        std::int64_t id = 0;
        return lookupStatus(resolve(path, id, &stored));
    });
}

RegStatus RegistryStore::createKey(std::string_view path, RegDisposition* disposition) {
    return inTransaction(true, [&] {
        std::int64_t id = 0;
        return createPath(path, id, disposition);
    });
}

RegNameList RegistryStore::subKeyNames(std::string_view path) {
    RegNameList out;
    std::vector<std::pair<std::int64_t, std::string>> children;
    out.status = onKey(path, false, [&](std::int64_t id) {
        return childNames(id, children) ? RegStatus::Ok : RegStatus::Error;
    });
    if (out.status == RegStatus::Ok)
        for (auto& child : children)
            out.names.push_back(std::move(child.second));
    return out;
}

RegStatus RegistryStore::deleteKeyTree(std::string_view path) {
    return onKey(path, true, [&](std::int64_t id) {
        if (id == kTopKey)
            return RegStatus::Invalid;
        return deleteTree(id) ? RegStatus::Ok : RegStatus::Error;
    });
}

RegStatus RegistryStore::renameKey(std::string_view path, std::string_view newName) {
    if (!validKeyName(newName))
        return RegStatus::Invalid;
    return onKey(path, true, [&](std::int64_t id) {
        if (id == kTopKey)
            return RegStatus::Invalid;
        std::int64_t parent = 0;
        {
            Use use(*this, ParentOf);
            bool row = false;
            if (!use || !use.bind(1, id) || !use.step(false, &row) || !row)
                return RegStatus::Error;
            parent = use.columnInt(0);
        }
        std::int64_t sibling = 0;
        bool found = false;
        if (!findChild(parent, newName, sibling, nullptr, found))
            return RegStatus::Error;
        if (found && sibling != id)
            return RegStatus::Invalid;
        Use use(*this, RenameKey);
        if (!use || !use.bind(1, id) || !use.bindText(2, newName) || !use.step(true))
            return RegStatus::Error;
        return RegStatus::Ok;
    });
}

RegStatus RegistryStore::copyKeyTree(std::string_view source, std::string_view dest, bool move) {
    std::vector<std::string_view> destParts;
    if (!splitPath(dest, destParts))
        return RegStatus::Invalid;
    return inTransaction(true, [&] {
        std::int64_t sourceId = 0;
        RegStatus status = resolve(source, sourceId);
        if (status != RegStatus::Ok)
            return lookupStatus(status);
        if (sourceId == kTopKey)
            return RegStatus::Invalid;

        // The deepest existing key on the destination's path.
        std::int64_t existing = kTopKey;
        std::size_t matched = 0;
        for (std::string_view part : destParts) {
            bool found = false;
            std::int64_t child = 0;
            if (!findChild(existing, part, child, nullptr, found))
                return RegStatus::Error;
            if (!found)
                break;
            existing = child;
            ++matched;
        }
        const bool destExists = matched == destParts.size();
        if (destExists && existing == sourceId) {
            if (!move)
                return RegStatus::Ok;
            Use use(*this, RenameKey);
            if (!use || !use.bind(1, sourceId) || !use.bindText(2, destParts.back()) || !use.step(true))
                return RegStatus::Error;
            return RegStatus::Ok;
        }
        bool inside = false;
        if (!isInside(existing, sourceId, inside))
            return RegStatus::Error;
        if (!inside && destExists && !isInside(sourceId, existing, inside))
            return RegStatus::Error;
        if (inside)
            return RegStatus::Invalid;

        std::vector<RegKeySnapshot> keys;
        if (!snapshot(sourceId, keys))
            return RegStatus::Error;
        std::int64_t destId = 0;
        if ((status = createPath(dest, destId, nullptr)) != RegStatus::Ok)
            return status;
        std::string target(dest);
        if (!target.empty() && target.front() != '\\')
            target.insert(target.begin(), '\\');
        if (target == "\\")
            target.clear();
        for (const RegKeySnapshot& key : keys) {
            std::int64_t id = destId;
            if (!key.path.empty() && (status = createPath(target + key.path, id, nullptr)) != RegStatus::Ok)
                return status == RegStatus::Invalid ? RegStatus::Error : status;
            for (const RegValue& value : key.values)
                if (!upsertValue(id, value.name, value.type, value.data))
                    return RegStatus::Error;
        }
        if (move && !deleteTree(sourceId))
            return RegStatus::Error;
        return RegStatus::Ok;
    });
}

RegValueRead RegistryStore::queryValue(std::string_view path, std::string_view name) {
    RegValueRead out;
    if (!validValueName(name))
        return out;
    out.status = onKey(path, false, [&](std::int64_t id) {
        Use use(*this, FindValue);
        bool row = false;
        if (!use || !use.bind(1, id) || !use.bindText(2, name) || !use.step(false, &row))
            return RegStatus::Error;
        if (!row)
            return RegStatus::NotFound;
        if (!use.columnBlob(1, out.data))
            return RegStatus::Error;
        out.type = static_cast<std::uint32_t>(use.columnInt(0));
        return RegStatus::Ok;
    });
    if (out.status != RegStatus::Ok) {
        out.type = REG_NONE;
        out.data.clear();
    }
    return out;
}

RegStatus RegistryStore::valueExists(std::string_view path, std::string_view name) {
    if (!validValueName(name))
        return RegStatus::NotFound;
    return onKey(path, false, [&](std::int64_t id) {
        Use use(*this, HasValue);
        bool row = false;
        if (!use || !use.bind(1, id) || !use.bindText(2, name) || !use.step(false, &row))
            return RegStatus::Error;
        return row ? RegStatus::Ok : RegStatus::NotFound;
    });
}

RegStatus RegistryStore::listValues(std::string_view path, std::vector<RegValue>& values) {
    values.clear();
    const RegStatus status = onKey(path, false, [&](std::int64_t id) {
        return loadValues(id, values) ? RegStatus::Ok : RegStatus::Error;
    });
    if (status != RegStatus::Ok)
        values.clear();
    return status;
}

RegNameList RegistryStore::valueNames(std::string_view path) {
    RegNameList out;
    std::vector<RegValue> values;
    out.status = listValues(path, values);
    for (RegValue& value : values)
        out.names.push_back(std::move(value.name));
    return out;
}

RegStatus RegistryStore::setValue(std::string_view path, std::string_view name, std::uint32_t type,
                                  std::string_view data) {
    if (!validValueName(name))
        return RegStatus::Invalid;
    return onKey(path, true, [&](std::int64_t id) {
        return upsertValue(id, name, type, data) ? RegStatus::Ok : RegStatus::Error;
    });
}

RegStatus RegistryStore::setString(std::string_view path, std::string_view name, std::string_view text,
                                   std::uint32_t type) {
    return setValue(path, name, type, text);
}

RegStatus RegistryStore::setDword(std::string_view path, std::string_view name, std::uint32_t value) {
    // Little-endian, as the registry keeps it.
    const char bytes[4] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                           static_cast<char>((value >> 16) & 0xFF), static_cast<char>((value >> 24) & 0xFF)};
    return setValue(path, name, REG_DWORD, std::string_view(bytes, 4));
}

RegStatus RegistryStore::createAndSetValue(std::string_view path, std::string_view name, std::uint32_t type,
                                           std::string_view data) {
    if (!validValueName(name))
        return RegStatus::Invalid;
    return inTransaction(true, [&] {
        std::int64_t id = 0;
        const RegStatus status = createPath(path, id, nullptr);
        if (status != RegStatus::Ok)
            return status;
        return upsertValue(id, name, type, data) ? RegStatus::Ok : RegStatus::Error;
    });
}

RegStatus RegistryStore::deleteValue(std::string_view path, std::string_view name) {
    if (!validValueName(name))
        return RegStatus::Invalid;
    return onKey(path, true, [&](std::int64_t id) {
        Use use(*this, DeleteValue);
        if (!use || !use.bind(1, id) || !use.bindText(2, name) || !use.step(true))
            return RegStatus::Error;
        return sqlite3_changes(m_db) == 0 ? RegStatus::NotFound : RegStatus::Ok;
    });
}

RegTree RegistryStore::readTree(std::string_view path) {
    RegTree out;
    out.status = onKey(path, false, [&](std::int64_t id) {
        return snapshot(id, out.keys) ? RegStatus::Ok : RegStatus::Error;
    });
    if (out.status != RegStatus::Ok)
        out.keys.clear();
    return out;
}

} // namespace halcyra
