#pragma once

#include "utility/shell/Form.h"

class QLabel;
class QPushButton;

// A test window: its button puts a message on the error panel.
class frmTest : public Form {
    Q_OBJECT
public:
    frmTest();

    QPushButton* cmdError() const { return m_cmdError; }
    QLabel* lblError() const { return m_lblError; }

protected:
    void Form_Load() override;
    void Form_Unload(int& Cancel) override;

private slots:
    void cmdError_Click();

private:
    QPushButton* m_cmdError = nullptr;
    QLabel* m_lblError = nullptr;
};
