#include <gtest/gtest.h>

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTime>
#include <QVariant>

#include "engine/datetime.h"
#include "engine/dbstmts_cases.h"
#include "engine/texts.h"
#include "platform/codepage.h"

namespace {

using dbcases::describe;
using dbcases::s;
using dbcases::DbFlow;
using dbcases::Outcome;

bool touch(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}

// Switches the interface language for one test and back to English afterwards.
struct Language {
    explicit Language(bool chinese) { setTextLanguage(chinese); }
    ~Language() { setTextLanguage(false); }
};

// A SQLite file in DIR/flows, next to the flow file DIR/flows/main.svx, named relative to it.
class SqliteBackend : public dbcases::Backend {
public:
    QTemporaryDir dir;
    QString file = QStringLiteral("people.db");

    QString folder() const { return dir.filePath(QStringLiteral("flows")); }
    QString flowFile() const override { return folder() + QStringLiteral("/main.svx"); }
    QString connectionString() const override { return QStringLiteral("Provider=SQLite;Data Source=") + file; }
    QString table() const override { return QStringLiteral("people"); }
    QString setUp()
    {
        if (!dir.isValid() || !QDir(dir.path()).mkpath(QStringLiteral("flows")) || !touch(folder() + u'/' + file))
            return QStringLiteral("cannot make the database file");
        return dbcases::seed(QStringLiteral("Data Source=") + folder() + u'/' + file, table());
    }
};

// The same file through the ODBC driver manager and its SQLite driver.
class OdbcBackend : public SqliteBackend {
public:
    QString connectionString() const override
    {
        return QStringLiteral("Provider=MSDASQL;Driver=SQLite3;Database=") + folder() + u'/' + file;
    }
    static bool available()
    {
        QFile ini(QStringLiteral("/etc/odbcinst.ini"));
        return QSqlDatabase::isDriverAvailable(QStringLiteral("QODBC")) && ini.open(QIODevice::ReadOnly) &&
               ini.readAll().contains("[SQLite3]");
    }
};

class SqliteCases : public ::testing::TestWithParam<dbcases::Case> {};

TEST_P(SqliteCases, Run)
{
    SqliteBackend db;
    const QString error = db.setUp();
    ASSERT_TRUE(error.isEmpty()) << s(error);
    DbFlow f(db.flowFile());
    GetParam().run(f, db);
}

class OdbcCases : public ::testing::TestWithParam<dbcases::Case> {};

TEST_P(OdbcCases, Run)
{
    if (!OdbcBackend::available()) GTEST_SKIP() << "no SQLite3 ODBC driver registered (package libsqliteodbc)";
    OdbcBackend db;
    const QString error = db.setUp();
    ASSERT_TRUE(error.isEmpty()) << s(error);
    DbFlow f(db.flowFile());
    GetParam().run(f, db);
}

auto caseName = [](const ::testing::TestParamInfo<dbcases::Case>& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(DbStatements, SqliteCases, ::testing::ValuesIn(dbcases::cases()), caseName);
INSTANTIATE_TEST_SUITE_P(DbStatements, OdbcCases, ::testing::ValuesIn(dbcases::cases()), caseName);

// ---- on SQLite only ----

class DbStatements : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString error = db.setUp();
        ASSERT_TRUE(error.isEmpty()) << s(error);
    }
    QString folderFile(const QString& name) const { return db.folder() + u'/' + name; }
    // A second database next to the first whose first name is `first`.
    void makeOther(const QString& name, const QString& first)
    {
        ASSERT_TRUE(touch(folderFile(name)));
        const QString connection = QStringLiteral("Data Source=") + folderFile(name);
        ASSERT_EQ(s(dbcases::seed(connection, QStringLiteral("people"))), "");
        DataSet w;
        w.setConnectionString(connection);
        w.setCommandText(QStringLiteral("UPDATE people SET name = '%1' WHERE id = 1").arg(first));
        qint64 n = 0;
        QString e;
        ASSERT_TRUE(w.execute(&n, &e)) << s(e);
    }
    // The first name that a definition's data set reads, as a flow reads it.
    QString firstName(IVRDataBase* d)
    {
        IVRVariant* v = f.var(QStringLiteral("v%1").arg(++vars));
        f.ok(*f.op(d, dbOpen));
        f.ok(*f.field(d, Value("name"), v));
        f.ok(*f.op(d, dbClose));
        return v->value().displayText();
    }

    SqliteBackend db;
    DbFlow f{db.flowFile()};
    int vars = 0;
};

TEST_F(DbStatements, MissingOperandsAreNotEnoughParam)
{
    IVRDataBase* d = f.definition("people", db.connectionString(), cmdText, QStringLiteral("SELECT * FROM people"));
    IVRVariant* v = f.var("v", Value(3));
    const QString nep = TIVRFlow::ResultMessage(8);
    // No definition linked: all four.
    f.fails(*f.op(nullptr, dbOpen, v), nep);
    f.fails(*f.field(nullptr, Value(0), v), nep);
    f.fails(*f.param(nullptr, Value(0), Value(1)), nep);
    f.fails(*f.command(nullptr, cmdText, Value("SELECT 1")), nep);
    // Empty operands.
    f.fails(*f.field(d, Value(), v), nep);
    f.fails(*f.field(d, Value(0), nullptr), nep);
    f.fails(*f.param(d, Value(), Value(1)), nep);
    f.fails(*f.param(d, Value("p"), Value()), nep);
    f.fails(*f.command(d, cmdText, Value()), nep);
    EXPECT_EQ(v->value(), Value(3));
    EXPECT_EQ(d->dataSet() ? d->dataSet()->commandText() : d->CommandText, d->CommandText);

    // A deleted definition: the caption names none and the statement has nothing to work on.
    IVRDBOperate* orphan = f.op(d, dbOpen, v);
    EXPECT_EQ(s(orphan->GetDescription()), " : people Open v");
    f.flow.tree().remove(d->node());
    EXPECT_EQ(s(orphan->GetDescription()), " : NoDataBase Open v");
    f.fails(*orphan, nep);
    EXPECT_EQ(v->value(), Value(3));
}

TEST_F(DbStatements, ParamHintInChinese)
{
    Language chinese(true);
    IVRDataBase* d = f.definition("people", db.connectionString(), cmdText, QStringLiteral("SELECT * FROM people WHERE id = :id"));
    const Outcome o = f.run(*f.param(d, Value("nope"), Value(1)));
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.result, TIVRFlow::ResultName(1));
    EXPECT_EQ(s(o.error), s(QStringLiteral("Parameter 'nope' not found\r\n") + txt::ParamOnly + txt::CommandTypeNames[1] +
                            QLatin1Char(' ') + QString::fromUtf8("命令类型") + txt::ParamCanBeSet));
}

TEST_F(DbStatements, FieldValuesKeepTheirKinds)
{
    IVRDataBase* d = f.definition("kinds", db.connectionString(), cmdText,
                                  QStringLiteral("SELECT 9000000000 AS big, 7 AS small, 2.5 AS flt, 'txt' AS text, "
                                                 "NULL AS nul, X'4142' AS bytes"));
    IVRVariant* v = f.var("v");
    f.ok(*f.op(d, dbOpen));
    const struct {
        const char* field;
        Value expected;
    } cases[] = {
        {"big", Value::int64(9000000000LL)}, {"small", Value::int64(7)}, {"flt", Value(2.5)},
        {"text", Value("txt")},              {"nul", Value::null()}, {"bytes", Value::blob("AB")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        f.ok(*f.field(d, Value(c.field), v));
        EXPECT_EQ(v->value(), c.expected) << describe(v->value());
    }
    // A null field reads as empty where a statement takes it as an operand.
    f.ok(*f.field(d, Value("nul"), v));
    TIVRVariantLink l;
    l.LinkTo(v);
    EXPECT_TRUE(l.GetLinkValue().isEmpty());
}

TEST(DbValues, DriverValuesBecomeFlowValues)
{
    double day = 0, noon = 0;
    ASSERT_TRUE(datetime::encodeDate(2024, 2, 29, &day));
    ASSERT_TRUE(datetime::encodeTime(12, 0, 0, 0, &noon));
    const struct {
        QVariant in;
        Value out;
    } cases[] = {
        {QVariant(), Value::null()},
        {QVariant(QMetaType(QMetaType::Int)), Value::null()},
        {QVariant(true), Value(true)},
        {QVariant(int(-5)), Value(-5)},
        {QVariant(short(3)), Value(3)},
        {QVariant(qlonglong(5)), Value::int64(5)},
        {QVariant(uint(4000000000u)), Value::int64(4000000000LL)},
        {QVariant(qulonglong(18446744073709551615ull)), Value(18446744073709551615.0)},
        {QVariant(1.25), Value(1.25)},
        {QVariant(QStringLiteral("x")), Value("x")},
        // Binary data is a byte string that keeps each byte, also one that is no character.
        {QVariant(QByteArray("\x00\xff\x41\xe9", 4)), Value::blob(CodePage::decodeKeepingBytes(QByteArray("\x00\xff\x41\xe9", 4)))},
        {QVariant(QDate(2024, 2, 29)), Value::dateTime(day)},
        {QVariant(QTime(12, 0)), Value::dateTime(noon)},
        {QVariant(QDateTime(QDate(2024, 2, 29), QTime(12, 0))), Value::dateTime(day + noon)},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(i++);
        EXPECT_EQ(dbvalue::fromField(c.in), c.out) << describe(dbvalue::fromField(c.in));
    }
}

TEST(DbValues, FlowValuesBecomeParameterValues)
{
    double day = 0;
    ASSERT_TRUE(datetime::encodeDate(2024, 2, 29, &day));
    const struct {
        Value in;
        QVariant out;
    } cases[] = {
        {Value(5), QVariant(5)},
        {Value::int64(9000000000LL), QVariant(qlonglong(9000000000LL))},
        {Value(1.5), QVariant(1.5)},
        {Value::currency(12345), QVariant(1.2345)},
        {Value("t"), QVariant(QStringLiteral("t"))},
        {Value::wideString("w"), QVariant(QStringLiteral("w"))},
        {Value::blob(CodePage::decodeKeepingBytes(QByteArray("\x00\xff\x41\xe9", 4))), QVariant(QByteArray("\x00\xff\x41\xe9", 4))},
        {Value(false), QVariant(false)},
        {Value::dateTime(day + 0.5), QVariant(QDateTime(QDate(2024, 2, 29), QTime(12, 0)))},
    };
    int i = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(i++);
        QVariant out;
        QString e;
        ASSERT_TRUE(dbvalue::toParam(c.in, &out, &e)) << s(e);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(out.typeId(), c.out.typeId());
    }
    QVariant out;
    QString e;
    EXPECT_TRUE(dbvalue::toParam(Value::null(), &out, &e));
    EXPECT_TRUE(out.isNull());
    EXPECT_FALSE(dbvalue::toParam(Value::dateTime(1e9), &out, &e));
    EXPECT_EQ(s(e), "Invalid variant type conversion");
}

// A byte string from binary data is a String to every rule; what is made from it is text.
TEST(DbValues, BlobIsAStringThatKeepsItsBytes)
{
    const Value blob = Value::blob(CodePage::decodeKeepingBytes(QByteArray("AB\xff", 3)));
    EXPECT_EQ(blob.kind(), Value::Kind::String);
    EXPECT_TRUE(blob.isString());
    EXPECT_TRUE(blob.isBlob());
    EXPECT_NE(blob, Value(blob.asString()));
    EXPECT_EQ(CodePage::byteLength(blob.asString()), 3);
    Value joined;
    QString e;
    ASSERT_TRUE(values::binary(ValueOp::Add, blob, Value("C"), &joined, &e)) << s(e);
    EXPECT_FALSE(joined.isBlob());
    EXPECT_EQ(CodePage::encodeKeepingBytes(joined.asString()), QByteArray("AB\xff" "C", 4));
    bool equal = false;
    ASSERT_TRUE(values::compare(ValueCompare::Equal, blob, Value(blob.asString()), &equal, &e));
    EXPECT_TRUE(equal);
}

TEST_F(DbStatements, ChangedConnectionStringReachesTheDataSet)
{
    makeOther(QStringLiteral("other.db"), QStringLiteral("Other"));
    IVRDataBase* d = f.definition("people", db.connectionString(), cmdText, QStringLiteral("SELECT name FROM people ORDER BY id"));
    ASSERT_TRUE(d->PrepareDataSet(nullptr));
    EXPECT_EQ(s(firstName(d)), "Ann");
    const QString before = d->dataSet()->connectionName();
    // The next pass reuses the connection when nothing changed...
    ASSERT_TRUE(d->PrepareDataSet(nullptr));
    EXPECT_EQ(s(firstName(d)), "Ann");
    EXPECT_EQ(d->dataSet()->connectionName(), before);
    // ...and takes the definition as it is now when it did.
    d->ConnectionString = QStringLiteral("Provider=SQLite;Data Source=other.db");
    ASSERT_TRUE(d->PrepareDataSet(nullptr));
    EXPECT_EQ(s(firstName(d)), "Other");
    EXPECT_NE(d->dataSet()->connectionName(), before);
    EXPECT_FALSE(QSqlDatabase::contains(before));
}

// A data-link file in the classic form: UTF-16 with a byte-order mark, a header and a comment.
void writeDataLink(const QString& path, const QString& connection)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const QString text = QStringLiteral("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n") + connection +
                         QStringLiteral("\r\n");
    f.write("\xFF\xFE", 2);
    f.write(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

TEST_F(DbStatements, FileNameIsRewrittenByItsKeyAlone)
{
    writeDataLink(folderFile(QStringLiteral("link.udl")), QStringLiteral("Provider=SQLite;Data Source=people.db"));
    const QString absolute = folderFile(QStringLiteral("link.udl"));
    const struct {
        QString connection;
        QString given;  // what the data set is given
    } cases[] = {
        // Only the value between the key's "=" and the next ";" changes, blanks included.
        {QStringLiteral("Persist Security Info=False; file NAME = link.udl ;Mode=Read"),
         QStringLiteral("Persist Security Info=False; file NAME =") + absolute + QStringLiteral(";Mode=Read")},
        {QStringLiteral("File Name=link.udl"), QStringLiteral("File Name=") + absolute},
        {QStringLiteral("File Name=\"link.udl\""), QStringLiteral("File Name=\"") + absolute + u'"'},
        // The words in a value are not the key.
        {QStringLiteral("Provider=SQLite;Data Source=file name.db"), QStringLiteral("Provider=SQLite;Data Source=file name.db")},
    };
    ASSERT_TRUE(touch(folderFile(QStringLiteral("file name.db"))));
    ASSERT_EQ(s(dbcases::seed(QStringLiteral("Data Source=") + folderFile(QStringLiteral("file name.db")),
                              QStringLiteral("people"))),
              "");
    for (const auto& c : cases) {
        SCOPED_TRACE(s(c.connection));
        IVRDataBase* d = f.definition("link", c.connection, cmdText, QStringLiteral("SELECT name FROM people ORDER BY id"));
        ASSERT_TRUE(d->PrepareDataSet(nullptr));
        EXPECT_EQ(s(d->dataSet()->connectionString()), s(c.given));
        EXPECT_EQ(s(firstName(d)), "Ann");
        // The definition itself keeps what the user wrote.
        EXPECT_EQ(d->ConnectionString, c.connection);
    }
    // The key without a value is given as it stands, and the data set says what is wrong.
    IVRDataBase* d = f.definition("nokey", QStringLiteral("Provider=SQLite;FILE NAME"), cmdText, QStringLiteral("SELECT 1"));
    ASSERT_TRUE(d->PrepareDataSet(nullptr));
    EXPECT_EQ(s(d->dataSet()->connectionString()), "Provider=SQLite;FILE NAME");
    f.fails(*f.op(d, dbOpen), QStringLiteral("Invalid connection string: \"FILE NAME\" has no \"=\""));
}

TEST_F(DbStatements, RelativeDatabaseFilesAreTheFlowsFolders)
{
    ASSERT_TRUE(QDir(db.folder()).mkpath(QStringLiteral("data")));
    makeOther(QStringLiteral("data/sub.db"), QStringLiteral("Sub"));
    writeDataLink(folderFile(QStringLiteral("data/sub.udl")), QStringLiteral("Provider=SQLite;Data Source=data\\sub.db"));
    for (const char* connection : {"Provider=SQLite;Data Source=data\\sub.db", "Data Source=data/sub.db", "File Name=data\\sub.udl"}) {
        SCOPED_TRACE(connection);
        IVRDataBase* d = f.definition("sub", QString::fromUtf8(connection), cmdText, QStringLiteral("SELECT name FROM people ORDER BY id"));
        EXPECT_EQ(s(firstName(d)), "Sub");
    }
}

TEST_F(DbStatements, BadConnectionStringsAndMissingFilesAreClearErrors)
{
    const struct {
        QString connection;
        QString error;
    } cases[] = {
        {QStringLiteral("Provider=Nope;Data Source=people.db"),
         QStringLiteral("Unknown provider \"Nope\": the providers are SQLite, PostgreSQL, MSDASQL and ODBC")},
        {QStringLiteral("Provider=SQLite"), QStringLiteral("The connection string names no database file (Data Source)")},
        {QStringLiteral("Provider=SQLite;Data Source"), QStringLiteral("Invalid connection string: \"Data Source\" has no \"=\"")},
        {QStringLiteral("Provider=SQLite;Data Source=missing.db"),
         QStringLiteral("Database file not found: ") + folderFile(QStringLiteral("missing.db"))},
        {QStringLiteral("File Name=none.udl"), QStringLiteral("Data link file not found: ") + folderFile(QStringLiteral("none.udl"))},
        {QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1;Port=99999"),
         QStringLiteral("Invalid connection string: Port \"99999\" is not a port number")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(s(c.connection));
        IVRDataBase* d = f.definition("bad", c.connection, cmdText, QStringLiteral("SELECT 1"));
        IVRVariant* n = f.var("n", Value(1));
        const Outcome open = f.run(*f.op(d, dbOpen, n));
        EXPECT_EQ(open.code, 1);
        EXPECT_EQ(s(open.result), "returnFAILED");
        EXPECT_EQ(s(open.error), s(c.error));
        const Outcome execute = f.run(*f.op(d, dbExecute, n));
        EXPECT_EQ(s(execute.error), s(c.error));
        EXPECT_EQ(n->value(), Value(1));
    }
    // A missing database file is never made.
    EXPECT_FALSE(QFile::exists(folderFile(QStringLiteral("missing.db"))));
}

// ---- through the runner ----

TEST_F(DbStatements, FailuresInARunAreReportedAndThePassGoesOn)
{
    IVRDataBase* badProvider = f.definition("bad", QStringLiteral("Provider=Nope;Data Source=people.db"), cmdText, "SELECT 1");
    IVRDataBase* missing = f.definition("missing", QStringLiteral("Data Source=missing.db"), cmdText, "SELECT 1");
    IVRDataBase* broken = f.definition("broken", db.connectionString(), cmdText, "SELECT * FROM nosuch_table");
    IVRDataBase* good = f.definition("good", db.connectionString(), cmdText, "SELECT name FROM people ORDER BY id");
    IVRVariant* count = f.var("count");
    IVRVariant* name = f.var("name");
    f.op(badProvider, dbOpen, count);
    f.op(missing, dbOpen, count);
    f.op(broken, dbExecute, count);
    f.op(good, dbOpen, count);
    f.op(good, dbNext);
    IVRField* read = f.field(good, Value(0), name);

    dbcases::QtMessages messages;
    dbcases::Run run(f, good, read);
    ASSERT_TRUE(run.go());
    const QStringList errors = run.errors();
    ASSERT_EQ(errors.size(), 3);
    EXPECT_EQ(s(errors[0]), s(dbcases::Run::question(
                                 QStringLiteral("Unknown provider \"Nope\": the providers are SQLite, PostgreSQL, MSDASQL and ODBC"))));
    EXPECT_EQ(s(errors[1]), s(dbcases::Run::question(QStringLiteral("Database file not found: ") + folderFile("missing.db"))));
    EXPECT_TRUE(errors[2].contains(QStringLiteral("no such table: nosuch_table"))) << s(errors[2]);
    EXPECT_EQ(count->value(), Value(3)) << describe(count->value());
    EXPECT_EQ(name->value(), Value("Bob"));

    // The connection was opened on the runner's thread and removed there before the run ended.
    const auto seen = run.sightings();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].thread, QThread::currentThread());
    EXPECT_FALSE(seen[0].connection.isEmpty());
    EXPECT_FALSE(QSqlDatabase::contains(seen[0].connection));
    EXPECT_EQ(good->dataSet()->connectionName(), QString());
    EXPECT_FALSE(good->dataSet()->active());
    EXPECT_EQ(good->dataSet()->commandText(), QString());
    for (const QString& m : messages.texts()) ADD_FAILURE() << "Qt said: " << s(m);
}

// A stop during a statement that would run for ever cancels it through the driver.
TEST_F(DbStatements, StopDuringALongQueryEndsTheRunAtOnce)
{
    DbFlow console(db.flowFile(), false);
    IVRDataBase* d = console.definition(
        "long", db.connectionString(), cmdText,
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000000000000) SELECT count(*) FROM c");
    IVRDBOperate* open = console.op(d, dbOpen);
    dbcases::QtMessages messages;
    const qint64 took = dbcases::stopWhileAt(console, open);
    ASSERT_GE(took, 0) << "the run never reached the query";
    EXPECT_LT(took, 1000);
    EXPECT_FALSE(d->dataSet()->active());
    for (const QString& m : messages.texts()) ADD_FAILURE() << "Qt said: " << s(m);
}

TEST_F(DbStatements, PassesShareAConnectionAndEveryRunTakesTheDefinitionAsItIsNow)
{
    makeOther(QStringLiteral("other.db"), QStringLiteral("Other"));
    DbFlow console(db.flowFile(), false);  // a console's flow: pass after pass
    IVRDataBase* d = console.definition("people", db.connectionString(), cmdText, "SELECT name FROM people ORDER BY id");
    IVRVariant* name = console.var("name");
    console.op(d, dbOpen);
    IVRField* read = console.field(d, Value("name"), name);

    dbcases::QtMessages messages;
    QString first;
    {
        dbcases::Run run(console, d, read);
        run.stopAfter = 2;
        ASSERT_TRUE(run.go());
        const auto seen = run.sightings();
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].connection, seen[1].connection);
        EXPECT_EQ(seen[0].thread, seen[1].thread);
        first = seen[0].connection;
        EXPECT_FALSE(QSqlDatabase::contains(first));
        EXPECT_EQ(name->value(), Value("Ann"));
    }
    d->ConnectionString = QStringLiteral("Provider=SQLite;Data Source=other.db");
    {
        dbcases::Run run(console, d, read);
        ASSERT_TRUE(run.go());
        const auto seen = run.sightings();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_NE(seen[0].connection, first);
        EXPECT_FALSE(QSqlDatabase::contains(seen[0].connection));
        EXPECT_EQ(name->value(), Value("Other"));
        EXPECT_TRUE(run.errors().isEmpty());
    }
    for (const QString& m : messages.texts()) ADD_FAILURE() << "Qt said: " << s(m);
}

}  // namespace

namespace {

// The data set takes every statement that starts with WITH for one that changes rows, and SQLite
// then reports the count of the last UPDATE before it (ODBC reports 0). Enable once the data set
// looks past the common table expressions for the statement's own keyword.
TEST_F(DbStatements, WithSelectReportsNoRowsAffected)
{
    IVRDataBase* d = f.definition("people", db.connectionString(), cmdText, QStringLiteral("UPDATE people SET note = 'x'"));
    IVRVariant* n = f.var("n");
    f.ok(*f.op(d, dbExecute, n));
    EXPECT_EQ(n->value(), Value(3));
    f.ok(*f.command(d, cmdText, Value("WITH t AS (SELECT id FROM people) SELECT * FROM t")));
    f.ok(*f.op(d, dbExecute, n));
    EXPECT_EQ(n->value(), Value(-1)) << describe(n->value());
    f.ok(*f.command(d, cmdText, Value("WITH t AS (SELECT id FROM people WHERE id > 1) DELETE FROM people WHERE id IN (SELECT id FROM t)")));
    f.ok(*f.op(d, dbExecute, n));
    EXPECT_EQ(n->value(), Value(2)) << describe(n->value());
}

}  // namespace
