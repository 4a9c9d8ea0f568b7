#ifndef CONFIG_H
#define CONFIG_H
// The one settings store of the program: an XML document held in memory,
// read from "cv.config" at start-up and written back at shut-down; plus the
// screen scale, fonts, colours and style-sheet scaling of the GUI.

#include <QByteArray>
#include <QColor>
#include <QDomDocument>
#include <QFont>
#include <QString>
#include <QStringList>
#include <QRect>
#include <QVector>

#include <functional>

#include "config/Types.h"
#include "config/Version.h"

class Config
{
public:
    Config() = delete;

    // ---- settings store ----
    static QDomDocument cfgDoc;
    static QString cfgFile;
    static Version curVersion;
    static QString dataFile;
    // The settings as they were before the header of the capture named on
    // the command line was merged (null otherwise): put back when its data
    // part cannot be loaded.
    static QDomDocument cfgDocBeforeDataFile;
    // A file named on the command line that could not be opened (its header
    // missing or refused); the window reports it once it stands.
    static QString dataFileRefused;
    // Where a configuration file that could not be read was kept at start-up
    // (cfgFile itself when it stays held; "" when none was refused); the
    // window tells the user once.
    static QString cfgFileRefused;
    // True while a refused configuration file could not be kept aside: the
    // close then leaves it in place instead of writing over it.
    static bool cfgFileHeld;
    static ViewState viewState;
    static bool disAnimate;
    static bool autoWaitTrig;
    static bool enaLogicProbe;
    static bool smpProgPosition;
    static bool colorWaveLine;

    static void init();
    // Start-up step for a file named on the command line: the first argument
    // that is a capture or settings file is taken and its header merged.
    // Arguments that begin with '-' and regular files of other kinds are
    // passed over. A file whose header is missing or refused, or an argument
    // that names no regular file (missing, a folder, a pipe), leaves dataFile
    // empty and is named in dataFileRefused; server keys that need the
    // user's consent wait in heldServerKeys.
    static void takeCommandLineFile(const QStringList& args);
    // Loads the configuration file at path (or the default document);
    // the start-up step that init() runs with cfgFile. False when the
    // default document took the place of the file.
    static bool loadConfig(const QString& path);
    // Start-up step after a configuration file at cfgFile was refused: it is
    // moved aside to its name + ".refused" beside it (replacing an older one)
    // so the close does not write over it; cfgFileRefused names where it
    // went. When cfgFile is a symbolic link, the file it names is moved and
    // the link stays for the close to write through. When it cannot be
    // moved, cfgFileHeld keeps the close from writing.
    static void keepRefusedConfig();
    // Start-up step when something other than a regular file stands at
    // cfgFile, or a link to where no file can be written: the defaults are
    // used, it is reported like a refused file (why: what stands there)
    // and held (the close does not try to write there).
    static void holdNonFileConfig(const QString& why);
    static void setDefaultDocument();
    // Keeps every value of a settings document read from outside within its
    // key's bound: names and aliases are cut to a few hundred characters,
    // lists to their known length, and a value that cannot be kept is
    // emptied so that its key reads as its default; analyzer items past a
    // sane count are removed.
    static void boundDocument(QDomDocument& doc);
    // Longest name (of a channel, an alias, a file) a settings document
    // keeps, in characters; an editor of such a name takes no more.
    static constexpr int NameChars = 256;
    // The longest start of text of at most n UTF-16 units that ends on a
    // grapheme border: no half of an emoji, of a flag or of a letter with
    // its marks.
    static QString cutName(const QString& text, int n);

    static QString readGlobalParam(const QString& key);
    static void saveGlobalParam(const QString& key, const QString& value);
    static QString readDeviceParam(const QString& model, const QString& key);
    static void saveDeviceParam(const QString& model, const QString& key, const QString& value);

    static QString readAnalyzerParam();
    static void clearAnalyzerParam();
    static void saveAnalyzerParam(int index, const QStringList& list);

    static void saveChnTrgSettings(const QString& model, const QVector<TrgType>& trg);
    static void getChnTrgSettings(const QString& model, QVector<TrgType>& trg);
    static void saveChnEnaSettings(const QString& model, const QVector<bool>& ena, bool analog);
    static void getChnEnaSettings(const QString& model, QVector<bool>& ena, bool analog);

    static QString IntArrayToString(const int* a, int count);
    static QString DoubleArrayToString(const double* a, int count);
    static QString BoolArrayToString(const bool* a, int count);
    static int StringToIntArray(const QString& s, int* out, int capacity);
    static int StringToDoubleArray(const QString& s, double* out, int capacity);
    static int StringToBoolArray(const QString& s, bool* out, int capacity);

    static QString getChnName(int n);
    static void getChnShowIndex(int n, int* out);
    static void getChnShowMultip(int n, int* out);
    static int getDevModel();
    static void getMeasureIndexA(int n, int* out);
    static int getChnTagPos(int n, int* out);

    static void saveViewState(int v);
    static void saveDisAnimate(bool v);
    static void saveAutoWaitTrigEna(bool v);
    static void saveProgressSample(bool v);
    static void saveColorWaveLine(bool v);
    static void saveLogicProbe(bool v);
    static void initShadowConfig();

    // Writes the whole document as UTF-8; false when the file cannot be
    // opened or the write does not complete.
    static bool saveConfig(const QString& path);
    // The document as UTF-8 text with the given indentation; the XML
    // declaration always names UTF-8.
    static QByteArray toUtf8Xml(const QDomDocument& doc, int indent);
    // Writes bytes to path whole; false when opening or writing fails, with
    // the system's reason in writeError.
    static bool writeWhole(const QString& path, const QByteArray& bytes);
    static QString writeError;
    // Writes the configuration at the program's close. False when it could
    // not be written: said on standard error with the file and the reason.
    // A held configuration (see cfgFileHeld) is not written and is no
    // failure.
    static bool close();

    // ---- settings and capture-file headers ----
    static bool saveMinConfig(const QString& path, const QString& model);
    static bool extractConfig(const QString& path, QByteArray& out);
    // The remote-control keys of a settings file; empty: the file does not
    // set the key. No file changes them without the user's consent.
    struct ServerKeys {
        QString enaSocket;
        QString listenPort;
        bool isEmpty() const { return enaSocket.isEmpty() && listenPort.isEmpty(); }
    };
    // Merges a header, except "enaSocket" and "listenPort": their values go
    // to asked (when given) for the caller to settle.
    static bool replaceConfig(const QByteArray& header, ServerKeys* asked = nullptr);
    // The server as the settings stand: on or off, and its port (the default
    // for an absent or out-of-range value).
    static constexpr unsigned short DefaultListenPort = 23367;
    static bool serverEnabled();
    static unsigned short serverPort();
    // The port the server would have once the keys are copied.
    static unsigned short serverPortAsked(const ServerKeys& asked);
    // True when the keys would turn the server on or move it to another port.
    static bool serverChangeAsked(const ServerKeys& asked);
    // Copies the keys that are set.
    static void applyServerKeys(const ServerKeys& asked);
    // Server keys of the command-line settings file that wait for the
    // window to ask the user (empty when nothing waits).
    static ServerKeys heldServerKeys;
    static int parseLoadFile(const QString& path);
    static QString getSaveFileName(int type, const QString& extension = QString());
    static QString getOpenFileName();

    // What a file dialog is asked to show; the dialog seam receives it.
    struct FileDialogRequest {
        bool save = false;
        QString directory;
        QString fileName;
        QString filter;
        QString defaultSuffix;
    };
    // Runs the file dialog and returns the chosen path ("" when cancelled).
    // Unset: a modal QFileDialog. Tests set it so no dialog ever blocks.
    static std::function<QString(const FileDialogRequest&)> fileDialog;

    // ---- screen scaling, fonts, colours, style sheet ----
    static int dpi;
    static int windowPosition[4];   // left, top, right, bottom (inclusive)
    static QFont fontNormal;
    static QFont fontNarrow;
    static QFont fontLarge;
    static QVector<QColor> chnColor;
    static QVector<QColor> grayColor;
    static QVector<QColor> timingColor;
    static QVector<QColor> chnColorOsc;
    static QStringList measTabACH;

    static int pixel(int n) { return n * dpi / 96; }
    static void initColors();
    static void initWindowConfig();
    // Index of the first available screen area that holds the window's top
    // edge row and overlaps it horizontally; -1 when none or the window is empty.
    static int findWindowScreen(const QRect& window, const QVector<QRect>& areas);
    // The start rectangle on an area when no saved one fits: its middle 80 %.
    static QRect defaultWindowRect(const QSize& area);
    static int dpiFromLogical(qreal logicalDpi);
    static void createFont();
    static void getQss(QString& text);
};

#endif
