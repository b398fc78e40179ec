#pragma once

// The maker's PCI board library, as the control library and the utility call it. Reply buffers
// carry their capacity. With no board installed no device is found: the board count is 0 and
// every other call returns -1.

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace platform {

class SimulatedDevice;

short kvl_get_num_boards(int* count, int* second);
short kvl_set_target_board(short board);
short kvl_init_system();
short kvl_open_system();
short kvl_send_ascii(const char* command);
// Fills buffer with at most capacity - 1 bytes and a terminating NUL.
short kvl_read_ascii(char* buffer, int capacity);
short kvl_send_read_ascii(const char* command, char* buffer, int capacity);

// The utility's calls. Both version texts are filled as NUL-terminated strings of at most
// capacity - 1 bytes.
short kvl_get_version(char* first, char* second, int capacity);
// Hands at most capacity gathered samples into data and their number into *count.
short kvl_get_daq_data(int* data, int capacity, int* count, int* third);
// Flash programming from a firmware file: after the header, and after the first comma, the file
// holds hexadecimal words separated by commas (blanks and line ends between them are passed over).
short kvl_open_flash_file(const char* path);
// The code of the next byte of the open file, -1 at its end or with no file open.
short ReadFirstChar();
short kvl_read_to_comma();
short kvl_start_talker();
short kvl_flash_strobe(short flag);
short kvl_flash_erase();
// Writes the next word: 0 written, -1 nothing left, 1 a field that is no hexadecimal word.
short kvl_write_flash_word();
short kvl_close_flash_file();

namespace drivers {
// Test seam: puts a device in board slot `board` (nullptr removes it). The caller keeps ownership.
void installPciBoard(int board, SimulatedDevice* device);
// Removes every board and puts the target board, version texts, gathered data and flash record
// back to their start.
void removeAllPciBoards();
// The device in board slot `board`, or nullptr.
SimulatedDevice* pciBoard(int board);
int targetPciBoard();
// Test seams for the utility's calls.
void setPciVersion(const QByteArray& first, const QByteArray& second);
void setPciGatheredData(const QList<int>& samples);
// The flashing calls made since the last reset, by name ("kvl_flash_strobe(0)" with its flag), and
// the words written.
QStringList pciFlashCalls();
QList<quint16> pciFlashWords();
void resetPciFlash();
} // namespace drivers

} // namespace platform
