#pragma once

#include <QIcon>
#include <QStackedWidget>
#include <QStringList>

#include <utility>
#include <vector>

class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QMenu;
class QStandardItemModel;
class QTreeView;

// The pictures of the console, by index: 0 channel, 1 device address, 2 group, 3 application,
// 4 closed folder, 5 open folder, 6 start all, 7 start, 8 stop, 9 stop all.
QIcon consoleImage(int index);

// One list of the console's main window: rows with a caption, an image, sub-columns and an
// integer of data (-1 none), shown in one of four view styles. The report style shows the
// columns; the other three show the captions only. Several rows can be selected; captions are
// read-only. The row order is the order rows were added in.
class ConsoleListView : public QStackedWidget {
    Q_OBJECT
public:
    enum ViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

    explicit ConsoleListView(QWidget* parent = nullptr);

    // Column captions and widths; a width below 0 fills the rest of the list.
    void setColumns(const std::vector<std::pair<QString, int>>& columns);
    QString columnCaption(int column) const;
    int columnCount() const;

    int rowCount() const;
    int addRow(const QString& caption, int image, const QStringList& subItems = {}, int data = -1);
    void removeRow(int row);
    void clear();
    QString text(int row, int column = 0) const;
    void setText(int row, int column, const QString& text);
    // The text shown when the pointer rests on a cell (long texts that the column cuts).
    void setToolTip(int row, int column, const QString& text);
    // Widens a column, never narrows it, until its texts are shown whole.
    void growColumnToContents(int column);
    int rowData(int row) const;

    // Selected rows in row order; the first of them is "the first selected row".
    std::vector<int> selectedRows() const;
    int firstSelected() const;
    int selectedCount() const;
    void setRowSelected(int row, bool selected);
    void clearSelection();

    ViewStyle viewStyle() const { return style_; }
    void setViewStyle(ViewStyle style);

    // The view on screen (the report or the icon view).
    QAbstractItemView* currentView() const;
    QTreeView* reportView() const { return report_; }

    // The menu that a right click on the list pops up.
    void setPopupMenu(QMenu* menu) { popup_ = menu; }

signals:
    void rowDoubleClicked(int row);
    void selectionChanged();

private:
    void showPopup(QAbstractItemView* view, const QPoint& pos);

    QStandardItemModel* model_;
    QTreeView* report_;
    QListView* icons_;
    QMenu* popup_ = nullptr;
    ViewStyle style_ = vsReport;
    std::vector<int> widths_;
};
