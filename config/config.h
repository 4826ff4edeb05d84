#pragma once
// The configuration: servers, devices, the exchange options and their text form.
// There is one live configuration, the global `configuration`; result lists are other
// Collections that borrow its Server and Device objects.

#include "parser/utf8_text_parser.h"

#include <QAbstractTableModel>
#include <QBrush>
#include <QByteArray>
#include <QFont>
#include <QString>
#include <QVector>
#include <cstdint>

class Server;
class Device;
class Collection;
class Configuration;

// ---------------------------------------------------------------------------------------------
// Options. Process-wide; each numeric option has a "defined" flag telling whether the
// configuration states it (only defined options are written to the text). Times in ms.

extern unsigned long long simultaneously; // 1..65535, default 100
extern int connect_timeout;               // 1..86400000, default 10000
extern int disconnect_timeout;            // default 3000
extern int link_timeout;                  // default 3000
extern int auth_timeout;                  // default 10000
extern int upfile_timeout;                // default 900000
extern int getparam_timeout;              // default 10000
extern int cmd_timeout;                   // default 10000
extern int enumerate_timeout;             // default 5000
extern int ping_answer_timeout;           // default 2000
extern int reconnect_delay;               // default 1000

extern bool simultaneously_defined;
extern bool connect_timeout_defined;
extern bool disconnect_timeout_defined;
extern bool link_timeout_defined;
extern bool auth_timeout_defined;
extern bool upfile_timeout_defined;
extern bool getparam_timeout_defined;
extern bool cmd_timeout_defined;
extern bool enumerate_timeout_defined;
extern bool ping_answer_timeout_defined;
extern bool reconnect_delay_defined;

// The options in the order of the text (and of the options dialog).
enum Option_index {
    opt_simultaneously,
    opt_connect_timeout,
    opt_disconnect_timeout,
    opt_link_timeout,
    opt_auth_timeout,
    opt_upfile_timeout,
    opt_getparam_timeout,
    opt_cmd_timeout,
    opt_enumerate_timeout,
    opt_ping_answer_timeout,
    opt_reconnect_delay,
    option_count
};

struct Option_info {
    const char* key; // the text key, also the name of the global
    unsigned default_value;
    unsigned maximum; // the minimum of every option is 1
    bool* defined;
};
extern const Option_info option_info[option_count];

unsigned get_option(int index);
void set_option(int index, unsigned value);
// Every option back to its default, none defined. `devfname` is not touched.
void reset_options();

// The file name under which a file is sent to a device: up to 10 printable ASCII characters,
// zero-terminated. Written to the text only when it differs from the default.
constexpr int devfname_max = 10;
extern char devfname[devfname_max + 1];
extern const char default_devfname[devfname_max + 1]; // "FIRMWARE"

// ---------------------------------------------------------------------------------------------
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
    // run flags
    enum : unsigned char { succeeded = 0x01, written = 0x02 };

    QString notes;
    uint64_t imei = 0;
    char pin[pin_size] = {}; // printable ASCII, zero-padded; no terminator when full
    QString imei_text;       // cache, see imei_str()
    Text_position<char> position{nullptr, nullptr, 0}; // where the entry began in the parsed text
    QString error_text;
    unsigned char run_flags = 0;
    unsigned char fail_class = 0; // why the device failed in the last run (see Fail_class)
    unsigned run_row = 0;         // row in the device table, set when a run takes the device
    int64_t run_start_ms = 0;     // when the last run began to serve it (UTC); 0: never began
    QByteArray values;            // raw parameter values of the last gather run

    const QString& imei_str();
    // Appends the " device(...)" line.
    void save(QString& out) const;
};

QString imei_to_str(uint64_t imei); // exactly 15 digits with leading zeros

// ---------------------------------------------------------------------------------------------
// The tables. Rows are kept sorted: servers by (address, port), devices by (server row, IMEI).

struct Server_row {
    Server* server;
    QString cache; // display cache of the table view: the "«address»:port" tooltip
};

// The font of both tables' headers; the views set it (the small name font).
extern QFont table_header_font;

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

    // Extra columns of result lists: value_count texts and brushes per row (row-major),
    // and the notes column placed after the first (notes_position - 2) of them.
    QVector<Value_column> value_columns;
    QVector<QString> value_texts;
    QVector<QBrush> value_brushes;
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
    // Swaps in new tables with a full reset of both models and frees the old arrays.
    void replace_tables(Server_row* server_rows, unsigned short server_count,
                        Device_row* device_rows, unsigned device_count);

private:
    void select(const Collection& source, bool success);
};

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

// ---------------------------------------------------------------------------------------------
// Text format.

// Reads a whole text into `cfg`; on failure the servers and devices stay as they were.
void parse_cfg(Utf8_text_parser& parser, Configuration& cfg);
// Reads a text into the global configuration.
void parse_cfg(const QString& text);
// Reads one server element after its keyword (which began at `where`) onto `servers`, with
// its devices on its own stack, counting devices against the limit.
void parse_server(Utf8_text_parser& parser, const Text_position<char>& where,
                  S_stack<Server>& servers, unsigned& device_count);

// Backslash escaping for literals; every value reads back unchanged.
void append_c_escaped(QString& out, const QString& value);
// Escaping for tab-separated descriptions: controls, backslash and DEL escaped, quotes kept.
void append_tsv_escaped(QString& out, const QString& value);

// Assembling a whole text: clear the buffers, add devices in the wanted order, then finish.
void begin_cfg_text(const Collection& c);
enum class Cfg_text_add { added, bad_row, already_written, bad_server };
Cfg_text_add add_device_to_cfg_text(const Collection& c, unsigned device_row);
// Preamble, defined options, devfname, then servers with their device blocks. With
// `only_used_servers`, servers with no device added are left out. Clears the buffers.
void finish_cfg_text(QString& text, const Collection& c, bool only_used_servers);
// The rows that could not be written, by reason.
struct Cfg_text_gaps {
    unsigned bad_row = 0, already_written = 0, bad_server = 0;
};
// The whole text, with the devices in the given row order (all rows in table order when
// `order` is null); the same text as the three steps above. Returns the number of rows that
// could not be written; `kinds` (if given) gets them by reason.
unsigned write_cfg_text(QString& text, const Collection& c, const unsigned* order,
                        unsigned order_count, bool only_used_servers,
                        Cfg_text_gaps* kinds = nullptr);

void config_clear_translation();
void config_display_clear_translation();
void config_write_clear_translation();
void config_parse_clear_translation();
