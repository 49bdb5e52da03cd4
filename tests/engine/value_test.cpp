#include "engine/datetime.h"
#include "engine/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

// Readable texts and values in failure messages.
static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

static void PrintTo(const Value& v, std::ostream* os)
{
    static const char* names[] = {"Empty", "Null", "Integer", "Int64", "Float", "Currency",
                                  "String", "WideString", "Boolean", "DateTime"};
    *os << names[int(v.kind())];
    switch (v.kind()) {
    case Value::Kind::Integer: *os << "(" << v.asInt() << ")"; break;
    case Value::Kind::Int64: *os << "(" << v.asInt64() << ")"; break;
    case Value::Kind::Float: *os << "(" << formatFloatGeneral(v.asFloat(), 17).toStdString() << ")"; break;
    case Value::Kind::Currency: *os << "(" << v.asCurrencyScaled() << "/10000)"; break;
    case Value::Kind::String:
    case Value::Kind::WideString: *os << "(\"" << v.asString().toStdString() << "\")"; break;
    case Value::Kind::Boolean: *os << "(" << (v.asBool() ? "true" : "false") << ")"; break;
    case Value::Kind::DateTime: *os << "(" << formatFloatGeneral(v.asDateTime(), 17).toStdString() << ")"; break;
    default: break;
    }
}

namespace {

constexpr int32_t IntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t IntMax = std::numeric_limits<int32_t>::max();

Value cur(double amount) { return Value::currency(int64_t(std::llround(amount * 10000))); }
Value dt(double days) { return Value::dateTime(days); }
Value i64(int64_t v) { return Value::int64(v); }
Value str(const char* s) { return Value(QString::fromUtf8(s)); }

using values::DivisionByZero;
using values::FloatDivisionByZero;
using values::FloatInvalid;
using values::FloatOverflow;
using values::IntegerOverflow;
using values::InvalidConversion;
using values::InvalidOperation;

// ---- D op S ----

struct BinaryCase {
    const char* what;
    ValueOp op;
    Value d, s;
    Value expected;           // ignored when error is set
    const char* error = nullptr;
};

const ValueOp Add = ValueOp::Add, Sub = ValueOp::Subtract, Mul = ValueOp::Multiply, Div = ValueOp::RealDivide,
              IDiv = ValueOp::IntDivide, Mod = ValueOp::Modulus, And = ValueOp::And, Or = ValueOp::Or;

TEST(ValueBinary, TableOfOperationsAcrossKinds)
{
    const BinaryCase cases[] = {
        // integer class
        {"int add", Add, 2, 3, 5},
        {"int add overflows to float", Add, IntMax, 1, 2147483648.0},
        {"int subtract overflows to float", Sub, IntMin, 1, -2147483649.0},
        {"int multiply overflows to float", Mul, 65536, 65536, 4294967296.0},
        {"int multiply at the edge stays integer", Mul, -65536, 32768, IntMin},
        {"int real divide is float", Div, 7, 2, 3.5},
        {"int real divide by zero", Div, 1, 0, {}, FloatDivisionByZero},
        {"int zero by zero", Div, 0, 0, {}, FloatInvalid},
        {"int divide truncates toward zero", IDiv, 7, -2, -3},
        {"int divide negative", IDiv, -7, 2, -3},
        {"modulus takes the sign of D", Mod, -7, 2, -1},
        {"modulus positive D", Mod, 7, -2, 1},
        {"int divide by zero", IDiv, 7, 0, {}, DivisionByZero},
        {"modulus by zero", Mod, 7, 0, {}, DivisionByZero},
        {"smallest integer div -1", IDiv, IntMin, -1, {}, IntegerOverflow},
        {"smallest integer mod -1", Mod, IntMin, -1, {}, IntegerOverflow},
        {"bitwise and", And, 12, 10, 8},
        {"bitwise or", Or, 12, 3, 15},
        {"integer and Boolean: true is -1", Add, 1, true, 0},
        {"Boolean and integer", Add, true, 1, 0},
        {"bitwise and with true", And, true, 5, 5},
        // integer and string: float class
        {"string plus integer is float", Add, "12", 3, 15.0},
        {"integer plus string is float", Add, 3, "12", 15.0},
        {"string with blanks reads as number", Add, " 12 ", 3, 15.0},
        {"string that is no number", Add, "abc", 3, {}, InvalidConversion},
        {"decimal string minus integer", Sub, "1.5", 1, 0.5},
        // string class
        {"strings concatenate", Add, "12", "3", "123"},
        {"wide and narrow strings concatenate", Add, Value::wideString("ab"), "c", "abc"},
        {"string minus string is float", Sub, "12", "3", 9.0},
        {"string times string is float", Mul, "12", "3", 36.0},
        {"string div string is integer", IDiv, "7", "2", 3},
        {"string mod string", Mod, "7", "2", 1},
        {"string and string is bitwise", And, "6", "3", 2},
        {"string div rounds a decimal text", IDiv, "10.6", "3", 3},
        {"string real divide by zero", Div, "1", "0", {}, FloatDivisionByZero},
        // float class
        {"float add", Add, 1.5, 1.5, 3.0},
        {"float times integer", Mul, 1.5, 2, 3.0},
        {"float overflow", Mul, 1e308, 10, {}, FloatOverflow},
        {"float divide by zero", Div, 1.5, 0.0, {}, FloatDivisionByZero},
        {"float zero by zero", Div, 0.0, 0, {}, FloatInvalid},
        {"float div rounds half to even (7.5 -> 8)", IDiv, 7.5, 2, 4},
        {"float div rounds half to even (6.5 -> 6)", IDiv, 6.5, 1, 6},
        {"float mod", Mod, 2.5, 2, 0},
        {"float out of the integer range in div", IDiv, 1e10, 1, {}, InvalidConversion},
        {"float and", And, 3.0, 5, 1},
        // currency class
        {"currency plus integer", Add, cur(1.5), 1, cur(2.5)},
        {"integer plus currency", Add, 1, cur(1.5), cur(2.5)},
        {"currency minus float", Sub, cur(1), 0.25, cur(0.75)},
        {"currency times currency keeps four decimals", Mul, cur(1.0001), cur(2), cur(2.0002)},
        {"currency times currency rounds half to even", Mul, cur(0.0001), cur(0.5), cur(0)},
        {"currency by currency is a float ratio", Div, cur(10), cur(4), 2.5},
        {"currency by integer is currency", Div, cur(10), 4, cur(2.5)},
        {"currency by integer rounds to four decimals", Div, cur(1), 3, cur(0.3333)},
        {"currency by integer rounds up", Div, cur(2), 3, cur(0.6667)},
        {"integer by currency is currency", Div, 1, cur(4), cur(0.25)},
        {"currency by zero", Div, cur(1), 0, {}, FloatDivisionByZero},
        {"currency zero by zero", Div, cur(0), cur(0), {}, FloatInvalid},
        {"currency div is integer", IDiv, cur(7), 2, 3},
        {"currency div rounds half to even", IDiv, cur(2.5), 1, 2},
        {"currency overflow", Add, Value::currency(std::numeric_limits<int64_t>::max()), cur(0.0001), {}, FloatOverflow},
        {"string plus currency", Add, "1.25", cur(1), cur(2.25)},
        {"text that is no number with currency", Add, "abc", cur(1), {}, InvalidConversion},
        // Boolean class
        {"Boolean and", And, true, false, false},
        {"Boolean or", Or, true, false, true},
        {"Boolean plus Boolean is float", Add, true, true, -2.0},
        {"Boolean div Boolean is integer", IDiv, true, true, 1},
        {"Boolean div by false", IDiv, false, false, {}, DivisionByZero},
        {"string and Boolean: Boolean words", And, "True", true, true},
        {"string or Boolean: numbers", Or, "0", false, false},
        {"string and Boolean: no Boolean", And, "abc", true, {}, InvalidConversion},
        {"string plus Boolean is float", Add, "1", true, 0.0},
        // date-time class
        {"date-time plus integer", Add, dt(1.5), 1, dt(2.5)},
        {"integer plus date-time", Add, 1, dt(1.5), dt(2.5)},
        {"date-time plus float", Add, dt(1), 0.25, dt(1.25)},
        {"date-time minus date-time is days", Sub, dt(2.75), dt(1.25), 1.5},
        {"date-time minus number is date-time", Sub, dt(2.5), 1, dt(1.5)},
        {"number minus date-time is date-time", Sub, 3, dt(1), dt(2)},
        {"date-time times number is float", Mul, dt(1.5), 2, 3.0},
        {"date-time div is integer", IDiv, dt(2), 2, 1},
        {"date-time plus date text", Add, "1/2/2000", dt(0.5), dt(36527.5)},
        {"date-time plus number text", Add, "2", dt(0.5), dt(2.5)},
        {"date-time plus other text", Add, "x", dt(1), {}, InvalidConversion},
        {"date-time plus currency", Add, dt(1), cur(0.5), dt(1.5)},
        // empty and null are in no class
        {"empty plus one", Add, Value(), 1, {}, InvalidOperation},
        {"one plus empty", Add, 1, Value(), {}, InvalidOperation},
        {"empty plus empty", Add, Value(), Value(), {}, InvalidOperation},
        {"empty and text", Add, Value(), "a", {}, InvalidOperation},
        {"null plus one", Add, Value::null(), 1, {}, InvalidOperation},
        {"null or true", Or, Value::null(), true, {}, InvalidOperation},
        // 64-bit integers from databases are integers: exact while the result fits in 32 bits,
        // float beyond; the 32-bit operations refuse values outside the 32-bit range.
        {"int64 plus integer", Add, i64(5), 3, 8},
        {"int64 sum beyond 32 bits", Add, i64(3000000000), 1, 3000000001.0},
        {"int64 difference back in range", Sub, i64(3000000000), i64(3000000000), 0},
        {"int64 in range divides", IDiv, i64(10), 3, 3},
        {"int64 out of range divides", IDiv, i64(3000000000), 2, {}, InvalidConversion},
        {"int64 real divide", Div, i64(3000000000), 2, 1500000000.0},
    };
    for (const BinaryCase& c : cases) {
        SCOPED_TRACE(c.what);
        Value result = str("untouched");
        QString error;
        bool ok = values::binary(c.op, c.d, c.s, &result, &error);
        if (c.error) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(error, QString::fromLatin1(c.error));
            EXPECT_EQ(result, str("untouched"));
        } else {
            EXPECT_TRUE(ok) << error.toStdString();
            EXPECT_EQ(result, c.expected);
        }
    }
}

// ---- comparisons ----

struct CompareCase {
    const char* what;
    ValueCompare cmp;
    Value d, s;
    bool expected = false;
    const char* error = nullptr;
};

const ValueCompare Lt = ValueCompare::Less, Le = ValueCompare::LessEqual, Eq = ValueCompare::Equal,
                   Ne = ValueCompare::NotEqual, Ge = ValueCompare::GreaterEqual, Gt = ValueCompare::Greater;

TEST(ValueCompare, TableOfComparisons)
{
    const CompareCase cases[] = {
        {"strings: abc < abd", Lt, "abc", "abd", true},
        {"strings: byte order, B < a", Lt, "B", "a", true},
        {"strings: prefix first", Lt, "ab", "abc", true},
        {"strings: longer not before prefix", Lt, "abc", "ab", false},
        {"strings: equal", Eq, "abc", "abc", true},
        {"strings: case-sensitive", Eq, "abc", "ABC", false},
        {"strings: empty text before any", Lt, "", "a", true},
        {"strings: ASCII before GBK", Lt, "z", str("中"), true},
        // U+554A is B0A1 in GBK, U+4E00 is D2BB: the code page decides, not the code points.
        {"strings: GBK byte order", Lt, str("啊"), str("一"), true},
        {"strings: characters outside GBK stay different", Eq, str("😀"), str("😁"), false},
        {"strings: wide and narrow", Eq, Value::wideString("x"), "x", true},
        {"number and text compare as numbers", Eq, 12, "12", true},
        {"decimal text and integer", Eq, "12.0", 12, true},
        {"text 9 and integer 10", Lt, "9", 10, true},
        {"text that is no number", Eq, "abc", 1, false, InvalidConversion},
        {"integers", Lt, -1, 0, true},
        {"integers greater equal", Ge, 5, 5, true},
        {"int64 beyond 32 bits", Gt, i64(5000000000), IntMax, true},
        {"floats", Le, 1.5, 1.5, true},
        {"float and integer", Gt, 2.5, 2, true},
        {"Boolean: false before true", Lt, false, true, true},
        {"Boolean and integer: true is -1", Eq, true, -1, true},
        {"Boolean and text", Eq, true, "True", true},
        {"Boolean and other text", Eq, "yes", true, false, InvalidConversion},
        {"currency and integer", Gt, cur(1.5), 1, true},
        {"currency and float", Eq, cur(1.5), 1.5, true},
        {"currency not equal", Ne, cur(1.5), cur(1.4999), true},
        {"date-times", Lt, dt(1), dt(2), true},
        {"date-time and number", Eq, dt(1), 1, true},
        {"empty and empty compare as nothing", Eq, Value(), Value(), false, InvalidOperation},
        {"empty and five", Eq, Value(), 5, false, InvalidOperation},
        {"five and empty", Lt, 5, Value(), false, InvalidOperation},
        {"null and text", Eq, Value::null(), "a", false, InvalidOperation},
    };
    for (const CompareCase& c : cases) {
        SCOPED_TRACE(c.what);
        bool result = !c.expected;
        QString error;
        bool ok = values::compare(c.cmp, c.d, c.s, &result, &error);
        if (c.error) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(error, QString::fromLatin1(c.error));
        } else {
            EXPECT_TRUE(ok) << error.toStdString();
            EXPECT_EQ(result, c.expected);
        }
    }
}

TEST(ValueCompare, EveryOperatorFollowsTheOrder)
{
    struct Pair { Value a, b; int order; };
    const Pair pairs[] = {{1, 2, -1}, {2, 2, 0}, {3, 2, 1}, {"a", "b", -1}, {"b", "b", 0}, {true, false, 1}};
    for (const Pair& p : pairs) {
        const std::pair<ValueCompare, bool> expect[] = {
            {Lt, p.order < 0}, {Le, p.order <= 0}, {Eq, p.order == 0},
            {Ne, p.order != 0}, {Ge, p.order >= 0}, {Gt, p.order > 0}};
        for (auto [cmp, want] : expect) {
            bool r = !want;
            ASSERT_TRUE(values::compare(cmp, p.a, p.b, &r, nullptr));
            EXPECT_EQ(r, want) << "order " << p.order << " operator " << int(cmp);
        }
    }
}

// ---- not ----

TEST(ValueNot, BooleansNegateOthersComplement)
{
    const struct {
        const char* what;
        Value d;
        Value expected;
        const char* error;
    } cases[] = {
        {"not true", true, false, nullptr},
        {"not false", false, true, nullptr},
        {"not 0", 0, -1, nullptr},
        {"not 5", 5, -6, nullptr},
        {"not 2.5 rounds half to even", 2.5, -3, nullptr},
        {"not a number text", "7", -8, nullptr},
        {"not currency", cur(1.5), -3, nullptr},
        {"not date-time", dt(1), -2, nullptr},
        {"not int64", i64(7), -8, nullptr},
        {"not empty", Value(), {}, InvalidOperation},
        {"not null", Value::null(), {}, InvalidOperation},
        {"not other text", "abc", {}, InvalidConversion},
        {"not int64 out of range", i64(5000000000), {}, InvalidConversion},
        {"not float out of range", 1e12, {}, InvalidConversion},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Value result = str("untouched");
        QString error;
        bool ok = values::logicalNot(c.d, &result, &error);
        if (c.error) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(error, QString::fromLatin1(c.error));
            EXPECT_EQ(result, str("untouched"));
        } else {
            EXPECT_TRUE(ok) << error.toStdString();
            EXPECT_EQ(result, c.expected);
        }
    }
}

// ---- conversions ----

TEST(ValueConversion, ToText)
{
    datetime::setCurrentLocale(datetime::DateLocale::english());
    const struct {
        Value v;
        const char* text;
    } cases[] = {
        {Value(), ""},
        {-3, "-3"},
        {i64(5000000000), "5000000000"},
        {1.5, "1.5"},
        {2147483648.0, "2147483648"},
        {1e20, "1E20"},
        {cur(1.5), "1.5"},
        {cur(-0.0001), "-0.0001"},
        {cur(12), "12"},
        {Value::currency(std::numeric_limits<int64_t>::min()), "-922337203685477.5808"},
        {true, "True"},
        {false, "False"},
        {"abc", "abc"},
        {Value::wideString("wide"), "wide"},
        {dt(36526.5), "1/1/2000 12:00:00 PM"},
        {dt(36526), "1/1/2000"},
        {dt(0.25), "12/30/1899 6:00:00 AM"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        QString text = "untouched";
        QString error;
        EXPECT_TRUE(c.v.toText(&text, &error)) << error.toStdString();
        EXPECT_EQ(text, QString::fromUtf8(c.text));
        EXPECT_EQ(c.v.displayText(), QString::fromUtf8(c.text));
    }

    QString text = "untouched", error;
    EXPECT_FALSE(Value::null().toText(&text, &error));
    EXPECT_EQ(error, InvalidConversion);
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(Value::null().displayText(), "");
    // A date-time without a calendar date has no text; display falls back to the number.
    EXPECT_FALSE(dt(1e10).toText(&text, &error));
    EXPECT_EQ(error, "'10000000000' is not a valid date and time");
    EXPECT_EQ(dt(1e10).displayText(), "10000000000");
}

TEST(ValueConversion, ToDouble)
{
    const struct {
        Value v;
        double expected;
        bool ok;
    } cases[] = {
        {Value(), 0, true},
        {7, 7, true},
        {i64(5000000000), 5e9, true},
        {cur(1.5), 1.5, true},
        {true, -1, true},
        {false, 0, true},
        {dt(2.25), 2.25, true},
        {" 1.5 ", 1.5, true},
        {"1e3", 1000, true},
        {"-1.5E-2", -0.015, true},
        {".5", 0.5, true},
        {"5.", 5, true},
        {"+2", 2, true},
        {"1,5", 0, false},
        {"", 0, false},
        {"abc", 0, false},
        {"1e", 0, false},
        {"0x10", 0, false},
        {"1/2/2000", 0, false},
        {Value::null(), 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.v.displayText().toStdString());
        double out = -99;
        QString error;
        EXPECT_EQ(c.v.toDouble(&out, &error), c.ok);
        if (c.ok) {
            EXPECT_EQ(out, c.expected);
        } else {
            EXPECT_EQ(error, InvalidConversion);
            EXPECT_EQ(out, -99);
        }
    }
}

TEST(ValueConversion, ToInt32RoundsHalvesToEvenAndRefusesTheOutOfRange)
{
    const struct {
        Value v;
        int32_t expected;
        bool ok;
    } cases[] = {
        {Value(), 0, true},
        {"42", 42, true},
        {" 42 ", 42, true},
        {"-7", -7, true},
        {"2.5", 2, true},
        {"3.5", 4, true},
        {"-2.5", -2, true},
        {2.5, 2, true},
        {-3.5, -4, true},
        {2147483647.4, IntMax, true},
        {2147483647.5, 0, false},
        {2147483648.0, 0, false},
        {-2147483648.5, IntMin, true},
        {-2147483649.0, 0, false},
        {std::nan(""), 0, false},
        {std::numeric_limits<double>::infinity(), 0, false},
        {cur(2.5), 2, true},
        {cur(3.5), 4, true},
        {cur(-2.5), -2, true},
        {Value::currency(std::numeric_limits<int64_t>::max()), 0, false},
        {i64(IntMax), IntMax, true},
        {i64(int64_t(IntMax) + 1), 0, false},
        {true, -1, true},
        {dt(1.5), 2, true},
        // Boolean words are not integers.
        {"True", 0, false},
        {"99999999999", 0, false},
        {"abc", 0, false},
        {Value::null(), 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.v.displayText().toStdString());
        int32_t out = 1234;
        QString error;
        EXPECT_EQ(c.v.toInt32(&out, &error), c.ok);
        if (c.ok) {
            EXPECT_EQ(out, c.expected);
        } else {
            EXPECT_EQ(error, InvalidConversion);
            EXPECT_EQ(out, 1234);
        }
    }
}

TEST(ValueConversion, ToBool)
{
    const struct {
        Value v;
        bool expected;
        bool ok;
    } cases[] = {
        {Value(), false, true},
        {0, false, true},
        {-1, true, true},
        {2, true, true},
        {0.0, false, true},
        {0.5, true, true},
        {cur(0), false, true},
        {cur(0.0001), true, true},
        {i64(0), false, true},
        {dt(0), false, true},
        {"True", true, true},
        {"TRUE", true, true},
        {" false ", false, true},
        {"0", false, true},
        {"2", true, true},
        {"-1.5", true, true},
        {"abc", false, false},
        {"", false, false},
        {"yes", false, false},
        {Value::null(), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.v.displayText().toStdString());
        bool out = !c.expected;
        QString error;
        EXPECT_EQ(c.v.toBool(&out, &error), c.ok);
        if (c.ok)
            EXPECT_EQ(out, c.expected);
        else
            EXPECT_EQ(error, InvalidConversion);
    }
}

TEST(ValueConversion, KindsAndAccessors)
{
    EXPECT_TRUE(Value(1).isNumeric());
    EXPECT_TRUE(i64(1).isNumeric());
    EXPECT_TRUE(Value(1.0).isNumeric());
    EXPECT_TRUE(cur(1).isNumeric());
    EXPECT_FALSE(Value("1").isNumeric());
    EXPECT_FALSE(Value(true).isNumeric());
    EXPECT_FALSE(dt(1).isNumeric());
    EXPECT_FALSE(Value().isNumeric());
    EXPECT_EQ(Value("abc").asString(), "abc");
    EXPECT_EQ(Value::wideString("w").asString(), "w");
    EXPECT_EQ(Value(5).asString(), "");
}

// ---- text read as numbers (the string statement's conversions) ----

TEST(ValueText, ToInt32WithTheSystemsMessages)
{
    const struct {
        const char* text;
        int32_t expected;
        bool ok;
    } cases[] = {
        {"42", 42, true},
        {"  42", 42, true},
        {"+5", 5, true},
        {"-2147483648", IntMin, true},
        {"2147483647", IntMax, true},
        {"2147483648", 0, false},
        {"-2147483649", 0, false},
        {"99999999999999999999", 0, false},
        {"1 2", 0, false},
        {"42 ", 0, false},  // trailing blanks are not part of an integer
        {"3.50", 0, false},
        {"", 0, false},
        {"-", 0, false},
        {"abc", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t out = 1234;
        QString error;
        EXPECT_EQ(values::textToInt32(QString::fromLatin1(c.text), &out, &error), c.ok);
        if (c.ok) {
            EXPECT_EQ(out, c.expected);
        } else {
            EXPECT_EQ(error, QStringLiteral("'%1' is not a valid integer value").arg(QLatin1String(c.text)));
            EXPECT_EQ(out, 1234);
        }
    }
}

TEST(ValueText, ToDoubleWithTheSystemsMessages)
{
    const struct {
        const char* text;
        double expected;
        bool ok;
    } cases[] = {
        {"3.50", 3.5, true},
        {" 3.5 ", 3.5, true},
        {"-0.25", -0.25, true},
        {"1E308", 1e308, true},
        {"1E-400", 0, true},  // underflow reads as zero
        {"-0.0000e-999999", 0, true},
        {"1E400", 0, false},
        {"123456789012345678901234567890e300", 0, false},
        {"1.2.3", 0, false},
        {"e5", 0, false},
        {"1e", 0, false},
        {"1e+", 0, false},
        {".", 0, false},
        {"1 2", 0, false},
        {"", 0, false},
        {"nan", 0, false},
        {"inf", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        double out = -99;
        QString error;
        EXPECT_EQ(values::textToDouble(QString::fromLatin1(c.text), &out, &error), c.ok);
        if (c.ok) {
            EXPECT_EQ(out, c.expected);
        } else {
            EXPECT_EQ(error, QStringLiteral("'%1' is not a valid floating point value").arg(QLatin1String(c.text)));
            EXPECT_EQ(out, -99);
        }
    }
}

// ---- the general float format ----

TEST(FormatFloatGeneral, Goldens)
{
    const struct {
        double v;
        const char* text;
    } cases[] = {
        {1.5, "1.5"},
        {0.1, "0.1"},
        {0.0001, "0.0001"},
        {0.00001, "0.00001"},
        {0.000012345, "0.000012345"},
        {0.000001, "1E-6"},
        {1.5e-7, "1.5E-7"},
        {-1e-10, "-1E-10"},
        {999999999999999.0, "999999999999999"},
        {1e15, "1E15"},
        {999999999999999.9, "1E15"},  // rounds to 16 integer digits
        {1e20, "1E20"},
        {123456789012345678.0, "1.23456789012346E17"},
        {0.0, "0"},
        {-0.0, "0"},
        {-1.5, "-1.5"},
        {100.0, "100"},
        {12345.678, "12345.678"},
        {1.0 / 3.0, "0.333333333333333"},
        {2.0 / 3.0, "0.666666666666667"},
        {2147483648.0, "2147483648"},
        {100000000000000.5, "100000000000001"},  // a tie rounds away from zero
        {0.1 + 0.2, "0.3"},
        {1.7976931348623157e308, "1.79769313486232E308"},
        {5e-324, "4.94065645841247E-324"},
        {std::numeric_limits<double>::infinity(), "INF"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
        {std::nan(""), "NAN"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(formatFloatGeneral(c.v), QString::fromLatin1(c.text));
    }
}

TEST(FormatFloatGeneral, OtherPrecisions)
{
    EXPECT_EQ(formatFloatGeneral(1234.56, 4), "1235");
    EXPECT_EQ(formatFloatGeneral(123456.0, 4), "1.235E5");
    EXPECT_EQ(formatFloatGeneral(0.1, 17), "0.10000000000000001");
    EXPECT_EQ(formatFloatGeneral(0.1, 18), "0.100000000000000006");
    EXPECT_EQ(formatFloatGeneral(2.5, 1), "3");
    EXPECT_EQ(formatFloatGeneral(-9.5, 1), "-1E1");
}

TEST(ValueSet, IntegerAndBooleanReplaceAValueOfAnyKind)
{
    const Value before[] = {Value(), Value::null(), Value(7), Value(true), Value("7"), Value(1.5),
                            Value::int64(7), Value::currency(70000)};
    for (const Value& b : before) {
        SCOPED_TRACE(b.displayText().toStdString());
        Value v = b;
        v.setInteger(-3);
        EXPECT_EQ(v, Value(-3));
        v.setBoolean(false);
        EXPECT_EQ(v, Value(false));
        v = b;
        v.setBoolean(true);
        EXPECT_EQ(v, Value(true));
        v.setInteger(2147483647);
        EXPECT_EQ(v, Value(2147483647));
    }
}

}  // namespace
