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
#include <QRegularExpression>
#include <QElapsedTimer>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <thread>
#include <vector>

#include <libpq-fe.h>
#include <sql.h>
#include <sqlite3.h>

#include <poll.h>

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
    std::atomic<bool> lockWait{false};   // the running statement waits for another connection's lock
    QElapsedTimer lockWaitStarted;       // SQLite: when that wait began (the connection's thread only)

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

// How long a SQLite statement waits for another connection's lock (Qt's default).
constexpr int SqliteLockWaitMs = 5000;

// Waits for another connection's lock in short sleeps, so a cancel ends the wait at once:
// SQLite's own busy wait sleeps on through an interrupt.
int sqliteBusy(void* data, int count)
{
    auto* connection = static_cast<DataSetConnection*>(data);
    if (count == 0) connection->lockWaitStarted.start();
    if (connection->interrupt.load() || connection->lockWaitStarted.hasExpired(SqliteLockWaitMs)) return 0;
    connection->lockWait.store(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 1;
}

// Qt's drivers warn on standard error about every statement that fails, beside the error the
// data set gives: while a statement of ours runs on a thread, its warnings are dropped there.
thread_local int quietDepth = 0;
std::atomic<QtMessageHandler> louderHandler{nullptr};

void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (quietDepth > 0 && type != QtFatalMsg) return;
    if (QtMessageHandler next = louderHandler.load()) next(type, context, text);
}

struct QuietDrivers {
    QuietDrivers()
    {
        // Put back in front whenever another handler has come since.
        const QtMessageHandler current = qInstallMessageHandler(quietHandler);
        if (current != quietHandler) louderHandler.store(current);
        ++quietDepth;
    }
    ~QuietDrivers() { --quietDepth; }
    QuietDrivers(const QuietDrivers&) = delete;
    QuietDrivers& operator=(const QuietDrivers&) = delete;
};

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

// ---- PostgreSQL through its client library ----
// Statements go to the server with their values as parameters of their own (the extended
// protocol), so no value is ever read as SQL, whatever the session's settings. The client
// library's functions are looked up once.

struct PgApi {
    decltype(&PQsendQueryParams) sendQueryParams = nullptr;
    decltype(&PQconsumeInput) consumeInput = nullptr;
    decltype(&PQisBusy) isBusy = nullptr;
    decltype(&PQgetResult) getResult = nullptr;
    decltype(&PQsocket) socket = nullptr;
    decltype(&PQresultStatus) resultStatus = nullptr;
    decltype(&PQresultErrorMessage) resultErrorMessage = nullptr;
    decltype(&PQresultErrorField) resultErrorField = nullptr;
    decltype(&PQclear) clear = nullptr;
    decltype(&PQntuples) ntuples = nullptr;
    decltype(&PQnfields) nfields = nullptr;
    decltype(&PQfname) fname = nullptr;
    decltype(&PQftype) ftype = nullptr;
    decltype(&PQgetisnull) getisnull = nullptr;
    decltype(&PQgetvalue) getvalue = nullptr;
    decltype(&PQgetlength) getlength = nullptr;
    decltype(&PQcmdTuples) cmdTuples = nullptr;
    decltype(&PQunescapeBytea) unescapeBytea = nullptr;
    decltype(&PQfreemem) freemem = nullptr;
    decltype(&PQerrorMessage) errorMessage = nullptr;
    decltype(&PQstatus) status = nullptr;
    decltype(&PQcancel) cancel = nullptr;
    bool complete = false;

    static const PgApi& get()
    {
        static const PgApi api = [] {
            PgApi a;
            const char* lib = clientlibrary::PostgreSQL;
            a.sendQueryParams = SORVIX_CLIENT_FUNCTION(lib, PQsendQueryParams);
            a.consumeInput = SORVIX_CLIENT_FUNCTION(lib, PQconsumeInput);
            a.isBusy = SORVIX_CLIENT_FUNCTION(lib, PQisBusy);
            a.getResult = SORVIX_CLIENT_FUNCTION(lib, PQgetResult);
            a.socket = SORVIX_CLIENT_FUNCTION(lib, PQsocket);
            a.resultStatus = SORVIX_CLIENT_FUNCTION(lib, PQresultStatus);
            a.resultErrorMessage = SORVIX_CLIENT_FUNCTION(lib, PQresultErrorMessage);
            a.resultErrorField = SORVIX_CLIENT_FUNCTION(lib, PQresultErrorField);
            a.clear = SORVIX_CLIENT_FUNCTION(lib, PQclear);
            a.ntuples = SORVIX_CLIENT_FUNCTION(lib, PQntuples);
            a.nfields = SORVIX_CLIENT_FUNCTION(lib, PQnfields);
            a.fname = SORVIX_CLIENT_FUNCTION(lib, PQfname);
            a.ftype = SORVIX_CLIENT_FUNCTION(lib, PQftype);
            a.getisnull = SORVIX_CLIENT_FUNCTION(lib, PQgetisnull);
            a.getvalue = SORVIX_CLIENT_FUNCTION(lib, PQgetvalue);
            a.getlength = SORVIX_CLIENT_FUNCTION(lib, PQgetlength);
            a.cmdTuples = SORVIX_CLIENT_FUNCTION(lib, PQcmdTuples);
            a.unescapeBytea = SORVIX_CLIENT_FUNCTION(lib, PQunescapeBytea);
            a.freemem = SORVIX_CLIENT_FUNCTION(lib, PQfreemem);
            a.errorMessage = SORVIX_CLIENT_FUNCTION(lib, PQerrorMessage);
            a.status = SORVIX_CLIENT_FUNCTION(lib, PQstatus);
            a.cancel = SORVIX_CLIENT_FUNCTION(lib, PQcancel);
            a.complete = a.sendQueryParams && a.consumeInput && a.isBusy && a.getResult && a.socket && a.resultStatus &&
                         a.resultErrorMessage && a.resultErrorField && a.clear && a.ntuples && a.nfields && a.fname &&
                         a.ftype && a.getisnull && a.getvalue && a.getlength && a.cmdTuples && a.unescapeBytea &&
                         a.freemem && a.errorMessage && a.status && a.cancel;
            return a;
        }();
        return api;
    }
};

// Type identifiers of the server's built-in types (pg_type.oid).
enum PgType : Oid {
    PgBool = 16, PgBytea = 17, PgInt8 = 20, PgInt2 = 21, PgInt4 = 23, PgOid = 26, PgFloat4 = 700, PgFloat8 = 701,
    PgDate = 1082, PgTime = 1083, PgTimestamp = 1114, PgTimestampTz = 1184, PgTimeTz = 1266, PgNumeric = 1700,
};

// One parameter as the client library takes it: its bytes, its type (0: the server works it out
// from where the value stands, as it does for a quoted literal) and its format (1: binary).
struct PgParam {
    QByteArray bytes;
    bool null = false;
    Oid type = 0;
    int format = 0;
};

bool postgresParam(const QVariant& v, PgParam* out, QString* error)
{
    if (v.isNull()) {
        out->null = true;
        return true;
    }
    QString text;
    switch (v.typeId()) {
    case QMetaType::QByteArray:
        out->bytes = v.toByteArray();
        out->type = PgBytea;
        out->format = 1;
        return true;
    case QMetaType::Bool:
        out->bytes = v.toBool() ? "true" : "false";
        out->type = PgBool;
        return true;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar: {
        // Typed as well: a parameter used in two places takes one type, the one of its value.
        bool fits = false;
        const qlonglong i = v.toLongLong(&fits);
        if (!fits) break;  // beyond 64 bits: as its text
        out->bytes = QByteArray::number(i);
        out->type = i >= std::numeric_limits<int>::min() && i <= std::numeric_limits<int>::max() ? PgInt4 : PgInt8;
        return true;
    }
    case QMetaType::Float:
    case QMetaType::Double: {
        // Typed, so a fraction beside an integer is not taken for an integer.
        const double d = v.toDouble();
        out->bytes = std::isnan(d) ? QByteArray("NaN")
                     : std::isinf(d) ? QByteArray(d > 0 ? "Infinity" : "-Infinity")
                                     : QByteArray::number(d, 'g', 17);
        out->type = PgFloat8;
        return true;
    }
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
    // A text parameter ends at its first NUL.
    if (text.contains(QChar(0))) return fail(error, QStringLiteral("A parameter value cannot hold a NUL character"));
    out->bytes = text.toUtf8();
    return true;
}

// The significant digits of a decimal text (its sign, point, exponent and leading zeros aside).
int significantDigits(QByteArrayView text)
{
    int digits = 0;
    int pendingZeros = 0;
    bool leading = true;
    for (char c : text) {
        if (c == 'e' || c == 'E') break;
        if (c < '0' || c > '9') continue;
        if (c == '0') {
            if (!leading) ++pendingZeros;
            continue;
        }
        leading = false;
        digits += pendingZeros + 1;
        pendingZeros = 0;
    }
    return digits;
}

// A field's text (the server's text form) as the value of its type.
QVariant postgresField(const PgApi& api, const PGresult* result, int row, int column, Oid type)
{
    if (api.getisnull(result, row, column)) return QVariant();
    const char* raw = api.getvalue(result, row, column);
    const QByteArrayView bytes(raw, api.getlength(result, row, column));
    bool ok = false;
    switch (type) {
    case PgBool:
        return QVariant(bytes == QByteArrayView("t"));
    case PgInt2:
    case PgInt4: {
        const int i = bytes.toByteArray().toInt(&ok);
        if (ok) return QVariant(i);
        break;
    }
    case PgInt8:
    case PgOid: {
        const qlonglong i = bytes.toByteArray().toLongLong(&ok);
        if (ok) return QVariant(i);
        break;
    }
    case PgFloat4:
    case PgFloat8: {
        if (bytes == QByteArrayView("NaN")) return QVariant(std::numeric_limits<double>::quiet_NaN());
        if (bytes == QByteArrayView("Infinity")) return QVariant(std::numeric_limits<double>::infinity());
        if (bytes == QByteArrayView("-Infinity")) return QVariant(-std::numeric_limits<double>::infinity());
        const double d = bytes.toByteArray().toDouble(&ok);
        if (ok) return QVariant(d);
        break;
    }
    case PgNumeric: {
        // A number a double holds exactly enough (15 significant digits) is a float; a longer
        // one keeps its every digit as text.
        if (significantDigits(bytes) <= 15) {
            const double d = bytes.toByteArray().toDouble(&ok);
            if (ok) return QVariant(d);
        }
        break;
    }
    case PgBytea: {
        size_t length = 0;
        unsigned char* unescaped = api.unescapeBytea(reinterpret_cast<const unsigned char*>(raw), &length);
        if (!unescaped) break;
        QByteArray data(reinterpret_cast<const char*>(unescaped), qsizetype(length));
        api.freemem(unescaped);
        return QVariant(data);
    }
    case PgDate: {
        const QDate d = QDate::fromString(QString::fromLatin1(bytes), Qt::ISODate);
        if (d.isValid()) return QVariant(d);
        break;
    }
    case PgTime:
    case PgTimeTz: {
        QString text = QString::fromLatin1(bytes);
        const qsizetype zone = std::max(text.indexOf(QLatin1Char('+')), text.indexOf(QLatin1Char('-')));
        if (zone > 0) text.truncate(zone);
        const QTime t = QTime::fromString(text.left(12), Qt::ISODateWithMs);
        if (t.isValid()) return QVariant(t);
        break;
    }
    case PgTimestamp:
    case PgTimestampTz: {
        QString text = QString::fromLatin1(bytes);
        text.replace(QLatin1Char(' '), QLatin1Char('T'));
        // "+01" is the server's way to write "+01:00".
        if (text.size() > 3 && (text.at(text.size() - 3) == QLatin1Char('+') || text.at(text.size() - 3) == QLatin1Char('-')))
            text += QStringLiteral(":00");
        QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (dt.isValid()) return QVariant(type == PgTimestampTz ? dt.toLocalTime() : dt);
        break;
    }
    default:
        break;
    }
    return QVariant(QString::fromUtf8(bytes));
}

// What a statement gave: an error, or a result that is rows or only a count.
struct PgOutcome {
    QString error;
    QString state;  // SQLSTATE of the error
    bool rows = false;
    qint64 affected = -1;
    QStringList names;
    QList<QVariantList> values;
};

void takeResult(const PgApi& api, PGresult* result, PgOutcome* out)
{
    const ExecStatusType status = api.resultStatus(result);
    if (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE || status == PGRES_NONFATAL_ERROR) {
        if (!out->error.isEmpty()) return;  // the first error is the one to show
        out->error = QString::fromUtf8(api.resultErrorMessage(result)).trimmed();
        if (const char* state = api.resultErrorField(result, PG_DIAG_SQLSTATE)) out->state = QString::fromLatin1(state);
        if (out->error.isEmpty()) out->error = QStringLiteral("Unknown database error");
        return;
    }
    out->rows = status == PGRES_TUPLES_OK || status == PGRES_SINGLE_TUPLE;
    const char* count = api.cmdTuples(result);
    out->affected = count && *count ? QByteArray(count).toLongLong() : -1;
    if (!out->rows) return;
    const int columns = api.nfields(result);
    out->names.clear();
    for (int c = 0; c < columns; ++c) out->names << QString::fromUtf8(api.fname(result, c));
    const int rows = api.ntuples(result);
    out->values.clear();
    out->values.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        QVariantList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c) row.append(postgresField(api, result, r, c, api.ftype(result, c)));
        out->values.append(row);
    }
}

// Runs one statement with its values and waits for its results. While a cancel stands
// (`cancelled`), a cancel request goes to the server every 200 ms until the statement ends: one
// sent before the statement reached the server would otherwise be lost.
PgOutcome runOnServer(PGconn* connection, PGcancel* canceller, const QString& sql, const QVariantList& binds,
                      const std::function<bool()>& cancelled)
{
    const PgApi& api = PgApi::get();
    PgOutcome out;
    if (!api.complete) {
        out.error = QStringLiteral("The PostgreSQL client library is not available");
        return out;
    }
    std::vector<PgParam> params(binds.size());
    for (qsizetype i = 0; i < binds.size(); ++i)
        if (!postgresParam(binds.at(i), &params[i], &out.error)) return out;
    std::vector<Oid> types;
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const PgParam& p : params) {
        types.push_back(p.type);
        values.push_back(p.null ? nullptr : p.bytes.constData());
        lengths.push_back(int(p.bytes.size()));
        formats.push_back(p.format);
    }
    const QByteArray text = sql.toUtf8();
    if (!api.sendQueryParams(connection, text.constData(), int(params.size()), types.data(), values.data(),
                             lengths.data(), formats.data(), 0)) {
        out.error = QString::fromUtf8(api.errorMessage(connection)).trimmed();
        return out;
    }
    QElapsedTimer sinceCancel;
    while (true) {
        if (!api.consumeInput(connection)) break;  // the connection is gone: the result says so
        if (!api.isBusy(connection)) break;
        if (cancelled() && canceller && (!sinceCancel.isValid() || sinceCancel.hasExpired(200))) {
            if (sinceCancel.isValid()) {
                char why[256];
                api.cancel(canceller, why, int(sizeof why));
            }
            sinceCancel.start();  // the first request is cancel()'s own
        }
        pollfd wait{api.socket(connection), POLLIN, 0};
        if (wait.fd < 0) break;
        ::poll(&wait, 1, 50);
    }
    while (PGresult* result = api.getResult(connection)) {
        takeResult(api, result, &out);
        api.clear(result);
    }
    if (out.error.isEmpty() && api.status(connection) != CONNECTION_OK)
        out.error = QString::fromUtf8(api.errorMessage(connection)).trimmed();
    return out;
}

// Server notices ("table does not exist, skipping", RAISE NOTICE) are not errors: they are not
// written anywhere, where the client library would print them on standard error.
void dropNotice(void*, const char*) {}

// A parameter's name as it stands in a PostgreSQL call: a plain name as written (the server folds
// it to lower case), a quoted one as written, anything else quoted, so no name is read as SQL.
QString postgresName(const QString& name)
{
    static const QRegularExpression plain(QStringLiteral("\\A[A-Za-z_][A-Za-z0-9_$]*\\z"));
    static const QRegularExpression quoted(QStringLiteral("\\A\"([^\"]|\"\")+\"\\z"));
    if (plain.match(name).hasMatch() || quoted.match(name).hasMatch()) return name;
    QString inner = name;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
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
    QString sql;           // a placeholder for every bound value: "?", or "$n" for PostgreSQL
    QVariantList binds;    // in the order of the placeholders (of their numbers)
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
                auto noticeProcessor = SORVIX_CLIENT_FUNCTION(clientlibrary::PostgreSQL, PQsetNoticeProcessor);
                if (auto* pg = static_cast<PGconn*>(clientlibrary::nativeHandle(db.driver()->handle(), {"PGconn*", "pg_conn*"}))) {
                    if (getCancel) connection->pgCancel = getCancel(pg);
                    if (noticeProcessor) noticeProcessor(pg, dropNotice, nullptr);
                }
            } else if (target.provider == ConnectionTarget::Provider::SQLite) {
                auto progressHandler = SORVIX_CLIENT_FUNCTION(clientlibrary::SQLite, sqlite3_progress_handler);
                auto busyHandler = SORVIX_CLIENT_FUNCTION(clientlibrary::SQLite, sqlite3_busy_handler);
                if (auto* lite = static_cast<sqlite3*>(clientlibrary::nativeHandle(db.driver()->handle(), {"sqlite3*"}))) {
                    if (progressHandler) progressHandler(lite, 1000, sqliteProgress, &connection->interrupt);
                    if (busyHandler) busyHandler(lite, sqliteBusy, connection.get());
                }
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
            // A failed statement or transaction leaves the connection alive; the client library
            // knows when it is gone.
            const PgApi& api = PgApi::get();
            auto* pg = static_cast<PGconn*>(clientlibrary::nativeHandle(db.driver()->handle(), {"PGconn*", "pg_conn*"}));
            if (!pg || !api.complete || api.status(pg) != CONNECTION_OK) lost = true;
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
    // Every value is bound, never written into the text. PostgreSQL numbers its parameters
    // ($1, $2, ...), so a name used twice is one value there; the others take one '?' each.
    QList<qsizetype> numbered;
    auto argument = [&](qsizetype i, QString* out) {
        QVariant v;
        if (!valueOf(i, &v)) return false;
        if (postgres) {
            qsizetype k = numbered.indexOf(i);
            if (k < 0) {
                numbered.append(i);
                command->binds.append(v);
                k = numbered.size() - 1;
            }
            // A blank first: a '$' just after a name would continue the name.
            *out = QStringLiteral(" $%1").arg(k + 1);
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
        // Binding reads placeholders of its own in comments, and SQLite takes a comment after
        // the statement's ';' for a second statement: leave them out there.
        scanSql(commandText_, &pieces, &names,
                provider == ConnectionTarget::Provider::SQLite || (!postgres && !params_.isEmpty()));
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
                    args << (pass == 0 ? arg : postgresName(params_.at(i).name) + QStringLiteral(" =>") + arg);
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

bool DataSet::runPostgres(const Command& command, bool forRows, qint64* rowsAffected, QString* error)
{
    PGconn* pg = static_cast<PGconn*>(
        clientlibrary::nativeHandle(connection_->database().driver()->handle(), {"PGconn*", "pg_conn*"}));
    if (!pg) return fail(error, QStringLiteral("The PostgreSQL connection is not available"));
    if (!arm(PostgresRuns, connection_->pgCancel)) return fail(error, QString::fromLatin1(CancelledMessage));
    PgOutcome out;
    {
        struct Disarm {
            DataSet* self;
            ~Disarm() { self->disarm(); }
        } disarmAtEnd{this};
        const auto cancelled = [this] {
            std::lock_guard lock(running_.mutex);
            return running_.cancelled;
        };
        out = runOnServer(pg, connection_->pgCancel, command.sql, command.binds, cancelled);
        // CALL names procedures only; a function is run with SELECT.
        if (!out.error.isEmpty() && !command.fallback.isEmpty() && out.state == QLatin1String("42809"))
            out = runOnServer(pg, connection_->pgCancel, command.fallback, command.binds, cancelled);
    }
    QString failure = out.error;
    if (failure.isEmpty() && forRows) {
        if (!out.rows) {
            failure = QString::fromLatin1(NoResultSet);
        } else {
            fieldNames_ = out.names;
            rows_ = out.values;
        }
    } else if (failure.isEmpty() && rowsAffected) {
        *rowsAffected = changesRows(command.keyword) ? out.affected : -1;
    }
    if (failure.isEmpty()) return true;
    afterError();
    return fail(error, failure);
}

bool DataSet::runCommand(const Command& command, bool forRows, qint64* rowsAffected, QString* error)
{
    if (connection_->target.provider == ConnectionTarget::Provider::PostgreSQL)
        return runPostgres(command, forRows, rowsAffected, error);
    QString failure;
    {
        const QuietDrivers quiet;
        QSqlQuery query(connection_->database());
        query.setForwardOnly(true);
        // A cancel from another thread reaches the statement through the driver: PostgreSQL and
        // SQLite through the connection, ODBC through the statement, which preparing makes.
        const ConnectionTarget::Provider provider = connection_->target.provider;
        bool armed = false;
        if (provider == ConnectionTarget::Provider::SQLite) {
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
        // The SQLite ODBC driver waits for a lock one slice at a time: the rest of the wait is
        // here, where a cancel ends it.
        const int lockWaitMs = connection_->target.lockWaitMs;
        // A stop between two slices ends the wait with the lock's error, as one within a slice does.
        QString lockError;
        if (!ok && lockWaitMs > 0 && !cancelledBeforeStart) {
            QElapsedTimer waited;
            waited.start();
            while (!ok && !cancelledBeforeStart && query.lastError().databaseText().contains(QLatin1String("is locked")) &&
                   waited.elapsed() + connectionstring::OdbcLockSliceMs <= lockWaitMs) {
                {
                    std::lock_guard lock(running_.mutex);
                    if (running_.cancelled) break;
                }
                connection_->lockWait.store(true);
                lockError = sqlErrorText(query.lastError());
                ok = run(command.sql);
            }
        }
        if (cancelledBeforeStart && !lockError.isEmpty()) {
            failure = lockError;
        } else if (cancelledBeforeStart) {
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
    running_.busy.store(running_.kind != NothingRuns);
    return true;
}

void DataSet::disarm()
{
    {
        std::lock_guard lock(running_.mutex);
        if (running_.connection) {
            running_.connection->interrupt.store(false);
            running_.connection->lockWait.store(false);
        }
        running_.kind = NothingRuns;
        running_.handle = nullptr;
        running_.connection = nullptr;
        running_.busy.store(false);
    }
    running_.ended.notify_all();
    if (running_.repeater.joinable()) running_.repeater.join();
}

// An ODBC cancel that comes just before the driver starts the statement is lost: cancel again
// every 100 ms until the statement has ended.
void DataSet::repeatOdbcCancel()
{
    auto odbcCancel = SORVIX_CLIENT_FUNCTION(clientlibrary::ODBC, SQLCancel);
    std::unique_lock lock(running_.mutex);
    while (odbcCancel && running_.kind == OdbcRuns) {
        if (running_.ended.wait_for(lock, std::chrono::milliseconds(100), [this] { return running_.kind != OdbcRuns; })) break;
        odbcCancel(static_cast<SQLHSTMT>(running_.handle));
    }
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
        if (!running_.repeater.joinable()) running_.repeater = std::thread([this] { repeatOdbcCancel(); });
        break;
    default:
        break;
    }
}

bool DataSet::waitingForLock() const
{
    std::lock_guard lock(running_.mutex);
    return running_.connection && running_.connection->lockWait.load();
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
