#pragma once
// The version check of an upload: the text that one of the three version parameters must show
// once the file is in place. With skip_current a device that already shows it gets no file;
// with verify the devices that took the file are read again after a delay.

#include <QString>

struct Version_check {
    QString expected;                // compared with Param_cp1251::show's text; empty: no check
    unsigned param = 0;              // position in the parameter list: 0 main, 1 modem, 2 GNSS
    bool skip_current = false;       // read the version before the upload, skip when equal
    bool verify = false;             // read it again after the run, fail when different
    unsigned verify_delay_ms = 60000; // before the verification pass

    bool any() const { return !expected.isEmpty() && (skip_current || verify); }
};
