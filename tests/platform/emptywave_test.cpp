#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/wave.h"

namespace {

TEST(EmptyWaveFile, IsTheExact58BytesAndReadsAsAnEmptyTelephoneWave)
{
    const unsigned char expected[58] = {
        'R', 'I', 'F', 'F', 50, 0, 0, 0, 'W', 'A', 'V', 'E',                  // RIFF, size - 8
        'f', 'm', 't', ' ', 18, 0, 0, 0,                                      // format chunk of 18
        1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0, 0, 0,    // PCM mono 8000 16000 2 16 ext 0
        'f', 'a', 'c', 't', 4, 0, 0, 0, 0, 0, 0, 0,                            // no samples
        'd', 'a', 't', 'a', 0, 0, 0, 0,                                        // empty data
    };
    const QByteArray bytes = emptyWaveFileBytes();
    ASSERT_EQ(bytes.size(), 58);
    EXPECT_EQ(bytes, QByteArray(reinterpret_cast<const char*>(expected), 58));

    QTemporaryDir dir;
    const QString path = dir.filePath("greeting.WAV");
    // Writing over a longer file cuts it to the 58 bytes.
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(500, 'x'));
    }
    QString error;
    ASSERT_TRUE(writeEmptyWaveFile(path, &error)) << error.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), bytes);

    WaveInfo info;
    ASSERT_TRUE(readWaveInfo(path, info, &error)) << error.toStdString();
    EXPECT_EQ(info.format, WaveFormat::telephone());
    EXPECT_EQ(info.dataBytes, 0);
    EXPECT_EQ(info.dataOffset, 58);
}

TEST(EmptyWaveFile, AMissingFolderFailsWithAnError)
{
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(writeEmptyWaveFile(dir.filePath("no/such/folder/a.wav"), &error));
    EXPECT_FALSE(error.isEmpty());
}

// The messages follow the interface language.
TEST(WaveMessages, ComeInTheLanguageOfTheInterface)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.wav");
    const QString notWave = dir.filePath("text.wav");
    {
        QFile f(notWave);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(100, 'x'));
    }
    struct Row {
        bool chinese;
        QString missing, notWave, cannotWrite;
    };
    const Row rows[] = {
        {false, "cannot open " + missing + ": ", notWave + " is not a wave file", "cannot write /x: why"},
        {true, QString::fromUtf8("无法打开 ") + missing + QString::fromUtf8("："),
         notWave + QString::fromUtf8(" 不是声音文件"), QString::fromUtf8("无法写入 /x：why")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.chinese);
        setWaveTextLanguage(row.chinese);
        WaveInfo info;
        QByteArray samples;
        QString error;
        EXPECT_FALSE(readWaveFile(missing, info, samples, &error));
        EXPECT_TRUE(error.startsWith(row.missing)) << error.toStdString();
        EXPECT_FALSE(readWaveFile(notWave, info, samples, &error));
        EXPECT_EQ(error, row.notWave);
        EXPECT_EQ(waveCannotWriteText("/x", "why"), row.cannotWrite);
    }
    setWaveTextLanguage(false);
}

}  // namespace
