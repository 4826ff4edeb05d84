#include "cli/batch_enumerate.h"

#include "cli/batch_output.h"
#include "cli/batch_signal.h"
#include "config/config.h"
#include "foundation/err.h"
#include "protocol/enumerate.h"

#include <QEventLoop>
#include <QTimer>
#include <memory>

static Tr text_enumerate_interrupted("batch", "Запрос списка устройств прерван (Ctrl-C).");

void batch_enumerate_clear_translation() {
    text_enumerate_interrupted.clear();
}

namespace {

class Report : public Enumerate_report {
public:
    enum Outcome { pending, received, failed, interrupted };

    explicit Report(QEventLoop& loop) : loop(loop) {}
    void success() override { finish(received); }
    void empty_success() override { finish(received); }
    void failure(const QString& text) override {
        message = text;
        finish(failed);
    }
    void finish(Outcome o) {
        // The first outcome stands; quit() before exec() is lost, so the caller checks it.
        if (outcome == pending)
            outcome = o;
        loop.quit();
    }

    QEventLoop& loop;
    Outcome outcome = pending;
    QString message;
};

} // namespace

int run_enumerate(const Batch_args& args) {
    Server server; // outlives the client, which refers to it
    server.address = args.host;
    server.port = args.port;
    Enumerated model;
    auto client = std::make_unique<Enumerate>(model);

    QEventLoop loop;
    Report report(loop);
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!sigint_received())
            return;
        client->stop();
        report.finish(Report::interrupted);
    });

    install_sigint_handler();
    client->start(server, report);
    if (report.outcome == Report::pending) {
        poll.start();
        loop.exec();
        poll.stop();
    }
    restore_sigint_handler();

    switch (report.outcome) {
    case Report::received:
        break;
    case Report::failed:
        print_line(stderr, report.message);
        return 1;
    default:
        print_line(stderr, text_enumerate_interrupted.tr());
        return 1;
    }

    QByteArray out;
    for (unsigned p = 0; p < model.page_count; ++p) {
        const unsigned n = p + 1 == model.page_count ? model.last_page_count : enumerated_page_size;
        for (unsigned i = 0; i < n; ++i) {
            out += imei_to_str(model.pages[p][i].imei).toLatin1();
            out += '\n';
        }
        write_stdout(out);
        out.clear();
    }
    return finish_stdout();
}
