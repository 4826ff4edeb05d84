#include "ui/dialog_failure.h"

#include "config/config.h"
#include "config/devices_proxy.h"
#include "config/fail_class.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/desktop_rollout.h"
#include "ui/dialog_exchange.h"
#include "ui/dialog_texts.h"
#include "ui/result_list.h"
#include "ui/table_common.h"
#include "ui/table_devices.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <algorithm>

static Tr title_failure("failure", "Список неудачно обслуженных устройств");
static Tr_with_hint caption_servers(
    "failure", "Список «неудачных» серверов",
    "Здесь отображаются все сервера, через которые подключено хотя-бы\nодно устройство, "
    "работа с которым во время последней операции\nзавершилась неудачно.");
static Tr hint_close("failure", "Если вы нажмёте эту кнопку, окно «Список неудачно обслуженных "
                                "устройств» будет закрыто, и вы вернётесь в предыдущее окно.");
static Tr hint_copy_tail("clipboard", "\n\nСообщения об ошибках будут скопированы.");
static Tr hint_write(
    "failure",
    "Если вы нажмёте эту кнопку, программа спросит у вас имя файла и\nзатем запишет в этот файл "
    "отображённый в данном окне список\nнеудачно обслуженных устройств.\n\nФайл будет записан "
    "в том формате, в котором хранится конфигурация\nданной программы. Вместе со списком "
    "устройств будет записан также\nсоответствующий список серверов и прочие параметры "
    "конфигурации -\nто есть, вы сможете позже открыть этот файл данной программой и ещё\nраз "
    "попытаться сделать всё, что вы хотели.\n\nЕсли вы установили в этом окне фильтр, через "
    "который проходят не\nвсе устройства, будут записаны только те устройства, которые через\n"
    "него проходят. Сервера также будут записаны только те, через\nкоторые подключено хотя-бы "
    "одно устройство, прошедшее через фильтр.\nПрограмма предупредит вас о такой "
    "ситуации.\n\nСообщения об ошибках записаны в файл не будут.");
static Tr_with_hint caption_error_column(
    "failure", "Сообщение об ошибке",
    "В этом столбце отображается причина, по которой работа с\nсоответствующим устройством "
    "завершилась неудачно.");
static Tr_with_hint caption_class_column(
    "failure", "Причина",
    "В этом столбце отображается вид неудачи (нет соединения с сервером,\nтайм-аут, "
    "устройство не на связи и т. д.). Выбрав этот столбец в\nфильтре, можно повторить работу "
    "только для неудач одного вида.");

static Tr_with_hint caption_retry(
    "failure", "Повторить для неудачных",
    "Если вы нажмёте эту кнопку, программа сразу же ещё раз выполнит ту же\nработу (с теми же "
    "настройками и тем же файлом), но только для\nустройств, отображённых в этом окне.\n\n"
    "Если вы установили фильтр, работа будет повторена только для\nустройств, прошедших через "
    "него: например, выбрав в фильтре столбец\n«Причина», можно повторить работу только для "
    "неудач одного вида.");
static Tr errtext_nothing_to_retry("failure", "Повторять не для чего: фильтр не пропускает ни "
                                              "одного устройства.");

static const QColor color_error(128, 0, 0);
static constexpr unsigned short module = 14;

// The window's own debug codes, after those of the shared list window.
enum Failure_code : unsigned short {
    code_connect_retry = module << 8 | 8,
    code_retry = module << 8 | 9, // stirred by the retry, and its unexpected exception
};

void select_failure_with_errors(Collection& out) {
    out.select_failure(configuration);
    Devices& d = out.devices;
    const int align = int(Qt::AlignLeft | Qt::AlignVCenter);
    d.value_columns = {Value_column{caption_error_column.caption(), caption_error_column.hint(),
                                    align, QBrush(color_error)},
                       Value_column{caption_class_column.caption(), caption_class_column.hint(),
                                    align, QBrush(color_error)}};
    d.value_count = 2;
    d.notes_position = 2;
    d.value_texts.resize(2 * int(d.count));
    for (unsigned i = 0; i < d.count; ++i) {
        const Device* device = d.rows[i].device;
        d.value_texts[2 * int(i)] = device->error_text;
        d.value_texts[2 * int(i) + 1] = fail_class_display(Fail_class(device->fail_class));
    }
}

// The last column, the reason, must show when the list opens: it is as wide as the longest class
// name, the error text and then the notes give up what the screen lacks (a longer text is
// elided and whole in its tooltip), and the window is as wide as its columns.
static void fit_columns(Dialog_result_list& list) {
    enum { col_notes = 2, col_error = 3, col_reason = 4 };
    QHeaderView* header = list.table_devices->horizontalHeader();
    const QFontMetrics fm = list.table_devices->fontMetrics();
    int reason = header->sectionSizeHint(col_reason);
    for (unsigned c = fail_none + 1; c < fail_class_count; ++c)
        reason = std::max(reason,
                          column_pad() + fm.horizontalAdvance(fail_class_display(Fail_class(c))));
    header->resizeSection(col_reason, reason);
    const QScreen* screen = QGuiApplication::primaryScreen();
    // Never narrower than its buttons allow.
    const int available = std::max(screen ? screen->availableGeometry().width() * 9 / 10 : 1200,
                                   list.minimumSizeHint().width());
    // The table's own width hint leaves out the row numbers.
    const int row_numbers = list.table_devices->verticalHeader()->sizeHint().width();
    const int chrome = list.sizeHint().width() + row_numbers - header->length();
    const int least = column_pad() + 10 * fm.averageCharWidth();
    for (int column : {int(col_error), int(col_notes)}) {
        const int excess = chrome + header->length() - available;
        const int size = header->sectionSize(column);
        if (excess > 0 && size > least)
            header->resizeSection(column, std::max(size - excess, least));
    }
    list.resize(std::min(chrome + header->length(), available), list.sizeHint().height());
}

Dialog_failure::Dialog_failure(Collection& collection, QWidget* parent, const Action* action)
    : Dialog_result_list(parent), collection(&collection), action(action) {
    const Result_list_texts texts{&title_failure, &caption_servers,
                                  &hint_close,    hint_copy_devices() + hint_copy_tail.tr(),
                                  &hint_write,    module};
    build(collection, texts, 5, 2,
          {caption_field_server(), caption_field_imei(), caption_field_notes(),
           caption_error_column.caption(), caption_class_column.caption(), caption_field_all()},
          {0, 1, 2, 3, 4, -1});
    if (action) {
        QPushButton* retry =
            button_box->addButton(caption_retry.caption(), QDialogButtonBox::ActionRole);
        retry->setObjectName(QStringLiteral("btn_retry"));
        retry->setToolTip(caption_retry.hint());
        if (!connect(retry, &QPushButton::clicked, this, &Dialog_failure::on_btn_retry_clicked))
            log_debug(code_connect_retry);
    }
    // After every button: the window is never narrower than they need.
    fit_columns(*this);
}

// The shown rows, after the filter, pick the devices of the configuration that the same
// action serves again; the others keep their results.
void Dialog_failure::on_btn_retry_clicked() {
    update_random_number_generator(code_retry);
    try {
        QSet<const Device*> shown;
        const QAbstractItemModel* view = table_devices->model();
        for (int r = 0; r < view->rowCount(); ++r) {
            const int row = table_devices->proxy->mapToSource(view->index(r, 0)).row();
            if (row >= 0 && unsigned(row) < collection->devices.count)
                shown.insert(collection->devices.rows[row].device);
        }
        if (shown.isEmpty()) {
            show_error(errtext_nothing_to_retry.tr(), this);
            return;
        }
        Rollout_setup setup = desktop_rollout_setup(*action);
        const Devices& all = configuration.devices;
        setup.only.assign(all.count, 0);
        for (unsigned i = 0; i < all.count; ++i)
            setup.only[i] = shown.contains(all.rows[i].device) ? 1 : 0;
        {
            Dialog_exchange exchange(this, *action, setup);
            retried = true;
            exchange.exec();
        }
        accept();
    } catch (const std::exception& e) {
        show_exception(e, this);
    } catch (...) {
        show_debug(code_retry, this);
    }
}

// Only a list written whole may count as saved: a filtered one leaves failures unwritten.
void Dialog_failure::list_written(bool complete) {
    if (complete)
        saved = true;
}

void dialog_failure_clear_translation() {
    title_failure.clear();
    caption_servers.clear();
    hint_close.clear();
    hint_copy_tail.clear();
    hint_write.clear();
    caption_error_column.clear();
    caption_class_column.clear();
    caption_retry.clear();
    errtext_nothing_to_retry.clear();
}
