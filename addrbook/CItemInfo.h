// The data of one tree-grid node: the texts of its cells, its check mark, its image and
// the per-column editing and colour settings. Texts are UTF-8 (see AddrText.h for how
// they meet the 8-bit world of the file and the log).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CItemInfo {
public:
    // A column without an entry is edited with an edit box.
    enum CONTROLTYPE { combobox = 1, noedit = 2 };

    // Colours are 0x00BBGGRR as the list view of the original kept them.
    using Color = uint32_t;
    static constexpr Color kNoColor = 0xFFFFFFFFu;

    uint32_t GetUserValue() const { return m_userValue; }
    void SetUserValue(uint32_t v) { m_userValue = v; }

    // Column 0 is the node's own text, columns 1.. are the sub-items.
    const std::string& GetItemText() const { return m_text; }
    void SetItemText(std::string text) { m_text = std::move(text); }
    const std::string& GetSubItem(int index) const;
    void SetSubItemText(int index, std::string text);
    int GetSubItemCount() const { return static_cast<int>(m_subItems.size()); }
    const std::string& GetCellText(int column) const { return column == 0 ? m_text : GetSubItem(column - 1); }
    void SetCellText(int column, std::string text);

    bool GetCheck() const { return m_checked != 0; }
    void SetCheck(bool on) { m_checked = on ? 1 : 0; }

    int GetImage() const { return m_image; }
    void SetImage(int image) { m_image = image; }

    // Keyed by column - 1, as the sub-items are.
    bool GetControlType(int subItem, CONTROLTYPE& type) const;
    void SetControlType(int subItem, CONTROLTYPE type) { m_controlTypes[subItem] = type; }
    Color GetCellColor(int subItem) const;
    void SetCellColor(int subItem, Color c) { m_cellColors[subItem] = c; }
    const std::vector<std::string>* GetListData(int subItem) const;
    void SetListData(int subItem, std::vector<std::string> items) { m_listData[subItem] = std::move(items); }

    Color GetItemColor() const { return m_itemColor; }
    void SetItemColor(Color c) { m_itemColor = c; }

private:
    uint32_t m_userValue = 0;
    std::map<int, CONTROLTYPE> m_controlTypes;
    std::map<int, Color> m_cellColors;
    std::map<int, std::vector<std::string>> m_listData;
    std::string m_text;
    std::vector<std::string> m_subItems;
    int32_t m_checked = 0;
    int m_image = -1;
    Color m_itemColor = kNoColor;
};
