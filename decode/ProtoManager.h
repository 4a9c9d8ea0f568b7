#ifndef PROTOMANAGER_H
#define PROTOMANAGER_H
// The "Analyzers" panel of the right-hand column: one row per analyzer in
// use, and the add button's protocol menu with the recently used plug-ins
// (newest first, at most 10) and the catalogue of all plug-ins. It keeps no
// analyzer state of its own: the rows are rebuilt from the analyzer host
// whenever its list changes.

#include <QStringList>
#include <QVector>
#include <QWidget>

class AnalyzerManager;
class DlgMoreProto;
class ProtoItem;
class QMenu;
class QVBoxLayout;
class TitleBar;

class ProtoManager : public QWidget
{
    Q_OBJECT
public:
    // The recent list when "recentAnalyzers" is empty, oldest first.
    static const QStringList DefaultRecent;
    static constexpr int MaxRecent = 10;

    ProtoManager(AnalyzerManager* manager, QWidget* parent = nullptr);

    // Refreshes the catalogue (its support suffixes depend on the model).
    void init();
    // Moves the given plug-in files to the newest end of the recent list,
    // stores it and rebuilds the protocol menu.
    void updateProtocolMenu(const QStringList& fileNames);

    TitleBar* titleBar() const { return mTitle; }
    QWidget* content() const { return mContent; }
    QMenu* protocolMenu() const { return mMenu; }
    DlgMoreProto* moreDialog() const { return mMore; }
    const QVector<ProtoItem*>& items() const { return mItems; }
    const QStringList& recentList() const { return mRecent; }

public slots:
    void slotBtnExpandClicked();
    void slotBtnSetClicked();
    void slotItemChanged();
    // Tells the rows whether their analyzers decoded.
    void slotDecodedChanged();
    void slotMenuAddClicked();
    void slotMenuMoreClicked();

private:
    QVBoxLayout* mLayout;
    TitleBar* mTitle;
    QWidget* mContent;
    QVBoxLayout* mContentLayout;
    QVector<ProtoItem*> mItems;
    QMenu* mMenu;
    DlgMoreProto* mMore;
    QStringList mRecent;
    AnalyzerManager* mManager;
};

#endif
