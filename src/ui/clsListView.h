#pragma once
// Wraps one list view: adds a row with key and text in one call, fits the first column,
// selects rows by position or key, and paints each row's background in the colour held in the
// row's Tag (a number with red in the lowest byte), on a retained image behind the rows.
#include <QImage>
#include <QPointer>
#include <QString>
#include <QVariant>

class QLabel;
namespace vb {
class ListView;
class ListItem;
} // namespace vb

class clsListView {
public:
    // Binding; must be the first call.
    void SetListView(vb::ListView* L);
    vb::ListView* ListView() const { return m_list; }

    // Index -1 adds after the last row and is set, in the caller's variable, to the new position.
    vb::ListItem* AddListItem(long* Index = nullptr, const QString& Key = QString(), const QString& Text = QString());
    void AdjustColWidth(bool UseColHeaders = false);
    void AltLineColor();
    void Clear();
    void ItemClick(vb::ListItem* Item);
    void Scroll(long amount, short rows);
    // A 1-based position (a number) or a key (a text).
    void SelectItem(const QVariant& IndexOrKey);
    // "Same" as Key or Text keeps it.
    vb::ListItem* UpdateListItem(vb::ListItem* lvItem, const QString& Key = QString(), const QString& Text = QString(),
                                 const QString& ToolTipText = QString(), bool Bold = false);

    vb::ListItem* CurrentItem() const { return m_current; }
    long RowHeightTwips() const { return m_rowHeight; }
    QLabel* Surface() const { return m_surface; }
    const QImage& Image() const { return m_image; }

private:
    void SetLineColors();

    QPointer<vb::ListView> m_list;
    vb::ListItem* m_current = nullptr;
    QPointer<QLabel> m_surface;
    QImage m_image;
    long m_rowHeight = 0;
    long m_rowCount = 0;
};
