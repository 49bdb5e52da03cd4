#include "wave.h"

#include "platform/filesave.h"

#include <QFile>
#include <QtEndian>

#include <atomic>
#include <cstring>

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr int kHeaderSize = 44;
// The GUID of the PCM sub-format after its first two bytes (which repeat the format tag).
constexpr char kPcmGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, char(0x80),
                                   0x00, 0x00, char(0xAA), 0x00, 0x38, char(0x9B), 0x71};

// The wave layer's messages in the two languages of the user interface; the engine's language
// switch chooses (setWaveTextLanguage).
struct WaveText {
    const char* english;
    const char* chinese;
};
enum WaveMessage {
    FormatTooShort, NotPcm, NotPcmFormat, UnsupportedLayout, CannotOpen, NotAWaveFile, BadFormatChunk,
    NamedReason, NoDataChunk, NoFormatChunk, ReadError, CannotWrite, CannotWriteBecause, MessageCount
};
constexpr WaveText kWaveTexts[MessageCount] = {
    {"format chunk too short", "格式块太短"},
    {"not a PCM wave file", "不是 PCM 声音文件"},
    {"not a PCM wave file (format %1)", "不是 PCM 声音文件（格式 %1）"},
    {"unsupported PCM layout", "不支持的 PCM 布局"},
    {"cannot open %1: %2", "无法打开 %1：%2"},
    {"%1 is not a wave file", "%1 不是声音文件"},
    {"%1: bad format chunk", "%1：格式块错误"},
    {"%1: %2", "%1：%2"},
    {"no data chunk", "没有数据块"},
    {"no format chunk", "没有格式块"},
    {"%1: read error", "%1：读取错误"},
    {"cannot write %1", "无法写入 %1"},
    {"cannot write %1: %2", "无法写入 %1：%2"},
};
std::atomic<bool> g_chineseWaveTexts{false};

QString text(WaveMessage m)
{
    return QString::fromUtf8(g_chineseWaveTexts ? kWaveTexts[m].chinese : kWaveTexts[m].english);
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

uint16_t le16(const char* p) { return qFromLittleEndian<uint16_t>(p); }
uint32_t le32(const char* p) { return qFromLittleEndian<uint32_t>(p); }

bool parseFormat(const QByteArray& chunk, WaveFormat& format, QString* error)
{
    if (chunk.size() < 16) {
        setError(error, text(FormatTooShort));
        return false;
    }
    const char* p = chunk.constData();
    uint16_t tag = le16(p);
    if (tag == kFormatExtensible) {
        if (chunk.size() < 40 || le16(p + 24) != kFormatPcm || memcmp(p + 26, kPcmGuidTail, 14) != 0) {
            setError(error, text(NotPcm));
            return false;
        }
    } else if (tag != kFormatPcm) {
        setError(error, text(NotPcmFormat).arg(tag));
        return false;
    }
    format.channels = le16(p + 2);
    format.sampleRate = le32(p + 4);
    format.bitsPerSample = le16(p + 14);
    uint16_t blockAlign = le16(p + 12);
    const uint16_t bits = format.bitsPerSample;
    if (format.channels < 1 || format.channels > 8 || format.sampleRate == 0 ||
        (bits != 8 && bits != 16 && bits != 24 && bits != 32) || blockAlign != format.blockAlign()) {
        setError(error, text(UnsupportedLayout));
        return false;
    }
    return true;
}

QByteArray header(const WaveFormat& format, qint64 dataBytes)
{
    const qint64 pad = dataBytes & 1;
    QByteArray h(kHeaderSize, '\0');
    char* p = h.data();
    memcpy(p, "RIFF", 4);
    qToLittleEndian<uint32_t>(uint32_t(36 + dataBytes + pad), p + 4);
    memcpy(p + 8, "WAVEfmt ", 8);
    qToLittleEndian<uint32_t>(16, p + 16);
    qToLittleEndian<uint16_t>(kFormatPcm, p + 20);
    qToLittleEndian<uint16_t>(format.channels, p + 22);
    qToLittleEndian<uint32_t>(format.sampleRate, p + 24);
    qToLittleEndian<uint32_t>(format.byteRate(), p + 28);
    qToLittleEndian<uint16_t>(format.blockAlign(), p + 32);
    qToLittleEndian<uint16_t>(format.bitsPerSample, p + 34);
    memcpy(p + 36, "data", 4);
    qToLittleEndian<uint32_t>(uint32_t(dataBytes), p + 40);
    return h;
}

bool readInfo(QFile& file, WaveInfo& info, QString* error)
{
    const QString name = file.fileName();
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, text(CannotOpen).arg(name, file.errorString()));
        return false;
    }
    const qint64 size = file.size();
    QByteArray riff = file.read(12);
    if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE") {
        setError(error, text(NotAWaveFile).arg(name));
        return false;
    }
    bool haveFormat = false;
    qint64 pos = 12;
    while (pos + 8 <= size) {
        file.seek(pos);
        QByteArray head = file.read(8);
        if (head.size() < 8)
            break;
        const qint64 chunkSize = le32(head.constData() + 4);
        const qint64 body = pos + 8;
        if (head.startsWith("fmt ")) {
            if (chunkSize > 1024 || body + chunkSize > size) {
                setError(error, text(BadFormatChunk).arg(name));
                return false;
            }
            QString why;
            if (!parseFormat(file.read(chunkSize), info.format, &why)) {
                setError(error, text(NamedReason).arg(name, why));
                return false;
            }
            haveFormat = true;
        } else if (head.startsWith("data")) {
            if (!haveFormat)
                break;
            info.dataOffset = body;
            const qint64 bytes = std::min(chunkSize, size - body);
            info.dataBytes = bytes - bytes % info.format.blockAlign();
            return true;
        }
        pos = body + chunkSize + (chunkSize & 1);  // chunks are padded to an even size
    }
    setError(error, text(NamedReason).arg(name, haveFormat ? text(NoDataChunk)
                                                                   : text(NoFormatChunk)));
    return false;
}

}  // namespace

bool readWaveInfo(const QString& path, WaveInfo& info, QString* error)
{
    QFile file(path);
    WaveInfo result;
    if (!readInfo(file, result, error))
        return false;
    info = result;
    return true;
}

bool readWaveFile(const QString& path, WaveInfo& info, QByteArray& samples, QString* error)
{
    QFile file(path);
    WaveInfo result;
    if (!readInfo(file, result, error))
        return false;
    file.seek(result.dataOffset);
    QByteArray data = file.read(result.dataBytes);
    if (data.size() != result.dataBytes) {
        setError(error, text(ReadError).arg(path));
        return false;
    }
    info = result;
    samples = std::move(data);
    return true;
}

bool writeWaveFile(const QString& path, const WaveFormat& format, const QByteArray& samples, QString* error)
{
    WaveWriter writer(path, format);
    if (!writer.open(error))
        return false;
    writer.write(samples);
    return writer.commit(error);  // says why a write failed
}

QByteArray emptyWaveFileBytes()
{
    QByteArray b;
    auto tag = [&](const char* t) { b.append(t, 4); };
    auto u16 = [&](uint16_t v) {
        char p[2];
        qToLittleEndian(v, p);
        b.append(p, 2);
    };
    auto u32 = [&](uint32_t v) {
        char p[4];
        qToLittleEndian(v, p);
        b.append(p, 4);
    };
    const WaveFormat f = WaveFormat::telephone();
    tag("RIFF");
    u32(50);
    tag("WAVE");
    tag("fmt ");
    u32(18);
    u16(kFormatPcm);
    u16(f.channels);
    u32(f.sampleRate);
    u32(f.byteRate());
    u16(f.blockAlign());
    u16(f.bitsPerSample);
    u16(0);  // no format extension
    tag("fact");
    u32(4);
    u32(0);  // samples
    tag("data");
    u32(0);
    return b;
}

bool writeEmptyWaveFile(const QString& path, QString* error)
{
    QFile file(path);
    const QByteArray bytes = emptyWaveFileBytes();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
        !file.resize(bytes.size())) {
        setError(error, text(CannotWriteBecause).arg(path, file.errorString()));
        return false;
    }
    return true;
}

WaveWriter::WaveWriter(const QString& path, const WaveFormat& format) : path_(path), format_(format) {}

WaveWriter::~WaveWriter()
{
    if (file_)
        file_->cancelWriting();
}

bool WaveWriter::open(QString* error)
{
    error_.clear();
    // A save file would replace a device, a pipe or a folder rather than write into it.
    QString refusal;
    if (!FileSave::mayReplace(path_, &refusal, g_chineseWaveTexts)) {
        setError(error, refusal);
        return false;
    }
    file_ = std::make_unique<QSaveFile>(path_);
    // Unbuffered, so that a write the disk refuses fails at once, with the system's reason.
    if (!file_->open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file_->write(header(format_, 0)) != kHeaderSize) {
        setError(error, text(CannotWriteBecause).arg(path_, file_->errorString()));
        file_.reset();
        return false;
    }
    dataBytes_ = 0;
    return true;
}

bool WaveWriter::write(const QByteArray& samples)
{
    if (!file_)
        return false;
    // The sizes in the header are 32-bit.
    if (dataBytes_ + samples.size() > qint64(UINT32_MAX) - 37) {
        error_ = text(CannotWrite).arg(path_);
        file_->cancelWriting();
        file_.reset();
        return false;
    }
    for (qsizetype done = 0; done < samples.size();) {
        const qint64 n = file_->write(samples.constData() + done, samples.size() - done);
        if (n <= 0) {
            error_ = text(CannotWriteBecause).arg(path_, file_->errorString());
            file_->cancelWriting();
            file_.reset();
            return false;
        }
        done += qsizetype(n);
    }
    dataBytes_ += samples.size();
    return true;
}

bool WaveWriter::commit(QString* error)
{
    if (!file_) {
        setError(error, error_.isEmpty() ? text(CannotWrite).arg(path_) : error_);
        return false;
    }
    // An odd-sized data chunk is followed by a pad byte that it does not count.
    bool ok = (!(dataBytes_ & 1) || file_->write("\0", 1) == 1) && file_->seek(0) &&
              file_->write(header(format_, dataBytes_)) == kHeaderSize;
    if (!ok) {
        setError(error, text(CannotWriteBecause).arg(path_, file_->errorString()));
        file_->cancelWriting();
        file_.reset();
        return false;
    }
    ok = file_->commit();
    if (!ok)
        setError(error, text(CannotWriteBecause).arg(path_, file_->errorString()));
    file_.reset();
    return ok;
}

void setWaveTextLanguage(bool chinese)
{
    g_chineseWaveTexts = chinese;
}

QString waveCannotWriteText(const QString& path, const QString& reason)
{
    return text(CannotWriteBecause).arg(path, reason);
}
