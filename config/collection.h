#pragma once
// Servers and devices, the two table models that list them, and the Collection that holds
// both tables: the live configuration is one, result lists are others that borrow its
// objects. Selection of a run's successes or failures and the clipboard lines live here too.

#include "config/fail_class.h"
#include "parser/utf8_text_parser.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVector>
#include <atomic>
#include <cstdint>

class Server;
class Device;
class Collection;
class Configuration;

// Intrusive singly linked stack threaded through the objects' own `next` field.

template <class T> struct S_hook { T* next = nullptr; };

template <class T> struct S_stack {
    T* top = nullptr;

    bool empty() const noexcept { return top == nullptr; }
    void push(T* item) noexcept {
        item->next = top;
        top = item;
    }
    T* pop() noexcept {
        T* item = top;
        if (item) {
            top = item->next;
            item->next = nullptr;
        }
        return item;
    }
    // Deletes every element; a server is deleted with the devices on its own stack.
    void dispose() noexcept;
};

template <> void S_stack<Server>::dispose() noexcept;
template <> void S_stack<Device>::dispose() noexcept;

// ---------------------------------------------------------------------------------------------

struct Server_address {
    QString address;
    unsigned short port = 0;
};

struct Device_address {
    uint64_t imei = 0;
    unsigned short server = 0; // row of the server in the server table
};

constexpr uint64_t max_imei = 999999999999999ULL;
constexpr int pin_size = 16;
constexpr unsigned max_servers = 999;
constexpr unsigned max_devices = 999999;
constexpr int connection_attempts = 5; // failed connections in a row before a server is given up

class Server : public S_hook<Server> {
public:
    // state bits
    enum : unsigned char { last_connect_failed = 0x01, reconnect_pending = 0x02 };

    QString notes;
    QString address;
    unsigned short port = 0;
    S_stack<Device> pending_devices; // while parsing: its devices; during a run: devices to serve
    unsigned pending_count = 0;
    QString port_text;                                 // cache, see port_str()
    Text_position<char> position{nullptr, nullptr, 0}; // where the entry began in the parsed text
    QString save_buffer; // device lines while the configuration text is assembled
    unsigned active_actors = 0;
    // Connections to the server being made or made now; kept by the run's actors, read by the
    // windows while the run lasts.
    std::atomic<unsigned> open_connections{0};
    QString connection_errors[connection_attempts];
    unsigned char consecutive_failures = 0;
    unsigned char state_bits = 0;

    const QString& port_str();
    // Takes every device off the pending stack, gives each its failure text, returns how many;
    // `ended`, when given, is told of each device once its text is set.
    unsigned stop_all_devices(void (*ended)(Device&, void*) = nullptr, void* context = nullptr);
    // Appends the "server(...)" line.
    void save(QString& out) const;
};

class Device : public S_hook<Device> {
public:
    // run flags; the last three only in an upload with a version check: the device already
    // showed the expected version and took no file, the verification read it after the
    // upload, the version was read in the last attempt (values hold it)
    enum : unsigned char {
        succeeded = 0x01,
        written = 0x02,
        skipped_current = 0x04,
        verified = 0x08,
        version_read = 0x10
    };

    QString notes;
    uint64_t imei = 0;
    char pin[pin_size] = {}; // printable ASCII, zero-padded; no terminator when full
    QString imei_text;       // cache, see imei_str()
    Text_position<char> position{nullptr, nullptr, 0}; // where the entry began in the parsed text
    QString error_text;
    unsigned char run_flags = 0;
    Fail_class fail_class = fail_none; // why the device failed in the last run
    unsigned run_row = 0;              // row in the device table, set when a run takes the device
    int64_t run_start_ms = 0;          // when the last run began to serve it (UTC); 0: never began
    // Raw parameter values of the last gather run; in an upload with a version check, the
    // version read at that parameter's offset.
    QByteArray values;

    const QString& imei_str();
    // Appends the " device(...)" line.
    void save(QString& out) const;
};

QString imei_to_str(uint64_t imei);            // exactly 15 digits with leading zeros
void append_imei(QString& out, uint64_t imei); // the same text, added to `out`

// ---------------------------------------------------------------------------------------------
// The tables. Rows are kept sorted: servers by (address, port), devices by (server row, IMEI).

struct Server_row {
    Server* server;
    QString cache; // display cache of the table view: the "«address»:port" tooltip
};

// The font of both tables' headers; the views set it (the small name font). Held as a variant
// so that the core, and zelmo_batch with it, needs no graphics library.
extern QVariant table_header_font;

// "1".."999": the displayed number of a server row, built once per number.
const QString& server_number_text(unsigned short row);

struct Device_row {
    Device* device;
    unsigned short server;
};

// An extra device column of a result list (gathered parameters, error texts).
struct Value_column {
    QString caption;
    QString hint;
    int alignment = 0;
    QVariant foreground; // the brush of the column's texts, set by the window
};

class Servers : public QAbstractTableModel {
    Q_OBJECT
    friend class Collection;
    friend class Configuration;

public:
    enum Column { col_address, col_port, col_notes, column_count };

    explicit Servers(QObject* parent = nullptr);
    ~Servers() override;

    Server_row* rows = nullptr;
    unsigned short count = 0;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Announce that one cell, or the columns in a 3-bit mask, of a row changed.
    void invalidate_cell(int row, int column);
    void invalidate_cells(int row, unsigned mask);

    // Sorts freshly read rows into table order; a duplicate (address, port) is an error at
    // the later entry's position.
    static void sort_parsed(Server_row* rows, unsigned short count, Utf8_text_parser& parser);

    // Position of (address, port) in the sorted rows; `found` tells whether it is there.
    unsigned short find(const QString& address, unsigned short port, bool& found) const;
};

class Devices : public QAbstractTableModel {
    Q_OBJECT
    friend class Collection;
    friend class Configuration;

public:
    enum Column { col_server, col_imei, col_notes };

    explicit Devices(Collection* collection, QObject* parent = nullptr);
    ~Devices() override;

    Collection* collection;
    Device_row* rows = nullptr;
    unsigned count = 0;

    // Extra columns of result lists: value_count texts per row (row-major), and the notes
    // column placed after the first (notes_position - 2) of them.
    QVector<Value_column> value_columns;
    QVector<QString> value_texts;
    unsigned char value_count = 0;
    unsigned char notes_position = 2;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void invalidate_cell(int row, int column);
    void invalidate_cells(int row, unsigned mask);

    // The index among the row's values of a parameter column, -1 for the other columns.
    int value_of_column(int column) const;

    // Sorts the freshly read devices of one server by IMEI; a duplicate IMEI is an error at
    // the later entry's position.
    static void sort_parsed(Device_row* first, Device_row* last, Utf8_text_parser& parser,
                            const Server& server);

    // Position of (server, imei) in the sorted rows; `found` tells whether it is there.
    unsigned find(unsigned short server, uint64_t imei, bool& found) const;
};

// Contiguous runs of set bits of a 3-bit column mask, as (first, last) column pairs.
struct Column_run {
    int first, last;
};
struct Column_runs {
    int count;
    Column_run runs[2];
};
extern const Column_runs ranges_of_bits[8];

class Collection {
public:
    Collection();
    virtual ~Collection();
    Collection(const Collection&) = delete;
    Collection& operator=(const Collection&) = delete;

    Servers servers;
    Devices devices;

    // This collection becomes the subset of `source` whose devices have the succeeded bit set
    // (or clear); servers without such a device are left out. The objects are borrowed.
    void select_success(const Collection& source);
    void select_failure(const Collection& source);

    // Tab-separated lines for the clipboard.
    QString server_description(unsigned short index) const;
    QString device_description(unsigned index) const;

protected:
    // Swaps in new tables with a full reset of both models and frees the old arrays, and with
    // `owns_objects` the old rows' servers and devices too.
    void replace_tables(Server_row* server_rows, unsigned short server_count,
                        Device_row* device_rows, unsigned device_count, bool owns_objects = false);

private:
    void select(const Collection& source, bool success);
};

void collection_clear_translation();
// The captions and tooltips of the models' headers, in config_display.cpp.
void config_display_clear_translation();
