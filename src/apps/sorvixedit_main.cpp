// SorvixEdit [FILE...]: the flow editor. One editor runs per user; a second start hands the flow
// files named on its command line to the running editor and ends.
#include <QApplication>
#include <QScreen>
#include <QStringList>
#include <csignal>

#include "ui/prompt.h"
#include "ui/sorvixform.h"
#include "editor/mdimain.h"
#include "editor/startup.h"
#include "engine/datetime.h"
#include "engine/texts.h"
#include "devices/sim/devicefactory.h"
#include "platform/singleinstance.h"
#include "platform/stopsignals.h"

namespace {
// The running editor may be busy opening earlier files; the files open there even if this start
// stops waiting.
constexpr int HandOverTimeoutMs = 10000;
}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    initTexts();
    datetime::useSystemLocale();  // dates read and written as the system writes them
    initProductTexts();
    installQtTranslations();
    const QStringList files = app.arguments().mid(1);

    SingleInstance instance(EditorInstanceName);
    if (!instance.tryBecomePrimary()) {
        // Sent even without files: the running editor comes to the front.
        QString error;
        if (!SingleInstance::sendToPrimary(EditorInstanceName, TEditorHandOver::buildMessage(files),
                                           HandOverTimeoutMs, &error))
            qWarning("SorvixEdit: %s", qPrintable(error));
        return 0;
    }
    if (!instance.errorString().isEmpty()) qWarning("SorvixEdit: %s", qPrintable(instance.errorString()));
    // Names handed over while this editor is still starting wait until its windows are there.
    TEditorHandOver handOver;
    QObject::connect(&instance, &SingleInstance::messageReceived, &handOver, &TEditorHandOver::received);
    QApplication::setApplicationDisplayName(QString());

    // A stop signal ends the editor without questions, the debug run stopped and unsaved flows
    // kept in recovery copies; a second signal while that goes on ends it at once. Handed over
    // from the start, so a signal during start-up also ends it in order.
    StopSignals stopSignals({SIGINT, SIGTERM, SIGHUP});
    QObject::connect(&stopSignals, &StopSignals::received, &app, [&stopSignals] {
        if (frmSorvixEdit)
            for (const QString& line : frmSorvixEdit->StopForSignal()) qWarning("SorvixEdit: %s", qPrintable(line));
        QCoreApplication::exit(stopSignals.exitStatus());
    });

    // Every window once, the main window first.
    // The process's telephony device: without one flows still open and edit; there is just no
    // address to debug on.
    QString deviceError;
    frmSorvixEdit = new TfrmSorvixEdit(createTelephonyDevice({}, &deviceError));
    createEditorDialogs(frmSorvixEdit);
    // Maximised; out of that state, and where no window manager maximises it, a window that fits
    // the screen with its frame.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        frmSorvixEdit->setGeometry(normalMainWindowGeometry(screen->availableGeometry()));
    frmSorvixEdit->setWindowState(frmSorvixEdit->windowState() | Qt::WindowMaximized);
    frmSorvixEdit->show();
    if (!frmSorvixEdit->TAPI3Device)
        Prompt::instance().message(frmSorvixEdit, deviceError, ProductTitle, Prompt::Kind::Warning, Prompt::Buttons::Ok);

    loadDebugOptions(frmSorvixEdit);
    for (const QString& file : files) frmSorvixEdit->OpenFlowFile(file);
    // Work that a stop signal kept last time: the user learns where it is.
    frmSorvixEdit->OfferRecoveredCopies();
    handOver.setWindow(frmSorvixEdit);

    // A signal handled in a start-up message box asked for an end that no loop was there to take.
    const int result = stopSignals.firstSignal() ? stopSignals.exitStatus() : app.exec();
    delete frmSorvixEdit;
    return result;
}
