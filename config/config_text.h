#pragma once
// The configuration's text form: reading a whole text (config_parse.cpp) and assembling one
// (config_write.cpp).

#include "config/collection.h"

// Reads a whole text into `cfg`; on failure the servers and devices stay as they were.
void parse_cfg(Utf8_text_parser& parser, Configuration& cfg);
// Reads a text into the global configuration.
void parse_cfg(const QString& text);
// Reads one server element after its keyword (which began at `where`) onto `servers`, with
// its devices on its own stack, counting devices against the limit.
void parse_server(Utf8_text_parser& parser, const Text_position<char>& where,
                  S_stack<Server>& servers, unsigned& device_count);

// Backslash escaping for literals; every value reads back unchanged.
void append_c_escaped(QString& out, const QString& value);
// Escaping for tab-separated descriptions: controls, backslash and DEL escaped, quotes kept.
void append_tsv_escaped(QString& out, const QString& value);

// Assembling a whole text: clear the buffers, add devices in the wanted order, then finish.
void begin_cfg_text(const Collection& c);
enum class Cfg_text_add { added, bad_row, already_written, bad_server };
Cfg_text_add add_device_to_cfg_text(const Collection& c, unsigned device_row);
// Preamble, defined options, devfname, then servers with their device blocks. With
// `only_used_servers`, servers with no device added are left out. Clears the buffers.
void finish_cfg_text(QString& text, const Collection& c, bool only_used_servers);
// The rows that could not be written, by reason.
struct Cfg_text_gaps {
    unsigned bad_row = 0, already_written = 0, bad_server = 0;
};
// The whole text, with the devices in the given row order (all rows in table order when
// `order` is null); the same text as the three steps above. Returns the number of rows that
// could not be written; `kinds` (if given) gets them by reason.
unsigned write_cfg_text(QString& text, const Collection& c, const unsigned* order,
                        unsigned order_count, bool only_used_servers,
                        Cfg_text_gaps* kinds = nullptr);

void config_write_clear_translation();
void config_parse_clear_translation();
