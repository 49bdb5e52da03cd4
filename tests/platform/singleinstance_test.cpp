#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <atomic>
#include <memory>
#include <unistd.h>

#include "platform/singleinstance.h"

namespace {

// Serves events until the condition holds or the time is up.
template <class Pred>
bool waitFor(Pred pred, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Every test works under a name of its own: ctest runs them side by side.
QString uniqueAppName()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return QStringLiteral("SorvixTest-%1-%2").arg(QString::fromUtf8(info->name())).arg(QCoreApplication::applicationPid());
}

// Sends from a thread of its own, since the primary of these tests serves this thread's events.
class Sender {
public:
    Sender(const QString& appName, QList<QByteArray> messages, int timeoutMs = 10000)
    {
        thread_.reset(QThread::create([=, this] {
            for (const QByteArray& m : messages) {
                QString error;
                if (!SingleInstance::sendToPrimary(appName, m, timeoutMs, &error)) {
                    error_ = error;
                    break;
                }
                sent_.fetch_add(1);
            }
        }));
        thread_->start();
    }
    ~Sender() { thread_->wait(); }

    bool finished() const { return thread_->isFinished(); }
    int sent() const { return sent_.load(); }
    QString error() const
    {
        thread_->wait();
        return error_;
    }

private:
    std::unique_ptr<QThread> thread_;
    std::atomic<int> sent_{0};
    QString error_;
};

struct Received {
    QList<QByteArray> messages;
    void attach(SingleInstance& instance)
    {
        QObject::connect(&instance, &SingleInstance::messageReceived, &instance,
                         [this](const QByteArray& m) { messages.append(m); });
    }
};

QString helper()
{
    return QStringLiteral(SORVIX_TEST_HELPER);
}

}  // namespace

TEST(SingleInstanceTest, SecondInstanceHandsItsMessagesToTheFirst)
{
    const QString app = uniqueAppName();
    SingleInstance first(app);
    ASSERT_TRUE(first.tryBecomePrimary()) << qPrintable(first.errorString());
    EXPECT_TRUE(first.isPrimary());
    EXPECT_TRUE(first.isListening());
    Received received;
    received.attach(first);

    SingleInstance second(app);
    EXPECT_FALSE(second.tryBecomePrimary());
    EXPECT_FALSE(second.isPrimary());
    EXPECT_FALSE(second.errorString().isEmpty());

    QByteArray binary("\0\x01\xff\r\n", 5);
    const QByteArray big(3 * 1024 * 1024 + 7, 'x');
    const QList<QByteArray> messages = {
        QByteArray("/home/user/flows/a b.svx\n/home/user/flows/通道.svx\n"),
        QByteArray(),  // "come to the front" carries nothing
        binary,
        big,
        QByteArray("last"),
    };
    Sender sender(app, messages);
    ASSERT_TRUE(waitFor([&] { return sender.finished(); }, 30000));
    EXPECT_TRUE(sender.error().isEmpty()) << qPrintable(sender.error());
    EXPECT_EQ(sender.sent(), messages.size());
    // The send returns only after the primary handled the message.
    EXPECT_EQ(received.messages, messages);
}

TEST(SingleInstanceTest, MessagesFromAnotherProcessArriveInOrder)
{
    const QString app = uniqueAppName();
    SingleInstance primary(app);
    ASSERT_TRUE(primary.tryBecomePrimary());
    Received received;
    received.attach(primary);

    QProcess second;
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    second.start(helper(), {QStringLiteral("send"), app, QStringLiteral("/tmp/a.svx\n/tmp/b.svx\n"),
                            QStringLiteral("second"), QStringLiteral("third")});
    ASSERT_TRUE(waitFor([&] { return second.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(received.messages,
              (QList<QByteArray>{"/tmp/a.svx\n/tmp/b.svx\n", "second", "third"}));
}

TEST(SingleInstanceTest, AHandlerThatWaitsIsNotEnteredAgain)
{
    const QString app = uniqueAppName();
    SingleInstance primary(app);
    ASSERT_TRUE(primary.tryBecomePrimary());
    QStringList trace;
    QObject::connect(&primary, &SingleInstance::messageReceived, &primary, [&](const QByteArray& m) {
        trace << QStringLiteral("enter ") + QString::fromUtf8(m);
        // Like a message box while a handed-over file fails to load.
        QEventLoop loop;
        QTimer::singleShot(150, &loop, &QEventLoop::quit);
        loop.exec();
        trace << QStringLiteral("leave ") + QString::fromUtf8(m);
    });

    Sender a(app, {"a1", "a2"});
    Sender b(app, {"b1"});
    ASSERT_TRUE(waitFor([&] { return a.finished() && b.finished(); }, 30000));
    EXPECT_TRUE(a.error().isEmpty()) << qPrintable(a.error());
    EXPECT_TRUE(b.error().isEmpty()) << qPrintable(b.error());
    ASSERT_EQ(trace.size(), 6);
    for (int i = 0; i < trace.size(); i += 2) {
        EXPECT_TRUE(trace[i].startsWith(QStringLiteral("enter ")));
        EXPECT_EQ(trace[i + 1], QStringLiteral("leave ") + trace[i].mid(6));
    }
    EXPECT_LT(trace.indexOf(QStringLiteral("enter a1")), trace.indexOf(QStringLiteral("enter a2")));
}

TEST(SingleInstanceTest, BrokenFramesAreDroppedAndTheNextSenderIsServed)
{
    const QString app = uniqueAppName();
    SingleInstance primary(app);
    ASSERT_TRUE(primary.tryBecomePrimary());
    Received received;
    received.attach(primary);

    // A sender that dies half way through its message.
    QLocalSocket half;
    half.connectToServer(SingleInstance::serverName(app));
    ASSERT_TRUE(half.waitForConnected(5000));
    char head[4];
    qToBigEndian<quint32>(100, head);
    half.write(head, 4);
    half.write("only ten b");
    ASSERT_TRUE(half.waitForBytesWritten(5000));
    half.disconnectFromServer();

    // One that announces more than a message may hold.
    QLocalSocket huge;
    huge.connectToServer(SingleInstance::serverName(app));
    ASSERT_TRUE(huge.waitForConnected(5000));
    qToBigEndian<quint32>(SingleInstance::MaxMessageSize + 1, head);
    huge.write(head, 4);
    ASSERT_TRUE(huge.waitForBytesWritten(5000));
    ASSERT_TRUE(waitFor([&] { return huge.state() == QLocalSocket::UnconnectedState; }));

    Sender sender(app, {"whole"});
    ASSERT_TRUE(waitFor([&] { return sender.finished(); }));
    EXPECT_TRUE(sender.error().isEmpty()) << qPrintable(sender.error());
    EXPECT_EQ(received.messages, QList<QByteArray>{"whole"});
}

TEST(SingleInstanceTest, ALockLeftByADeadProcessIsTakenOver)
{
    const QString app = uniqueAppName();
    const QString lockPath = SingleInstance::lockFilePath(app);
    EXPECT_TRUE(lockPath.contains(QString::number(::getuid())));

    // A real lock from a process that ended without releasing it.
    ASSERT_EQ(QProcess::execute(helper(), {QStringLiteral("lock-and-die"), lockPath}), 0);
    ASSERT_TRUE(QFile::exists(lockPath));
    {
        SingleInstance primary(app);
        EXPECT_TRUE(primary.tryBecomePrimary()) << qPrintable(primary.errorString());
        EXPECT_TRUE(primary.errorString().isEmpty());
    }
    EXPECT_FALSE(QFile::exists(lockPath)) << "the primary releases its lock when it ends";

    // A lock file naming a process that no longer runs.
    QProcess gone;
    gone.start(QStringLiteral("/bin/true"));
    ASSERT_TRUE(gone.waitForFinished(10000));
    const qint64 deadPid = gone.processId() > 0 ? gone.processId() : 999999;
    QFile stale(lockPath);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray::number(deadPid) + "\nSorvixAdmin\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();
    SingleInstance again(app);
    EXPECT_TRUE(again.tryBecomePrimary()) << qPrintable(again.errorString());

    // While it lives, nobody else gets the lock, however long it runs.
    QFile held(lockPath);
    ASSERT_TRUE(held.open(QIODevice::ReadWrite));
    ASSERT_TRUE(held.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    held.close();
    SingleInstance later(app);
    EXPECT_FALSE(later.tryBecomePrimary());
}

TEST(SingleInstanceTest, ASocketLeftByADeadProcessIsReplaced)
{
    const QString app = uniqueAppName();
    const QString socketPath = SingleInstance::serverName(app);
    ASSERT_EQ(QProcess::execute(helper(), {QStringLiteral("listen-and-die"), socketPath}), 0);
    ASSERT_TRUE(QFileInfo::exists(socketPath));

    SingleInstance primary(app);
    ASSERT_TRUE(primary.tryBecomePrimary());
    EXPECT_TRUE(primary.isListening()) << qPrintable(primary.errorString());
    Received received;
    received.attach(primary);
    Sender sender(app, {"front"});
    ASSERT_TRUE(waitFor([&] { return sender.finished(); }));
    EXPECT_TRUE(sender.error().isEmpty()) << qPrintable(sender.error());
    EXPECT_EQ(received.messages, QList<QByteArray>{"front"});
}

TEST(SingleInstanceTest, SendingWithoutAPrimaryFailsAtOnce)
{
    const QString app = uniqueAppName();
    QElapsedTimer timer;
    timer.start();
    QString error;
    EXPECT_FALSE(SingleInstance::sendToPrimary(app, "x", 5000, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_LT(timer.elapsed(), 2000) << "no lock, so nothing to wait for";

    // A lock holder that never listens: the sender gives up after its time-out.
    QLockFile lock(SingleInstance::lockFilePath(app));
    ASSERT_TRUE(lock.tryLock(0));
    timer.restart();
    EXPECT_FALSE(SingleInstance::sendToPrimary(app, "x", 300, &error));
    EXPECT_GE(timer.elapsed(), 250);
    EXPECT_LT(timer.elapsed(), 5000);
}

TEST(SingleInstanceTest, APrimaryStillStartingIsWaitedFor)
{
    const QString app = uniqueAppName();
    // The lock is taken but nobody listens yet, as between the lock and the socket.
    auto early = std::make_unique<QLockFile>(SingleInstance::lockFilePath(app));
    ASSERT_TRUE(early->tryLock(0));
    Sender sender(app, {"a.svx\n"});
    QThread::msleep(200);
    early.reset();

    SingleInstance primary(app);
    ASSERT_TRUE(primary.tryBecomePrimary());
    Received received;
    received.attach(primary);
    ASSERT_TRUE(waitFor([&] { return sender.finished(); }));
    EXPECT_TRUE(sender.error().isEmpty()) << qPrintable(sender.error());
    EXPECT_EQ(received.messages, QList<QByteArray>{"a.svx\n"});
}

TEST(SingleInstanceTest, NamesAreApartPerProgramAndUser)
{
    const QString uid = QString::number(::getuid());
    EXPECT_NE(SingleInstance::lockFilePath(QStringLiteral("SorvixEdit")),
              SingleInstance::lockFilePath(QStringLiteral("SorvixAdmin")));
    EXPECT_NE(SingleInstance::serverName(QStringLiteral("SorvixEdit")),
              SingleInstance::serverName(QStringLiteral("SorvixAdmin")));
    EXPECT_TRUE(SingleInstance::serverName(QStringLiteral("SorvixEdit")).contains(uid));
    EXPECT_TRUE(QFileInfo(SingleInstance::serverName(QStringLiteral("a/../b"))).fileName().startsWith(QStringLiteral("sorvix-")));

    // Two programs run side by side.
    const QString app = uniqueAppName();
    SingleInstance editor(app + QStringLiteral("-Edit"));
    SingleInstance console(app + QStringLiteral("-Admin"));
    EXPECT_TRUE(editor.tryBecomePrimary());
    EXPECT_TRUE(console.tryBecomePrimary());
}
