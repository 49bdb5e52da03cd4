#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <atomic>
#include <memory>

#include "dialogdriver.h"
#include "ui/sorvixform.h"
#include "editor/dialogs/editregistry.h"
#include "engine/flow.h"
#include "engine/statements/declarations.h"
#include "engine/texts.h"
#include "ui/fakeprompt.h"
#include "devices/sim/devicefactory.h"

// A new flow, the statement dialogs installed, prompts answered and modal runs driven.
struct DialogTest : ::testing::Test {
    FakePrompt prompt;
    DialogDriver driver;
    std::unique_ptr<TIVRFlow> flow = std::make_unique<TIVRFlow>(nullptr, QString(), true);

    void SetUp() override
    {
        initProductTexts();
        installStatementDialogs();
    }
    void TearDown() override
    {
        EXPECT_EQ(driver.pending(), 0u) << "a dialog the test expected was never shown";
        if (flow->Running()) flow->Stop();
        uninstallStatementDialogs();
    }

    // A statement added as the flow's editor adds it (named declarations get their new names).
    template <class T>
    T* add(FlowNode* parent)
    {
        FlowNode* n = flow->AddStatement(parent, &T::info, pcLastChild);
        EXPECT_NE(n, nullptr);
        return n ? static_cast<T*>(n->statement()) : nullptr;
    }
    template <class T>
    T* addToBegin()
    {
        return add<T>(flow->BeginRoot);
    }
    // Starts a debug run on the simulated device and waits until it pauses before `at`, which
    // gets a breakpoint. The run is stopped at the end of the test.
    bool runUntilPausedAt(TIVRBase* at)
    {
        at->setBreakPoint(true);
        TelephonyDeviceOptions options;
        options.speed = 0;
        flow->setDevice(createTelephonyDevice(options));
        flow->OnPause = [this](bool) { ++pauses; };
        flow->Run({.debug = true});
        QDeadlineTimer deadline(20000);
        while (pauses == 0 && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return pauses > 0 && flow->Running();
    }
    std::atomic<int> pauses{0};

    IVRVariant* variable(const QString& name, const Value& initial = Value())
    {
        auto* v = add<IVRVariant>(flow->VarRoot);
        v->Name = name;
        v->link.constant = initial;
        return v;
    }
};
