#include "engine/statements/operation.h"

#include "engine/flow.h"
#include "engine/texts.h"

// ---- TIVROperateVariant ----

std::vector<const TIVRVariantLink*> TIVROperateVariant::extraLinks() const
{
    const auto links = const_cast<TIVROperateVariant*>(this)->extraLinks();
    return {links.begin(), links.end()};
}

bool TIVROperateVariant::WhetherUse(int kind, const TIVRBase* declaration) const
{
    if (TIVRUseVariant::WhetherUse(kind, declaration)) return true;
    if (kind != 0 || !declaration) return false;
    for (const TIVRVariantLink* l : extraLinks())
        if (l->variable() == declaration) return true;
    return false;
}

void TIVROperateVariant::BuildLink()
{
    TIVRUseVariant::BuildLink();
    for (TIVRVariantLink* l : extraLinks()) flow()->LinkVariant(*l);
}

// ---- TIVROperateDataBase ----

std::vector<const TIVRVariantLink*> TIVROperateDataBase::extraLinks() const
{
    const auto links = const_cast<TIVROperateDataBase*>(this)->extraLinks();
    return {links.begin(), links.end()};
}

bool TIVROperateDataBase::WhetherUse(int kind, const TIVRBase* declaration) const
{
    if (TIVRUseDataBase::WhetherUse(kind, declaration)) return true;
    if (kind != 0 || !declaration) return false;
    if (variantLink.variable() == declaration) return true;
    for (const TIVRVariantLink* l : extraLinks())
        if (l->variable() == declaration) return true;
    return false;
}

void TIVROperateDataBase::BuildLink()
{
    TIVRUseDataBase::BuildLink();
    flow()->LinkVariant(variantLink);
    for (TIVRVariantLink* l : extraLinks()) flow()->LinkVariant(*l);
}

// ---- the DoIt contract ----

namespace operation {

int fail(QString& resultText, QString& errorText, const QString& error)
{
    resultText = TIVRFlow::ResultName(rcFailed);
    errorText = error;
    return rcFailed;
}

QString failedMessage()
{
    return TIVRFlow::ResultMessage(rcFailed);
}

int notEnoughParam(QString& resultText, QString& errorText)
{
    return fail(resultText, errorText, TIVRFlow::ResultMessage(8));
}

int paramError(QString& resultText, QString& errorText)
{
    return fail(resultText, errorText, TIVRFlow::ResultMessage(9));
}

int noChannel(QString& resultText, QString& errorText)
{
    return fail(resultText, errorText, txt::NoChannel);
}

int finish(int status, QString& resultText, QString& errorText)
{
    if (status < 0 || status > 9) return fail(resultText, errorText, txt::UnknownStatus + QString::number(status));
    const int code = status > rcEndPass ? int(rcFailed) : status;
    resultText = TIVRFlow::ResultName(unsigned(code));
    errorText = TIVRFlow::ResultMessage(status);
    return code;
}

int finish(IIVRAddress& channel, int status, QString& resultText, QString& errorText)
{
    const int code = finish(status, resultText, errorText);
    if (code == rcFailed || code == rcCallFailed) {
        const QString reason = channel.LastErrorText();
        if (!reason.isEmpty()) errorText = errorText.isEmpty() ? reason : errorText + txt::Colon + reason;
    }
    return code;
}

bool operandText(const TIVRVariantLink& link, bool required, QString& text, QString& resultText,
                 QString& errorText, int* code)
{
    QString error;
    if (!link.GetLinkValue().toText(&text, &error)) {
        *code = fail(resultText, errorText, error);
        return false;
    }
    if (required && text.isEmpty()) {
        *code = notEnoughParam(resultText, errorText);
        return false;
    }
    return true;
}

}  // namespace operation

// ---- captions ----

namespace caption {

QString valueOrNull(const TIVRVariantLink& link)
{
    const QString text = link.GetValueText();
    return text.isEmpty() ? txt::Null : text;
}

QString variableOrNone(const TIVRVariantLink& link)
{
    return link.variable() ? link.variable()->Name : txt::NoVariant;
}

QString nameAt(const QStringList& names, int index, const QString& fallback)
{
    return index >= 0 && index < names.size() ? names[index] : fallback;
}

}  // namespace caption

// ---- property helpers ----

namespace props {

int32_t intOf(const Value& v)
{
    if (v.kind() == Value::Kind::Integer) return v.asInt();
    int32_t i = 0;
    v.toInt32(&i);
    return i;
}

PropertyDesc mainLink(const char* name)
{
    return TIVRUseVariant::linkProperty<TIVRUseVariant, &TIVRUseVariant::link>(name);
}

}  // namespace props
