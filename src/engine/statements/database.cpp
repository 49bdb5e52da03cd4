#include "engine/statements/database.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QVariant>
#include <algorithm>
#include <limits>
#include <mutex>

#include "engine/datetime.h"
#include "engine/flow.h"
#include "engine/texts.h"
#include "platform/codepage.h"
#include "platform/connectionstring.h"
#include "platform/dataset.h"

// ---- values between the data set and the flow ----

namespace dbvalue {

Value fromField(const QVariant& v)
{
    if (v.isNull()) return Value::null();
    switch (v.typeId()) {
    case QMetaType::Bool:
        return Value(v.toBool());
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return Value(int32_t(v.toInt()));
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return Value::int64(v.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong u = v.toULongLong();
        if (u <= qulonglong(std::numeric_limits<int64_t>::max())) return Value::int64(int64_t(u));
        return Value(double(u));
    }
    case QMetaType::Float:
    case QMetaType::Double:
        return Value(v.toDouble());
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        if (dt.isValid()) return Value::dateTime(datetime::fromQDateTime(dt.toLocalTime()));
        break;
    }
    case QMetaType::QDate: {
        const QDate d = v.toDate();
        double days = 0;
        if (d.isValid() && datetime::encodeDate(d.year(), d.month(), d.day(), &days)) return Value::dateTime(days);
        break;
    }
    case QMetaType::QTime: {
        const QTime t = v.toTime();
        double fraction = 0;
        if (t.isValid() && datetime::encodeTime(t.hour(), t.minute(), t.second(), t.msec(), &fraction))
            return Value::dateTime(fraction);
        break;
    }
    case QMetaType::QByteArray:
        // Binary data: a byte string that keeps every byte, and goes back as binary data.
        return Value::blob(CodePage::decodeKeepingBytes(v.toByteArray()));
    default:
        break;
    }
    return Value(v.toString());
}

bool toParam(const Value& v, QVariant* out, QString* error)
{
    switch (v.kind()) {
    case Value::Kind::Empty:
    case Value::Kind::Null: *out = QVariant(); return true;
    case Value::Kind::Integer: *out = QVariant(int(v.asInt())); return true;
    case Value::Kind::Int64: *out = QVariant(qlonglong(v.asInt64())); return true;
    case Value::Kind::Float: *out = QVariant(v.asFloat()); return true;
    case Value::Kind::Currency: *out = QVariant(double(v.asCurrencyScaled()) / 10000.0); return true;
    case Value::Kind::String:
        *out = v.isBlob() ? QVariant(CodePage::encodeKeepingBytes(v.asString())) : QVariant(v.asString());
        return true;
    case Value::Kind::WideString: *out = QVariant(v.asString()); return true;
    case Value::Kind::Boolean: *out = QVariant(v.asBool()); return true;
    case Value::Kind::DateTime: {
        const QDateTime dt = datetime::toQDateTime(v.asDateTime());
        if (!dt.isValid()) break;
        *out = QVariant(dt);
        return true;
    }
    }
    if (error) *error = QString::fromLatin1(values::InvalidConversion);
    return false;
}

}  // namespace dbvalue

// ---- the definition's data set ----

namespace {
PathResolver flowResolver(const TIVRFlow* flow)
{
    return [flow](const QString& name) { return flow ? flow->GetFullFileName(name) : name; };
}

// Guards the data set pointers of the definitions: a stop cancels from another thread while the
// runner may be making the data set.
std::mutex& dataSetPointerMutex()
{
    static std::mutex mutex;
    return mutex;
}
}  // namespace

bool IVRDataBase::PrepareDataSet(QString* error)
{
    if (error) error->clear();
    const PathResolver resolve = flowResolver(flow());
    // The key parser finds the "File Name" value, so a value that merely contains the words, or
    // a quoted one, is rewritten correctly; the rest of the text stays as written.
    const QString connection = connectionstring::rewriteFileName(ConnectionString, resolve);
    if (!dataSet_) {
        auto made = std::make_shared<DataSet>();
        made->setPathResolver(resolve);
        std::lock_guard lock(dataSetPointerMutex());
        dataSet_ = std::move(made);
    }
    dataSet_->resetCancel();
    // Each run takes the definition as it is now; a different string drops the old connection.
    dataSet_->setConnectionString(connection);
    dataSet_->close();
    QString typeError, textError;
    const bool typed = dataSet_->setCommandType(CommandType, &typeError);
    const bool texted = dataSet_->setCommandText(QString(), &textError) && dataSet_->setCommandText(CommandText, &textError);
    if (typed && texted) return true;
    if (error) *error = typed ? textError : typeError;
    return false;
}

void IVRDataBase::ReleaseDataSet()
{
    if (dataSet_) dataSet_->disconnect();
}

void IVRDataBase::CancelDataSet()
{
    std::shared_ptr<DataSet> dataSet;
    {
        std::lock_guard lock(dataSetPointerMutex());
        dataSet = dataSet_;
    }
    if (dataSet) dataSet->cancel();
}

void IVRDataBase::CloseDataSet()
{
    if (!dataSet_) return;
    dataSet_->close();
    dataSet_->setCommandText(QString());
}

// ---- database statements ----

using caption::valueOrNull;

namespace {
QString dataBaseName(const TIVRUseDataBase& s)
{
    return s.link.target() ? s.link.target()->Name : txt::NoDataBase;
}

// The linked definition's data set, prepared now when no pass has prepared it yet (a statement
// run on its own); preparing always leaves one.
DataSet& dataSetOf(IVRDataBase* definition)
{
    if (!definition->dataSet()) definition->PrepareDataSet(nullptr);
    return *definition->dataSet();
}

// A count or a record number as the flow stores it: an integer, 64 bits only when it needs them.
Value countValue(qint64 n)
{
    if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max())
        return Value(int32_t(n));
    return Value::int64(n);
}

bool isInteger(const Value& v)
{
    return v.kind() == Value::Kind::Integer || v.kind() == Value::Kind::Int64;
}

// A 0-based position from an integer value; one beyond int gives the out-of-bounds message.
bool positionOf(const Value& v, int* index, QString* error)
{
    const int64_t i = v.kind() == Value::Kind::Integer ? v.asInt() : v.asInt64();
    if (i < std::numeric_limits<int>::min() || i > std::numeric_limits<int>::max()) {
        if (error) *error = QString::fromLatin1(DataSet::IndexOutOfBounds).arg(i);
        return false;
    }
    *index = int(i);
    return true;
}
}  // namespace

QString IVRDBOperate::GetDescription() const
{
    QString d = txt::Colon + dataBaseName(*this) + QLatin1Char(' ') +
                caption::nameAt(txt::DataBaseOperateNames, Operate, txt::NoOperate);
    if (variantLink.variable()) d += QLatin1Char(' ') + variantLink.variable()->Name;
    return d;
}

int IVRDBOperate::DoIt(ExecContext&, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        IVRDataBase* definition = link.target();
        if (!definition) return operation::notEnoughParam(resultText, errorText);
        QString error;
        DataSet* ds = &dataSetOf(definition);

        qint64 rows = -1;
        bool done = true;
        switch (Operate) {
        case dbExecute: done = ds->execute(&rows, &error); break;
        case dbOpen: done = ds->open(&error); break;
        case dbClose: ds->close(); break;
        case dbFirst: done = ds->first(&error); break;
        case dbPrior: done = ds->prior(&error); break;
        case dbNext: done = ds->next(&error); break;
        case dbLast: done = ds->last(&error); break;
        case dbNull: break;
        }
        if (!done) return operation::fail(resultText, errorText, error.isEmpty() ? operation::failedMessage() : error);

        IVRVariant* save = variantLink.variable();
        if (!save) return int(rcSuccess);
        save->setValue(Value());
        qint64 n = 0;
        switch (Operate) {
        case dbExecute: save->setValue(countValue(rows)); break;
        case dbOpen:
            if (ds->recordCount(&n)) save->setValue(countValue(n));
            break;
        case dbFirst:
        case dbPrior:
        case dbNext:
        case dbLast:
            if (ds->recNo(&n)) save->setValue(countValue(n));
            break;
        case dbClose:
        case dbNull: break;
        }
        return int(rcSuccess);
    });
}

QString IVRField::GetDescription() const
{
    return txt::Colon + dataBaseName(*this) + QLatin1Char(' ') + valueOrNull(Field) + QLatin1Char(' ') +
           caption::variableOrNone(variantLink);
}

int IVRField::DoIt(ExecContext&, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        IVRDataBase* definition = link.target();
        if (!definition) return operation::notEnoughParam(resultText, errorText);
        const Value f = Field.GetLinkValue();
        IVRVariant* save = variantLink.variable();
        if (f.isEmpty() || !save) return operation::notEnoughParam(resultText, errorText);

        QString error;
        DataSet* ds = &dataSetOf(definition);
        QVariant value;
        bool found = false;
        // An integer of any width is a position: SQLite gives its integers as 64-bit values.
        if (isInteger(f)) {
            int index = 0;
            found = positionOf(f, &index, &error) && ds->fieldByIndex(index, &value, &error);
        } else {
            QString name;
            found = f.toText(&name, &error) && ds->fieldByName(name, &value, &error);
        }
        if (!found) return operation::fail(resultText, errorText, error);
        save->setValue(dbvalue::fromField(value));
        return int(rcSuccess);
    });
}

QString IVRParam::GetDescription() const
{
    return txt::Colon + dataBaseName(*this) + QLatin1Char(' ') + valueOrNull(Param) + QLatin1Char(' ') +
           valueOrNull(variantLink);
}

int IVRParam::DoIt(ExecContext&, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        IVRDataBase* definition = link.target();
        if (!definition) return operation::notEnoughParam(resultText, errorText);
        const Value v = variantLink.GetLinkValue();
        const Value p = Param.GetLinkValue();
        if (v.isEmpty() || p.isEmpty()) return operation::notEnoughParam(resultText, errorText);

        QString error;
        DataSet* ds = &dataSetOf(definition);
        QVariant value;
        bool set = dbvalue::toParam(v, &value, &error);
        if (set && isInteger(p)) {
            int index = 0;
            set = positionOf(p, &index, &error) && ds->setParamByIndex(index, value, &error);
        } else if (set) {
            QString name;
            set = p.toText(&name, &error) && ds->setParamByName(name, value, &error);
        }
        if (set) return int(rcSuccess);
        const QString hint = txt::ParamOnly + txt::CommandTypeNames.value(cmdText) + QLatin1Char(' ') +
                             TIVRFlow::CaptionToName(txt::CommandType) + txt::ParamCanBeSet;
        return operation::fail(resultText, errorText, error + QStringLiteral("\r\n") + hint);
    });
}

QString IVRCommand::GetDescription() const
{
    // The two later command types have no display name; their identifiers stand in.
    const QString type = caption::nameAt(txt::CommandTypeNames, CommandType,
                                         QString::fromLatin1(CommandTypeIds[std::clamp<int>(CommandType, 0, 5)]));
    return txt::Colon + dataBaseName(*this) + QLatin1Char(' ') + type + QLatin1Char(' ') + valueOrNull(variantLink);
}

int IVRCommand::DoIt(ExecContext&, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        IVRDataBase* definition = link.target();
        if (!definition) return operation::notEnoughParam(resultText, errorText);
        const Value t = variantLink.GetLinkValue();
        if (t.isEmpty()) return operation::notEnoughParam(resultText, errorText);

        QString error;
        DataSet* ds = &dataSetOf(definition);
        // In this order; a refusal leaves the steps already taken in place.
        QString text;
        const bool done = ds->setCommandType(CommandType, &error) && ds->setCommandText(QString(), &error) &&
                          t.toText(&text, &error) && ds->setCommandText(text, &error);
        if (!done) return operation::fail(resultText, errorText, error);
        return int(rcSuccess);
    });
}
