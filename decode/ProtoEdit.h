#ifndef PROTOEDIT_H
#define PROTOEDIT_H
// The modal settings dialog of one analyzer: a new one of a plug-in, or one
// in use. It has no fixed form: one row per setting interface of the
// analyzer, an editor chosen by the interface's kind (channel, number list,
// integer, text, check box). "OK" writes the editors back, lets the
// settings object accept them and hands the analyzer to the host.
//
// A new analyzer belongs to the dialog until the host takes it; any other
// end returns it to its plug-in. While an analyzer in use is edited, a
// change of the analyzers in use (a device change restores them) closes the
// dialog without writing: its analyzer may be gone.

#include <QDialog>
#include <QStringList>
#include <QVector>

class Analyzer;
class AnalyzerManager;
class AnalyzerSettings;
class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QGridLayout;
class QLabel;
class QLineEdit;

class ProtoEdit : public QDialog
{
    Q_OBJECT
public:
    // editing true: index is an analyzer in use; false: index is a plug-in
    // (position in the catalogue) and a new analyzer of it is set up.
    ProtoEdit(bool editing, AnalyzerManager* manager, int index, QWidget* parent = nullptr);
    ~ProtoEdit() override;

    // The analyzer being set up; null once the analyzers in use changed
    // under an edit.
    Analyzer* analyzer() const { return mAnalyzer; }
    // True once "OK" has handed a new analyzer to the host.
    bool added() const { return mAdded; }

    QGridLayout* grid() const { return mGrid; }
    QDialogButtonBox* buttonBox() const { return mButtons; }
    const QVector<QComboBox*>& channelEditors() const { return mChannelEditors; }
    const QVector<QComboBox*>& numberEditors() const { return mNumberEditors; }
    const QVector<QLineEdit*>& integerEditors() const { return mIntegerEditors; }
    const QVector<QLineEdit*>& textEditors() const { return mTextEditors; }
    const QVector<QCheckBox*>& boolEditors() const { return mBoolEditors; }

public slots:
    void saveClicked();

private slots:
    void slotAnalyzersChanged();

private:
    // Row builders; count is the setting's number among the channel settings.
    void addChannelNameLabel(int row, const QString& title);
    void addComponentLabel(int row, const QString& title);
    void addComponentChannel(int count, int row, int channel, bool noneAllowed, const QString& tooltip);
    void addComponentNumList(int row, const QStringList& texts, const QStringList& tooltips, int current,
                             const QString& tooltip);
    void addComponentInteger(int row, int value, int min, int max, const QString& tooltip);
    void addComponentText(int row, const QString& text, const QString& tooltip);
    void addComponentBool(int row, bool value, const QString& checkText, const QString& tooltip);
    void placeEditor(QWidget* editor, int row, const QString& tooltip);
    QString trAnly(const char* text) const;
    // Every integer editor within its range; one box per bad value.
    bool integersValid();
    void writeBack();
    bool sampling() const;
    // A decode this dialog stopped runs again (no capture running).
    void redecode();

    QGridLayout* mGrid = nullptr;
    QVector<QLabel*> mLabels;
    QVector<QComboBox*> mChannelEditors;
    QVector<QComboBox*> mNumberEditors;
    QVector<QLineEdit*> mIntegerEditors;
    QVector<QLineEdit*> mTextEditors;
    QVector<QCheckBox*> mBoolEditors;
    QDialogButtonBox* mButtons = nullptr;
    AnalyzerManager* mManager;
    int mIndex;          // analyzer in use, -1 for a new one
    int mPlugin = -1;    // plug-in of a new analyzer
    Analyzer* mAnalyzer = nullptr;
    AnalyzerSettings* mSettings = nullptr;
    QString mName;
    QStringList mChannelUsers;
    QVector<int> mIntMax;
    QVector<int> mIntMin;
    QStringList mChannelChoices;
    bool mAdded = false;
    bool mSaving = false;
    bool mStoppedDecode = false;
};

#endif
