#include "ui/device_paste.h"

#include "config/config.h"
#include "config/device_import.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "ui/dialog_import_devices.h"
#include "ui/table_devices.h"
#include "ui/table_servers.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>

// Made-up debug codes of the paste, counted by the compiler.
enum Device_paste_code : unsigned short {
    code_paste = 0x1F01, // the handler's salt and its catch-all
    code_connect_paste,
};

static Tr caption_paste("import", "Вставить устройства");
static Tr errtext_clipboard_empty(
    "import", "В системном буфере нет текста. Скопируйте в таблице (например, в электронной "
              "таблице) строчки с IMEI, PIN-кодами и комментариями и попробуйте ещё раз.");

void device_paste_clear_translation() {
    caption_paste.clear();
    errtext_clipboard_empty.clear();
}

int paste_devices(QWidget* parent, const QString& text, int server) {
    if (text.trimmed().isEmpty()) {
        show_error(errtext_clipboard_empty.tr(), parent);
        return 0;
    }
    const Device_import imp = read_device_list(text, configuration, server);
    Dialog_import_devices preview(imp, parent);
    if (preview.exec() != QDialog::Accepted || imp.added.isEmpty())
        return 0;
    add_imported_devices(configuration, imp);
    return imp.added.size();
}

void install_device_paste(Table_devices& devices, Table_servers& servers,
                          std::function<void()> added) {
    auto* action = new QAction(caption_paste.tr(), &devices);
    action->setObjectName(QStringLiteral("action_paste_devices"));
    action->setShortcut(QKeySequence::Paste);
    action->setShortcutContext(Qt::WidgetShortcut);
    devices.addAction(action);
    Table_devices* view = &devices;
    Table_servers* from = &servers;
    auto paste = [view, from, added = std::move(added)] {
        update_random_number_generator(code_paste);
        try {
            int server = no_server;
            try {
                server = from->selected_row();
            } catch (const Err&) {
                // No server selected: only rows that name theirs can be taken.
            }
            if (paste_devices(view, QApplication::clipboard()->text(), server) > 0)
                added();
        } catch (const std::exception& e) {
            show_exception(e, view);
        } catch (...) {
            show_debug(code_paste, view);
        }
    };
    if (!QObject::connect(action, &QAction::triggered, view, paste))
        log_debug(code_connect_paste);
}
