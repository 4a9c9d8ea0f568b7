#ifndef OPTIONS_H
#define OPTIONS_H
// The Options dialog: where the sampling progress shows, how the view is
// placed after a capture, zoom animation, and whether an automatic restart
// waits for the trigger. OK writes the choices; Cancel writes nothing.

#include <QDialog>

class QButtonGroup;
class QRadioButton;
class QTabWidget;

class Options : public QDialog
{
    Q_OBJECT
public:
    explicit Options(QWidget* parent = nullptr);

    QTabWidget* tabs = nullptr;
    QRadioButton* progInView = nullptr;
    QRadioButton* progInStatusBar = nullptr;
    QRadioButton* viewAll = nullptr;
    QRadioButton* viewTrigger = nullptr;
    QRadioButton* viewKeep = nullptr;
    QRadioButton* animEnable = nullptr;
    QRadioButton* animDisable = nullptr;
    QRadioButton* restartAlways = nullptr;
    QRadioButton* restartOnTrigger = nullptr;
    // On a page that is never shown; OK still writes its state back.
    QRadioButton* updateEnable = nullptr;
    QRadioButton* updateDisable = nullptr;

public slots:
    void slotSaveClicked();
};

#endif
