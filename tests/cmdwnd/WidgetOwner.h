// An owner of the command window whose log list is a real list widget.
#pragma once

#include "TestOwner.h"
#include "app/ListLogView.h"

#include <QListWidget>

using namespace velkor;

class WidgetOwner : public TestOwner {
public:
    LogListView& logList() override { return view; }
    QListWidget list;
    ListLogView view{&list};

    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < list.count(); ++i)
            out.push_back(list.item(i)->text().toStdString());
        return out;
    }
};
