#include "ui/dialog_about.h"

#include "foundation/err.h"
#include "ui/interface.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

static Tr title_about("about", "О программе");

Ebox_about::Ebox_about(QWidget* parent) : QTextEdit(parent) {}

QSize Ebox_about::sizeHint() const {
    return QSize(85 * module_w, 10 * module_h);
}

// GCC takes __DATE__ and __TIME__ from SOURCE_DATE_EPOCH when it is set (in UTC), so a
// reproducible build shows the time of its commit (scripts/package.sh).
QString Dialog_about::build_date() {
    // __DATE__ pads a one-digit day with a space ("Dec  8 2026"); show it single-spaced.
    return QString::fromLatin1(__DATE__).simplified();
}

QString Dialog_about::build_time() {
    return QString::fromLatin1(__TIME__);
}

QString Dialog_about::about() {
    return QCoreApplication::translate(
               "Dialog_about",
               "%1, версия %2 (%3), сборка %4 %5\n\nПрограмма предназначена для закачки "
               "файла прошивки на устройства, подключенные к серверу «zelmo_server».",
               nullptr, -1)
        .arg(QString::fromLatin1(program_name), QString::fromLatin1(program_version),
             QCoreApplication::translate("Dialog_about", "17 января 2019", nullptr, -1),
             build_date(), build_time());
}

Dialog_about::Dialog_about(QWidget* parent)
    : QDialog(parent, Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    init_fonts(*this);
    setWindowTitle(title_about.tr());
    auto* layout = new QVBoxLayout(this);
    auto* ebox = new Ebox_about(this);
    ebox->setObjectName(QStringLiteral("ebox_about"));
    ebox->setReadOnly(true);
    ebox->setPlainText(about());
    layout->addWidget(ebox);
    auto* buttons = new QDialogButtonBox(Qt::Horizontal, this);
    QPushButton* close = buttons->addButton(close_caption(), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("btn_close"));
    close->setToolTip(close_hint());
    layout->addWidget(buttons);
    if (!connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject))
        log_debug(4353);
}

bool about_on_f1(QKeyEvent* event, QWidget* parent) {
    if (event->key() != Qt::Key_F1 || event->modifiers() != Qt::NoModifier)
        return false;
    Dialog_about(parent).exec();
    return true;
}

void dialog_about_clear_translation() {
    title_about.clear();
}
