// Dialog units: the coordinates the dialogs are designed in. One horizontal unit is a
// quarter of the dialog font's average character width, one vertical unit an eighth of
// its height, so a layout drawn in them keeps its proportions with any font. We use the
// desktop's own dialog font, as "MS Shell Dlg" stands for the system's dialog font.
//
// A desktop font is not the font the dialogs were drawn for: its texts may be wider for
// their average character, and a style's check boxes and buttons take more room around
// the text. DialogLayout therefore grows a whole layout, evenly in each direction, until
// every control is as large as its text needs, so that nothing is cut and every control
// keeps its place relative to the others.
#pragma once

#include <QFont>
#include <QRect>

#include <vector>

class QComboBox;
class QWidget;

namespace velkor {

class DialogUnits {
public:
    // growX and growY (at least 1) stretch the units evenly in each direction.
    explicit DialogUnits(const QFont& font, double growX = 1.0, double growY = 1.0);

    // The average character width and the height of the font, in pixels.
    int baseX() const { return m_baseX; }
    int baseY() const { return m_baseY; }
    double growX() const { return m_growX; }
    double growY() const { return m_growY; }

    int x(int units) const { return scale(units, m_baseX * m_growX, 4); }
    int y(int units) const { return scale(units, m_baseY * m_growY, 8); }
    QRect rect(int left, int top, int width, int height) const;
    QSize size(int width, int height) const { return {x(width), y(height)}; }

    // Places widget at the rectangle given in dialog units.
    void place(QWidget* widget, int left, int top, int width, int height) const;
    // Places a drop-down list: the rectangle's height is that of the opened list, so the
    // closed box keeps the height its style wants and the list shows as many items as fit.
    void placeDropDown(QComboBox* combo, int left, int top, int width, int droppedHeight) const;

private:
    // Rounds to the nearest pixel, as the platform's MulDiv does.
    static int scale(int units, double base, int divisor)
    {
        return static_cast<int>((units * base + divisor / 2.0) / divisor);
    }

    int m_baseX;
    int m_baseY;
    double m_growX;
    double m_growY;
};

// A dialog's controls with their rectangles in dialog units, placed together once the
// units that give every control room for its text are known.
class DialogLayout {
public:
    // What a control needs of its rectangle: its size hint, in both directions or only
    // in width, or nothing (frames, fields without a text of their own).
    enum class Need { Both, Width, None };

    DialogLayout(QWidget* dialog, int width, int height);

    void add(QWidget* widget, int left, int top, int width, int height, Need need = Need::Both);
    void addDropDown(QComboBox* combo, int left, int top, int width, int droppedHeight);
    // A control that needs a size of its own choosing (in pixels) within its rectangle.
    void addWithNeed(QWidget* widget, int left, int top, int width, int height, QSize need);

    // Finds the units, places every control and fixes the dialog's size to the grown
    // rectangle plus extra pixels (for parts that grow on their own).
    DialogUnits apply(QSize extra = QSize(0, 0));

    // The smallest even growth with which every control gets what it needs.
    DialogUnits fit() const;

private:
    struct Item {
        QWidget* widget;
        QRect units;
        QSize need; // in pixels; 0 where nothing is needed
        bool dropDown;
    };
    QWidget* m_dialog;
    int m_width;
    int m_height;
    std::vector<Item> m_items;
};

} // namespace velkor
