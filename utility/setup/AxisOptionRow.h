#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QVector>

#include <functional>

class CGuiState;
class QButtonGroup;
class QRadioButton;
class QWidget;

// A row of axis option buttons: option i stands for axis i + 1 and is named "<name>_<i>".
//
// It follows the program's one current axis both ways. Selecting an option, by the user or from
// code, first makes its axis the current axis (every other window follows through AxisChange) and
// then runs the window's handler with the option's index. An AxisChange selects the option of the
// new axis in the same way. As with a click, the handler runs only when the selection changes.
//
// The row is bounded: an axis it has no option for (axis 7 in a row of six, axis 0) selects
// nothing, leaves the selection and the shown axis as they were and runs no handler. A window
// therefore edits shownAxis(), never CGuiState::CurrentAxis(), which another window may have set
// to an axis this row cannot show.
class AxisOptionRow : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(int index)>;

    // Makes count options inside parent, captioned by caption(i) and placed by place(i) (pixels);
    // without place the window lays the options out itself (option(i)).
    AxisOptionRow(QWidget* parent, const QString& name, int count, const std::function<QString(int)>& caption,
                  const std::function<QRect(int)>& place = {});

    // The window's handler of a selection. Set before anything is selected.
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // The current axis a selection sets; with answerAxisChange the row also follows state's
    // AxisChange. A window that must order its rows' responses to AxisChange passes false and
    // calls selectAxis() itself.
    void follow(CGuiState* state, bool answerAxisChange = true);
    // Whether a selection also makes its axis the current axis (the default).
    void setSetsCurrentAxis(bool sets) { m_setsCurrentAxis = sets; }

    int count() const { return static_cast<int>(m_options.size()); }
    QRadioButton* option(int index) const;
    bool hasAxis(int axis) const { return axis >= 1 && axis <= count(); }

    // Selects the option of axis (its handler runs when the selection changes). An axis without
    // an option is ignored; returns whether the row now shows axis.
    bool selectAxis(int axis);
    // Selects axis when its option is enabled, else the first enabled option; nothing when none
    // is. The usual first selection of a window.
    void selectAxisOrFirstEnabled(int axis);
    // The axis of the selected option; 0 while none is selected.
    int shownAxis() const;

    void setAxisEnabled(int axis, bool enabled);
    bool isAxisEnabled(int axis) const;
    // Disables every option.
    void disableAll();
    // Enables options 1..axes and disables the others.
    void enableUpTo(int axes);

private:
    void selected(int index);

    QVector<QRadioButton*> m_options;
    // Exclusive within the row, whatever else shares the parent.
    QButtonGroup* m_group = nullptr;
    Handler m_handler;
    QPointer<CGuiState> m_state;
    bool m_setsCurrentAxis = true;
};
