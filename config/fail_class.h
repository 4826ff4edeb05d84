#pragma once
// Why a device failed, kept beside its error text so that a run can decide on retries and
// stops without reading the text. Set wherever the text is chosen.

#include <QString>
#include <cstdint>

enum Fail_class : unsigned char {
    fail_none,       // succeeded, or not yet ended
    fail_connect,    // no connection to the server, or the server was given up
    fail_rupture,    // the connection was lost or the server broke the protocol
    fail_timeout,    // an answer, a write or the orderly close took too long
    fail_not_linked, // the server does not know the device, or the device is offline
    fail_auth,       // the device refused the PIN
    fail_device,     // the device refused or failed the work
    fail_cancelled,  // the run was cancelled or stopped before the device was done
    fail_internal,   // an error of the program
    fail_verify,     // after the upload the device reports another version than expected
    fail_class_count
};

// The class's word in reports and on the command line ("connect", ...); "" for fail_none.
const char* fail_class_name(unsigned cls);
// The class named by a word, or fail_class_count when none is.
unsigned fail_class_from_name(const char* word);

// The class's name for people ("тайм-аут", ...), translated; empty for fail_none and for a
// value out of range. The windows show it and the readers of the reports may.
QString fail_class_display(Fail_class cls);

// A set of classes as a bit mask.
constexpr uint32_t fail_bit(unsigned cls) {
    return uint32_t(1) << cls;
}

void fail_class_clear_translation();
