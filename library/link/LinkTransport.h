#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

// One bus of the communication control: the control picks one when its bus changes and runs every
// exchange through it, inside its own lock frame and failure path. Commands arrive as the 8-bit
// bytes that go on the wire; replies leave trimmed the way the bus's readers trim them.
//
// Members raise platform::RuntimeError on a run-time failure; the control hands it on.
class LinkTransport {
public:
    // Shows a box the way the control wants it shown (after its lock is released).
    using BoxHandler = std::function<void(const QString& prompt, int style, const QString& title)>;

    static constexpr int ReplyBufferLength = 255;
    // sendRead's status for a query refused unsent (the bus cannot carry the command). It says
    // nothing of the controller's silence.
    static constexpr int HeldBack = -3;
    // The controller's identification query: the one query every controller answers, and the
    // one a resynchronisation asks.
    static constexpr const char* IdentificationQuery = "VE?\r\n";
    // How long a resynchronisation waits for the identification: one read limit.
    static constexpr int ResyncLimitMs = 1000;

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
    virtual int send(const QByteArray& command) = 0;
    // A command exactly as given; the status in a variant.
    virtual QVariant sendNoTerm(const QByteArray& command) = 0;
    // One reply; reply arrives holding the 255 blanks of the reply buffer.
    virtual int read(QString& reply) = 0;
    // A command and its reply: the step status (-1 when no reply came, HeldBack when the command
    // was not sent); reply as for read().
    virtual int sendRead(const QByteArray& command, QString& reply) = 0;

    void setBoxHandler(BoxHandler handler) { m_boxHandler = std::move(handler); }

    // Keeping replies in step. The controller answers in order, so after an exchange that brought
    // no whole reply in time (nothing, a line cut off or too long, garbage, bytes after the line's
    // end) the link owes a resynchronisation before its next query: it asks for the
    // identification and drops every line until the identification comes back. After that, all
    // that can still come are identifications, and a query other than the identification's drops
    // those. No time window decides which query a line answers.
    //
    // Whether the next query can go out without a resynchronisation.
    virtual bool inStep() { return !m_owesResync; }
    // Asks for the identification and reads within one read limit until it comes, dropping every
    // line before it; true when it came (the link is in step again).
    bool resynchronise();
    // The controller's identification, as it answered when the link opened (blanks and line end
    // removed); empty when none is known, and then the first line that reads as one stands for it.
    void setIdentification(const QString& reply);
    // A new link: nothing is owed and no identification is known.
    void startInStep();
    void oweResync() { m_owesResync = true; }

    // Blanks are the space character only: CR and LF are never trimmed.
    static QString trimBlanks(const QString& text);
    // The text up to and including its first line feed, nothing removed before it; without a line
    // feed, the text with its blanks removed.
    static QString trimToLineFeed(const QString& text);
    static QString fromAnsi(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

protected:
    void showBox(const QString& prompt, int style, const QString& title) const;

    static bool asksIdentification(const QByteArray& command);
    // Whether a line that came while a query (or a separate read after a send) waited is the late
    // answer of a resynchronisation, to be dropped: an identification while some such answer is
    // still to come, to a query that did not ask for one. Counts it as come.
    bool isLateIdentification(const QString& line, bool askedIdentification);
    // The line is the controller's identification: it names the same model (the version after it
    // changes with a firmware download), or, with none known, reads as one.
    bool isIdentification(const QString& line) const;
    // With no identification known, one that answered a query asking for it becomes it.
    void learnIdentification(const QString& line, bool askedIdentification);
    // A reply line holding a NUL or a control character other than CR, LF and tab is no reply.
    static bool isGarbage(const QString& line);

    // The reply of a query on a bus that hands whole messages: the first line of what the reads
    // bring (a message's last part without a line end counting as a line). An identification line
    // before it that the query did not ask for came late and is dropped, reading on while it left
    // nothing. No reply, a line the buffer cut off, garbage, or anything after the reply's line
    // end puts the link out of step. Returns status with the line (untrimmed) in reply, or -1
    // with reply empty.
    int replyOfMessage(const QByteArray& command, int status, Message got, QString& reply);
    // One read of a bus that hands whole messages: the driver's status, and what came. Buses that
    // read otherwise hand nothing.
    virtual int readMessage(Message& got);
    // A separate read's message is handed on as it came, but one that brought nothing, or was cut
    // off by the buffer, leaves the link out of step.
    void noteSeparateRead(const Message& got);

    // One line from the bus by the deadline (its line end included): false when none came. The
    // default reads the bus's messages, a message's last part without a line end counting as a
    // line, and waits a little between reads that bring nothing.
    virtual bool nextLine(QString& line, qint64 deadline);
    // The deadline of a resynchronisation's read begun now.
    virtual qint64 replyDeadline() const;

private:
    BoxHandler m_boxHandler;
    bool m_owesResync = false;
    QString m_identification;
    // Identification queries of resynchronisations whose answers have not come.
    int m_lateIdentifications = 0;
    // Lines a read brought beyond the one handed on, during a resynchronisation.
    QStringList m_lines;
};
