#pragma once

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

struct RegistryConnection;

// The hierarchical configuration store both programs keep their settings in.
//
// Keys form a tree addressed by backslash-separated paths ("Software\Sorvix\Authorizated\Channel 1";
// leading, trailing and doubled backslashes are ignored, the empty path is the root). Each key holds
// sub-keys and named values; the two are separate name spaces, so a key may hold a value "Address"
// and a sub-key "Address". A value is a string or a 32-bit integer. Names are compared without
// regard to letter case and keep the spelling they were first written with. Sub-keys and values
// enumerate in the order they were created; overwriting a value keeps its place. A value name is
// not a path: any character may appear in it, backslash included.
//
// The store is a SQLite file (WAL journal, busy time-out) that several processes and threads may
// use at once. Every call that changes something is one transaction; transaction() groups several.
// Each thread works through a connection of its own, opened on first use and removed when the
// thread ends, when it calls releaseThreadConnection(), or when the store is destroyed (the
// destroying thread's connection only: destroy a store after the other threads that used it have
// ended or released theirs).
//
// A call that fails returns false (or Failed) and leaves the reason in errorString(), which is
// kept per thread.
//
// A lock that another process holds is waited for at most BusyTimeoutMs in all, retries included;
// then the call fails with the reason, so no window waits long. The file first opened is the
// store's file: when it has been deleted or replaced since (another device or inode under the
// path), every change fails with that reason instead of going into a file nobody reads.
//
// The file is checked whole (SQLite's integrity check) when the store first opens it: a damaged
// file fails every call with the reason and is never written. A path that names a device, a pipe
// or anything else that is no regular file is refused before SQLite opens it.
class RegistryStore {
public:
    enum class Type { String, Integer };
    // The outcome of a read. WrongType means the value exists with the other type; callers that
    // only care about usable data treat it as Missing.
    enum class Status { Ok, Missing, WrongType, Failed };

    // The file from SORVIX_REGISTRY, else "sorvix/registry.db" in the user's configuration folder.
    static QString defaultFilePath();

    explicit RegistryStore(const QString& filePath = defaultFilePath());
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    QString filePath() const { return filePath_; }
    // The reason of the calling thread's last failure.
    QString errorString() const;

    bool keyExists(const QString& keyPath);
    // Ok when the key exists, Missing when it does not, Failed when the store could not say.
    Status keyState(const QString& keyPath);
    // Creates the key and every missing key above it; true when it exists afterwards.
    bool createKey(const QString& keyPath);
    // Deletes the key with all its sub-keys and values. The root cannot be deleted.
    bool deleteKey(const QString& keyPath);
    bool subKeyNames(const QString& keyPath, QStringList* names);

    bool valueNames(const QString& keyPath, QStringList* names);
    bool valueExists(const QString& keyPath, const QString& name);
    Status valueType(const QString& keyPath, const QString& name, Type* type);
    Status readString(const QString& keyPath, const QString& name, QString* value);
    Status readInteger(const QString& keyPath, const QString& name, int32_t* value);
    // Writing needs an existing key; it replaces a value of either type.
    bool writeString(const QString& keyPath, const QString& name, const QString& value);
    bool writeInteger(const QString& keyPath, const QString& name, int32_t value);
    bool deleteValue(const QString& keyPath, const QString& name);

    // Runs work as one transaction: its changes are committed together when it returns true and
    // every store call inside succeeded at the database level, and rolled back otherwise (a call
    // refused for a missing key or value does not by itself roll back; work decides). Nested calls
    // become save points. Calls inside work must come from the calling thread.
    bool transaction(const std::function<bool()>& work);

    // Closes the calling thread's connection; the next call on this thread opens a new one.
    // Ignored inside transaction().
    void releaseThreadConnection();

    // From now on every change fails with reason, and the file is left as it is: for a file that
    // could not be read, which writing could only damage further.
    void refuseWrites(const QString& reason);
    bool writesRefused() const;

    // The longest one call waits for another connection's lock, retries included.
    static constexpr int BusyTimeoutMs = 1500;

private:
    enum class Outcome { Done, Refused, Error };
    using Body = std::function<Outcome(RegistryConnection&)>;

    RegistryConnection* connection();
    // Gives a file without the tables its journal mode and tables, under the write turn.
    bool setUp(RegistryConnection& c, const QDeadlineTimer& deadline);
    bool listNames(const QString& keyPath, const QString& sql, QStringList* names);
    bool run(bool write, const Body& body);
    bool writeValue(const QString& keyPath, const QString& name, Type type, const QString& text, int32_t number);
    Status readValue(const QString& keyPath, const QString& name, Type wanted, QString* text, int32_t* number);
    // Checks the whole file once, on the first connection that opens it; a damaged file fails
    // this and every later open with the reason, and writes are refused from then on.
    bool checkIntegrity(RegistryConnection& c);
    // Records the identity of the file a connection opened (the first one becomes the store's).
    void noteFileIdentity();
    // Before a change: false, with the reason on c, when writes are refused or the file under the
    // path is no longer the one the store opened.
    bool mayWrite(RegistryConnection& c);
    // True, with the reason as the calling thread's error, when writes are refused.
    bool refused();

    // Takes this process's turn to write the file, within what is left of the call's time. The
    // threads of one process queue here rather than polling the file's lock, which under heavy
    // contention can pass one of them over for longer than the bound.
    struct WriteTurn;
    class TurnHolder;
    static std::shared_ptr<WriteTurn> writeTurnFor(const QString& filePath);
    bool takeWriteTurn(TurnHolder& turn, RegistryConnection& c, qint64 leftMs);

    const QString filePath_;
    const uint64_t id_;
    const std::shared_ptr<WriteTurn> writeTurn_;

    std::mutex checkMutex_;  // checked_ and damage_
    bool checked_ = false;
    QString damage_;

    mutable std::mutex mutex_;  // the members below
    bool haveIdentity_ = false;
    uint64_t fileDevice_ = 0;
    uint64_t fileInode_ = 0;
    QString refusal_;
};

// A key of a store, addressed by its path: a light handle that forwards to the store. The key
// need not exist; reads then report Missing and writes fail.
class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(RegistryStore* store, const QString& path);

    bool isNull() const { return store_ == nullptr; }
    RegistryStore* store() const { return store_; }
    // The path in its canonical spelling: no leading, trailing or doubled separators.
    QString path() const { return path_; }
    QString errorString() const { return store_ ? store_->errorString() : QString(); }

    bool exists() const;
    bool create() const;
    // A key below this one; subPath may hold several levels.
    RegistryKey subKey(const QString& subPath) const;
    bool subKeyNames(QStringList* names) const;
    bool deleteSubKey(const QString& subPath) const;

    bool valueNames(QStringList* names) const;
    bool valueExists(const QString& name) const;
    RegistryStore::Status readString(const QString& name, QString* value) const;
    RegistryStore::Status readInteger(const QString& name, int32_t* value) const;
    bool writeString(const QString& name, const QString& value) const;
    bool writeInteger(const QString& name, int32_t value) const;
    bool deleteValue(const QString& name) const;

    // The canonical form of a key path.
    static QString normalizedPath(const QString& path);

private:
    RegistryStore* store_ = nullptr;
    QString path_;
};
