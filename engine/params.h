#pragma once
// Parameters read from a device by the gather action: their descriptions, the layout of a
// device's value bytes, and the conversion of a stored value to display text.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

class Param {
public:
    Param(const QString& name, uint64_t id, uint64_t size) : name(name), id(id), size(size) {}
    Param(const Param&) = delete;
    Param& operator=(const Param&) = delete;
    virtual ~Param();

    // Alignment in bytes that the stored value needs.
    virtual uint64_t alignment() const;
    // Stores a received value of len bytes into the value slot dst (size bytes); false with a
    // message in err when the value cannot be stored.
    virtual bool take(unsigned char* dst, const unsigned char* src, unsigned char len,
                      QString& err) const;
    // Display text of a stored value, added to `out`: a result line per device takes it
    // without a string of its own.
    virtual void append_shown(QString& out, const unsigned char* value) const = 0;
    // The same text alone.
    QString show(const unsigned char* value) const {
        QString text;
        append_shown(text, value);
        return text;
    }
    // Display width of the parameter, in characters.
    virtual unsigned measure() const = 0;

    QString name;
    uint64_t id;
    uint64_t size;
    uint64_t offset = 0; // set by Params::lay_out
};

// A Windows-1251 text, stored as one length byte followed by the text.
class Param_cp1251 : public Param {
public:
    Param_cp1251(const QString& name, uint64_t id, uint64_t size, unsigned char width)
        : Param(name, id, size), width(width) {}

    bool take(unsigned char* dst, const unsigned char* src, unsigned char len,
              QString& err) const override;
    void append_shown(QString& out, const unsigned char* value) const override;
    unsigned measure() const override;

    unsigned char width;
};

class Params {
public:
    explicit Params(uint64_t count);
    Params(const Params&) = delete;
    Params& operator=(const Params&) = delete;
    ~Params();

    // Gives every parameter its offset and sets the total size; false if an offset overflows.
    bool lay_out();

    uint64_t count;
    Param** items;
    uint64_t total_size = 0;
};

// Sizes a device's value bytes for the list as a gather does: values from an earlier run stay
// until overwritten, new bytes start as zero. Allocates only when the size changes.
void size_values(QByteArray& values, const Params& params);

// Whether a stored Windows-1251 value shows as `text` (Param_cp1251::show), without building
// the shown text.
bool cp1251_shows(const unsigned char* value, const QString& text);

// The three version parameters that "Собрать информацию" reads, laid out (768 bytes).
// Throws Debug if the layout fails.
std::unique_ptr<Params> make_version_params();

// The Unicode character of a Windows-1251 byte of 0x80 and above (0x98 shows as U+25AF).
char16_t cp1251_char(unsigned char byte);

void params_clear_translation();
