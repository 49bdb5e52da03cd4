#include "platform/singleinstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QList>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>
#include <QThread>
#include <QtEndian>

#include <unistd.h>

namespace {

constexpr char Ack = '\x06';
constexpr int RetryPauseMs = 20;

// The user's runtime folder when the session has one (private to the user), else the temporary
// folder; the user id in every name keeps two users apart there.
QString instanceFolder()
{
    QString dir;
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    return dir;
}

QString baseName(const QString& appName)
{
    QString safe;
    for (QChar ch : appName)
        safe += (ch.isLetterOrNumber() && ch.unicode() < 128) || ch == u'-' || ch == u'_' || ch == u'.' ? ch : u'_';
    return QStringLiteral("sorvix-%1-%2").arg(safe).arg(::getuid());
}

int remaining(const QElapsedTimer& timer, int timeoutMs)
{
    return static_cast<int>(qMax<qint64>(0, timeoutMs - timer.elapsed()));
}

}  // namespace

QString SingleInstance::lockFilePath(const QString& appName)
{
    return instanceFolder() + QLatin1Char('/') + baseName(appName) + QStringLiteral(".lock");
}

QString SingleInstance::serverName(const QString& appName)
{
    return instanceFolder() + QLatin1Char('/') + baseName(appName) + QStringLiteral(".socket");
}

SingleInstance::SingleInstance(const QString& appName, QObject* parent)
    : QObject(parent), appName_(appName)
{
}

SingleInstance::~SingleInstance()
{
    if (server_)
        server_->close();
    if (lock_)
        lock_->unlock();
}

bool SingleInstance::isListening() const
{
    return server_ && server_->isListening();
}

bool SingleInstance::tryBecomePrimary()
{
    if (primary_)
        return true;
    error_.clear();

    const QString lockPath = lockFilePath(appName_);
    QDir().mkpath(QFileInfo(lockPath).absolutePath());
    lock_ = std::make_unique<QLockFile>(lockPath);
    // A running primary's lock never goes stale by age; a dead owner's lock is taken over.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        const QLockFile::LockError reason = lock_->error();
        lock_.reset();
        if (reason == QLockFile::LockFailedError) {
            error_ = QStringLiteral("Another instance of %1 is running.").arg(appName_);
            return false;
        }
        // Without a lock there is no way to tell; run rather than refuse to start.
        error_ = QStringLiteral("The instance lock \"%1\" could not be created; %2 runs without it.")
                     .arg(lockPath, appName_);
    }
    primary_ = true;

    const QString name = serverName(appName_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket file that is there is left over from a dead instance.
    QLocalServer::removeServer(name);
    if (!server_->listen(name)) {
        const QString reason = server_->errorString();
        delete server_;
        server_ = nullptr;
        if (!error_.isEmpty())
            error_ += QLatin1Char(' ');
        error_ += QStringLiteral("The instance socket \"%1\" could not be opened: %2").arg(name, reason);
        qWarning("%s", qPrintable(error_));
        return true;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return true;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        // A sender that went away may still have whole messages in the buffer.
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            readFrom(socket);
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket* socket)
{
    if (!pending_.contains(socket))
        pending_.append(socket);
    // A handler may spin an event loop (a message box); messages that arrive meanwhile wait for it
    // to return so that they are handled one after another.
    if (dispatching_)
        return;
    dispatching_ = true;
    QPointer<SingleInstance> self(this);
    while (!pending_.isEmpty()) {
        QPointer<QLocalSocket> current = pending_.first();
        if (!current || current->bytesAvailable() < qint64(sizeof(quint32))) {
            pending_.removeFirst();
            continue;
        }
        char head[sizeof(quint32)];
        current->peek(head, sizeof head);
        const quint32 size = qFromBigEndian<quint32>(head);
        if (size > MaxMessageSize) {
            pending_.removeFirst();
            current->abort();
            current->deleteLater();
            continue;
        }
        if (current->bytesAvailable() < qint64(sizeof head) + size) {
            pending_.removeFirst();
            continue;
        }
        current->skip(sizeof head);
        const QByteArray message = current->read(size);
        emit messageReceived(message);
        if (!self)
            return;
        if (current) {
            current->write(&Ack, 1);
            current->flush();
        }
    }
    dispatching_ = false;
}

bool SingleInstance::sendToPrimary(const QString& appName, const QByteArray& message, int timeoutMs,
                                   QString* error)
{
    auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (quint32(message.size()) > MaxMessageSize)
        return fail(QStringLiteral("The message is too large."));

    QElapsedTimer timer;
    timer.start();
    const QString name = serverName(appName);
    QLocalSocket socket;
    bool unlockedBefore = false;
    for (;;) {
        socket.connectToServer(name);
        if (socket.waitForConnected(remaining(timer, timeoutMs)))
            break;
        const QString reason = socket.errorString();
        socket.abort();
        // Nobody holds the lock: there is no primary to wait for. Looked at twice, since a stale
        // lock is replaced by removing it and making it again.
        const bool unlocked = !QFileInfo::exists(lockFilePath(appName));
        if (unlocked && unlockedBefore)
            return fail(QStringLiteral("No instance of %1 is running.").arg(appName));
        unlockedBefore = unlocked;
        if (remaining(timer, timeoutMs) == 0)
            return fail(QStringLiteral("The running instance of %1 did not answer: %2").arg(appName, reason));
        QThread::msleep(RetryPauseMs);
    }

    char head[sizeof(quint32)];
    qToBigEndian<quint32>(quint32(message.size()), head);
    socket.write(head, sizeof head);
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remaining(timer, timeoutMs)))
            return fail(QStringLiteral("The message could not be handed to %1: %2").arg(appName, socket.errorString()));
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(remaining(timer, timeoutMs)))
            return fail(QStringLiteral("%1 did not confirm the message: %2").arg(appName, socket.errorString()));
    }
    char reply = 0;
    socket.read(&reply, 1);
    socket.disconnectFromServer();
    if (reply != Ack)
        return fail(QStringLiteral("%1 gave an unexpected answer.").arg(appName));
    return true;
}
