#include "ui/dialog_enumerate.h"

#include "foundation/err.h"
#include "ui/dialog_texts.h"
#include "ui/interface.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

static Tr title("enumerate", "Запрос");
static Tr_with_hint caption_abort(
    "enumerate", "Прервать запрос",
    "Если вы нажмёте эту кнопку, процедура запроса списка устройств у\nсервера будет прервана. "
    "Список устройств получен не будет, но вы\nсможете вернуться в исходное окно.");
static Tr title_empty("enumerate", "Результат запроса списка устройств");
static Tr text_empty("enumerate",
                     "Сервер сообщил, что к нему сейчас не подключено ни одно устройство.");

void dialog_enumerate_clear_translation() {
    title.clear();
    caption_abort.clear();
    title_empty.clear();
    text_empty.clear();
}

Dialog_enumerate::Dialog_enumerate(QWidget* parent, Server& server, Enumerated& model)
    : QDialog(parent, dialog_flags), enumerate(model) {
    init_fonts(*this);
    setWindowTitle(title.tr());
    auto* layout = new QVBoxLayout(this);
    buttons = new QDialogButtonBox(Qt::Horizontal, this);
    btn_abort = buttons->addButton(caption_abort.caption(), QDialogButtonBox::DestructiveRole);
    btn_abort->setObjectName(QStringLiteral("btn_abort"));
    btn_abort->setToolTip(caption_abort.hint());
    layout->addWidget(buttons);
    if (!connect(btn_abort, &QPushButton::clicked, this, &QDialog::reject))
        log_debug(0x1301);
    // Last: the connection is being made while the window opens.
    enumerate.start(server, *this);
}

Dialog_enumerate::~Dialog_enumerate() {
    if (!(done_flags & reported))
        enumerate.stop();
}

void Dialog_enumerate::done(int result) {
    closed = true;
    QDialog::done(result);
}

void Dialog_enumerate::finish(int result) {
    if (closed)
        return;
    if (isVisible()) {
        done(result);
        return;
    }
    // Reported before exec(): a done() now would be undone when the window is shown.
    QTimer::singleShot(0, this, [this, result] { done(result); });
}

void Dialog_enumerate::success() {
    done_flags |= reported;
    finish(QDialog::Accepted);
}

void Dialog_enumerate::failure(const QString& text) {
    done_flags |= reported;
    if (closed)
        return;
    show_error(text, this);
    finish(QDialog::Rejected);
}

void Dialog_enumerate::empty_success() {
    done_flags |= reported;
    if (closed)
        return;
    show_info(title_empty.tr(), text_empty.tr(), this);
    finish(QDialog::Rejected);
}
