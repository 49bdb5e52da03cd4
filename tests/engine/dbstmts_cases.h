#pragma once

// The database statement cases every provider must pass. The engine tests run them on SQLite
// files (and through ODBC where its SQLite driver is installed), the postgres tests on a
// PostgreSQL server. Each backend supplies a seeded table:
//   id INTEGER PRIMARY KEY, name VARCHAR(40), score DOUBLE PRECISION, note VARCHAR(40)
//   (1, 'Ann', 1.5, NULL), (2, 'Bob', 2.5, 'b'), (3, 'Cid', 3.5, 'c')
// Also the flow fixture the database tests share and the fake device for runs through the runner.

#include "support/nulldevice.h"
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/device.h"
#include "engine/flow.h"
#include "engine/flowtree.h"
#include "engine/runner.h"
#include "engine/statements/database.h"
#include "engine/texts.h"
#include "platform/dataset.h"

namespace dbcases {

inline std::string s(const QString& text)
{
    return text.toStdString();
}

inline std::string describe(const Value& v)
{
    return "kind " + std::to_string(int(v.kind())) + " \"" + s(v.displayText()) + '"';
}

// ---- backends ----

class Backend {
public:
    virtual ~Backend() = default;
    // The connection string as a definition holds it (relative names are the flow's).
    virtual QString connectionString() const = 0;
    virtual QString table() const = 0;
    // The flow's file name: relative file names are taken from its folder.
    virtual QString flowFile() const = 0;
    // A query whose one field `a` is the binary value 00 FF 41 80 5C 27 E9, and the column type
    // that holds such values.
    virtual QString blobSelect() const { return QStringLiteral("SELECT x'00ff41805c27e9' AS a"); }
    virtual QString blobType() const { return QStringLiteral("BLOB"); }
};

inline const char* seedStatements[] = {
    "CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(40), score DOUBLE PRECISION, note VARCHAR(40))",
    "INSERT INTO %1 VALUES (1, 'Ann', 1.5, NULL), (2, 'Bob', 2.5, 'b'), (3, 'Cid', 3.5, 'c')",
};

// Runs the seed statements through a data set of the test's own; an empty text on success.
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

// ---- the flow fixture ----

struct Outcome {
    int code = -1;
    QString result;
    QString error;
};

inline std::string describe(const Outcome& o)
{
    return std::to_string(o.code) + " " + s(o.result) + " \"" + s(o.error) + '"';
}

// A flow with its file in a folder of the test's, built statement by statement. Statements go
// into the call flow in the order they are made, so the same flow can be run by the runner.
class DbFlow {
public:
    explicit DbFlow(const QString& fileName, bool debug = true) : flow(nullptr, QString(), debug)
    {
        flow.FileName = fileName;
    }

    IVRDataBase* definition(const QString& name, const QString& connection, int type, const QString& text)
    {
        auto d = std::make_unique<IVRDataBase>(&flow);
        IVRDataBase* raw = d.get();
        raw->Name = name;
        raw->ConnectionString = connection;
        raw->CommandType = type;
        raw->CommandText = text;
        flow.tree().addLast(flow.VarRoot, std::move(d));
        flow.AddDataBase(raw);
        return raw;
    }

    IVRVariant* var(const QString& name, const Value& initial = Value())
    {
        auto v = std::make_unique<IVRVariant>(&flow);
        IVRVariant* raw = v.get();
        raw->Name = name;
        raw->link.constant = initial;
        raw->setValue(initial);
        flow.tree().addLast(flow.VarRoot, std::move(v));
        flow.AddVariant(raw);
        return raw;
    }

    template <class T>
    T* add(IVRDataBase* definition)
    {
        auto s = std::make_unique<T>(&flow);
        T* raw = s.get();
        if (definition) raw->link.LinkTo(definition);
        flow.tree().addLast(flow.BeginRoot, std::move(s));
        return raw;
    }

    IVRDBOperate* op(IVRDataBase* d, TDataBaseOperateType operate, IVRVariant* save = nullptr)
    {
        IVRDBOperate* s = add<IVRDBOperate>(d);
        s->Operate = operate;
        if (save) s->variantLink.LinkTo(save);
        return s;
    }

    // f: a constant field position or name; save: the variable that receives the value.
    IVRField* field(IVRDataBase* d, const Value& f, IVRVariant* save)
    {
        IVRField* s = add<IVRField>(d);
        s->Field.constant = f;
        if (save) s->variantLink.LinkTo(save);
        return s;
    }
    IVRField* fieldAt(IVRDataBase* d, IVRVariant* position, IVRVariant* save)
    {
        IVRField* s = add<IVRField>(d);
        s->Field.LinkTo(position);
        if (save) s->variantLink.LinkTo(save);
        return s;
    }

    IVRParam* param(IVRDataBase* d, const Value& p, const Value& v)
    {
        IVRParam* s = add<IVRParam>(d);
        s->Param.constant = p;
        s->variantLink.constant = v;
        return s;
    }

    IVRCommand* command(IVRDataBase* d, TCommandType type, const Value& text)
    {
        IVRCommand* s = add<IVRCommand>(d);
        s->CommandType = type;
        s->variantLink.constant = text;
        return s;
    }

    Outcome run(TIVRBase& statement)
    {
        ExecContext ctx;
        ctx.flow = &flow;
        Outcome o;
        o.code = statement.DoIt(ctx, o.result, o.error);
        return o;
    }

    // Runs a statement that must succeed: code 0, no result text, no error text.
    void ok(TIVRBase& statement)
    {
        const Outcome o = run(statement);
        EXPECT_EQ(o.code, 0) << describe(o) << " for " << s(statement.GetNodeText());
        EXPECT_EQ(s(o.result), "");
        EXPECT_EQ(s(o.error), "");
    }

    // Runs a statement that must fail with code 1, "returnFAILED" and an error text that starts
    // with `error` (a provider adds its own detail after it).
    void fails(TIVRBase& statement, const QString& error)
    {
        const Outcome o = run(statement);
        EXPECT_EQ(o.code, 1) << describe(o);
        EXPECT_EQ(s(o.result), s(TIVRFlow::ResultName(1)));
        EXPECT_TRUE(o.error.startsWith(error)) << "error " << s(o.error) << " expected to start with " << s(error);
    }

    TIVRFlow flow;
};

// ---- the fake device for runs through the runner ----

// Qt's warnings while a run goes on: a connection used or removed on a thread that did not open
// it shows up here.
class QtMessages {
public:
    QtMessages()
    {
        std::lock_guard lock(mutex());
        list() = QStringList();
        previous_ = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            std::lock_guard lock(mutex());
            list() << text;
        });
    }
    ~QtMessages() { qInstallMessageHandler(previous_); }
    QStringList texts() const
    {
        std::lock_guard lock(mutex());
        return list();
    }

private:
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static QStringList& list()
    {
        static QStringList l;
        return l;
    }
    QtMessageHandler previous_ = nullptr;
};

// What a run saw of one definition's data set at a statement: the runner's thread and the
// connection in use there.
struct Sighting {
    QThread* thread = nullptr;
    QString connection;
};

// Runs the flow through the real runner on the fake device. A debug flow makes one pass; the
// error question is answered "continue" and its texts are collected. `watch` is looked at, on
// the runner thread, when the runner reaches `at`.
class Run {
public:
    Run(DbFlow& f, IVRDataBase* watch = nullptr, TIVRBase* at = nullptr) : flow_(f.flow), watch_(watch), at_(at)
    {
        flow_.setDevice(std::make_shared<NullDevice>());
        flow_.OnFinish = [this] { finished_ = true; };
        flow_.OnErrorQuestion = [this](const QString& text, const QString&) {
            errors_ << text;
            return true;
        };
        flow_.OnTrace = [this](FlowNode* node) {
            if (!watch_ || !at_ || node->statement() != at_) return;
            std::lock_guard lock(mutex_);
            sightings_.push_back({QThread::currentThread(), watch_->dataSet() ? watch_->dataSet()->connectionName() : QString()});
        };
        // A flow that is not a debug flow makes passes until it is stopped: stop it after `passes`.
        flow_.OnHangUp = [this](TIVRFlow* fl) {
            if (++passes_ >= stopAfter && fl->FlowThread()) fl->FlowThread()->requestStop();
        };
    }
    ~Run()
    {
        flow_.OnTrace = nullptr;
        flow_.OnHangUp = nullptr;
        flow_.OnErrorQuestion = nullptr;
        flow_.OnFinish = nullptr;
    }

    int stopAfter = 1;

    bool go()
    {
        finished_ = false;
        if (!flow_.Run({.debug = flow_.bDebug()})) return false;
        QDeadlineTimer deadline(30000);
        while (!finished_ && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!finished_) flow_.Stop();
        return finished_;
    }

    // The error texts of the run: each ends in the question to continue.
    QStringList errors() const { return errors_; }
    std::vector<Sighting> sightings() const
    {
        std::lock_guard lock(mutex_);
        return sightings_;
    }

    // The error text a statement's failure shows in the error question.
    static QString question(const QString& error)
    {
        const QString crlf2 = QStringLiteral("\r\n\r\n");
        return txt::ErrorContent + txt::Colon + crlf2 + error + crlf2 + txt::Continue;
    }

private:
    TIVRFlow& flow_;
    IVRDataBase* watch_;
    TIVRBase* at_;
    bool finished_ = false;
    std::atomic<int> passes_{0};
    QStringList errors_;
    mutable std::mutex mutex_;
    std::vector<Sighting> sightings_;
};

// Runs the flow (pass after pass) through the real runner, waits until the runner is at `at`
// and `underWay` says the statement there is running (by default: the data set of `at`'s
// definition runs a statement), and stops the run from this thread: how long Stop took, in
// milliseconds; -1 when the runner never got that far.
inline qint64 stopWhileAt(DbFlow& f, TIVROperateDataBase* at, std::function<bool()> underWay = {})
{
    TIVRFlow& flow = f.flow;
    flow.setDevice(std::make_shared<NullDevice>());
    std::atomic<bool> reached{false};
    flow.OnTrace = [&](FlowNode* node) {
        if (node->statement() == at) reached.store(true);
    };
    if (!underWay) underWay = [at] { return at->link.target()->dataSet()->running(); };
    if (!flow.Run({})) return -1;
    QDeadlineTimer deadline(60000);
    // The runner prepares the data set before it reaches the statement.
    while (!(reached.load() && underWay()) && !deadline.hasExpired()) QThread::msleep(5);
    const bool there = !deadline.hasExpired();
    QElapsedTimer timer;
    timer.start();
    flow.Stop();
    const qint64 took = timer.elapsed();
    flow.OnTrace = nullptr;
    return there ? took : -1;
}

// ---- the cases ----

struct Case {
    const char* name;
    std::function<void(DbFlow&, const Backend&)> run;
};

inline QString sql(const Backend& db, const char* text)
{
    return QString::fromUtf8(text).arg(db.table());
}

// A value as a number, whatever integer or float kind the provider gives.
inline double number(const Value& v)
{
    double d = -999;
    EXPECT_TRUE(v.toDouble(&d)) << describe(v);
    return d;
}

inline std::vector<Case> cases()
{
    return {
        {"OpenAndWalkPastTheEnds",
         [](DbFlow& f, const Backend& db) {
             IVRDataBase* d = f.definition("people", db.connectionString(), cmdText,
                                           sql(db, "SELECT id, name, score, note FROM %1 ORDER BY id"));
             IVRVariant* where = f.var("where", Value(77));
             IVRVariant* name = f.var("name");
             IVRField* readName = f.field(d, Value("name"), name);
             ASSERT_TRUE(d->PrepareDataSet(nullptr));
             f.ok(*f.op(d, dbOpen, where));
             EXPECT_EQ(where->value(), Value(3)) << describe(where->value());
             const struct {
                 TDataBaseOperateType move;
                 int number;  // the record number the data set reports
                 const char* name;
             } steps[] = {
                 {dbNext, 2, "Bob"},  {dbNext, 3, "Cid"},   {dbNext, 3, "Cid"},  {dbNext, 3, "Cid"},
                 {dbPrior, 2, "Bob"}, {dbPrior, 1, "Ann"},  {dbPrior, 1, "Ann"}, {dbPrior, 1, "Ann"},
                 {dbLast, 3, "Cid"},  {dbFirst, 1, "Ann"},  {dbLast, 3, "Cid"},  {dbPrior, 2, "Bob"},
             };
             int i = 0;
             for (const auto& step : steps) {
                 SCOPED_TRACE(i++);
                 f.ok(*f.op(d, step.move, where));
                 EXPECT_EQ(where->value(), Value(step.number)) << describe(where->value());
                 f.ok(*readName);
                 EXPECT_EQ(s(name->value().asString()), step.name);
             }
             const DataSet* ds = d->dataSet();
             f.ok(*f.op(d, dbLast));
             f.ok(*f.op(d, dbNext));
             EXPECT_TRUE(ds->eof());
             f.ok(*f.op(d, dbFirst));
             f.ok(*f.op(d, dbPrior));
             EXPECT_TRUE(ds->bof());
             // Closing empties the variable; moving a closed data set fails and leaves it alone.
             f.ok(*f.op(d, dbClose, where));
             EXPECT_TRUE(where->value().isEmpty());
             where->setValue(Value(5));
             for (TDataBaseOperateType move : {dbFirst, dbPrior, dbNext, dbLast}) {
                 f.fails(*f.op(d, move, where), QString::fromLatin1(DataSet::ClosedMessage));
                 EXPECT_EQ(where->value(), Value(5));
             }
             // A closed data set has no fields.
             name->setValue(Value("kept"));
             f.fails(*readName, QStringLiteral("Field 'name' not found"));
             EXPECT_EQ(s(name->value().asString()), "kept");
             // No operation succeeds and empties the variable.
             f.ok(*f.op(d, dbNull, where));
             EXPECT_TRUE(where->value().isEmpty());
         }},
        {"EmptyResult",
         [](DbFlow& f, const Backend& db) {
             IVRDataBase* d = f.definition("none", db.connectionString(), cmdText, sql(db, "SELECT * FROM %1 WHERE id < 0"));
             IVRVariant* n = f.var("n");
             f.ok(*f.op(d, dbOpen, n));
             EXPECT_EQ(n->value(), Value(0));
             f.ok(*f.op(d, dbFirst, n));
             EXPECT_EQ(n->value(), Value(0));
             EXPECT_TRUE(d->dataSet()->bof() && d->dataSet()->eof());
             // A field of an empty data set reads as null, which the flow reads as empty.
             IVRVariant* v = f.var("v", Value(1));
             f.ok(*f.field(d, Value("name"), v));
             EXPECT_TRUE(v->value().isNull());
         }},
        {"FieldsByNameAndPosition",
         [](DbFlow& f, const Backend& db) {
             IVRDataBase* d = f.definition("people", db.connectionString(), cmdUnknown,
                                           sql(db, "SELECT id, name, score, note FROM %1 ORDER BY id"));
             IVRVariant* v = f.var("v");
             f.ok(*f.op(d, dbOpen));
             f.ok(*f.field(d, Value(0), v));
             EXPECT_EQ(number(v->value()), 1);
             f.ok(*f.field(d, Value(1), v));
             EXPECT_EQ(v->value(), Value("Ann"));
             f.ok(*f.field(d, Value::int64(2), v));
             EXPECT_EQ(v->value(), Value(1.5));
             f.ok(*f.field(d, Value("SCORE"), v));
             EXPECT_EQ(v->value(), Value(1.5));
             f.ok(*f.field(d, Value("note"), v));
             EXPECT_TRUE(v->value().isNull()) << describe(v->value());
             // The id read from the database is a position, whatever width the provider gives it.
             IVRVariant* id = f.var("id");
             f.ok(*f.field(d, Value("id"), id));
             f.ok(*f.fieldAt(d, id, v));
             EXPECT_EQ(v->value(), Value("Ann"));

             // The string 0 and the float 1.0 are names; failures leave the variable alone.
             v->setValue(Value("kept"));
             f.fails(*f.field(d, Value("0"), v), QStringLiteral("Field '0' not found"));
             f.fails(*f.field(d, Value(1.0), v), QStringLiteral("Field '1' not found"));
             f.fails(*f.field(d, Value("nosuch"), v), QStringLiteral("Field 'nosuch' not found"));
             f.fails(*f.field(d, Value(4), v), QStringLiteral("List index out of bounds (4)"));
             f.fails(*f.field(d, Value(-1), v), QStringLiteral("List index out of bounds (-1)"));
             f.fails(*f.field(d, Value::int64(int64_t(1) << 40), v),
                     QStringLiteral("List index out of bounds (1099511627776)"));
             EXPECT_EQ(v->value(), Value("kept"));
         }},
        {"ParametersAndExecute",
         [](DbFlow& f, const Backend& db) {
             IVRDataBase* d = f.definition("update", db.connectionString(), cmdText,
                                           sql(db, "UPDATE %1 SET score = :score, note = :note WHERE id = :id"));
             IVRVariant* n = f.var("n", Value(99));
             ASSERT_TRUE(d->PrepareDataSet(nullptr));
             // By name (a leading ':' may be given) and by position.
             f.ok(*f.param(d, Value("score"), Value(9.25)));
             f.ok(*f.param(d, Value(":note"), Value("changed")));
             f.ok(*f.param(d, Value(2), Value::int64(2)));
             f.ok(*f.op(d, dbExecute, n));
             EXPECT_EQ(n->value(), Value(1)) << describe(n->value());

             // A parameter that is not there: the provider's message and the hint.
             const QString hint = QStringLiteral("\r\nOnly SQLStatement Command Type can be set param");
             const Outcome unknown = f.run(*f.param(d, Value("nope"), Value(1)));
             EXPECT_EQ(unknown.code, 1);
             EXPECT_EQ(s(unknown.result), "returnFAILED");
             EXPECT_EQ(s(unknown.error), s(QStringLiteral("Parameter 'nope' not found") + hint));
             EXPECT_EQ(s(f.run(*f.param(d, Value(3), Value(1))).error), s(QStringLiteral("List index out of bounds (3)") + hint));

             // The values read back; then the command replaced for the rest of the pass.
             IVRVariant* v = f.var("v");
             f.ok(*f.command(d, cmdText, Value(sql(db, "SELECT score, note FROM %1 WHERE id = 2"))));
             f.ok(*f.op(d, dbOpen, n));
             EXPECT_EQ(n->value(), Value(1));
             f.ok(*f.field(d, Value(0), v));
             EXPECT_EQ(v->value(), Value(9.25));
             f.ok(*f.field(d, Value(1), v));
             EXPECT_EQ(v->value(), Value("changed"));
             f.ok(*f.op(d, dbClose));

             // A SELECT reports no rows affected, also after a statement that changed rows.
             f.ok(*f.command(d, cmdText, Value(sql(db, "UPDATE %1 SET note = 'x'"))));
             f.ok(*f.op(d, dbExecute, n));
             EXPECT_EQ(n->value(), Value(3));
             f.ok(*f.command(d, cmdText, Value(sql(db, "SELECT * FROM %1"))));
             f.ok(*f.op(d, dbExecute, n));
             EXPECT_EQ(n->value(), Value(-1)) << describe(n->value());
             f.ok(*f.command(d, cmdText, Value(sql(db, "DELETE FROM %1 WHERE id > 1"))));
             f.ok(*f.op(d, dbExecute, n));
             EXPECT_EQ(n->value(), Value(2));

             // The next pass has the definition's own command again, without values.
             ASSERT_TRUE(d->PrepareDataSet(nullptr));
             EXPECT_EQ(d->dataSet()->commandText(), d->CommandText);
             f.fails(*f.op(d, dbExecute, n), QStringLiteral("No value given for parameter"));
             EXPECT_EQ(n->value(), Value(2));
         }},
        {"SqlErrorsAreTheProvidersMessage",
         [](DbFlow& f, const Backend& db) {
             IVRDataBase* d = f.definition("broken", db.connectionString(), cmdText, QStringLiteral("SELECT * FROM nosuch_table"));
             IVRVariant* n = f.var("n", Value(7));
             for (TDataBaseOperateType o : {dbOpen, dbExecute}) {
                 const Outcome out = f.run(*f.op(d, o, n));
                 EXPECT_EQ(out.code, 1);
                 EXPECT_EQ(s(out.result), "returnFAILED");
                 EXPECT_TRUE(out.error.contains(QStringLiteral("nosuch_table"), Qt::CaseInsensitive)) << s(out.error);
                 EXPECT_EQ(n->value(), Value(7));
             }
             // The connection is still good for the next statement.
             f.ok(*f.command(d, cmdText, Value(sql(db, "SELECT name FROM %1"))));
             f.ok(*f.op(d, dbOpen, n));
             EXPECT_EQ(n->value(), Value(3));
         }},
        {"BlobsKeepTheirBytes",
         [](DbFlow& f, const Backend& db) {
             // A NUL, bytes that are no text, a backslash and a quote.
             const QByteArray bytes("\x00\xff\x41\x80\x5c\x27\xe9", 7);
             IVRDataBase* source = f.definition("source", db.connectionString(), cmdText, db.blobSelect());
             IVRDataBase* store = f.definition("store", db.connectionString(), cmdText,
                                               sql(db, "CREATE TABLE %1_blob (b ") + db.blobType() + QLatin1Char(')'));
             IVRVariant* blob = f.var("blob");
             IVRVariant* back = f.var("back");
             IVRVariant* length = f.var("length");
             f.ok(*f.op(source, dbOpen));
             f.ok(*f.field(source, Value("a"), blob));
             QVariant asParam;
             QString e;
             ASSERT_TRUE(dbvalue::toParam(blob->value(), &asParam, &e)) << s(e);
             EXPECT_EQ(asParam.typeId(), QMetaType::QByteArray) << describe(blob->value());
             EXPECT_EQ(asParam.toByteArray().toHex(), bytes.toHex());

             f.ok(*f.op(store, dbExecute));
             f.ok(*f.command(store, cmdText, Value(sql(db, "INSERT INTO %1_blob (b) VALUES (:b)"))));
             IVRParam* param = f.param(store, Value("b"), Value());
             param->variantLink.LinkTo(blob);
             f.ok(*param);
             f.ok(*f.op(store, dbExecute));
             f.ok(*f.command(store, cmdText, Value(sql(db, "SELECT b, length(b) AS n FROM %1_blob"))));
             f.ok(*f.op(store, dbOpen));
             f.ok(*f.field(store, Value("b"), back));
             f.ok(*f.field(store, Value("n"), length));
             EXPECT_EQ(number(length->value()), 7);
             ASSERT_TRUE(dbvalue::toParam(back->value(), &asParam, &e)) << s(e);
             EXPECT_EQ(asParam.typeId(), QMetaType::QByteArray) << describe(back->value());
             EXPECT_EQ(asParam.toByteArray().toHex(), bytes.toHex());
             // The flow sees a byte string: its length counts bytes.
             EXPECT_EQ(back->value(), blob->value());
         }},
        {"WideIntegersReadWhole",
         [](DbFlow& f, const Backend& db) {
             IVRDataBase* d = f.definition("wide", db.connectionString(), cmdText,
                                           sql(db, "SELECT 9000000000 + id AS big, -9000000000 - id AS low FROM %1 ORDER BY id"));
             IVRVariant* v = f.var("v");
             f.ok(*f.op(d, dbOpen));
             f.ok(*f.field(d, Value("big"), v));
             EXPECT_EQ(v->value(), Value::int64(9000000001LL)) << describe(v->value());
             f.ok(*f.field(d, Value("low"), v));
             EXPECT_EQ(v->value(), Value::int64(-9000000001LL)) << describe(v->value());
         }},
        {"CommandOnAnOpenDataSetChangesNothing",
         [](DbFlow& f, const Backend& db) {
             IVRDataBase* d = f.definition("people", db.connectionString(), cmdText, sql(db, "SELECT name FROM %1 ORDER BY id"));
             IVRVariant* n = f.var("n");
             f.ok(*f.op(d, dbOpen, n));
             const QString open = QString::fromLatin1(DataSet::OpenMessage);
             f.fails(*f.command(d, cmdText, Value(sql(db, "SELECT id FROM %1"))), open);
             f.fails(*f.command(d, cmdTable, Value(db.table())), open);
             EXPECT_EQ(d->dataSet()->commandType(), int(cmdText));
             EXPECT_EQ(d->dataSet()->commandText(), d->CommandText);
             f.ok(*f.op(d, dbClose));
             // A table by its name; then the definition's own command again at the next pass.
             f.ok(*f.command(d, cmdTable, Value(db.table())));
             f.ok(*f.op(d, dbOpen, n));
             EXPECT_EQ(n->value(), Value(3));
             IVRVariant* v = f.var("v");
             f.ok(*f.field(d, Value("score"), v));
             EXPECT_GT(number(v->value()), 1);
             ASSERT_TRUE(d->PrepareDataSet(nullptr));
             EXPECT_FALSE(d->dataSet()->active());
             EXPECT_EQ(d->dataSet()->commandType(), int(cmdText));
             EXPECT_EQ(d->dataSet()->commandText(), d->CommandText);
         }},
    };
}

}  // namespace dbcases
