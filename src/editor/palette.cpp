#include "editor/palette.h"

#include <QFrame>
#include <QGridLayout>
#include <algorithm>

#include "engine/statement.h"
#include "engine/texts.h"

namespace {
struct Named {
    const char* className;
    const char* buttonName;
};

constexpr Named paletteNames[PaletteSize] = {
    {"IVRVariant", "tbtnVariant"},
    {"IVRDataBase", "tbtnDataBase"},
    {"IVRCategory", "tbtnDataCategory"},
    {"IVROperator", "tbtnVariantOperate"},
    {"IVRString", "tbtnStringOperate"},
    {"IVRDateTime", "tbtnDateOperate"},
    {"IVRDBOperate", "tbtnDataBaseOperate"},
    {"IVRField", "tbtnFieldOperate"},
    {"IVRCommand", "tbtnCommandOperate"},
    {"IVRParam", "tbtnParamOperate"},
    {"IVRTextFile", "tbtnTextFile"},
    {"IVRInitFile", "tbtnInitFile"},
    {"IVRExecute", "tbtnExecute"},
    {"IVRIf", "tbtnIf"},
    {"IVRSwitch", "tbtnSwitch"},
    {"IVRCase", "tbtnCase"},
    {"IVRWhile", "tbtnWhile"},
    {"IVRBlock", "tbtnBlock"},
    {"IVRLabel", "tbtnLabel"},
    {"IVRGoto", "tbtnGoto"},
    {"IVRFinish", "tbtnEndFlow"},
    {"IVRRestart", "tbtnRestart"},
    {"IVRRing", "tbtnRing"},
    {"IVRAnswer", "tbtnAnswer"},
    {"IVRCall", "tbtnCall"},
    {"IVRPlay", "tbtnPlayWavFile"},
    {"IVRRecord", "tbtnRecordWavFile"},
    {"IVRSpeech", "tbtnSpeech"},
    {"IVRSleep", "tbtnSleep"},
    {"IVRReceiveDTMF", "tbtnGetDTMF"},
    {"IVRSendDTMF", "tbtnPutDTMF"},
    {"IVRGateway", "tbtnGateway"},
    {"IVRSpeakerPhone", "tbtnSpeakerPhone"},
};
}  // namespace

const std::array<PaletteEntry, PaletteSize>& PaletteClasses()
{
    static const std::array<PaletteEntry, PaletteSize> table = [] {
        std::array<PaletteEntry, PaletteSize> t{};
        for (int i = 0; i < PaletteSize; ++i)
            t[size_t(i)] = {ClassRegistry::find(QLatin1String(paletteNames[i].className)), paletteNames[i].buttonName};
        return t;
    }();
    return table;
}

const std::array<PaletteCategory, 4>& PaletteCategories()
{
    static const std::array<PaletteCategory, 4> table{{
        {"tbtnDataDefine", &txt::CatDataDefine, 1, true, 0, 2, {2, 0, 1}},
        {"tbtnDataOperate", &txt::CatDataOperate, 2, true, 3, 12, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {"tbtnFlowControl", &txt::CatFlowControl, 1, true, 13, 21, {13, 14, 15, 16, 17, 18, 19, 20, 21}},
        {"tbtnCardOperate", &txt::CatTelephone, 4, false, 22, 32,
         {22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32}},
    }};
    return table;
}

TPaletteButton::TPaletteButton(const ClassInfo* statementClass, QWidget* parent)
    : QToolButton(parent), statementClass_(statementClass)
{
    setAutoRaise(true);  // flat
    setFocusPolicy(Qt::NoFocus);
    setAcceptDrops(statementClass != nullptr);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TPaletteButton::setHint(const QString& hint)
{
    hint_ = hint;
    applyToolTip();
}

void TPaletteButton::setShowHint(bool show)
{
    showHint_ = show;
    applyToolTip();
}

void TPaletteButton::applyToolTip()
{
    setToolTip(showHint_ ? hint_ : QString());
}

TStatementPanel::TStatementPanel(QWidget* parent) : QWidget(parent), grid_(new QGridLayout(this))
{
    grid_->setContentsMargins(2, 2, 2, 2);
    grid_->setHorizontalSpacing(0);
    grid_->setVerticalSpacing(0);

    const auto& classes = PaletteClasses();
    for (int i = 0; i < PaletteSize; ++i) {
        auto* b = new TPaletteButton(classes[size_t(i)].statementClass, this);
        b->setObjectName(QLatin1String(classes[size_t(i)].buttonName));
        buttons[size_t(i)] = b;
    }
    int row = 0;
    const auto& cats = PaletteCategories();
    for (size_t c = 0; c < cats.size(); ++c) {
        auto* cat = new TPaletteButton(nullptr, this);
        cat->setObjectName(QLatin1String(cats[c].buttonName));
        cat->setCheckable(true);
        cat->setChecked(cats[c].startsPressed);
        categories[c] = cat;
        // The category begins its first row; the statements follow, two per row.
        int col = 1;
        grid_->addWidget(cat, row, 0);
        for (int index : cats[c].displayOrder) {
            grid_->addWidget(buttons[size_t(index)], row, col);
            if (++col == 2) {
                col = 0;
                ++row;
            }
        }
        if (col != 0) ++row;
        auto* line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        grid_->addWidget(line, row++, 0, 1, 2);
    }
    grid_->setRowStretch(row, 1);
    for (TPaletteButton* b : buttons) sizeButton(b);
    for (TPaletteButton* b : categories) sizeButton(b);
}

void TStatementPanel::setShowCaptions(bool show)
{
    showCaptions_ = show;
    // One width for all: the fixed width, or the widest caption where a font needs more.
    captionWidth_ = ButtonWidth;
    for (TPaletteButton* b : buttons) captionWidth_ = std::max(captionWidth_, captionHint(b));
    for (TPaletteButton* b : categories) captionWidth_ = std::max(captionWidth_, captionHint(b));
    for (TPaletteButton* b : buttons) sizeButton(b);
    for (TPaletteButton* b : categories) sizeButton(b);
}

int TStatementPanel::captionHint(TPaletteButton* b)
{
    const Qt::ToolButtonStyle style = b->toolButtonStyle();
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    const int width = b->sizeHint().width();
    b->setToolButtonStyle(style);
    return width;
}

void TStatementPanel::sizeButton(TPaletteButton* b)
{
    if (showCaptions_) {
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setFixedWidth(captionWidth_);
    } else {
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setMinimumWidth(0);
        b->setMaximumWidth(QWIDGETSIZE_MAX);
        b->setFixedWidth(b->sizeHint().width());
    }
}
