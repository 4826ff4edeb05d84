#pragma once
// What kind of thing a path names, and save files that hold secrets. Used before a file is
// read (a FIFO would block the open, a device never ends) and before one is written.

#include <QIODevice>
#include <QString>

class QSaveFile;

enum class File_kind { missing, regular, directory, other };

// Follows symbolic links; `other` covers FIFOs, sockets and devices.
File_kind file_kind(const QString& name);

// Opens the save file; a target that does not exist yet is created readable and writable by
// its owner only (it may hold PINs), while an existing one keeps its mode.
bool open_private_save_file(QSaveFile& f, QIODevice::OpenMode mode);
