#include "ui/aboutsorvixform.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/prompt.h"
#include "engine/flow.h"
#include "engine/texts.h"

TfrmAboutSorvix::TfrmAboutSorvix(QWidget* parent) : TSorvixDlg(parent)
{
    FormCreate();
}

void TfrmAboutSorvix::FormCreate()
{
    setWindowTitle(TIVRFlow::CaptionToName(txt::About) + AboutTitle);
    setFixedSize(444, 350);

    auto banner = [this](const QString& text, int height, Qt::Alignment align) {
        auto* l = new QLabel(text, this);
        l->setAutoFillBackground(true);
        QPalette pal = l->palette();
        pal.setColor(QPalette::Window, Qt::white);
        pal.setColor(QPalette::WindowText, Qt::blue);
        l->setPalette(pal);
        l->setFixedHeight(height);
        l->setAlignment(align);
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
        return l;
    };
    lblSorvix = banner(AboutTitle, 48, Qt::AlignHCenter | Qt::AlignBottom);
    QFont title(QStringLiteral("Times New Roman"));
    title.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("DejaVu Serif"), QStringLiteral("Liberation Serif")});
    title.setPixelSize(32);
    title.setBold(true);
    lblSorvix->setFont(title);

    lblIVRMachine = banner(SubtitleText, 45, Qt::AlignCenter);
    QFont sub;
    if (IsChinese) {
        sub.setFamilies({QStringLiteral("隶书"), QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
        sub.setPointSize(24);
    } else {
        sub.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
        sub.setPointSize(18);
    }
    sub.setBold(true);
    lblIVRMachine->setFont(sub);

    lblVersion = new QLabel(txt::Version, this);
    lblVersion->setAlignment(Qt::AlignCenter);

    auto caption = [this](const QString& text) {
        auto* l = new QLabel(text, this);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    auto link = [this](const QString& text) {
        auto* l = new QLabel(text, this);
        QFont f = l->font();
        f.setUnderline(true);
        l->setFont(f);
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, Qt::blue);
        l->setPalette(pal);
        l->setCursor(Qt::PointingHandCursor);
        l->installEventFilter(this);
        return l;
    };
    lblWebSite = caption(txt::AboutWebSite);
    lblWebUrl = link(WebAddress);
    lblTechSupport = caption(txt::AboutTechSupport);
    lblSupportEmail = link(SupportMailAddress);
    lblMarket = caption(txt::AboutMarket);
    lblMarketEmail = link(SalesMailAddress);

    btnOK = new QPushButton(txt::Ok, this);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* rows = new QGridLayout;
    rows->addWidget(lblWebSite, 0, 0);
    rows->addWidget(lblWebUrl, 0, 1);
    rows->addWidget(lblTechSupport, 1, 0);
    rows->addWidget(lblSupportEmail, 1, 1);
    rows->addWidget(lblMarket, 2, 0);
    rows->addWidget(lblMarketEmail, 2, 1);
    rows->setColumnStretch(0, 1);
    rows->setColumnStretch(1, 1);

    auto* bevel = new QFrame(this);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 12);
    layout->addWidget(lblSorvix);
    layout->addWidget(lblIVRMachine);
    layout->addSpacing(16);
    layout->addWidget(lblVersion);
    layout->addSpacing(12);
    layout->addLayout(rows);
    layout->addStretch();
    layout->addWidget(bevel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addSpacing(12);
    layout->addLayout(buttons);
}

bool TfrmAboutSorvix::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == lblWebUrl || watched == lblSorvix || watched == lblIVRMachine) lblWebUrlClick();
        else if (watched == lblSupportEmail) lblSupportEmailClick();
        else if (watched == lblMarketEmail) lblMarketEmailClick();
    }
    return TSorvixDlg::eventFilter(watched, event);
}

void TfrmAboutSorvix::lblWebUrlClick()
{
    Prompt::instance().openUrl(QUrl(lblWebUrl->text()));
}

void TfrmAboutSorvix::lblSupportEmailClick()
{
    Prompt::instance().openUrl(QUrl(QStringLiteral("mailto:") + lblSupportEmail->text()));
}

void TfrmAboutSorvix::lblMarketEmailClick()
{
    Prompt::instance().openUrl(QUrl(QStringLiteral("mailto:") + lblMarketEmail->text()));
}
