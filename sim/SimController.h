#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTimer>

#include <functional>

// A simulated motion controller speaking the controller's ASCII command language.
//
// A command line is an optional decimal axis number (none or 0: the whole controller), a two-letter
// mnemonic, then "?" (a query) or an optional value, ended by CR (LF and CR LF are taken too);
// blanks before the axis and before the value are passed over. Every line is recorded exactly as it
// came; each query is answered with one line ended by CR LF. Values are kept per axis: a setting
// stores its value text and the next query answers it ("0" when never set). Configuration words
// (mnemonics starting with Z, and BO and SB) are hexadecimal both ways: set with hexadecimal digits
// ("1ZB0120"), answered with upper-case digits and an "H" ("120H").
//
// Motion: PA, PR, MV+/MV-, ST, OR (home search), DH (define home), MO/MF (motor power), with TP
// (position), MD? (motion done) and MO? reading it back. A move ends at once unless setMoveSteps()
// spreads it over that many step() calls (or timer steps, setAutoStep()).
//
// lineReceived is emitted before a line is acted on, so a test can change replies or step the
// motion from it (for instance: each poll advances one step).
class SimController : public QObject {
    Q_OBJECT
public:
    // What an in-process driver call returns once the device is gone.
    static constexpr int VanishedCode = -2;

    explicit SimController(QObject* parent = nullptr);
    ~SimController() override;

    // --- identity ------------------------------------------------------------------------------
    // The "VE?" reply; its first word is the model.
    QByteArray model() const { return m_model; }
    void setModel(const QByteArray& model) { m_model = model; }
    // Axes 1 to axisCount() carry a motor ("QM?" answers 1; above them 0).
    int axisCount() const { return m_axisCount; }
    void setAxisCount(int count) { m_axisCount = count; }

    // --- the link ------------------------------------------------------------------------------
    // Takes bytes from the host. endOfMessage marks the end of one bus write (GPIB's EOI, one USB or
    // PCI send): an unterminated rest is then taken as a complete line. A serial stream passes
    // false, so lines may arrive in pieces.
    void receive(const QByteArray& bytes, bool endOfMessage = false);
    // The waiting replies, oldest first.
    int pendingReplies() const { return static_cast<int>(m_output.size()); }
    // Takes at most capacity bytes (all when negative) of the oldest waiting reply; the rest of that
    // reply stays for the next read. Empty when none waits.
    QByteArray takeReply(int capacity = -1);
    // Takes every waiting reply byte.
    QByteArray takeAllOutput();
    // A device clear (GPIB) or driver initialisation: drops a partial line and the waiting replies.
    void deviceClear();
    int deviceClears() const { return m_deviceClears; }
    // The serial-poll status byte: 0x10 while a reply waits, 0x04 while an error waits.
    int statusByte() const;

    // --- what was received ---------------------------------------------------------------------
    // Complete lines in order, without their terminator.
    QList<QByteArray> lines() const { return m_lines; }
    // The same lines with their terminator exactly as received (CR, LF, CR LF, or none at the end
    // of a bus write).
    QList<QByteArray> rawLines() const { return m_rawLines; }
    // Every byte received, in order (also the bytes of a binary image).
    QByteArray receivedBytes() const { return m_received; }
    void clearLog();
    // Bounds the log: it keeps at least the last `lines` lines and `bytes` received bytes, and
    // never more than twice as many (negative: no bound, the default); a line longer than `bytes`
    // is dropped to its end unread. A program that runs for hours keeps a bound; a test keeps
    // everything.
    void setLogLimit(qsizetype lines, qsizetype bytes);

    // --- values --------------------------------------------------------------------------------
    // The value a setting stored (or its default) as a query answers it, without terminator;
    // configuration words in their hexadecimal form ("120H").
    QByteArray value(int axis, const QByteArray& mnemonic) const;
    // Sets a value as a setting command would (hexadecimal digits for configuration words).
    void setValue(int axis, const QByteArray& mnemonic, const QByteArray& text);
    // Configuration words as numbers.
    quint32 word(int axis, const QByteArray& mnemonic) const;
    void setWord(int axis, const QByteArray& mnemonic, quint32 word);
    static bool isHexMnemonic(const QByteArray& mnemonic);
    // The two hardware status words of "PH" (limits, amplifier faults; home and index signals).
    void setHardwareStatus(quint32 word1, quint32 word2);
    // The last settings saved by "SM"; "RS" restores them.
    void saveToFlash();

    // --- motion --------------------------------------------------------------------------------
    double position(int axis) const;
    void setPosition(int axis, double position);
    bool isMoving(int axis) const;
    bool motorOn(int axis) const;
    // Steps a move (or the run-out of a stop) takes; 0 (the default) ends it at once.
    int moveSteps() const { return m_moveSteps; }
    void setMoveSteps(int steps) { m_moveSteps = steps < 0 ? 0 : steps; }
    // Advances every moving axis. A jog moves by VA / 20 per step (a step being 50 ms).
    void step(int count = 1);
    // Steps on a timer every intervalMs; 0 stops it.
    void setAutoStep(int intervalMs);

    // --- error buffer (read and emptied one error at a time by "TB" and "TB?") -----------------
    void pushError(int code, const QByteArray& text);
    int errorCount() const { return static_cast<int>(m_errors.size()); }
    void clearErrors() { m_errors.clear(); }

    // --- stored programs -----------------------------------------------------------------------
    // "nEP" starts program n (0 counts as 1) anew; the lines up to "QP" are stored, not run. "LP"
    // lists every program as "nEP", its lines and "QP", each line opened by CR LF, and ends the
    // listing with CR LF and "END" (no line end after it).
    QList<QByteArray> program(int number) const { return m_programs.value(number); }
    QByteArray programListing() const;

    // --- scripted failures ---------------------------------------------------------------------
    // No replies at all while set.
    bool silent() const { return m_silent; }
    void setSilent(bool silent) { m_silent = silent; }
    // Replies end with CR alone while set.
    bool noLineFeed() const { return m_noLineFeed; }
    void setNoLineFeed(bool noLineFeed) { m_noLineFeed = noLineFeed; }
    // Leaves every nth reply unsent, as a line that loses one now and then (0: none).
    void setDropEvery(int n) { m_dropEvery = n > 0 ? n : 0; }
    // The next count in-process driver calls (send, read, initialisation) return driverCode and
    // transfer nothing.
    void failNext(int driverCode, int count = 1);
    // For the in-process adapters: the failure this driver call is to return, or 0.
    int takeDriverFailure();
    // The device goes away now: nothing more is received or answered, in-process calls return
    // VanishedCode and a pseudo-terminal serving it closes.
    void vanish();
    // The device goes away once `lines` more lines have come; the last of them is recorded but not
    // acted on or answered. 0 vanishes now.
    void vanishAfter(int lines);
    bool isVanished() const { return m_vanished; }
    // While held, replies are kept back in order (a controller too busy to answer in time);
    // releasing sends every reply kept so far.
    void holdReplies() { m_holding = true; }
    void releaseReplies();
    // Answers the exact line `query` (without terminator, blanks kept) with `reply`, sent exactly as
    // given (give the terminator too). An empty reply makes that line go unanswered.
    void setReply(const QByteArray& query, const QByteArray& reply);
    void clearReplies() { m_replies.clear(); }

    // --- firmware download ---------------------------------------------------------------------
    // A line "Download <target>" starts a download: the controller answers "Ready". Image lines are
    // then recorded and not executed, up to the line holding ETX (03) (for the FPGA targets
    // "420" and "220": the end record ":00000001FF"), which is answered with "Done". Target "8386"
    // takes a line with a byte count and then that many raw bytes, and answers nothing; a count
    // that is no whole number from 1 to MaxDownloadCount ends the download with error 7.
    bool isDownloading() const { return m_download != DownloadNone; }
    QByteArray downloadTarget() const { return m_downloadTarget; }
    // The bytes received after the last "Download" line (image lines and their terminators, or the
    // raw bytes after the count line).
    QByteArray downloadData() const { return m_downloadData; }
    // Ends a line-image download as its last line would.
    void finishDownload();
    // The texts answered when a download starts and when its image is complete (each with the
    // usual line end); by default "Ready" and "Done".
    void setDownloadReplies(const QByteArray& ready, const QByteArray& done);

    // Axis 0 is the whole controller; lines reach up to this axis number.
    static constexpr int MaxAxis = 99;
    // The largest CPU image the controller takes.
    static constexpr qint64 MaxDownloadCount = 16 * 1024 * 1024;

signals:
    // A complete line came (without terminator), before it is acted on.
    void lineReceived(const QByteArray& line);
    // A reply is waiting.
    void replyReady();
    // The device went away.
    void vanished();

private:
    struct Axis {
        double position = 0.0;
        double target = 0.0;
        int stepsLeft = 0;
        int jogDirection = 0;
        bool motorOn = false;
    };
    struct Command {
        // Answer to a query; null: the stored value.
        std::function<QByteArray(int axis)> query;
        // Action after a setting or a bare command has been stored.
        std::function<void(int axis, const QByteArray& value)> act;
        // The command without "?" reports too (VE, TP, TB, PH, RA, LP).
        bool bareQuery = false;
        // The answer carries its own line ends (a listing).
        bool rawReply = false;
    };
    enum DownloadMode { DownloadNone, DownloadLines, DownloadCount, DownloadBytes };

    void buildCommandTable();
    void buildGroupCommands();
    void lineComplete(const QByteArray& raw, int terminatorLength);
    void trimLog();
    void execute(const QByteArray& line);
    void handleDownloadLine(const QByteArray& line, const QByteArray& raw);
    void answer(const QByteArray& text);
    void queueRaw(const QByteArray& bytes);
    QByteArray storedValue(int axis, const QByteArray& mnemonic) const;
    QByteArray defaultValue(int axis, const QByteArray& mnemonic) const;
    Axis& axis(int number) { return m_axes[number]; }
    void moveTo(int axis, double target);
    void stopAxis(int axis);
    QByteArray popError();
    void resetController();

    QByteArray m_model = "KVL410 Version 2.0";
    int m_axisCount = 4;

    QByteArray m_partial;
    // The line coming now outgrew the log's bound and is dropped to its end.
    bool m_partialOverflowed = false;
    bool m_lastEndedWithCr = false;
    QList<QByteArray> m_lines;
    QList<QByteArray> m_rawLines;
    QByteArray m_received;
    qsizetype m_logLines = -1;
    qsizetype m_logBytes = -1;
    QList<QByteArray> m_output;
    int m_deviceClears = 0;

    QHash<QByteArray, QByteArray> m_values; // key "axis:MN"
    QHash<QByteArray, quint32> m_words;     // key "axis:MN"
    QHash<QByteArray, QByteArray> m_flashValues;
    QHash<QByteArray, quint32> m_flashWords;
    quint32 m_status1 = 0;
    quint32 m_status2 = 0;
    QMap<int, Axis> m_axes;
    int m_moveSteps = 0;
    QTimer* m_stepTimer; // a child, so it follows the controller to another thread

    struct Error {
        int code;
        qint64 time;
        QByteArray text;
    };
    QList<Error> m_errors;
    QElapsedTimer m_clock;

    QHash<QByteArray, Command> m_commands;
    bool m_programMode = false;
    int m_programNumber = 1;
    QMap<int, QList<QByteArray>> m_programs;

    bool m_silent = false;
    bool m_noLineFeed = false;
    int m_dropEvery = 0;
    qint64 m_repliesQueued = 0;
    int m_failCode = 0;
    int m_failCount = 0;
    bool m_vanished = false;
    int m_vanishAfter = -1;
    QHash<QByteArray, QByteArray> m_replies;
    bool m_holding = false;
    QList<QByteArray> m_held;

    DownloadMode m_download = DownloadNone;
    QByteArray m_downloadTarget;
    QByteArray m_downloadData;
    qint64 m_bytesToCome = 0;
    QByteArray m_readyReply = "Ready";
    QByteArray m_doneReply = "Done";
};
