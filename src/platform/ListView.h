#pragma once
// The list-view control the forms use, over QTreeWidget: rows with a unique key and a text,
// sub-items with keys and tool tips, check marks, colour, bold, a Tag, columns sized in twips,
// sorting, and a background picture that scrolls with the rows.
#include <QHash>
#include <QImage>
#include <QTreeWidget>

namespace vb {

// Twips: 1440 per inch; pixels convert through the screen's logical DPI.
double TwipsPerPixelX(const QWidget* widget);
double TwipsPerPixelY(const QWidget* widget);
int TwipsToPixelsX(const QWidget* widget, double twips);
int TwipsToPixelsY(const QWidget* widget, double twips);

class ListView;

class ListItem : public QTreeWidgetItem {
public:
    ListItem() = default;
    ~ListItem() override;
    ListItem(const ListItem&) = delete;
    ListItem& operator=(const ListItem&) = delete;

    const QString& Key() const { return m_key; }
    QString Text() const { return text(0); }
    void SetText(const QString& value) { setText(0, value); }
    // Sub-item i (1-based, column i); empty beyond the columns.
    QString SubItem(int i) const { return text(i); }
    void SetSubItem(int i, const QString& value, const QString& key = QString(), const QString& toolTip = QString());
    QString SubItemKey(int i) const;
    // The text of the sub-item with that key; empty when there is none.
    QString SubItemByKey(const QString& key) const;
    bool Checked() const { return checkState(0) == Qt::Checked; }
    void SetChecked(bool checked) { setCheckState(0, checked ? Qt::Checked : Qt::Unchecked); }
    const QString& Tag() const { return m_tag; }
    void SetTag(const QString& tag) { m_tag = tag; }
    QColor ForeColor() const { return foreground(0).color(); }
    void SetForeColor(const QColor& color);
    bool Bold() const { return font(0).bold(); }
    void SetBold(bool bold);
    int Index() const; // 1-based position
    ListView* View() const { return m_view; }

    // What a column sorts by where its text would sort wrongly (a date as a number); a column
    // without one sorts by its text.
    void SetSortValue(int column, qint64 value) { setData(column, kSortRole, value); }

    bool operator<(const QTreeWidgetItem& other) const override;
    static constexpr int kSortRole = Qt::UserRole + 2; // beside the sub-item key of UserRole + 1

private:
    friend class ListView;
    ListView* m_view = nullptr;
    QString m_key;
    QString m_tag;
};

class ListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit ListView(QWidget* parent = nullptr);
    ~ListView() override;
    ListView(const ListView&) = delete;
    ListView& operator=(const ListView&) = delete;

    // Columns. name: what the program finds the column by where its header is shown in the
    // language in use; without one, the header.
    void AddColumn(const QString& header, int widthTwips, const QString& name = QString());
    void ClearColumns();
    // The columns the program added (the tree keeps at least one of its own).
    int ColumnCount() const { return int(m_columnTwips.size()); }
    QString ColumnText(int column) const;
    QString ColumnName(int column) const;
    int ColumnWidthTwips(int column) const;
    void SetColumnWidthTwips(int column, int twips);
    // Fits a column to its contents, and to its header too when useHeader (widths -2 and -1).
    void FitColumn(int column, bool useHeader);

    int WidthTwips() const;
    void SetWidthTwips(int twips);

    // Rows. index is 1-based; -1 adds at the end. A key that is not unique raises 35602.
    ListItem* AddItem(int index = -1, const QString& key = QString(), const QString& text = QString());
    ListItem* Item(int index) const; // 1-based; nullptr when out of range
    ListItem* ItemByKey(const QString& key) const;
    int Count() const { return topLevelItemCount(); }
    void ClearItems();
    // Removes a row; raises 35601 when it is not in the list.
    void Remove(ListItem* item);
    void SetKey(ListItem* item, const QString& key);
    ListItem* SelectedItem() const;
    void SetSelectedItem(ListItem* item);

    // 3 is the report view, the only one this control draws; other values are kept for callers.
    int View() const { return m_view; }
    void SetView(int view) { m_view = view; }

    void SetCheckboxes(bool on) { m_checkboxes = on; }
    bool Checkboxes() const { return m_checkboxes; }

    // Sorting: by the text of one column, ascending or descending.
    int SortKey() const { return m_sortKey; }
    void SetSortKey(int column) { m_sortKey = column; }
    Qt::SortOrder SortOrder() const { return m_sortOrder; }
    void SetSortOrder(Qt::SortOrder order) { m_sortOrder = order; }
    bool Sorted() const { return m_sorted; }
    // While one lives, rows added are not sorted one by one (each sort costs the whole list)
    // nor drawn; when it ends, a sorted list is sorted once and drawn.
    class Fill {
    public:
        explicit Fill(ListView* view);
        ~Fill();
        Fill(const Fill&) = delete;
        Fill& operator=(const Fill&) = delete;

    private:
        ListView* m_view;
        bool m_sorted;
    };
    void SetSorted(bool sorted);

    // The background picture, drawn from the top-left corner of the rows and scrolled with them.
    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return m_picture; }
    // Every row as tall as this, in pixels (0: the style's own height).
    void SetRowHeightPixels(int pixels);
    int RowHeightPixels() const;

signals:
    void ItemClick(vb::ListItem* item);
    void ColumnClick(int column); // 0-based position of the header clicked
    void ItemCheck(vb::ListItem* item);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Space ticks or clears the current row where the rows have check marks.
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class ListItem;
    QHash<QString, ListItem*> m_keys;
    QList<int> m_columnTwips;
    // Columns to fit to their contents when the list is shown (value: with the header): a list
    // nobody sees, as in an unattended run, measures none of its rows.
    QHash<int, bool> m_fitWhenShown;
    int FitWidth(int column, bool useHeader) const;
    int m_widthTwips = -1;
    int m_widthPixelsAtSet = -1;
    bool m_checkboxes = false;
    bool m_sorted = false;
    int m_sortKey = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QImage m_picture;
    int m_rowHeight = 0;
    int m_view = 3;
};

} // namespace vb
