// A second process for the platform tests.
//   registry-write FILE PREFIX COUNT   writes COUNT pairs of values (one transaction each) and
//                                      COUNT single values under "Load", plus a shared key path
//   lock-and-die LOCKFILE              takes the lock file and ends without releasing it
//   listen-and-die SERVERNAME          listens on a local socket and ends without closing it
//   send APP MESSAGE...                hands each message to the primary instance of APP
//   save-loop FILE A B                 saves the bytes of file A, then of B, over FILE, again and
//                                      again until killed; says "saving" once it has begun
#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QLockFile>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

#include "platform/filesave.h"
#include "platform/registry.h"
#include "platform/singleinstance.h"
#include "support/files.h"

static int saveLoop(const QStringList& args)
{
    if (args.size() != 3)
        return 2;
    const QByteArray versions[2] = {testfiles::bytesOf(args[1]), testfiles::bytesOf(args[2])};
    std::fprintf(stdout, "saving\n");
    std::fflush(stdout);
    for (int i = 0;; i = 1 - i) {
        QString message;
        if (!FileSave::replaceContents(args[0], versions[i], &message)) {
            std::fprintf(stderr, "%s\n", qPrintable(message));
            return 1;
        }
    }
}

static int registryWrite(const QStringList& args)
{
    if (args.size() != 3)
        return 2;
    RegistryStore store(args[0]);
    const QString prefix = args[1];
    const int count = args[2].toInt();
    const QString key = QStringLiteral("Software\\Sorvix\\Load");
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("%1-%2").arg(prefix).arg(i);
        const bool ok = store.createKey(key + QStringLiteral("\\Shared\\Deep")) && store.transaction([&] {
            return store.writeString(key, name, name) && store.writeInteger(key, name + QStringLiteral("-n"), i);
        }) && store.writeString(key + QStringLiteral("\\Shared\\Deep"), name, prefix);
        if (!ok) {
            std::fprintf(stderr, "%s\n", qPrintable(store.errorString()));
            return 1;
        }
    }
    return 0;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return 2;
    const QString mode = args.takeFirst();
    if (mode == QLatin1String("save-loop"))
        return saveLoop(args);
    if (mode == QLatin1String("registry-write"))
        return registryWrite(args);
    if (mode == QLatin1String("lock-and-die") && args.size() == 1) {
        QLockFile lock(args[0]);
        if (!lock.tryLock(0))
            return 1;
        ::_exit(0);  // no destructor: the lock file stays behind
    }
    if (mode == QLatin1String("listen-and-die") && args.size() == 1) {
        QLocalServer server;
        QLocalServer::removeServer(args[0]);
        if (!server.listen(args[0]))
            return 1;
        ::_exit(0);  // no close: the socket file stays behind
    }
    if (mode == QLatin1String("send") && args.size() >= 2) {
        const QString appName = args.takeFirst();
        for (const QString& message : args) {
            QString error;
            if (!SingleInstance::sendToPrimary(appName, message.toUtf8(), 10000, &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
        }
        return 0;
    }
    return 2;
}
