#include "engine/flow.h"

#include "engine/statements/declarations.h"
#include "engine/statements/flowcontrol.h"
#include "engine/texts.h"


int TIVRFlow::NewFlowCounter = 0;

namespace {
void onExpansion(void* ctx, FlowNode* node, bool expanded)
{
    auto* flow = static_cast<TIVRFlow*>(ctx);
    if (expanded)
        flow->TreeExpanded(node);
    else
        flow->TreeCollapsed(node);
}
}  // namespace

TIVRFlow::TIVRFlow(QObject* owner, const QString& fileName, bool debug, QString* error, FlowFileCache* cache)
    : QObject(owner), FlowName(fileName), FileName(fileName), debug_(debug)
{
    if (error) error->clear();
    tree_.setExpansionHandler(&onExpansion, this);
    if (!fileName.isEmpty()) {
        QString loadError;
        LoadFromFile(fileName, &loadError, cache);
        if (error) *error = loadError;
    } else {
        buildNewFlow();
    }
    tree_.expandAll();
    tree_.select(VarRoot);
}

TIVRFlow::~TIVRFlow()
{
    // Statements unregister themselves from the lists as the tree is freed.
    tree_.setObserver(nullptr);
    tree_.clear();
}

void TIVRFlow::buildNewFlow()
{
    auto var = std::make_unique<IVRVar>(this);
    const QString varText = var->GetTypeName();
    VarRoot = tree_.addLast(nullptr, std::move(var), varText);

    auto result = std::make_unique<IVRResult>(this);
    result->Name = result->GetTypeName();
    ResultVariant = result.get();
    AddVariant(result.get());
    const QString resultText = result->GetTypeName();
    tree_.addLast(VarRoot, std::move(result), resultText);

    auto begin = std::make_unique<IVRBegin>(this);
    const QString beginText = begin->GetTypeName();
    BeginRoot = tree_.addLast(nullptr, std::move(begin), beginText);

    auto end = std::make_unique<IVREnd>(this);
    const QString endText = end->GetTypeName();
    EndRoot = tree_.addLast(nullptr, std::move(end), endText);
    tree_.select(EndRoot);
    ++NewFlowCounter;
}

// ---- declaration lists ----

void TIVRFlow::AddVariant(IVRVariant* v)
{
    v->prevVariant = nullptr;
    v->nextVariant = FirstVariant;
    if (FirstVariant) FirstVariant->prevVariant = v;
    FirstVariant = v;
}

void TIVRFlow::AddDataBase(IVRDataBase* d)
{
    d->prevDataBase = nullptr;
    d->nextDataBase = FirstDataBase;
    if (FirstDataBase) FirstDataBase->prevDataBase = d;
    FirstDataBase = d;
}

void TIVRFlow::AddLabel(IVRLabel* l)
{
    l->prevLabel = nullptr;
    l->nextLabel = FirstLabel;
    if (FirstLabel) FirstLabel->prevLabel = l;
    FirstLabel = l;
}

namespace {
template <class T, T* T::*Prev, T* T::*Next, class Head>
void unlinkFromList(T* item, Head*& head)
{
    if (item->*Prev)
        (item->*Prev)->*Next = item->*Next;
    else if (head == item)
        head = item->*Next;
    if (item->*Next) (item->*Next)->*Prev = item->*Prev;
    item->*Prev = item->*Next = nullptr;
}
}  // namespace

void TIVRFlow::removeVariant(IVRVariant* v)
{
    unlinkFromList<IVRVariant, &IVRVariant::prevVariant, &IVRVariant::nextVariant>(v, FirstVariant);
    if (ResultVariant == v) ResultVariant = nullptr;
}

void TIVRFlow::removeDataBase(IVRDataBase* d)
{
    unlinkFromList<IVRDataBase, &IVRDataBase::prevDataBase, &IVRDataBase::nextDataBase>(d, FirstDataBase);
}

void TIVRFlow::removeLabel(IVRLabel* l)
{
    unlinkFromList<IVRLabel, &IVRLabel::prevLabel, &IVRLabel::nextLabel>(l, FirstLabel);
}

bool TIVRFlow::isResultName(const QString& name) const
{
    // The result variable is named in the interface language; files written under the other
    // language name it in theirs.
    return name == QStringLiteral("Result") || name == QStringLiteral("结果") ||
           (ResultVariant && name == ResultVariant->Name);
}

void TIVRFlow::LinkVariant(TIVRVariantLink& link)
{
    if (link.constant.kind() != Value::Kind::String) return;
    const QString s = link.constant.asString();
    if (s.isEmpty()) return;
    if (s.startsWith(QLatin1Char('"'))) {
        link.constant = Value(s.mid(1, std::max<qsizetype>(0, s.size() - 2)));
        return;
    }
    for (IVRVariant* v = FirstVariant; v; v = v->nextVariant) {
        if (v->Name == s) {
            link.LinkTo(v);
            return;
        }
    }
    if (ResultVariant && isResultName(s)) link.LinkTo(ResultVariant);
}

void TIVRFlow::LinkDataBase(TIVRDataBaseLink& link)
{
    if (link.name.isEmpty()) return;
    for (IVRDataBase* d = FirstDataBase; d; d = d->nextDataBase) {
        if (d->Name == link.name) {
            link.LinkTo(d);
            return;
        }
    }
}

void TIVRFlow::LinkLabel(TIVRLabelLink& link)
{
    if (link.name.isEmpty()) return;
    for (IVRLabel* l = FirstLabel; l; l = l->nextLabel) {
        if (l->Name == link.name) {
            link.LinkTo(l);
            return;
        }
    }
}

// ---- editing commands ----

void TIVRFlow::signalModified()
{
    if (!Modified && OnModify) OnModify(true);
}

void TIVRFlow::RefreshCaptions()
{
    for (FlowNode* n = tree_.first(); n; n = n->nextInTree())
        if (n->statement()) tree_.setText(n, n->statement()->GetNodeText());
}

void TIVRFlow::DeleteStatement()
{
    FlowNode* node = tree_.selected();
    if (node && node->statement() && node->statement()->hasFlag(tfMovable)) {
        if (PressedNode && PressedNode->isInside(node)) PressedNode = nullptr;
        tree_.remove(node);
        if (CaptionsStale) {
            CaptionsStale = false;
            RefreshCaptions();
        }
    }
    signalModified();
}

bool TIVRFlow::canHoldBreakPoint(const TIVRBase& s)
{
    // The runner never pauses on an If branch or a Switch arm, so a mark there would do nothing.
    return !s.hasFlag(tfBeginRoot | tfDeclaration | tfIfBranch | tfCaseArm);
}

void TIVRFlow::ToggleBreakPoint()
{
    FlowNode* node = tree_.selected();
    TIVRBase* s = node ? node->statement() : nullptr;
    if (s && canHoldBreakPoint(*s) && s->enabled()) {
        s->setBreakPoint(!s->breakPoint());
        tree_.setText(node, s->GetNodeText());
    }
    signalModified();
}

void TIVRFlow::ToggleEnabled()
{
    FlowNode* node = tree_.selected();
    TIVRBase* s = node ? node->statement() : nullptr;
    if (s && !s->hasFlag(tfBeginRoot | tfDeclaration)) {
        s->setEnabled(!s->enabled());
        if (s->enabled()) s->setBreakPoint(false);
        tree_.setText(node, s->GetNodeText());
    }
    signalModified();
}

void TIVRFlow::ClearAllBreakPoints()
{
    for (FlowNode* n = tree_.first(); n; n = n->nextInTree()) {
        TIVRBase* s = n->statement();
        if (s && s->breakPoint()) {
            s->setBreakPoint(false);
            tree_.setText(n, s->GetNodeText());
        }
    }
    signalModified();
}

void TIVRFlow::EnableAll()
{
    for (FlowNode* n = tree_.first(); n; n = n->nextInTree()) {
        TIVRBase* s = n->statement();
        if (s && !s->enabled()) {
            s->setEnabled(true);
            tree_.setText(n, s->GetNodeText());
        }
    }
    signalModified();
}

void TIVRFlow::TreeDblClick()
{
    FlowNode* node = tree_.selected();
    if (!node || !node->statement() || node != PressedNode) return;
    TIVRBase* s = node->statement();
    if (!s->Edit()) return;
    signalModified();
    tree_.setText(node, s->GetNodeText());
    int kind;
    if (s->hasFlag(tfVariable))
        kind = 0;
    else if (s->hasFlag(tfDataBase))
        kind = 1;
    else if (s->hasFlag(tfLabel))
        kind = 2;
    else
        return;
    for (FlowNode* n = tree_.first(); n; n = n->nextInTree())
        if (n->statement() && n->statement()->WhetherUse(kind, s)) tree_.setText(n, n->statement()->GetNodeText());
}

void TIVRFlow::TreeExpanded(FlowNode* node)
{
    if (node && node->image() == 0) tree_.setImages(node, 1, 1);
}

void TIVRFlow::TreeCollapsed(FlowNode* node)
{
    if (node && node->image() == 1) tree_.setImages(node, 0, 0);
}

// ---- services ----

bool TIVRFlow::NameExists(const QString& name, int kind, const TIVRBase* except) const
{
    switch (kind) {
    case 0:
        for (IVRVariant* v = FirstVariant; v; v = v->nextVariant)
            if (v != except && v->Name == name) return true;
        return false;
    case 1:
        for (IVRDataBase* d = FirstDataBase; d; d = d->nextDataBase)
            if (d != except && d->Name == name) return true;
        return false;
    case 2:
        for (IVRLabel* l = FirstLabel; l; l = l->nextLabel)
            if (l != except && l->Name == name) return true;
        return false;
    default: return false;
    }
}

Value TIVRFlow::TextToValue(const QString& text, QString* error)
{
    if (error) error->clear();
    const QString quoteHint = txt::QuoteHint;
    // Blanks and control characters go at both ends.
    qsizetype b = 0, e = text.size();
    while (b < e && text[b].unicode() <= 32) ++b;
    while (e > b && text[e - 1].unicode() <= 32) --e;
    const QString t = text.mid(b, e - b);
    if (t.isEmpty()) return Value();
    const QChar c = t[0];
    if (c == QLatin1Char('-') || c == QLatin1Char('+') || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))) {
        QString message;
        if (!t.contains(QLatin1Char('.'))) {
            int32_t n = 0;
            if (values::textToInt32(t, &n, &message)) return Value(n);
        } else {
            double d = 0;
            if (values::textToDouble(t, &d, &message)) return Value(d);
        }
        if (error) *error = txt::NumberFormatError + QStringLiteral("\r\n") + message + QStringLiteral("\r\n") + quoteHint;
        return Value();
    }
    if (t.startsWith(QLatin1Char('"')) && t.endsWith(QLatin1Char('"')))
        return Value(t.mid(1, std::max<qsizetype>(0, t.size() - 2)));
    if (error) *error = quoteHint;
    return Value();
}

QString TIVRFlow::CaptionToName(const QString& caption)
{
    const qsizetype p = caption.indexOf(QStringLiteral("(&"));
    if (p >= 0) return caption.left(p);
    QString s = caption;
    const qsizetype amp = s.indexOf(QLatin1Char('&'));
    if (amp >= 0) s.remove(amp, 1);
    const qsizetype colon = s.indexOf(QLatin1Char(':'));
    return colon >= 0 ? s.left(colon) : s;
}

QString TIVRFlow::ResultName(unsigned code)
{
    if (code < unsigned(txt::ResultNames.size())) return txt::ResultNames[int(code)];
    return txt::ResultNames.value(1);
}

QString TIVRFlow::ResultMessage(int code)
{
    if (code < 0 || code >= txt::ResultMessages.size()) return {};
    if (code == 7)
        return txt::ResultMessages[7] + QStringLiteral("\r\n\r\n") + txt::NotTTSHint + QStringLiteral("\r\n");
    return txt::ResultMessages[code];
}

QString TIVRFlow::GetFullFileName(const QString& name) const
{
    // Absolute here: a leading "/", or the Windows forms "x:..." and "\\server"; files written
    // elsewhere keep their meaning. Separators are turned into "/" only when a file is opened.
    if (name.size() < 2 || name.contains(QLatin1Char(':')) || name.startsWith(QStringLiteral("\\\\")) ||
        name.startsWith(QLatin1Char('/')) || FileName.isEmpty())
        return name;
    const qsizetype slash = std::max({FileName.lastIndexOf(QLatin1Char('\\')), FileName.lastIndexOf(QLatin1Char('/')),
                                      FileName.lastIndexOf(QLatin1Char(':'))});
    QString folder = FileName.left(slash + 1);
    if (name.startsWith(QLatin1Char('\\')) && !folder.isEmpty()) folder.chop(1);
    return folder + name;
}
