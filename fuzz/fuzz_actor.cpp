// Plays a hostile server to one device session. The input is a script of server actions:
// frames of any type and content (with a sound checksum, so that they reach the handlers),
// raw bytes, well-formed answers to whatever is awaited, partial writes, time-outs, a lost
// connection and reconnects after a failure.
//
// Input: byte 0 picks the action (upload, gather or command). Then records of an operation
// byte and a length byte, followed by that many bytes where the operation takes data.
//
// Checked: no crash, and when the run ends every device has either succeeded or carries a
// reason, the connection counters are back to 0 and every device is counted exactly once.
#include "config/config.h"
#include "engine/actions.h"
#include "engine/actor.h"
#include "engine/engine.h"
#include "engine/params.h"
#include "foundation/err.h"
#include "protocol/frame.h"
#include "support/harness/engine_harness.h"

#include <QCoreApplication>
#include <QTimerEvent>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr unsigned devices = 3;
std::unique_ptr<Params> params;

QByteArray frame(unsigned char type, const unsigned char* payload, size_t size) {
    QByteArray f(int(size + 7), '\0');
    build_frame(reinterpret_cast<unsigned char*>(f.data()), type, payload, size);
    return f;
}

// A well-formed answer to what the actor awaits now; `arg` varies the value or result.
QByteArray sound_answer(Actor& a, const unsigned char* arg, size_t arg_size) {
    unsigned char p[270] = {};
    const unsigned char v = arg_size ? arg[0] : 0;
    const Step awaited = a.expected_answer;
    if (awaited == Actor::link_answer) {
        p[0] = v % 5 == 4 ? v : 0;
        return frame(LINK_ANSWER, p, 1);
    }
    if (awaited == Actor::auth_answer) {
        p[0] = v % 3 == 2 ? v : 1;
        return frame(AUTH_ANSWER, p, 1);
    }
    if (awaited == Actor::upfile_answer) {
        std::memcpy(p, devfname, 10);
        p[10] = v % 4 == 3 ? v : 0;
        return frame(UPFILE_ANSWER, p, 11);
    }
    if (awaited == Actor::cmd_answer) {
        p[4] = v % 4 == 3 ? v : 1;
        return frame(CMD_ANSWER, p, 6);
    }
    if (awaited == Actor::getparam_answer) {
        const size_t n = arg_size > 1 ? std::min<size_t>(arg_size - 1, 252) : 0;
        put_u32(p, uint32_t(a.param_index));
        p[4] = 1;
        p[5] = static_cast<unsigned char>(n + 3);
        put_u16(p + 6, unsigned(params->items[a.param_index % 3]->id));
        p[8] = static_cast<unsigned char>(n);
        if (n)
            std::memcpy(p + 9, arg + 1, n);
        return frame(CMD_ANSWER, p, n + 9);
    }
    return frame(UNLINK, p, 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    log_file_name = "/dev/null";
    QString cfg = QStringLiteral("reconnect_delay = 5\nserver(address \"127.0.0.1\", port 9)\n{\n");
    const char* pins[devices] = {"1234", "12345", ""};
    for (unsigned i = 0; i < devices; ++i)
        cfg += QStringLiteral(" device(imei %1, pin \"%2\")\n")
                   .arg(350000000000001ull + i)
                   .arg(pins[i]);
    cfg += QStringLiteral("}\n");
    parse_cfg(cfg);
    params = make_version_params();
    firmware = QByteArray(300, 'f');
    firmware_sum = calculate_crc32(firmware.constData(), size_t(firmware.size()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    std::unique_ptr<Action> action;
    switch (data[0] % 3) {
    case 0:
        action.reset(new Action_upload_firmware);
        break;
    case 1:
        action.reset(new Action_gather(*params));
        break;
    default:
        action.reset(new Action_cmd(data[0] >> 2, QStringLiteral("команда")));
        break;
    }
    Engine_harness h(*action);
    h.connect();
    size_t at = 1;
    while (at + 2 <= size && h.actor) {
        const unsigned op = data[at] % 9;
        size_t n = data[at + 1];
        at += 2;
        const unsigned char* arg = data + at;
        const size_t avail = size - at;
        Actor& a = *h.actor;
        switch (op) {
        case 0: // any frame; the first data byte is its type
            n = std::min(n, avail);
            if (n >= 1)
                h.feed(frame(arg[0], arg + 1, std::min<size_t>(n - 1, 264)));
            at += n;
            break;
        case 1: // raw bytes
            n = std::min(n, avail);
            h.feed(QByteArray(reinterpret_cast<const char*>(arg), int(n)));
            at += n;
            break;
        case 2:
            n = std::min(n, avail);
            if (a.has_connection())
                h.feed(sound_answer(a, arg, n));
            at += n;
            break;
        case 3:
            h.link.accept_limit = n % 64;
            break;
        case 4:
            if (a.has_connection())
                h.drain_all();
            break;
        case 5:
            h.disconnected();
            break;
        case 6:
            h.link.report_failure(Link::remote_closed);
            break;
        case 7: // the running time-out expires
            if (a.timer && a.has_connection()) {
                QTimerEvent e(a.timer);
                QCoreApplication::sendEvent(&a, &e);
            }
            break;
        case 8:
            h.resume_delay();
            break;
        }
    }
    h.finish(true);

    // Every device ends with a result of this run, counted once; no connection stays counted.
    unsigned ended = 0;
    for (unsigned i = 0; i < configuration.devices.count; ++i) {
        const Device* d = configuration.devices.rows[i].device;
        const bool ok = (d->run_flags & Device::succeeded) != 0;
        if (ok == !d->error_text.isEmpty())
            std::abort();
        ++ended;
    }
    if (h.engine.success.load() + h.engine.failure.load() != ended)
        std::abort();
    if (h.engine.connecting.load() != 0 || h.engine.connected.load() != 0)
        std::abort();
    return 0;
}
