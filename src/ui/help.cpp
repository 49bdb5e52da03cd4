#include "ui/help.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

#include "ui/prompt.h"
#include "ui/sorvixform.h"
#include "engine/texts.h"

namespace {
bool g_helpDownloadOffered = false;
const char* const kHelpFile = "Sorvix.chm::/";
const char* const kHelpPage = "https://www.sorvix.com/help";
QPointer<QTextBrowser> g_viewer;
}  // namespace

void resetHelpOffer()
{
    g_helpDownloadOffered = false;
}

QString helpFolder()
{
    const QString forced = qEnvironmentVariable("SORVIX_HELP_DIR");
    if (!forced.isEmpty()) return forced;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/help");
}

QString helpPageFor(const QString& path)
{
    const qsizetype at = path.indexOf(QLatin1String(kHelpFile));
    if (at < 0) return {};
    QString topic = path.mid(at + qsizetype(strlen(kHelpFile)));
    topic.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (topic.startsWith(QLatin1Char('/'))) topic.remove(0, 1);
    if (topic.isEmpty() || topic.contains(QStringLiteral(".."))) return {};
    return QDir(helpFolder()).filePath(topic);
}

QTextBrowser* helpViewer()
{
    return g_viewer;
}

void closeHelpViewer()
{
    delete g_viewer;
}

namespace {

// The window the viewer belongs to: the modal dialog that runs, so that the viewer is not blocked
// by it, else the asker's window.
QWidget* viewerOwner(QWidget* asker)
{
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return asker ? asker->window() : nullptr;
}

void showViewerAbove(QTextBrowser* viewer, QWidget* owner)
{
    const bool wasVisible = viewer->isVisible();
    if (viewer->parentWidget() != owner) {
        // Setting the parent hides the window; it comes back where it was.
        const QRect geometry = viewer->geometry();
        viewer->setParent(owner, Qt::Window);
        if (wasVisible) viewer->setGeometry(geometry);
    }
    if (!wasVisible) {
        // Opened in the middle of the screen the asker is on.
        const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect avail = screen->availableGeometry();
            const QSize size = viewer->size().boundedTo(avail.size());
            viewer->resize(size);
            viewer->move(avail.center() - QPoint(size.width() / 2, size.height() / 2));
        }
    }
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

}  // namespace

QTextBrowser* showHelpInViewer(const QString& page, QWidget* asker)
{
    if (!g_viewer) {
        // A window of its own, for the run of the program; it follows links between the pages
        // and hands any other address to the prompt.
        g_viewer = new QTextBrowser;
        g_viewer->setAttribute(Qt::WA_DeleteOnClose, false);
        g_viewer->setWindowFlag(Qt::Window);
        g_viewer->setFont(languageFont());
        g_viewer->setOpenLinks(true);
        g_viewer->setOpenExternalLinks(false);
        g_viewer->resize(760, 560);
        QObject::connect(g_viewer.data(), &QTextBrowser::anchorClicked, g_viewer.data(), [](const QUrl& url) {
            if (!url.isLocalFile() && !url.isRelative()) Prompt::instance().openUrl(url);
        });
        // The title names the page shown, also after a link.
        QObject::connect(g_viewer.data(), &QTextBrowser::sourceChanged, g_viewer.data(), [] {
            g_viewer->setWindowTitle(txt::HelpViewerTitle + g_viewer->documentTitle());
        });
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, g_viewer.data(), &QObject::deleteLater);
    }
    g_viewer->setSearchPaths({helpFolder()});
    g_viewer->setSource(QUrl::fromLocalFile(page));
    g_viewer->setWindowTitle(txt::HelpViewerTitle + g_viewer->documentTitle());
    showViewerAbove(g_viewer, viewerOwner(asker));
    return g_viewer;
}

int ShowHtmlHelp(QWidget* window, const QString& path, int, int)
{
    Prompt& prompt = Prompt::instance();
    const QString page = helpPageFor(path);
    if (!page.isEmpty() && QFileInfo(page).isFile()) {
        if (prompt.openUrl(QUrl::fromLocalFile(page))) return 0;
        // No browser could be started: the same page in a viewer of our own.
        showHelpInViewer(page, window);
        return 0;
    }

    prompt.beep();
    if (!g_helpDownloadOffered) {
        const QString text = txt::HelpNotInstalled.arg(QDir::toNativeSeparators(helpFolder()));
        if (prompt.message(window, text, txt::Error, Prompt::Kind::Error, Prompt::Buttons::OkCancel) == Prompt::Ok) {
            prompt.openUrl(QUrl(QLatin1String(kHelpPage)));
            g_helpDownloadOffered = true;
        }
    }
    return -1;
}
