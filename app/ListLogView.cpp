#include "app/ListLogView.h"

#include "text/Cp1252.h"

#include <QAbstractItemView>
#include <QDateTime>
#include <QHelpEvent>
#include <QListWidget>
#include <QSaveFile>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velkor {

namespace {

// Draws each line within the visible width, so that a long line ends in "..." rather
// than running out of sight, and shows the whole line as its tooltip.
class ElidingLineDelegate : public QStyledItemDelegate {
public:
    explicit ElidingLineDelegate(QListWidget* list)
        : QStyledItemDelegate(list)
        , m_list(list)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem o(option);
        o.rect.setRight(std::min(o.rect.right(), m_list->viewport()->rect().right()));
        o.textElideMode = Qt::ElideRight;
        QStyledItemDelegate::paint(painter, o, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        // Never wider than the list, so there is nothing to scroll sideways to.
        QSize hint = QStyledItemDelegate::sizeHint(option, index);
        hint.setWidth(std::min(hint.width(), std::max(1, m_list->viewport()->width())));
        return hint;
    }
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override
    {
        if (event->type() == QEvent::ToolTip && index.isValid()) {
            QToolTip::showText(event->globalPos(), index.data(Qt::DisplayRole).toString(), view);
            return true;
        }
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }

private:
    QListWidget* m_list;
};

} // namespace

ListLogView::ListLogView(QListWidget* list)
    : m_list(list)
{
    if (!m_list)
        return;
    m_list->setUniformItemSizes(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setItemDelegate(new ElidingLineDelegate(m_list)); // owned by the list
}

int ListLogView::count() const
{
    return m_list ? m_list->count() : 0;
}

void ListLogView::removeFirst()
{
    if (m_list && m_list->count() > 0)
        delete m_list->takeItem(0);
}

int ListLogView::append(const LogText& line)
{
    if (!m_list)
        return -1;
    const QString text = QString::fromStdString(cp1252ToUtf8(line));
    spool(text);
    m_list->addItem(text);
    return m_list->count() - 1;
}

void ListLogView::spool(const QString& text)
{
    ++m_runLines;
    if (!m_spoolError.isEmpty())
        return;
    if (!m_spool) {
        m_spool.reset(std::tmpfile());
        if (!m_spool) {
            m_spoolError =
                QStringLiteral("no temporary file for the log: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
    }
    const QByteArray record = QDateTime::currentDateTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")).toUtf8() +
        "  " + text.toUtf8() + '\n';
    if (std::fwrite(record.constData(), 1, static_cast<size_t>(record.size()), m_spool.get()) !=
        static_cast<size_t>(record.size()))
        m_spoolError =
            QStringLiteral("the log could not be kept: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
}

velkor::Status ListLogView::saveRun(const QString& path) const
{
    const auto fail = [](const QString& why) { return velkor::fail(why.toStdString()); };
    if (!m_spoolError.isEmpty())
        return fail(m_spoolError);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return fail(out.errorString());
    if (m_spool) {
        std::FILE* f = m_spool.get();
        if (std::fflush(f) != 0 || std::fseek(f, 0, SEEK_SET) != 0)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        char buffer[65536];
        size_t got = 0;
        bool written = true;
        while (written && (got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            written = out.write(buffer, static_cast<qint64>(got)) == static_cast<qint64>(got);
        const bool readError = std::ferror(f) != 0;
        // Further lines go on at the end.
        std::clearerr(f);
        std::fseek(f, 0, SEEK_END);
        if (!written || readError) {
            out.cancelWriting();
            return fail(written ? QStringLiteral("the log could not be read back") : out.errorString());
        }
    }
    if (!out.commit())
        return fail(out.errorString());
    return {};
}

void ListLogView::showLine(int index)
{
    if (!m_list || index < 0 || index >= m_list->count())
        return;
    // The caret follows the newest line without selecting it, as the list box's caret
    // index does; scrolling keeps the line at least partly in view.
    m_list->setCurrentRow(index, QItemSelectionModel::NoUpdate);
    m_list->scrollToItem(m_list->item(index));
}

} // namespace velkor
