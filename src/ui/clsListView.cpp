#include "ui/clsListView.h"

#include "platform/ErrObject.h"
#include "platform/ListView.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <cmath>

using namespace vb;

namespace {
const QString kSame = QStringLiteral("Same");
constexpr int kReport = 3;

QColor ColourOf(qint64 value)
{
    const auto v = quint32(value);
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}
} // namespace

void clsListView::SetListView(vb::ListView* L)
{
    m_list = L;
    m_rowCount = L->Count();
    QWidget* form = L->window();
    bool picExists = false;
    for (const QWidget* control : form->findChildren<QWidget*>())
        picExists = picExists || control->objectName().left(3) == QLatin1String("Pic");
    m_surface = new QLabel(form);
    m_surface->setObjectName(picExists ? QStringLiteral("PicBox2") : QStringLiteral("PicBox"));
    m_surface->setFont(L->font());
    m_surface->hide();

    // Rows with a check box are taller: the box sets their height.
    const double tppY = TwipsPerPixelY(L);
    const double textHeight = QFontMetrics(L->font()).height() * tppY;
    m_rowHeight = long(std::lround(L->Checkboxes() ? textHeight + 60 : textHeight + tppY));
    L->SetRowHeightPixels(TwipsToPixelsY(L, double(m_rowHeight)));
    m_surface->resize(L->width(), TwipsToPixelsY(L, 210));
}

vb::ListItem* clsListView::AddListItem(long* Index, const QString& Key, const QString& Text)
{
    int position = -1;
    if (Index) {
        if (*Index == -1)
            *Index = m_list->Count() + 1;
        position = int(*Index);
    }
    m_current = m_list->AddItem(position);
    m_rowCount = m_list->Count();
    UpdateListItem(m_current, Key, Text, kSame, false);
    SetLineColors();
    return m_current;
}

vb::ListItem* clsListView::UpdateListItem(vb::ListItem* lvItem, const QString& Key, const QString& Text,
                                          const QString& /*ToolTipText*/, bool Bold)
{
    try {
        if (Key != kSame)
            m_list->SetKey(lvItem, Key);
    } catch (...) {
        // a duplicate key leaves the row as it was
    }
    if (Text != kSame)
        lvItem->SetText(Text);
    lvItem->SetBold(Bold);
    return lvItem;
}

void clsListView::AdjustColWidth(bool UseColHeaders)
{
    m_list->FitColumn(0, UseColHeaders);
}

void clsListView::AltLineColor()
{
    if (m_rowCount > 0)
        SetLineColors();
}

void clsListView::Clear()
{
    m_list->ClearItems();
    m_rowCount = 0;
    SetLineColors();
}

void clsListView::ItemClick(vb::ListItem* Item)
{
    m_current = Item;
}

void clsListView::Scroll(long amount, short rows)
{
    const int dx = int(std::lround(double(amount) * TwipsPerPixelX(m_list)));
    const int dy = int(std::lround(double(rows) * double(m_rowHeight) / TwipsPerPixelY(m_list)));
    m_list->horizontalScrollBar()->setValue(m_list->horizontalScrollBar()->value() + dx);
    m_list->verticalScrollBar()->setValue(m_list->verticalScrollBar()->value() + dy);
}

void clsListView::SelectItem(const QVariant& IndexOrKey)
{
    vb::ListItem* item = IndexOrKey.typeId() == QMetaType::QString ? m_list->ItemByKey(IndexOrKey.toString())
                                                                   : m_list->Item(IndexOrKey.toInt());
    if (!item)
        return; // nothing matches: ignored
    m_list->SetSelectedItem(item);
    ItemClick(m_list->SelectedItem());
}

void clsListView::SetLineColors()
{
    TrapVoid(
        [&] {
            if (m_list->View() != kReport) {
                m_list->SetPicture(QImage());
                m_list->viewport()->update();
                QCoreApplication::processEvents();
                return;
            }
            const int bandHeight = TwipsToPixelsY(m_list, double(m_rowHeight));
            const int width = qMax(1, m_list->width());
            m_image = QImage(width, qMax(1, int(m_rowCount) * bandHeight), QImage::Format_ARGB32_Premultiplied);
            m_image.fill(Qt::transparent);
            QPainter painter(&m_image);
            for (long i = 1; i <= m_rowCount; ++i) {
                vb::ListItem* row = m_list->Item(int(i));
                if (!row || row->Tag().isEmpty())
                    continue;
                bool ok = false;
                const qint64 colour = row->Tag().toLongLong(&ok);
                if (!ok)
                    Raise(ErrTypeMismatch);
                painter.fillRect(QRect(0, int(i - 1) * bandHeight, 2 * width, bandHeight), ColourOf(colour));
            }
            painter.end();
            m_surface->setPixmap(QPixmap::fromImage(m_image));
            m_list->SetPicture(m_image);
            QCoreApplication::processEvents();
            m_list->viewport()->update();
            QCoreApplication::processEvents();
        },
        [](const ErrObject& e) {
            return ErrText(QStringLiteral("Error "), e, QStringLiteral(") in procedure 'SetLineColors'."));
        });
}
