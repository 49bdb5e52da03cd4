#include "engine/flow.h"
#include "engine/flowfile.h"
#include "engine/texts.h"
#include "platform/codepage.h"

namespace flowfile {

void WriteFlowText(const FlowNode* node, const QString& prefix, QString& out)
{
    const QLatin1String lineEnd("\r\n");
    out += prefix;
    out += QLatin1Char('|');
    out += lineEnd;
    out += prefix;
    if (node->hasChildren())
        out += QLatin1String("x--");
    else if (node->nextSibling())
        out += QLatin1String("|--");
    else
        out += QLatin1String("---");
    out += node->text();
    out += lineEnd;
    const QString childPrefix = prefix + (node->nextSibling() ? QLatin1String("|   ") : QLatin1String("    "));
    for (const FlowNode* c = node->firstChild(); c; c = c->nextSibling()) WriteFlowText(c, childPrefix, out);
}

QString flowText(const TIVRFlow& flow)
{
    QString out;
    for (const FlowNode* n = flow.tree().first(); n; n = n->nextSibling()) WriteFlowText(n, QString(), out);
    return out;
}

}  // namespace flowfile

bool TIVRFlow::SaveFlowText(const QString& fileName, QString* error)
{
    QString message;
    const bool saved = flowfile::saveBytes(fileName, CodePage::encodeKeepingBytes(flowfile::flowText(*this)), &message);
    if (error) *error = saved ? QString() : txt::SaveFlowTextError + QStringLiteral("\r\n") + message;
    return saved;
}
