// Answers the modal windows a test provokes, from a timer, in the order the test expects
// them. A window nobody expected, or one that stays open after its answer, is closed after a
// time limit and recorded, so that a test fails instead of hanging on a box.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <deque>
#include <functional>

class Modal_script : public QObject {
public:
    // What a window showed when it was answered (or closed as unexpected).
    struct Seen {
        QString kind; // class name: "QMessageBox", "Dialog_add_server", ...
        QString title;
        QString text; // a message box's text, empty for other windows
        QStringList buttons;
    };

    explicit Modal_script(int limit_ms = 5000);
    ~Modal_script() override;

    // The next modal window to appear is handed to act, from the event loop, never from
    // inside the poll, so act may itself open further modal windows.
    Modal_script& then(std::function<void(QWidget*)> act);
    // Windows of this class work by themselves (the exchange window of a run): they take
    // no answer and have no time limit, unless the next answer was queued for that class
    // with on(). Whether the poll catches such a window before it opens the next one is
    // then of no account.
    Modal_script& let_be(const QString& kind);
    Modal_script& on(const QString& kind, std::function<void(QWidget*)> act);
    // Clicks the button whose text is button_text (a message box's or any dialog's).
    Modal_script& press(const QString& button_text);
    Modal_script& accept();
    Modal_script& reject();
    // A file dialog: picks path (open or save) and accepts.
    Modal_script& choose_file(const QString& path);
    // A file dialog or any dialog cancelled.
    Modal_script& cancel() { return reject(); }

    // True when every queued answer was used and nothing unexpected showed up.
    bool all_answered() const { return queue.empty() && unexpected.isEmpty(); }
    int pending() const { return int(queue.size()); }
    // Runs the event loop until every queued answer was used or the time limit passed.
    bool wait_all_answered(int ms = 10000);

    QVector<Seen> seen;
    QStringList unexpected; // descriptions of windows closed by the time limit

private:
    void poll();
    static Seen describe(QWidget* w);

    struct Answer {
        QString kind; // empty: for whatever window comes next
        std::function<void(QWidget*)> act;
    };
    std::deque<Answer> queue;
    QStringList let_be_kinds;
    QTimer timer;
    QPointer<QWidget> current;
    QElapsedTimer since;
    bool acted = false;
    int limit_ms;
};

// Clicks the button with this text among w's buttons; false if there is none.
bool click_button(QWidget* w, const QString& text);
