#include "editor/dialogs/voicedialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "ui/prompt.h"
#include "ui/sorvixform.h"
#include "editor/dialogs/editregistry.h"
#include "engine/flow.h"
#include "engine/statements/voice.h"
#include "engine/texts.h"
#include "platform/wave.h"

QPointer<TfrmPlayWavFile> frmPlayWavFile;
QPointer<TfrmRecordWavFile> frmRecordWavFile;
QPointer<TfrmSleep> frmSleep;
QPointer<TfrmSpeakString> frmSpeakString;

namespace {

QSpinBox* secondsBox(QWidget* parent)
{
    auto* box = new QSpinBox(parent);
    box->setRange(0, 32767);
    return box;
}

// A widget with the label "(Sec)" after the given control.
QWidget* withSeconds(QWidget* control, QLabel*& lblSecond)
{
    auto* w = new QWidget;
    auto* row = new QHBoxLayout(w);
    row->setContentsMargins(0, 0, 0, 0);
    control->setParent(w);
    row->addWidget(control);
    lblSecond = new QLabel(txt::Sec, w);
    row->addWidget(lblSecond);
    row->addStretch();
    return w;
}

QIcon recordIcon(const QWidget* w)
{
    const int size = w->style()->pixelMetric(QStyle::PM_SmallIconSize);
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(200, 30, 30));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(size * 0.2, size * 0.2, size * 0.6, size * 0.6));
    return QIcon(pixmap);
}

QToolButton* playerButton(QWidget* parent, const QIcon& icon)
{
    auto* b = new QToolButton(parent);
    b->setIcon(withDisabledLook(icon));
    b->setAutoRaise(false);
    return b;
}

bool isQuoted(const QString& s)
{
    return s.size() >= 2 && s.startsWith(QLatin1Char('"')) && s.endsWith(QLatin1Char('"'));
}

}  // namespace

// ---- TUpDown ----

TUpDown::TUpDown(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    btnUp = new QToolButton(this);
    btnUp->setArrowType(Qt::UpArrow);
    btnDown = new QToolButton(this);
    btnDown->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {btnUp, btnDown}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->setFixedSize(18, 12);
        column->addWidget(b);
    }
    connect(btnUp, &QToolButton::clicked, this, [this] { step(Up); });
    connect(btnDown, &QToolButton::clicked, this, [this] { step(Down); });
}

void TUpDown::setPosition(int p)
{
    position_ = qBound(minimum(), p, maximum());
}

void TUpDown::step(Direction direction)
{
    const int proposed = qBound(minimum(), position_ + (direction == Up ? 1 : direction == Down ? -1 : 0), maximum());
    bool allow = true;
    if (onChanging) onChanging(allow, proposed, direction);
    if (allow) setPosition(proposed);
}

// ---- TfrmPlayWavFile ----

TfrmPlayWavFile::TfrmPlayWavFile(QWidget* parent) : TStatementDlg(parent), preview_(createWavePreview())
{
    setHelpTopic(TelephoneOperate, QStringLiteral("IVRPlay.htm"));
    cmbVariant = new TVariantCombo(this, true);
    btnNew = new QPushButton(txt::PlayNewOrOpen, this);
    btnNew->setAutoDefault(false);
    lblWavFile = addField(txt::PlayWavFile, cmbVariant, btnNew).label;

    playerWavFile = new QWidget(this);
    auto* player = new QHBoxLayout(playerWavFile);
    player->setContentsMargins(0, 0, 0, 0);
    player->setSpacing(2);
    QStyle* s = style();
    btnPlay = playerButton(playerWavFile, s->standardIcon(QStyle::SP_MediaPlay));
    btnPause = playerButton(playerWavFile, s->standardIcon(QStyle::SP_MediaPause));
    btnStop = playerButton(playerWavFile, s->standardIcon(QStyle::SP_MediaStop));
    btnPrevious = playerButton(playerWavFile, s->standardIcon(QStyle::SP_MediaSkipBackward));
    btnNext = playerButton(playerWavFile, s->standardIcon(QStyle::SP_MediaSkipForward));
    btnRecord = playerButton(playerWavFile, recordIcon(this));
    for (QToolButton* b : {btnPlay, btnPause, btnStop, btnPrevious, btnNext, btnRecord}) player->addWidget(b);
    player->addSpacing(12);
    btnClear = new QPushButton(txt::PlayClear, playerWavFile);
    btnClear->setAutoDefault(false);
    player->addWidget(btnClear);
    lblNoSound = new QLabel(txt::NoSoundDevice, playerWavFile);
    lblNoSound->setEnabled(false);
    lblNoSound->setVisible(false);
    player->addSpacing(8);
    player->addWidget(lblNoSound);
    player->addStretch();
    addRow(playerWavFile, {btnPlay, btnPause, btnStop, btnPrevious, btnNext, btnRecord, btnClear});

    ckbInterruptible = new QCheckBox(txt::PlayInterruptible, this);
    addRow(ckbInterruptible, {ckbInterruptible});
    addNoteField(txt::NotePlay);
    finishLayout();

    connect(btnNew, &QPushButton::clicked, this, &TfrmPlayWavFile::btnNewClick);
    connect(btnClear, &QPushButton::clicked, this, &TfrmPlayWavFile::btnClearClick);
    connect(btnRecord, &QToolButton::clicked, this, &TfrmPlayWavFile::btnRecordClick);
    connect(btnPlay, &QToolButton::clicked, this, [this] { preview_->play(); });
    connect(btnPause, &QToolButton::clicked, this, [this] { preview_->pause(); });
    connect(btnStop, &QToolButton::clicked, this, [this] {
        QString error;
        if (!preview_->stop(&error))
            Prompt::instance().message(this, error, QString(), Prompt::Kind::Error, Prompt::Buttons::Ok);
    });
    connect(btnPrevious, &QToolButton::clicked, this, [this] { preview_->seekToStart(); });
    connect(btnNext, &QToolButton::clicked, this, [this] { preview_->seekToEnd(); });
    connect(preview_.get(), &WavePreview::modeChanged, this, &TfrmPlayWavFile::UpdateClearButton);
    UpdateClearButton();
}

TfrmPlayWavFile::~TfrmPlayWavFile()
{
    preview_->disconnect(this);
    preview_->close();
}

bool TfrmPlayWavFile::Edit(IVRPlay& statement)
{
    cmbVariant->fillVariants(*statement.flow(), statement.link);
    ckbInterruptible->setChecked(statement.Interruptible);
    flow_ = statement.flow();
    if (!execute(statement)) return false;
    writeVariantLink(statement.link, *cmbVariant);
    statement.Interruptible = ckbInterruptible->isChecked();
    return true;
}

int TfrmPlayWavFile::Execute(const TIVRFlow* flow)
{
    flow_ = flow;
    return showModal();
}

void TfrmPlayWavFile::showEvent(QShowEvent* event)
{
    TStatementDlg::showEvent(event);
    FormShow();
}

void TfrmPlayWavFile::hideEvent(QHideEvent* event)
{
    FormHide();
    TStatementDlg::hideEvent(event);
}

void TfrmPlayWavFile::FormShow()
{
    // PrepareDialog has run: without OK nothing may change the file.
    readOnly_ = !btnOk->isEnabled();
    btnNew->setEnabled(!readOnly_);
    dropPending();
    preview_->close();
    target_.clear();
    const QString text = cmbVariant->typedText();
    if (!cmbVariant->hasSelection() && !text.isEmpty()) {
        // Only a string constant is quoted; another constant (a number) names the file as it is.
        const QString name = isQuoted(text) ? text.mid(1, text.size() - 2) : text;
        target_ = flow_ ? flow_->GetFullFileName(name) : name;
        openInPreview(target_);
    }
    UpdateClearButton();
}

void TfrmPlayWavFile::FormHide()
{
    preview_->close();
    dropPending();
}

void TfrmPlayWavFile::openInPreview(const QString& path)
{
    // Without a sound device nothing can open; the dialog says so once, beside the player.
    if (!preview_->hasSound()) return;
    QString error;
    if (!preview_->open(path, &error))
        Prompt::instance().message(this, error, QString(), Prompt::Kind::Error, Prompt::Buttons::Ok);
}

void TfrmPlayWavFile::OpenWaveFile(const QString& givenName)
{
    QString name = givenName;
    if (name.right(4).toUpper() != QLatin1String(".WAV")) name += QLatin1String(".WAV");
    if (!QFileInfo::exists(name)) {
        QString error;
        if (!writeEmptyWaveFile(name, &error)) {
            // The combo box and the preview stay as they were.
            Prompt::instance().message(this, error, QString(), Prompt::Kind::Error, Prompt::Buttons::Ok);
            return;
        }
    }
    preview_->close();
    dropPending();
    target_ = name;
    cmbVariant->setTypedText(QLatin1Char('"') + storedWaveName(name) + QLatin1Char('"'));
    openInPreview(name);
    UpdateClearButton();
}

QString TfrmPlayWavFile::storedWaveName(const QString& path) const
{
    // A file in a saved flow's folder (or below it) is named relative to it: the flow finds it
    // there wherever the folder is moved to.
    if (!flow_ || flow_->FileName.isEmpty()) return path;
    const QString relative = QFileInfo(flow_->FileName).absoluteDir().relativeFilePath(path);
    if (relative.startsWith(QStringLiteral("..")) || QDir::isAbsolutePath(relative)) return path;
    return relative;
}

void TfrmPlayWavFile::UpdateClearButton()
{
    const bool open = preview_->isOpen();
    const bool recording = preview_->mode() == WavePreview::Mode::Recording;
    btnClear->setEnabled(open && !readOnly_ && !recording);
    btnRecord->setEnabled(open && !readOnly_ && !recording);
    btnNew->setEnabled(!readOnly_ && !recording);
    for (QToolButton* b : {btnPlay, btnPause, btnStop, btnPrevious, btnNext}) b->setEnabled(open);
    const bool sound = preview_->hasSound();
    lblNoSound->setVisible(!sound);
    for (QWidget* b : std::initializer_list<QWidget*>{btnPlay, btnPause, btnStop, btnPrevious, btnNext, btnRecord, btnClear})
        b->setToolTip(sound ? QString() : txt::NoSoundDevice);
}

void TfrmPlayWavFile::btnNewClick()
{
    if (readOnly_) return;
    // A new name makes the empty wave file, so the dialog must take names that do not exist.
    const QString name = Prompt::instance().newOrOpenFileName(this, QString(), QFileInfo(target_).absolutePath(),
                                                              Prompt::qtFilter(txt::WavFileFilter));
    if (!name.isEmpty()) OpenWaveFile(QFileInfo(name).absoluteFilePath());
}

QString TfrmPlayWavFile::scratchFile(const QString& name)
{
    if (!scratch_) scratch_ = std::make_unique<QTemporaryDir>();
    return scratch_->filePath(QStringLiteral("%1-%2.wav").arg(name).arg(++scratchCounter_));
}

void TfrmPlayWavFile::btnClearClick()
{
    if (readOnly_ || !preview_->isOpen() || target_.isEmpty()) return;
    // The empty file is held aside; it replaces the target only on OK.
    preview_->close();
    const QString empty = scratchFile(QStringLiteral("clear"));
    QString error;
    if (!writeEmptyWaveFile(empty, &error)) {
        Prompt::instance().message(this, error, QString(), Prompt::Kind::Error, Prompt::Buttons::Ok);
    } else {
        pending_ = true;
        openInPreview(empty);
    }
    UpdateClearButton();
}

void TfrmPlayWavFile::btnRecordClick()
{
    if (readOnly_ || !preview_->isOpen() || target_.isEmpty()) return;
    // Recorded aside; it replaces the target only on OK.
    QString error;
    if (preview_->record(scratchFile(QStringLiteral("record")), &error)) pending_ = true;
    else Prompt::instance().message(this, error, QString(), Prompt::Kind::Error, Prompt::Buttons::Ok);
    UpdateClearButton();
}

bool TfrmPlayWavFile::savePending()
{
    QString error;
    if (preview_->mode() == WavePreview::Mode::Recording && !preview_->stop(&error)) {
        Prompt::instance().message(this, error, QString(), Prompt::Kind::Error, Prompt::Buttons::Ok);
        return false;
    }
    if (!pending_) return true;
    const QString source = preview_->fileName();
    preview_->close();
    QFile in(source);
    QSaveFile out(target_);
    bool ok = in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly);
    if (ok) {
        const QByteArray bytes = in.readAll();
        ok = out.write(bytes) == bytes.size() && out.commit();
    }
    if (!ok) {
        error = waveCannotWriteText(target_, out.errorString());
        Prompt::instance().message(this, error, QString(), Prompt::Kind::Error, Prompt::Buttons::Ok);
        openInPreview(source);
        UpdateClearButton();
        return false;
    }
    dropPending();
    return true;
}

void TfrmPlayWavFile::dropPending()
{
    pending_ = false;
    if (preview_->isOpen() && scratch_ && preview_->fileName().startsWith(scratch_->path())) preview_->close();
    scratch_.reset();
}

bool TfrmPlayWavFile::checkInput()
{
    return checkValueInput(cmbVariant, lblWavFile) && savePending();
}

// ---- TfrmRecordWavFile ----

TfrmRecordWavFile::TfrmRecordWavFile(QWidget* parent) : TStatementDlg(parent)
{
    setHelpTopic(TelephoneOperate, QStringLiteral("IVRRecord.htm"));
    cmbVariant = new TVariantCombo(this, true);
    lblWavFile = addField(txt::PlayWavFile, cmbVariant).label;
    updownMaxLength = secondsBox(this);
    lblMaxLength = addField(txt::RecordMaxLength, withSeconds(updownMaxLength, lblSecond)).label;
    lblMaxLength->setBuddy(updownMaxLength);
    ckbInterruptible = new QCheckBox(txt::PlayInterruptible, this);
    addRow(ckbInterruptible, {ckbInterruptible});
    addNoteField(txt::NoteRecord);
    finishLayout();

    connect(ckbInterruptible, &QCheckBox::clicked, this, &TfrmRecordWavFile::ckbInterruptibleClick);
    connect(updownMaxLength, &QSpinBox::valueChanged, this, &TfrmRecordWavFile::updownMaxLengthChangingEx);
}

bool TfrmRecordWavFile::Edit(IVRRecord& statement)
{
    cmbVariant->fillVariants(*statement.flow(), statement.link);
    {
        const QSignalBlocker block(updownMaxLength);
        updownMaxLength->setValue(statement.MaxLength);
    }
    ckbInterruptible->setChecked(statement.Interruptible);
    if (!execute(statement)) return false;
    writeVariantLink(statement.link, *cmbVariant);
    statement.Interruptible = ckbInterruptible->isChecked();
    statement.MaxLength = updownMaxLength->value();
    return true;
}

void TfrmRecordWavFile::ckbInterruptibleClick()
{
    // No limit must stay interruptible.
    if (!ckbInterruptible->isChecked() && updownMaxLength->value() == 0) updownMaxLength->setValue(1);
}

void TfrmRecordWavFile::updownMaxLengthChangingEx(int proposed)
{
    if (proposed == 0) ckbInterruptible->setChecked(true);
}

bool TfrmRecordWavFile::checkInput()
{
    if (!checkValueInput(cmbVariant, lblWavFile)) return false;
    updownMaxLength->interpretText();
    if (updownMaxLength->value() == 0) ckbInterruptible->setChecked(true);
    return true;
}

// ---- TfrmSleep ----

TfrmSleep::TfrmSleep(QWidget* parent) : TStatementDlg(parent)
{
    setHelpTopic(TelephoneOperate, QStringLiteral("IVRSleep.htm"));
    edtMaxLength = new QLineEdit(this);
    edtMaxLength->setMaximumWidth(90);
    auto* lengthRow = new QWidget;
    auto* row = new QHBoxLayout(lengthRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    edtMaxLength->setParent(lengthRow);
    row->addWidget(edtMaxLength);
    updownMaxLength = new TUpDown(lengthRow);
    row->addWidget(updownMaxLength);
    row->addSpacing(4);
    lblSecond = new QLabel(txt::Sec, lengthRow);
    row->addWidget(lblSecond);
    row->addStretch();
    lblTimeLength = addField(txt::SleepTime, lengthRow).label;
    lblTimeLength->setBuddy(edtMaxLength);
    ckbInterruptible = new QCheckBox(txt::PlayInterruptible, this);
    addRow(ckbInterruptible, {ckbInterruptible});
    addNoteField(txt::NoteSleep);
    finishLayout();

    updownMaxLength->onChanging = [this](bool& allow, int proposed, TUpDown::Direction direction) {
        updownMaxLengthChangingEx(allow, proposed, direction);
    };
    edtMaxLength->installEventFilter(this);
    connect(ckbInterruptible, &QCheckBox::clicked, this, &TfrmSleep::ckbInterruptibleClick);
}

QString TfrmSleep::tenthsText(int position)
{
    return QString::number(position / 10) + QLatin1Char('.') + QString::number(position % 10);
}

bool TfrmSleep::Edit(IVRSleep& statement)
{
    updownMaxLength->setPosition(statement.MaxLength);
    edtMaxLength->setText(tenthsText(updownMaxLength->position()));
    ckbInterruptible->setChecked(statement.Interruptible);
    if (!execute(statement)) return false;
    statement.Interruptible = ckbInterruptible->isChecked();
    statement.MaxLength = updownMaxLength->position();
    return true;
}

void TfrmSleep::updownMaxLengthChangingEx(bool& allow, int proposed, TUpDown::Direction direction)
{
    if (busy_) return;
    busy_ = true;
    allow = false;
    int n = proposed;
    bool isNumber = false;
    const double seconds = edtMaxLength->text().trimmed().toDouble(&isNumber);
    if (isNumber && std::isfinite(seconds)) {
        const double tenths = seconds * 10;
        const double whole = std::round(tenths);
        if (std::abs(tenths - whole) < 1e-6 && std::abs(whole) < 1e9) n = int(whole);
    }
    if (direction == TUpDown::Up && n < updownMaxLength->maximum()) ++n;
    else if (direction == TUpDown::Down && n > updownMaxLength->minimum()) --n;
    updownMaxLength->setPosition(n);
    if (updownMaxLength->position() == 0) ckbInterruptible->setChecked(true);
    edtMaxLength->setText(tenthsText(updownMaxLength->position()));
    busy_ = false;
}

void TfrmSleep::ckbInterruptibleClick()
{
    // No length must stay interruptible; the shortest one can be uninterruptible.
    if (!ckbInterruptible->isChecked() && updownMaxLength->position() == 0) {
        updownMaxLength->setPosition(1);
        edtMaxLength->setText(tenthsText(1));
    }
}

bool TfrmSleep::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == edtMaxLength && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            updownMaxLength->step(key == Qt::Key_Up ? TUpDown::Up : TUpDown::Down);
            return true;
        }
    }
    return TStatementDlg::eventFilter(watched, event);
}

bool TfrmSleep::checkInput()
{
    bool allow = true;
    updownMaxLengthChangingEx(allow, updownMaxLength->position(), TUpDown::None);
    if (updownMaxLength->position() == 0) ckbInterruptible->setChecked(true);
    return true;
}

// ---- TfrmSpeakString ----

TfrmSpeakString::TfrmSpeakString(QWidget* parent) : TStatementDlg(parent)
{
    setHelpTopic(TelephoneOperate, QStringLiteral("IVRSpeech.htm"));
    cmbVariant = new TVariantCombo(this, true);
    lblContent = addField(txt::SpeechContent, cmbVariant).label;
    auto* options = new QWidget;
    auto* optionRow = new QHBoxLayout(options);
    optionRow->setContentsMargins(0, 0, 0, 0);
    ckbInterruptible = new QCheckBox(txt::PlayInterruptible, options);
    ckbSupportXML = new QCheckBox(txt::SpeechSupportXmlOption, options);
    optionRow->addWidget(ckbInterruptible);
    optionRow->addSpacing(16);
    optionRow->addWidget(ckbSupportXML);
    optionRow->addStretch();
    addRow(options, {ckbInterruptible, ckbSupportXML});

    grpType = new QGroupBox(txt::SpeechContentType, this);
    auto* type = new QGridLayout(grpType);
    type->setColumnStretch(1, 1);
    rbtnText = new QRadioButton(txt::SpeechTextOption, grpType);
    cmbSayText = new TVariantCombo(grpType, true);
    cmbSayText->setNames(txt::SpeechLanguageNames);
    rbtnFile = new QRadioButton(txt::SpeechFileNameOption, grpType);
    rbtnContext = new QRadioButton(txt::SpeechContextOption, grpType);
    cmbContext = new TVariantCombo(grpType, true);
    cmbContext->setNames(txt::SpeechContextNames);
    type->addWidget(rbtnText, 0, 0);
    type->addWidget(cmbSayText, 0, 1);
    type->addWidget(rbtnFile, 1, 0, 1, 2);
    type->addWidget(rbtnContext, 2, 0);
    type->addWidget(cmbContext, 2, 1);
    addRow(grpType, {rbtnText, cmbSayText, rbtnFile, rbtnContext, cmbContext});
    addNoteField(txt::NoteSpeech);
    finishLayout();

    for (QRadioButton* r : {rbtnText, rbtnFile, rbtnContext})
        connect(r, &QRadioButton::clicked, this, &TfrmSpeakString::rbtnSayTypeClick);
    connect(ckbSupportXML, &QCheckBox::clicked, this, &TfrmSpeakString::ckbSupportXMLClick);
}

void TfrmSpeakString::rbtnSayTypeClick()
{
    cmbContext->setEnabled(rbtnContext->isChecked());
    cmbSayText->setEnabled(rbtnText->isChecked() && ckbSupportXML->isChecked());
}

void TfrmSpeakString::ckbSupportXMLClick()
{
    const bool xml = ckbSupportXML->isChecked();
    rbtnContext->setEnabled(xml);
    cmbSayText->setEnabled(xml && rbtnText->isChecked());
    if (!xml) {
        if (rbtnContext->isChecked()) rbtnText->setChecked(true);
        cmbSayText->select(0);
    }
    cmbContext->setEnabled(rbtnContext->isChecked());
}

void TfrmSpeakString::showEvent(QShowEvent* event)
{
    TStatementDlg::showEvent(event);
    ckbSupportXMLClick();
}

bool TfrmSpeakString::Edit(IVRSpeech& statement)
{
    cmbVariant->fillVariants(*statement.flow(), statement.link);
    ckbInterruptible->setChecked(statement.Interruptible);
    ckbSupportXML->setChecked(statement.SupportXML);
    // All three off, then the one of the type.
    for (QRadioButton* r : {rbtnText, rbtnFile, rbtnContext}) r->setAutoExclusive(false);
    for (QRadioButton* r : {rbtnText, rbtnFile, rbtnContext}) r->setChecked(false);
    for (QRadioButton* r : {rbtnText, rbtnFile, rbtnContext}) r->setAutoExclusive(true);
    cmbSayText->select(0);
    cmbContext->select(-1);
    switch (statement.SpeechType) {
    case stText:
        rbtnText->setChecked(true);
        if (statement.TagIndex != -1) cmbSayText->select(statement.TagIndex);
        else if (!statement.XMLTag.isEmpty()) cmbSayText->setTypedText(statement.XMLTag);
        break;
    case stFile:
        rbtnFile->setChecked(true);
        break;
    case stContext:
        rbtnContext->setChecked(true);
        if (statement.TagIndex == -1) cmbContext->setTypedText(statement.XMLTag);
        else cmbContext->select(statement.TagIndex);
        break;
    }
    if (!execute(statement)) return false;

    writeVariantLink(statement.link, *cmbVariant);
    statement.Interruptible = ckbInterruptible->isChecked();
    statement.SupportXML = ckbSupportXML->isChecked();
    statement.XMLTag.clear();
    statement.TagIndex = -1;
    if (rbtnText->isChecked()) {
        statement.SpeechType = stText;
        statement.TagIndex = cmbSayText->selectedIndex();
        if (statement.TagIndex < 0) {
            statement.XMLTag = cmbSayText->typedText();
            if (statement.XMLTag.isEmpty()) statement.TagIndex = 0;
        } else {
            statement.XMLTag = txt::SpeechLanguageIds.value(statement.TagIndex);
        }
    } else if (rbtnFile->isChecked()) {
        statement.SpeechType = stFile;
    } else if (rbtnContext->isChecked()) {
        statement.SpeechType = stContext;
        statement.TagIndex = cmbContext->selectedIndex();
        if (statement.TagIndex < 0) statement.XMLTag = cmbContext->typedText();
        else statement.XMLTag = txt::SpeechContextIds.value(statement.TagIndex);
    }
    return true;
}

bool TfrmSpeakString::checkTag(const TVariantCombo* combo, const QRadioButton* option)
{
    if (!option->isChecked() || combo->hasSelection()) return true;
    static const QString forbidden = QStringLiteral("\"'<>");
    const QString text = combo->typedText();
    for (QChar c : text)
        if (forbidden.contains(c)) {
            // The option's caption names the field ("&Text" gives Text).
            const QString name = TIVRFlow::CaptionToName(option->text());
            Prompt::instance().message(this, txt::SpeechTagInvalid, txt::Error + txt::Colon + name,
                                       Prompt::Kind::Error, Prompt::Buttons::Ok);
            const_cast<TVariantCombo*>(combo)->setFocus(Qt::OtherFocusReason);
            return false;
        }
    return true;
}

bool TfrmSpeakString::checkInput()
{
    return checkValueInput(cmbVariant, lblContent) && checkTag(cmbSayText, rbtnText) &&
           checkTag(cmbContext, rbtnContext);
}

// ---- installation ----

void installVoiceDialogs()
{
    frmPlayWavFile = new TfrmPlayWavFile(EditRegistry::owner());
    EditRegistry::adopt(frmPlayWavFile);
    frmRecordWavFile = new TfrmRecordWavFile(EditRegistry::owner());
    EditRegistry::adopt(frmRecordWavFile);
    frmSleep = new TfrmSleep(EditRegistry::owner());
    EditRegistry::adopt(frmSleep);
    frmSpeakString = new TfrmSpeakString(EditRegistry::owner());
    EditRegistry::adopt(frmSpeakString);

    EditRegistry::registerEditOf<IVRPlay>([](IVRPlay& s) { return frmPlayWavFile && frmPlayWavFile->Edit(s); });
    EditRegistry::registerEditOf<IVRRecord>([](IVRRecord& s) { return frmRecordWavFile && frmRecordWavFile->Edit(s); });
    EditRegistry::registerEditOf<IVRSleep>([](IVRSleep& s) { return frmSleep && frmSleep->Edit(s); });
    EditRegistry::registerEditOf<IVRSpeech>([](IVRSpeech& s) { return frmSpeakString && frmSpeakString->Edit(s); });
}
