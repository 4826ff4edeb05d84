// Saving and opening encrypted configuration files through the windows a user sees: the
// modern form by default, the older one with the compatibility box, a refused header before
// any password, and a fleet of 999 999 devices read back by the desktop and by zelmo_batch.
#include "config/container.h"
#include "config/dialog_decrypt.h"
#include "config/dialog_encrypt.h"
#include "foundation/err.h"
#include "support/batch_process.h"
#include "support/modal.h"
#include "ui/config_files_gui.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

static std::function<void(QWidget*)> encrypt_with(const QString& pw, bool compatible) {
    return [pw, compatible](QWidget* w) {
        auto* d = qobject_cast<Dialog_encrypt*>(w);
        QVERIFY(d);
        auto* cbox = d->findChild<QCheckBox*>("cbox_compatible");
        QVERIFY(!cbox->isChecked());
        if (compatible)
            QTest::mouseClick(cbox, Qt::LeftButton, {}, QPoint(4, cbox->height() / 2));
        d->findChild<QLineEdit*>("ebox_password")->setText(pw);
        d->findChild<QLineEdit*>("ebox_confirm")->setText(pw);
        d->findChild<QPushButton*>("btn_continue")->click();
    };
}

static std::function<void(QWidget*)> decrypt_with(const QString& pw) {
    return [pw](QWidget* w) {
        auto* d = qobject_cast<Dialog_decrypt*>(w);
        QVERIFY(d);
        d->findChild<QLineEdit*>("ebox_password")->setText(pw);
        d->accept();
    };
}

static QStringList titles(const Modal_script& s) {
    QStringList t;
    for (const Modal_script::Seen& seen : s.seen)
        t << seen.title;
    return t;
}

// The text as the program writes it: servers by port, devices by IMEI, 1001 to a server (the
// program takes at most 999 servers).
static QByteArray fleet_text(int devices) {
    QByteArray t =
        "# Содержимое этого файла сформировано программой zelmo_upload " ZELMO_VERSION ".\n";
    uint32_t r = 12345;
    for (int i = 0; i < devices; ++i) {
        if (i % 1001 == 0) {
            if (i)
                t += "}\n";
            t += "\nserver(address \"127.0.0.1\", port " + QByteArray::number(4001 + i / 1001) +
                 ")\n{\n";
        }
        r = r * 1103515245u + 12345u;
        t += " device(imei " + QByteArray::number(350000000000000LL + i) + ", pin \"" +
             QByteArray::number((r >> 8) % 10000).rightJustified(4, '0') + "\")\n";
    }
    return t + "}\n";
}

class tst_Config_file_forms : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QByteArray log_name;

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        log_name = dir.filePath("test.log").toLocal8Bit();
        log_file_name = log_name.constData();
    }
    void save_and_reopen_data();
    void save_and_reopen();
    void refused_header_asks_for_no_password();
    void fleet_of_999999_devices();
};

void tst_Config_file_forms::save_and_reopen_data() {
    QTest::addColumn<bool>("compatible");
    QTest::addColumn<QByteArray>("magic");
    QTest::newRow("the default is the modern form") << false << QByteArray("\x97\xA2");
    QTest::newRow("the compatibility box writes the older form") << true << QByteArray("\x97\xA1");
}

void tst_Config_file_forms::save_and_reopen() {
    QFETCH(bool, compatible);
    QFETCH(QByteArray, magic);
    const QString text = QStringLiteral("server(address \"хост\", port 1)\n{\n device(imei 5, pin "
                                        "\"0005\")\n}\n");
    const QString name = dir.filePath(compatible ? "b.zelmo_upload" : "c.zelmo_upload");
    Modal_script save;
    save.choose_file(name).then(encrypt_with("тайна", compatible));
    QVERIFY(save_to_file(nullptr, text));
    QVERIFY2(save.all_answered(), qPrintable(save.unexpected.join('\n')));
    QByteArray file;
    load_file(name, file);
    QCOMPARE(file.left(2), magic);

    Modal_script open;
    open.then(decrypt_with("тайна ")).then(decrypt_with("тайна"));
    QByteArray bytes;
    QVERIFY(load_from_file(nullptr, name, bytes));
    QVERIFY2(open.all_answered(), qPrintable(open.unexpected.join('\n')));
    QCOMPARE(bytes, text.toUtf8());
    QCOMPARE(titles(open), QStringList({"Файл зашифрован - введите пароль",
                                        "Пароль не подошёл - попробуйте ещё раз"}));
}

// A header that asks for 100 passes is refused at once: no password window opens.
void tst_Config_file_forms::refused_header_asks_for_no_password() {
    const QString name = dir.filePath("forged.zelmo_upload");
    write_config_file(name, "server(address \"h\", port 1)\n{\n}\n", "p");
    QByteArray file;
    load_file(name, file);
    qToLittleEndian<quint32>(100, file.data() + 3);
    write_file(name, file);

    Modal_script none;
    QByteArray bytes = "untouched";
    QString message;
    try {
        load_from_file(nullptr, name, bytes);
    } catch (const Err& e) {
        message = e.message;
    }
    QCOMPARE(message, QString("Файл «%1» повреждён или записан не этой программой: число проходов "
                              "вычисления ключа из пароля (100) вне допустимых пределов (от 1 до "
                              "10).")
                          .arg(name));
    QVERIFY(none.seen.isEmpty());
    QCOMPARE(bytes, QByteArray("untouched"));
}

// About 44 MB of text, far beyond the older form's 16 MiB: saved by the desktop, opened by
// the desktop and by zelmo_batch, which prints it back unchanged.
void tst_Config_file_forms::fleet_of_999999_devices() {
    const QByteArray text = fleet_text(999999);
    QVERIFY(text.size() > 40000000);
    const QString name = dir.filePath("fleet.zelmo_upload");
    Modal_script save(600000);
    save.choose_file(name).then(encrypt_with("флот", false));
    QVERIFY(save_to_file(nullptr, QString::fromUtf8(text)));
    QVERIFY2(save.all_answered(), qPrintable(save.unexpected.join('\n')));

    Modal_script open;
    open.then(decrypt_with("флот"));
    QByteArray bytes;
    QVERIFY(load_from_file(nullptr, name, bytes));
    QVERIFY(bytes == text);

    write_file(dir.filePath("fleet_pw"), "флот\n");
    const Batch_outcome o = run_batch(QStringLiteral(ZELMO_BATCH_PATH), dir.path(),
                                      {"check", name, "--password-file", dir.filePath("fleet_pw")});
    QCOMPARE(o.err, QString());
    QCOMPARE(o.code, 0);
    QCOMPARE(o.out.size(), text.size());
    QVERIFY(o.out == text);
}

QTEST_MAIN(tst_Config_file_forms)
#include "tst_config_file_forms.moc"
