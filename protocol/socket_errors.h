#pragma once
// Our Russian texts for the failures of a TCP connection, in the place of the platform's
// English ones; the numeric code of a message stays the link's own.

#include <QString>

// The text of a socket failure by its errno; 0 is the peer's end of the stream. An errno
// without a text of its own is named by its number.
QString socket_error_text(int err);
// A name that no address was found for.
QString host_not_found_text();
// A failure with no errno to tell (a report that belongs to another connection).
QString unknown_socket_error_text();

void socket_errors_clear_translation();
