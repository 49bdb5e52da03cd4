#pragma once

#include <QChar>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

class Value;

// Date-time values are days since 30 December 1899 00:00; the fraction is the time of day.
// Before that day the integer part (truncated toward zero) is the date and the fraction's
// absolute value is still the time: -1.25 is 29 December 1899 06:00.
namespace datetime {

constexpr int64_t MSecsPerDay = 86400000;
constexpr int32_t MinDayNumber = -693593;  // 0001-01-01
constexpr int32_t MaxDayNumber = 2958465;  // 9999-12-31

// The names, separators and formats that formatting and parsing use.
struct DateLocale {
    QStringList shortMonthNames;  // 12 entries, January first
    QStringList longMonthNames;
    QStringList shortDayNames;  // 7 entries, Sunday first
    QStringList longDayNames;
    QChar dateSeparator = u'/';
    QChar timeSeparator = u':';
    QChar decimalSeparator = u'.';  // between seconds and milliseconds when parsing
    QString shortDateFormat;
    QString longDateFormat;
    QString shortTimeFormat;
    QString longTimeFormat;
    QString timeAMString;
    QString timePMString;
    // A two-digit year falls within this many years before the current year and the rest of its century.
    int twoDigitYearCenturyWindow = 50;

    // The English (United States) conventions: M/d/yyyy and h:mm:ss AM/PM. The default.
    static DateLocale english();
    // The C conventions: mm/dd/yyyy and hh:nn:ss on a 24-hour clock.
    static DateLocale c();
    // The conventions of a Qt locale: its short date order and separator, its time formats, its
    // month and day names and AM/PM texts. The programs install the system's at start-up.
    // Years are always written with four digits, and what the conventions write they read back:
    // where a locale's own forms would not, its date order in numbers and a 24-hour clock are
    // used. Qt's C locale (LANG=C, C.UTF-8, POSIX or unset) gives c().
    static DateLocale fromQLocale(const QLocale& locale);
};

// Sets the locale formatting and parsing use when none is passed. Safe from any thread.
void setCurrentLocale(const DateLocale& locale);
// Installs the system locale's conventions; each program calls it once at start-up.
void useSystemLocale();

// "Now" as a local date-time. Tests install their own clock; an empty function restores the system's.
using Clock = std::function<double()>;
void setClock(Clock clock);
double now();

// Conversions with Qt's types (local time, whole milliseconds).
double fromQDateTime(const QDateTime& dt);
// Invalid QDateTime when days is outside 0001-01-01 .. 9999-12-31.
QDateTime toQDateTime(double days);

bool isLeapYear(int year);
int daysInMonth(int year, int month);  // 0 for a month outside 1..12

// Encoding; false for an argument out of range (years 1..9999, hour 0..23, ...).
bool encodeDate(int year, int month, int day, double* days);
bool encodeTime(int hour, int minute, int second, int msec, double* fraction);
// Date plus time in the classic representation (the time is subtracted for dates before 1899-12-30).
double combine(double date, double time);

struct Parts {
    int year = 0, month = 0, day = 0;
    int dayOfWeek = 0;  // 1 = Sunday ... 7 = Saturday
    int hour = 0, minute = 0, second = 0, msec = 0;
};
// Rounds to whole milliseconds first, so 0.99999999999 is the next day at 00:00:00.000.
// False for a value that is not finite or outside 0001-01-01 .. 9999-12-31.
bool decode(double days, Parts* parts);

// Formats with the classic pattern letters: d dd ddd dddd ddddd dddddd, m mm mmm mmmm (m right
// after an h is minutes), yy yyyy, h hh (12-hour when am/pm, a/p or ampm follows), n nn, s ss,
// z zzz, t tt, am/pm a/p ampm, c, the separators / and :, and quoted text '...' or "...".
// An empty pattern means "c". False with "'%s' is not a valid date and time" for a value
// that has no calendar date.
bool format(const QString& pattern, double days, QString* out, QString* error = nullptr);
bool format(const QString& pattern, double days, const DateLocale& locale, QString* out, QString* error = nullptr);

// Parses in the locale's short date and long time conventions: numbers in the order of the
// short date format with its date separator (a missing year is the current one, a two-digit
// year is placed by the century window), hours[:minutes[:seconds[.msec]]] with an optional
// AM/PM marker. Errors: "'%s' is not a valid date and time", "... valid date", "... valid time".
bool parseDateTime(const QString& text, double* days, QString* error = nullptr);
bool parseDateTime(const QString& text, const DateLocale& locale, double* days, QString* error = nullptr);
bool parseDate(const QString& text, double* days, QString* error = nullptr);
bool parseDate(const QString& text, const DateLocale& locale, double* days, QString* error = nullptr);
bool parseTime(const QString& text, double* days, QString* error = nullptr);
bool parseTime(const QString& text, const DateLocale& locale, double* days, QString* error = nullptr);

// A value read as a date-time: a string is parsed as date and time, anything else is
// converted to a number (empty gives 0).
bool fromValue(const Value& v, double* days, QString* error = nullptr);

// The parts the date statement stores, in the order of its operation enumeration.
enum class Part { DateTime, Date, Year, Month, Day, Week, Time, Hour, Minute, Second, MillSecond,
                  Days, Hours, Minutes, Seconds };
// The value of one part of x. Every part is taken from x rounded to whole milliseconds, so a
// difference of 10:00 and 09:00 is 60 minutes. The counts (Days ... Seconds) are truncated toward
// zero and are integers while they fit in 32 bits, floating-point numbers beyond.
bool part(double x, Part which, Value* out, QString* error = nullptr);

}  // namespace datetime
