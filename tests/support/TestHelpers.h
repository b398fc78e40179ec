#pragma once

#include "platform/RuntimeError.h"

#include <QLocale>
#include <functional>

// The number of the run-time error f raises, or 0 when it raises none.
inline int errorNumber(const std::function<void()>& f)
{
    try {
        f();
    } catch (const platform::RuntimeError& e) {
        return e.Number;
    }
    return 0;
}

// Makes `locale` the user's locale while it lives.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(m_saved); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

private:
    QLocale m_saved;
};

// The user's locale has a decimal point (or a decimal comma) while it lives: for tests whose
// expected box texts are written with one, whatever locale the machine runs them under.
class PointLocale : public LocaleScope {
public:
    PointLocale() : LocaleScope(QLocale(QLocale::English, QLocale::UnitedStates)) {}
};

class CommaLocale : public LocaleScope {
public:
    CommaLocale() : LocaleScope(QLocale(QLocale::German, QLocale::Germany)) {}
};
