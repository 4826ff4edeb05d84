// The rollout decisions as tables: which rows the canary, the main pass and a retry pass take,
// when a canary failure and when the thresholds stop a run, and what the options give.
#include "config/config.h"
#include "engine/rollout_policy.h"

#include <QtTest>
#include <vector>

Q_DECLARE_METATYPE(Stop_cause)

namespace {

// Rows from a word per device: "-" not attempted, "s" skipped (resumed as succeeded), "ok",
// or a failure class word ("timeout", "auth", ...).
std::vector<Row_state> rows_of(const QString& words) {
    std::vector<Row_state> rows;
    for (const QString& w : words.split(' ', Qt::SkipEmptyParts)) {
        Row_state r;
        if (w == "s") {
            r.skipped = true;
        } else if (w == "ok") {
            r.attempts = 1;
            r.ok = true;
        } else if (w != "-") {
            r.attempts = 1;
            r.cls = Fail_class(fail_class_from_name(w.toLatin1().constData()));
            if (r.cls >= fail_class_count)
                qFatal("unknown class word %s", qPrintable(w));
        }
        rows.push_back(r);
    }
    return rows;
}

// The taken rows as a string of 0 and 1.
QString marks(const std::vector<unsigned char>& selected) {
    QString s;
    for (unsigned char c : selected)
        s += c ? '1' : '0';
    return s;
}

uint32_t mask_of(const QString& words) {
    uint32_t m = 0;
    for (const QString& w : words.split(',', Qt::SkipEmptyParts))
        m |= fail_bit(fail_class_from_name(w.toLatin1().constData()));
    return m;
}

} // namespace

class tst_Rollout_policy : public QObject {
    Q_OBJECT
private slots:
    void selection_data();
    void selection();
    void canary_stop_data();
    void canary_stop();
    void thresholds_data();
    void thresholds();
    void policy_from_options_data();
    void policy_from_options();
    void stop_texts_data();
    void stop_texts();
};

void tst_Rollout_policy::selection_data() {
    QTest::addColumn<QString>("pass"); // canary, main or retry
    QTest::addColumn<int>("canary");
    QTest::addColumn<QString>("retry_classes"); // empty: the default list
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("taken");

    QTest::newRow("the canary is the first rows") << "canary" << 3 << ""
                                                  << "- - - - -"
                                                  << "11100";
    QTest::newRow("the canary passes over resumed rows") << "canary" << 2 << ""
                                                         << "s - s - -"
                                                         << "01010";
    QTest::newRow("a canary larger than the fleet takes all") << "canary" << 9 << ""
                                                              << "- - -"
                                                              << "111";
    QTest::newRow("a canary of only resumed rows takes none") << "canary" << 2 << ""
                                                              << "s s"
                                                              << "00";
    QTest::newRow("the main pass takes what no pass took") << "main" << 0 << ""
                                                           << "ok timeout - s -"
                                                           << "00101";
    QTest::newRow("a retry takes the default classes")
        << "retry" << 0 << ""
        << "connect rupture timeout not_linked auth device cancelled internal ok - s"
        << "11110000000";
    QTest::newRow("a retry takes only the classes named") << "retry" << 0 << "auth,device"
                                                          << "connect auth device ok"
                                                          << "0110";
    QTest::newRow("nothing to retry") << "retry" << 0 << ""
                                      << "ok ok s"
                                      << "000";
}

void tst_Rollout_policy::selection() {
    QFETCH(QString, pass);
    QFETCH(int, canary);
    QFETCH(QString, retry_classes);
    QFETCH(QString, rows);
    QFETCH(QString, taken);
    Rollout_policy p;
    p.canary = unsigned(canary);
    if (!retry_classes.isEmpty())
        p.retry_classes = mask_of(retry_classes);
    const std::vector<Row_state> r = rows_of(rows);
    std::vector<unsigned char> selected(r.size(), 7); // every mark must be written
    unsigned n = 0;
    if (pass == "canary")
        n = select_canary(p, r.data(), unsigned(r.size()), selected.data());
    else if (pass == "main")
        n = select_main(r.data(), unsigned(r.size()), selected.data());
    else
        n = select_retry(p, r.data(), unsigned(r.size()), selected.data());
    QCOMPARE(marks(selected), taken);
    QCOMPARE(int(n), int(taken.count('1')));
}

void tst_Rollout_policy::canary_stop_data() {
    QTest::addColumn<QString>("ignore"); // empty: the default list
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<int>("breaker");

    QTest::newRow("a sound canary goes on") << ""
                                            << "ok ok ok -"
                                            << "1110" << -1;
    QTest::newRow("offline and unreachable devices are ignored") << ""
                                                                 << "not_linked connect ok"
                                                                 << "111" << -1;
    QTest::newRow("a device refusal stops at its row") << ""
                                                       << "ok device ok"
                                                       << "111" << 1;
    QTest::newRow("a refused PIN stops") << ""
                                         << "auth ok"
                                         << "11" << 0;
    QTest::newRow("a time-out stops") << ""
                                      << "ok timeout"
                                      << "11" << 1;
    QTest::newRow("the first breaker is named") << ""
                                                << "ok rupture internal"
                                                << "111" << 1;
    QTest::newRow("rows outside the canary do not count") << ""
                                                          << "ok ok device"
                                                          << "110" << -1;
    QTest::newRow("an ignore list replaces the default") << "device"
                                                         << "not_linked device"
                                                         << "11" << 0;
    QTest::newRow("an ignored device error goes on") << "device,auth"
                                                     << "device auth"
                                                     << "11" << -1;
}

void tst_Rollout_policy::canary_stop() {
    QFETCH(QString, ignore);
    QFETCH(QString, rows);
    QFETCH(QString, selected);
    QFETCH(int, breaker);
    Rollout_policy p;
    p.canary = 3;
    if (!ignore.isEmpty())
        p.canary_ignore = mask_of(ignore);
    const std::vector<Row_state> r = rows_of(rows);
    std::vector<unsigned char> s;
    for (QChar c : selected)
        s.push_back(c == '1');
    QCOMPARE(canary_breaker(p, r.data(), unsigned(r.size()), s.data()), breaker);
}

void tst_Rollout_policy::thresholds_data() {
    QTest::addColumn<int>("stop_after");
    QTest::addColumn<double>("rate");
    QTest::addColumn<int>("finished");
    QTest::addColumn<int>("failures");
    QTest::addColumn<Stop_cause>("cause");

    QTest::newRow("no thresholds never stop") << 0 << 0.0 << 1000 << 1000 << Stop_cause::none;
    QTest::newRow("one below the count") << 3 << 0.0 << 10 << 2 << Stop_cause::none;
    QTest::newRow("at the count") << 3 << 0.0 << 10 << 3 << Stop_cause::failures;
    QTest::newRow("a count of one stops at the first failure")
        << 1 << 0.0 << 1 << 1 << Stop_cause::failures;
    QTest::newRow("a rate at 49 finished waits for the minimum")
        << 0 << 20.0 << 49 << 49 << Stop_cause::none;
    QTest::newRow("a rate at 50 finished, exactly reached")
        << 0 << 20.0 << 50 << 10 << Stop_cause::rate;
    QTest::newRow("a rate at 50 finished, one failure short")
        << 0 << 20.0 << 50 << 9 << Stop_cause::none;
    QTest::newRow("a fractional rate") << 0 << 2.5 << 200 << 5 << Stop_cause::rate;
    QTest::newRow("a fractional rate not reached") << 0 << 2.5 << 201 << 5 << Stop_cause::none;
    QTest::newRow("a rate of 100 wants every device failed")
        << 0 << 100.0 << 60 << 59 << Stop_cause::none;
    QTest::newRow("the count is named first when both are reached")
        << 10 << 20.0 << 50 << 10 << Stop_cause::failures;
}

void tst_Rollout_policy::thresholds() {
    QFETCH(int, stop_after);
    QFETCH(double, rate);
    QFETCH(int, finished);
    QFETCH(int, failures);
    QFETCH(Stop_cause, cause);
    Rollout_policy p;
    p.stop_after_failures = unsigned(stop_after);
    p.stop_rate = rate;
    QCOMPARE(int(threshold_reached(p, unsigned(finished), unsigned(failures))), int(cause));
}

void tst_Rollout_policy::policy_from_options_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("policy"); // cap canary stop rate retries delay

    QTest::newRow("no option: a plain run") << ""
                                            << "0 0 0 0 0 5000";
    QTest::newRow("every option")
        << "max_per_server = 7\ncanary = 20\nstop_after_failures = 3\n"
           "stop_at_failure_rate = 15\nretry_passes = 2\nretry_delay = 1\n"
        << "7 20 3 15 2 1";
    QTest::newRow("the delay alone is no rollout") << "retry_delay = 100\n"
                                                   << "0 0 0 0 0 100";
}

void tst_Rollout_policy::policy_from_options() {
    QFETCH(QString, text);
    QFETCH(QString, policy);
    parse_cfg(text);
    const Rollout_policy p = rollout_policy_from_options();
    QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5 %6")
                 .arg(p.max_per_server)
                 .arg(p.canary)
                 .arg(p.stop_after_failures)
                 .arg(p.stop_rate)
                 .arg(p.retry_passes)
                 .arg(p.retry_delay_ms),
             policy);
    QCOMPARE(p.any(), policy.section(' ', 0, 4) != "0 0 0 0 0");
    QCOMPARE(p.canary_ignore, default_canary_ignore());
    QCOMPARE(p.retry_classes, default_retry_classes());
    clear_cfg();
}

// The desktop's words for a stop name the class as people read it.
void tst_Rollout_policy::stop_texts_data() {
    QTest::addColumn<int>("cause");
    QTest::addColumn<int>("cls");
    QTest::addColumn<QString>("text");

    QTest::newRow("canary, refused PIN")
        << int(Stop_cause::canary) << int(fail_auth)
        << "устройство 350000000000007 из пробной группы (5 устр.) завершилось неудачей "
           "«PIN-код не подошёл»";
    QTest::newRow("canary, internal error")
        << int(Stop_cause::canary) << int(fail_internal)
        << "устройство 350000000000007 из пробной группы (5 устр.) завершилось неудачей "
           "«внутренняя ошибка»";
    QTest::newRow("failure count")
        << int(Stop_cause::failures) << 0 << "неудачей завершились 4 устройств (порог 4)";
    QTest::newRow("failure rate") << int(Stop_cause::rate) << 0
                                  << "неудачей завершились 4 из 60 устройств (порог 2.5%)";
    QTest::newRow("no stop") << int(Stop_cause::none) << 0 << "";
}

void tst_Rollout_policy::stop_texts() {
    QFETCH(int, cause);
    QFETCH(int, cls);
    QFETCH(QString, text);
    Rollout_stop s;
    s.cause = Stop_cause(cause);
    s.canary = 5;
    s.imei = 350000000000007ULL;
    s.cls = Fail_class(cls);
    s.failures = 4;
    s.finished = 60;
    s.stop_after = 4;
    s.stop_rate = 2.5;
    QCOMPARE(rollout_stop_text(s), text);
}

QTEST_GUILESS_MAIN(tst_Rollout_policy)
#include "tst_rollout_policy.moc"
