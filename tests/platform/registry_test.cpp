#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QThread>

#include <climits>
#include <functional>
#include <stdexcept>
#include <vector>

#include "platform/registry.h"
#include "support/damagedstore.h"
#include "support/oddfiles.h"

using Status = RegistryStore::Status;

namespace {

const QString Product = QStringLiteral("Software\\Sorvix");

class RegistryTest : public ::testing::Test {
protected:
    QString file() const { return dir.filePath(QStringLiteral("registry.db")); }

    QStringList values(const QString& key)
    {
        QStringList names;
        EXPECT_TRUE(store.valueNames(key, &names)) << qPrintable(store.errorString());
        return names;
    }
    QStringList subKeys(const QString& key)
    {
        QStringList names;
        EXPECT_TRUE(store.subKeyNames(key, &names)) << qPrintable(store.errorString());
        return names;
    }
    QString text(const QString& key, const QString& name)
    {
        QString value = QStringLiteral("<unset>");
        const Status status = store.readString(key, name, &value);
        return status == Status::Ok ? value : QStringLiteral("<status %1>").arg(int(status));
    }

    QTemporaryDir dir;
    RegistryStore store{file()};
};

QStringList registryConnections()
{
    return QSqlDatabase::connectionNames().filter(QStringLiteral("sorvix-registry-"));
}

}  // namespace

// One store, a script of operations, each with the result it must give.
TEST_F(RegistryTest, OperationTable)
{
    enum Op { CreateKey, KeyExists, DeleteKey, WriteStr, WriteInt, ReadStr, ReadInt, DeleteValue, ValueExists };
    struct Step {
        Op op;
        const char* key;
        const char* name;
        const char* text;  // written, or expected when read
        int32_t number;    // written, or expected when read
        int expected;      // bool result, or the Status of a read
    };
    const int Ok = int(Status::Ok), Missing = int(Status::Missing), WrongType = int(Status::WrongType);
    const Step steps[] = {
        {KeyExists, "Software\\Sorvix", "", "", 0, false},
        {WriteStr, "Software\\Sorvix", "Address", "Line 1", 0, false},  // the key must exist first
        {ReadStr, "Software\\Sorvix", "Address", "", 0, Missing},
        {CreateKey, "Software\\Sorvix\\Authorizated\\Channel 1", "", "", 0, true},
        {KeyExists, "Software", "", "", 0, true},
        {KeyExists, "\\Software\\Sorvix\\", "", "", 0, true},  // separators at the ends do not matter
        {KeyExists, "Software\\\\Sorvix", "", "", 0, true},
        {KeyExists, "Software\\Sorvix\\Authorizated\\Channel 2", "", "", 0, false},
        {CreateKey, "Software\\Sorvix", "", "", 0, true},  // creating an existing key succeeds
        {WriteStr, "Software\\Sorvix", "Address", "Line 1", 0, true},
        {ReadStr, "Software\\Sorvix", "Address", "Line 1", 0, Ok},
        {WriteStr, "Software\\Sorvix", "Address", "Line 2", 0, true},  // replaced
        {ReadStr, "Software\\Sorvix", "Address", "Line 2", 0, Ok},
        {WriteStr, "Software\\Sorvix", "Gateway", "", 0, true},  // empty text is a value, not a missing one
        {ReadStr, "Software\\Sorvix", "Gateway", "", 0, Ok},
        {ValueExists, "Software\\Sorvix", "Gateway", "", 0, true},
        {WriteInt, "Software\\Sorvix", "HookSwitchMode", "", 4, true},
        {ReadInt, "Software\\Sorvix", "HookSwitchMode", "", 4, Ok},
        {ReadStr, "Software\\Sorvix", "HookSwitchMode", "", 0, WrongType},
        {ReadInt, "Software\\Sorvix", "Address", "", 0, WrongType},
        {WriteInt, "Software\\Sorvix", "Min", "", INT32_MIN, true},
        {ReadInt, "Software\\Sorvix", "Min", "", INT32_MIN, Ok},
        {WriteInt, "Software\\Sorvix", "Max", "", INT32_MAX, true},
        {ReadInt, "Software\\Sorvix", "Max", "", INT32_MAX, Ok},
        {WriteInt, "Software\\Sorvix", "Address", "", -1, true},  // a write may change the type
        {ReadInt, "Software\\Sorvix", "Address", "", -1, Ok},
        {ReadStr, "Software\\Sorvix", "Address", "", 0, WrongType},
        {WriteStr, "Software\\Sorvix", "", "default", 0, true},  // the unnamed value
        {ReadStr, "Software\\Sorvix", "", "default", 0, Ok},
        {ReadStr, "Software\\Nowhere", "Address", "", 0, Missing},
        {ReadInt, "Software\\Sorvix", "Nothing", "", 0, Missing},
        {DeleteValue, "Software\\Sorvix", "Gateway", "", 0, true},
        {ValueExists, "Software\\Sorvix", "Gateway", "", 0, false},
        {ReadStr, "Software\\Sorvix", "Gateway", "", 0, Missing},
        {DeleteValue, "Software\\Sorvix", "Gateway", "", 0, false},  // nothing left to delete
        {DeleteValue, "Software\\Nowhere", "Gateway", "", 0, false},
        {DeleteKey, "Software\\Sorvix\\Authorizated\\Channel 2", "", "", 0, false},
        {DeleteKey, "Software\\Sorvix\\Authorizated", "", "", 0, true},
        {KeyExists, "Software\\Sorvix\\Authorizated\\Channel 1", "", "", 0, false},
        {KeyExists, "Software\\Sorvix", "", "", 0, true},
        {DeleteKey, "", "", "", 0, false},  // the root stays
        {DeleteKey, "\\", "", "", 0, false},
        {KeyExists, "", "", "", 0, true},
    };

    int row = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "step " << row++ << " key " << s.key << " name " << s.name);
        const QString key = QString::fromUtf8(s.key), name = QString::fromUtf8(s.name);
        const QString wantText = QString::fromUtf8(s.text);
        QString readText;
        int32_t readNumber = 0;
        int result = -1;
        switch (s.op) {
        case CreateKey: result = store.createKey(key); break;
        case KeyExists: result = store.keyExists(key); break;
        case DeleteKey: result = store.deleteKey(key); break;
        case WriteStr: result = store.writeString(key, name, wantText); break;
        case WriteInt: result = store.writeInteger(key, name, s.number); break;
        case DeleteValue: result = store.deleteValue(key, name); break;
        case ValueExists: result = store.valueExists(key, name); break;
        case ReadStr:
            result = int(store.readString(key, name, &readText));
            if (result == Ok) {
                EXPECT_EQ(readText, wantText);
            }
            break;
        case ReadInt:
            result = int(store.readInteger(key, name, &readNumber));
            if (result == Ok) {
                EXPECT_EQ(readNumber, s.number);
            }
            break;
        }
        EXPECT_EQ(result, s.expected);
        const bool failed = (s.op == ReadStr || s.op == ReadInt) ? result != Ok : result == 0;
        if (failed && s.op != KeyExists && s.op != ValueExists) {
            EXPECT_FALSE(store.errorString().isEmpty()) << "a refusal gives its reason";
        }
    }
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling)
{
    ASSERT_TRUE(store.createKey(QStringLiteral("Software\\Sorvix\\Authorizated\\Channel 1")));
    ASSERT_TRUE(store.createKey(QStringLiteral("SOFTWARE\\sorvix\\AUTHORIZATED\\channel 1\\Sub")));
    EXPECT_EQ(subKeys(QString()), QStringList{QStringLiteral("Software")});
    EXPECT_EQ(subKeys(QStringLiteral("software")), QStringList{QStringLiteral("Sorvix")});
    EXPECT_EQ(subKeys(QStringLiteral("software\\SORVIX\\authorizated")), QStringList{QStringLiteral("Channel 1")});
    EXPECT_TRUE(store.keyExists(QStringLiteral("Software\\Sorvix\\Authorizated\\Channel 1\\SUB")));

    ASSERT_TRUE(store.writeString(Product, QStringLiteral("ModemPlay"), QStringLiteral("Default Line Play")));
    ASSERT_TRUE(store.writeString(Product, QStringLiteral("MODEMPLAY"), QStringLiteral("Speakers")));
    EXPECT_EQ(values(Product), QStringList{QStringLiteral("ModemPlay")});
    EXPECT_EQ(text(Product, QStringLiteral("modemplay")), QStringLiteral("Speakers"));

    // Beyond ASCII too; the data itself keeps its case.
    ASSERT_TRUE(store.writeString(Product, QStringLiteral("Größe Ä"), QStringLiteral("Äpfel")));
    EXPECT_EQ(text(Product, QStringLiteral("GRÖßE ä")), QStringLiteral("Äpfel"));
    ASSERT_TRUE(store.createKey(QStringLiteral("Software\\ΣΟΡΒΙΞ")));
    EXPECT_TRUE(store.keyExists(QStringLiteral("software\\σορβιξ")));
    EXPECT_FALSE(store.deleteValue(Product, QStringLiteral("gröSSe ä"))) << "no full case folding";
    EXPECT_TRUE(store.deleteValue(Product, QStringLiteral("GRÖßE Ä")));
}

TEST_F(RegistryTest, ValuesAndSubKeysAreSeparateNameSpaces)
{
    const QString address = Product + QStringLiteral("\\Address");
    ASSERT_TRUE(store.createKey(address));
    ASSERT_TRUE(store.writeString(Product, QStringLiteral("Address"), QStringLiteral("Line 1")));
    ASSERT_TRUE(store.writeString(address, QStringLiteral("Line 1"), QStringLiteral("APPLICATION Bank")));

    EXPECT_EQ(values(Product), QStringList{QStringLiteral("Address")});
    EXPECT_EQ(subKeys(Product), QStringList{QStringLiteral("Address")});

    ASSERT_TRUE(store.deleteKey(address));
    EXPECT_EQ(text(Product, QStringLiteral("Address")), QStringLiteral("Line 1"));
    ASSERT_TRUE(store.createKey(address));
    ASSERT_TRUE(store.deleteValue(Product, QStringLiteral("ADDRESS")));
    EXPECT_TRUE(store.keyExists(address));
    EXPECT_TRUE(values(address).isEmpty()) << "a re-created key starts empty";
}

TEST_F(RegistryTest, WrongTypeIsNotMissing)
{
    ASSERT_TRUE(store.createKey(Product));
    ASSERT_TRUE(store.writeInteger(Product, QStringLiteral("Address"), 3));
    ASSERT_TRUE(store.writeString(Product, QStringLiteral("AutoStart"), QStringLiteral("1")));

    QString textValue = QStringLiteral("untouched");
    int32_t number = 77;
    EXPECT_EQ(store.readString(Product, QStringLiteral("Address"), &textValue), Status::WrongType);
    EXPECT_EQ(textValue, QStringLiteral("untouched"));
    EXPECT_TRUE(store.errorString().contains(QStringLiteral("Address")));
    EXPECT_EQ(store.readInteger(Product, QStringLiteral("AutoStart"), &number), Status::WrongType);
    EXPECT_EQ(number, 77);
    EXPECT_EQ(store.readInteger(Product, QStringLiteral("Gateway"), &number), Status::Missing);
    EXPECT_TRUE(store.valueExists(Product, QStringLiteral("Address")));

    RegistryStore::Type type;
    EXPECT_EQ(store.valueType(Product, QStringLiteral("address"), &type), Status::Ok);
    EXPECT_EQ(type, RegistryStore::Type::Integer);
    EXPECT_EQ(store.valueType(Product, QStringLiteral("autostart"), &type), Status::Ok);
    EXPECT_EQ(type, RegistryStore::Type::String);
    EXPECT_EQ(store.valueType(Product, QStringLiteral("gateway"), &type), Status::Missing);
}

TEST_F(RegistryTest, EnumerationFollowsCreationOrder)
{
    ASSERT_TRUE(store.createKey(Product));
    for (const char* name : {"Zulu", "alpha", "Mike", "bravo"})
        ASSERT_TRUE(store.writeString(Product, QString::fromUtf8(name), QStringLiteral("x")));
    ASSERT_TRUE(store.writeInteger(Product, QStringLiteral("ALPHA"), 1));  // overwriting keeps the place
    ASSERT_TRUE(store.deleteValue(Product, QStringLiteral("Mike")));
    ASSERT_TRUE(store.writeString(Product, QStringLiteral("mike"), QStringLiteral("again")));
    EXPECT_EQ(values(Product), (QStringList{QStringLiteral("Zulu"), QStringLiteral("alpha"), QStringLiteral("bravo"),
                                            QStringLiteral("mike")}));

    for (const char* name : {"Zeta", "Group", "Application", "Address"})
        ASSERT_TRUE(store.createKey(Product + QLatin1Char('\\') + QString::fromUtf8(name)));
    ASSERT_TRUE(store.deleteKey(Product + QStringLiteral("\\Group")));
    ASSERT_TRUE(store.createKey(Product + QStringLiteral("\\GROUP")));
    EXPECT_EQ(subKeys(Product), (QStringList{QStringLiteral("Zeta"), QStringLiteral("Application"),
                                             QStringLiteral("Address"), QStringLiteral("GROUP")}));
}

TEST_F(RegistryTest, DeleteKeyRemovesTheWholeTree)
{
    const QString channels = Product + QStringLiteral("\\Authorizated");
    for (int i = 1; i <= 3; ++i) {
        const QString channel = channels + QStringLiteral("\\Channel %1").arg(i);
        ASSERT_TRUE(store.createKey(channel + QStringLiteral("\\Deeper\\Deepest")));
        ASSERT_TRUE(store.writeString(channel, QStringLiteral("Address"), QStringLiteral("Line %1").arg(i)));
        ASSERT_TRUE(store.writeInteger(channel + QStringLiteral("\\Deeper\\Deepest"), QStringLiteral("Depth"), i));
    }
    ASSERT_TRUE(store.writeString(Product, QStringLiteral("Address"), QStringLiteral("Debug line")));

    ASSERT_TRUE(store.deleteKey(channels + QStringLiteral("\\channel 2")));
    EXPECT_EQ(subKeys(channels), (QStringList{QStringLiteral("Channel 1"), QStringLiteral("Channel 3")}));
    EXPECT_EQ(text(channels + QStringLiteral("\\Channel 3"), QStringLiteral("Address")), QStringLiteral("Line 3"));

    // Re-creating the key brings none of its old content back.
    ASSERT_TRUE(store.createKey(channels + QStringLiteral("\\Channel 2")));
    EXPECT_TRUE(values(channels + QStringLiteral("\\Channel 2")).isEmpty());
    EXPECT_TRUE(subKeys(channels + QStringLiteral("\\Channel 2")).isEmpty());

    ASSERT_TRUE(store.deleteKey(channels));
    EXPECT_FALSE(store.keyExists(channels + QStringLiteral("\\Channel 1\\Deeper")));
    EXPECT_EQ(subKeys(Product), QStringList());
    EXPECT_EQ(text(Product, QStringLiteral("Address")), QStringLiteral("Debug line"));

    // Nothing of the deleted tree is left in the file.
    QStringList none;
    ASSERT_TRUE(store.createKey(channels));
    EXPECT_TRUE(store.subKeyNames(channels, &none) && none.isEmpty());
}

TEST_F(RegistryTest, AnyCharacterMayAppearInAName)
{
    ASSERT_TRUE(store.createKey(Product));
    QString nul = QStringLiteral("nul");
    nul.insert(1, QChar(0));
    QString lone = QStringLiteral("half ");
    lone += QChar(0xD800);
    const QStringList names = {
        QStringLiteral("back\\slash"), QStringLiteral("\\"), QStringLiteral("trailing\\"), nul, lone,
        QStringLiteral("通道 1"), QStringLiteral("emoji 😀"), QStringLiteral("quote ' \" %1 ?"),
        QStringLiteral("line\r\nbreak"), QStringLiteral(" spaced "),
    };
    for (const QString& name : names)
        ASSERT_TRUE(store.writeString(Product, name, name + QStringLiteral(" data"))) << qPrintable(store.errorString());
    EXPECT_EQ(values(Product), names);
    for (const QString& name : names)
        EXPECT_EQ(text(Product, name), name + QStringLiteral(" data"));
    EXPECT_TRUE(subKeys(Product).isEmpty()) << "a value name is not a path";

    // Key names may hold anything but the separator.
    const QString key = Product + QStringLiteral("\\通道 😀 ' \" ") + nul;
    ASSERT_TRUE(store.createKey(key));
    EXPECT_EQ(subKeys(Product), QStringList{QStringLiteral("通道 😀 ' \" ") + nul});
    EXPECT_EQ(RegistryKey::normalizedPath(key), key);
}

TEST_F(RegistryTest, DataSurvivesReopeningTheFile)
{
    {
        RegistryStore first(file());
        ASSERT_TRUE(first.createKey(Product + QStringLiteral("\\Application")));
        ASSERT_TRUE(first.writeString(Product + QStringLiteral("\\Application"), QStringLiteral("Bank"),
                                      QStringLiteral("/srv/flows/bank.svx")));
    }
    RegistryStore second(file());
    QString flow;
    EXPECT_EQ(second.readString(Product + QStringLiteral("\\application"), QStringLiteral("BANK"), &flow), Status::Ok);
    EXPECT_EQ(flow, QStringLiteral("/srv/flows/bank.svx"));
}

TEST_F(RegistryTest, KeyHandleForwardsToItsPath)
{
    RegistryKey product(&store, QStringLiteral("\\Software\\Sorvix\\"));
    EXPECT_EQ(product.path(), Product);
    EXPECT_FALSE(product.exists());
    EXPECT_FALSE(product.writeString(QStringLiteral("Address"), QStringLiteral("x")));
    EXPECT_FALSE(product.errorString().isEmpty());
    ASSERT_TRUE(product.create());

    const RegistryKey channel = product.subKey(QStringLiteral("Authorizated\\Channel 1"));
    EXPECT_EQ(channel.path(), Product + QStringLiteral("\\Authorizated\\Channel 1"));
    ASSERT_TRUE(channel.create());
    ASSERT_TRUE(channel.writeString(QStringLiteral("Address"), QStringLiteral("Line 1")));
    ASSERT_TRUE(channel.writeInteger(QStringLiteral("AutoStart"), 1));
    int32_t autoStart = 0;
    EXPECT_EQ(channel.readInteger(QStringLiteral("autostart"), &autoStart), Status::Ok);
    EXPECT_EQ(autoStart, 1);
    QStringList names;
    ASSERT_TRUE(channel.valueNames(&names));
    EXPECT_EQ(names, (QStringList{QStringLiteral("Address"), QStringLiteral("AutoStart")}));

    EXPECT_FALSE(product.deleteSubKey(QStringLiteral("\\"))) << "an empty sub-path is not the key itself";
    EXPECT_TRUE(product.exists());
    ASSERT_TRUE(product.deleteSubKey(QStringLiteral("Authorizated")));
    EXPECT_FALSE(channel.exists());

    const RegistryKey none;
    EXPECT_TRUE(none.isNull());
    EXPECT_FALSE(none.create());
    EXPECT_EQ(none.readString(QStringLiteral("x"), nullptr), Status::Failed);
}

TEST_F(RegistryTest, TransactionCommitsTogetherOrLeavesNothing)
{
    ASSERT_TRUE(store.createKey(Product));
    RegistryStore other(file());  // another connection sees only committed data

    const QString group = Product + QStringLiteral("\\Group");
    const bool rolledBack = store.transaction([&] {
        EXPECT_TRUE(store.createKey(group));
        EXPECT_TRUE(store.writeString(group, QStringLiteral("Sales"), QStringLiteral("Bank")));
        EXPECT_TRUE(store.writeString(Product, QStringLiteral("Address"), QStringLiteral("Line 1")));
        EXPECT_EQ(text(group, QStringLiteral("Sales")), QStringLiteral("Bank")) << "the transaction sees its writes";
        QString seen;
        EXPECT_EQ(other.readString(group, QStringLiteral("Sales"), &seen), Status::Missing)
            << "nothing is visible before the commit: " << qPrintable(other.errorString());
        return false;
    });
    EXPECT_FALSE(rolledBack);
    EXPECT_FALSE(store.errorString().isEmpty());
    EXPECT_FALSE(store.keyExists(group));
    EXPECT_TRUE(values(Product).isEmpty());

    const bool committed = store.transaction([&] {
        // A refused call inside does not undo the rest; the work decides.
        EXPECT_FALSE(store.deleteValue(Product, QStringLiteral("ModemPlay")));
        store.releaseThreadConnection();  // ignored while the transaction is open
        return store.createKey(group) && store.writeString(group, QStringLiteral("Sales"), QStringLiteral("Bank"))
               && store.writeInteger(Product, QStringLiteral("TransmitDTMF"), 1);
    });
    EXPECT_TRUE(committed) << qPrintable(store.errorString());
    QString app;
    EXPECT_EQ(other.readString(group, QStringLiteral("Sales"), &app), Status::Ok);
    EXPECT_EQ(app, QStringLiteral("Bank"));

    // A nested transaction is a save point: its rollback keeps the outer work.
    EXPECT_TRUE(store.transaction([&] {
        EXPECT_TRUE(store.writeString(group, QStringLiteral("Kept"), QStringLiteral("")));
        EXPECT_FALSE(store.transaction([&] {
            EXPECT_TRUE(store.deleteKey(group));
            return false;
        }));
        EXPECT_TRUE(store.keyExists(group));
        return true;
    }));
    EXPECT_EQ(values(group), (QStringList{QStringLiteral("Sales"), QStringLiteral("Kept")}));

    // An exception rolls back too, and the store stays usable.
    EXPECT_THROW(store.transaction([&]() -> bool {
        store.deleteKey(group);
        throw std::runtime_error("boom");
    }),
                 std::runtime_error);
    EXPECT_TRUE(store.keyExists(group));
    EXPECT_TRUE(store.writeString(group, QStringLiteral("After"), QStringLiteral("x")));
}

TEST_F(RegistryTest, AnUnusableFileFailsWithAReason)
{
    // A folder where the file should be, and a file where a folder should be.
    const QString folder = dir.filePath(QStringLiteral("folder.db"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    for (const QString& path : {folder, dir.filePath(QStringLiteral("plain/registry.db")), QString()}) {
        SCOPED_TRACE(qPrintable(path));
        RegistryStore broken(path);
        EXPECT_FALSE(broken.createKey(Product));
        EXPECT_FALSE(broken.errorString().isEmpty());
        if (!path.isEmpty()) {
            EXPECT_TRUE(broken.errorString().contains(path)) << qPrintable(broken.errorString());
        }
        EXPECT_FALSE(broken.writeString(QString(), QStringLiteral("x"), QStringLiteral("y")));
        QString value;
        EXPECT_EQ(broken.readString(Product, QStringLiteral("x"), &value), Status::Failed);
        EXPECT_FALSE(broken.transaction([] { return true; }));
        QStringList names = {QStringLiteral("stale")};
        EXPECT_FALSE(broken.valueNames(QString(), &names));
        EXPECT_TRUE(names.isEmpty());
    }
    EXPECT_TRUE(registryConnections().isEmpty()) << "failed opens leave no connection behind";
}

TEST_F(RegistryTest, DefaultFileComesFromTheEnvironment)
{
    const QByteArray savedRegistry = qgetenv("SORVIX_REGISTRY");
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("SORVIX_REGISTRY", file().toUtf8());
    EXPECT_EQ(RegistryStore::defaultFilePath(), file());
    qunsetenv("SORVIX_REGISTRY");
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    EXPECT_EQ(RegistryStore::defaultFilePath(), dir.filePath(QStringLiteral("config/sorvix/registry.db")));
    {
        RegistryStore byDefault;  // the folder is made on first use
        EXPECT_TRUE(byDefault.createKey(Product)) << qPrintable(byDefault.errorString());
    }
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("config/sorvix/registry.db"))));
    savedRegistry.isNull() ? qunsetenv("SORVIX_REGISTRY") : qputenv("SORVIX_REGISTRY", savedRegistry);
    savedConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", savedConfig);
}

TEST_F(RegistryTest, ConnectionsBelongToTheirThread)
{
    ASSERT_TRUE(store.createKey(Product));
    const QStringList before = registryConnections();
    EXPECT_EQ(before.size(), 1);

    // One store shared by several threads: each thread gets its own connection, removed when it ends.
    QThread* worker = QThread::create([&] {
        EXPECT_TRUE(store.writeString(Product, QStringLiteral("FromWorker"), QStringLiteral("x")));
        EXPECT_EQ(registryConnections().size(), 2);
    });
    worker->start();
    ASSERT_TRUE(worker->wait(30000));
    delete worker;
    // The thread's connection goes with the thread's own storage, which Qt frees as the thread
    // ends; give that a moment rather than racing it.
    QDeadlineTimer gone(10000);
    while (registryConnections() != before && !gone.hasExpired()) QThread::msleep(5);
    EXPECT_EQ(registryConnections(), before);
    EXPECT_EQ(text(Product, QStringLiteral("FromWorker")), QStringLiteral("x"));

    {
        RegistryStore second(file());
        EXPECT_TRUE(second.keyExists(Product));
        EXPECT_EQ(registryConnections().size(), 2);
    }
    EXPECT_EQ(registryConnections(), before) << "a store removes its connection when it goes";
    store.releaseThreadConnection();
    EXPECT_TRUE(registryConnections().isEmpty());
    EXPECT_TRUE(store.keyExists(Product)) << "the next call opens a new one";
}

namespace {

// Each writer adds COUNT names (a string and an integer in one transaction, then a string in a
// shared deep key that all of them create at once). Afterwards every value must be there, each
// writer's in its own order.
void expectAllWrites(RegistryStore& store, const QStringList& prefixes, int count)
{
    const QString load = Product + QStringLiteral("\\Load");
    QStringList names;
    ASSERT_TRUE(store.valueNames(load, &names)) << qPrintable(store.errorString());
    QStringList shared;
    ASSERT_TRUE(store.valueNames(load + QStringLiteral("\\Shared\\Deep"), &shared));
    EXPECT_EQ(names.size(), prefixes.size() * count * 2);
    EXPECT_EQ(shared.size(), prefixes.size() * count);
    for (const QString& prefix : prefixes) {
        int last = -1;
        for (const QString& name : names) {
            if (!name.startsWith(prefix + QLatin1Char('-')) || name.endsWith(QStringLiteral("-n")))
                continue;
            const int i = name.mid(prefix.size() + 1).toInt();
            EXPECT_EQ(i, last + 1) << qPrintable(name);
            last = i;
            int32_t number = -1;
            EXPECT_EQ(store.readInteger(load, name + QStringLiteral("-n"), &number), Status::Ok);
            EXPECT_EQ(number, i);
        }
        EXPECT_EQ(last, count - 1) << qPrintable(prefix);
    }
}

bool writeLoad(RegistryStore& store, const QString& prefix, int count, QString* error)
{
    const QString key = Product + QStringLiteral("\\Load");
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("%1-%2").arg(prefix).arg(i);
        const bool ok = store.createKey(key + QStringLiteral("\\Shared\\Deep")) && store.transaction([&] {
            return store.writeString(key, name, name) && store.writeInteger(key, name + QStringLiteral("-n"), i);
        }) && store.writeString(key + QStringLiteral("\\Shared\\Deep"), name, prefix);
        if (!ok) {
            *error = store.errorString();
            return false;
        }
    }
    return true;
}

}  // namespace

TEST_F(RegistryTest, ThreadsWritingAtOnceLoseNothing)
{
    constexpr int Count = 60;
    const QStringList prefixes = {QStringLiteral("own0"), QStringLiteral("own1"), QStringLiteral("shared0"),
                                  QStringLiteral("shared1")};
    std::vector<QString> errors(prefixes.size());
    std::vector<QThread*> threads;
    for (int t = 0; t < prefixes.size(); ++t) {
        threads.push_back(QThread::create([&, t] {
            if (prefixes[t].startsWith(QStringLiteral("own"))) {
                RegistryStore own(file());
                writeLoad(own, prefixes[t], Count, &errors[t]);
            } else {
                writeLoad(store, prefixes[t], Count, &errors[t]);  // the fixture's store, from two threads
            }
        }));
    }
    for (QThread* t : threads)
        t->start();
    for (QThread* t : threads) {
        EXPECT_TRUE(t->wait(120000));
        delete t;
    }
    for (const QString& e : errors)
        EXPECT_TRUE(e.isEmpty()) << qPrintable(e);
    expectAllWrites(store, prefixes, Count);
}

TEST_F(RegistryTest, ProcessesWritingAtOnceLoseNothing)
{
    constexpr int Count = 60;
    const QStringList prefixes = {QStringLiteral("procA"), QStringLiteral("procB"), QStringLiteral("here")};
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int p = 0; p < 2; ++p) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(SORVIX_TEST_HELPER),
                       {QStringLiteral("registry-write"), file(), prefixes[p], QString::number(Count)});
        ASSERT_TRUE(process->waitForStarted(10000));
        processes.push_back(std::move(process));
    }
    QString error;
    EXPECT_TRUE(writeLoad(store, prefixes[2], Count, &error)) << qPrintable(error);
    for (auto& process : processes) {
        ASSERT_TRUE(process->waitForFinished(120000));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0);
    }
    expectAllWrites(store, prefixes, Count);
}

TEST_F(RegistryTest, ALockHeldElsewhereIsWaitedForOnlyBriefly)
{
    ASSERT_TRUE(store.createKey(Product));
    ASSERT_TRUE(store.writeString(Product, QStringLiteral("x"), QStringLiteral("before")));
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        other.setDatabaseName(file());
        ASSERT_TRUE(other.open());
        QSqlQuery q(other);
        ASSERT_TRUE(q.exec(QStringLiteral("BEGIN IMMEDIATE")));
        ASSERT_TRUE(q.exec(QStringLiteral("UPDATE registry_values SET data = data")));

        // A single write, a transaction and a new key: each gives up within the bound, with the reason.
        const std::vector<std::function<bool()>> writes = {
            [&] { return store.writeString(Product, QStringLiteral("x"), QStringLiteral("after")); },
            [&] { return store.transaction([&] { return store.writeInteger(Product, QStringLiteral("n"), 1); }); },
            [&] { return store.createKey(Product + QStringLiteral("\\New")); },
        };
        for (const auto& write : writes) {
            QElapsedTimer timer;
            timer.start();
            EXPECT_FALSE(write());
            EXPECT_LT(timer.elapsed(), 2000);
            EXPECT_TRUE(store.errorString().contains(QStringLiteral("locked"))) << qPrintable(store.errorString());
        }
        // Reading goes on meanwhile.
        EXPECT_EQ(text(Product, QStringLiteral("x")), QStringLiteral("before"));
        q.exec(QStringLiteral("ROLLBACK"));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    EXPECT_TRUE(store.writeString(Product, QStringLiteral("x"), QStringLiteral("after"))) << qPrintable(store.errorString());
    EXPECT_EQ(text(Product, QStringLiteral("x")), QStringLiteral("after"));
}

TEST_F(RegistryTest, AFileDeletedOrReplacedSinceItWasOpenedIsNotWrittenInto)
{
    ASSERT_TRUE(store.createKey(Product));
    auto removeFile = [&] {
        for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(file() + QLatin1String(suffix));
    };
    removeFile();
    EXPECT_FALSE(store.writeString(Product, QStringLiteral("x"), QStringLiteral("y")));
    EXPECT_TRUE(store.errorString().contains(QStringLiteral("deleted"))) << qPrintable(store.errorString());
    EXPECT_TRUE(store.errorString().contains(file()));
    EXPECT_FALSE(store.transaction([] { return true; }));
    EXPECT_FALSE(QFile::exists(file())) << "nothing made a file again";

    // Another file under the same name: still not the store's.
    {
        RegistryStore other(file());
        ASSERT_TRUE(other.createKey(Product)) << qPrintable(other.errorString());
    }
    store.releaseThreadConnection();  // even a fresh connection does not make it the store's file
    EXPECT_FALSE(store.createKey(Product + QStringLiteral("\\More")));
    EXPECT_TRUE(store.errorString().contains(QStringLiteral("replaced"))) << qPrintable(store.errorString());
    EXPECT_FALSE(store.writeString(Product, QStringLiteral("x"), QStringLiteral("y")));

    // A store opened on the new file works with it.
    RegistryStore fresh(file());
    EXPECT_TRUE(fresh.writeString(Product, QStringLiteral("x"), QStringLiteral("y"))) << qPrintable(fresh.errorString());
}

TEST_F(RegistryTest, RefusedWritesLeaveTheFileAlone)
{
    ASSERT_TRUE(store.createKey(Product));
    ASSERT_TRUE(store.writeString(Product, QStringLiteral("x"), QStringLiteral("kept")));
    store.refuseWrites(QStringLiteral("no writes here"));
    EXPECT_TRUE(store.writesRefused());
    EXPECT_FALSE(store.writeString(Product, QStringLiteral("x"), QStringLiteral("changed")));
    EXPECT_EQ(store.errorString(), QStringLiteral("no writes here"));
    EXPECT_FALSE(store.deleteKey(Product));
    EXPECT_FALSE(store.transaction([] { return true; }));
    EXPECT_EQ(text(Product, QStringLiteral("x")), QStringLiteral("kept"));
}

namespace {

// A device or a pipe is no store: it is refused before SQLite opens it, so no journal appears
// beside it and the device stays what it was.
TEST_F(RegistryTest, ADeviceOrAPipeIsNoStoreFile)
{
    // The device is like /dev/null.
    const OddFiles odd(dir, QStringLiteral(".db"), makedev(1, 3));
    ASSERT_GE(odd.entries.size(), 2u);
    for (const auto& c : odd.entries) {
        SCOPED_TRACE(qPrintable(c.path));
        RegistryStore refused(c.path);
        EXPECT_FALSE(refused.createKey(Product));
        EXPECT_TRUE(refused.errorString().contains(c.path) && refused.errorString().contains("not a regular file"))
            << qPrintable(refused.errorString());
        QString value;
        EXPECT_EQ(refused.readString(Product, QStringLiteral("x"), &value), Status::Failed);
    }
    EXPECT_TRUE(odd.unchanged());
    QStringList left = QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    left.removeAll(QStringLiteral("registry.db"));
    EXPECT_EQ(left.size(), qsizetype(odd.entries.size())) << qPrintable(left.join(' '));  // no journal beside them
}

// A file whose key index is damaged answers every lookup with "no such key". It is checked when it
// opens: every call fails with the reason, nothing is written, and the file keeps its bytes.
TEST_F(RegistryTest, ADamagedFileIsFoundWhenItOpensAndNeverWritten)
{
    ASSERT_TRUE(store.createKey(Product + QStringLiteral("\\Application")));
    ASSERT_TRUE(store.writeString(Product + QStringLiteral("\\Application"), QStringLiteral("Bank"), QStringLiteral("/b.svx")));
    store.releaseThreadConnection();
    ASSERT_FALSE(QFile::exists(file() + QStringLiteral("-wal")));
    ASSERT_TRUE(emptyIndexPage(file(), QStringLiteral("registry_keys_name")));
    QFile f(file());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray damaged = f.readAll();
    f.close();

    RegistryStore again(file());
    EXPECT_FALSE(again.keyExists(Product));
    EXPECT_TRUE(again.errorString().contains(file()) && again.errorString().contains("damaged"))
        << qPrintable(again.errorString());
    QString value;
    EXPECT_EQ(again.readString(Product + QStringLiteral("\\Application"), QStringLiteral("Bank"), &value), Status::Failed);
    EXPECT_FALSE(again.createKey(Product));
    EXPECT_FALSE(again.createKey(QStringLiteral("Other")));
    EXPECT_TRUE(again.writesRefused());
    again.releaseThreadConnection();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll() == damaged) << "the damaged file is never written";
    for (const char* suffix : {"-wal", "-journal"}) {
        QFile side(file() + QLatin1String(suffix));
        EXPECT_TRUE(!side.exists() || side.size() == 0) << suffix;
    }
}

}  // namespace
