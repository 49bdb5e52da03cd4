#pragma once

// The PostgreSQL server the tests use: the one scripts/postgres.sh starts, named by
// SORVIX_PG_HOST, SORVIX_PG_PORT, SORVIX_PG_DB, SORVIX_PG_USER and SORVIX_PG_PASSWORD.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <atomic>

#include "platform/connectionstring.h"

namespace pgserver {

inline QString env(const char* name)
{
    return qEnvironmentVariable(name);
}

inline bool serverThere()
{
    return !env("SORVIX_PG_HOST").isEmpty() && !env("SORVIX_PG_PORT").isEmpty() && !env("SORVIX_PG_DB").isEmpty() &&
           !env("SORVIX_PG_USER").isEmpty();
}

#define NEED_SERVER()                                                                                        \
    if (!pgserver::serverThere())                                                                            \
    GTEST_SKIP() << "no PostgreSQL server: SORVIX_PG_HOST, SORVIX_PG_PORT, SORVIX_PG_DB and SORVIX_PG_USER " \
                    "are not set (scripts/test.sh starts one)"

inline QString serverConnection(const QString& password = env("SORVIX_PG_PASSWORD"))
{
    return QStringLiteral("Provider=PostgreSQL;Data Source=%1;Port=%2;Initial Catalog=%3;User ID=%4;Password=%5")
        .arg(env("SORVIX_PG_HOST"), env("SORVIX_PG_PORT"), env("SORVIX_PG_DB"), env("SORVIX_PG_USER"),
             connectionstring::quoteValue(password));
}

// A raw connection of the test's own, beside the ones under test.
class Side {
public:
    Side()
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(env("SORVIX_PG_HOST"));
        db.setPort(env("SORVIX_PG_PORT").toInt());
        db.setDatabaseName(env("SORVIX_PG_DB"));
        db.setUserName(env("SORVIX_PG_USER"));
        db.setPassword(env("SORVIX_PG_PASSWORD"));
        ok = db.open();
        if (!ok) error = db.lastError().text();
        // The driver prints the server's notices on standard error; the test's own statements
        // need none.
        if (ok) run(QStringLiteral("SET client_min_messages = warning"));
    }
    ~Side() { QSqlDatabase::removeDatabase(name); }
    Side(const Side&) = delete;
    Side& operator=(const Side&) = delete;

    // Runs one statement; the error text, or empty. `first` receives the first column of the first row.
    QString run(const QString& sql, QVariant* first = nullptr)
    {
        QSqlQuery q(QSqlDatabase::database(name, false));
        if (!q.exec(sql)) return q.lastError().text();
        if (first && q.next()) *first = q.value(0);
        return {};
    }
    bool ok = false;
    QString error;

private:
    static int next()
    {
        static std::atomic<int> counter{0};
        return ++counter;
    }
    QString name = QStringLiteral("postgres-side-%1").arg(next());
};

}  // namespace pgserver
