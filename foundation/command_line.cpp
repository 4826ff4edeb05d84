#include "foundation/command_line.h"

#include "foundation/err.h"

#include <QCoreApplication>
#include <cstring>

static QString main_tr(const char* source) {
    return QCoreApplication::translate("main", source, nullptr, -1);
}

static bool is_help_word(const char* s) {
    static const char* const words[] = {"h", "help", "H", "HELP", "Help", "?"};
    for (const char* w : words)
        if (std::strcmp(s, w) == 0)
            return true;
    return false;
}

// Whether the argument is one of the help forms: -X, --X or /X.
static bool is_help_form(const char* a) {
    if (a[0] == '-' && a[1] == '-')
        return is_help_word(a + 2);
    if (a[0] == '-' || a[0] == '/')
        return is_help_word(a + 1);
    return false;
}

Command_line parse_command_line(int argc, char** argv) {
    Command_line r;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strncmp(a, "--log", 5) == 0) {
            if (a[5] != '=' || a[6] == '\0') {
                r.outcome = Command_line::error;
                r.message = main_tr("Неправильный формат опции «--log». Ожидаемый формат: "
                                    "--log=\"имя файла журнала\".");
                return r;
            }
            if (r.log_file) {
                r.outcome = Command_line::error;
                r.message = main_tr("В командной строке дважды указана одна и та же опция: "
                                    "«--log».");
                return r;
            }
            r.log_file = a + 6;
            continue;
        }
        if (!is_help_form(a)) {
            r.outcome = Command_line::error;
            r.message = main_tr("Неизвестная опция командной строки: «%1». Для получения "
                                "справки по опциям командной строки запустите программу с "
                                "опцией «-h».")
                            .arg(QString::fromUtf8(a));
            return r;
        }
        if (argc != 2) {
            r.outcome = Command_line::error;
            r.message = main_tr("Если в командной строке определена опция «%1», в ней не "
                                "должно быть никаких других опций или параметров.")
                            .arg(QString::fromUtf8(a));
            return r;
        }
        r.outcome = Command_line::help;
    }
    return r;
}

QString help_text(const QString& about) {
    return main_tr("%1\n\nОпции командной строки:\n--help, -?, -h, -help, /?, /h, /help и т.п. "
                   "- выдать этот текст и выйти\n--log=\"файл\" - использовать указанный файл "
                   "журнала (если опция не указана, используется файл «%2»)\n")
        .arg(about, QString::fromLatin1(default_log_file_name));
}

bool is_little_endian() {
    const unsigned int one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

bool is_big_endian() {
    const unsigned int one = 1;
    unsigned char last;
    std::memcpy(&last, reinterpret_cast<const unsigned char*>(&one) + sizeof one - 1, 1);
    return last == 1;
}

bool is_2complement() {
    const int minus_one = -1;
    unsigned int bits;
    std::memcpy(&bits, &minus_one, sizeof bits);
    return bits == ~0u;
}

void command_line_clear_translation() {}
