#pragma once

#include <QString>
#include <QStringList>
#include <map>

#include "engine/flow.h"
#include "engine/statement.h"

// Sets a flow's run state without a runner thread.
struct TIVRFlowTestAccess {
    static void setRunning(TIVRFlow& flow, bool running) { flow.running_ = running; }
};

namespace flowtest {

// A tree view stand-in: node k of `rows` lies at y from 10k to 10k+9, at any x.
struct FakeView : FlowViewPort {
    std::map<int, FlowNode*> rows;
    int drags = 0;

    FlowNode* nodeAt(int, int y) const override
    {
        auto it = rows.find(y / 10);
        return y >= 0 && it != rows.end() ? it->second : nullptr;
    }
    void beginDrag() override { ++drags; }
    // Puts node at row k; returns a y inside that row.
    int place(FlowNode* node, int k = 0)
    {
        rows[k] = node;
        return k * 10 + 5;
    }
};

inline const ClassInfo* cls(const char* name)
{
    return ClassRegistry::find(QLatin1String(name));
}

// Counts OnModify(true) and stores the value as the flow window does.
struct ModifyCounter {
    int raised = 0;
    void attach(TIVRFlow& flow)
    {
        flow.OnModify = [this, &flow](bool modified) {
            if (modified) ++raised;
            flow.Modified = modified;
        };
    }
};

// The texts of a node's children, joined by "|".
inline QString childTexts(const FlowNode* node)
{
    QStringList texts;
    for (FlowNode* c = node->firstChild(); c; c = c->nextSibling()) texts << c->text();
    return texts.join(QLatin1Char('|'));
}

}  // namespace flowtest
