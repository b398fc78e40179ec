#pragma once

#include <QByteArray>
#include <QString>
#include <QList>
#include <QVariant>

#include <deque>
#include <functional>

// One bus of the communication control: the control picks one when its bus changes and runs every
// exchange through it, inside its own lock frame and failure path. Commands arrive as the 8-bit
// bytes that go on the wire; replies leave trimmed the way the bus's readers trim them.
//
// Keeping replies in step is one rule over lines, here; a bus only writes and delivers its lines.
// The controller answers in order, one line to a query, and may lose or delay any answer. The link
// keeps the answers it expects in the order it asked for them: the identification of every
// identification request written ("VE?" or "VE", by anyone), and the reply of every other query.
// A line that comes is the first expected answer of its kind (an identification, or a reply);
// the answers of the other kind before it were lost. So:
// - An identification never answers a query that did not ask for one: it is dropped and the
//   reply read on.
// - A query's reply is the line that matches its own expected reply; a line that matches the
//   reply of a query given up on is dropped, and once that is the last reply owed the line is in
//   step again, whether it came before the next query or while it waits.
// - The line is out of step while a reply is owed, or after a line that cannot be matched (cut
//   off, too long, garbage, bytes after a reply, a line nothing asked for) or sends whose answers
//   nothing counts (a terminal's typed lines). The next query is then preceded by a
//   resynchronisation. Owing only replies, on a line that streams it first waits a little for
//   them; then it asks for the identification and drops every line until an identification
//   leaves no reply owed: what can still come after it are identifications. After uncounted
//   sends the first one waits for its own identification.
// - An identification query's answer is an identification or nothing; a separate read hands over
//   no line that matches a query given up on.
// - Opening the link proves nothing about the line: a bus new, closed or opened without an
//   identification is out of step until an identification shows it in step. What it owes is
//   still counted: a reply on its way from before an opening answers no query after it.
// Every reader decides what a line is through classify(). No time window decides which query a
// line answers.
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

    // What a resynchronisation came to.
    enum class Resync {
        Answered,  // an identification came in time after it was asked, on a clean line: in step,
                   // and the controller answers
        InStep,    // no reply is owed any more (a late reply settled it, or a line came broken)
        Unsettled, // not in step, though an identification came in time on a clean line
        Failed,    // not in step: nothing that settles the line came in time
        Unwritten, // the identification query could not be written
    };

    // One read of a bus that hands whole messages: what came, and whether it filled the reply
    // buffer with more of its message left behind.
    struct Message {
        QString text;
        bool filled = false;
    };

    // A bus starts out of step: nothing has shown what its line holds.
    LinkTransport() = default;
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
    // line that came, once a second question has brought the same line. 0 with the line in
    // reply, -1 when nothing came.
    int identify(QString& reply);

    void setBoxHandler(BoxHandler handler) { m_boxHandler = std::move(handler); }

    // Takes the lines that came while nothing was read, before a query is written, and matches
    // them to the answers expected. Buses that hand whole messages hold nothing between reads.
    void settleWaitingLines();
    // Whether the next query can go out without a resynchronisation first.
    bool inStep() const { return !m_strayLines && !m_untrackedSends && !repliesOwed(); }
    // Asks for the identification and reads until deadline (program clock), dropping every line,
    // until the line is in step.
    Resync resynchronise(qint64 deadline);
    // Lines were sent whose answers nothing here counts (a terminal's typed lines).
    void noteUntrackedSends() { m_untrackedSends = true; }
    // The link was opened or closed: what the line holds is unknown, so it is out of step until
    // an identification shows it in step. The answers expected stay counted, since the controller
    // may still send them: forgotten, a reply from before would answer a query after. With
    // forgetIdentification the identification learned goes too (a link closed may open on another
    // controller). A bus with no line has no step to lose.
    virtual void reopened(bool forgetIdentification);

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
    // How long a resynchronisation first waits for the reply a query given up on still owes; 0
    // where a read that brought nothing has already waited the driver's own time.
    virtual int owedReplyWaitMs() const { return 0; }
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

    // What a separate read brought, matched to the answers expected: the identifications in it
    // that no plain send asked for are left out, and a read that brought nothing, or a line cut
    // off, leaves the line out of step.
    QString separateReadText(const QString& text, bool cutOff);
    // The line is the controller's identification: the one the opening learned (the model the
    // same, the version free to change with a firmware download), or, with none learned, a line
    // that reads as one.
    bool isIdentification(const QString& line) const;
    // What a line that came is to the link.
    enum class Heard {
        Nothing,        // nothing by the deadline
        Broken,         // cut off, too long or garbage: no answer, and more of it may follow
        Identification, // the controller's identification
        Reply,          // any other whole line
    };
    Heard classify(const Line& line) const;
    // A reply line holding a NUL or a control character other than CR, LF and tab is no reply.
    static bool isGarbage(const QString& line);
    // The reply handed to the caller from its line.
    virtual QString replyText(const QString& line) const { return trimBlanks(line); }
    void showBox(const QString& prompt, int style, const QString& title) const;
    // A bus with no line is never out of step.
    void markInStep() { settle(); }

private:
    // An answer expected for a command written: an identification for an identification request,
    // a reply for a query (a plain send's other answers are not counted).
    void noteWritten(const QByteArray& command, bool plainSend);
    // A line of the kind came: it answers the first expected answer of that kind, the ones before
    // it were lost. 1 when that was the last one expected (the query just written), 0 an earlier
    // one, -1 none (nothing asked for it); plainSend tells whether a plain send asked for it.
    int matchAnswer(bool identification, bool* plainSend = nullptr);
    bool repliesOwed() const;
    // No stray line and no uncounted send is left to put the line out of step.
    void settle();
    // Before a plain send on a line out of step: what waits answers queries given up on, and is
    // dropped (identifications counted), so a separate read after the send gets only what follows.
    void discardWaitingLines();
    // Reads until deadline while only replies of queries given up on are owed: true when they
    // came and the line is in step, with nothing asked.
    bool awaitOwedReplies(qint64 deadline);
    // One identification query of the opening, read until an identification leaves no reply owed
    // or the read limit has passed: the identification that came, and the last line owed to no
    // earlier query. False when the query could not be written.
    bool askOpeningIdentification(QString& identification, QString& last);
    // The opening learns its identification from this line.
    void learnIdentification(const QString& line);
    // After a reply: the lines the same read brought beyond it are accounted for at once.
    void settleHeldLines();

    BoxHandler m_boxHandler;
    // The identification the opening learned, without line end and blanks; empty when none.
    QString m_identification;
    // The opening learned a line that does not read as an identification: only that line is one.
    bool m_identificationExact = false;
    struct Expected {
        bool identification;
        bool plainSend;
    };
    // The answers asked for and not come yet, oldest first (some may be lost).
    std::deque<Expected> m_expected;
    // A line came that could not be matched, or was broken (more of it may follow), or the link
    // was opened or closed.
    bool m_strayLines = true;
    bool m_untrackedSends = false;
    // Lines a read brought beyond the one handed on.
    QList<Line> m_heldLines;
    // A resynchronisation or the opening is under way: buses that hand whole messages read again
    // until the deadline rather than stop at a read that brought nothing.
    bool m_readOnUntilDeadline = false;
};
