#include "support/rollout_scenarios.h"

#include "support/sim_process.h"

#include <QRegularExpression>
#include <algorithm>

static constexpr quint64 first_imei = 352000000000001ULL;

QString rollout_scenario_imei(int offset) {
    return QString::number(first_imei + quint64(offset));
}

static QString range(int from, int to, const QString& keys = QString()) {
    return QStringLiteral("range %1 %2 %3\n")
        .arg(rollout_scenario_imei(from))
        .arg(to - from)
        .arg(keys);
}

QVector<Rollout_scenario> rollout_scenarios() {
    QVector<Rollout_scenario> out;
    {
        // The big server answers slowly; without the cap it would get most connections.
        Rollout_scenario s;
        s.name = "a cap per server";
        s.fleet = QStringLiteral("port 0\ndefault pin=1234 delay=40\n") + range(0, 12) +
                  QStringLiteral("port 0\ndefault pin=1234\n") + range(12, 14);
        s.counts = {12, 2};
        s.options = QStringLiteral("simultaneously = 30\nmax_per_server = 2\n");
        s.phases = QStringLiteral("main");
        s.linked = 14;
        s.ok = 14;
        s.cap = 2;
        out << s;
    }
    {
        // The second device refuses the PIN: nothing past the canary of three is touched.
        Rollout_scenario s;
        s.name = "a canary that breaks";
        s.fleet = QStringLiteral("port 0\ndefault pin=1234\n") + range(0, 1) +
                  QStringLiteral("device %1 pin=77\n").arg(rollout_scenario_imei(1)) + range(2, 20);
        s.counts = {20};
        s.options = QStringLiteral("canary = 3\n");
        s.phases = QStringLiteral("canary");
        s.stop = QStringLiteral("canary");
        s.linked = 3;
        s.ok = 2;
        s.reached = QStringList{rollout_scenario_imei(0), rollout_scenario_imei(1),
                                rollout_scenario_imei(2)};
        out << s;
    }
    {
        // Every third device refuses the PIN; one connection keeps the order, so the second
        // failure, at the fifth device, stops the run.
        Rollout_scenario s;
        s.name = "a failure count that stops";
        s.fleet = QStringLiteral("port 0\ndefault pin=1234\n");
        for (int i = 0; i < 12; ++i)
            s.fleet += QStringLiteral("device %1%2\n")
                           .arg(rollout_scenario_imei(i), i % 3 == 2 ? " pin=77" : "");
        s.counts = {12};
        s.options = QStringLiteral("simultaneously = 1\nstop_after_failures = 2\n");
        s.phases = QStringLiteral("main");
        s.stop = QStringLiteral("failures");
        s.linked = 6;
        s.ok = 4;
        out << s;
    }
    {
        // Three devices come online only after their first LINK; one retry pass brings them.
        Rollout_scenario s;
        s.name = "a retry pass";
        s.fleet = QStringLiteral("port 0\ndefault pin=1234\n") + range(0, 4) +
                  range(4, 7, QStringLiteral("offline_links=1"));
        s.counts = {7};
        s.options = QStringLiteral("retry_passes = 2\nretry_delay = 1\n");
        s.phases = QStringLiteral("main waiting retry");
        s.linked = 10;
        s.ok = 7;
        out << s;
    }
    return out;
}

QString rollout_scenario_config(const Rollout_scenario& s, const QVector<quint16>& ports) {
    QString t = s.options;
    int n = 0;
    for (int p = 0; p < ports.size(); ++p) {
        t += QStringLiteral("server(address \"127.0.0.1\", port %1)\n{\n").arg(ports[p]);
        for (int i = 0; i < s.counts.value(p); ++i)
            t += QStringLiteral(" device(imei %1, pin \"1234\")\n").arg(rollout_scenario_imei(n++));
        t += QStringLiteral("}\n");
    }
    return t;
}

QString check_rollout_scenario(const Rollout_scenario& s, const Sim_process& sim, int ok) {
    static const QRegularExpression re(QStringLiteral("imei=(\\d{15})"));
    QStringList linked;
    for (const QString& line : sim.record_of(QStringLiteral("LINK"))) {
        const QRegularExpressionMatch m = re.match(line);
        if (m.hasMatch())
            linked << m.captured(1);
    }
    QStringList problems;
    if (s.linked >= 0 && linked.size() != s.linked)
        problems << QStringLiteral("%1 LINKs, expected %2").arg(linked.size()).arg(s.linked);
    for (const QString& imei : s.reached)
        if (!linked.contains(imei))
            problems << QStringLiteral("%1 not linked").arg(imei);
    if (s.cap && (sim.counter(QStringLiteral("peak_per_port")) > s.cap ||
                  sim.counter(QStringLiteral("peak_per_port")) < 1))
        problems << QStringLiteral("peak per port %1, cap %2")
                        .arg(sim.counter(QStringLiteral("peak_per_port")))
                        .arg(s.cap);
    if (ok != s.ok)
        problems << QStringLiteral("%1 devices succeeded, expected %2").arg(ok).arg(s.ok);
    return problems.join(QStringLiteral("; "));
}

Verify_scenario verify_scenario() {
    Verify_scenario s;
    const QString v = QStringLiteral("\"%1\"").arg(s.expected);
    s.fleet = QStringLiteral("port 0\ndefault pin=1234\n") +
              range(0, 3, QStringLiteral("p2=") + v) +
              range(3, 6, QStringLiteral("apply_p2=%1 restart=%2").arg(v).arg(s.restart_ms)) +
              range(6, 8) + range(8, 9, QStringLiteral("getparam=4")) +
              range(9, 10, QStringLiteral("apply_p2=%1 restart=forever").arg(v));
    return s;
}

QString verify_scenario_config(const Verify_scenario& s, quint16 port) {
    Rollout_scenario r;
    r.counts = {s.count};
    return rollout_scenario_config(r, {port});
}

QVector<int> upfile_offsets(const Sim_process& sim) {
    static const QRegularExpression re(QStringLiteral("imei=(\\d{15})"));
    QVector<int> out;
    for (const QString& line : sim.record_of(QStringLiteral("UPFILE"))) {
        const QRegularExpressionMatch m = re.match(line);
        const int offset = m.hasMatch() ? int(m.captured(1).toULongLong() - first_imei) : -1;
        if (!out.contains(offset))
            out << offset;
    }
    std::sort(out.begin(), out.end());
    return out;
}
