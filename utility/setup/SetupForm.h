#pragma once

#include "library/link/ReadMarks.h"
#include "utility/shell/CommLink.h"
#include "utility/shell/Form.h"

#include <QAbstractButton>
#include <QList>
#include <QPointer>
#include <QString>

#include <functional>
#include <vector>

#include "library/link/CGuiState.h"
class IMotion;
#include "utility/setup/NumberBox.h"
class BitOnOff;
class QCheckBox;
class QKeyEvent;
class QPushButton;

// A CacheValue of the IMotion property Name.
#define SETUP_CACHE_VALUE(Name)                                                                        \
    SetupForm::CacheValue                                                                              \
    {                                                                                                  \
        [](IMotion& m, short a) -> double { return double(m.Name(a)); },                               \
            [](IMotion& m, short a, double v) { m.set##Name(a, static_cast<decltype(m.Name(a))>(v)); } \
    }

// The frame every set-up window shares: the link, its parameter cache (IMotion) and the shared
// GUI state; the reads at opening with their read/unread marks; the guarded writes; the snapshot
// that Cancel returns to; and the busy guard with its hourglass.
//
// Reading. With the link open on a bus, a query whose reply is missing (status -1 or -2, an empty
// reply, "No data", "No Message", no number) leaves its value unread: the cache keeps what it held
// and writeValue() skips the value, naming it in one box (reportUnwritten()) after the writes. In
// demo mode nothing reaches the controller, so every value counts as read (an empty reply reads 0).
// The tracking follows the link: when the link is open on a bus under a window bound while it was
// closed or in demo mode, or after its bus changed since (a failure drops it to demo mode, the bus
// window picks one), nothing the window holds is known to be this controller's, so every value
// turns unread, edits included, and none is written until read or typed again.
//
// Busy. Work that lets events run holds an Exchange; a second one (a button pressed during a
// write) is refused. pump() runs events and says whether the window is still loaded: a loop stops
// at once when the window was closed under it (the window itself is destroyed only when idle).
class SetupForm : public Form {
    Q_OBJECT
public:
    SetupForm(const QString& name, const QString& caption);
    ~SetupForm() override;

    // One value of the cache, read and written through IMotion (SETUP_CACHE_VALUE(Microstep)).
    struct CacheValue {
        double (*get)(IMotion& m, short axis);
        void (*set)(IMotion& m, short axis, double value);
    };

    // The colour of a lamp whose value was not read (grey: neither on nor off).
    static constexpr qint32 NeutralLampColor = 0x808080;

    bool isExchanging() const { return m_exchanging; }
    // Whether unanswered queries are told from answered ones (the link has been open on a bus
    // since the window was bound).
    bool tracksReads();

protected:
    // Takes the link, its IMotion view and the shared GUI state, whose AxisChange then reaches
    // mobjguistate_AxisChange. The first step of Form_Load.
    void bindLink();
    virtual void mobjguistate_AxisChange(short NewAxis, short OldAxis);
    // Saves the window's place; a window that overrides it calls it.
    void Form_Unload(int& Cancel) override;

    CommLink& KVLComm1() { return m_comm; }
    IMotion* motion() const;
    CGuiState* guiState() const { return mobjGuiState; }

    // --- reading ---------------------------------------------------------------------------------
    enum class Read { Answered, Unanswered, Gone };
    // Sends line with a carriage return; when answered, hands the reply's number, as the cache's
    // field (target) holds it, to store and marks (axis, field) read. A number the field cannot
    // hold counts as no answer. Gone: the window was closed during the pump after the exchange.
    Read readValue(short axis, int field, const QString& line, ReadMarks::Reply form, NumberText::Target target,
                   const std::function<void(double value)>& store, bool pumpAfter = true);
    // The cache holds a value of the controller's, or one the user set: it may be written.
    bool isKnown(short axis, int field);
    // The user set the value (a whole value typed or chosen): it may be written from now on.
    void markEdited(short axis, int field) { m_marks.markEdited(axis, field); }
    ReadMarks& marks() { return m_marks; }
    // Says that a change needs a value the controller did not give when asked again, so the change
    // was not made.
    void reportNotChanged(const QString& what);
    // Shows none of the choices of the option group that option belongs to: its value is not read.
    static void showNoChoice(QAbstractButton* option);
    // Shows a tick box's value; one not read shows neither ticked nor clear (the partial mark).
    // A click on a box in that state ticks it.
    static void showTick(QCheckBox* box, bool known, bool ticked);
    // Shows a lamp's value; one not read shows the neutral colour, neither on nor off.
    static void showLamp(BitOnOff* lamp, bool known, bool on);

    // --- writing ---------------------------------------------------------------------------------
    // Sends line with a carriage return when (axis, field) is known; otherwise keeps name for the
    // report (under "Controller" when controllerWide, else under the axis). Returns false when the
    // window was closed during the pump after the send.
    bool writeValue(short axis, int field, const QString& name, const QString& line, bool controllerWide = false,
                    bool pumpAfter = true);
    // One box naming every value skipped since the last report, by axis; nothing when none was.
    void reportUnwritten();

    // --- snapshot --------------------------------------------------------------------------------
    // The values this window edits: the ones its snapshot keeps.
    void setSnapshotValues(std::vector<CacheValue> values) { m_snapshotValues = std::move(values); }
    // takeSnapshot takes the cache's snapshot (StoreCurrentAxisState) and keeps the window's own
    // values of every cached axis; restoreSnapshot (Cancel) puts back those values only and forgets
    // the user's edits. The cache's snapshot is one for every editor: another window opened since
    // has replaced it, and restoring it would also undo that window's edits, not yet applied.
    void takeSnapshot();
    void restoreSnapshot();

    // --- busy ------------------------------------------------------------------------------------
    class Exchange {
    public:
        // Holds the window busy with the hourglass; with disableWindow the window is disabled too.
        // A second exchange while one runs is refused: test it with operator bool.
        Exchange(SetupForm& form, bool disableWindow, bool hourglass = true);
        ~Exchange();
        Exchange(const Exchange&) = delete;
        Exchange& operator=(const Exchange&) = delete;
        explicit operator bool() const { return m_active; }

    private:
        QPointer<SetupForm> m_form;
        bool m_active = false;
        bool m_disabled = false;
        bool m_hourglass = false;
    };
    // Lets events run once; false when the window was unloaded meanwhile.
    bool pump();

    // --- boxes and buttons -----------------------------------------------------------------------
    // A number box of the window: commitBoxes() commits it with the others.
    void addNumberBox(NumberBox* box) { m_boxes.append(box); }
    // Commits every box; false when one refused its text.
    bool commitBoxes();
    // A push button of the window (made in parent when given), named and captioned. A click runs
    // action unless an exchange runs, after the boxes were committed; without an action a click
    // runs nothing.
    QPushButton* addButton(const QString& name, const QString& caption, std::function<void()> action,
                           QWidget* parent = nullptr);
    // Unloads the window by code.
    void unloadSelf();
    // The button Escape presses, as a dialog's Escape presses its Cancel. A window without one
    // closes on Escape as by its close box (asking what that asks).
    void setCancelButton(QAbstractButton* button) { m_cancelButton = button; }

    void keyPressEvent(QKeyEvent* event) override;

private:
    // Starts tracking afresh when the link is open on a bus the window's marks do not belong to
    // (see the class comment).
    void followLink();
    void connectButton(QAbstractButton* button, std::function<void()> action);

    CommLink m_comm;
    QPointer<QObject> m_motionObject;
    QPointer<CGuiState> mobjGuiState;
    ReadMarks m_marks;
    bool m_tracking = false;
    // The link's bus was set since the marks were taken.
    bool m_linkChanged = false;
    QMetaObject::Connection m_busWatch;
    bool m_exchanging = false;
    QList<QPointer<NumberBox>> m_boxes;
    QPointer<QAbstractButton> m_cancelButton;
    std::vector<CacheValue> m_snapshotValues;
    // Per cached axis, the window's values in the order of m_snapshotValues.
    std::vector<std::vector<double>> m_snapshot;
    // Values skipped by writeValue since the last report: axis (0: the controller) and name.
    QList<QPair<int, QString>> m_unwritten;
};
