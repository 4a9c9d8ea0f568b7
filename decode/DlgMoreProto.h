#ifndef DLGMOREPROTO_H
#define DLGMOREPROTO_H
// "All Protocol Analyzers": every loaded plug-in in a list with a search
// field; OK or a double click opens the settings dialog for a new analyzer
// of the chosen plug-in.

#include <QDialog>
#include <QModelIndex>

class AnalyzerManager;
class QDialogButtonBox;
class QListWidget;
class QPushButton;
class QVBoxLayout;
class SearchEdit;

class DlgMoreProto : public QDialog
{
    Q_OBJECT
public:
    DlgMoreProto(AnalyzerManager* manager, QWidget* parent = nullptr);

    // Refills the list with the catalogue (support suffixes follow the model).
    void updateProtoList();

    SearchEdit* searchEdit() const { return mSearch; }
    QListWidget* list() const { return mList; }
    QPushButton* okButton() const { return mOk; }

public slots:
    void slotSearchChanged(const QString& text);
    void slotListClicked(const QModelIndex& index);
    void slotBtnBoxOKClicked();
    void slotBtnBoxCloseClick();

private:
    QVBoxLayout* mLayout;
    SearchEdit* mSearch;
    QListWidget* mList;
    QDialogButtonBox* mButtons;
    QPushButton* mOk;
    AnalyzerManager* mManager;
};

#endif
