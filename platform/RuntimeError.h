#pragma once

#include <QString>
#include <exception>

namespace platform {

// A run-time error as the original desktop platform raises it: a number, a description and the
// name of the component that raised it. Link members hand these to KVLComm::HandleError.
class RuntimeError : public std::exception {
public:
    RuntimeError() = default;
    RuntimeError(int number, QString description, QString source);

    // The platform's own errors, with their usual descriptions.
    static RuntimeError standard(int number, const QString& source = QStringLiteral("KVL410ActiveX"));
    static QString standardDescription(int number);

    enum : int {
        Overflow = 6,
        SubscriptOutOfRange = 9,
        TypeMismatch = 13,
        ObjectNotSet = 91,
        InvalidPropertyValue = 380,
        NotSupported = 438,
        ArgumentNotOptional = 449,
        BreakInCommunications = 1001,
        InvalidPort = 8002,
        PortAlreadyOpen = 8005,
        PortNotOpen = 8018,
    };

    int Number = 0;
    QString Description;
    QString Source;

    // Empties the error, as clearing the error object does.
    void Clear();
    bool isSet() const { return Number != 0; }
    // A failure of the link itself: a break in communications or a serial port that failed.
    bool isLinkFailure() const;

    const char* what() const noexcept override;

private:
    mutable QByteArray m_what;
};

} // namespace platform
