#pragma once

#include <QString>
#include <QToolButton>
#include <QWidget>
#include <array>
#include <vector>

struct ClassInfo;
class QGridLayout;

// The statement classes of the palette, in palette order, with the names of their buttons.
struct PaletteEntry {
    const ClassInfo* statementClass;
    const char* buttonName;
};
inline constexpr int PaletteSize = 33;
const std::array<PaletteEntry, PaletteSize>& PaletteClasses();

// The four categories of the palette: their buttons, captions, images and the palette indexes of
// their statements in display order.
struct PaletteCategory {
    const char* buttonName;
    QString* caption;  // text-table entry
    int image;
    bool startsPressed;
    int first, last;                // palette indexes of the group
    std::vector<int> displayOrder;  // the group's statements as shown, two per row after the category
};
const std::array<PaletteCategory, 4>& PaletteCategories();

// A button of the palette: a statement button carries its class (the tag), a category button none.
class TPaletteButton : public QToolButton {
    Q_OBJECT
public:
    TPaletteButton(const ClassInfo* statementClass, QWidget* parent);
    const ClassInfo* statementClass() const { return statementClass_; }

    // The hint; shown as the tool tip only while hints are on for this button.
    QString hint() const { return hint_; }
    void setHint(const QString& hint);
    bool showsHint() const { return showHint_; }
    void setShowHint(bool show);

private:
    void applyToolTip();

    const ClassInfo* statementClass_;
    QString hint_;
    bool showHint_ = false;
};

// The palette's panel: each category's button begins a row, its statements follow two per row,
// a line closes each group.
class TStatementPanel : public QWidget {
    Q_OBJECT
public:
    explicit TStatementPanel(QWidget* parent);

    std::array<TPaletteButton*, PaletteSize> buttons{};
    std::array<TPaletteButton*, 4> categories{};

    // Captions beside the images at one fixed width (wider only where a caption needs it), or
    // images only sized to their content. Call again after the captions changed.
    bool showCaptions() const { return showCaptions_; }
    void setShowCaptions(bool show);
    int captionWidth() const { return captionWidth_; }

    static constexpr int ButtonWidth = 99;

private:
    void sizeButton(TPaletteButton* b);
    static int captionHint(TPaletteButton* b);

    QGridLayout* grid_;
    bool showCaptions_ = true;
    int captionWidth_ = ButtonWidth;
};
