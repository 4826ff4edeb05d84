#include "support/parser_texts.h"

QString at(int column, int line, const QString& message) {
    return QStringLiteral("Ошибка в %1-м символе %2-й строки: %3")
        .arg(column)
        .arg(line)
        .arg(message);
}

QString pos(int column, int line) {
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}
