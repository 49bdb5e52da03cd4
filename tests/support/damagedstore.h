#pragma once

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QUuid>
#include <QtEndian>

// Damages a closed SQLite file the way a bad disk sector can: the root page of one index is made an
// empty leaf, so every lookup through it finds nothing while the table beside it still holds its
// rows. False when the file or the index cannot be found.
inline bool emptyIndexPage(const QString& file, const QString& index)
{
    qint64 page = 0;
    qint64 pageSize = 0;
    {
        const QString name = QStringLiteral("damage-") + QUuid::createUuid().toString(QUuid::Id128);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(file);
            if (db.open()) {
                QSqlQuery q(db);
                // Everything of the journal into the file first, so that the page is the last word.
                q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
                if (q.exec(QStringLiteral("PRAGMA page_size")) && q.next()) pageSize = q.value(0).toLongLong();
                q.prepare(QStringLiteral("SELECT rootpage FROM sqlite_master WHERE type = 'index' AND name = ?"));
                q.addBindValue(index);
                if (q.exec() && q.next()) page = q.value(0).toLongLong();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    if (page < 2 || pageSize < 512 || QFile(file + QStringLiteral("-wal")).size() > 0) return false;
    QByteArray empty(pageSize, '\0');
    empty[0] = char(0x0A);  // a leaf page of an index, no cells
    qToBigEndian<quint16>(quint16(pageSize == 65536 ? 0 : pageSize), empty.data() + 5);
    QFile f(file);
    return f.open(QIODevice::ReadWrite) && f.seek((page - 1) * pageSize) && f.write(empty) == pageSize;
}
