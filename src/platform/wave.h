#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <cstdint>
#include <memory>

// RIFF WAVE files of linear PCM samples.
//
// Reading accepts any PCM layout (format tag 1, or the extensible tag 0xFFFE with the PCM
// sub-format): 1..8 channels, 8, 16, 24 or 32 bits, any sample rate; chunks other than
// "fmt " and "data" are skipped. A data chunk that claims more bytes than the file holds
// is cut to what is there (a recorder that stopped early leaves such files).
// Writing produces the canonical 44-byte header followed by the samples.

struct WaveFormat {
    uint16_t channels = 1;
    uint32_t sampleRate = 8000;
    uint16_t bitsPerSample = 16;

    uint16_t blockAlign() const { return uint16_t(channels * ((bitsPerSample + 7) / 8)); }
    uint32_t byteRate() const { return sampleRate * blockAlign(); }
    // 8 kHz, 16-bit, mono: the line's own format.
    static WaveFormat telephone() { return {}; }
    bool operator==(const WaveFormat&) const = default;
};

struct WaveInfo {
    WaveFormat format;
    qint64 dataOffset = 0;  // where the samples start in the file
    qint64 dataBytes = 0;   // whole sample frames only

    qint64 frames() const { return format.blockAlign() ? dataBytes / format.blockAlign() : 0; }
    qint64 durationMs() const { return format.sampleRate ? frames() * 1000 / format.sampleRate : 0; }
};

// Reads the header of a wave file. On failure returns false and sets error (when given).
bool readWaveInfo(const QString& path, WaveInfo& info, QString* error = nullptr);
// Reads the header and the samples.
bool readWaveFile(const QString& path, WaveInfo& info, QByteArray& samples, QString* error = nullptr);
// The language of the messages above and below: the two of the user interface (the platform
// layers know nothing of the text tables; the engine's language switch calls this).
void setWaveTextLanguage(bool chinese);
// "cannot write <path>: <reason>" in that language.
QString waveCannotWriteText(const QString& path, const QString& reason);

// Writes a whole file at once (through a temporary file that replaces the target).
bool writeWaveFile(const QString& path, const WaveFormat& format, const QByteArray& samples,
                   QString* error = nullptr);

// The empty wave file of the editor's new recordings: 8 kHz 16-bit mono PCM with an 18-byte
// format chunk, a fact chunk of 0 samples and an empty data chunk; 58 bytes.
QByteArray emptyWaveFileBytes();
// Creates (or overwrites) the file with exactly those 58 bytes.
bool writeEmptyWaveFile(const QString& path, QString* error = nullptr);

// Writes a wave file piece by piece; the header is completed by commit(). Nothing replaces the
// target until commit() succeeds; a writer destroyed without commit() leaves the target alone.
// A target that is no regular file (a device, a pipe, a folder) is refused by open(). A failed
// write ends the writing; commit() then fails with the reason (such as a full disk).
class WaveWriter {
public:
    WaveWriter(const QString& path, const WaveFormat& format);
    ~WaveWriter();
    WaveWriter(const WaveWriter&) = delete;
    WaveWriter& operator=(const WaveWriter&) = delete;

    bool open(QString* error = nullptr);
    bool write(const QByteArray& samples);
    bool commit(QString* error = nullptr);
    qint64 dataBytes() const { return dataBytes_; }

private:
    QString path_;
    WaveFormat format_;
    std::unique_ptr<QSaveFile> file_;
    qint64 dataBytes_ = 0;
    QString error_;  // why a write failed; commit() reports it
};
