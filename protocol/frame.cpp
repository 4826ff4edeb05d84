#include "protocol/frame.h"

#include <array>
#include <cstring>

Tr name_CMD("proto", "команда");
Tr name_CMD_ANSWER("proto", "ответ на команду");
Tr name_AUTH("proto", "авторизация");
Tr name_AUTH_ANSWER("proto", "ответ на авторизацию");
Tr name_PING("proto", "пинг от сервера клиенту");
Tr name_PING_ANSWER("proto", "ответ клиента на пинг");
Tr name_ENUMERATE("proto", "запрос списка устройств у сервера");
Tr name_ENUMERATE_ANSWER("proto", "список устройств от сервера клиенту");
Tr name_LINK("proto", "запрос подключения к устройству");
Tr name_LINK_ANSWER("proto", "ответ на запрос подключения");
Tr name_UNLINK("proto", "уведомление об отключении устройства или конфигуратора");
Tr name_UPFILE("proto", "файл целиком от хоста устройству");
Tr name_UPFILE_ANSWER("proto", "ответ на файл целиком");

Tr name_sz_data("proto", "длина сообщения");
Tr name_CMD_ANSWER_cmd_id("proto", "уникальный идентификатор команды");
Tr name_CMD_ANSWER_sz_arg("proto", "длина аргументов результата");
Tr name_CMD_ANSWER_param_id("proto", "идентификатор параметра");
Tr name_CMD_ANSWER_param_len("proto", "длина параметра");
Tr name_ENUMERATE_ANSWER_n_dev("proto", "число устройств");
Tr name_ENUMERATE_ANSWER_imei_z("proto", "завершающий ноль IMEI");
Tr name_ENUMERATE_ANSWER_devname_z("proto", "завершающий ноль пользовательского имени устройства");
Tr name_RESTART("proto", "рестарт устройства");
Tr name_GETPARAM("proto", "считать параметр");
Tr name_FACTORY("proto", "сброс к заводским настройкам");
Tr name_DROPBBOX("proto", "очистить 'чёрный ящик'");
Tr name_CLEARGNSS("proto", "холодный старт GNSS-приёмника");

static Tr errfmt_length_too_big(
    "proto", "Нарушение протокола сервером: от сервера пришёл заголовок сообщения, в котором "
             "поле «длина сообщения» содержит значение %1 байтов. Мы не посылали серверу "
             "ничего, на что сервер может отреагировать таким длинным сообщением.");
static Tr
    errfmt_crc_mismatch("proto",
                        "Нарушение протокола сервером: в принятом от сервера сообщении не сошлась "
                        "контрольная сумма (должно быть 0x%1, а в сообщении указано 0x%2).");
static Tr errfmt_unexpected_frame(
    "proto", "Нарушение протокола сервером: от сервера пришло неожиданное сообщение с типом "
             "0x%1 и длиной полезной нагрузки %2.");
static Tr
    errfmt_wrong_answer("proto",
                        "Нарушение протокола сервером: в ответ на посланное нами сообщение «%1» от "
                        "сервера пришло сообщение с типом %2 и длиной полезной нагрузки %3.");
static Tr errfmt_field_value("proto", "Нарушение протокола сервером: в пришедшем от сервера "
                                      "сообщении «%1» поле «%2» содержит значение %3, а должно "
                                      "быть %4.");
static Tr errfmt_field_range("proto", "Нарушение протокола сервером: в пришедшем от сервера "
                                      "сообщении «%1» поле «%2» содержит значение %3, а должно "
                                      "быть в диапазоне %4...%5.");
static Tr errfmt_fields_mismatch(
    "proto", "Нарушение протокола сервером: в пришедшем от сервера сообщении «%1» поле «%2» "
             "содержит значение %3, что не стыкуется с тем, что поле «%4» содержит значение "
             "%5 (следовательно, поле «%2» должно содержать значение %6).");

static constexpr std::array<uint32_t, 256> make_crc32_table() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[i] = c;
    }
    return t;
}

// Constant-initialised: the table is built by the compiler.
const std::array<uint32_t, 256> crc32_table = make_crc32_table();
static_assert(make_crc32_table()[1] == 0x77073096u, "CRC-32 table");
static_assert(make_crc32_table()[255] == 0x2D02EF8Du, "CRC-32 table");

// Slice by 8: table k advances the checksum over a byte followed by k zero bytes, so eight
// bytes take eight independent look-ups instead of a chain of eight. Every frame of a run is
// checksummed twice, so this is on the path of every device.
static constexpr std::array<std::array<uint32_t, 256>, 8> make_crc32_slices() {
    std::array<std::array<uint32_t, 256>, 8> t{};
    t[0] = make_crc32_table();
    for (size_t k = 1; k < 8; ++k)
        for (size_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

static constexpr std::array<std::array<uint32_t, 256>, 8> crc32_slices = make_crc32_slices();

uint32_t calculate_crc32(const void* data, size_t size) {
    if (size == 0)
        return 0;
    const auto* p = static_cast<const unsigned char*>(data);
    const auto& t = crc32_slices;
    uint32_t crc = 0xFFFFFFFFu;
    for (; size >= 8; p += 8, size -= 8) {
        const uint32_t a = crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                  uint32_t(p[3]) << 24);
        crc = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (size_t i = 0; i < size; ++i)
        crc = (crc >> 8) ^ crc32_table[(crc ^ p[i]) & 0xFF];
    return crc ^ 0xFFFFFFFFu;
}

size_t seal_frame(unsigned char* frame) {
    const size_t covered = frame_head_size + frame_length(frame);
    put_u32(frame + covered, calculate_crc32(frame, covered));
    return covered + 4;
}

size_t build_frame(unsigned char* frame, unsigned char type, const void* payload,
                   size_t payload_size) {
    put_u16(frame, unsigned(payload_size));
    frame[2] = type;
    if (payload_size)
        std::memcpy(frame + frame_head_size, payload, payload_size);
    return seal_frame(frame);
}

size_t build_ping_answer(unsigned char* frame) {
    unsigned char* p = frame + frame_head_size;
    std::memset(p, 0, ping_answer_payload);
    p[16] = 0xFE;
    put_u16(frame, unsigned(ping_answer_payload));
    frame[2] = PING_ANSWER;
    return seal_frame(frame);
}

bool frame_crc_ok(const unsigned char* frame, uint32_t& computed, uint32_t& stored) {
    const size_t covered = frame_head_size + frame_length(frame);
    computed = calculate_crc32(frame, covered);
    stored = get_u32(frame + covered);
    return computed == stored;
}

static QString hex(uint64_t value, int digits) {
    return QString::number(value, 16).rightJustified(digits, QLatin1Char('0'));
}

QString text_length_too_big(uint64_t length) {
    return errfmt_length_too_big.tr().arg(length);
}

QString text_crc_mismatch(uint32_t computed, uint32_t stored) {
    return errfmt_crc_mismatch.tr().arg(hex(computed, 8), hex(stored, 8));
}

QString text_unexpected_frame(unsigned char type, uint64_t length) {
    return errfmt_unexpected_frame.tr().arg(hex(type, 2), QString::number(length));
}

QString text_wrong_answer(const QString& sent, unsigned char type, uint64_t length) {
    return errfmt_wrong_answer.tr().arg(sent, QString::number(type), QString::number(length));
}

QString text_field_value(const QString& frame, const QString& field, int64_t value,
                         int64_t expected) {
    return errfmt_field_value.tr().arg(frame, field, QString::number(value),
                                       QString::number(expected));
}

QString text_field_range(const QString& frame, const QString& field, int64_t value, int64_t low,
                         int64_t high) {
    return errfmt_field_range.tr().arg(frame, field, QString::number(value), QString::number(low),
                                       QString::number(high));
}

QString text_fields_mismatch(const QString& frame, const QString& field, int64_t value,
                             const QString& other_field, int64_t other_value, int64_t expected) {
    // %2 occurs twice in the text; multi-arg substitution fills both in one pass.
    return errfmt_fields_mismatch.tr().arg(frame, field, QString::number(value), other_field,
                                           QString::number(other_value), QString::number(expected));
}

void frame_clear_translation() {
    Tr* all[] = {&name_CMD,
                 &name_CMD_ANSWER,
                 &name_AUTH,
                 &name_AUTH_ANSWER,
                 &name_PING,
                 &name_PING_ANSWER,
                 &name_ENUMERATE,
                 &name_ENUMERATE_ANSWER,
                 &name_LINK,
                 &name_LINK_ANSWER,
                 &name_UNLINK,
                 &name_UPFILE,
                 &name_UPFILE_ANSWER,
                 &name_sz_data,
                 &name_CMD_ANSWER_cmd_id,
                 &name_CMD_ANSWER_sz_arg,
                 &name_CMD_ANSWER_param_id,
                 &name_CMD_ANSWER_param_len,
                 &name_ENUMERATE_ANSWER_n_dev,
                 &name_ENUMERATE_ANSWER_imei_z,
                 &name_ENUMERATE_ANSWER_devname_z,
                 &name_RESTART,
                 &name_GETPARAM,
                 &name_FACTORY,
                 &name_DROPBBOX,
                 &name_CLEARGNSS,
                 &errfmt_length_too_big,
                 &errfmt_crc_mismatch,
                 &errfmt_unexpected_frame,
                 &errfmt_wrong_answer,
                 &errfmt_field_value,
                 &errfmt_field_range,
                 &errfmt_fields_mismatch};
    for (Tr* t : all)
        t->clear();
}
