#pragma once
// Test configurations for the engine: building the text, loading it into the global
// configuration, and reading every device's result back.

#include <QString>
#include <QVector>

struct Cfg_device {
    quint64 imei;
    QString pin;
};

// One server block of a configuration text.
QString cfg_server(const QString& address, quint16 port, const QVector<Cfg_device>& devices);
// `count` devices with consecutive IMEIs from `first`, all with the same PIN.
QVector<Cfg_device> cfg_devices(quint64 first, int count, const QString& pin = "1234");
// Replaces the global configuration (options reset first); false with a reason on failure.
bool load_cfg(const QString& text, QString* error = nullptr);

struct Device_result {
    quint64 imei;
    bool succeeded;
    QString error_text;
};
// Every device of the global configuration, in table order.
QVector<Device_result> device_results();

// Sends the log to a file of its own for the test process; returns its path.
QString use_test_log(const QString& dir);
// The log written so far.
QString read_test_log();
