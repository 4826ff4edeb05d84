// Every answer a device or server can give at each stage, played by the simulator: the text
// the device ends with, whether the next device of the server is still served, and whether
// that happened over the same connection.
#include "config/config.h"
#include "engine/actions.h"
#include "engine/params.h"
#include "foundation/err.h"
#include "protocol/frame.h"
#include "support/engine_cfg.h"
#include "support/engine_run.h"
#include "support/sim_process.h"

#include <QTemporaryDir>
#include <QtTest>

enum Kind { cmd, upload, gather };
Q_DECLARE_METATYPE(Kind)

class tst_Engine_results : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void device_result_data();
    void device_result();
    void gathered_values_are_stored_per_parameter();

private:
    QTemporaryDir dir;
};

void tst_Engine_results::initTestCase() {
    QVERIFY(dir.isValid());
    use_test_log(dir.path());
    // ZELMO_TRACE=1 keeps a trace of every frame in a log that outlives the test.
    if (qEnvironmentVariableIsSet("ZELMO_TRACE")) {
        trace_flags = 1;
        dir.setAutoRemove(false);
        qDebug() << "log in" << dir.path();
    }
}

static const char* const server_protocol = "Нарушение протокола сервером: ";
static const char* const device_protocol = "Нарушение протокола устройством: ";

void tst_Engine_results::device_result_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("keys");    // simulator keys of the first device
    QTest::addColumn<QString>("text");    // its error text; empty: it succeeded
    QTest::addColumn<int>("connections"); // 1: the second device used the same connection

    const QString srv = QString::fromUtf8(server_protocol);
    const QString dev = QString::fromUtf8(device_protocol);

    // Linking.
    QTest::newRow("link: no connection came about")
        << cmd << "link=1"
        << "На «запрос подключения к устройству» сервер ответил «соединение не произошло»." << 1;
    QTest::newRow("link: device not connected to the server")
        << cmd << "link=2"
        << "Нет связи между устройством и сервером." << 1;
    QTest::newRow("link: device busy with another client")
        << cmd << "link=3"
        << "Устройство занято соединением с другим клиентом." << 1;
    QTest::newRow("link: unknown result in hex")
        << cmd << "link=175"
        << "На «запрос подключения к устройству» сервер ответил ответил неизвестным кодом "
           "ошибки 0xaf."
        << 1;
    QTest::newRow("link: a two-byte answer breaks the connection")
        << cmd << "link_payload=0000"
        << srv + "в пришедшем от сервера сообщении «ответ на запрос подключения» поле «полезная "
                 "нагрузка сообщения» имеет неправильную длину: 2 байтов (а должно быть 1)."
        << 2;
    QTest::newRow("link: an answer of the wrong type breaks the connection")
        << cmd << "link_type=6"
        << srv + "в ответ на посланное нами сообщение «запрос подключения к устройству» от "
                 "сервера пришло сообщение с типом 6 и длиной полезной нагрузки 1."
        << 2;
    QTest::newRow("link: a stale UNLINK before the answer is ignored")
        << cmd << "link_unlink=before"
        << "" << 1;
    QTest::newRow("link: no answer times out")
        << cmd << "link_unlink=instead"
        << "Тайм-аут ожидания ответа на сообщение «запрос подключения к устройству» (с момента "
           "начала передачи сообщения прошло более 300 миллисекунд)."
        << 2;

    // Authorisation.
    QTest::newRow("auth: PIN rejected") << cmd << "pin=9999"
                                        << "Устройство отвергло указанный PIN-код." << 1;
    QTest::newRow("auth: unknown status")
        << cmd << "auth=5"
        << dev + "в ответ на наше сообщение «авторизация» устройство вернуло сообщение «ответ "
                 "на авторизацию» с незнакомым значением поля «статус авторизации»: 5."
        << 1;
    QTest::newRow("auth: a two-byte answer fails only the device")
        << cmd << "auth_payload=0101"
        << dev + "в ответ на наше сообщение «авторизация» устройство вернуло сообщение «ответ "
                 "на авторизацию» с неправильной длиной поля «полезная нагрузка сообщения» (2 "
                 "байтов вместо 1)."
        << 1;
    QTest::newRow("auth: UNLINK instead of the answer")
        << cmd << "auth_unlink=instead"
        << "На этапе авторизации утеряна связь между устройством и сервером." << 1;
    QTest::newRow("auth: an answer of the wrong type breaks the connection")
        << cmd << "auth_type=2"
        << srv + "в ответ на посланное нами сообщение «авторизация» от сервера пришло "
                 "сообщение с типом 2 и длиной полезной нагрузки 1."
        << 2;

    // Commands (code 1).
    QTest::newRow("cmd: being executed counts as success") << cmd << "cmd=2"
                                                           << "" << 1;
    QTest::newRow("cmd: ready to continue")
        << cmd << "cmd=3"
        << "На команду с «кодом команды» 1 устройство вернуло неожиданный код ошибки: 3 "
           "(«команда готова к продолжению»)."
        << 1;
    QTest::newRow("cmd: execution error")
        << cmd << "cmd=4"
        << "На команду с «кодом команды» 1 устройство ответило «ошибка выполнения»." << 1;
    QTest::newRow("cmd: unknown parameter")
        << cmd << "cmd=5"
        << "На команду с «кодом команды» 1 устройство вернуло неожиданный код ошибки: 5 "
           "(«неизвестный параметр»)."
        << 1;
    QTest::newRow("cmd: unknown code")
        << cmd << "cmd=0"
        << "На команду с «кодом команды» 1 устройство вернуло неизвестный код ошибки: 0." << 1;
    QTest::newRow("cmd: five bytes with result 1 are too short")
        << cmd << "cmd_payload=0000000001"
        << dev + "в ответ на наше сообщение «команда» с «кодом команды» 1 устройство вернуло "
                 "сообщение «ответ на команду» с «результатом выполнения» 1 и слишком маленькой "
                 "длиной поля «полезная нагрузка сообщения» (5 байтов, а должно быть не менее 6)."
        << 1;
    QTest::newRow("cmd: five bytes with result 4 give the execution error")
        << cmd << "cmd_payload=0000000004"
        << "На команду с «кодом команды» 1 устройство ответило «ошибка выполнения»." << 1;
    QTest::newRow("cmd: seven bytes with one argument byte")
        << cmd << "cmd_payload=00000000010100"
        << dev + "в ответ на нашу команду с кодом команды 1 устройство вернуло сообщение «ответ "
                 "на команду», в котором поле «длина аргументов результата» содержит значение 1 "
                 "(а должно быть 0)."
        << 1;
    QTest::newRow("cmd: seven bytes claiming no arguments")
        << cmd << "cmd_payload=00000000010000"
        << dev + "в пришедшем от устройства сообщении «ответ на команду» поле «длина аргументов "
                 "результата» содержит значение 0, что не стыкуется с тем, что поле «длина "
                 "сообщения» содержит значение 7 (следовательно, поле «длина аргументов "
                 "результата» должно содержать значение 1)."
        << 1;
    QTest::newRow("cmd: identifier other than 0")
        << cmd << "cmd_payload=010000000100"
        << dev + "в ответе на наше сообщение «команда» поле «уникальный идентификатор команды» "
                 "содержит значение 1, что не совпадает с тем, что было указано в нашем "
                 "сообщении (0)."
        << 1;
    QTest::newRow("cmd: four bytes are too short")
        << cmd << "cmd_payload=00000000"
        << dev + "в ответ на наше сообщение «команда» устройство вернуло сообщение «ответ на "
                 "команду» с слишком маленькой длиной поля «полезная нагрузка сообщения» (4 "
                 "байтов, а должно быть не менее 5)."
        << 1;
    QTest::newRow("cmd: UNLINK instead of the answer")
        << cmd << "cmd_unlink=instead"
        << "На этапе передачи команды утеряна связь между устройством и сервером." << 1;
    QTest::newRow("cmd: UNLINK after the answer reaches the next link and is ignored")
        << cmd << "cmd_unlink=after"
        << "" << 1;
    QTest::newRow("cmd: an answer of the wrong type breaks the connection")
        << cmd << "cmd_type=20"
        << srv + "в ответ на посланное нами сообщение «команда» от сервера пришло сообщение с "
                 "типом 20 и длиной полезной нагрузки 6."
        << 2;

    // Upload.
    QTest::newRow("upload: accepted") << upload << ""
                                      << "" << 1;
    QTest::newRow("upload: memory error")
        << upload << "upload=1"
        << "На закачку файла устройство ответило: «ошибка памяти устройства»." << 1;
    QTest::newRow("upload: signature error")
        << upload << "upload=2"
        << "На закачку файла устройство ответило: «ошибка цифровой подписи»." << 1;
    QTest::newRow("upload: file name error")
        << upload << "upload=3"
        << "На закачку файла устройство ответило: «ошибка имени файла»." << 1;
    QTest::newRow("upload: checksum error")
        << upload << "upload=4"
        << "На закачку файла устройство ответило: «ошибка контрольной суммы»." << 1;
    QTest::newRow("upload: unknown result")
        << upload << "upload=9"
        << dev + "в ответ на наше сообщение «файл целиком от хоста устройству» устройство "
                 "вернуло сообщение «ответ на файл целиком» с незнакомым значением поля "
                 "«результат операции»: 9."
        << 1;
    QTest::newRow("upload: name echoed in another letter case")
        << upload << "upname=firmware"
        << "В ответе устройства на наше сообщение «файл целиком от хоста устройству» имя файла "
           "не совпадает с тем, которое было указано в сообщении."
        << 1;
    QTest::newRow("upload: bytes after the name's zero do not matter")
        << upload << "upload_payload=4649524D57415245005800"
        << "" << 1;
    QTest::newRow("upload: a twelve-byte answer fails only the device")
        << upload << "upload_payload=4649524D5741524500000000"
        << dev + "в ответ на наше сообщение «файл целиком от хоста устройству» устройство "
                 "вернуло сообщение «ответ на файл целиком» с неправильной длиной поля "
                 "«полезная нагрузка сообщения» (12 байтов вместо 11)."
        << 1;
    QTest::newRow("upload: UNLINK instead of the verdict")
        << upload << "upload_unlink=instead"
        << "На этапе закачки файла утеряна связь между устройством и сервером." << 1;

    // Parameter reading.
    QTest::newRow("gather: all three parameters") << gather << ""
                                                  << "" << 1;
    QTest::newRow("gather: still being executed is an error")
        << gather << "getparam=2"
        << "На запрос параметра №2 устройство вернуло неожиданный код ошибки: 2 («команда "
           "выполняется»)."
        << 1;
    QTest::newRow("gather: ready to continue")
        << gather << "getparam=3"
        << "На запрос параметра №2 устройство вернуло неожиданный код ошибки: 3 («команда "
           "готова к продолжению»)"
        << 1;
    QTest::newRow("gather: execution error")
        << gather << "getparam=4"
        << "На запрос параметра №2 устройство ответило: «ошибка выполнения»." << 1;
    QTest::newRow("gather: the third parameter is unknown")
        << gather << "params=none p2=A p3=B"
        << "На запрос параметра №4 устройство ответило: «не знаю такого параметра»." << 1;
    QTest::newRow("gather: unknown code")
        << gather << "getparam=0"
        << "На запрос параметра №2 устройство вернуло неизвестный код ошибки: 0." << 1;
    QTest::newRow("gather: identifier 1 while 0 is awaited")
        << gather << "getparam_payload=01000000010502000241"
        << dev + "в ответе на наше сообщение «команда» поле «уникальный идентификатор команды» "
                 "содержит значение 1, что не совпадает с тем, что было указано в нашем "
                 "сообщении (0)."
        << 1;
    QTest::newRow("gather: result 1 without the value fields")
        << gather << "getparam_payload=0000000001000200"
        << dev + "в ответ на наше сообщение «команда» с «кодом команды» 3 устройство вернуло "
                 "сообщение «ответ на команду» с «результатом выполнения» 1 и слишком маленькой "
                 "длиной поля «полезная нагрузка сообщения» (8 байтов, а должно быть не менее 9)."
        << 1;
    QTest::newRow("gather: argument length contradicts the frame length")
        << gather << "getparam_payload=000000000104020000"
        << dev + "в пришедшем от устройства сообщении «ответ на команду» поле «длина аргументов "
                 "результата» содержит значение 4, что не стыкуется с тем, что поле «длина "
                 "сообщения» содержит значение 9 (следовательно, поле «длина аргументов "
                 "результата» должно содержать значение 3)."
        << 1;
    QTest::newRow("gather: another parameter's id")
        << gather << "getparam_payload=000000000103030000"
        << dev + "в ответе на наше сообщение «команда» поле «идентификатор параметра» содержит "
                 "значение 3, что не совпадает с тем, что было указано в нашем сообщении (2)."
        << 1;
    QTest::newRow("gather: value length contradicts the argument length")
        << gather << "getparam_payload=00000000010402000241"
        << dev + "в пришедшем от устройства сообщении «ответ на команду» поле «длина параметра» "
                 "содержит значение 2, что не стыкуется с тем, что поле «длина аргументов "
                 "результата» содержит значение 4 (следовательно, поле «длина параметра» должно "
                 "содержать значение 1)."
        << 1;
    QTest::newRow("gather: UNLINK instead of the answer")
        << gather << "getparam_unlink=instead"
        << "На этапе запроса параметра утеряна связь между устройством и сервером." << 1;
}

void tst_Engine_results::device_result() {
    QFETCH(Kind, kind);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QFETCH(int, connections);

    Sim_process sim;
    QVERIFY2(sim.start(QStringLiteral("port 0\ndevice 350000000000001 %1\ndevice 350000000000002\n")
                           .arg(keys)),
             qPrintable(sim.error()));
    QVERIFY(
        load_cfg(QStringLiteral("simultaneously = 1\nreconnect_delay = 10\nlink_timeout = 300\n") +
                 cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ull, 2))));

    std::unique_ptr<Params> params = make_version_params();
    std::unique_ptr<Action> action;
    switch (kind) {
    case cmd:
        action.reset(new Action_cmd(1, QStringLiteral("рестарт устройства")));
        break;
    case upload:
        firmware = QByteArray(1000, 'z');
        firmware_sum = calculate_crc32(firmware.constData(), size_t(firmware.size()));
        action.reset(new Action_upload_firmware);
        break;
    case gather:
        action.reset(new Action_gather(*params));
        break;
    }

    const Run_result r = run_and_wait(*action, 20000);
    QVERIFY(r.finished);
    QVERIFY(r.error.isEmpty());
    QVERIFY2(counters_problem(r, 2).isEmpty(), qPrintable(counters_problem(r, 2)));

    const QVector<Device_result> results = device_results();
    QCOMPARE(results.size(), 2);
    QCOMPARE(results[0].error_text, text);
    QCOMPARE(results[0].succeeded, text.isEmpty());
    QCOMPARE(results[1].error_text, QString());
    QVERIFY(results[1].succeeded);
    QCOMPARE(r.success, text.isEmpty() ? 2u : 1u);

    QVERIFY(sim.stop());
    QCOMPARE(sim.counter("connections"), qint64(connections));
    QCOMPARE(sim.counter("violations"), 0);
}

void tst_Engine_results::gathered_values_are_stored_per_parameter() {
    Sim_process sim;
    QVERIFY2(sim.start("port 0\ndevice 350000000000001 params=none p2=ab\\c p3=\"\\xC0\\x01\" "
                       "p4=\"12345\\0abcdef\"\n"),
             qPrintable(sim.error()));
    QVERIFY(load_cfg(cfg_server("127.0.0.1", sim.port(), cfg_devices(350000000000001ull, 1))));
    std::unique_ptr<Params> params = make_version_params();
    Device* device = configuration.devices.rows[0].device;
    device->values = QByteArray(1000, 'x'); // left from a run with another list
    Action_gather action(*params);
    const Run_result r = run_and_wait(action, 20000);
    QVERIFY(r.finished);
    QCOMPARE(r.success, 1u);
    QCOMPARE(device->values.size(), 768);
    const unsigned char* v = reinterpret_cast<const unsigned char*>(device->values.constData());
    QCOMPARE(params->items[0]->show(v + params->items[0]->offset), QStringLiteral("ab\\\\c"));
    QCOMPARE(params->items[1]->show(v + params->items[1]->offset), QStringLiteral("А\\x01"));
    QCOMPARE(params->items[2]->show(v + params->items[2]->offset), QStringLiteral("12345"));
    QVERIFY(sim.stop());
    QCOMPARE(sim.record_of("GETPARAM").size(), 3);
}

QTEST_GUILESS_MAIN(tst_Engine_results)
#include "tst_engine_results.moc"
