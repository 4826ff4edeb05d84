#pragma once
// The command line of zelmo_upload: only the log file name or a request for help.

#include <QString>

struct Command_line {
    enum Outcome { run, help, error };
    Outcome outcome = run;
    // The --log value; points into the argument vector, which outlives the program's use.
    const char* log_file = nullptr;
    // The finished error text when outcome is error.
    QString message;
};

// Looks at argv[1] .. argv[argc-1] in turn; argv[0] is the program.
Command_line parse_command_line(int argc, char** argv);

// The text of the help box; about is the About text.
QString help_text(const QString& about);

// Facts of the compiled target that the program relies on.
bool is_little_endian();
bool is_big_endian();
bool is_2complement();

// The help texts are translated where they are shown; nothing is cached.
void command_line_clear_translation();
