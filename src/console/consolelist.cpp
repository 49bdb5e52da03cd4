#include "console/consolelist.h"

#include <QApplication>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QStandardItemModel>
#include <QStyle>
#include <QTreeView>

namespace {

constexpr int DataRole = Qt::UserRole + 1;

// A picture of exactly size pixels: the standard pictures of some styles come in one small size.
QPixmap sized(const QIcon& icon, int size)
{
    QPixmap pix = icon.pixmap(size, size);
    if (pix.isNull()) {
        pix = QPixmap(size, size);
        pix.fill(Qt::transparent);
    } else if (pix.width() < size || pix.height() < size) {
        pix = pix.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return pix;
}

// A small badge drawn over a standard picture, so rows of different kinds stay apart; no colour,
// no badge. Each picture exists at 16 and 32 pixels for the small and the large icons.
QIcon badged(const QIcon& base, const QColor& colour = QColor())
{
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pix = sized(base, size);
        if (!colour.isValid()) {
            icon.addPixmap(pix);
            continue;
        }
        QPainter p(&pix);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        const int d = size / 2;
        p.drawEllipse(QRect(size - d, size - d, d - 1, d - 1));
        p.end();
        icon.addPixmap(pix);
    }
    return icon;
}

// Two of a picture, one behind the other: the command for every channel (stop all).
QIcon doubled(const QIcon& base)
{
    QIcon icon;
    for (int size : {16, 32}) {
        const QPixmap single = sized(base, size * 3 / 4);
        QPixmap pix(size, size);
        pix.fill(Qt::transparent);
        QPainter p(&pix);
        p.setOpacity(0.6);
        p.drawPixmap(size - single.width(), 0, single);
        p.setOpacity(1.0);
        p.drawPixmap(0, size - single.height(), single);
        p.end();
        icon.addPixmap(pix);
    }
    return icon;
}

}  // namespace

QIcon consoleImage(int index)
{
    QStyle* style = QApplication::style();
    switch (index) {
    case 0: return badged(style->standardIcon(QStyle::SP_ComputerIcon), QColor(0, 128, 0));
    case 1: return badged(style->standardIcon(QStyle::SP_DriveNetIcon), QColor(0, 0, 192));
    case 2: return badged(style->standardIcon(QStyle::SP_FileDialogListView), QColor(192, 128, 0));
    case 3: return badged(style->standardIcon(QStyle::SP_FileIcon), QColor(192, 0, 0));
    case 4: return badged(style->standardIcon(QStyle::SP_DirClosedIcon));
    case 5: return badged(style->standardIcon(QStyle::SP_DirOpenIcon));
    case 6: return badged(style->standardIcon(QStyle::SP_MediaSeekForward));
    case 7: return badged(style->standardIcon(QStyle::SP_MediaPlay));
    case 8: return badged(style->standardIcon(QStyle::SP_MediaStop));
    case 9: return doubled(style->standardIcon(QStyle::SP_MediaStop));
    default: return {};
    }
}

ConsoleListView::ConsoleListView(QWidget* parent) : QStackedWidget(parent)
{
    model_ = new QStandardItemModel(this);

    report_ = new QTreeView(this);
    report_->setModel(model_);
    report_->setRootIsDecorated(false);
    report_->setItemsExpandable(false);
    report_->setUniformRowHeights(true);
    report_->setAllColumnsShowFocus(true);

    icons_ = new QListView(this);
    icons_->setModel(model_);
    icons_->setSelectionModel(report_->selectionModel());
    icons_->setMovement(QListView::Static);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setWrapping(true);
    icons_->setSpacing(4);

    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(icons_)}) {
        v->setSelectionMode(QAbstractItemView::ExtendedSelection);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(v, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
            if (index.isValid()) emit rowDoubleClicked(index.row());
        });
        connect(v, &QWidget::customContextMenuRequested, this, [this, v](const QPoint& pos) { showPopup(v, pos); });
        addWidget(v);
    }
    connect(report_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit selectionChanged(); });
    setCurrentWidget(report_);
    setFocusProxy(report_);
}

void ConsoleListView::setColumns(const std::vector<std::pair<QString, int>>& columns)
{
    model_->setColumnCount(int(columns.size()));
    widths_.clear();
    QHeaderView* header = report_->header();
    header->setStretchLastSection(false);
    for (size_t i = 0; i < columns.size(); ++i) {
        model_->setHorizontalHeaderItem(int(i), new QStandardItem(columns[i].first));
        widths_.push_back(columns[i].second);
        if (columns[i].second < 0) {
            header->setSectionResizeMode(int(i), QHeaderView::Stretch);
        } else {
            header->setSectionResizeMode(int(i), QHeaderView::Interactive);
            report_->setColumnWidth(int(i), columns[i].second);
        }
    }
}

QString ConsoleListView::columnCaption(int column) const
{
    const QStandardItem* item = model_->horizontalHeaderItem(column);
    return item ? item->text() : QString();
}

int ConsoleListView::columnCount() const { return model_->columnCount(); }

int ConsoleListView::rowCount() const { return model_->rowCount(); }

int ConsoleListView::addRow(const QString& caption, int image, const QStringList& subItems, int data)
{
    QList<QStandardItem*> items;
    auto* first = new QStandardItem(consoleImage(image), caption);
    first->setData(data, DataRole);
    items << first;
    for (int c = 1; c < std::max(model_->columnCount(), int(subItems.size()) + 1); ++c)
        items << new QStandardItem(subItems.value(c - 1));
    for (QStandardItem* item : items) item->setEditable(false);
    model_->appendRow(items);
    return model_->rowCount() - 1;
}

void ConsoleListView::removeRow(int row) { model_->removeRow(row); }

void ConsoleListView::clear() { model_->removeRows(0, model_->rowCount()); }

QString ConsoleListView::text(int row, int column) const
{
    const QStandardItem* item = model_->item(row, column);
    return item ? item->text() : QString();
}

void ConsoleListView::growColumnToContents(int column)
{
    const int before = report_->columnWidth(column);
    report_->resizeColumnToContents(column);
    if (report_->columnWidth(column) < before) report_->setColumnWidth(column, before);
}

void ConsoleListView::setToolTip(int row, int column, const QString& text)
{
    if (QStandardItem* item = model_->item(row, column)) item->setToolTip(text);
}

void ConsoleListView::setText(int row, int column, const QString& text)
{
    if (QStandardItem* item = model_->item(row, column)) item->setText(text);
    else model_->setItem(row, column, new QStandardItem(text));
}

int ConsoleListView::rowData(int row) const
{
    const QStandardItem* item = model_->item(row, 0);
    return item ? item->data(DataRole).toInt() : -1;
}

std::vector<int> ConsoleListView::selectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : report_->selectionModel()->selectedRows(0)) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int ConsoleListView::firstSelected() const
{
    const std::vector<int> rows = selectedRows();
    return rows.empty() ? -1 : rows.front();
}

int ConsoleListView::selectedCount() const { return int(report_->selectionModel()->selectedRows(0).size()); }

void ConsoleListView::setRowSelected(int row, bool selected)
{
    const QModelIndex index = model_->index(row, 0);
    if (!index.isValid()) return;
    report_->selectionModel()->select(index, (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                                 QItemSelectionModel::Rows);
}

void ConsoleListView::clearSelection() { report_->selectionModel()->clearSelection(); }

void ConsoleListView::setViewStyle(ViewStyle style)
{
    style_ = style;
    const bool hadFocus = currentView()->hasFocus();
    switch (style) {
    case vsReport: setCurrentWidget(report_); break;
    case vsIcon:
        icons_->setViewMode(QListView::IconMode);
        icons_->setIconSize(QSize(32, 32));
        icons_->setFlow(QListView::LeftToRight);
        icons_->setGridSize(QSize(96, 72));
        icons_->setWordWrap(true);
        setCurrentWidget(icons_);
        break;
    case vsSmallIcon:
        icons_->setViewMode(QListView::ListMode);
        icons_->setIconSize(QSize(16, 16));
        icons_->setFlow(QListView::LeftToRight);
        icons_->setGridSize(QSize(160, 22));
        icons_->setWordWrap(false);
        setCurrentWidget(icons_);
        break;
    case vsList:
        icons_->setViewMode(QListView::ListMode);
        icons_->setIconSize(QSize(16, 16));
        icons_->setFlow(QListView::TopToBottom);
        icons_->setGridSize(QSize());
        icons_->setWordWrap(false);
        setCurrentWidget(icons_);
        break;
    }
    // The views keep their own settings; IconMode sets Free movement, so set it back.
    icons_->setMovement(QListView::Static);
    setFocusProxy(currentView());
    if (hadFocus) currentView()->setFocus();
}

QAbstractItemView* ConsoleListView::currentView() const
{
    return style_ == vsReport ? static_cast<QAbstractItemView*>(report_) : static_cast<QAbstractItemView*>(icons_);
}

void ConsoleListView::showPopup(QAbstractItemView* view, const QPoint& pos)
{
    if (popup_) popup_->popup(view->viewport()->mapToGlobal(pos));
}
