#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <vector>

std::vector<std::unique_ptr<QObject>> makeUiTests();

// Settings, the page cache and the desktop registration go to a temporary home, never the user's.
int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    for (const char* name : {"config", "cache", "data"})
        QDir(home.path()).mkpath(QString::fromLatin1(name));
    setenv("LURVIK_CONFIG_HOME", (home.path() + "/config").toUtf8().constData(), 1);
    setenv("XDG_CACHE_HOME", (home.path() + "/cache").toUtf8().constData(), 1);
    setenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8().constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // LURVIK_UI_TEST names the one test class to run, for a quicker turn while working on it.
    QByteArray only = qgetenv("LURVIK_UI_TEST");
    int failed = 0;
    for (auto& test : makeUiTests())
        if (only.isEmpty() || only == test->metaObject()->className())
            failed += QTest::qExec(test.get(), argc, argv);
    return failed == 0 ? 0 : 1;
}
