// The version check of the page's uploads: the version the devices must show, the parameter
// that shows it, and whether to skip the devices that show it already and to read it again
// after the upload. An empty version means no check: the upload runs as it always did.
#include "engine/params.h"
#include "foundation/err.h"
#include "ui/desktop_rollout.h"
#include "ui/interface.h"
#include "ui/page_cfg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

static Tr_with_hint caption_version(
    "page_cfg", "Ожидаемая версия",
    "Версия, которую устройство должно сообщать после закачки файла, в\nточности как её "
    "показывает «Собрать информацию» (большие и\nмаленькие буквы различаются).\n\nЕсли "
    "поле пустое, версия не проверяется и закачка идёт как обычно.");
static Tr_with_hint caption_version_param(
    "page_cfg", "в параметре",
    "Какой из параметров версии устройства сравнивается с ожидаемой\nверсией: версия "
    "основной прошивки, прошивки модема или прошивки\nнавигационного приёмника.");
static Tr_with_hint caption_skip_current(
    "page_cfg", "Пропускать устройства с этой версией",
    "Если этот флажок установлен, программа перед закачкой спросит у\nкаждого устройства "
    "его версию. Устройство, которое уже сообщает\nожидаемую версию, файл не получит и будет "
    "считаться успешно\nобслуженным (отдельно от тех, на которые файл закачан). Если\n"
    "версия другая или устройство не ответило на запрос, файл\nзакачивается как обычно.");
static Tr_with_hint caption_verify(
    "page_cfg", "Проверить версию после закачки",
    "Если этот флажок установлен, программа после закачки (и повторных\nпроходов) подождёт "
    "столько, сколько указано в параметре «Задержка\nперед проверкой версии» тонкой "
    "настройки, и ещё раз спросит версию\nу всех устройств, на которые закачан файл. "
    "Устройство, которое\nсообщит другую версию, будет в списке неудач с причиной «версия\n"
    "не подтвердилась».");
static Tr
    errtext_nothing_checked("page_cfg",
                            "Указана ожидаемая версия, но не отмечено, что с ней делать. Отметьте "
                            "«Пропускать устройства с этой версией» и/или «Проверить версию после "
                            "закачки» или сотрите ожидаемую версию.");
static Tr errfmt_bad_char("page_cfg", "В ожидаемой версии есть символ «%1», которого не бывает "
                                      "в версиях устройств: с ней не совпадёт ни одна версия.");

// Whether a version shown by Param_cp1251::show can hold the character: printable ASCII (the
// other bytes show as escapes of it) or a Windows-1251 letter.
static bool shown_in_versions(QChar c) {
    const char16_t u = c.unicode();
    if (u >= 0x20 && u < 0x7F)
        return true;
    for (unsigned b = 0x80; b <= 0xFF; ++b)
        if (cp1251_char(static_cast<unsigned char>(b)) == u)
            return true;
    return false;
}

void Page_cfg::add_version_rows(QGridLayout* grid, int row) {
    auto* label_version = new QLabel(caption_version.caption(), this);
    label_version->setToolTip(caption_version.hint());
    ebox_version = new QLineEdit(this);
    ebox_version->setObjectName(QStringLiteral("ebox_version"));
    ebox_version->setFont(font_value_big);
    ebox_version->setToolTip(caption_version.hint());
    // A stored version is at most 255 bytes, and one byte shows as at most four characters.
    ebox_version->setMaxLength(4 * 255);
    label_version->setBuddy(ebox_version);
    grid->addWidget(label_version, row, 0);
    grid->addWidget(ebox_version, row, 1);

    auto* label_param = new QLabel(caption_version_param.caption(), this);
    label_param->setToolTip(caption_version_param.hint());
    cbox_version_param = new QComboBox(this);
    cbox_version_param->setObjectName(QStringLiteral("cbox_version_param"));
    cbox_version_param->setToolTip(caption_version_param.hint());
    for (uint64_t i = 0; i < gather_params->count; ++i)
        cbox_version_param->addItem(gather_params->items[i]->name);
    label_param->setBuddy(cbox_version_param);
    // Together, whatever width the device file name above gives the columns.
    auto* param_row = new QHBoxLayout;
    param_row->addWidget(label_param);
    param_row->addWidget(cbox_version_param);
    param_row->addStretch(1);
    grid->addLayout(param_row, row, 2, 1, -1);

    auto* checks = new QHBoxLayout;
    chk_skip_current = new QCheckBox(caption_skip_current.caption(), this);
    chk_skip_current->setObjectName(QStringLiteral("chk_skip_current"));
    chk_skip_current->setToolTip(caption_skip_current.hint());
    chk_verify = new QCheckBox(caption_verify.caption(), this);
    chk_verify->setObjectName(QStringLiteral("chk_verify"));
    chk_verify->setToolTip(caption_verify.hint());
    // Typing a version is asking for its check: both are on until unticked.
    chk_skip_current->setChecked(true);
    chk_verify->setChecked(true);
    checks->addWidget(chk_skip_current);
    checks->addSpacing(2 * module_w);
    checks->addWidget(chk_verify);
    checks->addStretch(1);
    grid->addLayout(checks, row + 1, 1, 1, -1);
    on_version_changed(QString());
}

// The parameter and the check boxes mean something only with a version to check.
void Page_cfg::on_version_changed(const QString& text) {
    const bool on = !text.isEmpty();
    cbox_version_param->setEnabled(on);
    chk_skip_current->setEnabled(on);
    chk_verify->setEnabled(on);
}

void Page_cfg::req_version() {
    Version_check check;
    check.expected = ebox_version->text();
    if (!check.expected.isEmpty()) {
        for (QChar c : check.expected)
            if (!shown_in_versions(c))
                throw Err(errfmt_bad_char.tr().arg(c));
        if (!chk_skip_current->isChecked() && !chk_verify->isChecked())
            throw Err(errtext_nothing_checked.tr());
        const int param = cbox_version_param->currentIndex();
        check.param = param > 0 ? unsigned(param) : 0;
        check.skip_current = chk_skip_current->isChecked();
        check.verify = chk_verify->isChecked();
    }
    desktop_version_check = check;
}

void page_cfg_version_clear_translation() {
    for (Tr_with_hint* t :
         {&caption_version, &caption_version_param, &caption_skip_current, &caption_verify})
        t->clear();
    errtext_nothing_checked.clear();
    errfmt_bad_char.clear();
}
