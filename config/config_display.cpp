// What the server and device tables show: cell texts, tooltips, alignment, headers, and the
// announcements of changed cells.

#include "config/config.h"
#include "config/field_hints.h"

#include "foundation/err.h"

QVariant table_header_font;

static Tr caption_address("servers", "Адрес");
static Tr caption_port("servers", "Порт");
static Tr caption_server_notes("servers", "Комментарий");
static Tr hint_address_head("servers", "В этом столбце отображаются адреса компьютеров, на которых "
                                       "запущены\nсоответствующие сервера «zelmo_server».");
static Tr hint_port_head("servers",
                         "В этом столбце отображаются номера портов TCP/IP, на которых\n«слушают» "
                         "соответствующие сервера «zelmo_server».");
static Tr hint_server_notes_head("servers", "В этом столбце отображаются комментарии к "
                                            "соответствующим\nсерверам.");

static Tr caption_server("devices", "Сервер");
static Tr caption_imei("devices", "IMEI");
static Tr caption_device_notes("devices", "Комментарий");
static Tr hint_server_head("devices",
                           "В этом столбце отображаются порядковые номера серверов, через\nкоторые "
                           "подключены соответствующие устройства, в вышележащей\nтаблице "
                           "серверов.");
static Tr hint_imei_head("devices", "В этом столбце отображаются IMEI соответствующих устройств.");
static Tr hint_device_notes_head("devices", "В этом столбце отображаются комментарии к "
                                            "соответствующим\nустройствам.");

static Tr address_tail(
    "server", "\n\nВ качестве адреса может выступать либо доменное имя компьютера,\nлибо IP-адрес "
              "(IPv4 dotted notation или IPv6).");
static Tr port_tail(
    "server",
    "\n\nНа одном компьютере может одновременно работать много программ,\nобменивающихся через "
    "сеть по протоколу TCP/IP. Чтобы различать,\nкоторой из программ на компьютере адресована "
    "информация, в\nпротоколе TCP есть понятие «порт». Нас интересует номер порта,\nкоторый "
    "зарезервирован за соответствующей копией сервера\n«zelmo_server». Этот порт указан в файле "
    "конфигурации сервера.\n\nНомер порта представляет собой целое десятичное число в "
    "диапазоне\n1...65535.");
static Tr hint_server_tail(
    "device",
    "\n\nНомер сервера совпадает с цифрой на кнопочке, расположенной слева\nот строчки, "
    "описывающей соответствующий сервер в таблице\nсерверов.\n\nВ разных таблицах (исходная "
    "конфигурация, список успешных закачек,\nсписок неудачных закачек) сервера могут быть "
    "пронумерованы в разном\nпорядке.");
static Tr imei_tail(
    "device",
    "\n\nIMEI это International Mobile Equipment Identity (международный\nидентификатор "
    "мобильного оборудования) GSM-модема, встроенного в\nустройство. Каждый GSM-модем в мире "
    "имеет свой собственный\nуникальный IMEI, прошитый в него производителем этого модема. "
    "Смена\nIMEI, как правило, невозможна. Поэтому IMEI модема удобно\nиспользовать как "
    "идентификатор устройства.\n\nВ этой программе IMEI используется в качестве адреса "
    "устройства на\nсервере «zelmo_server».\n\nIMEI представляет собой 15-значное целое "
    "десятичное число.");
static Tr comment_tail(
    "server_or_device",
    "\n\nКомментарий представляет собой произвольный текст, введённый\nпользователем при "
    "редактировании конфигурации, хранимый в файле\nконфигурации и отображаемый всегда, когда "
    "отображается информация о\nсоответствующем объекте. Комментарий не пересылается по сети "
    "и\nникак не влияет на поведение программы - он нужен только для\nудобства "
    "пользователя.\n\nКомментарий может оставаться пустым.");
static Tr fmt_server_tooltip("devices", "«%1»:%2");

const QString& hint_address_tail() {
    return address_tail.tr();
}
const QString& hint_port_tail() {
    return port_tail.tr();
}
const QString& hint_comment_tail() {
    return comment_tail.tr();
}
const QString& hint_imei_tail() {
    return imei_tail.tr();
}

// The joined header tooltips, built once.
static QString server_header_hints[Servers::column_count];
static QString device_header_hints[3];

// Numbers 1..999 of the server rows; index 0 stays empty.
static QString server_numbers[max_servers + 1];

void config_display_clear_translation() {
    for (Tr* t : {&caption_address, &caption_port, &caption_server_notes, &hint_address_head,
                  &hint_port_head, &hint_server_notes_head, &caption_server, &caption_imei,
                  &caption_device_notes, &hint_server_head, &hint_imei_head,
                  &hint_device_notes_head, &address_tail, &port_tail, &hint_server_tail, &imei_tail,
                  &comment_tail, &fmt_server_tooltip})
        t->clear();
    for (QString& s : server_header_hints)
        s.clear();
    for (QString& s : device_header_hints)
        s.clear();
}

const QString& server_number_text(unsigned short row) {
    static const QString out_of_range;
    if (row >= max_servers)
        return out_of_range;
    QString& s = server_numbers[row + 1];
    if (s.isEmpty())
        s = QString::number(row + 1);
    return s;
}

static constexpr int centred = Qt::AlignHCenter | Qt::AlignVCenter;
static constexpr int left = Qt::AlignLeft | Qt::AlignVCenter;

QVariant Servers::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count)
        return QVariant();
    const int column = index.column();
    if (role == Qt::TextAlignmentRole && column >= 0 && column < column_count)
        return column == col_notes ? left : centred;
    if (role != Qt::DisplayRole)
        return QVariant();
    Server* s = rows[index.row()].server;
    switch (column) {
    case col_address:
        return s->address;
    case col_port:
        return s->port_str();
    case col_notes:
        return s->notes;
    default:
        return QVariant();
    }
}

QVariant Servers::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::FontRole)
        return table_header_font;
    if (orientation == Qt::Vertical || section < 0 || section >= column_count)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) {
        Tr* captions[] = {&caption_address, &caption_port, &caption_server_notes};
        return captions[section]->tr();
    }
    if (role == Qt::ToolTipRole) {
        QString& hint = server_header_hints[section];
        if (hint.isEmpty()) {
            switch (section) {
            case col_address:
                hint = hint_address_head.tr() + address_tail.tr();
                break;
            case col_port:
                hint = hint_port_head.tr() + port_tail.tr();
                break;
            default:
                hint = hint_server_notes_head.tr() + comment_tail.tr();
            }
        }
        return hint;
    }
    return QVariant();
}

void Servers::invalidate_cell(int row, int column) {
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

void Servers::invalidate_cells(int row, unsigned mask) {
    const Column_runs& r = ranges_of_bits[mask & 7];
    for (int i = 0; i < r.count; ++i)
        emit dataChanged(index(row, r.runs[i].first), index(row, r.runs[i].last),
                         {Qt::DisplayRole});
}

int Devices::value_of_column(int column) const {
    if (column < col_notes || column == notes_position || column >= 3 + value_count)
        return -1;
    return column < notes_position ? column - 2 : column - 3;
}

QVariant Devices::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || unsigned(index.row()) >= count)
        return QVariant();
    const Device_row& r = rows[index.row()];
    const int column = index.column();
    if (column == col_server) {
        if (role == Qt::DisplayRole)
            return server_number_text(r.server);
        if (role == Qt::TextAlignmentRole)
            return centred;
        if (role == Qt::ToolTipRole && r.server < collection->servers.count) {
            Server_row& s = collection->servers.rows[r.server];
            if (s.cache.isEmpty())
                s.cache = fmt_server_tooltip.tr().arg(s.server->address, s.server->port_str());
            return s.cache;
        }
        return QVariant();
    }
    if (column == col_imei) {
        if (role == Qt::DisplayRole)
            return r.device->imei_str();
        if (role == Qt::TextAlignmentRole)
            return centred;
        return QVariant();
    }
    if (column == notes_position) {
        if (role == Qt::DisplayRole)
            return r.device->notes;
        if (role == Qt::TextAlignmentRole)
            return left;
        return QVariant();
    }
    const int value = value_of_column(column);
    if (value < 0)
        return QVariant();
    const int cell = index.row() * value_count + value;
    switch (role) {
    case Qt::DisplayRole:
    // The whole text again as the tooltip: an error message is often wider than its column.
    case Qt::ToolTipRole:
        return cell < value_texts.size() ? QVariant(value_texts[cell]) : QVariant();
    case Qt::TextAlignmentRole:
        return value < value_columns.size() ? QVariant(value_columns[value].alignment) : QVariant();
    case Qt::ForegroundRole:
        return value < value_columns.size() ? value_columns[value].foreground : QVariant();
    default:
        return QVariant();
    }
}

QVariant Devices::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::FontRole)
        return table_header_font;
    if (orientation == Qt::Vertical || section < 0 || section >= 3 + value_count)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    const bool caption = role == Qt::DisplayRole;
    if (section == col_server || section == col_imei || section == notes_position) {
        const int i = section == notes_position ? 2 : section;
        if (caption) {
            Tr* captions[] = {&caption_server, &caption_imei, &caption_device_notes};
            return captions[i]->tr();
        }
        QString& hint = device_header_hints[i];
        if (hint.isEmpty()) {
            if (i == col_server)
                hint = hint_server_head.tr() + hint_server_tail.tr();
            else if (i == col_imei)
                hint = hint_imei_head.tr() + imei_tail.tr();
            else
                hint = hint_device_notes_head.tr() + comment_tail.tr();
        }
        return hint;
    }
    const int value = value_of_column(section);
    if (value < 0 || value >= value_columns.size())
        return QVariant();
    return caption ? value_columns[value].caption : value_columns[value].hint;
}

void Devices::invalidate_cell(int row, int column) {
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i, {Qt::DisplayRole});
}

void Devices::invalidate_cells(int row, unsigned mask) {
    const Column_runs& r = ranges_of_bits[mask & 7];
    for (int i = 0; i < r.count; ++i)
        emit dataChanged(index(row, r.runs[i].first), index(row, r.runs[i].last),
                         {Qt::DisplayRole});
}
