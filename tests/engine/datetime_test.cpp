#include "engine/datetime.h"
#include "engine/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>

using namespace datetime;

// Readable texts in failure messages.
static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

double date(int y, int m, int d)
{
    double v = 0;
    EXPECT_TRUE(encodeDate(y, m, d, &v)) << y << "-" << m << "-" << d;
    return v;
}

double time(int h, int n, int s = 0, int ms = 0)
{
    double v = 0;
    EXPECT_TRUE(encodeTime(h, n, s, ms, &v));
    return v;
}

double at(int y, int m, int d, int h, int n, int s = 0, int ms = 0) { return combine(date(y, m, d), time(h, n, s, ms)); }

QString fmt(const QString& pattern, double x, const DateLocale& locale = DateLocale::english())
{
    QString out, error;
    EXPECT_TRUE(format(pattern, x, locale, &out, &error)) << error.toStdString();
    return out;
}

// Every test starts from the English locale and a clock fixed at 2024-06-15 10:30.
class DateTimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setCurrentLocale(DateLocale::english());
        setClock([] { return at(2024, 6, 15, 10, 30); });
    }
    void TearDown() override
    {
        setClock({});
        setCurrentLocale(DateLocale::english());
    }
};

// ---- calendar ----

TEST(DateCalendar, KnownDayNumbers)
{
    EXPECT_EQ(date(1899, 12, 30), 0);
    EXPECT_EQ(date(1899, 12, 31), 1);
    EXPECT_EQ(date(1900, 1, 1), 2);
    EXPECT_EQ(date(1900, 3, 1), 61);
    EXPECT_EQ(date(2000, 1, 1), 36526);
    EXPECT_EQ(date(2024, 1, 1), 45292);
    EXPECT_EQ(date(1, 1, 1), MinDayNumber);
    EXPECT_EQ(date(9999, 12, 31), MaxDayNumber);
    EXPECT_EQ(date(1899, 12, 29), -1);
}

TEST(DateCalendar, LeapYears)
{
    EXPECT_FALSE(isLeapYear(1900));
    EXPECT_TRUE(isLeapYear(2000));
    EXPECT_TRUE(isLeapYear(2024));
    EXPECT_FALSE(isLeapYear(2100));
    EXPECT_TRUE(isLeapYear(4));
    double v = 0;
    EXPECT_FALSE(encodeDate(1900, 2, 29, &v));
    EXPECT_TRUE(encodeDate(2000, 2, 29, &v));
    EXPECT_EQ(date(1900, 3, 1) - date(1900, 2, 28), 1);
    EXPECT_EQ(date(2000, 3, 1) - date(2000, 2, 28), 2);
    EXPECT_EQ(daysInMonth(1900, 2), 28);
    EXPECT_EQ(daysInMonth(2000, 2), 29);
    EXPECT_EQ(daysInMonth(2023, 13), 0);
}

TEST(DateCalendar, EncodeRefusesArgumentsOutOfRange)
{
    double v = 123;
    EXPECT_FALSE(encodeDate(0, 12, 31, &v));
    EXPECT_FALSE(encodeDate(10000, 1, 1, &v));
    EXPECT_FALSE(encodeDate(2024, 0, 1, &v));
    EXPECT_FALSE(encodeDate(2024, 4, 31, &v));
    EXPECT_FALSE(encodeDate(2024, 1, 0, &v));
    EXPECT_FALSE(encodeTime(24, 0, 0, 0, &v));
    EXPECT_FALSE(encodeTime(0, 60, 0, 0, &v));
    EXPECT_FALSE(encodeTime(0, 0, 60, 0, &v));
    EXPECT_FALSE(encodeTime(0, 0, 0, 1000, &v));
    EXPECT_FALSE(encodeTime(-1, 0, 0, 0, &v));
    EXPECT_EQ(v, 123);
}

TEST(DateCalendar, EveryDayFromYearOneToYear9999RoundTrips)
{
    Parts previous;
    for (int32_t n = MinDayNumber; n <= MaxDayNumber; ++n) {
        Parts p;
        ASSERT_TRUE(decode(n, &p)) << n;
        double back = 0;
        ASSERT_TRUE(encodeDate(p.year, p.month, p.day, &back)) << n;
        ASSERT_EQ(back, n);
        if (n > MinDayNumber) {
            ASSERT_EQ(p.dayOfWeek, previous.dayOfWeek % 7 + 1) << n;
        }
        previous = p;
    }
}

TEST(DateCalendar, DecodeRoundsToMillisecondsAndKeepsTimeOfDayBefore1899)
{
    const struct {
        double x;
        Parts expected;
    } cases[] = {
        {0, {1899, 12, 30, 7, 0, 0, 0, 0}},
        {-1.25, {1899, 12, 29, 6, 6, 0, 0, 0}},
        {-0.5, {1899, 12, 30, 7, 12, 0, 0, 0}},
        {-693593.5, {1, 1, 1, 2, 12, 0, 0, 0}},
        {2958465.99998843, {9999, 12, 31, 6, 23, 59, 59, 0}},
        {0.99999999999, {1899, 12, 31, 1, 0, 0, 0, 0}},
        {date(2024, 6, 2), {2024, 6, 2, 1, 0, 0, 0, 0}},  // a Sunday
        {at(2024, 2, 29, 13, 45, 30, 123), {2024, 2, 29, 5, 13, 45, 30, 123}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(formatFloatGeneral(c.x).toStdString());
        Parts p;
        ASSERT_TRUE(decode(c.x, &p));
        EXPECT_EQ(p.year, c.expected.year);
        EXPECT_EQ(p.month, c.expected.month);
        EXPECT_EQ(p.day, c.expected.day);
        EXPECT_EQ(p.dayOfWeek, c.expected.dayOfWeek);
        EXPECT_EQ(p.hour, c.expected.hour);
        EXPECT_EQ(p.minute, c.expected.minute);
        EXPECT_EQ(p.second, c.expected.second);
        EXPECT_EQ(p.msec, c.expected.msec);
    }
    EXPECT_EQ(combine(-1, 0.25), -1.25);
    EXPECT_EQ(combine(2, 0.25), 2.25);
}

TEST(DateCalendar, DecodeRefusesValuesWithoutACalendarDate)
{
    Parts p;
    EXPECT_FALSE(decode(MinDayNumber - 1, &p));
    EXPECT_FALSE(decode(MaxDayNumber + 1, &p));
    EXPECT_FALSE(decode(1e300, &p));
    EXPECT_FALSE(decode(-1e300, &p));
    EXPECT_FALSE(decode(std::nan(""), &p));
    EXPECT_FALSE(decode(HUGE_VAL, &p));
}

TEST(DateCalendar, QtConversions)
{
    double x = at(2024, 3, 5, 14, 7, 9, 45);
    QDateTime q = toQDateTime(x);
    EXPECT_EQ(q.date(), QDate(2024, 3, 5));
    EXPECT_EQ(q.time(), QTime(14, 7, 9, 45));
    EXPECT_EQ(fromQDateTime(q), x);
    EXPECT_EQ(fromQDateTime(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
    EXPECT_FALSE(toQDateTime(1e10).isValid());
}

// ---- clock ----

TEST_F(DateTimeTest, ClockIsInjectable)
{
    EXPECT_EQ(now(), at(2024, 6, 15, 10, 30));
    setClock({});
    double system = fromQDateTime(QDateTime::currentDateTime());
    EXPECT_NEAR(now(), system, 1.0 / 24 / 60);  // within a minute
}

// ---- the parts the date statement stores ----

TEST_F(DateTimeTest, PartsOfADateTime)
{
    const double x = at(2024, 2, 29, 13, 45, 30, 123);  // a Thursday
    const struct {
        Part part;
        Value expected;
    } cases[] = {
        {Part::DateTime, Value::dateTime(x)},
        {Part::Date, Value(double(date(2024, 2, 29)))},
        {Part::Year, Value(2024)},
        {Part::Month, Value(2)},
        {Part::Day, Value(29)},
        {Part::Week, Value(5)},
        {Part::Hour, Value(13)},
        {Part::Minute, Value(45)},
        {Part::Second, Value(30)},
        {Part::MillSecond, Value(123)},
        {Part::Days, Value(45351)},
        {Part::Hours, Value(45351 * 24 + 13)},
        {Part::Minutes, Value((45351 * 24 + 13) * 60 + 45)},
        // Beyond 32 bits the count is kept whole as a float instead of wrapping.
        {Part::Seconds, Value(double(((45351LL * 24 + 13) * 60 + 45) * 60 + 30))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.part));
        Value out;
        QString error;
        ASSERT_TRUE(part(x, c.part, &out, &error)) << error.toStdString();
        EXPECT_EQ(out, c.expected);
    }
    Value out;
    ASSERT_TRUE(part(x, Part::Time, &out));
    ASSERT_EQ(out.kind(), Value::Kind::Float);
    EXPECT_DOUBLE_EQ(out.asFloat(), time(13, 45, 30, 123));
}

TEST_F(DateTimeTest, WeekOfASundayIsOne)
{
    setClock([] { return at(2024, 6, 2, 8, 0); });
    Value out;
    ASSERT_TRUE(part(now(), Part::Week, &out));
    EXPECT_EQ(out, Value(1));
}

TEST_F(DateTimeTest, DifferencesCountWholeUnitsAfterRoundingToMilliseconds)
{
    // 10:00 - 09:00 as date-times: the double difference is a hair below 1/24.
    Value diff;
    ASSERT_TRUE(values::binary(ValueOp::Subtract, Value::dateTime(at(2024, 6, 15, 10, 0)),
                               Value::dateTime(at(2024, 6, 15, 9, 0)), &diff, nullptr));
    ASSERT_EQ(diff.kind(), Value::Kind::Float);
    Value minutes;
    ASSERT_TRUE(part(diff.asFloat(), Part::Minutes, &minutes));
    EXPECT_EQ(minutes, Value(60));

    // Every minute and every second of a day, as differences of two date-times.
    const double base = date(2024, 6, 15);
    for (int m = 0; m < 1440; ++m) {
        Value d, out;
        ASSERT_TRUE(values::binary(ValueOp::Subtract, Value::dateTime(base + time(m / 60, m % 60)),
                                   Value::dateTime(base), &d, nullptr));
        ASSERT_TRUE(part(d.asFloat(), Part::Minutes, &out));
        ASSERT_EQ(out, Value(m)) << "minute " << m;
        ASSERT_TRUE(part(d.asFloat(), Part::Hours, &out));
        ASSERT_EQ(out, Value(m / 60)) << "minute " << m;
    }
    for (int s = 0; s < 86400; ++s) {
        Value d, out;
        ASSERT_TRUE(values::binary(ValueOp::Subtract, Value::dateTime(base + time(s / 3600, s / 60 % 60, s % 60)),
                                   Value::dateTime(base), &d, nullptr));
        ASSERT_TRUE(part(d.asFloat(), Part::Seconds, &out));
        ASSERT_EQ(out, Value(s)) << "second " << s;
    }
    // One whole day after 10:00 is one day, not zero.
    Value day, days;
    ASSERT_TRUE(values::binary(ValueOp::Subtract, Value::dateTime(at(2024, 6, 16, 10, 0)),
                               Value::dateTime(at(2024, 6, 15, 10, 0)), &day, nullptr));
    ASSERT_TRUE(part(day.asFloat(), Part::Days, &days));
    EXPECT_EQ(days, Value(1));
}

TEST_F(DateTimeTest, CountsOfNegativeAndHugeValues)
{
    const struct {
        double x;
        Part part;
        Value expected;
    } cases[] = {
        {-1.25, Part::Days, Value(-1)},
        {-1.25, Part::Hours, Value(-30)},
        {-1.25, Part::Date, Value(-1.0)},
        {-1.25, Part::Time, Value(-0.25)},
        {-1.25, Part::Hour, Value(6)},
        {24855.0, Part::Seconds, Value(2147472000)},
        {24856.0, Part::Seconds, Value(2147558400.0)},
        {-24856.0, Part::Seconds, Value(-2147558400.0)},
        {1e15, Part::Seconds, Value(8.64e19)},
        {1e15, Part::Days, Value(1e15)},
        {1e15, Part::Date, Value(1e15)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(formatFloatGeneral(c.x).toStdString());
        Value out;
        QString error;
        ASSERT_TRUE(part(c.x, c.part, &out, &error)) << error.toStdString();
        EXPECT_EQ(out, c.expected);
    }
}

TEST_F(DateTimeTest, PartsOfAValueWithoutADateFail)
{
    for (Part p : {Part::Year, Part::Month, Part::Day, Part::Week, Part::Hour, Part::Minute, Part::Second,
                   Part::MillSecond}) {
        Value out = Value("untouched");
        QString error;
        EXPECT_FALSE(part(1e10, p, &out, &error));
        EXPECT_EQ(error, "'10000000000' is not a valid date and time");
        EXPECT_EQ(out, Value("untouched"));
    }
    Value out;
    QString error;
    EXPECT_FALSE(part(std::nan(""), Part::Seconds, &out, &error));
    EXPECT_EQ(error, "'NAN' is not a valid date and time");
}

// ---- formatting ----

TEST_F(DateTimeTest, PatternLetters)
{
    const double x = at(2024, 3, 5, 14, 7, 9, 45);  // a Tuesday
    const struct {
        const char* pattern;
        const char* text;
    } cases[] = {
        {"d", "5"},
        {"dd", "05"},
        {"ddd", "Tue"},
        {"dddd", "Tuesday"},
        {"ddddd", "3/5/2024"},
        {"dddddd", "Tuesday, March 5, 2024"},
        {"m", "3"},
        {"mm", "03"},
        {"mmm", "Mar"},
        {"mmmm", "March"},
        {"y", "24"},
        {"yy", "24"},
        {"yyyy", "2024"},
        {"h", "14"},
        {"hh", "14"},
        {"n", "7"},
        {"nn", "07"},
        {"s", "9"},
        {"ss", "09"},
        {"z", "45"},
        {"zzz", "045"},
        {"h am/pm", "2 pm"},
        {"hh AM/PM", "02 PM"},
        {"h a/p", "2 p"},
        {"h ampm", "2 PM"},
        {"t", "2:07 PM"},
        {"tt", "2:07:09 PM"},
        {"c", "3/5/2024 2:07:09 PM"},
        {"", "3/5/2024 2:07:09 PM"},
        {"hh:mm", "14:07"},  // m right after h is minutes
        {"hh:mm:ss dd/mm", "14:07:09 05/03"},
        {"mm/dd/yyyy", "03/05/2024"},
        {"yyyy-mm-dd hh:nn:ss.zzz", "2024-03-05 14:07:09.045"},
        {"YYYY-MM-DD HH:NN", "2024-03-05 14:07"},
        {"'day' d", "day 5"},
        {"\"at\" h", "at 14"},
        {"'it''s' d", "its 5"},
        {"'unterminated", "unterminated"},
        {"h 'hours' m", "14 hours 7"},
        {"x!", "x!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        EXPECT_EQ(fmt(QString::fromLatin1(c.pattern), x), QString::fromLatin1(c.text));
    }
}

TEST_F(DateTimeTest, TwelveHourClockAndMidnight)
{
    EXPECT_EQ(fmt("h:nn am/pm", at(2024, 3, 5, 0, 5)), "12:05 am");
    EXPECT_EQ(fmt("h:nn am/pm", at(2024, 3, 5, 12, 5)), "12:05 pm");
    EXPECT_EQ(fmt("h:nn am/pm", at(2024, 3, 5, 11, 59)), "11:59 am");
    EXPECT_EQ(fmt("c", date(2024, 3, 5)), "3/5/2024");
    EXPECT_EQ(fmt("c", at(2024, 3, 5, 0, 0, 1)), "3/5/2024 12:00:01 AM");
    // The hour looks ahead only to the next hour letter.
    EXPECT_EQ(fmt("hh hh am/pm", at(2024, 3, 5, 15, 0)), "15 03 pm");
}

TEST_F(DateTimeTest, SeparatorsAndNamesComeFromTheLocale)
{
    DateLocale l = DateLocale::c();
    l.dateSeparator = u'-';
    l.timeSeparator = u'.';
    const double x = at(2024, 3, 5, 14, 7, 9);
    EXPECT_EQ(fmt("yyyy/mm/dd hh:nn", x, l), "2024-03-05 14.07");
    EXPECT_EQ(fmt("c", x, DateLocale::c()), "03/05/2024 14:07:09");
    l.longMonthNames = QStringList{"一月", "二月", "三月", "四月", "五月", "六月",
                                   "七月", "八月", "九月", "十月", "十一月", "十二月"};
    EXPECT_EQ(fmt("mmmm", x, l), QString::fromUtf8("三月"));

    // Without a locale argument the current locale is used.
    setCurrentLocale(DateLocale::c());
    QString out;
    ASSERT_TRUE(format("c", x, &out));
    EXPECT_EQ(out, "03/05/2024 14:07:09");
    EXPECT_EQ(Value::dateTime(x).displayText(), "03/05/2024 14:07:09");
}

TEST_F(DateTimeTest, FarPastFutureAndNegativeDays)
{
    EXPECT_EQ(fmt("yyyy-mm-dd dddd", date(1, 1, 1)), "0001-01-01 Monday");
    EXPECT_EQ(fmt("yyyy-mm-dd hh:nn:ss.zzz dddd", at(9999, 12, 31, 23, 59, 59, 999)),
              "9999-12-31 23:59:59.999 Friday");
    EXPECT_EQ(fmt("yyyy-mm-dd hh:nn", -1.25), "1899-12-29 06:00");
    EXPECT_EQ(fmt("c", -1.25), "12/29/1899 6:00:00 AM");
    EXPECT_EQ(fmt("yy", date(1905, 1, 1)), "05");
}

TEST_F(DateTimeTest, FormattingAValueWithoutADateFails)
{
    QString out = "untouched", error;
    EXPECT_FALSE(format("yyyy", 1e10, &out, &error));
    EXPECT_EQ(error, "'10000000000' is not a valid date and time");
    EXPECT_EQ(out, "untouched");
    // Literal text needs no date.
    ASSERT_TRUE(format("'x'", 1e10, &out, &error));
    EXPECT_EQ(out, "x");
}

// ---- parsing ----

TEST_F(DateTimeTest, ParsesShortDateAndLongTime)
{
    const struct {
        const char* text;
        double expected;
    } cases[] = {
        {"3/5/2024", date(2024, 3, 5)},
        {"3/5/2024 2:07:09 PM", at(2024, 3, 5, 14, 7, 9)},
        {"3/5/2024 14:07:09.045", at(2024, 3, 5, 14, 7, 9, 45)},
        {"  3 / 5 / 2024   10:00  ", at(2024, 3, 5, 10, 0)},
        {"3/5/2024/", date(2024, 3, 5)},
        {"14:07:09", time(14, 7, 9)},
        {"2:07 pm", time(14, 7)},
        {"PM 2:07", time(14, 7)},
        {"12:00 AM", 0},
        {"12:00 PM", 0.5},
        {"7", time(7, 0)},
        {"3/5", date(2024, 3, 5)},       // the current year
        {"3/5/24", date(2024, 3, 5)},    // two-digit years: 1974 .. 2073 from 2024
        {"3/5/80", date(1980, 3, 5)},
        {"3/5/73", date(2073, 3, 5)},
        {"3/5/74", date(1974, 3, 5)},
        {"1/1/0001", date(1, 1, 1)},
        {"12/31/9999 11:59:59 PM", at(9999, 12, 31, 23, 59, 59)},
        {"12/29/1899 6:00:00 AM", -1.25},
        {"2/29/2000", date(2000, 2, 29)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        double x = -99;
        QString error;
        ASSERT_TRUE(parseDateTime(QString::fromLatin1(c.text), &x, &error)) << error.toStdString();
        EXPECT_EQ(x, c.expected);
    }
}

TEST_F(DateTimeTest, RefusesTextThatIsNoDateOrTime)
{
    for (const char* text : {"abc", "", "2/29/1900", "2/30/2024", "13/1/2024", "3/5/2024 25:00", "13:00 PM",
                             "0:30 AM", "3/5/2024 10:00 xyz", "10:60", "3/5/10000", "3/", "3/5/2024 10:"}) {
        SCOPED_TRACE(text);
        double x = -99;
        QString error;
        EXPECT_FALSE(parseDateTime(QString::fromLatin1(text), &x, &error));
        EXPECT_EQ(error, QStringLiteral("'%1' is not a valid date and time").arg(QLatin1String(text)));
        EXPECT_EQ(x, -99);
    }
    double x = 0;
    QString error;
    EXPECT_FALSE(parseDate("10:00", &x, &error));
    EXPECT_EQ(error, "'10:00' is not a valid date");
    EXPECT_FALSE(parseDate("3/5/2024 10:00", &x, &error));
    EXPECT_EQ(error, "'3/5/2024 10:00' is not a valid date");
    EXPECT_FALSE(parseTime("3/5/2024", &x, &error));
    EXPECT_EQ(error, "'3/5/2024' is not a valid time");
    ASSERT_TRUE(parseDate("3/5/2024", &x, &error));
    EXPECT_EQ(x, date(2024, 3, 5));
    ASSERT_TRUE(parseTime("10:30:15", &x, &error));
    EXPECT_EQ(x, time(10, 30, 15));
}

TEST_F(DateTimeTest, DateOrderFollowsTheShortDateFormat)
{
    DateLocale dmy = DateLocale::english();
    dmy.shortDateFormat = "dd/mm/yyyy";
    DateLocale ymd = DateLocale::english();
    ymd.shortDateFormat = "yyyy-mm-dd";
    ymd.dateSeparator = u'-';
    double x = 0;
    ASSERT_TRUE(parseDateTime("5/3/2024", dmy, &x));
    EXPECT_EQ(x, date(2024, 3, 5));
    ASSERT_TRUE(parseDateTime("5/3", dmy, &x));
    EXPECT_EQ(x, date(2024, 3, 5));
    ASSERT_TRUE(parseDateTime("2024-03-05 14:07:09", ymd, &x));
    EXPECT_EQ(x, at(2024, 3, 5, 14, 7, 9));
    ASSERT_TRUE(parseDateTime("03/05/24 14:07:09", DateLocale::c(), &x));
    EXPECT_EQ(x, at(2024, 3, 5, 14, 7, 9));
}

TEST_F(DateTimeTest, FormatAndParseRoundTrip)
{
    std::mt19937_64 rng(12345);
    std::uniform_int_distribution<int32_t> day(MinDayNumber, MaxDayNumber);
    std::uniform_int_distribution<int32_t> second(0, 86399);
    DateLocale dmy24 = DateLocale::english();
    dmy24.shortDateFormat = "dd.mm.yyyy";
    dmy24.dateSeparator = u'.';
    dmy24.longTimeFormat = "hh:nn:ss";
    for (int i = 0; i < 5000; ++i) {
        const int32_t s = second(rng);
        const double x = combine(day(rng), double(s) / 86400.0);
        for (const DateLocale& locale : {dmy24, DateLocale::english()}) {
            QString text, error;
            ASSERT_TRUE(format("c", x, locale, &text, &error)) << error.toStdString();
            double back = 0;
            ASSERT_TRUE(parseDateTime(text, locale, &back, &error)) << error.toStdString();
            Parts a, b;
            ASSERT_TRUE(decode(x, &a));
            ASSERT_TRUE(decode(back, &b));
            ASSERT_EQ(std::make_tuple(a.year, a.month, a.day, a.hour, a.minute, a.second),
                      std::make_tuple(b.year, b.month, b.day, b.hour, b.minute, b.second))
                << text.toStdString();
        }
    }
}

TEST_F(DateTimeTest, ValuesReadAsDateTimes)
{
    double x = -99;
    ASSERT_TRUE(fromValue(Value("3/5/2024 10:00"), &x));
    EXPECT_EQ(x, at(2024, 3, 5, 10, 0));
    ASSERT_TRUE(fromValue(Value(), &x));
    EXPECT_EQ(x, 0);
    ASSERT_TRUE(fromValue(Value(5), &x));
    EXPECT_EQ(x, 5);
    ASSERT_TRUE(fromValue(Value::dateTime(1.5), &x));
    EXPECT_EQ(x, 1.5);
    QString error;
    x = -99;
    EXPECT_FALSE(fromValue(Value("abc"), &x, &error));
    EXPECT_EQ(error, "'abc' is not a valid date and time");
    // A lone number in a text reads as an hour, as the time conversion reads it.
    ASSERT_TRUE(fromValue(Value("5"), &x, &error));
    EXPECT_EQ(x, time(5, 0));
}

}  // namespace

// The conventions the programs take from the system at start-up, here from three locales.
TEST_F(DateTimeTest, ConventionsOfAGermanAChineseAndAnAmericanSystem)
{
    const struct {
        const char* name;
        QLocale locale;
        std::optional<double> sevenSlashOne;  // "7/1/2024" in the locale's order; none: refused
        const char* c;                        // 2024-01-07 10:00:05 as "c"
        const char* names;                    // "dddd ddd mmmm mmm" of that day
    } cases[] = {
        {"German", QLocale(QLocale::German, QLocale::Germany), date(2024, 1, 7), "07.01.2024 10:00:05",
         "Sonntag So. Januar Jan."},
        // Year first: a year-last date is no date of this locale.
        {"Chinese", QLocale(QLocale::Chinese, QLocale::China), std::nullopt, "2024/1/7 10:00:05",
         "星期日 周日 一月 1月"},
        {"United States", QLocale(QLocale::English, QLocale::UnitedStates), date(2024, 7, 1), "1/7/2024 10:00:05 AM",
         "Sunday Sun January Jan"},
    };
    const double x = at(2024, 1, 7, 10, 0, 5);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DateLocale l = DateLocale::fromQLocale(c.locale);
        double parsed = -99;
        QString error;
        ASSERT_TRUE(parseDateTime("2024-01-07 10:00:00", l, &parsed, &error)) << error.toStdString();
        EXPECT_EQ(parsed, at(2024, 1, 7, 10, 0));
        parsed = -99;
        EXPECT_EQ(parseDateTime("7/1/2024", l, &parsed, &error), c.sevenSlashOne.has_value()) << error.toStdString();
        EXPECT_EQ(parsed, c.sevenSlashOne.value_or(-99));
        EXPECT_EQ(fmt("c", x, l), QString::fromUtf8(c.c));
        EXPECT_EQ(fmt("dddd ddd mmmm mmm", x, l), QString::fromUtf8(c.names));
        // What the locale writes it reads back, through the conventions installed for everyone.
        setCurrentLocale(l);
        ASSERT_TRUE(parseDateTime(QString::fromUtf8(c.c), &parsed, &error)) << error.toStdString();
        EXPECT_EQ(parsed, x);
        ASSERT_TRUE(fromValue(Value("2024-01-07 10:00:00"), &parsed, &error)) << error.toStdString();
        EXPECT_EQ(parsed, at(2024, 1, 7, 10, 0));
    }
    // The English conventions read 7/1/2024 as July 1 and take the year-first form too.
    double parsed = 0;
    ASSERT_TRUE(parseDateTime("7/1/2024", DateLocale::english(), &parsed));
    EXPECT_EQ(parsed, date(2024, 7, 1));
    ASSERT_TRUE(parseDateTime("2024-01-07 10:00:00", DateLocale::english(), &parsed));
    EXPECT_EQ(parsed, at(2024, 1, 7, 10, 0));
}

// On a year-first system a date with its year last is refused; the day and month are never
// guessed in an order the locale does not use.
TEST_F(DateTimeTest, YearLastDatesOnYearFirstSystems)
{
    for (const QLocale& locale : {QLocale(QLocale::Chinese, QLocale::China), QLocale(QLocale::Japanese, QLocale::Japan),
                                  QLocale(QLocale::Hungarian, QLocale::Hungary)}) {
        SCOPED_TRACE(locale.name().toStdString());
        const DateLocale l = DateLocale::fromQLocale(locale);
        for (const char* text : {"7/1/2024", "7/1/2024 10:00:00", "12/31/2024", "31/12/2024", "7-1-2024"}) {
            SCOPED_TRACE(text);
            double x = -99;
            QString error;
            EXPECT_FALSE(parseDateTime(QString::fromLatin1(text), l, &x, &error));
            EXPECT_EQ(error, QStringLiteral("'%1' is not a valid date and time").arg(QLatin1String(text)));
            EXPECT_EQ(x, -99);
        }
        // The locale's own order still reads, with a short year too.
        double x = 0;
        ASSERT_TRUE(parseDateTime("2024/1/7", l, &x));
        EXPECT_EQ(x, date(2024, 1, 7));
        ASSERT_TRUE(parseDateTime("24/1/7", l, &x));
        EXPECT_EQ(x, date(2024, 1, 7));
    }
}

// The C locale (LANG=C, C.UTF-8, POSIX or unset) has fixed conventions of its own: month first,
// a four-digit year and a 24-hour clock. What it writes it reads back: a date read from the
// year-first form, turned into text and read again is the same date.
TEST_F(DateTimeTest, CLocaleReadsBackWhatItWrites)
{
    const DateLocale l = DateLocale::fromQLocale(QLocale::c());
    const double x = at(2024, 1, 7, 10, 30, 15);
    EXPECT_EQ(fmt("c", x, l), "01/07/2024 10:30:15");
    EXPECT_EQ(fmt("c", x, l), fmt("c", x, DateLocale::c()));
    EXPECT_EQ(fmt("dddd ddd mmmm mmm", x, l), "Sunday Sun January Jan");

    setCurrentLocale(l);
    double read = 0;
    QString error;
    ASSERT_TRUE(fromValue(Value("2024-01-07 10:30:15"), &read, &error)) << error.toStdString();
    EXPECT_EQ(read, x);
    QString text;
    ASSERT_TRUE(Value::dateTime(read).toText(&text, &error)) << error.toStdString();
    double again = -99;
    ASSERT_TRUE(fromValue(Value(text), &again, &error)) << error.toStdString();
    EXPECT_EQ(again, x);
    Value day;
    ASSERT_TRUE(part(again, Part::Day, &day, &error));
    EXPECT_EQ(day, Value(7));
}

// Every locale Qt knows, and the C locale, writes dates that it reads back, with the century.
TEST_F(DateTimeTest, EveryLocaleReadsBackWhatItWritesWithFourDigitYears)
{
    const double probes[] = {at(2024, 1, 7, 10, 30, 15), at(1999, 12, 25, 23, 59, 59), date(2024, 11, 30),
                             at(5, 3, 4, 0, 0, 1), at(9999, 12, 31, 12, 0, 0), time(13, 5, 6)};
    QList<QLocale> locales = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    locales.prepend(QLocale::c());
    ASSERT_GT(locales.size(), 100);
    for (const QLocale& locale : locales) {
        const DateLocale l = DateLocale::fromQLocale(locale);
        for (const double x : probes) {
            QString text, error;
            ASSERT_TRUE(format("c", x, l, &text, &error)) << error.toStdString();
            double back = -99;
            EXPECT_TRUE(parseDateTime(text, l, &back, &error) && back == x)
                << locale.name().toStdString() << ": '" << text.toStdString() << "' " << error.toStdString();
            Parts p;
            ASSERT_TRUE(decode(x, &p));
            EXPECT_TRUE(text.contains(QString::number(p.year).rightJustified(4, u'0')))
                << locale.name().toStdString() << ": '" << text.toStdString() << "'";
        }
    }
}
