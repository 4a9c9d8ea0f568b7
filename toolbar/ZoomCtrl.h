#ifndef ZOOMCTRL_H
#define ZOOMCTRL_H
// The zoom buttons of the top bar. They only ask for a zoom step by a short
// command text ("Trg", "All", "Out", "In" or a number of samples per pixel);
// the main window carries it out on the display generator.

#include <QString>
#include <QWidget>

#include <functional>

class QLineEdit;
class QMenu;
class QPushButton;

class ZoomCtrl : public QWidget
{
    Q_OBJECT
public:
    explicit ZoomCtrl(QWidget* parent = nullptr);
    ~ZoomCtrl() override;

    // Samples per logical pixel of the waveform view, which the edit shows
    // when the drop-down opens. Filled by the main window; unset reads 0.
    std::function<double()> viewScale;

    // How the samples-per-pixel edit shows a scale.
    static QString scaleText(double samplesPerPixel);

    QPushButton* btnTrg;
    QPushButton* btnAll;
    QPushButton* btnOut;
    QPushButton* btnIn;
    QPushButton* btnDropDown;
    QMenu* menu = nullptr;
    QLineEdit* edit = nullptr;

public slots:
    void slotZoomTrg();
    void slotZoomAll();
    void slotZoomOut();
    void slotZoomIn();
    void slotDropDwon();
    void slotTextChanged(const QString& text);
    void slotEditFinished();

signals:
    void zoomChanged(const QString& text);

private:
    void buildMenu();

    QString lastValid;
};

#endif
