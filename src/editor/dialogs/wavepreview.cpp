#include "editor/dialogs/wavepreview.h"

#include <QByteArray>
#include <QBuffer>
#include <QPointer>

#include "engine/texts.h"
#include "platform/wave.h"

#ifdef SORVIX_HAVE_MULTIMEDIA
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QMediaDevices>
#endif

namespace {

QString noSoundDevice()
{
    return txt::NoSoundDevice;
}

// Without multimedia: nothing opens.
class SilentWavePreview : public WavePreview {
public:
    bool open(const QString&, QString* error) override
    {
        if (error) *error = noSoundDevice();
        return false;
    }
    void close() override {}
    Mode mode() const override { return Mode::NotOpen; }
    bool hasSound() const override { return false; }
    QString fileName() const override { return {}; }
    void play() override {}
    void pause() override {}
    bool stop(QString*) override { return true; }
    void seekToStart() override {}
    void seekToEnd() override {}
    bool record(const QString&, QString* error) override
    {
        if (error) *error = noSoundDevice();
        return false;
    }
};

#ifdef SORVIX_HAVE_MULTIMEDIA

bool audioFormatOf(const WaveFormat& wave, QAudioFormat& format)
{
    format.setSampleRate(int(wave.sampleRate));
    format.setChannelCount(wave.channels);
    switch (wave.bitsPerSample) {
    case 8: format.setSampleFormat(QAudioFormat::UInt8); return true;
    case 16: format.setSampleFormat(QAudioFormat::Int16); return true;
    case 32: format.setSampleFormat(QAudioFormat::Int32); return true;
    default: return false;
    }
}

// On the default output and input devices.
class SoundWavePreview : public WavePreview {
public:
    ~SoundWavePreview() override { close(); }

    bool hasSound() const override { return !QMediaDevices::defaultAudioOutput().isNull(); }

    bool open(const QString& path, QString* error) override
    {
        close();
        WaveInfo info;
        QByteArray samples;
        QString why;
        QAudioFormat format;
        if (!readWaveFile(path, info, samples, &why)) {
        } else if (QMediaDevices::defaultAudioOutput().isNull()) {
            why = noSoundDevice();
        } else if (!audioFormatOf(info.format, format)) {
            why = txt::SamplesCannotPlay.arg(info.format.bitsPerSample);
        } else {
            path_ = path;
            samples_ = samples;
            format_ = format;
            blockAlign_ = info.format.blockAlign();
            position_ = 0;
            setMode(Mode::Stopped);
            return true;
        }
        if (error) *error = why;
        return false;
    }

    void close() override
    {
        stopSink();
        if (source_) {
            source_->stop();
            delete source_;
            writer_.reset();
        }
        path_.clear();
        samples_.clear();
        position_ = 0;
        setMode(Mode::NotOpen);
    }

    Mode mode() const override { return mode_; }
    QString fileName() const override { return path_; }

    void play() override
    {
        if (mode_ == Mode::Paused && sink_) {
            sink_->resume();
            setMode(Mode::Playing);
            return;
        }
        if (mode_ != Mode::Stopped) return;
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) return;
        buffer_.close();
        buffer_.setData(samples_);
        buffer_.open(QIODevice::ReadOnly);
        buffer_.seek(position_ < samples_.size() ? position_ : 0);
        sink_ = new QAudioSink(device, format_, this);
        QObject::connect(sink_, &QAudioSink::stateChanged, this, [this](QAudio::State state) {
            // The end of the samples.
            if (state == QAudio::IdleState && mode_ == Mode::Playing) {
                stopSink();
                position_ = 0;
                setMode(Mode::Stopped);
            }
        });
        sink_->start(&buffer_);
        setMode(Mode::Playing);
    }

    void pause() override
    {
        if (mode_ != Mode::Playing || !sink_) return;
        sink_->suspend();
        setMode(Mode::Paused);
    }

    bool stop(QString* error) override
    {
        if (mode_ == Mode::Recording) return finishRecording(error);
        if (mode_ == Mode::Playing || mode_ == Mode::Paused) {
            stopSink();
            position_ = 0;
            setMode(Mode::Stopped);
        }
        return true;
    }

    void seekToStart() override { seek(0); }
    void seekToEnd() override { seek(samples_.size()); }

    bool record(const QString& path, QString* error) override
    {
        if (mode_ == Mode::Recording) return false;
        stop(nullptr);
        const QAudioDevice device = QMediaDevices::defaultAudioInput();
        QAudioFormat format;
        audioFormatOf(WaveFormat::telephone(), format);
        QString why;
        if (device.isNull()) {
            why = noSoundDevice();
        } else if (!device.isFormatSupported(format)) {
            why = txt::SoundCannotRecord;
        } else {
            auto writer = std::make_unique<WaveWriter>(path, WaveFormat::telephone());
            if (writer->open(&why)) {
                writer_ = std::move(writer);
                recordPath_ = path;
                source_ = new QAudioSource(device, format, this);
                QIODevice* input = source_->start();
                if (input) {
                    QObject::connect(input, &QIODevice::readyRead, this, [this, input] {
                        if (writer_) writer_->write(input->readAll());
                    });
                    setMode(Mode::Recording);
                    return true;
                }
                why = noSoundDevice();
                delete source_;
                writer_.reset();
            }
        }
        if (error) *error = why;
        return false;
    }

private:
    void setMode(Mode m)
    {
        if (m == mode_) return;
        mode_ = m;
        emit modeChanged();
    }

    void stopSink()
    {
        if (!sink_) return;
        sink_->disconnect(this);
        sink_->stop();
        delete sink_;
        buffer_.close();
    }

    void seek(qint64 bytes)
    {
        if (blockAlign_) bytes -= bytes % blockAlign_;
        position_ = bytes;
        if (mode_ == Mode::Playing || mode_ == Mode::Paused) {
            stopSink();
            setMode(Mode::Stopped);
            if (bytes < samples_.size()) play();
        }
    }

    bool finishRecording(QString* error)
    {
        if (source_) {
            source_->disconnect(this);
            source_->stop();
            delete source_;
        }
        std::unique_ptr<WaveWriter> writer = std::move(writer_);
        setMode(Mode::NotOpen);
        if (!writer || !writer->commit(error)) return false;
        return open(recordPath_, error);
    }

    Mode mode_ = Mode::NotOpen;
    QString path_, recordPath_;
    QByteArray samples_;
    QAudioFormat format_;
    int blockAlign_ = 2;
    qint64 position_ = 0;
    QBuffer buffer_;
    QPointer<QAudioSink> sink_;
    QPointer<QAudioSource> source_;
    std::unique_ptr<WaveWriter> writer_;
};

#endif

WavePreviewFactory& factory()
{
    static WavePreviewFactory f;
    return f;
}

}  // namespace

std::unique_ptr<WavePreview> createWavePreview()
{
    if (factory()) return factory()();
#ifdef SORVIX_HAVE_MULTIMEDIA
    return std::make_unique<SoundWavePreview>();
#else
    return std::make_unique<SilentWavePreview>();
#endif
}

void setWavePreviewFactory(WavePreviewFactory f)
{
    factory() = std::move(f);
}
