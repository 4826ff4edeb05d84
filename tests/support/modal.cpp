#include "support/modal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

// Long enough to span a turn of the event loop between two windows, short against a user.
static constexpr int settle_ms = 30;

Modal_script::Modal_script(int limit) : limit_ms(limit) {
    // Our own file dialog, whatever the platform offers, so that a test can answer it.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, &Modal_script::poll);
    timer.start();
}

Modal_script::~Modal_script() = default;

Modal_script& Modal_script::then(std::function<void(QWidget*)> act) {
    queue.push_back(Answer{QString(), std::move(act)});
    return *this;
}

Modal_script& Modal_script::let_be(const QString& kind) {
    let_be_kinds << kind;
    return *this;
}

Modal_script& Modal_script::on(const QString& kind, std::function<void(QWidget*)> act) {
    queue.push_back(Answer{kind, std::move(act)});
    return *this;
}

Modal_script& Modal_script::press(const QString& text) {
    return then([this, text](QWidget* w) {
        if (!click_button(w, text)) {
            unexpected << QStringLiteral("no button «%1» in %2").arg(text, describe(w).kind);
            if (auto* d = qobject_cast<QDialog*>(w))
                d->done(-1);
        }
    });
}

Modal_script& Modal_script::accept() {
    return then([](QWidget* w) {
        if (auto* d = qobject_cast<QDialog*>(w))
            d->accept();
    });
}

Modal_script& Modal_script::reject() {
    return then([](QWidget* w) {
        if (auto* d = qobject_cast<QDialog*>(w))
            d->reject();
    });
}

Modal_script& Modal_script::choose_file(const QString& path) {
    return then([this, path](QWidget* w) {
        auto* fd = qobject_cast<QFileDialog*>(w);
        if (!fd) {
            unexpected << QStringLiteral("expected a file dialog, got %1").arg(describe(w).kind);
            if (auto* d = qobject_cast<QDialog*>(w))
                d->done(-1);
            return;
        }
        // The name typed as a user would, so the dialog's own checks (existence on open,
        // overwrite on save) run as they do for a user.
        const QFileInfo info(path);
        fd->setDirectory(info.absolutePath());
        auto* edit = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (edit)
            edit->setText(info.fileName());
        else
            fd->selectFile(path);
        static_cast<QDialog*>(fd)->accept();
    });
}

bool Modal_script::wait_all_answered(int ms) {
    QElapsedTimer t;
    t.start();
    while (!queue.empty() && t.elapsed() < ms)
        QTest::qWait(10);
    // Let the last answer's window close before the test looks at the result.
    QTest::qWait(20);
    return all_answered();
}

Modal_script::Seen Modal_script::describe(QWidget* w) {
    Seen s;
    s.kind = QString::fromLatin1(w->metaObject()->className());
    s.title = w->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
        s.text = box->text();
        for (QAbstractButton* b : box->buttons())
            s.buttons << b->text();
    }
    return s;
}

void Modal_script::poll() {
    QWidget* w = QApplication::activeModalWidget();
    if (w != current.data() || (w && current.isNull())) {
        // A new window, or the one below a closed box active again: it wants the next answer.
        current = w;
        since.start();
        acted = false;
    }
    if (!w)
        return;
    const QString kind = QString::fromLatin1(w->metaObject()->className());
    if (let_be_kinds.contains(kind) && (acted || queue.empty() || queue.front().kind != kind))
        return;
    // A window that has only just become the active one may merely be uncovered for an
    // instant between one box closing and the next opening: answer it once it stays.
    // An answer queued for one kind of window is for that kind only.
    const bool for_this =
        !queue.empty() && (queue.front().kind.isEmpty() || queue.front().kind == kind);
    if (!acted && for_this && since.elapsed() >= settle_ms) {
        acted = true;
        seen << describe(w);
        auto act = std::move(queue.front().act);
        queue.pop_front();
        QPointer<QWidget> target(w);
        QTimer::singleShot(0, this, [target, act] {
            if (target)
                act(target);
        });
        return;
    }
    if (since.elapsed() < limit_ms)
        return;
    const Seen s = describe(w);
    unexpected << QStringLiteral("%1 «%2» %3 %4")
                      .arg(acted ? QStringLiteral("still open after its answer:")
                                 : QStringLiteral("unexpected:"),
                           s.kind, s.title, s.text);
    since.start();
    if (auto* d = qobject_cast<QDialog*>(w))
        d->done(-1);
    else
        w->close();
}

bool click_button(QWidget* w, const QString& text) {
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
        for (QAbstractButton* b : box->buttons())
            if (b->text() == text) {
                b->click();
                return true;
            }
        return false;
    }
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
        if (b->text() == text && b->isVisible() && b->isEnabled()) {
            b->click();
            return true;
        }
    return false;
}
