#include "cli/batch_files.h"

#include "foundation/err.h"
#include "foundation/file_kinds.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <vector>

static Tr fmt_in_option("batch", "в опции «%1»");
static Tr fmt_in_parameter("batch", "в параметре %1");
static Tr errfmt_input_not_regular("batch", "Файл «%1», указанный %2, не является обычным файлом "
                                            "(это папка, канал или устройство); прочитать его "
                                            "нельзя.");
static Tr errfmt_output_not_regular("batch", "Файл «%1», указанный %2, не является обычным "
                                             "файлом (это папка, канал или устройство); записать "
                                             "в него нельзя.");
static Tr errfmt_output_no_folder("batch",
                                  "Файл «%1», указанный %2, не может быть создан: нет папки «%3».");
static Tr errfmt_output_is_input("batch", "Файл «%1» указан и %2, и %3: запись результата "
                                          "уничтожила бы прочитанный файл. Укажите другой файл.");
static Tr errfmt_outputs_clash("batch", "Файл «%1» указан и %2, и %3: одна запись уничтожила бы "
                                        "другую. Укажите разные файлы.");

void batch_files_clear_translation() {
    fmt_in_option.clear();
    fmt_in_parameter.clear();
    errfmt_input_not_regular.clear();
    errfmt_output_not_regular.clear();
    errfmt_output_no_folder.clear();
    errfmt_output_is_input.clear();
    errfmt_outputs_clash.clear();
}

namespace {

struct Named_file {
    const char* name; // "--journal", or "CONFIG" for a parameter
    QString path;
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    QString absolute; // for a file that does not exist yet
};

QString where(const Named_file& f) {
    return f.name[0] == '-' ? fmt_in_option.tr().arg(QLatin1String(f.name))
                            : fmt_in_parameter.tr().arg(QLatin1String(f.name));
}

// The name a missing file will be created under: its folder with links followed, or, behind
// a dangling link, the link's target.
QString future_path(const QString& path) {
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    const QFileInfo t(target);
    const QString folder = t.dir().canonicalPath();
    return folder.isEmpty() ? QDir::cleanPath(target) : folder + QLatin1Char('/') + t.fileName();
}

Named_file named(const char* name, const QString& path) {
    Named_file f;
    f.name = name;
    f.path = path;
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        f.exists = true;
        f.dev = st.st_dev;
        f.ino = st.st_ino;
    } else {
        f.absolute = future_path(path);
    }
    return f;
}

bool same_file(const Named_file& a, const Named_file& b) {
    if (a.exists != b.exists)
        return false;
    return a.exists ? a.dev == b.dev && a.ino == b.ino : a.absolute == b.absolute;
}

void add(std::vector<Named_file>& list, const char* name, const QString& path) {
    if (!path.isEmpty())
        list.push_back(named(name, path));
}

// The log is no result to lose: a bad one only costs its entries.
void check_output(const Named_file& f) {
    if (f.exists) {
        if (file_kind(f.path) != File_kind::regular)
            throw Err(errfmt_output_not_regular.tr().arg(f.path, where(f)));
        return;
    }
    const QFileInfo folder(QFileInfo(f.absolute).path());
    if (!folder.isDir())
        throw Err(errfmt_output_no_folder.tr().arg(f.path, where(f), folder.filePath()));
}

} // namespace

void check_batch_files(const Batch_args& a) {
    std::vector<Named_file> inputs, outputs;
    add(inputs, "CONFIG", a.config);
    add(inputs, "FILE", a.file);
    add(inputs, "--password-file", a.password_file);
    add(inputs, "--encrypt-password-file", a.encrypt_password_file);
    add(inputs, "--resume", a.resume);
    add(outputs, "OUT", a.out);
    add(outputs, "--journal", a.journal);
    add(outputs, "--resume", a.resume); // continued in place
    add(outputs, "--report", a.report);
    add(outputs, "--failed-out", a.failed_out);
    add(outputs, "--succeeded-out", a.succeeded_out);
    add(outputs, "--log", QString::fromUtf8(a.log_file));

    // A FIFO would make the reading wait for a writer, a device would never end.
    for (const Named_file& f : inputs)
        if (f.exists && file_kind(f.path) != File_kind::regular)
            throw Err(errfmt_input_not_regular.tr().arg(f.path, where(f)));
    for (const Named_file& f : outputs)
        if (f.name != QLatin1String("--log"))
            check_output(f);

    // Inputs first: "would destroy the file read" says more than a clash of two outputs.
    for (const Named_file& out : outputs)
        for (const Named_file& in : inputs) {
            const bool itself = QLatin1String(in.name) == QLatin1String(out.name);
            const bool convert_in_place =
                out.name == QLatin1String("OUT") && in.name == QLatin1String("CONFIG");
            if (!itself && !convert_in_place && same_file(out, in))
                throw Err(errfmt_output_is_input.tr().arg(out.path, where(out), where(in)));
        }
    for (size_t o = 0; o < outputs.size(); ++o)
        for (size_t p = o + 1; p < outputs.size(); ++p)
            if (same_file(outputs[o], outputs[p]))
                throw Err(errfmt_outputs_clash.tr().arg(outputs[p].path, where(outputs[o]),
                                                        where(outputs[p])));
}
