// The log list on screen: a QListWidget seen through LogListView. Lines arrive as
// Windows-1252 bytes and are shown as Unicode.
//
// The list keeps the last 1001 decoder lines; every line of the run is also written,
// with its local receive time, to a spool file (unlinked as soon as it is made, so it
// never outlives the program), from which "Save log..." writes the whole run. Memory
// stays flat however long the program runs.
#pragma once

#include "cmdwnd/CmdDispatch.h"
#include "notify/Result.h"

#include <QString>

#include <cstdio>
#include <memory>

class QListWidget;

namespace velkor {

class ListLogView : public LogListView {
public:
    // Sets the list to uniform item sizes (every line is one line of one font, and
    // without it the list lays out all its lines again for every line that scrolls into
    // view), and to lines shortened with "..." at the list's width instead of a
    // horizontal scroll bar; the tooltip of a line shows all of it.
    explicit ListLogView(QListWidget* list);
    ListLogView(ListLogView&&) noexcept = default;
    ListLogView& operator=(ListLogView&&) noexcept = default;

    int count() const override;
    void removeFirst() override;
    int append(const LogText& line) override;
    void showLine(int index) override;

    QListWidget* widget() const { return m_list; }

    // Writes every line of this run, each after its receive time ("2026/12/09 02:59:58  "),
    // as UTF-8 text with LF line ends to path, replacing the file in one step. A
    // failure (its reason in UTF-8) when the run's lines could not be kept or the file
    // not written.
    velkor::Status saveRun(const QString& path) const;
    // Lines of this run so far.
    long long runLines() const { return m_runLines; }

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    void spool(const QString& text);

    QListWidget* m_list;
    std::unique_ptr<std::FILE, FileCloser> m_spool;
    QString m_spoolError;
    long long m_runLines = 0;
};

} // namespace velkor
