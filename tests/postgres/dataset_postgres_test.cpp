// The data-set cases on a real PostgreSQL server: the one scripts/postgres.sh starts, named by
// SORVIX_PG_HOST, SORVIX_PG_PORT, SORVIX_PG_DB, SORVIX_PG_USER and SORVIX_PG_PASSWORD.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <chrono>
#include <thread>
#include <vector>

#include "pgserver.h"
#include "platform/dataset.h"
#include "platform/dataset_cases.h"

namespace {

using dscases::s;

using namespace pgserver;

std::atomic<int> tableCounter{0};

class PostgresBackend : public dscases::Backend {
public:
    QString name = QStringLiteral("t%1_%2").arg(QCoreApplication::applicationPid()).arg(++tableCounter);
    QString connectionString() const override { return serverConnection(env("SORVIX_PG_PASSWORD")); }
    QString table() const override { return name; }
    QStringList literalSettings() const override
    {
        return {QStringLiteral("SET standard_conforming_strings = on"), QStringLiteral("SET standard_conforming_strings = off"),
                QStringLiteral("SET backslash_quote = on")};
    }
    ~PostgresBackend() override
    {
        if (!seeded) return;
        Side side;
        side.run(QStringLiteral("DROP TABLE %1").arg(name));
    }
    QString setUp()
    {
        seeded = true;
        return dscases::seed(connectionString(), table());
    }

private:
    bool seeded = false;
};

class PostgresCases : public ::testing::TestWithParam<dscases::Case> {};

TEST_P(PostgresCases, Run)
{
    NEED_SERVER();
    PostgresBackend db;
    const QString error = db.setUp();
    ASSERT_TRUE(error.isEmpty()) << s(error);
    DataSet ds;
    ds.setConnectionString(db.connectionString());
    GetParam().run(ds, db);
}

INSTANTIATE_TEST_SUITE_P(DataSet, PostgresCases, ::testing::ValuesIn(dscases::cases()),
                         [](const ::testing::TestParamInfo<dscases::Case>& info) { return std::string(info.param.name); });

class PostgresDataSet : public ::testing::Test {
protected:
    PostgresBackend db;
    DataSet ds;
    void SetUp() override
    {
        NEED_SERVER();
        const QString error = db.setUp();
        ASSERT_TRUE(error.isEmpty()) << s(error);
        ds.setConnectionString(db.connectionString());
    }
    qint64 backendPid(DataSet& d)
    {
        d.close();
        d.setCommandType(DataSet::CommandText);
        d.setCommandText(QStringLiteral("SELECT pg_backend_pid() AS pid"));
        QString e;
        EXPECT_TRUE(d.open(&e)) << s(e);
        QVariant pid;
        d.fieldByName(QStringLiteral("pid"), &pid);
        d.close();
        return pid.toLongLong();
    }
    QString sql(const char* text) const { return QString::fromUtf8(text).arg(db.table()); }
};

TEST_F(PostgresDataSet, ServerThatGoesAwayIsAnErrorAndTheNextUseConnectsAgain)
{
    const qint64 pid = backendPid(ds);
    ASSERT_GT(pid, 0);
    Side side;
    ASSERT_TRUE(side.ok) << s(side.error);
    QVariant killed;
    ASSERT_EQ(s(side.run(QStringLiteral("SELECT pg_terminate_backend(%1, 5000)").arg(pid), &killed)), "");
    ASSERT_TRUE(killed.toBool());

    ds.setCommandText(sql("SELECT name FROM %1 ORDER BY id"));
    QString e;
    EXPECT_FALSE(ds.open(&e));
    EXPECT_TRUE(e.contains(QStringLiteral("terminating connection")) || e.contains(QStringLiteral("server closed the connection")))
        << s(e);
    EXPECT_FALSE(ds.active());
    // The lost connection is let go; the next open connects anew.
    ASSERT_TRUE(ds.open(&e)) << s(e);
    EXPECT_EQ(s(dscases::nameAt(ds)), "Ann");
    EXPECT_NE(backendPid(ds), pid);
}

TEST_F(PostgresDataSet, ConnectionKilledByItsOwnStatement)
{
    // The statement may still get its answer before the server ends the connection.
    ds.setCommandText(QStringLiteral("SELECT pg_terminate_backend(pg_backend_pid())"));
    qint64 n = 7;
    QString e;
    if (!ds.execute(&n, &e)) {
        EXPECT_FALSE(e.isEmpty());
        EXPECT_EQ(n, 7);
    }
    ds.setCommandText(sql("UPDATE %1 SET score = 0"));
    ASSERT_TRUE(ds.execute(&n, &e)) << s(e);
    EXPECT_EQ(n, 3);
}

TEST_F(PostgresDataSet, FailedTransactionKeepsTheConnection)
{
    const auto run = [this](const QString& text) {
        ds.setCommandText(text);
        qint64 n = 0;
        QString e;
        ds.execute(&n, &e);
        return e;
    };
    ASSERT_EQ(s(run(QStringLiteral("BEGIN"))), "");
    const QString name = ds.connectionName();
    ASSERT_EQ(s(run(sql("UPDATE %1 SET name = 'Tx' WHERE id = 1"))), "");
    EXPECT_FALSE(run(QStringLiteral("SELECT * FROM nosuch_table")).isEmpty());
    const QString aborted = run(QStringLiteral("SELECT 1"));
    EXPECT_TRUE(aborted.contains(QStringLiteral("current transaction is aborted"))) << s(aborted);
    EXPECT_EQ(ds.connectionName(), name);
    ASSERT_EQ(s(run(QStringLiteral("ROLLBACK"))), "");
    ds.setCommandText(sql("SELECT name FROM %1 WHERE id = 1"));
    ASSERT_TRUE(ds.open());
    EXPECT_EQ(s(dscases::nameAt(ds)), "Ann");
}

TEST_F(PostgresDataSet, LoginFailuresAreClearErrors)
{
    const struct {
        QString connection;
        const char* error;
    } cases[] = {
        {serverConnection(QStringLiteral("wrong")), "password authentication failed"},
        {QString(serverConnection(env("SORVIX_PG_PASSWORD"))).replace(QStringLiteral("Initial Catalog=") + env("SORVIX_PG_DB"),
                                                                       QStringLiteral("Initial Catalog=no_such_db")),
         "does not exist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        DataSet other;
        other.setConnectionString(c.connection);
        other.setCommandText(QStringLiteral("SELECT 1"));
        QString e;
        EXPECT_FALSE(other.open(&e));
        EXPECT_TRUE(e.contains(QString::fromUtf8(c.error))) << s(e);
        EXPECT_TRUE(other.connectionName().isEmpty());
    }
}

TEST_F(PostgresDataSet, StoredProceduresAndFunctions)
{
    Side side;
    ASSERT_TRUE(side.ok) << s(side.error);
    ASSERT_EQ(s(side.run(sql("CREATE FUNCTION %1_find(low integer, who text DEFAULT '') RETURNS SETOF %1 "
                             "LANGUAGE sql AS $$ SELECT * FROM %1 WHERE id >= low OR name = who ORDER BY id $$"))),
              "");
    ASSERT_EQ(s(side.run(sql("CREATE PROCEDURE %1_bump(amount double precision) LANGUAGE sql "
                             "AS $$ UPDATE %1 SET score = score + amount $$"))),
              "");
    ASSERT_EQ(s(side.run(sql("CREATE FUNCTION %1_touch() RETURNS integer LANGUAGE sql AS $$ UPDATE %1 SET note = 't' RETURNING 1 $$"))), "");

    QString e;
    ASSERT_TRUE(ds.setCommandType(DataSet::CommandStoredProc, &e));
    ASSERT_TRUE(ds.setCommandText(sql("%1_find"), &e));
    EXPECT_EQ(ds.paramCount(), 0);
    ASSERT_TRUE(ds.setParamByIndex(0, 3, &e)) << s(e);
    ASSERT_TRUE(ds.open(&e)) << s(e);
    qint64 count = 0;
    ASSERT_TRUE(ds.recordCount(&count, &e));
    EXPECT_EQ(count, 1);
    ds.close();
    ASSERT_TRUE(ds.setParamByName(QStringLiteral("who"), QStringLiteral("Ann"), &e)) << s(e);
    EXPECT_EQ(ds.paramNames(), (QStringList{QString(), QStringLiteral("who")}));
    ASSERT_TRUE(ds.open(&e)) << s(e);
    ASSERT_TRUE(ds.recordCount(&count, &e));
    EXPECT_EQ(count, 2);
    ds.close();

    // A procedure is called; a function run for its effect is selected.
    ASSERT_TRUE(ds.setCommandText(sql("%1_bump"), &e));
    ASSERT_TRUE(ds.setParamByName(QStringLiteral("amount"), 10, &e));
    qint64 n = 0;
    ASSERT_TRUE(ds.execute(&n, &e)) << s(e);
    EXPECT_EQ(n, -1);
    ASSERT_TRUE(ds.setCommandText(sql("%1_touch"), &e));
    ASSERT_TRUE(ds.execute(&n, &e)) << s(e);
    EXPECT_EQ(n, -1);
    QVariant v;
    ASSERT_EQ(s(side.run(sql("SELECT sum(score) || ' ' || min(note) FROM %1"), &v)), "");
    EXPECT_EQ(s(v.toString()), "37.5 t");

    ASSERT_TRUE(ds.setCommandText(sql("%1_missing"), &e));
    EXPECT_FALSE(ds.execute(&n, &e));
    EXPECT_TRUE(e.contains(QStringLiteral("does not exist"))) << s(e);
}

TEST_F(PostgresDataSet, CastsDollarQuotesAndTypes)
{
    ds.setCommandText(QStringLiteral("SELECT :v::integer + 1 AS r, $$a:b? @c$$ AS t, E'x\\':y' AS e, 9000000000::bigint AS big, "
                                     "true AS flag, DATE '2024-02-29' AS day, :when::timestamp AS at"));
    EXPECT_EQ(ds.paramNames(), (QStringList{"v", "when"}));
    QString e;
    ASSERT_TRUE(ds.setParamByName(QStringLiteral("v"), QStringLiteral("41"), &e));
    ASSERT_TRUE(ds.setParamByName(QStringLiteral("when"), QDateTime(QDate(2024, 3, 1), QTime(12, 30, 15)), &e));
    ASSERT_TRUE(ds.open(&e)) << s(e);
    EXPECT_EQ(dscases::field(ds, QStringLiteral("r")).toInt(), 42);
    EXPECT_EQ(s(dscases::field(ds, QStringLiteral("t")).toString()), "a:b? @c");
    EXPECT_EQ(s(dscases::field(ds, QStringLiteral("e")).toString()), "x':y");
    const QVariant big = dscases::field(ds, QStringLiteral("big"));
    EXPECT_EQ(big.typeId(), QMetaType::LongLong);
    EXPECT_EQ(big.toLongLong(), 9000000000LL);
    EXPECT_EQ(dscases::field(ds, QStringLiteral("flag")).typeId(), QMetaType::Bool);
    EXPECT_EQ(dscases::field(ds, QStringLiteral("day")).toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(dscases::field(ds, QStringLiteral("at")).toDateTime(), QDateTime(QDate(2024, 3, 1), QTime(12, 30, 15)));
}

TEST_F(PostgresDataSet, QuotesInValuesStayValues)
{
    ds.setCommandText(sql("UPDATE %1 SET name = :name WHERE id = :id"));
    QString e;
    const QString nasty = QStringLiteral("O'Brien\\'; DROP TABLE x; --");
    ASSERT_TRUE(ds.setParamByName(QStringLiteral("name"), nasty, &e));
    ASSERT_TRUE(ds.setParamByName(QStringLiteral("id"), 1, &e));
    qint64 n = 0;
    ASSERT_TRUE(ds.execute(&n, &e)) << s(e);
    EXPECT_EQ(n, 1);
    ds.setCommandText(sql("SELECT name FROM %1 WHERE id = 1"));
    ASSERT_TRUE(ds.open(&e)) << s(e);
    EXPECT_EQ(dscases::nameAt(ds), nasty);
}

// Values go to the server apart from the statement: whatever the session's settings and whatever
// the author's literals hold, a value is never read as SQL.
TEST_F(PostgresDataSet, ValuesNeverBecomeSqlWhateverTheSettings)
{
    const QString victim = db.table() + QStringLiteral("_victim");
    QString e;
    qint64 n = 0;
    auto run = [&](const QString& text) {
        ds.close();
        return ds.setCommandText(text, &e) && ds.execute(&n, &e);
    };
    ASSERT_TRUE(run(QStringLiteral("CREATE TABLE %1 (k TEXT, c TEXT)").arg(victim))) << s(e);
    const QString attack = QStringLiteral("x', 'y'); DROP TABLE %1; --").arg(victim);
    for (const char* setting : {"SET standard_conforming_strings = off", "SET standard_conforming_strings = on"}) {
        SCOPED_TRACE(setting);
        ASSERT_TRUE(run(QString::fromLatin1(setting))) << s(e);
        // With standard strings off the author's own literal runs on past its quote: the statement
        // may fail, but the value stays a value.
        ASSERT_TRUE(ds.setCommandText(QStringLiteral("INSERT INTO %1 (k, c) VALUES ('C:\\', :c)").arg(victim), &e));
        ASSERT_TRUE(ds.setParamByName(QStringLiteral("c"), attack, &e));
        ds.execute(&n, &e);
        QVariant count;
        Side side;
        ASSERT_EQ(s(side.run(QStringLiteral("SELECT count(*) FROM %1").arg(victim), &count)), "") << "the table was dropped";
        // The plain case round-trips.
        ASSERT_TRUE(ds.setCommandText(QStringLiteral("SELECT :c AS c"), &e));
        ASSERT_TRUE(ds.setParamByName(QStringLiteral("c"), attack, &e));
        ASSERT_TRUE(ds.open(&e)) << s(e);
        EXPECT_EQ(s(dscases::field(ds, QStringLiteral("c")).toString()), s(attack));
        ds.close();
    }
    EXPECT_TRUE(run(QStringLiteral("DROP TABLE %1").arg(victim))) << s(e);
}

// A stored procedure's parameter name is a name, never SQL.
TEST_F(PostgresDataSet, ProcedureParameterNamesAreNames)
{
    Side side;
    ASSERT_TRUE(side.ok) << s(side.error);
    const QString victim = db.table() + QStringLiteral("_victim");
    ASSERT_EQ(s(side.run(QStringLiteral("CREATE TABLE %1 (k TEXT)").arg(victim))), "");
    ASSERT_EQ(s(side.run(sql("CREATE FUNCTION %1_echo(a text DEFAULT '', \"Who\" text DEFAULT 'w', plain text DEFAULT 'p') "
                             "RETURNS text LANGUAGE sql AS $$ SELECT a || \"Who\" || plain $$"))),
              "");
    QString e;
    ASSERT_TRUE(ds.setCommandType(DataSet::CommandStoredProc, &e));
    ASSERT_TRUE(ds.setCommandText(sql("%1_echo"), &e));
    const QString attack = QStringLiteral("a => 'x'); DROP TABLE %1; --").arg(victim);
    ASSERT_TRUE(ds.setParamByName(attack, QStringLiteral("v"), &e)) << s(e);
    EXPECT_FALSE(ds.open(&e));
    QVariant count;
    EXPECT_EQ(s(side.run(QStringLiteral("SELECT count(*) FROM %1").arg(victim), &count)), "") << "the table was dropped";
    // A plain name is folded as the server folds it, a quoted one kept; anything else is quoted.
    ds.close();
    ASSERT_TRUE(ds.setCommandText(QString(), &e));
    ASSERT_TRUE(ds.setCommandText(sql("%1_echo"), &e));
    ASSERT_TRUE(ds.setParamByName(QStringLiteral("\"Who\""), QStringLiteral("1"), &e));
    ASSERT_TRUE(ds.setParamByName(QStringLiteral("PLAIN"), QStringLiteral("2"), &e));
    ASSERT_TRUE(ds.open(&e)) << s(e);
    QVariant v;
    ASSERT_TRUE(ds.fieldByIndex(0, &v, &e));
    EXPECT_EQ(s(v.toString()), "12");
    EXPECT_EQ(s(side.run(QStringLiteral("DROP TABLE %1").arg(victim))), "");
}

// What reaches standard error (file descriptor 2) while `what` runs.
std::string standardErrorOf(const std::function<void()>& what)
{
    std::fflush(stderr);
    char name[] = "/tmp/sorvix-stderr-XXXXXX";
    const int file = ::mkstemp(name);
    if (file < 0) return "cannot capture standard error";
    const int saved = ::dup(2);
    ::dup2(file, 2);
    what();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    std::string said;
    char buffer[512];
    ::lseek(file, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(file, buffer, sizeof buffer)) > 0;) said.append(buffer, size_t(n));
    ::close(file);
    ::unlink(name);
    return said;
}

// The server's notices are no errors and are not printed; a command of two statements is refused
// by the server.
TEST_F(PostgresDataSet, NoticesStayQuietAndTwoStatementsAreRefused)
{
    QString e;
    qint64 n = 0;
    const std::string said = standardErrorOf([&] {
        for (const char* text : {"DROP TABLE IF EXISTS no_such_table_here", "DO $$ BEGIN RAISE NOTICE 'a notice'; END $$"}) {
            ds.setCommandText(QString::fromLatin1(text));
            EXPECT_TRUE(ds.execute(&n, &e)) << s(e);
        }
    });
    EXPECT_EQ(said, "");
    ASSERT_TRUE(ds.setCommandText(sql("UPDATE %1 SET note = 'x'; DELETE FROM %1")));
    EXPECT_FALSE(ds.execute(&n, &e));
    EXPECT_TRUE(e.contains(QStringLiteral("cannot insert multiple commands into a prepared statement"))) << s(e);
    // Nothing of it ran.
    ASSERT_TRUE(ds.setCommandText(sql("SELECT count(*) FROM %1 WHERE note IS DISTINCT FROM 'x'")));
    ASSERT_TRUE(ds.open(&e)) << s(e);
    QVariant count;
    ASSERT_TRUE(ds.fieldByIndex(0, &count, &e));
    EXPECT_EQ(count.toInt(), 3);
    ds.close();
    // A ';' and a comment after the one statement are no second statement.
    ASSERT_TRUE(ds.setCommandText(sql("SELECT name FROM %1 WHERE id = :id; -- the first")));
    ASSERT_TRUE(ds.setParamByIndex(0, 1, &e));
    ASSERT_TRUE(ds.open(&e)) << s(e);
    EXPECT_EQ(s(dscases::nameAt(ds)), "Ann");
}

// A statement that waits for another session's row lock ends when it is cancelled.
TEST_F(PostgresDataSet, CancelEndsALockWait)
{
    Side holder;
    ASSERT_TRUE(holder.ok) << s(holder.error);
    ASSERT_EQ(s(holder.run(QStringLiteral("BEGIN"))), "");
    ASSERT_EQ(s(holder.run(sql("UPDATE %1 SET note = 'held' WHERE id = 1"))), "");
    ASSERT_TRUE(ds.setCommandText(sql("UPDATE %1 SET note = 'waited' WHERE id = 1")));
    const QString waiting = sql("SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' "
                                "AND query = 'UPDATE %1 SET note = ''waited'' WHERE id = 1'");
    std::thread stopper([&] {
        Side side;
        QDeadlineTimer deadline(60000);
        QVariant n;
        while (!deadline.hasExpired() && (!side.run(waiting, &n).isEmpty() || n.toInt() == 0))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ds.cancel();
    });
    qint64 n = 0;
    QString e;
    EXPECT_FALSE(ds.execute(&n, &e));
    stopper.join();
    EXPECT_TRUE(e.startsWith(QStringLiteral("ERROR:  canceling statement due to user request"))) << s(e);
    ASSERT_EQ(s(holder.run(QStringLiteral("ROLLBACK"))), "");
    ds.resetCancel();
    ASSERT_TRUE(ds.execute(&n, &e)) << s(e);
    EXPECT_EQ(n, 1);
}

TEST_F(PostgresDataSet, ChangedConnectionStringIsANewConnection)
{
    const qint64 before = backendPid(ds);
    ds.setConnectionString(db.connectionString() + QStringLiteral(";Connect Timeout=5"));
    EXPECT_NE(backendPid(ds), before);
}

// Every runner thread with its own data set on the one server.
TEST_F(PostgresDataSet, OneDataSetPerThread)
{
    constexpr int threads = 6;
    std::vector<std::string> errors(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            DataSet d;
            d.setConnectionString(db.connectionString());
            QString e;
            for (int r = 0; r < 10; ++r) {
                d.setCommandText(sql("INSERT INTO %1 (id, name) VALUES (:id, 'T')"));
                d.setParamByName(QStringLiteral("id"), 100 + t * 100 + r);
                qint64 n = 0;
                if (!d.execute(&n, &e) || n != 1) {
                    errors[t] = s(e) + " rows " + std::to_string(n);
                    return;
                }
                d.setCommandText(sql("SELECT id FROM %1 WHERE id >= :low AND id < :low + 100"));
                d.setParamByName(QStringLiteral("low"), 100 + t * 100);
                qint64 count = 0;
                if (!d.open(&e) || !d.recordCount(&count, &e) || count != r + 1) {
                    errors[t] = s(e) + " count " + std::to_string(count);
                    return;
                }
                d.close();
            }
            d.disconnect();
        });
    }
    for (auto& w : workers) w.join();
    for (const auto& e : errors) EXPECT_EQ(e, "");
}

// The client library's keys reach it: asking for SSL from a server without it fails, where the
// classic form dropped the key and connected in the clear.
TEST(PostgresConnection, LibpqKeysReachTheClientLibrary)
{
    NEED_SERVER();
    const QString base = QStringLiteral("Provider=PostgreSQL;Host=%1;Port=%2;Database=%3;User ID=%4;Password=%5")
                             .arg(env("SORVIX_PG_HOST"), env("SORVIX_PG_PORT"), env("SORVIX_PG_DB"), env("SORVIX_PG_USER"),
                                  connectionstring::quoteValue(env("SORVIX_PG_PASSWORD")));
    const struct {
        const char* extra;
        const char* error;  // nullptr: the query runs
    } cases[] = {
        {"", nullptr},
        {";sslmode=disable;application_name=sorvix test", nullptr},
        {";sslmode=require", "SSL"},
        {";SSLMODE=verify-full", "SSL"},
        {";target_session_attrs=nonsense", "target_session_attrs"},
        {";Ssl Mode=require", "\"Ssl Mode\" is not a key PostgreSQL knows"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extra);
        DataSet ds;
        ds.setConnectionString(base + QString::fromUtf8(c.extra));
        ds.setCommandText(QStringLiteral("SELECT current_setting('application_name')"));
        QString e;
        const bool ok = ds.open(&e);
        if (!c.error) {
            EXPECT_TRUE(ok) << s(e);
            continue;
        }
        EXPECT_FALSE(ok);
        EXPECT_TRUE(e.contains(QString::fromUtf8(c.error))) << s(e);
    }
    DataSet named;
    named.setConnectionString(base + QStringLiteral(";application_name='sorvix test'"));
    named.setCommandText(QStringLiteral("SELECT current_setting('application_name')"));
    ASSERT_TRUE(named.open());
    QVariant v;
    ASSERT_TRUE(named.fieldByIndex(0, &v));
    EXPECT_EQ(v.toString(), QStringLiteral("sorvix test"));
}

// A cancel from another thread reaches the server: pg_sleep(30) ends at once with its text.
TEST(PostgresConnection, CancelEndsARunningStatement)
{
    NEED_SERVER();
    DataSet ds;
    ds.setConnectionString(serverConnection());
    // A text of its own, so tests running beside it on the server are not counted.
    const QString sleep = QStringLiteral("SELECT pg_sleep(30) AS cancel_test_%1").arg(QCoreApplication::applicationPid());
    ds.setCommandText(sleep);
    // The server's text needs the statement to be on the server: wait until it shows there.
    const auto onServer = [&] {
        Side side;
        QVariant n;
        return side.run(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE state = 'active' AND query = '%1'").arg(sleep),
                        &n)
                   .isEmpty() &&
               n.toInt() > 0;
    };
    dscases::cancelsTheRunningCommand(ds, onServer, [&](const QString& e) {
        EXPECT_EQ(s(e), "ERROR:  canceling statement due to user request");
    });
    // The connection is still good.
    ds.setCommandText(QStringLiteral("SELECT 1"));
    QString e;
    EXPECT_TRUE(ds.open(&e)) << s(e);
}

}  // namespace
