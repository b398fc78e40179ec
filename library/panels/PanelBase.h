#pragma once

#include "library/link/CGuiState.h"
#include "library/link/KVLComm.h"
#include "library/link/NumberText.h"
#include "platform/com/Control.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>

class QAbstractButton;
class QGroupBox;
class QLabel;
class QLineEdit;

// The pattern every panel control follows, written once.
//
// A panel is bound to the host's one KVLComm through CommControl, shares that control's CGuiState,
// polls on its Timer event and sends command lines through it. A panel opens no link of its own.
//
// Binding (setCommControl): keep the control, take its CGuiState (unless the panel keeps none), then
// run setUp(). Timer, FormStatus and AxisChange are connected as the panel's Options ask.
//
// Guards before an exchange, tested in this order, the first that fails ending the operation
// silently: (1) a control is bound, (2) a bus is chosen (BusType not BUS_TYPE_NONE), (3) the link
// is open. Each operation says which it tests (passesGuards).
//
// Command lines: axis number, two-letter mnemonic, optional value, carriage return; a query puts "?"
// after the mnemonic. The axis is plain decimal, or after one blank where a panel's queries want it
// (axisText). Values are blank-signed decimals with a period whatever the locale (valueText).
//
// Failure path: a status of -2 from a send or query means the link broke. sendCommand/sendQuery
// then hand error 1001 to KVLComm::HandleError (which reports it, closes the link and switches to
// demo mode) and return -2, and the caller abandons the rest of the operation. 0 and -1 are not
// failures, but a value is read only from a query answered with a number (ReadMarks::replyValue):
// any other outcome leaves the value unread, and a panel neither shows it, sends it nor concludes
// from it. A query the link did not send returns KVLComm::QueryNotSent with the reply untouched.
//
// Number boxes (addNumberBox): cleaned on Enter and on leaving the box, then handed to the panel.
// A box whose cleaned text is no number ("-" or the separator alone) is rewritten as zero and
// readBox reports it, so nothing is sent from it.
//
// Axes: a panel serves axes 1 to 6 (MaxPanelAxes). probeMotors asks "QM?" of axes 1 to
// min(MaxAxes, 6) and never past the panel's tables. isPanelAxis guards every per-axis command:
// axis 0 (the whole controller) never reaches one from a panel.
//
// Lock between motion panels: form identifiers 1 cycle, 2 home, 4 jog. takeFormLock disables the
// two other panels, releaseFormLock enables them again; FormLockScope releases on every way out of
// a scope, and a panel destroyed while holding the lock releases it. A panel follows FormStatus of
// its own identifier by enabling or disabling itself.
//
// Current axis: followCurrentAxis ties an option array to CGuiState::CurrentAxis both ways.
//
// Timer: TickCounter thins the ticks; the panel decides when it counts.
//
// Display-only panels (Options::displayOnly) send nothing while out of view: hidden after having
// been shown (their window closed, their sub-window minimised) or in a minimised window. A tick's
// read asks readWanted(); a read passed over is made by refreshView() as soon as the panel is in
// view again. A panel never shown (embedded by a host that shows nothing) reads as always.
//
// ShowFrame: panels with an outer frame register it (setOuterFrame); the border style (1 shown,
// 0 none) is persisted under "ShowFrame" with the default 1.
//
// Motion safety: stopHeldMotion() runs when the panel is disabled or hidden (its window closed) and
// before a failed link is given up; a panel that moves axes while a button is held overrides it
// and calls it from its destructor too.
//
// Waits that let events run (pumpEvents) keep the panel busy: a deleteLater() that arrives
// meanwhile is put off until the panel's loops have ended, and isBusy() tells a host to wait.
class PanelBase : public platform::Control {
    Q_OBJECT
public:
    // Form identifiers of the lock between motion panels.
    enum FormId : short { FormNone = 0, FormCycle = 1, FormHome = 2, FormJog = 4 };

    // Axes a panel serves; option arrays and per-axis tables have this many entries.
    static constexpr int MaxPanelAxes = 6;
    using MotorTable = std::array<int, MaxPanelAxes>;
    // A motor table's entry for an axis whose probe went unanswered: neither with a motor nor
    // without one.
    static constexpr int MotorUnread = -1;

    // Guards, tested in the order of their values.
    enum Guard : int { GuardBound = 1, GuardBus = 2, GuardOpen = 4 };

    struct Options {
        short formId = FormNone;   // own bit of the form lock; FormNone takes no part
        bool keepsGuiState = true; // false: the panel keeps no CGuiState (the stop panel)
        bool handlesTimer = false; // Timer reaches onTimer()
        bool handlesAxisChange = false; // AxisChange reaches onAxisChange()
        // The ticks only refresh what the panel shows: no read while it is out of view (see
        // readWanted), and refreshView() at once when it comes into view again.
        bool displayOnly = false;
    };

    explicit PanelBase(const Options& options, QWidget* parent = nullptr);
    ~PanelBase() override;

    // Binds the panel (CommControl set). nullptr unbinds it.
    void setCommControl(KVLComm* comm);
    KVLComm* commControl() const { return m_CommControl; }
    CGuiState* guiState() const { return mobjGuiState; }

    // Panels with an outer frame.
    bool ShowFrame() const;
    void setShowFrame(bool show);

    void InitProperties() override;
    void ReadProperties(const platform::PropertyBag& bag) override;
    void WriteProperties(platform::PropertyBag& bag) const override;

    // True while one of the panel's loops lets events run.
    bool isBusy() const { return m_busyDepth > 0; }

    // Counts Timer events and says when one is due: every divisor-th counted tick. The count keeps
    // its phase and never overflows.
    class TickCounter {
    public:
        explicit TickCounter(int divisor) : m_divisor(divisor > 0 ? divisor : 1) {}
        bool tick()
        {
            m_phase = (m_phase + 1) % m_divisor;
            return m_phase == 0;
        }
        void reset() { m_phase = 0; }

    private:
        int m_divisor;
        int m_phase = 0;
    };

    // Holds the form lock for the length of a scope.
    class FormLockScope {
    public:
        FormLockScope(PanelBase& panel, short first, short second);
        ~FormLockScope();
        FormLockScope(const FormLockScope&) = delete;
        FormLockScope& operator=(const FormLockScope&) = delete;

    private:
        QPointer<PanelBase> m_panel;
    };

    // Command text ---------------------------------------------------------------------------

    enum class AxisForm { Plain, Blank };
    // "3", or " 3" for the queries that write the axis after a blank.
    static QString axisText(int axis, AxisForm form = AxisForm::Plain);
    // axis + mnemonic + value + CR ("1PR 2.5\r").
    static QString command(int axis, const QString& mnemonic, const QString& value = QString(),
                           AxisForm form = AxisForm::Plain);
    // axis + mnemonic + "?" + CR ("1QM?\r", " 1SN?\r").
    static QString query(int axis, const QString& mnemonic, AxisForm form = AxisForm::Plain);
    // A line for the whole controller without an axis ("TB\r").
    static QString controllerCommand(const QString& mnemonic);
    // Blank-signed decimal with a period: " 2.5", "-2.5", " .5".
    static QString valueText(double value);
    static QString valueText(float value);

    static bool isPanelAxis(int axis) { return axis >= 1 && axis <= MaxPanelAxes; }

    // Twips (15 to a pixel) to pixels.
    static QRect twips(int left, int top, int width = 0, int height = 0);

    // Late-bound CommControl: an object that is no KVLComm is a type mismatch (13).
    static KVLComm* commFromVariant(const QVariant& value);

protected:
    // Run by setCommControl after binding.
    virtual void setUp() {}
    // Run after setUp, once the captions it gives are in: grows the twips layout where a text
    // does not fit the font in use (the panel with it, so a host sizes itself to the result).
    virtual void fitTexts();
    // A label that shows a unit name in pattern ("%1/sec"): fitting makes room for the widest
    // unit name, whichever an axis has later.
    void reserveUnitRoom(QLabel* label, const QString& pattern);
    // Runs fit with every reserved label showing its widest text, then gives them theirs back.
    void withWidestUnits(const std::function<void()>& fit);
    // Every Timer event of the bound control.
    virtual void onTimer() {}
    // FormStatus: by default follows the panel's own identifier.
    virtual void onFormStatus(short FormID, short State);
    // AxisChange: by default selects the followed option of NewAxis (1 to 6; others ignored).
    virtual void onAxisChange(short NewAxis, short OldAxis);
    // The panel lost control of its buttons (disabled, hidden, closed, destroyed): stop any motion
    // that runs only while a button is held.
    virtual void stopHeldMotion() {}
    // Display-only panels: the read the ticks make, run when the panel comes back into view after
    // a read was passed over.
    virtual void refreshView() {}

    // Display-only panels: whether a tick's read is to be made now. False while the panel is out of
    // view; the read is then remembered for refreshView().
    bool readWanted();
    bool inView() const;

    // Guards -----------------------------------------------------------------------------------

    bool isBound() const { return !m_CommControl.isNull(); }
    bool busChosen() const;
    bool linkOpen() const;
    // Tests the given guards in order; false at the first that fails.
    bool passesGuards(int guards) const;
    // Bound, a bus chosen and open: an exchange can reach the controller.
    bool linkUsable() const { return passesGuards(GuardBound | GuardBus | GuardOpen); }

    // Exchange with the failure path -----------------------------------------------------------

    // The link's status; -2 after the failure path ran; -1 when no control is bound.
    int sendCommand(const QString& line);
    int sendQuery(const QString& line, QString& reply);
    // Error 1001 to HandleError. Returns -2.
    int reportLinkFailure();
    // Polls indices 0 to count - 1 through poll (false: stop, the link failed), starting at next.
    // When the tick's burst is spent part-way, next is where the following tick goes on (the index
    // whose query was not sent, else the one after), so every index is read in turn however slow
    // the line; after a whole round it is 0 again.
    void pollInTurn(int count, int& next, const std::function<bool(int index)>& poll);
    // The reset offer for a closed link.
    void offerReset();

    // Lets events run (ms <= 0: once). Returns false when the panel was destroyed meanwhile; the
    // caller must then return at once without touching the panel.
    bool pumpEvents(int ms = 0);

    // Axis probing -----------------------------------------------------------------------------

    // Axes probed: MaxAxes, kept within 0 to 6.
    int probedAxisCount() const;
    // Queries "QM?" of each probed axis; table[i] is the reply's flag for axis i + 1 (ReadMarks::
    // replyFlag), MotorUnread when it went unanswered, 0 for the axes not probed. perAxis, when
    // given, runs after each axis's answer (not for an unanswered one). Returns -2 when a query
    // failed (the failure path has run; the axes before it keep their answers, the rest read
    // MotorUnread), else 0.
    int probeMotors(MotorTable& table, const std::function<void(int axis, int flag)>& perAxis = {});
    // Enables the options of the axes with a motor, disables those without one and those above
    // MaxAxes; an unread axis's option is left as it was.
    static void enableAxisOptions(const QList<QAbstractButton*>& options, const MotorTable& table);

    // A query whose reply is a number, through the failure path. Read: value holds the reply's
    // number; Unread: value untouched; Failed: the link broke (reported), abandon the operation.
    enum class Read { Read, Unread, Failed };
    Read readValue(const QString& line, NumberText::Target target, double& value);
    // The same for a flag reply (ReadMarks::replyFlag).
    Read readFlag(const QString& line, int& flag);

    // Building controls ------------------------------------------------------------------------

    // A child with its object name and place. The order of the calls is the panel's tab order.
    static QGroupBox* makeFrame(QWidget* parent, const QString& name, const QString& caption, const QRect& place);
    static QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, const QRect& place);
    static QLineEdit* makeLineEdit(QWidget* parent, const QString& name, const QString& text, const QRect& place);

    // Number boxes -----------------------------------------------------------------------------

    // Cleans box on Enter and on losing the focus, then calls committed (may be empty).
    void addNumberBox(QLineEdit* box, std::function<void(QLineEdit*)> committed = {});
    // A number box whose value was not read and has not been typed since: left as it is (empty)
    // on Enter and on leaving it, so no number appears in it that nobody read or typed.
    virtual bool numberBoxUnread(const QLineEdit* box) const
    {
        Q_UNUSED(box);
        return false;
    }
    // Cleans the box's text in place. Returns false, after rewriting it as zero in the "0.0000"
    // form, when what is left is no number.
    static bool cleanBox(QLineEdit* box);
    // Cleans the box and reads its number in the user's locale; false when there is none.
    static bool readBox(QLineEdit* box, double& value);
    // Cleans the box and writes its value back with the given decimals ("0.0000": 4).
    static void reformatBox(QLineEdit* box, int decimals);

    // Form lock --------------------------------------------------------------------------------

    // DisableForms(first), then DisableForms(second). Nothing without a CGuiState.
    void takeFormLock(short first, short second);
    // EnableForms of the same two, once; nothing when the lock is not held.
    void releaseFormLock();
    bool holdsFormLock() const { return m_lockHeld; }

    // Current axis ----------------------------------------------------------------------------

    // Option i stands for axis i + 1: selecting it writes CurrentAxis, AxisChange selects it.
    // Connect the panel's own selection handler after this call.
    void followCurrentAxis(const QList<QAbstractButton*>& options);

    // Outer frame ------------------------------------------------------------------------------

    // notifyHost: setShowFrame reports "ShowFrame" as changed.
    void setOuterFrame(QGroupBox* frame, bool notifyHost);
    short frameBorderStyle() const { return m_borderStyle; }
    void setFrameBorderStyle(short style);

    // Keeps the panel busy for the life of a scope.
    class BusyScope {
    public:
        explicit BusyScope(PanelBase& panel);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        QPointer<PanelBase> m_panel;
    };

    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void changeEvent(QEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void showEvent(QShowEvent* e) override;

    QPointer<KVLComm> m_CommControl;
    QPointer<CGuiState> mobjGuiState;

private:
    void connectGuiState();
    void endBusy();
    void watchWindow();
    void refreshIfStale();

    Options m_options;
    QList<QPointer<QAbstractButton>> m_followed;
    QList<QPair<QPointer<QLineEdit>, std::function<void(QLineEdit*)>>> m_numberBoxes;
    QList<QPair<QPointer<QLabel>, QString>> m_unitLabels;

    bool m_lockHeld = false;
    short m_lockFirst = 0;
    short m_lockSecond = 0;

    QPointer<QGroupBox> m_frame;
    bool m_notifyShowFrame = false;
    short m_borderStyle = 1;

    int m_busyDepth = 0;
    bool m_tickLeft = false; // the last tick's burst was spent before this panel's turn
    bool m_queryNotSent = false; // the last query of sendQuery did not go out
    bool m_deletePending = false;

    bool m_everShown = false;
    bool m_viewStale = false;         // a read was passed over while out of view
    QPointer<QWidget> m_watchedWindow; // its minimising and restoring are followed
};
