#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

// The play dialog's preview of a wave file: plays the file on the default output, and records
// from the default input (8 kHz, 16-bit, mono) into a wave file of its own writing.
class WavePreview : public QObject {
    Q_OBJECT
public:
    enum class Mode { NotOpen, Stopped, Playing, Paused, Recording };

    ~WavePreview() override = default;

    // Opens a wave file for playing (stopped at its start). On failure the preview is closed and
    // the error tells why (missing, not a wave file, no sound device).
    virtual bool open(const QString& path, QString* error) = 0;
    // Stops whatever runs; a recording in progress is dropped.
    virtual void close() = 0;
    virtual Mode mode() const = 0;
    // Whether there is a sound device to play on at all; without one nothing opens.
    virtual bool hasSound() const { return true; }
    bool isOpen() const { return mode() != Mode::NotOpen; }
    // The file open for playing, or being recorded.
    virtual QString fileName() const = 0;

    virtual void play() = 0;
    virtual void pause() = 0;
    // Ends playing (back to the start) or a recording: the recording is written to its file,
    // which is then open for playing.
    virtual bool stop(QString* error = nullptr) = 0;
    virtual void seekToStart() = 0;
    virtual void seekToEnd() = 0;
    // Starts recording into `path` (created or replaced when the recording stops).
    virtual bool record(const QString& path, QString* error) = 0;

signals:
    void modeChanged();
};

// The process's preview: on the sound devices when the program has multimedia, else one that
// opens nothing ("no sound device").
std::unique_ptr<WavePreview> createWavePreview();
// Tests: the previews created from now on; an empty factory restores the process's own.
using WavePreviewFactory = std::function<std::unique_ptr<WavePreview>()>;
void setWavePreviewFactory(WavePreviewFactory factory);
