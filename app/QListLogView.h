// The log list on screen: a QListWidget seen through LogListView. Lines arrive as
// Windows-1252 bytes and are shown as Unicode.
#pragma once

#include "cmdwnd/CmdDispatch.h"

class QListWidget;

class QListLogView : public LogListView {
public:
    // Sets the list to uniform item sizes: every line is one line of one font, and
    // without it the list lays out all its lines again for every line that scrolls
    // into view.
    explicit QListLogView(QListWidget* list);

    int count() const override;
    void removeFirst() override;
    int append(const LogText& line) override;
    void showLine(int index) override;

    QListWidget* widget() const { return m_list; }

private:
    QListWidget* m_list;
};
