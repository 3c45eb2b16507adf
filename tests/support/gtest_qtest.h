// Qt Test's event helpers (QTest::mouseClick, QTest::keyClick, qWaitFor) in GoogleTest tests.
//
// Qt Test's own checks (QVERIFY, QCOMPARE, QTRY_VERIFY, ...) report to a Qt Test run, and there is
// none here: a failing one only returns from the test body, which GoogleTest then counts as passed.
// They are therefore taken away, and the waits that take their place fail the GoogleTest test.
#pragma once

#include <QTest>
#include <gtest/gtest.h>

#undef QVERIFY
#undef QVERIFY2
#undef QCOMPARE
#undef QFAIL
#undef QTRY_VERIFY
#undef QTRY_VERIFY_WITH_TIMEOUT
#undef QTRY_VERIFY2
#undef QTRY_VERIFY2_WITH_TIMEOUT
#undef QTRY_COMPARE
#undef QTRY_COMPARE_WITH_TIMEOUT

// Handles events until `expr` holds, for at most `ms` milliseconds; the test fails and ends if it
// never does.
#define TRY_VERIFY_WITH_TIMEOUT(expr, ms)                                                          \
    ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(expr); }, ms))                    \
        << "still false after " << (ms) << " ms: " #expr
#define TRY_VERIFY(expr) TRY_VERIFY_WITH_TIMEOUT(expr, 5000)

// The same until `actual == expected`; a failure shows both values.
#define TRY_COMPARE_WITH_TIMEOUT(actual, expected, ms)                                             \
    do {                                                                                           \
        (void)QTest::qWaitFor([&] { return (actual) == (expected); }, ms);                         \
        ASSERT_EQ(actual, expected) << "after waiting " << (ms) << " ms";                         \
    } while (false)
#define TRY_COMPARE(actual, expected) TRY_COMPARE_WITH_TIMEOUT(actual, expected, 5000)
