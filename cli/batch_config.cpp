#include "cli/batch_config.h"

#include "cli/batch_signal.h"
#include "config/config.h"
#include "config/container.h"
#include "foundation/err.h"
#include "parser/utf8_text_parser.h"

#include <cerrno>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

static Tr errfmt_password_not_utf8("batch",
                                   "Файл с паролем «%1» не содержит текст в кодировке UTF-8.");
static Tr errfmt_encrypted_no_password(
    "batch", "Файл «%1» зашифрован. Укажите файл с паролем опцией --password-file.");
// A failed check cannot tell a wrong password from damage, so both are named.
static Tr errfmt_wrong_password("batch", "Пароль из файла «%2» не подходит к зашифрованному "
                                         "файлу «%1», или этот файл повреждён.");
static Tr errfmt_no_password_typed("batch", "Пароль к файлу «%1» не введён.");
// The titles of the password dialog, shown here as the terminal prompt.
static Tr text_prompt_first("decrypt", "Файл зашифрован - введите пароль");
static Tr text_prompt_again("decrypt", "Пароль не подошёл - попробуйте ещё раз");

void batch_config_clear_translation() {
    errfmt_password_not_utf8.clear();
    errfmt_encrypted_no_password.clear();
    errfmt_wrong_password.clear();
    errfmt_no_password_typed.clear();
    text_prompt_first.clear();
    text_prompt_again.clear();
}

QString read_password_file(const QString& path) {
    QByteArray bytes;
    load_file(path, bytes);
    int end = bytes.indexOf('\n');
    if (end < 0)
        end = bytes.size();
    else if (end > 0 && bytes[end - 1] == '\r')
        --end;
    bytes.truncate(end);
    if (!is_utf8(reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size())))
        throw Err(errfmt_password_not_utf8.tr().arg(path));
    return QString::fromUtf8(bytes);
}

// Reads one line from the terminal with echo off. False on end of input or Ctrl-C.
static bool prompt_password(const QString& prompt, QString& password) {
    const QByteArray p = prompt.toUtf8() + ": ";
    fwrite(p.constData(), 1, size_t(p.size()), stderr);
    fflush(stderr);

    termios saved;
    const bool have_terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (have_terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    install_sigint_handler();
    QByteArray line;
    bool complete = false;
    for (;;) {
        char c;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n == 1) {
            if (c == '\n') {
                complete = true;
                break;
            }
            line += c;
            continue;
        }
        if (n < 0 && errno == EINTR && !sigint_received())
            continue;
        break;
    }
    // The terminal gets its echo back whatever happened.
    if (have_terminal)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    restore_sigint_handler();
    fputs("\n", stderr);
    if (!complete)
        return false;
    if (line.endsWith('\r'))
        line.chop(1);
    password = QString::fromUtf8(line);
    return true;
}

static void open_container(const Batch_args& a, const QByteArray& file, QByteArray& text) {
    check_container_header(file, a.config);
    if (!a.password_file.isEmpty()) {
        if (!decode_container_if(file, a.config, read_password_file(a.password_file), text))
            throw Err(errfmt_wrong_password.tr().arg(a.config, a.password_file));
        return;
    }
    if (!isatty(STDIN_FILENO))
        throw Err(errfmt_encrypted_no_password.tr().arg(a.config));
    // As the password dialog does: ask again, without limit, until it fits or the user gives up.
    for (bool first = true;; first = false) {
        QString password;
        if (!prompt_password(first ? text_prompt_first.tr() : text_prompt_again.tr(), password))
            throw Err(errfmt_no_password_typed.tr().arg(a.config));
        if (decode_container_if(file, a.config, password, text))
            return;
    }
}

void load_batch_config(const Batch_args& a) {
    clear_cfg();
    QByteArray file;
    load_file(a.config, file);
    QByteArray text;
    if (!file.isEmpty()) {
        if (is_container(file)) {
            open_container(a, file, text);
        } else {
            check_plain_config(file, a.config);
            text = std::move(file);
        }
    }
    Utf8_file_parser parser(a.config, text);
    parse_cfg(parser, configuration);
}

QByteArray batch_config_text(const Collection& c, bool only_used_servers) {
    QString text;
    if (write_cfg_text(text, c, nullptr, 0, only_used_servers) != 0)
        throw Debug(0x2101);
    return text.toUtf8();
}

void write_batch_list(const QString& path, const Collection& c) {
    write_config_file(path, batch_config_text(c, true), QString());
}
