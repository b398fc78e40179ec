#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include <QLineEdit>

// A text box that holds one number of the cache.
//
// The box shows and reads numbers in the user's locale (through NumberText), and remembers the
// text it last showed: a commit whose text is unchanged changes nothing, so tabbing through the box
// never rounds or rewrites a value. A changed text that is no number, or a number outside the
// box's range, is refused with a message and the box shows its value again; anything else is
// handed to the window's commit handler.
//
// A commit runs when the box loses the focus. A window also calls commit() itself before it acts
// on the cache (before Apply, OK, or showing another axis), so a typed value reaches the axis it
// was typed for whatever takes the focus.
class NumberBox : public QObject {
    Q_OBJECT
public:
    // What the box holds: the width decides the range and how a value is shown.
    enum class Kind { Single, Double, Int16, Int32 };
    enum class Commit { Unchanged, Changed, Refused };

    NumberBox(QLineEdit* edit, Kind kind);

    QLineEdit* edit() const { return m_edit; }
    // Narrows the range the box accepts (the kind's own range is the default).
    void setRange(double minimum, double maximum);
    // The handler that takes a changed value into the cache.
    void setCommitHandler(std::function<void(double value)> handler) { m_onCommit = std::move(handler); }

    // Shows value in the box's own form: the shortest text that reads back as the same value
    // (singles and doubles), or the whole number.
    void show(double value);
    // Shows a text of the window's own form (it must read back as the value it stands for).
    void showText(const QString& text);
    // Empties the box; a commit of an empty box that was shown empty changes nothing.
    void clear();

    // Takes the typed text: unchanged, handed to the handler, or refused with a message.
    Commit commit();

    // The text of a value of kind in the box's form.
    static QString text(Kind kind, double value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QLineEdit> m_edit;
    Kind m_kind;
    double m_minimum;
    double m_maximum;
    QString m_shown;
    std::function<void(double)> m_onCommit;
    // A refusal's box takes the focus away: that focus loss must not commit again.
    bool m_committing = false;
};
