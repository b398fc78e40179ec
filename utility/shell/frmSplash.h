#pragma once

#include "utility/shell/Form.h"

#include <QPointer>

class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class WaitAnimation;

// The wait window of the controller initialisation: a status line, the detection report, the wait
// animation and an OK button that the initialisation enables when it is done.
class frmSplash : public Form {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 6000;  // twips
    static constexpr int DesignHeight = 4500;

    frmSplash();

    QLabel* Label1() const { return m_label1; }
    QPushButton* btnOK() const { return m_btnOK; }
    QLabel* Animation1() const;

    // The report text exactly as written (CR LF line ends); the box shows it line by line.
    QString lblInfo() const { return m_info; }
    void setLblInfo(const QString& text);
    void appendLblInfo(const QString& text);

    // Opens the animation file and plays it; a file that is missing or unreadable shows nothing.
    void playAnimation(const QString& path);
    // Stops the animation and hides it.
    void stopAnimation();
    bool animationPlaying() const;

protected:
    void Form_Load() override;
    void Form_QueryUnload(int& Cancel, int UnloadMode) override;
    // Enter presses OK, the default button, as in a dialog.
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void btnOK_Click();

private:
    QLabel* m_label1 = nullptr;
    QPlainTextEdit* m_infoBox = nullptr;
    WaitAnimation* m_animation = nullptr;
    QPushButton* m_btnOK = nullptr;
    QPointer<QObject> m_comm;
    QString m_info;
};
