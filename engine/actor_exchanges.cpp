// The three exchanges that follow a device's authorisation: file upload, parameter reading
// and device commands.
#include "config/config.h"
#include "engine/actions.h"
#include "engine/actor.h"
#include "engine/engine.h"
#include "engine/params.h"
#include "engine/version_check.h"
#include "protocol/frame.h"

#include <cstring>

static Tr errtext_upfile_memory("proto", "На закачку файла устройство ответило: «ошибка памяти "
                                         "устройства».");
static Tr errtext_upfile_signature("proto", "На закачку файла устройство ответило: «ошибка "
                                            "цифровой подписи».");
static Tr errtext_upfile_name("proto",
                              "На закачку файла устройство ответило: «ошибка имени файла».");
static Tr errtext_upfile_crc("proto", "На закачку файла устройство ответило: «ошибка "
                                      "контрольной суммы».");
static Tr name_upfile_result("proto", "результат операции");
static Tr errfmt_upfile_name_differs(
    "proto", "В ответе устройства на наше сообщение «%1» имя файла не совпадает с тем, которое "
             "было указано в сообщении.");

static Tr errfmt_getparam_busy("proto", "На запрос параметра №%1 устройство вернуло неожиданный "
                                        "код ошибки: %2 («команда выполняется»).");
static Tr errfmt_getparam_ready("proto", "На запрос параметра №%1 устройство вернуло "
                                         "неожиданный код ошибки: %2 («команда готова к "
                                         "продолжению»)");
static Tr errfmt_getparam_failed("proto", "На запрос параметра №%1 устройство ответило: «ошибка "
                                          "выполнения».");
static Tr errfmt_getparam_unknown_param("proto", "На запрос параметра №%1 устройство ответило: "
                                                 "«не знаю такого параметра».");
static Tr errfmt_getparam_unknown_code("proto", "На запрос параметра №%1 устройство вернуло "
                                                "неизвестный код ошибки: %2.");

static Tr errfmt_cmd_ready("proto", "На команду с «кодом команды» %1 устройство вернуло "
                                    "неожиданный код ошибки: %2 («команда готова к "
                                    "продолжению»).");
static Tr errfmt_cmd_failed("proto", "На команду с «кодом команды» %1 устройство ответило "
                                     "«ошибка выполнения».");
static Tr errfmt_cmd_unknown_param("proto", "На команду с «кодом команды» %1 устройство вернуло "
                                            "неожиданный код ошибки: %2 («неизвестный "
                                            "параметр»).");
static Tr errfmt_cmd_unknown_code("proto", "На команду с «кодом команды» %1 устройство вернуло "
                                           "неизвестный код ошибки: %2.");
static Tr errfmt_cmd_args("proto", "Нарушение протокола устройством: в ответ на нашу команду с "
                                   "кодом команды %1 устройство вернуло сообщение «%2», в "
                                   "котором поле «%3» содержит значение %4 (а должно быть %5).");

static Tr errfmt_version_differs("engine", "После закачки устройство сообщает версию «%1» вместо "
                                           "ожидаемой «%2».");

static constexpr unsigned char GETPARAM_CODE = 3;

// Ends the current device as succeeded.
static void device_done(Actor* a) {
    a->expected_answer = Actor::unsolicited_frame;
    a->engine->success.fetch_add(1, std::memory_order_relaxed);
    a->signal_progress();
    a->device->run_flags |= Device::succeeded;
    a->engine->device_ended(*a->device, fail_none);
    a->switch_to_next_device();
}

// --- File upload -------------------------------------------------------------------------------

void Actor::send_upfile(Zelmo_client* c) {
    unsigned char* p = c->payload();
    std::memcpy(p, devfname, 10);
    put_u32(p + 10, uint32_t(firmware.size()));
    put_u32(p + 14, firmware_sum);
    c->send(UPFILE, 18, upfile_head_sent, upfile_timeout);
}

// The frame is out; the file follows raw, written straight from the shared buffer. The one
// time-out started with the frame covers the file and the answer as well.
static void write_file(Zelmo_client* c, Step tail_sent) {
    if (firmware.isEmpty()) {
        tail_sent(c);
        return;
    }
    c->sent_step = tail_sent;
    c->write_position = reinterpret_cast<const unsigned char*>(firmware.constData());
    c->write_to_socket(firmware.size());
}

void Actor::upfile_head_sent(Zelmo_client* c) {
    write_file(c, upfile_tail_sent);
}

void Actor::upfile_head_sent_unlink(Zelmo_client* c) {
    write_file(c, upfile_tail_sent_unlink);
}

void Actor::upfile_tail_sent(Zelmo_client* c) {
    c->expected_answer = upfile_answer;
    c->take_posted_step()(c);
}

void Actor::upfile_tail_sent_unlink(Zelmo_client* c) {
    static_cast<Actor*>(c)->unlink_after_write(text_unlink_upfile());
}

void Actor::upfile_answer(Zelmo_client* c) {
    Actor* a = static_cast<Actor*>(c);
    const unsigned char type = frame_type(c->buffer_start);
    const unsigned length = frame_length(c->buffer_start);
    if (type == UNLINK) {
        a->device_reject(text_unlink_upfile(), fail_not_linked);
        return;
    }
    if (type != UPFILE_ANSWER) {
        a->tcp_crash(text_wrong_answer(name_UPFILE.tr(), type, length));
        return;
    }
    if (length != 11) {
        a->device_reject(
            text_device_wrong_length(name_UPFILE.tr(), name_UPFILE_ANSWER.tr(), length, 11));
        return;
    }
    const unsigned char* p = frame_payload(c->buffer_start);
    const char* name = reinterpret_cast<const char*>(p);
    const size_t n = strnlen(name, 10);
    if (n != strnlen(devfname, 10) || std::memcmp(name, devfname, n) != 0) {
        a->device_reject(errfmt_upfile_name_differs.tr().arg(name_UPFILE.tr()));
        return;
    }
    switch (p[10]) {
    case 0:
        device_done(a);
        return;
    case 1:
        a->device_reject(errtext_upfile_memory.tr());
        return;
    case 2:
        a->device_reject(errtext_upfile_signature.tr());
        return;
    case 3:
        a->device_reject(errtext_upfile_name.tr());
        return;
    case 4:
        a->device_reject(errtext_upfile_crc.tr());
        return;
    default:
        a->device_reject(text_device_unknown_field(name_UPFILE.tr(), name_UPFILE_ANSWER.tr(),
                                                   name_upfile_result.tr(), p[10]));
        return;
    }
}

// --- Parameter reading -------------------------------------------------------------------------

static const Params& run_params(const Actor* a) {
    if (a->engine->version_params)
        return *a->engine->version_params;
    return *static_cast<const Action_gather*>(a->engine->action)->params;
}

// Before an upload, a version the device cannot tell is no reason to withhold the file: the
// upload goes ahead on the same link. True when it does.
static bool upload_instead(Actor* a) {
    if (a->engine->version_pass != Engine::Version_pass::skip)
        return false;
    a->expected_answer = Actor::unsolicited_frame;
    a->post(Actor::send_upfile);
    return true;
}

// The version of an upload with a version check has been read into the device's values.
static void version_read(Actor* a, const unsigned char* value) {
    Device& d = *a->device;
    const Engine& e = *a->engine;
    d.run_flags |= Device::version_read;
    const bool current = cp1251_shows(value, e.version->expected);
    if (e.version_pass == Engine::Version_pass::skip) {
        if (!current) {
            a->post(Actor::send_upfile);
            return;
        }
        d.run_flags |= Device::skipped_current;
        device_done(a);
        return;
    }
    if (!current) {
        const Param& param = *e.version_params->items[e.version->param];
        a->device_reject(errfmt_version_differs.tr().arg(param.show(value), e.version->expected),
                         fail_verify);
        return;
    }
    d.run_flags |= Device::verified;
    device_done(a);
}

void Actor::send_getparam(Zelmo_client* c) {
    Actor* a = static_cast<Actor*>(c);
    const Param& param = *run_params(a).items[a->param_index];
    unsigned char* p = c->payload();
    put_u32(p, uint32_t(a->param_index));
    p[4] = GETPARAM_CODE;
    p[5] = 4;
    put_u16(p + 6, unsigned(param.id));
    p[8] = 0;
    p[9] = 0;
    c->send(CMD, 10, getparam_sent, getparam_timeout);
}

void Actor::getparam_sent(Zelmo_client* c) {
    c->expected_answer = getparam_answer;
    c->take_posted_step()(c);
}

void Actor::getparam_sent_unlink(Zelmo_client* c) {
    static_cast<Actor*>(c)->unlink_after_write(text_unlink_getparam());
}

// The checks every CMD answer passes before its result is read: an UNLINK fails the device, a
// frame of another type breaks the connection, a short one or another command's answer fails
// the device. Returns the payload, or null when the answer was dealt with here.
static const unsigned char* cmd_answer_payload(Actor* a, QString (*unlink_text)(),
                                               uint64_t expected_id) {
    const unsigned char type = frame_type(a->buffer_start);
    const unsigned length = frame_length(a->buffer_start);
    if (type == UNLINK) {
        a->device_reject(unlink_text(), fail_not_linked);
        return nullptr;
    }
    if (type != CMD_ANSWER) {
        a->tcp_crash(text_wrong_answer(name_CMD.tr(), type, length));
        return nullptr;
    }
    if (length < 5) {
        a->device_reject(text_device_too_short(name_CMD.tr(), name_CMD_ANSWER.tr(), length, 5));
        return nullptr;
    }
    const unsigned char* p = frame_payload(a->buffer_start);
    const uint32_t id = get_u32(p);
    if (id != expected_id) {
        a->device_reject(text_device_not_same(name_CMD.tr(), name_CMD_ANSWER_cmd_id.tr(), id,
                                              int64_t(expected_id)));
        return nullptr;
    }
    return p;
}

void Actor::getparam_answer(Zelmo_client* c) {
    Actor* a = static_cast<Actor*>(c);
    const uint64_t index = a->param_index;
    const unsigned char* p = cmd_answer_payload(a, text_unlink_getparam, index);
    if (!p)
        return;
    const unsigned length = frame_length(c->buffer_start);
    const Params& params = run_params(a);
    const Param& param = *params.items[index];
    const unsigned result = p[4];
    const qulonglong param_id = param.id;
    if (result != 1 && upload_instead(a))
        return;
    switch (result) {
    case 1:
        break;
    case 2:
        a->device_reject(errfmt_getparam_busy.tr().arg(param_id).arg(result));
        return;
    case 3:
        a->device_reject(errfmt_getparam_ready.tr().arg(param_id).arg(result));
        return;
    case 4:
        a->device_reject(errfmt_getparam_failed.tr().arg(param_id));
        return;
    case 5:
        a->device_reject(errfmt_getparam_unknown_param.tr().arg(param_id));
        return;
    default:
        a->device_reject(errfmt_getparam_unknown_code.tr().arg(param_id).arg(result));
        return;
    }
    if (length < 9) {
        a->device_reject(text_device_result_too_short(GETPARAM_CODE, 1, length, 9));
        return;
    }
    const unsigned sz_arg = p[5];
    if (sz_arg != length - 6) {
        a->device_reject(text_device_mismatch(name_CMD_ANSWER.tr(), name_CMD_ANSWER_sz_arg.tr(),
                                              sz_arg, name_sz_data.tr(), length, length - 6));
        return;
    }
    const unsigned received_id = get_u16(p + 6);
    if (received_id != param.id) {
        a->device_reject(text_device_not_same(name_CMD.tr(), name_CMD_ANSWER_param_id.tr(),
                                              received_id, int64_t(param.id)));
        return;
    }
    const unsigned value_length = p[8];
    if (value_length != sz_arg - 3) {
        a->device_reject(text_device_mismatch(name_CMD_ANSWER.tr(), name_CMD_ANSWER_param_len.tr(),
                                              value_length, name_CMD_ANSWER_sz_arg.tr(), sz_arg,
                                              sz_arg - 3));
        return;
    }
    QString err;
    unsigned char* slot = reinterpret_cast<unsigned char*>(a->device->values.data()) + param.offset;
    if (!param.take(slot, p + 9, static_cast<unsigned char>(value_length), err)) {
        a->device_reject(err);
        return;
    }
    a->expected_answer = unsolicited_frame;
    if (a->engine->version_pass != Engine::Version_pass::none) {
        version_read(a, slot);
        return;
    }
    a->param_index = index + 1;
    if (a->param_index < params.count)
        a->post(send_getparam);
    else
        device_done(a);
}

// --- Device commands ---------------------------------------------------------------------------

static unsigned run_command(const Actor* a) {
    return static_cast<const Action_cmd*>(a->engine->action)->command_code;
}

void Actor::send_cmd(Zelmo_client* c) {
    Actor* a = static_cast<Actor*>(c);
    unsigned char* p = c->payload();
    put_u32(p, 0);
    p[4] = static_cast<unsigned char>(run_command(a));
    p[5] = 0;
    c->send(CMD, 6, cmd_sent, cmd_timeout);
}

void Actor::cmd_sent(Zelmo_client* c) {
    c->expected_answer = cmd_answer;
    c->take_posted_step()(c);
}

void Actor::cmd_sent_unlink(Zelmo_client* c) {
    static_cast<Actor*>(c)->unlink_after_write(text_unlink_cmd());
}

void Actor::cmd_answer(Zelmo_client* c) {
    Actor* a = static_cast<Actor*>(c);
    const unsigned char* p = cmd_answer_payload(a, text_unlink_cmd, 0);
    if (!p)
        return;
    const unsigned length = frame_length(c->buffer_start);
    const unsigned code = run_command(a);
    const unsigned result = p[4];
    switch (result) {
    case 1:
    case 2: // still being executed: accepted all the same
        break;
    case 3:
        a->device_reject(errfmt_cmd_ready.tr().arg(code).arg(result));
        return;
    case 4:
        a->device_reject(errfmt_cmd_failed.tr().arg(code));
        return;
    case 5:
        a->device_reject(errfmt_cmd_unknown_param.tr().arg(code).arg(result));
        return;
    default:
        a->device_reject(errfmt_cmd_unknown_code.tr().arg(code).arg(result));
        return;
    }
    if (length == 5) {
        a->device_reject(text_device_result_too_short(code, result, 5, 6));
        return;
    }
    const unsigned sz_arg = p[5];
    if (sz_arg != length - 6) {
        a->device_reject(text_device_mismatch(name_CMD_ANSWER.tr(), name_CMD_ANSWER_sz_arg.tr(),
                                              sz_arg, name_sz_data.tr(), length, length - 6));
        return;
    }
    if (sz_arg != 0) {
        a->device_reject(
            errfmt_cmd_args.tr().arg(code).arg(name_CMD_ANSWER.tr(), name_CMD_ANSWER_sz_arg.tr(),
                                               QString::number(sz_arg), QStringLiteral("0")));
        return;
    }
    device_done(a);
}

void actor_exchanges_clear_translation() {
    Tr* texts[] = {&errtext_upfile_memory,
                   &errtext_upfile_signature,
                   &errtext_upfile_name,
                   &errtext_upfile_crc,
                   &name_upfile_result,
                   &errfmt_upfile_name_differs,
                   &errfmt_getparam_busy,
                   &errfmt_getparam_ready,
                   &errfmt_getparam_failed,
                   &errfmt_getparam_unknown_param,
                   &errfmt_getparam_unknown_code,
                   &errfmt_cmd_ready,
                   &errfmt_cmd_failed,
                   &errfmt_cmd_unknown_param,
                   &errfmt_cmd_unknown_code,
                   &errfmt_cmd_args,
                   &errfmt_version_differs};
    for (Tr* t : texts)
        t->clear();
}
