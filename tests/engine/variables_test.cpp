#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "engine/datetime.h"
#include "engine/flow.h"
#include "engine/statements/variables.h"
#include "engine/texts.h"

// Readable values and texts in failure messages.
static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
void PrintTo(const Value& v, std::ostream* os)
{
    *os << "kind " << int(v.kind()) << " \"" << v.displayText().toStdString() << '"';
}

namespace {

double date(int y, int m, int d)
{
    double v = 0;
    EXPECT_TRUE(datetime::encodeDate(y, m, d, &v));
    return v;
}

double at(int y, int m, int d, int h, int n)
{
    double t = 0;
    EXPECT_TRUE(datetime::encodeTime(h, n, 0, 0, &t));
    return datetime::combine(date(y, m, d), t);
}

const Value kOld("old");  // what the saved variable holds before a statement runs

// A flow with the variable X that the statements save into.
class VariableStatements : public ::testing::Test {
protected:
    void SetUp() override
    {
        x = std::make_unique<IVRVariant>(&flow);
        x->Name = "X";
        flow.AddVariant(x.get());
        x->setValue(kOld);
        datetime::setCurrentLocale(datetime::DateLocale::english());
        // Sunday 7 January 2024, 12:34.
        datetime::setClock([] { return at(2024, 1, 7, 12, 34); });
    }
    void TearDown() override { datetime::setClock({}); }

    struct Outcome {
        int code;
        QString result;
        QString error;
    };
    Outcome run(TIVRBase& s)
    {
        ExecContext ctx;
        ctx.flow = &flow;
        Outcome o{-1, {}, {}};
        o.code = s.DoIt(ctx, o.result, o.error);
        return o;
    }
    // Success leaves both texts empty, so the flow's result variable keeps its value.
    void expectSuccess(const Outcome& o)
    {
        EXPECT_EQ(o.code, 0);
        EXPECT_EQ(o.result, "");
        EXPECT_EQ(o.error, "");
    }
    void expectFailure(const Outcome& o, const QString& error)
    {
        EXPECT_EQ(o.code, 1);
        EXPECT_EQ(o.result, "returnFAILED");
        EXPECT_EQ(o.error, error);
    }

    TIVRFlow flow{nullptr, QString(), true};
    std::unique_ptr<IVRVariant> x;
};

// ---- IVROperator ----

struct OperatorCase {
    TVariantOperateType op;
    Value dest, source;
    std::optional<Value> stored;  // nullopt: fails with `error` and X keeps its value
    const char* error = "";
};

TEST_F(VariableStatements, OperatorTable)
{
    const Value empty;
    const OperatorCase cases[] = {
        {optAssign, Value("x"), empty, Value("x")},
        {optAssign, Value(1.5), empty, Value(1.5)},
        {optAssign, empty, Value(1), empty},
        {optEquality, empty, empty, Value(true)},
        {optEquality, empty, Value(5), std::nullopt, "Invalid variant operation"},
        {optInequality, empty, empty, std::nullopt, "Invalid variant operation"},
        {optEquality, Value(5), Value(5.0), Value(true)},
        {optEquality, Value("5"), Value(5), Value(true)},
        // A result name equals the same result's name in the other language, and only that.
        {optEquality, Value(QString::fromUtf8("返回失败")), Value("returnFAILED"), Value(true)},
        {optEquality, Value("returnSUCCESS"), Value(QString::fromUtf8("返回失败")), Value(false)},
        {optInequality, Value("returnHANGUP"), Value(QString::fromUtf8("返回挂机")), Value(false)},
        {optInequality, Value("returnFAILED"), Value("FAILED"), Value(true)},
        {optAdd, Value("12"), Value(3), Value(15.0)},
        {optAdd, Value("12"), Value("3"), Value("123")},
        {optAdd, Value(2147483647), Value(1), Value(2147483648.0)},
        {optAdd, empty, Value(1), std::nullopt, "Invalid variant operation"},
        {optAdd, Value("abc"), Value(1), std::nullopt, "Invalid variant type conversion"},
        {optSubtract, Value(3), Value(5), Value(-2)},
        {optMultiply, Value(6), Value(7), Value(42)},
        {optRealDivide, Value(7), Value(2), Value(3.5)},
        {optRealDivide, Value(1), Value(0), std::nullopt, "Floating point division by zero"},
        {optIntDivide, Value(7), Value(-2), Value(-3)},
        {optModulus, Value(-7), Value(2), Value(-1)},
        {optIntDivide, Value(7), Value(0), std::nullopt, "Division by zero"},
        {optModulus, Value(7), Value(0), std::nullopt, "Division by zero"},
        {optAnd, Value(6), Value(3), Value(2)},
        {optOr, Value(true), Value(false), Value(true)},
        {optLess, Value("abc"), Value("abd"), Value(true)},
        {optLess, Value("B"), Value("a"), Value(true)},
        {optLess, Value("ab"), Value("abc"), Value(true)},
        {optLess, Value("abd"), Value("abc"), Value(false)},
        {optLessEqual, Value(2), Value(2), Value(true)},
        {optGreatEqual, Value(1), Value(2), Value(false)},
        {optGreater, Value(2.5), Value(2), Value(true)},
        {optGreater, Value(false), Value(true), Value(false)},
        // Two integers: exact orderings, and a sum, difference or product beyond 32 bits as a float.
        {optLess, Value(1), Value(2), Value(true)},
        {optLess, Value(2), Value(2), Value(false)},
        {optLessEqual, Value(3), Value(2), Value(false)},
        {optEquality, Value(-3), Value(-3), Value(true)},
        {optInequality, Value(-3), Value(-3), Value(false)},
        {optGreatEqual, Value(2), Value(2), Value(true)},
        {optGreater, Value(3), Value(-2147483647 - 1), Value(true)},
        {optAdd, Value(2147483646), Value(1), Value(2147483647)},
        {optSubtract, Value(-2147483647 - 1), Value(1), Value(-2147483649.0)},
        {optMultiply, Value(65536), Value(-65536), Value(-4294967296.0)},
        {optNot, Value(true), empty, Value(false)},
        {optNot, Value(0), empty, Value(-1)},
        {optNot, Value(5), Value("ignored"), Value(-6)},
        {optNot, empty, empty, std::nullopt, "Invalid variant operation"},
        {optNull, Value(1), Value(2), std::nullopt, "NotEnoughParam"},
    };
    for (const OperatorCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << VariantOperateTypeIds[c.op] << " " << c.dest.displayText().toStdString()
                                          << ", " << c.source.displayText().toStdString());
        x->setValue(kOld);
        IVROperator op(&flow);
        op.link.LinkTo(x.get());
        op.Operate = c.op;
        op.Dest.constant = c.dest;
        op.Source.constant = c.source;
        const Outcome o = run(op);
        if (c.stored) {
            expectSuccess(o);
            EXPECT_EQ(x->value(), *c.stored);
        } else {
            expectFailure(o, QLatin1String(c.error));
            EXPECT_EQ(x->value(), kOld);
        }
    }
}

TEST_F(VariableStatements, OperatorReadsVariablesAfreshAndNeedsASaveVariable)
{
    IVROperator op(&flow);
    op.Operate = optAdd;
    op.Dest.LinkTo(x.get());
    op.Source.constant = Value(1);
    expectFailure(run(op), "NotEnoughParam");  // no Save variable

    op.link.LinkTo(x.get());
    x->setValue(Value(41));
    expectSuccess(run(op));
    EXPECT_EQ(x->value(), Value(42));
    expectSuccess(run(op));
    EXPECT_EQ(x->value(), Value(43));
}

TEST_F(VariableStatements, DifferenceOfDateTimesInWholeMinutes)
{
    IVROperator op(&flow);
    op.link.LinkTo(x.get());
    op.Operate = optSubtract;
    op.Dest.constant = Value::dateTime(at(2024, 1, 7, 10, 0));
    op.Source.constant = Value::dateTime(at(2024, 1, 7, 9, 0));
    expectSuccess(run(op));
    ASSERT_EQ(x->value().kind(), Value::Kind::Float);

    IVRDateTime dt(&flow);
    dt.link.LinkTo(x.get());
    dt.System = false;
    dt.Operate = dtMinutes;
    expectSuccess(run(dt));
    EXPECT_EQ(x->value(), Value(60));
}

// ---- IVRDateTime ----

struct DateCase {
    bool system;
    Value held;  // X before the run
    TDateOperateType op;
    const char* format;
    std::optional<Value> stored;
    const char* error = "";
};

TEST_F(VariableStatements, DateTimeTable)
{
    const double sunday = at(2024, 1, 7, 12, 34);
    const DateCase cases[] = {
        {true, kOld, dtWeek, "", Value(1)},
        {true, kOld, dtDateTime, "", Value::dateTime(sunday)},
        {true, kOld, dtDate, "", Value(date(2024, 1, 7))},
        {true, kOld, dtYear, "", Value(2024)},
        {true, kOld, dtMonth, "", Value(1)},
        {true, kOld, dtDay, "", Value(7)},
        {true, kOld, dtHour, "", Value(12)},
        {true, kOld, dtMinute, "", Value(34)},
        {true, kOld, dtSecond, "", Value(0)},
        {true, kOld, dtMillSecond, "", Value(0)},
        {true, kOld, dtDays, "", Value(int32_t(date(2024, 1, 7)))},
        {true, kOld, dtNull, "yyyy-mm-dd hh:nn", Value("2024-01-07 12:34")},
        {true, kOld, dtNull, "", kOld},  // no pattern: nothing stored
        {false, Value("3/5/2024"), dtDay, "", Value(5)},
        {false, Value("3/5/2024 10:15:00"), dtMinute, "", Value(15)},
        {false, Value(), dtYear, "", Value(1899)},  // empty reads as day 0
        {false, Value(1.5), dtHour, "", Value(12)},
        {false, Value(2.75), dtHours, "", Value(66)},
        {false, Value(-1.0), dtDays, "", Value(-1)},
        {false, Value::dateTime(date(2024, 2, 29)), dtNull, "dddd d mmmm", Value("Thursday 29 February")},
        {false, Value("not a date"), dtYear, "", std::nullopt, "'not a date' is not a valid date and time"},
        {false, Value(true), dtDays, "", Value(-1)},
    };
    for (const DateCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << DateOperateTypeIds[c.op] << (c.system ? " system " : " variant ")
                                          << c.held.displayText().toStdString());
        x->setValue(c.held);
        IVRDateTime dt(&flow);
        dt.link.LinkTo(x.get());
        dt.System = c.system;
        dt.Operate = c.op;
        dt.Format = QLatin1String(c.format);
        const Outcome o = run(dt);
        if (c.stored) {
            expectSuccess(o);
            EXPECT_EQ(x->value(), *c.stored);
        } else {
            expectFailure(o, QLatin1String(c.error));
            EXPECT_EQ(x->value(), c.held);
        }
    }
}

TEST_F(VariableStatements, DateTimeFailures)
{
    IVRDateTime dt(&flow);
    dt.Operate = dtYear;
    expectFailure(run(dt), "NotEnoughParam");

    // A number without a calendar date fails with the date layer's message; X keeps it.
    dt.link.LinkTo(x.get());
    dt.System = false;
    x->setValue(Value(1e12));
    const Outcome o = run(dt);
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.result, "returnFAILED");
    EXPECT_FALSE(o.error.isEmpty());
    EXPECT_EQ(x->value(), Value(1e12));
}

// ---- IVRString ----

struct StringCase {
    TStringOperateType op;
    Value held;
    int subIndex, subCount;
    std::optional<Value> stored;
    const char* error = "";
};

TEST_F(VariableStatements, StringTable)
{
    const QString chinese = QStringLiteral("中文ab");  // GBK bytes: 2 + 2 + 1 + 1
    const StringCase cases[] = {
        {strGetLength, Value(), 0, 0, Value(0)},
        {strGetLength, Value("abc"), 0, 0, Value(3)},
        {strGetLength, Value(chinese), 0, 0, Value(6)},
        {strGetLength, Value(12345), 0, 0, Value(5)},
        {strTrimLeft, Value(" \t\x01" "a b \r\n"), 0, 0, Value("a b \r\n")},
        {strTrimRight, Value(" \t\x01" "a b \r\n"), 0, 0, Value(" \t\x01" "a b")},
        {strTrim, Value(" \t\x01" "a b \r\n"), 0, 0, Value("a b")},
        {strTrim, Value(), 0, 0, Value("")},
        {strSubString, Value("abcdef"), 2, 3, Value("bcd")},
        {strSubString, Value("abcdef"), 5, 10, Value("ef")},
        {strSubString, Value("abcdef"), 7, 1, Value("")},
        {strSubString, Value("abcdef"), 1, 0, Value("")},
        {strSubString, Value(chinese), 1, 2, Value(QStringLiteral("中"))},
        {strSubString, Value(chinese), 3, 3, Value(QStringLiteral("文a"))},
        {strSubString, Value(chinese), 1, 3, Value(QStringLiteral("中"))},  // never half a character
        {strSubString, Value(chinese), 2, 2, Value("")},
        {strSubString, Value(chinese), 2, 4, Value(QStringLiteral("文a"))},  // starts after the cut character
        {strToNumber, Value("3.50"), 0, 0, Value(3.5)},
        {strToNumber, Value("42"), 0, 0, Value(42)},
        {strToNumber, Value("-7"), 0, 0, Value(-7)},
        {strToNumber, Value("1 2"), 0, 0, std::nullopt, "'1 2' is not a valid integer value"},
        {strToNumber, Value("1.2.3"), 0, 0, std::nullopt, "'1.2.3' is not a valid floating point value"},
        {strToNumber, Value(), 0, 0, std::nullopt, "'' is not a valid integer value"},
        {strToNumber, Value("99999999999"), 0, 0, std::nullopt, "'99999999999' is not a valid integer value"},
        {strToString, Value(5), 0, 0, Value("5")},
        {strToString, Value(1.5), 0, 0, Value("1.5")},
        {strToString, Value(true), 0, 0, Value("True")},
        {strNil, Value(5), 0, 0, Value(5)},
    };
    for (const StringCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << StringOperateTypeIds[c.op] << " " << c.held.displayText().toStdString()
                                          << " " << c.subIndex << " " << c.subCount);
        x->setValue(c.held);
        IVRString s(&flow);
        s.link.LinkTo(x.get());
        s.Operate = c.op;
        s.SubIndex = c.subIndex;
        s.SubCount = c.subCount;
        const Outcome o = run(s);
        if (c.stored) {
            expectSuccess(o);
            EXPECT_EQ(x->value(), *c.stored);
        } else {
            expectFailure(o, QLatin1String(c.error));
            EXPECT_EQ(x->value(), c.held);
        }
    }
}

TEST_F(VariableStatements, StringNeedsASaveVariable)
{
    IVRString s(&flow);
    s.Operate = strTrim;
    s.link.constant = Value(" a ");
    expectFailure(run(s), "NotEnoughParam");
    s.Operate = strNil;  // the variable is checked first
    expectFailure(run(s), "NotEnoughParam");
}

TEST_F(VariableStatements, StringLoadNormalisesPositionAndCount)
{
    struct Row {
        TStringOperateType op;
        int index, count;
        int wantIndex, wantCount;
        const char* caption;
    } rows[] = {
        {strSubString, 0, 0, 1, 1, "String : X SubString  1 1"},
        {strSubString, 3, 0, 3, 1, "String : X SubString  3 1"},
        {strSubString, 2, 5, 2, 5, "String : X SubString  2 5"},
        {strTrim, 3, 4, 0, 0, "String : X Trim "},
        {strNil, 1, 1, 0, 0, "String : X NoOperate "},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(StringOperateTypeIds[r.op]);
        IVRString s(&flow);
        s.Operate = r.op;
        s.SubIndex = r.index;
        s.SubCount = r.count;
        s.link.SetSaveValue(Value("X"));
        s.BuildLink();
        EXPECT_EQ(s.link.variable(), x.get());
        EXPECT_EQ(s.SubIndex, r.wantIndex);
        EXPECT_EQ(s.SubCount, r.wantCount);
        EXPECT_EQ(s.GetNodeText(), QLatin1String(r.caption));
    }
}

// ---- captions ----

TEST_F(VariableStatements, Captions)
{
    auto total = std::make_unique<IVRVariant>(&flow);
    total->Name = "Total";
    flow.AddVariant(total.get());

    IVROperator add(&flow);
    add.Operate = optAdd;
    add.link.LinkTo(total.get());
    add.Dest.LinkTo(total.get());
    add.Source.constant = Value(1);
    EXPECT_EQ(add.GetNodeText(), "Operator : Total = Total Add 1");

    IVROperator negate(&flow);
    negate.Operate = optNot;
    negate.link.LinkTo(x.get());
    negate.Dest.LinkTo(x.get());
    negate.Source.constant = Value(7);  // not shown
    EXPECT_EQ(negate.GetNodeText(), "Operator : X = Not X");

    IVROperator assign(&flow);
    assign.Operate = optAssign;
    assign.link.LinkTo(x.get());
    assign.Dest.constant = Value("a b");
    EXPECT_EQ(assign.GetNodeText(), "Operator : X = \"a b\"");

    IVROperator fresh(&flow);
    EXPECT_EQ(fresh.GetNodeText(), "Operator : NoVariant = Null NoOperate Null");
    fresh.Operate = optGreatEqual;
    EXPECT_EQ(fresh.GetNodeText(), "Operator : NoVariant = Null GreaterEqual Null");

    IVRDateTime dt(&flow);
    EXPECT_EQ(dt.GetNodeText(), "DateTime : NoVariant System NoOperate");
    dt.link.LinkTo(x.get());
    dt.System = false;
    dt.Format = "yyyy";
    EXPECT_EQ(dt.GetNodeText(), "DateTime : X Variant 'yyyy'");
    dt.Operate = dtMillSecond;
    EXPECT_EQ(dt.GetNodeText(), "DateTime : X Variant MillSecond");

    IVRString s(&flow);
    EXPECT_EQ(s.GetNodeText(), "String : NoVariant NoOperate ");
    s.link.LinkTo(x.get());
    s.Operate = strGetLength;
    EXPECT_EQ(s.GetNodeText(), "String : X GetLength ");
    s.Operate = strSubString;
    s.SubIndex = 2;
    s.SubCount = 3;
    EXPECT_EQ(s.GetNodeText(), "String : X SubString  2 3");
}

TEST_F(VariableStatements, ChineseCaptions)
{
    setTextLanguage(true);
    IVROperator add(&flow);
    add.Operate = optAdd;
    add.link.LinkTo(x.get());
    add.Dest.LinkTo(x.get());
    add.Source.constant = Value(1);
    const QString op = add.GetDescription();
    IVRDateTime dt(&flow);
    dt.Operate = dtWeek;
    const QString date = dt.GetDescription();
    const QString expectedDate = QStringLiteral("：") + txt::NoVariant + u' ' + txt::DateTimeSystem + QStringLiteral(" 星期");
    setTextLanguage(false);
    EXPECT_EQ(op, QStringLiteral("：X = X 加 1"));
    EXPECT_EQ(date, expectedDate);
}

}  // namespace
