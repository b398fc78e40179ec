#pragma once

#include "library/panels/PanelBase.h"

#include <QVector>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

// Read-out of up to eight axis positions, one row per axis with its unit and a Zero button. The
// check boxes choose the rows shown; only shown rows are polled, on every tick. Shown rows are
// packed from the top, the panel takes their height and raises Resize so its host can follow.
//
// A row shows only its own axis's reply: a row whose query brings no line keeps what it showed.
// Nothing is polled while the panel is out of view; it reads at once when back in view.
class KVLPosition : public PanelBase {
    Q_OBJECT
public:
    explicit KVLPosition(QWidget* parent = nullptr);

    static constexpr int MaxRows = 8;

    // Layout in twips.
    static constexpr int EmptyHeight = 940;
    static constexpr int FirstRowTop = 550;
    static constexpr int RowPitch = 975;
    static constexpr int OneRowHeight = 2000;
    static constexpr int HiddenRowsTop = 600;
    static constexpr int PanelWidth = 5535;

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;
    QVector<QPair<int, QString>> eventTable() const override;

signals:
    // The rows were laid out; the panel's height may have changed.
    void Resize();

protected:
    void setUp() override;
    void onTimer() override;
    void refreshView() override { onTimer(); }

private:
    void buildControls();
    void InitializeAxes();
    // The TP reply of one axis up to its carriage return. Returns -2 after a reported failure;
    // text is set only when a reply line came.
    short GetAxisPosition(int axis, QString& text, bool* gotLine = nullptr);
    // A reply line the read-out can show: a finite decimal number and nothing else.
    static bool isPositionText(const QString& text);
    void chkSelectAxis_Click();
    void btnAxisZero_Click(int index);
    // Rows the panel works with: 6 with no bus chosen, else MaxFeedbackAxes within 0 to 8.
    int rowCount() const;
    // MaxFeedbackAxes within 0 to 8, and MaxAxes the same.
    int feedbackAxes() const;
    int motorAxes() const;

    QLabel* Label2 = nullptr;
    QVector<QCheckBox*> chkSelectAxis;
    QVector<QLabel*> Label1;
    QVector<QGroupBox*> framAxisPos;
    QVector<QPushButton*> btnAxisZero;
    QVector<QLabel*> numAxisPos;
    QVector<QLabel*> lblPos;

    bool m_Initialized = false;
    // Rows that have shown a position read from the controller; the others show none.
    std::array<bool, MaxRows> m_positionShown{};
    int m_nextRow = 0; // where the next poll starts when a slow line cut the last one short
};
