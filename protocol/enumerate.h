#pragma once
// The device list request: one ENUMERATE frame to a server, its ENUMERATE_ANSWER frames
// collected into the list model `Enumerated`, and an orderly close.

#include "protocol/frame.h"
#include "protocol/zelmo_client.h"

#include <QAbstractTableModel>
#include <QString>
#include <QVariant>
#include <cstdint>

class Server;

constexpr unsigned enumerated_page_size = 1000; // entries of a full ENUMERATE_ANSWER frame
constexpr unsigned enumerated_max_pages = 10000;
constexpr size_t enumerate_entry_size = 57;
constexpr uint64_t enumerate_max_payload = 65535;

// One device of the list; the text caches the IMEI's 15-digit form, built on first use.
struct Enumerated_entry {
    uint64_t imei = 0;
    QString text;
};

// The received list as a one-column table of IMEIs. Each answer frame's entries are one page,
// allocated in one piece and never moved, so a long list costs one allocation per 1000.
class Enumerated : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit Enumerated(QObject* parent = nullptr);
    ~Enumerated() override;

    Enumerated_entry* pages[enumerated_max_pages];
    unsigned short page_count = 0;
    unsigned short last_page_count = 0; // 1 to 1000; every other page holds exactly 1000

    // The header's font and the tail of its tooltip belong to the interface, which sets them
    // before showing the list; without them the header uses the view's font and a short hint.
    QVariant header_font; // a QFont
    const QString* header_hint_tail = nullptr;

    // Filling, between beginResetModel and endResetModel (done by Enumerate).
    static Enumerated_entry* allocate_page(unsigned n) noexcept; // null without memory
    void append_page(Enumerated_entry* page);                    // the model takes it over
    void set_last_page_count(unsigned short n) { last_page_count = n; }

    // The entry of a row, or null (with the debug code logged) outside the list.
    Enumerated_entry* entry(int row) const;
    const QString& imei_text(Enumerated_entry& e) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Model resets are opened and closed by Enumerate.
    friend class Enumerate;
};

// What the request reports to whoever runs it (the progress dialog, the batch runner).
class Enumerate_report {
public:
    virtual ~Enumerate_report();
    virtual void success() = 0;       // the list holds at least one device
    virtual void empty_success() = 0; // the server reported none
    virtual void failure(const QString& text) = 0;
};

class Enumerate : public Zelmo_client {
    Q_OBJECT

public:
    explicit Enumerate(Enumerated& model);
    ~Enumerate() override;

    Enumerate_report* dialog = nullptr;
    Enumerated* model;
    bool reset_open = false;
    unsigned char receive_buffer[enumerate_max_payload + frame_overhead];

    void start(Server& server, Enumerate_report& report);
    // Aborts: closes at once; no outcome is reported and an open model reset is closed.
    void stop();

    // Steps.
    static void connect_ok(Zelmo_client* c);
    static void send_enumerate(Zelmo_client* c);
    static void enumerate_sent(Zelmo_client* c);
    static void enumerate_answer(Zelmo_client* c);
    static void unsolicited_frame(Zelmo_client* c);
    static void send_shutdown(Zelmo_client* c);
    static void shutdown_ok(Zelmo_client* c);

    void on_rupture(const QString& text) override;
    void on_crash(const QString& text) override;
    QString name_of_sending_frame(Step step, int& timeout) const override;
    QString name_of_sent_command(Step step, int& timeout) const override;

private:
    void open_reset();
    void close_reset();
    void parse_answer();
};

void enumerate_clear_translation();
