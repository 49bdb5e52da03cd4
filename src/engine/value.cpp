#include "engine/value.h"

#include "engine/datetime.h"

#include <QStringEncoder>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

bool fail(QString* error, const char* message)
{
    if (error)
        *error = QString::fromLatin1(message);
    return false;
}

bool failWith(QString* error, const char* pattern, const QString& text)
{
    if (error)
        *error = QString::fromLatin1(pattern).replace(QLatin1String("%s"), text);
    return false;
}

constexpr int64_t Int32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t Int32Max = std::numeric_limits<int32_t>::max();

bool fitsInt32(int64_t v) { return v >= Int32Min && v <= Int32Max; }

// Rounds to the nearest integer, halves to even, whatever the floating-point rounding mode is.
double roundHalfEven(double v)
{
    double r = std::floor(v);
    double diff = v - r;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0))
        r += 1.0;
    return r;
}

bool doubleToInt32(double v, int32_t* out)
{
    if (!std::isfinite(v))
        return false;
    double r = roundHalfEven(v);
    if (r < -2147483648.0 || r > 2147483647.0)
        return false;
    *out = static_cast<int32_t>(r);
    return true;
}

bool doubleToScaled(double v, int64_t* out)
{
    if (!std::isfinite(v))
        return false;
    double r = roundHalfEven(v * 10000.0);
    // 2^63 is exact as a double; the int64 range is [-2^63, 2^63).
    if (r < -9223372036854775808.0 || r >= 9223372036854775808.0)
        return false;
    *out = static_cast<int64_t>(r);
    return true;
}

// a / b rounded to the nearest, halves to even (b != 0).
__int128 divRoundHalfEven(__int128 a, __int128 b)
{
    __int128 q = a / b;
    __int128 r = a % b;
    if (r == 0)
        return q;
    __int128 absR = r < 0 ? -r : r;
    __int128 absB = b < 0 ? -b : b;
    bool negative = (a < 0) != (b < 0);
    if (2 * absR > absB || (2 * absR == absB && (q % 2) != 0))
        q += negative ? -1 : 1;
    return q;
}

bool fitsInt64(__int128 v)
{
    return v >= std::numeric_limits<int64_t>::min() && v <= std::numeric_limits<int64_t>::max();
}

bool isBlank(QChar c) { return c == u' '; }

QString trimBlanks(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

// Byte-wise comparison of the texts in the GBK code page: case-sensitive, a proper prefix first.
int compareTexts(const QString& a, const QString& b)
{
    auto ascii = [](const QString& s) {
        for (QChar c : s)
            if (c.unicode() >= 0x80)
                return false;
        return true;
    };
    if (!(ascii(a) && ascii(b))) {
        QStringEncoder encoder("GBK");
        QByteArray ba = encoder.encode(a);
        QByteArray bb = encoder.encode(b);
        int c = std::memcmp(ba.constData(), bb.constData(), size_t(std::min(ba.size(), bb.size())));
        if (c != 0)
            return c < 0 ? -1 : 1;
        if (ba.size() != bb.size())
            return ba.size() < bb.size() ? -1 : 1;
        // Characters outside the code page encode alike; keep different texts apart.
    }
    int c = QString::compare(a, b, Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// The classes in which two-operand operations are done.
enum class Cls { None, Int, Float, Cur, Str, Bool, Date };

Cls classOf(const Value& v)
{
    switch (v.kind()) {
    case Value::Kind::Integer:
    case Value::Kind::Int64: return Cls::Int;
    case Value::Kind::Float: return Cls::Float;
    case Value::Kind::Currency: return Cls::Cur;
    case Value::Kind::String:
    case Value::Kind::WideString: return Cls::Str;
    case Value::Kind::Boolean: return Cls::Bool;
    case Value::Kind::DateTime: return Cls::Date;
    case Value::Kind::Empty:
    case Value::Kind::Null: break;
    }
    return Cls::None;
}

Cls pairClass(Cls d, Cls s)
{
    if (d == Cls::None || s == Cls::None)
        return Cls::None;
    // Row = D, column = S, in the order integer, float, currency, string, Boolean, date-time.
    static constexpr Cls table[6][6] = {
        {Cls::Int, Cls::Float, Cls::Cur, Cls::Float, Cls::Int, Cls::Date},
        {Cls::Float, Cls::Float, Cls::Cur, Cls::Float, Cls::Float, Cls::Date},
        {Cls::Cur, Cls::Cur, Cls::Cur, Cls::Cur, Cls::Cur, Cls::Date},
        {Cls::Float, Cls::Float, Cls::Cur, Cls::Str, Cls::Bool, Cls::Date},
        {Cls::Int, Cls::Float, Cls::Cur, Cls::Bool, Cls::Bool, Cls::Date},
        {Cls::Date, Cls::Date, Cls::Date, Cls::Date, Cls::Date, Cls::Date},
    };
    auto index = [](Cls c) { return int(c) - int(Cls::Int); };
    return table[index(d)][index(s)];
}

// An operand of the integer class: integers exactly (64-bit values included), Boolean true as -1,
// anything else through the 32-bit conversion.
bool intOperand(const Value& v, int64_t* out, QString* error)
{
    switch (v.kind()) {
    case Value::Kind::Integer: *out = v.asInt(); return true;
    case Value::Kind::Int64: *out = v.asInt64(); return true;
    case Value::Kind::Boolean: *out = v.asBool() ? -1 : 0; return true;
    default: break;
    }
    int32_t i = 0;
    if (!v.toInt32(&i, error))
        return false;
    *out = i;
    return true;
}

bool int32Operand(const Value& v, int32_t* out, QString* error)
{
    int64_t i = 0;
    if (!intOperand(v, &i, error))
        return false;
    if (!fitsInt32(i))
        return fail(error, values::InvalidConversion);
    *out = int32_t(i);
    return true;
}

// A date-time operand as a number of days: a text is a number or else a date and time.
bool dateOperand(const Value& v, double* out, QString* error)
{
    if (v.kind() == Value::Kind::DateTime) {
        *out = v.asDateTime();
        return true;
    }
    if (v.isString()) {
        QString text = v.asString();
        if (values::textToDouble(text, out))
            return true;
        if (datetime::parseDateTime(text, out))
            return true;
        return fail(error, values::InvalidConversion);
    }
    return v.toDouble(out, error);
}

bool floatOperand(const Value& v, double* out, QString* error) { return v.toDouble(out, error); }

bool checkFloat(double a, double b, double r, QString* error)
{
    if (std::isnan(r))
        return fail(error, values::FloatInvalid);
    if (std::isinf(r) && std::isfinite(a) && std::isfinite(b))
        return fail(error, values::FloatOverflow);
    return true;
}

bool floatArith(ValueOp op, double a, double b, double* r, QString* error)
{
    switch (op) {
    case ValueOp::Add: *r = a + b; break;
    case ValueOp::Subtract: *r = a - b; break;
    case ValueOp::Multiply: *r = a * b; break;
    case ValueOp::RealDivide:
        if (b == 0.0)
            return fail(error, (a == 0.0 || std::isnan(a)) ? values::FloatInvalid : values::FloatDivisionByZero);
        *r = a / b;
        break;
    default: return fail(error, values::InvalidOperation);
    }
    return checkFloat(a, b, *r, error);
}

bool intOp(ValueOp op, const Value& d, const Value& s, Value* result, QString* error);

bool floatOp(ValueOp op, const Value& d, const Value& s, Value* result, QString* error)
{
    switch (op) {
    case ValueOp::Add:
    case ValueOp::Subtract:
    case ValueOp::Multiply:
    case ValueOp::RealDivide: {
        double a = 0, b = 0, r = 0;
        if (!d.toDouble(&a, error) || !s.toDouble(&b, error) || !floatArith(op, a, b, &r, error))
            return false;
        *result = Value(r);
        return true;
    }
    default: return intOp(op, d, s, result, error);
    }
}

bool intOp(ValueOp op, const Value& d, const Value& s, Value* result, QString* error)
{
    switch (op) {
    case ValueOp::Add:
    case ValueOp::Subtract:
    case ValueOp::Multiply: {
        int64_t a = 0, b = 0;
        if (!intOperand(d, &a, error) || !intOperand(s, &b, error))
            return false;
        __int128 r = op == ValueOp::Add ? __int128(a) + b : op == ValueOp::Subtract ? __int128(a) - b : __int128(a) * b;
        // The exact result when it fits in 32 bits; on overflow the operation is done in floating point.
        if (r >= Int32Min && r <= Int32Max) {
            *result = Value(int32_t(r));
            return true;
        }
        return floatOp(op, d, s, result, error);
    }
    case ValueOp::RealDivide: return floatOp(op, d, s, result, error);
    case ValueOp::IntDivide:
    case ValueOp::Modulus:
    case ValueOp::And:
    case ValueOp::Or: {
        int32_t a = 0, b = 0;
        if (!int32Operand(d, &a, error) || !int32Operand(s, &b, error))
            return false;
        int32_t r = 0;
        if (op == ValueOp::And) {
            r = a & b;
        } else if (op == ValueOp::Or) {
            r = a | b;
        } else {
            if (b == 0)
                return fail(error, values::DivisionByZero);
            if (a == std::numeric_limits<int32_t>::min() && b == -1)
                return fail(error, values::IntegerOverflow);
            r = op == ValueOp::IntDivide ? a / b : a % b;
        }
        *result = Value(r);
        return true;
    }
    }
    return fail(error, values::InvalidOperation);
}

bool curOp(ValueOp op, const Value& d, const Value& s, Value* result, QString* error)
{
    switch (op) {
    case ValueOp::Add:
    case ValueOp::Subtract:
    case ValueOp::Multiply:
    case ValueOp::RealDivide: break;
    default: return intOp(op, d, s, result, error);
    }
    int64_t a = 0, b = 0;
    if (!d.toCurrencyScaled(&a, error) || !s.toCurrencyScaled(&b, error))
        return false;
    __int128 r = 0;
    switch (op) {
    case ValueOp::Add: r = __int128(a) + b; break;
    case ValueOp::Subtract: r = __int128(a) - b; break;
    case ValueOp::Multiply: r = divRoundHalfEven(__int128(a) * b, 10000); break;
    default:
        if (b == 0)
            return fail(error, a == 0 ? values::FloatInvalid : values::FloatDivisionByZero);
        if (d.kind() == Value::Kind::Currency && s.kind() == Value::Kind::Currency) {
            *result = Value(double(a) / double(b));
            return true;
        }
        r = divRoundHalfEven(__int128(a) * 10000, b);
        break;
    }
    if (!fitsInt64(r))
        return fail(error, values::FloatOverflow);
    *result = Value::currency(int64_t(r));
    return true;
}

bool strOp(ValueOp op, const Value& d, const Value& s, Value* result, QString* error)
{
    switch (op) {
    case ValueOp::Add: *result = Value(d.asString() + s.asString()); return true;
    case ValueOp::Subtract:
    case ValueOp::Multiply:
    case ValueOp::RealDivide: return floatOp(op, d, s, result, error);
    default: return intOp(op, d, s, result, error);
    }
}

bool boolOp(ValueOp op, const Value& d, const Value& s, Value* result, QString* error)
{
    switch (op) {
    case ValueOp::And:
    case ValueOp::Or: {
        bool a = false, b = false;
        if (!d.toBool(&a, error) || !s.toBool(&b, error))
            return false;
        *result = Value(op == ValueOp::And ? (a && b) : (a || b));
        return true;
    }
    case ValueOp::IntDivide:
    case ValueOp::Modulus: return intOp(op, d, s, result, error);
    default: return floatOp(op, d, s, result, error);
    }
}

bool dateOp(ValueOp op, const Value& d, const Value& s, Value* result, QString* error)
{
    switch (op) {
    case ValueOp::Add:
    case ValueOp::Subtract: {
        double a = 0, b = 0, r = 0;
        if (!dateOperand(d, &a, error) || !dateOperand(s, &b, error) || !floatArith(op, a, b, &r, error))
            return false;
        bool bothDates = d.kind() == Value::Kind::DateTime && s.kind() == Value::Kind::DateTime;
        *result = (op == ValueOp::Subtract && bothDates) ? Value(r) : Value::dateTime(r);
        return true;
    }
    case ValueOp::Multiply:
    case ValueOp::RealDivide: return floatOp(op, d, s, result, error);
    default: return intOp(op, d, s, result, error);
    }
}

template <typename T>
int threeWay(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

// ---- Value ----

bool Value::isNumeric() const
{
    switch (kind()) {
    case Kind::Integer:
    case Kind::Int64:
    case Kind::Float:
    case Kind::Currency: return true;
    default: return false;
    }
}

QString Value::asString() const
{
    if (const auto* blob = std::get_if<Blob>(&data_))
        return blob->text;
    if (kind() == Kind::String)
        return std::get<QString>(data_);
    if (kind() == Kind::WideString)
        return std::get<Wide>(data_).text;
    return QString();
}

bool Value::toText(QString* out, QString* error) const
{
    switch (kind()) {
    case Kind::Empty: *out = QString(); return true;
    case Kind::Null: return fail(error, values::InvalidConversion);
    case Kind::Integer: *out = QString::number(asInt()); return true;
    case Kind::Int64: *out = QString::number(asInt64()); return true;
    case Kind::Float: *out = formatFloatGeneral(asFloat()); return true;
    case Kind::Currency: *out = values::currencyText(asCurrencyScaled()); return true;
    case Kind::String:
    case Kind::WideString: *out = asString(); return true;
    case Kind::Boolean: *out = asBool() ? QStringLiteral("True") : QStringLiteral("False"); return true;
    case Kind::DateTime: {
        QString text;
        if (!datetime::format(QString(), asDateTime(), &text, error))
            return false;
        *out = text;
        return true;
    }
    }
    return fail(error, values::InvalidConversion);
}

QString Value::displayText() const
{
    QString text;
    if (toText(&text))
        return text;
    if (kind() == Kind::DateTime)
        return formatFloatGeneral(asDateTime());
    return QString();
}

bool Value::toDouble(double* out, QString* error) const
{
    switch (kind()) {
    case Kind::Empty: *out = 0; return true;
    case Kind::Null: break;
    case Kind::Integer: *out = asInt(); return true;
    case Kind::Int64: *out = double(asInt64()); return true;
    case Kind::Float: *out = asFloat(); return true;
    case Kind::Currency: *out = double(asCurrencyScaled()) / 10000.0; return true;
    case Kind::String:
    case Kind::WideString: {
        double d = 0;
        if (!values::textToDouble(asString(), &d))
            break;
        *out = d;
        return true;
    }
    case Kind::Boolean: *out = asBool() ? -1.0 : 0.0; return true;
    case Kind::DateTime: *out = asDateTime(); return true;
    }
    return fail(error, values::InvalidConversion);
}

bool Value::toInt32(int32_t* out, QString* error) const
{
    int32_t r = 0;
    bool ok = false;
    switch (kind()) {
    case Kind::Empty: r = 0; ok = true; break;
    case Kind::Null: break;
    case Kind::Integer: r = asInt(); ok = true; break;
    case Kind::Int64:
        ok = fitsInt32(asInt64());
        r = ok ? int32_t(asInt64()) : 0;
        break;
    case Kind::Float: ok = doubleToInt32(asFloat(), &r); break;
    case Kind::DateTime: ok = doubleToInt32(asDateTime(), &r); break;
    case Kind::Currency: {
        __int128 q = divRoundHalfEven(asCurrencyScaled(), 10000);
        ok = q >= Int32Min && q <= Int32Max;
        r = ok ? int32_t(q) : 0;
        break;
    }
    case Kind::Boolean: r = asBool() ? -1 : 0; ok = true; break;
    case Kind::String:
    case Kind::WideString: {
        QString text = trimBlanks(asString());
        ok = values::textToInt32(text, &r);
        double d = 0;
        if (!ok && values::textToDouble(text, &d))
            ok = doubleToInt32(d, &r);
        break;
    }
    }
    if (!ok)
        return fail(error, values::InvalidConversion);
    *out = r;
    return true;
}

bool Value::toBool(bool* out, QString* error) const
{
    switch (kind()) {
    case Kind::Empty: *out = false; return true;
    case Kind::Null: break;
    case Kind::Integer: *out = asInt() != 0; return true;
    case Kind::Int64: *out = asInt64() != 0; return true;
    case Kind::Float: *out = asFloat() != 0.0; return true;
    case Kind::Currency: *out = asCurrencyScaled() != 0; return true;
    case Kind::Boolean: *out = asBool(); return true;
    case Kind::DateTime: *out = asDateTime() != 0.0; return true;
    case Kind::String:
    case Kind::WideString: {
        QString text = trimBlanks(asString());
        if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
            *out = true;
            return true;
        }
        if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
            *out = false;
            return true;
        }
        double d = 0;
        if (!values::textToDouble(text, &d))
            break;
        *out = d != 0.0;
        return true;
    }
    }
    return fail(error, values::InvalidConversion);
}

bool Value::toCurrencyScaled(int64_t* out, QString* error) const
{
    int64_t r = 0;
    bool ok = false;
    switch (kind()) {
    case Kind::Empty: ok = true; break;
    case Kind::Null: break;
    case Kind::Integer: r = int64_t(asInt()) * 10000; ok = true; break;
    case Kind::Int64: ok = !__builtin_mul_overflow(asInt64(), int64_t(10000), &r); break;
    case Kind::Float: ok = doubleToScaled(asFloat(), &r); break;
    case Kind::DateTime: ok = doubleToScaled(asDateTime(), &r); break;
    case Kind::Currency: r = asCurrencyScaled(); ok = true; break;
    case Kind::Boolean: r = asBool() ? -10000 : 0; ok = true; break;
    case Kind::String:
    case Kind::WideString: {
        double d = 0;
        ok = values::textToDouble(asString(), &d) && doubleToScaled(d, &r);
        break;
    }
    }
    if (!ok)
        return fail(error, values::InvalidConversion);
    *out = r;
    return true;
}

// ---- text forms of numbers ----

QString formatFloatGeneral(double v, int precision)
{
    if (std::isnan(v))
        return QStringLiteral("NAN");
    if (std::isinf(v))
        return v < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (v == 0.0)
        return QStringLiteral("0");
    precision = std::clamp(precision, 1, 18);

    // Eighteen significant digits first, then rounded half away from zero to the precision,
    // as the classic decimal conversion does (so 100000000000000.5 gives ...001).
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17e", std::fabs(v));
    QByteArray digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits.append(*p);
    int exp10 = std::atoi(p + 1);
    if (precision < digits.size()) {
        bool up = digits[precision] >= '5';
        digits.truncate(precision);
        for (int i = precision - 1; up && i >= 0; --i) {
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                digits[i] = char(digits[i] + 1);
                up = false;
            }
        }
        if (up) {
            digits.prepend('1');
            digits.truncate(precision);
            ++exp10;
        }
    }
    while (digits.size() > 1 && digits.endsWith('0'))
        digits.chop(1);

    QByteArray text;
    if (v < 0)
        text.append('-');
    int point = exp10 + 1;  // the value is 0.digits times ten to the power point
    if (point > precision || point < -4) {
        text.append(digits[0]);
        if (digits.size() > 1)
            text.append('.').append(digits.mid(1));
        text.append('E');
        if (exp10 < 0)
            text.append('-');
        text.append(QByteArray::number(std::abs(exp10)));
    } else if (point <= 0) {
        text.append("0.").append(QByteArray(-point, '0')).append(digits);
    } else if (digits.size() <= point) {
        text.append(digits).append(QByteArray(point - digits.size(), '0'));
    } else {
        text.append(digits.left(point)).append('.').append(digits.mid(point));
    }
    return QString::fromLatin1(text);
}

namespace values {

QString currencyText(int64_t scaled)
{
    uint64_t magnitude = scaled < 0 ? uint64_t(0) - uint64_t(scaled) : uint64_t(scaled);
    QString text = QString::number(magnitude / 10000);
    uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        QString f = QString::number(fraction).rightJustified(4, u'0');
        while (f.endsWith(u'0'))
            f.chop(1);
        text += u'.' + f;
    }
    return scaled < 0 ? u'-' + text : text;
}

bool textToInt32(const QString& text, int32_t* out, QString* error)
{
    qsizetype i = 0, n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    if (i == n)
        return failWith(error, NotAnInteger, text);
    int64_t v = 0;
    for (; i < n; ++i) {
        char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return failWith(error, NotAnInteger, text);
        v = v * 10 + (c - u'0');
        if (v > Int32Max + 1)
            return failWith(error, NotAnInteger, text);
    }
    if (negative)
        v = -v;
    if (!fitsInt32(v))
        return failWith(error, NotAnInteger, text);
    *out = int32_t(v);
    return true;
}

bool textToDouble(const QString& text, double* out, QString* error)
{
    qsizetype i = 0, n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    while (n > i && isBlank(text[n - 1]))
        --n;
    std::string ascii;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    auto digit = [&](qsizetype k) { return k < n && text[k] >= u'0' && text[k] <= u'9'; };
    int intDigits = 0, leadingFractionZeros = 0, mantissaDigits = 0;
    bool significant = false;
    for (; digit(i); ++i, ++mantissaDigits) {
        ascii += char(text[i].unicode());
        if (text[i] != u'0')
            significant = true;
        if (significant)
            ++intDigits;
    }
    if (i < n && text[i] == u'.') {
        ascii += '.';
        for (++i; digit(i); ++i, ++mantissaDigits) {
            ascii += char(text[i].unicode());
            if (text[i] != u'0')
                significant = true;
            else if (!significant)
                ++leadingFractionZeros;
        }
    }
    if (mantissaDigits == 0)
        return failWith(error, NotAFloat, text);
    long exponent = 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ascii += 'e';
        ++i;
        bool negExp = false;
        if (i < n && (text[i] == u'-' || text[i] == u'+')) {
            negExp = text[i] == u'-';
            ascii += char(text[i].unicode());
            ++i;
        }
        if (!digit(i))
            return failWith(error, NotAFloat, text);
        for (; digit(i); ++i) {
            ascii += char(text[i].unicode());
            if (exponent < 100000)
                exponent = exponent * 10 + (text[i].unicode() - u'0');
        }
        if (negExp)
            exponent = -exponent;
    }
    if (i != n)
        return failWith(error, NotAFloat, text);

    double v = 0;
    auto [ptr, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), v);
    if (ec == std::errc::result_out_of_range) {
        // The decimal magnitude tells an overflow from an underflow (which reads as zero).
        long magnitude = exponent + (intDigits > 0 ? intDigits : -leadingFractionZeros);
        if (magnitude > 0)
            return failWith(error, NotAFloat, text);
        v = 0;
    } else if (ec != std::errc() || ptr != ascii.data() + ascii.size()) {
        return failWith(error, NotAFloat, text);
    }
    *out = negative ? -v : v;
    return true;
}

bool binary(ValueOp op, const Value& d, const Value& s, Value* result, QString* error)
{
    // The loop counter's case, taken first: two integers whose sum, difference or product fits.
    int32_t integer = 0;
    if (d.kind() == Value::Kind::Integer && s.kind() == Value::Kind::Integer &&
        integerArithmetic(op, d.asInt(), s.asInt(), &integer)) {
        *result = Value(integer);
        return true;
    }
    Value r;
    bool ok = false;
    switch (pairClass(classOf(d), classOf(s))) {
    case Cls::None: return fail(error, InvalidOperation);
    case Cls::Int: ok = intOp(op, d, s, &r, error); break;
    case Cls::Float: ok = floatOp(op, d, s, &r, error); break;
    case Cls::Cur: ok = curOp(op, d, s, &r, error); break;
    case Cls::Str: ok = strOp(op, d, s, &r, error); break;
    case Cls::Bool: ok = boolOp(op, d, s, &r, error); break;
    case Cls::Date: ok = dateOp(op, d, s, &r, error); break;
    }
    if (ok)
        *result = std::move(r);
    return ok;
}

bool compare(ValueCompare cmp, const Value& d, const Value& s, bool* result, QString* error)
{
    int order = 0;
    // Two integers, the common case, compare without the class table.
    const Cls cls = d.kind() == Value::Kind::Integer && s.kind() == Value::Kind::Integer
                        ? Cls::Int
                        : pairClass(classOf(d), classOf(s));
    switch (cls) {
    case Cls::None: return fail(error, InvalidOperation);
    case Cls::Int: {
        // Integers compare exactly, 64-bit values from databases included.
        int64_t a = 0, b = 0;
        if (!intOperand(d, &a, error) || !intOperand(s, &b, error))
            return false;
        order = threeWay(a, b);
        break;
    }
    case Cls::Float:
    case Cls::Date: {
        double a = 0, b = 0;
        bool (*number)(const Value&, double*, QString*) = cls == Cls::Date ? dateOperand : floatOperand;
        if (!number(d, &a, error) || !number(s, &b, error))
            return false;
        if (std::isnan(a) || std::isnan(b))
            return fail(error, FloatInvalid);
        order = threeWay(a, b);
        break;
    }
    case Cls::Cur: {
        int64_t a = 0, b = 0;
        if (!d.toCurrencyScaled(&a, error) || !s.toCurrencyScaled(&b, error))
            return false;
        order = threeWay(a, b);
        break;
    }
    case Cls::Str: order = compareTexts(d.asString(), s.asString()); break;
    case Cls::Bool: {
        bool a = false, b = false;
        if (!d.toBool(&a, error) || !s.toBool(&b, error))
            return false;
        order = threeWay(int(a), int(b));
        break;
    }
    }
    switch (cmp) {
    case ValueCompare::Less: *result = order < 0; break;
    case ValueCompare::LessEqual: *result = order <= 0; break;
    case ValueCompare::Equal: *result = order == 0; break;
    case ValueCompare::NotEqual: *result = order != 0; break;
    case ValueCompare::GreaterEqual: *result = order >= 0; break;
    case ValueCompare::Greater: *result = order > 0; break;
    }
    return true;
}

bool logicalNot(const Value& d, Value* result, QString* error)
{
    if (classOf(d) == Cls::None)
        return fail(error, InvalidOperation);
    if (d.kind() == Value::Kind::Boolean) {
        *result = Value(!d.asBool());
        return true;
    }
    int32_t i = 0;
    if (!int32Operand(d, &i, error))
        return false;
    *result = Value(~i);
    return true;
}

}  // namespace values
