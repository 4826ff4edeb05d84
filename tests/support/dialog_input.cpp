#include "support/dialog_input.h"

#include "support/modal.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTextEdit>

void type_text(QWidget* w, const QString& text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

void retype(QLineEdit* e, const QString& text) {
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    type_text(e, text);
}

QString click_expecting_box(QAbstractButton* button, bool box_expected) {
    Modal_script script;
    if (box_expected)
        script.press(QStringLiteral("Закрыть"));
    button->click();
    if (!script.all_answered())
        return QStringLiteral("unanswered: ") + script.unexpected.join('\n');
    return script.seen.isEmpty() ? QString() : script.seen.first().text;
}

QString missing_hints(QWidget* dialog) {
    QList<QWidget*> buddies;
    for (QLabel* l : dialog->findChildren<QLabel*>())
        if (l->buddy()) {
            if (l->toolTip() != l->buddy()->toolTip())
                return QStringLiteral("label «%1» and its field differ").arg(l->text());
            buddies << l->buddy();
        }
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        // A combo box's own parts and a table's corner are not the user's controls.
        if (qobject_cast<QComboBox*>(w->parentWidget()) || w->inherits("QTableCornerButton"))
            continue;
        const bool input = qobject_cast<QLineEdit*>(w) || qobject_cast<QTextEdit*>(w) ||
                           qobject_cast<QComboBox*>(w);
        const QString name = QStringLiteral("%1 «%2»").arg(
            QString::fromLatin1(w->metaObject()->className()), w->objectName());
        if (input && !buddies.contains(w))
            return name + QStringLiteral(" is no label's buddy");
        if ((input || qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w)) &&
            w->toolTip().isEmpty())
            return name + QStringLiteral(" has no tooltip");
    }
    return QString();
}
