#include "ui/config_files_gui.h"

#include "config/config_codes.h"
#include "config/container.h"
#include "config/dialog_decrypt.h"
#include "config/dialog_encrypt.h"
#include "foundation/err.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

static Tr title_save("write", "В какой файл записать конфигурацию?");
static Tr filter_save("write", "Файлы конфигурации (*.zelmo_upload);;Все файлы (*.*)");
static Tr errfmt_no_folder("write", "Папки «%1» не существует. Выберите другую папку или сначала "
                                    "создайте эту.");
static Tr title_encrypted("decrypt", "Файл зашифрован - введите пароль");
static Tr title_wrong_password("decrypt", "Пароль не подошёл - попробуйте ещё раз");

void config_files_clear_translation() {
    title_save.clear();
    filter_save.clear();
    errfmt_no_folder.clear();
    title_encrypted.clear();
    title_wrong_password.clear();
}

bool save_to_file(QWidget* parent, const QString& text) {
    try {
        for (;;) {
            const QString name =
                QFileDialog::getSaveFileName(parent, title_save.tr(), QString(), filter_save.tr());
            if (name.isEmpty())
                return false;
            // Before the password, which would be asked in vain.
            const QDir folder = QFileInfo(name).absoluteDir();
            if (!folder.exists()) {
                show_error(errfmt_no_folder.tr().arg(QDir::toNativeSeparators(folder.path())),
                           parent);
                continue;
            }
            // "Назад" goes back to the choice of the file name.
            Dialog_encrypt dialog(parent);
            if (dialog.exec() != QDialog::Accepted)
                continue;
            write_config_file(name, text.toUtf8(), dialog.password, dialog.form);
            return true;
        }
    } catch (const std::exception& e) {
        show_exception(e, parent);
    } catch (...) {
        show_debug(code_save_to_file, parent);
    }
    return false;
}

bool load_from_file(QWidget* parent, const QString& file_name, QByteArray& bytes) {
    QByteArray file;
    load_file(file_name, file);
    if (file.isEmpty()) {
        bytes.clear();
        return true;
    }
    if (!is_container(file)) {
        check_plain_config(file, file_name);
        bytes = std::move(file);
        return true;
    }
    check_container_header(file, file_name);
    // A wrong password is no error: ask again, as often as the user likes.
    for (Tr* title = &title_encrypted;; title = &title_wrong_password) {
        Dialog_decrypt dialog(parent, title->tr());
        if (dialog.exec() != QDialog::Accepted)
            return false;
        if (decode_container_if(file, file_name, dialog.password, bytes))
            return true;
    }
}
