#pragma once

#include <QString>
#include <cstdint>
#include <variant>

// A flow value: the variant kinds variables, constants and conditions hold.
// All arithmetic, comparison and conversion rules live in value.cpp, but for the integers'
// shortcut below (integerArithmetic), which the operator statement uses too.
class Value {
public:
    enum class Kind { Empty, Null, Integer, Int64, Float, Currency, String, WideString, Boolean, DateTime };

    // Currency is fixed point with four decimals: the stored integer is the amount times 10000.
    struct Currency { int64_t scaled = 0; bool operator==(const Currency&) const = default; };
    // Days since 30 December 1899 00:00; the fraction is the time of day.
    struct DateTime { double days = 0; bool operator==(const DateTime&) const = default; };
    struct NullTag { bool operator==(const NullTag&) const = default; };
    struct Wide { QString text; bool operator==(const Wide&) const = default; };
    // A byte string that came from binary data (a database BLOB): a String in every rule, whose
    // text is the bytes as CodePage::decodeKeepingBytes reads them, so that a parameter takes
    // it back as the same bytes.
    struct Blob { QString text; bool operator==(const Blob&) const = default; };

    Value() = default;
    Value(int32_t v) : data_(v) {}
    Value(double v) : data_(v) {}
    Value(bool v) : data_(v) {}
    Value(const QString& s) : data_(s) {}
    Value(const char* s) : data_(QString::fromUtf8(s)) {}

    static Value null() { Value v; v.data_ = NullTag{}; return v; }
    static Value int64(int64_t v) { Value r; r.data_ = v; return r; }
    static Value currency(int64_t scaled) { Value r; r.data_ = Currency{scaled}; return r; }
    static Value dateTime(double days) { Value r; r.data_ = DateTime{days}; return r; }
    static Value wideString(const QString& s) { Value r; r.data_ = Wide{s}; return r; }
    // `text` is the binary data as CodePage::decodeKeepingBytes gives it.
    static Value blob(const QString& text) { Value r; r.data_ = Blob{text}; return r; }

    Kind kind() const
    {
        const auto i = data_.index();
        return i == blobIndex ? Kind::String : static_cast<Kind>(i);
    }
    // A String that holds binary data.
    bool isBlob() const { return data_.index() == blobIndex; }
    bool isEmpty() const { return kind() == Kind::Empty; }
    bool isNull() const { return kind() == Kind::Null; }
    bool isEmptyOrNull() const { return isEmpty() || isNull(); }
    bool isString() const { return kind() == Kind::String || kind() == Kind::WideString; }
    bool isNumeric() const;  // Integer, Int64, Float, Currency

    int32_t asInt() const { return std::get<int32_t>(data_); }
    int64_t asInt64() const { return std::get<int64_t>(data_); }
    double asFloat() const { return std::get<double>(data_); }
    bool asBool() const { return std::get<bool>(data_); }
    int64_t asCurrencyScaled() const { return std::get<Currency>(data_).scaled; }
    double asDateTime() const { return std::get<DateTime>(data_).days; }
    // The text of a String or WideString value (empty for other kinds).
    QString asString() const;

    // Makes this value the integer or the Boolean v, in place when it holds one already.
    void setInteger(int32_t v)
    {
        if (auto* held = std::get_if<int32_t>(&data_))
            *held = v;
        else
            data_ = v;
    }
    void setBoolean(bool v)
    {
        if (auto* held = std::get_if<bool>(&data_))
            *held = v;
        else
            data_ = v;
    }

    // Exact identity: same kind and same content. Not the flow's equality rule.
    bool operator==(const Value& o) const { return data_ == o.data_; }

    // Conversions with the classic variant rules. On failure they return false and set *error
    // to the system's message ("Invalid variant type conversion", ...); *out is left alone.
    bool toText(QString* out, QString* error = nullptr) const;
    bool toDouble(double* out, QString* error = nullptr) const;
    bool toInt32(int32_t* out, QString* error = nullptr) const;
    bool toBool(bool* out, QString* error = nullptr) const;

    // Text for display (empty for Empty/Null); never fails.
    QString displayText() const;

    // The amount as currency (times 10000), for the currency rules; false on overflow or bad text.
    bool toCurrencyScaled(int64_t* out, QString* error = nullptr) const;

private:
    std::variant<std::monostate, NullTag, int32_t, int64_t, double, Currency, QString, Wide, bool, DateTime, Blob> data_;
    static constexpr std::size_t blobIndex = 10;
};

// Operations of the operator statement, in the order of their enumeration.
enum class ValueOp { Add, Subtract, Multiply, RealDivide, IntDivide, Modulus, And, Or };
enum class ValueCompare { Less, LessEqual, Equal, NotEqual, GreaterEqual, Greater };

// The classic general float format: up to `precision` significant digits, fixed notation
// from 0.00001 up to `precision` integer digits, otherwise a mantissa and "E" with a sign
// only when negative and no leading zeros (1.5E-7, 1E15).
QString formatFloatGeneral(double v, int precision = 15);

namespace values {
// The system's error messages of value conversions and arithmetic (the same in every language).
inline constexpr const char* InvalidOperation = "Invalid variant operation";
inline constexpr const char* InvalidConversion = "Invalid variant type conversion";
inline constexpr const char* DivisionByZero = "Division by zero";
inline constexpr const char* IntegerOverflow = "Integer overflow";
inline constexpr const char* FloatDivisionByZero = "Floating point division by zero";
inline constexpr const char* FloatInvalid = "Invalid floating point operation";
inline constexpr const char* FloatOverflow = "Floating point overflow";
inline constexpr const char* NotAnInteger = "'%s' is not a valid integer value";
inline constexpr const char* NotAFloat = "'%s' is not a valid floating point value";

// Text read as a 32-bit integer: leading blanks, a sign, decimal digits. Otherwise false with
// "'%s' is not a valid integer value".
bool textToInt32(const QString& text, int32_t* out, QString* error = nullptr);
// Text read as a floating-point number with "." as decimal point: blanks around it, a sign,
// digits, a fraction, an exponent. Otherwise false with "'%s' is not a valid floating point value".
bool textToDouble(const QString& text, double* out, QString* error = nullptr);
// Currency as text: the amount with up to four decimals, trailing zeros dropped.
QString currencyText(int64_t scaled);

// D op S by the classic variant rules; false with *error on failure (result untouched).
bool binary(ValueOp op, const Value& d, const Value& s, Value* result, QString* error);
// Two 32-bit integers under Add, Subtract or Multiply, the loop counter's case: true with the
// result when it fits in 32 bits, which is what binary() gives for them; false for any other
// operation or a result beyond 32 bits.
inline bool integerArithmetic(ValueOp op, int32_t a, int32_t b, int32_t* result)
{
    int64_t r = 0;
    switch (op) {
    case ValueOp::Add: r = int64_t(a) + b; break;
    case ValueOp::Subtract: r = int64_t(a) - b; break;
    case ValueOp::Multiply: r = int64_t(a) * b; break;
    default: return false;
    }
    if (r < INT32_MIN || r > INT32_MAX) return false;
    *result = int32_t(r);
    return true;
}
// The comparison D cmp S; false with *error when the operands don't compare.
bool compare(ValueCompare cmp, const Value& d, const Value& s, bool* result, QString* error);
// not D: Boolean negation or bitwise complement.
bool logicalNot(const Value& d, Value* result, QString* error);
}  // namespace values
