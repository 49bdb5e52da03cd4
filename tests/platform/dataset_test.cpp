#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QDeadlineTimer>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/dataset.h"
#include "platform/dataset_cases.h"

namespace {

using dscases::s;

bool touch(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

// A SQLite file in a temporary folder, named relative to it as a flow names its files.
class SqliteBackend : public dscases::Backend {
public:
    QTemporaryDir dir;
    QString file = QStringLiteral("test.db");

    QString connectionString() const override { return QStringLiteral("Provider=SQLite;Data Source=") + file; }
    QString table() const override { return QStringLiteral("people"); }
    PathResolver resolver() const override
    {
        return [this](const QString& name) { return QDir::isRelativePath(name) ? dir.filePath(name) : name; };
    }
    QString setUp()
    {
        if (!dir.isValid() || !touch(dir.filePath(file))) return QStringLiteral("cannot make the database file");
        return dscases::seed(connectionString(), table(), resolver());
    }
};

// The same file through the ODBC driver manager and its SQLite driver.
class OdbcBackend : public SqliteBackend {
public:
    QString connectionString() const override
    {
        return QStringLiteral("Provider=MSDASQL;Driver=SQLite3;Database=") + dir.filePath(file);
    }
    static bool available()
    {
        QFile ini(QStringLiteral("/etc/odbcinst.ini"));
        return QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")) && ini.open(QIODevice::ReadOnly) &&
               ini.readAll().contains("[SQLite3]");
    }
};

class SqliteCases : public ::testing::TestWithParam<dscases::Case> {};

TEST_P(SqliteCases, Run)
{
    SqliteBackend db;
    const QString error = db.setUp();
    ASSERT_TRUE(error.isEmpty()) << s(error);
    DataSet ds;
    ds.setPathResolver(db.resolver());
    ds.setConnectionString(db.connectionString());
    GetParam().run(ds, db);
}

class OdbcCases : public ::testing::TestWithParam<dscases::Case> {};

TEST_P(OdbcCases, Run)
{
    if (!OdbcBackend::available()) GTEST_SKIP() << "no SQLite3 ODBC driver registered (package libsqliteodbc)";
    OdbcBackend db;
    const QString error = db.setUp();
    ASSERT_TRUE(error.isEmpty()) << s(error);
    DataSet ds;
    ds.setConnectionString(db.connectionString());
    GetParam().run(ds, db);
}

std::string caseName(const ::testing::TestParamInfo<dscases::Case>& info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(DataSet, SqliteCases, ::testing::ValuesIn(dscases::cases()), caseName);
INSTANTIATE_TEST_SUITE_P(DataSet, OdbcCases, ::testing::ValuesIn(dscases::cases()), caseName);

class SqliteDataSet : public ::testing::Test {
protected:
    SqliteBackend db;
    DataSet ds;
    void SetUp() override
    {
        const QString error = db.setUp();
        ASSERT_TRUE(error.isEmpty()) << s(error);
        ds.setPathResolver(db.resolver());
        ds.setConnectionString(db.connectionString());
    }
    QString openError(const QString& connection)
    {
        DataSet other;
        other.setPathResolver(db.resolver());
        other.setConnectionString(connection);
        other.setCommandText(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        QString e;
        EXPECT_FALSE(other.open(&e));
        return e;
    }
};

TEST_F(SqliteDataSet, MissingFileIsReportedNeverMade)
{
    const QString missing = db.dir.filePath(QStringLiteral("nope.db"));
    EXPECT_EQ(s(openError(QStringLiteral("Data Source=nope.db"))), "Database file not found: " + s(missing));
    DataSet other;
    other.setPathResolver(db.resolver());
    other.setConnectionString(QStringLiteral("Data Source=nope.db"));
    other.setCommandText(QStringLiteral("CREATE TABLE t (x INTEGER)"));
    qint64 n = 0;
    QString e;
    EXPECT_FALSE(other.execute(&n, &e));
    EXPECT_EQ(s(e), "Database file not found: " + s(missing));
    EXPECT_FALSE(QFile::exists(missing));
    // A folder is no database file either.
    EXPECT_EQ(s(openError(QStringLiteral("Data Source=."))), "The database file " + s(db.dir.path()) + "/. is not a file");
}

TEST_F(SqliteDataSet, FileThatIsNoDatabase)
{
    QFile f(db.dir.filePath(QStringLiteral("junk.db")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    const QString e = openError(QStringLiteral("Data Source=junk.db"));
    EXPECT_TRUE(e.contains(QStringLiteral("not a database"))) << s(e);
}

TEST_F(SqliteDataSet, BadConnectionStringsGiveClearErrors)
{
    const struct {
        const char* connection;
        const char* error;
    } cases[] = {
        {"Provider=SQLite;junk", "Invalid connection string: \"junk\" has no \"=\""},
        {"Data Source=\"test.db", "Invalid connection string: the value of \"Data Source\" has no closing \""},
        {"Provider=SQLOLEDB;Data Source=test.db", "Unknown provider \"SQLOLEDB\": the providers are SQLite, PostgreSQL, MSDASQL and ODBC"},
        {"Provider=SQLite", "The connection string names no database file (Data Source)"},
        {"File Name=none.udl", "Data link file not found: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.connection);
        const QString e = openError(QString::fromUtf8(c.connection));
        EXPECT_TRUE(e.startsWith(QString::fromUtf8(c.error))) << s(e);
    }
}

TEST_F(SqliteDataSet, DataLinkFileNamesTheDatabase)
{
    QFile f(db.dir.filePath(QStringLiteral("link.udl")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const QString text = QStringLiteral("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\nProvider=SQLite;Data Source=test.db\r\n");
    f.write("\xFF\xFE", 2);
    f.write(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    f.close();
    ds.setConnectionString(QStringLiteral("File Name=link.udl"));
    ASSERT_TRUE(ds.setCommandText(QStringLiteral("SELECT name FROM people ORDER BY id")));
    QString e;
    ASSERT_TRUE(ds.open(&e)) << s(e);
    EXPECT_EQ(s(dscases::nameAt(ds)), "Ann");
}

TEST_F(SqliteDataSet, ChangedConnectionStringReachesTheOtherFile)
{
    SqliteBackend second;
    ASSERT_TRUE(second.dir.isValid());
    ASSERT_TRUE(touch(second.dir.filePath(second.file)));
    const QString other = second.dir.filePath(second.file);
    ASSERT_TRUE(dscases::seed(QStringLiteral("Data Source=") + other, QStringLiteral("people")).isEmpty());
    {
        DataSet w;
        w.setConnectionString(QStringLiteral("Data Source=") + other);
        w.setCommandText(QStringLiteral("UPDATE people SET name = 'Other' WHERE id = 1"));
        qint64 n = 0;
        ASSERT_TRUE(w.execute(&n));
    }
    ASSERT_TRUE(ds.setCommandText(QStringLiteral("SELECT name FROM people WHERE id = 1")));
    QString e;
    ASSERT_TRUE(ds.open(&e)) << s(e);
    EXPECT_EQ(s(dscases::nameAt(ds)), "Ann");
    ds.close();
    ds.setConnectionString(QStringLiteral("Data Source=") + other);
    ASSERT_TRUE(ds.open(&e)) << s(e);
    EXPECT_EQ(s(dscases::nameAt(ds)), "Other");
}

TEST_F(SqliteDataSet, IntegersStay64Bit)
{
    ASSERT_TRUE(ds.setCommandText(QStringLiteral("SELECT id, 1099511627776 AS big FROM people ORDER BY id")));
    QString e;
    ASSERT_TRUE(ds.open(&e)) << s(e);
    QVariant v;
    ASSERT_TRUE(ds.fieldByIndex(0, &v));
    EXPECT_EQ(v.typeId(), QMetaType::LongLong);
    EXPECT_EQ(v.toLongLong(), 1);
    ASSERT_TRUE(ds.fieldByName(QStringLiteral("big"), &v));
    EXPECT_EQ(v.toLongLong(), 1099511627776LL);
    // Bound 64-bit values arrive whole.
    ds.close();
    ASSERT_TRUE(ds.setCommandText(QStringLiteral("SELECT :v + 1 AS r")));
    ASSERT_TRUE(ds.setParamByIndex(0, qlonglong(1) << 40));
    ASSERT_TRUE(ds.open(&e)) << s(e);
    ASSERT_TRUE(ds.fieldByName(QStringLiteral("r"), &v));
    EXPECT_EQ(v.toLongLong(), (qlonglong(1) << 40) + 1);
}

TEST_F(SqliteDataSet, StoredProceduresAreNotThere)
{
    ASSERT_TRUE(ds.setCommandType(DataSet::CommandStoredProc));
    ASSERT_TRUE(ds.setCommandText(QStringLiteral("refresh")));
    QString e;
    EXPECT_FALSE(ds.open(&e));
    EXPECT_EQ(s(e), "SQLite has no stored procedures");
    qint64 n = 0;
    EXPECT_FALSE(ds.execute(&n, &e));
    EXPECT_EQ(s(e), "SQLite has no stored procedures");
}

TEST_F(SqliteDataSet, TransactionSurvivesAnSqlError)
{
    // A failed statement must not cost the connection, or an open transaction would be lost.
    const auto run = [this](const char* sql) {
        ds.setCommandText(QString::fromLatin1(sql));
        qint64 n = 0;
        QString e;
        ds.execute(&n, &e);
        return s(e);
    };
    ASSERT_EQ(run("BEGIN"), "");
    const QString name = ds.connectionName();
    ASSERT_EQ(run("UPDATE people SET name = 'Tx' WHERE id = 1"), "");
    EXPECT_EQ(run("UPDATE nosuch SET x = 1"), "no such table: nosuch");
    EXPECT_EQ(ds.connectionName(), name);
    ASSERT_EQ(run("ROLLBACK"), "");
    ds.setCommandText(QStringLiteral("SELECT name FROM people WHERE id = 1"));
    ASSERT_TRUE(ds.open());
    EXPECT_EQ(s(dscases::nameAt(ds)), "Ann");
}

// The driver's own message, without what Qt adds; a second statement is named as such.
TEST_F(SqliteDataSet, ErrorTextsAreTheDrivers)
{
    const struct {
        const char* sql;
        const char* error;
    } cases[] = {
        {"SELEC 1", "near \"SELEC\": syntax error"},
        {"SELECT nosuch FROM people", "no such column: nosuch"},
        {"SELECT 1; SELECT 2", "The command text holds more than one statement: give one statement per command"},
        {"UPDATE people SET name = 'x'; DELETE FROM people", "The command text holds more than one statement: give one statement per command"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        ASSERT_TRUE(ds.setCommandText(QString::fromLatin1(c.sql)));
        QString e;
        EXPECT_FALSE(ds.open(&e));
        EXPECT_EQ(s(e), c.error);
        qint64 n = 0;
        EXPECT_FALSE(ds.execute(&n, &e));
        EXPECT_EQ(s(e), c.error);
    }
    // The data set goes on working.
    ASSERT_TRUE(ds.setCommandText(QStringLiteral("SELECT name FROM people WHERE id = 1")));
    ASSERT_TRUE(ds.open());
    EXPECT_EQ(s(dscases::nameAt(ds)), "Ann");
}

// A comment after the one statement is part of it, not a second statement.
TEST_F(SqliteDataSet, CommentAfterTheStatementIsNoSecondStatement)
{
    for (const char* sql : {"SELECT name FROM people WHERE id = 1; -- the first", "SELECT name FROM people WHERE id = 1 -- the first",
                            "SELECT name FROM people WHERE id = 1; /* the first */ ", "SELECT name FROM people WHERE id = :id; -- by :id"}) {
        SCOPED_TRACE(sql);
        ds.close();
        ASSERT_TRUE(ds.setCommandText(QString::fromLatin1(sql)));
        if (ds.paramCount()) {
            ASSERT_TRUE(ds.setParamByIndex(0, 1));
        }
        QString e;
        ASSERT_TRUE(ds.open(&e)) << s(e);
        EXPECT_EQ(s(dscases::nameAt(ds)), "Ann");
    }
    ds.close();
    ASSERT_TRUE(ds.setCommandText(QStringLiteral("SELECT 1; /* a */ SELECT 2")));
    QString e;
    EXPECT_FALSE(ds.open(&e));
    EXPECT_EQ(s(e), "The command text holds more than one statement: give one statement per command");
}

// The driver's complaints go into the statement's error, not beside it on standard error.
TEST(DataSetOdbc, DriverWarningsStayOutOfTheLog)
{
    if (!OdbcBackend::available()) GTEST_SKIP() << "no SQLite3 ODBC driver registered (package libsqliteodbc)";
    OdbcBackend db;
    ASSERT_TRUE(db.setUp().isEmpty());
    DataSet ds;
    ds.setConnectionString(db.connectionString());
    static QStringList said;
    said.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { said << text; });
    ASSERT_TRUE(ds.setCommandText(QStringLiteral("SELEC 1")));
    QString e;
    EXPECT_FALSE(ds.open(&e));
    EXPECT_TRUE(e.contains(QStringLiteral("syntax error"))) << s(e);
    qInstallMessageHandler(previous);
    EXPECT_EQ(s(said.join(QStringLiteral(" | "))), "");
}

// A statement that would run for ever, cancelled from another thread, fails at once with the
// driver's text; the data set refuses statements until its cancel is reset.
void cancelsALongStatement(DataSet& ds, const char* driverText)
{
    // Counts far beyond what a test could wait for.
    ASSERT_TRUE(ds.setCommandText(QStringLiteral(
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000000000000) SELECT count(*) FROM c")));
    dscases::cancelsTheRunningCommand(ds, [&] { return ds.running(); }, [&](const QString& e) {
        EXPECT_TRUE(e.contains(QString::fromLatin1(driverText))) << s(e);
    });
    ASSERT_TRUE(ds.setCommandText(QStringLiteral("SELECT count(*) FROM people")));
    QString e;
    EXPECT_TRUE(ds.open(&e)) << s(e);
}

TEST_F(SqliteDataSet, CancelEndsARunningStatement)
{
    cancelsALongStatement(ds, "interrupted");
}

TEST(DataSetOdbc, CancelEndsARunningStatement)
{
    if (!OdbcBackend::available()) GTEST_SKIP() << "no SQLite3 ODBC driver registered (package libsqliteodbc)";
    OdbcBackend db;
    const QString error = db.setUp();
    ASSERT_TRUE(error.isEmpty()) << s(error);
    DataSet ds;
    ds.setConnectionString(db.connectionString());
    cancelsALongStatement(ds, "interrupt");
}

// A statement that waits for another connection's write lock ends as soon as it is cancelled,
// well before the lock wait would give up by itself.
void stopsALockWait(DataSet& ds, const QString& file, int lockWaitMs)
{
    const QString side = QStringLiteral("lock-holder");
    {
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), side);
        holder.setDatabaseName(file);
        ASSERT_TRUE(holder.open());
        QSqlQuery lock(holder);
        ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        ASSERT_TRUE(lock.exec(QStringLiteral("UPDATE people SET note = 'held'")));
        ASSERT_TRUE(ds.setCommandText(QStringLiteral("INSERT INTO people (id, name) VALUES (50, 'W')")));
        std::atomic<bool> seen{false};
        std::thread stopper([&] {
            QDeadlineTimer deadline(60000);
            while (!deadline.hasExpired() && !ds.waitingForLock()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            seen = !deadline.hasExpired();
            ds.cancel();
        });
        QElapsedTimer timer;
        timer.start();
        QString e;
        qint64 n = 0;
        const bool ok = ds.execute(&n, &e);
        const qint64 took = timer.elapsed();
        stopper.join();
        EXPECT_TRUE(seen.load());
        EXPECT_FALSE(ok);
        EXPECT_FALSE(e.isEmpty());
        // A stop that came in the lock wait ends it long before the wait would end by itself.
        EXPECT_LT(took, lockWaitMs / 2) << s(e);
        EXPECT_TRUE(e.contains(QStringLiteral("locked"))) << s(e);
        lock.exec(QStringLiteral("ROLLBACK"));
    }
    QSqlDatabase::removeDatabase(side);
    ds.resetCancel();
    // Once the lock is gone the statement runs.
    qint64 n = 0;
    QString e;
    EXPECT_TRUE(ds.execute(&n, &e)) << s(e);
    EXPECT_EQ(n, 1);
}

TEST_F(SqliteDataSet, StopEndsALockWait)
{
    stopsALockWait(ds, db.dir.filePath(db.file), 5000);
}

TEST(DataSetOdbc, StopEndsALockWait)
{
    if (!OdbcBackend::available()) GTEST_SKIP() << "no SQLite3 ODBC driver registered (package libsqliteodbc)";
    OdbcBackend db;
    ASSERT_TRUE(db.setUp().isEmpty());
    DataSet ds;
    ds.setConnectionString(db.connectionString() + QStringLiteral(";Timeout=60000"));
    stopsALockWait(ds, db.dir.filePath(db.file), 60000);
}

TEST(DataSetServer, UnreachableServerIsAClearError)
{
    DataSet ds;
    ds.setConnectionString(
        QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1;Port=1;Initial Catalog=x;User ID=u;Connect Timeout=5"));
    ds.setCommandText(QStringLiteral("SELECT 1"));
    QString e;
    EXPECT_FALSE(ds.open(&e));
    EXPECT_TRUE(e.contains(QStringLiteral("Connection refused"))) << s(e);
    EXPECT_TRUE(ds.connectionName().isEmpty());
    qint64 n = 0;
    EXPECT_FALSE(ds.execute(&n, &e));
    EXPECT_TRUE(e.contains(QStringLiteral("Connection refused"))) << s(e);
}

TEST(DataSetOdbc, DriverManagerMessageForAnUnknownSource)
{
    DataSet ds;
    ds.setConnectionString(QStringLiteral("Provider=MSDASQL.1;Persist Security Info=False;Data Source=NoSuchSource"));
    ds.setCommandText(QStringLiteral("SELECT 1"));
    QString e;
    EXPECT_FALSE(ds.open(&e));
    EXPECT_TRUE(e.contains(QStringLiteral("NoSuchSource")) || e.contains(QStringLiteral("not found"))) << s(e);
}

// One data set per thread, several threads at once: each on its own file for writes and all on
// one shared file for reads.
TEST(DataSetThreads, OneDataSetPerThread)
{
    SqliteBackend shared;
    ASSERT_TRUE(shared.setUp().isEmpty());
    const QString sharedFile = shared.dir.filePath(shared.file);
    constexpr int threads = 6;
    constexpr int rounds = 15;
    std::vector<std::unique_ptr<SqliteBackend>> own;
    for (int i = 0; i < threads; ++i) {
        own.push_back(std::make_unique<SqliteBackend>());
        ASSERT_TRUE(own.back()->setUp().isEmpty());
    }
    std::atomic<int> failures{0};
    std::vector<std::string> errors(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            auto failed = [&](const QString& e) {
                ++failures;
                errors[t] = s(e);
            };
            DataSet reader, writer;
            reader.setConnectionString(QStringLiteral("Data Source=") + sharedFile);
            writer.setConnectionString(QStringLiteral("Data Source=") + own[t]->dir.filePath(own[t]->file));
            QString e;
            for (int r = 0; r < rounds; ++r) {
                reader.setCommandText(QStringLiteral("SELECT id, name FROM people WHERE id >= :from ORDER BY id"));
                reader.setParamByName(QStringLiteral("from"), 1 + r % 3);
                qint64 count = 0, n = 0;
                if (!reader.open(&e) || !reader.recordCount(&count, &e)) return failed(e);
                if (count != 3 - r % 3) return failed(QStringLiteral("count %1 in round %2").arg(count).arg(r));
                while (!reader.eof()) reader.next();
                reader.close();
                writer.setCommandText(QStringLiteral("INSERT INTO people (id, name) VALUES (:id, 'T')"));
                writer.setParamByName(QStringLiteral("id"), 100 + r);
                if (!writer.execute(&n, &e)) return failed(e);
                if (n != 1) return failed(QStringLiteral("rows affected %1").arg(n));
            }
            writer.setCommandText(QStringLiteral("SELECT COUNT(*) AS c FROM people"));
            QVariant c;
            if (!writer.open(&e) || !writer.fieldByName(QStringLiteral("c"), &c, &e)) return failed(e);
            if (c.toInt() != 3 + rounds) return failed(QStringLiteral("total %1").arg(c.toInt()));
            const QString a = reader.connectionName(), b = writer.connectionName();
            reader.disconnect();
            writer.disconnect();
            if (QSqlDatabase::contains(a) || QSqlDatabase::contains(b)) return failed(QStringLiteral("connection left behind"));
        });
    }
    for (auto& w : workers) w.join();
    EXPECT_EQ(failures.load(), 0);
    for (const auto& e : errors) EXPECT_EQ(e, "");
}

// A data set kept between runs: each run's thread connects for itself.
TEST(DataSetThreads, NextRunOnAnotherThreadConnectsAgain)
{
    SqliteBackend db;
    ASSERT_TRUE(db.setUp().isEmpty());
    DataSet ds;
    ds.setConnectionString(QStringLiteral("Data Source=") + db.dir.filePath(db.file));
    ds.setCommandText(QStringLiteral("SELECT name FROM people ORDER BY id"));
    QString names[2];
    for (int run = 0; run < 2; ++run) {
        std::thread runner([&] {
            QString e;
            if (!ds.open(&e)) {
                names[run] = e;
                return;
            }
            names[run] = ds.connectionName();
            ds.disconnect();
        });
        runner.join();
    }
    EXPECT_TRUE(names[0].startsWith(QStringLiteral("sorvix-dataset-"))) << s(names[0]);
    EXPECT_TRUE(names[1].startsWith(QStringLiteral("sorvix-dataset-"))) << s(names[1]);
    EXPECT_NE(names[0], names[1]);
    EXPECT_FALSE(QSqlDatabase::contains(names[0]));
    EXPECT_FALSE(QSqlDatabase::contains(names[1]));
}

}  // namespace
