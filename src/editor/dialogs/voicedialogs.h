#pragma once

#include <QPointer>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "editor/dialogs/statementdlg.h"
#include "editor/dialogs/wavepreview.h"

class QCheckBox;
class QGroupBox;
class QRadioButton;
class QSpinBox;
class QToolButton;
class IVRPlay;
class IVRRecord;
class IVRSleep;
class IVRSpeech;

// Two arrow buttons that step a position; the owner's changing handler may refuse a step and
// set the position itself.
class TUpDown : public QWidget {
    Q_OBJECT
public:
    enum Direction { None = 0, Up = 1, Down = 2 };
    explicit TUpDown(QWidget* parent = nullptr);

    int position() const { return position_; }
    void setPosition(int p);
    int minimum() const { return 0; }
    int maximum() const { return 32767; }
    // Steps as the arrow buttons do.
    void step(Direction direction);

    // (allow, proposed position, direction); allow starts true.
    std::function<void(bool& allow, int proposed, Direction direction)> onChanging;

    QToolButton* btnUp;
    QToolButton* btnDown;

private:
    int position_ = 0;
};

// The play statement: the wave file with its preview, creation, clearing and recording.
class TfrmPlayWavFile : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmPlayWavFile(QWidget* parent = nullptr);
    ~TfrmPlayWavFile() override;

    bool Edit(IVRPlay& statement);
    // Hands the dialog the flow (relative wave file names), then the modal run.
    int Execute(const TIVRFlow* flow);

    void btnNewClick();
    void btnClearClick();
    void btnRecordClick();
    // Gives the name the ".WAV" ending when it has none, creates a missing file as an empty wave
    // file, names it (quoted) in the combo box and opens it in the preview.
    void OpenWaveFile(const QString& name);
    void UpdateClearButton();

    WavePreview& preview() { return *preview_; }
    // The file that OK writes a clearing or a recording into (empty: none named).
    QString targetFile() const { return target_; }

    QLabel* lblWavFile;
    TVariantCombo* cmbVariant;
    QCheckBox* ckbInterruptible;
    QPushButton* btnNew;
    QPushButton* btnClear;
    QWidget* playerWavFile;
    QToolButton* btnPlay;
    QToolButton* btnPause;
    QToolButton* btnStop;
    QToolButton* btnPrevious;
    QToolButton* btnNext;
    QToolButton* btnRecord;
    // Says in the dialog that there is no sound device (shown only then).
    QLabel* lblNoSound;

protected:
    bool checkInput() override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void FormShow();
    void FormHide();
    void openInPreview(const QString& path);
    QString scratchFile(const QString& name);
    // Writes a clearing or a finished recording over the target file.
    bool savePending();
    void dropPending();

    std::unique_ptr<WavePreview> preview_;
    const TIVRFlow* flow_ = nullptr;
    // The name the statement keeps for a wave file: relative to a saved flow's folder when inside it.
    QString storedWaveName(const QString& path) const;
    QString target_;
    // The preview holds a scratch file that replaces the target on OK.
    bool pending_ = false;
    std::unique_ptr<QTemporaryDir> scratch_;
    int scratchCounter_ = 0;
    bool readOnly_ = false;
};

// The record statement.
class TfrmRecordWavFile : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmRecordWavFile(QWidget* parent = nullptr);
    bool Edit(IVRRecord& statement);

    void ckbInterruptibleClick();
    void updownMaxLengthChangingEx(int proposed);

    QLabel* lblWavFile;
    TVariantCombo* cmbVariant;
    QLabel* lblMaxLength;
    QSpinBox* updownMaxLength;
    QLabel* lblSecond;
    QCheckBox* ckbInterruptible;

protected:
    bool checkInput() override;
};

// The sleep statement: the edit shows seconds with one decimal, the up-down counts tenths.
class TfrmSleep : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmSleep(QWidget* parent = nullptr);
    bool Edit(IVRSleep& statement);

    void updownMaxLengthChangingEx(bool& allow, int proposed, TUpDown::Direction direction);
    void ckbInterruptibleClick();
    static QString tenthsText(int position);

    QLabel* lblTimeLength;
    QLineEdit* edtMaxLength;
    TUpDown* updownMaxLength;
    QLabel* lblSecond;
    QCheckBox* ckbInterruptible;

protected:
    bool checkInput() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool busy_ = false;
};

// The speech statement.
class TfrmSpeakString : public TStatementDlg {
    Q_OBJECT
public:
    explicit TfrmSpeakString(QWidget* parent = nullptr);
    bool Edit(IVRSpeech& statement);

    void rbtnSayTypeClick();
    void ckbSupportXMLClick();

    QLabel* lblContent;
    TVariantCombo* cmbVariant;
    QCheckBox* ckbInterruptible;
    QCheckBox* ckbSupportXML;
    QGroupBox* grpType;
    QRadioButton* rbtnText;
    TVariantCombo* cmbSayText;
    QRadioButton* rbtnFile;
    QRadioButton* rbtnContext;
    TVariantCombo* cmbContext;

protected:
    bool checkInput() override;
    void showEvent(QShowEvent* event) override;

private:
    bool checkTag(const TVariantCombo* combo, const QRadioButton* option);
};

extern QPointer<TfrmPlayWavFile> frmPlayWavFile;
extern QPointer<TfrmRecordWavFile> frmRecordWavFile;
extern QPointer<TfrmSleep> frmSleep;
extern QPointer<TfrmSpeakString> frmSpeakString;

// Creates the voice statements' dialogs and registers their Edit.
void installVoiceDialogs();
