#ifndef PROTORESULT_H
#define PROTORESULT_H
// The "Decoded Results" panel of the right-hand column: a title bar whose
// menu shows or hides each analyzer's rows, a search box with the count of
// rows, and a paged list of the merged decoded-frame texts that its
// AnalyzerDataGen makes. A click on a row brings that frame into the
// waveform view; Up and Down move the selection through the whole sequence,
// page by page, and zoom the waveform when the list cannot take them.

#include <QListView>
#include <QModelIndex>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "config/Types.h"
#include "decode/DecodeView.h"

class AnalyzerDataGen;
class AnalyzerManager;
class MyScrollbar;
class QAction;
class QMenu;
class QStringListModel;
class SearchEdit;
class TitleBar;

class ResultList : public QListView
{
    Q_OBJECT
public:
    explicit ResultList(QWidget* parent = nullptr);

    MyScrollbar* scrollBar() const { return bar; }
    int rowsPerPage() const { return rowNum; }
    static int rowHeight();

signals:
    void listRowChanged(int rowNum);

protected:
    void resizeEvent(QResizeEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    int rowNum = 0;
    int hoverRow = -1;
    MyScrollbar* bar;
};

class ProtoResult : public QWidget
{
    Q_OBJECT
public:
    ProtoResult(AnalyzerManager* manager, DecodeView* waveGen, QWidget* parent = nullptr);
    // With a generator made elsewhere (tests); the panel owns it.
    ProtoResult(AnalyzerManager* manager, DecodeView* waveGen, AnalyzerDataGen* gen, QWidget* parent);
    ~ProtoResult() override;

    // After a display refresh (main window): follows the view while no search
    // text is set and the device is not sampling; tableOnly keeps the
    // selection.
    void updateDecodeProtocols(bool tableOnly);
    // Clears the search box and shows an empty list with an empty count.
    void clearFindText();

    // An entry of AnalyzerManager::getTotalProtocol(): alias "," show flag.
    static void splitProtocol(const QString& entry, QString* alias, bool* shown);

    // For tests and the main window's wiring.
    AnalyzerDataGen* generator() const { return dataGen; }
    ResultList* resultList() const { return list; }
    SearchEdit* searchEdit() const { return search; }
    TitleBar* titleBar() const { return title; }
    QMenu* analyzerMenu() const { return menu; }

signals:
    void sigKeyUpAndDownClicked(KeyType key);

public slots:
    void slotAnalyzerChanged();
    void slotKeyUpClicked();
    void slotKeyDownClicked();

private slots:
    void slotBtnExpandClicked();
    void slotBtnSetClicked();
    void slotSearchClicked(const QString& text);
    void slotResultlistClicked(const QModelIndex& index);
    void slotResultListScrollValue(qint64 value);
    void slotResultListScrollRang(qint64 min, qint64 max);
    void slotMenuClicked(QAction* action);
    void slotResultListUpdate(bool isDone, QStringList rows, bool isSelected, int selIndex);
    void slotResultListTotalChanged(qint64 first, qint64 total, int rows);

private:
    void restartList();
    void restartList(const QString& text);
    void showEmpty();
    void updateListSelectState();
    void selectAndShow(int row);
    static long long sampleCount();
    static bool deviceSampling();

    TitleBar* title;
    SearchEdit* search;
    ResultList* list;
    QStringListModel* model;
    QMenu* menu;
    QList<QAction*> menuActions;
    QStringList protocols;
    QPointer<AnalyzerManager> manager;
    DecodeView* waveGen;
    AnalyzerDataGen* dataGen;

    bool ignoreScroll = false;  // our own range and value updates
    int keyDirection = 0;       // 0 none, 1 up, 2 down
    // The page last shown.
    qint64 pageStart = 0;
    qint64 total = 0;
    bool selected = false;
    int selRow = -1;
};

#endif
