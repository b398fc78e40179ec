#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class Form;

// For a window that only displays what it reads: it reads nothing while it cannot be seen (hidden,
// minimised, or inside a minimised main window), and reads at once when it is shown again.
class DisplayPause : public QObject {
    Q_OBJECT
public:
    // Watches form's frame; resume runs from the event loop when the window comes back into view
    // after it was hidden or minimised.
    DisplayPause(Form* form, std::function<void()> resume);

    // Whether the window can be seen now.
    bool showing() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void check();

    QPointer<Form> m_form;
    std::function<void()> m_resume;
    bool m_paused = false;
    bool m_resumePosted = false;
};
