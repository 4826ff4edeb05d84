// Texts the parser tests compare against; short names because data tables use them in
// nearly every row.
#pragma once

#include <QString>

// The whole message of an error at a position, as a user reads it.
QString at(int column, int line, const QString& message);

// Where a parser stands, in a form that a failed comparison shows plainly.
QString pos(int column, int line);
