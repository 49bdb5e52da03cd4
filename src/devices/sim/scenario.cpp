#include "scenario.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Reads one JSON object, remembering where it is for the error text and which keys were used.
class Reader {
public:
    Reader(const QJsonObject& object, QString where, QString* error)
        : object_(object), where_(std::move(where)), error_(*error)
    {
    }

    bool fail(const QString& key, const QString& why)
    {
        if (error_.isEmpty())
            error_ = QStringLiteral("%1%2: %3").arg(where_, key.isEmpty() ? QString() : "." + key, why);
        return false;
    }

    bool has(const QString& key) { return object_.contains(key); }

    QJsonValue take(const QString& key)
    {
        used_.append(key);
        return object_.value(key);
    }

    bool number(const QString& key, double& out, double min, double max)
    {
        QJsonValue v = take(key);
        if (v.isUndefined())
            return true;
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            return fail(key, QStringLiteral("a number is expected"));
        if (v.toDouble() < min || v.toDouble() > max)
            return fail(key, QStringLiteral("out of range"));
        out = v.toDouble();
        return true;
    }

    template <typename Int>
    bool integer(const QString& key, Int& out, double min, double max)
    {
        double d = double(out);
        if (!number(key, d, min, max))
            return false;
        if (d != std::floor(d))
            return fail(key, QStringLiteral("a whole number is expected"));
        out = Int(d);
        return true;
    }

    template <typename Int>
    bool optionalInteger(const QString& key, std::optional<Int>& out, double min, double max)
    {
        QJsonValue v = object_.value(key);
        if (v.isNull() || v.isUndefined()) {
            take(key);
            out.reset();
            return true;
        }
        Int value{};
        if (!integer(key, value, min, max))
            return false;
        out = value;
        return true;
    }

    bool string(const QString& key, QString& out)
    {
        QJsonValue v = take(key);
        if (v.isUndefined())
            return true;
        if (!v.isString())
            return fail(key, QStringLiteral("a string is expected"));
        out = v.toString();
        return true;
    }

    bool boolean(const QString& key, bool& out)
    {
        QJsonValue v = take(key);
        if (v.isUndefined())
            return true;
        if (!v.isBool())
            return fail(key, QStringLiteral("true or false is expected"));
        out = v.toBool();
        return true;
    }

    bool array(const QString& key, QJsonArray& out)
    {
        QJsonValue v = take(key);
        if (v.isUndefined())
            return true;
        if (!v.isArray())
            return fail(key, QStringLiteral("a list is expected"));
        out = v.toArray();
        return true;
    }

    bool object(const QString& key, QJsonObject& out)
    {
        QJsonValue v = take(key);
        if (v.isUndefined())
            return true;
        if (!v.isObject())
            return fail(key, QStringLiteral("an object is expected"));
        out = v.toObject();
        return true;
    }

    // Every key must have been read.
    bool finish()
    {
        for (const QString& key : object_.keys())
            if (!used_.contains(key))
                return fail(key, QStringLiteral("unknown key"));
        return true;
    }

    QString where() const { return where_; }

private:
    QJsonObject object_;
    QString where_;
    QString& error_;
    QStringList used_;
};

constexpr double kMaxMs = kEndlessWaitMs;  // far enough to mean "later"

// The first key that an object of the JSON text (already found to be valid) holds twice, named
// as the reader names places ("scenario.addresses[1].name"); empty when there is none. The
// document object keeps one of the two without a word, so the text itself is read.
QString duplicateKey(const QByteArray& json)
{
    struct Frame {
        bool object;
        QString where;
        QSet<QString> keys;
        QString key;          // in an object: the key of the value being read
        qsizetype index = 0;  // in a list: the index of the value being read
    };
    std::vector<Frame> stack;
    auto where = [&] {
        if (stack.empty())
            return QStringLiteral("scenario");
        const Frame& f = stack.back();
        return f.object ? f.where + QLatin1Char('.') + f.key : QStringLiteral("%1[%2]").arg(f.where).arg(f.index);
    };
    const qsizetype n = json.size();
    bool expectKey = false;
    for (qsizetype i = 0; i < n;) {
        const char c = json.at(i);
        if (c == '{' || c == '[') {
            Frame frame{c == '{', where(), {}, {}, 0};
            stack.push_back(std::move(frame));
            expectKey = c == '{';
            ++i;
        } else if (c == '}' || c == ']') {
            if (!stack.empty())
                stack.pop_back();
            expectKey = false;
            ++i;
        } else if (c == ',') {
            if (!stack.empty()) {
                if (stack.back().object)
                    expectKey = true;
                else
                    ++stack.back().index;
            }
            ++i;
        } else if (c == '"') {
            const qsizetype start = i++;
            bool escaped = false;
            while (i < n && json.at(i) != '"') {
                if (json.at(i) == '\\') {
                    escaped = true;
                    ++i;
                }
                ++i;
            }
            ++i;
            if (!expectKey || stack.empty() || !stack.back().object)
                continue;
            const QByteArray token = json.mid(start, i - start);
            const QString key = escaped ? QJsonDocument::fromJson("[" + token + "]").array().at(0).toString()
                                        : QString::fromUtf8(token.mid(1, token.size() - 2));
            Frame& f = stack.back();
            if (f.keys.contains(key))
                return f.where + QLatin1Char('.') + key;
            f.keys.insert(key);
            f.key = key;
            expectKey = false;
        } else {
            ++i;  // blanks, colons, numbers, true, false, null
        }
    }
    return {};
}

bool validDigits(const QString& digits)
{
    return std::all_of(digits.begin(), digits.end(), [](QChar c) {
        return (c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'D');
    });
}

bool readForce(Reader& parent, ForcedResults& force, QString* error)
{
    QJsonObject object;
    if (!parent.object(QStringLiteral("force"), object))
        return false;
    Reader r(object, parent.where() + ".force", error);
    for (const QString& key : object.keys()) {
        if (!Scenario::forcibleOperations().contains(key))
            return r.fail(key, QStringLiteral("not an operation that can be forced"));
        int32_t result = 0;
        if (!r.integer(key, result, -2147483648.0, 2147483647.0))
            return false;
        force[key] = result;
    }
    return r.finish();
}

bool readTimeline(Reader& r, CallTimeline& timeline, QString* error)
{
    QJsonArray digits;
    if (!r.array(QStringLiteral("digits"), digits) || !r.optionalInteger(QStringLiteral("hangup_ms"), timeline.hangupMs, 0, kMaxMs) ||
        !r.integer(QStringLiteral("record_tone_hz"), timeline.recordToneHz, 0, 3999))
        return false;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        const QString where = QStringLiteral("%1.digits[%2]").arg(r.where()).arg(i);
        if (!digits[i].isObject()) {
            *error = where + ": an object is expected";
            return false;
        }
        Reader d(digits[i].toObject(), where, error);
        DigitEvent event;
        if (!d.integer(QStringLiteral("at_ms"), event.atMs, 0, kMaxMs) || !d.string(QStringLiteral("digits"), event.digits))
            return false;
        if (event.digits.isEmpty() || !validDigits(event.digits))
            return d.fail(QStringLiteral("digits"), QStringLiteral("digits are 0-9, *, # and A-D"));
        if (!d.finish())
            return false;
        timeline.digits.push_back(event);
    }
    std::stable_sort(timeline.digits.begin(), timeline.digits.end(),
                     [](const DigitEvent& a, const DigitEvent& b) { return a.atMs < b.atMs; });
    return true;
}

bool readCall(const QJsonValue& value, const QString& where, ScriptedCall& call, QString* error)
{
    if (!value.isObject()) {
        *error = where + ": an object is expected";
        return false;
    }
    Reader r(value.toObject(), where, error);
    return r.string(QStringLiteral("caller"), call.caller) && r.string(QStringLiteral("called"), call.called) &&
           r.integer(QStringLiteral("arrive_ms"), call.arriveMs, 0, kMaxMs) &&
           r.optionalInteger(QStringLiteral("rings"), call.rings, 0, 32767) && readTimeline(r, call.timeline, error) &&
           readForce(r, call.force, error) && r.finish();
}

bool readOutbound(const QJsonValue& value, const QString& where, OutboundOutcome& outcome, QString* error)
{
    if (!value.isObject()) {
        *error = where + ": an object is expected";
        return false;
    }
    Reader r(value.toObject(), where, error);
    return r.integer(QStringLiteral("result"), outcome.result, -2147483648.0, 2147483647.0) &&
           r.integer(QStringLiteral("after_ms"), outcome.afterMs, 0, kMaxMs) && readTimeline(r, outcome.timeline, error) &&
           r.finish();
}

bool readAddress(const QJsonValue& value, const QString& where, ScriptedAddress& address, QString* error)
{
    if (value.isString()) {
        address.name = value.toString();
        return true;
    }
    if (!value.isObject()) {
        *error = where + ": a name or an object is expected";
        return false;
    }
    Reader r(value.toObject(), where, error);
    QJsonArray calls, outbound;
    if (!r.string(QStringLiteral("name"), address.name) || !readForce(r, address.force, error) ||
        !r.array(QStringLiteral("calls"), calls) || !r.array(QStringLiteral("outbound"), outbound))
        return false;
    for (qsizetype i = 0; i < calls.size(); ++i) {
        ScriptedCall call;
        if (!readCall(calls[i], QStringLiteral("%1.calls[%2]").arg(where).arg(i), call, error))
            return false;
        address.calls.push_back(std::move(call));
    }
    for (qsizetype i = 0; i < outbound.size(); ++i) {
        OutboundOutcome outcome;
        if (!readOutbound(outbound[i], QStringLiteral("%1.outbound[%2]").arg(where).arg(i), outcome, error))
            return false;
        address.outbound.push_back(std::move(outcome));
    }
    return r.finish();
}

}  // namespace

bool usableSpeed(double speed)
{
    return std::isfinite(speed) && (speed == 0 || speed >= 1 / kEndlessWaitMs);
}

Scenario Scenario::defaultScenario()
{
    Scenario s;
    for (int i = 1; i <= 4; ++i)
        s.addresses.push_back({QStringLiteral("Line %1").arg(i), {}, {}, {}});
    return s;
}

const QStringList& Scenario::forcibleOperations()
{
    static const QStringList names{"Answer", "PlayFile",  "ReceiveDTMF", "Speak",       "RecordFile",   "WaitRing",
                                   "MakeCall", "Sleep", "SendDTMF",    "GatewayCall", "SetHookSwitch"};
    return names;
}

bool parseScenario(const QByteArray& json, Scenario& scenario, QString* error)
{
    error->clear();
    QJsonParseError parseError;
    QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull()) {
        *error = QStringLiteral("scenario: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    if (!doc.isObject()) {
        *error = QStringLiteral("scenario: an object is expected");
        return false;
    }
    if (const QString twice = duplicateKey(json); !twice.isEmpty()) {
        *error = twice + QStringLiteral(": duplicate key");
        return false;
    }
    Scenario s;
    Reader r(doc.object(), QStringLiteral("scenario"), error);
    QJsonArray addresses;
    if (!r.number(QStringLiteral("speed"), s.speed, 0, 1e300) || !r.boolean(QStringLiteral("speech_engine"), s.speechEngine) ||
        !r.integer(QStringLiteral("ring_ms"), s.ringMs, 0, kMaxMs) || !r.integer(QStringLiteral("gateway"), s.gateway, -1, 1e6) ||
        !r.array(QStringLiteral("addresses"), addresses))
        return false;
    if (!usableSpeed(s.speed))
        return r.fail(QStringLiteral("speed"), QStringLiteral("out of range: so slow that every wait would be endless"));
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        ScriptedAddress address;
        if (!readAddress(addresses[i], QStringLiteral("scenario.addresses[%1]").arg(i), address, error))
            return false;
        s.addresses.push_back(std::move(address));
    }
    if (!r.finish())
        return false;
    if (s.gateway >= int(s.addresses.size()))
        return r.fail(QStringLiteral("gateway"), QStringLiteral("no address has this index"));
    scenario = std::move(s);
    return true;
}

bool loadScenario(const QString& path, Scenario& scenario, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open scenario %1: %2").arg(path, file.errorString());
        return false;
    }
    if (!parseScenario(file.readAll(), scenario, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}
