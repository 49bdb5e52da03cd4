#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include "channels/admintexts.h"
#include "engine/texts.h"

namespace {

struct AdminTexts : ::testing::Test {
    void TearDown() override
    {
        setTextLanguage(false);
        setAdminTextLanguage(false);
    }
};

TEST_F(AdminTexts, EveryEntryInEitherLanguage)
{
    setAdminTextLanguage(false);
    for (const adm::Entry& e : adm::allEntries()) EXPECT_EQ(*e.text, QString::fromUtf8(e.english)) << e.name;
    setAdminTextLanguage(true);
    for (const adm::Entry& e : adm::allEntries())
        EXPECT_EQ(*e.text, QString::fromUtf8(e.chinese ? e.chinese : e.english)) << e.name;
    // Only the gateway message has no Chinese text.
    EXPECT_EQ(adm::GatewayEmpty, "Gateway is empty.");
    int english = 0;
    for (const adm::Entry& e : adm::allEntries()) english += e.chinese == nullptr;
    EXPECT_EQ(english, 1);
}

TEST_F(AdminTexts, PinnedTexts)
{
    setAdminTextLanguage(false);
    EXPECT_EQ(adm::ChannelRunning, QStringLiteral(" channel is running，please first stop."));
    EXPECT_EQ(adm::AddressInUse, "  is running by another channel.");
    EXPECT_EQ(adm::ApplicationNameUsed, "Name has been used by another Application. ");
    EXPECT_EQ(adm::Add, "&Add..");
    setAdminTextLanguage(true);
    EXPECT_EQ(adm::ChannelRunning, QStringLiteral(" 通道正在运行，请先停止再设置"));
    EXPECT_EQ(adm::Application, adm::Applications) << "two entries, one Chinese text";
    EXPECT_EQ(adm::RemoveAddress, QStringLiteral("移去设备(&D)"));
    EXPECT_EQ(adm::FlowFileLabel, QStringLiteral("流程文件(&F)："));
}

TEST_F(AdminTexts, ChineseCaptionsKeepTheAcceleratorInParentheses)
{
    QSet<QString> names;
    for (const adm::Entry& e : adm::allEntries()) {
        EXPECT_FALSE(names.contains(e.name)) << e.name;
        names.insert(e.name);
        const QString english = QString::fromUtf8(e.english);
        const qsizetype amp = english.indexOf('&');
        if (amp < 0 || !e.chinese) continue;
        const QString key = QStringLiteral("(&") + english.at(amp + 1).toUpper() + ')';
        EXPECT_TRUE(QString::fromUtf8(e.chinese).contains(key)) << e.name;
    }
}

TEST_F(AdminTexts, FollowTheEngineLanguage)
{
    setTextLanguage(true);
    initAdminTexts();
    EXPECT_EQ(adm::StateWaitForCall, QStringLiteral("等候呼叫"));
    setTextLanguage(false);
    initAdminTexts();
    EXPECT_EQ(adm::StateWaitForCall, "Wait For Call");
}

}  // namespace
