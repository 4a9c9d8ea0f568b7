#ifndef EXPORTDATASET_H
#define EXPORTDATASET_H
// The dialog in which the user chooses what a capture save or a data export
// covers: the whole capture, a timing-marker pair or a time interval, and
// the channels.

#include <QDialog>
#include <QStringList>
#include <QVector>

class ChnEnaGroupBox;
class QButtonGroup;
class QComboBox;
class QDialogButtonBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QRadioButton;
class SmpData;

class ExportDataSet : public QDialog
{
    Q_OBJECT
public:
    // The capture's sample count, rate and trigger are copied from store;
    // the channel groups start from the enables (an empty analog list shows
    // no analog group); the marker pairs come as names and two positions
    // per pair, in the order the timing markers list them.
    ExportDataSet(QWidget* parent, const SmpData& store, const QVector<bool>& digitalEna,
                  const QVector<bool>& analogEna, const QStringList& pairNames, const QVector<long long>& pairPositions);
    ~ExportDataSet() override = default;

    // The chosen channels (analog only when analogEna is not empty) and the
    // range in samples of the capture, start <= end, within [0, count].
    void getSetParameters(QVector<bool>& analogEna, QVector<bool>& digitalEna, long long* start, long long* end) const;

    // Seconds as the interval fields show them: 6 significant digits,
    // rounded up (towardsUp) or down so that the value stays inside.
    static QString boundText(double seconds, bool towardsUp);
    // A field's text as seconds; false when it is no finite number.
    static bool parseSeconds(const QString& text, double* seconds);

    QButtonGroup* timeGroup = nullptr;
    QRadioButton* btnAll = nullptr;
    QRadioButton* btnMarkers = nullptr;
    QRadioButton* btnInterval = nullptr;
    QComboBox* pairBox = nullptr;   // only when marker pairs exist
    QLabel* startLabel = nullptr;
    QLabel* endLabel = nullptr;
    QLineEdit* startEdit = nullptr;
    QLineEdit* endEdit = nullptr;
    ChnEnaGroupBox* digitalBox = nullptr;
    ChnEnaGroupBox* analogBox = nullptr;   // only with analog channels
    QDialogButtonBox* buttonBox = nullptr;
    QLabel* errorLabel = nullptr;

public slots:
    void slotBtnTimeSetClicked();
    // Refuses a choice without a digital channel or with an interval text
    // that is no number, and says why.
    void accept() override;

private:
    double startSeconds() const;
    double endSeconds() const;
    long long fieldSample(const QLineEdit* edit, const QString& defaultText, long long exact) const;

    QGridLayout* grid = nullptr;
    long long count = 0;
    long long rate = 1;
    long long trigger = 0;
    QStringList pairNames;
    QVector<long long> pairPositions;
    QString startDefault;
    QString endDefault;
};

#endif
