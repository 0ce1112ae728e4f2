#include "platform/ListView.h"

#include <QKeyEvent>
#include "platform/ErrObject.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <cmath>

namespace vb {

namespace {
constexpr int kSubItemKeyRole = Qt::UserRole + 1;
constexpr int kColumnNameRole = Qt::UserRole + 3; // on the header item, beside the sort value of UserRole + 2

// Gives every row the height the list asks for, so painted bands line up with the rows.
class RowHeightDelegate : public QStyledItemDelegate {
public:
    explicit RowHeightDelegate(ListView* view) : QStyledItemDelegate(view), m_view(view) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (m_view->RowHeightPixels() > 0)
            size.setHeight(m_view->RowHeightPixels());
        return size;
    }

private:
    ListView* m_view;
};
} // namespace

double TwipsPerPixelX(const QWidget* widget)
{
    const int dpi = widget ? widget->logicalDpiX() : 96;
    return 1440.0 / (dpi > 0 ? dpi : 96);
}

double TwipsPerPixelY(const QWidget* widget)
{
    const int dpi = widget ? widget->logicalDpiY() : 96;
    return 1440.0 / (dpi > 0 ? dpi : 96);
}

int TwipsToPixelsX(const QWidget* widget, double twips)
{
    return int(std::lround(twips / TwipsPerPixelX(widget)));
}

int TwipsToPixelsY(const QWidget* widget, double twips)
{
    return int(std::lround(twips / TwipsPerPixelY(widget)));
}

ListItem::~ListItem()
{
    if (m_view && !m_key.isEmpty() && m_view->m_keys.value(m_key) == this)
        m_view->m_keys.remove(m_key);
}

void ListItem::SetSubItem(int i, const QString& value, const QString& key, const QString& toolTip)
{
    setText(i, value);
    if (!key.isNull())
        setData(i, kSubItemKeyRole, key);
    if (!toolTip.isNull())
        setToolTip(i, toolTip);
}

QString ListItem::SubItemKey(int i) const
{
    return data(i, kSubItemKeyRole).toString();
}

QString ListItem::SubItemByKey(const QString& key) const
{
    for (int i = 1; i < columnCount(); ++i)
        if (SubItemKey(i) == key)
            return text(i);
    return QString();
}

void ListItem::SetForeColor(const QColor& color)
{
    for (int i = 0; i < qMax(1, columnCount()); ++i)
        setForeground(i, color);
}

void ListItem::SetBold(bool bold)
{
    QFont f = font(0);
    f.setBold(bold);
    setFont(0, f);
}

int ListItem::Index() const
{
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-const-cast): Qt asks for a non-const item and only reads it
    return treeWidget() ? treeWidget()->indexOfTopLevelItem(const_cast<ListItem*>(this)) + 1 : 0;
}

bool ListItem::operator<(const QTreeWidgetItem& other) const
{
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    const QVariant mine = data(column, kSortRole);
    const QVariant theirs = other.data(column, kSortRole);
    if (mine.isValid() && theirs.isValid())
        return mine.toLongLong() < theirs.toLongLong();
    return text(column).compare(other.text(column), Qt::CaseInsensitive) < 0;
}

ListView::ListView(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(true);
    header()->setMinimumSectionSize(0);
    setColumnCount(0);
    setItemDelegate(new RowHeightDelegate(this));
    viewport()->setAutoFillBackground(true);
    connect(header(), &QHeaderView::sectionClicked, this, [this](int column) { emit ColumnClick(column); });
    connect(this, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { emit ItemClick(static_cast<ListItem*>(item)); });
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (column == 0 && m_checkboxes)
            emit ItemCheck(static_cast<ListItem*>(item));
    });
}

ListView::~ListView()
{
    // The rows go first, while the key index they remove themselves from still exists.
    ClearItems();
}

void ListView::AddColumn(const QString& header, int widthTwips, const QString& name)
{
    const int column = int(m_columnTwips.size());
    setColumnCount(qMax(column + 1, 1));
    headerItem()->setText(column, header);
    headerItem()->setData(column, kColumnNameRole, name.isEmpty() ? header : name);
    m_columnTwips.append(widthTwips);
    m_fitWhenShown.remove(column);
    setColumnWidth(column, qMax(0, TwipsToPixelsX(this, widthTwips)));
}

void ListView::ClearColumns()
{
    m_columnTwips.clear();
    m_fitWhenShown.clear();
    setColumnCount(0);
    headerItem()->setText(0, QString());
}

QString ListView::ColumnText(int column) const
{
    return column < ColumnCount() ? headerItem()->text(column) : QString();
}

QString ListView::ColumnName(int column) const
{
    return column < ColumnCount() ? headerItem()->data(column, kColumnNameRole).toString() : QString();
}

int ListView::ColumnWidthTwips(int column) const
{
    const auto fit = m_fitWhenShown.constFind(column);
    const int pixels = fit == m_fitWhenShown.cend() ? columnWidth(column) : FitWidth(column, fit.value());
    // The width the program set, as long as the column still has it.
    if (column < m_columnTwips.size() && TwipsToPixelsX(this, m_columnTwips[column]) == pixels)
        return m_columnTwips[column];
    return int(std::lround(pixels * TwipsPerPixelX(this)));
}

void ListView::SetColumnWidthTwips(int column, int twips)
{
    m_fitWhenShown.remove(column);
    if (column < m_columnTwips.size())
        m_columnTwips[column] = twips;
    setColumnWidth(column, qMax(0, TwipsToPixelsX(this, twips)));
}

int ListView::FitWidth(int column, bool useHeader) const
{
    const int width = sizeHintForColumn(column);
    return useHeader ? qMax(width, header()->sectionSizeHint(column)) : width;
}

void ListView::FitColumn(int column, bool useHeader)
{
    if (column >= ColumnCount())
        return;
    if (!isVisible()) {
        m_fitWhenShown.insert(column, useHeader);
        return;
    }
    m_fitWhenShown.remove(column);
    setColumnWidth(column, FitWidth(column, useHeader));
}

void ListView::showEvent(QShowEvent* event)
{
    for (auto it = m_fitWhenShown.cbegin(); it != m_fitWhenShown.cend(); ++it)
        setColumnWidth(it.key(), FitWidth(it.key(), it.value()));
    m_fitWhenShown.clear();
    QTreeWidget::showEvent(event);
}

int ListView::WidthTwips() const
{
    if (m_widthTwips >= 0 && m_widthPixelsAtSet == width())
        return m_widthTwips;
    return int(std::lround(width() * TwipsPerPixelX(this)));
}

void ListView::SetWidthTwips(int twips)
{
    resize(TwipsToPixelsX(this, twips), height());
    m_widthTwips = twips;
    m_widthPixelsAtSet = width();
}

ListItem* ListView::AddItem(int index, const QString& key, const QString& text)
{
    if (!key.isEmpty() && m_keys.contains(key))
        Raise(ErrKeyNotUnique);
    const int count = topLevelItemCount();
    if (index != -1 && (index < 1 || index > count + 1))
        Raise(ErrInvalidProcedureCall, QStringLiteral("Index out of bounds"));
    auto* item = new ListItem;
    item->m_view = this;
    item->m_key = key;
    item->setText(0, text);
    if (m_checkboxes)
        item->setCheckState(0, Qt::Unchecked);
    insertTopLevelItem(index == -1 ? count : index - 1, item);
    if (!key.isEmpty())
        m_keys.insert(key, item);
    if (m_sorted)
        sortItems(m_sortKey, m_sortOrder);
    return item;
}

ListItem* ListView::Item(int index) const
{
    if (index < 1 || index > topLevelItemCount())
        return nullptr;
    return static_cast<ListItem*>(topLevelItem(index - 1));
}

ListItem* ListView::ItemByKey(const QString& key) const
{
    return m_keys.value(key, nullptr);
}

void ListView::ClearItems()
{
    clear();
    m_keys.clear();
}

void ListView::Remove(ListItem* item)
{
    if (!item || item->treeWidget() != this)
        Raise(ErrElementNotFound);
    delete item;
}

void ListView::SetKey(ListItem* item, const QString& key)
{
    if (key == item->m_key)
        return;
    if (!key.isEmpty() && m_keys.contains(key))
        Raise(ErrKeyNotUnique);
    if (m_keys.value(item->m_key) == item)
        m_keys.remove(item->m_key);
    item->m_key = key;
    if (!key.isEmpty())
        m_keys.insert(key, item);
}

ListItem* ListView::SelectedItem() const
{
    const QList<QTreeWidgetItem*> items = selectedItems();
    if (!items.isEmpty())
        return static_cast<ListItem*>(items.first());
    return static_cast<ListItem*>(currentItem());
}

void ListView::SetSelectedItem(ListItem* item)
{
    setCurrentItem(item);
    if (item)
        item->setSelected(true);
}

void ListView::keyPressEvent(QKeyEvent* event)
{
    QTreeWidgetItem* item = currentItem();
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && item != nullptr &&
        item->flags().testFlag(Qt::ItemIsUserCheckable) && item->data(0, Qt::CheckStateRole).isValid()) {
        item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

ListView::Fill::Fill(ListView* view) : m_view(view), m_sorted(view->m_sorted)
{
    view->m_sorted = false;
    view->setUpdatesEnabled(false);
}

ListView::Fill::~Fill()
{
    if (m_sorted && !m_view->m_sorted)
        m_view->SetSorted(true);
    m_view->setUpdatesEnabled(true);
}

void ListView::SetSorted(bool sorted)
{
    m_sorted = sorted;
    if (sorted)
        sortItems(m_sortKey, m_sortOrder);
}

void ListView::SetPicture(const QImage& picture)
{
    m_picture = picture;
    viewport()->update();
}

void ListView::SetRowHeightPixels(int pixels)
{
    m_rowHeight = pixels;
    doItemsLayout();
}

int ListView::RowHeightPixels() const
{
    return m_rowHeight;
}

void ListView::paintEvent(QPaintEvent* event)
{
    if (!m_picture.isNull()) {
        // The bands run across the whole list, however wide it has grown since they were drawn.
        QPainter painter(viewport());
        const int width = qMax(m_picture.width(), viewport()->width() + horizontalScrollBar()->value());
        painter.drawImage(
            QRect(-horizontalScrollBar()->value(), -verticalScrollBar()->value(), width, m_picture.height()),
            m_picture);
    }
    QTreeWidget::paintEvent(event);
}

} // namespace vb
