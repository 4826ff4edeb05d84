#pragma once
// The program's four fonts and the metrics that windows size themselves by, chosen once.

#include <QFont>
#include <QStringList>
#include <functional>

class QFontMetrics;
class QWidget;

extern QFont font_name_big;    // application family, big: the application font
extern QFont font_name_small;  // application family, small: headers and tooltips
extern QFont font_value_big;   // monospace, big: input fields and the text editor
extern QFont font_value_small; // monospace, small: table cells
extern int module_w;           // width of "0" in font_name_big
extern int module_h;           // line height of font_name_big
extern int w_dec_big;          // widest decimal digit of font_value_big
extern int w_dec_small;        // widest decimal digit of font_value_small
extern bool fonts_initialized;

// The first call chooses the fonts, using the widget for metrics and to find the screen;
// later calls do nothing.
void init_fonts(QWidget& widget);

int dec_digit_width(const QFontMetrics& metrics);

// The preferred monospace families, alphabetical, each with its rank (lower is preferred).
struct Monospace_font {
    const char* name;
    int rank;
};
extern const Monospace_font monospace_fonts[];
extern const int monospace_font_count;

// Whether the preferred entry names the start of the family: case-insensitive, the
// entry's spaces may be skipped. <0: the family sorts before the entry, >0 after, 0 match.
int compare_monospace(const QString& family, const char* entry);

// Walks the sorted family list against the table; of the families that match an entry and
// pass usable(), the one of the lowest rank wins (the first in order among equals). Empty
// when none qualifies.
QString choose_monospace_family(QStringList families,
                                const std::function<bool(const QString&)>& usable);

// Whether a family's styles include the plain upright one; font databases name it
// "Normal", "Regular" or "Book".
bool has_regular_style(const QStringList& styles);

// Scales in millionths: fonts grow with the screen, to at most 1.8 (big) and 1.6 (small)
// times, and never shrink.
qint64 font_scale_big(qint64 screen_w, qint64 screen_h, qint64 digit_w, qint64 line_h);
qint64 font_scale_small(qint64 screen_w, qint64 screen_h, qint64 digit_w, qint64 line_h);

void interface_clear_translation();
