#include "platform/connectionstring.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>

#include <libpq-fe.h>

#include "platform/clientlibrary.h"

namespace {

bool fail(QString* error, const QString& text)
{
    if (error) *error = text;
    return false;
}

QString invalid(const QString& why)
{
    return QStringLiteral("Invalid connection string: ") + why;
}

bool sameKey(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

qsizetype skipBlanks(const QString& text, qsizetype i)
{
    while (i < text.size() && text.at(i).isSpace()) ++i;
    return i;
}

// Files named in connection strings may carry Windows separators.
QString localPath(const QString& name)
{
    QString path = name;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

QString absoluteFile(const QString& name, const PathResolver& resolve)
{
    QString path = localPath(resolve ? resolve(name) : name);
    if (QDir::isRelativePath(path)) path = QFileInfo(path).absoluteFilePath();
    return path;
}

}  // namespace

namespace connectionstring {

bool parse(const QString& text, ConnectionPairs* out, QString* error)
{
    ConnectionPairs pairs;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (true) {
        i = skipBlanks(text, i);
        if (i >= n) break;
        if (text.at(i) == QLatin1Char(';')) {
            ++i;
            continue;
        }
        const qsizetype keyStart = i;
        qsizetype eq = keyStart;
        while (eq < n && text.at(eq) != QLatin1Char('=') && text.at(eq) != QLatin1Char(';')) ++eq;
        if (eq >= n || text.at(eq) != QLatin1Char('='))
            return fail(error, invalid(QStringLiteral("\"%1\" has no \"=\"").arg(text.mid(keyStart, eq - keyStart).trimmed())));
        ConnectionPair pair;
        pair.key = text.mid(keyStart, eq - keyStart).trimmed();
        if (pair.key.isEmpty()) return fail(error, invalid(QStringLiteral("a value without a key")));
        pair.valueBegin = eq + 1;
        qsizetype j = skipBlanks(text, pair.valueBegin);
        const QChar first = j < n ? text.at(j) : QChar();
        if (first == QLatin1Char('"') || first == QLatin1Char('\'') || first == QLatin1Char('{')) {
            const QChar close = first == QLatin1Char('{') ? QLatin1Char('}') : first;
            pair.quote = first;
            QString value;
            if (first == QLatin1Char('{')) value += first;
            qsizetype k = j + 1;
            bool closed = false;
            while (k < n) {
                if (text.at(k) == close) {
                    if (k + 1 < n && text.at(k + 1) == close) {
                        value += close;
                        if (first == QLatin1Char('{')) value += close;  // braces stay as written
                        k += 2;
                        continue;
                    }
                    closed = true;
                    ++k;
                    break;
                }
                value += text.at(k++);
            }
            if (!closed)
                return fail(error, invalid(QStringLiteral("the value of \"%1\" has no closing %2").arg(pair.key, close)));
            if (first == QLatin1Char('{')) value += close;
            k = skipBlanks(text, k);
            if (k < n && text.at(k) != QLatin1Char(';'))
                return fail(error, invalid(QStringLiteral("text after the quoted value of \"%1\"").arg(pair.key)));
            pair.value = value;
            pair.valueEnd = k;
        } else {
            qsizetype end = pair.valueBegin;
            while (end < n && text.at(end) != QLatin1Char(';')) ++end;
            pair.value = text.mid(pair.valueBegin, end - pair.valueBegin).trimmed();
            pair.valueEnd = end;
        }
        i = pair.valueEnd;
        pairs.append(pair);
    }
    if (out) *out = pairs;
    return true;
}

QString quoteValue(const QString& value)
{
    const bool needs = value.contains(QLatin1Char(';')) || (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace())) ||
                       value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\'')) ||
                       value.startsWith(QLatin1Char('{'));
    if (!needs) return value;
    if (value.contains(QLatin1Char('"')) && !value.contains(QLatin1Char('\'')))
        return QLatin1Char('\'') + value + QLatin1Char('\'');
    QString doubled = value;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

QString write(const ConnectionPairs& pairs)
{
    QStringList parts;
    for (const ConnectionPair& p : pairs)
        parts << p.key + QLatin1Char('=') + (p.quote == QLatin1Char('{') ? p.value : quoteValue(p.value));
    return parts.join(QLatin1Char(';'));
}

qsizetype indexOf(const ConnectionPairs& pairs, QStringView key)
{
    for (qsizetype i = pairs.size() - 1; i >= 0; --i)
        if (sameKey(pairs.at(i).key, key)) return i;
    return -1;
}

QString value(const ConnectionPairs& pairs, QStringView key)
{
    const qsizetype i = indexOf(pairs, key);
    return i < 0 ? QString() : pairs.at(i).value;
}

QString rewriteFileName(const QString& text, const PathResolver& resolve)
{
    ConnectionPairs pairs;
    if (!parse(text, &pairs)) return text;
    QString result = text;
    // Backwards, so the spans of the earlier pairs stay where they are.
    for (qsizetype i = pairs.size() - 1; i >= 0; --i) {
        const ConnectionPair& p = pairs.at(i);
        if (!sameKey(p.key, u"File Name")) continue;
        const QString path = resolve ? resolve(p.value) : p.value;
        QString replacement;
        if (p.quote == QLatin1Char('"') || p.quote == QLatin1Char('\'')) {
            QString doubled = path;
            doubled.replace(p.quote, QString(2, p.quote));
            replacement = p.quote + doubled + p.quote;
        } else {
            replacement = quoteValue(path);
        }
        result.replace(p.valueBegin, p.valueEnd - p.valueBegin, replacement);
    }
    return result;
}

bool readDataLinkFile(const QString& path, QString* connectionString, QString* error)
{
    QFile file(path);
    if (!QFileInfo(path).isFile()) return fail(error, QStringLiteral("Data link file not found: %1").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("Cannot read data link file %1: %2").arg(path, file.errorString()));
    QByteArray bytes = file.readAll();
    QStringDecoder::Encoding encoding = QStringDecoder::Utf8;
    if (bytes.startsWith("\xFF\xFE")) {
        encoding = QStringDecoder::Utf16LE;
        bytes.remove(0, 2);
    } else if (bytes.startsWith("\xFE\xFF")) {
        encoding = QStringDecoder::Utf16BE;
        bytes.remove(0, 2);
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes.remove(0, 3);
    } else if (bytes.size() >= 2 && bytes.at(0) != 0 && bytes.at(1) == 0) {
        encoding = QStringDecoder::Utf16LE;  // UTF-16 that lost its byte-order mark
    }
    QStringDecoder decode(encoding);
    const QString text = decode(bytes);
    if (decode.hasError()) return fail(error, QStringLiteral("Cannot read data link file %1: it is not UTF-16 or UTF-8 text").arg(path));
    for (QString line : text.split(QLatin1Char('\n'))) {
        line.remove(QChar(0));
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || sameKey(line, u"[oledb]")) continue;
        if (connectionString) *connectionString = line;
        return true;
    }
    return fail(error, QStringLiteral("Data link file holds no connection string: %1").arg(path));
}

}  // namespace connectionstring

QString ConnectionTarget::key() const
{
    return QStringList{driver, databaseName, hostName, QString::number(port), userName, password, connectOptions}.join(
        QChar(0x1F));
}

namespace {

// The ODBC form of a value: braced when it holds what would end or bend it.
QString odbcValue(const ConnectionPair& p)
{
    if (p.quote == QLatin1Char('{')) return p.value;
    const QString& v = p.value;
    if (!v.contains(QLatin1Char(';')) && !v.startsWith(QLatin1Char('{')) && v.trimmed() == v) return v;
    QString doubled = v;
    doubled.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') + doubled + QLatin1Char('}');
}

// The keys of the installed client library, as it names them (lower case).
const QStringList& libpqKeys()
{
    static const QStringList keys = [] {
        QStringList list;
        auto defaults = SORVIX_CLIENT_FUNCTION(clientlibrary::PostgreSQL, PQconndefaults);
        auto release = SORVIX_CLIENT_FUNCTION(clientlibrary::PostgreSQL, PQconninfoFree);
        if (PQconninfoOption* options = defaults && release ? defaults() : nullptr) {
            for (PQconninfoOption* o = options; o->keyword; ++o) list << QString::fromLatin1(o->keyword);
            release(options);
        }
        return list;
    }();
    return keys;
}

// A value in the client library's own quoting: in single quotes, with \ and \' escaped.
QString libpqValue(const QString& value)
{
    QString v = value;
    v.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    v.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

bool resolvePostgres(const ConnectionPairs& pairs, ConnectionTarget* target, QString* error)
{
    // The classic keys and the client library's keys that mean the same; the first of each
    // group that the string holds wins.
    static const char16_t* const hostKeys[] = {u"Data Source", u"Server", u"Host"};
    static const char16_t* const databaseKeys[] = {u"Initial Catalog", u"Database", u"dbname"};
    static const char16_t* const userKeys[] = {u"User ID", u"user"};
    static const char16_t* const passwordKeys[] = {u"Password"};
    static const char16_t* const portKeys[] = {u"Port"};
    static const char16_t* const timeoutKeys[] = {u"Connect Timeout", u"connect_timeout"};
    // Keys of the classic form that the client library has no use for.
    static const char16_t* const ignored[] = {u"Provider", u"Persist Security Info"};

    auto firstOf = [&pairs](const auto& group, QString* value) {
        for (const char16_t* key : group)
            if (connectionstring::indexOf(pairs, QStringView(key)) >= 0) {
                *value = connectionstring::value(pairs, QStringView(key));
                return true;
            }
        return false;
    };
    auto inGroup = [](const auto& group, QStringView key) {
        return std::any_of(std::begin(group), std::end(group), [key](const char16_t* k) { return sameKey(key, QStringView(k)); });
    };

    // The client library's own name beside a classic one leaves the server in doubt.
    const qsizetype libraryHost = connectionstring::indexOf(pairs, u"Host");
    for (const char16_t* classic : {u"Server", u"Data Source"}) {
        const qsizetype other = connectionstring::indexOf(pairs, QStringView(classic));
        if (libraryHost >= 0 && other >= 0) {
            const QString first = pairs.at(std::min(libraryHost, other)).key;
            const QString second = pairs.at(std::max(libraryHost, other)).key;
            return fail(error, invalid(QStringLiteral("%1 and %2 both name the server: give one of them").arg(first, second)));
        }
    }

    target->provider = ConnectionTarget::Provider::PostgreSQL;
    target->driver = QStringLiteral("QPSQL");
    firstOf(hostKeys, &target->hostName);
    firstOf(databaseKeys, &target->databaseName);
    firstOf(userKeys, &target->userName);
    firstOf(passwordKeys, &target->password);
    QString port;
    if (firstOf(portKeys, &port) && !port.isEmpty()) {
        bool ok = false;
        target->port = port.toInt(&ok);
        if (!ok || target->port < 1 || target->port > 65535)
            return fail(error, invalid(QStringLiteral("Port \"%1\" is not a port number").arg(port)));
    }
    // A server that does not answer must not hold the runner for minutes.
    int timeout = 15;
    QString given;
    if (firstOf(timeoutKeys, &given) && !given.isEmpty()) {
        bool ok = false;
        timeout = given.toInt(&ok);
        if (!ok || timeout < 0)
            return fail(error, invalid(QStringLiteral("Connect Timeout \"%1\" is not a number of seconds").arg(given)));
    }
    QStringList options{QStringLiteral("connect_timeout=%1").arg(timeout)};

    // Every other key goes to the client library as it names it; one neither knows is refused.
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        const ConnectionPair& p = pairs.at(i);
        if (inGroup(hostKeys, p.key) || inGroup(databaseKeys, p.key) || inGroup(userKeys, p.key) ||
            inGroup(passwordKeys, p.key) || inGroup(portKeys, p.key) || inGroup(timeoutKeys, p.key) ||
            inGroup(ignored, p.key))
            continue;
        const QStringList& known = libpqKeys();
        const auto it = std::find_if(known.begin(), known.end(), [&p](const QString& k) { return sameKey(k, p.key); });
        if (it == known.end())
            return fail(error, invalid(QStringLiteral("\"%1\" is not a key PostgreSQL knows").arg(p.key)));
        // The driver turns every ';' of its options into a blank, so such a value cannot reach
        // the client library whole.
        if (p.value.contains(QLatin1Char(';')))
            return fail(error, invalid(QStringLiteral("the value of \"%1\" cannot hold a ';'").arg(p.key)));
        if (connectionstring::indexOf(pairs, p.key) != i) continue;  // the last of a repeated key holds
        options << *it + QLatin1Char('=') + libpqValue(p.value);
    }
    target->connectOptions = options.join(QLatin1Char(';'));
    return true;
}

bool resolveOdbc(const ConnectionPairs& pairs, ConnectionTarget* target, QString* error)
{
    // The keys of an OLE DB style string for the ODBC bridge, in their ODBC names; the rest go
    // to the driver manager as they stand.
    static const std::pair<const char16_t*, const char16_t*> renamed[] = {
        {u"Data Source", u"DSN"}, {u"User ID", u"UID"}, {u"Password", u"PWD"}, {u"Initial Catalog", u"DATABASE"}};
    QList<std::pair<QString, QString>> out;
    auto has = [&out](QStringView key) {
        return std::any_of(out.begin(), out.end(), [key](const auto& kv) { return sameKey(kv.first, key); });
    };
    const QString extended = connectionstring::value(pairs, u"Extended Properties");
    if (!extended.isEmpty()) {
        ConnectionPairs inner;
        QString why;
        if (!connectionstring::parse(extended, &inner, &why))
            return fail(error, why + QStringLiteral(" (in Extended Properties)"));
        for (const ConnectionPair& p : inner) out.append({p.key, odbcValue(p)});
    }
    for (const ConnectionPair& p : pairs) {
        // Everything but the keys that choose the bridge or were read already reaches the driver
        // manager, which hands what it does not know to the driver.
        if (sameKey(p.key, u"Provider") || sameKey(p.key, u"Extended Properties") || sameKey(p.key, u"File Name"))
            continue;
        QString key = p.key;
        for (const auto& [from, to] : renamed)
            if (sameKey(key, QStringView(from))) key = QString::fromUtf16(to);
        if (has(key)) continue;
        out.append({key, odbcValue(p)});
    }
    // The SQLite driver gives integers as 32-bit ones unless asked for 64 bits, and waits for a
    // lock in one sleep that nothing can end: its wait becomes the data set's, which stops it
    // when the run stops, and the driver waits in short slices.
    const auto driver = std::find_if(out.begin(), out.end(), [](const auto& kv) { return sameKey(kv.first, u"Driver"); });
    if (driver != out.end() && driver->second.contains(QLatin1String("sqlite"), Qt::CaseInsensitive)) {
        if (!has(u"BigInt")) out.append({QStringLiteral("BigInt"), QStringLiteral("1")});
        target->lockWaitMs = 100000;  // the driver's own default
        const auto timeout = std::find_if(out.begin(), out.end(), [](const auto& kv) { return sameKey(kv.first, u"Timeout"); });
        if (timeout != out.end()) {
            bool ok = false;
            target->lockWaitMs = timeout->second.toInt(&ok);
            if (!ok || target->lockWaitMs < 0)
                return fail(error, invalid(QStringLiteral("Timeout \"%1\" is not a number of milliseconds").arg(timeout->second)));
            out.erase(timeout);
        }
        out.append({QStringLiteral("Timeout"), QString::number(connectionstring::OdbcLockSliceMs)});
    }
    // The ODBC driver prefixes DSN= (or FILEDSN= when the text holds ".dsn") unless the text
    // names a DRIVER or SERVER; put the key it adds first and leave its name out.
    auto joined = [&out]() {
        QStringList parts;
        for (const auto& [k, v] : out) parts << k + QLatin1Char('=') + v;
        return parts.join(QLatin1Char(';'));
    };
    auto moveFirst = [&out](QStringView key) {
        for (qsizetype i = 0; i < out.size(); ++i)
            if (sameKey(out.at(i).first, key)) {
                out.move(i, 0);
                return true;
            }
        return false;
    };
    QString text = joined();
    if (text.contains(QLatin1String(".dsn"), Qt::CaseInsensitive)) {
        if (!moveFirst(u"FILEDSN"))
            return fail(error, QStringLiteral("An ODBC connection string that holds \".dsn\" needs a FILEDSN key"));
        text = joined().mid(out.front().first.size() + 1);
    } else if (text.contains(QLatin1String("DRIVER="), Qt::CaseInsensitive) ||
               text.contains(QLatin1String("SERVER="), Qt::CaseInsensitive)) {
        // passed as it is
    } else if (moveFirst(u"DSN")) {
        text = joined().mid(out.front().first.size() + 1);
    } else {
        return fail(error, QStringLiteral("An ODBC connection string needs a DSN, FILEDSN or DRIVER key"));
    }
    target->provider = ConnectionTarget::Provider::ODBC;
    target->driver = QStringLiteral("QODBC");
    target->databaseName = text;
    return true;
}

}  // namespace

namespace connectionstring {

bool resolve(const QString& text, const PathResolver& resolvePath, ConnectionTarget* out, QString* error)
{
    ConnectionPairs pairs;
    if (!parse(text, &pairs, error)) return false;

    const qsizetype fileKey = indexOf(pairs, u"File Name");
    if (fileKey >= 0) {
        const QString name = pairs.at(fileKey).value;
        if (name.isEmpty()) return fail(error, invalid(QStringLiteral("File Name is empty")));
        const QString path = absoluteFile(name, resolvePath);
        QString inner;
        if (!readDataLinkFile(path, &inner, error)) return false;
        ConnectionPairs linked;
        QString why;
        if (!parse(inner, &linked, &why)) return fail(error, why + QStringLiteral(" (in data link file %1)").arg(path));
        if (indexOf(linked, u"File Name") >= 0)
            return fail(error, QStringLiteral("Data link file %1 names another data link file").arg(path));
        for (const ConnectionPair& p : pairs) {
            if (sameKey(p.key, u"File Name")) continue;
            linked.removeIf([&p](const ConnectionPair& q) { return sameKey(q.key, p.key); });
            linked.append(p);
        }
        pairs = linked;
    }

    QString provider = value(pairs, u"Provider");
    // Provider names may carry a version ("MSDASQL.1").
    while (!provider.isEmpty() && provider.back().isDigit()) {
        const qsizetype dot = provider.lastIndexOf(QLatin1Char('.'));
        bool digits = dot > 0;
        for (qsizetype i = dot + 1; digits && i < provider.size(); ++i) digits = provider.at(i).isDigit();
        if (!digits) break;
        provider.truncate(dot);
    }

    ConnectionTarget target;
    if (provider.isEmpty() || sameKey(provider, u"SQLite")) {
        const QString file = value(pairs, u"Data Source");
        if (file.isEmpty()) return fail(error, QStringLiteral("The connection string names no database file (Data Source)"));
        target.provider = ConnectionTarget::Provider::SQLite;
        target.driver = QStringLiteral("QSQLITE");
        target.databaseName = absoluteFile(file, resolvePath);
    } else if (sameKey(provider, u"PostgreSQL")) {
        if (!resolvePostgres(pairs, &target, error)) return false;
    } else if (sameKey(provider, u"MSDASQL") || sameKey(provider, u"ODBC")) {
        if (!resolveOdbc(pairs, &target, error)) return false;
    } else {
        return fail(error, QStringLiteral("Unknown provider \"%1\": the providers are %2")
                               .arg(value(pairs, u"Provider"), QLatin1String(ProviderList)));
    }
    if (out) *out = target;
    return true;
}

}  // namespace connectionstring
