// The texts a connection's failure carries: ours, in Russian, for every errno a socket gives,
// and the number for one we have no words for; and a real refused connection's message.
#include "protocol/socket_errors.h"
#include "protocol/tcp_link.h"

#include <QTcpServer>
#include <QtTest>
#include <cerrno>

class tst_Socket_errors : public QObject, public Tcp_link::Owner {
    Q_OBJECT
public:
    void link_connected() override {}
    void link_readable() override {}
    void link_room() override {}
    void link_failed(int code) override { failures << code; }
    QList<int> failures;

private slots:
    void texts_data();
    void texts();
    void refused_link_reports_its_code_with_our_text();
};

void tst_Socket_errors::texts_data() {
    QTest::addColumn<int>("err");
    QTest::addColumn<QString>("text");
    QTest::newRow("end of the stream") << 0 << "сервер закрыл соединение";
    QTest::newRow("refused") << int(ECONNREFUSED)
                             << "в соединении отказано: по этому адресу и порту никто не "
                                "принимает соединений";
    QTest::newRow("reset") << int(ECONNRESET) << "соединение сброшено удалённой стороной";
    QTest::newRow("aborted") << int(ECONNABORTED) << "соединение прервано";
    QTest::newRow("broken pipe") << int(EPIPE) << "удалённая сторона уже закрыла соединение";
    QTest::newRow("timed out") << int(ETIMEDOUT)
                               << "истекло время ожидания ответа от удалённой стороны";
    QTest::newRow("network unreachable") << int(ENETUNREACH) << "сеть недоступна";
    QTest::newRow("network down") << int(ENETDOWN) << "сеть не работает";
    QTest::newRow("host unreachable") << int(EHOSTUNREACH) << "компьютер недоступен";
    QTest::newRow("host down") << int(EHOSTDOWN) << "компьютер выключен или не отвечает";
    QTest::newRow("denied") << int(EACCES) << "доступ запрещён";
    QTest::newRow("not permitted") << int(EPERM) << "доступ запрещён";
    QTest::newRow("no descriptors") << int(EMFILE) << "исчерпан запас открытых файлов";
    QTest::newRow("no memory") << int(ENOBUFS) << "не хватает памяти";
    QTest::newRow("address not here")
        << int(EADDRNOTAVAIL) << "адрес недоступен на этом компьютере";
    QTest::newRow("family") << int(EAFNOSUPPORT) << "этот вид адресов не поддерживается";
    QTest::newRow("any other errno by its number")
        << int(EPROTO) << QStringLiteral("системная ошибка сокета номер %1").arg(EPROTO);
}

void tst_Socket_errors::texts() {
    QFETCH(int, err);
    QFETCH(QString, text);
    QCOMPARE(socket_error_text(err), text);
}

// The numeric code stays the link's; only the words are ours.
void tst_Socket_errors::refused_link_reports_its_code_with_our_text() {
    quint16 port;
    {
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost, 0));
        port = gone.serverPort();
    }
    QObject context;
    Tcp_link link(*this, context);
    link.open(QStringLiteral("127.0.0.1"), port);
    QTRY_COMPARE(failures.size(), 1);
    QCOMPARE(failures[0], int(Tcp_link::connection_refused));
    QCOMPARE(link.error_text(failures[0]), socket_error_text(ECONNREFUSED));
    QCOMPARE(link.error_text(Tcp_link::host_not_found), host_not_found_text());
    // A code that is not the last error has no errno behind it.
    QCOMPARE(link.error_text(Tcp_link::network_error), unknown_socket_error_text());
}

QTEST_GUILESS_MAIN(tst_Socket_errors)
#include "tst_socket_errors.moc"
