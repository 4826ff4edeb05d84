#pragma once
// One table of device lists for every way a list comes in (the core, the batch import, a
// paste into the device table): what is read, and what the configuration holds afterwards.

#include <QString>
#include <QStringList>
#include <QVector>

class Configuration;

struct Import_case {
    const char* name;
    QString text;
    int server;            // selected server row, -1: none
    QStringList added;     // "server imei pin notes", server counted from 1
    QList<int> duplicates; // their lines
    QStringList bad;       // "строка N: reason"
    QList<int> warnings;   // lines whose check digit is wrong
};

// Two servers: 1 = a.example:4000 with device 354000000000010 (PIN "10"), 2 = b.example:4001.
QString import_base_text();
QVector<Import_case> import_cases();
// Every device of cfg as "server imei pin notes", in table order.
QStringList device_lines(const Configuration& cfg);
