#include "support/device_import_cases.h"

#include "config/config.h"

#include <cstring>

QString import_base_text() {
    return QStringLiteral("server(address \"a.example\", port 4000) {\n"
                          " device(imei 354000000000010, pin \"10\")\n"
                          "}\n"
                          "server(address \"b.example\", port 4001) {}\n");
}

QVector<Import_case> import_cases() {
    const QString pin_chars =
        QStringLiteral("PIN-код «ПИН» должен состоять только из символов printable ASCII "
                       "(латинские буквы, цифры, пробелы, а также следующие символы: "
                       "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~).");
    return {
        {"header row and the three short forms",
         "IMEI\tPIN\tКомментарий\n354000000000028\n354000000000036\t36\n"
         "354000000000044\t44\tthird, with a comma\n",
         1,
         {"2 354000000000028  ", "2 354000000000036 36 ",
          "2 354000000000044 44 third, with a comma"},
         {},
         {},
         {}},
        {"mixed separators, CR LF and quotes",
         "354000000000051;51;semi\r\n354000000000069,69,\"comma, quoted\"\r\n\r\n"
         "354000000000077\t77\ttab\r\n",
         0,
         {"1 354000000000051 51 semi", "1 354000000000069 69 comma, quoted",
          "1 354000000000077 77 tab"},
         {},
         {},
         {}},
        {"duplicates of the configuration and of the list",
         "354000000000010;10\n354000000000085;85\n354000000000085;86\n",
         0,
         {"1 354000000000085 85 "},
         {1, 3},
         {},
         {}},
        {"bad rows refused with their lines",
         "12345\n354000000000093;ПИН\n354000000000101;12345678901234567\n"
         "3,354000000000028,p\nabc;def;ghi\n354000000000028;ok\n",
         0,
         {"1 354000000000028 ok "},
         {},
         {"строка 1: IMEI «12345» должен состоять ровно из 15 цифр.", "строка 2: " + pin_chars,
          "строка 3: PIN-код «12345678901234567» слишком длинный - должен быть не длиннее 16 "
          "символов.",
          "строка 4: Сервера с номером «3» нет в таблице серверов (в ней 2).",
          "строка 5: IMEI «abc» должен состоять ровно из 15 цифр."},
         {}},
        {"rows that name their server, the table's own copy among them",
         "Сервер\tIMEI\tPIN\tКомментарий\n2\t354000000000051\tp2\tby number\n"
         "a.example\t4000\t354000000000069\tcopied\\tnote\nc.example\t4000\t354000000000077\tx\n",
         -1,
         {"1 354000000000069  copied\tnote", "2 354000000000051 p2 by number"},
         {},
         {"строка 4: Сервера с адресом «c.example» и номером порта «4000» нет в текущей "
          "конфигурации."},
         {}},
        {"no server selected and none named",
         "354000000000028;1\n",
         -1,
         {},
         {},
         {"строка 1: Не указан сервер: выберите строчку в списке серверов или укажите номер "
          "сервера в первом столбце."},
         {}},
        {"wrong check digit accepted with a warning",
         "354000000000003;3\n354000000000028;28\n",
         1,
         {"2 354000000000003 3 ", "2 354000000000028 28 "},
         {},
         {},
         {1}},
    };
}

QStringList device_lines(const Configuration& cfg) {
    QStringList out;
    for (unsigned i = 0; i < cfg.devices.count; ++i) {
        const Device_row& r = cfg.devices.rows[i];
        out << QStringLiteral("%1 %2 %3 %4")
                   .arg(r.server + 1)
                   .arg(imei_to_str(r.device->imei),
                        QString::fromLatin1(r.device->pin, int(strnlen(r.device->pin, pin_size))),
                        r.device->notes);
    }
    return out;
}
