#include "engine/statements/variables.h"

#include "engine/datetime.h"
#include "engine/statements/flowcontrol.h"
#include "engine/texts.h"
#include "platform/codepage.h"

using caption::valueOrNull;
using caption::variableOrNone;

namespace {

bool isTrimmed(QChar c) { return c.unicode() <= 32; }

QString trimLeft(const QString& t)
{
    qsizetype b = 0;
    while (b < t.size() && isTrimmed(t[b])) ++b;
    return t.mid(b);
}

QString trimRight(const QString& t)
{
    qsizetype e = t.size();
    while (e > 0 && isTrimmed(t[e - 1])) --e;
    return t.left(e);
}

// A variable's value as the statements see it: a null from a database field reads as empty.
Value currentValue(const IVRVariant& v)
{
    Value value = v.value();
    return value.isNull() ? Value() : value;
}

// Two 32-bit integers under an arithmetic or ordering operator, the loop counter's case, worked
// out where they are and stored in `target`: the general rules give the same. False, with
// nothing stored, for any other case and for a sum, difference or product beyond 32 bits.
bool integerCase(TVariantOperateType op, const Value* d, const Value* s, IVRVariant* target)
{
    if (!d || !s || d->kind() != Value::Kind::Integer || s->kind() != Value::Kind::Integer) return false;
    const int32_t a = d->asInt(), b = s->asInt();
    ValueOp arithmetic = ValueOp::Add;
    switch (op) {
    case optAdd: break;
    case optSubtract: arithmetic = ValueOp::Subtract; break;
    case optMultiply: arithmetic = ValueOp::Multiply; break;
    case optLess: target->setBoolean(a < b); return true;
    case optLessEqual: target->setBoolean(a <= b); return true;
    case optEquality: target->setBoolean(a == b); return true;
    case optInequality: target->setBoolean(a != b); return true;
    case optGreatEqual: target->setBoolean(a >= b); return true;
    case optGreater: target->setBoolean(a > b); return true;
    default: return false;
    }
    int32_t r = 0;
    if (!values::integerArithmetic(arithmetic, a, b, &r)) return false;
    target->setInteger(r);
    return true;
}

}  // namespace

// ---- IVRDateTime ----

QString IVRDateTime::GetDescription() const
{
    QString d = txt::Colon + variableOrNone(link) + QLatin1Char(' ') +
                (System ? txt::DateTimeSystem : txt::DateTimeFromVariant);
    if (Operate != dtNull)
        d += QLatin1Char(' ') + caption::nameAt(txt::DateOperateNames, Operate, txt::NoOperate);
    else if (!Format.isEmpty())
        d += QStringLiteral(" '") + Format + QLatin1Char('\'');
    else
        d += QLatin1Char(' ') + txt::NoOperate;
    return d;
}

int IVRDateTime::DoIt(ExecContext&, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        IVRVariant* variable = link.variable();
        if (!variable) return operation::notEnoughParam(resultText, errorText);
        QString error;
        double x = 0;
        if (System)
            x = datetime::now();
        else if (!datetime::fromValue(currentValue(*variable), &x, &error))
            return operation::fail(resultText, errorText, error);

        if (Operate == dtNull) {
            if (Format.isEmpty()) return int(rcSuccess);
            QString text;
            if (!datetime::format(Format, x, &text, &error)) return operation::fail(resultText, errorText, error);
            variable->setValue(Value(text));
            return int(rcSuccess);
        }
        if (Operate > dtSeconds) return operation::notEnoughParam(resultText, errorText);
        Value part;
        if (!datetime::part(x, static_cast<datetime::Part>(Operate), &part, &error))
            return operation::fail(resultText, errorText, error);
        variable->setValue(part);
        return int(rcSuccess);
    });
}

// ---- IVROperator ----

QString IVROperator::GetDescription() const
{
    QString d = txt::Colon + variableOrNone(link) + QStringLiteral(" = ");
    if (Operate == optNot) d += caption::nameAt(txt::OperatorNames, optNot) + QLatin1Char(' ');
    d += valueOrNull(Dest);
    if (Operate >= optAdd && Operate <= optOr)
        d += QLatin1Char(' ') + caption::nameAt(txt::OperatorNames, Operate) + QLatin1Char(' ') + valueOrNull(Source);
    else if (Operate == optNull)
        d += QLatin1Char(' ') + txt::NoOperate + QLatin1Char(' ') + valueOrNull(Source);
    return d;
}

int IVROperator::DoIt(ExecContext&, QString& resultText, QString& errorText)
{
    if (IVRVariant* variable = link.variable();
        variable && integerCase(Operate, Dest.PeekLinkValue(), Source.PeekLinkValue(), variable))
        return int(rcSuccess);
    return operation::guarded(resultText, errorText, [&] {
        IVRVariant* variable = link.variable();
        if (!variable || Operate >= optNull) return operation::notEnoughParam(resultText, errorText);
        const Value d = Dest.GetLinkValue();
        QString error;
        Value result;
        bool ok = true;
        auto arithmetic = [&](ValueOp op) { ok = values::binary(op, d, Source.GetLinkValue(), &result, &error); };
        auto comparison = [&](ValueCompare cmp) {
            bool b = false;
            ok = values::compare(cmp, d, Source.GetLinkValue(), &b, &error);
            result = Value(b);
        };
        auto equality = [&](bool negate) {
            bool b = false;
            ok = conditionEquals(d, Source.GetLinkValue(), &b, &error);
            result = Value(b != negate);
        };
        switch (Operate) {
        case optAssign: result = d; break;
        case optAdd: arithmetic(ValueOp::Add); break;
        case optSubtract: arithmetic(ValueOp::Subtract); break;
        case optMultiply: arithmetic(ValueOp::Multiply); break;
        case optRealDivide: arithmetic(ValueOp::RealDivide); break;
        case optIntDivide: arithmetic(ValueOp::IntDivide); break;
        case optModulus: arithmetic(ValueOp::Modulus); break;
        case optAnd: arithmetic(ValueOp::And); break;
        case optOr: arithmetic(ValueOp::Or); break;
        case optLess: comparison(ValueCompare::Less); break;
        case optLessEqual: comparison(ValueCompare::LessEqual); break;
        case optEquality:
            // Two empty operands are equal; any other empty operand does not compare.
            if (d.isEmpty() && Source.GetLinkValue().isEmpty())
                result = Value(true);
            else
                equality(false);
            break;
        case optInequality: equality(true); break;
        case optGreatEqual: comparison(ValueCompare::GreaterEqual); break;
        case optGreater: comparison(ValueCompare::Greater); break;
        case optNot: ok = values::logicalNot(d, &result, &error); break;
        case optNull: break;
        }
        if (!ok) return operation::fail(resultText, errorText, error);
        variable->setValue(std::move(result));
        return int(rcSuccess);
    });
}

// ---- IVRString ----

QString IVRString::GetDescription() const
{
    QString d = txt::Colon + variableOrNone(link) + QLatin1Char(' ') +
                caption::nameAt(txt::StringOperateNames, Operate, txt::NoOperate) + QLatin1Char(' ');
    if (Operate == strSubString)
        d += QLatin1Char(' ') + QString::number(SubIndex) + QLatin1Char(' ') + QString::number(SubCount);
    return d;
}

void IVRString::BuildLink()
{
    TIVROperateVariant::BuildLink();
    if (Operate == strSubString) {
        if (SubIndex == 0) SubIndex = 1;
        if (SubCount == 0) SubCount = 1;
    } else {
        SubIndex = 0;
        SubCount = 0;
    }
}

int IVRString::DoIt(ExecContext&, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        IVRVariant* variable = link.variable();
        if (!variable) return operation::notEnoughParam(resultText, errorText);
        if (Operate >= strNil) return int(rcSuccess);
        QString error;
        QString t;
        if (!currentValue(*variable).toText(&t, &error)) return operation::fail(resultText, errorText, error);

        Value result;
        switch (Operate) {
        case strGetLength: result = Value(int32_t(CodePage::byteLength(t))); break;
        case strTrimLeft: result = Value(trimLeft(t)); break;
        case strTrimRight: result = Value(trimRight(t)); break;
        case strTrim: result = Value(trimLeft(trimRight(t))); break;
        case strSubString: result = Value(CodePage::byteMid(t, SubIndex, SubCount)); break;
        case strToNumber:
            if (t.contains(QLatin1Char('.'))) {
                double v = 0;
                if (!values::textToDouble(t, &v, &error)) return operation::fail(resultText, errorText, error);
                result = Value(v);
            } else {
                int32_t v = 0;
                if (!values::textToInt32(t, &v, &error)) return operation::fail(resultText, errorText, error);
                result = Value(v);
            }
            break;
        case strToString: result = Value(t); break;
        case strNil: break;
        }
        variable->setValue(result);
        return int(rcSuccess);
    });
}
