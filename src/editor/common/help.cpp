#include "editor/common/help.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "editor/common/prompt.h"

namespace {
bool g_helpDownloadOffered = false;
const char* const kHelpFile = "Sorvix.chm::/";
const char* const kHelpPage = "https://www.sorvix.com/help";
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

int ShowHtmlHelp(QWidget* window, const QString& path, int, int)
{
    Prompt& prompt = Prompt::instance();
    const QString page = helpPageFor(path);
    if (!page.isEmpty() && QFileInfo(page).isFile() && prompt.openUrl(QUrl::fromLocalFile(page))) return 0;

    prompt.beep();
    if (!g_helpDownloadOffered) {
        const QString text = QStringLiteral("Unable to load \"%1\" library !!!\r\n"
                                            "Press OK Button to download and install the latest version\r\n"
                                            "of the Sorvix help pages from the Sorvix Web Site.")
                                 .arg(QDir::toNativeSeparators(helpFolder()));
        if (prompt.message(window, text, QStringLiteral("Error"), Prompt::Kind::Error, Prompt::Buttons::OkCancel) ==
            Prompt::Ok) {
            prompt.openUrl(QUrl(QLatin1String(kHelpPage)));
            g_helpDownloadOffered = true;
        }
    }
    return -1;
}
