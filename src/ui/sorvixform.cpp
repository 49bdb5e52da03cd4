#include "ui/sorvixform.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QSpacerItem>
#include <QGuiApplication>
#include <QLayout>
#include <QImage>
#include <QLibraryInfo>
#include <QPixmap>
#include <QLocale>
#include <QTranslator>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>
#include <memory>

#include "engine/texts.h"

QString ProductTitle;
QString AboutTitle;
QString SubtitleText;
QString WebAddress;
QString SupportMailAddress;
QString SalesMailAddress;

void initProductTexts()
{
    ProductTitle = txt::ProductName;
    AboutTitle = QStringLiteral("Sorvix");
    SubtitleText = txt::ProductSubtitle;
    WebAddress = QStringLiteral("https://www.sorvix.com");
    SupportMailAddress = QStringLiteral("support@sorvix.com");
    SalesMailAddress = QStringLiteral("sales@sorvix.com");
    txt::HelpRoot = QCoreApplication::applicationDirPath() + QStringLiteral("/Sorvix.chm::/");
    txt::StatementHelpRoot = txt::HelpRoot + QStringLiteral("StatementReference");
}

namespace {

// The locale of Qt's own lists (a file dialog's types, sizes and dates): the system's when it
// speaks the interface language, else that language's main one.
void useInterfaceLocale()
{
    const QLocale::Language language = IsChinese ? QLocale::Chinese : QLocale::English;
    const QLocale system = QLocale::system();
    if (system.language() == language)
        QLocale::setDefault(system);
    else
        QLocale::setDefault(IsChinese ? QLocale(QLocale::Chinese, QLocale::China)
                                      : QLocale(QLocale::English, QLocale::UnitedStates));
}

}  // namespace

bool installQtTranslations()
{
    static QTranslator* installed = nullptr;
    useInterfaceLocale();
    if (!IsChinese) {
        if (installed) QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
        return true;
    }
    if (installed) return true;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        qWarning("Qt's Chinese translations (qtbase_zh_CN) are not installed");
        return false;
    }
    installed = translator.release();
    QCoreApplication::installTranslator(installed);
    return true;
}

QFont languageFont()
{
    QFont font;
    if (IsChinese) {
        font.setFamilies({QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei"),
                          QStringLiteral("Noto Sans CJK SC")});
        font.setPointSize(9);
    } else {
        font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"),
                          QStringLiteral("Liberation Sans")});
        font.setPointSize(8);
    }
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QIcon withDisabledLook(const QIcon& icon)
{
    QIcon result;
    for (const int extent : {16, 22, 24, 32}) {
        const QPixmap normal = icon.pixmap(extent, QIcon::Normal);
        if (normal.isNull()) continue;
        result.addPixmap(normal, QIcon::Normal);
        result.addPixmap(icon.pixmap(extent, QIcon::Active), QIcon::Active);
        result.addPixmap(icon.pixmap(extent, QIcon::Selected), QIcon::Selected);
        QImage image = normal.toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int grey = qGray(line[x]);
                line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) / 3);
            }
        }
        result.addPixmap(QPixmap::fromImage(image), QIcon::Disabled);
    }
    return result;
}

int titleBarWidth(const QString& title)
{
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    const QFontMetrics metrics(font);
    // Icon and the close button on the sides, with room for a window manager's larger font.
    return metrics.horizontalAdvance(title) * 5 / 4 + 2 * metrics.height() + 96;
}

TSorvixForm::TSorvixForm(QWidget* parent) : QMainWindow(parent)
{
    setFont(languageFont());
}

TSorvixDlg::TSorvixDlg(QWidget* parent) : QDialog(parent)
{
    setFont(languageFont());
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setModal(true);
}

QPoint TSorvixDlg::centredPosition(const QSize& size)
{
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return {};
    const QRect desktop = primary->virtualGeometry();
    // Truncating division, as a dialog larger than the desktop gets a negative position.
    QPoint pos(desktop.left() + (desktop.width() - size.width()) / 2,
               desktop.top() + (desktop.height() - size.height()) / 2);
    // Monitors of different sizes can leave that point on no screen: move it into the nearest one.
    QScreen* nearest = nullptr;
    qint64 best = -1;
    const QRect wanted(pos, size);
    for (QScreen* s : QGuiApplication::screens()) {
        const QRect avail = s->availableGeometry();
        const QRect inter = avail.intersected(wanted);
        const qint64 area = inter.isValid() ? qint64(inter.width()) * inter.height() : 0;
        if (area > best || (area == best && area == 0 && nearest &&
                            (avail.center() - wanted.center()).manhattanLength() <
                                (nearest->availableGeometry().center() - wanted.center()).manhattanLength())) {
            best = area;
            nearest = s;
        }
    }
    if (!nearest) return pos;
    const QRect avail = nearest->availableGeometry();
    if (wanted.width() <= avail.width()) pos.setX(std::clamp(pos.x(), avail.left(), avail.right() - size.width() + 1));
    else pos.setX(avail.left());
    if (wanted.height() <= avail.height()) pos.setY(std::clamp(pos.y(), avail.top(), avail.bottom() - size.height() + 1));
    else pos.setY(avail.top());
    return pos;
}

void TSorvixDlg::showEvent(QShowEvent* event)
{
    if (auto* box = qobject_cast<QBoxLayout*>(layout())) {
        if (!titleSpace_) {
            titleSpace_ = new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
            box->addSpacerItem(titleSpace_);
        }
        const int needed = titleBarWidth(windowTitle()) - box->contentsMargins().left() - box->contentsMargins().right();
        if (titleSpace_->sizeHint().width() != needed) {
            titleSpace_->changeSize(needed, 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
            box->invalidate();
            box->activate();
        }
    }
    if (minimumSize() != maximumSize()) {
        if (layout()) layout()->setSizeConstraint(QLayout::SetFixedSize);
        adjustSize();
    }
    move(centredPosition(frameGeometry().size()));
    QDialog::showEvent(event);
}
