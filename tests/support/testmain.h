#pragma once

#include "testenvironment.h"

#include <QApplication>
#include <QTest>

// Like QTEST_MAIN, but every test process first moves its data directory,
// settings and caches into a temporary folder of its own.
#define LUMORA_TEST_MAIN(TestObject)                                                                                   \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        LumoraTest::TestEnvironment environment;                                                                       \
        QApplication app(argc, argv);                                                                                  \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
