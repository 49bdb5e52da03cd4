#pragma once

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

#include "channels/admintexts.h"
#include "channels/configmodel.h"
#include "engine/texts.h"
#include "platform/registry.h"

// A registry store in a temporary file, with helpers to seed and read keys and to make the
// store's writes fail.
struct ConsoleStoreFixture : ::testing::Test {
    QTemporaryDir dir;
    std::unique_ptr<RegistryStore> store;

    void SetUp() override
    {
        setTextLanguage(false);
        setAdminTextLanguage(false);
        ASSERT_TRUE(dir.isValid());
        store = std::make_unique<RegistryStore>(registryFile());
    }
    void TearDown() override
    {
        store.reset();
        if (QSqlDatabase::contains(QStringLiteral("inject"))) QSqlDatabase::removeDatabase(QStringLiteral("inject"));
    }

    QString registryFile() const { return dir.filePath(QStringLiteral("registry.db")); }

    void seed(const QString& key, const QString& name, const QString& data)
    {
        ASSERT_TRUE(store->createKey(key));
        ASSERT_TRUE(store->writeString(key, name, data)) << qPrintable(store->errorString());
    }

    // The values of a key in their order, as "name=data" (integers as "name=#n"); "<none>"
    // when the key does not exist.
    QStringList dump(const QString& key)
    {
        if (!store->keyExists(key)) return {QStringLiteral("<none>")};
        QStringList names, out;
        EXPECT_TRUE(store->valueNames(key, &names));
        for (const QString& name : names) {
            QString text;
            int32_t number = 0;
            if (store->readString(key, name, &text) == RegistryStore::Status::Ok) out << name + '=' + text;
            else if (store->readInteger(key, name, &number) == RegistryStore::Status::Ok)
                out << name + QStringLiteral("=#") + QString::number(number);
        }
        return out;
    }
    QStringList allKeys()
    {
        return dump(ConsoleConfig::ApplicationKey) + QStringList{"|"} + dump(ConsoleConfig::GroupKey) +
               QStringList{"|"} + dump(ConsoleConfig::AddressKey);
    }

    // Every change to a value fails from now on (when is an SQL condition on NEW or OLD).
    void failWrites(const QString& when = QStringLiteral("1"))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inject"));
        db.setDatabaseName(registryFile());
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (const char* op : {"INSERT", "UPDATE", "DELETE"}) {
            const QString row = QLatin1String(op) == QLatin1String("DELETE") ? QStringLiteral("OLD") : QStringLiteral("NEW");
            QString cond = when;
            cond.replace(QStringLiteral("ROW."), row + '.');
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER fail_%1 BEFORE %1 ON registry_values WHEN %2 "
                                              "BEGIN SELECT RAISE(ABORT, 'disk is full'); END")
                                   .arg(QLatin1String(op), cond)))
                << qPrintable(q.lastError().text());
        }
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER fail_keys BEFORE DELETE ON registry_keys WHEN %1 "
                                          "BEGIN SELECT RAISE(ABORT, 'disk is full'); END")
                               .arg(QString(when).contains(QStringLiteral("ROW.")) ? QStringLiteral("0") : when)))
            << qPrintable(q.lastError().text());
        db.close();
    }
};

// The model as text, to compare before and after a command.
inline QStringList describe(const ConsoleConfig& c)
{
    QStringList out;
    for (const auto& a : c.applications()) out << "A:" + a.name + '=' + a.flowFile;
    for (size_t i = 0; i < c.groups().size(); ++i) out << "G:" + c.groups()[i].name + '>' + c.groupApplicationText(int(i));
    for (size_t i = 0; i < c.addresses().size(); ++i)
        out << "L:" + c.addresses()[i].name + '>' + c.addressApplicationText(int(i)) + '/' + c.addressGroupText(int(i));
    return out;
}
