#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/connectionstring.h"

namespace {

std::string s(const QString& text)
{
    return text.toStdString();
}

QString pairsText(const ConnectionPairs& pairs)
{
    QStringList parts;
    for (const ConnectionPair& p : pairs) parts << QLatin1Char('[') + p.key + QStringLiteral("]=[") + p.value + QLatin1Char(']');
    return parts.join(QLatin1Char(' '));
}

struct ParseCase {
    const char* text;
    const char* pairs;  // "[key]=[value] ..." or, for a failure, nullptr
    const char* error;  // part of the error text
};

const ParseCase parseCases[] = {
    {"Provider=SQLite;Data Source=a.db", "[Provider]=[SQLite] [Data Source]=[a.db]", nullptr},
    {"  Provider = SQLite ;  Data Source =  a b.db  ;", "[Provider]=[SQLite] [Data Source]=[a b.db]", nullptr},
    {"data SOURCE=x", "[data SOURCE]=[x]", nullptr},
    {"Data Source=\"x;y.db\";Mode=Read", "[Data Source]=[x;y.db] [Mode]=[Read]", nullptr},
    {"Data Source=  ' padded ;' ; Mode=1", "[Data Source]=[ padded ;] [Mode]=[1]", nullptr},
    {"Password='it''s';User ID=\"say \"\"hi\"\"\"", "[Password]=[it's] [User ID]=[say \"hi\"]", nullptr},
    {"Password=\"it's\"", "[Password]=[it's]", nullptr},
    {"A=;B=2", "[A]=[] [B]=[2]", nullptr},
    {";;A=1;;", "[A]=[1]", nullptr},
    {"", "", nullptr},
    {"   ", "", nullptr},
    {"A=b=c", "[A]=[b=c]", nullptr},
    {"Extended Properties=\"DSN=x;UID=y\";Data Source=x", "[Extended Properties]=[DSN=x;UID=y] [Data Source]=[x]", nullptr},
    {"Driver={SQLite3 ODBC; Driver};Database=x", "[Driver]=[{SQLite3 ODBC; Driver}] [Database]=[x]", nullptr},
    {"PWD={a}}b;c}", "[PWD]=[{a}}b;c}]", nullptr},
    {"Name=a\"b", "[Name]=[a\"b]", nullptr},
    {"junk", nullptr, "\"junk\" has no \"=\""},
    {"A=1; junk ;B=2", nullptr, "\"junk\" has no \"=\""},
    {"=x", nullptr, "a value without a key"},
    {"A=1;  = x", nullptr, "a value without a key"},
    {"A=\"abc", nullptr, "the value of \"A\" has no closing \""},
    {"A='abc''", nullptr, "the value of \"A\" has no closing '"},
    {"A={abc", nullptr, "the value of \"A\" has no closing }"},
    {"A='x' y;B=1", nullptr, "text after the quoted value of \"A\""},
};

TEST(ConnectionString, ParsesTheClassicSyntax)
{
    for (const ParseCase& c : parseCases) {
        SCOPED_TRACE(c.text);
        ConnectionPairs pairs;
        QString error;
        const bool ok = connectionstring::parse(QString::fromUtf8(c.text), &pairs, &error);
        if (c.pairs) {
            ASSERT_TRUE(ok) << s(error);
            EXPECT_EQ(s(pairsText(pairs)), c.pairs);
        } else {
            ASSERT_FALSE(ok);
            EXPECT_TRUE(error.startsWith(QStringLiteral("Invalid connection string: "))) << s(error);
            EXPECT_TRUE(error.contains(QString::fromUtf8(c.error))) << s(error);
        }
    }
}

TEST(ConnectionString, LooksKeysUpWithoutRegardToCaseLastOneWins)
{
    ConnectionPairs pairs;
    ASSERT_TRUE(connectionstring::parse(QStringLiteral("a=1;DATA source=x;A=2"), &pairs));
    EXPECT_EQ(s(connectionstring::value(pairs, u"A")), "2");
    EXPECT_EQ(s(connectionstring::value(pairs, u"Data Source")), "x");
    EXPECT_EQ(connectionstring::indexOf(pairs, u"data source"), 1);
    EXPECT_EQ(connectionstring::indexOf(pairs, u"Missing"), -1);
    EXPECT_TRUE(connectionstring::value(pairs, u"Missing").isEmpty());
}

TEST(ConnectionString, WriterQuotesWhatNeedsItAndReadsBackTheSame)
{
    const struct {
        const char* value;
        const char* written;
    } cases[] = {
        {"plain", "plain"},
        {"", ""},
        {"a;b", "\"a;b\""},
        {" lead", "\" lead\""},
        {"trail ", "\"trail \""},
        {"\"hi\"", "'\"hi\"'"},
        {"'single'", "\"'single'\""},
        {"it's \"x\";", "\"it's \"\"x\"\";\""},
        {"{brace", "\"{brace\""},
        {"a=b", "a=b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const QString value = QString::fromUtf8(c.value);
        EXPECT_EQ(s(connectionstring::quoteValue(value)), c.written);
        const QString text = connectionstring::write({{QStringLiteral("Key"), value, {}, 0, 0}, {QStringLiteral("Next"), QStringLiteral("1"), {}, 0, 0}});
        ConnectionPairs back;
        ASSERT_TRUE(connectionstring::parse(text, &back)) << s(text);
        ASSERT_EQ(back.size(), 2);
        EXPECT_EQ(s(back[0].value), c.value);
        EXPECT_EQ(s(back[1].value), "1");
    }
    // A braced ODBC value is written as it was read.
    ConnectionPairs pairs;
    ASSERT_TRUE(connectionstring::parse(QStringLiteral("Driver={A; B};X=1"), &pairs));
    EXPECT_EQ(s(connectionstring::write(pairs)), "Driver={A; B};X=1");
}

QString flowFolder(const QString& name)
{
    if (name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char(':'))) return name;
    return QStringLiteral("/flows/") + name;
}

TEST(ConnectionString, RewritesOnlyTheFileNameKey)
{
    const struct {
        const char* text;
        const char* rewritten;
    } cases[] = {
        {"File Name=db.udl", "File Name=/flows/db.udl"},
        {"FILE NAME=db.udl;Persist Security Info=False", "FILE NAME=/flows/db.udl;Persist Security Info=False"},
        {"Provider=X;file name= db.udl ;Mode=Read", "Provider=X;file name=/flows/db.udl;Mode=Read"},
        {"Mode=Read;  File name =db.udl", "Mode=Read;  File name =/flows/db.udl"},
        {"File Name=/abs/db.udl;A=1", "File Name=/abs/db.udl;A=1"},
        {"File Name=C:\\links\\db.udl", "File Name=C:\\links\\db.udl"},
        // A value that holds the words is not the key.
        {"Data Source=\"FILE NAME=x.db\";Mode=1", "Data Source=\"FILE NAME=x.db\";Mode=1"},
        {"Data Source=my file name=x.db", "Data Source=my file name=x.db"},
        {"Password=\"a;File Name=b\";File Name='my;db.udl';X=1", "Password=\"a;File Name=b\";File Name='/flows/my;db.udl';X=1"},
        {"File Name=\"it\"\"s.udl\"", "File Name=\"/flows/it\"\"s.udl\""},
        {"File Name=a;b=1;file name=c", "File Name=/flows/a;b=1;file name=/flows/c"},
        {"FileName=db.udl", "FileName=db.udl"},
        {"Provider=SQLite;Data Source=a.db", "Provider=SQLite;Data Source=a.db"},
        // Texts that do not parse are left to fail where they are used.
        {"Provider=SQLite;FILE NAME", "Provider=SQLite;FILE NAME"},
        {"File Name=\"db.udl", "File Name=\"db.udl"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(s(connectionstring::rewriteFileName(QString::fromUtf8(c.text), flowFolder)), c.rewritten);
    }
    // A path that would end the value is quoted.
    EXPECT_EQ(s(connectionstring::rewriteFileName(QStringLiteral("File Name=db.udl;A=1"),
                                                  [](const QString& n) { return QStringLiteral("/a;b/") + n; })),
              "File Name=\"/a;b/db.udl\";A=1");
}

struct TargetCase {
    const char* text;
    const char* target;  // driver|database|host|port|user|password|options, or nullptr
    const char* error;
};

QString targetText(const ConnectionTarget& t)
{
    return QStringList{t.driver, t.databaseName, t.hostName, QString::number(t.port), t.userName, t.password, t.connectOptions}.join(
        QLatin1Char('|'));
}

const TargetCase targetCases[] = {
    {"Data Source=a.db", "QSQLITE|/flows/a.db||-1|||", nullptr},
    {"Provider=sqlite;Data Source=/abs/a.db", "QSQLITE|/abs/a.db||-1|||", nullptr},
    {"Provider=SQLite;Data Source=sub\\a.db", "QSQLITE|/flows/sub/a.db||-1|||", nullptr},
    {"Provider=SQLite", nullptr, "names no database file"},
    {"", nullptr, "names no database file"},
    {"Provider=PostgreSQL;Server=h;Port=5433;Database=d;User ID=u;Password=\"p;w\"", "QPSQL|d|h|5433|u|p;w|connect_timeout=15", nullptr},
    {"provider=postgresql;Data Source=h;Initial Catalog=d;Connect Timeout=3", "QPSQL|d|h|-1|||connect_timeout=3", nullptr},
    {"Provider=PostgreSQL;Data Source=h;Port=abc", nullptr, "Port \"abc\" is not a port number"},
    {"Provider=PostgreSQL;Data Source=h;Port=70000", nullptr, "Port \"70000\" is not a port number"},
    {"Provider=PostgreSQL;Connect Timeout=soon", nullptr, "Connect Timeout \"soon\""},
    // The client library's own keys reach it, quoted its way; Host= and its synonyms name the server.
    {"Provider=PostgreSQL;Host=h;dbname=d;user=u;SSLMode=require;application_name=it's a\\b",
     "QPSQL|d|h|-1|u||connect_timeout=15;sslmode='require';application_name='it\\'s a\\\\b'", nullptr},
    {"Provider=PostgreSQL;Host=h;Persist Security Info=False;connect_timeout=4;sslmode=a;sslmode=disable",
     "QPSQL||h|-1|||connect_timeout=4;sslmode='disable'", nullptr},
    {"Provider=PostgreSQL;Server=h;Data Source=g", "QPSQL||g|-1|||connect_timeout=15", nullptr},
    {"Provider=PostgreSQL;Server=h;host=g", nullptr, "Server and host both name the server: give one of them"},
    {"Provider=PostgreSQL;Host=h;Data Source=h", nullptr, "Host and Data Source both name the server: give one of them"},
    {"Provider=PostgreSQL;Host=h;SSL Mode=require", nullptr, "\"SSL Mode\" is not a key PostgreSQL knows"},
    {"Provider=PostgreSQL;Host=h;options=\"-c a=1;b\"", nullptr, "the value of \"options\" cannot hold a ';'"},
    {"Provider=MSDASQL.1;Persist Security Info=False;Data Source=mydsn;User ID=u;Password=p",
     "QODBC|mydsn;Persist Security Info=False;UID=u;PWD=p||-1|||", nullptr},
    // The SQLite driver is asked for 64-bit integers and waits for locks in short slices.
    {"Provider=ODBC;Driver={SQLite3};Database=/x.db", "QODBC|Driver={SQLite3};Database=/x.db;BigInt=1;Timeout=100||-1|||", nullptr},
    {"Provider=ODBC;Driver=SQLite3;Database=/x.db;bigint=0;TIMEOUT=30000", "QODBC|Driver=SQLite3;Database=/x.db;bigint=0;Timeout=100||-1|||",
     nullptr},
    {"Provider=ODBC;Driver=SQLite3;Database=/x.db;Timeout=soon", nullptr, "Timeout \"soon\" is not a number of milliseconds"},
    {"Provider=ODBC;DSN=x;Timeout=5", "QODBC|x;Timeout=5||-1|||", nullptr},
    {"Provider=MSDASQL;Extended Properties=\"DSN=x;UID=y\";Data Source=x", "QODBC|x;UID=y||-1|||", nullptr},
    {"Provider=ODBC;UID=u;FILEDSN=/etc/a.dsn", "QODBC|/etc/a.dsn;UID=u||-1|||", nullptr},
    {"Provider=ODBC;DSN=x;PWD=\"a;b\"", "QODBC|x;PWD={a;b}||-1|||", nullptr},
    {"Provider=ODBC;UID=u", nullptr, "needs a DSN, FILEDSN or DRIVER key"},
    {"Provider=ODBC;DSN=my.dsnthing", nullptr, "needs a FILEDSN key"},
    {"Provider=SQLOLEDB.1;Data Source=x", nullptr,
     "Unknown provider \"SQLOLEDB.1\": the providers are SQLite, PostgreSQL, MSDASQL and ODBC"},
    {"Provider=Oracle", nullptr, "Unknown provider \"Oracle\""},
    {"Provider=SQLite;Data Source", nullptr, "Invalid connection string"},
};

TEST(ConnectionString, ChoosesTheDriverByProvider)
{
    for (const TargetCase& c : targetCases) {
        SCOPED_TRACE(c.text);
        ConnectionTarget target;
        QString error;
        const bool ok = connectionstring::resolve(QString::fromUtf8(c.text), flowFolder, &target, &error);
        if (c.target) {
            ASSERT_TRUE(ok) << s(error);
            EXPECT_EQ(s(targetText(target)), c.target);
        } else {
            ASSERT_FALSE(ok);
            EXPECT_TRUE(error.contains(QString::fromUtf8(c.error))) << s(error);
        }
    }
}

// The SQLite ODBC driver's lock wait (its Timeout, 100 s when not given) is the data set's to
// wait, so a stop can end it.
TEST(ConnectionString, SqliteOdbcLockWaitIsTheDataSets)
{
    const struct {
        const char* text;
        int wait;
    } cases[] = {
        {"Provider=ODBC;Driver=SQLite3;Database=/x.db", 100000},
        {"Provider=ODBC;Driver={SQLite3 ODBC Driver};Database=/x.db;timeout=2500", 2500},
        {"Provider=ODBC;DSN=x", -1},
        {"Data Source=a.db", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ConnectionTarget t;
        ASSERT_TRUE(connectionstring::resolve(QString::fromUtf8(c.text), flowFolder, &t, nullptr));
        EXPECT_EQ(t.lockWaitMs, c.wait);
    }
}

TEST(ConnectionString, EqualTargetsShareAKey)
{
    ConnectionTarget a, b, c;
    ASSERT_TRUE(connectionstring::resolve(QStringLiteral("Data Source=a.db"), flowFolder, &a, nullptr));
    ASSERT_TRUE(connectionstring::resolve(QStringLiteral("Provider=SQLite;data source=/flows/a.db;"), flowFolder, &b, nullptr));
    ASSERT_TRUE(connectionstring::resolve(QStringLiteral("Data Source=b.db"), flowFolder, &c, nullptr));
    EXPECT_EQ(a.key(), b.key());
    EXPECT_NE(a.key(), c.key());
}

class DataLinkFile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
    PathResolver resolver() const
    {
        return [this](const QString& name) { return QDir::isRelativePath(name) ? dir.filePath(name) : name; };
    }
    void write(const QString& name, const QByteArray& bytes)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray utf16(const QString& text)
    {
        QByteArray bytes("\xFF\xFE", 2);
        for (QChar c : text) {
            bytes.append(char(c.unicode() & 0xFF));
            bytes.append(char(c.unicode() >> 8));
        }
        return bytes;
    }
    static QString classic(const QString& connection)
    {
        return QStringLiteral("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n") + connection + QStringLiteral("\r\n");
    }
};

TEST_F(DataLinkFile, ReadsUtf16AndUtf8Files)
{
    const QString connection = QStringLiteral("Provider=SQLite;Data Source=数据.db");
    write(QStringLiteral("wide.udl"), utf16(classic(connection)));
    write(QStringLiteral("bom8.udl"), QByteArray("\xEF\xBB\xBF") + classic(connection).toUtf8());
    write(QStringLiteral("plain.udl"), classic(connection).toUtf8());
    QByteArray noBom = utf16(classic(connection));
    noBom.remove(0, 2);
    write(QStringLiteral("nobom.udl"), noBom);
    for (const char* name : {"wide.udl", "bom8.udl", "plain.udl", "nobom.udl"}) {
        SCOPED_TRACE(name);
        QString read, error;
        ASSERT_TRUE(connectionstring::readDataLinkFile(path(QString::fromLatin1(name)), &read, &error)) << s(error);
        EXPECT_EQ(read, connection);
    }
}

TEST_F(DataLinkFile, NamedByFileNameItGivesTheConnection)
{
    write(QStringLiteral("link.udl"), utf16(classic(QStringLiteral("Provider=SQLite;Data Source=data.db;Mode=Read"))));
    ConnectionTarget target;
    QString error;
    ASSERT_TRUE(connectionstring::resolve(QStringLiteral("File Name=link.udl"), resolver(), &target, &error)) << s(error);
    EXPECT_EQ(target.driver, QStringLiteral("QSQLITE"));
    // The database file named inside is resolved like the link itself.
    EXPECT_EQ(target.databaseName, path(QStringLiteral("data.db")));
    // Keys of the string itself go over those of the file.
    ASSERT_TRUE(connectionstring::resolve(QStringLiteral("file name=link.udl;Data Source=other.db"), resolver(), &target, &error))
        << s(error);
    EXPECT_EQ(target.databaseName, path(QStringLiteral("other.db")));
}

TEST_F(DataLinkFile, FailuresNameTheFile)
{
    write(QStringLiteral("empty.udl"), utf16(QStringLiteral("[oledb]\r\n; nothing here\r\n\r\n")));
    write(QStringLiteral("nested.udl"), utf16(classic(QStringLiteral("File Name=empty.udl"))));
    write(QStringLiteral("bad.udl"), utf16(classic(QStringLiteral("Provider=SQLite;Data Source"))));
    write(QStringLiteral("binary.udl"), QByteArray("\xC3\x28\xA0\xA1 not text"));
    const struct {
        const char* text;
        QString error;
    } cases[] = {
        {"File Name=missing.udl", QStringLiteral("Data link file not found: ") + path(QStringLiteral("missing.udl"))},
        {"File Name=empty.udl", QStringLiteral("Data link file holds no connection string: ") + path(QStringLiteral("empty.udl"))},
        {"File Name=nested.udl", QStringLiteral("Data link file %1 names another data link file").arg(path(QStringLiteral("nested.udl")))},
        {"File Name=bad.udl", QStringLiteral("(in data link file %1)").arg(path(QStringLiteral("bad.udl")))},
        {"File Name=binary.udl", QStringLiteral("it is not UTF-16 or UTF-8 text")},
        {"File Name=", QStringLiteral("File Name is empty")},
        {"File Name=.", QStringLiteral("Data link file not found")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ConnectionTarget target;
        QString error;
        ASSERT_FALSE(connectionstring::resolve(QString::fromUtf8(c.text), resolver(), &target, &error));
        EXPECT_TRUE(error.contains(c.error)) << s(error);
    }
}

}  // namespace
