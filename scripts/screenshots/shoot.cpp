// Walks the demo as a user would — open the demo configuration, upload a file to its
// devices, look at the mixed result and the failure list, save that list, then set a canary,
// a threshold and a retry pass in the options and upload again as a rollout — and writes a
// picture of each window on the way. scripts/screenshots.sh runs it under Xvfb, next to the
// demo simulator, so that the real platform plugin draws the windows.
// Usage: zelmo_screenshots CONFIG UPLOAD_FILE FAILED_OUT PNG_DIR
#include "config/options.h"
#include "foundation/err.h"
#include "foundation/random.h"
#include "support/modal.h"
#include "ui/dialog_exchange.h"
#include "ui/dialog_failure.h"
#include "ui/dialog_mixed_result.h"
#include "ui/dialog_options.h"
#include "ui/main_window.h"
#include "ui/page_cfg.h"
#include "ui/page_start.h"
#include "ui/table_devices.h"
#include "ui/table_servers.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedLayout>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

static QString png_dir;
static QStringList problems;

static void problem(const QString& what) {
    problems << what;
    std::fprintf(stderr, "zelmo_screenshots: %s\n", qPrintable(what));
}

// The window alone, as it is drawn now.
static void shoot(QWidget* w, const char* name) {
    const QString path = QDir(png_dir).filePath(QString::fromLatin1(name));
    if (!w->grab().save(path, "PNG", 0))
        problem(QStringLiteral("cannot write %1").arg(path));
    else
        std::fprintf(stderr, "zelmo_screenshots: %s (%s, %dx%d)\n", qPrintable(path),
                     qPrintable(w->windowTitle()), w->width(), w->height());
}

static QString label_text(QWidget* w, const char* name) {
    auto* label = w->findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QString();
}

static bool click(QWidget* w, const char* name) {
    auto* b = w->findChild<QAbstractButton*>(QString::fromLatin1(name));
    if (!b || !b->isEnabled()) {
        problem(QStringLiteral("no enabled %1 in %2")
                    .arg(QLatin1String(name), QLatin1String(w->metaObject()->className())));
        return false;
    }
    b->click();
    return true;
}

// Lets pending paints and layouts happen before a picture.
static void settle() {
    QTest::qWait(300);
}

// Catches the exchange window once the run is well under way but not over: some devices
// done, the slow one still working, the rate and the time left already estimated. With
// `rollout`, only the window of a rollout in its main pass, whose per-server view and failure
// counts have something to show.
class Exchange_watch {
public:
    Exchange_watch(const char* png, bool rollout) : png(png), rollout(rollout) {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start();
    }
    bool shot = false;

private:
    void poll() {
        auto* ex = qobject_cast<Dialog_exchange*>(QApplication::activeModalWidget());
        if (shot || !ex || (ex->phase_label != nullptr) != rollout)
            return;
        if (rollout && ex->rollout.phase() != Rollout_phase::main)
            return;
        if (ex != seen.data()) {
            seen = ex;
            since.start();
        }
        const int done =
            label_text(ex, "value_success").toInt() + label_text(ex, "value_failure").toInt();
        const int total = label_text(ex, "value_devices").toInt();
        if (ex->state & Dialog_exchange::engine_finished) {
            problem(QStringLiteral("the run ended before the exchange window was caught"));
            shot = true;
            return;
        }
        if (since.elapsed() >= 1500 && done >= total / 2) {
            shot = true;
            shoot(ex, png);
        }
    }
    const char* png;
    bool rollout;
    QTimer timer;
    QPointer<Dialog_exchange> seen;
    QElapsedTimer since;
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: zelmo_screenshots CONFIG UPLOAD_FILE FAILED_OUT PNG_DIR\n");
        return 2;
    }
    const QString cfg = QString::fromLocal8Bit(argv[1]);
    const QString upload_file = QString::fromLocal8Bit(argv[2]);
    const QString failed_out = QString::fromLocal8Bit(argv[3]);
    png_dir = QString::fromLocal8Bit(argv[4]);
    // Whatever goes wrong, the script gets its answer in time.
    QTimer::singleShot(120000, [] {
        std::fprintf(stderr, "zelmo_screenshots: gave up after 2 minutes\n");
        std::_Exit(1);
    });
    update_random_number_generator(0x0101);

    Main_window window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        problem(QStringLiteral("the main window was never shown"));
    settle();
    shoot(&window, "tour-1-start.png");

    Modal_script script(20000);
    script.choose_file(cfg);
    QTest::mouseClick(window.page_start->btn_load, Qt::LeftButton);
    script.wait_all_answered();
    if (window.stack->currentIndex() != Main_window::page_index_cfg)
        problem(QStringLiteral("the demo configuration did not open"));
    settle();
    shoot(&window, "tour-2-configuration.png");

    // Rows copied from a spreadsheet, pasted into the device table: the preview, then
    // "Отмена", so that the demo goes on with its own devices.
    Page_cfg* page = window.page_cfg;
    page->table_servers->selectRow(0);
    QApplication::clipboard()->setText(
        QStringLiteral("IMEI\tPIN\tКомментарий\n354000000000028\t1234\tгрузовик 12\n"
                       "354000000000036\t1234\tгрузовик 14\n35400000000004\t1234\tопечатка в IMEI\n"
                       "354000000000051\tПИН\tкириллица в PIN-коде\n"));
    script.then([](QWidget* w) {
        w->resize(qMax(w->width(), 1100), w->height());
        settle();
        shoot(w, "tour-2-paste-preview.png");
        if (auto* d = qobject_cast<QDialog*>(w))
            d->reject();
    });
    if (auto* paste = page->table_devices->findChild<QAction*>("action_paste_devices"))
        paste->trigger();
    else
        problem(QStringLiteral("no paste in the device table"));
    script.wait_all_answered();

    Exchange_watch watch("tour-3-exchange.png", false);
    script.let_be("Dialog_exchange");
    script.choose_file(upload_file)
        .then([](QWidget* w) {
            if (!qobject_cast<Dialog_mixed_result*>(w)) {
                problem(QStringLiteral("expected the mixed result, got %1 «%2»")
                            .arg(QLatin1String(w->metaObject()->className()), w->windowTitle()));
                if (auto* d = qobject_cast<QDialog*>(w))
                    d->done(-1);
                return;
            }
            settle();
            shoot(w, "tour-4-mixed-result.png");
            click(w, "btn_show_failure");
        })
        .then([](QWidget* w) {
            if (!qobject_cast<Dialog_failure*>(w)) {
                problem(QStringLiteral("expected the failure list, got %1 «%2»")
                            .arg(QLatin1String(w->metaObject()->className()), w->windowTitle()));
                if (auto* d = qobject_cast<QDialog*>(w))
                    d->done(-1);
                return;
            }
            // Wide enough for the error texts and tall enough for every failed device, as a user
            // would drag it to read them.
            w->resize(qMax(w->width(), 1180), w->height() + 40);
            settle();
            shoot(w, "tour-5-failure-list.png");
            click(w, "btn_save");
        })
        .choose_file(failed_out)
        .press("Продолжить") // the password question: none, a plain file
        .then([](QWidget* w) {
            if (auto* failure = qobject_cast<Dialog_failure*>(w); !failure || !failure->saved)
                problem(QStringLiteral("the failure list was not saved"));
            click(w, "btn_close");
        })
        .then([](QWidget* w) { click(w, "btn_close"); }); // the mixed result, nothing unsaved
    if (!window.page_cfg->btn_upload->isEnabled()) {
        problem(QStringLiteral("the upload button is disabled"));
    } else {
        // The upload runs in modal windows below this click; it returns when they closed.
        QTest::mouseClick(window.page_cfg->btn_upload, Qt::LeftButton);
        script.wait_all_answered(30000);
    }
    if (!watch.shot)
        problem(QStringLiteral("the exchange window was not caught during the run"));

    // The same upload as a rollout: a canary of three, a stop at half the devices failed, one
    // retry pass two seconds after the main pass; set in the options dialog.
    Exchange_watch rollout_watch("tour-6-rollout.png", true);
    script
        .then([](QWidget* w) {
            auto* dialog = qobject_cast<Dialog_options*>(w);
            if (!dialog) {
                problem(QStringLiteral("expected the options dialog, got %1")
                            .arg(QLatin1String(w->metaObject()->className())));
                if (auto* d = qobject_cast<QDialog*>(w))
                    d->done(-1);
                return;
            }
            const struct {
                const char* key;
                const char* value;
            } options[] = {{"canary", "3"},
                           {"stop_at_failure_rate", "50"},
                           {"retry_passes", "1"},
                           {"retry_delay", "2000"}};
            for (const auto& o : options)
                for (int i = 0; i < option_count; ++i)
                    if (qstrcmp(option_info[i].key, o.key) == 0) {
                        dialog->cbox_defined[i]->click();
                        dialog->ebox_option[i]->setText(QString::fromLatin1(o.value));
                    }
            dialog->btn_ok->click();
        })
        .choose_file(upload_file)
        .then([](QWidget* w) { click(w, "btn_close"); }) // the mixed result
        .press("Да");                                    // its failures were not saved
    window.page_cfg->btn_options->click();
    QTest::mouseClick(window.page_cfg->btn_upload, Qt::LeftButton);
    script.wait_all_answered(30000);
    if (!rollout_watch.shot)
        problem(QStringLiteral("the exchange window of the rollout was not caught"));
    for (const QString& u : script.unexpected)
        problem(u);
    if (script.pending() > 0)
        problem(QStringLiteral("%1 windows never came").arg(script.pending()));
    if (!QFile::exists(failed_out))
        problem(QStringLiteral("no failure list written to %1").arg(failed_out));
    return problems.isEmpty() ? 0 : 1;
}
