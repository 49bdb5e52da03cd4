// SorvixAdmin: the channel console. One console runs per user; a second start brings the running
// console to the front and ends.
//
// SIGINT, SIGTERM and SIGHUP end it as closing its window does: every channel is stopped and
// waited for (a recording under way is finished), nothing is asked, and the programs that flows
// left running are ended. A second signal ends it at once, and still kills those programs.
#include <QApplication>
#include <QDialog>

#include <csignal>

#include "channels/admintexts.h"
#include "console/adminmain.h"
#include "ui/prompt.h"
#include "ui/sorvixform.h"
#include "engine/datetime.h"
#include "engine/texts.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/resourcelimits.h"
#include "devices/sim/devicefactory.h"
#include "platform/singleinstance.h"
#include "platform/stopsignals.h"

namespace {

const QString InstanceName = QStringLiteral("TfrmSorvixAdmin");
const QByteArray ComeToTheFront = QByteArrayLiteral("come to the front");

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // One open file per running channel.
    raiseOpenFileLimit();
    initTexts();
    datetime::useSystemLocale();  // dates read and written as the system writes them
    initAdminTexts();
    initProductTexts();
    installQtTranslations();

    // One atomic lock marks the running console; a second start only asks it to come forward.
    SingleInstance instance(InstanceName);
    if (!instance.tryBecomePrimary()) {
        SingleInstance::sendToPrimary(InstanceName, ComeToTheFront, 3000);
        return 0;
    }
    if (!instance.errorString().isEmpty())
        qWarning("SorvixAdmin: %s", qPrintable(instance.errorString()));
    QObject::connect(&instance, &SingleInstance::messageReceived, &app, [](const QByteArray&) {
        if (frmSorvixAdmin) frmSorvixAdmin->BringToFront();
    });
    QApplication::setApplicationDisplayName(QString());

    StopSignals stopSignals({SIGINT, SIGTERM, SIGHUP});
    QObject::connect(&stopSignals, &StopSignals::received, &app, [&stopSignals](int) {
        // Every loop ends, so nothing the stop below serves can wait for an answer; open dialogs
        // and boxes are dismissed as if cancelled.
        QCoreApplication::exit(stopSignals.exitStatus());
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
                dialog->reject();
        }
        if (frmSorvixAdmin) frmSorvixAdmin->close();
    });

    QString error;
    std::shared_ptr<ITAPI3Device> device = createTelephonyDevice({}, &error);
    if (!device) {
        Prompt::instance().message(nullptr, error, ProductTitle, Prompt::Kind::Error, Prompt::Buttons::Ok);
        return 1;
    }

    // Every window once, the main window first. A box at start-up (a store that cannot be read)
    // waits for an answer in a loop of its own: a stop signal there dismisses it, and then the
    // console goes no further, since the main loop, which the signal asked to end, is yet to run.
    frmSorvixAdmin = new TfrmSorvixAdmin(device, RegistryStore::defaultFilePath());
    createConsoleDialogs(frmSorvixAdmin);
    if (!stopSignals.firstSignal()) frmSorvixAdmin->LoadChannelOptions();
    if (!stopSignals.firstSignal()) frmSorvixAdmin->AutoStartChannels();
    if (!stopSignals.firstSignal()) frmSorvixAdmin->show();

    const int result = stopSignals.firstSignal() ? 0 : app.exec();
    // Stops whatever still runs (a channel started while a box was being answered).
    delete frmSorvixAdmin;
    frmSorvixAdmin = nullptr;
    Process::endLeftRunning();
    return stopSignals.firstSignal() ? stopSignals.exitStatus() : result;
}
