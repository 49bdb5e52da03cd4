#pragma once

#include <QList>
#include <QString>
#include <functional>

// Connection strings in their classic form: key=value pairs separated by ';'. Keys are compared
// without regard to letter case and trimmed; a value may be quoted with " or ' (the quote doubled
// inside stands for itself) or braced with {} as ODBC writes it, and then keeps its ';' and blanks.

// One pair as written.
struct ConnectionPair {
    QString key;     // trimmed, in its original spelling
    QString value;   // trimmed; quotes removed and doubled quotes undone; a braced value keeps its braces
    QChar quote;     // '"' or '\'' for a quoted value, '{' for a braced one, else null
    // The value's span in the parsed text: from the character after '=' up to the ';' that ends
    // the pair (or the end of the text), blanks and quotes included.
    qsizetype valueBegin = 0;
    qsizetype valueEnd = 0;
};
using ConnectionPairs = QList<ConnectionPair>;

// Turns a relative file name into an absolute one (for a flow: its GetFullFileName).
using PathResolver = std::function<QString(const QString&)>;

namespace connectionstring {

// Splits text into its pairs, in order. Empty pieces (";;", a trailing ';') are skipped.
// False with *error for a piece without '=', an empty key, an unclosed quote or text after a
// closing quote.
bool parse(const QString& text, ConnectionPairs* out, QString* error = nullptr);

// The value as it must be written: unchanged when it can stand alone, else quoted.
QString quoteValue(const QString& value);
// Writes pairs back as key=value;key=value, quoting the values that need it.
QString write(const ConnectionPairs& pairs);

// The index of the pair named key (without regard to case), the last one when the key is
// repeated; -1 when there is none.
qsizetype indexOf(const ConnectionPairs& pairs, QStringView key);
// The value of key, or an empty string.
QString value(const ConnectionPairs& pairs, QStringView key);

// Replaces the value of every "File Name" key (any letter case) by resolve(the trimmed value),
// written in the value's own quotes when it had some. Everything else of the text is kept as it
// is. A text without such a key, or one that does not parse, is returned unchanged.
QString rewriteFileName(const QString& text, const PathResolver& resolve);

// Reads the connection string that a data-link file holds: UTF-16 text with a byte-order mark
// (UTF-8 is accepted too), an "[oledb]" line and comment lines starting with ';' before it.
bool readDataLinkFile(const QString& path, QString* connectionString, QString* error);

}  // namespace connectionstring

// What a connection string asks for, ready for Qt SQL.
struct ConnectionTarget {
    enum class Provider { SQLite, PostgreSQL, ODBC };
    Provider provider = Provider::SQLite;
    QString driver;        // the Qt SQL driver: QSQLITE, QPSQL or QODBC
    QString databaseName;  // SQLite: the absolute file; PostgreSQL: the database; ODBC: the string
    QString hostName;
    int port = -1;
    QString userName;
    QString password;
    QString connectOptions;
    // ODBC on the SQLite driver: how long a statement waits for another connection's lock, in
    // ms. The driver itself waits only a short slice at a time, so the data set can stop the wait.
    int lockWaitMs = -1;

    // Equal keys can share one connection.
    QString key() const;
};

namespace connectionstring {

// The slice of a lock wait that the SQLite ODBC driver waits at a time.
inline constexpr int OdbcLockSliceMs = 100;

// The providers there are, as the error for an unknown one names them.
inline constexpr const char* ProviderList = "SQLite, PostgreSQL, MSDASQL and ODBC";

// Works out the target of a connection string: reads the data-link file that "File Name" names
// (its pairs first, the string's other pairs over them), chooses the driver by "Provider"
// (SQLite when there is none) and gathers that driver's settings. Relative file names go
// through resolve. False with *error for a string that does not parse, an unknown provider,
// a data-link file that cannot be read, or settings the provider cannot use.
bool resolve(const QString& text, const PathResolver& resolve, ConnectionTarget* out, QString* error);

}  // namespace connectionstring
