#include "foundation/random.h"

#include <QtTest>
#include <thread>

class tst_Random : public QObject {
    Q_OBJECT
private slots:
    void tea_of_zero_block_matches_published_vector();
    void stirring_twice_in_one_millisecond_changes_state();
    void two_draws_differ();
    void stirring_from_two_threads_at_once();
};

void tst_Random::tea_of_zero_block_matches_published_vector() {
    // Published TEA: plaintext 00000000 00000000, key all zero -> 41EA3A0A 94BAA940.
    const uint32_t zero_key[4] = {0, 0, 0, 0};
    QCOMPARE(tea(0, zero_key), Q_UINT64_C(0x41EA3A0A94BAA940));
}

void tst_Random::stirring_twice_in_one_millisecond_changes_state() {
    const uint64_t before = random_state();
    update_random_number_generator(0x0101);
    const uint64_t once = random_state();
    update_random_number_generator(0x0101);
    QVERIFY(once != before);
    QVERIFY(random_state() != once);
}

void tst_Random::two_draws_differ() {
    const uint64_t a = draw_random_number();
    const uint64_t b = draw_random_number();
    QVERIFY(a != b);
}

// The GUI and the worker thread stir without a lock; a sanitizer build flags a plain
// variable here.
void tst_Random::stirring_from_two_threads_at_once() {
    const uint64_t before = random_state();
    auto stir = [] {
        for (int i = 0; i < 10000; ++i)
            update_random_number_generator(0x1201);
    };
    std::thread worker(stir);
    stir();
    worker.join();
    QVERIFY(random_state() != before);
}

QTEST_GUILESS_MAIN(tst_Random)
#include "tst_random.moc"
