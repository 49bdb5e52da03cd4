#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

#include "ui/help.h"
#include "ui/sorvixform.h"
#include "engine/texts.h"
#include "fakeprompt.h"

namespace {

// The help folder as the build puts it next to the programs.
const QString kHelpDir = QStringLiteral(SORVIX_BINARY_DIR "/src/apps/help");

// Every topic the programs open, written as they build it: after HelpRoot, or after StatementHelpRoot.
struct Topic {
    bool statement;
    const char* path;
};

const Topic kTopics[] = {
    {false, "SorvixEdit.htm"},
    {false, "SorvixAdmin.htm"},
    {false, "SorvixAdmin\\ChannelProperty.htm"},
    {true, "/DataDefine/IVRCategory.htm"},
    {true, "/DataDefine/IVRVariant.htm"},
    {true, "/DataDefine/IVRDataBase.htm"},
    {true, "/FlowControl/IVRBlock.htm"},
    {true, "/FlowControl/IVRLabel.htm"},
    {true, "/FlowControl/IVRGoto.htm"},
    {true, "/FlowControl/IVRIf.htm"},
    {true, "/FlowControl/IVRSwitch.htm"},
    {true, "/FlowControl/IVRWhile.htm"},
    {true, "/FlowControl/IVRCase.htm"},
    {true, "/TelephoneOperate/IVRRing.htm"},
    {true, "/TelephoneOperate/IVRCall.htm"},
    {true, "/TelephoneOperate/IVRGateway.htm"},
    {true, "/TelephoneOperate/IVRSend.htm"},
    {true, "/TelephoneOperate/IVRGain.htm"},
    {true, "/TelephoneOperate/IVRSpeakerPhone.htm"},
    {true, "/TelephoneOperate/IVRPlay.htm"},
    {true, "/TelephoneOperate/IVRRecord.htm"},
    {true, "/TelephoneOperate/IVRSleep.htm"},
    {true, "/TelephoneOperate/IVRSpeech.htm"},
    {true, "/DataOperate/IVROperator.htm"},
    {true, "/DataOperate/IVRString.htm"},
    {true, "/DataOperate/IVRDateTime.htm"},
    {true, "/DataOperate/IVRDBOperate.htm"},
    {true, "/DataOperate/IVRField.htm"},
    {true, "/DataOperate/IVRParam.htm"},
    {true, "/DataOperate/IVRCommand.htm"},
    {true, "/DataOperate/IVRExecute.htm"},
    {true, "/DataOperate/IVRTextFile.htm"},
    {true, "/DataOperate/IVRInitFile.htm"},
};

class HelpPages : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("SORVIX_HELP_DIR", kHelpDir.toUtf8());
        initProductTexts();
        resetHelpOffer();
    }
    void TearDown() override { qunsetenv("SORVIX_HELP_DIR"); }

    static QStringList pages()
    {
        QStringList list;
        QDirIterator it(kHelpDir, {QStringLiteral("*.htm")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) list << QFileInfo(it.next()).canonicalFilePath();
        return list;
    }
    static QString read(const QString& file, bool* utf8 = nullptr)
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringDecoder decode(QStringDecoder::Utf8);
        const QString text = decode(f.readAll());
        if (utf8) *utf8 = !decode.hasError();
        return text;
    }
};

TEST_F(HelpPages, EveryTopicTheProgramsOpenShowsItsPage)
{
    FakePrompt prompt;
    for (const Topic& t : kTopics) {
        const QString path = (t.statement ? txt::StatementHelpRoot : txt::HelpRoot) + QLatin1String(t.path);
        SCOPED_TRACE(path.toStdString());
        const QFileInfo page(helpPageFor(path));
        ASSERT_TRUE(page.isFile());
        EXPECT_GT(page.size(), 0);
        EXPECT_TRUE(page.canonicalFilePath().startsWith(QFileInfo(kHelpDir).canonicalFilePath() + '/'));
        EXPECT_EQ(ShowHtmlHelp(nullptr, path), 0);
        ASSERT_FALSE(prompt.urls.isEmpty());
        EXPECT_EQ(QUrl(prompt.urls.last()).toLocalFile(), page.filePath());
    }
    EXPECT_EQ(prompt.beeps, 0);
}

// Relative links and the style sheet lead to files of the folder, anchors to ids of the page,
// and the index lists every page.
TEST_F(HelpPages, PagesAreUtf8AndLinkOnlyToPagesThatExist)
{
    const QString root = QFileInfo(kHelpDir).canonicalFilePath();
    const QStringList all = pages();
    ASSERT_GE(all.size(), qsizetype(std::size(kTopics)));
    const QRegularExpression link(QStringLiteral(R"re((?:href|src)="([^"]*)")re"));
    QStringList fromIndex;
    for (const QString& page : all) {
        bool utf8 = false;
        const QString text = read(page, &utf8);
        SCOPED_TRACE(page.toStdString());
        EXPECT_TRUE(utf8);
        EXPECT_TRUE(text.contains(QLatin1String("<meta charset=\"utf-8\">")));
        for (auto m = link.globalMatch(text); m.hasNext();) {
            const QString target = m.next().captured(1);
            if (target.contains(QLatin1String("://")) || target.startsWith(QLatin1String("mailto:"))) continue;
            SCOPED_TRACE(target.toStdString());
            const qsizetype hash = target.indexOf('#');
            const QString file = hash < 0 ? target : target.left(hash);
            const QString anchor = hash < 0 ? QString() : target.mid(hash + 1);
            const QFileInfo to(file.isEmpty() ? page : QFileInfo(page).dir().filePath(file));
            EXPECT_TRUE(to.isFile());
            if (!to.isFile()) continue;
            EXPECT_TRUE(to.canonicalFilePath().startsWith(root + '/'));
            if (!anchor.isEmpty()) {
                EXPECT_TRUE(read(to.filePath()).contains(QStringLiteral("id=\"%1\"").arg(anchor)));
            }
            if (QFileInfo(page).fileName() == QLatin1String("index.htm")) fromIndex << to.canonicalFilePath();
        }
    }
    for (const QString& page : all) {
        if (QFileInfo(page).fileName() != QLatin1String("index.htm")) {
            EXPECT_TRUE(fromIndex.contains(page)) << page.toStdString();
        }
    }
}

}  // namespace
