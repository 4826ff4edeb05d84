// Typing into dialogs as a user does, and pressing a button that may answer with an error box.
#pragma once

#include <QString>

class QAbstractButton;
class QLineEdit;
class QWidget;

// Any text, Cyrillic included, key by key (QTest::keyClicks knows only ASCII keys).
void type_text(QWidget* w, const QString& text);
// Selects all of a line edit, deletes it and types the new text.
void retype(QLineEdit* e, const QString& text);
// Clicks the button; when a box is expected, presses its "Закрыть" and returns the box's text.
// "" when no box showed; a description of what went wrong when the boxes did not match.
QString click_expecting_box(QAbstractButton* button, bool box_expected);
// "" when every input field is some label's buddy with the label's tooltip and every control
// and label has a tooltip; else a description of the first offender.
QString missing_hints(QWidget* dialog);
