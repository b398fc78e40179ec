#include "platform/drivers/PciDriver.h"

#include "platform/drivers/SimulatedDevice.h"

#include <QByteArray>
#include <QFile>

#include <cstring>
#include <map>

namespace platform {

namespace {

std::map<int, SimulatedDevice*>& boards()
{
    static std::map<int, SimulatedDevice*> map;
    return map;
}

int g_targetBoard = 0;

SimulatedDevice* target()
{
    auto b = boards().find(g_targetBoard);
    return b == boards().end() ? nullptr : b->second;
}

short narrow(int code)
{
    return static_cast<short>(code);
}

// Reads one reply into a C string of the given capacity.
short readInto(SimulatedDevice* device, char* buffer, int capacity)
{
    if (!buffer || capacity <= 0)
        return -1;
    buffer[0] = '\0';
    if (capacity == 1)
        return -1;
    QByteArray bytes;
    const int code = device->reply(bytes, capacity - 1);
    if (code != 0)
        return narrow(code);
    if (bytes.isEmpty())
        return -1; // nothing came: the driver's time-out
    const int n = bytes.size() < capacity - 1 ? static_cast<int>(bytes.size()) : capacity - 1;
    std::memcpy(buffer, bytes.constData(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return 0;
}

QByteArray g_versionFirst = "kvl7100 PCI driver";
QByteArray g_versionSecond = "Version 1.0";
QList<int> g_samples;

// The open firmware file of the flashing calls.
struct Flash {
    QByteArray content;
    qsizetype next = 0;
    bool open = false;
    QStringList calls;
    QList<quint16> words;
};
Flash g_flash;

void copyText(const QByteArray& text, char* buffer, int capacity)
{
    if (!buffer || capacity <= 0)
        return;
    const int n = text.size() < capacity - 1 ? static_cast<int>(text.size()) : capacity - 1;
    std::memcpy(buffer, text.constData(), static_cast<size_t>(n));
    buffer[n] = '\0';
}

bool isSeparator(char c) { return c == ',' || c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

short flashCall(const QString& name)
{
    g_flash.calls.append(name);
    return target() ? 0 : -1;
}

} // namespace

short kvl_get_num_boards(int* count, int* second)
{
    if (count)
        *count = static_cast<int>(boards().size());
    if (second)
        *second = 0;
    return 0;
}

short kvl_set_target_board(short board)
{
    g_targetBoard = board;
    return target() ? 0 : -1;
}

short kvl_init_system()
{
    SimulatedDevice* device = target();
    return device ? narrow(device->reset()) : -1;
}

short kvl_open_system()
{
    return target() ? 0 : -1;
}

short kvl_send_ascii(const char* command)
{
    SimulatedDevice* device = target();
    if (!device || !command)
        return -1;
    return narrow(device->receive(QByteArray(command)));
}

short kvl_read_ascii(char* buffer, int capacity)
{
    SimulatedDevice* device = target();
    if (!device) {
        if (buffer && capacity > 0)
            buffer[0] = '\0';
        return -1;
    }
    return readInto(device, buffer, capacity);
}

short kvl_send_read_ascii(const char* command, char* buffer, int capacity)
{
    SimulatedDevice* device = target();
    if (buffer && capacity > 0)
        buffer[0] = '\0';
    if (!device || !command)
        return -1;
    const int code = device->receive(QByteArray(command));
    if (code != 0)
        return narrow(code);
    return readInto(device, buffer, capacity);
}

short kvl_get_version(char* first, char* second, int capacity)
{
    const bool found = target() != nullptr;
    copyText(found ? g_versionFirst : QByteArray(), first, capacity);
    copyText(found ? g_versionSecond : QByteArray(), second, capacity);
    return found ? 0 : -1;
}

short kvl_get_daq_data(int* data, int capacity, int* count, int* third)
{
    if (count)
        *count = 0;
    if (third)
        *third = 0;
    if (!target() || !data || capacity < 0)
        return -1;
    const int n = g_samples.size() < capacity ? static_cast<int>(g_samples.size()) : capacity;
    for (int i = 0; i < n; ++i)
        data[i] = g_samples.at(i);
    if (count)
        *count = n;
    return 0;
}

short kvl_open_flash_file(const char* path)
{
    g_flash.calls.append(QStringLiteral("kvl_open_flash_file"));
    g_flash.content.clear();
    g_flash.next = 0;
    g_flash.open = false;
    if (!target() || !path)
        return -1;
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    g_flash.content = file.readAll();
    g_flash.open = true;
    return 0;
}

short ReadFirstChar()
{
    g_flash.calls.append(QStringLiteral("ReadFirstChar"));
    if (!g_flash.open || g_flash.next >= g_flash.content.size())
        return -1;
    return static_cast<unsigned char>(g_flash.content.at(g_flash.next++));
}

short kvl_read_to_comma()
{
    g_flash.calls.append(QStringLiteral("kvl_read_to_comma"));
    if (!g_flash.open)
        return -1;
    const qsizetype comma = g_flash.content.indexOf(',', g_flash.next);
    g_flash.next = comma < 0 ? g_flash.content.size() : comma + 1;
    return 0;
}

short kvl_start_talker() { return flashCall(QStringLiteral("kvl_start_talker")); }

short kvl_flash_strobe(short flag)
{
    return flashCall(QStringLiteral("kvl_flash_strobe(%1)").arg(flag));
}

short kvl_flash_erase() { return flashCall(QStringLiteral("kvl_flash_erase")); }

short kvl_write_flash_word()
{
    g_flash.calls.append(QStringLiteral("kvl_write_flash_word"));
    if (!g_flash.open || !target())
        return -1;
    const QByteArray& text = g_flash.content;
    qsizetype i = g_flash.next;
    while (i < text.size() && isSeparator(text.at(i)))
        ++i;
    if (i >= text.size()) {
        g_flash.next = i;
        return -1;
    }
    qsizetype end = i;
    while (end < text.size() && !isSeparator(text.at(end)))
        ++end;
    g_flash.next = end;
    bool ok = false;
    const uint word = text.mid(i, end - i).toUInt(&ok, 16);
    if (!ok || word > 0xFFFF)
        return 1;
    g_flash.words.append(static_cast<quint16>(word));
    return 0;
}

short kvl_close_flash_file()
{
    g_flash.calls.append(QStringLiteral("kvl_close_flash_file"));
    const bool wasOpen = g_flash.open;
    g_flash.open = false;
    g_flash.content.clear();
    g_flash.next = 0;
    return wasOpen ? 0 : -1;
}

namespace drivers {

void installPciBoard(int board, SimulatedDevice* device)
{
    if (device)
        boards()[board] = device;
    else
        boards().erase(board);
}

void removeAllPciBoards()
{
    boards().clear();
    g_targetBoard = 0;
    g_versionFirst = "kvl7100 PCI driver";
    g_versionSecond = "Version 1.0";
    g_samples.clear();
    g_flash = Flash{};
}

SimulatedDevice* pciBoard(int board)
{
    auto b = boards().find(board);
    return b == boards().end() ? nullptr : b->second;
}

int targetPciBoard() { return g_targetBoard; }

void setPciVersion(const QByteArray& first, const QByteArray& second)
{
    g_versionFirst = first;
    g_versionSecond = second;
}

void setPciGatheredData(const QList<int>& samples) { g_samples = samples; }

QStringList pciFlashCalls() { return g_flash.calls; }

QList<quint16> pciFlashWords() { return g_flash.words; }

void resetPciFlash() { g_flash = Flash{}; }

} // namespace drivers

} // namespace platform
