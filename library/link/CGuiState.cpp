#include "library/link/CGuiState.h"

#include "library/link/NumberText.h"
#include "platform/com/ClassRegistry.h"

#include <QWidget>

namespace {

const bool registered = platform::registerClass(QStringLiteral("KVL410ActiveX.CGuiState"),
                                                [](QWidget* parent) -> QObject* { return new CGuiState(parent); });

platform::DispatchTable buildTable()
{
    using T = CGuiState;
    using Args = QVariantList;
    platform::DispatchTable t(QStringLiteral("_CGuiState"));
    t.method<T>(QStringLiteral("DisableForms"), 0x60030006, [](T& s, Args& a) {
        s.DisableForms(NumberText::argI16(a.value(0)));
        return QVariant();
    });
    t.get<T>(QStringLiteral("FormState"), 0x68030005,
             [](T& s, Args& a) { return QVariant::fromValue(s.FormState(NumberText::argI16(a.value(0)))); });
    t.method<T>(QStringLiteral("EnableForms"), 0x60030007, [](T& s, Args& a) {
        s.EnableForms(NumberText::argI16(a.value(0)));
        return QVariant();
    });
    t.put<T>(QStringLiteral("MaxAxes"), 0x68030004, [](T& s, Args& a) {
        s.setMaxAxes(NumberText::argI16(a.value(0)));
        return QVariant();
    });
    t.get<T>(QStringLiteral("MaxAxes"), 0x68030004, [](T& s, Args&) { return QVariant::fromValue(s.MaxAxes()); });
    t.put<T>(QStringLiteral("MaxFeedbackAxes"), 0x68030003, [](T& s, Args& a) {
        s.setMaxFeedbackAxes(NumberText::argI16(a.value(0)));
        return QVariant();
    });
    t.get<T>(QStringLiteral("MaxFeedbackAxes"), 0x68030003,
             [](T& s, Args&) { return QVariant::fromValue(s.MaxFeedbackAxes()); });
    t.put<T>(QStringLiteral("CurrentAxis"), 0x68030002, [](T& s, Args& a) {
        s.setCurrentAxis(NumberText::argI16(a.value(0)));
        return QVariant();
    });
    t.get<T>(QStringLiteral("CurrentAxis"), 0x68030002,
             [](T& s, Args&) { return QVariant::fromValue(s.CurrentAxis()); });
    t.get<T>(QStringLiteral("MaxDigitalChannels"), 0x68030001,
             [](T& s, Args&) { return QVariant::fromValue(s.MaxDigitalChannels()); });
    t.put<T>(QStringLiteral("MaxDigitalChannels"), 0x68030001, [](T& s, Args& a) {
        s.setMaxDigitalChannels(NumberText::argI16(a.value(0)));
        return QVariant();
    });
    t.get<T>(QStringLiteral("MaxAnalogChannels"), 0x68030000,
             [](T& s, Args&) { return QVariant::fromValue(s.MaxAnalogChannels()); });
    t.put<T>(QStringLiteral("MaxAnalogChannels"), 0x68030000, [](T& s, Args& a) {
        s.setMaxAnalogChannels(NumberText::argI16(a.value(0)));
        return QVariant();
    });
    return t;
}

} // namespace

CGuiState::CGuiState(QObject* parent)
    : QObject(parent)
{
    Q_UNUSED(registered);
}

void CGuiState::DisableForms(short FormID)
{
    m_formMask = static_cast<short>(m_formMask | FormID);
    emit FormStatus(FormID, 0);
}

short CGuiState::FormState(short FormID) const
{
    return static_cast<short>(m_formMask & FormID);
}

void CGuiState::EnableForms(short FormID)
{
    m_formMask = static_cast<short>(m_formMask & ~FormID);
    emit FormStatus(FormID, 1);
}

void CGuiState::setCurrentAxis(short NewAxis)
{
    if (NewAxis == m_currentAxis)
        return;
    const short oldAxis = m_currentAxis;
    m_currentAxis = NewAxis;
    emit AxisChange(NewAxis, oldAxis);
}

const platform::DispatchTable* CGuiState::dispatchTable(const QString& interfaceName) const
{
    static const platform::DispatchTable table = buildTable();
    if (!interfaceName.isEmpty() && interfaceName != table.interfaceName())
        return nullptr;
    return &table;
}

QVector<QPair<int, QString>> CGuiState::eventTable() const
{
    return {{1, QStringLiteral("AxisChange")}, {2, QStringLiteral("FormStatus")}};
}
