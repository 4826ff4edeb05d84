#pragma once
// Writing and reading configuration files with the user: the file dialog, the password
// dialogs and the retry on a wrong password around the container of container.h.

#include <QByteArray>
#include <QString>

class QWidget;

// Asks for a file name and a password and writes the text: plain with an empty password,
// encrypted otherwise, in the form the password dialog chose. Shows any error itself; true when the
// file was written.
bool save_to_file(QWidget* parent, const QString& text);

// Reads the file; an encrypted one asks for its password until it fits or the user
// cancels (false, nothing shown). On true `bytes` holds UTF-8 text for the parser. Errors
// are thrown to the caller.
bool load_from_file(QWidget* parent, const QString& file_name, QByteArray& bytes);

void config_files_clear_translation();
