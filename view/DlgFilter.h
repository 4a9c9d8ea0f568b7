#ifndef DLGFILTER_H
#define DLGFILTER_H
// The glitch filter settings: per channel whether pulses up to a width (in
// samples) are removed, and whether the settings survive a restart. Widths
// travel as one unsigned int per channel, 0 = filter off. OK stores the keys
// "glitchFilterMode" and "glitchFilterSettings" that a new sample store reads.

#include <QDialog>
#include <QVector>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QRadioButton;
class QSpinBox;

class DlgFilter : public QDialog
{
    Q_OBJECT
public:
    // n channels (one row each, columns of eight) from the current widths.
    DlgFilter(const unsigned int* widths, int n, QWidget* parent = nullptr);
    ~DlgFilter() override;

    // Before a re-opening: a channel is checked exactly when its width is
    // not 0; its spin box shows the last accepted width of that channel.
    void setSetting(const unsigned int* widths);
    // out[i] for i < n (and below the dialog's channel count): the last
    // accepted width of a checked channel, else 0.
    void getSetting(unsigned int* out, int n) const;

    QVector<QCheckBox*> chkChn;
    QVector<QLabel*> lblLessEqual;
    QVector<QSpinBox*> spbWidth;
    QVector<QLabel*> lblSamples;
    QButtonGroup* grpMode = nullptr;   // id 0 clear at the next start, 1 keep
    QVector<unsigned int> lastWidths;

public slots:
    void slotCheckChnClicked();
    void slotBtnSaveClicked();

private:
    void enableRow(int i, bool on);
};

#endif
