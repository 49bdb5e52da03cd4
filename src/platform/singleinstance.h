#pragma once

#include <QByteArray>
#include <QList>
#include <QLocalSocket>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

// Keeps one instance of a program per user. The first instance takes a lock file and listens on a
// local socket; a later start finds the lock taken, hands its message to the first instance with
// sendToPrimary() and ends. Locks and sockets left by a program that died are recovered.
//
// Each message is sent with a length prefix and acknowledged after the primary's
// messageReceived handlers have run, so a sender knows its message was dealt with. Messages arrive
// whole and, from one sender, in the order sent.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& appName, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this is now the one instance: the lock is held (or could not be made at all, in
    // which case the program runs without the guarantee and errorString() says why). False when
    // another instance holds it. Listening failures leave the instance primary but deaf; they are
    // reported in errorString() too.
    bool tryBecomePrimary();
    bool isPrimary() const { return primary_; }
    bool isListening() const;
    QString errorString() const { return error_; }

    // Hands a message to the primary instance of appName and waits until it was handled. False
    // when no primary answered within timeoutMs. A primary that is still starting is waited for.
    static bool sendToPrimary(const QString& appName, const QByteArray& message, int timeoutMs,
                              QString* error = nullptr);

    // Where the lock file and the socket of appName live for the current user.
    static QString lockFilePath(const QString& appName);
    static QString serverName(const QString& appName);

    // Messages larger than this are refused by the primary.
    static constexpr quint32 MaxMessageSize = 16 * 1024 * 1024;

signals:
    void messageReceived(const QByteArray& message);

private:
    void acceptConnections();
    void readFrom(QLocalSocket* socket);

    const QString appName_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    bool primary_ = false;
    // Connections with data still to read, in the order their data arrived.
    QList<QPointer<QLocalSocket>> pending_;
    bool dispatching_ = false;
    QString error_;
};
