#ifndef CHNENAGROUPBOX_H
#define CHNENAGROUPBOX_H
// One check box per logic channel, laid out down the columns.

#include <QGroupBox>
#include <QVector>

class QCheckBox;

class ChnEnaGroupBox : public QGroupBox
{
    Q_OBJECT
public:
    ChnEnaGroupBox(QVector<bool> enables, QWidget* parent = nullptr);

    // Writes every box's state into out; false (out untouched) when out's
    // size is not the channel count or there are no channels, else whether
    // at least one channel is ticked.
    bool getChnEna(QVector<bool>& out) const;

    const QVector<QCheckBox*>& chnBoxes() const { return boxes; }

signals:
    // Only the user's clicks send it.
    void chnEnaChanged();

public slots:
    void slotChnEnaSelect(int start, int end);

private:
    QVector<QCheckBox*> boxes;
};

#endif
