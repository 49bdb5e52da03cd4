#include "engine/datetime.h"

#include "engine/value.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

namespace datetime {

namespace {

// Days from 1970-01-01 to 1899-12-30 is -25569; the civil algorithms below count from 1970.
constexpr int64_t UnixToOurs = 25569;

int64_t daysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int* year, int* month, int* day)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int d = int(doy - (153 * mp + 2) / 5 + 1);
    const int m = int(mp < 10 ? mp + 3 : mp - 9);
    *year = int(yoe + era * 400 + (m <= 2));
    *month = m;
    *day = d;
}

// x rounded to whole milliseconds; false when that leaves the 64-bit range.
bool toMilliseconds(double x, int64_t* ms)
{
    if (!std::isfinite(x))
        return false;
    double v = std::round(x * double(MSecsPerDay));
    if (!(std::fabs(v) < 9.0e18))
        return false;
    *ms = int64_t(v);
    return true;
}

bool invalidValue(double x, QString* error)
{
    if (error)
        *error = QStringLiteral("'%1' is not a valid date and time").arg(formatFloatGeneral(x));
    return false;
}

bool invalidText(const char* what, const QString& text, QString* error)
{
    if (error)
        *error = QStringLiteral("'%1' is not a valid %2").arg(text, QLatin1String(what));
    return false;
}

std::mutex& stateMutex()
{
    static std::mutex m;
    return m;
}

std::shared_ptr<const DateLocale>& localeSlot()
{
    static std::shared_ptr<const DateLocale> slot = std::make_shared<const DateLocale>(DateLocale::english());
    return slot;
}

Clock& clockSlot()
{
    static Clock slot;
    return slot;
}

std::shared_ptr<const DateLocale> localePtr()
{
    std::lock_guard lock(stateMutex());
    return localeSlot();
}

QStringList englishShortMonths()
{
    return {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
}
QStringList englishLongMonths()
{
    return {"January", "February", "March",     "April",   "May",      "June",
            "July",    "August",   "September", "October", "November", "December"};
}
QStringList englishShortDays() { return {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"}; }
QStringList englishLongDays()
{
    return {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
}

// ---- formatting ----

class Formatter {
public:
    Formatter(const DateLocale& locale, double x) : locale_(locale), x_(x) { valid_ = decode(x, &parts_); }

    bool run(const QString& pattern, QString* out, QString* error)
    {
        append(pattern.isEmpty() ? QStringLiteral("c") : pattern, 0);
        if (failed_)
            return invalidValue(x_, error);
        *out = out_;
        return true;
    }

private:
    bool need()
    {
        if (!valid_)
            failed_ = true;
        return valid_;
    }

    void number(int value, int digits) { out_ += QString::number(value).rightJustified(digits, u'0'); }

    static QString name(const QStringList& names, int index)
    {
        return index >= 0 && index < names.size() ? names[index] : QString();
    }

    // Whether an am/pm marker follows before the next hour letter, outside quotes.
    static bool twelveHourAhead(const QString& f, qsizetype i)
    {
        bool quoted = false;
        for (; i < f.size(); ++i) {
            QChar c = f[i];
            if (c == u'\'' || c == u'"') {
                quoted = !quoted;
            } else if (!quoted && (c == u'a' || c == u'A')) {
                QStringView rest = QStringView(f).mid(i);
                return rest.startsWith(u"am/pm", Qt::CaseInsensitive) || rest.startsWith(u"a/p", Qt::CaseInsensitive) ||
                       rest.startsWith(u"ampm", Qt::CaseInsensitive);
            } else if (c == u'h' || c == u'H') {
                return false;
            }
        }
        return false;
    }

    void append(const QString& f, int level)
    {
        // Formats nest (c holds the short date format) but never deeper than two levels.
        if (level >= 2)
            return;
        char16_t lastToken = u' ';
        bool use12 = false;
        qsizetype i = 0;
        const qsizetype n = f.size();
        while (i < n) {
            const QChar starter = f[i];
            const qsizetype start = i++;
            auto count = [&] {
                while (i < n && f[i] == starter)
                    ++i;
                return int(i - start);
            };
            char16_t token = starter.unicode();
            if (token >= u'a' && token <= u'z')
                token = char16_t(token - 32);
            if (token >= u'A' && token <= u'Z') {
                if (token == u'M' && lastToken == u'H')
                    token = u'N';
                lastToken = token;
            }
            switch (token) {
            case u'Y': {
                int c = count();
                if (!need())
                    return;
                if (c <= 2)
                    number(parts_.year % 100, 2);
                else
                    number(parts_.year, 4);
                break;
            }
            case u'M': {
                int c = count();
                if (!need())
                    return;
                if (c <= 2)
                    number(parts_.month, c);
                else if (c == 3)
                    out_ += name(locale_.shortMonthNames, parts_.month - 1);
                else
                    out_ += name(locale_.longMonthNames, parts_.month - 1);
                break;
            }
            case u'D': {
                int c = count();
                if (c <= 4 && !need())
                    return;
                if (c <= 2)
                    number(parts_.day, c);
                else if (c == 3)
                    out_ += name(locale_.shortDayNames, parts_.dayOfWeek - 1);
                else if (c == 4)
                    out_ += name(locale_.longDayNames, parts_.dayOfWeek - 1);
                else if (c == 5)
                    append(locale_.shortDateFormat, level + 1);
                else
                    append(locale_.longDateFormat, level + 1);
                break;
            }
            case u'H': {
                int c = count();
                if (!need())
                    return;
                if (twelveHourAhead(f, i))
                    use12 = true;
                int h = parts_.hour;
                if (use12)
                    h = h == 0 ? 12 : (h > 12 ? h - 12 : h);
                number(h, std::min(c, 2));
                break;
            }
            case u'N': {
                int c = count();
                if (!need())
                    return;
                number(parts_.minute, std::min(c, 2));
                break;
            }
            case u'S': {
                int c = count();
                if (!need())
                    return;
                number(parts_.second, std::min(c, 2));
                break;
            }
            case u'Z': {
                int c = count();
                if (!need())
                    return;
                number(parts_.msec, std::min(c, 3));
                break;
            }
            case u'T': {
                int c = count();
                append(c == 1 ? locale_.shortTimeFormat : locale_.longTimeFormat, level + 1);
                break;
            }
            case u'C': {
                count();
                append(locale_.shortDateFormat, level + 1);
                if (!need())
                    return;
                if (parts_.hour != 0 || parts_.minute != 0 || parts_.second != 0) {
                    out_ += u' ';
                    append(locale_.longTimeFormat, level + 1);
                }
                break;
            }
            case u'A': {
                QStringView rest = QStringView(f).mid(start);
                if (rest.startsWith(u"am/pm", Qt::CaseInsensitive)) {
                    if (!need())
                        return;
                    out_ += rest.mid(parts_.hour >= 12 ? 3 : 0, 2);
                    i = start + 5;
                    use12 = true;
                } else if (rest.startsWith(u"a/p", Qt::CaseInsensitive)) {
                    if (!need())
                        return;
                    out_ += rest.mid(parts_.hour >= 12 ? 2 : 0, 1);
                    i = start + 3;
                    use12 = true;
                } else if (rest.startsWith(u"ampm", Qt::CaseInsensitive)) {
                    if (!need())
                        return;
                    out_ += parts_.hour < 12 ? locale_.timeAMString : locale_.timePMString;
                    i = start + 4;
                    use12 = true;
                } else {
                    out_ += starter;
                }
                break;
            }
            case u'/':
                if (!locale_.dateSeparator.isNull())
                    out_ += locale_.dateSeparator;
                break;
            case u':':
                if (!locale_.timeSeparator.isNull())
                    out_ += locale_.timeSeparator;
                break;
            case u'\'':
            case u'"': {
                qsizetype close = f.indexOf(starter, i);
                if (close < 0)
                    close = n;
                out_ += QStringView(f).mid(i, close - i);
                i = close < n ? close + 1 : n;
                break;
            }
            default: out_ += starter; break;
            }
        }
    }

    const DateLocale& locale_;
    double x_;
    Parts parts_;
    bool valid_ = false;
    bool failed_ = false;
    QString out_;
};

// ---- parsing ----

enum class DateOrder { MDY, DMY, YMD };

DateOrder dateOrder(const QString& format)
{
    for (QChar c : format) {
        switch (c.toUpper().unicode()) {
        case u'E':
        case u'Y': return DateOrder::YMD;
        case u'M': return DateOrder::MDY;
        case u'D': return DateOrder::DMY;
        default: break;
        }
    }
    return DateOrder::MDY;
}

class Scanner {
public:
    Scanner(const QString& s, const DateLocale& locale) : s_(s), locale_(locale) {}

    bool atEnd() const { return pos_ >= s_.size(); }
    void reset() { pos_ = 0; }

    void blanks()
    {
        while (pos_ < s_.size() && s_[pos_] == u' ')
            ++pos_;
    }

    bool number(int* value, int* digits)
    {
        blanks();
        qsizetype i = pos_;
        int v = 0;
        // All digits belong to the number; a long one saturates and fails the range checks.
        while (i < s_.size() && s_[i] >= u'0' && s_[i] <= u'9') {
            v = std::min(v * 10 + (s_[i].unicode() - u'0'), 1000000);
            ++i;
        }
        if (i == pos_)
            return false;
        *digits = int(i - pos_);
        *value = v;
        pos_ = i;
        return true;
    }

    bool character(QChar c)
    {
        blanks();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool symbol(const QString& sym)
    {
        if (sym.isEmpty())
            return false;
        blanks();
        if (QStringView(s_).mid(pos_).startsWith(sym, Qt::CaseInsensitive)) {
            pos_ += sym.size();
            return true;
        }
        return false;
    }

    // A date separator: the locale's own, or "/" or "-", which every locale's users also type.
    bool dateSeparator(QChar* used)
    {
        for (QChar c : {locale_.dateSeparator, QChar(u'/'), QChar(u'-')}) {
            if (!c.isNull() && character(c)) {
                *used = c;
                return true;
            }
        }
        return false;
    }

    bool date(double* out)
    {
        int n1 = 0, n2 = 0, n3 = 0, l1 = 0, l2 = 0, l3 = 0;
        QChar sep;
        if (!(number(&n1, &l1) && dateSeparator(&sep) && number(&n2, &l2)))
            return false;
        const DateOrder order = dateOrder(locale_.shortDateFormat);
        int y = 0, m = 0, d = 0;
        if (character(sep)) {
            if (!number(&n3, &l3))
                return false;
            int yearDigits = 0;
            // A first number of more than two digits is a year (2024-01-07 in every locale). A
            // year-first locale has no order with the year last, so 7/1/2024 is no date there.
            const DateOrder read = l1 > 2 ? DateOrder::YMD : order;
            switch (read) {
            case DateOrder::MDY: y = n3, m = n1, d = n2, yearDigits = l3; break;
            case DateOrder::DMY: y = n3, m = n2, d = n1, yearDigits = l3; break;
            case DateOrder::YMD: y = n1, m = n2, d = n3, yearDigits = l1; break;
            }
            if (yearDigits <= 2) {
                const int base = currentYear() - locale_.twoDigitYearCenturyWindow;
                y += base / 100 * 100;
                if (locale_.twoDigitYearCenturyWindow > 0 && y < base)
                    y += 100;
            }
        } else {
            y = currentYear();
            if (order == DateOrder::DMY)
                d = n1, m = n2;
            else
                m = n1, d = n2;
        }
        character(sep);
        blanks();
        return encodeDate(y, m, d, out);
    }

    bool time(double* out)
    {
        int base = -1;
        if (symbol(locale_.timeAMString) || symbol(QStringLiteral("AM")))
            base = 0;
        else if (symbol(locale_.timePMString) || symbol(QStringLiteral("PM")))
            base = 12;
        int hour = 0, minute = 0, second = 0, msec = 0, junk = 0;
        if (!number(&hour, &junk))
            return false;
        if (character(locale_.timeSeparator)) {
            if (!number(&minute, &junk))
                return false;
            if (character(locale_.timeSeparator)) {
                if (!number(&second, &junk))
                    return false;
                if (character(locale_.decimalSeparator) && !number(&msec, &junk))
                    return false;
            }
        }
        if (base < 0) {
            if (symbol(locale_.timeAMString) || symbol(QStringLiteral("AM")))
                base = 0;
            else if (symbol(locale_.timePMString) || symbol(QStringLiteral("PM")))
                base = 12;
        }
        if (base >= 0) {
            if (hour == 0 || hour > 12)
                return false;
            if (hour == 12)
                hour = 0;
            hour += base;
        }
        blanks();
        return encodeTime(hour, minute, second, msec, out);
    }

private:
    static int currentYear()
    {
        Parts p;
        return decode(now(), &p) ? p.year : 2000;
    }

    const QString& s_;
    const DateLocale& locale_;
    qsizetype pos_ = 0;
};

}  // namespace

// ---- locale and clock ----

DateLocale DateLocale::english()
{
    DateLocale l;
    l.shortMonthNames = englishShortMonths();
    l.longMonthNames = englishLongMonths();
    l.shortDayNames = englishShortDays();
    l.longDayNames = englishLongDays();
    l.dateSeparator = u'/';
    l.timeSeparator = u':';
    l.decimalSeparator = u'.';
    l.shortDateFormat = QStringLiteral("m/d/yyyy");
    l.longDateFormat = QStringLiteral("dddd, mmmm d, yyyy");
    l.shortTimeFormat = QStringLiteral("h:mm AMPM");
    l.longTimeFormat = QStringLiteral("h:mm:ss AMPM");
    l.timeAMString = QStringLiteral("AM");
    l.timePMString = QStringLiteral("PM");
    return l;
}

DateLocale DateLocale::c()
{
    DateLocale l = english();
    l.shortDateFormat = QStringLiteral("mm/dd/yyyy");
    l.longDateFormat = QStringLiteral("dddd, mmmm dd, yyyy");
    l.shortTimeFormat = QStringLiteral("hh:nn");
    l.longTimeFormat = QStringLiteral("hh:nn:ss");
    return l;
}

namespace {
// A Qt date or time format in the classic pattern letters: M becomes m (month), m becomes n
// (minutes), H becomes h, AP/ap/A/a become ampm, the date separator becomes "/" (the pattern's
// stand-in for the locale's separator); quoted text stays quoted, the time zone is dropped.
QString classicPattern(const QString& qt, QChar dateSeparator)
{
    QString out;
    for (qsizetype i = 0; i < qt.size(); ++i) {
        const QChar c = qt[i];
        if (c == u'\'') {
            const qsizetype end = qt.indexOf(u'\'', i + 1);
            const QString literal = qt.mid(i + 1, end < 0 ? -1 : end - i - 1);
            if (literal.isEmpty() && end == i + 1)
                out += QStringLiteral("\"'\"");  // '' is a quote
            else
                out += u'"' + literal + u'"';
            if (end < 0)
                break;
            i = end;
            continue;
        }
        switch (c.unicode()) {
        case u'M': out += u'm'; break;
        case u'm': out += u'n'; break;
        case u'H': out += u'h'; break;
        case u'A':
        case u'a':
            out += QStringLiteral("ampm");
            if (i + 1 < qt.size() && (qt[i + 1] == u'P' || qt[i + 1] == u'p'))
                ++i;
            break;
        case u't':
            while (!out.isEmpty() && out.back() == u' ')
                out.chop(1);
            break;
        default:
            out += (!dateSeparator.isNull() && c == dateSeparator) ? QChar(u'/') : c;
            break;
        }
    }
    return out.trimmed();
}

// A year of fewer than four letters (Qt's yy, M/d/yy) becomes yyyy: dates written as text keep
// their century, so that they read back as the same year.
QString withCentury(const QString& pattern)
{
    QString out;
    QChar quote;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'y' || c == u'Y') {
            qsizetype end = i;
            while (end < pattern.size() && pattern[end] == c)
                ++end;
            out += QString(std::max<qsizetype>(end - i, 4), c);
            i = end - 1;
            continue;
        }
        out += c;
    }
    return out;
}

// Whether what the conventions write they read back: the dates and times below, each through its
// own text. They cover a day and a month above 12, a year before 100, both halves of the day.
bool readsBack(const DateLocale& l, bool withTime)
{
    static const int probes[][6] = {{2024, 1, 7, 10, 30, 15}, {1999, 12, 25, 23, 59, 59}, {5, 3, 4, 0, 0, 1},
                                    {9999, 12, 31, 12, 0, 0}, {2024, 11, 30, 0, 0, 0}};
    for (const auto& p : probes) {
        double date = 0, time = 0, back = 0;
        if (!encodeDate(p[0], p[1], p[2], &date) || !encodeTime(p[3], p[4], p[5], 0, &time))
            return false;
        const double x = withTime ? combine(date, time) : date;
        QString text;
        if (!format(QStringLiteral("c"), x, l, &text) || !parseDateTime(text, l, &back) || back != x)
            return false;
    }
    return true;
}

// The short date of the locale's order with its separator, in numbers only: d/m/yyyy, m/d/yyyy
// or yyyy/m/d.
QString plainDateFormat(const QString& shortDateFormat)
{
    switch (dateOrder(shortDateFormat)) {
    case DateOrder::DMY: return QStringLiteral("d/m/yyyy");
    case DateOrder::YMD: return QStringLiteral("yyyy/m/d");
    case DateOrder::MDY: break;
    }
    return QStringLiteral("m/d/yyyy");
}

// The first character of a date format that is neither a pattern letter nor quoted text.
QChar separatorOf(const QString& qt)
{
    bool quoted = false;
    for (QChar c : qt) {
        if (c == u'\'')
            quoted = !quoted;
        else if (!quoted && !c.isLetter() && !c.isSpace())
            return c;
    }
    return QChar(u'/');
}
}  // namespace

DateLocale DateLocale::fromQLocale(const QLocale& locale)
{
    // Qt's C locale writes "7 Jan 2024", which no locale reads; services often run in it.
    if (locale.language() == QLocale::C)
        return c();
    DateLocale l;
    l.shortMonthNames.clear();
    l.longMonthNames.clear();
    for (int m = 1; m <= 12; ++m) {
        l.shortMonthNames << locale.monthName(m, QLocale::ShortFormat);
        l.longMonthNames << locale.monthName(m, QLocale::LongFormat);
    }
    l.shortDayNames.clear();
    l.longDayNames.clear();
    for (int d : {7, 1, 2, 3, 4, 5, 6}) {  // Qt counts from Monday
        l.shortDayNames << locale.dayName(d, QLocale::ShortFormat);
        l.longDayNames << locale.dayName(d, QLocale::LongFormat);
    }
    const QString shortDate = locale.dateFormat(QLocale::ShortFormat);
    l.dateSeparator = separatorOf(shortDate);
    l.timeSeparator = u':';
    const QString decimal = locale.decimalPoint();
    l.decimalSeparator = decimal.size() == 1 ? decimal[0] : QChar(u'.');
    l.shortDateFormat = classicPattern(shortDate, l.dateSeparator);
    l.longDateFormat = classicPattern(locale.dateFormat(QLocale::LongFormat), QChar());
    l.shortTimeFormat = classicPattern(locale.timeFormat(QLocale::ShortFormat), QChar());
    l.longTimeFormat = classicPattern(locale.timeFormat(QLocale::LongFormat), QChar());
    if (!l.longTimeFormat.contains(u's'))  // the long time always shows the seconds
        l.longTimeFormat = QStringLiteral("hh:nn:ss");
    l.timeAMString = locale.amText();
    l.timePMString = locale.pmText();
    l.shortDateFormat = withCentury(l.shortDateFormat);
    l.longDateFormat = withCentury(l.longDateFormat);

    // Where the locale's own forms don't read back (names or words in the short date, text around
    // the time), the locale's date order in numbers and a 24-hour clock take their place.
    if (!readsBack(l, false)) {
        l.shortDateFormat = plainDateFormat(l.shortDateFormat);
        if (!readsBack(l, false))
            l.dateSeparator = u'/';
    }
    if (!readsBack(l, true))
        l.longTimeFormat = QStringLiteral("hh:nn:ss");
    if (!readsBack(l, true)) {
        const DateLocale fixed = c();
        l.shortDateFormat = fixed.shortDateFormat;
        l.dateSeparator = fixed.dateSeparator;
        l.longTimeFormat = fixed.longTimeFormat;
        l.timeSeparator = fixed.timeSeparator;
    }
    return l;
}

void useSystemLocale() { setCurrentLocale(DateLocale::fromQLocale(QLocale::system())); }

void setCurrentLocale(const DateLocale& locale)
{
    auto next = std::make_shared<const DateLocale>(locale);
    std::lock_guard lock(stateMutex());
    localeSlot() = std::move(next);
}

void setClock(Clock clock)
{
    std::lock_guard lock(stateMutex());
    clockSlot() = std::move(clock);
}

double now()
{
    Clock clock;
    {
        std::lock_guard lock(stateMutex());
        clock = clockSlot();
    }
    return clock ? clock() : fromQDateTime(QDateTime::currentDateTime());
}

double fromQDateTime(const QDateTime& dt)
{
    if (!dt.isValid())
        return 0;
    const QDate d = dt.date();
    double date = 0, time = 0;
    if (!encodeDate(d.year(), d.month(), d.day(), &date))
        return 0;
    time = double(dt.time().msecsSinceStartOfDay()) / double(MSecsPerDay);
    return combine(date, time);
}

QDateTime toQDateTime(double days)
{
    Parts p;
    if (!decode(days, &p))
        return QDateTime();
    return QDateTime(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second, p.msec));
}

// ---- calendar ----

bool isLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int daysInMonth(int year, int month)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

bool encodeDate(int year, int month, int day, double* days)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return false;
    *days = double(daysFromCivil(year, month, day) + UnixToOurs);
    return true;
}

bool encodeTime(int hour, int minute, int second, int msec, double* fraction)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        return false;
    *fraction = double(((int64_t(hour) * 60 + minute) * 60 + second) * 1000 + msec) / double(MSecsPerDay);
    return true;
}

double combine(double date, double time) { return date >= 0 ? date + time : date - time; }

bool decode(double days, Parts* parts)
{
    int64_t ms = 0;
    if (!toMilliseconds(days, &ms))
        return false;
    const int64_t date = ms / MSecsPerDay;
    int64_t time = ms % MSecsPerDay;
    if (time < 0)
        time = -time;
    if (date < MinDayNumber || date > MaxDayNumber)
        return false;
    Parts p;
    civilFromDays(date - UnixToOurs, &p.year, &p.month, &p.day);
    // Day 1 of the classic time stamp (0001-01-01) was a Monday.
    p.dayOfWeek = int((date - MinDayNumber + 1) % 7) + 1;
    p.msec = int(time % 1000);
    p.second = int(time / 1000 % 60);
    p.minute = int(time / 60000 % 60);
    p.hour = int(time / 3600000);
    *parts = p;
    return true;
}

// ---- formatting and parsing ----

bool format(const QString& pattern, double days, QString* out, QString* error)
{
    return format(pattern, days, *localePtr(), out, error);
}

bool format(const QString& pattern, double days, const DateLocale& locale, QString* out, QString* error)
{
    return Formatter(locale, days).run(pattern, out, error);
}

bool parseDateTime(const QString& text, double* days, QString* error)
{
    return parseDateTime(text, *localePtr(), days, error);
}

bool parseDateTime(const QString& text, const DateLocale& locale, double* days, QString* error)
{
    Scanner scanner(text, locale);
    double date = 0, time = 0;
    if (scanner.date(&date) && (scanner.atEnd() || (scanner.time(&time) && scanner.atEnd()))) {
        *days = combine(date, time);
        return true;
    }
    scanner.reset();
    if (scanner.time(&time) && scanner.atEnd()) {
        *days = time;
        return true;
    }
    return invalidText("date and time", text, error);
}

bool parseDate(const QString& text, double* days, QString* error) { return parseDate(text, *localePtr(), days, error); }

bool parseDate(const QString& text, const DateLocale& locale, double* days, QString* error)
{
    Scanner scanner(text, locale);
    double date = 0;
    if (scanner.date(&date) && scanner.atEnd()) {
        *days = date;
        return true;
    }
    return invalidText("date", text, error);
}

bool parseTime(const QString& text, double* days, QString* error) { return parseTime(text, *localePtr(), days, error); }

bool parseTime(const QString& text, const DateLocale& locale, double* days, QString* error)
{
    Scanner scanner(text, locale);
    double time = 0;
    if (scanner.time(&time) && scanner.atEnd()) {
        *days = time;
        return true;
    }
    return invalidText("time", text, error);
}

bool fromValue(const Value& v, double* days, QString* error)
{
    if (v.isString())
        return parseDateTime(v.asString(), days, error);
    return v.toDouble(days, error);
}

// ---- the parts of the date statement ----

bool part(double x, Part which, Value* out, QString* error)
{
    if (which == Part::DateTime) {
        *out = Value::dateTime(x);
        return true;
    }
    if (!std::isfinite(x))
        return invalidValue(x, error);

    int64_t unit = 0;
    double perDay = 0;
    switch (which) {
    case Part::Days: unit = MSecsPerDay, perDay = 1; break;
    case Part::Hours: unit = 3600000, perDay = 24; break;
    case Part::Minutes: unit = 60000, perDay = 1440; break;
    case Part::Seconds: unit = 1000, perDay = 86400; break;
    default: break;
    }
    int64_t ms = 0;
    const bool exact = toMilliseconds(x, &ms);
    if (unit != 0) {
        double count = 0;
        if (exact) {
            const int64_t q = ms / unit;
            if (q >= std::numeric_limits<int32_t>::min() && q <= std::numeric_limits<int32_t>::max()) {
                *out = Value(int32_t(q));
                return true;
            }
            count = double(q);
        } else {
            count = std::trunc(x * perDay);
            if (!std::isfinite(count))
                return invalidValue(x, error);
        }
        *out = Value(count);
        return true;
    }
    if (which == Part::Date) {
        *out = Value(exact ? double(ms / MSecsPerDay) : std::trunc(x));
        return true;
    }
    if (which == Part::Time) {
        *out = Value(exact ? double(ms % MSecsPerDay) / double(MSecsPerDay) : x - std::trunc(x));
        return true;
    }

    Parts p;
    if (!decode(x, &p))
        return invalidValue(x, error);
    int32_t v = 0;
    switch (which) {
    case Part::Year: v = p.year; break;
    case Part::Month: v = p.month; break;
    case Part::Day: v = p.day; break;
    case Part::Week: v = p.dayOfWeek; break;
    case Part::Hour: v = p.hour; break;
    case Part::Minute: v = p.minute; break;
    case Part::Second: v = p.second; break;
    case Part::MillSecond: v = p.msec; break;
    default: break;
    }
    *out = Value(v);
    return true;
}

}  // namespace datetime
