#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <deque>
#include <functional>

// One bus of the communication control: the control picks one when its bus changes and runs every
// exchange through it, inside its own lock frame and failure path. Commands arrive as the 8-bit
// bytes that go on the wire; replies leave trimmed the way the bus's readers trim them.
//
// Keeping replies in step is one rule over lines, here; a bus only writes and delivers its lines.
// The controller answers in order, one line to a query, and may lose or delay any answer:
// - Every identification request written ("VE?" or "VE", by anyone) counts as one to come; every
//   identification line that comes, in any reader, counts one as come. An identification never
//   answers a query that did not ask for one: it is dropped and the reply read on.
// - A query that brought nothing in time owes its reply; one such reply that turns up whole before
//   the next query is dropped, and the line is in step again. Anything else (a line cut off, too
//   long or garbage, bytes after a reply, a line nothing asked for, a reply owed that has not come)
//   leaves the line out of step: the next query is preceded by a resynchronisation, which asks for
//   the identification and drops every line until the identification that the count says is its
//   own, the last one to come.
// - An identification lost on the way would keep the count one high for good: a read that met an
//   identification and nothing after it within LostIdentificationWaitMs takes the ones still
//   counted as lost (an identification taken for lost that still comes answers no other query).
// No time window decides which query a line answers.
//
// Members raise platform::RuntimeError on a run-time failure; the control hands it on.
class LinkTransport {
public:
    // Shows a box the way the control wants it shown (after its lock is released).
    using BoxHandler = std::function<void(const QString& prompt, int style, const QString& title)>;

    static constexpr int ReplyBufferLength = 255;
    // sendRead's status for a query refused unsent: it says nothing of the controller's silence.
    static constexpr int QueryNotSent = -3;
    // The controller's identification query: the one query every controller answers, and the
    // one a resynchronisation asks.
    static constexpr const char* IdentificationQuery = "VE?\r\n";
    // How long a reply, or a resynchronisation's identification, is waited for.
    static constexpr int ReplyLimitMs = 1000;
    // After an identification, how long the ones still counted are waited for before they are
    // taken as lost.
    static constexpr int LostIdentificationWaitMs = 200;

    // What a resynchronisation came to.
    enum class Resync {
        OwnIdentification, // its own identification came: the controller answered in time
        OthersLost,        // the identifications still counted were taken as lost
        Failed,            // not in step: nothing usable came in time
        Unwritten,         // the identification query could not be written
    };

    // One read of a bus that hands whole messages: what came, and whether it filled the reply
    // buffer with more of its message left behind.
    struct Message {
        QString text;
        bool filled = false;
    };

    virtual ~LinkTransport() = default;

    // The bus steps of initialising and opening the link: 0 when the bus is ready for use.
    // openStep sets toDemo when the link is to open in demo mode instead (its result is then 0).
    virtual int initStep(int deviceId) = 0;
    virtual int openStep(int deviceId, bool& toDemo) = 0;
    // Ends the link on this bus: 0, or -1 where the bus has nothing to close.
    virtual int close() = 0;
    // Ends the link after a failure: what was written last (the stop of held motion) still goes
    // out.
    virtual int closeAfterFailure() { return close(); }
    // Whether the identification reply (and its status) shows a controller on this bus.
    virtual bool acceptsIdentification(const QString& reply, int status) const;

    // A command as given plus the bus's terminator rule; status 0 when sent.
    int send(const QByteArray& command);
    // A command exactly as given; the status in a variant.
    QVariant sendNoTerm(const QByteArray& command);
    // A separate read: what came since, identifications nobody asked for left out; reply arrives
    // holding the 255 blanks of the reply buffer.
    virtual int read(QString& reply) = 0;
    // A query and its reply line, read within limitMs of the line having carried the query:
    // 0 with the line (trimmed as the bus trims) in reply, -1 with reply empty when no reply came
    // (or the driver failed), QueryNotSent when the command did not go out.
    virtual int sendRead(const QByteArray& command, QString& reply, int limitMs = ReplyLimitMs);

    // The opening's identification: asks for it and takes, within one read limit, a line that
    // reads as one (see readsAsIdentification), dropping what came before it; the opening proves
    // nothing about the line. A controller whose answer never reads as one is known by the last
    // line that came. 0 with the line in reply, -1 when nothing came.
    int identify(QString& reply);

    void setBoxHandler(BoxHandler handler) { m_boxHandler = std::move(handler); }

    // Takes the lines that came while nothing was read, before a query is written: the reply of a
    // query given up on and identifications are accounted for, anything else leaves the line out
    // of step. Buses that hand whole messages hold nothing between reads.
    void settleWaitingLines();
    // Whether the next query can go out without a resynchronisation first.
    bool inStep() const { return !m_lineUnknown && m_repliesOwed == 0; }
    // Asks for the identification and reads until deadline (program clock) for the one the count
    // says is its own, dropping every line before it.
    Resync resynchronise(qint64 deadline);
    // The deadline of a read once an identification came while others are still counted.
    static qint64 lostIdentificationDeadline(qint64 deadline);
    // Lines may come that nothing here accounts for (a terminal's typed lines).
    void oweResync() { m_lineUnknown = true; }
    // Identifications asked for and not come yet (an upper bound: some may be lost).
    int identificationsToCome() const { return int(m_identificationRequests.size()); }

    // The deadline of a read of limitMs begun now: buses that pace their output start it once
    // the line has carried what was written.
    virtual qint64 replyDeadline(int limitMs) const;

    // A line that reads as a controller's identification: a model word, then "Version" and the
    // firmware version ("KVL410 Version 2.0").
    static bool readsAsIdentification(const QString& line);
    // The command asks for the identification: the controller names itself to the query and to
    // the plain command alike.
    static bool asksIdentification(const QByteArray& command);
    // Blanks are the space character only: CR and LF are never trimmed.
    static QString trimBlanks(const QString& text);
    // The text up to and including its first line feed, nothing removed before it; without a line
    // feed, the text with its blanks removed.
    static QString trimToLineFeed(const QString& text);
    static QString fromAnsi(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

protected:
    // One line as a bus delivers it.
    struct Line {
        enum Kind {
            None,   // nothing by the deadline
            Whole,  // a line with its line end (a message's last part counts as one)
            Broken, // a line cut off by the buffer or the deadline, or one too long
        };
        Kind kind = None;
        QString text;
    };

    // The bus's writes: 0 when sent. writeQuery writes a query whose reply is read next; a bus
    // that sends and reads in one driver call keeps what that read brought for takeLine, and may
    // refuse the command unsent (QueryNotSent).
    virtual int writeCommand(const QByteArray& command) = 0;
    virtual QVariant writeNoTerm(const QByteArray& command) = 0;
    virtual int writeQuery(const QByteArray& command) { return writeCommand(command); }
    // The next line by the deadline. The default reads the bus's messages, a message's last part
    // without a line end counting as a line; a query's take ends at a read that brought nothing
    // (the driver waited its own time), a resynchronisation's reads again a little later until the
    // deadline.
    virtual Line takeLine(qint64 deadline);
    // A line that has already come, without waiting; false when none has. Broken when what waits
    // cannot be a line of its own; the default hands the lines a message brought beyond the one
    // read.
    virtual bool takeWaitingLine(Line& line);
    // One read of a bus that hands whole messages: the driver's status (0, -1 for nothing yet,
    // anything else a failure), and what came. Buses that read otherwise hand nothing.
    virtual int readMessage(Message& got);
    // Lines that a read brought beyond the one handed on are held for the next take.
    void holdLinesOf(const Message& got);
    // A read made with the write brought nothing: the next take ends there.
    void holdNoReply() { m_heldLines.append(Line{}); }

    // What a separate read brought: the identifications in it that no plain send asked for are
    // counted and left out, and a read that brought nothing, or a line cut off,
    // leaves the line out of step.
    QString separateReadText(const QString& text, bool cutOff);
    // The line is the controller's identification: the one the opening learned (the model the
    // same, the version free to change with a firmware download), or, with none learned, a line
    // that reads as one.
    bool isIdentification(const QString& line) const;
    // A reply line holding a NUL or a control character other than CR, LF and tab is no reply.
    static bool isGarbage(const QString& line);
    // The reply handed to the caller from its line.
    virtual QString replyText(const QString& line) const { return trimBlanks(line); }
    void showBox(const QString& prompt, int style, const QString& title) const;

private:
    // Counts an identification request on its way, and whether a plain send (a separate reader's)
    // wrote it.
    void noteWritten(const QByteArray& command, bool plainSend);
    // One has come: whether a plain send asked for it, as far as the count can tell.
    bool identificationCame();
    // The line is in step: nothing owed, nothing unknown.
    void settle();
    // Before a plain send on a line out of step: what waits answers queries given up on, and is
    // dropped (identifications counted), so a separate read after the send gets only what follows.
    void discardWaitingLines();
    // The opening learns its identification from this line.
    void learnIdentification(const QString& line);
    // After a reply: the lines the same read brought beyond it are accounted for at once.
    void settleHeldLines();

    BoxHandler m_boxHandler;
    // The identification the opening learned, without line end and blanks; empty when none.
    QString m_identification;
    // The opening learned a line that does not read as an identification: only that line is one.
    bool m_identificationExact = false;
    // Identification requests on their way, oldest first: true for a plain send's.
    std::deque<bool> m_identificationRequests;
    // Queries given up on with nothing come, whose replies may still come.
    int m_repliesOwed = 0;
    bool m_lineUnknown = false;
    // Lines a read brought beyond the one handed on.
    QList<Line> m_heldLines;
    // A resynchronisation or the opening is under way: buses that hand whole messages read again
    // until the deadline rather than stop at a read that brought nothing.
    bool m_readOnUntilDeadline = false;
};
