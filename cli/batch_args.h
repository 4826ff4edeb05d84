#pragma once
// The command line of zelmo_batch: one command, its parameters and the options, parsed
// without side effects so that every rule can be checked apart from a run.

#include "engine/rollout_policy.h" // default_canary_ignore(), default_retry_classes()

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

struct Batch_args {
    enum Outcome { run, help, error };
    enum Command { no_command, check, convert, upload, gather, command, enumerate, import_list };

    Outcome outcome = run;
    QString message; // the finished error text when outcome is error

    Command cmd = no_command;
    QString config;         // check, convert, upload, gather, command
    QString out;            // convert, import
    QString list;           // import: the device list
    QString server;         // import --server, as typed
    QString file;           // upload
    QString as;             // upload --as
    bool has_as = false;    // --as was given (its value may still be empty)
    QString device_command; // command: restart, factory, dropbbox or cleargnss
    QString host;           // enumerate
    unsigned short port = 0;

    QString password_file;
    QString encrypt_password_file; // convert
    QString format;                // convert --format as typed: modern, legacy or empty
    bool legacy_format = false;    // write the older encrypted form
    QString failed_out;
    QString succeeded_out;
    QByteArray log_file; // --log, UTF-8 as given; empty: the default
    bool trace = false;
    bool quiet = false;
    bool yes = false;

    // Rollout controls (upload, gather, command); 0 or empty: off. Classes are bit masks of
    // fail_bit(Fail_class).
    unsigned max_per_server = 0;
    unsigned canary = 0;
    uint32_t canary_ignore = 0;
    unsigned stop_after_failures = 0;
    double stop_rate = 0; // percent
    unsigned retry = 0;
    unsigned retry_delay = 5; // seconds
    uint32_t retry_classes = 0;
    QString journal;
    QString resume;
    QString report;
    // The options as typed, converted into the fields above once the command is known.
    QString max_per_server_text, canary_text, canary_ignore_text, stop_after_failures_text,
        stop_rate_text, retry_text, retry_delay_text, retry_classes_text;

    // The version check of an upload; the delay overrides the option verify_delay.
    QString expect_version;
    QString version_param_text; // main, modem or gnss as typed; empty: main
    unsigned version_param = 0; // 0 main, 1 modem, 2 GNSS
    bool skip_current = false;
    bool verify = false;
    QString verify_delay_text;
    unsigned verify_delay = 0; // seconds
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
