#pragma once
// Texts, errors, debug codes, the log, message boxes, whole-file reading and UTF-8 tests.
// The message boxes are defined in ui/message_boxes.cpp (widgets library); everything else runs
// without a display.

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstddef>
#include <exception>

class QWidget;

extern const char* const program_name;    // "zelmo_upload"
extern const char* const program_version; // "1.9.0"
extern const char* const default_log_file_name;

// Lazily translated text; objects live at file scope and are never copied.
class Tr {
public:
    Tr(const char* context, const char* source) : context(context), source(source) {}
    Tr(const Tr&) = delete;
    Tr& operator=(const Tr&) = delete;
    const QString& tr();
    void clear() { translated.clear(); }

    const char* const context;
    const char* const source;
    QString translated;
};

// A caption with its tooltip, translated separately and lazily.
class Tr_with_hint {
public:
    Tr_with_hint(const char* context, const char* caption, const char* hint)
        : context(context), caption_source(caption), hint_source(hint) {}
    Tr_with_hint(const Tr_with_hint&) = delete;
    Tr_with_hint& operator=(const Tr_with_hint&) = delete;
    const QString& caption();
    const QString& hint();
    void clear() {
        caption_translated.clear();
        hint_translated.clear();
    }

    const char* const context;
    const char* const caption_source;
    const char* const hint_source;
    QString caption_translated;
    QString hint_translated;
};

// A finished user message; logged once, when made.
class Err : public std::exception {
public:
    explicit Err(const QString& message);
    ~Err() override;
    const char* what() const noexcept override;
    QString message;
};

// What cannot happen in a correct program: a 16-bit code, high byte source, low byte place.
class Debug : public Err {
public:
    explicit Debug(unsigned short code);
};

// The fixed what() text of every Err.
extern const char* const err_what_text;
// True for an Err or a class derived from it (its message is already in the log).
bool is_err(const std::exception& e);

QString debug_errtext(unsigned short code);

// Log state: the file name is set once at start-up (--log); trace bit 0 traces the exchange.
extern const char* log_file_name;
extern std::atomic<unsigned char> trace_flags;
// Where "Error in logging." goes when the log cannot be opened: standard output (the desktop
// program) or, when set at start-up, standard error (the batch runner, whose standard output
// carries its results).
extern bool log_failure_to_stderr;

void log(const QString& text);
void log(const char* text);
void log_debug(unsigned short code);
void log_data(const char* prefix, const void* data, size_t size);
void log_utf8(const char* prefix, const void* data, size_t size);
void log_exception(const std::exception& e);
void log_exception(const std::exception& e, const char* where);
void log_exception(const std::exception& e, const QString& where);

// Message boxes: GUI thread only (ui/message_boxes.cpp).
void show_error(const QString& text, QWidget* parent);
void show_exception(const std::exception& e, QWidget* parent);
void show_debug(unsigned short code, QWidget* parent);
bool get_confirmation(QWidget* parent, const QString& question, const QString& yes_hint,
                      const QString& no_hint);
// An information box with the one close button (the command-line help).
void show_info(const QString& title, const QString& text, QWidget* parent);
void err_gui_clear_translation();
// Shared texts of the boxes: "Закрыть" (context "dialog") and its tooltip (context "mbox").
const QString& close_caption();
const QString& close_hint();
// "zelmo_upload 1.9.0": the title of the main window and of the confirmation box.
QString program_title();

// Whole files, at most 64 MiB.
constexpr qint64 max_file_size = 67108864;
bool load_file_if(const QString& name, QByteArray& out);
void load_file(const QString& name, QByteArray& out);
bool load_text_file_if(const QString& name, QByteArray& out);
void load_text_file(const QString& name, QByteArray& out);

bool is_utf8(const unsigned char* data, size_t size);
bool is_printable_utf8(const unsigned char* data, size_t size);
// The file messages are translated where they are made; nothing is cached.
void files_clear_translation();

void err_clear_translation();
