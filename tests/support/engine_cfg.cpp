#include "support/engine_cfg.h"

#include "config/config.h"
#include "foundation/err.h"

#include <QFile>

QString cfg_server(const QString& address, quint16 port, const QVector<Cfg_device>& devices) {
    QString text = QStringLiteral("server(address \"%1\", port %2)\n{\n").arg(address).arg(port);
    for (const Cfg_device& d : devices)
        text += QStringLiteral(" device(imei %1, pin \"%2\")\n").arg(d.imei).arg(d.pin);
    text += QStringLiteral("}\n");
    return text;
}

QVector<Cfg_device> cfg_devices(quint64 first, int count, const QString& pin) {
    QVector<Cfg_device> v;
    for (int i = 0; i < count; ++i)
        v.append(Cfg_device{first + quint64(i), pin});
    return v;
}

bool load_cfg(const QString& text, QString* error) {
    try {
        clear_cfg();
        parse_cfg(text);
        return true;
    } catch (const std::exception& e) {
        if (error)
            *error = is_err(e) ? static_cast<const Err&>(e).message : QString(e.what());
        return false;
    }
}

QVector<Device_result> device_results() {
    QVector<Device_result> out;
    const Devices& devices = configuration.devices;
    for (unsigned i = 0; i < devices.count; ++i) {
        const Device* d = devices.rows[i].device;
        out.append(Device_result{d->imei, (d->run_flags & Device::succeeded) != 0, d->error_text});
    }
    return out;
}

static QByteArray test_log_path;

QString use_test_log(const QString& dir) {
    test_log_path = QFile::encodeName(dir + QStringLiteral("/engine_test.log"));
    QFile::remove(QFile::decodeName(test_log_path));
    log_file_name = test_log_path.constData();
    return QFile::decodeName(test_log_path);
}

QString read_test_log() {
    QFile f(QFile::decodeName(test_log_path));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}
