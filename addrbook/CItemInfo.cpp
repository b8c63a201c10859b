#include "addrbook/CItemInfo.h"

namespace {
const std::string kEmpty;
}

const std::string& CItemInfo::GetSubItem(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_subItems.size()))
        return kEmpty;
    return m_subItems[static_cast<size_t>(index)];
}

void CItemInfo::SetSubItemText(int index, std::string text)
{
    if (index < 0)
        return;
    if (index >= static_cast<int>(m_subItems.size()))
        m_subItems.resize(static_cast<size_t>(index) + 1);
    m_subItems[static_cast<size_t>(index)] = std::move(text);
}

void CItemInfo::SetCellText(int column, std::string text)
{
    if (column == 0)
        m_text = std::move(text);
    else
        SetSubItemText(column - 1, std::move(text));
}

bool CItemInfo::GetControlType(int subItem, CONTROLTYPE& type) const
{
    const auto it = m_controlTypes.find(subItem);
    if (it == m_controlTypes.end())
        return false;
    type = it->second;
    return true;
}

CItemInfo::Color CItemInfo::GetCellColor(int subItem) const
{
    const auto it = m_cellColors.find(subItem);
    return it == m_cellColors.end() ? kNoColor : it->second;
}

const std::vector<std::string>* CItemInfo::GetListData(int subItem) const
{
    const auto it = m_listData.find(subItem);
    return it == m_listData.end() ? nullptr : &it->second;
}
