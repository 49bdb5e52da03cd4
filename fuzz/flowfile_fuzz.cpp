// The flow file reader on arbitrary bytes. Whatever it accepts must write a text that reads
// back without error and writes the same text again.
#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "engine/flow.h"
#include "engine/flowfile.h"
#include "engine/texts.h"

namespace {

bool readInto(TIVRFlow& flow, QByteArrayView text)
{
    flowfile::clear(flow);
    QString error;
    return flowfile::read(flow, text, &error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        setTextLanguage(false);
        return true;
    }();
    (void)ready;

    TIVRFlow flow(nullptr, QString(), true);
    if (!readInto(flow, QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)))) return 0;
    const QByteArray first = flowfile::write(flow);
    (void)flowfile::flowText(flow);

    TIVRFlow again(nullptr, QString(), true);
    if (!readInto(again, first)) __builtin_trap();
    if (flowfile::write(again) != first) __builtin_trap();
    return 0;
}
