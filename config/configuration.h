#pragma once
// The one live configuration and its editing operations: adding, deleting and changing
// servers and devices keeps both tables sorted and tells the views row by row.

#include "config/collection.h"

class Configuration : public Collection {
public:
    Configuration() = default;
    ~Configuration() override;

    // Replaces both tables (arrays made with new[], ownership passes here), then frees the
    // old servers and devices.
    void set(Server_row* server_rows, unsigned short server_count, Device_row* device_rows,
             unsigned device_count);

    // Each returns the row of the entry after the change.
    unsigned short add_server(const Server_address& key, const QString& notes);
    void delete_server(unsigned short index);
    unsigned short change_server(unsigned short index, const Server_address& key,
                                 const QString& notes);
    unsigned add_device(const Device_address& key, const char pin[pin_size], const QString& notes);
    void delete_device(unsigned index);
    // Merges new devices (sorted by server and IMEI, none there already, ownership passes
    // here) into the table in one step; on failure nothing changed and nothing was taken.
    void add_devices(const Device_row* sorted, unsigned count);
    unsigned change_device(unsigned index, const Device_address& key, const char pin[pin_size],
                           const QString& notes);

private:
    // The row bookkeeping both tables share; only this class may announce row changes.
    template <class Table, class Row>
    static void insert_row(Table& table, Row* grown, unsigned pos, Row row);
    template <class Table> static void move_row(Table& table, unsigned index, unsigned pos);
};

extern Configuration configuration;

// Options to defaults, `devfname` to "FIRMWARE", both tables emptied.
void clear_cfg();

void configuration_clear_translation();
