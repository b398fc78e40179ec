#pragma once

#include "library/link/NumberText.h"

#include <QString>

#include <array>
#include <bitset>

// Which values of each axis an editor read from the controller, and which the user set since.
// Only those may be written back: a query that went unanswered leaves the cache holding a guess
// (zero, or what it held before), and writing that guess would overwrite the controller's value.
//
// Values are numbered by the editor (0 to Fields - 1), axes run 1 to Axes (the axes the parameter
// cache holds); marks outside those ranges are ignored and never count as known.
class ReadMarks {
public:
    static constexpr int Axes = 12;
    static constexpr int Fields = 64;

    // Nothing read, nothing edited.
    void clear();
    // Forgets the user's edits, keeps what was read.
    void clearEdits();
    void markRead(int axis, int field);
    void markEdited(int axis, int field);
    // Neither read nor edited any more: the value held is a guess again.
    void forget(int axis, int field);
    // Takes both marks of every value of one axis from other.
    void copyAxis(const ReadMarks& other, int axis);
    bool isRead(int axis, int field) const;
    bool isEdited(int axis, int field) const;
    // Read or edited: the cache holds a value the controller may be given.
    bool isKnown(int axis, int field) const;

    // How a reply carries its number: decimal, hexadecimal digits (with or without a closing "H"),
    // or hexadecimal only when the reply holds an upper-case "H" and decimal otherwise.
    enum class Reply { Decimal, Hex, MarkedHex };
    // The number a query's reply carries, fitted to the field it goes into (NumberText::fit), or
    // false when the query went unanswered (a status other than 0, an empty or blank reply,
    // "No data" or "No Message", a reply without a number) or its number does not fit the field.
    static bool replyValue(int status, const QString& reply, Reply form, NumberText::Target target, double& value);
    // A flag reply ("1": a motor, motion done; "0": none, not done): its decimal number, a negative
    // one counting as 0. False, with flag untouched, when the query went unanswered (as replyValue).
    static bool replyFlag(int status, const QString& reply, int& flag);

private:
    static bool inRange(int axis, int field);

    using FieldSet = std::bitset<Fields>;
    std::array<FieldSet, Axes> m_read{};
    std::array<FieldSet, Axes> m_edited{};
};
