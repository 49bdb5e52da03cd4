// How quickly a flow reacts to a caller's key with many channels busy on calls: every line takes
// call after call on the simulated device in real time (ring, answer, one digit collected, a
// compare, a half-second sleep), and each channel measures the time from the moment the device
// hands the digit over (ReceiveDTMF returns with it) to the flow's next channel operation.
// Prints p50, p99 and the worst of those times.
//   latency_bench [--channels=N (1000)] [--seconds=S (10)]; SORVIX_BENCH_SMALL=1: 100 channels, 3 s.

#include "args.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/device.h"
#include "engine/flow.h"
#include "engine/runner.h"
#include "engine/statements/declarations.h"
#include "engine/statements/line.h"
#include "engine/statements/variables.h"
#include "engine/statements/voice.h"
#include "engine/texts.h"
#include "devices/sim/simdevice.h"

namespace {

using Clock = std::chrono::steady_clock;

// Passes every operation to the simulated line and notes, after a digit came in, how long the
// flow took to make its next call on the line. Only the channel's runner thread calls it.
class TimingChannel : public IIVRAddress {
public:
    explicit TimingChannel(ChannelPtr inner) : inner_(std::move(inner)) {}

    int32_t ReceiveDTMF(QString& digits, int maxLength, int endDigit, int timeOut, int timeOutFirstAdd) override
    {
        next();
        const int32_t r = inner_->ReceiveDTMF(digits, maxLength, endDigit, timeOut, timeOutFirstAdd);
        if (r == 0 && !digits.trimmed().isEmpty()) digitAt_ = Clock::now();
        return r;
    }
    int32_t Answer() override { return next(), inner_->Answer(); }
    int32_t PlayFile(const QString& f, bool i) override { return next(), inner_->PlayFile(f, i); }
    int32_t EndPass() override { return next(), inner_->EndPass(); }
    int32_t BeginPass() override { return next(), inner_->BeginPass(); }
    int32_t Abort() override { return inner_->Abort(); }  // from the stopping thread
    int32_t Speak(const QString& t, bool i, bool x, bool f) override { return next(), inner_->Speak(t, i, x, f); }
    int32_t RecordFile(const QString& f, bool i, int m) override { return next(), inner_->RecordFile(f, i, m); }
    int32_t WaitRing(int n, QString& a, QString& b) override { return next(), inner_->WaitRing(n, a, b); }
    int32_t MakeCall(const QString& n, int t, int o) override { return next(), inner_->MakeCall(n, t, o); }
    int32_t Sleep(bool i, int t) override { return next(), inner_->Sleep(i, t); }
    int32_t SendDTMF(const QString& d) override { return next(), inner_->SendDTMF(d); }
    int32_t GatewayCall(const QString& n, const QString& g, int t, int o, int32_t m) override
    {
        return next(), inner_->GatewayCall(n, g, t, o, m);
    }
    int32_t SetHookSwitch(int h) override { return next(), inner_->SetHookSwitch(h); }

    std::vector<double> samplesUs;

private:
    void next()
    {
        if (digitAt_ == Clock::time_point()) return;
        samplesUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - digitAt_).count());
        digitAt_ = Clock::time_point();
    }

    ChannelPtr inner_;
    Clock::time_point digitAt_;
};

class TimingDevice : public ITAPI3Device {
public:
    explicit TimingDevice(std::shared_ptr<SimDevice> inner) : inner_(std::move(inner)) {}
    int32_t OpenChannel(int a, ChannelPtr& out, int g, int wo, int wi, int h, int t) override
    {
        ChannelPtr sim;
        const int32_t r = inner_->OpenChannel(a, sim, g, wo, wi, h, t);
        if (sim) {
            auto timing = std::make_shared<TimingChannel>(sim);
            std::lock_guard lock(mutex_);
            channels_.push_back(timing);
            out = timing;
        }
        return r;
    }
    int32_t CloseChannel(int, ChannelPtr) override { return 0; }  // closed with the device at the end
    int32_t GetAddressName(int i, QString& n) override { return inner_->GetAddressName(i, n); }
    int32_t GetAddressCount(int& c) override { return inner_->GetAddressCount(c); }
    int32_t GetGatewayAddress(int& i) override { return inner_->GetGatewayAddress(i); }

    std::vector<double> samplesUs() const
    {
        std::lock_guard lock(mutex_);
        std::vector<double> all;
        for (const auto& c : channels_) all.insert(all.end(), c->samplesUs.begin(), c->samplesUs.end());
        return all;
    }

private:
    std::shared_ptr<SimDevice> inner_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<TimingChannel>> channels_;
};

// Each line's calls come at once; the caller presses 1 a little later on each line, so the
// digits of the lines are spread over the call.
Scenario scenario(int lines, int callsPerLine)
{
    Scenario s;
    s.speed = 1.0;
    s.ringMs = 50;
    for (int i = 0; i < lines; ++i) {
        ScriptedAddress line;
        line.name = QStringLiteral("Line %1").arg(i + 1);
        for (int c = 0; c < callsPerLine; ++c) {
            ScriptedCall call;
            call.caller = QStringLiteral("555%1").arg(c, 4, 10, QLatin1Char('0'));
            call.called = QStringLiteral("8000");
            call.timeline.digits.push_back({100 + (i * 37 + c * 11) % 300, QStringLiteral("1")});
            line.calls.push_back(call);
        }
        s.addresses.push_back(line);
    }
    return s;
}

// Ring, Answer, ReceiveDTMF into d, ok := d = "1", Sleep 5 tenths.
std::unique_ptr<TIVRFlow> makeFlow(std::shared_ptr<ITAPI3Device> device)
{
    auto flow = std::make_unique<TIVRFlow>(nullptr, QString(), false);
    flow->setDevice(std::move(device));
    auto declare = [&](const char* name) {
        auto var = std::make_unique<IVRVariant>(flow.get());
        IVRVariant* v = var.get();
        v->Name = QString::fromLatin1(name);
        flow->AddVariant(v);
        flow->tree().addLast(flow->VarRoot, std::move(var));
        return v;
    };
    IVRVariant* caller = declare("caller");
    IVRVariant* d = declare("d");
    IVRVariant* ok = declare("ok");
    auto add = [&](std::unique_ptr<TIVRBase> s) { flow->tree().addLast(flow->BeginRoot, std::move(s)); };

    auto ring = std::make_unique<IVRRing>(flow.get());
    ring->link.LinkTo(caller);
    add(std::move(ring));
    add(std::make_unique<IVRAnswer>(flow.get()));
    auto receive = std::make_unique<IVRReceiveDTMF>(flow.get());
    receive->link.LinkTo(d);
    receive->MaxLength = 1;
    receive->TimeOut = 5;
    add(std::move(receive));
    auto compare = std::make_unique<IVROperator>(flow.get());
    compare->link.LinkTo(ok);
    compare->Operate = optEquality;
    compare->Dest.LinkTo(d);
    compare->Source.constant = Value(QStringLiteral("1"));
    add(std::move(compare));
    auto sleep = std::make_unique<IVRSleep>(flow.get());
    sleep->Interruptible = false;
    sleep->MaxLength = 5;
    add(std::move(sleep));
    return flow;
}

double percentile(const std::vector<double>& sorted, double p)
{
    if (sorted.empty()) return 0;
    const size_t i = std::min(sorted.size() - 1, size_t(p * double(sorted.size() - 1) + 0.5));
    return sorted[i];
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    setTextLanguage(false);
    const bool small = !qEnvironmentVariableIsEmpty("SORVIX_BENCH_SMALL");
    const int channels = argValue(argc, argv, "--channels", small ? 100 : 1000);
    const int seconds = argValue(argc, argv, "--seconds", small ? 3 : 10);
    if (channels < 1 || seconds < 1) {
        std::fputs("latency_bench: --channels and --seconds need numbers of 1 or more\n", stderr);
        return 2;
    }

    // A call lasts about a second; every line has calls left when the time is up.
    auto sim = std::make_shared<SimDevice>(scenario(channels, seconds * 2 + 10));
    sim->setKeepLog(false);
    auto device = std::make_shared<TimingDevice>(sim);
    std::vector<std::unique_ptr<TIVRFlow>> flows;
    for (int i = 0; i < channels; ++i) flows.push_back(makeFlow(device));
    for (int i = 0; i < channels; ++i) flows[size_t(i)]->Run({.addressIndex = i});

    const auto until = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    for (auto& f : flows)
        if (f->FlowThread()) f->FlowThread()->requestStop();
    for (auto& f : flows) f->Stop();

    std::vector<double> samples = device->samplesUs();
    std::sort(samples.begin(), samples.end());
    std::printf("%d channels on calls for %d s: %zu digits\n", channels, seconds, samples.size());
    if (samples.empty()) return 1;
    std::printf("digit to next channel operation: p50 %.1f us, p99 %.1f us, max %.1f us\n",
                percentile(samples, 0.5), percentile(samples, 0.99), samples.back());
    return 0;
}
