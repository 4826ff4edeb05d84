#pragma once
// The command line of zelmo_batch: one command, its parameters and the options, parsed
// without side effects so that every rule can be checked apart from a run.

#include <QByteArray>
#include <QString>
#include <QStringList>

struct Batch_args {
    enum Outcome { run, help, error };
    enum Command { no_command, check, convert, upload, gather, command, enumerate };

    Outcome outcome = run;
    QString message; // the finished error text when outcome is error

    Command cmd = no_command;
    QString config;         // check, convert, upload, gather, command
    QString out;            // convert
    QString file;           // upload
    QString as;             // upload --as
    bool has_as = false;    // --as was given (its value may still be empty)
    QString device_command; // command: restart, factory, dropbbox or cleargnss
    QString host;           // enumerate
    unsigned short port = 0;

    QString password_file;
    QString encrypt_password_file; // convert
    QString failed_out;
    QString succeeded_out;
    QByteArray log_file; // --log, UTF-8 as given; empty: the default
    bool trace = false;
    bool quiet = false;
    bool yes = false;
};

// Parses the arguments after the program name.
Batch_args parse_batch_args(const QStringList& args);

// The name of a command as typed ("check", ...), for messages.
const char* batch_command_name(Batch_args::Command cmd);

// The --help text.
QString batch_help_text();
// The line added to every command-line error.
QString batch_usage_hint();

void batch_args_clear_translation();
