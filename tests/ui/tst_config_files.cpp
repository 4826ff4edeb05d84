#include "config/container.h"
#include "config/dialog_decrypt.h"
#include "config/dialog_encrypt.h"
#include "foundation/err.h"
#include "ui/config_files_gui.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

// Answers the modal windows that open, in order, one step each; a window beyond the
// script is recorded as unexpected and closed, so a test never hangs on a box.
class Modal_script {
public:
    using Step = std::function<void(QWidget*)>;
    explicit Modal_script(QList<Step> steps) : steps(std::move(steps)) {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start();
    }
    QStringList seen; // "class: title" of every window answered
    int left() const { return steps.size() - done; }

private:
    void poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w)
            return;
        if (w->property("answered").isValid()) {
            if (++stuck_ticks > 500) { // the answer did not close it: fail, do not hang
                seen << QString("stuck %1").arg(w->windowTitle());
                w->close();
                stuck_ticks = 0;
            }
            return;
        }
        stuck_ticks = 0;
        w->setProperty("answered", true);
        seen << QString("%1: %2").arg(w->metaObject()->className(), w->windowTitle());
        if (done < steps.size()) {
            steps[done++](w);
        } else {
            seen.last().prepend("unexpected ");
            w->close();
        }
    }
    QList<Step> steps;
    int done = 0;
    int stuck_ticks = 0;
    QTimer timer;
};

static Modal_script::Step pick_file(const QString& name) {
    return [name](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        QVERIFY(d);
        // selectFile() leaves the name field alone while it has the focus; type it instead.
        auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(edit);
        edit->setText(name);
        static_cast<QDialog*>(d)->accept(); // QFileDialog's own accept, through the base
    };
}
static Modal_script::Step encrypt_with(const QString& pw, bool compatible = false) {
    return [pw, compatible](QWidget* w) {
        auto* d = qobject_cast<Dialog_encrypt*>(w);
        QVERIFY(d);
        d->findChild<QLineEdit*>("ebox_password")->setText(pw);
        d->findChild<QLineEdit*>("ebox_confirm")->setText(pw);
        d->findChild<QCheckBox*>("cbox_compatible")->setChecked(compatible);
        d->accept();
    };
}
static Modal_script::Step decrypt_with(const QString& pw) {
    return [pw](QWidget* w) {
        auto* d = qobject_cast<Dialog_decrypt*>(w);
        QVERIFY(d);
        d->findChild<QLineEdit*>("ebox_password")->setText(pw);
        d->accept();
    };
}
static void reject(QWidget* w) {
    static_cast<QDialog*>(w)->reject();
}

static const QString text = QStringLiteral("server(address \"хост\", port 1)\n{\n}\n");
static const QString save_title =
    QStringLiteral("QFileDialog: В какой файл записать конфигурацию?");
static const QString encrypt_title =
    QStringLiteral("Dialog_encrypt: Введите пароль для шифрования файла");
static const QString first_title =
    QStringLiteral("Dialog_decrypt: Файл зашифрован - введите пароль");
static const QString again_title =
    QStringLiteral("Dialog_decrypt: Пароль не подошёл - попробуйте ещё раз");

class tst_Config_files : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        static QByteArray log = dir.filePath("test.log").toLocal8Bit();
        log_file_name = log.constData();
    }
    void saving_and_loading_encrypted();
    void wrong_password_asks_again_until_cancel();
    void back_returns_to_the_file_name_and_cancel_writes_nothing();
    void saving_plain_text();
    void failed_save_is_shown_and_reported();
    void missing_folder_is_named_before_the_password();
};

void tst_Config_files::saving_and_loading_encrypted() {
    const QString name = dir.filePath("a.zelmo_upload");
    {
        Modal_script s({pick_file(name), encrypt_with("пароль")});
        QVERIFY(save_to_file(nullptr, text));
        QCOMPARE(s.seen, QStringList({save_title, encrypt_title}));
    }
    QByteArray file;
    load_file(name, file);
    QVERIFY(is_container(file));

    // A trailing space makes another password; the dialog comes back until it fits.
    Modal_script s({decrypt_with("wrong"), decrypt_with("пароль "), decrypt_with("пароль")});
    QByteArray bytes;
    QVERIFY(load_from_file(nullptr, name, bytes));
    QCOMPARE(bytes, text.toUtf8());
    QCOMPARE(s.seen, QStringList({first_title, again_title, again_title}));
}

void tst_Config_files::wrong_password_asks_again_until_cancel() {
    const QString name = dir.filePath("b.zelmo_upload");
    write_config_file(name, text.toUtf8(), "right");
    Modal_script s({decrypt_with("x"), reject});
    QByteArray bytes = "untouched";
    QVERIFY(!load_from_file(nullptr, name, bytes));
    QCOMPARE(bytes, QByteArray("untouched"));
    QCOMPARE(s.seen, QStringList({first_title, again_title})); // no message box
}

void tst_Config_files::back_returns_to_the_file_name_and_cancel_writes_nothing() {
    const QString name = dir.filePath("c.zelmo_upload");
    Modal_script s({pick_file(name), reject, reject});
    QVERIFY(!save_to_file(nullptr, text));
    QCOMPARE(s.seen, QStringList({save_title, encrypt_title, save_title}));
    QVERIFY(!QFile::exists(name));
}

void tst_Config_files::saving_plain_text() {
    const QString name = dir.filePath("d.zelmo_upload");
    {
        Modal_script s({pick_file(name), encrypt_with("")});
        QVERIFY(save_to_file(nullptr, text));
    }
    Modal_script none({});
    QByteArray bytes;
    QVERIFY(load_from_file(nullptr, name, bytes));
    QCOMPARE(bytes, "\xEF\xBB\xBF" + text.toUtf8());
    QVERIFY(none.seen.isEmpty());
}

void tst_Config_files::failed_save_is_shown_and_reported() {
    const QString name = dir.filePath("e.zelmo_upload");
    QString box_text;
    // The older form holds at most 16 MiB of text.
    Modal_script s({pick_file(name), encrypt_with("p", true), [&box_text](QWidget* w) {
                        auto* box = qobject_cast<QMessageBox*>(w);
                        QVERIFY(box);
                        box_text = box->text();
                        box->close();
                    }});
    QVERIFY(!save_to_file(nullptr, QString(16777216, 'a')));
    QCOMPARE(s.left(), 0);
    QVERIFY2(box_text.startsWith("Не получится записать эту конфигурацию в зашифрованном виде"),
             qPrintable(box_text));
    QVERIFY(!QFile::exists(name));
}

void tst_Config_files::missing_folder_is_named_before_the_password() {
    const QString folder = dir.filePath("missing");
    const QString name = folder + "/f.zelmo_upload";
    QString box_text;
    Modal_script s({pick_file(name),
                    [&box_text](QWidget* w) {
                        auto* box = qobject_cast<QMessageBox*>(w);
                        QVERIFY(box);
                        box_text = box->text();
                        box->close();
                    },
                    reject});
    QVERIFY(!save_to_file(nullptr, text));
    QCOMPARE(s.seen.size(), 3);
    QCOMPARE(s.seen[0], save_title);
    QVERIFY2(s.seen[1].startsWith("QMessageBox"), qPrintable(s.seen[1]));
    QCOMPARE(s.seen[2], save_title); // back to the choice of the file, no password asked
    QCOMPARE(box_text, QStringLiteral("Папки «%1» не существует. Выберите другую папку или "
                                      "сначала создайте эту.")
                           .arg(QDir::toNativeSeparators(folder)));
    QVERIFY(!QFile::exists(name));
}

QTEST_MAIN(tst_Config_files)
#include "tst_config_files.moc"
