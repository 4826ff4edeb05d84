#include "config/collection.h"

#include "config/config_codes.h"
#include "config/config_text.h"
#include "foundation/err.h"

#include <algorithm>
#include <new>

static Tr errfmt_server_unreachable(
    "proto", "Сервер недоступен (после %1 неудачных попыток подряд более не пытаемся "
             "установить соединение).");

void collection_clear_translation() {
    errfmt_server_unreachable.clear();
}

// ---------------------------------------------------------------------------------------------
// Servers and devices

template <> void S_stack<Device>::dispose() noexcept {
    while (Device* d = pop())
        delete d;
}

template <> void S_stack<Server>::dispose() noexcept {
    while (Server* s = pop()) {
        s->pending_devices.dispose();
        delete s;
    }
}

// Every result line of a run starts with one: two digits a step, straight into the string.
void append_imei(QString& out, uint64_t imei) {
    static constexpr char pairs[] = "00010203040506070809101112131415161718192021222324"
                                    "25262728293031323334353637383940414243444546474849"
                                    "50515253545556575859606162636465666768697071727374"
                                    "75767778798081828384858687888990919293949596979899";
    char digits[20];
    char* p = digits + 20;
    while (imei >= 10) {
        const unsigned pair = unsigned(imei % 100);
        imei /= 100;
        p -= 2;
        p[0] = pairs[2 * pair];
        p[1] = pairs[2 * pair + 1];
    }
    if (imei != 0 || p == digits + 20)
        *--p = char('0' + imei);
    while (p > digits + 5)
        *--p = '0';
    const int n = int(digits + 20 - p), at = out.size();
    out.resize(at + n);
    QChar* q = out.data() + at;
    for (int i = 0; i < n; ++i)
        q[i] = QLatin1Char(p[i]);
}

QString imei_to_str(uint64_t imei) {
    QString s;
    append_imei(s, imei);
    return s;
}

const QString& Server::port_str() {
    if (port_text.isEmpty())
        port_text = QString::number(port);
    return port_text;
}

unsigned Server::stop_all_devices(void (*ended)(Device&, void*), void* context) {
    unsigned n = 0;
    while (Device* d = pending_devices.pop()) {
        if (n < unsigned(connection_attempts))
            d->error_text = connection_errors[n];
        else
            d->error_text = errfmt_server_unreachable.tr().arg(connection_attempts);
        ++n;
        if (ended)
            ended(*d, context);
    }
    pending_count = 0;
    return n;
}

const QString& Device::imei_str() {
    if (imei_text.isEmpty())
        imei_text = imei_to_str(imei);
    return imei_text;
}

// ---------------------------------------------------------------------------------------------
// Table models

const Column_runs ranges_of_bits[8] = {
    {0, {{0, 0}, {0, 0}}}, // none
    {1, {{0, 0}, {0, 0}}}, // 1
    {1, {{1, 1}, {0, 0}}}, // 2
    {1, {{0, 1}, {0, 0}}}, // 3
    {1, {{2, 2}, {0, 0}}}, // 4
    {2, {{0, 0}, {2, 2}}}, // 5
    {1, {{1, 2}, {0, 0}}}, // 6
    {1, {{0, 2}, {0, 0}}}, // 7
};

static bool server_less(const Server& s, const QString& address, unsigned short port) {
    const int c = QString::compare(s.address, address, Qt::CaseSensitive);
    return c < 0 || (c == 0 && s.port < port);
}

Servers::Servers(QObject* parent) : QAbstractTableModel(parent) {}

Servers::~Servers() {
    delete[] rows;
}

int Servers::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count;
}

int Servers::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : column_count;
}

unsigned short Servers::find(const QString& address, unsigned short port, bool& found) const {
    unsigned lo = 0, hi = count;
    while (lo < hi) {
        const unsigned mid = (lo + hi) / 2;
        if (server_less(*rows[mid].server, address, port))
            lo = mid + 1;
        else
            hi = mid;
    }
    found = lo < count && rows[lo].server->port == port && rows[lo].server->address == address;
    return static_cast<unsigned short>(lo);
}

Devices::Devices(Collection* collection, QObject* parent)
    : QAbstractTableModel(parent), collection(collection) {}

Devices::~Devices() {
    delete[] rows;
}

int Devices::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(count);
}

int Devices::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3 + value_count;
}

unsigned Devices::find(unsigned short server, uint64_t imei, bool& found) const {
    unsigned lo = 0, hi = count;
    while (lo < hi) {
        const unsigned mid = lo + (hi - lo) / 2;
        const Device_row& r = rows[mid];
        if (r.server < server || (r.server == server && r.device->imei < imei))
            lo = mid + 1;
        else
            hi = mid;
    }
    found = lo < count && rows[lo].server == server && rows[lo].device->imei == imei;
    return lo;
}

// ---------------------------------------------------------------------------------------------
// Collection

Collection::Collection() : devices(this) {}

Collection::~Collection() = default;

void Collection::replace_tables(Server_row* server_rows, unsigned short server_count,
                                Device_row* device_rows, unsigned device_count,
                                bool owns_objects) {
    Server_row* const old_servers = servers.rows;
    const unsigned old_server_count = servers.count;
    Device_row* const old_devices = devices.rows;
    const unsigned old_device_count = devices.count;
    // The old objects are freed only after the views were told.
    servers.beginResetModel();
    devices.beginResetModel();
    servers.rows = server_rows;
    servers.count = server_count;
    devices.rows = device_rows;
    devices.count = device_count;
    devices.value_texts.clear();
    devices.endResetModel();
    servers.endResetModel();
    if (owns_objects) {
        for (unsigned i = 0; i < old_device_count; ++i)
            delete old_devices[i].device;
        for (unsigned i = 0; i < old_server_count; ++i)
            delete old_servers[i].server;
    }
    delete[] old_devices;
    delete[] old_servers;
}

void Collection::select_success(const Collection& source) {
    select(source, true);
}

void Collection::select_failure(const Collection& source) {
    select(source, false);
}

void Collection::select(const Collection& source, bool success) {
    const Devices& src = source.devices;
    auto chosen = [success](const Device* d) {
        return ((d->run_flags & Device::succeeded) != 0) == success;
    };
    // Device rows are grouped by server, so a server is counted when its first chosen
    // device is met.
    unsigned n_devices = 0;
    unsigned n_servers = 0;
    int last_server = -1;
    for (unsigned i = 0; i < src.count; ++i) {
        if (!chosen(src.rows[i].device))
            continue;
        ++n_devices;
        if (src.rows[i].server != last_server) {
            last_server = src.rows[i].server;
            ++n_servers;
        }
    }
    Server_row* server_rows = nullptr;
    Device_row* device_rows = nullptr;
    if (n_servers) {
        server_rows = new (std::nothrow) Server_row[n_servers];
        if (!server_rows)
            throw Debug(success ? code_select_success_servers : code_select_failure_servers);
        device_rows = new (std::nothrow) Device_row[n_devices];
        if (!device_rows) {
            delete[] server_rows;
            throw Debug(success ? code_select_success_devices : code_select_failure_devices);
        }
    }
    unsigned d = 0;
    int s = -1;
    last_server = -1;
    for (unsigned i = 0; i < src.count; ++i) {
        const Device_row& r = src.rows[i];
        if (!chosen(r.device))
            continue;
        if (r.server != last_server) {
            last_server = r.server;
            ++s;
            server_rows[s].server = source.servers.rows[r.server].server;
        }
        device_rows[d].device = r.device;
        device_rows[d].server = static_cast<unsigned short>(s);
        ++d;
    }
    replace_tables(server_rows, static_cast<unsigned short>(n_servers), device_rows, n_devices);
}

QString Collection::server_description(unsigned short index) const {
    if (index >= servers.count) {
        log_debug(code_server_description_row);
        return QString();
    }
    Server* s = servers.rows[index].server;
    QString out;
    append_tsv_escaped(out, s->address);
    out += QLatin1Char('\t');
    out += s->port_str();
    out += QLatin1Char('\t');
    append_tsv_escaped(out, s->notes);
    return out;
}

QString Collection::device_description(unsigned index) const {
    if (index >= devices.count) {
        log_debug(code_device_description_row);
        return QString();
    }
    const Device_row& r = devices.rows[index];
    if (r.server >= servers.count) {
        log_debug(code_description_server);
        return QString();
    }
    Server* s = servers.rows[r.server].server;
    QString out;
    append_tsv_escaped(out, s->address);
    out += QLatin1Char('\t');
    out += s->port_str();
    out += QLatin1Char('\t');
    out += r.device->imei_str();
    const int n = devices.value_count;
    const int notes_after = std::min<int>(std::max(devices.notes_position - 2, 0), n);
    const int base = int(index) * n;
    for (int v = 0; v <= n; ++v) {
        if (v == notes_after) {
            out += QLatin1Char('\t');
            append_tsv_escaped(out, r.device->notes);
        }
        if (v == n)
            break;
        out += QLatin1Char('\t');
        // Error texts among the values may hold line breaks: escaped like the notes, so that
        // one device stays one line of the copy.
        if (base + v < devices.value_texts.size())
            append_tsv_escaped(out, devices.value_texts[base + v]);
    }
    return out;
}
