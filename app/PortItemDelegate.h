// The opened serial port list names the device each COM port stands for ([serial] comN
// in velkor.ini), so that a user with a USB cable sees which port is which; the closed
// box shows "COMn" alone. The device is the item's Qt::UserRole data.
#pragma once

#include <QStyledItemDelegate>

namespace velkor {

class PortItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The text a row of the opened list shows.
    static QString RowText(const QModelIndex& index)
    {
        const QString device = index.data(Qt::UserRole).toString();
        const QString text = index.data(Qt::DisplayRole).toString();
        return device.isEmpty() ? text : QStringLiteral("%1  (%2)").arg(text, device);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = RowText(index);
    }
};

} // namespace velkor
