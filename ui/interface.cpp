#include "ui/interface.h"

#include "foundation/err.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QToolTip>
#include <QWidget>
#include <algorithm>

QFont font_name_big;
QFont font_name_small;
QFont font_value_big;
QFont font_value_small;
int module_w = 7;
int module_h = 16;
int w_dec_big = 7;
int w_dec_small = 7;
bool fonts_initialized = false;

const Monospace_font monospace_fonts[] = {
    {"Andale Mono", 8},     {"Consolas", 1},    {"Courier", 9}, {"Deja Vu Sans Mono", 0},
    {"Droid Sans Mono", 3}, {"Inconsolata", 2}, {"Monaco", 7},  {"Monofur", 5},
    {"Profont", 6},         {"Proggy", 4},
};
const int monospace_font_count = int(sizeof monospace_fonts / sizeof monospace_fonts[0]);

int dec_digit_width(const QFontMetrics& metrics) {
    int widest = 0;
    for (char c = '0'; c <= '9'; ++c)
        widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(c)));
    return widest;
}

int compare_monospace(const QString& family, const char* entry) {
    int i = 0;
    for (const char* e = entry; *e;) {
        if (i == family.size())
            return -1; // the family is a proper prefix: it sorts first
        const QChar f = family.at(i).toLower();
        const QChar c = QChar::fromLatin1(*e).toLower();
        if (f == c) {
            ++i;
            ++e;
        } else if (*e == ' ') {
            ++e;
        } else {
            return f < c ? -1 : 1;
        }
    }
    return 0;
}

QString choose_monospace_family(QStringList families,
                                const std::function<bool(const QString&)>& usable) {
    families.sort(Qt::CaseSensitive);
    QString chosen;
    int chosen_rank = monospace_font_count + 100;
    int i = 0, j = 0;
    while (i < families.size() && j < monospace_font_count) {
        const int r = compare_monospace(families.at(i), monospace_fonts[j].name);
        if (r == 0) {
            // The entry may match more families ("Courier", "Courier New"): keep it.
            if (monospace_fonts[j].rank < chosen_rank && usable(families.at(i))) {
                chosen = families.at(i);
                chosen_rank = monospace_fonts[j].rank;
            }
            ++i;
        } else if (r < 0) {
            ++i;
        } else {
            ++j;
        }
    }
    return chosen;
}

qint64 font_scale_big(qint64 screen_w, qint64 screen_h, qint64 digit_w, qint64 line_h) {
    qint64 s = std::min({screen_w * 5833 / digit_w, qint64(1800000), screen_h * 25000 / line_h});
    return std::max(s, qint64(1000000));
}

qint64 font_scale_small(qint64 screen_w, qint64 screen_h, qint64 digit_w, qint64 line_h) {
    qint64 s = std::min({screen_w * 4375 / digit_w, qint64(1600000), screen_h * 18750 / line_h});
    return std::max(s, qint64(1000000));
}

bool has_regular_style(const QStringList& styles) {
    for (const char* name : {"Normal", "Regular", "Book"})
        if (styles.contains(QLatin1String(name)))
            return true;
    return false;
}

static bool metric_ok(int v) {
    return v >= 1 && v <= 32767;
}

static bool usable_monospace(const QFontDatabase& db, const QString& family) {
    return db.writingSystems(family).contains(QFontDatabase::Latin) && db.isFixedPitch(family) &&
           !db.isPrivateFamily(family) && db.isSmoothlyScalable(family) &&
           has_regular_style(db.styles(family));
}

static void apply_fallback(const QFont& base, int digit_w, int line_h) {
    font_name_big = font_name_small = font_value_big = font_value_small = base;
    module_w = w_dec_big = w_dec_small = digit_w;
    module_h = line_h;
}

// A font of the family at base size x scale / 1e6, in points or pixels as the base has it.
static bool scaled_font(QFont& out, const QFont& base, const QString& family, qint64 scale,
                        unsigned short code) {
    const int points = base.pointSize();
    const int pixels = base.pixelSize();
    if (points >= 1 && points < 1193046471) {
        out = QFont(family, int(points * scale / 1000000), base.weight());
        return true;
    }
    if (pixels >= 1 && pixels < 1193046471) {
        QFont f(family);
        f.setWeight(base.weight());
        f.setPixelSize(int(pixels * scale / 1000000));
        out = f.resolve(base);
        return true;
    }
    log_debug(code);
    return false;
}

void init_fonts(QWidget& widget) {
    if (fonts_initialized)
        return;
    fonts_initialized = true;

    const QFont base = QApplication::font(&widget);
    const QFontMetrics base_metrics(base, &widget);
    if (!base_metrics.inFont(QLatin1Char('0'))) {
        log_debug(5377);
        font_name_big = font_name_small = font_value_big = font_value_small = base;
        module_w = w_dec_big = w_dec_small = 7;
        module_h = 16;
        return;
    }
    const int w0 = base_metrics.horizontalAdvance(QLatin1Char('0'));
    const int h0 = base_metrics.height();
    if (!metric_ok(w0) || !metric_ok(h0)) {
        log_debug(5378);
        apply_fallback(base, w0, h0);
        return;
    }
    QScreen* screen = widget.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen) {
        log_debug(5379);
        apply_fallback(base, w0, h0);
        return;
    }
    const QRect avail = screen->availableGeometry();
    if (avail.width() < 1 || avail.height() < 1) {
        log_debug(5380);
        apply_fallback(base, w0, h0);
        return;
    }

    const QFontDatabase db;
    QString mono =
        choose_monospace_family(db.families(QFontDatabase::Cyrillic), [&db](const QString& family) {
            return usable_monospace(db, family);
        });
    if (mono.isEmpty())
        mono = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    // Some platforms report a proportional family as their fixed font; ask the font
    // matching for any monospace family instead.
    if (!QFontInfo(QFont(mono)).fixedPitch()) {
        QFont any(QStringLiteral("monospace"));
        any.setStyleHint(QFont::Monospace);
        const QFontInfo info(any);
        if (info.fixedPitch())
            mono = info.family();
    }

    const qint64 big = font_scale_big(avail.width(), avail.height(), w0, h0);
    const qint64 small = font_scale_small(avail.width(), avail.height(), w0, h0);
    QFont name_big, name_small, value_big, value_small;
    if (!scaled_font(name_big, base, base.family(), big, 5381) ||
        !scaled_font(name_small, base, base.family(), small, 5382) ||
        !scaled_font(value_big, base, mono, big, 5383) ||
        !scaled_font(value_small, base, mono, small, 5384)) {
        apply_fallback(base, w0, h0);
        return;
    }

    const QFontMetrics m(name_big, &widget);
    if (!m.inFont(QLatin1Char('0'))) {
        log_debug(5385);
        apply_fallback(base, w0, h0);
        return;
    }
    const int mw = m.horizontalAdvance(QLatin1Char('0'));
    const int mh = m.height();
    if (!metric_ok(mw) || !metric_ok(mh)) {
        log_debug(5386);
        apply_fallback(base, w0, h0);
        return;
    }
    const int db_big = dec_digit_width(QFontMetrics(value_big, &widget));
    if (!metric_ok(db_big)) {
        log_debug(5387);
        apply_fallback(base, w0, h0);
        return;
    }
    const int db_small = dec_digit_width(QFontMetrics(value_small, &widget));
    if (!metric_ok(db_small)) {
        log_debug(5388);
        apply_fallback(base, w0, h0);
        return;
    }

    font_name_big = name_big;
    font_name_small = name_small;
    font_value_big = value_big;
    font_value_small = value_small;
    module_w = mw;
    module_h = mh;
    w_dec_big = db_big;
    w_dec_small = db_small;
    QApplication::setFont(font_name_big);
    QToolTip::setFont(font_name_small);
}

void interface_clear_translation() {}
