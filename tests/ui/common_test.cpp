#include <gtest/gtest.h>

#include <memory>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/aboutsorvixform.h"
#include "ui/help.h"
#include "ui/prompt.h"
#include "ui/sorvixform.h"
#include "ui/sorvixtreeview.h"
#include "engine/flow.h"
#include "engine/statements/flowcontrol.h"
#include "engine/texts.h"
#include "fakeprompt.h"

namespace {

TEST(SorvixDlg, CentredOnTheDesktopEveryTimeItIsShown)
{
    TSorvixDlg dlg;
    dlg.setFixedSize(200, 100);
    dlg.show();
    const QPoint first = dlg.frameGeometry().topLeft();
    EXPECT_EQ(first, TSorvixDlg::centredPosition(dlg.frameGeometry().size()));
    dlg.hide();
    dlg.move(first + QPoint(50, 40));
    dlg.show();
    EXPECT_EQ(dlg.frameGeometry().topLeft(), first);
}

// A small dialog with a long caption is widened so its title bar shows the whole caption; a
// shorter caption later lets it narrow again.
TEST(SorvixDlg, IsWideEnoughForItsWholeCaption)
{
    TSorvixDlg dlg;
    auto* layout = new QVBoxLayout(&dlg);
    layout->addWidget(new QLabel("x", &dlg));
    const QString caption = QString::fromUtf8("错误 : 名称") + " [Running - ReadOnly] [Running - ReadOnly]";
    dlg.setWindowTitle(caption);
    dlg.show();
    EXPECT_GE(dlg.width(), titleBarWidth(caption));
    dlg.hide();
    dlg.setWindowTitle("x");
    dlg.show();
    EXPECT_LT(dlg.width(), titleBarWidth(caption));
    EXPECT_GE(dlg.width(), titleBarWidth("x"));
}

// A message box with a short text and an input error's caption shows the whole caption.
TEST(MessageBox, IsWideEnoughForItsWholeCaption)
{
    setTextLanguage(true);
    const QString caption = txt::Error + txt::Colon + QString::fromUtf8("数据库名称");
    const auto box = QtPrompt::messageBox(nullptr, QString::fromUtf8("名称不能为空"), caption, Prompt::Kind::Error,
                                          Prompt::Buttons::Ok);
    box->show();
    EXPECT_GE(box->width(), titleBarWidth(caption));
    box->hide();
    setTextLanguage(false);
}

TEST(SorvixDlg, CentredPositionStaysOnAScreen)
{
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    // Larger than the desktop: truncating division would put it off screen; it is kept at the edge.
    const QPoint p = TSorvixDlg::centredPosition(desktop.size() + QSize(100, 100));
    EXPECT_EQ(p, QGuiApplication::primaryScreen()->availableGeometry().topLeft());
    const QPoint c = TSorvixDlg::centredPosition(QSize(100, 50));
    EXPECT_EQ(c.x(), desktop.left() + (desktop.width() - 100) / 2);
}

struct TreeFixture : ::testing::Test {
    TIVRFlow flow{nullptr, QString(), true};
    TSorvixTreeView view{&flow.tree()};
    FlowTreeModel* model() { return view.flowModel(); }
};

// Qt's own texts follow the interface language: its standard buttons read Chinese in Chinese.
TEST(QtTranslations, StandardButtonsFollowTheInterfaceLanguage)
{
    const auto texts = [] {
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        return box.button(QDialogButtonBox::Ok)->text() + '|' + box.button(QDialogButtonBox::Cancel)->text();
    };
    const QString english = texts();
    setTextLanguage(true);
    ASSERT_TRUE(installQtTranslations()) << "qt6-translations-l10n is not installed";
    EXPECT_EQ(texts(), QString::fromUtf8("确定|取消"));
    EXPECT_TRUE(installQtTranslations()) << "a second call changes nothing";
    EXPECT_EQ(texts(), QString::fromUtf8("确定|取消"));
    setTextLanguage(false);
    EXPECT_TRUE(installQtTranslations());
    EXPECT_EQ(texts(), english);
    EXPECT_EQ(english, "OK|Cancel");
}

// Qt's own lists (the file dialog's types, sizes and dates) follow the interface language too.
TEST(QtTranslations, TheDefaultLocaleIsTheInterfaceLanguage)
{
    const QLocale before;
    setTextLanguage(true);
    installQtTranslations();
    EXPECT_EQ(QLocale().language(), QLocale::Chinese);
    EXPECT_EQ(QLocale().formattedDataSize(2048, 0), QLocale(QLocale::Chinese, QLocale::China).formattedDataSize(2048, 0));
    setTextLanguage(false);
    installQtTranslations();
    EXPECT_EQ(QLocale().language(), QLocale::English);
    QLocale::setDefault(before);
}

// The file dialogs' detail list writes its dates in the program's language, not the system's.
TEST(QtTranslations, FileDialogsShowDatesInTheProgramLanguage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath("flow.svx"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QLocale before;
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    QLocale::setDefault(chinese);
    std::unique_ptr<QFileDialog> dialogs[] = {
        QtPrompt::openDialog(nullptr, "Open", dir.path(), "Flows (*.svx)"),
        QtPrompt::saveDialog(nullptr, "Save As", dir.path(), "Flows (*.svx)", "svx", {}),
        QtPrompt::newOrOpenDialog(nullptr, "Open", dir.path(), "Flows (*.svx)"),
    };
    for (const auto& d : dialogs) {
        auto* details = d->findChild<QTreeView*>(QStringLiteral("treeView"));
        ASSERT_NE(details, nullptr);
        EXPECT_NE(details->itemDelegateForColumn(3), nullptr);
        QModelIndex date;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            const QModelIndex root = details->rootIndex();
            for (int row = 0; row < details->model()->rowCount(root); ++row) {
                const QModelIndex name = details->model()->index(row, 0, root);
                if (name.data().toString() == "flow.svx") date = name.siblingAtColumn(3);
            }
            return date.isValid();
        }, 10000));
        const QDateTime modified = QFileInfo(file).lastModified();
        EXPECT_EQ(QtPrompt::fileDateText(date), chinese.toString(modified, QLocale::ShortFormat));
        if (QLocale::system().language() != QLocale::Chinese) {
            EXPECT_NE(QtPrompt::fileDateText(date), date.data().toString()) << "Qt's own text is the system's";
        }
    }
    QLocale::setDefault(before);
}

// A box that names no caption of its own carries the product title, as every other box does.
TEST(MessageBoxes, ABoxWithoutACaptionCarriesTheProductTitle)
{
    initProductTexts();
    EXPECT_EQ(QtPrompt::messageBox(nullptr, "text", QString(), Prompt::Kind::Error, Prompt::Buttons::Ok)->windowTitle(),
              ProductTitle);
    EXPECT_EQ(QtPrompt::messageBox(nullptr, "text", "Error : Wav File", Prompt::Kind::Error, Prompt::Buttons::Ok)
                  ->windowTitle(),
              "Error : Wav File");
}

TEST_F(TreeFixture, FollowsInsertsMovesDeletesAndCaptions)
{
    ASSERT_EQ(model()->rowCount(), 3);
    EXPECT_EQ(model()->data(model()->index(0, 0), Qt::DisplayRole).toString(), "Var");
    const QModelIndex begin = model()->index(1, 0);
    FlowNode* a = flow.tree().addLast(flow.BeginRoot, std::make_unique<IVRBlock>(&flow), "A");
    FlowNode* b = flow.tree().addLast(flow.BeginRoot, std::make_unique<IVRBlock>(&flow), "B");
    ASSERT_EQ(model()->rowCount(begin), 2);
    flow.tree().move(b, flow.BeginRoot, 0);
    EXPECT_EQ(model()->data(model()->index(0, 0, begin), Qt::DisplayRole).toString(), "B");
    flow.tree().move(a, b, 0);
    EXPECT_EQ(model()->rowCount(begin), 1);
    EXPECT_EQ(model()->rowCount(model()->index(0, 0, begin)), 1);
    flow.tree().setText(b, "B2");
    EXPECT_EQ(model()->data(model()->index(0, 0, begin), Qt::DisplayRole).toString(), "B2");
    flow.tree().remove(b);
    EXPECT_EQ(model()->rowCount(begin), 0);
}

TEST_F(TreeFixture, SelectionAndExpansionFollowBothWays)
{
    flow.tree().select(flow.EndRoot);
    EXPECT_EQ(model()->nodeOf(view.currentIndex()), flow.EndRoot);
    view.setCurrentIndex(model()->indexOf(flow.BeginRoot));
    EXPECT_EQ(flow.tree().selected(), flow.BeginRoot);
    EXPECT_TRUE(view.isExpanded(model()->indexOf(flow.VarRoot)));
    view.collapse(model()->indexOf(flow.VarRoot));
    EXPECT_FALSE(flow.VarRoot->expanded());
    EXPECT_EQ(flow.VarRoot->image(), 0);
    flow.tree().setExpanded(flow.VarRoot, true);
    EXPECT_TRUE(view.isExpanded(model()->indexOf(flow.VarRoot)));
    EXPECT_EQ(flow.VarRoot->image(), 1);
}

TEST_F(TreeFixture, DoubleClickOnlyRaisesTheEvent)
{
    view.resize(300, 300);
    view.show();
    int clicks = 0;
    QObject::connect(&view, &TSorvixTreeView::OnDblClick, [&] { ++clicks; });
    const QModelIndex var = model()->indexOf(flow.VarRoot);
    ASSERT_TRUE(view.isExpanded(var));
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(var).center());
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(view.isExpanded(var));
}

TEST(Help, TopicsMapToPagesAndTheOfferIsAcceptedOncePerRun)
{
    QTemporaryDir dir;
    qputenv("SORVIX_HELP_DIR", dir.path().toUtf8());
    resetHelpOffer();
    FakePrompt prompt;
    const QString root = "/opt/sorvix/Sorvix.chm::/";
    EXPECT_EQ(helpPageFor(root + "SorvixAdmin\\ChannelProperty.htm"), dir.path() + "/SorvixAdmin/ChannelProperty.htm");
    EXPECT_EQ(helpPageFor(root + "../etc/passwd"), QString());

    // No page: beep and offer; Cancel keeps offering, OK stops the offer.
    prompt.answers = {Prompt::Cancel, Prompt::Ok};
    EXPECT_EQ(ShowHtmlHelp(nullptr, root + "SorvixEdit.htm"), -1);
    EXPECT_EQ(ShowHtmlHelp(nullptr, root + "SorvixEdit.htm"), -1);
    EXPECT_EQ(ShowHtmlHelp(nullptr, root + "SorvixEdit.htm"), -1);
    EXPECT_EQ(prompt.beeps, 3);
    EXPECT_EQ(prompt.messages.size(), 2);
    EXPECT_EQ(prompt.urls.size(), 1);

    QFile page(dir.path() + "/SorvixEdit.htm");
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html></html>");
    page.close();
    EXPECT_EQ(ShowHtmlHelp(nullptr, root + "SorvixEdit.htm"), 0);
    EXPECT_TRUE(prompt.urls.last().endsWith("SorvixEdit.htm"));
    EXPECT_EQ(helpViewer(), nullptr) << "the browser showed it";
    EXPECT_FALSE(prompt.messages[0].contains("library")) << prompt.messages[0].toStdString();
    EXPECT_TRUE(prompt.messages[0].contains(QDir::toNativeSeparators(dir.path())));
    qunsetenv("SORVIX_HELP_DIR");
}

// Without a browser the page opens in the program's own viewer, links between pages included.
TEST(Help, WithoutABrowserThePageOpensInOurOwnViewer)
{
    QTemporaryDir dir;
    qputenv("SORVIX_HELP_DIR", dir.path().toUtf8());
    FakePrompt prompt;
    prompt.urlsWork = false;
    const auto write = [&](const QString& name, const QByteArray& html) {
        QDir().mkpath(QFileInfo(dir.filePath(name)).absolutePath());
        QFile page(dir.filePath(name));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write(html);
    };
    write("SorvixEdit.htm", "<html><head><title>Editor</title></head><body><p>Flows</p>"
                            "<a href=\"StatementReference/DataOperate/IVRExecute.htm\">Execute</a></body></html>");
    write("StatementReference/DataOperate/IVRExecute.htm",
          "<html><head><title>Execute</title></head><body><p>Runs a program</p></body></html>");
    EXPECT_EQ(ShowHtmlHelp(nullptr, "/opt/sorvix/Sorvix.chm::/SorvixEdit.htm"), 0);
    QTextBrowser* viewer = helpViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->source(), QUrl::fromLocalFile(dir.filePath("SorvixEdit.htm")));
    EXPECT_TRUE(viewer->toPlainText().contains("Flows"));
    EXPECT_EQ(viewer->windowTitle(), txt::HelpViewerTitle + "Editor");
    EXPECT_EQ(prompt.beeps, 0);
    EXPECT_TRUE(prompt.messages.isEmpty());
    viewer->setSource(QUrl("StatementReference/DataOperate/IVRExecute.htm"));
    EXPECT_TRUE(viewer->toPlainText().contains("Runs a program"));

    // The next topic reuses the window.
    EXPECT_EQ(ShowHtmlHelp(nullptr, "/opt/sorvix/Sorvix.chm::/StatementReference/DataOperate/IVRExecute.htm"), 0);
    EXPECT_EQ(helpViewer(), viewer);
    closeHelpViewer();
    EXPECT_EQ(helpViewer(), nullptr);
    qunsetenv("SORVIX_HELP_DIR");
}

// Help asked for from a modal dialog: the viewer belongs to that dialog, so it is usable while the
// dialog runs and stays open after it closes; its title follows the page, and it opens on screen.
TEST(Help, TheViewerOfAModalDialogIsUsableAboveIt)
{
    QTemporaryDir dir;
    qputenv("SORVIX_HELP_DIR", dir.path().toUtf8());
    FakePrompt prompt;
    prompt.urlsWork = false;
    for (const auto& [name, title] : {std::pair{"A.htm", "First"}, std::pair{"B.htm", "Second"}}) {
        QFile page(dir.filePath(name));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write(QStringLiteral("<html><head><title>%1</title></head><body><a href=\"B.htm\">next</a></body></html>")
                       .arg(title).toUtf8());
    }
    QWidget main;
    main.resize(1000, 800);
    main.show();
    TSorvixDlg dialog(&main);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
    QPushButton* inDialog = new QPushButton("Help", &dialog);

    EXPECT_EQ(ShowHtmlHelp(inDialog, "x/Sorvix.chm::/A.htm"), 0);
    QTextBrowser* viewer = helpViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isWindow());
    EXPECT_EQ(viewer->parentWidget(), &dialog) << "a window of the modal dialog, not blocked by it";
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle(), txt::HelpViewerTitle + "First");
    const QRect screen = viewer->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(viewer->frameGeometry().center()));
    EXPECT_LE(std::abs(viewer->frameGeometry().center().x() - screen.center().x()), 2);
    EXPECT_LE(std::abs(viewer->frameGeometry().center().y() - screen.center().y()), 2);

    // A link changes the page and the title.
    viewer->setSource(QUrl("B.htm"));
    EXPECT_EQ(viewer->windowTitle(), txt::HelpViewerTitle + "Second");

    // The dialog closes: the viewer stays.
    dialog.hide();
    EXPECT_TRUE(viewer->isVisible());
    // The next request from the main window takes it over, shown at the same place.
    const QPoint at = viewer->pos();
    EXPECT_EQ(ShowHtmlHelp(&main, "x/Sorvix.chm::/A.htm"), 0);
    EXPECT_EQ(helpViewer(), viewer);
    EXPECT_EQ(viewer->parentWidget(), &main);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->pos(), at);
    EXPECT_EQ(viewer->windowTitle(), txt::HelpViewerTitle + "First");
    closeHelpViewer();
    qunsetenv("SORVIX_HELP_DIR");
}

TEST(AboutBox, CaptionAndLinksOpenThroughThePrompt)
{
    initProductTexts();
    FakePrompt prompt;
    TfrmAboutSorvix about;
    EXPECT_EQ(about.windowTitle(), "About " + AboutTitle);
    about.lblSupportEmailClick();
    about.lblWebUrlClick();
    ASSERT_EQ(prompt.urls.size(), 2);
    EXPECT_EQ(prompt.urls[0], "mailto:" + SupportMailAddress);
    EXPECT_EQ(prompt.urls[1], QUrl(WebAddress).toString());
}

}  // namespace
