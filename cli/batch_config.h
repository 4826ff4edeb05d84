#pragma once
// Reading and writing configuration files for the batch runner: passwords from a file or
// the terminal, the configuration loaded into the global one, result lists written back.

#include "cli/batch_args.h"

#include <QString>

class Collection;

// The password in a password file: its first line without the line end (LF or CR LF).
// Throws Err when the file cannot be read or is not UTF-8 text.
QString read_password_file(const QString& path);

// Loads args.config (plain or encrypted) and parses it into the global configuration.
// An encrypted file takes its password from --password-file, else from the terminal when
// standard input is one; otherwise, or when the password does not fit, throws Err.
void load_batch_config(const Batch_args& args);

// The configuration text of a collection as the program writes it; with only_used_servers,
// servers without a device are left out (the form of the result lists).
QByteArray batch_config_text(const Collection& c, bool only_used_servers);

// Writes the devices of `c`, their servers, the options and the device file name as a plain
// configuration file. Throws Err; on failure the target stays as it was.
void write_batch_list(const QString& path, const Collection& c);

void batch_config_clear_translation();
