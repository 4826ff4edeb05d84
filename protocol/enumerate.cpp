#include "protocol/enumerate.h"

#include "config/config.h"
#include "foundation/err.h"

#include <cstring>
#include <new>

static Tr caption_imei("enumerate", "IMEI");
static Tr hint_imei_head("enumerate", "В этом столбце отображаются IMEI устройств, подключенных "
                                      "через\nвыбранный вами сервер.");
static Tr errfmt_server_bad_imei("proto", "Нарушение протокола сервером: в пришедшем от сервера "
                                          "сообщении «%1» содержимое поля «IMEI» не является "
                                          "%2-значным десятичным числом.");
static Tr errfmt_to_many_volumes("proto", "Список устройств, возвращённый сервером в ответ на "
                                          "наш запрос, слишком длинный (более %1 устройств). "
                                          "Данная версия программы не умеет работать с такими "
                                          "длинными списками.");
static Tr errfmt_no_mem_for_enumerated(
    "proto", "Недостаточно памяти для списка устройств, возвращённого сервером в ответ на наш "
             "запрос. На данный момент получено описание %1 устройств.");

// ---------------------------------------------------------------------------------------------
// The list model.

Enumerated::Enumerated(QObject* parent) : QAbstractTableModel(parent) {
    std::memset(pages, 0, sizeof pages);
}

Enumerated::~Enumerated() {
    for (unsigned i = 0; i < page_count; ++i)
        delete[] pages[i];
}

Enumerated_entry* Enumerated::allocate_page(unsigned n) noexcept {
    return new (std::nothrow) Enumerated_entry[n];
}

void Enumerated::append_page(Enumerated_entry* page) {
    pages[page_count++] = page;
}

Enumerated_entry* Enumerated::entry(int row) const {
    if (row < 0) {
        log_debug(0x1403);
        return nullptr;
    }
    if (page_count == 0) {
        log_debug(0x1404);
        return nullptr;
    }
    const unsigned page = unsigned(row) / enumerated_page_size;
    const unsigned position = unsigned(row) % enumerated_page_size;
    if (page >= page_count) {
        log_debug(0x1406);
        return nullptr;
    }
    if (page == page_count - 1u && position >= last_page_count) {
        log_debug(0x1405);
        return nullptr;
    }
    return &pages[page][position];
}

const QString& Enumerated::imei_text(Enumerated_entry& e) const {
    if (e.text.isEmpty())
        e.text = QString::number(e.imei).rightJustified(15, QLatin1Char('0'));
    return e.text;
}

int Enumerated::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || page_count == 0)
        return 0;
    return int(page_count - 1u) * int(enumerated_page_size) + last_page_count;
}

int Enumerated::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant Enumerated::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::TextAlignmentRole)
        return QVariant();
    Enumerated_entry* e = entry(index.row());
    if (!e)
        return QVariant();
    if (index.column() != 0) {
        log_debug(0x1407);
        return QVariant();
    }
    if (role == Qt::DisplayRole)
        return imei_text(*e);
    return int(Qt::AlignRight | Qt::AlignVCenter);
}

QVariant Enumerated::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) {
        if (role == Qt::FontRole)
            return header_font;
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (role) {
    case Qt::DisplayRole:
        if (section != 0) {
            log_debug(0x1401);
            return QVariant();
        }
        return caption_imei.tr();
    case Qt::ToolTipRole:
        if (section != 0) {
            log_debug(0x1402);
            return QVariant();
        }
        if (header_hint_tail)
            return hint_imei_head.tr() + *header_hint_tail;
        return hint_imei_head.tr();
    case Qt::FontRole:
        return header_font;
    case Qt::TextAlignmentRole:
        return int(Qt::AlignRight | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

Enumerate_report::~Enumerate_report() = default;

// ---------------------------------------------------------------------------------------------
// The request.

Enumerate::Enumerate(Enumerated& model) : model(&model) {
    init(receive_buffer, enumerate_max_payload);
}

Enumerate::~Enumerate() {
    stop();
}

void Enumerate::start(Server& s, Enumerate_report& report) {
    dialog = &report;
    server = &s;
    connect(connect_ok, unsolicited_frame);
}

void Enumerate::stop() {
    close_connection();
    close_reset();
}

void Enumerate::open_reset() {
    if (!reset_open) {
        model->beginResetModel();
        reset_open = true;
    }
}

void Enumerate::close_reset() {
    if (reset_open) {
        reset_open = false;
        model->endResetModel();
    }
}

void Enumerate::connect_ok(Zelmo_client* c) {
    c->take_posted_step()(c);
    if (c->is_connected())
        c->post(send_enumerate);
}

void Enumerate::send_enumerate(Zelmo_client* c) {
    c->send(ENUMERATE, 0, enumerate_sent, enumerate_timeout);
}

void Enumerate::enumerate_sent(Zelmo_client* c) {
    c->expected_answer = enumerate_answer;
    c->take_posted_step()(c);
}

void Enumerate::enumerate_answer(Zelmo_client* c) {
    static_cast<Enumerate*>(c)->parse_answer();
}

void Enumerate::parse_answer() {
    const unsigned char* frame = buffer_start;
    const unsigned length = frame_length(frame);
    const unsigned char type = frame_type(frame);
    if (type != ENUMERATE_ANSWER) {
        tcp_crash(text_wrong_answer(name_ENUMERATE.tr(), type, length));
        return;
    }
    const QString& answer_name = name_ENUMERATE_ANSWER.tr();
    if (length < 2) {
        tcp_crash(text_field_range(answer_name, name_sz_data.tr(), length, 2,
                                   2 + enumerate_entry_size * enumerated_page_size));
        return;
    }
    const unsigned char* p = frame_payload(frame);
    const unsigned n = get_u16(p);
    if (n > enumerated_page_size) {
        tcp_crash(text_field_range(answer_name, name_ENUMERATE_ANSWER_n_dev.tr(), n, 0,
                                   enumerated_page_size));
        return;
    }
    const unsigned expected_length = 2 + unsigned(enumerate_entry_size) * n;
    if (length != expected_length) {
        tcp_crash(text_fields_mismatch(answer_name, name_sz_data.tr(), length,
                                       name_ENUMERATE_ANSWER_n_dev.tr(), n, expected_length));
        return;
    }
    if (n == 0) {
        if (model->page_count)
            model->set_last_page_count(enumerated_page_size); // the list ended with a full frame
    } else {
        if (model->page_count >= enumerated_max_pages) {
            tcp_crash(errfmt_to_many_volumes.tr().arg(
                QString::number(uint64_t(enumerated_max_pages) * enumerated_page_size)));
            return;
        }
        Enumerated_entry* page = Enumerated::allocate_page(n);
        if (!page) {
            tcp_crash(errfmt_no_mem_for_enumerated.tr().arg(
                QString::number(uint64_t(model->page_count) * enumerated_page_size + n)));
            return;
        }
        const unsigned char* e = p + 2;
        for (unsigned i = 0; i < n; ++i, e += enumerate_entry_size) {
            uint64_t imei = 0;
            for (int k = 0; k < 15; ++k) {
                const unsigned char d = e[k];
                if (d < '0' || d > '9') {
                    delete[] page;
                    tcp_crash(errfmt_server_bad_imei.tr().arg(answer_name, QString::number(15)));
                    return;
                }
                imei = imei * 10 + (d - '0');
            }
            if (e[15] != 0 || e[56] != 0) {
                const bool imei_z = e[15] != 0;
                const unsigned value = imei_z ? e[15] : e[56];
                delete[] page;
                tcp_crash(text_field_value(answer_name,
                                           imei_z ? name_ENUMERATE_ANSWER_imei_z.tr()
                                                  : name_ENUMERATE_ANSWER_devname_z.tr(),
                                           value, 0));
                return;
            }
            page[i].imei = imei;
        }
        open_reset();
        model->append_page(page);
        if (n == enumerated_page_size)
            return; // a further frame follows; expected_answer stays as it is
        model->set_last_page_count(static_cast<unsigned short>(n));
    }
    close_reset();
    expected_answer = unsolicited_handler;
    post(send_shutdown);
}

void Enumerate::unsolicited_frame(Zelmo_client* c) {
    const unsigned char* frame = c->buffer_start;
    c->tcp_crash(text_unexpected_frame(frame_type(frame), frame_length(frame)));
}

void Enumerate::send_shutdown(Zelmo_client* c) {
    c->shutdown(shutdown_ok);
}

void Enumerate::shutdown_ok(Zelmo_client* c) {
    auto* self = static_cast<Enumerate*>(c);
    if (!self->dialog)
        return;
    if (self->model->page_count)
        self->dialog->success();
    else
        self->dialog->empty_success();
}

void Enumerate::on_rupture(const QString& text) {
    close_reset();
    if (dialog)
        dialog->failure(text);
}

void Enumerate::on_crash(const QString& text) {
    on_rupture(text);
}

QString Enumerate::name_of_sending_frame(Step step, int& timeout) const {
    if (step == enumerate_sent) {
        timeout = enumerate_timeout;
        return name_ENUMERATE.tr();
    }
    return Zelmo_client::name_of_sending_frame(step, timeout);
}

QString Enumerate::name_of_sent_command(Step step, int& timeout) const {
    if (step == enumerate_answer) {
        timeout = enumerate_timeout;
        return name_ENUMERATE.tr();
    }
    return Zelmo_client::name_of_sent_command(step, timeout);
}

void enumerate_clear_translation() {
    caption_imei.clear();
    hint_imei_head.clear();
    errfmt_server_bad_imei.clear();
    errfmt_to_many_volumes.clear();
    errfmt_no_mem_for_enumerated.clear();
}
