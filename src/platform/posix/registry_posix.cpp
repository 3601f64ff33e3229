// The registry as one SQLite database. Keys form a tree in `keys` (the three roots
// are rows 1..3); values live in `key_values`. Names are stored as given and
// matched through an ASCII-folded copy. Every handle has its own connection; WAL
// with synchronous=FULL makes a committed write survive the writer's crash, and
// writes take the lock up front (BEGIN IMMEDIATE) so two processes never deadlock
// upgrading a read.
#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/trace.h"

namespace zelto::platform {
namespace {

// How long a write waits for another process's write lock before it fails. A
// store held locked (a crashed or stuck writer) must not stall every write of a
// card's start-up for a minute each.
constexpr int kBusyTimeoutMs = 3000;
constexpr int kSchemaVersion = 1;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER NOT NULL,
  name TEXT NOT NULL,
  name_folded TEXT NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, name_folded);
CREATE TABLE IF NOT EXISTS key_values(
  key_id INTEGER NOT NULL,
  name TEXT NOT NULL,
  name_folded TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(key_id, name_folded)) WITHOUT ROWID;
INSERT OR IGNORE INTO keys(id, parent, name, name_folded) VALUES
  (1, 0, 'HKEY_CURRENT_USER', 'hkey_current_user'),
  (2, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine'),
  (3, 0, 'HKEY_CLASSES_ROOT', 'hkey_classes_root');
PRAGMA user_version = 1;
)sql";

// Ids of the keys deleted by a tree delete: the key and all below it.
constexpr const char* kSubtree =
    "WITH RECURSIVE subtree(id) AS (SELECT ?1 UNION ALL "
    "SELECT keys.id FROM keys JOIN subtree ON keys.parent = subtree.id) ";

int64_t RootId(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kLocalMachine: return 2;
    case RegistryRoot::kClassesRoot: return 3;
    case RegistryRoot::kCurrentUser: break;
  }
  return 1;
}

std::string Folded(const char* name) {
  std::string folded = name != nullptr ? name : "";
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::vector<std::string> PathComponents(const std::string& path) {
  std::vector<std::string> components;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) components.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return components;
}

std::string StorePath() {
  if (const char* path = std::getenv("ZELTO_REGISTRY"); path != nullptr && path[0] != '\0') {
    return path;
  }
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    config = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    config = std::string(home) + "/.config";
  } else if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) {
    config = std::string(user->pw_dir) + "/.config";
  } else {
    config = ".";
  }
  return config + "/zeltorgb/registry.db";
}

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr) != SQLITE_OK) {
      statement_ = nullptr;
    }
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return statement_ != nullptr; }
  Statement& Bind(int index, int64_t value) {
    if (statement_ != nullptr) sqlite3_bind_int64(statement_, index, value);
    return *this;
  }
  Statement& Bind(int index, const std::string& text) {
    if (statement_ != nullptr) {
      sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT);
    }
    return *this;
  }
  Statement& BindBlob(int index, const void* data, uint32_t size) {
    if (statement_ == nullptr) return *this;
    // A null pointer would bind NULL; an empty value is an empty blob.
    if (size == 0) {
      sqlite3_bind_zeroblob(statement_, index, 0);
    } else {
      sqlite3_bind_blob(statement_, index, data, static_cast<int>(size), SQLITE_TRANSIENT);
    }
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return statement_ != nullptr ? sqlite3_step(statement_) : SQLITE_ERROR; }
  int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  const void* Blob(int column) const { return sqlite3_column_blob(statement_, column); }
  uint32_t Bytes(int column) const {
    return static_cast<uint32_t>(sqlite3_column_bytes(statement_, column));
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// One connection to the store.
struct Store {
  std::string path;
  sqlite3* db = nullptr;

  ~Store() { sqlite3_close_v2(db); }

  RegStatus Fail() const {
    TraceFormat("Registry store \"%s\": %s", path.c_str(),
                db != nullptr ? sqlite3_errmsg(db) : "cannot open");
    return kRegBadKey;
  }

  bool Exec(const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  }

  int64_t UserVersion() {
    Statement version(db, "PRAGMA user_version");
    return version.Step() == SQLITE_ROW ? version.Int(0) : -1;
  }

  // Opens the database at the current ZELTO_REGISTRY (or the default path) and
  // creates the schema the first time.
  RegStatus Open() {
    path = StorePath();
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    if (sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
      return Fail();
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (!Exec("PRAGMA journal_mode = WAL") || !Exec("PRAGMA synchronous = FULL")) return Fail();
    if (UserVersion() == kSchemaVersion) return kRegSuccess;
    if (!Exec("BEGIN IMMEDIATE")) return Fail();
    if (UserVersion() != kSchemaVersion && !Exec(kSchema)) {
      RegStatus status = Fail();
      Exec("ROLLBACK");
      return status;
    }
    if (!Exec("COMMIT")) {
      RegStatus status = Fail();
      Exec("ROLLBACK");
      return status;
    }
    return kRegSuccess;
  }
};

// A transaction that rolls back unless committed.
class Transaction {
 public:
  enum Kind { kRead, kWrite };
  Transaction(Store& store, Kind kind) : store_(store) {
    open_ = store_.Exec(kind == kWrite ? "BEGIN IMMEDIATE" : "BEGIN");
  }
  ~Transaction() {
    if (open_) store_.Exec("ROLLBACK");
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool ok() const { return open_; }
  bool Commit() {
    if (!open_ || !store_.Exec("COMMIT")) return false;
    open_ = false;
    return true;
  }

 private:
  Store& store_;
  bool open_ = false;
};

struct KeyHandle {
  Store store;
  int64_t key_id = 0;
};

// Walks `path` below `root`; with `create`, adds what is missing (inside a write
// transaction).
RegStatus Resolve(Store& store, RegistryRoot root, const std::string& path, bool create,
                  int64_t* key_id) {
  int64_t id = RootId(root);
  for (const std::string& name : PathComponents(path)) {
    std::string folded = Folded(name.c_str());
    Statement find(store.db, "SELECT id FROM keys WHERE parent = ?1 AND name_folded = ?2");
    find.Bind(1, id).Bind(2, folded);
    int step = find.Step();
    if (step == SQLITE_ROW) {
      id = find.Int(0);
      continue;
    }
    if (step != SQLITE_DONE) return store.Fail();
    if (!create) return kRegNotFound;
    Statement insert(store.db, "INSERT INTO keys(parent, name, name_folded) VALUES (?1, ?2, ?3)");
    insert.Bind(1, id).Bind(2, name).Bind(3, folded);
    if (insert.Step() != SQLITE_DONE) return store.Fail();
    id = sqlite3_last_insert_rowid(store.db);
  }
  *key_id = id;
  return kRegSuccess;
}

// kRegSuccess while the key exists, kRegKeyDeleted once a tree delete took it.
RegStatus CheckKey(Store& store, int64_t key_id) {
  Statement find(store.db, "SELECT 1 FROM keys WHERE id = ?1");
  find.Bind(1, key_id);
  int step = find.Step();
  if (step == SQLITE_ROW) return kRegSuccess;
  return step == SQLITE_DONE ? kRegKeyDeleted : store.Fail();
}

KeyHandle* Handle(void* handle) { return static_cast<KeyHandle*>(handle); }

RegStatus OpenKey(RegistryRoot root, const std::string& path, bool create, void** handle) {
  auto key = std::make_unique<KeyHandle>();
  if (RegStatus status = key->store.Open(); status != kRegSuccess) return status;
  RegStatus status;
  {
    // Most opens find the whole path; only a missing key takes the write lock.
    Transaction read(key->store, Transaction::kRead);
    if (!read.ok()) return key->store.Fail();
    status = Resolve(key->store, root, path, false, &key->key_id);
  }
  if (status == kRegNotFound && create) {
    Transaction write(key->store, Transaction::kWrite);
    if (!write.ok()) return key->store.Fail();
    status = Resolve(key->store, root, path, true, &key->key_id);
    if (status == kRegSuccess && !write.Commit()) status = key->store.Fail();
  }
  if (status == kRegSuccess) *handle = key.release();
  return status;
}

}  // namespace

RegStatus RegistryKey::Create(RegistryRoot root, const std::string& path) {
  Close();
  return OpenKey(root, path, true, &handle_);
}

RegStatus RegistryKey::Open(RegistryRoot root, const std::string& path) {
  Close();
  return OpenKey(root, path, false, &handle_);
}

void RegistryKey::Close() {
  delete Handle(handle_);
  handle_ = nullptr;
}

RegStatus RegistryKey::QueryValue(const char* name, uint32_t* type, void* data,
                                  uint32_t* size) const {
  if (handle_ == nullptr) return kRegInvalidHandle;
  if (data != nullptr && size == nullptr) return kRegInvalidParameter;
  KeyHandle& key = *Handle(handle_);
  Transaction read(key.store, Transaction::kRead);
  if (!read.ok()) return key.store.Fail();
  Statement find(key.store.db,
                 "SELECT type, data FROM key_values WHERE key_id = ?1 AND name_folded = ?2");
  find.Bind(1, key.key_id).Bind(2, Folded(name));
  int step = find.Step();
  if (step == SQLITE_DONE) {
    RegStatus status = CheckKey(key.store, key.key_id);
    return status == kRegSuccess ? kRegNotFound : status;
  }
  if (step != SQLITE_ROW) return key.store.Fail();
  uint32_t stored_type = static_cast<uint32_t>(find.Int(0));
  const void* stored = find.Blob(1);
  uint32_t stored_size = find.Bytes(1);
  if (data != nullptr) {
    if (*size < stored_size) {
      if (type != nullptr) *type = stored_type;
      *size = stored_size;
      return kRegMoreData;
    }
    if (stored_size > 0) std::memcpy(data, stored, stored_size);
  }
  if (type != nullptr) *type = stored_type;
  if (size != nullptr) *size = stored_size;
  return kRegSuccess;
}

RegStatus RegistryKey::SetValue(const char* name, uint32_t type, const void* data, uint32_t size) {
  if (handle_ == nullptr) return kRegInvalidHandle;
  if (data == nullptr && size != 0) return kRegInvalidParameter;
  KeyHandle& key = *Handle(handle_);
  Transaction write(key.store, Transaction::kWrite);
  if (!write.ok()) return key.store.Fail();
  if (RegStatus status = CheckKey(key.store, key.key_id); status != kRegSuccess) return status;
  Statement upsert(key.store.db,
                   "INSERT INTO key_values(key_id, name, name_folded, type, data) "
                   "VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT(key_id, name_folded) "
                   "DO UPDATE SET type = excluded.type, data = excluded.data");
  upsert.Bind(1, key.key_id).Bind(2, std::string(name != nullptr ? name : ""));
  upsert.Bind(3, Folded(name)).Bind(4, int64_t{type}).BindBlob(5, data, size);
  if (upsert.Step() != SQLITE_DONE || !write.Commit()) return key.store.Fail();
  return kRegSuccess;
}

RegStatus RegistryKey::DeleteValue(const char* name) {
  if (handle_ == nullptr) return kRegInvalidHandle;
  KeyHandle& key = *Handle(handle_);
  Transaction write(key.store, Transaction::kWrite);
  if (!write.ok()) return key.store.Fail();
  if (RegStatus status = CheckKey(key.store, key.key_id); status != kRegSuccess) return status;
  Statement remove(key.store.db, "DELETE FROM key_values WHERE key_id = ?1 AND name_folded = ?2");
  remove.Bind(1, key.key_id).Bind(2, Folded(name));
  if (remove.Step() != SQLITE_DONE) return key.store.Fail();
  if (sqlite3_changes(key.store.db) == 0) return kRegNotFound;
  if (!write.Commit()) return key.store.Fail();
  return kRegSuccess;
}

RegStatus DeleteRegistryTree(RegistryRoot root, const std::string& path) {
  if (PathComponents(path).empty()) return kRegAccessDenied;
  Store store;
  if (RegStatus status = store.Open(); status != kRegSuccess) return status;
  Transaction write(store, Transaction::kWrite);
  if (!write.ok()) return store.Fail();
  int64_t key_id = 0;
  if (RegStatus status = Resolve(store, root, path, false, &key_id); status != kRegSuccess) {
    return status;
  }
  Statement values(store.db, std::string(kSubtree) +
                                 "DELETE FROM key_values WHERE key_id IN (SELECT id FROM subtree)");
  values.Bind(1, key_id);
  if (values.Step() != SQLITE_DONE) return store.Fail();
  Statement keys(store.db,
                 std::string(kSubtree) + "DELETE FROM keys WHERE id IN (SELECT id FROM subtree)");
  keys.Bind(1, key_id);
  if (keys.Step() != SQLITE_DONE || !write.Commit()) return store.Fail();
  return kRegSuccess;
}

}  // namespace zelto::platform
