// The text page's UTF-8 buffer: a long text gets a mapping of its own, aligned for large
// pages; whatever the size, the text reads back whole and zero-terminated, and a buffer let
// go is gone from the process.
#include "ui/utf8_buffer.h"

#include <QTest>
#include <cerrno>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

class tst_Utf8_buffer : public QObject {
    Q_OBJECT
private slots:
    void text_reads_back_data();
    void text_reads_back();
};

static constexpr qint64 large_page = qint64(2) << 20;

void tst_Utf8_buffer::text_reads_back_data() {
    QTest::addColumn<qint64>("capacity");
    QTest::addColumn<qint64>("length");
    QTest::newRow("empty") << qint64(0) << qint64(0);
    QTest::newRow("short, from the heap") << qint64(1000) << qint64(999);
    QTest::newRow("a byte short of a large page with its zero") << large_page - 2 << large_page - 2;
    QTest::newRow("a large page with its zero") << large_page - 1 << large_page - 1;
    QTest::newRow("room for three times the text") << 3 * large_page + 5 << large_page + 7;
}

void tst_Utf8_buffer::text_reads_back() {
    QFETCH(qint64, capacity);
    QFETCH(qint64, length);
    Utf8_buffer buffer;
    // A first, larger reserve is let go by the second.
    buffer.reserve(size_t(4 * large_page));
    char* const room = buffer.reserve(size_t(capacity));
    QVERIFY(room);
    const bool own_mapping = capacity + 1 >= large_page;
    if (own_mapping)
        QCOMPARE(reinterpret_cast<uintptr_t>(room) % uintptr_t(large_page), uintptr_t(0));
    for (qint64 i = 0; i < capacity + 1; ++i)
        room[i] = char('a' + i % 26);
    buffer.finish(size_t(length));
    QCOMPARE(buffer.length(), size_t(length));
    QCOMPARE(buffer.text()[length], '\0');
    const QByteArray bytes = buffer.bytes();
    QCOMPARE(bytes.size(), int(length));
    for (qint64 i = 0; i < length; i += 4093)
        QCOMPARE(bytes[int(i)], char('a' + i % 26));

    buffer.release();
    QCOMPARE(buffer.length(), size_t(0));
    if (own_mapping) {
        // Nothing of the mapping is left: the kernel knows neither its first page nor its last.
        const long page = getpagesize();
        unsigned char in_core = 0;
        for (char* at : {room, room + (capacity - capacity % page)}) {
            QCOMPARE(mincore(at, size_t(page), &in_core), -1);
            QCOMPARE(errno, ENOMEM);
        }
    }
}

QTEST_APPLESS_MAIN(tst_Utf8_buffer)
#include "tst_utf8_buffer.moc"
