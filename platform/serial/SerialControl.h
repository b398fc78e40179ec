#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;

namespace platform {

// The serial-port control of the original desktop platform over Qt Serial Port. Port number N
// opens the device named by $KVL_COM<N> when set, else /dev/ttyS<N-1>. Data is 8-bit: Output and
// Input carry bytes, unchanged.
//
// Errors are raised as platform::RuntimeError: 8002 for a port that does not exist (or number < 1),
// 8005 for a port in use (or CommPort set while open), 8018 for Output, Input or waitForInput on
// a closed port, 380 for a property value that is refused (settings that cannot be parsed, or that
// the device cannot take).
//
// A device that vanishes while open (its driver reports a read, write or resource error) closes
// the port; the next Output or Input raises 8018.
class SerialControl : public QObject {
    Q_OBJECT
public:
    // CommEvent codes.
    enum : short { comEvSend = 1, comEvReceive = 2, comEvCTS = 3, comEvDSR = 4, comEvCD = 5,
                   comEvRing = 6, comEvEOF = 7, comEventBreak = 1001, comEventFrame = 1004,
                   comEventOverrun = 1006, comEventRxOver = 1008, comEventRxParity = 1009 };
    // Handshaking values.
    enum : short { comNone = 0, comXOnXoff = 1, comRTS = 2, comRTSXOnXOff = 3 };

    explicit SerialControl(QObject* parent = nullptr);
    ~SerialControl() override;

    short CommPort() const;
    void setCommPort(short port);

    // "baud,parity,data,stop", for example "19200,n,8,1". Applied at once when the port is open.
    QString Settings() const;
    void setSettings(const QString& settings);
    // Whether a port can be opened with this settings text: it is well formed and a driver can
    // frame it. A closed port takes 4 data bits, but opening it with them fails.
    static bool framingUsable(const QString& settings);

    // Characters a millisecond of the line carries at the set baud, 10 bit-times a character.
    double charactersPerMs() const;

    bool PortOpen() const;
    void setPortOpen(bool open);

    // Writes the bytes and hands them to the device. While the device's buffer is full it waits on
    // the port until no more than OutBufferSize bytes wait with us; the rest goes out as the
    // device takes it. 8018 when the port is closed, the device has gone, or it has not taken them
    // within the time the line needs for them and a full device buffer, plus 5 s.
    void setOutput(const QByteArray& bytes);
    // Takes up to InputLen bytes (all that are waiting when InputLen is 0) from the receive buffer.
    QByteArray Input();

    // Bytes received and not yet taken; 0 when the port is closed.
    int InBufferCount() const;
    void setInBufferCount(int count); // 0 discards what is waiting; any other value is refused
    // Bytes written and not yet handed to the device; 0 when the port is closed.
    int OutBufferCount() const;
    void setOutBufferCount(int count); // 0 discards unsent output; any other value is refused

    short CommEvent() const;

    short InputLen() const;
    void setInputLen(short len);
    short Handshaking() const;
    void setHandshaking(short mode);   // comRTSXOnXOff runs as RTS/CTS: the driver offers one or the other
    short RThreshold() const;          // receive events are raised when this is at least 1
    void setRThreshold(short bytes);
    bool DTREnable() const;
    void setDTREnable(bool on);
    bool RTSEnable() const;
    void setRTSEnable(bool on);
    // Kept for hosts that set and read it; the buffer underneath grows as needed, so nothing
    // received is dropped when more than this arrives.
    int InBufferSize() const;
    void setInBufferSize(int bytes);
    // The most that Output leaves waiting with us for the device to take (512 by default).
    int OutBufferSize() const;
    void setOutBufferSize(int bytes);

    // Waits up to msecs for input to arrive (true when bytes are waiting), blocking on the port.
    // Raises no OnComm for the bytes it waits for: a reader that waits takes them itself. Returns
    // false early when the device vanishes; 8018 when the port is closed.
    bool waitForInput(int msecs);

    // The device path a port number opens (empty for a number below 1).
    static QString devicePath(short port);

signals:
    // Something happened on the port; CommEvent() tells what.
    void OnComm();

private:
    struct Impl;
    Impl* d;
};

} // namespace platform
