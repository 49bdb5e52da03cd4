#include "platform/dataset.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QThread>
#include <QTime>
#include <QUrl>
#include <atomic>
#include <cmath>
#include <limits>
#include <vector>

#include <libpq-fe.h>
#include <sql.h>
#include <sqlite3.h>

#include "platform/clientlibrary.h"

// One Qt SQL connection. It belongs to the thread that opened it; the data sets of that thread
// that reach the same database share it, and the last one to let go removes it.
class DataSetConnection {
public:
    QString name;
    ConnectionTarget target;
    QThread* thread = nullptr;
    bool broken = false;  // lost; the data sets that hold it connect again on their next use
    PGcancel* pgCancel = nullptr;     // PostgreSQL: what a cancel request from another thread needs
    std::atomic<bool> interrupt{false};  // SQLite: set while a cancel stands, read by the progress handler

    ~DataSetConnection()
    {
        if (pgCancel) {
            if (auto freeCancel = SORVIX_CLIENT_FUNCTION(clientlibrary::PostgreSQL, PQfreeCancel)) freeCancel(pgCancel);
        }
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            if (db.isValid()) db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    QSqlDatabase database() const { return QSqlDatabase::database(name, false); }
};

namespace {

// The connections of this thread, to share. Entries expire when their last data set lets go.
thread_local std::vector<std::weak_ptr<DataSetConnection>> threadConnections;

std::atomic<quint64> connectionCounter{0};

bool fail(QString* error, const QString& text)
{
    if (error) *error = text;
    return false;
}

QString message(const char* format, const QString& arg)
{
    return QString::fromLatin1(format).arg(arg);
}

enum RunningKind { NothingRuns = 0, PostgresRuns, SqliteRuns, OdbcRuns };

// The driver's message, without what Qt adds: its own sentence ("Unable to execute statement")
// and, for PostgreSQL, the error code in parentheses.
QString sqlErrorText(const QSqlError& e)
{
    QString text = e.databaseText().trimmed();
    const QString code = e.nativeErrorCode();
    if (!code.isEmpty() && text.endsWith(QLatin1Char('(') + code + QLatin1Char(')')))
        text = text.left(text.size() - code.size() - 2).trimmed();
    // SQLite reports "not an error" when Qt refuses a text that holds a second statement.
    if (text.compare(QLatin1String("not an error"), Qt::CaseInsensitive) == 0 && code == QLatin1String("21"))
        return QStringLiteral("The command text holds more than one statement: give one statement per command");
    if (text.isEmpty() || text.compare(QLatin1String("not an error"), Qt::CaseInsensitive) == 0)
        text = e.driverText().trimmed();
    return text.isEmpty() ? QStringLiteral("Unknown database error") : text;
}

// Ends a SQLite statement whose interrupt came before it began to step.
int sqliteProgress(void* flag)
{
    return static_cast<std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// A piece of a command text: plain text, or a placeholder standing for parameter `param`.
struct SqlPiece {
    QString text;
    int param = -1;
};

qsizetype skipQuoted(const QString& s, qsizetype i, QChar close, bool backslash)
{
    const qsizetype n = s.size();
    ++i;
    while (i < n) {
        if (backslash && s.at(i) == QLatin1Char('\\')) {
            i += 2;
            continue;
        }
        if (s.at(i) == close) {
            if (i + 1 < n && s.at(i + 1) == close && close != QLatin1Char(']')) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return n;
}

// The end of whatever starts at i that can hide a placeholder: a literal, a quoted name, a
// comment or a dollar-quoted body; i itself when nothing starts there.
qsizetype skipOpaque(const QString& s, qsizetype i)
{
    const qsizetype n = s.size();
    const QChar c = s.at(i);
    const QChar d = i + 1 < n ? s.at(i + 1) : QChar();
    if (c == QLatin1Char('\'')) {
        const bool escapes = i > 0 && (s.at(i - 1) == QLatin1Char('E') || s.at(i - 1) == QLatin1Char('e')) &&
                             (i < 2 || !isNameChar(s.at(i - 2)));
        return skipQuoted(s, i, c, escapes);
    }
    if (c == QLatin1Char('"') || c == QLatin1Char('`')) return skipQuoted(s, i, c, false);
    if (c == QLatin1Char('[')) return skipQuoted(s, i, QLatin1Char(']'), false);
    if (c == QLatin1Char('-') && d == QLatin1Char('-')) {
        const qsizetype end = s.indexOf(QLatin1Char('\n'), i);
        return end < 0 ? n : end;
    }
    if (c == QLatin1Char('/') && d == QLatin1Char('*')) {
        int depth = 0;
        qsizetype k = i;
        while (k < n) {
            if (s.at(k) == QLatin1Char('/') && k + 1 < n && s.at(k + 1) == QLatin1Char('*')) {
                ++depth;
                k += 2;
            } else if (s.at(k) == QLatin1Char('*') && k + 1 < n && s.at(k + 1) == QLatin1Char('/')) {
                k += 2;
                if (--depth == 0) return k;
            } else {
                ++k;
            }
        }
        return n;
    }
    if (c == QLatin1Char('$') && (i == 0 || !isNameChar(s.at(i - 1)))) {
        qsizetype k = i + 1;
        while (k < n && isNameChar(s.at(k)) && !(k == i + 1 && s.at(k).isDigit())) ++k;
        if (k < n && s.at(k) == QLatin1Char('$')) {
            const QString tag = s.mid(i, k - i + 1);
            const qsizetype end = s.indexOf(tag, k + 1);
            return end < 0 ? n : end + tag.size();
        }
    }
    return i;
}

// Splits a command text at its placeholders (":name", "@name", "?") outside literals, quoted
// names and comments. *names gets one entry per parameter: a name once however often it
// occurs, and an empty name for every '?'. With dropComments each comment becomes a blank.
void scanSql(const QString& s, QList<SqlPiece>* pieces, QStringList* names, bool dropComments = false)
{
    const qsizetype n = s.size();
    QString text;
    qsizetype i = 0;
    auto placeholder = [&](int param) {
        if (!text.isEmpty()) pieces->append({text, -1});
        text.clear();
        pieces->append({QString(), param});
    };
    while (i < n) {
        const qsizetype end = skipOpaque(s, i);
        if (end > i) {
            const bool comment = s.at(i) == QLatin1Char('-') || s.at(i) == QLatin1Char('/');
            text += dropComments && comment ? QStringLiteral(" ") : s.mid(i, end - i);
            i = end;
            continue;
        }
        const QChar c = s.at(i);
        const QChar prev = i > 0 ? s.at(i - 1) : QChar();
        const QChar next = i + 1 < n ? s.at(i + 1) : QChar();
        if (c == QLatin1Char('?')) {
            names->append(QString());
            placeholder(int(names->size() - 1));
            ++i;
            continue;
        }
        const bool named = (c == QLatin1Char(':') && prev != QLatin1Char(':') && isNameChar(next)) ||
                           (c == QLatin1Char('@') && !isNameChar(prev) && prev != QLatin1Char('@') && isNameChar(next));
        if (!named) {
            text += c;
            ++i;
            continue;
        }
        qsizetype k = i + 1;
        while (k < n && isNameChar(s.at(k))) ++k;
        const QString name = s.mid(i + 1, k - i - 1);
        qsizetype index = -1;
        for (qsizetype p = 0; p < names->size(); ++p)
            if (!names->at(p).isEmpty() && names->at(p).compare(name, Qt::CaseInsensitive) == 0) index = p;
        if (index < 0) {
            names->append(name);
            index = names->size() - 1;
        }
        placeholder(int(index));
        i = k;
    }
    if (!text.isEmpty()) pieces->append({text, -1});
}

// The first word of a statement, upper-cased, past blanks, comments and parentheses.
QString firstKeyword(const QString& s)
{
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n) {
        if (s.at(i).isSpace() || s.at(i) == QLatin1Char('(')) {
            ++i;
            continue;
        }
        const qsizetype end = skipOpaque(s, i);
        if (end > i && (s.at(i) == QLatin1Char('-') || s.at(i) == QLatin1Char('/'))) {
            i = end;
            continue;
        }
        break;
    }
    qsizetype k = i;
    while (k < n && isNameChar(s.at(k))) ++k;
    return s.mid(i, k - i).toUpper();
}

// The keyword of the statement a WITH clause leads to: the first word at the outer level that
// begins a statement once the common table expressions are passed.
QString statementAfterWith(const QString& s)
{
    static const char* const starts[] = {"SELECT", "INSERT", "UPDATE", "DELETE", "REPLACE",
                                         "MERGE",  "VALUES", "UPSERT", "TABLE"};
    const qsizetype n = s.size();
    int depth = 0;
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s.at(i);
        const qsizetype end = skipOpaque(s, i);
        if (end > i) {
            i = end;
        } else if (c == QLatin1Char('(')) {
            ++depth;
            ++i;
        } else if (c == QLatin1Char(')')) {
            --depth;
            ++i;
        } else if (isNameChar(c)) {
            qsizetype k = i;
            while (k < n && isNameChar(s.at(k))) ++k;
            if (depth == 0) {
                const QString word = s.mid(i, k - i).toUpper();
                for (const char* w : starts)
                    if (word == QLatin1String(w)) return word;
            }
            i = k;
        } else {
            ++i;
        }
    }
    return {};
}

bool changesRows(const QString& keyword)
{
    static const char* const words[] = {"INSERT", "UPDATE", "DELETE", "REPLACE", "MERGE", "UPSERT"};
    for (const char* w : words)
        if (keyword == QLatin1String(w)) return true;
    return false;
}

// A command text that is only a (possibly qualified, possibly quoted) name, and not one of the
// statements that are a single word.
bool looksLikeName(const QString& text)
{
    const QString s = text.trimmed();
    if (s.isEmpty()) return false;
    static const char* const statements[] = {"BEGIN",   "COMMIT",  "ROLLBACK", "END",     "ABORT",
                                             "VACUUM",  "ANALYZE", "ANALYSE",  "REINDEX", "CHECKPOINT"};
    for (const char* word : statements)
        if (s.compare(QLatin1String(word), Qt::CaseInsensitive) == 0) return false;
    qsizetype i = 0;
    while (i < s.size()) {
        const QChar c = s.at(i);
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('[')) {
            i = skipQuoted(s, i, c == QLatin1Char('[') ? QLatin1Char(']') : c, false);
        } else if (isNameChar(c) || c == QLatin1Char('.') || c == QLatin1Char('$')) {
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

QString stripPrefix(const QString& name)
{
    if (name.startsWith(QLatin1Char(':')) || name.startsWith(QLatin1Char('@'))) return name.mid(1);
    return name;
}

// A value written into PostgreSQL text as an untyped, dollar-quoted literal, so the server takes
// it as the type the statement needs there, as it would a bound parameter. A dollar-quoted body
// is never unescaped, whatever the session's settings (standard_conforming_strings,
// backslash_quote, the client encoding), so no value can end it early: the tag is one the value
// does not hold. A NUL would cut the text short and is refused.
bool postgresLiteral(const QVariant& v, QString* out, QString* error)
{
    if (v.isNull()) {
        *out = QStringLiteral("NULL");
        return true;
    }
    QString text;
    switch (v.typeId()) {
    case QMetaType::QByteArray:
        text = QStringLiteral("\\x") + QString::fromLatin1(v.toByteArray().toHex());
        break;
    case QMetaType::Bool:
        text = v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        break;
    case QMetaType::QDateTime:
        text = v.toDateTime().toString(Qt::ISODateWithMs);
        break;
    case QMetaType::QDate:
        text = v.toDate().toString(Qt::ISODate);
        break;
    case QMetaType::QTime:
        text = v.toTime().toString(Qt::ISODateWithMs);
        break;
    default:
        text = v.toString();
    }
    if (text.contains(QChar(0))) return fail(error, QStringLiteral("A parameter value cannot hold a NUL character"));
    QString tag = QStringLiteral("$v$");
    for (int k = 1; (text + tag).indexOf(tag) != text.size(); ++k) tag = QStringLiteral("$v%1$").arg(k);
    *out = tag + text + tag;
    return true;
}

// A value as SQLite's bind takes it, of its own storage class.
QVariant sqliteValue(const QVariant& v)
{
    if (v.isNull()) return QVariant();
    switch (v.typeId()) {
    case QMetaType::Bool:
        return qlonglong(v.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return v.toLongLong();
    case QMetaType::ULongLong:
        if (v.toULongLong() <= quint64(std::numeric_limits<qint64>::max())) return v.toLongLong();
        return v.toDouble();
    case QMetaType::Float:
    case QMetaType::Double: {
        const double d = v.toDouble();
        return std::isnan(d) ? QVariant() : QVariant(d);
    }
    case QMetaType::QByteArray:
        return v;
    case QMetaType::QDateTime:
        return v.toDateTime().toString(Qt::ISODateWithMs);
    default:
        return v.toString();
    }
}

// Unsigned integers (PostgreSQL's driver gives int8 values so) become signed ones where they fit.
QVariant normalised(const QVariant& v)
{
    if (v.isNull()) return v;
    if (v.typeId() == QMetaType::ULongLong && v.toULongLong() <= quint64(std::numeric_limits<qint64>::max()))
        return QVariant(v.toLongLong());
    if (v.typeId() == QMetaType::UInt) return QVariant(qlonglong(v.toUInt()));
    return v;
}

}  // namespace

struct DataSet::Command {
    QString sql;           // values written in, or a '?' for every bound one (ODBC)
    QVariantList binds;    // in the order of the '?'
    QString keyword;       // the statement's first word (past a WITH clause)
    QString fallback;      // PostgreSQL: a function's call form, should the procedure's fail
};

DataSet::DataSet() = default;

DataSet::~DataSet()
{
    disconnect();
}

void DataSet::setPathResolver(PathResolver resolve)
{
    resolve_ = std::move(resolve);
}

void DataSet::setConnectionString(const QString& text)
{
    if (text == connectionString_) return;
    disconnect();
    connectionString_ = text;
}

bool DataSet::setCommandType(int type, QString* error)
{
    if (type < CommandUnknown || type > CommandTableDirect)
        return fail(error, QStringLiteral("Unknown command type %1").arg(type));
    if (type == commandType_) return true;
    if (active_) return fail(error, QString::fromLatin1(OpenMessage));
    commandType_ = type;
    rebuildParams();
    return true;
}

bool DataSet::setCommandText(const QString& text, QString* error)
{
    if (text == commandText_) return true;
    if (active_) return fail(error, QString::fromLatin1(OpenMessage));
    commandText_ = text;
    rebuildParams();
    return true;
}

void DataSet::rebuildParams()
{
    params_.clear();
    const bool sql = commandType_ == CommandText || (commandType_ == CommandUnknown && !looksLikeName(commandText_));
    if (!sql) return;
    QList<SqlPiece> pieces;
    QStringList names;
    scanSql(commandText_, &pieces, &names);
    for (const QString& name : names) params_.append({name, QVariant(), false});
}

QStringList DataSet::paramNames() const
{
    QStringList names;
    for (const Param& p : params_) names << p.name;
    return names;
}

qsizetype DataSet::findParam(const QString& name) const
{
    const QString bare = stripPrefix(name);
    if (bare.isEmpty()) return -1;
    for (qsizetype i = 0; i < params_.size(); ++i)
        if (params_.at(i).name.compare(bare, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

bool DataSet::setParamByName(const QString& name, const QVariant& value, QString* error)
{
    qsizetype i = findParam(name);
    if (i < 0) {
        if (commandType_ != CommandStoredProc || stripPrefix(name).isEmpty())
            return fail(error, message(ParameterNotFound, name));
        params_.append({stripPrefix(name), QVariant(), false});
        i = params_.size() - 1;
    }
    params_[i].value = value;
    params_[i].assigned = true;
    return true;
}

bool DataSet::setParamByIndex(int index, const QVariant& value, QString* error)
{
    if (index < 0 || (index >= params_.size() && commandType_ != CommandStoredProc))
        return fail(error, message(IndexOutOfBounds, QString::number(index)));
    while (index >= params_.size()) params_.append({QString(), QVariant(), false});
    params_[index].value = value;
    params_[index].assigned = true;
    return true;
}

bool DataSet::paramByName(const QString& name, QVariant* value, QString* error) const
{
    const qsizetype i = findParam(name);
    if (i < 0) return fail(error, message(ParameterNotFound, name));
    if (value) *value = params_.at(i).value;
    return true;
}

bool DataSet::paramByIndex(int index, QVariant* value, QString* error) const
{
    if (index < 0 || index >= params_.size()) return fail(error, message(IndexOutOfBounds, QString::number(index)));
    if (value) *value = params_.at(index).value;
    return true;
}

QString DataSet::connectionName() const
{
    return connection_ ? connection_->name : QString();
}

void DataSet::disconnect()
{
    close();
    connection_.reset();
}

bool DataSet::connect(QString* error)
{
    if (connection_ && (connection_->broken || connection_->thread != QThread::currentThread())) connection_.reset();
    // A connection the driver already knows to be gone is replaced before it is used.
    if (connection_ && !connection_->database().isOpen()) {
        connection_->broken = true;
        connection_.reset();
    }
    if (connection_) return true;

    ConnectionTarget target;
    if (!connectionstring::resolve(connectionString_, resolve_, &target, error)) return false;
    const QString key = target.key();
    std::erase_if(threadConnections, [](const std::weak_ptr<DataSetConnection>& w) { return w.expired(); });
    for (const auto& weak : threadConnections) {
        auto shared = weak.lock();
        if (shared && !shared->broken && shared->target.key() == key) {
            connection_ = shared;
            return true;
        }
    }

    if (target.provider == ConnectionTarget::Provider::SQLite) {
        const QFileInfo file(target.databaseName);
        if (!file.exists()) return fail(error, QStringLiteral("Database file not found: %1").arg(target.databaseName));
        if (!file.isFile()) return fail(error, QStringLiteral("The database file %1 is not a file").arg(target.databaseName));
    }

    auto connection = std::make_shared<DataSetConnection>();
    connection->name = QStringLiteral("sorvix-dataset-%1").arg(++connectionCounter);
    connection->target = target;
    connection->thread = QThread::currentThread();
    QString openError;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(target.driver, connection->name);
        if (!db.isValid()) {
            openError = QStringLiteral("The %1 database driver is not available").arg(target.driver);
        } else {
            if (target.provider == ConnectionTarget::Provider::SQLite) {
                // mode=rw opens an existing file only: a file removed since the check above is
                // reported, not made anew.
                db.setDatabaseName(QUrl::fromLocalFile(target.databaseName).toString(QUrl::FullyEncoded) +
                                   QStringLiteral("?mode=rw"));
                db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
            } else {
                db.setDatabaseName(target.databaseName);
                db.setHostName(target.hostName);
                if (target.port > 0) db.setPort(target.port);
                db.setUserName(target.userName);
                db.setPassword(target.password);
                db.setConnectOptions(target.connectOptions);
            }
            if (!db.open()) {
                openError = sqlErrorText(db.lastError());
            } else if (target.provider == ConnectionTarget::Provider::PostgreSQL) {
                auto getCancel = SORVIX_CLIENT_FUNCTION(clientlibrary::PostgreSQL, PQgetCancel);
                if (auto* pg = static_cast<PGconn*>(clientlibrary::nativeHandle(db.driver()->handle(), {"PGconn*", "pg_conn*"})); pg && getCancel)
                    connection->pgCancel = getCancel(pg);
            } else if (target.provider == ConnectionTarget::Provider::SQLite) {
                auto progressHandler = SORVIX_CLIENT_FUNCTION(clientlibrary::SQLite, sqlite3_progress_handler);
                if (auto* lite = static_cast<sqlite3*>(clientlibrary::nativeHandle(db.driver()->handle(), {"sqlite3*"})); lite && progressHandler)
                    progressHandler(lite, 1000, sqliteProgress, &connection->interrupt);
            }
        }
    }
    if (!openError.isEmpty()) return fail(error, openError);  // the connection goes with `connection`
    threadConnections.push_back(connection);
    connection_ = connection;
    return true;
}

void DataSet::afterError()
{
    if (!connection_ || connection_->target.provider == ConnectionTarget::Provider::SQLite) return;
    bool lost = false;
    {
        QSqlDatabase db = connection_->database();
        if (!db.isOpen()) {
            lost = true;
        } else if (connection_->target.provider == ConnectionTarget::Provider::PostgreSQL) {
            // A failed transaction (25P02) leaves the connection alive; anything else is a lost one.
            QSqlQuery probe(db);
            if (!probe.exec(QStringLiteral("SELECT 1")) && probe.lastError().nativeErrorCode() != QLatin1String("25P02"))
                lost = true;
        }
    }
    if (lost) {
        connection_->broken = true;
        connection_.reset();
    }
}

bool DataSet::buildCommand(bool forRows, Command* command, QString* error) const
{
    const ConnectionTarget::Provider provider = connection_->target.provider;
    const bool postgres = provider == ConnectionTarget::Provider::PostgreSQL;
    const QString text = commandText_.trimmed();

    auto valueOf = [this, error](qsizetype i, QVariant* v) {
        const Param& p = params_.at(i);
        if (!p.assigned)
            return fail(error, p.name.isEmpty() ? QStringLiteral("No value given for parameter %1").arg(i + 1)
                                                : QStringLiteral("No value given for parameter '%1'").arg(p.name));
        *v = p.value;
        return true;
    };
    auto argument = [&](qsizetype i, QString* out) {
        QVariant v;
        if (!valueOf(i, &v)) return false;
        // PostgreSQL values are written into the text: the driver's binding writes them in too,
        // escaped for the settings of the time it connected. SQLite and ODBC bind them.
        if (postgres) {
            QString literal;
            if (!postgresLiteral(v, &literal, error)) return false;
            // A blank first: a '$' just after a name would continue the name.
            *out = QLatin1Char(' ') + literal;
        } else {
            *out = QStringLiteral("?");
            command->binds.append(provider == ConnectionTarget::Provider::SQLite ? sqliteValue(v) : v);
        }
        return true;
    };

    int type = commandType_;
    if (type == CommandUnknown) type = looksLikeName(commandText_) ? CommandTable : CommandText;
    switch (type) {
    case CommandText: {
        QList<SqlPiece> pieces;
        QStringList names;
        // Binding reads placeholders of its own in comments: leave them out there.
        scanSql(commandText_, &pieces, &names, !postgres && !params_.isEmpty());
        QString sql;
        for (const SqlPiece& piece : pieces) {
            if (piece.param < 0) {
                sql += piece.text;
                continue;
            }
            if (piece.param >= params_.size())
                return fail(error, QStringLiteral("The parameters do not match the command text"));
            QString arg;
            if (!argument(piece.param, &arg)) return false;
            sql += arg;
        }
        command->sql = sql;
        command->keyword = firstKeyword(sql);
        if (command->keyword == QLatin1String("WITH")) command->keyword = statementAfterWith(sql);
        return true;
    }
    case CommandTable:
    case CommandTableDirect:
        command->sql = QStringLiteral("SELECT * FROM ") + text;
        command->keyword = QStringLiteral("SELECT");
        return true;
    case CommandStoredProc: {
        if (provider == ConnectionTarget::Provider::SQLite)
            return fail(error, QStringLiteral("SQLite has no stored procedures"));
        QStringList args;
        if (postgres) {
            // Positional arguments go before named ones.
            for (int pass = 0; pass < 2; ++pass)
                for (qsizetype i = 0; i < params_.size(); ++i) {
                    if (params_.at(i).name.isEmpty() != (pass == 0)) continue;
                    QString arg;
                    if (!argument(i, &arg)) return false;
                    args << (pass == 0 ? arg : params_.at(i).name + QStringLiteral(" => ") + arg);
                }
            const QString call = text + QLatin1Char('(') + args.join(QStringLiteral(", ")) + QLatin1Char(')');
            if (forRows) {
                command->sql = QStringLiteral("SELECT * FROM ") + call;
                command->keyword = QStringLiteral("SELECT");
            } else {
                command->sql = QStringLiteral("CALL ") + call;
                command->keyword = QStringLiteral("CALL");
                command->fallback = QStringLiteral("SELECT ") + call;
            }
            return true;
        }
        for (qsizetype i = 0; i < params_.size(); ++i) {
            QString arg;
            if (!argument(i, &arg)) return false;
            args << arg;
        }
        command->sql = QStringLiteral("{call ") + text +
                       (args.isEmpty() ? QString() : QLatin1Char('(') + args.join(QLatin1Char(',')) + QLatin1Char(')')) +
                       QLatin1Char('}');
        command->keyword = QStringLiteral("CALL");
        return true;
    }
    case CommandFile:
        return fail(error, QStringLiteral("Saved record sets (command type File) are not supported"));
    }
    return fail(error, QStringLiteral("Unknown command type %1").arg(commandType_));
}

bool DataSet::runCommand(const Command& command, bool forRows, qint64* rowsAffected, QString* error)
{
    QString failure;
    {
        QSqlQuery query(connection_->database());
        query.setForwardOnly(true);
        // A cancel from another thread reaches the statement through the driver: PostgreSQL and
        // SQLite through the connection, ODBC through the statement, which preparing makes.
        const ConnectionTarget::Provider provider = connection_->target.provider;
        bool armed = false;
        if (provider == ConnectionTarget::Provider::PostgreSQL) {
            armed = arm(PostgresRuns, connection_->pgCancel);
        } else if (provider == ConnectionTarget::Provider::SQLite) {
            armed = arm(SqliteRuns, clientlibrary::nativeHandle(connection_->database().driver()->handle(), {"sqlite3*"}));
        } else {
            armed = arm(NothingRuns, nullptr);
        }
        if (!armed) return fail(error, QString::fromLatin1(CancelledMessage));
        struct Disarm {
            DataSet* self;
            ~Disarm() { self->disarm(); }
        } disarmAtEnd{this};
        bool cancelledBeforeStart = false;
        auto run = [&](const QString& sql) {
            if (provider == ConnectionTarget::Provider::ODBC) {
                if (!query.prepare(sql)) return false;
                if (!arm(OdbcRuns, clientlibrary::nativeHandle(query.result()->handle(), {"SQLHANDLE", "void*"}))) {
                    cancelledBeforeStart = true;
                    return false;
                }
            } else if (command.binds.isEmpty()) {
                return query.exec(sql);
            } else if (!query.prepare(sql)) {
                return false;
            }
            for (const QVariant& v : command.binds) query.addBindValue(v);
            return query.exec();
        };
        bool ok = run(command.sql);
        // CALL names procedures only; a function is run with SELECT.
        if (!ok && !command.fallback.isEmpty() && query.lastError().nativeErrorCode() == QLatin1String("42809"))
            ok = run(command.fallback);
        if (cancelledBeforeStart) {
            failure = QString::fromLatin1(CancelledMessage);
        } else if (!ok) {
            failure = sqlErrorText(query.lastError());
        } else if (forRows) {
            if (!query.isSelect()) {
                failure = QString::fromLatin1(NoResultSet);
            } else {
                const QSqlRecord record = query.record();
                QStringList names;
                for (int i = 0; i < record.count(); ++i) names << record.fieldName(i);
                QList<QVariantList> rows;
                while (query.next()) {
                    QVariantList row;
                    row.reserve(record.count());
                    for (int i = 0; i < record.count(); ++i) row.append(normalised(query.value(i)));
                    rows.append(row);
                }
                if (query.lastError().isValid()) {
                    failure = sqlErrorText(query.lastError());
                } else {
                    fieldNames_ = names;
                    rows_ = rows;
                }
            }
        } else {
            qint64 n = -1;
            if (changesRows(command.keyword)) {
                // A statement with RETURNING counts its rows once it has run to the end.
                if (query.isSelect())
                    while (query.next()) {
                    }
                n = query.numRowsAffected();
            }
            if (rowsAffected) *rowsAffected = n;
        }
    }
    if (failure.isEmpty()) return true;
    afterError();
    return fail(error, failure);
}

bool DataSet::arm(int kind, void* handle)
{
    std::lock_guard lock(running_.mutex);
    if (running_.cancelled) return false;
    running_.kind = handle ? kind : NothingRuns;
    running_.handle = handle;
    running_.connection = connection_.get();
    return true;
}

void DataSet::disarm()
{
    std::lock_guard lock(running_.mutex);
    if (running_.connection) running_.connection->interrupt.store(false);
    running_.kind = NothingRuns;
    running_.handle = nullptr;
    running_.connection = nullptr;
}

void DataSet::cancel()
{
    std::lock_guard lock(running_.mutex);
    running_.cancelled = true;
    switch (running_.kind) {
    case PostgresRuns: {
        char why[256];
        if (auto cancelRequest = SORVIX_CLIENT_FUNCTION(clientlibrary::PostgreSQL, PQcancel))
            cancelRequest(static_cast<PGcancel*>(running_.handle), why, int(sizeof why));
        break;
    }
    case SqliteRuns:
        running_.connection->interrupt.store(true);
        if (auto interrupt = SORVIX_CLIENT_FUNCTION(clientlibrary::SQLite, sqlite3_interrupt))
            interrupt(static_cast<sqlite3*>(running_.handle));
        break;
    case OdbcRuns:
        if (auto odbcCancel = SORVIX_CLIENT_FUNCTION(clientlibrary::ODBC, SQLCancel))
            odbcCancel(static_cast<SQLHSTMT>(running_.handle));
        break;
    default:
        break;
    }
}

void DataSet::resetCancel()
{
    std::lock_guard lock(running_.mutex);
    running_.cancelled = false;
}

bool DataSet::open(QString* error)
{
    if (active_) return true;
    if (commandText_.trimmed().isEmpty()) return fail(error, QStringLiteral("No command text"));
    if (!connect(error)) return false;
    Command command;
    if (!buildCommand(true, &command, error)) return false;
    if (!runCommand(command, true, nullptr, error)) return false;
    active_ = true;
    bof_ = true;
    eof_ = rows_.isEmpty();
    position_ = rows_.isEmpty() ? -1 : 0;
    return true;
}

void DataSet::close()
{
    active_ = false;
    bof_ = eof_ = true;
    position_ = -1;
    fieldNames_.clear();
    rows_.clear();
}

bool DataSet::execute(qint64* rowsAffected, QString* error)
{
    if (commandText_.trimmed().isEmpty()) return fail(error, QStringLiteral("No command text"));
    if (!connect(error)) return false;
    Command command;
    if (!buildCommand(false, &command, error)) return false;
    return runCommand(command, false, rowsAffected, error);
}

bool DataSet::first(QString* error)
{
    if (!active_) return fail(error, QString::fromLatin1(ClosedMessage));
    position_ = rows_.isEmpty() ? -1 : 0;
    bof_ = true;
    eof_ = rows_.isEmpty();
    return true;
}

bool DataSet::last(QString* error)
{
    if (!active_) return fail(error, QString::fromLatin1(ClosedMessage));
    position_ = rows_.size() - 1;
    eof_ = true;
    bof_ = rows_.isEmpty();
    return true;
}

bool DataSet::next(QString* error)
{
    if (!active_) return fail(error, QString::fromLatin1(ClosedMessage));
    if (eof_) return true;
    bof_ = false;
    if (position_ + 1 < rows_.size())
        ++position_;
    else
        eof_ = true;
    return true;
}

bool DataSet::prior(QString* error)
{
    if (!active_) return fail(error, QString::fromLatin1(ClosedMessage));
    if (bof_) return true;
    eof_ = false;
    if (position_ > 0)
        --position_;
    else
        bof_ = true;
    return true;
}

bool DataSet::recordCount(qint64* count, QString* error) const
{
    if (!active_) return fail(error, QString::fromLatin1(ClosedMessage));
    if (count) *count = rows_.size();
    return true;
}

bool DataSet::recNo(qint64* number, QString* error) const
{
    if (!active_) return fail(error, QString::fromLatin1(ClosedMessage));
    if (number) *number = position_ + 1;
    return true;
}

int DataSet::findField(const QString& name) const
{
    if (!active_) return -1;
    for (int i = 0; i < fieldNames_.size(); ++i)
        if (fieldNames_.at(i).compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

bool DataSet::fieldByName(const QString& name, QVariant* value, QString* error) const
{
    const int i = findField(name);
    if (i < 0) return fail(error, message(FieldNotFound, name));
    return fieldByIndex(i, value, error);
}

bool DataSet::fieldByIndex(int index, QVariant* value, QString* error) const
{
    if (!active_ || index < 0 || index >= fieldNames_.size())
        return fail(error, message(IndexOutOfBounds, QString::number(index)));
    if (value) *value = position_ >= 0 ? rows_.at(position_).at(index) : QVariant();
    return true;
}
