#pragma once
// Devices taken from a list made elsewhere (a spreadsheet's rows on the clipboard, a file):
// the rows are read and checked against the configuration first, so that the user sees
// what would be added, what is there already and what is wrong before anything changes.
//
// One row a line, its fields separated by tabs, semicolons or commas (each line its own):
//   IMEI | IMEI, PIN | IMEI, PIN, notes
//   server number, IMEI, PIN, notes
//   address, port, IMEI, notes           (the device table's own copy)
// A first line with no field of digits only is a header and is skipped. Empty lines are
// skipped. Lines are counted from 1, the header included.

#include "config/config.h"

#include <QString>
#include <QVector>

struct Import_row {
    int line = 0;
    unsigned short server = 0; // row in the server table
    uint64_t imei = 0;
    char pin[pin_size] = {};
    QString notes;
    bool check_digit_wrong = false; // accepted all the same, with a warning
};

struct Import_problem {
    int line = 0;
    QString text;
};

struct Device_import {
    QVector<Import_row> added;      // new devices, in the order of the list
    QVector<Import_row> duplicates; // in the configuration already, or earlier in the list
    QVector<Import_problem> bad;    // refused rows, with the reason
    QVector<Import_problem> warnings;
    bool header_skipped = false;
};

// No server selected: rows that do not name their server are refused.
constexpr int no_server = -1;

// Reads and checks the list against `cfg`; `server` is the row of the server that rows
// without one of their own go to. Changes nothing.
Device_import read_device_list(const QString& text, const Collection& cfg, int server);

// Adds every row of `import.added` to `cfg` in one step (one reset of the device table).
// The rows must have been read against this very configuration.
void add_imported_devices(Configuration& cfg, const Device_import& import);

// "строка N: reason", as the batch import writes it and the preview lists it.
QString import_problem_line(const Import_problem& p);
// "строка N: устройство IMEI уже есть ...", for a duplicate row.
QString import_duplicate_line(const Import_row& r);
// The Luhn check digit of the first 14 digits is the 15th.
bool imei_check_digit_ok(uint64_t imei);

void device_import_clear_translation();
