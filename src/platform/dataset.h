#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <condition_variable>
#include <thread>
#include <memory>
#include <mutex>

#include "platform/connectionstring.h"

class DataSetConnection;

// A data set over Qt SQL with the classic semantics: a connection string, a command type and a
// command text; Open reads every row into memory, so the record count and the record number are
// exact on every driver; navigation keeps the classic BOF/EOF flags; fields and parameters are
// found by name (without regard to case) or by 0-based position. Nothing throws: each operation
// answers false and gives the driver's message.
//
// A data set is used by one thread at a time. Its connection is opened on first use on the
// thread that uses it and shared with the other data sets of that thread that reach the same
// database; disconnect() (or destruction) on that thread releases it, and the last data set to
// let go removes the connection.
//
// SQLite files are never created: a missing database file is reported as not found.
class DataSet {
public:
    // The command types, numbered as flows store them.
    enum CommandType : int {
        CommandUnknown = 0,     // SQL, or a table when the text is only a name
        CommandText = 1,        // SQL
        CommandTable = 2,       // a table name: every row of it
        CommandStoredProc = 3,  // a stored procedure, in the driver's call form
        CommandFile = 4,        // a saved record set: not supported
        CommandTableDirect = 5  // as CommandTable
    };

    // The messages the data set gives for its own refusals.
    static constexpr const char* ClosedMessage = "Cannot perform this operation on a closed dataset";
    static constexpr const char* OpenMessage = "Cannot perform this operation on an open dataset";
    static constexpr const char* FieldNotFound = "Field '%1' not found";
    static constexpr const char* ParameterNotFound = "Parameter '%1' not found";
    static constexpr const char* IndexOutOfBounds = "List index out of bounds (%1)";
    static constexpr const char* NoResultSet = "CommandText does not return a result set";

    DataSet();
    ~DataSet();
    DataSet(const DataSet&) = delete;
    DataSet& operator=(const DataSet&) = delete;

    // Makes relative file names (data-link files, SQLite files) absolute.
    void setPathResolver(PathResolver resolve);

    QString connectionString() const { return connectionString_; }
    // A different string closes the data set and lets go of its connection, so the next use
    // connects to what the new string names.
    void setConnectionString(const QString& text);

    int commandType() const { return commandType_; }
    // Refused on an open data set unless the type stays the same.
    bool setCommandType(int type, QString* error = nullptr);
    QString commandText() const { return commandText_; }
    // Refused on an open data set unless the text stays the same. A different text rebuilds the
    // parameters from its placeholders (":name", "@name", "?"), without values; one name is one
    // parameter however often it occurs.
    bool setCommandText(const QString& text, QString* error = nullptr);

    // Runs the command and reads its rows. Opening an open data set does nothing.
    bool open(QString* error = nullptr);
    // Never fails; closing a closed data set does nothing. It drops the rows only and keeps the
    // connection for the next open, so it may be called from any thread while no other uses
    // the data set.
    void close();
    bool active() const { return active_; }

    // Runs the command once for its effect. *rowsAffected is the number of rows an INSERT,
    // UPDATE, DELETE (or the like) changed, else -1. The open rows, if any, are not touched.
    bool execute(qint64* rowsAffected, QString* error = nullptr);

    bool first(QString* error = nullptr);
    bool prior(QString* error = nullptr);
    bool next(QString* error = nullptr);
    bool last(QString* error = nullptr);
    bool bof() const { return bof_; }
    bool eof() const { return eof_; }
    bool recordCount(qint64* count, QString* error = nullptr) const;
    // 1-based number of the current record; 0 when there are no records.
    bool recNo(qint64* number, QString* error = nullptr) const;

    // Fields of the open data set; a closed one has none.
    int fieldCount() const { return active_ ? int(fieldNames_.size()) : 0; }
    QStringList fieldNames() const { return active_ ? fieldNames_ : QStringList(); }
    // The value in the current record, typed as the driver gives it (SQLite integers are
    // qlonglong); a null field, or a field of an empty data set, gives a null QVariant.
    bool fieldByName(const QString& name, QVariant* value, QString* error = nullptr) const;
    bool fieldByIndex(int index, QVariant* value, QString* error = nullptr) const;

    int paramCount() const { return int(params_.size()); }
    // The names without their ':' or '@'; empty for a '?'.
    QStringList paramNames() const;
    // A leading ':' or '@' of name is ignored. For a stored procedure the parameters are the
    // ones set: by position (filling the list up to it) or by name.
    bool setParamByName(const QString& name, const QVariant& value, QString* error = nullptr);
    bool setParamByIndex(int index, const QVariant& value, QString* error = nullptr);
    bool paramByName(const QString& name, QVariant* value, QString* error = nullptr) const;
    bool paramByIndex(int index, QVariant* value, QString* error = nullptr) const;

    // From any thread: cancels the statement the data set runs now through its driver (a cancel
    // request to the PostgreSQL server, an interrupt of SQLite, an ODBC cancel), so it fails with
    // the driver's text, and refuses every statement it would start until resetCancel().
    void cancel();
    // From any thread: whether a statement of the data set is with its driver now, where a
    // cancel reaches it.
    bool running() const { return running_.busy.load(); }
    // From any thread: whether that statement waits for another connection's lock (SQLite).
    bool waitingForLock() const;
    // On the thread that uses the data set: lets it run statements again after a cancel().
    void resetCancel();
    static constexpr const char* CancelledMessage = "The statement was cancelled: the run is stopping";

    // Closes the data set and lets go of its connection. Call it on the thread that used it
    // (a runner, when its run ends); a data set used later on another thread connects again.
    void disconnect();
    // The Qt SQL connection the data set holds, or empty.
    QString connectionName() const;

private:
    struct Param {
        QString name;
        QVariant value;
        bool assigned = false;
    };
    struct Command;

    bool connect(QString* error);
    void afterError();
    bool buildCommand(bool forRows, Command* command, QString* error) const;
    bool runCommand(const Command& command, bool forRows, qint64* rowsAffected, QString* error);
    bool runPostgres(const Command& command, bool forRows, qint64* rowsAffected, QString* error);
    void rebuildParams();
    qsizetype findParam(const QString& name) const;
    int findField(const QString& name) const;

    // What cancel() needs to reach the running statement; guarded by mutex.
    struct Running {
        mutable std::mutex mutex;
        bool cancelled = false;
        int kind = 0;                  // 0 nothing runs, else the provider's kind
        void* handle = nullptr;        // PGcancel*, sqlite3* or the ODBC statement handle
        DataSetConnection* connection = nullptr;
        std::atomic<bool> busy{false};  // a statement is with the driver, where a cancel reaches it
        std::condition_variable ended;  // told when the statement ends
        std::thread repeater;           // ODBC: cancels again until the statement ends
    };
    void repeatOdbcCancel();
    // Records the running statement; false when a cancel came first.
    bool arm(int kind, void* handle);
    void disarm();

    Running running_;
    PathResolver resolve_;
    QString connectionString_;
    int commandType_ = CommandUnknown;
    QString commandText_;
    QList<Param> params_;
    std::shared_ptr<DataSetConnection> connection_;

    bool active_ = false;
    bool bof_ = true;
    bool eof_ = true;
    qsizetype position_ = -1;
    QStringList fieldNames_;
    QList<QVariantList> rows_;
};
