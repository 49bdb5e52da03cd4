#include "platform/registry.h"

#include "platform/clientlibrary.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QThreadStorage>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <map>
#include <memory>
#include <thread>
#include <unordered_map>

#include <sqlite3.h>
#include <sys/stat.h>

namespace {

// Type codes in the file; the numbers of the classic string and double-word kinds.
constexpr int StringCode = 1;
constexpr int IntegerCode = 4;
constexpr qint64 RootId = 1;
// Kept in the file's user_version once the tables exist.
constexpr int SchemaVersion = 1;
// Attempts of a transaction whose start or commit stays busy past the busy time-out.
constexpr int BusyAttempts = 5;

std::atomic<uint64_t> nextStoreId{1};

// Qt binds a null QString as SQL NULL; names and texts are never NULL in the file.
QString nonNull(const QString& s)
{
    return s.isNull() ? QString("") : s;
}

QString folded(const QString& name)
{
    return nonNull(name).toCaseFolded();
}

QStringList pathParts(const QString& path)
{
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

bool isBusy(const QSqlError& e)
{
    bool ok = false;
    const int code = e.nativeErrorCode().toInt(&ok);
    const int primary = code & 0xff;
    return ok && (primary == 5 || primary == 6);  // SQLITE_BUSY, SQLITE_LOCKED
}

int pauseMs(int attempt)
{
    return 20 * (attempt + 1);
}

void pause(int attempt)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(attempt)));
}

// Device and inode of the file under the path; false when there is none.
bool fileIdentity(const QString& path, uint64_t* device, uint64_t* inode)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    *device = uint64_t(st.st_dev);
    *inode = uint64_t(st.st_ino);
    return true;
}

}  // namespace

struct RegistryConnection {
    QString failure;      // the error that made the open transaction fail
    QString name;
    QString filePath;
    QSqlDatabase db;
    int depth = 0;        // open transaction levels; 0 outside transaction()
    bool failed = false;  // a database error happened inside the open transaction
    bool busy = false;    // the last failure was a lock held by another connection
    uint64_t errorSerial = 0;
    QString error;

    void setError(const QString& text)
    {
        error = text;
        ++errorSerial;
    }

    bool exec(QSqlQuery& q)
    {
        if (q.exec())
            return true;
        fail(q.lastError());
        return false;
    }

    bool exec(const QString& sql)
    {
        QSqlQuery q(db);
        if (q.exec(sql))
            return true;
        fail(q.lastError());
        return false;
    }

    void markFailed()
    {
        failed = true;
        failure = error;
    }

    void fail(const QSqlError& e)
    {
        busy = isBusy(e);
        setError(QStringLiteral("The registry file \"%1\" could not be used: %2").arg(filePath, e.text()));
    }

    // Another try after a busy failure, if the call's time allows it: the next statement waits
    // no longer than what is left (at least a little), and the pause before it counts too.
    bool mayRetry(int attempt, const QDeadlineTimer& deadline)
    {
        const qint64 left = deadline.remainingTime() - pauseMs(attempt);
        if (attempt + 1 >= BusyAttempts || left < 20)
            return false;
        pause(attempt);
        setBusyTimeout(int(left));
        return true;
    }

    void setBusyTimeout(int ms)
    {
        if (ms == busyTimeout)
            return;
        if (pollsLock) {
            busyTimeout = ms;
            return;
        }
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(ms)))
            busyTimeout = ms;
    }

    // A lock held by another connection is asked for again every millisecond until busyTimeout
    // has passed since the first refusal. SQLite's own wait backs off to a tenth of a second
    // between tries, and between two programs that write in turn a waiter can then miss every
    // moment the file is free until its time is up.
    void pollLockWhileBusy()
    {
        auto handler = SORVIX_CLIENT_FUNCTION(clientlibrary::SQLite, sqlite3_busy_handler);
        auto* handle = static_cast<sqlite3*>(clientlibrary::nativeHandle(db.driver()->handle(), {"sqlite3*"}));
        pollsLock = handler && handle && handler(handle, &RegistryConnection::askAgain, this) == SQLITE_OK;
    }

    static int askAgain(void* self, int refusals)
    {
        auto* c = static_cast<RegistryConnection*>(self);
        if (refusals == 0)
            c->waited.start();
        if (c->waited.elapsed() >= c->busyTimeout)
            return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 1;
    }

    int busyTimeout = 0;
    bool pollsLock = false;
    QElapsedTimer waited;

    void close()
    {
        if (name.isEmpty())
            return;
        db.close();
        db = QSqlDatabase();
        pollsLock = false;
        QSqlDatabase::removeDatabase(name);
        name.clear();
    }
};

namespace {

// The calling thread's connections, one per store; closed when the thread ends.
struct ThreadConnections {
    std::unordered_map<uint64_t, std::unique_ptr<RegistryConnection>> byStore;
    ~ThreadConnections()
    {
        for (auto& [id, c] : byStore)
            c->close();
    }
};

}  // namespace

// QThreadStorage rather than thread_local: a QThread's data goes in QThread::finish, before
// wait() returns, so its connections are gone by the time the thread counts as ended.
static QThreadStorage<ThreadConnections*>& perThread()
{
    static QThreadStorage<ThreadConnections*> storage;
    return storage;
}

static ThreadConnections& threadConnections()
{
    if (!perThread().hasLocalData())
        perThread().setLocalData(new ThreadConnections);
    return *perThread().localData();
}

// The struct of a thread that no longer uses any store is freed at once, the main thread's too.
static void dropThreadConnectionsIfUnused()
{
    if (perThread().hasLocalData() && perThread().localData()->byStore.empty())
        perThread().setLocalData(nullptr);
}

QString RegistryStore::defaultFilePath()
{
    const QString fromEnv = qEnvironmentVariable("SORVIX_REGISTRY");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/sorvix/registry.db");
}

// One writing turn per file and process, shared by every store on that file: a flag under a
// mutex, waited for with a time limit.
struct RegistryStore::WriteTurn {
    std::mutex mutex;
    std::condition_variable freed;
    bool taken = false;

    bool take(qint64 ms)
    {
        std::unique_lock lock(mutex);
        if (!freed.wait_for(lock, std::chrono::milliseconds(std::max<qint64>(ms, 0)), [this] { return !taken; }))
            return false;
        taken = true;
        return true;
    }
    void give()
    {
        {
            std::lock_guard lock(mutex);
            taken = false;
        }
        freed.notify_one();
    }
};

// Gives the turn back when it goes out of scope.
class RegistryStore::TurnHolder {
public:
    ~TurnHolder()
    {
        if (turn_)
            turn_->give();
    }
    void hold(WriteTurn* turn) { turn_ = turn; }

private:
    WriteTurn* turn_ = nullptr;
};

std::shared_ptr<RegistryStore::WriteTurn> RegistryStore::writeTurnFor(const QString& filePath)
{
    static std::mutex mutex;
    static std::map<QString, std::weak_ptr<RegistryStore::WriteTurn>> turns;
    const QString key = filePath.isEmpty() ? QString() : QFileInfo(filePath).absoluteFilePath();
    std::lock_guard lock(mutex);
    std::shared_ptr<RegistryStore::WriteTurn> turn = turns[key].lock();
    if (!turn) {
        turn = std::make_shared<RegistryStore::WriteTurn>();
        turns[key] = turn;
    }
    return turn;
}

RegistryStore::RegistryStore(const QString& filePath)
    : filePath_(filePath), id_(nextStoreId.fetch_add(1)), writeTurn_(writeTurnFor(filePath))
{
}

bool RegistryStore::takeWriteTurn(TurnHolder& turn, RegistryConnection& c, qint64 leftMs)
{
    if (writeTurn_->take(leftMs)) {
        turn.hold(writeTurn_.get());
    } else {
        c.busy = true;
        c.setError(QStringLiteral("The registry file \"%1\" could not be used: database is locked by another "
                                  "thread of this program")
                       .arg(filePath_));
        return false;
    }
    c.setBusyTimeout(int(std::max<qint64>(leftMs, 20)));
    return true;
}

RegistryStore::~RegistryStore()
{
    releaseThreadConnection();
}

void RegistryStore::releaseThreadConnection()
{
    if (!perThread().hasLocalData())
        return;
    auto& map = threadConnections().byStore;
    auto it = map.find(id_);
    // Inside transaction() the connection carries the open transaction; it stays.
    if (it == map.end() || it->second->depth > 0)
        return;
    it->second->close();
    map.erase(it);
    dropThreadConnectionsIfUnused();
}

QString RegistryStore::errorString() const
{
    if (!perThread().hasLocalData())
        return QString();
    auto& map = threadConnections().byStore;
    auto it = map.find(id_);
    return it == map.end() ? QString() : it->second->error;
}

RegistryConnection* RegistryStore::connection()
{
    auto& slot = threadConnections().byStore[id_];
    if (!slot)
        slot = std::make_unique<RegistryConnection>();
    RegistryConnection& c = *slot;
    if (!c.name.isEmpty() && c.db.isOpen())
        return &c;

    c.close();
    c.filePath = filePath_;
    if (filePath_.isEmpty()) {
        c.setError(QStringLiteral("No registry file is configured."));
        return nullptr;
    }
    const QFileInfo info(filePath_);
    // SQLite would open a device or a pipe, and make its journal beside it.
    struct stat st {};
    if (::stat(QFile::encodeName(filePath_).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        c.setError(QStringLiteral("The registry file \"%1\" could not be opened: it is not a regular file.").arg(filePath_));
        return nullptr;
    }
    if (!QDir().mkpath(info.absolutePath())) {
        c.setError(QStringLiteral("The folder of the registry file \"%1\" could not be created.").arg(filePath_));
        return nullptr;
    }
    c.name = QStringLiteral("sorvix-registry-%1-%2")
                 .arg(id_)
                 .arg(reinterpret_cast<quintptr>(QThread::currentThreadId()), 0, 16);
    c.db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), c.name);
    c.db.setDatabaseName(filePath_);
    c.db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    c.busyTimeout = BusyTimeoutMs;
    const QDeadlineTimer deadline(BusyTimeoutMs);
    if (!c.db.open()) {
        c.setError(QStringLiteral("The registry file \"%1\" could not be opened: %2")
                       .arg(filePath_, c.db.lastError().text()));
        c.close();
        return nullptr;
    }
    c.pollLockWhileBusy();

    // UTF-16 keeps every QString intact, lone surrogates and NULs included; it only takes effect
    // while the file is still empty.
    if (!c.exec(QStringLiteral("PRAGMA encoding = 'UTF-16le'"))) {
        c.close();
        return nullptr;
    }
    if (!checkIntegrity(c)) {
        c.close();
        return nullptr;
    }
    // A file that has the tables already needs no write lock to open, so a connection can open
    // while another holds a transaction. A file that lacks them is set up under this process's
    // write turn, so that the threads of this program opening it together, or writing to it
    // while one of them opens it, queue instead of racing for the file's lock.
    int version = -1;
    {
        QSqlQuery q(c.db);
        if (q.exec(QStringLiteral("PRAGMA user_version")) && q.next()) {
            version = q.value(0).toInt();
        } else {
            c.fail(q.lastError());
            if (!c.busy) {
                c.close();
                return nullptr;
            }
        }
    }
    if (version == SchemaVersion) {
        // Set up already: the journal is WAL unless another program switched it back, and
        // asking again is then a no-op that takes no lock.
        QSqlQuery(c.db).exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    } else if (!setUp(c, deadline)) {
        c.close();
        return nullptr;
    }
    // With the WAL journal, commits need no flush to disk of their own: a writer holds the lock
    // for a moment only, so the others' bounded waits are enough. The file stays consistent
    // whatever happens; a power cut may take back the last changes.
    c.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
    c.setBusyTimeout(BusyTimeoutMs);
    noteFileIdentity();
    return &c;
}

bool RegistryStore::setUp(RegistryConnection& c, const QDeadlineTimer& deadline)
{
    TurnHolder turn;
    if (!takeWriteTurn(turn, c, deadline.remainingTime()))
        return false;
    // Switching to WAL needs a moment alone with the file; another process may be creating it too.
    for (int attempt = 0;; ++attempt) {
        QSqlQuery q(c.db);
        if (q.exec(QStringLiteral("PRAGMA journal_mode = WAL")) && q.next()
            && q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0)
            break;
        if (!c.mayRetry(attempt, deadline))
            break;  // a rollback journal still works, only with less concurrency
    }
    const QStringList schema = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS registry_keys ("
                       "id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, "
                       "name TEXT NOT NULL, folded TEXT NOT NULL)"),
        QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS registry_keys_name ON registry_keys (parent, folded)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS registry_values ("
                       "id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL, "
                       "name TEXT NOT NULL, folded TEXT NOT NULL, type INTEGER NOT NULL, data)"),
        QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS registry_values_name ON registry_values (key, folded)"),
        QStringLiteral("INSERT OR IGNORE INTO registry_keys (id, parent, name, folded) VALUES (1, NULL, '', '')"),
        QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion),
    };
    for (int attempt = 0;; ++attempt) {
        c.busy = false;
        bool ok = c.exec(QStringLiteral("BEGIN IMMEDIATE"));
        for (int i = 0; ok && i < schema.size(); ++i)
            ok = c.exec(schema[i]);
        if (ok && c.exec(QStringLiteral("COMMIT")))
            return true;
        const bool busy = c.busy;
        const QString error = c.error;
        c.exec(QStringLiteral("ROLLBACK"));
        c.error = error;
        if (!busy || !c.mayRetry(attempt, deadline))
            return false;
    }
}

bool RegistryStore::checkIntegrity(RegistryConnection& c)
{
    std::lock_guard lock(checkMutex_);
    if (checked_ && damage_.isEmpty())
        return true;
    if (!damage_.isEmpty()) {
        c.setError(damage_);
        return false;
    }
    // A damaged page can make lookups answer "no such key" without any error, and writing on
    // from there would bury the old keys for good: the whole file is checked once, before any use.
    QSqlQuery q(c.db);
    QStringList problems;
    if (q.exec(QStringLiteral("PRAGMA integrity_check(3)"))) {
        while (q.next())
            problems << q.value(0).toString();
        if (problems == QStringList{QStringLiteral("ok")})
            problems.clear();
        else
            problems.prepend(QStringLiteral("database disk image is malformed"));
    } else {
        bool isCode = false;
        const int code = q.lastError().nativeErrorCode().toInt(&isCode) & 0xff;
        if (!isCode || (code != SQLITE_CORRUPT && code != SQLITE_NOTADB)) {
            c.fail(q.lastError());  // not known to be damaged: asked again next time
            return false;
        }
        problems << q.lastError().text();
    }
    checked_ = true;
    if (problems.isEmpty())
        return true;
    damage_ = QStringLiteral("The registry file \"%1\" is damaged: %2").arg(filePath_, problems.join(QStringLiteral("; ")));
    refuseWrites(damage_);
    c.setError(damage_);
    return false;
}

void RegistryStore::noteFileIdentity()
{
    uint64_t device = 0, inode = 0;
    if (!fileIdentity(filePath_, &device, &inode))
        return;
    std::lock_guard lock(mutex_);
    if (haveIdentity_)
        return;
    haveIdentity_ = true;
    fileDevice_ = device;
    fileInode_ = inode;
}

void RegistryStore::refuseWrites(const QString& reason)
{
    std::lock_guard lock(mutex_);
    refusal_ = reason;
}

bool RegistryStore::writesRefused() const
{
    std::lock_guard lock(mutex_);
    return !refusal_.isEmpty();
}

bool RegistryStore::mayWrite(RegistryConnection& c)
{
    uint64_t device = 0, inode = 0;
    const bool present = fileIdentity(filePath_, &device, &inode);
    std::lock_guard lock(mutex_);
    if (!refusal_.isEmpty()) {
        c.setError(refusal_);
        return false;
    }
    if (haveIdentity_ && (!present || device != fileDevice_ || inode != fileInode_)) {
        c.setError(QStringLiteral("The registry file \"%1\" was %2 while the program ran; nothing was written.")
                       .arg(filePath_, present ? QStringLiteral("replaced") : QStringLiteral("deleted")));
        return false;
    }
    return true;
}

bool RegistryStore::refused()
{
    std::lock_guard lock(mutex_);
    if (refusal_.isEmpty())
        return false;
    auto& slot = threadConnections().byStore[id_];
    if (!slot)
        slot = std::make_unique<RegistryConnection>();
    slot->setError(refusal_);
    return true;
}

bool RegistryStore::run(bool write, const Body& body)
{
    // Refused writes do not even open the file.
    if (write && refused())
        return false;
    RegistryConnection* c = connection();
    if (!c)
        return false;
    if (c->depth > 0) {
        if (c->failed) {
            c->setError(QStringLiteral("The registry transaction has already failed: %1").arg(c->failure));
            return false;
        }
        const Outcome outcome = body(*c);
        if (outcome == Outcome::Error)
            c->markFailed();
        return outcome == Outcome::Done;
    }

    if (write && !mayWrite(*c))
        return false;
    // Writers take the write lock at the start, so two writers queue up instead of failing
    // when one of them would have to upgrade a read lock.
    const QString begin = write ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN");
    const QDeadlineTimer deadline(BusyTimeoutMs);
    struct RestoreTimeout {
        RegistryConnection* c;
        ~RestoreTimeout() { c->setBusyTimeout(RegistryStore::BusyTimeoutMs); }
    } restore{c};
    TurnHolder turn;
    if (write && !takeWriteTurn(turn, *c, deadline.remainingTime()))
        return false;
    for (int attempt = 0;; ++attempt) {
        c->busy = false;
        if (!c->exec(begin)) {
            if (c->busy && c->mayRetry(attempt, deadline))
                continue;
            return false;
        }
        const Outcome outcome = body(*c);
        if (outcome == Outcome::Done && c->exec(QStringLiteral("COMMIT")))
            return true;
        const bool busy = outcome != Outcome::Refused && c->busy;
        const QString error = c->error;
        const uint64_t serial = c->errorSerial;
        c->exec(QStringLiteral("ROLLBACK"));
        c->error = error;
        c->errorSerial = serial;
        if (!busy || !c->mayRetry(attempt, deadline))
            return false;
    }
}

bool RegistryStore::transaction(const std::function<bool()>& work)
{
    if (refused())
        return false;
    RegistryConnection* c = connection();
    if (!c)
        return false;

    if (c->depth > 0) {
        if (c->failed) {
            c->setError(QStringLiteral("The registry transaction has already failed: %1").arg(c->failure));
            return false;
        }
        const QString point = QStringLiteral("level%1").arg(c->depth);
        if (!c->exec(QStringLiteral("SAVEPOINT ") + point)) {
            c->markFailed();
            return false;
        }
        ++c->depth;
        bool ok = false;
        try {
            ok = work();
        } catch (...) {
            --c->depth;
            c->exec(QStringLiteral("ROLLBACK TO ") + point);
            c->exec(QStringLiteral("RELEASE ") + point);
            throw;
        }
        --c->depth;
        if (ok && !c->failed) {
            if (c->exec(QStringLiteral("RELEASE ") + point))
                return true;
            c->markFailed();
            return false;
        }
        const QString error = c->error;
        c->exec(QStringLiteral("ROLLBACK TO ") + point);
        c->exec(QStringLiteral("RELEASE ") + point);
        c->error = error;
        return false;
    }

    if (!mayWrite(*c))
        return false;
    // Held until the transaction has committed or rolled back.
    TurnHolder turn;
    {
        const QDeadlineTimer deadline(BusyTimeoutMs);
        struct RestoreTimeout {
            RegistryConnection* c;
            ~RestoreTimeout() { c->setBusyTimeout(RegistryStore::BusyTimeoutMs); }
        } restore{c};
        if (!takeWriteTurn(turn, *c, deadline.remainingTime()))
            return false;
        for (int attempt = 0;; ++attempt) {
            c->busy = false;
            if (c->exec(QStringLiteral("BEGIN IMMEDIATE")))
                break;
            if (!c->busy || !c->mayRetry(attempt, deadline))
                return false;
        }
    }

    c->depth = 1;
    c->failed = false;
    const uint64_t serialBefore = c->errorSerial;
    bool ok = false;
    try {
        ok = work();
    } catch (...) {
        c->depth = 0;
        c->failed = false;
        c->exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    c->depth = 0;
    const bool failed = c->failed;
    c->failed = false;
    if (ok && !failed && c->exec(QStringLiteral("COMMIT")))
        return true;

    const QString error = c->error;
    const bool explained = c->errorSerial != serialBefore;
    c->exec(QStringLiteral("ROLLBACK"));
    if (explained)
        c->error = error;
    else
        c->setError(QStringLiteral("The registry changes were rolled back."));
    return false;
}

namespace {

enum class Find { Found, Missing, Error };

// Walks the path from the root. With create, missing keys are made on the way.
Find findKey(RegistryConnection& c, const QStringList& parts, bool create, qint64* id)
{
    qint64 current = RootId;
    for (const QString& part : parts) {
        QSqlQuery q(c.db);
        q.prepare(QStringLiteral("SELECT id FROM registry_keys WHERE parent = ? AND folded = ?"));
        q.addBindValue(current);
        q.addBindValue(folded(part));
        if (!c.exec(q))
            return Find::Error;
        if (q.next()) {
            current = q.value(0).toLongLong();
            continue;
        }
        if (!create)
            return Find::Missing;
        QSqlQuery insert(c.db);
        insert.prepare(QStringLiteral("INSERT INTO registry_keys (parent, name, folded) VALUES (?, ?, ?)"));
        insert.addBindValue(current);
        insert.addBindValue(part);
        insert.addBindValue(folded(part));
        if (!c.exec(insert))
            return Find::Error;
        current = insert.lastInsertId().toLongLong();
    }
    *id = current;
    return Find::Found;
}

QString missingKey(const QString& path)
{
    return QStringLiteral("The registry key \"%1\" does not exist.").arg(RegistryKey::normalizedPath(path));
}

}  // namespace

// Resolves the key of a body and turns a missing key into a refusal with its message.
#define SORVIX_FIND_KEY(c, path, create, id)                            \
    switch (findKey((c), pathParts(path), (create), &(id))) {           \
    case Find::Error: return Outcome::Error;                            \
    case Find::Missing: (c).setError(missingKey(path)); return Outcome::Refused; \
    case Find::Found: break;                                            \
    }

bool RegistryStore::keyExists(const QString& keyPath)
{
    return keyState(keyPath) == Status::Ok;
}

RegistryStore::Status RegistryStore::keyState(const QString& keyPath)
{
    bool exists = false;
    const bool ok = run(false, [&](RegistryConnection& c) {
        qint64 id = 0;
        const Find found = findKey(c, pathParts(keyPath), false, &id);
        exists = found == Find::Found;
        return found == Find::Error ? Outcome::Error : Outcome::Done;
    });
    return !ok ? Status::Failed : exists ? Status::Ok : Status::Missing;
}

bool RegistryStore::createKey(const QString& keyPath)
{
    return run(true, [&](RegistryConnection& c) {
        qint64 id = 0;
        SORVIX_FIND_KEY(c, keyPath, true, id);
        return Outcome::Done;
    });
}

bool RegistryStore::deleteKey(const QString& keyPath)
{
    return run(true, [&](RegistryConnection& c) {
        qint64 id = 0;
        SORVIX_FIND_KEY(c, keyPath, false, id);
        if (id == RootId) {
            c.setError(QStringLiteral("The root of the registry cannot be deleted."));
            return Outcome::Refused;
        }
        const QString tree = QStringLiteral(
            "WITH RECURSIVE tree (id) AS (SELECT ? UNION ALL "
            "SELECT k.id FROM registry_keys k JOIN tree t ON k.parent = t.id) ");
        for (const QString& del : {QStringLiteral("DELETE FROM registry_values WHERE key IN tree"),
                                   QStringLiteral("DELETE FROM registry_keys WHERE id IN tree")}) {
            QSqlQuery q(c.db);
            q.prepare(tree + del);
            q.addBindValue(id);
            if (!c.exec(q))
                return Outcome::Error;
        }
        return Outcome::Done;
    });
}

bool RegistryStore::subKeyNames(const QString& keyPath, QStringList* names)
{
    return listNames(keyPath, QStringLiteral("SELECT name FROM registry_keys WHERE parent = ? ORDER BY id"), names);
}

bool RegistryStore::valueNames(const QString& keyPath, QStringList* names)
{
    return listNames(keyPath, QStringLiteral("SELECT name FROM registry_values WHERE key = ? ORDER BY id"), names);
}

// The names a query gives for one key, in creation order.
bool RegistryStore::listNames(const QString& keyPath, const QString& sql, QStringList* names)
{
    QStringList result;
    const bool ok = run(false, [&](RegistryConnection& c) {
        qint64 id = 0;
        SORVIX_FIND_KEY(c, keyPath, false, id);
        QSqlQuery q(c.db);
        q.prepare(sql);
        q.addBindValue(id);
        if (!c.exec(q))
            return Outcome::Error;
        while (q.next())
            result << q.value(0).toString();
        return Outcome::Done;
    });
    *names = ok ? result : QStringList();
    return ok;
}

RegistryStore::Status RegistryStore::readValue(const QString& keyPath, const QString& name, Type wanted,
                                               QString* text, int32_t* number)
{
    Status status = Status::Failed;
    run(false, [&](RegistryConnection& c) {
        qint64 id = 0;
        switch (findKey(c, pathParts(keyPath), false, &id)) {
        case Find::Error: return Outcome::Error;
        case Find::Missing:
            status = Status::Missing;
            c.setError(missingKey(keyPath));
            return Outcome::Refused;
        case Find::Found: break;
        }
        QSqlQuery q(c.db);
        q.prepare(QStringLiteral("SELECT type, data FROM registry_values WHERE key = ? AND folded = ?"));
        q.addBindValue(id);
        q.addBindValue(folded(name));
        if (!c.exec(q))
            return Outcome::Error;
        if (!q.next()) {
            status = Status::Missing;
            c.setError(QStringLiteral("The registry key \"%1\" has no value \"%2\".")
                           .arg(RegistryKey::normalizedPath(keyPath), name));
            return Outcome::Refused;
        }
        const int code = q.value(0).toInt();
        const Type type = code == IntegerCode ? Type::Integer : Type::String;
        if (code != StringCode && code != IntegerCode) {
            status = Status::WrongType;
            c.setError(QStringLiteral("The registry value \"%1\" has an unknown type %2.").arg(name).arg(code));
            return Outcome::Refused;
        }
        if (wanted != type) {
            status = Status::WrongType;
            c.setError(QStringLiteral("The registry value \"%1\" is not %2.")
                           .arg(name, wanted == Type::String ? QStringLiteral("a string") : QStringLiteral("an integer")));
            return Outcome::Refused;
        }
        if (text)
            *text = nonNull(q.value(1).toString());
        if (number)
            *number = static_cast<int32_t>(q.value(1).toLongLong());
        status = Status::Ok;
        return Outcome::Done;
    });
    return status;
}

RegistryStore::Status RegistryStore::valueType(const QString& keyPath, const QString& name, Type* type)
{
    Status status = readValue(keyPath, name, Type::String, nullptr, nullptr);
    if (status == Status::Ok) {
        *type = Type::String;
    } else if (status == Status::WrongType) {
        status = readValue(keyPath, name, Type::Integer, nullptr, nullptr);
        if (status == Status::Ok)
            *type = Type::Integer;
    }
    return status;
}

bool RegistryStore::valueExists(const QString& keyPath, const QString& name)
{
    Type type;
    return valueType(keyPath, name, &type) == Status::Ok;
}

RegistryStore::Status RegistryStore::readString(const QString& keyPath, const QString& name, QString* value)
{
    return readValue(keyPath, name, Type::String, value, nullptr);
}

RegistryStore::Status RegistryStore::readInteger(const QString& keyPath, const QString& name, int32_t* value)
{
    return readValue(keyPath, name, Type::Integer, nullptr, value);
}

bool RegistryStore::writeValue(const QString& keyPath, const QString& name, Type type, const QString& text,
                               int32_t number)
{
    return run(true, [&](RegistryConnection& c) {
        qint64 id = 0;
        SORVIX_FIND_KEY(c, keyPath, false, id);
        // An existing value keeps its place and its first spelling.
        QSqlQuery q(c.db);
        q.prepare(QStringLiteral(
            "INSERT INTO registry_values (key, name, folded, type, data) VALUES (?, ?, ?, ?, ?) "
            "ON CONFLICT (key, folded) DO UPDATE SET type = excluded.type, data = excluded.data"));
        q.addBindValue(id);
        q.addBindValue(nonNull(name));
        q.addBindValue(folded(name));
        if (type == Type::String) {
            q.addBindValue(StringCode);
            q.addBindValue(nonNull(text));
        } else {
            q.addBindValue(IntegerCode);
            q.addBindValue(number);
        }
        return c.exec(q) ? Outcome::Done : Outcome::Error;
    });
}

bool RegistryStore::writeString(const QString& keyPath, const QString& name, const QString& value)
{
    return writeValue(keyPath, name, Type::String, value, 0);
}

bool RegistryStore::writeInteger(const QString& keyPath, const QString& name, int32_t value)
{
    return writeValue(keyPath, name, Type::Integer, QString(), value);
}

bool RegistryStore::deleteValue(const QString& keyPath, const QString& name)
{
    return run(true, [&](RegistryConnection& c) {
        qint64 id = 0;
        SORVIX_FIND_KEY(c, keyPath, false, id);
        QSqlQuery q(c.db);
        q.prepare(QStringLiteral("DELETE FROM registry_values WHERE key = ? AND folded = ?"));
        q.addBindValue(id);
        q.addBindValue(folded(name));
        if (!c.exec(q))
            return Outcome::Error;
        if (q.numRowsAffected() == 0) {
            c.setError(QStringLiteral("The registry key \"%1\" has no value \"%2\".")
                           .arg(RegistryKey::normalizedPath(keyPath), name));
            return Outcome::Refused;
        }
        return Outcome::Done;
    });
}

#undef SORVIX_FIND_KEY

// ---------------------------------------------------------------------------------------------

RegistryKey::RegistryKey(RegistryStore* store, const QString& path)
    : store_(store), path_(normalizedPath(path))
{
}

QString RegistryKey::normalizedPath(const QString& path)
{
    return pathParts(path).join(QLatin1Char('\\'));
}

bool RegistryKey::exists() const
{
    return store_ && store_->keyExists(path_);
}

bool RegistryKey::create() const
{
    return store_ && store_->createKey(path_);
}

RegistryKey RegistryKey::subKey(const QString& subPath) const
{
    return RegistryKey(store_, path_ + QLatin1Char('\\') + subPath);
}

bool RegistryKey::subKeyNames(QStringList* names) const
{
    if (!store_) {
        names->clear();
        return false;
    }
    return store_->subKeyNames(path_, names);
}

bool RegistryKey::deleteSubKey(const QString& subPath) const
{
    // An empty sub-path would name this key itself.
    return store_ && !pathParts(subPath).isEmpty() && store_->deleteKey(path_ + QLatin1Char('\\') + subPath);
}

bool RegistryKey::valueNames(QStringList* names) const
{
    if (!store_) {
        names->clear();
        return false;
    }
    return store_->valueNames(path_, names);
}

bool RegistryKey::valueExists(const QString& name) const
{
    return store_ && store_->valueExists(path_, name);
}

RegistryStore::Status RegistryKey::readString(const QString& name, QString* value) const
{
    return store_ ? store_->readString(path_, name, value) : RegistryStore::Status::Failed;
}

RegistryStore::Status RegistryKey::readInteger(const QString& name, int32_t* value) const
{
    return store_ ? store_->readInteger(path_, name, value) : RegistryStore::Status::Failed;
}

bool RegistryKey::writeString(const QString& name, const QString& value) const
{
    return store_ && store_->writeString(path_, name, value);
}

bool RegistryKey::writeInteger(const QString& name, int32_t value) const
{
    return store_ && store_->writeInteger(path_, name, value);
}

bool RegistryKey::deleteValue(const QString& name) const
{
    return store_ && store_->deleteValue(path_, name);
}
