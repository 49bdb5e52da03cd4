#pragma once

#include <QByteArray>
#include <QStringList>

#include "editor/dialogs/wavepreview.h"
#include "platform/wave.h"

// A preview without sound: opening checks that the file is a wave file; a recording, when
// stopped, writes `recordedSamples` to its file.
class FakeWavePreview : public WavePreview {
public:
    bool open(const QString& path, QString* error) override
    {
        close();
        if (!sound) {
            if (error) *error = QStringLiteral("no sound device");
            return false;
        }
        WaveInfo info;
        if (!readWaveInfo(path, info, error)) return false;
        path_ = path;
        opened << path;
        setMode(Mode::Stopped);
        return true;
    }
    void close() override
    {
        path_.clear();
        setMode(Mode::NotOpen);
    }
    Mode mode() const override { return mode_; }
    bool hasSound() const override { return sound; }
    QString fileName() const override { return path_; }
    void play() override
    {
        if (mode_ == Mode::Stopped || mode_ == Mode::Paused) setMode(Mode::Playing);
    }
    void pause() override
    {
        if (mode_ == Mode::Playing) setMode(Mode::Paused);
    }
    bool stop(QString* error) override
    {
        if (mode_ == Mode::Recording) {
            const QString path = path_;
            if (!writeWaveFile(path, WaveFormat::telephone(), recordedSamples, error)) return false;
            return open(path, error);
        }
        if (mode_ != Mode::NotOpen) setMode(Mode::Stopped);
        return true;
    }
    void seekToStart() override { ++seeks; }
    void seekToEnd() override { ++seeks; }
    bool record(const QString& path, QString* error) override
    {
        if (!canRecord) {
            if (error) *error = QStringLiteral("no sound device");
            return false;
        }
        path_ = path;
        setMode(Mode::Recording);
        return true;
    }

    QByteArray recordedSamples = QByteArray(1600, '\x11');
    bool canRecord = true;
    bool sound = true;
    QStringList opened;
    int seeks = 0;

private:
    void setMode(Mode m)
    {
        if (m == mode_) return;
        mode_ = m;
        emit modeChanged();
    }
    QString path_;
    Mode mode_ = Mode::NotOpen;
};
