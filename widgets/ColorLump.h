#ifndef COLORLUMP_H
#define COLORLUMP_H
// A styled container or separator strip. Its object name "ColorLump<n>" lets
// the style sheet give each kind of strip its colour.

#include <QWidget>

class ColorLump : public QWidget
{
    Q_OBJECT
public:
    explicit ColorLump(int n, QWidget* parent = nullptr);

    // A one-pixel horizontal separator strip of style n.
    static ColorLump* separator(QWidget* parent, int n = 2);
};

#endif
