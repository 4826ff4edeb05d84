#include "foundation/file_kinds.h"

#include <QFile>
#include <QSaveFile>
#include <sys/stat.h>

File_kind file_kind(const QString& name) {
    struct stat st;
    if (::stat(QFile::encodeName(name).constData(), &st) != 0)
        return File_kind::missing;
    if (S_ISREG(st.st_mode))
        return File_kind::regular;
    return S_ISDIR(st.st_mode) ? File_kind::directory : File_kind::other;
}

bool open_private_save_file(QSaveFile& f, QIODevice::OpenMode mode) {
    const bool existed = file_kind(f.fileName()) != File_kind::missing;
    if (!f.open(mode))
        return false;
    // The temporary file becomes the target on commit, with the mode it has now.
    // On failure the caller's save file is dropped uncommitted, which removes its temporary.
    return existed || f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
