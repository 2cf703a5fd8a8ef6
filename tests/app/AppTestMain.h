#pragma once
#include "app/CTarvik11App.h"
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

// Runs a QtTest object inside the real application object, with a settings store of its own.
#define TARVIK11_APP_TEST_MAIN(TestObject)                                                         \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        QTemporaryDir store;                                                                       \
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, store.path());              \
        CTarvik11App app(argc, argv);                                                              \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
