#include "protocol/socket_errors.h"

#include "foundation/err.h"

#include <cerrno>

static Tr text_closed("proto", "сервер закрыл соединение");
static Tr text_refused("proto", "в соединении отказано: по этому адресу и порту никто не "
                                "принимает соединений");
static Tr text_reset("proto", "соединение сброшено удалённой стороной");
static Tr text_aborted("proto", "соединение прервано");
static Tr text_pipe("proto", "удалённая сторона уже закрыла соединение");
static Tr text_timed_out("proto", "истекло время ожидания ответа от удалённой стороны");
static Tr text_net_unreachable("proto", "сеть недоступна");
static Tr text_net_down("proto", "сеть не работает");
static Tr text_host_unreachable("proto", "компьютер недоступен");
static Tr text_host_down("proto", "компьютер выключен или не отвечает");
static Tr text_denied("proto", "доступ запрещён");
static Tr text_no_descriptors("proto", "исчерпан запас открытых файлов");
static Tr text_no_memory("proto", "не хватает памяти");
static Tr text_address_not_available("proto", "адрес недоступен на этом компьютере");
static Tr text_family("proto", "этот вид адресов не поддерживается");
static Tr errfmt_other("proto", "системная ошибка сокета номер %1");
static Tr text_host_not_found("proto", "компьютер с таким именем не найден");
static Tr text_unknown("proto", "неизвестная ошибка");

void socket_errors_clear_translation() {
    for (Tr* t :
         {&text_closed, &text_refused, &text_reset, &text_aborted, &text_pipe, &text_timed_out,
          &text_net_unreachable, &text_net_down, &text_host_unreachable, &text_host_down,
          &text_denied, &text_no_descriptors, &text_no_memory, &text_address_not_available,
          &text_family, &errfmt_other, &text_host_not_found, &text_unknown})
        t->clear();
}

QString socket_error_text(int err) {
    switch (err) {
    case 0:
        return text_closed.tr();
    case ECONNREFUSED:
        return text_refused.tr();
    case ECONNRESET:
        return text_reset.tr();
    case ECONNABORTED:
        return text_aborted.tr();
    case EPIPE:
        return text_pipe.tr();
    case ETIMEDOUT:
        return text_timed_out.tr();
    case ENETUNREACH:
        return text_net_unreachable.tr();
    case ENETDOWN:
        return text_net_down.tr();
    case EHOSTUNREACH:
        return text_host_unreachable.tr();
    case EHOSTDOWN:
        return text_host_down.tr();
    case EACCES:
    case EPERM:
        return text_denied.tr();
    case EMFILE:
    case ENFILE:
        return text_no_descriptors.tr();
    case ENOBUFS:
    case ENOMEM:
        return text_no_memory.tr();
    case EADDRNOTAVAIL:
        return text_address_not_available.tr();
    case EAFNOSUPPORT:
        return text_family.tr();
    default:
        return errfmt_other.tr().arg(err);
    }
}

QString host_not_found_text() {
    return text_host_not_found.tr();
}

QString unknown_socket_error_text() {
    return text_unknown.tr();
}
