#include "app/QListLogView.h"

#include "text/Cp1252.h"

#include <QListWidget>

QListLogView::QListLogView(QListWidget* list) : m_list(list)
{
    if (m_list)
        m_list->setUniformItemSizes(true);
}

int QListLogView::count() const
{
    return m_list ? m_list->count() : 0;
}

void QListLogView::removeFirst()
{
    if (m_list && m_list->count() > 0)
        delete m_list->takeItem(0);
}

int QListLogView::append(const LogText& line)
{
    if (!m_list)
        return -1;
    m_list->addItem(QString::fromStdString(cp1252ToUtf8(line)));
    return m_list->count() - 1;
}

void QListLogView::showLine(int index)
{
    if (!m_list || index < 0 || index >= m_list->count())
        return;
    // The caret follows the newest line without selecting it, as the list box's caret
    // index does; scrolling keeps the line at least partly in view.
    m_list->setCurrentRow(index, QItemSelectionModel::NoUpdate);
    m_list->scrollToItem(m_list->item(index));
}
