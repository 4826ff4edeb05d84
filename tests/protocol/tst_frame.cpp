#include "protocol/frame.h"

#include <QtTest>

class tst_Frame : public QObject {
    Q_OBJECT
private slots:
    void crc32_data();
    void crc32();
    void built_frames_data();
    void built_frames();
    void crc_check_reports_both_values();
    void messages_data();
    void messages();
};

void tst_Frame::crc32_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<uint>("crc");
    QTest::newRow("nothing yields zero") << QByteArray() << 0u;
    QTest::newRow("the check text 123456789") << QByteArray("123456789") << 0xCBF43926u;
    QTest::newRow("a text of several eight-byte blocks and a tail")
        << QByteArray("The quick brown fox jumps over the lazy dog") << 0x414FA339u;
    QTest::newRow("one zero byte") << QByteArray(1, '\0') << 0xD202EF8Du;
    QTest::newRow("the header of an empty ENUMERATE")
        << QByteArray::fromHex("00000c") << 0xF6F79539u;
    QTest::newRow("high bytes fold through the whole table")
        << QByteArray::fromHex("ffffffff") << 0xFFFFFFFFu;
}

void tst_Frame::crc32() {
    QFETCH(QByteArray, bytes);
    QFETCH(uint, crc);
    QCOMPARE(calculate_crc32(bytes.constData(), size_t(bytes.size())), uint32_t(crc));
}

void tst_Frame::built_frames_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");

    QByteArray enumerate(7, '\0');
    build_frame(reinterpret_cast<unsigned char*>(enumerate.data()), ENUMERATE, nullptr, 0);
    QTest::newRow("empty ENUMERATE request is seven bytes")
        << enumerate << QByteArray::fromHex("00000c3995f7f6");

    QByteArray ping(int(ping_answer_frame_size), '\x55');
    QCOMPARE(build_ping_answer(reinterpret_cast<unsigned char*>(ping.data())),
             ping_answer_frame_size);
    QTest::newRow("ping answer") << ping
                                 << QByteArray::fromHex("15000b" + QByteArray(32, '0') +
                                                        "fe00000000" + "192bb643");

    // The checksum covers length, type and payload, nothing behind them.
    QByteArray link(57 + 7 + 5, '\x77');
    const QByteArray imei("123456789012345");
    QByteArray payload = imei + QByteArray(42, '\0');
    build_frame(reinterpret_cast<unsigned char*>(link.data()), LINK, payload.constData(), 57);
    const QByteArray head = QByteArray::fromHex("39000e") + payload;
    QByteArray sum(4, '\0');
    put_u32(reinterpret_cast<unsigned char*>(sum.data()),
            calculate_crc32(head.constData(), size_t(head.size())));
    QTest::newRow("LINK fills the whole send area and leaves the bytes behind it")
        << link << head + sum + QByteArray(5, '\x77');
}

void tst_Frame::built_frames() {
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    QCOMPARE(frame.toHex(), expected.toHex());
}

void tst_Frame::crc_check_reports_both_values() {
    QByteArray f = QByteArray::fromHex("00000c3995f7f6");
    auto* p = reinterpret_cast<unsigned char*>(f.data());
    uint32_t computed = 0, stored = 0;
    QVERIFY(frame_crc_ok(p, computed, stored));
    f[6] = 0x76;
    QVERIFY(!frame_crc_ok(p, computed, stored));
    QCOMPARE(computed, 0xF6F79539u);
    QCOMPARE(stored, 0x76F79539u);
}

void tst_Frame::messages_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    const QString violation = QStringLiteral("Нарушение протокола сервером: ");
    QTest::newRow("checksums are eight padded lower-case digits")
        << text_crc_mismatch(0xab, 0xF6F79539u)
        << violation + "в принятом от сервера сообщении не сошлась контрольная сумма (должно "
                       "быть 0x000000ab, а в сообщении указано 0xf6f79539).";
    QTest::newRow("unexpected type is two hexadecimal digits")
        << text_unexpected_frame(0x0a, 3)
        << violation + "от сервера пришло неожиданное сообщение с типом 0x0a и длиной полезной "
                       "нагрузки 3.";
    QTest::newRow("wrong answer gives the type in decimal")
        << text_wrong_answer(name_LINK.tr(), 0x14, 1)
        << violation + "в ответ на посланное нами сообщение «запрос подключения к устройству» "
                       "от сервера пришло сообщение с типом 20 и длиной полезной нагрузки 1.";
    QTest::newRow("contradicting fields name the first field twice")
        << text_fields_mismatch(name_ENUMERATE_ANSWER.tr(), name_sz_data.tr(), 60,
                                name_ENUMERATE_ANSWER_n_dev.tr(), 2, 116)
        << violation + "в пришедшем от сервера сообщении «список устройств от сервера клиенту» "
                       "поле «длина сообщения» содержит значение 60, что не стыкуется с тем, "
                       "что поле «число устройств» содержит значение 2 (следовательно, поле "
                       "«длина сообщения» должно содержать значение 116).";
    QTest::newRow("a placeholder inside a name is not filled twice")
        << text_field_value(QStringLiteral("%2"), QStringLiteral("%3"), 5, 0)
        << violation + "в пришедшем от сервера сообщении «%2» поле «%3» содержит значение 5, а "
                       "должно быть 0.";
}

void tst_Frame::messages() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

QTEST_GUILESS_MAIN(tst_Frame)
#include "tst_frame.moc"
