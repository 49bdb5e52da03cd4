#include <gtest/gtest.h>

#include <QLocale>
#include <QSet>

#include <map>
#include <vector>

#include "engine/texts.h"
#include "engine/typedefine.h"

namespace {

// Every test that switches the language leaves the run in English again, even when it fails.
class TextTables : public ::testing::Test {
protected:
    void TearDown() override { setTextLanguage(false); }

    // The texts of every entry in one language, in table order.
    static std::vector<QString> texts(bool chinese)
    {
        setTextLanguage(chinese);
        std::vector<QString> result;
        for (const txt::Entry& e : txt::allEntries()) result.push_back(*e.text);
        return result;
    }
};

// The accelerator letter of a caption ("&&" is a literal ampersand); 0 when it has none.
QChar accelerator(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return text[i + 1];
    }
    return QChar();
}

TEST_F(TextTables, EveryEntryHasBothLanguagesAndChineseDiffers)
{
    const auto english = texts(false);
    const auto chinese = texts(true);
    const auto entries = txt::allEntries();
    ASSERT_EQ(entries.size(), 265u);
    QSet<QString> names;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(entries[i].name);
        EXPECT_FALSE(names.contains(entries[i].name));
        names.insert(entries[i].name);
        EXPECT_FALSE(english[i].isEmpty());
        EXPECT_FALSE(chinese[i].isEmpty());
        EXPECT_NE(english[i], chinese[i]);
        // A label or message that ends in ": " ends in the full-width colon in Chinese.
        if (english[i].endsWith(": ")) {
            EXPECT_TRUE(chinese[i].endsWith(u'：')) << chinese[i].toStdString();
        }
        EXPECT_FALSE(chinese[i].contains(": ")) << chinese[i].toStdString();
    }
    // Switching back gives the English texts again.
    EXPECT_EQ(texts(false), english);
}

TEST_F(TextTables, ChineseAcceleratorFollowsTheTextInParentheses)
{
    const auto english = texts(false);
    const auto chinese = texts(true);
    const auto entries = txt::allEntries();
    // Genuine exceptions: the about command is made of two pieces around the product title and
    // its accelerator moves behind the title; "&C&ollapse" carries two marks, and "C" is taken
    // by "&Collapse All" in the same menu, so the Chinese caption uses "O".
    const std::map<QString, QString> exceptions = {
        {"About", QString::fromUtf8("关于")},
        {"AboutTail", QString::fromUtf8("(&A)...")},
        {"mnuCollapse", QString::fromUtf8("折叠(&O)")},
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(entries[i].name);
        const QString& en = english[i];
        const QString& zh = chinese[i];
        if (auto it = exceptions.find(entries[i].name); it != exceptions.end()) {
            EXPECT_EQ(zh, it->second);
            continue;
        }
        const QChar key = accelerator(en);
        if (key.isNull()) {
            EXPECT_FALSE(zh.contains('&')) << zh.toStdString();
            continue;
        }
        EXPECT_EQ(zh.count('&'), 1) << zh.toStdString();
        QString tail;
        if (en.endsWith(": ")) tail = QString::fromUtf8("：");
        else if (en.endsWith("...")) tail = "...";
        const QString expected = "(&" + QString(key.toUpper()) + ")" + tail;
        EXPECT_TRUE(zh.endsWith(expected)) << zh.toStdString() << " should end in " << expected.toStdString();
        EXPECT_GT(zh.size(), expected.size()) << "no text before the accelerator";
    }
}

TEST_F(TextTables, RepeatedEnglishLabelsKeepTheirOwnChineseText)
{
    setTextLanguage(false);
    const std::vector<QString*> notes = {&txt::Note,          &txt::NoteCall,   &txt::NoteGateway,
                                         &txt::NoteSpeakerPhone, &txt::NotePlay, &txt::NoteRecord,
                                         &txt::NoteSpeech,    &txt::NoteSendDTMF, &txt::NoteSleep};
    for (QString* note : notes) EXPECT_EQ(*note, "&Note: ");
    EXPECT_EQ(txt::VariantNameUsed, txt::LabelNameUsed);

    setTextLanguage(true);
    QSet<QString> chinese;
    for (QString* note : notes) chinese.insert(*note);
    EXPECT_EQ(chinese.size(), qsizetype(notes.size()));
    EXPECT_NE(txt::VariantNameUsed, txt::LabelNameUsed);
    EXPECT_NE(txt::OptionSpeaker, txt::SpeakerPhoneSpeaker);
    EXPECT_NE(txt::OptionMicSpeaker, txt::SpeakerPhoneMicSpeaker);
}

struct Pinned {
    const QString* text;
    const char* english;
    const char* chinese;
};

TEST_F(TextTables, PinnedEntries)
{
    const Pinned pinned[] = {
        {&txt::SaveVariant, "&Save Variant: ", "保存变量(&S)："},
        {&txt::OptionChannelAddress, "Channel &Address: ", "通道地址(&A)："},
        {&txt::Ok, "&Ok", "确定(&O)"},
        {&txt::Help, "&Help", "帮助(&H)"},
        {&txt::NoteCall, "&Note: ", "呼叫说明(&N)："},
        {&txt::NoteGateway, "&Note: ", "网关说明(&N)："},
        {&txt::Colon, " : ", "："},
        {&txt::BreakMark, "* ", "●"},
        {&txt::RunMark, "->", "→"},
        {&txt::NoteOpen, " {", " ｛"},
        {&txt::NoteClose, "} ", "｝ "},
        {&txt::About, "&About ", "关于"},
        {&txt::AboutTail, "...", "(&A)..."},
        {&txt::Version, "Version 1.0.2", "版本 1.0.2"},
        {&txt::tnVar, "Var", "数据定义"},
        {&txt::CatDataDefine, "Data Define", "数据定义"},
        {&txt::FileCannotOpen, "File cann't be openned: ", "文件无法打开："},
        {&txt::NameEmpty, "Name cann't be empty", "名称不能为空"},
        {&txt::mnuArrangeIcons, "&Ararange Icons", "排列图标(&A)"},
        {&txt::mnuCollapse, "&C&ollapse", "折叠(&O)"},
        {&txt::QuoteHint, "If it is String, it must be quoted by double quotation marks(\").",
         "如果是字符串，必须用双引号(\")括起来。"},
        {&txt::TextFileFilter, "Text Files (*.txt)|*.txt|All Files (*.*)|*.*",
         "文本文件 (*.txt)|*.txt|所有文件 (*.*)|*.*"},
        {&txt::RunningReadOnly, " [Running - ReadOnly]", " [运行中 - 只读]"},
        {&txt::OptionGatewaySameAsChannel, "Gateway Address can't be same as Channel Address",
         "网关地址不能与通道地址相同"},
    };
    for (bool chinese : {false, true}) {
        setTextLanguage(chinese);
        EXPECT_EQ(IsChinese, chinese);
        for (const Pinned& p : pinned)
            EXPECT_EQ(*p.text, QString::fromUtf8(chinese ? p.chinese : p.english));
    }
    // The speech-engine hint names what a user of this system installs, in both languages.
    setTextLanguage(false);
    EXPECT_TRUE(txt::NotTTSHint.startsWith("Please download and intall ")) << txt::NotTTSHint.toStdString();
    EXPECT_TRUE(txt::NotTTSHint.contains("espeak-ng"));
    EXPECT_FALSE(txt::NotTTSHint.contains("Microsoft"));
    setTextLanguage(true);
    EXPECT_TRUE(txt::NotTTSHint.contains("espeak-ng"));
}

struct ListLength {
    const char* name;
    const QStringList* list;
    qsizetype english;
    qsizetype chinese;
};

TEST_F(TextTables, ListLengthsPerLanguage)
{
    const ListLength lengths[] = {
        {"ResultNames", &txt::ResultNames, 4, 4},
        {"ResultMessages", &txt::ResultMessages, 10, 10},
        {"CommandTypeNames", &txt::CommandTypeNames, 4, 4},
        {"OperatorNames", &txt::OperatorNames, 16, 16},
        {"StringOperateNames", &txt::StringOperateNames, 7, 7},
        {"DateOperateNames", &txt::DateOperateNames, 15, 15},
        {"DataBaseOperateNames", &txt::DataBaseOperateNames, 7, 7},
        {"CalledTypeNames", &txt::CalledTypeNames, 3, 3},
        {"SpeechLanguageIds", &txt::SpeechLanguageIds, 2, 3},
        {"SpeechLanguageNames", &txt::SpeechLanguageNames, 2, 3},
        {"SpeechContextIds", &txt::SpeechContextIds, 18, 18},
        {"SpeechContextNames", &txt::SpeechContextNames, 18, 18},
    };
    for (bool chinese : {false, true}) {
        setTextLanguage(chinese);
        for (const ListLength& l : lengths) {
            SCOPED_TRACE(l.name);
            EXPECT_EQ(l.list->size(), chinese ? l.chinese : l.english);
            // Only result messages 0, 2, 4 and the "no language" speech id are empty.
            for (qsizetype i = 0; i < l.list->size(); ++i) {
                const bool mayBeEmpty = (l.list == &txt::ResultMessages && (i == 0 || i == 2 || i == 4)) ||
                                        (l.list == &txt::SpeechLanguageIds && i == 0);
                EXPECT_EQ(l.list->at(i).isEmpty(), mayBeEmpty) << "index " << i;
            }
        }
    }
}

TEST_F(TextTables, PinnedListEntries)
{
    setTextLanguage(false);
    EXPECT_EQ(txt::ResultNames,
              QStringList({"returnSUCCESS", "returnFAILED", "returnHANGUP", "returnCALLFAILED"}));
    EXPECT_EQ(txt::ResultMessages[7], "NotTTS");
    EXPECT_EQ(txt::CommandTypeNames[0], "Unknown");
    EXPECT_EQ(txt::OperatorNames[11], "GreaterEqual");
    EXPECT_EQ(txt::OperatorNames[15], "Not");
    EXPECT_EQ(txt::StringOperateNames[4], "SubString");
    EXPECT_EQ(txt::DateOperateNames[10], "MillSecond");
    EXPECT_EQ(txt::DataBaseOperateNames[6], "Last");
    EXPECT_EQ(txt::CalledTypeNames[2], "IP Address");
    EXPECT_EQ(txt::SpeechLanguageIds, QStringList({"", "409"}));
    EXPECT_EQ(txt::SpeechLanguageNames, QStringList({"Default_Language", "American_English"}));
    EXPECT_EQ(txt::SpeechContextIds.first(), "Date_MDY");
    EXPECT_EQ(txt::SpeechContextIds[15], "E-mail_Address");
    EXPECT_EQ(txt::SpeechContextIds.last(), "Address_Postal");
    EXPECT_EQ(txt::SpeechContextNames, txt::SpeechContextIds);  // the dialog shows the id itself

    setTextLanguage(true);
    EXPECT_EQ(txt::ResultNames[0], QString::fromUtf8("返回成功"));
    EXPECT_EQ(txt::ResultNames[3], QString::fromUtf8("返回呼叫失败"));
    EXPECT_EQ(txt::ResultMessages[9], QString::fromUtf8("参数错误"));
    EXPECT_EQ(txt::CommandTypeNames[1], QString::fromUtf8("SQL语句"));
    EXPECT_EQ(txt::OperatorNames[11], QString::fromUtf8("是否大于等于"));
    EXPECT_EQ(txt::StringOperateNames[4], QString::fromUtf8("取子串（部分文字）"));
    EXPECT_EQ(txt::DateOperateNames[14], QString::fromUtf8("秒数"));
    EXPECT_EQ(txt::DataBaseOperateNames[4], QString::fromUtf8("上一条记录"));
    EXPECT_EQ(txt::CalledTypeNames[1], QString::fromUtf8("主机名"));
    EXPECT_EQ(txt::SpeechLanguageIds, QStringList({"", "804", "409"}));
    EXPECT_EQ(txt::SpeechLanguageNames[1], QString::fromUtf8("简体中文"));
    EXPECT_EQ(txt::SpeechContextIds.first(), "Date_mdy");
    EXPECT_EQ(txt::SpeechContextIds[3], "CHS_Date_ymdhm");
    EXPECT_EQ(txt::SpeechContextIds.last(), "CHS_phone_postal");
    EXPECT_EQ(txt::SpeechContextNames[3], QString::fromUtf8("日期 年-月-日 时:分 AM(上午)或PM(下午)(仅中文)"));
    EXPECT_EQ(txt::SpeechContextNames.last(), QString::fromUtf8("电话号码或邮政编码(仅中文)"));
}

TEST_F(TextTables, HelpPathsAreLeftToStartUp)
{
    txt::HelpRoot = "/help/";
    txt::StatementHelpRoot = "/help/statements/";
    setTextLanguage(true);
    setTextLanguage(false);
    EXPECT_EQ(txt::HelpRoot, "/help/");
    EXPECT_EQ(txt::StatementHelpRoot, "/help/statements/");
    txt::HelpRoot.clear();
    txt::StatementHelpRoot.clear();
}

struct LanguageCase {
    const char* locale;
    const char* forced;
    bool chinese;
};

TEST(TextLanguage, ChoiceFromLocaleAndOverride)
{
    const LanguageCase cases[] = {
        {"zh_CN", "", true},      // Chinese of the People's Republic
        {"zh_TW", "", false},     // other Chinese locales give English
        {"zh_HK", "", false},
        {"zh_SG", "", false},
        {"en_US", "", false},
        {"de_DE", "", false},
        {"C", "", false},
        {"en_US", "zh", true},    // the override wins either way
        {"zh_CN", "en", false},
        {"zh_CN", "fr", true},    // an unknown override is ignored
        {"zh_TW", "ZH", false},
    };
    for (const LanguageCase& c : cases) {
        EXPECT_EQ(chineseTextsFor(QLocale(c.locale), c.forced), c.chinese)
            << c.locale << " forced '" << c.forced << "'";
    }
}

TEST_F(TextTables, InitTextsReadsTheOverride)
{
    const QByteArray saved = qgetenv("SORVIX_LANGUAGE");
    qputenv("SORVIX_LANGUAGE", "zh");
    initTexts();
    EXPECT_TRUE(IsChinese);
    EXPECT_EQ(txt::Cancel, QString::fromUtf8("取消(&C)"));
    qputenv("SORVIX_LANGUAGE", "en");
    initTexts();
    EXPECT_FALSE(IsChinese);
    EXPECT_EQ(txt::Cancel, "&Cancel");
    qputenv("SORVIX_LANGUAGE", saved);
}

TEST(TypeDefine, DeviceValuesAreNotTheOrdinals)
{
    EXPECT_EQ(deviceAddressType(ctPhoneNumber), 1);
    EXPECT_EQ(deviceAddressType(ctDomainName), 8);
    EXPECT_EQ(deviceAddressType(ctIPAddress), 16);
    EXPECT_EQ(deviceHookSwitchMode(hsmOnHook), 1);
    EXPECT_EQ(deviceHookSwitchMode(hsmSpeaker), 4);
    EXPECT_EQ(deviceHookSwitchMode(hsmMicSpeaker), 8);
    EXPECT_EQ(deviceAddressType(static_cast<TCalledType>(3)), 0);
    EXPECT_EQ(deviceHookSwitchMode(static_cast<THookSwitchMode>(3)), 0);
}

}  // namespace
