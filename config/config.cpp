#include "config/config.h"

#include "foundation/err.h"

#include <algorithm>
#include <cstring>
#include <new>

// ---------------------------------------------------------------------------------------------
// Options

unsigned long long simultaneously = 100;
int connect_timeout = 10000;
int disconnect_timeout = 3000;
int link_timeout = 3000;
int auth_timeout = 10000;
int upfile_timeout = 900000;
int getparam_timeout = 10000;
int cmd_timeout = 10000;
int enumerate_timeout = 5000;
int ping_answer_timeout = 2000;
int reconnect_delay = 1000;

bool simultaneously_defined = false;
bool connect_timeout_defined = false;
bool disconnect_timeout_defined = false;
bool link_timeout_defined = false;
bool auth_timeout_defined = false;
bool upfile_timeout_defined = false;
bool getparam_timeout_defined = false;
bool cmd_timeout_defined = false;
bool enumerate_timeout_defined = false;
bool ping_answer_timeout_defined = false;
bool reconnect_delay_defined = false;

constexpr unsigned max_timeout = 86400000;

const Option_info option_info[option_count] = {
    {"simultaneously", 100, 65535, &simultaneously_defined},
    {"connect_timeout", 10000, max_timeout, &connect_timeout_defined},
    {"disconnect_timeout", 3000, max_timeout, &disconnect_timeout_defined},
    {"link_timeout", 3000, max_timeout, &link_timeout_defined},
    {"auth_timeout", 10000, max_timeout, &auth_timeout_defined},
    {"upfile_timeout", 900000, max_timeout, &upfile_timeout_defined},
    {"getparam_timeout", 10000, max_timeout, &getparam_timeout_defined},
    {"cmd_timeout", 10000, max_timeout, &cmd_timeout_defined},
    {"enumerate_timeout", 5000, max_timeout, &enumerate_timeout_defined},
    {"ping_answer_timeout", 2000, max_timeout, &ping_answer_timeout_defined},
    {"reconnect_delay", 1000, max_timeout, &reconnect_delay_defined},
};

// The time-outs in the order of option_info, after simultaneously.
static int* const timeout_values[option_count - 1] = {
    &connect_timeout,     &disconnect_timeout, &link_timeout, &auth_timeout,
    &upfile_timeout,      &getparam_timeout,   &cmd_timeout,  &enumerate_timeout,
    &ping_answer_timeout, &reconnect_delay,
};

unsigned get_option(int index) {
    if (index == opt_simultaneously)
        return unsigned(simultaneously);
    if (index > 0 && index < option_count)
        return unsigned(*timeout_values[index - 1]);
    throw Debug(0x1A10);
}

void set_option(int index, unsigned value) {
    if (index == opt_simultaneously)
        simultaneously = value;
    else if (index > 0 && index < option_count)
        *timeout_values[index - 1] = int(value);
    else
        throw Debug(0x1A11);
}

void reset_options() {
    for (int i = 0; i < option_count; ++i) {
        set_option(i, option_info[i].default_value);
        *option_info[i].defined = false;
    }
}

const char default_devfname[devfname_max + 1] = "FIRMWARE";
char devfname[devfname_max + 1] = "FIRMWARE";

// ---------------------------------------------------------------------------------------------
// Texts

static Tr errfmt_server_exists(
    "servers", "Сервер с адресом «%1» и номером порта %2 уже есть в текущей конфигурации.");
static Tr errfmt_address_control(
    "servers", "Адрес сервера содержит недопустимый символ с кодом 0x%1 (адрес не должен "
               "содержать управляющие символы).");
static Tr errtext_no_mem_server("servers", "Недостаточно памяти для нового сервера.");
static Tr errtext_no_mem_servers("servers", "Недостаточно памяти для новой таблицы серверов.");
static Tr
    errfmt_too_many_servers("servers",
                            "Слишком много серверов в конфигурации. Должно быть не более %1.");
static Tr errfmt_device_exists("devices",
                               "Устройство с IMEI=%1, подключенное через сервер с адресом «%2» и "
                               "номером порта %3, уже есть в текущей конфигурации.");
static Tr errtext_no_mem_device("devices", "Недостаточно памяти для нового устройства.");
static Tr errtext_no_mem_devices("devices", "Недостаточно памяти для новой таблицы устройств.");
static Tr
    errfmt_too_many_devices("devices",
                            "Слишком много устройств в конфигурации - должно быть не более %1.");
static Tr errfmt_server_unreachable(
    "proto", "Сервер недоступен (после %1 неудачных попыток подряд более не пытаемся "
             "установить соединение).");

void config_clear_translation() {
    errfmt_server_exists.clear();
    errfmt_address_control.clear();
    errtext_no_mem_server.clear();
    errtext_no_mem_servers.clear();
    errfmt_too_many_servers.clear();
    errfmt_device_exists.clear();
    errtext_no_mem_device.clear();
    errtext_no_mem_devices.clear();
    errfmt_too_many_devices.clear();
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

QString imei_to_str(uint64_t imei) {
    return QStringLiteral("%1").arg(qulonglong(imei), 15, 10, QLatin1Char('0'));
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
                                Device_row* device_rows, unsigned device_count) {
    servers.beginResetModel();
    devices.beginResetModel();
    Server_row* old_servers = servers.rows;
    Device_row* old_devices = devices.rows;
    servers.rows = server_rows;
    servers.count = server_count;
    devices.rows = device_rows;
    devices.count = device_count;
    devices.value_texts.clear();
    devices.value_brushes.clear();
    devices.endResetModel();
    servers.endResetModel();
    delete[] old_servers;
    delete[] old_devices;
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
            throw Debug(success ? 0x1A07 : 0x1A09);
        device_rows = new (std::nothrow) Device_row[n_devices];
        if (!device_rows) {
            delete[] server_rows;
            throw Debug(success ? 0x1A08 : 0x1A0A);
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
        log_debug(0x1A12);
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
        log_debug(0x1A13);
        return QString();
    }
    const Device_row& r = devices.rows[index];
    if (r.server >= servers.count) {
        log_debug(0x1A0B);
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

// ---------------------------------------------------------------------------------------------
// Configuration

Configuration configuration;

Configuration::~Configuration() {
    for (unsigned i = 0; i < devices.count; ++i)
        delete devices.rows[i].device;
    for (unsigned i = 0; i < servers.count; ++i)
        delete servers.rows[i].server;
}

void Configuration::set(Server_row* server_rows, unsigned short server_count,
                        Device_row* device_rows, unsigned device_count) {
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
    devices.value_brushes.clear();
    devices.endResetModel();
    servers.endResetModel();
    for (unsigned i = 0; i < old_device_count; ++i)
        delete old_devices[i].device;
    for (unsigned i = 0; i < old_server_count; ++i)
        delete old_servers[i].server;
    delete[] old_devices;
    delete[] old_servers;
}

void clear_cfg() {
    reset_options();
    std::memcpy(devfname, default_devfname, sizeof devfname);
    configuration.set(nullptr, 0, nullptr, 0);
}

// Renumbers the server column of device rows [first, last) by `delta` and announces it.
static void shift_device_servers(Devices& devices, unsigned first, unsigned last, int delta) {
    if (first >= last)
        return;
    for (unsigned i = first; i < last; ++i)
        devices.rows[i].server = static_cast<unsigned short>(devices.rows[i].server + delta);
    emit devices.dataChanged(devices.index(int(first), Devices::col_server),
                             devices.index(int(last - 1), Devices::col_server), {Qt::DisplayRole});
}

// First device row whose server index is at least `server`.
static unsigned first_device_of(const Devices& devices, unsigned short server) {
    unsigned lo = 0, hi = devices.count;
    while (lo < hi) {
        const unsigned mid = lo + (hi - lo) / 2;
        if (devices.rows[mid].server < server)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// The text reader refuses control characters in an address, so a configuration holding one
// could be saved but never loaded again.
static void check_address(const QString& address) {
    for (const QChar c : address) {
        const ushort u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
            throw Err(errfmt_address_control.tr().arg(
                QString::number(u, 16).rightJustified(2, QLatin1Char('0'))));
    }
}

// `grown` has room for one row more than the table; its rows go there around `row` at `pos`,
// and `grown` takes the place of the old array.
template <class Table, class Row>
void Configuration::insert_row(Table& table, Row* grown, unsigned pos, Row row) {
    std::move(table.rows, table.rows + pos, grown);
    grown[pos] = std::move(row);
    std::move(table.rows + pos, table.rows + table.count, grown + pos + 1);
    table.beginInsertRows(QModelIndex(), int(pos), int(pos));
    Row* old = table.rows;
    table.rows = grown;
    ++table.count;
    table.endInsertRows();
    delete[] old;
}

// Moves row `index` to just before row `pos`, both counted among the rows as they are.
template <class Table> void Configuration::move_row(Table& table, unsigned index, unsigned pos) {
    const unsigned to = pos > index ? pos - 1 : pos;
    table.beginMoveRows(QModelIndex(), int(index), int(index), QModelIndex(), int(pos));
    if (to > index)
        std::rotate(table.rows + index, table.rows + index + 1, table.rows + to + 1);
    else
        std::rotate(table.rows + to, table.rows + index, table.rows + index + 1);
    table.endMoveRows();
}

void Configuration::add_devices(const Device_row* sorted, unsigned n) {
    if (devices.count + n > max_devices)
        throw Err(errfmt_too_many_devices.tr().arg(max_devices));
    Device_row* merged = new Device_row[devices.count + n];
    std::merge(devices.rows, devices.rows + devices.count, sorted, sorted + n, merged,
               [](const Device_row& a, const Device_row& b) {
                   return a.server < b.server ||
                          (a.server == b.server && a.device->imei < b.device->imei);
               });
    devices.beginResetModel();
    Device_row* old = devices.rows;
    devices.rows = merged;
    devices.count += n;
    devices.endResetModel();
    delete[] old;
}

unsigned short Configuration::add_server(const Server_address& key, const QString& notes) {
    check_address(key.address);
    bool found;
    const unsigned short pos = servers.find(key.address, key.port, found);
    if (found)
        throw Err(errfmt_server_exists.tr().arg(key.address).arg(key.port));
    if (servers.count >= max_servers)
        throw Err(errfmt_too_many_servers.tr().arg(max_servers));
    Server* s = new (std::nothrow) Server;
    if (!s)
        throw Err(errtext_no_mem_server.tr());
    Server_row* rows = new (std::nothrow) Server_row[servers.count + 1];
    if (!rows) {
        delete s;
        throw Err(errtext_no_mem_servers.tr());
    }
    s->address = key.address;
    s->port = key.port;
    s->notes = notes;
    insert_row(servers, rows, pos, Server_row{s, QString()});
    shift_device_servers(devices, first_device_of(devices, pos), devices.count, +1);
    return pos;
}

void Configuration::delete_server(unsigned short index) {
    if (index >= servers.count)
        throw Debug(0x1A14);
    const unsigned first = first_device_of(devices, index);
    if (first < devices.count && devices.rows[first].server == index)
        throw Debug(0x1A15);
    Server* s = servers.rows[index].server;
    servers.beginRemoveRows(QModelIndex(), index, index);
    std::move(servers.rows + index + 1, servers.rows + servers.count, servers.rows + index);
    --servers.count;
    servers.rows[servers.count] = Server_row{};
    servers.endRemoveRows();
    shift_device_servers(devices, first, devices.count, -1);
    delete s;
}

unsigned short Configuration::change_server(unsigned short index, const Server_address& key,
                                            const QString& notes) {
    if (index >= servers.count)
        throw Debug(0x1A16);
    Server* s = servers.rows[index].server;
    const bool address_changed = s->address != key.address;
    const bool port_changed = s->port != key.port;
    const bool notes_changed = s->notes != notes;
    if (!address_changed && !port_changed) {
        if (notes_changed) {
            s->notes = notes;
            servers.invalidate_cell(index, Servers::col_notes);
        }
        return index;
    }
    check_address(key.address);
    bool found;
    const unsigned short pos = servers.find(key.address, key.port, found);
    if (found)
        throw Err(errfmt_server_exists.tr().arg(key.address).arg(key.port));

    s->address = key.address;
    s->port = key.port;
    s->notes = notes;
    s->port_text.clear();
    servers.rows[index].cache.clear();
    // `pos` is the insertion point among the rows as they are, the entry still at `index`.
    const unsigned short to = pos > index ? pos - 1 : pos;
    if (to != index) {
        // The server's devices move as one block to where the devices of row `to` will be.
        const unsigned dev_first = first_device_of(devices, index);
        const unsigned dev_last = first_device_of(devices, index + 1);
        move_row(servers, index, pos);

        if (to > index) {
            // Servers index+1..to shift up by one; their devices come before the block.
            const unsigned others_last = first_device_of(devices, to + 1);
            if (dev_first < dev_last && dev_last < others_last) {
                devices.beginMoveRows(QModelIndex(), int(dev_first), int(dev_last - 1),
                                      QModelIndex(), int(others_last));
                std::rotate(devices.rows + dev_first, devices.rows + dev_last,
                            devices.rows + others_last);
                devices.endMoveRows();
            }
            const unsigned block = dev_last - dev_first;
            for (unsigned i = dev_first; i < others_last - block; ++i)
                --devices.rows[i].server;
            for (unsigned i = others_last - block; i < others_last; ++i)
                devices.rows[i].server = to;
            if (dev_first < others_last)
                emit devices.dataChanged(devices.index(int(dev_first), Devices::col_server),
                                         devices.index(int(others_last - 1), Devices::col_server),
                                         {Qt::DisplayRole});
        } else {
            // Servers to..index-1 shift down by one; their devices come after the block.
            const unsigned others_first = first_device_of(devices, to);
            if (dev_first < dev_last && others_first < dev_first) {
                devices.beginMoveRows(QModelIndex(), int(dev_first), int(dev_last - 1),
                                      QModelIndex(), int(others_first));
                std::rotate(devices.rows + others_first, devices.rows + dev_first,
                            devices.rows + dev_last);
                devices.endMoveRows();
            }
            const unsigned block = dev_last - dev_first;
            for (unsigned i = others_first; i < others_first + block; ++i)
                devices.rows[i].server = to;
            for (unsigned i = others_first + block; i < dev_last; ++i)
                ++devices.rows[i].server;
            if (others_first < dev_last)
                emit devices.dataChanged(devices.index(int(others_first), Devices::col_server),
                                         devices.index(int(dev_last - 1), Devices::col_server),
                                         {Qt::DisplayRole});
        }
    }
    servers.invalidate_cells(to, (address_changed ? 1u : 0u) | (port_changed ? 2u : 0u) |
                                     (notes_changed ? 4u : 0u));
    return to;
}

unsigned Configuration::add_device(const Device_address& key, const char pin[pin_size],
                                   const QString& notes) {
    if (key.server >= servers.count)
        throw Debug(0x1A17);
    bool found;
    const unsigned pos = devices.find(key.server, key.imei, found);
    if (found) {
        Server* s = servers.rows[key.server].server;
        throw Err(errfmt_device_exists.tr().arg(imei_to_str(key.imei), s->address).arg(s->port));
    }
    if (devices.count >= max_devices)
        throw Err(errfmt_too_many_devices.tr().arg(max_devices));
    Device* d = new (std::nothrow) Device;
    if (!d)
        throw Err(errtext_no_mem_device.tr());
    Device_row* rows = new (std::nothrow) Device_row[devices.count + 1];
    if (!rows) {
        delete d;
        throw Err(errtext_no_mem_devices.tr());
    }
    d->imei = key.imei;
    std::memcpy(d->pin, pin, pin_size);
    d->notes = notes;
    insert_row(devices, rows, pos, Device_row{d, key.server});
    return pos;
}

void Configuration::delete_device(unsigned index) {
    if (index >= devices.count)
        throw Debug(0x1A18);
    Device* d = devices.rows[index].device;
    devices.beginRemoveRows(QModelIndex(), int(index), int(index));
    std::copy(devices.rows + index + 1, devices.rows + devices.count, devices.rows + index);
    --devices.count;
    devices.endRemoveRows();
    delete d;
}

unsigned Configuration::change_device(unsigned index, const Device_address& key,
                                      const char pin[pin_size], const QString& notes) {
    if (index >= devices.count || key.server >= servers.count)
        throw Debug(0x1A19);
    Device_row& row = devices.rows[index];
    Device* d = row.device;
    const bool server_changed = row.server != key.server;
    const bool imei_changed = d->imei != key.imei;
    const bool notes_changed = d->notes != notes;
    if (!server_changed && !imei_changed) {
        std::memcpy(d->pin, pin, pin_size);
        if (notes_changed) {
            d->notes = notes;
            devices.invalidate_cell(int(index), devices.notes_position);
        }
        return index;
    }
    bool found;
    const unsigned pos = devices.find(key.server, key.imei, found);
    if (found) {
        Server* s = servers.rows[key.server].server;
        throw Err(errfmt_device_exists.tr().arg(imei_to_str(key.imei), s->address).arg(s->port));
    }
    d->imei = key.imei;
    d->imei_text.clear();
    std::memcpy(d->pin, pin, pin_size);
    d->notes = notes;
    row.server = key.server;
    const unsigned to = pos > index ? pos - 1 : pos;
    if (to != index)
        move_row(devices, index, pos);
    devices.invalidate_cells(int(to), (server_changed ? 1u : 0u) | (imei_changed ? 2u : 0u) |
                                          (notes_changed ? 4u : 0u));
    return to;
}
