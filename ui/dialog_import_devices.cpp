#include "ui/dialog_import_devices.h"

#include "config/device_import.h"
#include "foundation/err.h"
#include "ui/dialog_texts.h"
#include "ui/interface.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>

// Made-up debug codes of the preview window, counted by the compiler.
enum Dialog_import_devices_code : unsigned short {
    code_connect_accepted = 0x1F03,
    code_connect_rejected,
};

static Tr title("import", "Вставка устройств");
static Tr errfmt_summary("import", "Будет добавлено устройств: %1. Уже есть в конфигурации: %2. "
                                   "Отвергнуто строк: %3.");
static Tr caption_header_skipped("import", "Первая строка принята за заголовок и пропущена.");
static Tr caption_added("import", "Будут добавлены:");
static Tr errfmt_added_row("import",
                           "строка %1: сервер %2, IMEI %3, PIN-код «%4», комментарий «%5»");
static Tr caption_duplicates("import", "Уже есть (добавлены не будут):");
static Tr caption_bad("import", "Отвергнутые строки:");
static Tr caption_warnings("import", "Предупреждения (строки будут добавлены):");
static Tr_with_hint
    caption_add_devices("import", "Добавить",
                        "Если вы нажмёте эту кнопку, в конфигурацию будут добавлены все "
                        "устройства\nиз списка «Будут добавлены» сразу, одним действием.");
static Tr hint_cancel("import", "Если вы нажмёте эту кнопку, окно закроется, и в конфигурации "
                                "ничего\nне изменится.");

void dialog_import_devices_clear_translation() {
    for (Tr* t :
         {&title, &errfmt_summary, &caption_header_skipped, &caption_added, &errfmt_added_row,
          &caption_duplicates, &caption_bad, &caption_warnings, &hint_cancel})
        t->clear();
    caption_add_devices.clear();
}

QString import_preview_text(const Device_import& imp) {
    QString out;
    out.reserve(imp.added.size() * 96);
    if (imp.header_skipped)
        out += caption_header_skipped.tr() + QLatin1Char('\n');
    if (!imp.bad.isEmpty()) {
        out += caption_bad.tr() + QLatin1Char('\n');
        for (const Import_problem& p : imp.bad)
            out += import_problem_line(p) + QLatin1Char('\n');
    }
    if (!imp.warnings.isEmpty()) {
        out += caption_warnings.tr() + QLatin1Char('\n');
        for (const Import_problem& p : imp.warnings)
            out += import_problem_line(p) + QLatin1Char('\n');
    }
    if (!imp.duplicates.isEmpty()) {
        out += caption_duplicates.tr() + QLatin1Char('\n');
        for (const Import_row& r : imp.duplicates)
            out += import_duplicate_line(r) + QLatin1Char('\n');
    }
    if (!imp.added.isEmpty()) {
        out += caption_added.tr() + QLatin1Char('\n');
        const QString& fmt = errfmt_added_row.tr();
        for (const Import_row& r : imp.added)
            out += fmt.arg(r.line)
                       .arg(r.server + 1)
                       .arg(imei_to_str(r.imei),
                            QString::fromLatin1(r.pin, int(strnlen(r.pin, pin_size))), r.notes) +
                   QLatin1Char('\n');
    }
    return out;
}

Dialog_import_devices::Dialog_import_devices(const Device_import& imp, QWidget* parent)
    : QDialog(parent, dialog_flags | Qt::WindowMaximizeButtonHint) {
    init_fonts(*this);
    setWindowTitle(title.tr());
    auto* layout = new QVBoxLayout(this);
    auto* summary = new QLabel(
        errfmt_summary.tr().arg(imp.added.size()).arg(imp.duplicates.size()).arg(imp.bad.size()),
        this);
    summary->setObjectName(QStringLiteral("label_summary"));
    layout->addWidget(summary);
    list = new QPlainTextEdit(this);
    list->setObjectName(QStringLiteral("list_preview"));
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    list->setPlainText(import_preview_text(imp));
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(Qt::Horizontal, this);
    btn_add = buttons->addButton(caption_add_devices.caption(), QDialogButtonBox::AcceptRole);
    btn_add->setObjectName(QStringLiteral("btn_add"));
    btn_add->setToolTip(caption_add_devices.hint());
    btn_add->setEnabled(!imp.added.isEmpty());
    btn_cancel = buttons->addButton(caption_cancel(), QDialogButtonBox::RejectRole);
    btn_cancel->setObjectName(QStringLiteral("btn_cancel"));
    btn_cancel->setToolTip(hint_cancel.tr());
    layout->addWidget(buttons);
    if (!connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept))
        log_debug(code_connect_accepted);
    if (!connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject))
        log_debug(code_connect_rejected);
    resize(70 * w_dec_big, 25 * module_h);
}
