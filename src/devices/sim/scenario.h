#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// What the simulated telephony device does: its lines and the calls on them.
//
// Scenario file (JSON). Every key is optional; an unknown key is an error, so a typo is caught.
//
//   {
//     "speed": 1.0,             // 1.0 real time, 10 ten times faster; 0 no waiting at all
//     "speech_engine": false,   // without one, Speak answers 7 (no speech engine)
//     "ring_ms": 6000,          // time from one ring to the next
//     "gateway": -1,            // the gateway address index GetGatewayAddress answers, -1 none
//     "addresses": [            // the lines, in index order; a plain string is a line with no calls
//       "Line 1",
//       {
//         "name": "Line 2",
//         "force": { "PlayFile": 1 },   // operation name -> result it returns at once, on every call
//         "calls": [                    // the calls that arrive, in order, one per WaitRing
//           {
//             "caller": "5550100", "called": "8000",
//             "arrive_ms": 0,           // from the start of WaitRing to the first ring
//             "rings": 3,               // rings before the caller gives up; absent: until answered
//             "digits": [ { "at_ms": 1500, "digits": "12#" } ],  // keys pressed, ms after answer
//             "hangup_ms": 20000,       // the caller hangs up, ms after answer; absent or null: never
//             "record_tone_hz": 440,    // what RecordFile hears: a tone, 0 (default) silence
//             "force": { "Speak": 7 }   // as above, while this call is on the line
//           }
//         ],
//         "outbound": [                 // outcomes of MakeCall and GatewayCall, in order
//           {
//             "result": 0,              // 0 answered, else the result to return (3 call failed, ...)
//             "after_ms": 3000,         // time until the far end answers (or the result comes)
//             "digits": [], "hangup_ms": 10000, "record_tone_hz": 0   // the answered call, from answer
//           }
//         ]
//       }
//     ]
//   }
//
// The names "force" accepts: Answer, PlayFile, ReceiveDTMF, Speak, RecordFile, WaitRing, MakeCall,
// Sleep, SendDTMF, GatewayCall, SetHookSwitch. Digits are 0-9, *, # and A-D.

struct DigitEvent {
    int64_t atMs = 0;
    QString digits;
    bool operator==(const DigitEvent&) const = default;
};

// What happens on a connected call, on its own clock that starts when the call is answered.
struct CallTimeline {
    std::vector<DigitEvent> digits;  // sorted by atMs
    std::optional<int64_t> hangupMs;  // empty: never
    int recordToneHz = 0;
};

using ForcedResults = std::map<QString, int32_t>;

struct ScriptedCall {
    QString caller;
    QString called;
    int64_t arriveMs = 0;
    std::optional<int> rings;  // empty: rings until answered
    CallTimeline timeline;
    ForcedResults force;
};

struct OutboundOutcome {
    int32_t result = 0;
    int64_t afterMs = 0;
    CallTimeline timeline;
};

struct ScriptedAddress {
    QString name;
    ForcedResults force;
    std::vector<ScriptedCall> calls;
    std::vector<OutboundOutcome> outbound;
};

struct Scenario {
    double speed = 1.0;
    bool speechEngine = false;
    int64_t ringMs = 6000;
    int gateway = -1;
    std::vector<ScriptedAddress> addresses;

    // Four lines "Line 1" to "Line 4", no gateway, no calls, real time.
    static Scenario defaultScenario();
    // The operation names "force" accepts.
    static const QStringList& forcibleOperations();
};

// A wait longer than this (in milliseconds, about thirty years) is taken to last until the channel
// is stopped.
constexpr double kEndlessWaitMs = 1e12;

// True for a speed the device can keep: 0 (no waiting) or a finite number at which a wait of a
// millisecond still ends.
bool usableSpeed(double speed);

// Both return false and set error (a text naming the place of the fault) when the input is bad.
// A key given twice in one object is a fault.
bool parseScenario(const QByteArray& json, Scenario& scenario, QString* error);
bool loadScenario(const QString& path, Scenario& scenario, QString* error);
