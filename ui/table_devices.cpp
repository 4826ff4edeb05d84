#include "ui/table_devices.h"

#include "config/config.h"
#include "config/devices_proxy.h"
#include "ui/interface.h"
#include "ui/table_common.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <algorithm>

// Debug codes of the device view (source 16). Runs follow the places of one function; a
// new place takes the next number after its run.
enum Table_devices_code : unsigned short {
    code_connect_copy_table = 4097,
    code_connect_copy_row,
    code_connect_copy_cell,
    code_column_hint = 4114,
    code_no_selection_model,
    code_rows_mixed, // the selection spans more than one row
    code_selection_foreign,
    code_selected_unmapped,
    code_selected_negative,
    code_selected_past_end,
    code_clicked_invalid,
    code_clicked_unmapped,
    code_clicked_past_end = 4124,
    code_copy_all_past_end = 4126,
    code_copy_all_description,
    code_copy_row_invalid = 4130,
    code_copy_row_unmapped,
    code_copy_row_past_end,
    code_copy_cell_invalid = 4136,
    code_copy_cell_unmapped,
    code_copy_cell_not_text,
    code_save_bad_row = 4146,
    code_save_already_written,
    code_save_bad_server,
    code_shown_count, // the proxy reports a negative row count
};

Tr hint_copy_devices_to_clipboard(
    "clipboard",
    "Если вы нажмёте эту кнопку, программа скопирует в системный буфер\nобмена (clipboard) "
    "отображённые в данный момент строки таблицы\nустройств (только те, которые прошли фильтр, "
    "если фильтр не\nпустой). Порядок строк будет соответствовать выбранному в данный\nмомент "
    "порядку сортировки.\n\nКопирование можно вызвать также из контекстного меню, "
    "открываемого\nпо нажатию правой кнопки мыши на таблице устройств. Это контекстное\nменю "
    "позволяет также скопировать отдельную строчку или отдельную\nячейку таблицы. Аналогичное "
    "контекстное меню можно открыть и на\nтаблице серверов.\n\nВ любом случае таблица будет "
    "скопирована в формате «tab-separated\n.csv» (он же «.tsv»). Этот формат удобно "
    "использовать в табличных\nредакторах (например, в «LibreOffice Calc»), но пригоден он и "
    "для\nвставки в обычный текстовый файл.\n\nСкопированный текст не будет пригоден для "
    "использования в качестве\nновой конфигурации, поскольку 1) формат будет отличаться,\n2) "
    "скопирована будет лишь часть необходимой информации.\nВ частности, PIN-коды для доступа к "
    "устройствам скопированы\nне будут.");
static Tr errtext_device_not_selected(
    "table_devices", "Прежде, чем нажимать эту кнопку, надо выбрать строчку в списке устройств "
                     "(например, щёлкнуть её левой кнопкой мыши).");
static Tr errfmt_clipboard_lacunas(
    "clipboard", "Текст был скопирован в системный буфер, однако, из-за неожиданных ошибок (см. "
                 "файл журнала) в нём пропущена информация по %1 устройствам.");
static Tr errtext_device_description(
    "clipboard", "Из-за неожиданных ошибок (см. файл журнала) не удалось сформировать описание "
                 "устройства для выдачи в системный буфер.");
static Tr question_ignore_filter(
    "table_devices",
    "Вы установили фильтр, через который проходят только %1 из %2 устройств. Этот фильтр никак "
    "не влияет на взаимодействие с устройствами - заказанная вами операция будет выполнена со "
    "всеми устройствами, входящими в основную конфигурацию. Продолжить?");
static Tr hint_ignore_filter("table_devices",
                             "Если вы нажмёте эту кнопку, программа продолжит выполнение вашей "
                             "команды.\nВведённый вами фильтр будет проигнорирован.");
static Tr hint_dont_ignore_filter("table_devices",
                                  "Если вы нажмёте эту кнопку, программа не будет\nвыполнять "
                                  "вашу команду и вернётся в предыдущее окно.");
static Tr errtext_save_lacunas(
    "table_devices", "Не удалось сформировать текстовое представление конфигурации (подробность "
                     "в файле журнала). Попробуйте сохранить конфигурацию в файл.");
static Tr question_save_lacunas(
    "table_devices",
    "Текст конфигурации сформирован, однако, из-за неожиданных ошибок (см. файл журнала) в нём "
    "пропущена информация по %1 устройствам. Продолжить?");
static Tr hint_save_lacunas(
    "table_devices",
    "Если вы нажмёте эту кнопку, программа проигнорирует ошибки.\nСформированная конфигурация "
    "будет пригодна для работы, но в ней\nбудет отсутствовать несколько устройств.");
static Tr hint_save_cancel("table_devices",
                           "Если вы нажмёте эту кнопку, программа не будет формировать "
                           "новую\nконфигурацию и вернётся к предыдущему окну.");
static Tr errfmt_save_filter(
    "table_devices",
    "Через заданный вами фильтр проходят только %1 из %2 устройств. Переключить на текстовое "
    "представление можно полную конфигурацию, но не отфильтрованную. Либо уберите фильтр, либо "
    "создайте новую конфигурацию (например, записав отфильтрованную конфигурацию в файл).");
static Tr question_save_filter(
    "table_devices",
    "Через заданный вами фильтр проходят только %1 из %2 устройств. В записываемую "
    "конфигурацию будут включены только устройства, прошедшие через фильтр. Продолжить?");
static Tr hint_save_filter_all(
    "table_devices",
    "Если вы нажмёте эту кнопку, в формируемую конфигурацию будут\nвключены только те "
    "устройства, которые прошли через введённый вами\nфильтр, и только те сервера, через которые "
    "подключено хотя-бы одно\nпрошедшее через фильтр устройство.");
static Tr hint_save_filter_devices(
    "table_devices", "Если вы нажмёте эту кнопку, в формируемую конфигурацию будут\nвключены "
                     "только те устройства, которые прошли через введённый вами\nфильтр. Сервера "
                     "будут включены все.");

void table_devices_clear_translation() {
    for (Tr* t :
         {&hint_copy_devices_to_clipboard, &errtext_device_not_selected, &errfmt_clipboard_lacunas,
          &errtext_device_description, &question_ignore_filter, &hint_ignore_filter,
          &hint_dont_ignore_filter, &errtext_save_lacunas, &question_save_lacunas,
          &hint_save_lacunas, &hint_save_cancel, &errfmt_save_filter, &question_save_filter,
          &hint_save_filter_all, &hint_save_filter_devices})
        t->clear();
}

Table_devices::Table_devices(Collection& collection, int columns, int notes_column, QWidget* parent)
    : Copy_menu_view(parent), collection(collection), proxy(new Devices_proxy(this)),
      columns(columns), notes_column(notes_column) {
    setup_table(*this);
    proxy->setSourceModel(&collection.devices);
    setModel(proxy);
    compute_column_hints();
    resizeColumnsToContents();
}

Table_devices::~Table_devices() {
    delete menu;
}

void Table_devices::create_contents() {
    proxy->setSourceModel(&collection.devices);
    compute_column_hints();
    resizeColumnsToContents();
}

void Table_devices::compute_column_hints() {
    const int w = w_dec_small;
    const int pad = column_pad();
    column_hints.fill(0, std::max(columns, 0));
    const Devices& d = collection.devices;
    const int notes_hint = pad + 32 * w;
    for (int c = 0; c < columns; ++c) {
        if (c == Devices::col_server) {
            column_hints[c] = pad + 2 * w;
        } else if (c == Devices::col_imei) {
            column_hints[c] = pad + 15 * w;
        } else if (c == notes_column) {
            column_hints[c] = notes_hint;
        } else {
            const int value = d.value_of_column(c);
            int longest = 0;
            for (unsigned r = 0; value >= 0 && r < d.count; ++r) {
                const int cell = int(r) * d.value_count + value;
                if (cell < d.value_texts.size())
                    longest = std::max(longest, d.value_texts[cell].size());
            }
            column_hints[c] = std::max(pad + w * longest, notes_hint);
        }
    }
}

unsigned Table_devices::selected_row() const {
    const QItemSelectionModel* selection = selectionModel();
    if (!selection)
        throw Debug(code_no_selection_model);
    const QModelIndexList indexes = selection->selectedIndexes();
    if (indexes.isEmpty())
        throw Err(errtext_device_not_selected.tr());
    const int row = indexes.front().row();
    for (const QModelIndex& i : indexes)
        if (i.row() != row)
            throw Debug(code_rows_mixed);
    if (indexes.front().model() != proxy)
        throw Debug(code_selection_foreign);
    const QModelIndex source = proxy->mapToSource(indexes.front());
    if (!source.isValid())
        throw Debug(code_selected_unmapped);
    if (source.row() < 0)
        throw Debug(code_selected_negative);
    if (unsigned(source.row()) >= collection.devices.count)
        throw Debug(code_selected_past_end);
    return unsigned(source.row());
}

unsigned Table_devices::clicked_row(const QModelIndex& index) const {
    if (!index.isValid())
        throw Debug(code_clicked_invalid);
    const QModelIndex source = proxy->mapToSource(index);
    if (!source.isValid())
        throw Debug(code_clicked_unmapped);
    if (unsigned(source.row()) >= collection.devices.count)
        throw Debug(code_clicked_past_end);
    return unsigned(source.row());
}

int Table_devices::sizeHintForColumn(int column) const {
    if (column < 0 || column >= column_hints.size()) {
        log_debug(code_column_hint);
        return -1;
    }
    return column_hints[column];
}

QSize Table_devices::sizeHint() const {
    return QSize(2 * frameWidth() + verticalScrollBar()->sizeHint().width() +
                     horizontalHeader()->length(),
                 15 * module_h);
}

void Table_devices::contextMenuEvent(QContextMenuEvent* event) {
    const bool all_shown = unsigned(proxy->rowCount()) == collection.devices.count;
    open_copy_menu(event, all_shown ? caption_copy_table.tr() : caption_copy_filtered.tr(),
                   {code_connect_copy_table, code_connect_copy_row, code_connect_copy_cell});
}

void Table_devices::copy_to_clipboard() {
    const Devices& d = collection.devices;
    const int n = d.value_count;
    const int notes_after = std::min<int>(std::max(d.notes_position - 2, 0), n);
    QString text;
    text += caption_clip_address.tr();
    text += QLatin1Char('\t');
    text += caption_clip_port.tr();
    text += QLatin1Char('\t');
    text += caption_clip_imei.tr();
    for (int v = 0; v <= n; ++v) {
        if (v == notes_after) {
            text += QLatin1Char('\t');
            text += caption_clip_notes.tr();
        }
        if (v == n)
            break;
        text += QLatin1Char('\t');
        if (v < d.value_columns.size())
            text += d.value_columns[v].caption;
    }
    text += QLatin1String(clip_eol());
    unsigned missing = 0;
    for (const unsigned row : proxy->shown_rows()) {
        if (row >= d.count) {
            log_debug(code_copy_all_past_end);
            ++missing;
            continue;
        }
        const QString line = collection.device_description(row);
        if (line.isEmpty()) {
            log_debug(code_copy_all_description);
            ++missing;
            continue;
        }
        text += line;
        text += QLatin1String(clip_eol());
    }
    QGuiApplication::clipboard()->setText(text);
    if (missing)
        show_error(errfmt_clipboard_lacunas.tr().arg(missing), this);
}

void Table_devices::on_table_to_clipboard_triggered() {
    copy_to_clipboard();
}

void Table_devices::on_row_to_clipboard_triggered() {
    const QModelIndex index = proxy->index(menu_row, 0);
    if (!index.isValid()) {
        show_debug(code_copy_row_invalid, this);
        return;
    }
    const QModelIndex source = proxy->mapToSource(index);
    if (!source.isValid()) {
        show_debug(code_copy_row_unmapped, this);
        return;
    }
    if (unsigned(source.row()) >= collection.devices.count) {
        show_debug(code_copy_row_past_end, this);
        return;
    }
    const QString line = collection.device_description(unsigned(source.row()));
    if (line.isEmpty()) {
        show_error(errtext_device_description.tr(), this);
        return;
    }
    QGuiApplication::clipboard()->setText(line);
}

void Table_devices::on_cell_to_clipboard_triggered() {
    const QModelIndex index = proxy->index(menu_row, menu_column);
    if (!index.isValid()) {
        show_debug(code_copy_cell_invalid, this);
        return;
    }
    if (!proxy->mapToSource(index).isValid()) {
        show_debug(code_copy_cell_unmapped, this);
        return;
    }
    const QVariant value = index.data(Qt::DisplayRole);
    if (value.userType() != QMetaType::QString) {
        show_debug(code_copy_cell_not_text, this);
        return;
    }
    QGuiApplication::clipboard()->setText(value.toString());
}

bool Table_devices::warn_if_filtered(QWidget* parent) {
    const int shown = proxy->rowCount();
    if (shown < 0) {
        show_debug(code_shown_count, parent);
        return false;
    }
    const unsigned total = collection.devices.count;
    if (unsigned(shown) == total)
        return true;
    return get_confirmation(parent, question_ignore_filter.tr().arg(shown).arg(total),
                            hint_ignore_filter.tr(), hint_dont_ignore_filter.tr());
}

bool Table_devices::save(QString& text, Save_mode mode, QWidget* parent, bool& complete) {
    const Collection& c = collection;
    const bool subset = mode == Save_mode::subset;
    const std::vector<unsigned>& shown = proxy->shown_rows();
    // Every row shown in table order: the devices go straight into the text, as the writer
    // of a whole configuration does.
    const bool table_order = proxy->sortColumn() < 0 && shown.size() == c.devices.count;
    QString out;
    Cfg_text_gaps kinds;
    // A null order means table order: an empty one must not become null.
    static const unsigned no_rows[1] = {0};
    const unsigned* order = table_order ? nullptr : shown.empty() ? no_rows : shown.data();
    const unsigned gaps = write_cfg_text(out, c, order, unsigned(shown.size()), subset, &kinds);
    // One entry per kind: a broken table must not write a million lines to the log.
    if (kinds.bad_row)
        log_debug(code_save_bad_row);
    if (kinds.already_written)
        log_debug(code_save_already_written);
    if (kinds.bad_server)
        log_debug(code_save_bad_server);
    auto fail = [&c] {
        begin_cfg_text(c);
        return false;
    };
    complete = true;
    if (gaps) {
        if (mode == Save_mode::text) {
            show_error(errtext_save_lacunas.tr(), parent);
            return fail();
        }
        if (!get_confirmation(parent, question_save_lacunas.tr().arg(gaps), hint_save_lacunas.tr(),
                              hint_save_cancel.tr()))
            return fail();
        complete = false;
    }
    unsigned written = 0;
    for (unsigned i = 0; i < c.devices.count; ++i)
        if (c.devices.rows[i].device->run_flags & Device::written)
            ++written;
    if (written != c.devices.count) {
        if (mode == Save_mode::text) {
            show_error(errfmt_save_filter.tr().arg(written).arg(c.devices.count), parent);
            return fail();
        }
        if (!get_confirmation(parent, question_save_filter.tr().arg(written).arg(c.devices.count),
                              subset ? hint_save_filter_all.tr() : hint_save_filter_devices.tr(),
                              hint_save_cancel.tr()))
            return fail();
        complete = false;
    }
    text = std::move(out);
    return true;
}
