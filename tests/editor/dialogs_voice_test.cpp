#include <QCheckBox>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>

#include "dialogfixture.h"
#include "editor/dialogs/voicedialogs.h"
#include "engine/statements/variables.h"
#include "engine/statements/voice.h"
#include "engine/texts.h"
#include "fakewavepreview.h"
#include "ui/iconlook.h"
#include "platform/wave.h"
#include "support/files.h"

namespace {

using testfiles::bytesOf;

// The voice dialogs on a fake preview.
struct VoiceDialogTest : DialogTest {
    FakeWavePreview* preview = nullptr;
    QTemporaryDir dir;

    void SetUp() override
    {
        setWavePreviewFactory([this] {
            auto p = std::make_unique<FakeWavePreview>();
            preview = p.get();
            return p;
        });
        DialogTest::SetUp();
        ASSERT_NE(preview, nullptr);
    }
    void TearDown() override
    {
        DialogTest::TearDown();
        setWavePreviewFactory({});
    }
    // A wave file holding some samples.
    QString recording(const QString& name, int bytes = 800)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeWaveFile(path, WaveFormat::telephone(), QByteArray(bytes, '\x22')));
        return path;
    }
    IVRPlay* playOf(const QString& file)
    {
        auto* s = addToBegin<IVRPlay>();
        s->link.constant = Value(file);
        return s;
    }
};

TEST_F(VoiceDialogTest, NewCreatesAMissingFileAsTheEmptyWaveAndOpensAnExistingOneUnchanged)
{
    auto* s = addToBegin<IVRPlay>();
    const QString greeting = dir.filePath("greeting");
    const QString existing = recording("hello.wav");
    const QByteArray before = bytesOf(existing);
    prompt.fileNames = {greeting, existing};
    driver.then<TfrmPlayWavFile>([&](TfrmPlayWavFile& d) {
        EXPECT_EQ(d.windowTitle(), "Play");
        EXPECT_FALSE(d.btnClear->isEnabled()) << "nothing open yet";
        d.btnNew->click();
        ASSERT_EQ(prompt.dialogs.size(), 1u);
        EXPECT_EQ(prompt.dialogs[0].filter, "Wav Files (*.wav);;All Files (*)");
        EXPECT_TRUE(prompt.dialogs[0].takesNewName);
        const QString created = greeting + ".WAV";
        EXPECT_EQ(bytesOf(created), emptyWaveFileBytes());
        EXPECT_EQ(d.cmbVariant->currentText(), '"' + created + '"');
        EXPECT_EQ(d.preview().fileName(), created);
        EXPECT_TRUE(d.btnClear->isEnabled());
        EXPECT_TRUE(d.btnRecord->isEnabled());

        d.btnNew->click();  // an existing file: opened as it is
        EXPECT_EQ(bytesOf(existing), before);
        EXPECT_EQ(d.cmbVariant->currentText(), '"' + existing + '"');
        EXPECT_EQ(d.preview().fileName(), existing);
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->link.constant, Value(existing));
    EXPECT_FALSE(preview->isOpen()) << "hiding closes the preview";
    EXPECT_TRUE(prompt.messages.isEmpty());
}

// A saved flow names a wave file in its own folder relative to it, as it finds it when it runs
// from elsewhere; a file outside that folder keeps its full name.
TEST_F(VoiceDialogTest, NewInASavedFlowsFolderIsNamedRelativeToIt)
{
    flow->FileName = dir.filePath("flows/main.svx");
    QDir().mkpath(dir.filePath("flows/wav"));
    auto* s = addToBegin<IVRPlay>();
    const QString inside = dir.filePath("flows/wav/greeting");
    const QString outside = recording("other.wav");
    prompt.fileNames = {inside, outside, inside};
    driver.then<TfrmPlayWavFile>([&](TfrmPlayWavFile& d) {
        d.btnNew->click();
        EXPECT_EQ(d.cmbVariant->currentText(), "\"wav/greeting.WAV\"");
        EXPECT_EQ(d.preview().fileName(), inside + ".WAV");
        EXPECT_EQ(bytesOf(inside + ".WAV"), emptyWaveFileBytes());
        d.btnNew->click();
        EXPECT_EQ(d.cmbVariant->currentText(), '"' + outside + '"');
        d.btnNew->click();
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->link.constant, Value("wav/greeting.WAV"));
    // Shown again, the relative name opens the same file.
    driver.then<TfrmPlayWavFile>([&](TfrmPlayWavFile& d) {
        EXPECT_EQ(d.preview().fileName(), inside + ".WAV");
        d.btnCancel->click();
    });
    EXPECT_FALSE(s->Edit());
}

// The dialog behind "New or Open..." itself: a name that does not exist is accepted as it is, and
// an existing one without a question about replacing it.
TEST(NewOrOpenDialog, AcceptsANewNameAndAnExistingFile)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath("hello.wav");
    ASSERT_TRUE(writeEmptyWaveFile(existing, nullptr));
    for (const QString& name : {dir.filePath("greeting"), existing}) {
        SCOPED_TRACE(name.toStdString());
        const auto d = QtPrompt::newOrOpenDialog(nullptr, QString(), dir.path(), Prompt::qtFilter(txt::WavFileFilter));
        EXPECT_EQ(d->fileMode(), QFileDialog::AnyFile);
        EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptOpen);
        d->open();
        d->selectFile(name);
        static_cast<QDialog*>(d.get())->accept();  // the file dialog's own check of the name
        EXPECT_EQ(d->result(), QDialog::Accepted);
        EXPECT_EQ(d->selectedFiles(), QStringList{name});
        EXPECT_FALSE(QApplication::activeModalWidget() && QApplication::activeModalWidget() != d.get());
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("greeting"))) << "the dialog only names the file";
}

TEST_F(VoiceDialogTest, WithoutASoundDeviceTheDialogSaysSoOnceBesideThePlayer)
{
    preview->sound = false;
    auto* s = playOf(recording("hello.wav"));
    const QString greeting = dir.filePath("greeting");
    prompt.fileNames = {greeting};
    for (int show = 0; show < 2; ++show) {
        driver.then<TfrmPlayWavFile>([&](TfrmPlayWavFile& d) {
            EXPECT_TRUE(d.lblNoSound->isVisible());
            EXPECT_EQ(d.lblNoSound->text(), txt::NoSoundDevice);
            for (QWidget* b : std::initializer_list<QWidget*>{d.btnPlay, d.btnPause, d.btnStop, d.btnPrevious,
                                                               d.btnNext, d.btnRecord, d.btnClear}) {
                EXPECT_FALSE(b->isEnabled());
                EXPECT_EQ(b->toolTip(), txt::NoSoundDevice);
            }
            // Drawn plainly disabled: the player's images fade.
            for (QToolButton* b : {d.btnPlay, d.btnPause, d.btnStop, d.btnPrevious, d.btnNext, d.btnRecord})
                EXPECT_TRUE(looksPlainlyDisabled(b->icon()));
            // A new prompt is still made.
            if (show == 0) {
                d.btnNew->click();
                EXPECT_EQ(bytesOf(greeting + ".WAV"), emptyWaveFileBytes());
            }
            d.btnOk->click();
        });
        ASSERT_TRUE(s->Edit());
    }
    EXPECT_TRUE(prompt.messages.isEmpty()) << prompt.messages.join('|').toStdString();
    EXPECT_EQ(s->link.constant, Value(greeting + ".WAV"));

    preview->sound = true;
    driver.then<TfrmPlayWavFile>([&](TfrmPlayWavFile& d) {
        EXPECT_FALSE(d.lblNoSound->isVisible());
        EXPECT_TRUE(d.btnPlay->isEnabled());
        EXPECT_TRUE(d.btnPlay->toolTip().isEmpty());
        d.btnCancel->click();
    });
    EXPECT_FALSE(s->Edit());
}

TEST_F(VoiceDialogTest, NewIntoAMissingFolderChangesNothing)
{
    auto* s = playOf("keep.wav");
    prompt.fileNames = {dir.filePath("no/such/folder/x")};
    driver.then<TfrmPlayWavFile>([&](TfrmPlayWavFile& d) {
        d.btnNew->click();
        EXPECT_EQ(prompt.messages.size(), 2);  // the preview could not open keep.wav, then the write
        EXPECT_EQ(d.cmbVariant->currentText(), "\"keep.wav\"");
        EXPECT_FALSE(d.btnClear->isEnabled());
    });
    EXPECT_FALSE(s->Edit());
}

TEST_F(VoiceDialogTest, ClearAndRecordingReplaceTheFileOnlyOnOk)
{
    const QString file = recording("prompt.wav");
    const QByteArray original = bytesOf(file);
    auto* s = playOf(file);

    struct Case {
        const char* what;
        std::function<void(TfrmPlayWavFile&)> act;
        bool ok;
        QByteArray expected;
    };
    QByteArray recorded;
    {
        const QString r = dir.filePath("expected-recording.wav");
        ASSERT_TRUE(writeWaveFile(r, WaveFormat::telephone(), preview->recordedSamples));
        recorded = bytesOf(r);
    }
    const std::vector<Case> cases = {
        {"clear, cancel", [](TfrmPlayWavFile& d) { d.btnClear->click(); }, false, original},
        {"record, stop, cancel",
         [](TfrmPlayWavFile& d) {
             d.btnRecord->click();
             d.btnStop->click();
         },
         false, original},
        {"record, cancel while recording", [](TfrmPlayWavFile& d) { d.btnRecord->click(); }, false, original},
        {"record, stop, OK",
         [](TfrmPlayWavFile& d) {
             d.btnRecord->click();
             d.btnStop->click();
         },
         true, recorded},
        {"clear, OK", [](TfrmPlayWavFile& d) { d.btnClear->click(); }, true, emptyWaveFileBytes()},
        {"record, OK while recording", [](TfrmPlayWavFile& d) { d.btnRecord->click(); }, true, recorded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        driver.then<TfrmPlayWavFile>([&](TfrmPlayWavFile& d) {
            EXPECT_EQ(d.preview().fileName(), file);
            EXPECT_TRUE(d.btnClear->isEnabled());
            c.act(d);
            EXPECT_EQ(bytesOf(file), original) << "untouched before OK";
            if (c.ok) d.btnOk->click();
            else d.btnCancel->click();
            EXPECT_FALSE(d.isVisible());
        });
        EXPECT_EQ(s->Edit(), c.ok);
        EXPECT_EQ(bytesOf(file), c.expected);
        EXPECT_FALSE(preview->isOpen());
        // Back to the original for the next case.
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(original);
    }
    EXPECT_TRUE(prompt.messages.isEmpty()) << prompt.messages.join("|").toStdString();
}

TEST_F(VoiceDialogTest, ClearedOrRecordedFileIsUntouchedBeforeOk)
{
    const QString file = recording("prompt.wav");
    const QByteArray original = bytesOf(file);
    auto* s = playOf(file);
    driver.then<TfrmPlayWavFile>([&](TfrmPlayWavFile& d) {
        d.btnClear->click();
        EXPECT_EQ(bytesOf(file), original);
        EXPECT_NE(d.preview().fileName(), file) << "the preview plays the cleared copy";
        EXPECT_TRUE(d.btnClear->isEnabled());
        d.btnRecord->click();
        EXPECT_FALSE(d.btnClear->isEnabled()) << "not while recording";
        EXPECT_FALSE(d.btnNew->isEnabled());
        d.btnStop->click();
        EXPECT_EQ(bytesOf(file), original);
        d.btnCancel->click();
    });
    EXPECT_FALSE(s->Edit());
    EXPECT_EQ(bytesOf(file), original);
}

TEST_F(VoiceDialogTest, ReadOnlyWhileRunningDisablesNewClearAndRecord)
{
    const QString file = recording("prompt.wav");
    const QByteArray original = bytesOf(file);
    auto* s = playOf(file);
    ASSERT_TRUE(runUntilPausedAt(s));
    driver.then<TfrmPlayWavFile>([&](TfrmPlayWavFile& d) {
        EXPECT_EQ(d.windowTitle(), "Play [Running - ReadOnly]");
        EXPECT_FALSE(d.btnOk->isEnabled());
        EXPECT_TRUE(d.preview().isOpen()) << "the preview still plays";
        EXPECT_TRUE(d.btnPlay->isEnabled());
        EXPECT_FALSE(d.btnNew->isEnabled());
        EXPECT_FALSE(d.btnClear->isEnabled());
        EXPECT_FALSE(d.btnRecord->isEnabled());
        d.btnPlay->click();
        EXPECT_EQ(d.preview().mode(), WavePreview::Mode::Playing);
        d.btnClearClick();
        d.btnRecordClick();
        d.btnNewClick();
        d.btnOkClick();
        EXPECT_TRUE(d.isVisible());
    });
    EXPECT_FALSE(s->Edit());
    EXPECT_EQ(bytesOf(file), original);
    EXPECT_TRUE(prompt.dialogs.empty());
    ASSERT_TRUE(flow->Stop());
}

TEST_F(VoiceDialogTest, ShowingOpensTheNamedFileOnlyAQuotedStringLosesItsQuotes)
{
    recording("voice.wav");
    flow->FileName = dir.filePath("flow.svx");
    struct Case {
        Value constant;
        QString target;
    };
    const std::vector<Case> cases = {
        {Value("voice.wav"), dir.filePath("voice.wav")},  // a string, resolved against the flow
        {Value(55), dir.filePath("55")},                   // a number names the file 55, unquoted
        {Value(), QString()},                              // nothing named, nothing opened
    };
    auto* s = addToBegin<IVRPlay>();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        s->link.constant = c.constant;
        prompt.messages.clear();
        driver.then<TfrmPlayWavFile>([&](TfrmPlayWavFile& d) {
            EXPECT_EQ(d.targetFile(), c.target);
            EXPECT_EQ(d.preview().isOpen(), QFileInfo::exists(c.target));
            EXPECT_EQ(prompt.messages.size(), !c.target.isEmpty() && !QFileInfo::exists(c.target) ? 1 : 0);
        });
        EXPECT_FALSE(s->Edit());
    }
    // The missing file 55 could not be opened (the last case opened nothing).
    EXPECT_TRUE(prompt.messages.isEmpty());

    // A variable names no file: the preview stays closed.
    IVRVariant* v = variable("w", Value("voice.wav"));
    s->link.LinkTo(v);
    driver.then<TfrmPlayWavFile>([&](TfrmPlayWavFile& d) {
        EXPECT_FALSE(d.preview().isOpen());
        EXPECT_FALSE(d.btnClear->isEnabled());
        d.btnOk->click();
    });
    EXPECT_TRUE(s->Edit());
    EXPECT_EQ(s->link.variable(), v);
}

TEST_F(VoiceDialogTest, AFileThePreviewCannotOpenIsReported)
{
    QFile bad(dir.filePath("bad.wav"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a wave file");
    bad.close();
    auto* s = playOf(bad.fileName());
    driver.then<TfrmPlayWavFile>([&](TfrmPlayWavFile& d) {
        ASSERT_EQ(prompt.messages.size(), 1);
        EXPECT_EQ(prompt.captions[0], QString());
        EXPECT_FALSE(d.btnClear->isEnabled());
        EXPECT_FALSE(d.btnRecord->isEnabled());
        EXPECT_TRUE(d.btnNew->isEnabled());
        // A typed name that does not convert is refused.
        user::type(d.cmbVariant, "greeting");
        d.btnOk->click();
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(prompt.captions.back(), "Error : Wav File");
        user::type(d.cmbVariant, "\"other.wav\"");
        d.ckbInterruptible->setChecked(false);
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->link.constant, Value("other.wav"));
    EXPECT_FALSE(s->Interruptible);
}

TEST_F(VoiceDialogTest, RecordLengthZeroStaysInterruptible)
{
    auto* s = addToBegin<IVRRecord>();
    s->link.constant = Value("r.wav");
    s->MaxLength = 0;
    s->Interruptible = true;
    driver.then<TfrmRecordWavFile>([&](TfrmRecordWavFile& d) {
        EXPECT_EQ(d.updownMaxLength->value(), 0);
        EXPECT_EQ(d.lblMaxLength->text(), "&MaxLength: ");
        EXPECT_EQ(d.lblSecond->text(), "(Sec)");
        d.ckbInterruptible->click();  // cleared at 0: the length becomes 1
        EXPECT_FALSE(d.ckbInterruptible->isChecked());
        EXPECT_EQ(d.updownMaxLength->value(), 1);
        d.updownMaxLength->stepDown();  // back to 0: ticked again
        EXPECT_TRUE(d.ckbInterruptible->isChecked());
        d.updownMaxLength->setValue(30);
        d.ckbInterruptible->click();
        EXPECT_EQ(d.updownMaxLength->value(), 30);
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->MaxLength, 30);
    EXPECT_FALSE(s->Interruptible);

    // OK at 0 ticks the box even when it was filled cleared.
    s->MaxLength = 0;
    s->Interruptible = false;
    driver.then<TfrmRecordWavFile>([&](TfrmRecordWavFile& d) {
        EXPECT_FALSE(d.ckbInterruptible->isChecked());
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_TRUE(s->Interruptible);
    EXPECT_EQ(s->MaxLength, 0);
}

TEST_F(VoiceDialogTest, SleepTextInTenthsAndBack)
{
    auto* s = addToBegin<IVRSleep>();
    struct Case {
        int stored;
        QString shown;
        QString typed;
        TUpDown::Direction step;  // None: OK right after typing
        int result;
        QString after;
    };
    const std::vector<Case> cases = {
        {15, "1.5", "2.5", TUpDown::None, 25, "2.5"},
        {15, "1.5", "2.55", TUpDown::None, 15, "1.5"},   // not whole tenths: the previous position
        {15, "1.5", "word", TUpDown::None, 15, "1.5"},
        {15, "1.5", "2.5", TUpDown::Up, 26, "2.6"},
        {15, "1.5", "2.5", TUpDown::Down, 24, "2.4"},
        {0, "0.0", "0", TUpDown::Down, 0, "0.0"},
        {0, "0.0", "  3 ", TUpDown::None, 30, "3.0"},
        {32767, "3276.7", "3276.7", TUpDown::Up, 32767, "3276.7"},
        {5, "0.5", "99999", TUpDown::None, 32767, "3276.7"},
        {5, "0.5", "-2", TUpDown::None, 0, "0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        s->MaxLength = c.stored;
        s->Interruptible = false;
        driver.then<TfrmSleep>([&](TfrmSleep& d) {
            EXPECT_EQ(d.edtMaxLength->text(), c.shown);
            user::type(d.edtMaxLength, c.typed);
            if (c.step != TUpDown::None) {
                (c.step == TUpDown::Up ? d.updownMaxLength->btnUp : d.updownMaxLength->btnDown)->click();
                EXPECT_EQ(d.edtMaxLength->text(), c.after);
            }
            d.btnOk->click();
            EXPECT_EQ(d.edtMaxLength->text(), c.after);
        });
        ASSERT_TRUE(s->Edit());
        EXPECT_EQ(s->MaxLength, c.result);
        EXPECT_EQ(s->Interruptible, c.result == 0);
    }
}

TEST_F(VoiceDialogTest, SleepClearingInterruptibleAtZeroGivesTheShortestPause)
{
    auto* s = addToBegin<IVRSleep>();
    s->MaxLength = 0;
    s->Interruptible = true;
    driver.then<TfrmSleep>([&](TfrmSleep& d) {
        EXPECT_EQ(d.lblTimeLength->text(), "&Time: ");
        EXPECT_EQ(d.lblTimeLength->buddy(), d.edtMaxLength);
        d.ckbInterruptible->click();
        EXPECT_EQ(d.updownMaxLength->position(), 1);
        EXPECT_EQ(d.edtMaxLength->text(), "0.1");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->MaxLength, 1);
    EXPECT_FALSE(s->Interruptible);
}

TEST_F(VoiceDialogTest, SpeechEnablingFollowsSupportXmlAndTheContentType)
{
    auto* s = addToBegin<IVRSpeech>();
    s->link.constant = Value("hello");
    struct Case {
        bool xml;
        TSpeechType type;
        bool sayText, context, contextOption;
    };
    const std::vector<Case> cases = {
        {false, stText, false, false, false},
        {true, stText, true, false, true},
        {true, stFile, false, false, true},
        {false, stFile, false, false, false},
        {true, stContext, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.type) * 10 + c.xml);
        s->SupportXML = c.xml;
        s->SpeechType = c.type;
        driver.then<TfrmSpeakString>([&](TfrmSpeakString& d) {
            EXPECT_EQ(d.cmbSayText->isEnabled(), c.sayText);
            EXPECT_EQ(d.cmbContext->isEnabled(), c.context);
            EXPECT_EQ(d.rbtnContext->isEnabled(), c.contextOption);
        });
        EXPECT_FALSE(s->Edit());
    }

    // Clearing Support XML while Context is chosen: Text with the default language.
    s->SupportXML = true;
    s->SpeechType = stContext;
    s->XMLTag = "Currency";
    s->TagIndex = int(txt::SpeechContextIds.indexOf("Currency"));
    driver.then<TfrmSpeakString>([&](TfrmSpeakString& d) {
        EXPECT_EQ(d.cmbContext->currentText(), "Currency");
        d.rbtnText->click();
        EXPECT_TRUE(d.cmbSayText->isEnabled());
        EXPECT_FALSE(d.cmbContext->isEnabled());
        d.rbtnContext->click();
        user::choose(d.cmbSayText, 1);
        d.ckbSupportXML->click();
        EXPECT_TRUE(d.rbtnText->isChecked());
        EXPECT_FALSE(d.rbtnContext->isEnabled());
        EXPECT_FALSE(d.cmbSayText->isEnabled());
        EXPECT_EQ(d.cmbSayText->selectedIndex(), 0);
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->SpeechType, stText);
    EXPECT_FALSE(s->SupportXML);
    EXPECT_EQ(s->TagIndex, 0);
    EXPECT_EQ(s->XMLTag, "");
}

TEST_F(VoiceDialogTest, SpeechTagsPickedTypedOrRefused)
{
    auto* s = addToBegin<IVRSpeech>();
    s->link.constant = Value("hello");
    s->SupportXML = true;
    s->SpeechType = stText;
    s->XMLTag = "409";
    s->TagIndex = int(txt::SpeechLanguageIds.indexOf("409"));
    driver.then<TfrmSpeakString>([&](TfrmSpeakString& d) {
        EXPECT_EQ(d.cmbSayText->currentText(), "American_English");
        for (const QString bad : {"409\"", "<x", "a>b", "it's"}) {
            user::type(d.cmbSayText, bad);
            d.btnOk->click();
            EXPECT_TRUE(d.isVisible()) << bad.toStdString();
            EXPECT_EQ(prompt.captions.back(), "Error : Text");
            EXPECT_EQ(prompt.messages.back(), txt::SpeechTagInvalid);
        }
        EXPECT_TRUE(user::focused(&d, d.cmbSayText));
        user::type(d.cmbSayText, "411");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->XMLTag, "411");
    EXPECT_EQ(s->TagIndex, -1);

    // A typed tag is shown again as typed; a typed context is checked too.
    driver.then<TfrmSpeakString>([&](TfrmSpeakString& d) {
        EXPECT_EQ(d.cmbSayText->currentText(), "411");
        EXPECT_FALSE(d.cmbSayText->hasSelection());
        d.rbtnContext->click();
        user::type(d.cmbContext, "Date\"");
        d.btnOk->click();
        EXPECT_EQ(prompt.captions.back(), "Error : Context");
        user::type(d.cmbContext, "Phone");
        d.rbtnFile->click();  // the context box is not used for a file
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->SpeechType, stFile);
    EXPECT_EQ(s->XMLTag, "");

    // The content is the common typed-value check.
    driver.then<TfrmSpeakString>([&](TfrmSpeakString& d) {
        user::type(d.cmbVariant, "hello");
        d.btnOk->click();
        EXPECT_EQ(prompt.captions.back(), "Error : Content");
        d.rbtnContext->click();
        user::choose(d.cmbContext, "Currency");
        user::type(d.cmbVariant, "\"hi\"");
        d.btnOk->click();
    });
    ASSERT_TRUE(s->Edit());
    EXPECT_EQ(s->SpeechType, stContext);
    EXPECT_EQ(s->XMLTag, "Currency");
    EXPECT_EQ(s->link.constant, Value("hi"));
}

TEST_F(VoiceDialogTest, CaptionsAndHelpPages)
{
    struct Case {
        TStatementDlg* dialog;
        QString path;
    };
    const std::vector<Case> cases = {
        {frmPlayWavFile, "/TelephoneOperate/IVRPlay.htm"},
        {frmRecordWavFile, "/TelephoneOperate/IVRRecord.htm"},
        {frmSleep, "/TelephoneOperate/IVRSleep.htm"},
        {frmSpeakString, "/TelephoneOperate/IVRSpeech.htm"},
    };
    const QString pages = QStringLiteral(SORVIX_FIXTURES "/../../help/StatementReference");
    for (const Case& c : cases) {
        ASSERT_NE(c.dialog, nullptr);
        EXPECT_EQ(c.dialog->helpPath(), txt::StatementHelpRoot + c.path);
        EXPECT_TRUE(QFileInfo::exists(pages + c.path)) << c.path.toStdString();
    }
    EXPECT_EQ(frmPlayWavFile->btnNew->text(), "N&ew or Open...");
    EXPECT_EQ(frmPlayWavFile->btnClear->text(), "C&Lear");
    EXPECT_EQ(frmPlayWavFile->ckbInterruptible->text(), "&Interruptible when press key");
    EXPECT_EQ(frmSpeakString->grpType->title(), "Content Type");
    EXPECT_EQ(frmSpeakString->rbtnFile->text(), "&File Name (Speak File Content)");
    EXPECT_EQ(frmSpeakString->cmbSayText->count(), txt::SpeechLanguageNames.size());
    EXPECT_EQ(frmSpeakString->cmbContext->count(), 18);
    for (IVRPlay* p : {addToBegin<IVRPlay>()}) EXPECT_TRUE(EditRegistry::hasEdit(&p->classInfo()));
    EXPECT_TRUE(EditRegistry::hasEdit(&IVRRecord::info));
    EXPECT_TRUE(EditRegistry::hasEdit(&IVRSleep::info));
    EXPECT_TRUE(EditRegistry::hasEdit(&IVRSpeech::info));
}

}  // namespace
