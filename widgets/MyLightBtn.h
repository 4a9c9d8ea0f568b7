#ifndef MYLIGHTBTN_H
#define MYLIGHTBTN_H
// A lamp-style push button: rounded frame, a glow under the pointer and a
// drop shadow in the selected colour while selected.

#include <QColor>
#include <QIcon>
#include <QPushButton>

class MyLightBtn : public QPushButton
{
    Q_OBJECT
public:
    explicit MyLightBtn(QWidget* parent = nullptr);

    void setBorderRadius(int r);
    void setBorderRadius(int topLeft, int topRight, int bottomRight, int bottomLeft);
    void setBorderWidth(int w) { borderWidth = w; update(); }
    void setBorderColor(const QColor& c) { borderColor = c; update(); }
    void setBackgroundColor(const QColor& c) { backgroundColor = c; update(); }
    void setHoverColor(const QColor& c) { hoverColor = c; update(); }
    void setSelectedColor(const QColor& c) { selectedColor = c; update(); }
    void setTextColor(const QColor& c) { textColor = c; update(); }
    void setSecondIcon(const QIcon& icon) { secondIcon = icon; update(); }
    void setUseSecondIcon(bool use) { useSecondIcon = use; update(); }

    void setSelected(bool selected);
    bool isSelected() const { return selected; }
    bool isHovered() const { return hover; }

protected:
    void enterEvent(QEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    bool hover = false;
    bool selected = false;
    bool useSecondIcon = false;
    int radius[4] = {0, 0, 0, 0};
    int inset = 0;
    int borderWidth;
    QColor borderColor = Qt::transparent;
    QColor backgroundColor = Qt::transparent;
    QColor hoverColor = Qt::transparent;
    QColor selectedColor = Qt::transparent;
    QColor textColor;
    QIcon secondIcon;
};

#endif
