#include "library/link/ReadMarks.h"

#include "library/link/NumberText.h"

bool ReadMarks::inRange(int axis, int field)
{
    return axis >= 1 && axis <= Axes && field >= 0 && field < Fields;
}

void ReadMarks::clear()
{
    m_read.fill(FieldSet());
    m_edited.fill(FieldSet());
}

void ReadMarks::clearEdits()
{
    m_edited.fill(FieldSet());
}

void ReadMarks::markRead(int axis, int field)
{
    if (inRange(axis, field))
        m_read[axis - 1].set(field);
}

void ReadMarks::markEdited(int axis, int field)
{
    if (inRange(axis, field))
        m_edited[axis - 1].set(field);
}

void ReadMarks::forget(int axis, int field)
{
    if (!inRange(axis, field))
        return;
    m_read[axis - 1].reset(field);
    m_edited[axis - 1].reset(field);
}

void ReadMarks::copyAxis(const ReadMarks& other, int axis)
{
    if (axis < 1 || axis > Axes)
        return;
    m_read[axis - 1] = other.m_read[axis - 1];
    m_edited[axis - 1] = other.m_edited[axis - 1];
}

bool ReadMarks::isRead(int axis, int field) const
{
    return inRange(axis, field) && m_read[axis - 1].test(field);
}

bool ReadMarks::isEdited(int axis, int field) const
{
    return inRange(axis, field) && m_edited[axis - 1].test(field);
}

bool ReadMarks::isKnown(int axis, int field) const
{
    return isRead(axis, field) || isEdited(axis, field);
}

bool ReadMarks::replyValue(int status, const QString& reply, Reply form, NumberText::Target target, double& value)
{
    if (status != 0)
        return false;
    // The controller's words for "nothing to report" hold hexadecimal letters, so they are
    // recognised by name before the digits are looked for.
    if (reply.contains(QLatin1String("No data")) || reply.contains(QLatin1String("No Message")))
        return false;
    QString text = reply;
    if (form == Reply::Hex)
        text.prepend(QLatin1String("&H"));
    else if (form == Reply::MarkedHex)
        NumberText::markHex(text);
    const std::optional<double> number = NumberText::replyNumber(text, target);
    if (!number)
        return false;
    value = *number;
    return true;
}

bool ReadMarks::replyFlag(int status, const QString& reply, int& flag)
{
    double value = 0;
    if (!replyValue(status, reply, Reply::Decimal, NumberText::Target::I32, value))
        return false;
    flag = value > 0 ? int(value) : 0;
    return true;
}
