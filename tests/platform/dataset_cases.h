#pragma once

// The data-set cases every driver must pass. The platform tests run them on SQLite files, the
// postgres tests on a PostgreSQL server; each supplies a backend with a seeded table:
//   id INTEGER PRIMARY KEY, name VARCHAR(40), score DOUBLE PRECISION, note VARCHAR(40)
//   (1, 'Ann', 1.5, NULL), (2, 'Bob', 2.5, 'b'), (3, 'Cid', 3.5, 'c')

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <thread>
#include <functional>
#include <string>
#include <vector>

#include "platform/dataset.h"

namespace dscases {

inline std::string s(const QString& text)
{
    return text.toStdString();
}

class Backend {
public:
    virtual ~Backend() = default;
    virtual QString connectionString() const = 0;
    virtual QString table() const = 0;
    virtual PathResolver resolver() const { return {}; }
    // Statements that change how the session reads literals, each tried in turn; an empty one
    // for none.
    virtual QStringList literalSettings() const { return {QString()}; }
};

inline const char* seedStatements[] = {
    "CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(40), score DOUBLE PRECISION, note VARCHAR(40))",
    "INSERT INTO %1 VALUES (1, 'Ann', 1.5, NULL), (2, 'Bob', 2.5, 'b'), (3, 'Cid', 3.5, 'c')",
};

// Runs the seed statements through a data set; an empty text on success.
inline QString seed(const QString& connectionString, const QString& table, const PathResolver& resolve = {})
{
    DataSet ds;
    ds.setPathResolver(resolve);
    ds.setConnectionString(connectionString);
    QString error;
    for (const char* sql : seedStatements) {
        qint64 n = 0;
        if (!ds.setCommandText(QString::fromLatin1(sql).arg(table), &error) || !ds.execute(&n, &error)) return error;
    }
    return {};
}

struct Case {
    const char* name;
    std::function<void(DataSet&, const Backend&)> run;
};

inline void setSql(DataSet& ds, const Backend& db, const char* sql)
{
    QString e;
    ASSERT_TRUE(ds.setCommandType(DataSet::CommandText, &e)) << s(e);
    ASSERT_TRUE(ds.setCommandText(QString::fromUtf8(sql).arg(db.table()), &e)) << s(e);
}

inline qint64 recNo(const DataSet& ds)
{
    qint64 n = -99;
    QString e;
    EXPECT_TRUE(ds.recNo(&n, &e)) << s(e);
    return n;
}

inline QVariant field(const DataSet& ds, const QString& name)
{
    QVariant v;
    QString e;
    EXPECT_TRUE(ds.fieldByName(name, &v, &e)) << s(e);
    return v;
}

inline QString nameAt(const DataSet& ds)
{
    return field(ds, QStringLiteral("name")).toString();
}

inline qint64 execute(DataSet& ds, const Backend& db, const char* sql)
{
    setSql(ds, db, sql);
    qint64 n = -99;
    QString e;
    EXPECT_TRUE(ds.execute(&n, &e)) << s(e) << " for " << sql;
    return n;
}

// Where the data set stands: record number, BOF, EOF and the current name.
inline std::string where(const DataSet& ds)
{
    return std::to_string(recNo(ds)) + (ds.bof() ? " bof" : "") + (ds.eof() ? " eof" : "") + " " + s(nameAt(ds));
}

inline std::vector<Case> cases()
{
    return {
        {"OpenAndWalk",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db, "SELECT id, name, score, note FROM %1 ORDER BY id");
             QString e;
             ASSERT_TRUE(ds.open(&e)) << s(e);
             EXPECT_TRUE(ds.active());
             qint64 count = 0;
             ASSERT_TRUE(ds.recordCount(&count, &e));
             EXPECT_EQ(count, 3);
             EXPECT_EQ(where(ds), "1 bof Ann");
             const struct {
                 bool (DataSet::*move)(QString*);
                 const char* after;
             } steps[] = {
                 {&DataSet::next, "2 Bob"},   {&DataSet::next, "3 Cid"},      {&DataSet::next, "3 eof Cid"},
                 {&DataSet::next, "3 eof Cid"}, {&DataSet::prior, "2 Bob"},    {&DataSet::prior, "1 Ann"},
                 {&DataSet::prior, "1 bof Ann"}, {&DataSet::prior, "1 bof Ann"}, {&DataSet::last, "3 eof Cid"},
                 {&DataSet::prior, "2 Bob"},  {&DataSet::first, "1 bof Ann"},  {&DataSet::next, "2 Bob"},
                 {&DataSet::last, "3 eof Cid"}, {&DataSet::first, "1 bof Ann"},
             };
             int i = 0;
             for (const auto& step : steps) {
                 SCOPED_TRACE(i++);
                 ASSERT_TRUE((ds.*step.move)(&e)) << s(e);
                 EXPECT_EQ(where(ds), step.after);
             }
             // Opening an open data set keeps its place.
             ASSERT_TRUE(ds.next(&e));
             ASSERT_TRUE(ds.open(&e));
             EXPECT_EQ(recNo(ds), 2);
             ds.close();
             EXPECT_FALSE(ds.active());
             ASSERT_TRUE(ds.open(&e)) << s(e);
             EXPECT_EQ(where(ds), "1 bof Ann");
         }},
        {"EmptyResult",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db, "SELECT id, name FROM %1 WHERE id > 100");
             QString e;
             ASSERT_TRUE(ds.open(&e)) << s(e);
             qint64 count = -1;
             ASSERT_TRUE(ds.recordCount(&count, &e));
             EXPECT_EQ(count, 0);
             EXPECT_TRUE(ds.bof());
             EXPECT_TRUE(ds.eof());
             EXPECT_EQ(recNo(ds), 0);
             for (auto move : {&DataSet::next, &DataSet::prior, &DataSet::first, &DataSet::last}) {
                 ASSERT_TRUE((ds.*move)(&e)) << s(e);
                 EXPECT_TRUE(ds.bof() && ds.eof());
                 EXPECT_EQ(recNo(ds), 0);
             }
             // The fields are there, with no value.
             EXPECT_EQ(ds.fieldCount(), 2);
             EXPECT_TRUE(field(ds, QStringLiteral("name")).isNull());
         }},
        {"FieldsByNameAndPosition",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db, "SELECT id, name, score, note FROM %1 ORDER BY id");
             QString e;
             ASSERT_TRUE(ds.open(&e)) << s(e);
             ASSERT_EQ(ds.fieldCount(), 4);
             EXPECT_EQ(ds.fieldNames(), (QStringList{"id", "name", "score", "note"}));
             QVariant v;
             ASSERT_TRUE(ds.fieldByIndex(0, &v, &e)) << s(e);
             EXPECT_TRUE(v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong) << v.typeName();
             EXPECT_EQ(v.toLongLong(), 1);
             ASSERT_TRUE(ds.fieldByName(QStringLiteral("NAME"), &v, &e)) << s(e);
             EXPECT_EQ(v.typeId(), QMetaType::QString);
             EXPECT_EQ(v.toString(), QStringLiteral("Ann"));
             ASSERT_TRUE(ds.fieldByIndex(2, &v, &e));
             EXPECT_EQ(v.typeId(), QMetaType::Double);
             EXPECT_DOUBLE_EQ(v.toDouble(), 1.5);
             ASSERT_TRUE(ds.fieldByName(QStringLiteral("Note"), &v, &e));
             EXPECT_TRUE(v.isNull());
             ASSERT_TRUE(ds.next(&e));
             ASSERT_TRUE(ds.fieldByIndex(3, &v, &e));
             EXPECT_EQ(v.toString(), QStringLiteral("b"));

             EXPECT_FALSE(ds.fieldByName(QStringLiteral("nosuch"), &v, &e));
             EXPECT_EQ(s(e), "Field 'nosuch' not found");
             EXPECT_FALSE(ds.fieldByIndex(4, &v, &e));
             EXPECT_EQ(s(e), "List index out of bounds (4)");
             EXPECT_FALSE(ds.fieldByIndex(-1, &v, &e));
             EXPECT_EQ(s(e), "List index out of bounds (-1)");
         }},
        {"ClosedDataSetRefuses",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db, "SELECT id, name FROM %1");
             QString e;
             ds.close();
             EXPECT_FALSE(ds.active());
             for (auto move : {&DataSet::first, &DataSet::prior, &DataSet::next, &DataSet::last}) {
                 e.clear();
                 EXPECT_FALSE((ds.*move)(&e));
                 EXPECT_EQ(s(e), "Cannot perform this operation on a closed dataset");
             }
             qint64 n = 0;
             EXPECT_FALSE(ds.recordCount(&n, &e));
             EXPECT_EQ(s(e), "Cannot perform this operation on a closed dataset");
             EXPECT_FALSE(ds.recNo(&n, &e));
             EXPECT_EQ(s(e), "Cannot perform this operation on a closed dataset");
             QVariant v;
             EXPECT_EQ(ds.fieldCount(), 0);
             EXPECT_FALSE(ds.fieldByName(QStringLiteral("name"), &v, &e));
             EXPECT_EQ(s(e), "Field 'name' not found");
             EXPECT_FALSE(ds.fieldByIndex(0, &v, &e));
             EXPECT_EQ(s(e), "List index out of bounds (0)");
             // After an open and a close, the same.
             ASSERT_TRUE(ds.open(&e)) << s(e);
             ds.close();
             ds.close();
             EXPECT_FALSE(ds.fieldByName(QStringLiteral("name"), &v, &e));
             EXPECT_FALSE(ds.next(&e));
         }},
        {"NamedParameters",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db, "SELECT name FROM %1 WHERE id = :id OR name = @Who ORDER BY id");
             EXPECT_EQ(ds.paramNames(), (QStringList{"id", "Who"}));
             QString e;
             ASSERT_TRUE(ds.setParamByName(QStringLiteral("ID"), 2, &e)) << s(e);
             ASSERT_TRUE(ds.setParamByName(QStringLiteral("@who"), QStringLiteral("none"), &e)) << s(e);
             ASSERT_TRUE(ds.open(&e)) << s(e);
             EXPECT_EQ(where(ds), "1 bof Bob");
             ds.close();
             // A new value reaches the next open; a string meets an integer column as the driver converts it.
             ASSERT_TRUE(ds.setParamByName(QStringLiteral(":id"), QStringLiteral("3"), &e)) << s(e);
             ASSERT_TRUE(ds.setParamByIndex(1, QStringLiteral("Ann"), &e)) << s(e);
             ASSERT_TRUE(ds.open(&e)) << s(e);
             qint64 count = 0;
             ASSERT_TRUE(ds.recordCount(&count, &e));
             EXPECT_EQ(count, 2);
             EXPECT_EQ(s(nameAt(ds)), "Ann");
             QVariant v;
             ASSERT_TRUE(ds.paramByName(QStringLiteral("who"), &v, &e));
             EXPECT_EQ(v.toString(), QStringLiteral("Ann"));
         }},
        {"RepeatedNameIsOneParameter",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db, "SELECT name FROM %1 WHERE id = :x OR id = :X + 1 ORDER BY id");
             ASSERT_EQ(ds.paramCount(), 1);
             QString e;
             ASSERT_TRUE(ds.setParamByName(QStringLiteral("x"), 1, &e));
             ASSERT_TRUE(ds.open(&e)) << s(e);
             qint64 count = 0;
             ASSERT_TRUE(ds.recordCount(&count, &e));
             EXPECT_EQ(count, 2);
         }},
        {"PositionalParameters",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db, "SELECT name FROM %1 WHERE id = ? OR name = ? ORDER BY id");
             ASSERT_EQ(ds.paramNames(), (QStringList{QString(), QString()}));
             QString e;
             ASSERT_TRUE(ds.setParamByIndex(0, qlonglong(1), &e));
             ASSERT_TRUE(ds.setParamByIndex(1, QStringLiteral("Cid"), &e));
             ASSERT_TRUE(ds.open(&e)) << s(e);
             EXPECT_EQ(s(nameAt(ds)), "Ann");
             ASSERT_TRUE(ds.last(&e));
             EXPECT_EQ(s(nameAt(ds)), "Cid");
             EXPECT_EQ(recNo(ds), 2);
         }},
        {"PlaceholdersInLiteralsAndCommentsAreText",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db,
                    "SELECT name || ':x?' AS tag, 'it''s @y' AS q, \"name\" AS \"n:z\" FROM %1 /* :c ? */ WHERE id = :id -- :d ?\n"
                    "ORDER BY id");
             ASSERT_EQ(ds.paramNames(), QStringList{"id"});
             QString e;
             ASSERT_TRUE(ds.setParamByName(QStringLiteral("id"), 2, &e));
             ASSERT_TRUE(ds.open(&e)) << s(e);
             EXPECT_EQ(s(field(ds, QStringLiteral("tag")).toString()), "Bob:x?");
             EXPECT_EQ(s(field(ds, QStringLiteral("q")).toString()), "it's @y");
             EXPECT_EQ(s(field(ds, QStringLiteral("n:z")).toString()), "Bob");
         }},
        {"ParameterValuesNeverChangeTheStatement",
         [](DataSet& ds, const Backend& db) {
             const QString victim = db.table() + QStringLiteral("v");
             QString e;
             qint64 n = 0;
             auto run = [&](const QString& sql) {
                 ds.close();
                 return ds.setCommandText(sql, &e) && ds.execute(&n, &e);
             };
             ASSERT_TRUE(run(QStringLiteral("CREATE TABLE %1 (id INTEGER)").arg(victim))) << s(e);
             const QString values[] = {
                 QStringLiteral("a\\'); DROP TABLE %1; --").arg(victim),
                 QStringLiteral("a\\''); DROP TABLE %1; --").arg(victim),
                 QStringLiteral("$v$); DROP TABLE %1; --$v$").arg(victim),
                 QStringLiteral("x$v"),
                 QStringLiteral("\\"),
             };
             for (const QString& setting : db.literalSettings()) {
                 if (!setting.isEmpty()) {
                     ASSERT_TRUE(run(setting)) << s(e);
                 }
                 for (const QString& value : values) {
                     SCOPED_TRACE(s(setting + QStringLiteral(" | ") + value));
                     ASSERT_TRUE(ds.setCommandText(QStringLiteral("UPDATE %1 SET note = :v WHERE id = 2").arg(db.table()), &e));
                     ASSERT_TRUE(ds.setParamByName(QStringLiteral("v"), value, &e)) << s(e);
                     ASSERT_TRUE(ds.execute(&n, &e)) << s(e);
                     EXPECT_EQ(n, 1);
                     ASSERT_TRUE(ds.setCommandText(QStringLiteral("SELECT note FROM %1 WHERE note = :v").arg(db.table()), &e));
                     ASSERT_TRUE(ds.setParamByName(QStringLiteral("v"), value, &e)) << s(e);
                     ASSERT_TRUE(ds.open(&e)) << s(e);
                     EXPECT_EQ(s(field(ds, QStringLiteral("note")).toString()), s(value));
                     ds.close();
                 }
             }
             // The victim is still there.
             ds.close();
             ASSERT_TRUE(ds.setCommandText(QStringLiteral("SELECT id FROM %1").arg(victim), &e));
             EXPECT_TRUE(ds.open(&e)) << s(e);
             EXPECT_TRUE(run(QStringLiteral("DROP TABLE %1").arg(victim))) << s(e);
         }},
        {"ParameterErrors",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db, "SELECT name FROM %1 WHERE id = :id AND name <> ?");
             QString e;
             EXPECT_FALSE(ds.setParamByName(QStringLiteral("zz"), 1, &e));
             EXPECT_EQ(s(e), "Parameter 'zz' not found");
             EXPECT_FALSE(ds.setParamByName(QString(), 1, &e));
             EXPECT_EQ(s(e), "Parameter '' not found");
             EXPECT_FALSE(ds.setParamByIndex(2, 1, &e));
             EXPECT_EQ(s(e), "List index out of bounds (2)");
             QVariant v;
             EXPECT_FALSE(ds.paramByIndex(-1, &v, &e));
             EXPECT_EQ(s(e), "List index out of bounds (-1)");
             // A parameter without a value is reported, not taken as null.
             ASSERT_TRUE(ds.setParamByIndex(1, QStringLiteral("x"), &e));
             EXPECT_FALSE(ds.open(&e));
             EXPECT_EQ(s(e), "No value given for parameter 'id'");
             setSql(ds, db, "SELECT name FROM %1 WHERE id = :id AND name <> ? AND 1 = 1");
             ASSERT_TRUE(ds.setParamByName(QStringLiteral("id"), 1, &e));
             EXPECT_FALSE(ds.open(&e));
             EXPECT_EQ(s(e), "No value given for parameter 2");
             // A new command text starts with new parameters.
             setSql(ds, db, "SELECT name FROM %1 WHERE id = :other");
             EXPECT_FALSE(ds.setParamByName(QStringLiteral("id"), 1, &e));
             ASSERT_TRUE(ds.setParamByName(QStringLiteral("other"), QVariant(), &e));
             ASSERT_TRUE(ds.open(&e)) << s(e);  // a null value is a value
             qint64 count = -1;
             ASSERT_TRUE(ds.recordCount(&count, &e));
             EXPECT_EQ(count, 0);
         }},
        {"ExecuteReportsRowsAffected",
         [](DataSet& ds, const Backend& db) {
             EXPECT_EQ(execute(ds, db, "UPDATE %1 SET score = score + 1 WHERE id >= 2"), 2);
             // Statements that change no rows never report an earlier count.
             EXPECT_EQ(execute(ds, db, "SELECT * FROM %1"), -1);
             EXPECT_EQ(execute(ds, db, "UPDATE %1 SET score = 0 WHERE id >= 2"), 2);
             EXPECT_EQ(execute(ds, db, "CREATE TABLE %1_more (x INTEGER)"), -1);
             EXPECT_EQ(execute(ds, db, "DELETE FROM %1 WHERE id = 99"), 0);
             EXPECT_EQ(execute(ds, db, "  /* lead */ DELETE FROM %1_more"), 0);
             EXPECT_EQ(execute(ds, db, "DROP TABLE %1_more"), -1);
             setSql(ds, db, "INSERT INTO %1 (id, name, score) VALUES (:id, :name, :score)");
             QString e;
             ASSERT_TRUE(ds.setParamByName(QStringLiteral("id"), 4, &e));
             ASSERT_TRUE(ds.setParamByName(QStringLiteral("name"), QStringLiteral("Dee's"), &e));
             ASSERT_TRUE(ds.setParamByName(QStringLiteral("score"), 4.25, &e));
             qint64 n = 0;
             ASSERT_TRUE(ds.execute(&n, &e)) << s(e);
             EXPECT_EQ(n, 1);
             setSql(ds, db, "SELECT name, score FROM %1 WHERE id = 4");
             ASSERT_TRUE(ds.open(&e)) << s(e);
             EXPECT_EQ(s(nameAt(ds)), "Dee's");
             EXPECT_DOUBLE_EQ(field(ds, QStringLiteral("score")).toDouble(), 4.25);
         }},
        {"ExecuteLeavesOpenRowsAlone",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db, "SELECT id FROM %1");
             QString e;
             ASSERT_TRUE(ds.open(&e)) << s(e);
             DataSet other;
             other.setPathResolver(db.resolver());
             other.setConnectionString(ds.connectionString());
             EXPECT_EQ(execute(other, db, "INSERT INTO %1 (id, name) VALUES (10, 'Ed')"), 1);
             qint64 count = 0;
             ASSERT_TRUE(ds.recordCount(&count, &e));
             EXPECT_EQ(count, 3);
             ds.close();
             ASSERT_TRUE(ds.open(&e)) << s(e);
             ASSERT_TRUE(ds.recordCount(&count, &e));
             EXPECT_EQ(count, 4);
             // Executing on an open data set runs the command once more, rows untouched.
             setSql(other, db, "DELETE FROM %1 WHERE id = 10");
             qint64 n = 0;
             ASSERT_TRUE(other.execute(&n, &e)) << s(e);
             EXPECT_EQ(n, 1);
             ASSERT_TRUE(ds.recordCount(&count, &e));
             EXPECT_EQ(count, 4);
         }},
        {"CommandTypes",
         [](DataSet& ds, const Backend& db) {
             QString e;
             qint64 count = 0;
             ASSERT_TRUE(ds.setCommandType(DataSet::CommandTable, &e));
             ASSERT_TRUE(ds.setCommandText(db.table(), &e));
             EXPECT_EQ(ds.paramCount(), 0);
             ASSERT_TRUE(ds.open(&e)) << s(e);
             ASSERT_TRUE(ds.recordCount(&count, &e));
             EXPECT_EQ(count, 3);
             EXPECT_EQ(ds.fieldCount(), 4);
             ds.close();
             // An unknown type takes a bare name as a table and anything else as SQL.
             ASSERT_TRUE(ds.setCommandType(DataSet::CommandUnknown, &e));
             ASSERT_TRUE(ds.open(&e)) << s(e);
             ASSERT_TRUE(ds.recordCount(&count, &e));
             EXPECT_EQ(count, 3);
             ds.close();
             ASSERT_TRUE(ds.setCommandText(QStringLiteral("SELECT name FROM %1 WHERE id = :id").arg(db.table()), &e));
             EXPECT_EQ(ds.paramCount(), 1);
             ASSERT_TRUE(ds.setParamByIndex(0, 3, &e));
             ASSERT_TRUE(ds.open(&e)) << s(e);
             EXPECT_EQ(s(nameAt(ds)), "Cid");
             ds.close();
             ASSERT_TRUE(ds.setCommandType(DataSet::CommandTableDirect, &e));
             ASSERT_TRUE(ds.setCommandText(db.table(), &e));
             ASSERT_TRUE(ds.open(&e)) << s(e);
             ds.close();
             ASSERT_TRUE(ds.setCommandType(DataSet::CommandFile, &e));
             EXPECT_FALSE(ds.open(&e));
             EXPECT_EQ(s(e), "Saved record sets (command type File) are not supported");
             EXPECT_FALSE(ds.setCommandType(6, &e));
             EXPECT_EQ(s(e), "Unknown command type 6");
             EXPECT_EQ(ds.commandType(), DataSet::CommandFile);
             ASSERT_TRUE(ds.setCommandType(DataSet::CommandText, &e));
             ASSERT_TRUE(ds.setCommandText(QString(), &e));
             EXPECT_FALSE(ds.open(&e));
             EXPECT_EQ(s(e), "No command text");
             qint64 n = 0;
             EXPECT_FALSE(ds.execute(&n, &e));
             EXPECT_EQ(s(e), "No command text");
         }},
        {"OpenDataSetRefusesChanges",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db, "SELECT id FROM %1");
             QString e;
             ASSERT_TRUE(ds.open(&e)) << s(e);
             EXPECT_FALSE(ds.setCommandText(QStringLiteral("SELECT 1"), &e));
             EXPECT_EQ(s(e), "Cannot perform this operation on an open dataset");
             EXPECT_FALSE(ds.setCommandType(DataSet::CommandTable, &e));
             EXPECT_EQ(s(e), "Cannot perform this operation on an open dataset");
             // No change is no refusal.
             EXPECT_TRUE(ds.setCommandType(DataSet::CommandText, &e)) << s(e);
             EXPECT_TRUE(ds.setCommandText(ds.commandText(), &e)) << s(e);
             EXPECT_EQ(ds.commandType(), DataSet::CommandText);
             EXPECT_TRUE(ds.active());
         }},
        {"OpenWantsRows",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db, "UPDATE %1 SET score = 9 WHERE id = 1");
             QString e;
             EXPECT_FALSE(ds.open(&e));
             EXPECT_EQ(s(e), "CommandText does not return a result set");
             EXPECT_FALSE(ds.active());
         }},
        {"SqlErrorsLeaveTheDataSetUsable",
         [](DataSet& ds, const Backend& db) {
             QString e;
             setSql(ds, db, "SELEC name FROM %1");
             EXPECT_FALSE(ds.open(&e));
             EXPECT_TRUE(e.contains(QStringLiteral("syntax error"), Qt::CaseInsensitive)) << s(e);
             EXPECT_FALSE(ds.active());
             setSql(ds, db, "SELECT name FROM %1_missing");
             EXPECT_FALSE(ds.open(&e));
             EXPECT_TRUE(e.contains(db.table() + QStringLiteral("_missing"))) << s(e);
             qint64 n = 5;
             setSql(ds, db, "INSERT INTO %1 (id, name) VALUES (1, 'again')");  // a key that is taken
             EXPECT_FALSE(ds.execute(&n, &e));
             EXPECT_FALSE(e.isEmpty());
             EXPECT_EQ(n, 5);
             setSql(ds, db, "SELECT name FROM %1 WHERE id = 1");
             ASSERT_TRUE(ds.open(&e)) << s(e);
             EXPECT_EQ(s(nameAt(ds)), "Ann");
         }},
        {"ConnectionIsSharedPerThreadAndRemoved",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db, "SELECT id FROM %1");
             QString e;
             EXPECT_TRUE(ds.connectionName().isEmpty());  // opened lazily
             ASSERT_TRUE(ds.open(&e)) << s(e);
             const QString name = ds.connectionName();
             ASSERT_FALSE(name.isEmpty());
             EXPECT_TRUE(QSqlDatabase::contains(name));
             DataSet twin;
             twin.setPathResolver(db.resolver());
             twin.setConnectionString(ds.connectionString() + QLatin1Char(';'));  // spelt otherwise, same database
             setSql(twin, db, "SELECT id FROM %1");
             ASSERT_TRUE(twin.open(&e)) << s(e);
             EXPECT_EQ(twin.connectionName(), name);
             // Closing keeps the connection for the next open.
             ds.close();
             EXPECT_EQ(ds.connectionName(), name);
             ds.disconnect();
             EXPECT_TRUE(ds.connectionName().isEmpty());
             EXPECT_TRUE(QSqlDatabase::contains(name));
             twin.disconnect();
             EXPECT_FALSE(QSqlDatabase::contains(name));
             // Used again, it connects again.
             ASSERT_TRUE(ds.open(&e)) << s(e);
             EXPECT_FALSE(ds.connectionName().isEmpty());
         }},
        {"ChangedConnectionStringReconnects",
         [](DataSet& ds, const Backend& db) {
             setSql(ds, db, "SELECT id FROM %1");
             QString e;
             ASSERT_TRUE(ds.open(&e)) << s(e);
             const QString name = ds.connectionName();
             ds.setConnectionString(ds.connectionString());  // no change: nothing happens
             EXPECT_TRUE(ds.active());
             ds.setConnectionString(QStringLiteral("Provider=Nowhere"));
             EXPECT_FALSE(ds.active());
             EXPECT_TRUE(ds.connectionName().isEmpty());
             EXPECT_FALSE(QSqlDatabase::contains(name));
             EXPECT_FALSE(ds.open(&e));
             EXPECT_TRUE(e.startsWith(QStringLiteral("Unknown provider \"Nowhere\""))) << s(e);
             ds.setConnectionString(db.connectionString());
             ASSERT_TRUE(ds.open(&e)) << s(e);
             EXPECT_NE(ds.connectionName(), name);
         }},
    };
}

// Runs the data set's command (open, then execute) while another thread cancels it once
// `running` (asked on that thread) says the statement is under way: each fails at once with a
// text `check` accepts, and the data set refuses statements until its cancel is reset.
inline void cancelsTheRunningCommand(DataSet& ds, const std::function<bool()>& running,
                                     const std::function<void(const QString&)>& check)
{
    for (const bool rows : {true, false}) {
        SCOPED_TRACE(rows ? "open" : "execute");
        std::atomic<bool> seen{false};
        std::thread stopper([&] {
            QDeadlineTimer deadline(60000);
            while (!deadline.hasExpired() && !running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            seen = !deadline.hasExpired();
            ds.cancel();
        });
        QString e;
        qint64 n = 0;
        const bool ok = rows ? ds.open(&e) : ds.execute(&n, &e);
        stopper.join();
        EXPECT_TRUE(seen.load()) << "the statement was never seen running";
        EXPECT_FALSE(ok);
        check(e);
        QString refused;
        EXPECT_FALSE(ds.execute(&n, &refused));
        EXPECT_EQ(refused.toStdString(), DataSet::CancelledMessage);
        ds.resetCancel();
    }
}

}  // namespace dscases
