#pragma once

#include "library/link/CGuiState.h"
#include "library/link/MotionParameterCache.h"
#include "platform/com/DispatchTable.h"

#include <QMap>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

// A parameter cache on a scripted link: records every line that reaches the controller and
// answers queries from a table. Late-bound like the communication control ("IMotion").
class FakeLink : public QObject, public platform::Dispatchable, public MotionParameterCache {
    Q_OBJECT
public:
    enum class Mode {
        Open,   // lines are sent; a query without a scripted reply gets no answer (-1)
        Closed, // nothing is sent: -1, the reply text is left as it was
        Demo,   // no bus: nothing is sent, 0, every query answers an empty text
    };

    Mode mode = Mode::Open;
    // Every line that reached the controller, carriage return included.
    QStringList sent;
    // Replies by query line (without the carriage return).
    QMap<QString, QString> replies;
    // Statuses by line (without the carriage return) that override the usual one.
    QMap<QString, int> statuses;
    // Runs after each exchange, as an event handler would between two commands.
    std::function<void(const QString& line)> afterExchange;

    int SendAscii(const QString& Command) override;
    int SendReadAscii(const QString& Command, QString& ReturnString) override;
    CGuiState* GetGuiStateObject() override;
    bool linkIsDemo() const override { return mode == Mode::Demo; }
    bool hasGuiState() const { return m_gui != nullptr; }

    const platform::DispatchTable* dispatchTable(const QString& interfaceName = QString()) const override;

private:
    int exchange(const QString& command, QString* reply);
    std::unique_ptr<CGuiState> m_gui;
};
