#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QScreen>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "ui/authorizated.h"
#include "channels/channeloptions.h"
#include "editor/flowform.h"
#include "editor/dialogs/editregistry.h"
#include "editor/mdimain.h"
#include "editor/palette.h"
#include "editor/startup.h"
#include "engine/device.h"
#include "engine/flow.h"
#include "engine/flowfile.h"
#include "engine/statement.h"
#include "engine/statements/voice.h"
#include "engine/texts.h"
#include "ui/fakeprompt.h"
#include "ui/fakewavedevices.h"
#include "platform/registry.h"
#include "devices/sim/devicefactory.h"
#include "platform/singleinstance.h"
#include "support/files.h"

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : name_(name), had_(qEnvironmentVariableIsSet(name))
    {
        old_ = qgetenv(name);
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// The Option dialog without a modal loop: shown, acted on by the test, and answered by its buttons.
class DrivenOptions : public TfrmAuthorizated {
public:
    using TfrmAuthorizated::TfrmAuthorizated;
    std::function<void(DrivenOptions&)> user;
    int shows = 0;

protected:
    int runModal() override
    {
        ++shows;
        setResult(QDialog::Rejected);
        show();
        if (user) user(*this);
        hide();
        return result();
    }
};

// A device whose server reports no address at all.
class NoAddressDevice : public ITAPI3Device {
public:
    int32_t OpenChannel(int, ChannelPtr& out, int, int, int, int, int) override
    {
        out.reset();
        return ChannelResult::Failed;
    }
    int32_t CloseChannel(int, ChannelPtr) override { return 0; }
    int32_t GetAddressName(int, QString& name) override
    {
        name.clear();
        return 0;
    }
    int32_t GetAddressCount(int& count) override
    {
        count = 0;
        return 0;
    }
    int32_t GetGatewayAddress(int& index) override
    {
        index = -1;
        return 0;
    }
};

const ClassInfo* cls(const char* name)
{
    const ClassInfo* c = ClassRegistry::find(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

bool waitFor(const std::function<bool()>& done, int ms = 5000)
{
    return QTest::qWaitFor(done, ms);
}

// What the run commands and the palette show.
struct Enabling {
    bool run, step, execute, stop, palette;
    bool operator==(const Enabling&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Enabling& e)
{
    return os << "run " << e.run << " step " << e.step << " execute " << e.execute << " stop " << e.stop
              << " palette " << e.palette;
}
constexpr Enabling NoFlow{false, false, false, false, false};
constexpr Enabling Idle{true, true, true, false, true};
constexpr Enabling Running{false, false, false, true, false};
constexpr Enabling Paused{true, true, false, true, false};

// Four lines at full speed; a line may be told to fail its waits.
QByteArray scenario(double speed, bool sleepFails = false)
{
    const QByteArray first = sleepFails ? QByteArray(R"({"name": "Line 1", "force": {"Sleep": 1}})")
                                        : QByteArray(R"("Line 1")");
    return R"({"speed": )" + QByteArray::number(speed) + R"(, "addresses": [)" + first +
           R"(, "Line 2", "Line 3", "Line 4"]})";
}

struct Debugger : ::testing::Test {
    FakePrompt prompt;
    QTemporaryDir dir;
    std::unique_ptr<ScopedEnv> registry;
    FakeWaveDevices waves{{"Speakers"}, {"Microphone"}};
    std::unique_ptr<TfrmSorvixEdit> main;
    DrivenOptions* options = nullptr;

    void SetUp() override
    {
        initProductTexts();
        registry = std::make_unique<ScopedEnv>("SORVIX_REGISTRY", dir.filePath("registry.db").toLocal8Bit());
        main = std::make_unique<TfrmSorvixEdit>(createTelephonyDevice());
        installStatementDialogs(main.get());
        main->resize(1000, 700);
        main->show();
        useScenario(scenario(0));
    }
    void TearDown() override
    {
        if (main)
            for (TfrmFlow* w : main->flowWindows())
                if (w->FFlow->Running()) w->FFlow->Stop();
        if (main)
            for (TfrmFlow* w : main->flowWindows()) w->FFlow->Modified = false;
        main.reset();
        EXPECT_EQ(frmAuthorizated, nullptr) << "the dialog went with its window";
        registry.reset();
    }

    // A simulated device on the scenario, with an Option dialog that lists its addresses. The
    // dialog's user picks Line 1 and confirms.
    void useScenario(const QByteArray& json)
    {
        const QString file = dir.filePath(QStringLiteral("scenario.json"));
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(json);
        f.close();
        QString error;
        TelephonyDeviceOptions o;
        o.scenarioFile = file;
        auto device = createTelephonyDevice(o, &error);
        ASSERT_TRUE(device) << qPrintable(error);
        useDevice(device);
    }
    void useDevice(std::shared_ptr<ITAPI3Device> device)
    {
        main->setTelephonyDevice(std::move(device));
        delete frmAuthorizated;
        options = new DrivenOptions(main->TAPI3Device.get(), waves, main.get());
        adoptDebugOptionsDialog(options);
        options->user = [](DrivenOptions& d) {
            d.cmbAddress->setCurrentIndex(0);
            emit d.cmbAddress->activated(0);
            d.btnOK->click();
        };
    }

    TfrmFlow* newFlow()
    {
        main->OpenFlowFile(QString());
        return main->activeFlowWindow();
    }
    // Sleeps under the call flow; each waits `tenths` on the line (no time at speed 0).
    std::vector<FlowNode*> sleeps(TfrmFlow* w, int count, int tenths = 10)
    {
        std::vector<FlowNode*> nodes;
        for (int i = 0; i < count; ++i) {
            FlowNode* n = w->AddStatement(w->FFlow->BeginRoot, cls("IVRSleep"), pcLastChild);
            EXPECT_NE(n, nullptr);
            static_cast<IVRSleep*>(n->statement())->MaxLength = tenths;
            nodes.push_back(n);
        }
        return nodes;
    }
    Enabling enabling() const
    {
        return {main->acRun->isEnabled(), main->acStep->isEnabled(), main->acExecute->isEnabled(),
                main->acStop->isEnabled(), main->FPalette[0]->isEnabled()};
    }
    static bool marked(const FlowNode* n) { return n->text().startsWith(txt::RunMark); }
    bool pausedAt(const FlowNode* n) const { return marked(n) && main->acRun->isEnabled(); }
    bool finished() const { return main->FDebugWindow == nullptr && main->acRun->isEnabled(); }
};

// ---- enabling ----

TEST_F(Debugger, RunCommandsAndPaletteFollowTheStateTable)
{
    EXPECT_EQ(enabling(), NoFlow);

    TfrmFlow* w = newFlow();
    EXPECT_EQ(enabling(), Idle);

    // Running: a long wait on the line, no breakpoint.
    useScenario(scenario(1));
    const auto nodes = sleeps(w, 1, 600);
    main->acRun->trigger();
    ASSERT_TRUE(w->FFlow->Running());
    EXPECT_EQ(main->FDebugWindow, w);
    EXPECT_EQ(enabling(), Running);

    // Another window gets the palette back; the run commands stay as they are.
    TfrmFlow* other = newFlow();
    ASSERT_NE(other, w);
    EXPECT_EQ(main->activeFlowWindow(), other);
    EXPECT_EQ(enabling(), (Enabling{false, false, false, true, true}));
    main->acRun->trigger();
    EXPECT_FALSE(other->FFlow->Running()) << "a second flow cannot start while one runs";

    main->acStop->trigger();
    EXPECT_FALSE(w->FFlow->Running());
    EXPECT_EQ(enabling(), Idle);

    // Paused: a step run waits before its first statement.
    main->mdiArea->setActiveSubWindow(main->mdiArea->subWindowList().first());
    ASSERT_EQ(main->activeFlowWindow(), w);
    main->acStep->trigger();
    ASSERT_TRUE(waitFor([&] { return pausedAt(nodes[0]); }));
    EXPECT_EQ(enabling(), Paused);
    main->acStop->trigger();
    EXPECT_EQ(enabling(), Idle);

    // Execute: no pause at a breakpoint, and Run and Step stay off while it runs.
    nodes[0]->statement()->setBreakPoint(true);
    main->acExecute->trigger();
    EXPECT_EQ(enabling(), Running);
    QTest::qWait(100);
    EXPECT_FALSE(marked(nodes[0]));
    EXPECT_EQ(enabling(), Running);
    main->acStop->trigger();
    EXPECT_EQ(enabling(), Idle);

    for (TfrmFlow* f : main->flowWindows()) f->FFlow->Modified = false;
    EXPECT_TRUE(main->CloseAllFlows());
    EXPECT_EQ(enabling(), NoFlow);
}

// ---- running, stepping, stopping ----

TEST_F(Debugger, FirstRunAsksForTheOptionsThenRunsToTheBreakpointAndSteps)
{
    TfrmFlow* w = newFlow();
    const auto n = sleeps(w, 4);
    n[1]->statement()->setBreakPoint(true);
    w->FFlow->Modified = true;
    w->UpdateCaption(true);

    main->acRun->trigger();
    EXPECT_EQ(options->shows, 1) << "the first run of a program run asks, though options were loaded";
    EXPECT_TRUE(main->FOptionsConfirmed);
    EXPECT_EQ(main->DebugOptions.Address, 0);
    ASSERT_TRUE(waitFor([&] { return pausedAt(n[1]); }));
    EXPECT_EQ(w->FFlow->tree().selected(), n[1]);
    EXPECT_EQ(w->windowTitle(), w->FFlow->FlowName + txt::Modified + txt::Debugging);
    for (FlowNode* other : {n[0], n[2], n[3]}) EXPECT_FALSE(marked(other));

    main->acStep->trigger();
    ASSERT_TRUE(waitFor([&] { return pausedAt(n[2]); }));
    EXPECT_FALSE(marked(n[1])) << "the mark goes when the runner goes on";

    main->acStep->trigger();
    ASSERT_TRUE(waitFor([&] { return pausedAt(n[3]); }));

    main->acRun->trigger();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_FALSE(w->FFlow->Running());
    EXPECT_EQ(w->windowTitle(), w->FFlow->FlowName + txt::Modified);
    EXPECT_EQ(enabling(), Idle);
    for (FlowNode* node : n) EXPECT_FALSE(marked(node));

    // Later runs start at once; Step on an idle flow pauses before its first statement.
    main->acStep->trigger();
    EXPECT_EQ(options->shows, 1);
    ASSERT_TRUE(waitFor([&] { return pausedAt(n[0]); }));
    main->acRun->trigger();
    ASSERT_TRUE(waitFor([&] { return pausedAt(n[1]); }));
    main->acRun->trigger();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
}

TEST_F(Debugger, CancelInTheOptionsStartsNothingAndAsksAgainNextTime)
{
    TfrmFlow* w = newFlow();
    sleeps(w, 1);
    options->user = [](DrivenOptions& d) { d.btnCancel->click(); };
    main->acRun->trigger();
    EXPECT_EQ(options->shows, 1);
    EXPECT_FALSE(w->FFlow->Running());
    EXPECT_FALSE(main->FOptionsConfirmed);
    EXPECT_EQ(enabling(), Idle);
    RegistryStore store(dir.filePath("registry.db"));
    EXPECT_FALSE(store.valueExists(productKeyPath(), "Address")) << "nothing saved on Cancel";

    main->acExecute->trigger();
    EXPECT_EQ(options->shows, 2);
}

TEST_F(Debugger, StopWhilePausedReturnsAfterTheRunHasFinished)
{
    TfrmFlow* w = newFlow();
    const auto n = sleeps(w, 2);
    main->acStep->trigger();
    ASSERT_TRUE(waitFor([&] { return pausedAt(n[0]); }));

    bool finishedBeforeStopReturned = false;
    const auto finish = w->FFlow->OnFinish;
    w->FFlow->OnFinish = [&] {
        finish();
        finishedBeforeStopReturned = true;
    };
    main->acStop->trigger();
    // No event has been served since: everything below happened inside Stop.
    EXPECT_TRUE(finishedBeforeStopReturned);
    EXPECT_FALSE(w->FFlow->Running());
    EXPECT_EQ(main->FDebugWindow, nullptr);
    EXPECT_EQ(enabling(), Idle);
    EXPECT_FALSE(marked(n[0])) << "the pause was released and its mark taken away";
    EXPECT_EQ(w->windowTitle(), w->FFlow->FlowName + txt::Modified);
}

TEST_F(Debugger, StopEndsALongWaitOnTheLine)
{
    useScenario(scenario(1));
    TfrmFlow* w = newFlow();
    const auto n = sleeps(w, 1, 600);
    main->acExecute->trigger();
    ASSERT_TRUE(waitFor([&] { return w->FFlow->tree().selected() == n[0]; }));
    QElapsedTimer timer;
    timer.start();
    main->acStop->trigger();
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_FALSE(w->FFlow->Running());
    EXPECT_EQ(enabling(), Idle);
}

// ---- the error question ----

TEST_F(Debugger, ErrorQuestionIsAskedOnTheMainThreadAndItsAnswerDecides)
{
    useScenario(scenario(0, true));
    TfrmFlow* w = newFlow();
    sleeps(w, 2);
    const QString crlf2 = QStringLiteral("\r\n\r\n");

    struct Case {
        std::deque<int> answers;
        int questions;
    };
    const Case cases[] = {{{Prompt::No}, 1}, {{Prompt::Yes, Prompt::No}, 2}, {{Prompt::Yes, Prompt::Yes}, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answers.size());
        prompt.messages.clear();
        prompt.captions.clear();
        prompt.answers = c.answers;
        main->acRun->trigger();
        ASSERT_TRUE(waitFor([&] { return finished(); }));
        ASSERT_EQ(prompt.messages.size(), c.questions);
        for (int i = 0; i < c.questions; ++i) {
            EXPECT_TRUE(prompt.messages[i].startsWith(txt::ErrorContent + txt::Colon + crlf2)) << qPrintable(prompt.messages[i]);
            EXPECT_TRUE(prompt.messages[i].endsWith(crlf2 + txt::Continue));
            EXPECT_EQ(prompt.captions[i], txt::Error + QLatin1Char(' ') + cls("IVRSleep")->GetTypeName());
        }
    }

    // Execute asks nothing.
    prompt.messages.clear();
    main->acExecute->trigger();
    ASSERT_TRUE(waitFor([&] { return finished(); }));
    EXPECT_TRUE(prompt.messages.isEmpty());
}

// ---- options ----

TEST_F(Debugger, NoDeviceAddressMeansNothingStarts)
{
    useDevice(std::make_shared<NoAddressDevice>());
    TfrmFlow* w = newFlow();
    sleeps(w, 1);
    main->acRun->trigger();
    EXPECT_EQ(options->shows, 0);
    EXPECT_FALSE(w->FFlow->Running());
    ASSERT_EQ(prompt.messages.size(), 1);
    EXPECT_EQ(prompt.messages[0], "There isn't an device address to debug.");
    EXPECT_EQ(prompt.captions[0], ProductTitle);
    EXPECT_EQ(enabling(), Idle);
}

TEST_F(Debugger, OptionsWhileRunningAreReadOnly)
{
    TfrmFlow* w = newFlow();
    const auto n = sleeps(w, 1);
    main->acStep->trigger();
    ASSERT_TRUE(waitFor([&] { return pausedAt(n[0]); }));
    const TChannelOptions before = main->DebugOptions;
    RegistryStore store(dir.filePath("registry.db"));
    QString stored;
    ASSERT_EQ(store.readString(productKeyPath(), "Address", &stored), RegistryStore::Status::Ok);

    QString title;
    bool okEnabled = true;
    options->user = [&](DrivenOptions& d) {
        title = d.windowTitle();
        okEnabled = d.btnOK->isEnabled();
        d.cmbAddress->setCurrentIndex(2);
        emit d.cmbAddress->activated(2);
        d.btnOK->click();  // disabled: does nothing
        d.btnCancel->click();
    };
    EXPECT_NE(main->ShowDebugOptions(), QDialog::Accepted);
    EXPECT_EQ(title, "Debug Option [Running - ReadOnly]");
    EXPECT_FALSE(okEnabled);
    EXPECT_EQ(main->DebugOptions, before);
    QString after;
    store.readString(productKeyPath(), "Address", &after);
    EXPECT_EQ(after, stored);

    main->acStop->trigger();
    // Once idle the caption is the plain one and OK works again.
    options->user = [&](DrivenOptions& d) {
        title = d.windowTitle();
        okEnabled = d.btnOK->isEnabled();
        d.btnCancel->click();
    };
    main->acDebugOption->trigger();
    EXPECT_EQ(title, "Debug Option");
    EXPECT_TRUE(okEnabled);
}

TEST_F(Debugger, OptionsAreSavedAfterOkAndLoadedAtTheNextStart)
{
    useScenario(R"({"speed": 0, "gateway": 2, "addresses": ["Line 1", "Line 2", "Gateway", "Line 4"]})");
    options->user = [](DrivenOptions& d) {
        d.cmbAddress->setCurrentIndex(1);
        emit d.cmbAddress->activated(1);
        d.chkGateway->click();
        d.cmbModemPlay->setCurrentIndex(1);
        emit d.cmbModemPlay->activated(1);
        d.cmbModemRecord->setCurrentIndex(1);
        emit d.cmbModemRecord->activated(1);
        d.radSpeaker->click();
        d.btnOK->click();
    };
    EXPECT_EQ(main->ShowDebugOptions(), QDialog::Accepted);
    EXPECT_TRUE(prompt.messages.isEmpty()) << qPrintable(prompt.messages.join("; "));
    const TChannelOptions chosen = main->DebugOptions;
    EXPECT_EQ(chosen.Address, 1);
    EXPECT_TRUE(chosen.UseGateway);
    EXPECT_EQ(chosen.Gateway, 2);
    EXPECT_EQ(chosen.ModemPlay, 1);
    EXPECT_EQ(chosen.HookSwitchMode, 1);

    {
        RegistryStore store(dir.filePath("registry.db"));
        QString text;
        EXPECT_EQ(store.readString(productKeyPath(), "Address", &text), RegistryStore::Status::Ok);
        EXPECT_EQ(text, "Line 2");
        EXPECT_FALSE(store.valueExists(productKeyPath(), "AutoStart")) << "the editor has no auto start";
    }

    // The next program run reads them back; its first Run still asks.
    auto device = main->TAPI3Device;
    main.reset();
    main = std::make_unique<TfrmSorvixEdit>(createTelephonyDevice());
    installStatementDialogs(main.get());
    useDevice(device);
    EXPECT_EQ(main->DebugOptions, TChannelOptions{});
    loadDebugOptions(main.get());
    EXPECT_EQ(main->DebugOptions, chosen);
    EXPECT_FALSE(main->FOptionsConfirmed);
    EXPECT_TRUE(prompt.messages.isEmpty());
}

TEST_F(Debugger, WrongTypedOrUnreadableStoredOptionsDoNotStopTheStart)
{
    {
        RegistryStore store(dir.filePath("registry.db"));
        ASSERT_TRUE(store.createKey(productKeyPath()));
        ASSERT_TRUE(store.writeInteger(productKeyPath(), "address", 3));
        ASSERT_TRUE(store.writeString(productKeyPath(), "Gateway", "Line 2"));
        ASSERT_TRUE(store.writeString(productKeyPath(), "HookSwitchMode", "4"));
    }
    loadDebugOptions(main.get());
    EXPECT_TRUE(prompt.messages.isEmpty());
    EXPECT_EQ(main->DebugOptions.Address, -1) << "a number where a name belongs counts as missing";
    EXPECT_TRUE(main->DebugOptions.UseGateway);
    EXPECT_EQ(main->DebugOptions.Gateway, 1);
    EXPECT_EQ(main->DebugOptions.HookSwitchMode, 0);

    // A store that cannot be opened is reported, and the editor goes on with empty options.
    ScopedEnv broken("SORVIX_REGISTRY", dir.path().toLocal8Bit());
    loadDebugOptions(main.get());
    ASSERT_EQ(prompt.messages.size(), 1);
    EXPECT_EQ(prompt.captions[0], ProductTitle);
    EXPECT_EQ(main->DebugOptions.Address, -1);
}

TEST_F(Debugger, AFailedSaveAfterOkIsReportedAndTheRunStillStarts)
{
    ScopedEnv broken("SORVIX_REGISTRY", dir.path().toLocal8Bit());
    TfrmFlow* w = newFlow();
    const auto n = sleeps(w, 1);
    main->acStep->trigger();
    ASSERT_EQ(prompt.messages.size(), 1);
    EXPECT_EQ(prompt.captions[0], ProductTitle);
    EXPECT_TRUE(main->FOptionsConfirmed);
    ASSERT_TRUE(waitFor([&] { return pausedAt(n[0]); }));
}

TEST_F(Debugger, OptionsSavedWhileAnotherProgramLocksTheStoreFailFast)
{
    {
        RegistryStore store(dir.filePath("registry.db"));
        ASSERT_TRUE(store.createKey(productKeyPath()));
    }
    QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "holder");
    other.setDatabaseName(dir.filePath("registry.db"));
    ASSERT_TRUE(other.open());
    {
        QSqlQuery q(other);
        ASSERT_TRUE(q.exec("BEGIN IMMEDIATE"));
        ASSERT_TRUE(q.exec("UPDATE registry_values SET data = data"));
        useScenario(R"({"speed": 0, "addresses": ["Line 1", "Line 2"]})");
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(main->ShowDebugOptions(), QDialog::Accepted);
        EXPECT_LT(timer.elapsed(), 2000);
        ASSERT_EQ(prompt.messages.size(), 1);
        EXPECT_EQ(prompt.captions[0], ProductTitle);
        EXPECT_TRUE(prompt.messages[0].contains("locked")) << qPrintable(prompt.messages[0]);
        q.exec("ROLLBACK");
    }
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase("holder");
}

// ---- hand-over from a second start ----

TEST(EditorHandOver, MessageHoldsAbsolutePathsOnePerLine)
{
    const QString cwd = QDir::currentPath();
    EXPECT_EQ(TEditorHandOver::buildMessage({"a.svx", "", "/x/../y/b.svx", "sub/c.svx"}),
              (cwd + "/a.svx\r\n/y/b.svx\r\n" + cwd + "/sub/c.svx\r\n").toUtf8());
    EXPECT_EQ(TEditorHandOver::buildMessage({}), QByteArray());
    EXPECT_EQ(TEditorHandOver::fileNames("/a.svx\r\n/b c.svx\r\n"), QStringList({"/a.svx", "/b c.svx"}));
    EXPECT_EQ(TEditorHandOver::fileNames("/a.svx\r\n\r\n/b.svx"), QStringList({"/a.svx", "/b.svx"}));
    EXPECT_TRUE(TEditorHandOver::fileNames("").isEmpty());
}

struct HandOver : Debugger {
    // Flow files in the test folder, relative to it.
    QString flowFile(const QString& relative)
    {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile::remove(path);
        EXPECT_TRUE(QFile::copy(QStringLiteral(SORVIX_FIXTURES "/flows/sample.svx"), path));
        return path;
    }
    QStringList openFiles() const
    {
        QStringList names;
        for (TfrmFlow* w : main->flowWindows()) names << w->FFlow->FileName;
        return names;
    }
};

TEST_F(HandOver, NamesThatArriveBeforeTheWindowAreKeptAndOpenedInOrder)
{
    const QString a = flowFile("a.svx"), b = flowFile("b.svx"), c = flowFile("c.svx");
    TEditorHandOver handOver;
    handOver.received(TEditorHandOver::buildMessage({b, dir.filePath("missing.svx")}));
    handOver.received(TEditorHandOver::buildMessage({a}));
    EXPECT_EQ(handOver.pending().size(), 2);
    EXPECT_TRUE(openFiles().isEmpty());

    handOver.setWindow(main.get());
    EXPECT_EQ(openFiles(), QStringList({b, a})) << "a missing file opens nothing";
    EXPECT_TRUE(handOver.pending().isEmpty());
    EXPECT_TRUE(prompt.messages.isEmpty());

    // Once the window is there a message opens at once; an open file comes forward instead.
    handOver.received(TEditorHandOver::buildMessage({c, b}));
    EXPECT_EQ(openFiles(), QStringList({b, a, c}));
    EXPECT_EQ(main->activeFlowWindow()->FFlow->FileName, b);

    // A start without files only brings the editor forward.
    handOver.received(TEditorHandOver::buildMessage({}));
    EXPECT_EQ(openFiles().size(), 3);
}

TEST_F(HandOver, ASecondStartRestoresTheEditorAsItWasWithItsTitleBarOnScreen)
{
    TEditorHandOver handOver;
    handOver.setWindow(main.get());
    // Maximised, then minimised: maximised again.
    main->showMaximized();
    main->showMinimized();
    ASSERT_TRUE(main->isMinimized());
    handOver.received(TEditorHandOver::buildMessage({}));
    EXPECT_FALSE(main->isMinimized());
    EXPECT_TRUE(main->isMaximized());

    // A normal window moved off every screen comes back with its title bar on one.
    main->showNormal();
    main->resize(600, 400);
    main->move(-5000, -4000);
    QTest::qWait(50);
    const QSize size = main->size();
    main->showMinimized();
    handOver.received(TEditorHandOver::buildMessage({}));
    EXPECT_FALSE(main->isMinimized());
    EXPECT_FALSE(main->isMaximized());
    const QRect avail = main->screen()->availableGeometry();
    EXPECT_TRUE(avail.contains(main->frameGeometry().topLeft())) << main->frameGeometry().x() << ","
                                                                 << main->frameGeometry().y();
    EXPECT_EQ(main->size(), size);
}

TEST_F(HandOver, ASecondStartOfTheProgramHandsItsFilesToTheRunningEditor)
{
    const QString program = QStringLiteral(SORVIX_BINARY_DIR "/src/apps/SorvixEdit");
    if (!QFileInfo(program).isExecutable()) GTEST_SKIP() << "SorvixEdit is not built";
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    const QString a = flowFile("a.svx"), b = flowFile("sub/b.svx");

    // This test is the running editor.
    SingleInstance instance(EditorInstanceName);
    ASSERT_TRUE(instance.tryBecomePrimary());
    ASSERT_TRUE(instance.isListening()) << qPrintable(instance.errorString());
    TEditorHandOver handOver;
    QObject::connect(&instance, &SingleInstance::messageReceived, &handOver, &TEditorHandOver::received);
    handOver.setWindow(main.get());

    // The second start names its files relative to its own folder.
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("SORVIX_REGISTRY", dir.filePath("second.db"));
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(dir.path());
    second.start(program, {"a.svx", "sub/b.svx", "sub/../a.svx"});
    ASSERT_TRUE(second.waitForStarted(10000));
    const bool ended = waitFor([&] { return second.state() == QProcess::NotRunning; }, 20000);
    if (!ended) {
        second.kill();
        second.waitForFinished(5000);
    }
    ASSERT_TRUE(ended) << "the second start did not end";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().constData();
    EXPECT_EQ(openFiles(), QStringList({a, b}));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("second.db"))) << "the second start made no windows";
}

}  // namespace

// ---- stop signals ----

using testfiles::bytesOf;

TEST_F(HandOver, AStopSignalStopsTheRunAndKeepsUnsavedFlowsInRecoveryCopies)
{
    ScopedEnv data("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
    const QString file = flowFile("flow.svx");
    const QByteArray saved = bytesOf(file);
    main->OpenFlowFile(file);
    TfrmFlow* w = main->activeFlowWindow();
    ASSERT_NE(w, nullptr);
    TfrmFlow* fresh = newFlow();
    sleeps(fresh, 1);
    TfrmFlow* untouched = newFlow();
    ASSERT_NE(untouched, nullptr);

    // The edited flow runs a long wait on the line when the signal comes.
    main->OpenFlowFile(file);
    useScenario(scenario(1));
    sleeps(w, 1, 600);
    main->acRun->trigger();
    ASSERT_TRUE(w->FFlow->Running());
    // A copy left by an earlier signal is kept.
    const QString earlier = dir.filePath("flow.recovered.svx");
    ASSERT_TRUE(QFile::copy(file, earlier));

    const QStringList report = main->StopForSignal();
    EXPECT_FALSE(w->FFlow->Running());
    ASSERT_EQ(report.size(), 2) << report.join('\n').toStdString();
    EXPECT_EQ(bytesOf(file), saved) << "the flow's own file is not touched";
    EXPECT_EQ(bytesOf(earlier), saved);
    const QString copy = dir.filePath("flow.recovered-2.svx");
    EXPECT_EQ(bytesOf(copy), flowfile::write(*w->FFlow));
    const QString freshCopy = dir.filePath("data/Sorvix/recovered/" + fresh->FFlow->FlowName + ".recovered.svx");
    EXPECT_EQ(bytesOf(freshCopy), flowfile::write(*fresh->FFlow));
    EXPECT_TRUE(report[0].contains(copy)) << report[0].toStdString();
    EXPECT_TRUE(prompt.messages.isEmpty()) << "nothing is asked";
}

// Out of the maximised state the main window fits the screen, frame and all, in its middle.
TEST(MainWindowPlace, TheNormalPlaceFitsTheScreenWithRoomForAFrame)
{
    for (const QRect& available : {QRect(0, 0, 1280, 1024), QRect(1920, 30, 1600, 870), QRect(0, 0, 640, 480)}) {
        const QRect place = normalMainWindowGeometry(available);
        EXPECT_TRUE(available.contains(place));
        EXPECT_GE(available.width() - place.width(), 40);
        EXPECT_GE(available.height() - place.height(), 40);
        EXPECT_LE(std::abs(place.center().x() - available.center().x()), 1);
        EXPECT_LE(std::abs(place.center().y() - available.center().y()), 1);
    }
}

// The next start says which recovery copies a stop signal left, once, and opens them on Yes.
TEST_F(HandOver, TheNextStartTellsOfTheRecoveryCopiesAndOpensThem)
{
    ScopedEnv data("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
    const QString file = flowFile("flow.svx");
    // Two unsaved flows, one with a file and one without, when the signal comes; the editor ends.
    const auto signalAndEnd = [&] {
        main->OpenFlowFile(file);
        sleeps(main->activeFlowWindow(), 1);
        TfrmFlow* fresh = newFlow();
        sleeps(fresh, 1);
        const QString freshName = fresh->FFlow->FlowName;
        EXPECT_EQ(main->StopForSignal().size(), 2);
        for (TfrmFlow* w : main->flowWindows()) w->FFlow->Modified = false;
        EXPECT_TRUE(main->CloseAllFlows());
        return dir.filePath("data/Sorvix/recovered/" + freshName + ".recovered.svx");
    };
    const auto toldOf = [&](const QStringList& copies) {
        ASSERT_EQ(prompt.messages.size(), 1);
        const QString text = prompt.messages[0];
        EXPECT_TRUE(text.startsWith(txt::RecoveredCopiesFound)) << text.toStdString();
        for (const QString& copy : copies) EXPECT_TRUE(text.contains(QDir::toNativeSeparators(copy))) << text.toStdString();
        EXPECT_TRUE(text.endsWith(txt::OpenRecoveredCopies));
        EXPECT_EQ(prompt.captions[0], ProductTitle);
    };

    const QStringList first = {dir.filePath("flow.recovered.svx"), signalAndEnd()};
    EXPECT_EQ(TfrmSorvixEdit::RecoveredCopies(), first);
    // No: nothing opens, and the next start does not ask again.
    prompt.answers = {Prompt::No};
    main->OfferRecoveredCopies();
    toldOf(first);
    EXPECT_TRUE(openFiles().isEmpty());
    prompt.messages.clear();
    prompt.captions.clear();
    main->OfferRecoveredCopies();
    EXPECT_TRUE(prompt.messages.isEmpty());

    // After the next signal: a copy that went meanwhile is not offered; Yes opens the others.
    const QString second = signalAndEnd();
    QFile::remove(dir.filePath("flow.recovered-2.svx"));
    prompt.answers = {Prompt::Yes};
    main->OfferRecoveredCopies();
    toldOf({second});
    EXPECT_FALSE(prompt.messages[0].contains("flow.recovered-2.svx"));
    EXPECT_EQ(openFiles(), QStringList{second});
    EXPECT_TRUE(TfrmSorvixEdit::RecoveredCopies().isEmpty());
}

TEST_F(HandOver, TheProgramEndsOnATermSignalAndAtOnceOnASecond)
{
    const QString program = QStringLiteral(SORVIX_BINARY_DIR "/src/apps/SorvixEdit");
    if (!QFileInfo(program).isExecutable()) GTEST_SKIP() << "SorvixEdit is not built";
    QTemporaryDir runtime;
    const QString file = flowFile("flow.svx");
    const QByteArray saved = bytesOf(file);
    for (int count : {1, 2}) {
        SCOPED_TRACE(count);
        QProcess editor;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("XDG_DATA_HOME", dir.filePath("data"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("SORVIX_REGISTRY", dir.filePath("editor.db"));
        editor.setProcessEnvironment(env);
        editor.start(program, {file});
        ASSERT_TRUE(editor.waitForStarted(10000));
        // Up once it made its registry store (after every window).
        ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(dir.filePath("editor.db")); }, 20000));
        QTest::qWait(300);
        for (int i = 0; i < count; ++i) ::kill(pid_t(editor.processId()), SIGTERM);
        const bool ended = editor.waitForFinished(20000);
        if (!ended) editor.kill();
        ASSERT_TRUE(ended);
        EXPECT_EQ(editor.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(editor.exitCode(), 128 + SIGTERM) << editor.readAllStandardError().constData();
        EXPECT_EQ(bytesOf(file), saved);
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("flow.recovered.svx"))) << "nothing was unsaved";
        QFile::remove(dir.filePath("editor.db"));
    }
}
