#pragma once
// The list box that DBFunk::FyllAllaResurser fills. The library draws no widgets: the wizard
// hands it an adapter over its list widget; tests and tools hand it a plain list.
#include <QString>

namespace booking {

class ListBoxSink {
public:
    virtual ~ListBoxSink() = default;
    virtual void Clear() = 0;
    // Adds a line at the end; itemData is the line's 32-bit item data.
    virtual void AddItem(const QString& text, qint32 itemData) = 0;
};

} // namespace booking
