#ifndef ANALYZERDATAGEN_H
#define ANALYZERDATAGEN_H
// Rows of the Decoded Results list, made in a thread of their own: the
// tabular texts of the frames of every shown analyzer, merged into one
// sequence ordered by start sample (ties: the earlier analyzer first), one
// page at a time, plus the count of all rows that match a search text.
//
// Every row has an absolute number in that sequence (in the filtered
// sequence while a search text is set). The generator keeps three merge
// positions, each a frame index per analyzer: the page's first row, the row
// after the page and, while searching, how far the matches have been
// counted. A backward step is the exact inverse of a forward step, so a row
// number names the same frame whichever way the page was reached.
//
// Threads: requests come from the GUI thread under a short lock and a
// semaphore permit; rows, totals and the samples of the page's frames go
// back only through queued deliveries. The generator never reads analyzer
// results after it has acknowledged the host's modification handshake,
// until the GUI thread makes a new request. When the system refuses the
// thread, the handshake is acknowledged at once on the GUI thread, and every
// request tries to start the thread again.

#include <QElapsedTimer>
#include <QMetaType>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>

#include <atomic>
#include <functional>

#include "AnalyzerTypes.h"

class AnalyzerManager;
class AnalyzerResults;

// Start and end sample of the frame of one row.
struct SmpPointFrame {
    qint64 start = 0;
    qint64 end = 0;
};
Q_DECLARE_METATYPE(SmpPointFrame)

class AnalyzerDataGen : public QThread
{
    Q_OBJECT
public:
    // One shown analyzer as the generator reads it.
    struct Shown {
        AnalyzerResults* results = nullptr;
        int format = 2;
    };
    // Called on the GUI thread with each new request: the results of the
    // shown analyzers, in the order of the analyzers in use.
    using ShownSource = std::function<QVector<Shown>()>;

    // Acknowledges the manager's handshakes (modifyPrepared) and reads the
    // shown analyzers through its class-wide queries.
    AnalyzerDataGen(AnalyzerManager* manager, QObject* parent = nullptr);
    // The host seen through its parts: acknowledge is called on the
    // generator thread, only while a handshake announced by
    // slotModifyPrepare waits for it (so the host is alive then).
    AnalyzerDataGen(std::function<void()> acknowledge, ShownSource shown, QObject* parent = nullptr);
    ~AnalyzerDataGen() override;

    // New sequence: rows from the first frame that overlaps [start, end]
    // (from the first frame at all while text is set). reStart also drops
    // the selection.
    void reStart(const QString& text, double start, double end);
    void updateTable(const QString& text, double start, double end);

    // Selection of a row of the page last delivered.
    void setSelected(int row);
    // Samples of a row of the page last delivered; (0, 0) past its rows.
    SmpPointFrame getSmpPoint(int row) const;
    // Rows of the page last delivered.
    int pointCount() const { return guiPoints.size(); }
    // Row of the selected frame on the page last delivered; -1 when nothing
    // is selected or the frame is not on that page.
    int selectedRowOnPage() const
    {
        if (!selected.load())
            return -1;
        const qint64 r = selectedFrame.load() - guiPageStart;
        return r >= 0 && r < guiPoints.size() ? int(r) : -1;
    }

public slots:
    // Asks for the page that starts at absolute row first (0 .. total).
    void begFrameChanged(qint64 first);
    void slotRowNumChanged(int rowNum);
    void slotModifyPrepare();

signals:
    void listChanged(bool isDone, QStringList list, bool isSelected, int selectedNum);
    void listTotalChanged(qint64 index, qint64 max, int pageNum);

protected:
    void run() override;

private:
    // A position in the merged sequence: per analyzer the index of its
    // first frame not yet passed.
    using Pos = QVector<U64>;
    struct Src {
        AnalyzerResults* results = nullptr;
        int format = 2;
        U64 count = 0; // committed frames when the sequence was made
    };
    struct Request {
        bool restart = false;
        bool scroll = false;
        QString text;
        double start = 0;
        double end = 0;
        QVector<Shown> shown;
        qint64 first = 0;
    };

    void request(const QString& text, double start, double end);
    // Starts the thread unless it runs (GUI thread); a refusal leaves it
    // for the next request.
    void startThread();
    bool stopNow() const; // quit or handshake pending
    // Drops the merge cursors, the page and the search count.
    void clearSequence();
    void resetAll(); // drops everything and acknowledges the handshake
    void doRestart(const Request& r);
    void doScroll(qint64 k);
    bool fillAndCount(); // false when interrupted
    void publishTotal();
    void publishList(bool isDone);

    S64 frameStart(int s, U64 index) const;
    int nextSrc(const Pos& p) const;
    int prevSrc(const Pos& p) const;
    // Position of absolute row k (no search text), by binary search.
    Pos seek(qint64 k) const;
    QString rowText(int s, U64 index) const;
    bool matches(const QString& text) const;
    static U64 ordinal(const Pos& p);

    // --- request side (GUI thread writes, generator reads) ---
    std::function<void()> acknowledge;
    ShownSource shownSource;
    std::atomic<bool> modifyPending{false}; // a handshake waits
    QSemaphore wake{0};
    std::atomic<bool> quit{false};
    std::atomic<bool> selected{false};
    std::atomic<qint64> selectedFrame{0};
    std::atomic<int> rowsPerPage{0};
    std::atomic<qint64> knownTotal{0}; // bound check of scroll requests
    mutable QMutex reqLock;
    Request pending;

    // --- GUI side: the page last delivered ---
    QVector<SmpPointFrame> guiPoints;
    qint64 guiPageStart = 0;

    // --- generator thread only ---
    QVector<Src> srcs;
    QString search;
    bool haveRange = false;
    Pos back, fwd, cnt;
    bool cntValid = false;
    qint64 cntMatches = 0;
    qint64 pageStart = 0;
    qint64 total = 0;
    int pageRows = 0;
    QStringList rows;
    QVector<SmpPointFrame> points;
    QElapsedTimer totalTimer;
};

#endif
