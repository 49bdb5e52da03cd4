// The database statement cases on a real PostgreSQL server: the one scripts/postgres.sh starts,
// named by SORVIX_PG_HOST, SORVIX_PG_PORT, SORVIX_PG_DB, SORVIX_PG_USER and SORVIX_PG_PASSWORD.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <atomic>

#include "pgserver.h"
#include "engine/datetime.h"
#include "engine/dbstmts_cases.h"
#include "platform/connectionstring.h"

namespace {

using dbcases::describe;
using dbcases::s;

using namespace pgserver;

std::atomic<int> tableCounter{0};

class PostgresBackend : public dbcases::Backend {
public:
    QTemporaryDir dir;
    QString name = QStringLiteral("s%1_%2").arg(QCoreApplication::applicationPid()).arg(++tableCounter);
    QString connectionString() const override { return serverConnection(); }
    QString table() const override { return name; }
    QString flowFile() const override { return dir.filePath(QStringLiteral("main.svx")); }
    QString blobSelect() const override { return QStringLiteral("SELECT '\\x00ff41805c27e9'::bytea AS a"); }
    QString blobType() const override { return QStringLiteral("BYTEA"); }
    ~PostgresBackend() override
    {
        if (!seeded) return;
        Side side;
        side.run(QStringLiteral("DROP TABLE IF EXISTS %1, %1_blob").arg(name));
    }
    QString setUp()
    {
        seeded = true;
        return dbcases::seed(connectionString(), table());
    }

private:
    bool seeded = false;
};

class PostgresStatementCases : public ::testing::TestWithParam<dbcases::Case> {};

TEST_P(PostgresStatementCases, Run)
{
    NEED_SERVER();
    PostgresBackend db;
    const QString error = db.setUp();
    ASSERT_TRUE(error.isEmpty()) << s(error);
    dbcases::DbFlow f(db.flowFile());
    GetParam().run(f, db);
}

INSTANTIATE_TEST_SUITE_P(DbStatements, PostgresStatementCases, ::testing::ValuesIn(dbcases::cases()),
                         [](const ::testing::TestParamInfo<dbcases::Case>& info) { return std::string(info.param.name); });

class PostgresStatements : public ::testing::Test {
protected:
    void SetUp() override
    {
        NEED_SERVER();
        const QString error = db.setUp();
        ASSERT_TRUE(error.isEmpty()) << s(error);
    }
    QString sql(const char* text) const { return QString::fromUtf8(text).arg(db.table()); }

    PostgresBackend db;
    dbcases::DbFlow f{db.flowFile()};
};

TEST_F(PostgresStatements, TypedFieldsAndParameters)
{
    IVRDataBase* d = f.definition("types", db.connectionString(), cmdText,
                                  QStringLiteral("SELECT :n::integer + 1 AS i4, 9000000000::bigint AS i8, true AS flag, "
                                                 "DATE '2024-02-29' AS day, :t::text AS t"));
    IVRVariant* v = f.var("v");
    f.ok(*f.param(d, Value("n"), Value(41)));
    f.ok(*f.param(d, Value(1), Value::wideString("wide")));
    f.ok(*f.op(d, dbOpen));
    double day = 0;
    ASSERT_TRUE(datetime::encodeDate(2024, 2, 29, &day));
    const struct {
        const char* field;
        Value expected;
    } cases[] = {
        {"i4", Value(42)}, {"i8", Value::int64(9000000000LL)}, {"flag", Value(true)},
        {"day", Value::dateTime(day)}, {"t", Value("wide")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        f.ok(*f.field(d, Value(c.field), v));
        EXPECT_EQ(v->value(), c.expected) << describe(v->value());
    }
}

// A numeric beyond a double's precision keeps every digit (as text); a fraction given beside an
// integer is taken as the fraction it is.
TEST_F(PostgresStatements, ExactNumbersAndTypedFractions)
{
    IVRDataBase* d = f.definition("numbers", db.connectionString(), cmdText,
                                  QStringLiteral("SELECT 12345678901234567890.123456789::numeric AS big, 1.5::numeric AS small, "
                                                 "-0.000000000000000001::numeric AS tiny, :f + 1 AS sum, :i + :f AS mixed, "
                                                 "1 + :i AS whole"));
    IVRVariant* v = f.var("v");
    f.ok(*f.param(d, Value("f"), Value(2.5)));
    f.ok(*f.param(d, Value("i"), Value(1)));
    f.ok(*f.op(d, dbOpen));
    const struct {
        const char* field;
        Value expected;
    } cases[] = {
        {"big", Value("12345678901234567890.123456789")}, {"small", Value(1.5)}, {"tiny", Value(-1e-18)},
        {"sum", Value(3.5)}, {"mixed", Value(3.5)}, {"whole", Value(2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        f.ok(*f.field(d, Value(c.field), v));
        EXPECT_EQ(v->value(), c.expected) << describe(v->value());
    }
}

// A server that ends the flow's connection: the statement that meets it fails with the
// server's message, the pass goes on, and the next statement connects again.
TEST_F(PostgresStatements, ServerThatGoesAwayInARun)
{
    Side side;
    ASSERT_TRUE(side.ok) << s(side.error);
    IVRDataBase* pidOf = f.definition("pid", db.connectionString(), cmdText, QStringLiteral("SELECT pg_backend_pid()"));
    IVRDataBase* people = f.definition("people", db.connectionString(), cmdText, sql("SELECT name FROM %1 ORDER BY id"));
    IVRVariant* pid = f.var("pid");
    IVRVariant* count = f.var("count", Value(-5));
    IVRVariant* name = f.var("name");
    f.op(pidOf, dbOpen);
    f.field(pidOf, Value(0), pid);
    IVRDBOperate* lost = f.op(people, dbOpen, count);  // the side ends the connection just before this
    f.op(people, dbOpen, count);
    f.field(people, Value("name"), name);

    dbcases::Run run(f);
    // On the runner thread, before the statement after the pid is read: end that backend.
    std::atomic<bool> killed{false};
    QString killError;
    f.flow.OnTrace = [&](FlowNode* node) {
        if (node->statement() != lost) return;
        Side onRunner;
        killError = onRunner.run(QStringLiteral("SELECT pg_terminate_backend(%1, 5000)").arg(pid->value().displayText()));
        killed = killError.isEmpty();
    };
    ASSERT_TRUE(run.go());
    ASSERT_TRUE(killed.load()) << s(killError);

    const QStringList errors = run.errors();
    ASSERT_EQ(errors.size(), 1) << s(errors.join(QStringLiteral(" | ")));
    EXPECT_TRUE(errors[0].contains(QStringLiteral("terminating connection")) ||
                errors[0].contains(QStringLiteral("server closed the connection")))
        << s(errors[0]);
    EXPECT_EQ(count->value(), Value(3)) << describe(count->value());
    EXPECT_EQ(name->value(), Value("Ann"));
}

TEST_F(PostgresStatements, LoginFailuresAreClearErrors)
{
    const struct {
        QString connection;
        const char* error;
    } cases[] = {
        {QString(serverConnection()).replace(QStringLiteral("Password="), QStringLiteral("Password=wrong")),
         "password authentication failed"},
        {QString(serverConnection()).replace(QStringLiteral("Initial Catalog=") + env("SORVIX_PG_DB"),
                                             QStringLiteral("Initial Catalog=no_such_db")),
         "does not exist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        IVRDataBase* d = f.definition("login", c.connection, cmdText, QStringLiteral("SELECT 1"));
        const dbcases::Outcome o = f.run(*f.op(d, dbOpen));
        EXPECT_EQ(o.code, 1);
        EXPECT_EQ(s(o.result), "returnFAILED");
        EXPECT_TRUE(o.error.contains(QString::fromUtf8(c.error))) << s(o.error);
    }
}

// A stop during a long pg_sleep sends the server a cancel request: the run ends at once.
// The sleep is its own length, so the cancel test running beside it on the server is not counted.
TEST_F(PostgresStatements, StopDuringALongQueryEndsTheRunAtOnce)
{
    dbcases::DbFlow console(db.flowFile(), false);
    IVRDataBase* d = console.definition("sleep", db.connectionString(), cmdText, "SELECT pg_sleep(31)");
    IVRDBOperate* open = console.op(d, dbOpen);
    const auto onServer = [] {
        Side side;
        QVariant n;
        return side.run(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE query = 'SELECT pg_sleep(31)' "
                                       "AND state = 'active'"),
                        &n)
                   .isEmpty() &&
               n.toInt() > 0;
    };
    const qint64 took = dbcases::stopWhileAt(console, open, onServer);
    ASSERT_GE(took, 0) << "the run never reached the query";
    EXPECT_LT(took, 1000);
    // The server runs nothing of ours any more.
    Side side;
    QVariant running;
    ASSERT_EQ(s(side.run(QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE query = 'SELECT pg_sleep(31)' "
                                         "AND state = 'active'"),
                         &running)),
              "");
    EXPECT_EQ(running.toInt(), 0);
}

}  // namespace
