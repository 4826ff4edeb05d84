#include "config/configuration.h"

#include "config/config_codes.h"
#include "config/options.h"
#include "foundation/err.h"

#include <algorithm>
#include <cstring>
#include <new>

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

void configuration_clear_translation() {
    errfmt_server_exists.clear();
    errfmt_address_control.clear();
    errtext_no_mem_server.clear();
    errtext_no_mem_servers.clear();
    errfmt_too_many_servers.clear();
    errfmt_device_exists.clear();
    errtext_no_mem_device.clear();
    errtext_no_mem_devices.clear();
    errfmt_too_many_devices.clear();
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
    replace_tables(server_rows, server_count, device_rows, device_count, true);
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
        throw Debug(code_delete_server_row);
    const unsigned first = first_device_of(devices, index);
    if (first < devices.count && devices.rows[first].server == index)
        throw Debug(code_delete_server_in_use);
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
        throw Debug(code_change_server_row);
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
        throw Debug(code_add_device_server);
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
        throw Debug(code_delete_device_row);
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
        throw Debug(code_change_device_row);
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
