// One device session driven byte by byte, without a network: the exact request payloads,
// the UNLINK that arrives while a request is still being written, and the counters after an
// orderly shutdown that breaks.
#include "config/config.h"
#include "engine/actions.h"
#include "engine/actor.h"
#include "engine/engine.h"
#include "engine/params.h"
#include "protocol/frame.h"
#include "support/engine_cfg.h"
#include "support/harness/engine_harness.h"
#include "support/scripted_peer.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray one_byte(unsigned char v) {
    return QByteArray(1, char(v));
}

QByteArray cmd_answer_ok() {
    return frame_bytes(CMD_ANSWER, QByteArray("\0\0\0\0\x01\x00", 6));
}

} // namespace

class tst_Actor : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void link_carries_fifteen_digits_data();
    void link_carries_fifteen_digits();
    void auth_payload_follows_pin_length_data();
    void auth_payload_follows_pin_length();
    void unlink_while_writing_fails_device_after_handover_data();
    void unlink_while_writing_fails_device_after_handover();
    void unlink_before_link_answer_is_ignored();
    void rupture_during_last_shutdown_leaves_no_connection_counted();
    void devices_nobody_reached_after_a_crash_get_a_text();

private:
    QTemporaryDir dir;
};

void tst_Actor::initTestCase() {
    QVERIFY(dir.isValid());
    use_test_log(dir.path());
}

void tst_Actor::link_carries_fifteen_digits_data() {
    QTest::addColumn<quint64>("imei");
    QTest::addColumn<QByteArray>("digits");
    QTest::newRow("IMEI 1 is padded with fourteen zeros") << 1ull << QByteArray("000000000000001");
    QTest::newRow("the largest IMEI") << 999999999999999ull << QByteArray("999999999999999");
    QTest::newRow("an ordinary IMEI") << 350000000000123ull << QByteArray("350000000000123");
}

void tst_Actor::link_carries_fifteen_digits() {
    QFETCH(quint64, imei);
    QFETCH(QByteArray, digits);
    QVERIFY(load_cfg(cfg_server("127.0.0.1", 1, {{imei, "1234"}})));
    Action_cmd action(1, QStringLiteral("рестарт устройства"));
    Engine_harness h(action);
    QVERIFY(h.connect());
    QCOMPARE(h.link.written, frame_bytes(LINK, digits + QByteArray(42, '\0')));
}

void tst_Actor::auth_payload_follows_pin_length_data() {
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("four characters give five bytes") << "1234" << QByteArray("1234\0", 5);
    QTest::newRow("a short PIN is zero-padded to four") << "ab" << QByteArray("ab\0\0\0", 5);
    QTest::newRow("an empty PIN gives five zero bytes") << "" << QByteArray(5, '\0');
    QTest::newRow("five characters give the whole field and a zero")
        << "12345" << (QByteArray("12345") + QByteArray(12, '\0'));
    QTest::newRow("sixteen characters and one zero")
        << "ABCDEFGHIJKLMNOP" << QByteArray("ABCDEFGHIJKLMNOP\0", 17);
}

void tst_Actor::auth_payload_follows_pin_length() {
    QFETCH(QString, pin);
    QFETCH(QByteArray, payload);
    QVERIFY(load_cfg(cfg_server("127.0.0.1", 1, {{350000000000001ull, pin}})));
    Action_cmd action(1, QStringLiteral("рестарт устройства"));
    Engine_harness h(action);
    QVERIFY(h.connect());
    h.link.written.clear();
    h.feed(frame_bytes(LINK_ANSWER, one_byte(0)));
    QCOMPARE(h.link.written, frame_bytes(AUTH, payload));
    QCOMPARE(h.engine.linked.load(), 1u);
}

enum Stage { auth_stage, upfile_head_stage, upfile_file_stage, getparam_stage, cmd_stage };
Q_DECLARE_METATYPE(Stage)

void tst_Actor::unlink_while_writing_fails_device_after_handover_data() {
    QTest::addColumn<Stage>("stage");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("twice");
    const QString twice = QStringLiteral("от сервера два или более раз пришло сообщение "
                                         "«уведомление об отключении устройства или "
                                         "конфигуратора». Нарушение игнорируется.");
    QTest::newRow("while the authorisation is written")
        << auth_stage << text_unlink_auth()
        << (QStringLiteral("пока мы передавали сообщение «авторизация», ") + twice);
    QTest::newRow("while the upload frame is written")
        << upfile_head_stage << text_unlink_upfile()
        << (QStringLiteral("пока мы передавали сообщение «файл целиком от хоста устройству», ") +
            twice);
    QTest::newRow("while the file bytes are written")
        << upfile_file_stage << text_unlink_upfile()
        << (QStringLiteral("пока мы передавали содержимое файла, ") + twice);
    QTest::newRow("while a parameter request is written")
        << getparam_stage << text_unlink_getparam()
        << (QStringLiteral("пока мы передавали сообщение «команда», ") + twice);
    QTest::newRow("while a command is written")
        << cmd_stage << text_unlink_cmd()
        << (QStringLiteral("пока мы передавали сообщение «команда», ") + twice);
}

void tst_Actor::unlink_while_writing_fails_device_after_handover() {
    QFETCH(Stage, stage);
    QFETCH(QString, text);
    QFETCH(QString, twice);

    QVERIFY(load_cfg(cfg_server("127.0.0.1", 1, cfg_devices(350000000000001ull, 2))));
    std::unique_ptr<Params> params = make_version_params();
    std::unique_ptr<Action> action;
    if (stage == getparam_stage)
        action.reset(new Action_gather(*params));
    else if (stage == cmd_stage || stage == auth_stage)
        action.reset(new Action_cmd(1, QStringLiteral("рестарт устройства")));
    else
        action.reset(new Action_upload_firmware);
    firmware = QByteArray(100, 'f');
    firmware_sum = calculate_crc32(firmware.constData(), size_t(firmware.size()));

    Engine_harness h(*action);
    QVERIFY(h.connect());
    if (stage == auth_stage)
        h.link.accept_limit = 3;
    h.feed(frame_bytes(LINK_ANSWER, one_byte(0)));
    if (stage != auth_stage) {
        // Upload frame: 25 bytes; accepting 10 leaves it half written, 25 leaves the file.
        h.link.accept_limit = stage == upfile_head_stage ? 10 : stage == upfile_file_stage ? 25 : 3;
        h.feed(frame_bytes(AUTH_ANSWER, one_byte(1)));
        QCOMPARE(h.engine.authorized.load(), 1u);
    }
    QVERIFY(h.actor->bytes_left > 0);

    const QByteArray unlink = frame_bytes(UNLINK, QByteArray());
    h.feed(unlink);
    const Device* first = configuration.devices.rows[0].device;
    QVERIFY(first->error_text.isEmpty()); // not before the request has been handed over
    QCOMPARE(h.engine.failure.load(), 0u);
    h.feed(unlink);
    QVERIFY2(read_test_log().contains(twice), qPrintable(read_test_log().right(400)));

    h.link.written.clear();
    h.drain_all();
    QCOMPARE(first->error_text, text);
    QCOMPARE(h.engine.failure.load(), 1u);
    QVERIFY(!(first->run_flags & Device::succeeded));
    // The rest of the request went out, then the next device is linked over the same
    // connection.
    const QByteArray link = frame_bytes(LINK, QByteArray("350000000000002") + QByteArray(42, '\0'));
    QVERIFY(h.link.written.endsWith(link));
    QVERIFY(h.link.written.size() > link.size());
    QVERIFY(h.actor->is_connected());
    QVERIFY(h.actor->expected_answer == Actor::link_answer);
}

void tst_Actor::unlink_before_link_answer_is_ignored() {
    QVERIFY(load_cfg(cfg_server("127.0.0.1", 1, cfg_devices(350000000000001ull, 1))));
    Action_cmd action(1, QStringLiteral("рестарт устройства"));
    Engine_harness h(action);
    QVERIFY(h.connect());
    h.link.written.clear();
    // Both in one read: the stale UNLINK first.
    h.feed(frame_bytes(UNLINK, QByteArray()) + frame_bytes(LINK_ANSWER, one_byte(0)));
    QCOMPARE(h.link.written, frame_bytes(AUTH, QByteArray("1234\0", 5)));
    QCOMPARE(h.engine.failure.load(), 0u);
}

void tst_Actor::rupture_during_last_shutdown_leaves_no_connection_counted() {
    QVERIFY(load_cfg(cfg_server("127.0.0.1", 1, cfg_devices(350000000000001ull, 1))));
    Action_cmd action(1, QStringLiteral("рестарт устройства"));
    Engine_harness h(action);
    QVERIFY(h.connect());
    h.feed(frame_bytes(LINK_ANSWER, one_byte(0)));
    h.feed(frame_bytes(AUTH_ANSWER, one_byte(1)));
    h.feed(cmd_answer_ok());
    QCOMPARE(h.engine.success.load(), 1u);
    QVERIFY(h.actor->state & Zelmo_client::st_shutting_down);
    QCOMPARE(h.engine.connected.load(), 1u);
    h.link.report_failure(Link::remote_closed);
    QCOMPARE(h.engine.connected.load(), 0u);
    QCOMPARE(h.engine.connecting.load(), 0u);
    QVERIFY(configuration.devices.rows[0].device->run_flags & Device::succeeded);
}

void tst_Actor::devices_nobody_reached_after_a_crash_get_a_text() {
    QVERIFY(load_cfg(cfg_server("127.0.0.1", 1, cfg_devices(350000000000001ull, 3))));
    Action_cmd action(1, QStringLiteral("рестарт устройства"));
    Engine_harness h(action);
    QVERIFY(h.connect());
    h.actor->total_crash(QStringLiteral("internal"));
    QCOMPARE(h.engine.working, 0ull); // the only actor is retired
    h.finish(false);
    const QVector<Device_result> results = device_results();
    QCOMPARE(results[0].error_text, QStringLiteral("internal"));
    QCOMPARE(results[1].error_text, text_device_not_served());
    QCOMPARE(results[2].error_text, text_device_not_served());
    QVERIFY(!text_device_not_served().isEmpty());
    QCOMPARE(h.engine.failure.load(), 3u);
    QCOMPARE(h.engine.connected.load(), 0u);
}

QTEST_GUILESS_MAIN(tst_Actor)
#include "tst_actor.moc"
