#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

class QSocketNotifier;
class QTimer;
class SimController;

// Serves a SimController on a pseudo-terminal: a serial port opened on slavePath() talks to it.
// The pseudo-terminal keeps a handle on its own slave, so the serial side may be opened and closed
// any number of times. When the controller vanishes the master is closed, and the open serial port
// sees a read error.
//
// By default every complete line is answered at once. With a baud rate set, both directions are
// paced like a real line: each character takes 10 bit-times (start, 8 data, stop), so a line is
// acted on only once its last character has come through, and a reply trickles out at that rate.
// The two directions are paced apart, as on a full-duplex line. A paced line takes characters from
// the host only as it carries them (a receive FIFO of kReceiveFifo ahead), so a host that writes
// faster finds its output buffer full, as it would on a real line. Replies may also be made late
// or made to dribble, paced or not.
class SimPty : public QObject {
    Q_OBJECT
public:
    // Serves `controller` (not owned); with none, a controller of its own.
    explicit SimPty(SimController* controller = nullptr, QObject* parent = nullptr);
    ~SimPty() override;

    // Opens the pseudo-terminal in raw mode. False, with errorString(), when it cannot.
    bool open();
    bool isOpen() const { return m_master >= 0; }
    // The device a serial port opens, such as /dev/pts/5; empty before open().
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

    SimController& controller() { return *m_controller; }

    // 0 (the default): no pacing. Takes effect for the characters that come after it.
    int baud() const { return m_baud; }
    // Every Nth reply starts lateMs late, holding up the replies after it (0: none is late).
    void setLateEvery(int n, int lateMs);
    // Every reply goes out one character every ms (0, the default: as the line carries it), as a
    // line that dribbles; the replies after it wait their turn. Takes effect for the replies that
    // come after it.
    void setDribble(int ms);
    int dribbleMs() const { return int(m_dribbleNs / 1000000); }
    void setBaud(int baud);
    // Nanoseconds one character takes on the line at `baud`.
    static qint64 characterNs(int baud);
    static constexpr qsizetype kReceiveFifo = 16;

    // Receives a line of text for every line the controller receives and every reply it sends,
    // each with a time stamp (see logLine); none (the default) logs nothing.
    using LogSink = std::function<void(const QString& line)>;
    void setLog(LogSink sink) { m_log = std::move(sink); }
    // "HH:mm:ss.zzz in  <line>" for a received line (stamped when its last character came) and
    // "HH:mm:ss.zzz out <reply>" for a reply (stamped as it starts out); control characters are
    // shown escaped ("\r", "\n", "\x03").
    static QString logLine(bool received, const QByteArray& text);

    // Characters that have passed each way since the terminal opened.
    qint64 charactersReceived() const { return m_charsIn; }
    qint64 charactersSent() const { return m_charsOut; }

    // Closes the master (the device is gone for the serial side).
    void close();

signals:
    void closed();

private:
    // Characters waiting for their time on the line, each with the time its last bit is through.
    struct Paced {
        QByteArray bytes;
        std::deque<qint64> due; // ns on m_lineClock, one per byte
        qint64 freeAt = 0;      // when the line in this direction is free again
        void append(const QByteArray& more, qint64 now, qint64 perChar);
        // Takes the bytes due by `now`.
        QByteArray takeDue(qint64 now);
    };

    void readMaster();
    void writeReplies();
    void flushPending();
    void deliverDue();
    void scheduleNext();
    void logReceived(const QByteArray& line);

    std::unique_ptr<SimController> m_own;
    QPointer<SimController> m_controller;
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_error;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QByteArray m_pending; // due to the serial side, not yet taken by the master

    int m_baud = 0;
    int m_lateEvery = 0;
    qint64 m_lateNs = 0;
    qint64 m_dribbleNs = 0;
    qint64 m_repliesOut = 0;
    QElapsedTimer m_lineClock;
    QTimer* m_paceTimer = nullptr;
    Paced m_in;
    Paced m_out;

    LogSink m_log;
    qint64 m_charsIn = 0;
    qint64 m_charsOut = 0;
};
