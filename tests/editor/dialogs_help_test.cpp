#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>

#include "dialogfixture.h"
#include "engine/statements/database.h"
#include "engine/statements/flowcontrol.h"
#include "engine/statements/variables.h"
#include "editor/dialogs/editregistry.h"

#include <map>

namespace {

// Every statement kind whose dialog this editor has, with its help topic.
struct KindCase {
    const ClassInfo* kind;
    const char* topic;  // after the statement help root
};

const KindCase kinds[] = {
    {&IVRCategory::info, "/DataDefine/IVRCategory.htm"},
    {&IVRVariant::info, "/DataDefine/IVRVariant.htm"},
    {&IVRResult::info, "/DataDefine/IVRVariant.htm"},
    {&IVRLabel::info, "/FlowControl/IVRLabel.htm"},
    {&IVRGoto::info, "/FlowControl/IVRGoto.htm"},
    {&IVRBlock::info, "/FlowControl/IVRBlock.htm"},
    {&IVRIf::info, "/FlowControl/IVRIf.htm"},
    {&IVRSwitch::info, "/FlowControl/IVRSwitch.htm"},
    {&IVRCase::info, "/FlowControl/IVRCase.htm"},
    {&IVRWhile::info, "/FlowControl/IVRWhile.htm"},
    {&IVROperator::info, "/DataOperate/IVROperator.htm"},
    {&IVRString::info, "/DataOperate/IVRString.htm"},
    {&IVRDateTime::info, "/DataOperate/IVRDateTime.htm"},
    {&IVRDBOperate::info, "/DataOperate/IVRDBOperate.htm"},
    {&IVRField::info, "/DataOperate/IVRField.htm"},
    {&IVRParam::info, "/DataOperate/IVRParam.htm"},
    {&IVRCommand::info, "/DataOperate/IVRCommand.htm"},
};

struct StatementHelp : DialogTest {
    QTemporaryDir help;

    void SetUp() override
    {
        DialogTest::SetUp();
        qputenv("SORVIX_HELP_DIR", help.path().toUtf8());
        for (const KindCase& k : kinds) {
            const QString page = pageOf(k);
            QDir().mkpath(QFileInfo(page).path());
            QFile(page).open(QIODevice::WriteOnly);
        }
    }
    void TearDown() override
    {
        qunsetenv("SORVIX_HELP_DIR");
        DialogTest::TearDown();
    }
    QString pageOf(const KindCase& k) const
    {
        return help.path() + "/StatementReference" + QString::fromLatin1(k.topic);
    }
    // A statement of the kind where the editor would put it.
    TIVRBase* statementOf(const ClassInfo* kind)
    {
        if (kind == &IVRResult::info) return flow->ResultVariant;
        FlowNode* parent = kind->typeSet & tfDeclaration ? flow->VarRoot : flow->BeginRoot;
        if (kind == &IVRCase::info) parent = flow->AddStatement(flow->BeginRoot, &IVRSwitch::info, pcLastChild);
        FlowNode* n = flow->AddStatement(parent, kind, pcLastChild);
        return n ? n->statement() : nullptr;
    }
};

TEST_F(StatementHelp, EveryDialogShowsItsKindsTopic)
{
    for (const KindCase& k : kinds) {
        if (k.kind == &IVRResult::info) continue;  // shown only while the flow runs
        SCOPED_TRACE(k.kind->className);
        TIVRBase* s = statementOf(k.kind);
        ASSERT_NE(s, nullptr);
        prompt.urls.clear();
        const int runs = driver.runs;
        driver.then<TStatementDlg>([&](TStatementDlg& d) {
            EXPECT_EQ(d.windowTitle(), k.kind->GetTypeName());
            EXPECT_EQ(d.helpPath(), txt::StatementHelpRoot + k.topic);
            ASSERT_NE(d.btnHelp, nullptr);
            d.btnHelp->click();
            d.btnCancel->click();
        });
        EXPECT_FALSE(s->Edit());
        EXPECT_EQ(driver.runs, runs + 1);
        EXPECT_EQ(prompt.urls, QStringList{QUrl::fromLocalFile(pageOf(k)).toString()});
    }
    EXPECT_EQ(prompt.beeps, 0);
}

TEST_F(StatementHelp, EveryDialogIsReadOnlyWhileTheFlowRuns)
{
    std::vector<TIVRBase*> statements;
    for (const KindCase& k : kinds) statements.push_back(statementOf(k.kind));
    // Paused before the first statement: the others, which would fail, never run.
    ASSERT_TRUE(runUntilPausedAt(flow->AddStatement(flow->BeginRoot, &IVROperator::info, pcFirstChild)->statement()));
    for (size_t i = 0; i < std::size(kinds); ++i) {
        const KindCase& k = kinds[i];
        SCOPED_TRACE(k.kind->className);
        TIVRBase* s = statements[i];
        const QString before = s->GetNodeText();
        const int runs = driver.runs;
        driver.then<TStatementDlg>([&](TStatementDlg& d) {
            EXPECT_EQ(d.windowTitle(), k.kind->GetTypeName() + " [Running - ReadOnly]");
            EXPECT_FALSE(d.btnOk->isEnabled());
            EXPECT_TRUE(user::focused(&d, d.btnCancel));
            EXPECT_EQ(d.helpPath(), txt::StatementHelpRoot + k.topic);
            d.btnOkClick();
            EXPECT_TRUE(d.isVisible());
        });
        EXPECT_FALSE(s->Edit());
        EXPECT_EQ(driver.runs, runs + 1);
        EXPECT_EQ(s->GetNodeText(), before);
    }
}

}  // namespace

namespace {

// The accelerator letters of a dialog: of its buttons and of the labels bound to a field, each
// with the text that carries it.
std::map<QChar, QStringList> acceleratorsOf(const QWidget& dialog)
{
    std::map<QChar, QStringList> keys;
    const auto note = [&](const QString& text) {
        const QKeySequence key = QKeySequence::mnemonic(text);
        if (key.isEmpty()) return;
        const QString letter = key.toString().section('+', -1).toUpper();
        if (!letter.isEmpty()) keys[letter[0]] << text;
    };
    // A dialog of its own inside (the connection string's) has keys of its own.
    for (const QAbstractButton* b : dialog.findChildren<QAbstractButton*>())
        if (!b->isHidden() && b->window() == &dialog) note(b->text());
    for (const QLabel* l : dialog.findChildren<QLabel*>())
        if (!l->isHidden() && l->buddy() && l->window() == &dialog) note(l->text());
    return keys;
}

}  // namespace

// Two controls of one dialog never answer the same accelerator key, apart from the pairs whose
// captions are given as they are.
TEST_F(StatementHelp, NoDialogHasTwoControlsOnOneAccelerator)
{
    const QStringList given = {
        "TfrmDataBaseOperate: &Ok / &Operate Type: ", "TfrmExecute: TimeOut &Terminate / &Time Out: ",
        "TfrmSpeakString: Co&ntent:  / &Note: ",     "TfrmGateway: T&hrough Another Gateway / &Help",
        "TfrmSpeakerPhone: On&Hook / &Help",
    };
    QStringList clashes;
    for (const ClassInfo* kind : ClassRegistry::all()) {
        if (!EditRegistry::hasEdit(kind) || kind == &IVRResult::info) continue;
        TIVRBase* s = statementOf(kind);
        if (!s) continue;
        driver.then<TStatementDlg>([&](TStatementDlg& d) {
            for (const auto& [key, texts] : acceleratorsOf(d))
                if (texts.size() > 1) {
                    const QString clash = d.metaObject()->className() + QStringLiteral(": ") + texts.join(" / ");
                    if (!given.contains(clash)) clashes << clash;
                }
            d.btnCancel->click();
        });
        s->Edit();
    }
    EXPECT_TRUE(clashes.isEmpty()) << clashes.join('\n').toStdString();
}
